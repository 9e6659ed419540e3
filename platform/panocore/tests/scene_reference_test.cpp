// The scene maker against a slow per-sample reference written here: for
// every sample of the scene, the sphere ray in double precision, turned into
// the camera, through the pinhole (and the distortion polynomial) to the
// image, sampled bilinearly. Also the pair measuring against box means taken
// directly.
#include "platform/panocore/make_vantor.h"
#include "platform/panocore/pair_measure.h"

#include "imaging/image.h"
#include "platform/sceneio/kestova_file.h"
#include "platform/xformkit/camera_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

using namespace xformkit;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A picture with detail at several scales, random but repeatable.
Image* Texture(int w, int h, int channels, unsigned seed)
{
    Image* img = new Image(w, h, channels);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    const double f1 = 0.05 + 0.05 * u(rng), f2 = 0.11 + 0.05 * u(rng), ph = 6 * u(rng);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                const double v = 128 + 60 * std::sin(f1 * x + ph + c) * std::cos(f2 * y - c) + 40 * std::sin(0.02 * (x + 2 * y));
                img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + static_cast<size_t>(x) * channels + c] =
                    static_cast<uint8_t>(std::clamp(v, 1.0, 255.0));
            }
    return img;
}

struct Case {
    const char* name;
    float cx, cy;             // optical centre (0: the image centre)
    float dist[4];            // a, b, c, d (d = 0: no distortion record)
    float pan, tilt, roll;    // degrees
};

}  // namespace

TEST(MakeVantorReference, EverySampleAgreesWithTheDirectRay)
{
    const Case cases[] = {
        {"centred", 0, 0, {0, 0, 0, 0}, 10, 5, 0},
        {"off-centre", 173, 109, {0, 0, 0, 0}, -30, -12, 7},
        {"distorted", 0, 0, {0.02f, -0.05f, 0.01f, 1.0f}, 100, 20, -4},
        {"both, across 180", 151, 131, {-0.01f, 0.03f, -0.02f, 1.0f}, 178, -35, 12},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        constexpr int kW = 320, kH = 240, kN = 2400;
        Image* img = Texture(kW, kH, 3, 7);
        TRANSFORM_RS t{};
        t.rcpFocal = 1.0f / 350.0f;
        t.pan = static_cast<float>(k.pan * kPi / 180);
        t.tilt = static_cast<float>(k.tilt * kPi / 180);
        t.roll = static_cast<float>(k.roll * kPi / 180);
        t.centreX = k.cx;
        t.centreY = k.cy;
        t.scale = 1.0f;
        std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
        float record[11] = {k.dist[0], k.dist[1], k.dist[2], k.dist[3]};
        if (k.dist[3] != 0) maker->SetDistortion(reinterpret_cast<const DistortionRecord*>(record), kW, kH, 1.0f, 3);
        KestovaFile scene;
        scene.SetNumChannel(3);
        scene.SetEquatorSampleNum(kN);
        ASSERT_TRUE(maker->MakeScene(img, &scene, &t, 0, true, 1));

        const double cx = k.cx ? k.cx : kW / 2, cy = k.cy ? k.cy : kH / 2;
        const Mat3 toCam = Transpose(PlacementMatrix(t.pan, t.tilt, t.roll));
        double sum = 0, worst = 0;
        long count = 0;
        const List* bands = scene.GetBandList();
        for (int b = 0; b < bands->m_count; ++b) {
            const auto* band = static_cast<const CBand*>(bands->GetData(b));
            const double lat = band->m_row * 2 * kPi / kN;
            for (int s = 0; s < band->m_numSectors; ++s) {
                const CSector* sec = band->m_sectors[s];
                for (int col = sec->m_first; col <= sec->m_last; ++col) {
                    const double lon = col * 2 * kPi / kN;
                    const Vec3 ray{std::cos(lat) * std::sin(lon), std::sin(lat), std::cos(lat) * std::cos(lon)};
                    const Vec3 cam = Apply(toCam, ray);
                    ASSERT_GT(cam.z, 0);
                    double px = cam.x / cam.z / t.rcpFocal, py = cam.y / cam.z / t.rcpFocal;
                    if (k.dist[3] != 0) {
                        const double r = std::hypot(px, py) / (std::min(kW, kH) / 2.0);
                        const double f = k.dist[3] + k.dist[2] * r + k.dist[1] * r * r + k.dist[0] * r * r * r;
                        px *= f;
                        py *= f;
                    }
                    const double x = px + cx, y = py + cy;
                    ASSERT_TRUE(x >= -1e-6 && y >= -1e-6 && x <= kW - 1 + 1e-6 && y <= kH - 1 + 1e-6) << x << "," << y;
                    const int ix = std::min(static_cast<int>(x), kW - 2), iy = std::min(static_cast<int>(y), kH - 2);
                    const double fx = x - ix, fy = y - iy;
                    const uint8_t* got = sec->GetDataPtr() + static_cast<size_t>(col - sec->m_first) * 3;
                    for (int c = 0; c < 3; ++c) {
                        auto at = [&](int xx, int yy) {
                            return static_cast<double>(img->GetData()[static_cast<size_t>(yy) * img->GetRowByte() + xx * 3 + c]);
                        };
                        const double want = (1 - fx) * (1 - fy) * at(ix, iy) + fx * (1 - fy) * at(ix + 1, iy) +
                                            (1 - fx) * fy * at(ix, iy + 1) + fx * fy * at(ix + 1, iy + 1);
                        // Both rounded to 8 bits: what is left is the arithmetic of the two.
                        const double d = std::abs(got[c] - std::floor(want + 0.5));
                        sum += d;
                        worst = std::max(worst, d);
                        ++count;
                    }
                }
            }
        }
        // The scene holds about as many samples as the image seen at this rate.
        EXPECT_GT(count, 3L * kW * kH / 4);
        EXPECT_LE(worst, 1.0);
        EXPECT_LT(sum / count, 0.2);
        ReleaseImage(img);
    }
}

