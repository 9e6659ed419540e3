// The NCC image set of one channel: the edge image, the template contrast
// measures at the image border, the map values' scale for large templates,
// refusals of unequal images and bad search regions, the FFT box average and
// the float-to-grey conversion.
#include "align/pairlock/ncc_imgs.h"

#include "align/pairlock/ncc_maps_align.h"
#include "align/pairlock/tests/pairlock_test_util.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

using pairlock_test::MakeTextureImage;
using pairlock_test::Texture;

// Every class that owns arrays, images or maps refuses to be copied: a
// member-wise copy would free them twice.
static_assert(!std::is_copy_constructible_v<CNCCImgs> && !std::is_copy_assignable_v<CNCCImgs>);
static_assert(!std::is_copy_constructible_v<CChannelImgs> && !std::is_copy_assignable_v<CChannelImgs>);
static_assert(!std::is_copy_constructible_v<CNCCMake> && !std::is_copy_assignable_v<CNCCMake>);
static_assert(!std::is_copy_constructible_v<COneNCCMap> && !std::is_copy_assignable_v<COneNCCMap>);
static_assert(!std::is_copy_constructible_v<CRefSelect> && !std::is_copy_assignable_v<CRefSelect>);
static_assert(!std::is_copy_constructible_v<CCNCCMaps> && !std::is_copy_assignable_v<CCNCCMaps>);
static_assert(!std::is_copy_constructible_v<CCNCCMapBlocks> && !std::is_copy_assignable_v<CCNCCMapBlocks>);
static_assert(!std::is_copy_constructible_v<CNCCMapsAlign> && !std::is_copy_assignable_v<CNCCMapsAlign>);
static_assert(sizeof(TMPL_SECTION) == 16);

namespace {

unsigned char* Px(Image* img, int x, int y)
{
    return img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + static_cast<size_t>(x) * img->GetPixelBytes();
}

}  // namespace

TEST(NccImgs, EdgeMapMatchesBruteForceWithNoDataPixels)
{
    for (int channels : {1, 3}) {
        Image* img = testkit::MakePatternImage(23, 17, channels, 0, 4);
        // Some pixels without data (first sample 0).
        std::mt19937 rng(2);
        for (int i = 0; i < 40; ++i) Px(img, rng() % 23, rng() % 17)[0] = 0;
        CNCCImgs set;
        float* edge = set.RGBtoEdgeMap(img);
        ASSERT_NE(edge, nullptr);
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 23; ++x) {
                double want = 0.0;
                if (x <= 21 && y <= 15 && Px(img, x, y)[0] && Px(img, x + 1, y)[0] && Px(img, x, y + 1)[0])
                    for (int c = 0; c < channels; ++c)
                        want += std::abs(Px(img, x + 1, y)[c] - Px(img, x, y)[c]) +
                                std::abs(Px(img, x, y + 1)[c] - Px(img, x, y)[c]);
                ASSERT_EQ(edge[y * 23 + x], want) << channels << " channels at " << x << "," << y;
            }
        delete[] edge;
        ReleaseImage(img);
    }
    // 16-bit samples are not edge material.
    Image wide;
    ASSERT_TRUE(wide.Create(8, 8, 3, IMG_UINT16));
    CNCCImgs set;
    LogCapture log;
    EXPECT_EQ(set.RGBtoEdgeMap(&wide), nullptr);
    EXPECT_TRUE(log.contains("ERROR CNCCImgs::RGBtoEdgeMap"));
}

TEST(NccImgs, InitPrmsRefusesImagesOfDifferentSizes)
{
    Image* a = testkit::MakePatternImage(40, 30, 3);
    Image* b = testkit::MakePatternImage(41, 30, 3);
    LogCapture log;
    CNCCImgs set;
    EXPECT_EQ(set.InitPrms(a, b, 0, nullptr), 0);
    EXPECT_TRUE(log.contains("ERROR CNCCImgs::InitPrms"));
    EXPECT_EQ(set.GetImgI1(), nullptr);
    EXPECT_EQ(set.MakeAvgImgs(5, 5), 0);
    EXPECT_EQ(set.InitPrms(a, nullptr, 3, nullptr), 0);
    // The same pair the right way round works, and a second run replaces
    // the first one's arrays.
    EXPECT_EQ(set.InitPrms(a, a, 3, nullptr), 1);
    EXPECT_EQ(set.InitPrms(a, a, 1, nullptr), 1);
    EXPECT_EQ(set.MakeAvgImgs(5, 5), 1);
    ReleaseImage(a);
    ReleaseImage(b);
}

