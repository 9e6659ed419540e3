// Lens distortion correction: against ImageMagick's barrel distortion on a
// real photograph, the geometry of dots and marker points, a slow
// double-precision reference for the sampling and colour registration, the
// size rules and the refusals.
#include "app/matching/lens_correction.h"
#include "app/matching/tests/magick_helpers.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

using matching_test::Sample;
using Record = std::array<float, 11>;

Record MakeRecord(float a, float b, float c, float d, std::array<float, 6> registration = {})
{
    Record r{a, b, c, d, 0.0f};
    for (int i = 0; i < 6; ++i) r[5 + i] = registration[i];
    return r;
}

const Record kBarrel = MakeRecord(0.01f, -0.05f, 0.03f, 1.0f);

double Poly(const double c[3], double q)  // c3 q^3 + c2 q^2 + c1 q + 1
{
    return ((c[2] * q + c[1]) * q + c[0]) * q + 1.0;
}

double Factor(const Record& rec, double p)
{
    return ((rec[0] * p + rec[1]) * p + rec[2]) * p + rec[3];
}

// ---------------------------------------------------------------------------
// A slow reference: the radial model evaluated directly in double precision
// for every output pixel and sample.

double AlongLineSlow(const Image& src, bool row, int index, double v, int c, int last)
{
    auto at = [&](int i) { return row ? Sample(src, i, index, c) : Sample(src, index, i, c); };
    if (v <= 0.0) return at(0);
    if (v >= last) return at(last);
    const int i = static_cast<int>(v);
    return std::trunc((1.0 - (v - i)) * at(i) + (v - i) * at(i + 1));
}

double BilinearSlow(const Image& src, double sx, double sy, int c)
{
    const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
    const double fx = sx - ix, fy = sy - iy;
    const double v = (1 - fx) * (1 - fy) * Sample(src, ix, iy, c) + fx * (1 - fy) * Sample(src, ix + 1, iy, c) +
                     (1 - fx) * fy * Sample(src, ix, iy + 1, c) + fx * fy * Sample(src, ix + 1, iy + 1, c);
    return std::trunc(std::clamp(v, 0.0, 255.0));
}

Image* CorrectSlowly(const Image& src, const Record& rec, bool keepSize, float s)
{
    const int W = src.GetWidth(), H = src.GetHeight(), C = src.GetChannels();
    int outW = 0, outH = 0;
    GetCorrectedSize(rec.data(), W, H, &outW, &outH, s);
    const double k = GetUndistortScale(rec.data(), s);
    const double R = std::min(W, H) / 2.0;
    const bool registration = C == 3 && (rec[5] != 0.0f || rec[8] != 0.0f);
    const int imageW = keepSize ? W : outW, imageH = keepSize ? H : outH;
    auto* out = new Image(imageW, imageH, C);
    out->Clear();
    const double red[3] = {rec[5], rec[6], rec[7]}, blue[3] = {rec[8], rec[9], rec[10]};
    for (int y = 0; y < imageH; ++y)
        for (int x = 0; x < imageW; ++x) {
            // The content pixel shown at (x, y).
            const int cx = !keepSize ? x : outW > W ? x + (outW - W) / 2 : x - (W - outW) / 2;
            const int cy = !keepSize ? y : outH > H ? y + (outH - H) / 2 : y - (H - outH) / 2;
            if (cx < 0 || cx >= outW || cy < 0 || cy >= outH) continue;
            const double dx = cx - outW / 2.0, dy = cy - outH / 2.0;
            const double p = std::sqrt(dx * dx + dy * dy) / k / R;
            const double g = Factor(rec, p);
            for (int c = 0; c < C; ++c) {
                double f = g;
                if (registration && c == 0) f = Poly(blue, p * g) * g;
                if (registration && c == 2) f = Poly(red, p * g) * g;
                const double sx = dx * f * s / k + W / 2.0, sy = dy * f * s / k + H / 2.0;
                double v;
                if (registration) {
                    if (sy <= 0) v = AlongLineSlow(src, true, 0, sx, c, W - 1);
                    else if (sy >= H - 1) v = AlongLineSlow(src, true, H - 1, sx, c, W - 1);
                    else if (sx <= 0) v = AlongLineSlow(src, false, 0, sy, c, H - 1);
                    else if (sx >= W - 1) v = AlongLineSlow(src, false, W - 1, sy, c, H - 1);
                    else v = BilinearSlow(src, sx, sy, c);
                } else {
                    const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
                    const bool bilinear = !(iy < 0 || iy >= H - 1 || ix < 1 || ix >= W - 1);
                    if (iy < 0) v = AlongLineSlow(src, true, 0, sx, c, W - 1);
                    else if (iy >= H - 1) v = AlongLineSlow(src, true, H - 1, sx, c, W - 1);
                    else if (ix < 1) v = AlongLineSlow(src, false, 0, sy, c, H - 1);
                    else if (ix >= W - 1) v = AlongLineSlow(src, false, W - 1, sy, c, H - 1);
                    else v = BilinearSlow(src, sx, sy, c);
                    if (bilinear && c == 0 && v == 0) v = 1;
                }
                out->GetData()[static_cast<size_t>(y) * out->GetRowByte() + static_cast<size_t>(x) * C + c] =
                    static_cast<unsigned char>(v);
            }
        }
    return out;
}

