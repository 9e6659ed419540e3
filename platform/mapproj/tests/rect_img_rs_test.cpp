// The perspective picture of a strip region: its size, its refusals, and its
// pixels against a per-pixel inverse gnomonic reference written here from
// the textbook formulas (latitude by asin, longitude by atan2 of the plane
// point), on a real panorama, compared by ImageMagick.
#include "platform/mapproj/rect_img_rs.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <unistd.h>

namespace {

constexpr double kPi = std::numbers::pi;

struct ImageRef {
    Image* image = nullptr;
    explicit ImageRef(Image* i) : image(i) {}
    ~ImageRef()
    {
        if (image) ReleaseImage(image);
    }
    ImageRef(const ImageRef&) = delete;
    ImageRef& operator=(const ImageRef&) = delete;
};

// Inverse gnomonic projection (Snyder): plane point (x, y) in radians of the
// tangent plane at (lon0 = 0, lat0), north up; nearest strip sample.
Image* GnomonicReference(const Image& strip, int equatorRow, int W, double cx, double cy, int outW, int outH)
{
    auto* out = new Image();
    if (out->BmpInit(outW, outH, strip.GetChannels()) != 0) return nullptr;
    const double r = W / (2 * kPi);
    const double lat0 = -(cy - equatorRow) / r;  // north positive
    for (int v = 0; v < outH; ++v)
        for (int u = 0; u < outW; ++u) {
            const double x = (u + 0.5 - outW / 2.0) / r;
            const double y = -(v + 0.5 - outH / 2.0) / r;
            const double rho = std::sqrt(x * x + y * y);
            const double c = std::atan(rho);
            double lat = lat0, lon = 0;
            if (rho > 0) {
                lat = std::asin(std::cos(c) * std::sin(lat0) + y * std::sin(c) * std::cos(lat0) / rho);
                lon = std::atan2(x * std::sin(c), rho * std::cos(lat0) * std::cos(c) - y * std::sin(lat0) * std::sin(c));
            }
            // Bilinear between the four strip samples around the point.
            const double sx = cx + lon * r, sy = equatorRow - lat * r;
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            const double ax = sx - x0, ay = sy - y0;
            uint8_t* o = out->GetData() + static_cast<size_t>(v) * out->GetRowByte() + u * out->GetChannels();
            for (int ch = 0; ch < strip.GetChannels(); ++ch) {
                auto at = [&](int x, int y) -> double {
                    x = std::clamp(x, 0, strip.GetWidth() - 1);
                    y = std::clamp(y, 0, strip.GetHeight() - 1);
                    return strip.GetData()[static_cast<size_t>(y) * strip.GetRowByte() + x * strip.GetChannels() + ch];
                };
                const double value = (1 - ay) * ((1 - ax) * at(x0, y0) + ax * at(x0 + 1, y0)) +
                                     ay * ((1 - ax) * at(x0, y0 + 1) + ax * at(x0 + 1, y0 + 1));
                o[ch] = static_cast<uint8_t>(std::lround(value));
            }
        }
    return out;
}

}  // namespace

TEST(RectImgRS, SizeFollowsTheRegionsAnglesUpToTheFieldLimit)
{
    ImageRef strip(testkit::MakePatternImage(400, 201, 3));
    ASSERT_NE(strip.image, nullptr);
    const double r = 400 / (2 * kPi);
    struct Case {
        const char* what;
        RECT region;
        float factor;
        double halfX, halfY;  // the expected half angles
    };
    const Case cases[] = {
        {"small region", RECT{150, 80, 199, 109}, 0.7f, 50 / (2 * r), 30 / (2 * r)},
        {"wide region limited by the factor", RECT{0, 60, 399, 139}, 0.7f, 0.7 * kPi / 2, 80 / (2 * r)},
        {"factor 1 still below a right angle", RECT{0, 90, 149, 109}, 1.0f, 150 / (2 * r), 20 / (2 * r)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageRef out(CRectImgRS::BitmapAreaToPlane(strip.image, 100, 400, &c.region, 0, c.factor, 0, 1, 1));
        ASSERT_NE(out.image, nullptr);
        EXPECT_EQ(out.image->GetWidth(), std::lround(2 * r * std::tan(c.halfX)));
        EXPECT_EQ(out.image->GetHeight(), std::lround(2 * r * std::tan(c.halfY)));
        EXPECT_EQ(out.image->GetChannels(), 3);
    }
}

TEST(RectImgRS, RefusesBadInputWithAnErrorLine)
{
    ImageRef strip(testkit::MakePatternImage(64, 33, 3));
    const RECT good{10, 10, 20, 20};
    const RECT inverted{20, 10, 10, 20};
    Image empty;
    struct Case {
        const char* what;
        const Image* image;
        int W;
        const RECT* region;
        float factor;
    };
    const Case cases[] = {
        {"no image", nullptr, 64, &good, 0.7f},   {"empty image", &empty, 64, &good, 0.7f},
        {"no region", strip.image, 64, nullptr, 0.7f}, {"inverted region", strip.image, 64, &inverted, 0.7f},
        {"zero width", strip.image, 0, &good, 0.7f}, {"zero factor", strip.image, 64, &good, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        EXPECT_EQ(CRectImgRS::BitmapAreaToPlane(c.image, 16, c.W, c.region, 0, c.factor, 0, 1, 1), nullptr);
        EXPECT_TRUE(log.contains("ERROR CRectImgRS::BitmapAreaToPlane"));
    }
}

TEST(RectImgRS, RealPanoramaMatchesTheGnomonicReference)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    ASSERT_TRUE(testkit::RequireTool("compare"));
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("rect_img_rs_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string stripPath = (dir / "strip.ppm").string();
    // A world map of W = 1024: 513 rows, the equator on row 256.
    const auto made = testkit::Run("convert '" + testkit::TestData("pannellum/examplepano.jpg").string() +
                                   "' -resize 1024x513! -depth 8 '" + stripPath + "'");
    ASSERT_EQ(made.status, 0) << made.output;
    ImageRef strip(testkit::ReadPnm(stripPath));
    ASSERT_NE(strip.image, nullptr);
    struct Case {
        const char* what;
        RECT region;
    };
    const Case cases[] = {
        {"on the equator", RECT{400, 200, 599, 311}},
        {"looking up", RECT{100, 60, 299, 160}},
        {"looking down", RECT{700, 300, 859, 420}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageRef out(CRectImgRS::BitmapAreaToPlane(strip.image, 256, 1024, &c.region, 0, 0.7f, 0, 1, 1));
        ASSERT_NE(out.image, nullptr);
        const double cx = 0.5 * (c.region.left + c.region.right), cy = 0.5 * (c.region.top + c.region.bottom);
        ImageRef ref(GnomonicReference(*strip.image, 256, 1024, cx, cy, out.image->GetWidth(), out.image->GetHeight()));
        ASSERT_NE(ref.image, nullptr);
        const std::string a = (dir / "out.ppm").string(), b = (dir / "ref.ppm").string();
        ASSERT_TRUE(testkit::WritePnm(*out.image, a));
        ASSERT_TRUE(testkit::WritePnm(*ref.image, b));
        const auto cmp = testkit::Run("compare -metric MAE '" + a + "' '" + b + "' null: 2>&1");
        double absolute = 0, normalised = 1;
        ASSERT_EQ(std::sscanf(cmp.output.c_str(), "%lf (%lf)", &absolute, &normalised), 2) << cmp.output;
        EXPECT_LT(normalised, 0.02) << cmp.output;
    }
    std::filesystem::remove_all(dir);
}
