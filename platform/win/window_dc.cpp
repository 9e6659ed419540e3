#include "platform/win/window_dc.h"

#include "imaging/image.h"
#include "platform/win/frame_wnd.h"
#include "platform/win/message_queue.h"
#include "platform/win/system.h"
#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <algorithm>
#include <cstring>

namespace win {

namespace {

WindowSystem& System()
{
    return WindowSystem::Get();
}

// Position of a window's client corner (or window corner) on the surface of
// its top level.
POINT OnSurface(HWND hwnd, bool wholeWindow)
{
    const HWND top = System().TopLevelOf(hwnd);
    const POINT topOrigin = System().ClientOriginScreen(top);
    POINT p;
    if (wholeWindow) {
        const RECT r = System().WindowRectScreen(hwnd);
        p = POINT{r.left, r.top};
    } else {
        p = System().ClientOriginScreen(hwnd);
    }
    return POINT{p.x - topOrigin.x, p.y - topOrigin.y};
}

// The part of the surface a window may paint: its own area within each
// ancestor's client area.
CRect SurfaceClip(HWND hwnd, bool wholeWindow, int width, int height)
{
    CRect clip(0, 0, width, height);
    const POINT o = OnSurface(hwnd, wholeWindow);
    const RECT own = wholeWindow ? System().WindowRectScreen(hwnd) : System().ClientRect(hwnd);
    const CRect area = wholeWindow ? CRect(o.x, o.y, o.x + own.right - own.left, o.y + own.bottom - own.top)
                                   : CRect(o.x, o.y, o.x + own.right, o.y + own.bottom);
    clip.IntersectRect(clip, area);
    for (WindowData* w = System().Find(hwnd); w && w->parent; w = System().Find(w->parent)) {
        const POINT po = OnSurface(w->parent, false);
        const RECT pc = System().ClientRect(w->parent);
        clip.IntersectRect(clip, CRect(po.x, po.y, po.x + pc.right, po.y + pc.bottom));
    }
    return clip;
}

bool Overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// What covers a window must repaint after it: its children, and at every
// level the overlapping siblings above.
void MarkCovering(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    if (!w) return;
    for (HWND child : w->children) System().Invalidate(child, nullptr, true, true);
    for (HWND h = hwnd; h;) {
        WindowData* d = System().Find(h);
        if (!d || !d->parent) break;
        const std::vector<HWND> siblings = System().Children(d->parent);
        for (HWND s : siblings) {
            if (s == h) break;  // the rest lie below
            WindowData* sd = System().Find(s);
            if (sd && (sd->style & WS_VISIBLE) && Overlap(sd->rect, d->rect)) System().Invalidate(s, nullptr, true, true);
        }
        h = d->parent;
    }
}

bool IsActiveMdiChild(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    if (!w || !w->parent) return false;
    WindowData* client = System().Find(w->parent);
    if (!client || client->windowClass->name != "MDIClient") return false;
    auto* frame = dynamic_cast<CMDIFrameWnd*>(CWnd::FromHandle(client->parent));
    CMDIChildWnd* active = frame ? frame->MDIGetActive() : nullptr;
    return active && active->m_hWnd == hwnd;
}

void PaintScrollBar(CDC& dc, const ScrollBarState& s, const CRect& track, bool vertical)
{
    dc.FillSolidRect(track.left, track.top, track.Width(), track.Height(), GetSysColor(COLOR_SCROLLBAR));
    const int length = vertical ? track.Height() : track.Width();
    const int64_t range = int64_t{s.max} - s.min + 1;
    if (range <= 0 || length <= 0) return;
    const int64_t page = s.page ? s.page : 1;
    const int thumb = static_cast<int>(std::clamp<int64_t>(length * page / range, 8, length));
    const int64_t travel = std::max<int64_t>(1, range - page);
    const int at = static_cast<int>((length - thumb) * std::clamp<int64_t>(s.pos - s.min, 0, travel) / travel);
    const CRect t = vertical ? CRect(track.left, track.top + at, track.right, track.top + at + thumb)
                             : CRect(track.left + at, track.top, track.left + at + thumb, track.bottom);
    dc.FillSolidRect(t.left, t.top, t.Width(), t.Height(), GetSysColor(COLOR_BTNFACE));
    dc.Draw3dRect(&t, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
}

// The frame of a child window: border, caption and scroll bars, drawn on
// its parent's part of the surface.
void PaintNonClient(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    if (!w || !w->parent) return;
    const RECT in = System().NonClientInsets(*w);
    if (in.left == 0 && in.top == 0 && in.right == 0 && in.bottom == 0) return;
    CDC dc;
    if (!PrepareWindowDC(dc, hwnd, true)) return;
    const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    const CRect all(0, 0, width, height);
    int border = 0;
    if (w->style & WS_THICKFRAME) border = kFrameBorder;
    else if ((w->style & WS_DLGFRAME) || (w->exStyle & WS_EX_DLGMODALFRAME)) border = kDialogFrameBorder;
    else if (w->style & WS_BORDER) border = 1;
    if (border == 1) {
        dc.Draw3dRect(&all, GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOWTEXT));
    } else if (border > 1) {
        dc.FillSolidRect(0, 0, width, border, GetSysColor(COLOR_BTNFACE));
        dc.FillSolidRect(0, height - border, width, border, GetSysColor(COLOR_BTNFACE));
        dc.FillSolidRect(0, 0, border, height, GetSysColor(COLOR_BTNFACE));
        dc.FillSolidRect(width - border, 0, border, height, GetSysColor(COLOR_BTNFACE));
        dc.Draw3dRect(&all, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_3DDKSHADOW));
    }
    if (w->exStyle & WS_EX_CLIENTEDGE) {
        CRect edge(border, border, width - border, height - border);
        dc.Draw3dRect(&edge, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
        edge.DeflateRect(1, 1);
        dc.Draw3dRect(&edge, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_BTNFACE));
    }
    if ((w->style & WS_CAPTION) == WS_CAPTION) {
        const bool active = IsActiveMdiChild(hwnd);
        CRect caption(border, border, width - border, border + kCaptionHeight);
        dc.FillSolidRect(caption.left, caption.top, caption.Width(), caption.Height(),
                         active ? GetSysColor(COLOR_HIGHLIGHT) : GetSysColor(COLOR_BTNSHADOW));
        dc.SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
        dc.SetBkMode(TRANSPARENT);
        caption.left += 4;
        dc.DrawText(w->text, &caption, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    const int clientRight = width - in.right + ((w->style & WS_VSCROLL) ? kScrollBarThickness : 0);
    const int clientBottom = height - in.bottom + ((w->style & WS_HSCROLL) ? kScrollBarThickness : 0);
    if (w->style & WS_VSCROLL)
        PaintScrollBar(dc, w->scroll[SB_VERT], CRect(clientRight - kScrollBarThickness, in.top, clientRight, height - in.bottom), true);
    if (w->style & WS_HSCROLL)
        PaintScrollBar(dc, w->scroll[SB_HORZ], CRect(in.left, clientBottom - kScrollBarThickness, width - in.right, clientBottom), false);
}

}  // namespace

bool WindowSurface(HWND topLevel, SurfaceView& view)
{
    WindowData* w = System().Find(topLevel);
    if (!w || w->parent) return false;
    const RECT client = System().ClientRect(topLevel);
    const int width = std::max(1, static_cast<int>(client.right)), height = std::max(1, static_cast<int>(client.bottom));
    if (!w->surface || w->surfaceWidth != width || w->surfaceHeight != height) {
        // A new size loses the picture: everything paints again.
        w->surface = std::make_shared<std::vector<unsigned char>>(static_cast<size_t>(width) * height * 4, 0);
        w->surfaceWidth = width;
        w->surfaceHeight = height;
        ++w->surfaceVersion;
        System().Invalidate(topLevel, nullptr, true, true);
    }
    view = SurfaceView{w->surface->data(), width, height, width * 4, w->surfaceVersion};
    return true;
}

bool PrepareWindowDC(CDC& dc, HWND hwnd, bool wholeWindow)
{
    const HWND top = System().TopLevelOf(hwnd);
    WindowData* t = System().Find(top);
    if (!t) return false;
    SurfaceView view;
    if (!WindowSurface(top, view)) return false;
    if (!dc.AttachPixels(t->surface, view.data, view.width, view.height, view.rowBytes, 4)) return false;
    dc.SetDeviceOrigin(OnSurface(hwnd, wholeWindow));
    const CRect clip = SurfaceClip(hwnd, wholeWindow, view.width, view.height);
    dc.SetDeviceClip(&clip);
    return true;
}

void BeginPaintOn(CDC& dc, HWND hwnd, PAINTSTRUCT& paint)
{
    paint = PAINTSTRUCT{&dc, FALSE, RECT{0, 0, 0, 0}};
    WindowData* w = System().Find(hwnd);
    if (!w) return;
    MarkCovering(hwnd);
    PaintNonClient(hwnd);
    PrepareWindowDC(dc, hwnd, false);
    w = System().Find(hwnd);
    if (!w) return;
    const RECT client = System().ClientRect(hwnd);
    const RECT update = w->invalid ? w->updateRect : client;
    const bool erase = w->eraseBackground;
    System().Validate(hwnd, nullptr);
    dc.IntersectClipRect(&update);
    paint.rcPaint = update;
    if (erase) paint.fErase = ::SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 0) ? FALSE : TRUE;
    if (WindowData* t = System().Find(System().TopLevelOf(hwnd))) ++t->surfaceVersion;
}

void EndPaintOn(HWND hwnd)
{
    if (WindowData* t = System().Find(System().TopLevelOf(hwnd))) ++t->surfaceVersion;
}

// Called for WM_PAINT by the default procedure: a control paints itself,
// anything else only its background.
void DefaultPaint(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    if (!w || !w->invalid) return;
    CDC dc;
    PAINTSTRUCT paint;
    BeginPaintOn(dc, hwnd, paint);
    w = System().Find(hwnd);
    if (w && w->model) w->model->Paint(*w, dc);
    EndPaintOn(hwnd);
}

void PaintWindowBackground(HWND hwnd, CDC* dc)
{
    WindowData* w = System().Find(hwnd);
    if (!w || !dc || w->windowClass->backgroundColor < 0) return;
    // A group box is a frame around its neighbours: erasing its inside would
    // paint over the controls it groups.
    if (w->windowClass->name == "Button" && (w->style & BS_TYPEMASK) == BS_GROUPBOX) return;
    const RECT client = System().ClientRect(hwnd);
    dc->FillSolidRect(0, 0, client.right, client.bottom, GetSysColor(w->windowClass->backgroundColor));
}

void ApplyClassCursor(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    if (w) ::SetCursor(::LoadStandardCursor(w->windowClass->cursor));
}

void ApplyScrollOrigin(CDC* dc, POINT scroll)
{
    if (dc) dc->SetViewportOrg(-scroll.x, -scroll.y);
}

Image* CaptureWindow(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    if (!w) return nullptr;
    SurfaceView view;
    if (!WindowSurface(System().TopLevelOf(hwnd), view)) return nullptr;
    const POINT o = OnSurface(hwnd, false);
    const RECT client = System().ClientRect(hwnd);
    auto* image = new Image(std::max(1, static_cast<int>(client.right)), std::max(1, static_cast<int>(client.bottom)), 3);
    for (int y = 0; y < image->GetHeight(); ++y) {
        unsigned char* out = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < image->GetWidth(); ++x) {
            const int sx = o.x + x, sy = o.y + y;
            if (sx < 0 || sy < 0 || sx >= view.width || sy >= view.height) continue;
            const unsigned char* p = view.data + static_cast<size_t>(sy) * view.rowBytes + static_cast<size_t>(sx) * 4;
            std::memcpy(out + x * 3, p, 3);
        }
    }
    return image;
}

