#include "viewkit/data_viewer_wnd.h"

#include "imaging/image.h"
#include "platform/utilkit/logger.h"
#include "platform/win/clipboard.h"
#include "platform/win/dib.h"
#include "platform/win/wnd.h"
#include "viewkit/bmp_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr float kMinZoom = 0.05f;
constexpr float kMaxZoom = 4.0f;
constexpr float kZoomStep = 1.2f;
constexpr float kZoomSnap = 0.01f;
// The handles answer within this many pixels of a side.
constexpr int kHandleTolerance = 3;
// A rubber band this thin or thinner is taken for a click.
constexpr int kMinSelectionSide = 4;
// The largest pasted image: the world map's own width limit, and half of it
// for the height (the map spans 180 degrees vertically).
constexpr int64_t kMaxPasteWidth = int64_t{1} << 24;
constexpr int64_t kMaxPasteHeight = int64_t{1} << 23;

float SnapZoom(float v)
{
    const float nearest = std::round(v);
    if (std::fabs(v - nearest) <= kZoomSnap) v = nearest;
    return std::clamp(v, kMinZoom, kMaxZoom);
}

RECT Normalised(int x0, int y0, int x1, int y1)
{
    return RECT{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
}

}  // namespace

DataViewerWnd::DataViewerWnd() = default;

DataViewerWnd::DataViewerWnd(const DataViewerWnd& other) : DataViewer()
{
    CopyMembers(other);
}

DataViewerWnd& DataViewerWnd::operator=(const DataViewerWnd& other)
{
    if (this != &other) CopyMembers(other);
    return *this;
}

void DataViewerWnd::CopyMembers(const DataViewerWnd& other)
{
    CopyViewerState(other);
    m_dragX0 = other.m_dragX0;
    m_dragY0 = other.m_dragY0;
    m_dragX1 = other.m_dragX1;
    m_dragY1 = other.m_dragY1;
    m_viewWidth = other.m_viewWidth;
    m_viewHeight = other.m_viewHeight;
    m_offsetX = other.m_offsetX;
    m_offsetY = other.m_offsetY;
    m_scrollX = other.m_scrollX;
    m_scrollY = other.m_scrollY;
    m_wndSelRect = other.m_wndSelRect;
    m_flags = other.m_flags;
    m_handle = other.m_handle;
    m_lastX = other.m_lastX;
    m_lastY = other.m_lastY;
    m_zoomX = other.m_zoomX;
    m_zoomY = other.m_zoomY;
}

// ---- Size, zoom and scroll -------------------------------------------------------

bool DataViewerWnd::CoversWholeView(const RECT& r) const
{
    return r.left == 0 && r.top == 0 && r.right == m_viewWidth - 1 && r.bottom == m_viewHeight - 1;
}

void DataViewerWnd::SelectWholeView()
{
    m_wndSelRect = RECT{0, 0, m_viewWidth - 1, m_viewHeight - 1};
}

void DataViewerWnd::UpdateViewSize()
{
    const Image* screen = GetScreen();
    const int width = screen ? screen->GetWidth() : 0;
    const int height = screen ? screen->GetHeight() : 0;
    const bool whole = CoversWholeView(m_wndSelRect);
    m_viewWidth = static_cast<int32_t>(width * m_zoomX + 0.5f);
    m_viewHeight = static_cast<int32_t>(height * m_zoomY + 0.5f);
    if (whole) {
        SelectWholeView();
        SetSelectionRect(nullptr);
        return;
    }
    const RECT& data = m_selectionRect;
    m_wndSelRect = RECT{static_cast<int32_t>(data.left * m_zoomX), static_cast<int32_t>(data.top * m_zoomY),
                        static_cast<int32_t>(data.right * m_zoomX), static_cast<int32_t>(data.bottom * m_zoomY)};
}

void DataViewerWnd::GetViewSize(int& width, int& height) const
{
    width = m_viewWidth;
    height = m_viewHeight;
}

