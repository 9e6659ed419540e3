// Overlays of a pair on the sphere: the second image, made by warping the
// first with the polygon mapper through the pair, must land on the first
// image's overlay where both hold data, and the overlay positions must be
// the sphere positions of the transform module.
#include "platform/mapproj/img_combo_rs.h"

#include "core/logger.h"
#include "platform/xformkit/transform_rs.h"
#include "platform/xformkit/transform_wa.h"
#include "viewer/engine/poly_map_rr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// A smooth scene: neighbouring pixels differ by a few levels, so resampling
// at slightly different positions changes values only a little.
Image* SmoothImage(int w, int h)
{
    auto* img = new Image(w, h, 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char* p = img->GetData() + y * img->GetRowByte() + 3 * x;
            p[0] = static_cast<unsigned char>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.04));
            p[1] = static_cast<unsigned char>(20 + 200.0 * x / w);
            p[2] = static_cast<unsigned char>(20 + 200.0 * y / h);
        }
    }
    return img;
}

TEST(ImgComboRS, OverlaysOfAPairAgreeOnTheSphere)
{
    const int W = 240, H = 180;
    Image* img1 = SmoothImage(W, H);
    PAIR_WALIGN_PRMS s{};
    // Image 2 sees a narrower field inside image 1's, so all of it holds data.
    s.scale = 0.8f;
    s.rot1 = 0.03f;
    s.rot2 = -0.05f;
    s.halfFov1 = 0.45f;
    s.halfWidth1 = W / 2.0f;
    s.offsetAngle = 0.05f;
    PAIR_WALIGN_RR_PRMS2 rr;
    ASSERT_TRUE(CTransformWA::PairAlignPrmsStoRR2(&s, &rr));
    // Image 2 shows the same scene through the pair: warp image 1 into it.
    Image* img2 = new Image(W, H, 3);
    std::memset(img2->GetData(), 0, img2->GetDataSize());
    POINT2 corners[4] = {{-0.5f, -0.5f}, {W - 0.5f, -0.5f}, {W - 0.5f, H - 0.5f}, {-0.5f, H - 0.5f}};
    gpc_vertex_list contour{4, corners};
    gpc_polygon region{1, &contour};
    CPolyMapRR mapper;
    // Nearest sampling: its rounding has no mean, unlike the truncating
    // channels of the bilinear path.
    ASSERT_EQ(1, mapper.MapImgRegions(img1, img2, &region, nullptr, &rr, false, 1.0f));

    Image *ov1 = nullptr, *ov2 = nullptr;
    TRANSFORM_RS t1, t2;
    OverlayGrid g1, g2;
    ASSERT_EQ(1, CImgComboRS::Overlay2ImgRS_0(img1, img2, &s, 0, 0, 1200, &ov1, &ov2, &t1, &t2, &g1, &g2));
    const int n = g1.samples;
    // The grids travel beside the placements: both placements keep a
    // neutral colour block for whoever blends them.
    for (const TRANSFORM_RS* t : {&t1, &t2}) {
        EXPECT_EQ(t->flag, 1);
        EXPECT_EQ(t->colorFirst[0], 1.0f);
        EXPECT_EQ(t->colorFirst[1], 1.0f);
        EXPECT_EQ(t->colorSecond[2], 0.0f);
        EXPECT_EQ(t->gamma[1], 1.0f);
        EXPECT_EQ(t->colorTable, nullptr);
    }
    EXPECT_EQ(n, g2.samples);
    EXPECT_EQ(n % 4, 0);
    EXPECT_LE(std::abs(n - static_cast<int>(2 * 3.14159265 / rr.rcpF1)), 4);  // image 1's resolution
    const int dx = g2.column - g1.column, dy = g2.row - g1.row;

    int compared = 0, far = 0;
    double sum0 = 0, bias1 = 0, bias2 = 0;
    for (int y = 0; y < ov2->GetHeight(); ++y) {
        for (int x = 0; x < ov2->GetWidth(); ++x) {
            const int x1 = x + dx, y1 = y + dy;
            if (x1 < 1 || y1 < 1 || x1 >= ov1->GetWidth() - 1 || y1 >= ov1->GetHeight() - 1) continue;
            const unsigned char* a = ov2->GetData() + y * ov2->GetRowByte() + 3 * x;
            const unsigned char* b = ov1->GetData() + y1 * ov1->GetRowByte() + 3 * x1;
            if (a[0] == 0 || b[0] == 0) continue;
            // Stay clear of the warped image's rim, where its data ends.
            bool rim = false;
            for (int k = -2; k <= 2 && !rim; ++k)
                for (int l = -2; l <= 2 && !rim; ++l) {
                    const int xx = x + l, yy = y + k;
                    rim = xx < 0 || yy < 0 || xx >= ov2->GetWidth() || yy >= ov2->GetHeight() ||
                          ov2->GetData()[yy * ov2->GetRowByte() + 3 * xx] == 0;
                }
            if (rim) continue;
            ++compared;
            // The ramps of channels 1 and 2 show any displacement directly;
            // channel 0 varies faster and shows the resampling.
            far += std::abs(a[1] - b[1]) > 2 || std::abs(a[2] - b[2]) > 2;
            sum0 += std::abs(a[0] - b[0]);
            bias1 += a[1] - b[1];
            bias2 += a[2] - b[2];
        }
    }
    EXPECT_GT(compared, 5000);
    EXPECT_EQ(far, 0);
    EXPECT_LT(sum0 / compared, 2.5);
    // No systematic displacement: a mean ramp difference of 0.25 levels is
    // 0.3 pixel.
    EXPECT_LT(std::fabs(bias1 / compared), 0.25);
    EXPECT_LT(std::fabs(bias2 / compared), 0.25);

    // The overlay position of an image-1 point is its sphere position.
    const POINT2 q{30, -20}, rest{0, 0};
    POINT2 sph;
    ASSERT_TRUE(CTransformRS::TransformPtWA(1, 0, t1.rcpFocal, &rest, &q, &sph));
    const double f = 2 * 3.14159265358979 / n;
    const int ox = static_cast<int>(std::lround(sph.x / f)) - g1.column;
    const int oy = static_cast<int>(std::lround(sph.y / f)) - g1.row;
    const unsigned char* o = ov1->GetData() + oy * ov1->GetRowByte() + 3 * ox;
    const unsigned char* src = img1->GetData() + (H / 2 - 20) * img1->GetRowByte() + 3 * (W / 2 + 30);
    EXPECT_NEAR(o[1], src[1], 3);
    EXPECT_NEAR(o[2], src[2], 3);

    ReleaseImage(ov1);
    ReleaseImage(ov2);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

TEST(ImgComboRS, SizeLimitsTheOverlayAndBadInputFails)
{
    Image* img = SmoothImage(400, 300);
    PAIR_WALIGN_PRMS s{};
    s.scale = 1;
    s.halfFov1 = 0.5f;
    s.halfWidth1 = 200;
    s.offsetAngle = 0.3f;
    Image *ov1 = nullptr, *ov2 = nullptr;
    TRANSFORM_RS t1, t2;
    OverlayGrid g1, g2;
    ASSERT_EQ(1, CImgComboRS::Overlay2ImgRS_0(img, img, &s, 0, 0, 150, &ov1, &ov2, &t1, &t2, &g1, &g2));
    EXPECT_LE(std::max(ov1->GetWidth(), ov1->GetHeight()), 150);
    EXPECT_LE(std::max(ov2->GetWidth(), ov2->GetHeight()), 150);
    ReleaseImage(ov1);
    ReleaseImage(ov2);

    s.halfWidth1 = 0;  // word 8 not set: no transform
    LogCapture log;
    EXPECT_EQ(0, CImgComboRS::Overlay2ImgRS_0(img, img, &s, 0, 0, 1200, &ov1, &ov2, &t1, &t2, &g1, &g2));
    EXPECT_EQ(ov1, nullptr);
    EXPECT_TRUE(log.contains("ERROR CImgComboRS::Overlay2ImgRS_0"));
    ReleaseImage(img);
}

}  // namespace
