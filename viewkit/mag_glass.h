// The magnifying glass of the pair-marker views: a 96 x 96 borderless child
// window that follows the cursor and shows the 48 x 48 pixels around it at
// twice their size with a white cross. It keeps a 240 x 240 capture of the
// view around the cursor and, as the cursor moves, scrolls the capture in
// memory and reads back only the newly exposed strips.
#pragma once

#include "platform/win/dib.h"
#include "platform/win/wnd.h"

#include <cstdint>

class CMagGlass : public CWnd {
public:
    static constexpr int kCaptureSize = 240;
    static constexpr int kWindowSize = 96;
    static constexpr int kCaptureRowBytes = kCaptureSize * 4;

    CMagGlass();
    ~CMagGlass() override;
    CMagGlass(const CMagGlass&) = delete;
    CMagGlass& operator=(const CMagGlass&) = delete;

    int Init(int x, int y);
    bool Update(CDC* dc);
    void EnableUpdate();
    void Display(CDC* dc, int x, int y, int limitX, int limitY);
    void SendParentMessage(UINT message, UINT flags, CPoint& point);

    // The capture: 240 rows of 240 B, G, R, unused pixels, top-down.
    const unsigned char* GetCaptureBits() const { return m_captureBits; }
    // The mask: 240 rows of 1-bit pixels, all set.
    const unsigned char* GetMaskBits() const { return m_maskBits; }
    int GetUpdateState() const { return m_updateState; }
    int GetQuadrant() const { return m_quadrant; }

    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    BOOL OnEraseBkgnd(CDC* dc) override;

protected:
    void DrawCenter(CDC* dc);

private:
    // Reads a rectangle of the capture (capture coordinates) from the view
    // whose area starts at the device point (originX, originY).
    void CaptureArea(CDC* dc, int originX, int originY, int x, int y, int width, int height);
    void ScrollCapture(int dx, int dy);
    // The capture's centre doubled onto the window (the cross is drawn
    // while the glass follows the cursor).
    void ShowMagnified(bool withCross);
    void Place(int x, int y, int limitX, int limitY);

    unsigned char* m_maskBits = nullptr;
    CBitmap m_mask;     // 1 bit, all set: the glass's shape
    CBitmap m_capture;  // 32 bits, top-down
    unsigned char* m_captureBits = nullptr;
    int32_t m_lastX = -1000;  // device coordinates of the captured view
    int32_t m_lastY = -1000;
    int32_t m_updateState = 0;  // 0 nothing captured, 1 captured and locked, 2 unlocked
    int32_t m_quadrant = 1;     // 1 up-right, 2 up-left, 3 down-right, 4 down-left
};
