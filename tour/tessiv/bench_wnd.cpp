#include "tour/tessiv/bench_wnd.h"

#include "platform/win/dib.h"
#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "tour/tessiv/tessiv_resources.h"
#include "tour/tessiv/tour_map_settings.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr COLORREF kStripBackground = 0x00808080;
constexpr COLORREF kActiveFrame = 0x000000FF;  // red
constexpr COLORREF kMarkerColour = 0x0000FFFF;  // yellow
constexpr COLORREF kDragFrame = 0x00FFFFFF;

struct GreyHeader {
    BITMAPINFOHEADER header;
    RGBQUAD palette[256];
};

GreyHeader& Grey()
{
    static GreyHeader grey = [] {
        GreyHeader g{};
        g.header.biSize = sizeof(BITMAPINFOHEADER);
        g.header.biPlanes = 1;
        g.header.biCompression = BI_RGB;
        for (int i = 0; i < 256; ++i) {
            const BYTE v = static_cast<BYTE>(i);
            g.palette[i] = RGBQUAD{v, v, v, 0};
        }
        return g;
    }();
    return grey;
}

}  // namespace

BITMAPINFO* TessivBmpInfo(const Image& image)
{
    GreyHeader& g = Grey();
    g.header.biWidth = image.GetWidth();
    g.header.biHeight = -image.GetHeight();
    g.header.biBitCount = image.GetChannels() == 1 ? 8 : 24;
    return reinterpret_cast<BITMAPINFO*>(&g);
}

const unsigned char* TessivDibRows(const Image& image, std::vector<unsigned char>& scratch)
{
    if (!image.GetData() || image.GetWidth() <= 0 || image.GetHeight() <= 0) return nullptr;
    const size_t rowBytes = static_cast<size_t>(image.GetWidth()) * image.GetChannels();
    const size_t padded = (rowBytes + 3) & ~size_t{3};
    if (static_cast<size_t>(image.GetRowByte()) == padded) return image.GetData();
    scratch.assign(padded * image.GetHeight(), 0);
    for (int y = 0; y < image.GetHeight(); ++y)
        std::memcpy(scratch.data() + padded * y, image.GetData() + static_cast<size_t>(image.GetRowByte()) * y,
                    rowBytes);
    return scratch.data();
}

