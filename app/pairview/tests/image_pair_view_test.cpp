// The pair marker window: opening a pair (content, zoom, tool, magnifier),
// editing markers with the mouse and keys, the image drag that re-orders the
// pair, the document's loading of missing photographs, and the marker
// crosses on the drawn window at two zooms.
#include "app/pairview/image_pair_view.h"
#include "app/pairview/overlap_pair_view.h"
#include "app/tests/app_test_fixture.h"
#include "app/views/image_pair_doc.h"
#include "imaging/image.h"
#include "platform/win/control_bars.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// A flat grey photograph.
Image* GreyImage(int w, int h, int level)
{
    auto* image = new Image(w, h, 3);
    image->BmpInit();
    image->Fill(level | (level << 8) | (level << 16));
    return image;
}

class PairViewTest : public AppTest {
protected:
    // Two frames of w x h side by side in the tray, opened in the marker view.
    CImagePairView* OpenPair(int w, int h, int markers1 = 0)
    {
        if (!Start()) return nullptr;
        ImageGroup* group = Manager().GetImageGroup(true);
        m_a = new ImageFrame;
        m_b = new ImageFrame;
        group->AppendImageFrame(m_a);
        group->AppendImageFrame(m_b);
        for (ImageFrame* f : {m_a, m_b}) {
            Image* image = GreyImage(w, h, 60);
            f->SetImage(image, false);
            ReleaseImage(image);
        }
        m_a->SetStampLocation(0, 0);
        m_b->SetStampLocation(90, 0);
        Neighbor* link = m_a->AddNeighbor(m_b);
        for (int i = 0; i < markers1; ++i) link->AddMarker(static_cast<short>(20 + 10 * i), 30);
        Manager().GetStitchSettings()->focalType = 1;
        Manager().OpenPairWindow(m_a, m_b, false, false);
        return dynamic_cast<CImagePairView*>(Manager().GetPairWindow());
    }
    void Click(CImagePairView* view, int x, int y, UINT flags = 0)
    {
        view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON | flags, MAKEPOINTLPARAM(x, y));
        view->SendMessage(WM_LBUTTONUP, flags, MAKEPOINTLPARAM(x, y));
    }
    ImageFrame* m_a = nullptr;
    ImageFrame* m_b = nullptr;
};

// The project keeps the pair document opened last, for either kind of pair
// window, and forgets it when the window closes.
TEST_F(PairViewTest, TheProjectRecordsThePairDocumentWhileItsWindowIsOpen)
{
    CImagePairView* view = OpenPair(320, 240);
    ASSERT_NE(view, nullptr);
    ImageGroup* group = Manager().GetImageGroup(false);
    ASSERT_NE(group, nullptr);
    ASSERT_NE(view->GetDocument(), nullptr);
    EXPECT_EQ(group->GetStampDoc(), static_cast<void*>(view->GetDocument()));
    Manager().ClosePairWindow(false);
    ASSERT_EQ(Manager().GetPairWindow(), nullptr);
    EXPECT_EQ(group->GetStampDoc(), nullptr) << "no pointer to a closed document";

    Manager().GetStitchSettings()->focalType = 2;
    Manager().SetPairMethod(false);
    Manager().OpenPairWindow(m_a, m_b, true, false);
    auto* overlap = dynamic_cast<COverlapPair*>(Manager().GetPairWindow());
    ASSERT_NE(overlap, nullptr);
    ASSERT_NE(overlap->GetDocument(), nullptr);
    EXPECT_EQ(group->GetStampDoc(), static_cast<void*>(overlap->GetDocument()));
    Manager().ClosePairWindow(false);
    EXPECT_EQ(group->GetStampDoc(), nullptr);
}