// Samples further apart than one level: few are allowed, where float and
// double fall on different sides of a pixel boundary.
::testing::AssertionResult CloseToReference(const Image& got, const Image& expected)
{
    if (got.GetWidth() != expected.GetWidth() || got.GetHeight() != expected.GetHeight())
        return ::testing::AssertionFailure() << "size " << got.GetWidth() << " x " << got.GetHeight() << ", expected "
                                             << expected.GetWidth() << " x " << expected.GetHeight();
    size_t off = 0, total = 0;
    for (int y = 0; y < got.GetHeight(); ++y)
        for (int x = 0; x < got.GetWidth(); ++x)
            for (int c = 0; c < got.GetChannels(); ++c, ++total)
                if (std::abs(Sample(got, x, y, c) - Sample(expected, x, y, c)) > 1) ++off;
    if (off * 1000 > total) return ::testing::AssertionFailure() << off << " of " << total << " samples differ by more than 1";
    return ::testing::AssertionSuccess();
}

TEST(LensCorrection, SamplingMatchesTheSlowReference)
{
    struct Case {
        int width, height, channels;
        Record rec;
        bool keepSize;
        float s;
        unsigned short layout = 0;
    };
    const Record registration = MakeRecord(0.0f, 0.02f, -0.04f, 1.0f, {0.01f, -0.004f, 0.001f, -0.012f, 0.003f, 0.0f});
    const Case cases[] = {
        {160, 120, 3, kBarrel, false, 1.0f},      {120, 160, 1, kBarrel, false, 1.1f},
        {160, 120, 3, kBarrel, true, 0.9f},       {97, 131, 3, registration, false, 1.0f},
        {131, 97, 3, registration, true, 1.05f},  {131, 97, 1, registration, false, 1.0f},
        {101, 101, 1, MakeRecord(0, 0.05f, -0.1f, 1.05f), true, 1.0f},
        {131, 97, 3, kBarrel, false, 1.0f, IMG_LAYOUT_BITMAP},  // rows padded to four bytes
        {97, 131, 1, registration, true, 1.0f, IMG_LAYOUT_BITMAP},
    };
    for (const Case& c : cases) {
        auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(c.width, c.height, c.channels, c.layout));
        auto expected = RefPtr<Image>::adopt(CorrectSlowly(*image, c.rec, c.keepSize, c.s));
        CorrectLensDistortion(c.rec.data(), image.get(), c.keepSize, c.s);
        EXPECT_TRUE(CloseToReference(*image, *expected)) << c.width << " x " << c.height << " x " << c.channels;
    }
}