TEST(PairMeasure, EntriesAreTheBoxMeansAtCommonPoints)
{
    constexpr int kW = 300, kH = 200;
    Image* a = Texture(kW, kH, 3, 1);
    Image* b = Texture(kW, kH, 3, 2);
    // Hole of no data in b: boxes touching it are left out.
    for (int y = 80; y < 120; ++y)
        for (int x = 0; x < 40; ++x) b->GetData()[static_cast<size_t>(y) * b->GetRowByte() + 3 * x] = 0;
    TRANSFORM_RS ta{}, tb{};
    ta.rcpFocal = tb.rcpFocal = 1.0f / 300.0f;
    ta.pan = 0.0f;
    tb.pan = 0.35f;
    tb.tilt = 0.05f;
    tb.roll = 0.03f;
    tb.centreX = 160;
    tb.centreY = 95;
    std::vector<float> entries;
    const int n = MeasurePairIntensities(a, &ta, b, &tb, entries);
    ASSERT_EQ(entries.size(), static_cast<size_t>(6 * n));

    // Directly: the same grid, each point sent to b with the rotation
    // written out, the boxes summed sample by sample.
    const Mat3 rb = Transpose(PlacementMatrix(tb.pan, tb.tilt, tb.roll));
    auto boxMean = [](const Image* img, int x0, int y0, float out[3]) {
        for (int c = 0; c < 3; ++c) {
            double s = 0;
            for (int y = y0; y < y0 + 20; ++y)
                for (int x = x0; x < x0 + 20; ++x) {
                    const uint8_t* p = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + 3 * x;
                    if (p[0] == 0) return false;
                    s += p[c];
                }
            out[c] = static_cast<float>(s / 400);
        }
        return true;
    };
    std::vector<float> want;
    for (int j = 0; j < 10; ++j)
        for (int i = 0; i < 10; ++i) {
            const double xa = (i + 0.5) * 30, ya = (j + 0.5) * 20;
            const Vec3 cam = Apply(rb, Vec3{(xa - 150) / 300.0, (ya - 100) / 300.0, 1});
            const double xb = cam.x / cam.z * 300 + 160, yb = cam.y / cam.z * 300 + 95;
            const int ax = static_cast<int>(std::lround(xa)) - 10, ay = static_cast<int>(std::lround(ya)) - 10;
            const int bx = static_cast<int>(std::lround(xb)) - 10, by = static_cast<int>(std::lround(yb)) - 10;
            if (ax < 0 || ay < 0 || ax + 20 > kW || ay + 20 > kH || bx < 0 || by < 0 || bx + 20 > kW || by + 20 > kH)
                continue;
            float ma[3], mb[3];
            if (!boxMean(a, ax, ay, ma) || !boxMean(b, bx, by, mb)) continue;
            want.insert(want.end(), {ma[0], ma[1], ma[2], mb[0], mb[1], mb[2]});
        }
    ASSERT_EQ(entries.size(), want.size());
    EXPECT_GT(n, 20);   // about half of a overlaps b
    EXPECT_LT(n, 100);  // and not all
    for (size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(entries[k], want[k], 1e-3) << k;

    // Frames that do not overlap give nothing; bad input is refused.
    tb.pan = 3.0f;
    entries.clear();
    EXPECT_EQ(MeasurePairIntensities(a, &ta, b, &tb, entries), 0);
    tb.rcpFocal = 0;
    EXPECT_EQ(MeasurePairIntensities(a, &ta, b, &tb, entries), 0);
    EXPECT_EQ(MeasurePairIntensities(nullptr, &ta, b, &tb, entries), 0);
    EXPECT_TRUE(entries.empty());
    ReleaseImage(a);
    ReleaseImage(b);
}
