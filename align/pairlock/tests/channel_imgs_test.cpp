// The channel sets of a pair: result codes when a set cannot be made, the
// statistics reported as failed when any set fails, the best channel per
// grid template (ties to the lower index) and the accessors of a single
// edge set.
#include "align/pairlock/channel_imgs.h"
#include "align/pairlock/tests/pairlock_test_util.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using pairlock_test::Texture;

namespace {

// Three channels with their own texture strength; channels with equal sd
// carry the same texture.
Image* ChannelImage(int w, int h, const double sd[3])
{
    const Texture t(21);
    auto* img = new Image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const double v = 128.0 + sd[ch] * t.Value(0, x, y);
                img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + 3 * x + ch] =
                    static_cast<unsigned char>(std::clamp(std::lround(v), 1L, 255L));
            }
    return img;
}

}  // namespace

TEST(ChannelImgs, InitPrmsResultCodes)
{
    Image* colour = testkit::MakePatternImage(50, 40, 3);
    Image* colour2 = testkit::MakePatternImage(50, 41, 3);
    Image* grey = testkit::MakePatternImage(50, 40, 1);
    struct Case {
        const char* name;
        Image* a;
        Image* b;
        int mode;
        int result;
    };
    const Case cases[] = {
        {"colour sets", colour, colour, 7, 0},
        {"edge set", colour, colour, 8, 0},
        {"edge set of grey images", grey, grey, 8, 0},
        {"grey images have no channel 1", grey, grey, 7, -3},
        {"unequal sizes, colour", colour, colour2, 7, -2},
        {"unequal sizes, edge", colour, colour2, 8, -1},
        {"no second image", colour, nullptr, 8, -1},
    };
    for (const Case& c : cases) {
        LogCapture log;
        CChannelImgs sets;
        EXPECT_EQ(sets.InitPrms(c.a, c.b, c.mode, nullptr), c.result) << c.name;
        EXPECT_EQ(log.errorCount() > 0, c.result != 0) << c.name;
        // Statistics succeed only when every set has them.
        EXPECT_EQ(sets.MakeAvgImgs(7, 7), c.result == 0 ? 1 : 0) << c.name;
        // Running InitPrms again replaces everything.
        EXPECT_EQ(sets.InitPrms(colour, colour, 8, nullptr), 0) << c.name;
        EXPECT_EQ(sets.MakeAvgImgs(7, 7), 1) << c.name;
    }
    CChannelImgs empty;
    EXPECT_EQ(empty.MakeAvgImgs(7, 7), 0);
    EXPECT_EQ(empty.GetImgI1(0), nullptr);
    EXPECT_FALSE(empty.CheckOneTmplMaxContrast(0, 0, -1.0f));
    ReleaseImage(colour);
    ReleaseImage(colour2);
    ReleaseImage(grey);
}

TEST(ChannelImgs, BestChannelPerTemplate)
{
    struct Case {
        const char* name;
        double sd[3];
        int best;
    };
    const Case cases[] = {
        {"channel 1 strongest", {5.0, 40.0, 20.0}, 1},
        {"channel 2 strongest", {5.0, 10.0, 30.0}, 2},
        {"all equal: the first", {25.0, 25.0, 25.0}, 0},
        {"1 and 2 equal: the lower", {5.0, 30.0, 30.0}, 1},
    };
    for (const Case& c : cases) {
        Image* img = ChannelImage(90, 70, c.sd);
        CChannelImgs sets(img, img, 7, nullptr);
        ASSERT_EQ(sets.GetNumChannels(), 3);
        ASSERT_EQ(sets.MakeAvgImgs(15, 15), 1);
        sets.SetGridTmplInfo(20, 15, 25, 20, 3, 3);
        ASSERT_EQ(sets.GetNumTmpl(), 9);
        for (int iy = 0; iy < 3; ++iy)
            for (int ix = 0; ix < 3; ++ix) {
                const int k = iy * 3 + ix;
                EXPECT_EQ(sets.GetIndBestTmplChannel(ix, iy), c.best) << c.name << " " << k;
                EXPECT_EQ(sets.GetIndBestTmplChannel(k), c.best) << c.name << " " << k;
                // The table holds each set's gradient contrast of the template.
                POINT p{20 + 25 * ix, 15 + 20 * iy};
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_EQ(sets.GetTmplContrast(ch, k), sets.GetSet(ch)->CalcAreaContrast_GradXY(&p)) << c.name;
                const float best = sets.GetTmplContrast(c.best, k);
                EXPECT_TRUE(sets.CheckOneTmplMaxContrast(ix, iy, best));
                EXPECT_FALSE(sets.CheckOneTmplMaxContrast(ix, iy, std::nextafter(best, 1e30f)));
            }
        // Cells outside the grid.
        EXPECT_FALSE(sets.CheckOneTmplMaxContrast(3, 0, -1.0f));
        EXPECT_FALSE(sets.CheckOneTmplMaxContrast(0, -1, -1.0f));
        EXPECT_EQ(sets.GetIndBestTmplChannel(9), 0);
        ReleaseImage(img);
    }
}

TEST(ChannelImgs, OneEdgeSetServesEveryChannel)
{
    const double sd[3] = {30.0, 30.0, 30.0};
    Image* img = ChannelImage(80, 60, sd);
    REGION box{5, 6, 70, 50, 66, 45};
    CChannelImgs sets(img, img, &box);
    ASSERT_EQ(sets.GetNumChannels(), 1);
    ASSERT_EQ(sets.MakeAvgImgs(11, 13), 1);
    sets.SetGridTmplInfo(20, 20, 20, 20, 3, 2);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(sets.GetIndBestTmplChannel(k), 0);
        POINT p{20 + 20 * (k % 3), 20 + 20 * (k / 3)};
        // The edge set judges templates by their variance.
        EXPECT_EQ(sets.GetTmplContrast(0, k), sets.GetSet(0)->CalcOnePtContrast(&p));
    }
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(sets.GetImgI1(ch), sets.GetSet(0)->GetImgI1());
        EXPECT_EQ(sets.GetImgI2(ch), sets.GetSet(0)->GetImgI2());
    }
    EXPECT_NE(sets.GetImgA1(0), nullptr);
    EXPECT_EQ(sets.GetImgA1(2), nullptr);  // the statistics are asked of set ch
    EXPECT_EQ(sets.GetNx(), 80);
    EXPECT_EQ(sets.GetNy(), 60);
    EXPECT_EQ(sets.GetWdBox(), 11);
    EXPECT_EQ(sets.GetHtBox(), 13);
    ASSERT_NE(sets.GetBoundBox_1(), nullptr);
    EXPECT_EQ(sets.GetBoundBox_1()->x0, 5);
    EXPECT_EQ(sets.GetBoundBox_1()->y1, 50);
    ReleaseImage(img);
}
