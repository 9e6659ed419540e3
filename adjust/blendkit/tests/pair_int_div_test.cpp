// Division line and blend polygons of two 400 x 300 frames placed side by
// side; areas checked against Clipper on the same half-plane and slab.

#include "adjust/blendkit/div_line_map.h"
#include "adjust/blendkit/pair_int_div.h"
#include "geometry/polykit/poly_geom.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/xformkit/transform_wa.h"

#include <gtest/gtest.h>
#include <polyclipping/clipper.hpp>

#include <cmath>
#include <vector>

namespace {

constexpr int kW = 400, kH = 300;
// Pixel area of a centred kW x kH image: pixel centres at x - W / 2.
constexpr float kX0 = -kW / 2.0f - 0.5f, kX1 = kW / 2.0f - 0.5f, kY0 = -kH / 2.0f - 0.5f, kY1 = kH / 2.0f - 0.5f;

double PolygonArea(const gpc_polygon* p)
{
    double a = 0.0;
    for (int k = 0; p != nullptr && k < p->count; ++k) a += CPolyGeom::CalcArea(p->contours[k].points, p->contours[k].count);
    return a;
}

ClipperLib::IntPoint Ip(double x, double y) { return ClipperLib::IntPoint(std::llround(x * 1000.0), std::llround(y * 1000.0)); }

// Area of the centred image rectangle inside the strip lo <= across <= hi of the line frame.
double ClipperStripArea(const CDivLineMap& f, double lo, double hi)
{
    using namespace ClipperLib;
    Path rect{Ip(kX0, kY0), Ip(kX1, kY0), Ip(kX1, kY1), Ip(kX0, kY1)};
    const double L = 5000.0;
    auto at = [&](double across, double along) {
        return Ip(f.m_start.x + across * f.m_perp.x + along * f.m_dir.x, f.m_start.y + across * f.m_perp.y + along * f.m_dir.y);
    };
    Path strip{at(lo, -L), at(lo, L), at(hi, L), at(hi, -L)};
    Clipper c;
    c.AddPath(rect, ptSubject, true);
    c.AddPath(strip, ptClip, true);
    Paths out;
    c.Execute(ctIntersection, out, pftNonZero, pftNonZero);
    double a = 0.0;
    for (const Path& p : out) a += std::fabs(Area(p));
    return a / 1e6;
}


bool OnRectBoundary(const POINT2& p, float tol)
{
    const bool inside = p.x >= kX0 - tol && p.x <= kX1 + tol && p.y >= kY0 - tol && p.y <= kY1 + tol;
    const bool onEdge = std::fabs(p.x - kX0) <= tol || std::fabs(p.x - kX1) <= tol || std::fabs(p.y - kY0) <= tol ||
                        std::fabs(p.y - kY1) <= tol;
    return inside && onEdge;
}

PAIR_WALIGN_RR_PRMS2 Pair(float rcpF2, float angA, float angB, float angC)
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = 1.0f / 450.0f;
    p.rcpF2 = rcpF2;
    p.angA = angA;
    p.angB = angB;
    p.angC = angC;
    return p;
}