void DrawTessivImage(CDC& dc, const Image& image, const RECT& dest, int srcX, int srcY, int srcWidth, int srcHeight)
{
    const int channels = image.GetChannels();
    if (channels != 1 && channels != 3) return;
    std::vector<unsigned char> scratch;
    const unsigned char* rows = TessivDibRows(image, scratch);
    const int width = dest.right - dest.left, height = dest.bottom - dest.top;
    if (!rows || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return;
    const int oldMode = dc.SetStretchBltMode(width < srcWidth || height < srcHeight ? HALFTONE : COLORONCOLOR);
    StretchDIBits(&dc, dest.left, dest.top, width, height, srcX, srcY, srcWidth, srcHeight, rows,
                  TessivBmpInfo(image), DIB_RGB_COLORS, SRCCOPY);
    dc.SetStretchBltMode(oldMode);
}

BOOL BenchWnd::Create(const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create(nullptr, "", WS_CHILD | WS_VISIBLE | WS_HSCROLL, rect, parent, id);
}

void BenchWnd::SetTour(TourProject* tour)
{
    m_tour = tour;
    UpdateContent();
}

SIZE BenchWnd::ItemSize(int kind, int w, int h, int H)
{
    if (w <= 0 || h <= 0 || H <= 0) return SIZE{0, 0};
    auto flat = [&](int width, int height) -> SIZE {
        const int itemHeight = std::min(128, H);
        return SIZE{itemHeight * width / height, itemHeight};
    };
    auto wide = [&](int width, int height, int limit) -> SIZE {
        const int itemHeight = limit * height / width;
        if (itemHeight > H) return SIZE{H * width / height, H};
        return SIZE{limit, itemHeight};
    };
    switch (kind) {
    case 1:
    case 4:
        return w >= h ? wide(w, h, 128) : flat(w, h);
    case 3:
        w = w * 4 / 6;
        if (w <= 0) return SIZE{0, 0};
        [[fallthrough]];
    case 2:
        return w > 2 * h ? wide(w, h, 256) : flat(w, h);
    default:
        return SIZE{0, 0};
    }
}

POINT BenchWnd::MarkerPoint(SIZE size, float h, float v)
{
    return POINT{static_cast<int>((h + 1.0f) * 0.5f * size.cx + 0.5f),
                 static_cast<int>((v + 1.0f) * 0.5f * size.cy + 0.5f)};
}

int BenchWnd::GetDrawHeight() const
{
    RECT client{};
    GetClientRect(&client);
    return std::max(0, static_cast<int>(client.bottom - client.top) - kBottomMargin);
}

Vista* BenchWnd::VistaAt(int index) const { return m_tour ? m_tour->GetVista(index) : nullptr; }

SIZE BenchWnd::ItemSizeOf(const Vista& vista) const
{
    const RefPtr<Image> thumbnail = RefPtr<Image>::adopt(const_cast<Vista&>(vista).GetShownThumbnail());
    if (!thumbnail) return SIZE{0, 0};
    return ItemSize(vista.GetKind(), thumbnail->GetWidth(), thumbnail->GetHeight(), GetDrawHeight());
}

RECT BenchWnd::GetItemRect(int index) const
{
    const Vista* target = VistaAt(index);
    if (!target) return RECT{};
    RECT client{};
    GetClientRect(&client);
    const int H = GetDrawHeight();
    int x = -m_scroll;
    if (m_tour->GetVistaLimit() == 1) {
        // The single item is centred.
        const SIZE size = ItemSizeOf(*target);
        x = (client.right - size.cx) / 2;
        const int top = (H - size.cy) / 2;
        return RECT{x, top, x + size.cx, top + size.cy};
    }
    for (int i = 0; i < m_tour->GetVistaCount(); ++i) {
        const SIZE size = ItemSizeOf(*VistaAt(i));
        const int slot = std::max<int>(kMinSlotWidth, size.cx);
        if (i == index) {
            const int left = x + (slot - size.cx) / 2;
            const int top = (H - size.cy) / 2;
            return RECT{left, top, left + size.cx, top + size.cy};
        }
        x += slot + kGap;
    }
    return RECT{};
}

int BenchWnd::HitTest(POINT point) const
{
    if (!m_tour || point.y < 0 || point.y >= GetDrawHeight()) return -1;
    for (int i = 0; i < m_tour->GetVistaCount(); ++i) {
        const RECT r = GetItemRect(i);
        if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom) return i;
    }
    return -1;
}

void BenchWnd::UpdateContent()
{
    m_contentWidth = 200;
    m_tallest = 0;
    if (m_tour && m_tour->GetVistaCount() > 0) {
        int width = 0;
        for (int i = 0; i < m_tour->GetVistaCount(); ++i) {
            const SIZE size = ItemSizeOf(*VistaAt(i));
            width += std::max<int>(kMinSlotWidth, size.cx) + (i ? kGap : 0);
            m_tallest = std::max<int>(m_tallest, size.cy);
        }
        m_contentWidth = width;
    }
    if (m_hWnd) {
        RECT client{};
        GetClientRect(&client);
        const int range = std::max(0, m_contentWidth - static_cast<int>(client.right));
        SetScrollRange(SB_HORZ, 0, range, FALSE);
        m_scroll = std::clamp(m_scroll, 0, range);
        SetScrollPos(SB_HORZ, m_scroll, TRUE);
        Invalidate();
    }
}

void BenchWnd::Notify(WPARAM what, LPARAM value)
{
    if (CWnd* parent = GetParent()) parent->SendMessage(kNotify, what, value);
}

