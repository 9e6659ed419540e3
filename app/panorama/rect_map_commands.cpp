// The panorama view's quarter-turn picture, its mosaic grid (start, mouse,
// drawing, removal) and the publishing commands it hands to the manager.
#include "app/panorama/rect_map_view.h"

#include "app/control/super_manager.h"
#include "app/mosaic/mosaic_layout.h"
#include "app/views/image_loaders.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/window_dc.h"
#include "worldmap/world_map.h"

#include <cstring>
#include <new>
#include <string>

const win::MessageMap* CRectMapView::CommandMessageMap() const
{
    using V = CRectMapView;
    // The final-map-only update rule of these ids lives with the tools; the
    // web tour (and its toolbar twin 33134) and the status pane always work.
    static const win::MessageMap map(ToolMessageMap(),
                                     {
                                         win::on::Command(kRotatedImageCommand, &V::OnRotatedImage),
                                         win::on::Command(kMosaicCommand, &V::OnMosaicStart),
                                         win::on::Command(32800, &V::OnViewInViewer),
                                         win::on::Command(33113, &V::OnSetAsScreenSaver),
                                         win::on::Command(33135, &V::OnMakeQuickTimeTour),
                                         win::on::Command(33154, &V::OnCreateWebTour),
                                         win::on::Command(33134, &V::OnCreateWebTour),
                                         win::on::Command(33111, &V::OnEmailPanorama),
                                         win::on::UpdateUI(33154, &V::OnUpdateAlwaysEnabled),
                                         win::on::UpdateUI(33134, &V::OnUpdateAlwaysEnabled),
                                         win::on::UpdateUI(59001, &V::OnUpdateAlwaysEnabled),
                                     });
    return &map;
}

void CRectMapView::OnUpdateAlwaysEnabled(CCmdUI* ui)
{
    if (ui) ui->Enable(TRUE);
}

// ---- Quarter-turn picture --------------------------------------------------------------

Image* CRectMapView::MakeRotatedImage()
{
    Image* screen = GetScreen();
    if (!screen || !screen->GetData() || screen->GetDataType() != IMG_UINT8 || !screen->IsInterleaved()) {
        Logger::log("ERROR CRectMapView::MakeRotatedImage no screen image", 1);
        return nullptr;
    }
    const RECT s = *GetSelectionRect();
    const int w = s.right - s.left + 1, h = s.bottom - s.top + 1;
    if (w <= 0 || h <= 0 || s.left < 0 || s.top < 0 || s.right >= screen->GetWidth() || s.bottom >= screen->GetHeight()) {
        Logger::log("ERROR CRectMapView::MakeRotatedImage selection (%d,%d)-(%d,%d) is not on the picture", 1,
                    static_cast<int>(s.left), static_cast<int>(s.top), static_cast<int>(s.right),
                    static_cast<int>(s.bottom));
        return nullptr;
    }
    const int n = screen->GetChannels();
    auto* turned = new Image(h, w, n);
    if (!turned->GetData()) {
        ReleaseImage(turned);
        Logger::log("ERROR CRectMapView::MakeRotatedImage Allocation error.", 1);
        throw std::bad_alloc();
    }
    // Source column c, row r goes to column r, row w - 1 - c: the source's
    // right edge becomes the top row.
    for (int r = 0; r < h; ++r) {
        const unsigned char* row =
            screen->GetData() + static_cast<size_t>(s.top + r) * screen->GetRowByte() + static_cast<size_t>(s.left) * n;
        for (int c = 0; c < w; ++c) {
            unsigned char* out =
                turned->GetData() + static_cast<size_t>(w - 1 - c) * turned->GetRowByte() + static_cast<size_t>(r) * n;
            std::memcpy(out, row + static_cast<size_t>(c) * n, static_cast<size_t>(n));
        }
    }
    return turned;
}

void CRectMapView::OnRotatedImage()
{
    Image* turned = MakeRotatedImage();
    if (!turned) return;
    std::string name = "Rotated Image ";
    if (SuperManager* manager = GetSuperManager()) {
        char number[32] = {};
        manager->FormatPanoramaNumber(number, sizeof number);
        name += number;
        manager->NextPanoramaNumber();
    }
    if (!OpenImageWindow(turned, name.c_str()))
        Logger::log("ERROR CRectMapView::OnRotatedImage cannot open \"%s\"", 1, name.c_str());
    ReleaseImage(turned);
}

