// The device context's mapping modes, clip box, rectangle helpers, text in
// a rectangle and device capabilities (the drawing primitives are in
// gdi.cpp, the blits and bitmaps in dib.cpp).
#include "platform/win/gdi.h"

#include "imaging/image.h"
#include "platform/win/system.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// round(a * b / c), half away from zero, without overflow.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c)
{
    if (c == 0) return 0;
    const __int128 num = static_cast<__int128>(a) * b;
    const __int128 n = num < 0 ? -num : num;
    const __int128 d = c < 0 ? -static_cast<__int128>(c) : static_cast<__int128>(c);
    const __int128 q = (n + d / 2) / d;
    return static_cast<int64_t>(((num < 0) != (c < 0)) ? -q : q);
}

int Sign(int v)
{
    return v < 0 ? -1 : 1;
}

}  // namespace

POINT CDC::OffsetViewportOrg(int dx, int dy)
{
    return SetViewportOrg(m_viewportOrg.x + dx, m_viewportOrg.y + dy);
}

int CDC::SetMapMode(int mode)
{
    if (mode != MM_TEXT && mode != MM_ISOTROPIC && mode != MM_ANISOTROPIC) return 0;
    Record("SetMapMode", {mode});
    const int old = std::exchange(m_mapMode, mode);
    if (mode == MM_TEXT) {
        m_windowExt = SIZE{1, 1};
        m_viewportExt = SIZE{1, 1};
    }
    return old;
}

SIZE CDC::SetWindowExt(int cx, int cy)
{
    const SIZE old = m_windowExt;
    if (m_mapMode == MM_TEXT || cx == 0 || cy == 0) return old;
    Record("SetWindowExt", {cx, cy});
    m_windowExt = SIZE{cx, cy};
    return old;
}

SIZE CDC::SetViewportExt(int cx, int cy)
{
    const SIZE old = GetViewportExt();
    if (m_mapMode == MM_TEXT || cx == 0 || cy == 0) return old;
    Record("SetViewportExt", {cx, cy});
    m_viewportExt = SIZE{cx, cy};
    return old;
}

SIZE CDC::GetViewportExt() const
{
    if (m_mapMode != MM_ISOTROPIC) return m_viewportExt;
    // Equal units on both axes: the axis that would be stretched more gives
    // way, keeping its sign.
    const int64_t vx = std::abs(int64_t{m_viewportExt.cx}), vy = std::abs(int64_t{m_viewportExt.cy});
    const int64_t wx = std::abs(int64_t{m_windowExt.cx}), wy = std::abs(int64_t{m_windowExt.cy});
    SIZE out = m_viewportExt;
    if (vx * wy > vy * wx) out.cx = static_cast<int>(Sign(m_viewportExt.cx) * MulDivRound(wx, vy, wy));
    else if (vx * wy < vy * wx) out.cy = static_cast<int>(Sign(m_viewportExt.cy) * MulDivRound(wy, vx, wx));
    return out;
}

POINT CDC::SetWindowOrg(int x, int y)
{
    Record("SetWindowOrg", {x, y});
    return std::exchange(m_windowOrg, POINT{x, y});
}

int64_t CDC::TargetX(int64_t x) const
{
    int64_t d = x - m_windowOrg.x;
    if (m_mapMode != MM_TEXT) d = MulDivRound(d, GetViewportExt().cx, m_windowExt.cx);
    return d + m_viewportOrg.x + m_deviceOrigin.x;
}

int64_t CDC::TargetY(int64_t y) const
{
    int64_t d = y - m_windowOrg.y;
    if (m_mapMode != MM_TEXT) d = MulDivRound(d, GetViewportExt().cy, m_windowExt.cy);
    return d + m_viewportOrg.y + m_deviceOrigin.y;
}

void CDC::LPtoDP(POINT* points, int count) const
{
    for (int i = 0; points && i < count; ++i) {
        points[i].x = static_cast<int32_t>(TargetX(points[i].x) - m_deviceOrigin.x);
        points[i].y = static_cast<int32_t>(TargetY(points[i].y) - m_deviceOrigin.y);
    }
}

void CDC::LPtoDP(RECT* rect) const
{
    if (rect) LPtoDP(reinterpret_cast<POINT*>(rect), 2);
}