TEST_F(PairViewTest, OpeningAPairSetsContentZoomToolsAndMagnifier)
{
    CImagePairView* view = OpenPair(640, 480);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetContentSize().cx, 1282);
    EXPECT_EQ(view->GetContentSize().cy, 480);
    EXPECT_FLOAT_EQ(view->GetZoom(), 1.0f);
    EXPECT_EQ(view->GetDocument()->GetTitle(), "Image Pair for Markers (100%)");
    // Opened, the second frame is image 1; the left stamp's image lies left.
    EXPECT_EQ(view->GetImage1(), m_b);
    EXPECT_EQ(view->GetLink1(), m_b->FindNeighbor(m_a));
    EXPECT_EQ(m_a->FindNeighbor(m_b)->m_offsetX, 0);
    EXPECT_EQ(m_b->FindNeighbor(m_a)->m_offsetX, 642);
    ASSERT_NE(view->GetToolBar(), nullptr);
    EXPECT_EQ(view->GetToolBar()->GetButtonCount(), 11);
    EXPECT_EQ(view->GetToolBar()->GetItemID(1), CImagePairView::kToolAddMarker);
    EXPECT_EQ(view->GetToolBar()->RequestToolTip(1), "add marker");
    EXPECT_EQ(view->GetTool(), CImagePairView::kToolAddMarker);
    EXPECT_TRUE(view->HasMagnifier());
    view->SendMessage(WM_COMMAND, CImagePairView::kMagnifier, 0);
    EXPECT_FALSE(view->HasMagnifier());
    // Zoom steps from an exact step only.
    view->SendMessage(WM_COMMAND, CImagePairView::kZoom25 + 1, 0);
    EXPECT_EQ(view->GetDocument()->GetTitle(), "Image Pair for Markers (50%)");
    view->SendMessage(WM_COMMAND, CImagePairView::kZoomIn, 0);
    EXPECT_FLOAT_EQ(view->GetZoom(), 0.75f);
    view->SendMessage(WM_COMMAND, CImagePairView::kZoomOut, 0);
    view->SendMessage(WM_COMMAND, CImagePairView::kZoomOut, 0);
    view->SendMessage(WM_COMMAND, CImagePairView::kZoomOut, 0);
    EXPECT_FLOAT_EQ(view->GetZoom(), 0.25f);
}

TEST_F(PairViewTest, WideContentStartsAtASnappedZoom)
{
    win::SetScreenSize(1280, 1024);
    CImagePairView* view = OpenPair(1499, 480);  // 3000 x 480
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetContentSize().cx, 3000);
    EXPECT_FLOAT_EQ(view->GetZoom(), 0.5f);
}

TEST_F(PairViewTest, FiveMarkersSelectTheMoveTool)
{
    // The view's first link is the second frame's: give it five markers.
    if (!Start()) FAIL();
    ImageGroup* group = Manager().GetImageGroup(true);
    auto* a = new ImageFrame;
    auto* b = new ImageFrame;
    group->AppendImageFrame(a);
    group->AppendImageFrame(b);
    for (ImageFrame* f : {a, b}) {
        Image* image = GreyImage(200, 100, 60);
        f->SetImage(image, false);
        ReleaseImage(image);
    }
    a->AddNeighbor(b);
    for (int i = 0; i < 5; ++i) b->FindNeighbor(a)->AddMarker(static_cast<short>(10 * i), 20);
    Manager().GetStitchSettings()->focalType = 1;
    Manager().OpenPairWindow(a, b, false, false);
    auto* view = dynamic_cast<CImagePairView*>(Manager().GetPairWindow());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetTool(), CImagePairView::kToolMoveMarker);
    EXPECT_EQ(b->FindNeighbor(a)->GetMarkers(true)->GetShowMarkerErrorFlag(), 3);
}

