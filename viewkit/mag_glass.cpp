#include "viewkit/mag_glass.h"

#include "platform/utilkit/logger.h"
#include "platform/win/window_dc.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kHalfCapture = CMagGlass::kCaptureSize / 2;
// The glass shows the capture's centre 48 x 48 doubled.
constexpr int kShownFrom = 96;
constexpr int kShownSize = 48;
// The glass's centre stands this far from the cursor, diagonally.
constexpr int kPlacement = 64;

// A header with room for the two colours of the 1-bit mask.
struct MaskInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
};

BITMAPINFOHEADER CaptureHeader(int bits)
{
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = CMagGlass::kCaptureSize;
    h.biHeight = -CMagGlass::kCaptureSize;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bits);
    h.biCompression = BI_RGB;
    return h;
}

}  // namespace

CMagGlass::CMagGlass() = default;

CMagGlass::~CMagGlass()
{
    m_mask.DeleteObject();
    m_capture.DeleteObject();
}

int CMagGlass::Init(int x, int y)
{
    m_lastX = x;
    m_lastY = y;
    m_mask.DeleteObject();
    m_capture.DeleteObject();
    CClientDC dc(this);
    BITMAPINFO captureInfo{};
    captureInfo.bmiHeader = CaptureHeader(32);
    void* bits = nullptr;
    HBITMAP capture = CreateDIBSection(&dc, &captureInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!capture) {
        Logger::log("ERROR CMagGlass::Init cannot create the capture bitmap", 1);
        return 0;
    }
    m_capture.Attach(capture);
    m_captureBits = static_cast<unsigned char*>(bits);

    MaskInfo maskInfo{};
    maskInfo.header = CaptureHeader(1);
    maskInfo.colours[1] = RGBQUAD{255, 255, 255, 0};
    HBITMAP mask =
        CreateDIBSection(&dc, reinterpret_cast<const BITMAPINFO*>(&maskInfo), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!mask) {
        Logger::log("ERROR CMagGlass::Init cannot create the mask bitmap", 1);
        return 0;
    }
    m_mask.Attach(mask);
    m_maskBits = static_cast<unsigned char*>(bits);
    std::memset(m_maskBits, 0xFF, static_cast<size_t>(DibRowBytes(kCaptureSize, 1)) * kCaptureSize);
    return 1;
}

void CMagGlass::CaptureArea(CDC* dc, int originX, int originY, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0) return;
    // What lies off the view reads as black, the same for a strip as for a
    // whole recapture.
    for (int row = y; row < y + height; ++row)
        std::memset(m_captureBits + static_cast<size_t>(row) * kCaptureRowBytes + static_cast<size_t>(x) * 4, 0,
                    static_cast<size_t>(width) * 4);
    CDC memory;
    memory.CreateCompatibleDC(dc);
    if (!win::AttachBitmap(memory, m_capture.m_hObject)) return;
    // The points are the view's device pixels; the blit reads logical ones.
    const POINT viewport = dc->GetViewportOrg();
    memory.BitBlt(x, y, width, height, dc, originX + x - viewport.x, originY + y - viewport.y, SRCCOPY);
}

bool CMagGlass::Update(CDC* dc)
{
    if (m_updateState == 1 || !dc || !m_captureBits) return false;
    CaptureArea(dc, m_lastX - kHalfCapture, m_lastY - kHalfCapture, 0, 0, kCaptureSize, kCaptureSize);
    ShowMagnified(false);
    m_updateState = 1;
    return true;
}

void CMagGlass::EnableUpdate()
{
    if (m_updateState == 1) m_updateState = 2;
}

void CMagGlass::ScrollCapture(int dx, int dy)
{
    // The kept part moves by (-dx, -dy): rows in the order that never
    // overwrites a row still to be read, pixels within a row by memmove.
    const int keptWidth = kCaptureSize - std::abs(dx);
    const int keptHeight = kCaptureSize - std::abs(dy);
    const size_t bytes = static_cast<size_t>(keptWidth) * 4;
    const size_t from = static_cast<size_t>(dx > 0 ? dx : 0) * 4;
    const size_t to = static_cast<size_t>(dx < 0 ? -dx : 0) * 4;
    auto move = [&](int target) {
        const int source = target + dy;
        std::memmove(m_captureBits + static_cast<size_t>(target) * kCaptureRowBytes + to,
                     m_captureBits + static_cast<size_t>(source) * kCaptureRowBytes + from, bytes);
    };
    if (dy >= 0) {
        for (int row = 0; row < keptHeight; ++row) move(row);
    } else {
        for (int row = kCaptureSize - 1; row >= -dy; --row) move(row);
    }
}

