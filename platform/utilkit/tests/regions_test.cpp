#include "platform/utilkit/regions.h"

#include <gtest/gtest.h>

namespace {

REGION Box(int x0, int y0, int x1, int y1)
{
    return REGION{x0, y0, x1, y1, x1 - x0 + 1, y1 - y0 + 1};
}

bool Same(const REGION& a, const REGION& b)
{
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1 && a.width == b.width &&
           a.height == b.height;
}

}  // namespace

TEST(Regions, OverlapAndUnionTable)
{
    struct Case {
        REGION a, b;
        bool meets;
        REGION overlap, box;
    };
    const Case cases[] = {
        {Box(0, 0, 9, 9), Box(5, 5, 14, 14), true, Box(5, 5, 9, 9), Box(0, 0, 14, 14)},
        {Box(0, 0, 9, 9), Box(9, 9, 20, 20), true, Box(9, 9, 9, 9), Box(0, 0, 20, 20)},   // one shared pixel
        {Box(0, 0, 9, 9), Box(10, 0, 19, 9), false, {}, Box(0, 0, 19, 9)},                 // touching edges only
        {Box(2, 2, 3, 3), Box(0, 0, 9, 9), true, Box(2, 2, 3, 3), Box(0, 0, 9, 9)},        // contained
        {Box(-5, 0, 5, 2), Box(0, -3, 2, 8), true, Box(0, 0, 2, 2), Box(-5, -3, 5, 8)},
        {Box(0, 0, 4, 4), Box(0, 6, 4, 9), false, {}, Box(0, 0, 4, 9)},
    };
    for (const Case& k : cases) {
        REGION out = Box(100, 100, 100, 100);
        EXPECT_EQ(CRegions::CalcOverlap2D(&k.a, &k.b, &out), k.meets);
        EXPECT_TRUE(Same(out, k.meets ? k.overlap : Box(100, 100, 100, 100))) << "out unchanged when they do not meet";
        REGION u{};
        EXPECT_TRUE(CRegions::CalcUnion2D(&k.a, &k.b, &u));
        EXPECT_TRUE(Same(u, k.box));
        // Both are symmetric.
        REGION o2 = Box(100, 100, 100, 100);
        EXPECT_EQ(CRegions::CalcOverlap2D(&k.b, &k.a, &o2), k.meets);
        if (k.meets) {
            EXPECT_TRUE(Same(o2, k.overlap));
        }
    }
    REGION out{};
    EXPECT_FALSE(CRegions::CalcOverlap2D(nullptr, &out, &out));
}

TEST(Regions, ShiftMovesBoundsAndKeepsSize)
{
    REGION r = Box(1, 2, 10, 20);
    REGION s{};
    CRegions::Shift(&r, &s, -3, 5);
    EXPECT_TRUE(Same(s, Box(-2, 7, 7, 25)));
    CRegions::Shift(&r, &r, 1, 1);
    EXPECT_TRUE(Same(r, Box(2, 3, 11, 21)));
}

TEST(Regions, TwoImageOverlapTable)
{
    struct Case {
        int w1, h1, w2, h2, ox, oy;
        bool meets;
        REGION out;
    };
    const Case cases[] = {
        {100, 80, 100, 80, 60, 10, true, Box(60, 10, 99, 79)},
        {100, 80, 50, 40, -20, -10, true, Box(0, 0, 29, 29)},
        {100, 80, 50, 40, 10, 10, true, Box(10, 10, 59, 49)},   // inside
        {100, 80, 50, 40, 100, 0, false, {}},                   // just right of it
        {100, 80, 50, 40, -50, 0, false, {}},
        {100, 80, 50, 40, 99, 79, true, Box(99, 79, 99, 79)},
    };
    for (const Case& k : cases) {
        POINT offset{k.ox, k.oy};
        REGION out{};
        EXPECT_EQ(CRegions::Calc2ImgOverlapRegion(k.w1, k.h1, k.w2, k.h2, &offset, &out), k.meets)
            << k.ox << "," << k.oy;
        if (k.meets) {
            EXPECT_TRUE(Same(out, k.out)) << k.ox << "," << k.oy;
        }
    }
}