void BenchWnd::OnPaint()
{
    CPaintDC dc(this);
    RECT client{};
    GetClientRect(&client);
    dc.FillSolidRect(0, 0, client.right, client.bottom, kStripBackground);
    if (!m_tour) return;
    const Vista* active = m_tour->GetActiveVista();
    for (int i = 0; i < m_tour->GetVistaCount(); ++i) {
        Vista* vista = VistaAt(i);
        const RECT r = GetItemRect(i);
        if (r.right <= r.left || r.right < 0 || r.left > client.right) continue;
        if (const RefPtr<Image> thumbnail = RefPtr<Image>::adopt(vista->GetShownThumbnail()))
            DrawTessivImage(dc, *thumbnail, r, 0, 0, thumbnail->GetWidth(), thumbnail->GetHeight());
        if (vista != active) continue;
        CPen frame(PS_SOLID, 2, kActiveFrame);
        CPen* old = dc.SelectObject(&frame);
        dc.SelectStockObject(NULL_BRUSH);
        dc.Rectangle(r.left - 2, r.top - 2, r.right + 2, r.bottom + 2);
        // The initial-view marker: a cross of arrow marks, 4 pixels off its
        // centre and 10 long.
        POINT m = MarkerPoint(SIZE{r.right - r.left, r.bottom - r.top}, vista->GetInitialViewH(),
                              vista->GetInitialViewV());
        if (m_pressedId == vista->GetId() && m_onMarker) m = m_marker;
        const int x = r.left + m.x, y = r.top + m.y;
        CPen marker(PS_SOLID, 1, kMarkerColour);
        dc.SelectObject(&marker);
        dc.MoveTo(x - 14, y);
        dc.LineTo(x - 4, y);
        dc.MoveTo(x + 4, y);
        dc.LineTo(x + 14, y);
        dc.MoveTo(x, y - 14);
        dc.LineTo(x, y - 4);
        dc.MoveTo(x, y + 4);
        dc.LineTo(x, y + 14);
        dc.SelectObject(old);
    }
    if (m_pressedId && !m_onMarker) {
        CPen drag(PS_DOT, 1, kDragFrame);
        CPen* old = dc.SelectObject(&drag);
        dc.SelectStockObject(NULL_BRUSH);
        dc.Rectangle(m_dragRect);
        dc.SelectObject(old);
    }
}

void BenchWnd::OnLButtonDown(UINT, CPoint point)
{
    SetFocus();
    const int index = HitTest(point);
    m_pressedId = 0;
    m_onMarker = false;
    if (index < 0) return;
    Vista* vista = VistaAt(index);
    const RECT r = GetItemRect(index);
    m_pressedId = vista->GetId();
    m_pressPoint = point;
    m_dragRect = r;
    if (vista == m_tour->GetActiveVista()) {
        const POINT m = MarkerPoint(SIZE{r.right - r.left, r.bottom - r.top}, vista->GetInitialViewH(),
                                    vista->GetInitialViewV());
        if (std::abs(point.x - (r.left + m.x)) <= kMarkerReach && std::abs(point.y - (r.top + m.y)) <= kMarkerReach) {
            m_onMarker = true;
            m_marker = m;
            m_markerStart = m;
        }
    }
    SetCapture();
}

void BenchWnd::OnMouseMove(UINT, CPoint point)
{
    if (!m_pressedId) return;
    const int index = m_tour->GetVistaIndex(m_pressedId);
    if (index < 0) return;
    if (m_onMarker) {
        const RECT r = GetItemRect(index);
        m_marker.x = std::clamp(static_cast<int>(point.x - r.left), 0, static_cast<int>(r.right - r.left));
        m_marker.y = std::clamp(static_cast<int>(point.y - r.top), 0, static_cast<int>(r.bottom - r.top));
    } else {
        const RECT start = GetItemRect(index);
        const int dx = point.x - m_pressPoint.x, dy = point.y - m_pressPoint.y;
        m_dragRect = RECT{start.left + dx, start.top + dy, start.right + dx, start.bottom + dy};
    }
    const bool inside = point.y >= 0 && point.y < GetDrawHeight();
    if (inside) {
        SetCursor(LoadStandardCursor(IDC_ARROW));
    } else {
        win::ModuleScope scope(TessivResources());
        SetCursor(LoadResourceCursor(kOutsideCursor));
    }
    Invalidate(FALSE);
}

void BenchWnd::EndDrag()
{
    m_pressedId = 0;
    m_onMarker = false;
    if (CWnd::GetCapture() == this) ReleaseCapture();
}

