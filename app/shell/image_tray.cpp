#include "app/shell/image_tray.h"

#include "app/control/image_chain.h"
#include "app/control/super_manager.h"
#include "app/matching/utilities.h"
#include "app/shell/image_tray_host.h"
#include "app/views/image_loaders.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "platform/win/clipboard.h"
#include "platform/win/dib.h"
#include "platform/win/menu.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"
#include "viewkit/bmp_info.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const COLORREF kNumberColour = RGB(255, 0, 0);
const COLORREF kNameColour = RGB(0, 180, 0);
const COLORREF kMergedColour = RGB(0, 255, 0);
const COLORREF kBlockedColour = RGB(255, 0, 0);
const COLORREF kOpenColour = RGB(0, 0, 255);
constexpr size_t kNameSplitLength = 15;
constexpr int kLinkPenWidth = 5;
constexpr int kArrowPenWidth = 2;

int StampWidth(ImageFrame* frame)
{
    Image* stamp = frame ? frame->GetStampBmp() : nullptr;
    return stamp ? stamp->GetWidth() : 0;
}

int StampHeight(ImageFrame* frame)
{
    Image* stamp = frame ? frame->GetStampBmp() : nullptr;
    return stamp ? stamp->GetHeight() : 0;
}

// The colour of the link from `a` to `b`: green merged, red blocked, blue
// not stitched or missing.
COLORREF LinkColour(ImageFrame* a, ImageFrame* b)
{
    const Neighbor* link = a && b ? a->FindNeighbor(b) : nullptr;
    if (link && link->IsMerged()) return kMergedColour;
    if (link && link->IsBlocked()) return kBlockedColour;
    return kOpenColour;
}

COLORREF Background() { return GetSysColor(COLOR_BTNFACE); }

SuperManager* Manager() { return GetSuperManager(); }

bool ManagerBusy()
{
    SuperManager* manager = Manager();
    return manager && manager->IsBusy();
}

}  // namespace

// ---- Drops from the image browser -------------------------------------------------

DROPEFFECT TrayDropTarget::OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point)
{
    return OnDragOver(window, data, keyState, point);
}