void DataViewerWnd::GetWndSize(int& width, int& height) const
{
    width = m_viewWidth + 2 * m_offsetX;
    height = m_viewHeight + 2 * m_offsetY;
}

void DataViewerWnd::GetOffset(int& x, int& y) const
{
    x = m_offsetX;
    y = m_offsetY;
}

void DataViewerWnd::GetCurrentZoom(float& x, float& y) const
{
    x = m_zoomX;
    y = m_zoomY;
}

bool DataViewerWnd::ChangeZoom(float x, float y)
{
    x = SnapZoom(x);
    y = SnapZoom(y);
    if (x == m_zoomX && y == m_zoomY) return false;
    m_zoomX = x;
    m_zoomY = y;
    UpdateViewSize();
    return true;
}

bool DataViewerWnd::ZoomIn()
{
    return ChangeZoom(m_zoomX * kZoomStep, m_zoomY * kZoomStep);
}

bool DataViewerWnd::ZoomOut()
{
    return ChangeZoom(m_zoomX / kZoomStep, m_zoomY / kZoomStep);
}

bool DataViewerWnd::ResetZoom()
{
    return ChangeZoom(1.0f, 1.0f);
}

bool DataViewerWnd::SetZoomToFit(bool keepAspect)
{
    if (m_flags & kFitToWindow) {
        m_flags = static_cast<int16_t>(m_flags & ~(kFitToWindow | kFitKeepsAspect));
        return false;
    }
    m_flags = static_cast<int16_t>(m_flags | kFitToWindow);
    if (keepAspect)
        m_flags = static_cast<int16_t>(m_flags | kFitKeepsAspect);
    else
        m_flags = static_cast<int16_t>(m_flags & ~kFitKeepsAspect);
    return true;
}

bool DataViewerWnd::DVWupdateSize(int width, int height)
{
    if (m_viewWidth == 0) return false;
    const int oldX = m_offsetX;
    const int oldY = m_offsetY;
    const Image* screen = GetScreen();
    if ((m_flags & kFitToWindow) && screen && screen->GetWidth() > 0 && screen->GetHeight() > 0 && width > 0 &&
        height > 0) {
        const float sx = static_cast<float>(width) / static_cast<float>(screen->GetWidth());
        const float sy = static_cast<float>(height) / static_cast<float>(screen->GetHeight());
        if (!(m_flags & kFitKeepsAspect)) {
            m_viewWidth = width;
            m_viewHeight = height;
            m_zoomX = sx;
            m_zoomY = sy;
            m_offsetX = m_offsetY = 0;
        } else if (int64_t{width} * m_viewHeight < int64_t{height} * m_viewWidth) {
            m_viewHeight = static_cast<int32_t>(int64_t{width} * m_viewHeight / m_viewWidth);
            m_viewWidth = width;
            m_zoomX = m_zoomY = sx;
            m_offsetX = 0;
            m_offsetY = (height - m_viewHeight) / 2;
        } else {
            m_viewWidth = static_cast<int32_t>(int64_t{height} * m_viewWidth / std::max(m_viewHeight, 1));
            m_viewHeight = height;
            m_zoomX = m_zoomY = sy;
            m_offsetX = (width - m_viewWidth) / 2;
            m_offsetY = 0;
        }
    } else if (!(m_flags & kFitToWindow)) {
        auto axis = [](int window, int view, int32_t& offset, int32_t& scroll) {
            if (view < window) {
                const int centred = (window - view) / 2;
                if (centred != offset) scroll = 0;
                offset = centred;
                return;
            }
            if (offset > 0) offset = 0;
            if (offset + view < window) offset = window - view;
        };
        axis(width, m_viewWidth, m_offsetX, m_scrollX);
        axis(height, m_viewHeight, m_offsetY, m_scrollY);
    }
    return oldX != m_offsetX || oldY != m_offsetY;
}

void DataViewerWnd::DVWupdateScroll(CPoint scroll)
{
    m_scrollX = scroll.x;
    m_scrollY = scroll.y;
}

