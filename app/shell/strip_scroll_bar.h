// The thin scroll bar along the bottom of an image strip: a coloured thumb
// that a press beside it moves by 10 pixels and a drag moves with the
// pointer; every change goes to the strip as WM_HSCROLL with the row
// position in the high word.
#pragma once

#include "platform/win/wnd.h"

#include <cstdint>

class StripScrollBar : public CWnd {
public:
    static constexpr UINT kId = 123;
    static constexpr int kHeight = 7;
    static constexpr int kStep = 10;

    explicit StripScrollBar(CWnd* strip) : m_strip(strip) {}

    // The strip's row width changed: thumb length, scale and position.
    void SetRowWidth(int rowWidth);
    int GetThumbPos() const { return m_thumbPos; }
    int GetThumbLength() const { return m_thumbLength; }
    float GetScale() const { return m_scale; }

    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;

private:
    int ClientWidth() const;
    void MoveThumbTo(int position);

    int32_t m_thumbPos = 0;
    int32_t m_thumbLength = 100;
    int32_t m_range = 0;  // the row width
    float m_scale = 1.0f;  // thumb pixels per row pixel
    CWnd* m_strip;
    bool m_dragging = false;
    int32_t m_dragX = 0;
};
