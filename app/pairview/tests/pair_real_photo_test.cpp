// Real photographs: two views of a panorama with a known rotation, ten
// markers placed with the mouse at true correspondences (plus up to a pixel
// of noise); "Stitch This Pair" aligns the pair from them.
#include "app/pairview/image_pair_view.h"
#include "app/pairview/tests/pano_views.h"
#include "app/tests/app_test_fixture.h"
#include "app/views/image_loaders.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/win/system.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace pano_views;

class PairRealPhotoTest : public AppTest {};

TEST_F(PairRealPhotoTest, MarkerAlignmentRecoversTheViewRotation)
{
    ASSERT_TRUE(Start());
    win::SetScreenSize(1280, 1024);
    Image* pano = nullptr;
    ASSERT_EQ(LoadImage(TestData("pannellum/examplepano.jpg").c_str(), &pano), 1);
    ASSERT_EQ(pano->GetChannels(), 3);
    // 60-degree views 600 x 450, the second turned 26 degrees right, a
    // little down and rolled.
    const double f = 300.0 / std::tan(30.0 * std::numbers::pi / 180.0);
    const View va{600, 450, f, ViewRotation(0.0, 0.05, 0.0)};
    const View vb{600, 450, f, ViewRotation(0.45, 0.08, 0.03)};

    ImageGroup* group = Manager().GetImageGroup(true);
    auto* a = new ImageFrame;
    auto* b = new ImageFrame;
    group->AppendImageFrame(a);
    group->AppendImageFrame(b);
    Image* ia = Render(*pano, va);
    Image* ib = Render(*pano, vb);
    a->SetImage(ia, false);
    b->SetImage(ib, false);
    ReleaseImage(ia);
    ReleaseImage(ib);
    a->SetStampLocation(0, 0);
    b->SetStampLocation(90, 0);
    a->AddNeighbor(b);
    // A known focal length (the frames' placements hold it).
    for (ImageFrame* frame : {a, b}) {
        frame->SetImgInfo(GetImgInfoInterface());
        frame->GetImgInfo()->GetParams()->rcpFocal = static_cast<float>(1.0 / f);
    }
    Manager().GetStitchSettings()->focalType = 1;
    Manager().OpenPairWindow(a, b, false, false);
    auto* view = dynamic_cast<CImagePairView*>(Manager().GetPairWindow());
    ASSERT_NE(view, nullptr);
    ASSERT_FLOAT_EQ(view->GetZoom(), 1.0f);
    view->SendMessage(WM_COMMAND, CImagePairView::kMagnifier, 0);
    const int offsetB = b->FindNeighbor(a)->m_offsetX;
    ASSERT_EQ(offsetB, 602);

    // Ten correspondences spread over the overlap.
    const double pts[10][2] = {{360, 60},  {420, 140}, {480, 220}, {540, 300}, {560, 400},
                               {380, 380}, {450, 320}, {520, 90},  {400, 250}, {500, 180}};
    // Up to a pixel of noise on b's markers, from a fixed seed.
    std::mt19937 random(54);
    std::uniform_int_distribution<int> step(-1, 1);
    int noise[10][2];
    for (auto& n : noise) n[0] = step(random), n[1] = step(random);
    double truth[10][2];
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(Carry(va, vb, pts[i][0], pts[i][1], truth[i][0], truth[i][1]));
        ASSERT_GT(truth[i][0], 5);
        ASSERT_LT(truth[i][0], 595);
        const auto click = [&](double x, double y) {
            const LPARAM at = MAKEPOINTLPARAM(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
            view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
            view->SendMessage(WM_LBUTTONUP, 0, at);
        };
        click(pts[i][0], pts[i][1]);
        click(truth[i][0] + offsetB + noise[i][0], truth[i][1] + noise[i][1]);
    }
    ASSERT_EQ(a->FindNeighbor(b)->GetMarkers(true)->GetNumbOfMarker(), 10);
    ASSERT_EQ(b->FindNeighbor(a)->GetMarkers(true)->GetNumbOfMarker(), 10);

    view->StitchThisPair(true, false);
    EXPECT_FALSE(view->MarkersChanged());
    const PAIR_WALIGN_RR_PRMS2& r = *a->GetPairShareInfo(b)->GetPairParams();
    ASSERT_GT(r.rcpF1, 0.0f);
    // The record's rotation against the true one: b's camera from a's.
    const M3 truthRotation = Mul(T(vb.r), va.r);
    // The turn between the two views (25.8 degrees) and the whole rotation
    // come back within 0.2 degrees.
    const M3 identity{1, 0, 0, 0, 1, 0, 0, 0, 1};
    const M3 fitted = RecordRotation(r.angA, r.angB, r.angC);
    EXPECT_NEAR(AngleBetween(identity, fitted), AngleBetween(identity, truthRotation), 0.2);
    EXPECT_LT(AngleBetween(fitted, truthRotation), 0.2);
    RecordProperty("rotation_error_millidegrees", static_cast<int>(1000 * AngleBetween(fitted, truthRotation)));
    // The record carries every marker of a onto its true place in b.
    const M3 rot = RecordRotation(r.angA, r.angB, r.angC);
    for (int i = 0; i < 10; ++i) {
        const double x = (pts[i][0] - 300) * r.rcpF1, y = (pts[i][1] - 225) * r.rcpF1;
        const double rx = rot[0] * x + rot[1] * y + rot[2], ry = rot[3] * x + rot[4] * y + rot[5];
        const double rz = rot[6] * x + rot[7] * y + rot[8];
        EXPECT_NEAR(rx / (rz * r.rcpF2) + 300, truth[i][0], 1.0) << i;
        EXPECT_NEAR(ry / (rz * r.rcpF2) + 225, truth[i][1], 1.0) << i;
    }
    EXPECT_FLOAT_EQ(r.rcpF1, static_cast<float>(1.0 / f));  // known: kept
    ReleaseImage(pano);
}

}  // namespace