bool DataViewerWnd::ConvertToDVWpoint(CPoint& point, int& x, int& y) const
{
    x = m_scrollX + point.x - m_offsetX;
    y = m_scrollY + point.y - m_offsetY;
    return x >= 0 && y >= 0 && x < m_viewWidth && y < m_viewHeight;
}

void DataViewerWnd::ConvertoScreenRect(RECT& in, RECT& out) const
{
    const int dx = m_offsetX - m_scrollX;
    const int dy = m_offsetY - m_scrollY;
    out = RECT{in.left + dx, in.top + dy, in.right + dx, in.bottom + dy};
}

// ---- Drawing ---------------------------------------------------------------------

void DataViewerWnd::DrawBkground(CDC* cdc, Image* image, COLORREF colour)
{
    if (!cdc) return;
    RECT clip{};
    cdc->GetClipBox(&clip);
    const int channels = image ? image->GetChannels() : 0;
    if (!image || image->GetWidth() <= 0 || image->GetHeight() <= 0 || !image->GetData() ||
        m_viewWidth <= 0 || m_viewHeight <= 0 || (channels != 1 && channels != 3)) {
        cdc->FillSolidRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, colour);
        return;
    }
    const int width = image->GetWidth();
    const int height = image->GetHeight();
    BITMAPINFO* info = FillBmpInfo(image);
    if (!info) return;
    // An image made without BmpInit may have unpadded rows.
    std::vector<unsigned char> padded;
    const unsigned char* pixels = DibRows(image, padded);
    const bool shrunk = m_viewWidth < width || m_viewHeight < height;
    const int oldMode = shrunk ? cdc->SetStretchBltMode(COLORONCOLOR) : 0;
    StretchDIBits(cdc, m_offsetX, m_offsetY, m_viewWidth, m_viewHeight, 0, 0, width, height, pixels, info,
                  DIB_RGB_COLORS, SRCCOPY);
    if (shrunk) cdc->SetStretchBltMode(oldMode);

    // Border bands reach to the clip box as well, as an odd window width
    // leaves the right (bottom) band one pixel wider than the left (top).
    int wndWidth = 0;
    int wndHeight = 0;
    GetWndSize(wndWidth, wndHeight);
    const int right = std::max(wndWidth, static_cast<int>(clip.right));
    const int bottom = std::max(wndHeight, static_cast<int>(clip.bottom));
    if (m_offsetX > 0) {
        cdc->FillSolidRect(0, 0, m_offsetX, bottom, colour);
        cdc->FillSolidRect(m_offsetX + m_viewWidth, 0, right - m_offsetX - m_viewWidth, bottom, colour);
    }
    if (m_offsetY > 0) {
        cdc->FillSolidRect(0, 0, right, m_offsetY, colour);
        cdc->FillSolidRect(0, m_offsetY + m_viewHeight, right, bottom - m_offsetY - m_viewHeight, colour);
    }
    DrawRect(cdc);
}

void DataViewerWnd::DrawSpot(CDC* cdc, int x, int y)
{
    const POINT square[5] = {{x - 3, y - 3}, {x + 3, y - 3}, {x + 3, y + 3}, {x - 3, y + 3}, {x - 3, y - 3}};
    cdc->Polyline(square, 5);
}

bool DataViewerWnd::DrawRect(RECT* rect, CDC* cdc)
{
    if (!rect || !cdc || rect->left >= rect->right || rect->top >= rect->bottom) return false;
    // Inverted pixels: the same call again restores what was under them.
    CPen pen(PS_DASH, 1, RGB(255, 255, 255));
    const int oldRop = cdc->SetROP2(R2_NOT);
    CPen* oldPen = cdc->SelectObject(&pen);
    const POINT outline[5] = {{rect->left, rect->top},
                              {rect->right, rect->top},
                              {rect->right, rect->bottom},
                              {rect->left, rect->bottom},
                              {rect->left, rect->top}};
    cdc->Polyline(outline, 5);
    DrawSpot(cdc, rect->left, rect->top);
    DrawSpot(cdc, rect->right, rect->top);
    DrawSpot(cdc, rect->left, rect->bottom);
    DrawSpot(cdc, rect->right, rect->bottom);
    cdc->SelectObject(oldPen);
    cdc->SetROP2(oldRop);
    return true;
}

