// Device contexts of windows. Every top-level window has a 32-bit surface
// of its client area; the window and its children paint into it through
// contexts whose origin is their client corner and whose clip is their own
// area. BeginPaint/EndPaint (CPaintDC) paint what was invalidated: the
// frame of a child window first, then the background, then the content;
// children and overlapping windows above repaint after their parent.
#pragma once

#include "platform/win/gdi.h"
#include "platform/win/win_defs.h"

class CWnd;
class Image;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);

// The client area, outside any painting.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* window);
    ~CClientDC() override;
    CWnd* m_pWnd;
};

// The whole window rectangle, frame included (child windows).
class CWindowDC : public CDC {
public:
    explicit CWindowDC(CWnd* window);
    ~CWindowDC() override;
    CWnd* m_pWnd;
};

// Painting in a WM_PAINT handler: validates the window and erases its
// background first.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};
    CWnd* m_pWnd;

private:
    HWND m_hwnd;
};

namespace win {

// Points a context at the surface of the window's top level: client area
// (or the whole window rectangle) with origin and clip set. False for a
// stale window.
bool PrepareWindowDC(CDC& dc, HWND hwnd, bool wholeWindow);
void BeginPaintOn(CDC& dc, HWND hwnd, PAINTSTRUCT& paint);
void EndPaintOn(HWND hwnd);

// The surface of a top-level window (created at the client size).
struct SurfaceView {
    unsigned char* data = nullptr;
    int width = 0;
    int height = 0;
    int rowBytes = 0;
    uint64_t version = 0;
};
bool WindowSurface(HWND topLevel, SurfaceView& view);
// The client area of any window as it shows now: a new 3-channel image
// (B, G, R) the caller releases; null for a stale window.
Image* CaptureWindow(HWND hwnd);
// Paints everything that waits at once (tests call it before looking).
void PaintAll();

}  // namespace win