DROPEFFECT TrayDropTarget::OnDragOver(CWnd* /*window*/, COleDataObject* /*data*/, DWORD keyState, CPoint /*point*/)
{
    return (keyState & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
}

BOOL TrayDropTarget::OnDrop(CWnd* /*window*/, COleDataObject* data, DROPEFFECT /*effect*/, CPoint point)
{
    return m_row->TrayDrop(data, point) ? TRUE : FALSE;
}

bool ImageTray::TrayDrop(COleDataObject* data, POINT point)
{
    if (!data || !data->IsDataAvailable(CF_TEXT)) return false;
    HGLOBAL block = data->GetGlobalData(CF_TEXT);
    if (!block) return false;
    // The text must end inside the block: an unterminated block is refused
    // rather than read past its end.
    const size_t size = GlobalSize(block);
    const auto* text = static_cast<const char*>(GlobalLock(block));
    const size_t wanted = std::strlen(kBrowserDropText) + 1;
    const bool ours = text && size >= wanted && std::memcmp(text, kBrowserDropText, wanted) == 0;
    GlobalUnlock(block);
    GlobalFree(block);
    if (!ours) return false;
    const int code = TrayHitTest(point);
    if (code != kHitLink && code != kHitLeftHalf && code != kHitRightHalf && code != kHitLoopLink) return false;
    if (SuperManager* manager = Manager()) manager->NotifyBrowserOfDrop(ToHost(point));
    return true;
}

// ---- Window -----------------------------------------------------------------------

ImageTray::~ImageTray()
{
    m_dropTarget.Revoke();
    if (m_hWnd) DestroyWindow();
}

BOOL ImageTray::Create(const RECT& rect, CWnd* parent, UINT id)
{
    m_x = rect.left;
    m_y = rect.top;
    m_width = rect.right - rect.left;
    m_height = rect.bottom - rect.top;
    return CWnd::Create(nullptr, "", WS_CHILD | WS_VISIBLE | WS_DLGFRAME, rect, parent, id);
}

int ImageTray::OnCreate(LPCREATESTRUCT cs)
{
    if (CWnd::OnCreate(cs) == -1) return -1;
    m_dropTarget.Register(this);
    return 0;
}

BOOL ImageTray::OnEraseBkgnd(CDC* /*dc*/)
{
    return TRUE;  // OnPaint covers the whole row
}

// ---- Layout -----------------------------------------------------------------------

void ImageTray::Layout()
{
    TrayState& s = *m_shared;
    ImageChain* chain = s.chain;
    if (!chain) return;
    ImageTray* row = this;
    row->m_usedWidth = row->m_height = row->m_first = row->m_count = 0;
    int maxUsed = 0;
    for (int i = 0; i < chain->GetCount(); ++i) {
        ImageFrame* frame = chain->GetFrame(i);
        const int w = StampWidth(frame);
        const int h = StampHeight(frame);
        if (row->m_count >= s.minPerRow && row->m_usedWidth + w + s.gapX > row->m_width) {
            maxUsed = std::max(maxUsed, row->m_usedWidth);
            const int y = row->m_y + row->m_height + s.gapY;
            ImageTray* next = row->m_next;
            if (!next) next = m_host->AppendRow(RECT{row->m_x, y, row->m_x + row->m_width, y + h + 4});
            if (!next) break;
            next->m_x = row->m_x;
            next->m_y = y;
            next->m_width = row->m_width;
            next->m_first = i;
            next->m_count = 1;
            next->m_usedWidth = w + s.gapX;
            next->m_height = h + 4;
            row = next;
        } else {
            ++row->m_count;
            row->m_usedWidth += w + s.gapX;
            row->m_height = std::max(row->m_height, h + 4);
        }
    }
    maxUsed = std::max(maxUsed, row->m_usedWidth);
    m_host->DropRowsAfter(row);

    const bool empty = chain->GetCount() == 0;
    s.contentWidth = empty ? m_width : maxUsed;
    s.contentHeight = empty ? m_height : row->m_y + row->m_height - m_y;

    bool horizontal = false, vertical = false;
    m_host->GetScrollNeeds(&horizontal, &vertical);
    if (!horizontal)
        s.origin = 0;
    else if (s.origin + s.contentWidth < m_width)
        s.origin = std::min(0, m_width - s.contentWidth);
    int top = m_y;
    if (!vertical)
        top = ImageTrayHost::kMarginTop;
    else if (m_y + s.contentHeight < m_host->ClientHeight())
        top = std::min(ImageTrayHost::kMarginTop, m_host->ClientHeight() - s.contentHeight);
    const int shift = top - m_y;
    for (ImageTray* r = this; r; r = r->m_next) r->m_y += shift;

    // Stamp locations: x along the continuous strip, origin included.
    int p = s.origin;
    for (int i = 0; i < chain->GetCount(); ++i) {
        ImageFrame* frame = chain->GetFrame(i);
        frame->SetStampLocation(static_cast<short>(p), 0);
        p += StampWidth(frame) + s.gapX;
    }
}

bool ImageTray::InsertAt(ImageFrame* frame, POINT point)
{
    ImageChain* chain = m_shared->chain;
    if (!frame || !chain || point.x < 0 || point.x >= m_width) return false;
    ImageTray* row = this;
    int y = point.y;
    while (row && y > row->m_height) {
        y -= row->m_height + m_shared->gapY;
        if (y < 0) return false;
        row = row->m_next;
    }
    if (!row || y < 0) return false;
    const int code = row->TrayHitTest(POINT{point.x, y});
    int index = -1;
    switch (code) {
    case kHitLink:
    case kHitRightHalf:
        index = m_shared->hitIndex + 1;
        break;
    case kHitLeftHalf:
        index = m_shared->hitIndex;
        break;
    case kHitLoopLink:
        index = row->m_first + row->m_count;
        break;
    default:
        return false;
    }
    if (index < 0 || index > chain->GetCount() || chain->Insert(frame, static_cast<unsigned short>(index)) < 0)
        return false;
    Layout();
    return true;
}

int ImageTray::TrayHitTest(POINT point)
{
    TrayState& s = *m_shared;
    s.hitIndex = -1;
    s.hitFrame = nullptr;
    if (point.x < 0 || point.x > m_width) return kHitNothing;
    if (point.y < 0 || point.y > m_height) return kHitOutside;
    if (point.x < s.origin || m_count == 0 || !s.chain) return kHitNothing;
    const int last = s.chain->GetCount() - 1;
    const int band = (m_height - 6) / 2;
    const bool inBand = band < point.y && point.y <= band + 6;
    auto hit = [&](int index) {
        s.hitIndex = index;
        s.hitFrame = s.chain->GetFrame(index);
    };
    int left = s.origin;
    for (int k = 0; k < m_count; ++k) {
        const int index = m_first + k;
        const int w = StampWidth(s.chain->GetFrame(index));
        const int right = left + w;
        if (point.x < right - 5) {
            hit(index);
            return point.x >= right - w / 2 ? kHitRightHalf : kHitLeftHalf;
        }
        const int nextLeft = right + s.gapX;
        if (point.x < nextLeft + 5) {
            hit(index);
            if (index == last) return inBand ? kHitLoopLink : kHitLastGap;
            return inBand ? kHitLink : kHitGap;
        }
        left = nextLeft;
    }
    const int index = m_first + m_count - 1;
    hit(index);
    if (index == last) return kHitLoopLink;
    return inBand ? kHitLink : kHitGap;
}

ImageTray* ImageTray::FindRow(POINT point, POINT* inRow)
{
    const POINT host = ToHost(point);
    for (ImageTray* row = m_host->GetFirstRow(); row; row = row->m_next)
        if (host.y >= row->m_y && host.y <= row->m_y + row->m_height) {
            *inRow = row->FromHost(host);
            return row;
        }
    return nullptr;
}

POINT ImageTray::ToHost(POINT point) const
{
    ClientToScreen(&point);
    m_host->ScreenToClient(&point);
    return point;
}

POINT ImageTray::FromHost(POINT point) const
{
    m_host->ClientToScreen(&point);
    ScreenToClient(&point);
    return point;
}

RECT ImageTray::ThumbRect(int k) const
{
    TrayState& s = *m_shared;
    int left = s.origin;
    for (int j = 0; j < k; ++j) left += StampWidth(s.chain->GetFrame(m_first + j)) + s.gapX;
    ImageFrame* frame = s.chain->GetFrame(m_first + k);
    const int w = StampWidth(frame), h = StampHeight(frame);
    const int top = (m_height - h - 4) / 2;
    return RECT{left, top, left + w, top + h};
}

// ---- Painting ---------------------------------------------------------------------

void ImageTray::OnPaint()
{
    CPaintDC dc(this);
    TrayState& s = *m_shared;
    const COLORREF background = Background();
    if (m_count == 0 || !s.chain) {
        dc.FillSolidRect(0, 0, m_width, m_height, background);
        return;
    }
    const int oldMode = dc.SetBkMode(TRANSPARENT);
    int x = s.origin;
    std::vector<unsigned char> scratch;
    for (int k = 0; k < m_count && x <= m_width; ++k) {
        const int index = m_first + k;
        ImageFrame* frame = s.chain->GetFrame(index);
        Image* stamp = frame->GetStampBmp();
        const int w = StampWidth(frame), h = StampHeight(frame);
        if (x + w >= 0) {
            const int top = (m_height - h - 4) / 2;
            if (top > 0) {
                dc.FillSolidRect(x, 0, w, top, background);
                dc.FillSolidRect(x, top + h, w, m_height - top - h, background);
            }
            BITMAPINFO* info = stamp ? FillBmpInfo(stamp) : nullptr;
            const unsigned char* pixels = stamp ? DibRows(stamp, scratch) : nullptr;
            if (info && pixels)
                SetDIBitsToDevice(&dc, x, top, w, h, 0, 0, 0, h, pixels, info, DIB_RGB_COLORS);
            const std::string number = std::to_string(index + 1);
            dc.SetTextColor(kNumberColour);
            dc.TextOut(x + 2, 2, number);
            const char* name = frame->GetShortName();
            if ((s.state & kTrayShowNames) && name) {
                const std::string text(name);
                dc.SetTextColor(kNameColour);
                if (text.size() > kNameSplitLength) {
                    dc.TextOut(x + 25, 2, text.substr(0, text.size() / 2));
                    dc.TextOut(x + 25, 10, text.substr(text.size() / 2));
                } else {
                    dc.TextOut(x + 25, 2, text);
                }
            }
        }
        dc.FillSolidRect(x + w, 0, s.gapX, m_height, background);
        x += w + s.gapX;
    }
    if (x < m_width) dc.FillSolidRect(x, 0, m_width - x, m_height, background);
    dc.SetBkMode(oldMode);
    TrayDrawLinks(dc);
}

void ImageTray::TrayDrawLinks(CDC& dc)
{
    TrayState& s = *m_shared;
    ImageChain* chain = s.chain;
    if (!chain || m_count == 0) return;
    const int y = (m_height - 4) / 2;
    int x = s.origin + StampWidth(chain->GetFrame(m_first));
    for (int k = 1; k <= m_count && x <= m_width; ++k) {
        const int index = m_first + k;
        if (index >= chain->GetCount()) break;
        if (x + s.gapX > 0) {
            CPen pen(PS_SOLID, kLinkPenWidth, LinkColour(chain->GetFrame(index - 1), chain->GetFrame(index)));
            CPen* old = dc.SelectObject(&pen);
            dc.MoveTo(x, y);
            dc.LineTo(x + s.gapX, y);
            dc.SelectObject(old);
        }
        x += s.gapX + StampWidth(chain->GetFrame(index));
    }
    const int count = chain->GetCount();
    if (m_first + m_count == count && chain->IsLoop() && chain->GetFrame(0) != chain->GetFrame(count - 1))
        DrawLoopArrow(dc, x, y);
}

void ImageTray::DrawLoopArrow(CDC& dc, int x, int y)
{
    ImageChain* chain = m_shared->chain;
    CPen pen(PS_SOLID, kArrowPenWidth, LinkColour(chain->GetFrame(0), chain->GetFrame(chain->GetCount() - 1)));
    CPen* old = dc.SelectObject(&pen);
    dc.MoveTo(x, y);
    dc.LineTo(x + 6, y);
    dc.LineTo(x + 6, y - 10);
    dc.LineTo(x + 3, y - 7);
    dc.MoveTo(x + 6, y - 10);
    dc.LineTo(x + 9, y - 7);
    dc.SelectObject(old);
}

void ImageTray::DrawDragRectIn(ImageTray* row)
{
    const RECT& r = m_shared->dragRect;
    CClientDC dc(row);
    CPen pen(PS_DASH, 1, RGB(255, 255, 255));
    const int oldRop = dc.SetROP2(R2_NOT);
    CPen* oldPen = dc.SelectObject(&pen);
    const POINT topLeft = row->FromHost(POINT{r.left, r.top});
    const POINT bottomRight = row->FromHost(POINT{r.right, r.bottom});
    const POINT outline[5] = {topLeft, {bottomRight.x, topLeft.y}, bottomRight, {topLeft.x, bottomRight.y}, topLeft};
    dc.Polyline(outline, 5);
    dc.SelectObject(oldPen);
    dc.SetROP2(oldRop);
}

void ImageTray::DrawDragRect()
{
    const RECT& r = m_shared->dragRect;
    if (r.right <= r.left || r.bottom <= r.top) return;
    DrawDragRectIn(this);
    if (m_prev && r.top < m_y - m_shared->gapY) DrawDragRectIn(m_prev);
    if (m_next && r.bottom > m_y + m_height + m_shared->gapY) DrawDragRectIn(m_next);
}

// ---- Mouse ------------------------------------------------------------------------

void ImageTray::OnLButtonDown(UINT /*flags*/, CPoint point)
{
    if (ManagerBusy()) return;
    TrayState& s = *m_shared;
    const int code = TrayHitTest(point);
    if (code == kHitLink || code == kHitLoopLink) {
        PairMenu(code, point);
        return;
    }
    if (code != kHitLeftHalf && code != kHitRightHalf) return;
    s.state |= kTrayDragging;
    s.pressPoint = s.lastPoint = ToHost(point);
    s.frameA = s.hitFrame;
    s.indexA = s.hitIndex;
    const RECT thumb = ThumbRect(s.indexA - m_first);
    const POINT topLeft = ToHost(POINT{thumb.left, thumb.top});
    s.dragRect = RECT{topLeft.x, topLeft.y, topLeft.x + thumb.right - thumb.left, topLeft.y + thumb.bottom - thumb.top};
    DrawDragRect();
    SetCapture();
    if (SuperManager* manager = Manager()) {
        if (manager->IsBrightnessDialogOpen()) manager->ShowBrightnessDialog(1, s.frameA);
        ShowExifInfoDialog(s.frameA, false);
    }
}

void ImageTray::OnMouseMove(UINT /*flags*/, CPoint point)
{
    TrayState& s = *m_shared;
    if (!(s.state & kTrayDragging)) {
        const int code = TrayHitTest(point);
        const bool onLink = code == kHitLink || code == kHitLoopLink;
        SetCursor(onLink ? LoadResourceCursor(kLinkCursor) : LoadStandardCursor(IDC_ARROW));
        return;
    }
    const POINT host = ToHost(point);
    RECT client{};
    m_host->GetClientRect(&client);
    const bool inside = host.x >= client.left && host.x < client.right && host.y >= client.top && host.y < client.bottom;
    const bool tool = (s.state & kTrayToolMask) != 0;
    if (!inside && !tool) {
        SetCursor(LoadResourceCursor(kRemoveCursor));
        s.state |= kTrayRemoveCursor;
    } else if (inside && (s.state & kTrayRemoveCursor)) {
        s.state &= ~kTrayRemoveCursor;
        SetCursor(LoadStandardCursor(IDC_ARROW));
    }
    if (!tool) {
        DrawDragRect();
        const int dx = host.x - s.lastPoint.x, dy = host.y - s.lastPoint.y;
        s.dragRect = RECT{s.dragRect.left + dx, s.dragRect.top + dy, s.dragRect.right + dx, s.dragRect.bottom + dy};
        DrawDragRect();
    }
    s.lastPoint = host;
}

void ImageTray::OnLButtonUp(UINT flags, CPoint point)
{
    TrayState& s = *m_shared;
    if (!(s.state & kTrayDragging)) return;
    s.state &= ~kTrayDragging;
    DrawDragRect();
    s.dragRect = RECT{0, 0, 0, 0};
    const uint32_t tool = s.state & kTrayToolMask;
    const POINT host = ToHost(point);
    RECT client{};
    m_host->GetClientRect(&client);
    const bool inside = host.x >= client.left && host.x < client.right && host.y >= client.top && host.y < client.bottom;
    if (tool) {
        const int code = TrayHitTest(point);
        if ((code == kHitLeftHalf || code == kHitRightHalf) && s.hitFrame == s.frameA && s.frameA) {
            const int angle = tool == kTrayToolRotateLeft ? -90 : 90;
            // A turned image invalidates every result of its pairs, the
            // feature markers included.
            if (flags & (MK_SHIFT | MK_CONTROL)) {
                RotateAll(angle);
                s.chain->ResetPairStates(true, true, 0, -1, true);
            } else {
                s.frameA->RotateImage(angle);
                s.chain->ResetPairStates(true, true, s.indexA, s.indexA, true);
            }
            AfterChainChange();
        }
    } else if (inside) {
        if (MoveDragged(point)) AfterChainChange();
    } else if (s.frameA) {
        RemoveDragged();
    }
    ReleaseCapture();
}

void ImageTray::RemoveDragged()
{
    TrayState& s = *m_shared;
    ImageChain* chain = s.chain;
    const int drag = s.indexA;
    if (!chain || drag < 0 || drag >= chain->GetCount() || chain->GetFrame(drag) != s.frameA) return;
    const bool end = drag == 0 || drag == chain->GetCount() - 1;
    const bool loop = chain->IsLoop();
    ImageFrame* frame = s.frameA;
    chain->RemoveData(drag);
    s.frameA = s.frameB = s.hitFrame = nullptr;
    s.indexA = s.indexB = s.hitIndex = -1;
    // The manager deletes the frame: nothing below may touch it.
    if (SuperManager* manager = Manager()) manager->RemoveImageFrame(frame, end && !loop);
    AfterChainChange();
    s.state &= ~kTrayRemoveCursor;
    SetCursor(LoadStandardCursor(IDC_ARROW));
    if (loop && !end && chain->GetCount() >= 4) return;
    m_host->SetLoop(false);
}

bool ImageTray::MoveDragged(POINT point)
{
    TrayState& s = *m_shared;
    ImageChain* chain = s.chain;
    if (!chain) return false;
    int code = TrayHitTest(point);
    if (code == kHitOutside) {
        POINT inRow{};
        ImageTray* row = FindRow(point, &inRow);
        if (!row) return false;
        code = row->TrayHitTest(inRow);
    }
    const int hit = s.hitIndex, drag = s.indexA;
    if (hit < 0 || drag < 0 || hit == drag) return false;
    int target = -1;
    switch (code) {
    case kHitLink:
    case kHitRightHalf:
    case kHitLoopLink:
        target = hit >= drag ? hit : hit + 1;
        break;
    case kHitLeftHalf:
        target = hit >= drag ? hit - 1 : hit;
        break;
    default:
        return false;
    }
    if (target == drag || target < 0 || target >= chain->GetCount()) return false;
    return chain->MoveData(drag, target);
}

void ImageTray::RotateAll(int angle)
{
    ImageChain* chain = m_shared->chain;
    for (int i = 0; chain && i < chain->GetCount(); ++i) chain->GetFrame(i)->RotateImage(angle);
}

void ImageTray::AfterChainChange()
{
    ImageTray* first = m_host->GetFirstRow();
    first->Layout();
    m_host->MoveRows();
    m_host->SendMessage(WM_TRAY_CHANGED);
    m_host->Refresh(true);
    if (SuperManager* manager = Manager()) manager->RefreshOverlapDialog();
}

void ImageTray::OnLButtonDblClk(UINT /*flags*/, CPoint point)
{
    if (m_shared->state & kTrayToolMask) return;
    const int code = TrayHitTest(point);
    if (code == kHitLeftHalf || code == kHitRightHalf) ShowFullSize(m_shared->hitFrame);
}

void ImageTray::OnRButtonDown(UINT /*flags*/, CPoint point)
{
    TrayState& s = *m_shared;
    const int code = TrayHitTest(point);
    if (code == kHitLeftHalf || code == kHitRightHalf) {
        s.frameA = s.hitFrame;
        s.indexA = s.hitIndex;
        ShowMenu(kImageMenu, point);
    } else if (code == kHitLink || code == kHitLoopLink) {
        PairMenu(code, point);
    }
}

void ImageTray::PairMenu(int code, POINT point)
{
    TrayState& s = *m_shared;
    ImageChain* chain = s.chain;
    if (!chain || (code == kHitLoopLink && !chain->IsLoop())) return;
    const int ia = s.hitIndex;
    const int ib = code == kHitLink ? ia + 1 : 0;
    ImageFrame* a = s.hitFrame;
    ImageFrame* b = chain->GetFrame(ib);
    if (!a || !b || a == b) return;
    const Neighbor* link = a->FindNeighbor(b);
    const bool adjustable = (link && (link->IsMerged() || link->IsBlocked())) || a->IsMerged() || b->IsMerged() ||
                            (code == kHitLink && ia == 0);
    if (!adjustable) return;
    s.frameA = a;
    s.frameB = b;
    s.indexA = ia;
    s.indexB = ib;
    ShowMenu(kPairMenu, point);
}

void ImageTray::ShowMenu(UINT menuId, POINT point)
{
    CMenu menu;
    if (!menu.LoadMenu(menuId)) {
        Logger::log("ERROR ImageTray::ShowMenu: menu %u cannot be loaded", 1, menuId);
        return;
    }
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup) return;
    TrayState& s = *m_shared;
    if (menuId == kPairMenu) {
        int mode = -1;
        SuperManager* manager = Manager();
        if (manager && manager->GetPairBlendMode(s.frameA, s.frameB, &mode) && mode >= 0 && mode <= 2) {
            static const UINT kModeItems[3] = {33014, 33016, 33018};
            for (int i = 0; i < popup->GetMenuItemCount(); ++i)
                if (CMenu* sub = popup->GetSubMenu(i)) sub->CheckMenuItem(kModeItems[mode], MF_BYCOMMAND | MF_CHECKED);
        }
    } else if (menuId == kImageMenu && (s.state & kTrayShowNames)) {
        popup->ModifyMenu(33027, MF_BYCOMMAND | MF_STRING, 33027, "Hide Image Names");
    }
    POINT screen = point;
    ClientToScreen(&screen);
    popup->TrackPopupMenu(TPM_CENTERALIGN | TPM_RIGHTBUTTON, screen.x, screen.y - 10, this);
}

