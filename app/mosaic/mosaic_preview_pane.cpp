#include "app/mosaic/mosaic_preview_pane.h"

#include "app/mosaic/mosaic_maker_dlg.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/imgcore/ps_map.h"
#include "platform/win/dib.h"
#include "platform/win/menu.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// The drawn left and right edge of a picture of `width` columns under a map.
void DrawnEdges(const PSMap& map, int width, double& left, double& right)
{
    double x0 = 0, x1 = 0;
    map.MapPoint(0, 0, &x0, nullptr);
    map.MapPoint(width - 1, 0, &x1, nullptr);
    left = std::min(x0, x1);
    right = std::max(x0, x1);
}

Image* NewScreenImage(int w, int h)
{
    auto* image = new Image();
    if (image->BmpInit(w, h, 3) != 0) {
        ReleaseImage(image);
        Logger::log("ERROR CMosaicPreviewPane::Compose Allocation error.", 1);
        throw std::bad_alloc();
    }
    return image;
}

}  // namespace

CMosaicPreviewPane::CMosaicPreviewPane(CMosaicMakerDlg* owner) : CDialog(kTemplateId), m_owner(owner) {}

CMosaicPreviewPane::~CMosaicPreviewPane()
{
    ReleaseImage(m_screen);
    ReleaseImage(m_foreground);
    ReleaseImage(m_backgroundPicture);
    m_screen = m_foreground = m_backgroundPicture = nullptr;
    if (m_hWnd) DestroyWindow();
}

void CMosaicPreviewPane::GetClientSize(int& width, int& height) const
{
    width = height = 0;
    if (!m_hWnd) return;
    RECT client{};
    GetClientRect(&client);
    width = client.right - client.left;
    height = client.bottom - client.top;
}

double CMosaicPreviewPane::GetAspect() const
{
    int w = 0, h = 0;
    GetClientSize(w, h);
    return h > 0 ? static_cast<double>(w) / h : 0.0;
}

double CMosaicPreviewPane::GetForegroundScale() const
{
    int w = 0, h = 0;
    GetClientSize(w, h);
    if (!m_foreground || !m_foregroundMap || w <= 0) return 0.0;
    double left = 0, right = 0;
    DrawnEdges(*m_foregroundMap, m_foreground->GetWidth(), left, right);
    return (right - left) / w;
}

void CMosaicPreviewPane::SetBackgroundColour(COLORREF colour)
{
    const bool changed = m_backgroundKind != 1 || m_backgroundColour != colour;
    m_backgroundKind = 1;
    m_backgroundColour = colour;
    if (!changed) return;
    Compose();
    Redraw();
}

void CMosaicPreviewPane::SetBackgroundImage(Image* picture)
{
    const bool changed = m_backgroundKind != 2 || m_backgroundPicture != picture;
    m_backgroundKind = 2;
    if (picture != m_backgroundPicture) {
        RefAdd(picture);
        ReleaseImage(m_backgroundPicture);
        m_backgroundPicture = picture;
    }
    if (!changed) return;
    Compose();
    Redraw();
}

void CMosaicPreviewPane::SetForeground(Image* foreground)
{
    if (foreground != m_foreground) {
        RefAdd(foreground);
        ReleaseImage(m_foreground);
        m_foreground = foreground;
    }
    if (!m_foregroundMap && m_foreground) {
        m_foregroundMap = std::make_unique<PSMap>();
        FitForeground();
    }
    Compose();
    Redraw();
}

void CMosaicPreviewPane::FitForeground()
{
    int w = 0, h = 0;
    GetClientSize(w, h);
    if (!m_foreground || !m_foregroundMap || w <= 0 || m_foreground->GetWidth() <= 0) return;
    const double k = static_cast<double>(w) / m_foreground->GetWidth();
    m_foregroundMap->Reset();
    m_foregroundMap->ZoomAtPoint(k, 0, 0);
    m_foregroundMap->Shift(0, (h - static_cast<int>(m_foreground->GetHeight() * k)) / 2);
}