TEST_F(PairViewTest, MarkersAreAddedErasedInPairsAndKeysMoveThem)
{
    CImagePairView* view = OpenPair(200, 100);
    ASSERT_NE(view, nullptr);
    view->SendMessage(WM_COMMAND, CImagePairView::kMagnifier, 0);
    Neighbor* left = m_a->FindNeighbor(m_b);   // content x 0..199
    Neighbor* right = m_b->FindNeighbor(m_a);  // content x 202..401
    // Three markers on each image, relative to each image's corner.
    for (int i = 0; i < 3; ++i) {
        Click(view, 30 + 40 * i, 50);
        Click(view, 232 + 40 * i, 60);
    }
    ASSERT_NE(left->GetMarkers(true), nullptr);
    ASSERT_NE(right->GetMarkers(true), nullptr);
    ASSERT_EQ(left->GetMarkers(true)->GetNumbOfMarker(), 3);
    ASSERT_EQ(right->GetMarkers(true)->GetNumbOfMarker(), 3);
    EXPECT_FLOAT_EQ(right->GetMarkers(true)->GetMarker()[1].x, 70.0f);
    EXPECT_FLOAT_EQ(right->GetMarkers(true)->GetMarker()[1].y, 60.0f);
    EXPECT_TRUE(view->MarkersChanged());
    // A click 4 pixels from a marker hits it: no marker is added.
    Click(view, 74, 50);
    EXPECT_EQ(left->GetMarkers(true)->GetNumbOfMarker(), 3);
    // A press between the images does nothing.
    Click(view, 200, 50);
    EXPECT_EQ(left->GetMarkers(true)->GetNumbOfMarker() + right->GetMarkers(true)->GetNumbOfMarker(), 6);

    // Erasing the second marker of the right image erases the left one of
    // the same index; the survivors keep their pairing.
    view->SendMessage(WM_COMMAND, CImagePairView::kToolEraseMarker, 0);
    EXPECT_EQ(view->GetTool(), CImagePairView::kToolEraseMarker);
    Click(view, 272, 61);
    ASSERT_EQ(left->GetMarkers(true)->GetNumbOfMarker(), 2);
    ASSERT_EQ(right->GetMarkers(true)->GetNumbOfMarker(), 2);
    EXPECT_FLOAT_EQ(left->GetMarkers(true)->GetMarker()[1].x, 110.0f);
    EXPECT_FLOAT_EQ(right->GetMarkers(true)->GetMarker()[1].x, 110.0f);
    EXPECT_TRUE(left->IsMarkerChanged());

    // Keys act on the active image's current marker: right then delete.
    Marker* rightSet = right->GetMarkers(true);
    rightSet->SetCurrent(0);
    view->SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_FLOAT_EQ(rightSet->GetMarker()[0].x, 31.0f);
    view->SendMessage(WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(rightSet->GetNumbOfMarker(), 1);
    EXPECT_EQ(left->GetMarkers(true)->GetNumbOfMarker(), 1);
    EXPECT_FLOAT_EQ(left->GetMarkers(true)->GetMarker()[0].x, 110.0f);
}

TEST_F(PairViewTest, MarkerDragMovesTheMarkerByTheMouseStep)
{
    CImagePairView* view = OpenPair(200, 100);
    ASSERT_NE(view, nullptr);
    view->SendMessage(WM_COMMAND, CImagePairView::kMagnifier, 0);
    Click(view, 50, 50);
    view->SendMessage(WM_COMMAND, CImagePairView::kToolMoveMarker, 0);
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(52, 51));
    view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKEPOINTLPARAM(62, 41));
    view->SendMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(62, 41));
    const POINT2M& m = m_a->FindNeighbor(m_b)->GetMarkers(true)->GetMarker()[0];
    EXPECT_FLOAT_EQ(m.x, 60.0f);
    EXPECT_FLOAT_EQ(m.y, 40.0f);
    EXPECT_EQ(view->GetStateFlags() & CImagePairView::kMarkerDrag, 0u);
}

TEST_F(PairViewTest, DraggingImageTwoMakesItImageOne)
{
    CImagePairView* view = OpenPair(200, 100);
    ASSERT_NE(view, nullptr);
    view->SendMessage(WM_COMMAND, CImagePairView::kMagnifier, 0);
    ImageFrame* before1 = view->GetImage1();  // the right image (frame b)
    ImageFrame* before2 = view->GetImage2();
    view->SendMessage(WM_COMMAND, CImagePairView::kToolMoveImage, 0);
    // Press on the left image (image 2) and drag it 30 right, 7 down.
    view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(40, 40));
    view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKEPOINTLPARAM(70, 47));
    EXPECT_EQ(view->GetDragOutline().left, 30);
    view->SendMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(70, 47));
    EXPECT_EQ(view->GetImage1(), before2);
    EXPECT_EQ(view->GetImage2(), before1);
    EXPECT_EQ(m_a->FindNeighbor(m_b)->m_offsetX, 30);
    EXPECT_EQ(m_a->FindNeighbor(m_b)->m_offsetY, 7);
    // It is now hit first where the two overlap.
    view->SendMessage(WM_COMMAND, CImagePairView::kToolAddMarker, 0);
    Click(view, 215, 50);  // inside both: the moved image (30..229) wins
    ASSERT_NE(m_a->FindNeighbor(m_b)->GetMarkers(true), nullptr);
    EXPECT_FLOAT_EQ(m_a->FindNeighbor(m_b)->GetMarkers(true)->GetMarker()[0].x, 185.0f);
    EXPECT_EQ(m_b->FindNeighbor(m_a)->GetMarkers(true), nullptr);
}

