#include "app/shell/image_strip.h"

#include "platform/win/dib.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "viewkit/bmp_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

const COLORREF kSelectedText = RGB(255, 0, 0);
const COLORREF kOtherText = RGB(0, 0, 255);
const COLORREF kFrame = RGB(255, 0, 0);
const COLORREF kCross = RGB(255, 255, 0);
// Room under the thumbnails for the names.
constexpr int kTextRoom = 12;
constexpr int kTextAbove = 15;
constexpr double kPi = 3.14159265358979323846;

}  // namespace

ImageStrip::~ImageStrip()
{
    if (m_scrollBar && m_scrollBar->m_hWnd) m_scrollBar->DestroyWindow();
}

void ImageStrip::SetList(StripItemList* list)
{
    m_list = list;
    RecalcLayout();
}

int ImageStrip::AvailableHeight() const
{
    RECT r{};
    GetClientRect(&r);
    return r.bottom - r.top - kTextRoom;
}

void ImageStrip::GetThumbSize(const StripItem* item, int& width, int& height) const
{
    width = height = 0;
    if (!item || !item->image || item->image->GetWidth() <= 0 || item->image->GetHeight() <= 0) return;
    const int64_t w = item->image->GetWidth();
    const int64_t h = item->image->GetHeight();
    switch (item->GetKind()) {
    case 1:
        if (w >= h) {
            width = 128;
            height = static_cast<int>(128 * h / w);
        } else {
            height = 128;
            width = static_cast<int>(height * w / h);
        }
        break;
    case 2:
        if (w > 2 * h) {
            width = 256;
            height = static_cast<int>(256 * h / w);
        } else {
            height = 128;
            width = static_cast<int>(height * w / h);
        }
        break;
    default: {
        const int64_t narrowed = std::max<int64_t>(1, w * 4 / 6);
        if (narrowed < 2 * h) {
            height = 128;
            width = static_cast<int>(height * narrowed / h);
        } else {
            width = 256;
            height = static_cast<int>(256 * h / narrowed);
        }
        break;
    }
    }
    const int limit = AvailableHeight();
    if (height > limit) {
        const int64_t oldHeight = std::max(height, 1);
        height = std::max(limit, 0);
        width = static_cast<int>(int64_t{width} * height / oldHeight);
    }
}

RECT ImageStrip::GetSlotRect(int index) const
{
    RECT r{};
    GetClientRect(&r);
    int x = -m_scroll;
    for (int i = 0; m_list && i < m_list->GetCount(); ++i) {
        int w = 0, h = 0;
        GetThumbSize(m_list->Get(i), w, h);
        const int slot = std::max(kSlotWidth, w);
        if (i == index) return RECT{x, 0, x + slot, r.bottom};
        x += slot + kGap;
    }
    return RECT{0, 0, 0, 0};
}

RECT ImageStrip::GetThumbRect(int index) const
{
    const RECT slot = GetSlotRect(index);
    int w = 0, h = 0;
    GetThumbSize(m_list ? m_list->Get(index) : nullptr, w, h);
    const int x = slot.left + (slot.right - slot.left - w) / 2;
    const int y = (AvailableHeight() - h) / 2;
    return RECT{x, y, x + w, y + h};
}

int ImageStrip::ItemAt(POINT point) const
{
    RECT client{};
    GetClientRect(&client);
    if (point.y < 0 || point.y >= client.bottom) return -1;
    for (int i = 0; m_list && i < m_list->GetCount(); ++i) {
        const RECT slot = GetSlotRect(i);
        if (point.x >= slot.left && point.x < slot.right) return i;
    }
    return -1;
}

void ImageStrip::RecalcLayout()
{
    int width = 0;
    int tallest = 0;
    for (int i = 0; m_list && i < m_list->GetCount(); ++i) {
        int w = 0, h = 0;
        GetThumbSize(m_list->Get(i), w, h);
        width += std::max(kSlotWidth, w) + kGap;
        tallest = std::max(tallest, h);
    }
    m_rowWidth = width;
    m_thumbHeight = tallest;
    if (m_scrollBar && m_scrollBar->m_hWnd) m_scrollBar->SetRowWidth(m_rowWidth);
}

int ImageStrip::OnCreate(LPCREATESTRUCT cs)
{
    if (CWnd::OnCreate(cs) == -1) return -1;
    RECT r{};
    GetClientRect(&r);
    m_scrollBar = std::make_unique<StripScrollBar>(this);
    if (!m_scrollBar->Create(nullptr, "", WS_CHILD | WS_VISIBLE,
                             RECT{0, r.bottom - StripScrollBar::kHeight, r.right, r.bottom}, this,
                             StripScrollBar::kId)) {
        m_scrollBar.reset();
        return -1;
    }
    RecalcLayout();
    return 0;
}

void ImageStrip::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (m_scrollBar && m_scrollBar->m_hWnd)
        m_scrollBar->MoveWindow(0, cy - StripScrollBar::kHeight, cx, StripScrollBar::kHeight);
    RecalcLayout();
}