void CMosaicPreviewPane::Compose()
{
    int w = 0, h = 0;
    GetClientSize(w, h);
    if (w <= 0 || h <= 0) return;
    if (!m_screen || m_screen->GetWidth() != w || m_screen->GetHeight() != h) {
        ReleaseImage(m_screen);
        m_screen = nullptr;
        m_screen = NewScreenImage(w, h);
    }
    m_screen->Clear();
    if (m_foreground && m_foregroundMap) m_foregroundMap->MapImage(m_foreground, m_screen);
    if (m_backgroundKind == 1) {
        FillEmptyPixels(m_screen, static_cast<int>(m_backgroundColour));
    } else if (m_backgroundKind == 2 && m_backgroundPicture && m_owner) {
        PSMap* map = m_owner->GetBackgroundMap();
        if (map->IsConstant()) {
            double x = 0, y = 0;
            map->MapPoint(0, 0, &x, &y);
            m_screen->Fill(m_backgroundPicture, static_cast<int>(x), static_cast<int>(y), 0);
        } else {
            auto* mapped = new Image(w, h, 3);
            if (map->MapImage(m_backgroundPicture, mapped)) m_screen->Fill(mapped, 0, 0, 0);
            ReleaseImage(mapped);
        }
    }
}

void CMosaicPreviewPane::RenderTo(Image* output, Image* base)
{
    int cw = 0, ch = 0;
    GetClientSize(cw, ch);
    if (!output || !output->GetData() || !base || cw <= 0 || ch <= 0 || !m_foregroundMap) {
        Logger::log("ERROR CMosaicPreviewPane::RenderTo nothing to render", 1);
        return;
    }
    const int W = output->GetWidth(), H = output->GetHeight();
    output->Clear();
    double px = 0, py = 0;
    m_foregroundMap->MapPoint(0, 0, &px, &py);
    const int x = std::max(0, static_cast<int>(W * px / cw));
    const int y = static_cast<int>(H * py / ch);
    base->CopyDataTo(0, base->GetWidth() - 1, 0, base->GetHeight() - 1, output, x, y);
    if (m_backgroundKind == 1) {
        // A first sample of 0 would read as "no data" in the result.
        int colour = static_cast<int>(m_backgroundColour);
        if ((colour & 0xFF0000) == 0) colour |= 0x010000;
        FillEmptyPixels(output, colour);
    } else if (m_backgroundKind == 2 && m_backgroundPicture && m_owner) {
        PSMap map;
        m_owner->GetBackgroundMap()->CopyTo(&map);
        const double k = static_cast<double>(W) / cw;
        map.Zoom(k, k);
        if (map.IsConstant()) {
            double bx = 0, by = 0;
            map.MapPoint(0, 0, &bx, &by);
            output->Fill(m_backgroundPicture, static_cast<int>(bx + 0.5), static_cast<int>(by + 0.5), 0);
        } else {
            auto* mapped = new Image(W, H, 3);
            if (map.MapImage(m_backgroundPicture, mapped, PSMap::kBilinear)) output->Fill(mapped, 0, 0, 0);
            ReleaseImage(mapped);
        }
    }
}

// ---- Painting -------------------------------------------------------------------------

BOOL CMosaicPreviewPane::OnEraseBkgnd(CDC*)
{
    return TRUE;  // the paint covers the whole client area
}

void CMosaicPreviewPane::OnPaint()
{
    CPaintDC dc(this);
    RECT client{};
    GetClientRect(&client);
    const int cw = client.right - client.left, ch = client.bottom - client.top;
    if (!m_screen || !m_screen->GetData()) {
        dc.FillSolidRect(0, 0, cw, ch, m_backgroundColour);
        return;
    }
    const int iw = m_screen->GetWidth(), ih = m_screen->GetHeight();
    const int ox = std::max(0, (cw - iw) / 2), oy = std::max(0, (ch - ih) / 2);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = iw;
    info.bmiHeader.biHeight = -ih;  // rows top-down, as the image keeps them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const bool shrunk = cw < iw || ch < ih;
    const int oldMode = shrunk ? dc.SetStretchBltMode(COLORONCOLOR) : 0;
    StretchDIBits(&dc, ox, oy, iw, ih, 0, 0, iw, ih, m_screen->GetData(), &info, DIB_RGB_COLORS, SRCCOPY);
    if (shrunk) dc.SetStretchBltMode(oldMode);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    if (ox > 0) dc.FillSolidRect(0, 0, ox, ch, face);
    if (ox + iw < cw) dc.FillSolidRect(ox + iw, 0, cw - ox - iw, ch, face);
    if (oy > 0) dc.FillSolidRect(ox, 0, iw, oy, face);
    if (oy + ih < ch) dc.FillSolidRect(ox, oy + ih, iw, ch - oy - ih, face);
}

void CMosaicPreviewPane::Redraw()
{
    if (m_hWnd) Invalidate(FALSE);
}