TEST(NccImgs, LargeTemplatesInLargeWindowsKeepTheirScale)
{
    // 96 x 96 (the 97 x 97 box) in a 512 x 512 window: the template sample
    // count times nx ny / 4 needs more than 32 bits. A correlation crafted
    // to give covariance 0.5 sqrt(prod) must read back as 0.5.
    const Texture t(8);
    Image* a = MakeTextureImage(t, 200, 200, 0, 0);
    Image* b = MakeTextureImage(t, 200, 200, 1, 1);
    CNCCImgs set(a, b, 0, nullptr);
    ASSERT_EQ(set.MakeAvgImgs(96, 96), 1);
    const int nx = 512, ny = 512;
    const double n = 97.0 * 97.0 * nx * ny / 4.0;
    POINT centre{100, 100}, half{nx / 2, ny / 2};
    REGION search{254, 254, 258, 258, 5, 5};
    const float* a1 = set.GetImgA1();
    const float* p1 = set.GetImgP1();
    const double mT = set.GetImgA2()[100 * 200 + 100];
    const double vT = set.GetImgP2()[100 * 200 + 100] - mT * mT;
    std::vector<float> corr(static_cast<size_t>(nx) * ny, 0.0f);
    for (int y = 254; y <= 258; ++y)
        for (int x = 254; x <= 258; ++x) {
            const int k = (100 + y - 256) * 200 + (100 + x - 256);
            const double m1 = a1[k];
            const double prod = (p1[k] - m1 * m1) * vT;
            ASSERT_GT(prod, 50000.0);
            corr[static_cast<size_t>(y) * nx + x] = static_cast<float>(n * (mT * m1 + 0.5 * std::sqrt(prod)));
        }
    float lo, hi;
    POINT peak;
    float* map = set.CalcNCCMap(corr.data(), nx, ny, &half, &centre, &search, &lo, &hi, &peak);
    ASSERT_NE(map, nullptr);
    for (int i = 0; i < 25; ++i) EXPECT_NEAR(map[i], 0.5, 1e-4) << i;
    delete[] map;
    ReleaseImage(a);
    ReleaseImage(b);
}

TEST(NccImgs, CalcNCCMapBoundsItsReads)
{
    const Texture t(9);
    Image* a = MakeTextureImage(t, 60, 50);
    Image* b = MakeTextureImage(t, 60, 50);
    CNCCImgs set(a, b, 1, nullptr);
    ASSERT_EQ(set.MakeAvgImgs(9, 9), 1);
    const int nx = 32, ny = 32;
    std::vector<float> corr(nx * ny, 1e6f);
    POINT half{16, 16};
    float lo, hi;
    POINT peak;
    {
        // Centre in the corner: most window positions fall outside image 1
        // and read as no data (value 0), none is read out of range.
        POINT centre{0, 0};
        REGION all{0, 0, nx - 1, ny - 1, nx, ny};
        float* map = set.CalcNCCMap(corr.data(), nx, ny, &half, &centre, &all, &lo, &hi, &peak);
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(map[0], 0.0f);                // image point (-16, -16)
        EXPECT_NE(map[20 * nx + 20], 0.0f);     // image point (4, 4)
        delete[] map;
    }
    // Regions that leave the window or contradict their own size.
    LogCapture log;
    POINT centre{30, 25};
    for (REGION bad : {REGION{-1, 0, 5, 5, 7, 6}, REGION{0, 0, nx, 5, nx + 1, 6}, REGION{4, 4, 3, 8, 0, 5},
                       REGION{0, 0, 5, 5, 5, 6}}) {
        EXPECT_EQ(set.CalcNCCMap(corr.data(), nx, ny, &half, &centre, &bad, &lo, &hi, &peak), nullptr);
    }
    EXPECT_GE(log.errorCount(), 4);
    ReleaseImage(a);
    ReleaseImage(b);
}