TEST(PairIntDivTest, CrossingFootprintsGiveTheLineRegionsAndBands)
{
    SetDivLineBlendWidth(30);
    const PAIR_WALIGN_RR_PRMS2 cases[] = {
        Pair(1.0f / 450.0f, 0.0f, 0.45f, 0.0f),
        Pair(1.0f / 420.0f, 0.3f, 0.5f, -0.25f),  // rolled and zoomed
    };
    for (const PAIR_WALIGN_RR_PRMS2& prms : cases) {
        SCOPED_TRACE(testing::Message() << "angA " << prms.angA);
        CBlendPolygons* sides[2] = {nullptr, nullptr};
        ASSERT_TRUE(CPairIntDiv::MakeBlendSides(kW, kH, kW, kH, prms, sides));
        ASSERT_NE(sides[0], nullptr);
        ASSERT_NE(sides[1], nullptr);
        EXPECT_EQ(sides[0]->drawPlain, 1);
        EXPECT_EQ(sides[1]->drawPlain, 0);
        ASSERT_NE(sides[0]->lineData, nullptr);
        EXPECT_EQ(sides[1]->lineData, nullptr);
        const POINT2 s = sides[0]->lineData->start, e = sides[0]->lineData->end;

        // Both ends lie on the first outline and, carried across, on the second.
        float m12[9];
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&prms, nullptr, nullptr, m12));
        for (POINT2 p : {s, e}) {
            EXPECT_TRUE(OnRectBoundary(p, 0.01f)) << p.x << ", " << p.y;
            POINT2 q;
            ASSERT_TRUE(CTransformWA::TransformPtRR2(&p, &q, m12));
            EXPECT_TRUE(OnRectBoundary(q, 0.05f)) << q.x << ", " << q.y;
        }

        CDivLineMap f(&s, &e);
        POINT2 centre;
        f.PtToFrameDL(POINT2{0, 0}, &centre);
        EXPECT_GT(centre.x, 0.0f);  // the first image's own side

        // Own region = bound on the centre's side; band = bound within half the width.
        EXPECT_NEAR(PolygonArea(sides[0]->ownRegion), ClipperStripArea(f, 0.0, 1e4), 2.0);
        EXPECT_NEAR(PolygonArea(sides[0]->band), ClipperStripArea(f, -15.0, 15.0), 2.0);
        EXPECT_NEAR(PolygonArea(sides[0]->bound), double(kW) * kH, 1e-3);

        // The second band, carried back into the first frame, stays within the slab.
        PAIR_WALIGN_RR_PRMS2 inv;
        float m21[9];
        CTransformWA::InvertAlignPrmsRR2(&prms, &inv);
        ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&inv, nullptr, nullptr, m21));
        ASSERT_GT(sides[1]->band->count, 0);
        for (int k = 0; k < sides[1]->band->count; ++k) {
            const gpc_vertex_list& c = sides[1]->band->contours[k];
            for (int i = 0; i < c.count; ++i) {
                POINT2 back, fr;
                ASSERT_TRUE(CTransformWA::TransformPtRR2(&c.points[i], &back, m21));
                f.PtToFrameDL(back, &fr);
                EXPECT_LE(std::fabs(fr.x), 15.0f + 0.05f);
            }
        }
        // The second own region holds the second image's centre, away from the first's side.
        ASSERT_NE(sides[1]->ownRegion, nullptr);
        EXPECT_GT(PolygonArea(sides[1]->ownRegion), 0.0);
        EXPECT_LT(PolygonArea(sides[1]->ownRegion), double(kW) * kH);

        for (CBlendPolygons* side : sides) {
            side->FreeAll();
            delete side;
        }
    }
    SetDivLineBlendWidth(20);
}

TEST(PairIntDivTest, OutlinesThatDoNotCrossGiveNoSides)
{
    struct Case {
        const char* name;
        PAIR_WALIGN_RR_PRMS2 prms;
    } cases[] = {
        {"second inside the first", Pair(1.0f / 900.0f, 0.0f, 0.0f, 0.0f)},
        {"first inside the second", Pair(1.0f / 200.0f, 0.0f, 0.0f, 0.0f)},
        {"apart", Pair(1.0f / 450.0f, 0.0f, 2.0f, 0.0f)},
        {"no focal length", Pair(0.0f, 0.0f, 0.3f, 0.0f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBlendPolygons* sides[2] = {reinterpret_cast<CBlendPolygons*>(1), reinterpret_cast<CBlendPolygons*>(1)};
        EXPECT_FALSE(CPairIntDiv::MakeBlendSides(kW, kH, kW, kH, c.prms, sides));
        EXPECT_EQ(sides[0], nullptr);
        EXPECT_EQ(sides[1], nullptr);
    }
}

}  // namespace