// On a square crop of a photograph ImageMagick's barrel distortion with the
// coefficients rescaled by k is the same mapping; its centre is put half a
// pixel on, since its pixel centres lie at +0.5.
TEST(LensCorrection, AgreesWithImageMagicksBarrelDistortionOnAPhotograph)
{
    testkit::TempDir dir;
    const std::string crop = "-crop 480x480+400+240 +repage";
    RefPtr<Image> photo = RefPtr<Image>::adopt(matching_test::LoadPhoto(dir, "huginsample-durlach/half/P1060371.JPG", crop));
    ASSERT_TRUE(photo);
    for (const Record& rec : {kBarrel, MakeRecord(-0.02f, 0.04f, -0.07f, 1.02f)}) {
        const double k = GetUndistortScale(rec.data(), 1.0f);
        char args[256];
        std::snprintf(args, sizeof args, "'%s' -filter point -interpolate bilinear -virtual-pixel edge -distort Barrel '%.9g %.9g %.9g %.9g %.9g %.9g' %s",
                      dir.file("photo.ppm").c_str(), rec[0] / std::pow(k, 4), rec[1] / std::pow(k, 3), rec[2] / (k * k),
                      rec[3] / k, 240.5, 240.5, dir.file("magick.ppm").c_str());
        ASSERT_TRUE(matching_test::Magick(args));
        auto expected = RefPtr<Image>::adopt(testkit::ReadPnm(dir.file("magick.ppm")));
        ASSERT_TRUE(expected);
        auto ours = RefPtr<Image>::adopt(photo->Duplicate());
        CorrectLensDistortion(rec.data(), ours.get(), false, 1.0f);
        ASSERT_EQ(ours->GetWidth(), 480);
        ASSERT_EQ(ours->GetHeight(), 480);
        double sum = 0.0;
        int n = 0;
        for (int y = 8; y < 472; ++y)
            for (int x = 8; x < 472; ++x)
                for (int c = 0; c < 3; ++c, ++n) sum += std::abs(Sample(*ours, x, y, c) - Sample(*expected, x, y, c));
        EXPECT_LE(sum / n, 1.0) << "record d = " << rec[3];
    }
}

// ---------------------------------------------------------------------------
// Dots: drawn where the radial model puts them in the uncorrected image,
// found again after the correction and compared with the corrected marker
// points.

struct Dot {
    double x, y;
};

void DrawDot(Image& image, Dot d)
{
    for (int y = static_cast<int>(d.y) - 6; y <= static_cast<int>(d.y) + 6; ++y)
        for (int x = static_cast<int>(d.x) - 6; x <= static_cast<int>(d.x) + 6; ++x) {
            if (x < 0 || y < 0 || x >= image.GetWidth() || y >= image.GetHeight()) continue;
            const double r2 = (x - d.x) * (x - d.x) + (y - d.y) * (y - d.y);
            unsigned char& p = image.GetData()[static_cast<size_t>(y) * image.GetRowByte() + x];
            p = static_cast<unsigned char>(std::max<double>(p, 20.0 + 220.0 * std::exp(-r2 / (2 * 1.6 * 1.6))));
        }
}

Dot Centroid(const Image& image, Dot near)
{
    double sx = 0, sy = 0, sw = 0;
    for (int y = static_cast<int>(near.y) - 5; y <= static_cast<int>(near.y) + 5; ++y)
        for (int x = static_cast<int>(near.x) - 5; x <= static_cast<int>(near.x) + 5; ++x) {
            if (x < 0 || y < 0 || x >= image.GetWidth() || y >= image.GetHeight()) continue;
            const double w = std::max(0, Sample(image, x, y, 0) - 20);
            sx += w * x;
            sy += w * y;
            sw += w;
        }
    return sw > 0 ? Dot{sx / sw, sy / sw} : Dot{-1e9, -1e9};
}

