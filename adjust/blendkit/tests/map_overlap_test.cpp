// The plane overlap images of a pair in Mapproj: image 1 copied at whole
// pixels, image 2 warped through the pair, before and after the cut to the
// shared area, against a per-pixel evaluation here.

#include "adjust/blendkit/tests/blend_scene.h"
#include "geometry/polykit/poly_geom.h"
#include "platform/mapproj/map_overlap_rr.h"
#include "platform/xformkit/transform_wa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace blend_test;

namespace {

TEST(MapOverlapRR, OverlapImagesFollowThePairBeforeAndAfterTheCut)
{
    const TRANSFORM_RS ta = Placement(0, 0, 0, 350), tb = Placement(25, 6, 4, 330);
    Image* a = RenderView(Texture(), 400, 300, ta, 1.0f);
    Image* b = RenderView(Texture(), 360, 280, tb, 1.0f);
    PAIR_WALIGN_RR_PRMS2 p{};
    ASSERT_TRUE(CTransformWA::GlobalToPairPrms12(&ta, &tb, &p));
    float m12[9];
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m12));

    CMapOverlapRR ov;
    ov.InitWAlign12to21(&p);
    ov.SetBilinear(true);
    ASSERT_TRUE(ov.MakeOverlapImgs(a, b));
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            ASSERT_TRUE(ov.CutToOverlap(10));
        }
        Image* o1 = ov.GetImgO1();
        Image* o2 = ov.GetImgO2();
        ASSERT_EQ(o1->GetWidth(), o2->GetWidth());
        int checked1 = 0, checked2 = 0, worst = 0;
        for (int y = 0; y < o1->GetHeight(); y += 3)
            for (int x = 0; x < o1->GetWidth(); x += 3) {
                const POINT2 c = ov.OverlapToImage1Centred(POINT2{static_cast<float>(x), static_cast<float>(y)});
                const uint8_t* g1 = o1->GetData() + static_cast<size_t>(y) * o1->GetRowByte() + 3 * x;
                const uint8_t* g2 = o2->GetData() + static_cast<size_t>(y) * o2->GetRowByte() + 3 * x;
                float v[3];
                // Image 1 at whole pixels: the same pixel.
                const int ix = static_cast<int>(c.x) + 200, iy = static_cast<int>(c.y) + 150;
                if (ix >= 0 && ix < 400 && iy >= 0 && iy < 300) {
                    const uint8_t* s = a->GetData() + static_cast<size_t>(iy) * a->GetRowByte() + 3 * ix;
                    EXPECT_EQ(std::memcmp(g1, s, 3), 0) << x << "," << y;
                    ++checked1;
                }
                // Image 2: its sample where the pair carries the point, well
                // inside its outline (the edge pixels may go either way).
                POINT2 q;
                if (!CTransformWA::TransformPtRR2(&c, &q, m12)) continue;
                if (std::fabs(q.x) > 175 || std::fabs(q.y) > 135) continue;
                ASSERT_TRUE(SampleCentred(b, q.x, q.y, v));
                for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(g2[k] - static_cast<int>(std::lround(v[k]))));
                ++checked2;
            }
        EXPECT_GT(checked1, 1000) << pass;
        EXPECT_GT(checked2, 1000) << pass;
        EXPECT_LE(worst, 1) << pass;
        // The shared polygon lies inside both images' areas.
        const gpc_polygon* shared = ov.GetOverlapPolygon();
        ASSERT_NE(shared, nullptr);
        for (int i = 0; i < shared->contours[0].count; ++i) {
            const POINT2 c = ov.OverlapToImage1Centred(shared->contours[0].points[i]);
            EXPECT_LE(std::fabs(c.x + 0.5f), 200.5f) << pass;
            EXPECT_LE(std::fabs(c.y + 0.5f), 150.5f) << pass;
        }
    }
    ReleaseImage(a);
    ReleaseImage(b);
}

}  // namespace
