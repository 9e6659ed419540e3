// The scale rules and the bilinear resampler: the plan for the picture
// shapes the saver meets, the fast resampler exactly against a per-pixel
// reference written here, and against ImageMagick's triangle filter on a
// real photograph.
#include "viewer/drowsel/picture_scale.h"

#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace {

struct ImageRelease {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageRelease>;

TEST(PictureScaleTest, PlanTable)
{
    struct Case {
        const char* what;
        int width, height;
        bool panorama;
        int ww, wh, fov;
        int dw, dh, ox, oy;
        bool scrolls, bounces;
    } cases[] = {
        // w x h  fits and is at most nine tenths of the height: unscaled, centred, still.
        {"800x600 on 1024x768", 800, 600, false, 1024, 768, 70, 800, 600, 112, 84, false, true},
        // 768 x 9 / 10 = 691 rows: 692 is too high and gets fitted.
        {"just too high", 800, 692, false, 1024, 768, 70, 799, 691, 112, 38, false, true},
        {"800x691 fits", 800, 691, false, 1024, 768, 70, 800, 691, 112, 38, false, true},
        // Less than twice as wide as high: fitted, min(1024/1200, 0.9 x 768/1000) = 0.6912.
        {"1200x1000 fitted", 1200, 1000, false, 1024, 768, 70, 829, 691, 97, 38, false, true},
        {"1999x1000 fitted by width", 1999, 1000, false, 1024, 768, 70, 1024, 512, 0, 128, false, true},
        // Twice as wide: scrolls back and forth at 70 % of the height: 768 x 70 / 100000 = 0.5376.
        {"3000x1000 bounces", 3000, 1000, false, 1024, 768, 70, 1613, 538, 0, 115, true, true},
        // A panorama always scrolls endlessly at the height share.
        {"panorama", 4096, 2048, true, 1024, 768, 70, 1075, 538, 0, 115, true, false},
        {"small panorama grows", 400, 100, true, 1024, 768, 90, 2765, 691, 0, 38, true, false},
        {"narrow panorama centred", 100, 400, true, 1024, 768, 50, 96, 384, 464, 192, true, false},
    };
    for (const Case& c : cases) {
        const drowsel::DisplayPlan p = drowsel::PlanDisplay(c.width, c.height, c.panorama, c.ww, c.wh, c.fov);
        EXPECT_EQ(p.displayWidth, c.dw) << c.what;
        EXPECT_EQ(p.displayHeight, c.dh) << c.what;
        EXPECT_EQ(p.offsetX, c.ox) << c.what;
        EXPECT_EQ(p.offsetY, c.oy) << c.what;
        EXPECT_EQ(p.scrolls, c.scrolls) << c.what;
        EXPECT_EQ(p.bounces, c.bounces) << c.what;
    }
}

// The rule pixel by pixel, written out here: source position x * W / dw,
// the integer part clamped to W - 2 with fraction 1, a one-pixel side read
// at 0 with fraction 0; horizontal lerps on both rows, then vertical, + 0.5.
unsigned char RulePixel(const Image& s, int x, int y, int k, int dw, int dh)
{
    auto tap = [](int v, int size, int dsize, int& i, float& f) {
        if (size == 1) {
            i = 0, f = 0.0f;
            return;
        }
        const double p = double(v) * size / dsize;
        i = int(p);
        f = float(p - i);
        if (i > size - 2) i = size - 2, f = 1.0f;
    };
    int ix, iy;
    float fx, fy;
    tap(x, s.GetWidth(), dw, ix, fx);
    tap(y, s.GetHeight(), dh, iy, fy);
    const int c = s.GetChannels();
    const int jx = s.GetWidth() == 1 ? ix : ix + 1, jy = s.GetHeight() == 1 ? iy : iy + 1;
    auto at = [&](int xx, int yy) -> float {
        return s.GetData()[size_t(yy) * s.GetRowByte() + size_t(xx) * c + (c == 1 ? 0 : k)];
    };
    const float top = at(ix, iy) + fx * (at(jx, iy) - at(ix, iy));
    const float bottom = at(ix, jy) + fx * (at(jx, jy) - at(ix, jy));
    return static_cast<unsigned char>(top + fy * (bottom - top) + 0.5f);
}

::testing::AssertionResult FollowsRule(const Image& source, const Image& out)
{
    const int dw = out.GetWidth(), dh = out.GetHeight();
    if (out.GetChannels() != 3) return ::testing::AssertionFailure() << "channels " << out.GetChannels();
    if (out.GetRowByte() % 4 != 0) return ::testing::AssertionFailure() << "rows not padded: " << out.GetRowByte();
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            for (int k = 0; k < 3; ++k) {
                const int got = out.GetData()[size_t(y) * out.GetRowByte() + size_t(x) * 3 + k];
                const int want = RulePixel(source, x, y, k, dw, dh);
                if (got != want)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") channel " << k << ": " << got << ", rule " << want;
            }
    return ::testing::AssertionSuccess();
}

TEST(PictureScaleTest, ResamplerFollowsTheRuleExactly)
{
    struct Case {
        int width, height, channels, dw, dh, threads;
    } cases[] = {
        {97, 61, 3, 40, 25, 1},   // down
        {97, 61, 3, 211, 133, 4}, // up, several workers
        {64, 64, 3, 64, 64, 3},   // same size
        {50, 40, 1, 33, 77, 2},   // grey to three channels
        {1, 30, 3, 12, 18, 1},    // one pixel wide: no read before the row
        {30, 1, 3, 45, 3, 1},     // one pixel high
        {1, 1, 3, 5, 4, 1},
    };
    for (const Case& c : cases) {
        ImagePtr source(testkit::MakePatternImage(c.width, c.height, c.channels, IMG_LAYOUT_BITMAP, 7));
        ImagePtr fast(drowsel::ResampleBilinear(*source, c.dw, c.dh, c.threads));
        ImagePtr slow(drowsel::ResampleBilinearReference(*source, c.dw, c.dh));
        ASSERT_TRUE(fast && slow);
        EXPECT_TRUE(FollowsRule(*source, *fast)) << c.width << "x" << c.height << " -> " << c.dw << "x" << c.dh;
        EXPECT_TRUE(FollowsRule(*source, *slow)) << c.width << "x" << c.height << " -> " << c.dw << "x" << c.dh;
    }
}

TEST(PictureScaleTest, RefusesUnusableArguments)
{
    ImagePtr source(testkit::MakePatternImage(8, 8, 3));
    ImagePtr empty(new Image());
    LogCapture log;
    EXPECT_EQ(drowsel::ResampleBilinear(*source, 0, 5), nullptr);
    EXPECT_EQ(drowsel::ResampleBilinear(*empty, 5, 5), nullptr);
    EXPECT_TRUE(log.contains("ERROR ResampleBilinear")) << log.text();
}

// A real photograph cut to 1200 x 1000 and fitted into 1024 x 768 (829 x
// 691), against ImageMagick's -resize with a triangle filter.
TEST(PictureScaleTest, ResampledPhotographMatchesImageMagick)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    ASSERT_TRUE(testkit::RequireTool("compare"));
    testkit::TempDir dir;
    const std::string photo = testkit::TestData("plasma-workspace-wallpapers/EveningGlow_2560x1600.jpg").string();
    const std::string cut = dir.file("cut.ppm");
    ASSERT_EQ(testkit::Run("convert '" + photo + "' -crop 1200x1000+600+300 +repage '" + cut + "'").status, 0);
    ImagePtr source(testkit::ReadPnm(cut));
    ASSERT_TRUE(source);
    const drowsel::DisplayPlan plan = drowsel::PlanDisplay(1200, 1000, false, 1024, 768, 70);
    ASSERT_EQ(plan.displayWidth, 829);
    ImagePtr out(drowsel::ResampleBilinear(*source, plan.displayWidth, plan.displayHeight));
    ASSERT_TRUE(out);
    EXPECT_TRUE(FollowsRule(*source, *out));
    // Packed rows for the PNM writer.
    ImagePtr packed(new Image(out->GetWidth(), out->GetHeight(), 3));
    for (int y = 0; y < out->GetHeight(); ++y)
        std::memcpy(packed->GetData() + size_t(y) * packed->GetRowByte(), out->GetData() + size_t(y) * out->GetRowByte(),
                    size_t(out->GetWidth()) * 3);
    const std::string ours = dir.file("ours.ppm"), theirs = dir.file("theirs.ppm");
    ASSERT_TRUE(testkit::WritePnm(*packed, ours));
    ASSERT_EQ(testkit::Run("convert '" + cut + "' -filter Triangle -resize 829x691! '" + theirs + "'").status, 0);
    const testkit::CommandResult mae = testkit::Run("compare -metric MAE '" + ours + "' '" + theirs + "' null: 2>&1");
    // "<absolute> (<normalised>)"
    const size_t open = mae.output.find('(');
    ASSERT_NE(open, std::string::npos) << mae.output;
    const double normalised = std::atof(mae.output.c_str() + open + 1);
    EXPECT_LT(normalised, 0.01) << mae.output;
    EXPECT_GT(normalised, 0.0) << "the two resamplers cannot agree to the last bit: " << mae.output;
}

}  // namespace