TEST(LensCorrection, DotsAndTheirMarkerPointsLandTogether)
{
    struct Case {
        int width, height;
        float s;
    };
    for (const Case c : {Case{320, 240, 1.0f}, Case{240, 320, 1.0f}, Case{320, 240, 1.15f}, Case{240, 320, 0.9f}}) {
        int outW = 0, outH = 0;
        GetCorrectedSize(kBarrel.data(), c.width, c.height, &outW, &outH, c.s);
        const double k = GetUndistortScale(kBarrel.data(), c.s);
        const double R = std::min(c.width, c.height) / 2.0;
        auto image = RefPtr<Image>::adopt(new Image(c.width, c.height, 1));
        image->Clear();
        Marker found;
        std::vector<Dot> wanted;
        for (int gy = 1; gy < 8; ++gy)
            for (int gx = 1; gx < 8; ++gx) {
                const Dot z{outW * gx / 8.0, outH * gy / 8.0};
                const double dx = z.x - outW / 2.0, dy = z.y - outH / 2.0;
                const double f = Factor(kBarrel, std::sqrt(dx * dx + dy * dy) / (k * R)) * c.s / k;
                const Dot u{c.width / 2.0 + dx * f, c.height / 2.0 + dy * f};
                if (u.x < 8 || u.y < 8 || u.x > c.width - 9 || u.y > c.height - 9) continue;
                DrawDot(*image, u);
                found.AppendMarker(static_cast<float>(u.x), static_cast<float>(u.y));
                wanted.push_back(z);
            }
        ASSERT_GE(wanted.size(), 30u);
        CorrectLensDistortion(kBarrel.data(), image.get(), false, c.s);
        ASSERT_EQ(image->GetWidth(), outW);
        ASSERT_EQ(image->GetHeight(), outH);
        std::unique_ptr<Marker> corrected(CorrectMarkerDistortion(&found, kBarrel.data(), outW, outH, c.s));
        ASSERT_TRUE(corrected);
        ASSERT_EQ(corrected->GetNumbOfMarker(), static_cast<int>(wanted.size()));
        // The points are mapped from the corrected size alone: the
        // uncorrected long side it gives back can be one pixel short (the
        // corrected side was truncated), which moves the points by half a
        // pixel more.
        const float halfLong = (c.width > c.height ? outW : outH) / 2.0f;
        const int uncLong = static_cast<int>(DistortRadius(kBarrel.data(), halfLong / static_cast<float>(R) / static_cast<float>(k)) *
                                                 2.0f * static_cast<float>(R) * c.s + 0.5f);
        const double tolerance = 0.5 + 0.6 * std::abs(uncLong - std::max(c.width, c.height));
        for (size_t i = 0; i < wanted.size(); ++i) {
            const Dot at = Centroid(*image, wanted[i]);
            EXPECT_NEAR(at.x, wanted[i].x, 0.5) << c.width << " x " << c.height << " s " << c.s << " dot " << i;
            EXPECT_NEAR(at.y, wanted[i].y, 0.5) << c.width << " x " << c.height << " s " << c.s << " dot " << i;
            const POINT2M& m = corrected->GetMarker()[i];
            const POINT2M& u = found.GetMarker()[i];
            if (std::hypot(u.x - c.width / 2.0, u.y - c.height / 2.0) <= 3.5) continue;  // kept as they were
            EXPECT_NEAR(m.x, at.x, tolerance) << c.width << " x " << c.height << " s " << c.s << " point " << i;
            EXPECT_NEAR(m.y, at.y, tolerance) << c.width << " x " << c.height << " s " << c.s << " point " << i;
        }
    }
}

TEST(LensCorrection, MarkerPointsNearTheCentreStayAndBadInputGivesNull)
{
    Marker points;
    points.AppendMarker(160.0f, 120.0f);
    points.AppendMarker(162.0f, 122.0f);
    points.AppendMarker(150.0f, 100.0f);
    int outW = 0, outH = 0;
    GetCorrectedSize(kBarrel.data(), 320, 240, &outW, &outH, 1.0f);
    std::unique_ptr<Marker> corrected(CorrectMarkerDistortion(&points, kBarrel.data(), outW, outH, 1.0f));
    ASSERT_TRUE(corrected);
    ASSERT_EQ(corrected->GetNumbOfMarker(), 3);
    const float uncW = std::trunc(DistortRadius(kBarrel.data(), outW / 2.0f / 120.0f / GetUndistortScale(kBarrel.data(), 1.0f)) * 240.0f + 0.5f);
    if (std::abs(160.0f - uncW / 2.0f) <= 1.0f) {
        EXPECT_EQ(corrected->GetMarker()[0].x, 160.0f);
        EXPECT_EQ(corrected->GetMarker()[0].y, 120.0f);
        EXPECT_EQ(corrected->GetMarker()[1].x, 162.0f);
    }
    EXPECT_NE(corrected->GetMarker()[2].x, 150.0f);

    Logger::setLogOff();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(CorrectMarkerDistortion(nullptr, kBarrel.data(), 320, 240, 1.0f), nullptr);
    EXPECT_EQ(CorrectMarkerDistortion(&points, MakeRecord(0, nan, 0, 1).data(), 320, 240, 1.0f), nullptr);
    EXPECT_EQ(CorrectMarkerDistortion(&points, kBarrel.data(), 320, 240, 0.0f), nullptr);
    EXPECT_EQ(CorrectMarkerDistortion(&points, kBarrel.data(), 0, 240, 1.0f), nullptr);
}

