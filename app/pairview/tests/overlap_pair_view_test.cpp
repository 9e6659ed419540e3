// The overlap window: render size, view port range steps, what a press
// starts, the commit of the alignment (record or its inverse by tray order,
// fake markers, the 5 % question), the Stitch command that merges only a
// pair the manager stitched, and the cube model on a real pair.
#include "app/pairview/overlap_pair_view.h"
#include "app/pairview/tests/pano_views.h"
#include "app/tests/app_test_fixture.h"
#include "app/views/image_loaders.h"
#include "imaging/image.h"
#include "platform/cubekit/cube_fg_bg.h"
#include "platform/panocore/panorama.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/win/system.h"
#include "platform/xformkit/camera_model.h"
#include "platform/xformkit/transform_wa.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Image* PatternImage(int w, int h)
{
    auto* image = new Image(w, h, 3);
    image->BmpInit();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            image->GetData()[static_cast<size_t>(y) * image->GetRowByte() + x] = static_cast<unsigned char>((x / 3 + 2 * y) & 0xFF);
    return image;
}

int g_panoramaAnswer = 0;
int g_panoramaCalls = 0;
int ScriptedPanorama(IImageFrame*, IImageFrame*, PAIR_WALIGN_RR_PRMS2*, float, int)
{
    ++g_panoramaCalls;
    return g_panoramaAnswer;
}
bool ScriptedInit(IImageFrame*, float, float, float)
{
    return true;
}

class OverlapViewTest : public AppTest {
protected:
    COverlapPair* OpenPair(int w, int h)
    {
        if (!Start()) return nullptr;
        win::SetScreenSize(1280, 1024);
        ImageGroup* group = Manager().GetImageGroup(true);
        m_a = new ImageFrame;
        m_b = new ImageFrame;
        group->AppendImageFrame(m_a);
        group->AppendImageFrame(m_b);
        for (ImageFrame* f : {m_a, m_b}) {
            Image* image = PatternImage(w, h);
            f->SetImage(image, false);
            ReleaseImage(image);
        }
        m_a->SetStampLocation(0, 0);
        m_b->SetStampLocation(90, 0);
        Manager().GetStitchSettings()->focalType = 2;
        Manager().SetPairMethod(false);
        Manager().OpenPairWindow(m_a, m_b, true, false);
        return dynamic_cast<COverlapPair*>(Manager().GetPairWindow());
    }
    ImageFrame* m_a = nullptr;
    ImageFrame* m_b = nullptr;
};

TEST_F(OverlapViewTest, OpensWithTheRenderSizeAndStepsTheRange)
{
    COverlapPair* view = OpenPair(640, 480);
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->GetRenderImage(), nullptr);
    // The frame takes the render size; the render image then follows the client.
    RECT frame{};
    view->GetParentFrame()->GetWindowRect(&frame);
    EXPECT_EQ(frame.right - frame.left, 960);
    EXPECT_EQ(frame.bottom - frame.top, 853);
    RECT client{};
    view->GetClientRect(&client);
    EXPECT_EQ(view->GetRenderImage()->GetWidth(), client.right);
    EXPECT_EQ(view->GetRenderImage()->GetHeight(), client.bottom);
    EXPECT_EQ(view->GetDocument()->GetTitle(), "Adjust Image Pair Overlap");
    EXPECT_EQ(view->GetForeground(), m_a);
    ASSERT_NE(view->GetToolBar(), nullptr);
    EXPECT_EQ(view->GetToolBar()->GetButtonCount(), 2);
    EXPECT_FLOAT_EQ(view->GetRange(), 1.3f);
    view->SendMessage(WM_COMMAND, COverlapPair::kZoomIn, 0);
    EXPECT_FLOAT_EQ(view->GetRange(), 1.04f);
    view->SendMessage(WM_COMMAND, COverlapPair::kZoomIn, 0);
    EXPECT_FLOAT_EQ(view->GetRange(), 0.832f);
    EXPECT_FLOAT_EQ(view->GetModel()->GetViewPort_uRange(), 0.832f);
    for (int i = 0; i < 20; ++i) view->SendMessage(WM_COMMAND, COverlapPair::kZoomIn, 0);
    EXPECT_FLOAT_EQ(view->GetRange(), 0.25f);
    for (int i = 0; i < 20; ++i) view->SendMessage(WM_COMMAND, COverlapPair::kZoomOut, 0);
    EXPECT_FLOAT_EQ(view->GetRange(), 2.44346f);
    // The default overlap (0.4) places the foreground at 0.6 of its view.
    PAIR_WALIGN_RR_PRMS2 record{};
    view->GetModel()->Pair_GetAlignPrms2(&record);
    EXPECT_NEAR(record.angB, 0.6 * 2 * std::atan(640 * record.rcpF1 / 2), 1e-4);
}

