// The panorama view as owner of the image-size dialog: it opens on the
// selection's size at the view's zoom, code 2 reaches the view's zoom,
// code 1 (the dialog closing) deletes and forgets it.
#include "app/panorama/rect_map_view.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/panorama_app_test.h"
#include "app/views/image_size_dlg.h"
#include "platform/win/controls.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace {

class RectMapZoomDialogTest : public PanoramaAppTest {
protected:
    void SetUp() override
    {
        PanoramaAppTest::SetUp();
        m_map = new WorldMap(800, nullptr, 0, 3);
        m_map->m_xStart = 0;
        m_map->m_xEnd = 800;
        m_map->m_yStart = 0;
        m_map->m_yEnd = m_map->GetHeight();
        m_view = OpenWindow(m_map);
    }
    void TearDown() override
    {
        CRectMapView::SetZoomHandler(nullptr);
        PanoramaAppTest::TearDown();
    }
    void Record()
    {
        CRectMapView::SetZoomHandler([this](CRectMapView* view, float z) { m_zooms.emplace_back(view, z); });
    }
    void DragTo(CImageSizeDlg* dialog, int pos)
    {
        auto* slider = dynamic_cast<CSliderCtrl*>(dialog->GetDlgItem(CImageSizeDlg::kSlider));
        ASSERT_NE(slider, nullptr);
        slider->SetPos(pos);
        dialog->SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider->GetSafeHwnd()));
    }

    WorldMap* m_map = nullptr;
    CRectMapView* m_view = nullptr;
    std::vector<std::pair<CRectMapView*, float>> m_zooms;
};

TEST_F(RectMapZoomDialogTest, OpensOnTheSelectionAndPassesTheZoom)
{
    ASSERT_NE(m_view, nullptr);
    Record();
    const RECT sel{100, 50, 499, 249};
    m_view->SetSelectionRect(&sel);
    m_view->OpenZoomDialog();
    CImageSizeDlg* dialog = m_view->GetZoomDialog();
    ASSERT_NE(dialog, nullptr);
    int w = 0, h = 0;
    dialog->GetSourceSize(w, h);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 200);
    EXPECT_EQ(dialog->GetOwnerKind(), CImageSizeDlg::kPanoramaView);
    EXPECT_EQ(dialog->GetOwnerView(), m_view);
    float zx = 0, zy = 0;
    m_view->GetCurrentZoom(zx, zy);
    EXPECT_EQ(dialog->GetZoom(), zx);
    // Opening again reuses the open dialog.
    m_view->OpenZoomDialog();
    EXPECT_EQ(m_view->GetZoomDialog(), dialog);

    DragTo(dialog, 80);
    ASSERT_EQ(m_zooms.size(), 1u);
    EXPECT_EQ(m_zooms[0], std::make_pair(m_view, 0.8f));
    // Nonsense zooms never reach the view.
    m_view->OnZoomDialogNotify(CImageSizeDlg::kZoomChanged, 0.0f);
    m_view->OnZoomDialogNotify(CImageSizeDlg::kZoomChanged, std::nanf(""));
    m_view->OnZoomDialogNotify(7, 1.0f);
    EXPECT_EQ(m_zooms.size(), 1u);
}

TEST_F(RectMapZoomDialogTest, ClosingDeletesAndForgetsTheDialog)
{
    ASSERT_NE(m_view, nullptr);
    m_view->OpenZoomDialog();
    CImageSizeDlg* dialog = m_view->GetZoomDialog();
    ASSERT_NE(dialog, nullptr);
    const HWND hwnd = dialog->GetSafeHwnd();
    dialog->SendMessage(WM_CLOSE);
    EXPECT_EQ(m_view->GetZoomDialog(), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd));
    // A new one can be opened afterwards.
    m_view->OpenZoomDialog();
    EXPECT_NE(m_view->GetZoomDialog(), nullptr);
    // And the view takes it down with itself (no leak, no dangling owner).
}

TEST_F(RectMapZoomDialogTest, WithoutAHandlerTheViewZoomsItself)
{
    ASSERT_NE(m_view, nullptr);
    m_view->OpenZoomDialog();
    m_view->OnZoomDialogNotify(CImageSizeDlg::kZoomChanged, 0.5f);
    float zx = 0, zy = 0;
    m_view->GetCurrentZoom(zx, zy);
    EXPECT_EQ(zx, 0.5f);
    EXPECT_EQ(zy, 0.5f);
    EXPECT_NE(m_view->GetTitle().find("50%"), std::string::npos) << m_view->GetTitle();
}

}  // namespace