TEST_F(PairViewTest, DocumentLoadsOnlyMissingPhotographs)
{
    ASSERT_TRUE(Start());
    ImageFrame a, b;
    const std::string photo = TestData("daeyun-image-stitching/ledge_1.JPG");
    a.SetName(photo.c_str());
    b.SetName(photo.c_str());
    Image* held = GreyImage(10, 10, 0);
    a.SetImage(held, false);
    CImagePairDoc doc;
    const std::string title = "pair";
    doc.SetImagePair(&a, &b, &title);
    EXPECT_EQ(a.GetImage(), held);  // kept
    ASSERT_NE(b.GetImage(), nullptr);
    EXPECT_GT(b.GetImage()->GetWidth(), 100);
    EXPECT_EQ(b.GetImage()->m_refCount, 1);  // the loader's reference dropped
    EXPECT_EQ(doc.GetPairTitle(), "pair");
    // A frame whose file is missing stays without an image.
    ImageFrame c;
    c.SetName("/nonexistent/photo.jpg");
    doc.SetImagePair(&c, &b, nullptr);
    EXPECT_EQ(c.GetImage(), nullptr);
    EXPECT_EQ(doc.GetPairTitle(), "pair");
    a.SetImage(nullptr, false);
    ReleaseImage(held);
}

// Red (inactive) and green (current) marker crosses on the drawn window.
TEST_F(PairViewTest, MarkerCrossesLandWhereTheZoomPutsThem)
{
    CImagePairView* view = OpenPair(300, 200);
    ASSERT_NE(view, nullptr);
    view->SendMessage(WM_COMMAND, CImagePairView::kMagnifier, 0);
    Neighbor* left = m_a->FindNeighbor(m_b);
    Neighbor* right = m_b->FindNeighbor(m_a);
    left->AddMarker(100, 120);
    left->AddMarker(200, 60);   // current: green
    right->AddMarker(302 + 80, 150);
    for (float zoom : {1.0f, 0.5f}) {
        view->SendMessage(WM_COMMAND, zoom == 1.0f ? CImagePairView::kZoom25 + 3 : CImagePairView::kZoom25 + 1, 0);
        ASSERT_FLOAT_EQ(view->GetZoom(), zoom);
        win::PaintAll();
        Image* drawn = win::CaptureWindow(view->GetSafeHwnd());
        ASSERT_NE(drawn, nullptr);
        auto pixel = [&](int x, int y) {
            const unsigned char* p = drawn->GetData() + static_cast<size_t>(y) * drawn->GetRowByte() + x * 3;
            return RGB(p[2], p[1], p[0]);
        };
        // Centre of each cross and its diagonal arms, as the marker draws it.
        struct Expect {
            int cx, cy;
            COLORREF colour;
        };
        const Expect crosses[] = {{static_cast<int>(100 * zoom), static_cast<int>(120 * zoom), RGB(255, 0, 0)},
                                  {static_cast<int>(200 * zoom), static_cast<int>(60 * zoom), RGB(0, 255, 0)},
                                  {static_cast<int>(382 * zoom), static_cast<int>(150 * zoom), RGB(0, 255, 0)}};
        for (const Expect& e : crosses) {
            EXPECT_EQ(pixel(e.cx, e.cy), e.colour) << zoom << " at " << e.cx << "," << e.cy;
            EXPECT_EQ(pixel(e.cx - 2, e.cy - 2), e.colour) << zoom;
            EXPECT_EQ(pixel(e.cx + 2, e.cy - 2), e.colour) << zoom;
            EXPECT_EQ(pixel(e.cx + 5, e.cy), RGB(60, 60, 60)) << zoom;  // the photograph beside it
        }
        // Between the two images: the face colour.
        EXPECT_EQ(pixel(static_cast<int>(301 * zoom), static_cast<int>(100 * zoom)), GetSysColor(COLOR_3DFACE)) << zoom;
        ReleaseImage(drawn);
    }
}

}  // namespace
