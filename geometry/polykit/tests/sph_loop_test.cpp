// CSphLoop: seam crossings, pole detours, ownership.
#include "geometry/polykit/sph_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {
constexpr float kPi = 3.1415927f;
}

TEST(SphLoop, LoopWithoutCrossingIsShiftedByTheOffset)
{
    const std::vector<POINT2> loop = {{-0.5f, -0.2f}, {0.4f, -0.1f}, {0.3f, 0.6f}, {-0.6f, 0.4f}};
    CSphLoop s(loop.data(), 4);
    EXPECT_EQ(s.MainSphLoop(), 4);
    EXPECT_FALSE(s.m_bTopPole || s.m_bBottomPole);
    EXPECT_EQ(s.m_nCross, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(s.m_pFlat[i].x, loop[i].x + 0.00001f);
        EXPECT_FLOAT_EQ(s.m_pFlat[i].y, loop[i].y);
    }
}

// Out across the seam through the right edge and back (a loop of the
// orientation whose higher crossing leaves through the right edge): no
// detour, and the vertices between the crossings move by a whole turn so
// that the flat loop has no jump.
TEST(SphLoop, OutAndBackShiftsTheVerticesBetween)
{
    const std::vector<POINT2> loop = {{3.0f, 0.2f}, {-3.0f, 0.3f}, {-3.0f, 0.1f}, {3.0f, 0.0f}};
    CSphLoop s(loop.data(), 4);
    EXPECT_EQ(s.MainSphLoop(), 4);
    EXPECT_EQ(s.m_nCross, 2);
    EXPECT_FALSE(s.m_bTopPole || s.m_bBottomPole);
    EXPECT_EQ(s.m_pNodeType[0], 2);
    EXPECT_EQ(s.m_pNodeType[2], 1);
    const float turn = 6.2831855f;
    EXPECT_FLOAT_EQ(s.m_pFlat[0].x, 3.0f + 0.00001f);
    EXPECT_FLOAT_EQ(s.m_pFlat[1].x, -3.0f + 0.00001f + turn);
    EXPECT_FLOAT_EQ(s.m_pFlat[2].x, -3.0f + 0.00001f + turn);
    EXPECT_FLOAT_EQ(s.m_pFlat[3].x, 3.0f + 0.00001f);
    // Every flat edge is short now.
    for (int i = 0; i < 4; ++i) EXPECT_LT(std::fabs(s.m_pFlat[(i + 1) % 4].x - s.m_pFlat[i].x), kPi);
}

// A loop around the top pole crosses the seam once, leaving through the left
// edge: 4 detour points along the seam up to the pole and back.
TEST(SphLoop, TopPoleLoopGetsADetour)
{
    std::vector<POINT2> loop;
    for (int i = 0; i < 6; ++i) loop.push_back(POINT2{2.5f - i * 1.0f, 1.0f + 0.05f * i});
    CSphLoop s(loop.data(), 6);
    EXPECT_TRUE(s.LabelAllNodeType());
    EXPECT_EQ(s.m_bTopPole, 1);
    EXPECT_EQ(s.m_bBottomPole, 0);
    EXPECT_EQ(s.m_nCross, 1);
    EXPECT_EQ(s.m_pNodeType[5], 3);
    EXPECT_EQ(s.MakeFlatPolygon(), 10);
    EXPECT_FLOAT_EQ(s.m_pFlat[7].y, 1.5707964f);
    EXPECT_FLOAT_EQ(s.m_pFlat[8].y, 1.5707964f);
    EXPECT_FLOAT_EQ(s.m_pFlat[6].y, s.m_maxCrossLat);
    // Labelling again counts afresh, and the flat polygon is rebuilt in
    // place (no leak, same result).
    EXPECT_TRUE(s.LabelAllNodeType());
    EXPECT_EQ(s.m_nCross, 1);
    EXPECT_EQ(s.MainSphLoop(), 10);
}

TEST(SphLoop, EmptyLoopAndWholeTurnEdge)
{
    CSphLoop empty(nullptr, 0);
    EXPECT_EQ(empty.MainSphLoop(), 0);
    CSphLoop none;
    EXPECT_EQ(none.MainSphLoop(), 0);

    // An edge spanning exactly a whole turn has no crossing latitude to
    // interpolate; it must not divide by zero.
    const std::vector<POINT2> loop = {{-kPi, 0.2f}, {kPi, 0.4f}, {0.0f, -0.3f}};
    CSphLoop s(loop.data(), 3);
    s.MainSphLoop();
    EXPECT_TRUE(std::isfinite(s.m_maxCrossLat));
    EXPECT_TRUE(std::isfinite(s.m_minCrossLat));
    for (int i = 0; i < s.m_nFlat; ++i) EXPECT_TRUE(std::isfinite(s.m_pFlat[i].x) && std::isfinite(s.m_pFlat[i].y));
}

TEST(SphLoop, CopiesAreDeep)
{
    const std::vector<POINT2> loop = {{3.0f, 0.2f}, {-3.0f, 0.3f}, {-3.0f, 0.1f}, {3.0f, 0.0f}};
    auto* a = new CSphLoop(loop.data(), 4);
    a->MainSphLoop();
    CSphLoop b(*a);
    CSphLoop c;
    c = *a;
    EXPECT_NE(b.m_pPoints, a->m_pPoints);
    EXPECT_NE(c.m_pFlat, a->m_pFlat);
    delete a;
    EXPECT_EQ(b.m_nFlat, 4);
    EXPECT_FLOAT_EQ(c.m_pFlat[1].x, -3.0f + 0.00001f + 6.2831855f);
    c.InitPrms();  // releases what it held
    EXPECT_EQ(c.m_pPoints, nullptr);
    EXPECT_EQ(c.MainSphLoop(), 0);
}