void CDC::DPtoLP(POINT* points, int count) const
{
    const SIZE ve = GetViewportExt();
    for (int i = 0; points && i < count; ++i) {
        int64_t x = int64_t{points[i].x} - m_viewportOrg.x;
        int64_t y = int64_t{points[i].y} - m_viewportOrg.y;
        if (m_mapMode != MM_TEXT) {
            x = MulDivRound(x, m_windowExt.cx, ve.cx);
            y = MulDivRound(y, m_windowExt.cy, ve.cy);
        }
        points[i].x = static_cast<int32_t>(x + m_windowOrg.x);
        points[i].y = static_cast<int32_t>(y + m_windowOrg.y);
    }
}

void CDC::DPtoLP(RECT* rect) const
{
    if (rect) DPtoLP(reinterpret_cast<POINT*>(rect), 2);
}

// ---- clipping ---------------------------------------------------------------

void CDC::SetDeviceClip(const RECT* targetRect)
{
    m_hasDeviceClip = targetRect != nullptr;
    if (targetRect) m_deviceClip = *targetRect;
    ResetClip();
}

void CDC::ResetClip()
{
    m_hasClip = m_hasDeviceClip;
    m_clip = m_deviceClip;
}

int CDC::IntersectClipRect(int left, int top, int right, int bottom)
{
    Record("IntersectClipRect", {left, top, right, bottom});
    int64_t l = TargetX(left), r = TargetX(right), t = TargetY(top), b = TargetY(bottom);
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    RECT current = m_hasClip ? m_clip : RECT{0, 0, m_pixels.width, m_pixels.height};
    current.left = static_cast<int32_t>(std::max<int64_t>(current.left, l));
    current.top = static_cast<int32_t>(std::max<int64_t>(current.top, t));
    current.right = static_cast<int32_t>(std::min<int64_t>(current.right, r));
    current.bottom = static_cast<int32_t>(std::min<int64_t>(current.bottom, b));
    if (current.right < current.left) current.right = current.left;
    if (current.bottom < current.top) current.bottom = current.top;
    m_clip = current;
    m_hasClip = true;
    return (current.right > current.left && current.bottom > current.top) ? SIMPLEREGION : NULLREGION;
}

int CDC::GetClipBox(RECT* rect) const
{
    const RECT box = m_hasClip ? m_clip : RECT{0, 0, m_pixels.width, m_pixels.height};
    if (rect) {
        RECT out{static_cast<int32_t>(box.left - m_deviceOrigin.x), static_cast<int32_t>(box.top - m_deviceOrigin.y),
                 static_cast<int32_t>(box.right - m_deviceOrigin.x), static_cast<int32_t>(box.bottom - m_deviceOrigin.y)};
        DPtoLP(&out);
        if (out.right < out.left) std::swap(out.left, out.right);
        if (out.bottom < out.top) std::swap(out.top, out.bottom);
        *rect = out;
    }
    return (box.right > box.left && box.bottom > box.top) ? SIMPLEREGION : NULLREGION;
}

// ---- rectangles -------------------------------------------------------------

void CDC::FillRect(const RECT* rect, CBrush* brush)
{
    if (!rect || !brush || brush->IsHollow()) return;
    FillSolidRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, brush->GetColor());
}

void CDC::FrameRect(const RECT* rect, CBrush* brush)
{
    if (!rect || !brush || brush->IsHollow()) return;
    const int w = rect->right - rect->left, h = rect->bottom - rect->top;
    if (w <= 0 || h <= 0) return;
    const COLORREF c = brush->GetColor();
    FillSolidRect(rect->left, rect->top, w, 1, c);
    FillSolidRect(rect->left, rect->bottom - 1, w, 1, c);
    FillSolidRect(rect->left, rect->top, 1, h, c);
    FillSolidRect(rect->right - 1, rect->top, 1, h, c);
}

void CDC::Draw3dRect(const RECT* rect, COLORREF topLeft, COLORREF bottomRight)
{
    if (rect) Draw3dRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, topLeft, bottomRight);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight)
{
    // Top and left edges in one colour, bottom and right in the other; the
    // two corners where they meet belong to the second.
    FillSolidRect(x, y, cx - 1, 1, topLeft);
    FillSolidRect(x, y, 1, cy - 1, topLeft);
    FillSolidRect(x + cx - 1, y, 1, cy, bottomRight);
    FillSolidRect(x, y + cy - 1, cx, 1, bottomRight);
}