// ---------------------------------------------------------------------------
// Sizes and edges.

TEST(LensCorrection, IdentityRecordKeepsScaleAndSize)
{
    const Record identity = MakeRecord(0, 0, 0, 1);
    EXPECT_NEAR(GetUndistortScale(identity.data(), 1.0f), 1.0f, 1e-4f);
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{480, 640}, std::pair{1001, 333}}) {
        int outW = 0, outH = 0;
        GetCorrectedSize(identity.data(), w, h, &outW, &outH, 1.0f);
        const int longIn = std::max(w, h), longOut = w > h ? outW : outH;
        EXPECT_EQ(w > h ? outH : outW, std::min(w, h));
        EXPECT_LE(longOut, longIn);
        EXPECT_GE(longOut, longIn - 1);
    }
}

TEST(LensCorrection, SquareImagesKeepTheirSizeForAnyCoefficients)
{
    for (const Record& rec : {kBarrel, MakeRecord(0.3f, -0.5f, 0.2f, 0.7f), MakeRecord(0, 0, -0.4f, 1.4f)}) {
        int outW = 0, outH = 0;
        GetCorrectedSize(rec.data(), 77, 77, &outW, &outH, 1.3f);
        EXPECT_EQ(outW, 77);
        EXPECT_EQ(outH, 77);
        auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(77, 77, 3));
        CorrectLensDistortion(rec.data(), image.get(), false, 1.3f);
        EXPECT_EQ(image->GetWidth(), 77);
        EXPECT_EQ(image->GetHeight(), 77);
    }
}

TEST(LensCorrection, KeepSizeCentresASmallerResultOnAZeroBorder)
{
    // Pincushion: the long side shrinks, across or down.
    const Record rec = MakeRecord(0, 0, 0.1f, 1.0f);
    for (const auto& [W, H] : {std::pair{200, 100}, std::pair{100, 200}}) {
        int outW = 0, outH = 0;
        GetCorrectedSize(rec.data(), W, H, &outW, &outH, 1.0f);
        ASSERT_LT(std::max(outW, outH), 196);
        ASSERT_EQ(std::min(outW, outH), 100);
        auto image = RefPtr<Image>::adopt(new Image(W, H, 1));
        std::memset(image->GetData(), 200, image->GetDataSize());
        CorrectLensDistortion(rec.data(), image.get(), true, 1.0f);
        ASSERT_EQ(image->GetWidth(), W);
        ASSERT_EQ(image->GetHeight(), H);
        const int left = (W - outW) / 2, top = (H - outH) / 2;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const bool content = x >= left && x < left + outW && y >= top && y < top + outH;
                const int v = Sample(*image, x, y, 0);
                if (content)
                    ASSERT_GE(v, 199) << x << ", " << y;  // a flat field, up to the truncation of a rounding error
                else
                    ASSERT_EQ(v, 0) << x << ", " << y;
            }
    }
}

