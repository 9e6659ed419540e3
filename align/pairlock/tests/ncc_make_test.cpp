// One template's NCC map, made through the FFT correlator, against the
// brute-force correlation over image coordinates: odd and even template
// sizes, the low-contrast damping regimes, the peak at a known shift, the
// search region left by a clipped window, and a flat template.
#include "align/pairlock/cncc_maps.h"
#include "align/pairlock/ncc_make.h"
#include "align/pairlock/tests/pairlock_test_util.h"
#include "imaging/image.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using pairlock_test::BruteNcc;
using pairlock_test::MakeTextureImage;
using pairlock_test::Texture;

namespace {

// A pair whose image 2 is image 1 moved by (sx, sy): the template at c in
// image 2 matches image 1 at c + (sx, sy).
struct Pair {
    Image* img1;
    Image* img2;
    ~Pair()
    {
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
};

Pair MakePair(int w, int h, int sx, int sy, double sd, uint32_t seed = 5)
{
    const Texture t(seed);
    return Pair{MakeTextureImage(t, w, h, 0, 0, sd), MakeTextureImage(t, w, h, sx, sy, sd)};
}

// One template at (cx, cy) through the map maker with colour sets.
struct OneMap {
    CNCCMake maker;
    COneNCCMap map;
    int made = 0;
    int channel = 0;