TEST(NccImgs, GradientContrastMatchesBruteForceAtTheBorder)
{
    Image* a = testkit::MakePatternImage(30, 24, 3, 0, 6);
    Px(a, 10, 10)[1] = 0;  // a zero sample of channel 1 is skipped
    const int wd = 9, ht = 7;
    CNCCImgs set(a, a, 1, nullptr);
    ASSERT_EQ(set.MakeAvgImgs(wd, ht), 1);
    auto sample = [&](int x, int y) -> double {
        if (x < 0 || y < 0 || x >= 30 || y >= 24) return 0.0;
        return Px(a, x, y)[1];
    };
    for (POINT pt : {POINT{15, 12}, POINT{0, 0}, POINT{29, 23}, POINT{28, 1}, POINT{1, 22}, POINT{11, 11}}) {
        double sum = 0.0;
        for (int y = pt.y - ht / 2 - 1; y < pt.y - ht / 2 - 1 + ht; ++y)
            for (int x = pt.x - wd / 2 - 1; x < pt.x - wd / 2 - 1 + wd; ++x) {
                const double s = sample(x, y);
                if (s == 0.0) continue;
                if (sample(x + 2, y) > 0) sum += (sample(x + 2, y) - s) * (sample(x + 2, y) - s);
                if (sample(x, y + 2) > 0) sum += (sample(x, y + 2) - s) * (sample(x, y + 2) - s);
            }
        const double avg = set.GetImgA2()[pt.y * 30 + pt.x];
        const double want = 300.0 / (avg + 100.0) * sum / (2.0 * wd * ht);
        EXPECT_NEAR(set.CalcAreaContrast_GradXY(&pt), want, 1e-5 * want) << pt.x << "," << pt.y;
        EXPECT_EQ(set.CheckOnePtContrast(&pt, static_cast<float>(want * 0.999)), true);
        EXPECT_EQ(set.CheckOnePtContrast(&pt, static_cast<float>(want * 1.001)), false);
    }
    // The edge set judges by the template variance instead.
    CNCCImgs edges(a, a, nullptr);
    ASSERT_EQ(edges.MakeAvgImgs(wd, ht), 1);
    POINT pt{15, 12};
    const float var = edges.CalcOnePtContrast(&pt);
    EXPECT_FLOAT_EQ(var, edges.GetImgP2()[12 * 30 + 15] - edges.CalcOnePtAvg(&pt) * edges.CalcOnePtAvg(&pt));
    EXPECT_TRUE(edges.CheckOnePtContrast(&pt, var));
    EXPECT_FALSE(edges.CheckOnePtContrast(&pt, var + 1.0f));
    POINT outside{-5, 40};
    EXPECT_EQ(edges.CalcOnePtContrast(&outside), 0.0f);
    ReleaseImage(a);
}

TEST(NccImgs, BoxAvgIsACircularWindowMean)
{
    // Even sizes: the box covers offsets 1 - wd/2 .. wd/2.
    const int nx = 16, ny = 12, wd = 4, ht = 6;
    std::mt19937 rng(3);
    std::vector<float> src(nx * ny), dst(nx * ny);
    for (float& v : src) v = static_cast<float>(rng() % 256);
    CNCCImgs set;
    ASSERT_EQ(set.BoxAvg(src.data(), dst.data(), nx, ny, wd, ht), 1);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            double s = 0.0;
            for (int j = 1 - ht / 2; j <= ht / 2; ++j)
                for (int i = 1 - wd / 2; i <= wd / 2; ++i) s += src[((y + j + ny) % ny) * nx + (x + i + nx) % nx];
            EXPECT_NEAR(dst[y * nx + x], s / (wd * ht), 1e-3) << x << "," << y;
        }
    EXPECT_EQ(set.BoxAvg(src.data(), dst.data(), nx, ny, 0, ht), 0);
}

TEST(NccImgs, FloatArrayToImageTable)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float v, lo, hi;
        int grey;
    };
    const Case cases[] = {
        {-1.0f, 0.0f, 255.0f, 0},   {0.0f, 0.0f, 255.0f, 0},     {100.7f, 0.0f, 255.0f, 100},
        {255.0f, 0.0f, 255.0f, 255}, {300.0f, 0.0f, 255.0f, 255}, {0.25f, -0.5f, 1.0f, 127},
        {nan, 0.0f, 1.0f, 0},
        // Equal limits: below is 0, at or above 255, never a division by 0.
        {0.49f, 0.5f, 0.5f, 0},     {0.5f, 0.5f, 0.5f, 255},     {0.7f, 0.5f, 0.5f, 255},
    };
    for (const Case& c : cases) {
        float v[2] = {c.v, c.v};
        Image* img = FloatArrayToImage(v, 2, 1, c.lo, c.hi);
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->GetChannels(), 3);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(img->GetData()[i], c.grey) << c.v << " in " << c.lo << ".." << c.hi;
        ReleaseImage(img);
    }
    float v = 1.0f;
    EXPECT_EQ(FloatArrayToImage(&v, 0, 1, 0.0f, 1.0f), nullptr);
    EXPECT_EQ(FloatArrayToImage(nullptr, 1, 1, 0.0f, 1.0f), nullptr);
}