void DataViewerWnd::DrawRect(CDC* cdc)
{
    if (CoversWholeView(m_wndSelRect)) return;
    RECT r{m_wndSelRect.left + m_offsetX, m_wndSelRect.top + m_offsetY, m_wndSelRect.right + m_offsetX,
           m_wndSelRect.bottom + m_offsetY};
    DrawRect(&r, cdc);
}

void DataViewerWnd::DrawObjRect(RECT& rect, CDC* cdc)
{
    const int dx = m_offsetX - m_scrollX;
    const int dy = m_offsetY - m_scrollY;
    rect = RECT{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
    DrawRect(&rect, cdc);
}

void DataViewerWnd::MoveObjRect(RECT& rect, int dx, int dy, CDC* cdc)
{
    DrawRect(&rect, cdc);
    rect = RECT{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
    DrawRect(&rect, cdc);
}

// ---- Selection drag ---------------------------------------------------------------

void DataViewerWnd::MakeStandardRect(RECT& out) const
{
    out = Normalised(m_dragX0, m_dragY0, m_dragX1, m_dragY1);
}

void DataViewerWnd::MakeWndRect(RECT& out) const
{
    MakeStandardRect(out);
    const int dx = m_offsetX - m_scrollX;
    const int dy = m_offsetY - m_scrollY;
    out = RECT{out.left + dx, out.top + dy, out.right + dx, out.bottom + dy};
}

void DataViewerWnd::ClampIntoView(int& x, int& y) const
{
    x = std::clamp(x, 0, std::max(m_viewWidth - 1, 0));
    y = std::clamp(y, 0, std::max(m_viewHeight - 1, 0));
}

int DataViewerWnd::InitWndRect(int x, int y)
{
    if (m_flags & kSelectionShown) {
        const RECT& r = m_wndSelRect;
        const int t = kHandleTolerance;
        if (x < r.left - t || x > r.right + t || y < r.top - t || y > r.bottom + t) return 0;
        int code = x < r.left + t ? 4 : (x < r.right - t ? 5 : 6);
        if (y <= r.top + t)
            code -= 3;
        else if (y >= r.bottom - t)
            code += 3;
        m_handle = static_cast<int16_t>(code);
        m_flags = static_cast<int16_t>(m_flags | kHandleDrag);
        m_lastX = x;
        m_lastY = y;
        m_dragX0 = r.left;
        m_dragY0 = r.top;
        m_dragX1 = r.right;
        m_dragY1 = r.bottom;
        return code;
    }
    m_flags = static_cast<int16_t>(m_flags | kNewRect);
    ClampIntoView(x, y);
    m_dragX0 = m_dragX1 = x;
    m_dragY0 = m_dragY1 = y;
    m_handle = kNewRectHandle;
    return kNewRectHandle;
}

void DataViewerWnd::DragWndRect(int x, int y, CDC* cdc)
{
    if (!IsInDragWndRectState()) return;
    const bool byHandle = (m_flags & kHandleDrag) != 0;
    if (byHandle && (m_handle < 1 || m_handle > 9)) return;
    RECT drawn{};
    if (m_flags & kSelectionShown) {
        MakeWndRect(drawn);
        DrawRect(&drawn, cdc);
    }
    ClampIntoView(x, y);
    if (byHandle) {
        int dx = x - m_lastX;
        int dy = y - m_lastY;
        switch (m_handle) {
        case 1: m_dragX0 += dx; m_dragY0 += dy; break;
        case 2: m_dragY0 += dy; break;
        case 3: m_dragX1 += dx; m_dragY0 += dy; break;
        case 4: m_dragX0 += dx; break;
        case 6: m_dragX1 += dx; break;
        case 7: m_dragX0 += dx; m_dragY1 += dy; break;
        case 8: m_dragY1 += dy; break;
        case 9: m_dragX1 += dx; m_dragY1 += dy; break;
        case 5: {
            // The whole rectangle moves; the motion shrinks so that it
            // stops at the view's edges.
            const int left = std::min(m_dragX0, m_dragX1);
            const int right = std::max(m_dragX0, m_dragX1);
            const int top = std::min(m_dragY0, m_dragY1);
            const int bottom = std::max(m_dragY0, m_dragY1);
            dx = std::clamp(dx, -left, m_viewWidth - 1 - right);
            dy = std::clamp(dy, -top, m_viewHeight - 1 - bottom);
            m_dragX0 += dx;
            m_dragX1 += dx;
            m_dragY0 += dy;
            m_dragY1 += dy;
            break;
        }
        default: break;
        }
        m_lastX = x;
        m_lastY = y;
    } else {
        m_dragX1 = x;
        m_dragY1 = y;
    }
    MakeWndRect(drawn);
    if (DrawRect(&drawn, cdc))
        m_flags = static_cast<int16_t>(m_flags | kSelectionShown);
    else
        m_flags = static_cast<int16_t>(m_flags & ~kSelectionShown);
}

void DataViewerWnd::EndDragWndRect(int /*x*/, int /*y*/, CDC* cdc)
{
    m_flags = static_cast<int16_t>(m_flags & ~(kNewRect | kHandleDrag));
    if (std::abs(m_dragX0 - m_dragX1) > kMinSelectionSide && std::abs(m_dragY0 - m_dragY1) > kMinSelectionSide) {
        MakeStandardRect(m_wndSelRect);
        const RECT data{static_cast<int32_t>(m_wndSelRect.left / m_zoomX),
                        static_cast<int32_t>(m_wndSelRect.top / m_zoomY),
                        static_cast<int32_t>(m_wndSelRect.right / m_zoomX),
                        static_cast<int32_t>(m_wndSelRect.bottom / m_zoomY)};
        SetSelectionRect(&data);
        return;
    }
    // Too thin: what the drag drew is erased and the selection dropped.
    if (m_flags & kSelectionShown) {
        RECT drawn{};
        MakeWndRect(drawn);
        DrawRect(&drawn, cdc);
        m_flags = static_cast<int16_t>(m_flags & ~kSelectionShown);
    }
    SelectWholeView();
    SetSelectionRect(nullptr);
}

bool DataViewerWnd::RemoveSelectionRect(CDC* cdc)
{
    if (!(m_flags & kSelectionShown)) return false;
    DrawRect(cdc);
    m_flags = static_cast<int16_t>(m_flags & ~kSelectionShown);
    SelectWholeView();
    SetSelectionRect(nullptr);
    return true;
}

bool DataViewerWnd::ResetWndRect()
{
    if (IsDefaultSelection()) {
        SelectWholeView();
        return false;
    }
    const RECT& data = m_selectionRect;
    m_wndSelRect = RECT{static_cast<int32_t>(data.left * m_zoomX), static_cast<int32_t>(data.top * m_zoomY),
                        static_cast<int32_t>(data.right * m_zoomX), static_cast<int32_t>(data.bottom * m_zoomY)};
    return true;
}

void DataViewerWnd::MoveWndRect(int dx, int dy)
{
    m_wndSelRect.left += dx;
    m_wndSelRect.right += dx;
    m_wndSelRect.top += dy;
    m_wndSelRect.bottom += dy;
}

// ---- Moving object and mouse drag ----------------------------------------------

void DataViewerWnd::InitMoveObj(int x, int y)
{
    m_flags = kMovingObject;
    m_dragX0 = m_dragX1 = x;
    m_dragY0 = m_dragY1 = y;
}

bool DataViewerWnd::IsInMovingObjState(int x, int y, int& dx, int& dy)
{
    if (m_flags != kMovingObject) return false;
    dx = x - m_dragX1;
    dy = y - m_dragY1;
    m_dragX1 = x;
    m_dragY1 = y;
    return dx != 0 || dy != 0;
}

bool DataViewerWnd::EndMoveObj(int& dx, int& dy)
{
    if (m_flags != kMovingObject) return false;
    dx = m_dragX1 - m_dragX0;
    dy = m_dragY1 - m_dragY0;
    m_flags = static_cast<int16_t>(m_flags & ~kMovingObject);
    return dx != 0 || dy != 0;
}

void DataViewerWnd::MouseDown(int x, int y)
{
    m_dragX0 = m_dragX1 = x;
    m_dragY0 = m_dragY1 = y;
    m_flags = static_cast<int16_t>(m_flags | kMouseDrag);
}

void DataViewerWnd::MouseMove(int& x, int& y)
{
    const int dx = x - m_dragX1;
    const int dy = y - m_dragY1;
    m_dragX1 = x;
    m_dragY1 = y;
    x = dx;
    y = dy;
}

void DataViewerWnd::GetMouseMotion(int& dx, int& dy) const
{
    dx = m_dragX1 - m_dragX0;
    dy = m_dragY1 - m_dragY0;
}

void DataViewerWnd::MouseUp(int /*x*/, int /*y*/)
{
    m_flags = static_cast<int16_t>(m_flags & ~kMouseDrag);
}

// ---- Clipboard and pixel readout ---------------------------------------------------

void DataViewerWnd::CopyToClipBoard(HWND hwnd, Image* image, RECT* rect)
{
    if (!image || !rect || !image->GetData()) return;
    const int channels = image->GetChannels();
    if (channels != 1 && channels != 3) {
        Logger::log("ERROR DataViewerWnd::CopyToClipBoard %d channels cannot go to the clipboard", 1, channels);
        return;
    }
    // Only the part of the rectangle that lies on the image is copied.
    const int left = std::max(rect->left, 0);
    const int top = std::max(rect->top, 0);
    const int right = std::min(rect->right, image->GetWidth() - 1);
    const int bottom = std::min(rect->bottom, image->GetHeight() - 1);
    if (left > right || top > bottom) return;
    const int width = right - left + 1;
    const int height = bottom - top + 1;
    const int bits = channels * 8;
    BITMAPINFO* info = FillBmpInfo(width, height, bits);
    if (!info) return;
    const size_t paletteBytes = static_cast<size_t>(info->bmiHeader.biClrUsed) * sizeof(RGBQUAD);
    const size_t rowBytes = static_cast<size_t>(DibRowBytes(width, bits));
    const size_t headerBytes = sizeof(BITMAPINFOHEADER) + paletteBytes;
    const size_t total = headerBytes + rowBytes * height;
    if (!OpenClipboard(hwnd)) {
        Logger::log("ERROR DataViewerWnd::CopyToClipBoard the clipboard is busy", 1);
        return;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT, total);
    auto* out = block ? static_cast<unsigned char*>(GlobalLock(block)) : nullptr;
    if (!out) {
        Logger::log("ERROR DataViewerWnd::CopyToClipBoard no memory for %zu bytes", 1, total);
        if (block) GlobalFree(block);
        CloseClipboard();
        return;
    }
    std::memcpy(out, info, headerBytes);
    // Bottom-up: the rectangle's last row comes first.
    const size_t used = static_cast<size_t>(width) * channels;
    for (int row = 0; row < height; ++row) {
        const unsigned char* src = image->GetData() + static_cast<size_t>(image->GetRowByte()) * (bottom - row) +
                                   static_cast<size_t>(left) * channels;
        std::memcpy(out + headerBytes + rowBytes * row, src, used);
    }
    GlobalUnlock(block);
    EmptyClipboard();
    SetClipboardData(CF_DIB, block);
    CloseClipboard();
}

Image* DataViewerWnd::PastFromClipBoard(HWND hwnd)
{
    if (!OpenClipboard(hwnd)) {
        MessageBox(hwnd, "ClipBoard busy. Try again later.", nullptr, MB_OK);
        return nullptr;
    }
    HGLOBAL block = GetClipboardData(CF_DIB);
    const auto* data = block ? static_cast<const unsigned char*>(GlobalLock(block)) : nullptr;
    if (!data) {
        CloseClipboard();
        MessageBox(hwnd, "No DIB on the clipboard.", nullptr, MB_OK);
        return nullptr;
    }
    // Nothing of the header is trusted: its size, the compression, the
    // dimensions and the rows must all fit in the block.
    const size_t blockBytes = GlobalSize(block);
    BITMAPINFOHEADER h{};
    bool usable = blockBytes >= sizeof(h);
    if (usable) std::memcpy(&h, data, sizeof(h));
    const int64_t width = h.biWidth;
    const int64_t height = h.biHeight < 0 ? -int64_t{h.biHeight} : int64_t{h.biHeight};
    usable = usable && h.biSize >= sizeof(h) && h.biBitCount == 24 && h.biCompression == BI_RGB && width > 0 &&
             width <= kMaxPasteWidth && height > 0 && height <= kMaxPasteHeight && h.biClrUsed <= 256;
    const size_t rowBytes = usable ? static_cast<size_t>(DibRowBytes(width, 24)) : 0;
    const size_t pixelsAt = usable ? size_t{h.biSize} + size_t{h.biClrUsed} * sizeof(RGBQUAD) : 0;
    usable = usable && pixelsAt <= blockBytes && rowBytes * static_cast<size_t>(height) <= blockBytes - pixelsAt;
    Image* image = nullptr;
    if (usable) {
        image = new Image();
        if (image->BmpInit(static_cast<int>(width), static_cast<int>(height), 3) != 0 || !image->GetData()) {
            Logger::log("ERROR DataViewerWnd::PastFromClipBoard no memory for %lld x %lld", 1,
                        static_cast<long long>(width), static_cast<long long>(height));
            ReleaseImage(image);
            image = nullptr;
            usable = false;
        }
    }
    if (image) {
        const bool topDown = h.biHeight < 0;
        const size_t used = static_cast<size_t>(width) * 3;
        for (int64_t y = 0; y < height; ++y) {
            const int64_t from = topDown ? y : height - 1 - y;
            std::memcpy(image->GetData() + static_cast<size_t>(image->GetRowByte()) * y,
                        data + pixelsAt + rowBytes * static_cast<size_t>(from), used);
        }
    }
    GlobalUnlock(block);
    CloseClipboard();
    if (!image) {
        if (!usable) Logger::log("ERROR DataViewerWnd::PastFromClipBoard unusable DIB (%d bits)", 1, h.biBitCount);
        MessageBox(hwnd, "This image depth not supported.", nullptr, MB_OK);
    }
    return image;
}

void DataViewerWnd::PrintBkgBmpValue(char* buf, int x, int y)
{
    if (!buf) return;
    buf[0] = '\0';
    const Image* screen = GetScreen();
    if (!screen || !screen->GetData()) return;
    // In double and checked before the conversion: a far point at a small
    // zoom lies past any int.
    const double fx = m_zoomX != 1.0f ? x / static_cast<double>(m_zoomX) : x;
    const double fy = m_zoomY != 1.0f ? y / static_cast<double>(m_zoomY) : y;
    if (!(fx >= 0 && fy >= 0 && fx < screen->GetWidth() && fy < screen->GetHeight())) return;
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const int channels = screen->GetChannels();
    const unsigned char* p =
        screen->GetData() + static_cast<size_t>(screen->GetRowByte()) * iy + static_cast<size_t>(ix) * channels;
    if (channels == 1)
        std::snprintf(buf, kPixelTextBytes, "(%d,%d)=%d", ix, iy, p[0]);
    else if (channels >= 3)
        std::snprintf(buf, kPixelTextBytes, "(%d,%d)=%d %d %d", ix, iy, p[0], p[1], p[2]);
}