TEST_F(OverlapViewTest, PressesStartTheDragsByTheirDistanceFromTheAnchor)
{
    COverlapPair* view = OpenPair(640, 480);
    ASSERT_NE(view, nullptr);
    CCubeFgBg* model = view->GetModel();
    const POINT anchor = model->GetRotAnchorPt_Fg0();
    ASSERT_TRUE(model->IsPointInFg(anchor));
    struct Case {
        int dx;
        uint32_t flags;
    };
    const Case cases[] = {{3, COverlapPair::kAnchorMove},
                          {50, COverlapPair::kForeground | COverlapPair::kShift},
                          {120, COverlapPair::kForeground | COverlapPair::kRotate}};
    for (const Case& c : cases) {
        // Left of the anchor or right, whichever stays on the foreground.
        POINT p{anchor.x - c.dx, anchor.y};
        if (!model->IsPointInFg(p)) p.x = anchor.x + c.dx;
        ASSERT_TRUE(model->IsPointInFg(p)) << c.dx;
        view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(p.x, p.y));
        EXPECT_EQ(view->GetDragFlags(), c.flags) << c.dx;
        view->SendMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(p.x, p.y));
        EXPECT_EQ(view->GetDragFlags(), 0u);
    }
    // Outside the foreground: near the edge turns the view port, elsewhere shifts it.
    const SIZE render{view->GetRenderImage()->GetWidth(), view->GetRenderImage()->GetHeight()};
    POINT edge{render.cx * 5 / 100, render.cy / 2};
    if (model->IsPointInFg(edge)) edge.x = render.cx - edge.x;
    ASSERT_FALSE(model->IsPointInFg(edge));
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(edge.x, edge.y));
    EXPECT_EQ(view->GetDragFlags(), COverlapPair::kViewPort | COverlapPair::kRotate);
    EXPECT_EQ(view->GetAnchorPoint().x, render.cx / 2);
    view->SendMessage(WM_LBUTTONUP, 0, 0);
    POINT inner{-1, -1};
    for (int x = render.cx / 8; x < render.cx * 7 / 8 && inner.x < 0; x += 4)
        if (!model->IsPointInFg(POINT{x, render.cy / 2})) inner = POINT{x, render.cy / 2};
    ASSERT_GE(inner.x, 0);
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(inner.x, inner.y));
    EXPECT_EQ(view->GetDragFlags(), COverlapPair::kViewPort | COverlapPair::kShift);
    view->SendMessage(WM_LBUTTONUP, 0, 0);

    // The anchor went where the first press put it; a foreground shift drag
    // carries it along with the pointer.
    const POINT start = model->GetRotAnchorPt_Fg0();
    EXPECT_EQ(std::abs(start.x - anchor.x), 3);
    POINT p{start.x - 50, start.y};
    if (!model->IsPointInFg(p)) p.x = start.x + 50;
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(p.x, p.y));
    view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKEPOINTLPARAM(p.x + 20, p.y + 10));
    view->SendMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(p.x + 20, p.y + 10));
    const POINT moved = model->GetRotAnchorPt_Fg0();
    EXPECT_NEAR(moved.x, start.x + 20, 1);
    EXPECT_NEAR(moved.y, start.y + 10, 1);
}