void PaintAll()
{
    for (int guard = 0; guard < 100000; ++guard) {
        const HWND h = System().NextWindowToPaint();
        if (!h) return;
        MSG msg{h, WM_PAINT, 0, 0, 0, POINT{0, 0}};
        MessageQueue::Get().Dispatch(msg);
    }
}

}  // namespace win

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint)
{
    if (!paint || !::IsWindow(hwnd)) return nullptr;
    auto* dc = new CDC();
    win::BeginPaintOn(*dc, hwnd, *paint);
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint)
{
    win::EndPaintOn(hwnd);
    if (paint) delete paint->hdc;
    return TRUE;
}

HDC GetDC(HWND hwnd)
{
    auto* dc = new CDC();
    if (!win::PrepareWindowDC(*dc, hwnd, false)) {
        delete dc;
        return nullptr;
    }
    return dc;
}

int ReleaseDC(HWND hwnd, HDC dc)
{
    if (!dc) return 0;
    win::EndPaintOn(hwnd);
    delete dc;
    return 1;
}

CClientDC::CClientDC(CWnd* window) : m_pWnd(window)
{
    if (window) win::PrepareWindowDC(*this, window->m_hWnd, false);
}

CClientDC::~CClientDC()
{
    // What was drawn shows on the next presentation.
    if (m_pWnd) win::EndPaintOn(m_pWnd->m_hWnd);
}

CWindowDC::CWindowDC(CWnd* window) : m_pWnd(window)
{
    if (window) win::PrepareWindowDC(*this, window->m_hWnd, true);
}

CWindowDC::~CWindowDC()
{
    if (m_pWnd) win::EndPaintOn(m_pWnd->m_hWnd);
}

CPaintDC::CPaintDC(CWnd* window) : m_pWnd(window), m_hwnd(window ? window->m_hWnd : nullptr)
{
    win::BeginPaintOn(*this, m_hwnd, m_ps);
}

CPaintDC::~CPaintDC()
{
    win::EndPaintOn(m_hwnd);
}

CDC* CWnd::GetDC()
{
    return new CClientDC(this);
}

int CWnd::ReleaseDC(CDC* dc)
{
    if (!dc) return 0;
    win::EndPaintOn(m_hWnd);
    delete dc;
    return 1;
}