    OneMap(Pair& p, int cx, int cy, int wd, int ht, int nx, int ny, float contrastThr, REGION* box = nullptr)
    {
        EXPECT_EQ(maker.CChannelImgs::InitPrms(p.img1, p.img2, 7, box), 0);
        EXPECT_EQ(maker.MakeAvgImgs(wd, ht), 1);
        maker.SetGridTmplInfo(cx, cy, 10, 10, 1, 1);
        maker.InitPrms(0);
        maker.m_contrastThr = contrastThr;
        map.centre = POINT{cx, cy};
        std::vector<float> w1(static_cast<size_t>(nx) * ny), w2(w1.size());
        made = maker.MakeOneNCCMap_cut(&map, w1.data(), w2.data(), nx, ny, 0, 0, nullptr, 0);
        channel = maker.GetIndBestTmplChannel(0, 0);
    }
};

}  // namespace

TEST(NccMap, MatchesBruteForceForOddAndEvenTemplates)
{
    const int sx = 3, sy = -2;
    Pair p = MakePair(160, 140, sx, sy, 40.0);
    struct Case {
        int wd, ht;
    };
    for (Case c : {Case{25, 25}, Case{24, 24}, Case{31, 20}, Case{20, 33}}) {
        const int nx = CCNCCMaps::GoodSize(c.wd + 2 * 12, 10);
        const int ny = CCNCCMaps::GoodSize(c.ht + 2 * 12, 10);
        const int cx = 80, cy = 70;
        OneMap one(p, cx, cy, c.wd, c.ht, nx, ny, 20.0f);
        ASSERT_EQ(one.made, 1) << c.wd << "x" << c.ht;
        const COneNCCMap& m = one.map;
        ASSERT_NE(m.nccMap, nullptr);

        // The whole window lies inside the image: every position where the
        // template's box stays inside the window is in the map.
        EXPECT_EQ(m.search.width, nx - 2 * (c.wd / 2));
        EXPECT_EQ(m.search.height, ny - 2 * (c.ht / 2));
        EXPECT_EQ(m.search.x0, c.wd / 2);
        EXPECT_EQ(m.search.y0, c.ht / 2);

        double worst = 0.0;
        int compared = 0;
        float hi = -1e9f, lo = 1e9f;
        for (int y = 0; y < m.search.height; ++y) {
            for (int x = 0; x < m.search.width; ++x) {
                const int dx = m.search.x0 + x - nx / 2;
                const int dy = m.search.y0 + y - ny / 2;
                const pairlock_test::NccRef ref = BruteNcc(p.img1, p.img2, one.channel, cx, cy, dx, dy, c.wd, c.ht);
                const float got = m.nccMap[y * m.search.width + x];
                hi = std::max(hi, got);
                lo = std::min(lo, got);
                if (ref.prod < 50000.0 * 1.01) continue;
                worst = std::max(worst, std::fabs(got - ref.value));
                ++compared;
            }
        }
        EXPECT_LT(worst, 1e-4) << c.wd << "x" << c.ht;
        EXPECT_GT(compared, m.search.width * m.search.height / 2);
        // The peak is the shift; the map's own extremes are recorded.
        EXPECT_EQ(m.peak.x, sx) << c.wd << "x" << c.ht;
        EXPECT_EQ(m.peak.y, sy) << c.wd << "x" << c.ht;
        EXPECT_EQ(m.maxValue, hi);
        EXPECT_EQ(m.minValue, lo);
        EXPECT_EQ(m.nccMap[static_cast<int>(m.peakRow) * m.search.width + static_cast<int>(m.peakCol)], m.maxValue);
        EXPECT_NEAR(m.maxValue, 1.0, 1e-4);  // identical content
    }
}

TEST(NccMap, DampingRegimes)
{
    // The texture's spread sets the variances and so prod = v1 vT: ~1 grey
    // level gives prod under 100, ~6 levels the damped band, 40 the
    // normalised one.
    struct Case {
        const char* name;
        double sd;
        double prodLo, prodHi;  // where the peak's prod must lie
    };
    const Case cases[] = {
        {"flat: zero", 0.6, 0.0, 100.0},
        {"faint: damped", 6.0, 100.0, 50000.0},
        {"textured: normalised", 40.0, 50000.0, 1e12},
    };
    for (const Case& c : cases) {
        Pair p = MakePair(120, 120, 2, 1, c.sd, 11);
        const int wd = 21, ht = 21, nx = 48, ny = 48, cx = 60, cy = 60;
        OneMap one(p, cx, cy, wd, ht, nx, ny, -1.0f);
        ASSERT_EQ(one.made, 1) << c.name;
        const COneNCCMap& m = one.map;
        const pairlock_test::NccRef atPeak = BruteNcc(p.img1, p.img2, one.channel, cx, cy, 2, 1, wd, ht);
        ASSERT_GT(atPeak.prod, c.prodLo) << c.name;
        ASSERT_LE(atPeak.prod, c.prodHi) << c.name;
        double worst = 0.0;
        for (int y = 0; y < m.search.height; ++y)
            for (int x = 0; x < m.search.width; ++x) {
                const int dx = m.search.x0 + x - nx / 2;
                const int dy = m.search.y0 + y - ny / 2;
                const pairlock_test::NccRef ref = BruteNcc(p.img1, p.img2, one.channel, cx, cy, dx, dy, wd, ht);
                // Near the regime limits float statistics may fall either side.
                if (std::fabs(ref.prod - 100.0) < 2.0 || std::fabs(ref.prod - 50000.0) < 500.0) continue;
                const float got = m.nccMap[y * m.search.width + x];
                if (ref.prod <= 100.0) {
                    ASSERT_EQ(got, 0.0f) << c.name;
                }
                worst = std::max(worst, std::fabs(got - ref.value));
            }
        EXPECT_LT(worst, 1e-4) << c.name;
    }
}

TEST(NccMap, FlatTemplateGivesAnAllZeroMapPeakedAtTheFirstPosition)
{
    const Texture t(3);
    Image* img1 = MakeTextureImage(t, 100, 100);
    Image* img2 = MakeTextureImage(t, 100, 100, 0, 0, 0.0);  // every sample 128
    Pair p{img1, img2};
    OneMap one(p, 50, 50, 16, 16, 48, 48, -1.0f);
    ASSERT_EQ(one.made, 1);
    const COneNCCMap& m = one.map;
    for (int i = 0; i < m.search.width * m.search.height; ++i) ASSERT_EQ(m.nccMap[i], 0.0f);
    // Equal maxima: the first in scan order.
    EXPECT_EQ(m.maxValue, 0.0f);
    EXPECT_EQ(m.peakCol, 0.0f);
    EXPECT_EQ(m.peakRow, 0.0f);
    EXPECT_EQ(m.peak.x, m.search.x0 - 24);
    EXPECT_EQ(m.peak.y, m.search.y0 - 24);
}

TEST(NccMap, ClippedWindowGivesASmallerSearchRegion)
{
    // Template near the left edge, search box cut to x >= 10: the map keeps
    // exactly the positions whose box stays inside the copied window.
    Pair p = MakePair(140, 120, -2, 0, 40.0);
    REGION box{10, 0, 139, 119, 130, 120};
    const int wd = 20, ht = 20, nx = 64, ny = 64, cx = 30, cy = 60;
    OneMap one(p, cx, cy, wd, ht, nx, ny, 20.0f, &box);
    ASSERT_EQ(one.made, 1);
    const COneNCCMap& m = one.map;
    // Copied columns: 10 .. cx + 31; a box centre p needs p - 10 >= 10 and
    // p + 10 <= cx + 31.
    const int firstCentre = 10 + wd / 2, lastCentre = cx + nx / 2 - 1 - wd / 2;
    EXPECT_EQ(m.search.x0, firstCentre - cx + nx / 2);
    EXPECT_EQ(m.search.width, lastCentre - firstCentre + 1);
    EXPECT_EQ(m.search.height, ny - 2 * (ht / 2));
    EXPECT_EQ(m.peak.x, -2);
    EXPECT_EQ(m.peak.y, 0);
    for (int y = 0; y < m.search.height; y += 7)
        for (int x = 0; x < m.search.width; x += 5) {
            const pairlock_test::NccRef ref =
                BruteNcc(p.img1, p.img2, one.channel, cx, cy, m.search.x0 + x - nx / 2, m.search.y0 + y - ny / 2, wd, ht);
            if (ref.prod > 50500.0) {
                EXPECT_NEAR(m.nccMap[y * m.search.width + x], ref.value, 1e-4);
            }
        }
}

TEST(NccMap, RefusalsAndTemplatesAtTheBorder)
{
    Pair p = MakePair(100, 80, 1, 1, 40.0);
    std::vector<float> w1(64 * 64), w2(64 * 64);
    {
        // No grid yet: nothing to decide the contrast on.
        CNCCMake maker;
        ASSERT_EQ(maker.CChannelImgs::InitPrms(p.img1, p.img2, 7, nullptr), 0);
        ASSERT_EQ(maker.MakeAvgImgs(20, 20), 1);
        maker.InitPrms(0);
        COneNCCMap map;
        map.centre = POINT{50, 40};
        EXPECT_EQ(maker.MakeOneNCCMap_cut(&map, w1.data(), w2.data(), 64, 64, 0, 0, nullptr, 0), 0);
        EXPECT_EQ(map.nccMap, nullptr);
    }
    {
        // Templates hanging over every corner: no out-of-range read (the
        // sanitizer build checks) and finite values where a map is made.
        CNCCMake maker;
        ASSERT_EQ(maker.CChannelImgs::InitPrms(p.img1, p.img2, 7, nullptr), 0);
        ASSERT_EQ(maker.MakeAvgImgs(20, 20), 1);
        maker.SetGridTmplInfo(-3, -4, 104, 86, 2, 2);  // (-3,-4) (101,-4) (-3,82) (101,82)
        maker.InitPrms(0);
        maker.m_contrastThr = -1.0f;
        for (int k = 0; k < 4; ++k) {
            COneNCCMap map;
            map.ix = k % 2;
            map.iy = k / 2;
            map.centre = POINT{-3 + 104 * map.ix, -4 + 86 * map.iy};
            if (maker.MakeOneNCCMap_cut(&map, w1.data(), w2.data(), 64, 64, 0, 0, nullptr, 0)) {
                ASSERT_NE(map.nccMap, nullptr);
                for (int i = 0; i < map.search.width * map.search.height; ++i) ASSERT_TRUE(std::isfinite(map.nccMap[i]));
            }
        }
        // A window smaller than the template, and a correlator size that
        // does not exist.
        COneNCCMap map;
        map.centre = POINT{50, 40};
        maker.SetGridTmplInfo(50, 40, 10, 10, 1, 1);
        EXPECT_EQ(maker.MakeOneNCCMap_cut(&map, w1.data(), w2.data(), 16, 16, 0, 0, nullptr, 0), 0);
        LogCapture log;
        EXPECT_EQ(maker.MakeOneNCCMap_cut(&map, w1.data(), w2.data(), 50, 50, 0, 0, nullptr, 0), 0);
        EXPECT_GE(log.errorCount(), 1);
    }
}