TEST_F(OverlapViewTest, CommitWritesTheRecordByTrayOrderAndFakeMarkers)
{
    COverlapPair* view = OpenPair(640, 480);
    ASSERT_NE(view, nullptr);
    PAIR_WALIGN_RR_PRMS2 model{};
    view->GetModel()->Pair_GetAlignPrms2(&model);
    ASSERT_TRUE(view->StitchThisPair(true));
    const PAIR_WALIGN_RR_PRMS2& stored = *m_a->GetPairShareInfo(m_b)->GetPairParams();
    EXPECT_FLOAT_EQ(stored.angB, model.angB);
    EXPECT_FLOAT_EQ(stored.rcpF1, model.rcpF1);
    Neighbor* fgLink = m_a->FindNeighbor(m_b);
    Neighbor* bgLink = m_b->FindNeighbor(m_a);
    EXPECT_FALSE(fgLink->IsManualMarkerType());
    EXPECT_FALSE(bgLink->IsManualMarkerType());
    ASSERT_NE(fgLink->GetMarkers(false), nullptr);
    ASSERT_NE(bgLink->GetMarkers(false), nullptr);
    const int n = fgLink->GetMarkers(false)->GetNumbOfMarker();
    EXPECT_GE(n, 6);
    ASSERT_EQ(bgLink->GetMarkers(false)->GetNumbOfMarker(), n);
    // The fake pairs obey the stored record.
    float m[9];
    const POINT2 c{320, 240};
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&stored, &c, &c, m));
    for (int i = 0; i < n; ++i) {
        const POINT2M& f = fgLink->GetMarkers(false)->GetMarker()[i];
        const POINT2M& g = bgLink->GetMarkers(false)->GetMarker()[i];
        POINT2 in{f.x, f.y}, out{};
        ASSERT_TRUE(CTransformWA::TransformPtRR2(&in, &out, m));
        EXPECT_NEAR(out.x, g.x, 0.05);
        EXPECT_NEAR(out.y, g.y, 0.05);
    }
    // With the foreground's stamp right of the background's, the inverse goes in.
    m_a->SetStampLocation(200, 0);
    ASSERT_TRUE(view->StitchThisPair(false));
    EXPECT_FLOAT_EQ(stored.angB, -model.angB);
    EXPECT_FLOAT_EQ(stored.rcpF1, model.rcpF2);
    EXPECT_FLOAT_EQ(stored.angA, -model.angC);
}

TEST_F(OverlapViewTest, SmallOverlapAsksAndCancelLeavesTheLinks)
{
    COverlapPair* view = OpenPair(640, 480);
    ASSERT_NE(view, nullptr);
    // Turn the foreground far off the background.
    PAIR_WALIGN_RR_PRMS2 far{};
    view->GetModel()->Pair_GetAlignPrms2(&far);
    far.angB = 1.6f;
    ASSERT_TRUE(view->GetModel()->Pair_AddFgBg(m_a->GetImage(), m_b->GetImage(), &far));
    ASSERT_LT(view->GetModel()->GetOverlapAreaPC(0), 0.05f);
    const PAIR_WALIGN_RR_PRMS2 before = *m_a->GetPairShareInfo(m_b)->GetPairParams();
    Prompter().ExpectMessageBox("Tow images have overlap less than 5%. Stitch anyway?", IDCANCEL);
    EXPECT_FALSE(view->StitchThisPair(false));
    EXPECT_EQ(m_a->GetPairShareInfo(m_b)->GetPairParams()->angB, before.angB);
    EXPECT_TRUE(m_a->FindNeighbor(m_b)->IsManualMarkerType());
    EXPECT_EQ(m_a->FindNeighbor(m_b)->GetMarkers(false), nullptr);
    Prompter().ExpectMessageBox("Tow images have overlap less than 5%. Stitch anyway?", IDOK);
    EXPECT_TRUE(view->StitchThisPair(false));
    EXPECT_NE(m_a->GetPairShareInfo(m_b)->GetPairParams()->angB, before.angB);
}