BOOL ImageStrip::OnEraseBkgnd(CDC* /*dc*/)
{
    return TRUE;
}

void ImageStrip::OnPaint()
{
    CPaintDC dc(this);
    RECT r{};
    GetClientRect(&r);
    dc.FillSolidRect(0, 0, r.right, r.bottom, kBackground);
    for (int i = 0; m_list && i < m_list->GetCount(); ++i) {
        const RECT slot = GetSlotRect(i);
        if (slot.right < 0 || slot.left >= r.right) continue;
        DrawThumb(dc, i);
    }
}

void ImageStrip::DrawThumb(CDC& dc, int index)
{
    StripItem* item = m_list->Get(index);
    Image* image = item ? item->image : nullptr;
    const RECT t = GetThumbRect(index);
    const int channels = image ? image->GetChannels() : 0;
    if (image && image->GetData() && t.right > t.left && t.bottom > t.top && (channels == 1 || channels == 3)) {
        BITMAPINFO* info = FillBmpInfo(image);
        // An image made without BmpInit may have unpadded rows.
        std::vector<unsigned char> padded;
        const unsigned char* pixels = DibRows(image, padded);
        const bool shrunk = t.right - t.left < image->GetWidth() || t.bottom - t.top < image->GetHeight();
        const int oldMode = dc.SetStretchBltMode(shrunk ? HALFTONE : COLORONCOLOR);
        if (info && pixels)
            StretchDIBits(&dc, t.left, t.top, t.right - t.left, t.bottom - t.top, 0, 0, image->GetWidth(),
                          image->GetHeight(), pixels, info, DIB_RGB_COLORS, SRCCOPY);
        dc.SetStretchBltMode(oldMode);
    }
    const bool selected = index == m_list->GetSelected();
    char text[260];
    if (m_list->GetDisplayText(index, text, sizeof text)) {
        const RECT slot = GetSlotRect(index);
        RECT textRect{slot.left, slot.bottom - kTextAbove - 13, slot.right, slot.bottom - kTextAbove};
        const COLORREF oldColour = dc.SetTextColor(selected ? kSelectedText : kOtherText);
        const int oldMode = dc.SetBkMode(TRANSPARENT);
        dc.DrawText(text, &textRect, DT_CENTER | DT_SINGLELINE | DT_BOTTOM);
        dc.SetBkMode(oldMode);
        dc.SetTextColor(oldColour);
    }
    if (!selected || t.right <= t.left) return;
    // The frame of the picked thumbnail, its view centre and extent.
    CPen frame(PS_SOLID, 2, kFrame);
    CPen* oldPen = dc.SelectObject(&frame);
    const POINT outline[5] = {{t.left, t.top}, {t.right, t.top}, {t.right, t.bottom}, {t.left, t.bottom}, {t.left, t.top}};
    dc.Polyline(outline, 5);
    CPen cross(PS_SOLID, 1, kCross);
    dc.SelectObject(&cross);
    const int w = t.right - t.left;
    const int h = t.bottom - t.top;
    const int cx = t.left + static_cast<int>((item->centre[0] + 1) / 2 * w);
    const int cy = t.top + static_cast<int>((item->centre[1] + 1) / 2 * h);
    dc.MoveTo(cx - 3, cy);
    dc.LineTo(cx + 4, cy);
    dc.MoveTo(cx, cy - 3);
    dc.LineTo(cx, cy + 4);
    if (item->size[0] > 0 && item->view[0] > 0 && 300 * item->view[1] > item->view[0]) {
        const double extent = static_cast<double>(m_list->GetAngle()) * item->view[0] / 360.0;
        const int half = static_cast<int>(extent / item->size[0] * w / 2);
        if (half > 0) {
            const POINT box[5] = {{cx - half, t.top}, {cx + half, t.top}, {cx + half, t.bottom - 1}, {cx - half, t.bottom - 1}, {cx - half, t.top}};
            dc.Polyline(box, 5);
        }
    }
    dc.SelectObject(oldPen);
}

void ImageStrip::DrawDragRect(CDC& dc)
{
    if (m_dragRect.right <= m_dragRect.left) return;
    CPen pen(PS_DASH, 1, RGB(255, 255, 255));
    const int oldRop = dc.SetROP2(R2_NOT);
    CPen* oldPen = dc.SelectObject(&pen);
    const RECT& r = m_dragRect;
    const POINT outline[5] = {{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}, {r.left, r.top}};
    dc.Polyline(outline, 5);
    dc.SelectObject(oldPen);
    dc.SetROP2(oldRop);
}

void ImageStrip::Notify(WPARAM code, LPARAM param)
{
    if (CWnd* parent = GetParent()) parent->SendMessage(kStripMessage, code, param);
}

void ImageStrip::OnLButtonDown(UINT flags, CPoint point)
{
    const int index = ItemAt(point);
    if (index < 0 || !m_list) return;
    if (flags & MK_CONTROL) {
        if (index == m_list->GetSelected()) SetCentre(index, point);
        return;
    }
    m_pressed = index;
    SetCapture();
    const RECT t = GetThumbRect(index);
    const int w = t.right - t.left, h = t.bottom - t.top;
    m_dragRect = RECT{point.x - w / 2, point.y - h / 2, point.x + w - w / 2, point.y + h - h / 2};
    CClientDC dc(this);
    DrawDragRect(dc);
    m_dragShown = true;
}