TEST(LensCorrection, ZeroBecomesOneOnlyWhereBilinearRan)
{
    // A black image: the bilinear cases raise 0 to 1, the edge cases keep 0.
    const int W = 60, H = 40;
    auto one = RefPtr<Image>::adopt(new Image(W, H, 1));
    one->Clear();
    auto reference = RefPtr<Image>::adopt(CorrectSlowly(*one, kBarrel, false, 1.0f));
    CorrectLensDistortion(kBarrel.data(), one.get(), false, 1.0f);
    ASSERT_TRUE(testkit::SamePixels(*one, *reference));
    int raised = 0, kept = 0;
    for (int y = 0; y < one->GetHeight(); ++y)
        for (int x = 0; x < one->GetWidth(); ++x) (Sample(*one, x, y, 0) == 1 ? raised : kept)++;
    EXPECT_GT(raised, 0);
    EXPECT_GT(kept, 0);
    EXPECT_EQ(Sample(*one, one->GetWidth() / 2, one->GetHeight() / 2, 0), 1);

    // Three channels without registration: only the first sample is raised;
    // with registration none is.
    auto three = RefPtr<Image>::adopt(new Image(W, H, 3));
    three->Clear();
    CorrectLensDistortion(kBarrel.data(), three.get(), false, 1.0f);
    const int cx = three->GetWidth() / 2, cy = three->GetHeight() / 2;
    EXPECT_EQ(Sample(*three, cx, cy, 0), 1);
    EXPECT_EQ(Sample(*three, cx, cy, 1), 0);
    EXPECT_EQ(Sample(*three, cx, cy, 2), 0);
    auto registered = RefPtr<Image>::adopt(new Image(W, H, 3));
    registered->Clear();
    CorrectLensDistortion(MakeRecord(0, 0, 0, 1, {0.01f, 0, 0, 0.01f, 0, 0}).data(), registered.get(), false, 1.0f);
    EXPECT_EQ(Sample(*registered, cx, cy, 0), 0);
}

TEST(LensCorrection, OneChannelImagesNeverUseColourRegistration)
{
    auto plain = RefPtr<Image>::adopt(testkit::MakePatternImage(90, 70, 1));
    auto registered = RefPtr<Image>::adopt(plain->Duplicate());
    CorrectLensDistortion(kBarrel.data(), plain.get(), false, 1.0f);
    Record withRegistration = kBarrel;
    withRegistration[5] = 0.05f;
    withRegistration[8] = -0.05f;
    CorrectLensDistortion(withRegistration.data(), registered.get(), false, 1.0f);
    EXPECT_TRUE(testkit::SamePixels(*plain, *registered));
}

// The first and third samples are the second, radially scaled the other way
// round; the correction brings all three back together.
TEST(LensCorrection, ColourRegistrationRealignsTheSamples)
{
    const int W = 180, H = 140;
    const Record rec = MakeRecord(0, 0, 0, 1, {0.02f, 0.0f, 0.0f, -0.015f, 0.0f, 0.0f});
    const double R = H / 2.0;
    const double k = GetUndistortScale(rec.data(), 1.0f);
    auto pattern = [](double x, double y) { return 128.0 + 90.0 * std::sin(x / 9.0) * std::cos(y / 11.0); };
    // Sample c of the uncorrected image at offset v shows the pattern at the
    // offset z with z * factor_c(|z|) = v, found by bisection.
    auto scaledBack = [&](double v, const double coeff[3]) {
        double lo = 0, hi = 2 * v + 10;
        for (int i = 0; i < 80; ++i) {
            const double z = (lo + hi) / 2, p = z / (k * R);
            (z * Poly(coeff, p) / k < v ? lo : hi) = z;
        }
        return lo;
    };
    const double red[3] = {rec[5], rec[6], rec[7]}, blue[3] = {rec[8], rec[9], rec[10]};
    auto image = RefPtr<Image>::adopt(new Image(W, H, 3));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double dx = x - W / 2.0, dy = y - H / 2.0, v = std::hypot(dx, dy);
            unsigned char* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * 3;
            for (int c = 0; c < 3; ++c) {
                double scale = 1.0 / k;
                if (c != 1 && v > 0) scale = scaledBack(v, c == 0 ? blue : red) / v;
                if (c == 1) scale = k;
                p[c] = static_cast<unsigned char>(std::lround(pattern(W / 2.0 + dx * scale, H / 2.0 + dy * scale)));
            }
        }
    auto reference = RefPtr<Image>::adopt(CorrectSlowly(*image, rec, true, 1.0f));
    CorrectLensDistortion(rec.data(), image.get(), true, 1.0f);
    EXPECT_TRUE(CloseToReference(*image, *reference));
    double misregistration = 0;
    int n = 0;
    for (int y = 20; y < H - 20; ++y)
        for (int x = 20; x < W - 20; ++x, ++n)
            misregistration += std::abs(Sample(*image, x, y, 0) - Sample(*image, x, y, 1)) +
                               std::abs(Sample(*image, x, y, 2) - Sample(*image, x, y, 1));
    EXPECT_LT(misregistration / n, 3.0);
}