// The cube model on two views of a panorama: at the true alignment the
// foreground's pixels equal the background's where both show.
TEST_F(OverlapViewTest, CubeModelAtTheTrueAlignmentMatchesTheBackground)
{
    using namespace pano_views;
    ASSERT_TRUE(Start());
    Image* pano = nullptr;
    ASSERT_EQ(LoadImage(TestData("pannellum/examplepano.jpg").c_str(), &pano), 1);
    const double f = 300.0 / std::tan(30.0 * std::numbers::pi / 180.0);
    const View va{600, 450, f, ViewRotation(0.1, 0.05, 0.0)};
    const View vb{600, 450, f, ViewRotation(0.55, 0.09, 0.03)};
    Image* fg = Render(*pano, va);
    Image* bg = Render(*pano, vb);
    // The record maps foreground rays into background rays.
    const M3 truth = Mul(T(vb.r), va.r);
    xformkit::Mat3 r;
    std::copy(truth.begin(), truth.end(), r.m);
    double a, b, c;
    xformkit::PairAngles(r, a, b, c);
    PAIR_WALIGN_RR_PRMS2 record{};
    record.rcpF1 = record.rcpF2 = static_cast<float>(1.0 / f);
    record.angA = static_cast<float>(a);
    record.angB = static_cast<float>(b);
    record.angC = static_cast<float>(c);
    auto* target = new Image(800, 600, 3);
    target->BmpInit();
    CCubeFgBg model;
    model.ChangeImgO(target);
    ASSERT_TRUE(model.Pair_AddFgBg(fg, bg, &record));
    ASSERT_TRUE(model.RenderViewPort(3, true, true, true, true));
    double sum = 0;
    long count = 0, fgOnly = 0;
    for (int y = 0; y < 600; y += 2)
        for (int x = 0; x < 800; x += 2) {
            double fx, fy, bx, by;
            if (!model.ClientToImage(x, y, true, fx, fy)) continue;
            if (!model.ClientToImage(x, y, false, bx, by)) {
                ++fgOnly;
                continue;
            }
            // The background pixel straight from the panorama (b's ray).
            unsigned char expected[3];
            const double cx = (bx - 300) / f, cy = (by - 225) / f;
            const double wx = vb.r[0] * cx + vb.r[1] * cy + vb.r[2];
            const double wy = vb.r[3] * cx + vb.r[4] * cy + vb.r[5];
            const double wz = vb.r[6] * cx + vb.r[7] * cy + vb.r[8];
            SamplePano(*pano, std::atan2(wx, wz), std::atan2(wy, std::hypot(wx, wz)), expected);
            const unsigned char* got = target->GetData() + static_cast<size_t>(y) * target->GetRowByte() + x * 3;
            for (int k = 0; k < 3; ++k) sum += std::abs(int(got[k]) - int(expected[k]));
            count += 3;
        }
    ASSERT_GT(count, 3 * 20000);
    EXPECT_GT(fgOnly, 1000);
    EXPECT_LT(sum / count, 6.0);
    RecordProperty("mean_abs_diff_x1000", static_cast<int>(1000 * sum / count));
    // Turned 2 degrees off the truth, the same comparison fails clearly.
    model.ChangeFacet0Fg_rot(0.035f, true);
    double off = 0;
    long offCount = 0;
    for (int y = 0; y < 600; y += 2)
        for (int x = 0; x < 800; x += 2) {
            double fx, fy, bx, by;
            if (!model.ClientToImage(x, y, true, fx, fy) || !model.ClientToImage(x, y, false, bx, by)) continue;
            unsigned char expected[3];
            const double cx = (bx - 300) / f, cy = (by - 225) / f;
            const double wx = vb.r[0] * cx + vb.r[1] * cy + vb.r[2];
            const double wy = vb.r[3] * cx + vb.r[4] * cy + vb.r[5];
            const double wz = vb.r[6] * cx + vb.r[7] * cy + vb.r[8];
            SamplePano(*pano, std::atan2(wx, wz), std::atan2(wy, std::hypot(wx, wz)), expected);
            const unsigned char* got = target->GetData() + static_cast<size_t>(y) * target->GetRowByte() + x * 3;
            for (int k = 0; k < 3; ++k) off += std::abs(int(got[k]) - int(expected[k]));
            offCount += 3;
        }
    ASSERT_GT(offCount, 0);
    EXPECT_GT(off / offCount, 2 * sum / count);
    RecordProperty("turned_mean_abs_diff_x1000", static_cast<int>(1000 * off / offCount));
    ReleaseImage(target);
    ReleaseImage(fg);
    ReleaseImage(bg);
    ReleaseImage(pano);
}

