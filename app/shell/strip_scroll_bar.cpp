#include "app/shell/strip_scroll_bar.h"

#include "platform/win/window_dc.h"

#include <algorithm>
#include <cmath>

namespace {
const COLORREF kBackground = RGB(210, 218, 250);
const COLORREF kThumb = RGB(180, 255, 120);
}  // namespace

int StripScrollBar::ClientWidth() const
{
    RECT r{};
    GetClientRect(&r);
    return r.right - r.left;
}

void StripScrollBar::SetRowWidth(int rowWidth)
{
    const int w = ClientWidth();
    m_range = rowWidth;
    if (w <= 0) return;
    if (rowWidth > w + m_thumbLength) {
        const float scale = static_cast<float>(w) / rowWidth;
        m_thumbPos = static_cast<int32_t>(std::lround(m_thumbPos / m_scale * scale));
        m_scale = scale;
        m_thumbLength = static_cast<int32_t>(std::lround(static_cast<double>(w) * w / rowWidth));
    } else if (rowWidth > w) {
        // Too little to scroll for a scaled thumb: one row pixel a thumb
        // pixel, the thumb at the row's end.
        m_scale = 1.0f;
        m_thumbLength = 2 * w - rowWidth;
        m_thumbPos = rowWidth - w;
    } else {
        m_scale = 1.0f;
        m_thumbLength = w;
        m_thumbPos = 0;
    }
    m_thumbPos = std::clamp(m_thumbPos, 0, std::max(0, w - m_thumbLength));
    Invalidate();
}

void StripScrollBar::MoveThumbTo(int position)
{
    const int clamped = std::clamp(position, 0, std::max(0, ClientWidth() - m_thumbLength));
    if (clamped == m_thumbPos) return;
    m_thumbPos = clamped;
    Invalidate();
    if (m_strip) {
        const auto rowPosition = static_cast<unsigned>(std::lround(m_thumbPos / m_scale));
        m_strip->SendMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, rowPosition),
                             reinterpret_cast<LPARAM>(m_hWnd));
    }
}

void StripScrollBar::OnPaint()
{
    CPaintDC dc(this);
    RECT r{};
    GetClientRect(&r);
    dc.FillSolidRect(0, 0, r.right, r.bottom, kBackground);
    dc.FillSolidRect(m_thumbPos, 3 - kHeight / 2, m_thumbLength, kHeight, kThumb);
}

BOOL StripScrollBar::OnEraseBkgnd(CDC* /*dc*/)
{
    return TRUE;
}

void StripScrollBar::OnLButtonDown(UINT /*flags*/, CPoint point)
{
    if (point.x < m_thumbPos) {
        MoveThumbTo(m_thumbPos - kStep);
    } else if (point.x > m_thumbPos + m_thumbLength) {
        MoveThumbTo(m_thumbPos + kStep);
    } else {
        m_dragging = true;
        m_dragX = point.x;
        SetCapture();
    }
}

void StripScrollBar::OnMouseMove(UINT /*flags*/, CPoint point)
{
    if (!m_dragging) return;
    const int dx = point.x - m_dragX;
    m_dragX = point.x;
    MoveThumbTo(m_thumbPos + dx);
}

void StripScrollBar::OnLButtonUp(UINT /*flags*/, CPoint /*point*/)
{
    if (!m_dragging) return;
    m_dragging = false;
    ReleaseCapture();
}

BOOL StripScrollBar::OnMouseWheel(UINT /*flags*/, short /*delta*/, CPoint /*point*/)
{
    return TRUE;
}