void ImageStrip::OnMouseMove(UINT /*flags*/, CPoint point)
{
    if (m_pressed < 0) return;
    CClientDC dc(this);
    if (m_dragShown) DrawDragRect(dc);
    const int w = m_dragRect.right - m_dragRect.left, h = m_dragRect.bottom - m_dragRect.top;
    m_dragRect = RECT{point.x - w / 2, point.y - h / 2, point.x + w - w / 2, point.y + h - h / 2};
    DrawDragRect(dc);
    m_dragShown = true;
    RECT client{};
    GetClientRect(&client);
    const bool inside = point.y >= 0 && point.y < client.bottom;
    SetCursor(inside ? LoadStandardCursor(IDC_ARROW) : LoadResourceCursor(kRemoveCursor));
}

void ImageStrip::OnLButtonUp(UINT /*flags*/, CPoint point)
{
    if (m_pressed < 0) return;
    {
        CClientDC dc(this);
        if (m_dragShown) DrawDragRect(dc);
    }
    m_dragShown = false;
    m_dragRect = RECT{0, 0, 0, 0};
    ReleaseCapture();
    SetCursor(LoadStandardCursor(IDC_ARROW));
    const int pressed = std::exchange(m_pressed, -1);
    RECT client{};
    GetClientRect(&client);
    const bool inside = point.x >= 0 && point.y >= 0 && point.x < client.right && point.y < client.bottom;
    const int target = ItemAt(point);
    if (inside && target == pressed) {
        if (m_list->GetSelected() == pressed) return;
        m_list->SetSelected(pressed);
        Invalidate();
        Notify(0, 0);
        return;
    }
    if (inside && target >= 0) {
        m_list->Move(pressed, target);
    } else if (!inside) {
        m_list->Remove(pressed);
    } else {
        return;
    }
    RecalcLayout();
    Invalidate();
    Notify(2, 0);
}

void ImageStrip::ClampCentre(StripItem& item, float& x, float& y) const
{
    // Horizontally the view's extent e (of the item's first size value S)
    // stays inside the item; only for views narrower than 300 times their
    // height.
    const float size0 = static_cast<float>(item.size[0]);
    if (size0 > 0 && item.view[0] > 0 && 300 * item.view[1] > item.view[0]) {
        const float e = static_cast<float>(m_list->GetAngle()) * item.view[0] / 360.0f;
        const float p = std::round((x + 1) / 2 * size0);
        if (e >= size0)
            x = 0;
        else if (p + e / 2 > size0)
            x = (2 * size0 - e) / size0 - 1;
        else if (2 * p < e)
            x = e / size0 - 1;
    }
    // Vertically the same with the second size value; the extent is the
    // vertical angle that the list's value pair gives for this item.
    int a = 0, b = 0;
    m_list->GetValues(a, b);
    const float size1 = static_cast<float>(item.size[1]);
    if (size1 > 0 && item.view[0] > 0 && item.view[2] > 0 && a > 0) {
        const double q = static_cast<double>(a) / item.view[2];
        const double half = m_list->GetAngle() * kPi / 360.0;
        const double degrees = 2 * std::atan(std::tan(half) * q) * 180.0 / kPi;
        const float e = static_cast<float>(degrees * item.view[0] / 360.0);
        const float p = std::round((y + 1) / 2 * size1);
        if (e >= size1)
            y = 0;
        else if (p + e / 2 > size1)
            y = (2 * size1 - e) / size1 - 1;
        else if (2 * p < e)
            y = e / size1 - 1;
    }
    x = std::clamp(x, -1.0f, 1.0f);
    y = std::clamp(y, -1.0f, 1.0f);
}

void ImageStrip::SetCentre(int index, POINT point)
{
    StripItem* item = m_list->Get(index);
    if (!item) return;
    const RECT slot = GetSlotRect(index);
    const RECT t = GetThumbRect(index);
    const int slotWidth = slot.right - slot.left;
    const int thumbHeight = t.bottom - t.top;
    if (slotWidth <= 0 || thumbHeight <= 0 || point.y < t.top || point.y >= t.bottom) return;
    float x = 2.0f * static_cast<float>(point.x - slot.left) / slotWidth - 1;
    float y = 2.0f * static_cast<float>(point.y - t.top) / thumbHeight - 1;
    ClampCentre(*item, x, y);
    if (x == item->centre[0] && y == item->centre[1]) return;
    item->centre[0] = x;
    item->centre[1] = y;
    Notify(1, reinterpret_cast<LPARAM>(item->centre));
    Invalidate();
}

void ImageStrip::OnHScroll(UINT /*code*/, UINT pos, CWnd* /*scrollCtrl*/)
{
    m_scroll = static_cast<int32_t>(pos);
    Invalidate();
}