class OverlapStitchTest : public OverlapViewTest {
protected:
    void SetUp() override
    {
        OverlapViewTest::SetUp();
        m_oldPanorama = SetPanoramaFunction(&ScriptedPanorama);
        m_oldInit = SetPanoramaInitFunction(&ScriptedInit);
        g_panoramaCalls = 0;
    }
    void TearDown() override
    {
        SetPanoramaFunction(m_oldPanorama);
        SetPanoramaInitFunction(m_oldInit);
        OverlapViewTest::TearDown();
    }
    PanoramaFunction m_oldPanorama = nullptr;
    PanoramaInitFunction m_oldInit = nullptr;
};

TEST_F(OverlapStitchTest, StitchMergesOnlyWhenTheManagerStitched)
{
    ASSERT_TRUE(Start());
    // The application installs the real core at start-up: script it after.
    SetPanoramaFunction(&ScriptedPanorama);
    SetPanoramaInitFunction(&ScriptedInit);
    win::SetScreenSize(1280, 1024);
    // Two frames in the tray, as the stitch run sees them.
    for (int i = 0; i < 2; ++i) {
        const std::string name = "/p/" + std::to_string(i) + ".jpg";
        auto* stamp = new Image(64, 48, 3);
        stamp->BmpInit();
        Manager().AddImageFrame(stamp, name.c_str(), nullptr);
        ImageFrame* frame = Manager().FindImageFrame(name.c_str());
        ASSERT_NE(frame, nullptr);
        Image* image = PatternImage(640, 480);
        frame->SetImage(image, false);
        ReleaseImage(image);
        frame->SetBeamDownState(true);
        (i == 0 ? m_a : m_b) = frame;
    }
    Manager().GetStitchSettings()->focalType = 2;
    Manager().SetPairMethod(false);
    Manager().OpenPairWindow(m_a, m_b, true, false);
    auto* view = dynamic_cast<COverlapPair*>(Manager().GetPairWindow());
    ASSERT_NE(view, nullptr);
    g_panoramaAnswer = 1;  // the core refuses the pair
    Prompter().ExpectMessageBoxPrefix("", IDOK);
    view->SendMessage(WM_COMMAND, COverlapPair::kStitchThisPair, 0);
    EXPECT_GE(g_panoramaCalls, 1);
    EXPECT_NE(Manager().GetPairWindow(), nullptr);
    EXPECT_FALSE(m_a->FindNeighbor(m_b)->IsMerged());
    EXPECT_FALSE(m_a->IsMerged());
    EXPECT_FALSE(m_b->IsMerged());

    g_panoramaAnswer = 0;
    g_panoramaCalls = 0;
    view = dynamic_cast<COverlapPair*>(Manager().GetPairWindow());
    ASSERT_NE(view, nullptr);
    view->SendMessage(WM_COMMAND, COverlapPair::kStitchThisPair, 0);
    EXPECT_GE(g_panoramaCalls, 1);
    EXPECT_EQ(Manager().GetPairWindow(), nullptr);
    EXPECT_TRUE(m_a->FindNeighbor(m_b)->IsMerged());
    EXPECT_TRUE(m_b->FindNeighbor(m_a)->IsMerged());
    EXPECT_TRUE(m_a->IsMerged());
    EXPECT_TRUE(m_b->IsMerged());
}

}  // namespace