void CDC::InvertRect(const RECT* rect)
{
    if (!rect) return;
    Record("InvertRect", {rect->left, rect->top, rect->right, rect->bottom});
    for (int64_t y = TargetY(rect->top); y < TargetY(rect->bottom); ++y) {
        if (y < 0 || y >= m_pixels.height) continue;
        for (int64_t x = TargetX(rect->left); x < TargetX(rect->right); ++x) {
            if (x >= 0 && x < m_pixels.width) BlendTarget(x, y, 0, DSTINVERT);
        }
    }
}

void CDC::DrawFocusRect(const RECT* rect)
{
    if (!rect) return;
    Record("DrawFocusRect", {rect->left, rect->top, rect->right, rect->bottom});
    // Every other pixel of the outline inverted: drawing it twice erases it.
    const int64_t l = TargetX(rect->left), r = TargetX(rect->right) - 1;
    const int64_t t = TargetY(rect->top), b = TargetY(rect->bottom) - 1;
    if (r < l || b < t) return;
    std::vector<std::pair<int64_t, int64_t>> outline;
    for (int64_t x = l; x <= r; ++x) {
        outline.emplace_back(x, t);
        if (b != t) outline.emplace_back(x, b);
    }
    for (int64_t y = t + 1; y < b; ++y) {
        outline.emplace_back(l, y);
        if (r != l) outline.emplace_back(r, y);
    }
    for (const auto& [x, y] : outline) {
        if (((x - l) + (y - t)) % 2 == 0) BlendTarget(x, y, 0, DSTINVERT);
    }
}

int CDC::DrawText(const std::string& text, RECT* rect, UINT format)
{
    if (!rect) return 0;
    Record("DrawText", {rect->left, rect->top, rect->right, rect->bottom, format}, text);
    const SIZE extent = GetTextExtent(text);
    if (format & DT_CALCRECT) {
        rect->right = rect->left + extent.cx;
        rect->bottom = rect->top + extent.cy;
        return extent.cy;
    }
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (rect->right - rect->left - extent.cx) / 2;
    else if (format & DT_RIGHT) x = rect->right - extent.cx;
    int y = rect->top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) y = rect->top + (rect->bottom - rect->top - extent.cy) / 2;
    else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) y = rect->bottom - extent.cy;
    const bool clip = !(format & DT_NOCLIP);
    const bool hadClip = m_hasClip;
    const RECT savedClip = m_clip;
    if (clip) IntersectClipRect(rect);
    const bool recording = m_recording;
    m_recording = false;  // one record for the whole call
    TextOut(x, y, text);
    m_recording = recording;
    if (clip) {
        m_hasClip = hadClip;
        m_clip = savedClip;
    }
    return extent.cy;
}

// ---- capabilities and printing ------------------------------------------------

int CDC::GetDeviceCaps(int index) const
{
    const bool window = !m_memory;
    const int width = window ? ::GetSystemMetrics(SM_CXSCREEN) : m_pixels.width;
    const int height = window ? ::GetSystemMetrics(SM_CYSCREEN) : m_pixels.height;
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return m_dotsPerInch;
    case HORZRES:
    case PHYSICALWIDTH: return width;
    case VERTRES:
    case PHYSICALHEIGHT: return height;
    case PHYSICALOFFSETX:
    case PHYSICALOFFSETY: return 0;
    case HORZSIZE: return static_cast<int>(width * 254 / (10 * std::max(1, m_dotsPerInch)));
    case VERTSIZE: return static_cast<int>(height * 254 / (10 * std::max(1, m_dotsPerInch)));
    case BITSPIXEL: return m_pixels.channels == 1 ? 8 : (m_pixels.channels == 3 ? 24 : 32);
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT | RC_STRETCHDIB | RC_DI_BITMAP;
    default: return 0;
    }
}

int CDC::StartDoc(const char*)
{
    return -1;
}

int CDC::StartPage()
{
    return -1;
}

int CDC::EndPage()
{
    return -1;
}

int CDC::EndDoc()
{
    return -1;
}

int CDC::AbortDoc()
{
    return -1;
}