void CMagGlass::Display(CDC* dc, int x, int y, int limitX, int limitY)
{
    if (m_updateState == 0 || !dc || !m_captureBits) return;
    RECT client{};
    GetClientRect(&client);
    if (client.right - client.left != kWindowSize || client.bottom - client.top != kWindowSize) return;
    const int dx = x - m_lastX;
    const int dy = y - m_lastY;
    const int keptWidth = kCaptureSize - std::abs(dx);
    const int keptHeight = kCaptureSize - std::abs(dy);
    const int originX = x - kHalfCapture;
    const int originY = y - kHalfCapture;
    if (keptWidth < 1 || keptHeight < 1) {
        CaptureArea(dc, originX, originY, 0, 0, kCaptureSize, kCaptureSize);
    } else if (dx != 0 || dy != 0) {
        ScrollCapture(dx, dy);
        if (dy > 0) CaptureArea(dc, originX, originY, 0, keptHeight, kCaptureSize, dy);
        if (dy < 0) CaptureArea(dc, originX, originY, 0, 0, kCaptureSize, -dy);
        if (dx > 0) CaptureArea(dc, originX, originY, keptWidth, 0, dx, kCaptureSize);
        if (dx < 0) CaptureArea(dc, originX, originY, 0, 0, -dx, kCaptureSize);
    }
    m_lastX = x;
    m_lastY = y;
    // Placed first: a window that moves or appears is drawn where it stands.
    Place(x, y, limitX, limitY);
    ShowMagnified(true);
}

void CMagGlass::ShowMagnified(bool withCross)
{
    if (!m_hWnd) return;
    CClientDC glass(this);
    CDC memory;
    memory.CreateCompatibleDC(&glass);
    if (!win::AttachBitmap(memory, m_capture.m_hObject)) return;
    glass.SetStretchBltMode(COLORONCOLOR);
    glass.StretchBlt(0, 0, kWindowSize, kWindowSize, &memory, kShownFrom, kShownFrom, kShownSize, kShownSize,
                     SRCCOPY);
    if (withCross) DrawCenter(&glass);
}

void CMagGlass::Place(int x, int y, int limitX, int limitY)
{
    const int half = kWindowSize / 2;
    int cx = (m_quadrant == 1 || m_quadrant == 3) ? x + kPlacement : x - kPlacement;
    if (cx + half > limitX) {
        cx = x - kPlacement;
        if (m_quadrant == 1) m_quadrant = 2;
        if (m_quadrant == 3) m_quadrant = 4;
    } else if (cx - half < 0) {
        cx = x + kPlacement;
        if (m_quadrant == 2) m_quadrant = 1;
        if (m_quadrant == 4) m_quadrant = 3;
    }
    int cy = (m_quadrant == 1 || m_quadrant == 2) ? y - kPlacement : y + kPlacement;
    if (cy + half > limitY) {
        cy = y - kPlacement;
        if (m_quadrant == 3) m_quadrant = 1;
        if (m_quadrant == 4) m_quadrant = 2;
    } else if (cy - half < 0) {
        cy = y + kPlacement;
        if (m_quadrant == 1) m_quadrant = 3;
        if (m_quadrant == 2) m_quadrant = 4;
    }
    MoveWindow(cx - half, cy - half, kWindowSize, kWindowSize);
    ShowWindow(SW_SHOW);
}

void CMagGlass::DrawCenter(CDC* dc)
{
    CPen pen(PS_SOLID, 1, RGB(255, 255, 255));
    CPen* old = dc->SelectObject(&pen);
    dc->MoveTo(43, 48);
    dc->LineTo(54, 48);
    dc->MoveTo(48, 43);
    dc->LineTo(48, 54);
    dc->SelectObject(old);
}

void CMagGlass::SendParentMessage(UINT message, UINT flags, CPoint& point)
{
    CWnd* parent = GetParent();
    if (!parent) return;
    RECT window{};
    GetWindowRect(&window);
    parent->ScreenToClient(&window);
    const int x = point.x + window.left;
    const int y = point.y + window.top;
    parent->SendMessage(message, flags, MAKEPOINTLPARAM(x, y));
}

void CMagGlass::OnLButtonDown(UINT flags, CPoint point)
{
    SendParentMessage(WM_LBUTTONDOWN, flags, point);
}

void CMagGlass::OnMouseMove(UINT flags, CPoint point)
{
    SendParentMessage(WM_MOUSEMOVE, flags, point);
}

void CMagGlass::OnLButtonUp(UINT flags, CPoint point)
{
    SendParentMessage(WM_LBUTTONUP, flags, point);
}

void CMagGlass::OnLButtonDblClk(UINT flags, CPoint point)
{
    SendParentMessage(WM_LBUTTONDBLCLK, flags, point);
}

void CMagGlass::OnRButtonDown(UINT flags, CPoint point)
{
    SendParentMessage(WM_RBUTTONDOWN, flags, point);
}

BOOL CMagGlass::OnEraseBkgnd(CDC* /*dc*/)
{
    return 1;
}