void CMosaicPreviewPane::OnSize(UINT type, int cx, int cy)
{
    CDialog::OnSize(type, cx, cy);
    if (cx <= 0 || cy <= 0) return;
    if (m_screen && m_screen->GetWidth() == cx && m_screen->GetHeight() == cy) return;
    if (m_foreground && m_foregroundMap && m_owner && cx >= 2 * m_foreground->GetWidth()) {
        const int oldWidth = m_foreground->GetWidth();
        if (Image* larger = m_owner->MakeBackground(cx)) {
            ReleaseImage(m_foreground);
            m_foreground = larger;
            const double k = static_cast<double>(oldWidth) / cx;
            m_foregroundMap->Zoom(k, k);
        }
    }
    if (m_foreground && m_foregroundMap) {
        double left = 0, right = 0;
        DrawnEdges(*m_foregroundMap, m_foreground->GetWidth(), left, right);
        if (right - left > cx) m_foregroundMap->ZoomAtPoint(cx / (right - left), cx / 2, cy / 2);
        KeepForegroundInside();
    }
    Compose();
    Redraw();
}

// ---- Mouse ----------------------------------------------------------------------------

PSMap* CMosaicPreviewPane::MapOfMode() const
{
    if (m_mode >= kPanBack && m_mode <= kRotateBack) return m_owner ? m_owner->GetBackgroundMap() : nullptr;
    if (m_mode == kPanFore || m_mode == kZoomFore) return m_foregroundMap.get();
    return nullptr;
}

void CMosaicPreviewPane::KeepForegroundInside()
{
    int cw = 0, ch = 0;
    GetClientSize(cw, ch);
    if (!m_foreground || !m_foregroundMap) return;
    double left = 0, right = 0;
    DrawnEdges(*m_foregroundMap, m_foreground->GetWidth(), left, right);
    if (left < 0)
        m_foregroundMap->Shift(-left, 0);
    else if (right > cw)
        m_foregroundMap->Shift(std::max(-left, cw - right), 0);
}

void CMosaicPreviewPane::OnLButtonDown(UINT, CPoint point)
{
    if (m_mode == kNone) return;
    m_startX = m_lastX = point.x;
    m_startY = m_lastY = point.y;
    int cw = 0, ch = 0;
    GetClientSize(cw, ch);
    if (m_mode == kZoomBack || m_mode == kRotateBack || m_mode == kZoomFore) {
        const int dx = point.x - cw / 2, dy = point.y - ch / 2;
        if (dx * dx + dy * dy < kDeadZone) return;
    }
    PSMap* map = MapOfMode();
    if (!map) return;
    if (!m_savedMap) m_savedMap = std::make_unique<PSMap>();
    map->CopyTo(m_savedMap.get());
    m_dragging = true;
    m_lastZoom = 0.0f;
    if (m_hWnd) SetCapture();
}

void CMosaicPreviewPane::OnLButtonUp(UINT, CPoint)
{
    if (!m_dragging) return;
    m_dragging = false;
    if (m_hWnd && GetCapture() == this) ReleaseCapture();
}

void CMosaicPreviewPane::OnMouseMove(UINT, CPoint point)
{
    if (!m_dragging) return;
    switch (m_mode) {
    case kPanBack:
    case kPanFore: DragPan(point.x, point.y); break;
    case kZoomBack:
    case kZoomFore: DragZoom(point.x, point.y); break;
    case kRotateBack: DragRotate(point.x, point.y); break;
    default: return;
    }
    m_lastX = point.x;
    m_lastY = point.y;
}

void CMosaicPreviewPane::DragPan(int x, int y)
{
    PSMap* map = MapOfMode();
    if (!map || !m_savedMap) return;
    double dx = x - m_startX, dy = y - m_startY;
    if (dx == 0 && dy == 0) return;
    m_savedMap->CopyTo(map);
    if (m_mode == kPanFore && m_foreground) {
        int cw = 0, ch = 0;
        GetClientSize(cw, ch);
        double left = 0, right = 0;
        DrawnEdges(*map, m_foreground->GetWidth(), left, right);
        dx = std::max(std::min(dx, cw - right), -left);
    }
    map->Shift(dx, dy);
    Compose();
    Redraw();
}

void CMosaicPreviewPane::DragZoom(int x, int y)
{
    PSMap* map = MapOfMode();
    if (!map || !m_savedMap) return;
    int cw = 0, ch = 0;
    GetClientSize(cw, ch);
    const double cx = cw / 2, cy = ch / 2;
    const double start = (m_startX - cx) * (m_startX - cx) + (m_startY - cy) * (m_startY - cy);
    const double now = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    if (start <= 0) return;
    double k = std::clamp(std::sqrt(now / start), kMinZoom, kMaxZoom);
    if (m_mode == kZoomFore && m_foreground) {
        double left = 0, right = 0;
        DrawnEdges(*m_savedMap, m_foreground->GetWidth(), left, right);
        if (right - left > 0) k = std::min(k, cw / (right - left));
    }
    if (static_cast<float>(k) == m_lastZoom) return;
    m_savedMap->CopyTo(map);
    map->ZoomAtPoint(k, cx, cy);
    if (m_mode == kZoomFore) KeepForegroundInside();
    m_lastZoom = static_cast<float>(k);
    Compose();
    Redraw();
}