// ---- Mosaic grid -----------------------------------------------------------------------

void CRectMapView::OnMosaicStart()
{
    if (m_mosaicLayout) return;
    WorldMap* map = m_worldMap ? m_worldMap : GetWorldMap();
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, w = 0, h = 0;
    if (map) map->GetDataArea(x0, y0, x1, y1, w, h);
    auto* layout = new MosaicLayout();
    // An empty data area makes no mosaic (the layout logs why).
    if (!layout->SetDataSize(w, h, true) || !layout->SetTileCount(6)) {
        delete layout;
        return;
    }
    layout->ResetRows();
    m_mosaicLayout = layout;
    layout->OpenMakerDialog(this);
    if (m_hWnd) Invalidate(TRUE);
}

void CRectMapView::RemoveMosaicLayout()
{
    MosaicLayout* layout = m_mosaicLayout;
    if (!layout) return;
    m_mosaicLayout = nullptr;
    if (m_mosaicDrag && m_hWnd && GetCapture() == this) ReleaseCapture();
    m_mosaicDrag = false;
    delete layout;
    if (m_hWnd) Invalidate(TRUE);
}

void CRectMapView::DrawMosaicLayout(CDC* dc)
{
    if (!dc || !m_mosaicLayout) return;
    int ox = 0, oy = 0;
    GetOffset(ox, oy);
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    m_mosaicLayout->Draw(dc, ox, oy, zx, zy);
}

void CRectMapView::MosaicMouse(UINT message, CPoint client, int x, int y)
{
    MosaicLayout* layout = m_mosaicLayout;
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    // ConvertToDVWpoint answers in view pixels; the grid lives in data pixels.
    const int dataX = zx > 0.0f ? static_cast<int>(x / zx) : x;
    const int dataY = zy > 0.0f ? static_cast<int>(y / zy) : y;
    switch (message) {
    case WM_LBUTTONDOWN: {
        const int hit = layout->HitTest(dataX, dataY);
        if (hit == MosaicLayout::kNothing) return;
        layout->SetDragTarget(hit);
        m_mosaicDrag = true;
        m_mosaicStart = m_mosaicLast = client;
        if (m_hWnd) SetCapture();
        return;
    }
    case WM_MOUSEMOVE: {
        if (!m_mosaicDrag) return;
        if (m_hWnd) {
            int ox = 0, oy = 0;
            GetOffset(ox, oy);
            CClientDC dc(this);
            OnPrepareDC(&dc);
            layout->DrawDragFeedback(&dc, ox, oy, zx, zy, m_mosaicLast.x - m_mosaicStart.x,
                                     m_mosaicLast.y - m_mosaicStart.y, client.x - m_mosaicStart.x,
                                     client.y - m_mosaicStart.y);
        }
        m_mosaicLast = client;
        return;
    }
    case WM_LBUTTONUP: {
        if (!m_mosaicDrag) return;
        m_mosaicDrag = false;
        if (m_hWnd && GetCapture() == this) ReleaseCapture();
        layout->ApplyDrag(zx, zy, client.x - m_mosaicStart.x, client.y - m_mosaicStart.y);
        layout->SetDragTarget(MosaicLayout::kNothing);
        if (m_hWnd) Invalidate(TRUE);
        return;
    }
    default:
        return;
    }
}

// ---- Publishing ------------------------------------------------------------------------

void CRectMapView::OnViewInViewer()
{
    if (SuperManager* manager = GetSuperManager()) manager->ViewInViewer(this);
}

void CRectMapView::OnSetAsScreenSaver()
{
    if (SuperManager* manager = GetSuperManager()) manager->SetAsScreenSaver(this);
}

void CRectMapView::OnMakeQuickTimeTour()
{
    if (SuperManager* manager = GetSuperManager()) manager->MakeQuickTimeTour(this);
}

void CRectMapView::OnCreateWebTour()
{
    if (SuperManager* manager = GetSuperManager()) manager->CreateWebTour(this);
}

void CRectMapView::OnEmailPanorama()
{
    if (SuperManager* manager = GetSuperManager()) manager->EmailPanorama(this);
}