TEST(LensCorrection, UndistortRadiusEndsAndStaysInItsBracket)
{
    struct Case {
        Record rec;
        float target, lo, hi;
        double expected;  // < 0: no root, only the bracket is checked
    };
    const Case cases[] = {
        {MakeRecord(0, 0, 0, 1), 0.8f, 0.5f, 1.5f, 0.8},
        {MakeRecord(0, 0, 0, 1), 3.0f, 0.5f, 1.5f, 3.0},              // the bracket has to grow
        {MakeRecord(0, 0, 0, 1), 0.5f, 0.6f, 0.7f, -1},               // target below the bracket
        {MakeRecord(0, 0, -1.0f, 0.2f), 1.2f, 0.1f, 1.0f, -1},        // decreasing past p = 0.1
        {MakeRecord(0, 0, 0, 0), 0.5f, 0.0f, 1.0f, -1},               // flat at 0
        {MakeRecord(0, 0, 0, 1), 0.9f, 0.0f, 0.5f, 0.9},              // target <= 1 but reachable
        {MakeRecord(0, 0.0f, 0.0f, 1e-6f), 2.0f, 0.0f, 1.0f, -1},     // nearly flat
    };
    for (const Case& c : cases) {
        const float p = UndistortRadius(c.rec.data(), c.target, c.lo, c.hi);
        EXPECT_TRUE(std::isfinite(p));
        EXPECT_GE(p, c.lo);
        if (c.expected >= 0) {
            EXPECT_NEAR(p, c.expected, 2e-4) << c.target;
        }
    }
}

TEST(LensCorrection, RefusesBadInputAndLeavesTheImage)
{
    Logger::setLogOff();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        Record rec;
        float s;
        int channels;
        unsigned short type;
    };
    const Case cases[] = {
        {MakeRecord(0, 0, inf, 1), 1.0f, 3, IMG_UINT8},
        {MakeRecord(0, 0, 0, 1, {std::nanf(""), 0, 0, 0, 0, 0}), 1.0f, 3, IMG_UINT8},
        {kBarrel, 0.0f, 3, IMG_UINT8},
        {kBarrel, -1.0f, 1, IMG_UINT8},
        {kBarrel, inf, 1, IMG_UINT8},
        {kBarrel, 1.0f, 2, IMG_UINT8},
        {kBarrel, 1.0f, 1, IMG_UINT16},
        {MakeRecord(0, 0, -0.24f, 1), 1.0f, 1, IMG_UINT8},  // never reaches the long side: far too long
        {MakeRecord(0, 0, -2.0f, 1), 1.0f, 1, IMG_UINT8},   // never reaches the edge
        {MakeRecord(0, 0, 0, 1e-4f), 1.0f, 1, IMG_UINT8},   // a vanishing radius: an enormous table
    };
    for (const Case& c : cases) {
        auto image = RefPtr<Image>::adopt(new Image);
        ASSERT_TRUE(image->Create(64, 48, c.channels, c.type));
        std::memset(image->GetData(), 9, image->GetDataSize());
        unsigned char* before = image->GetData();
        CorrectLensDistortion(c.rec.data(), image.get(), false, c.s);
        EXPECT_EQ(image->GetData(), before);
        EXPECT_EQ(image->GetWidth(), 64);
        EXPECT_EQ(image->GetHeight(), 48);
        EXPECT_EQ(image->GetData()[image->GetDataSize() - 1], 9);
    }
    CorrectLensDistortion(kBarrel.data(), nullptr, false, 1.0f);
    CorrectLensDistortion(nullptr, nullptr, false, 1.0f);
}

}  // namespace