void BenchWnd::OnLButtonUp(UINT, CPoint point)
{
    if (!m_pressedId || !m_tour) {
        EndDrag();
        return;
    }
    const int from = m_tour->GetVistaIndex(m_pressedId);
    Vista* vista = VistaAt(from);
    const bool marker = m_onMarker;
    const POINT markerAt = m_marker;
    const POINT markerStart = m_markerStart;
    EndDrag();
    if (!vista) return;

    if (marker) {
        if (markerAt.x == markerStart.x && markerAt.y == markerStart.y) {
            Invalidate();
            return;  // released where it started
        }
        const RECT r = GetItemRect(from);
        const int w = r.right - r.left, h = r.bottom - r.top;
        float hv[2] = {w > 0 ? 2.0f * markerAt.x / w - 1.0f : 0.0f, h > 0 ? 2.0f * markerAt.y / h - 1.0f : 0.0f};
        if (hv[0] != vista->GetInitialViewH() || hv[1] != vista->GetInitialViewV()) {
            vista->SetInitialView(hv[0], hv[1]);
            m_tour->MarkChanged();
            // Every map's compass of the vista starts where the vista does.
            TourMapSettings& tourMap = m_tour->GetTourMap();
            for (int j = 0; j < tourMap.GetMapCount(); ++j)
                if (TourMap* map = tourMap.GetMap(j))
                    if (TourCompass* compass = map->FindCompass(vista)) compass->view = hv[0];
            Notify(1, reinterpret_cast<LPARAM>(hv));
        }
        Invalidate();
        return;
    }

    const int to = HitTest(point);
    bool changed = false;
    if (to == from) {
        if (m_tour->SetActiveVista(vista)) {
            Invalidate();
            Notify(0);
        }
        return;
    }
    if (to >= 0) {
        changed = m_tour->MoveVista(from, to);
    } else if (point.y < 0 || point.y >= GetDrawHeight()) {
        changed = m_tour->RemoveVista(from);
    }
    if (changed) {
        UpdateContent();
        Notify(2);
    } else {
        Invalidate();
    }
}

void BenchWnd::OnRButtonDown(UINT, CPoint point)
{
    const int index = HitTest(point);
    if (index < 0 || m_tour->GetVistaCount() < 2) return;
    m_menuVistaId = VistaAt(index)->GetId();
    win::ModuleScope scope(TessivResources());
    CMenu menu;
    if (!menu.LoadMenu(kPopupMenu)) return;
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup) return;
    POINT screen = point;
    ClientToScreen(&screen);
    popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, this);
}

BOOL BenchWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    if (id < kMoveBeforeActive || id > kMoveToLeft || !m_tour) return CWnd::OnCommand(wParam, lParam);
    const int from = m_tour->GetVistaIndex(m_menuVistaId);
    const int active = m_tour->GetVistaIndex(m_tour->GetActiveVistaId());
    int to = -1;
    switch (id) {
    case kMoveBeforeActive: to = active - 1; break;
    case kMoveAfterActive: to = active + 1; break;
    case kMoveToLeft: to = 0; break;
    case kMoveToRight: to = m_tour->GetVistaCount() - 1; break;
    default: break;
    }
    if (from >= 0 && active >= 0 && m_tour->MoveVista(from, to)) {
        UpdateContent();
        Notify(2);
    }
    return TRUE;
}

void BenchWnd::OnHScroll(UINT code, UINT pos, CWnd*)
{
    RECT client{};
    GetClientRect(&client);
    const int range = std::max(0, m_contentWidth - static_cast<int>(client.right));
    int next = m_scroll;
    switch (code) {
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: next = static_cast<int>(pos); break;
    case SB_LINELEFT: next -= 20; break;
    case SB_LINERIGHT: next += 20; break;
    case SB_PAGELEFT: next -= client.right; break;
    case SB_PAGERIGHT: next += client.right; break;
    default: break;
    }
    next = std::clamp(next, 0, range);
    if (next == m_scroll) return;
    m_scroll = next;
    SetScrollPos(SB_HORZ, m_scroll, TRUE);
    Invalidate();
}