BOOL ImageTray::OnCommand(WPARAM wParam, LPARAM lParam)
{
    TrayState& s = *m_shared;
    SuperManager* manager = Manager();
    switch (LOWORD(wParam)) {
    case 32899:
        if (manager) manager->ShowBrightnessDialog(1, s.frameA);
        return TRUE;
    case 33172:
        ShowExifInfoDialog(s.frameA, true);
        return TRUE;
    case 32900:
        ShowFullSize(s.frameA);
        return TRUE;
    case 33027:
        s.state ^= kTrayShowNames;
        m_host->Refresh(true);
        return TRUE;
    case 33013:
        if (manager) manager->AdjustImagePair(s.frameA, s.frameB);
        return TRUE;
    case 33014:
    case 33016:
    case 33018:
        if (manager) manager->SetPairBlendMode(s.frameA, s.frameB, static_cast<uint8_t>((LOWORD(wParam) - 33014) / 2));
        return TRUE;
    default:
        return CWnd::OnCommand(wParam, lParam);
    }
}

void ImageTray::ShowFullSize(ImageFrame* frame)
{
    if (!frame) return;
    Image* copy = nullptr;
    if (frame->GetImage() && !frame->IsBeamDown()) {
        copy = frame->GetImage()->Duplicate();  // comes with its creator's reference
    } else {
        if (LoadImage(frame->GetName(), &copy) != 1 || !copy) {
            ReleaseImage(copy);
            return;
        }
        if (const int angle = frame->GetImageRotationAngle()) copy->Rotate(angle);
    }
    if (!copy) return;
    Utilities::RaiseZeroPixels(copy);
    OpenImageWindow(copy, frame->GetName());
    ReleaseImage(copy);
}