void CMosaicPreviewPane::DragRotate(int x, int y)
{
    PSMap* map = MapOfMode();
    if (!map || !m_savedMap) return;
    int cw = 0, ch = 0;
    GetClientSize(cw, ch);
    const double cx = cw / 2, cy = ch / 2;
    const double ax = m_startX - cx, ay = m_startY - cy, bx = x - cx, by = y - cy;
    const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by;
    if (b2 < kDeadZone || a2 <= 0) return;
    double sine = (ax * by - bx * ay) / (std::sqrt(a2) * std::sqrt(b2));
    double cosine = 0;
    if (sine * sine < 1) {
        cosine = std::sqrt(1 - sine * sine);
        if (ax * bx + ay * by < 0) cosine = -cosine;
    } else {
        sine = sine <= 0 ? -1 : 1;
    }
    m_savedMap->CopyTo(map);
    map->Rotate(cx, cy, sine, cosine);
    Compose();
    Redraw();
}

UINT CMosaicPreviewPane::CursorForMode() const
{
    switch (m_mode) {
    case kPanBack:
    case kPanFore: return IDC_SIZEALL;
    case kZoomBack:
    case kZoomFore: return kZoomCursor;
    case kRotateBack: return kRotateCursor;
    default: return IDC_ARROW;
    }
}

BOOL CMosaicPreviewPane::OnSetCursor(CWnd*, UINT, UINT)
{
    const UINT id = CursorForMode();
    HCURSOR cursor = (id == IDC_ARROW || id == IDC_SIZEALL) ? LoadStandardCursor(id) : LoadResourceCursor(id);
    SetCursor(cursor ? cursor : LoadStandardCursor(IDC_ARROW));
    return TRUE;
}

// ---- Menu 287 -------------------------------------------------------------------------

void CMosaicPreviewPane::PrepareMenu(CMenu* popup) const
{
    if (!popup) return;
    const UINT backgroundItems[3] = {kBackgroundPan, kBackgroundZoom, kBackgroundRotate};
    if (m_backgroundKind != 2)
        for (UINT id : backgroundItems) popup->EnableMenuItem(id, MF_BYCOMMAND | MF_GRAYED);
    static const char* const kCancelTexts[] = {nullptr, "Cancel Background Pan", "Cancel Background Zoom",
                                               "Cancel Background Rotation", "Cancel Forground Pan",
                                               "Cancel Forground Zoom"};
    if (m_mode >= kPanBack && m_mode <= kZoomFore) {
        const UINT id = kBackgroundPan + static_cast<UINT>(m_mode - kPanBack);
        const UINT grayed = popup->GetMenuState(id, MF_BYCOMMAND) & MF_GRAYED;
        popup->ModifyMenu(id, MF_BYCOMMAND | MF_STRING | grayed, id, kCancelTexts[m_mode]);
    }
}

void CMosaicPreviewPane::OnRButtonDown(UINT, CPoint point)
{
    CMenu menu;
    if (!menu.LoadMenu(kMenuId)) {
        Logger::log("ERROR CMosaicPreviewPane::OnRButtonDown no menu %u", 1, kMenuId);
        return;
    }
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup) return;
    PrepareMenu(popup);
    CPoint screen = point;
    if (m_hWnd) ClientToScreen(&screen);
    popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, this);
}

void CMosaicPreviewPane::OnMenuCommand(UINT id)
{
    switch (id) {
    case kDockLeft:
    case kDockRight:
    case kDockBottom:
        m_dockSide = id == kDockLeft ? 1 : id == kDockRight ? 2 : 0;
        if (m_owner) m_owner->PositionPane(m_dockSide);
        return;
    case kForegroundFit:
        FitForeground();
        Compose();
        Redraw();
        return;
    default:
        break;
    }
    if (id < kBackgroundPan || id > kForegroundZoom) return;
    const int mode = kPanBack + static_cast<int>(id - kBackgroundPan);
    if (mode <= kRotateBack && m_backgroundKind != 2) return;  // the items are disabled
    m_mode = m_mode == mode ? kNone : mode;
    m_dragging = false;
}

const win::MessageMap* CMosaicPreviewPane::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::CommandRange(kDockLeft, kForegroundFit, &CMosaicPreviewPane::OnMenuCommand),
                                     });
    return &map;
}
