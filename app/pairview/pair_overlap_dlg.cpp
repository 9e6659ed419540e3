#include "app/pairview/pair_overlap_dlg.h"

#include "app/control/image_chain.h"
#include "app/control/super_manager.h"
#include "app/shell/main_frame.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/mapproj/one_img_rs.h"
#include "platform/win/controls.h"
#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"
#include "viewkit/bmp_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kScrollBarHeight = 17;  // the horizontal scroll bar below the strip
constexpr COLORREF kPairColour = RGB(0, 255, 0);
constexpr COLORREF kOtherColour = RGB(255, 0, 0);

// Overlap fractions of a's link to b, or the defaults without a link.
void LinkOverlap(ImageFrame* a, ImageFrame* b, float& h, float& v)
{
    Neighbor* link = a && b ? a->FindNeighbor(b) : nullptr;
    if (link) {
        h = link->GetOverlapH();
        v = link->GetOverlapV();
        return;
    }
    const PAIR_ALIGN_INIT_SETTING* setting = Neighbor::GetPairAlignInitSetting();
    h = setting->overlapH;
    v = setting->overlapV;
}

void Hold(Image*& slot, Image* image)
{
    if (image) RefAdd(image);
    RefRelease(slot);
    slot = image;
}

Image* NewCanvas(int w, int h)
{
    auto* image = new Image(std::max(w, 1), std::max(h, 1), 3);
    if (image->BmpInit() != 0 || !image->GetData()) {
        Logger::log("ERROR COverlapPreviewWnd: cannot make a %dx%d composite", 1, w, h);
        RefRelease(image);
        return nullptr;
    }
    image->Clear();
    return image;
}

}  // namespace

// ---- Preview ------------------------------------------------------------------------

COverlapPreviewWnd::COverlapPreviewWnd(CPairOverlapDlg* owner) : m_owner(owner) {}

COverlapPreviewWnd::~COverlapPreviewWnd()
{
    Hold(m_composite, nullptr);
}

const win::MessageMap* COverlapPreviewWnd::GetMessageMap() const
{
    static const win::MessageMap map(CWnd::GetMessageMap(),
                                     {
                                         win::on::Command(kShowCurrentPair, &COverlapPreviewWnd::OnShowCurrent),
                                         win::on::Command(kShowAllPairs, &COverlapPreviewWnd::OnShowAll),
                                     });
    return &map;
}

ImageFrame* COverlapPreviewWnd::Frame(int index) const
{
    if (!m_frames || m_count <= 0) return nullptr;
    return index == m_count ? m_frames[0] : (index >= 0 && index < m_count ? m_frames[index] : nullptr);
}

Image* COverlapPreviewWnd::Warped(ImageFrame* frame) const
{
    if (!frame) return nullptr;
    if (Image* warped = frame->GetWarpedBmp()) return warped;
    Image* stamp = frame->GetStampBmp();
    if (!stamp) return nullptr;  // placed with its nominal size
    SuperManager* manager = GetSuperManager();
    const float focal = manager ? manager->GetStitchSettings()->focalLength : 35.0f;
    Image* warped = COneImgRS::ImgToImgWM(stamp, focal, 0, 0, 0, 1.0f);
    if (!warped) return nullptr;
    frame->SetWarpedImage(warped);
    RefRelease(warped);
    return frame->GetWarpedBmp();
}

SIZE COverlapPreviewWnd::FrameSize(ImageFrame* frame) const
{
    if (Image* warped = Warped(frame)) return SIZE{warped->GetWidth(), warped->GetHeight()};
    // A frame without a stamp: the stamp size setting, 4 by 3.
    SuperManager* manager = GetSuperManager();
    const int size = manager && manager->GetStampSize() > 0 ? manager->GetStampSize() : 100;
    return SIZE{size, size * 3 / 4};
}

RECT COverlapPreviewWnd::FrameRect(int index) const
{
    ImageFrame* frame = Frame(index);
    if (!frame) return RECT{0, 0, 0, 0};
    POINT at = m_loopPos;
    if (index < m_count) {
        short x = 0, y = 0;
        frame->GetOverlapWndLocation(&x, &y);
        at = POINT{x, y};
    }
    const SIZE size = FrameSize(frame);
    return RECT{at.x, at.y, at.x + size.cx, at.y + size.cy};
}

void COverlapPreviewWnd::SetFrames(ImageFrame** frames, int count, bool loop)
{
    m_frames = frames;
    m_count = frames ? count : 0;
    m_loop = loop;
    m_pair = std::clamp(m_pair, 1, std::max(1, m_loop ? m_count : m_count - 1));
    LayOut(true);
    Compose();
}

void COverlapPreviewWnd::LayOut(bool force)
{
    if (m_count < 1) return;
    ImageFrame* first = m_frames[0];
    if (force) first->SetOverlapState(false);
    auto place = [&](ImageFrame* previous, ImageFrame* next, POINT at) {
        const SIZE size = FrameSize(previous);
        float h = 0, v = 0;
        LinkOverlap(previous, next, h, v);
        return POINT{at.x + static_cast<int>(size.cx * (1.0f - h)), at.y + static_cast<int>(size.cy * v)};
    };
    POINT at{0, 0};
    if (!first->IsOverlapStateSet()) {
        first->SetOverlapWndLocation(0, 0);
        first->SetOverlapState(true);
        for (int i = 1; i < m_count; ++i) {
            at = place(m_frames[i - 1], m_frames[i], at);
            m_frames[i]->SetOverlapWndLocation(static_cast<short>(at.x), static_cast<short>(at.y));
            m_frames[i]->SetOverlapState(true);
        }
    } else {
        const RECT last = FrameRect(m_count - 1);
        at = POINT{last.left, last.top};
    }
    if (m_loop && m_count > 1) m_loopPos = place(m_frames[m_count - 1], first, at);
}

void COverlapPreviewWnd::ComposeInto(Image* target, int fromIndex, int toIndex, POINT shift, bool dragPart)
{
    const int k = m_pair;
    const int last = m_loop && m_count > 1 ? m_count : m_count - 1;
    for (int i = fromIndex; i <= std::min(toIndex, last); ++i) {
        Image* warped = Warped(Frame(i));
        if (!warped || warped->GetChannels() != 3) continue;  // nothing to draw: the frame keeps its place
        const RECT r = FrameRect(i);
        const bool inPair = i == k - 1 || i == k;
        float opacity = m_currentOnly ? 0.25f : 1.0f;
        if (m_currentOnly && inPair) {
            if (!dragPart) continue;  // laid on as a pair below
            opacity = 1.0f;           // while dragging both images of the pair show opaque
        }
        target->OverlapImage(r.left + shift.x, r.top + shift.y, warped, opacity);
    }
    if (!m_currentOnly || dragPart || k - 1 < fromIndex || k > toIndex) return;
    // The current pair: the left one copied into a canvas spanning both,
    // the right one laid over it, the whole laid on at 0.75.
    Image* left = Warped(Frame(k - 1));
    Image* right = Warped(Frame(k));
    const RECT lr = FrameRect(k - 1), rr = FrameRect(k);
    const int span = std::max(lr.right, rr.right) - lr.left;
    Image* pair = NewCanvas(span, lr.bottom - lr.top);
    if (!pair) return;
    if (left && left->GetChannels() == 3) pair->OverlapImage(0, 0, left, 1.0f);
    if (right && right->GetChannels() == 3) pair->OverlapImage(rr.left - lr.left, rr.top - lr.top, right, 1.0f);
    target->OverlapImage(lr.left + shift.x, lr.top + shift.y, pair, 0.75f);
    RefRelease(pair);
}

void COverlapPreviewWnd::Compose()
{
    if (m_count < 1) return;
    const int last = m_loop && m_count > 1 ? m_count : m_count - 1;
    const RECT firstRect = FrameRect(0);
    int right = FrameRect(last).right;
    for (int i = 0; i <= last; ++i) right = std::max<int>(right, FrameRect(i).right);
    Image* composite = NewCanvas(right - firstRect.left, firstRect.bottom - firstRect.top);
    if (!composite) return;
    ComposeInto(composite, 0, last, POINT{0, 0}, false);
    Hold(m_composite, composite);
    RefRelease(composite);
}

void COverlapPreviewWnd::ComposeDragged(POINT offset)
{
    if (!m_composite) return;
    const int last = m_loop && m_count > 1 ? m_count : m_count - 1;
    Image* composite = NewCanvas(m_composite->GetWidth(), m_composite->GetHeight());
    if (!composite) return;
    // The fixed part, then the moving part (frames k and after) shifted.
    const int k = m_pair;
    ComposeInto(composite, 0, k - 1, POINT{0, 0}, true);
    ComposeInto(composite, k, last, offset, true);
    Hold(m_composite, composite);
    RefRelease(composite);
}

void COverlapPreviewWnd::SetCurrentPairOnly(bool on)
{
    if (m_currentOnly == on) return;
    m_currentOnly = on;
    Compose();
    if (GetSafeHwnd()) Invalidate(FALSE);
}

void COverlapPreviewWnd::OnShowCurrent()
{
    SetCurrentPairOnly(true);
}

void COverlapPreviewWnd::OnShowAll()
{
    SetCurrentPairOnly(false);
}

int COverlapPreviewWnd::CompositeLeft() const
{
    RECT client{};
    GetClientRect(&client);
    const int width = m_composite ? m_composite->GetWidth() : 0;
    return width <= client.right ? (client.right - width) / 2 : -GetScrollOffset();
}

int COverlapPreviewWnd::MaxScrollOffset() const
{
    if (!m_composite || !GetSafeHwnd()) return 0;
    RECT client{};
    GetClientRect(&client);
    return std::max(0, m_composite->GetWidth() - static_cast<int>(client.right));
}

void COverlapPreviewWnd::UpdateScrollBar()
{
    if (!GetSafeHwnd()) return;
    m_scroll = GetScrollOffset();
    RECT client{};
    GetClientRect(&client);
    const int width = m_composite ? m_composite->GetWidth() : 0;
    // Range over the composite's columns, a page of the client width: the
    // highest position is the largest offset. A composite that fits hides it.
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
    if (width > client.right) {
        info.nMax = width - 1;
        info.nPage = static_cast<UINT>(std::max(static_cast<int>(client.right), 0));
        info.nPos = m_scroll;
    }
    SetScrollInfo(SB_HORZ, &info, TRUE);
}

void COverlapPreviewWnd::SetScrollOffset(int offset)
{
    m_scroll = offset;
    m_scroll = GetScrollOffset();
    if (!GetSafeHwnd()) return;
    UpdateScrollBar();
    Invalidate(FALSE);
}

void COverlapPreviewWnd::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    if (scrollCtrl) {
        CWnd::OnHScroll(code, pos, scrollCtrl);
        return;
    }
    RECT client{};
    GetClientRect(&client);
    constexpr int kLine = 16;  // pixels per arrow click
    int offset = GetScrollOffset();
    switch (code) {
    case SB_LINELEFT: offset -= kLine; break;
    case SB_LINERIGHT: offset += kLine; break;
    case SB_PAGELEFT: offset -= client.right; break;
    case SB_PAGERIGHT: offset += client.right; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: offset = static_cast<int>(pos); break;
    case SB_LEFT: offset = 0; break;
    case SB_RIGHT: offset = MaxScrollOffset(); break;
    default: return;  // SB_ENDSCROLL
    }
    SetScrollOffset(offset);
}

POINT COverlapPreviewWnd::ToComposite(POINT client) const
{
    return POINT{client.x - CompositeLeft(), client.y};
}

BOOL COverlapPreviewWnd::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void COverlapPreviewWnd::OnPaint()
{
    CPaintDC dc(this);
    RECT client{};
    GetClientRect(&client);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    if (!m_composite) {
        dc.FillSolidRect(0, 0, client.right, client.bottom, face);
        return;
    }
    const int left = CompositeLeft();
    const int w = m_composite->GetWidth(), h = m_composite->GetHeight();
    if (left > 0) dc.FillSolidRect(0, 0, left, client.bottom, face);
    if (left + w < client.right) dc.FillSolidRect(left + w, 0, client.right - left - w, client.bottom, face);
    if (h < client.bottom) dc.FillSolidRect(0, h, client.right, client.bottom - h, face);
    if (BITMAPINFO* info = FillBmpInfo(m_composite)) {
        std::vector<unsigned char> scratch;
        if (const unsigned char* rows = DibRows(m_composite, scratch))
            StretchDIBits(&dc, left, 0, w, h, 0, 0, w, h, rows, info, DIB_RGB_COLORS, SRCCOPY);
    }
    dc.SetBkMode(TRANSPARENT);
    const int last = m_loop && m_count > 1 ? m_count : m_count - 1;
    for (int i = 0; i <= last; ++i) {
        const RECT r = FrameRect(i);
        const COLORREF colour = (i == m_pair - 1 || i == m_pair) ? kPairColour : kOtherColour;
        CPen pen(PS_SOLID, 1, colour);
        CPen* previous = dc.SelectObject(&pen);
        const int x = r.left + left, top = r.top, bottom = r.bottom - 1;
        dc.MoveTo(x, top + 5);
        dc.LineTo(x, top);
        dc.LineTo(x + 5, top);
        dc.MoveTo(x, bottom - 5);
        dc.LineTo(x, bottom);
        dc.LineTo(x + 5, bottom);
        dc.SelectObject(previous);
        char label[16];
        std::snprintf(label, sizeof label, "%d", i == m_count ? 1 : i + 1);
        dc.SetTextColor(colour);
        dc.TextOut(x + 2, top + 2, label);
    }
    UpdateScrollBar();
}

POINT COverlapPreviewWnd::LimitedOffset(POINT point) const
{
    const RECT p = FrameRect(m_pair - 1);
    const RECT r = FrameRect(m_pair);
    const int pw = p.right - p.left, ph = p.bottom - p.top;
    int dx = point.x - m_press.x, dy = point.y - m_press.y;
    const int minLeft = p.left + static_cast<int>(kDragMinOverlapShift * pw);
    const int maxLeft = p.left + static_cast<int>(kDragMaxOverlapShift * pw) - 1;  // left of 0.9
    dx = std::clamp<int>(dx, minLeft - r.left, std::max<int>(minLeft, maxLeft) - r.left);
    const int limit = static_cast<int>(kDragVerticalLimit * ph);
    dy = std::clamp<int>(dy, p.top - limit - r.top, p.top + limit - r.top);
    return POINT{dx, dy};
}

void COverlapPreviewWnd::DrawOutline(POINT offset)
{
    if (!GetSafeHwnd()) return;
    CClientDC dc(this);
    RECT r = FrameRect(m_pair);
    const int left = CompositeLeft();
    CPen pen(PS_DOT, 1, RGB(255, 255, 255));
    CPen* previous = dc.SelectObject(&pen);
    const int rop = dc.SetROP2(R2_NOT);
    const POINT corners[5] = {{r.left + left + offset.x, r.top + offset.y},
                              {r.right + left + offset.x - 1, r.top + offset.y},
                              {r.right + left + offset.x - 1, r.bottom + offset.y - 1},
                              {r.left + left + offset.x, r.bottom + offset.y - 1},
                              {r.left + left + offset.x, r.top + offset.y}};
    dc.Polyline(corners, 5);
    dc.SetROP2(rop);
    dc.SelectObject(previous);
}

void COverlapPreviewWnd::OnLButtonDown(UINT, CPoint point)
{
    if (!m_composite || m_count < 2) return;
    const POINT c = ToComposite(point);
    if (c.x < 0 || c.y < 0 || c.x >= m_composite->GetWidth() || c.y >= m_composite->GetHeight()) return;
    const int last = m_loop ? m_count : m_count - 1;
    int hit = -1;
    for (int i = last; i >= 0 && hit < 0; --i) {
        const RECT r = FrameRect(i);
        if (c.x >= r.left && c.x < r.right && c.y >= r.top && c.y < r.bottom) hit = i;
    }
    if (hit <= 0) return;  // the first frame does not move
    m_pair = hit;
    m_press = point;
    m_last = point;
    m_dragging = true;
    DrawOutline(POINT{0, 0});
    if (m_owner) m_owner->SelectPair(m_pair - 1);
    SetCapture();
}

void COverlapPreviewWnd::OnMouseMove(UINT, CPoint point)
{
    if (!m_dragging) return;
    DrawOutline(LimitedOffset(m_last));
    m_last = point;
    const POINT offset = LimitedOffset(point);
    ComposeDragged(offset);
    Invalidate(FALSE);
    UpdateWindow();
    DrawOutline(offset);
}

void COverlapPreviewWnd::OnLButtonUp(UINT, CPoint point)
{
    if (!m_dragging) return;
    m_dragging = false;
    ReleaseCapture();
    const POINT offset = LimitedOffset(point);
    DrawOutline(LimitedOffset(m_last));
    const int k = m_pair;
    if (k < m_count) {
        for (int i = k; i < m_count; ++i) {
            short x = 0, y = 0;
            m_frames[i]->GetOverlapWndLocation(&x, &y);
            m_frames[i]->SetOverlapWndLocation(static_cast<short>(x + offset.x), static_cast<short>(y + offset.y));
        }
        m_loopPos.x += offset.x;
        m_loopPos.y += offset.y;
        const RECT p = FrameRect(k - 1), r = FrameRect(k);
        const float w = static_cast<float>(p.right - p.left), h = static_cast<float>(p.bottom - p.top);
        Neighbor* link = m_frames[k - 1]->FindNeighbor(m_frames[k]);
        if (!link) link = m_frames[k - 1]->AddNeighbor(m_frames[k]);
        if (link && w > 0 && h > 0) {
            link->SetOverlapH((p.right - r.left) / w);
            link->SetOverlapV((r.top - p.top) / h);
        }
    } else {
        // The loop pair: the last frame's link to the first is corrected by
        // the drag, measured on the last frame's warped size.
        m_loopPos.x += offset.x;
        m_loopPos.y += offset.y;
        ImageFrame* lastFrame = m_frames[m_count - 1];
        const SIZE size = FrameSize(lastFrame);
        Neighbor* link = lastFrame->FindNeighbor(m_frames[0]);
        if (!link) link = lastFrame->AddNeighbor(m_frames[0]);
        if (link && size.cx > 0 && size.cy > 0) {
            link->SetOverlapH(link->GetOverlapH() - static_cast<float>(offset.x) / size.cx);
            link->SetOverlapV(link->GetOverlapV() + static_cast<float>(offset.y) / size.cy);
        }
    }
    Compose();
    Invalidate(FALSE);
    if (m_owner) m_owner->SelectPair(k - 1);
}

void COverlapPreviewWnd::OnRButtonDown(UINT, CPoint point)
{
    CMenu menu;
    if (!menu.CreatePopupMenu()) return;
    menu.AppendMenu(MF_STRING, kShowCurrentPair, "Show curent pair only");
    menu.AppendMenu(MF_STRING, kShowAllPairs, "Show all pairs");
    ClientToScreen(&point);
    menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
}

// ---- Dialog -------------------------------------------------------------------------

CPairOverlapDlg::CPairOverlapDlg(CWnd* parent) : CDialog(kTemplateId, parent) {}

CPairOverlapDlg::~CPairOverlapDlg()
{
    if (COverlapPreviewWnd* preview = std::exchange(m_preview, nullptr)) {
        if (preview->GetSafeHwnd()) preview->DestroyWindow();
        delete preview;
    }
    FreeFrames();
}

const win::MessageMap* CPairOverlapDlg::GetMessageMap() const
{
    return CDialog::GetMessageMap();
}

void CPairOverlapDlg::FreeFrames()
{
    delete[] std::exchange(m_frames, nullptr);
    m_count = 0;
}

bool CPairOverlapDlg::TakeFrames()
{
    FreeFrames();
    SuperManager* manager = GetSuperManager();
    ImageChain* chain = manager ? manager->GetChain() : nullptr;
    uint32_t count = 0;
    bool loop = false;
    ImageFrame** frames = chain ? chain->GetFrameArray(&count, &loop) : nullptr;
    if (!frames || count < 2) {
        delete[] frames;
        return false;
    }
    m_frames = frames;
    m_count = static_cast<int>(count);
    m_loop = loop;
    return true;
}

void CPairOverlapDlg::FillList()
{
    auto* list = dynamic_cast<CComboBox*>(GetDlgItem(kPairList));
    if (!list) return;
    list->ResetContent();
    char text[32];
    for (int i = 1; i < m_count; ++i) {
        std::snprintf(text, sizeof text, " %d & %d", i, i + 1);
        list->AddString(text);
    }
    if (m_loop && m_count > 1) {
        std::snprintf(text, sizeof text, " %d & %d", m_count, 1);
        list->AddString(text);
    }
}

void CPairOverlapDlg::ShowOverlap(float overlap)
{
    const int value = static_cast<int>(overlap * 100.0f);
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kSlider))) slider->SetPos(value);
    char text[16];
    std::snprintf(text, sizeof text, "%2d", value);
    SetDlgItemText(kSliderValue, text);
}

void CPairOverlapDlg::ShowFocal(float focal)
{
    auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(kFocalCombo));
    if (!combo) return;
    const float entries[4] = {18, 24, 35, 38};
    for (int i = 0; i < 4; ++i)
        if (focal == entries[i]) {
            combo->SetCurSel(i);
            return;
        }
    char text[32];
    std::snprintf(text, sizeof text, "%5.2f", focal);
    combo->DeleteString(4);
    combo->InsertString(4, text);
    combo->SetCurSel(4);
}

BOOL CPairOverlapDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (!TakeFrames()) return FALSE;
    FillList();
    SuperManager* manager = GetSuperManager();
    if (auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(kFocalCombo))) {
        combo->ResetContent();
        for (const char* entry : {"18", "24", "35", "38", "  "}) combo->AddString(entry);
    }
    ShowFocal(manager ? manager->GetStitchSettings()->focalLength : 35.0f);
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kSlider))) {
        slider->SetRange(10, 85);
        slider->SetPageSize(1);
        slider->SetTicFreq(5);
    }
    ShowOverlap(Neighbor::GetPairAlignInitSetting()->overlapH);
    CheckRadioButton(kAllPairs, kOnePair, m_allPairs ? kAllPairs : kOnePair);
    if (CWnd* list = GetDlgItem(kPairList)) list->EnableWindow(!m_allPairs);

    CWnd* holder = GetDlgItem(kPlaceHolder);
    RECT place{10, 120, 400, 200};
    if (holder) {
        holder->GetWindowRect(&place);
        ScreenToClient(&place);
        holder->ShowWindow(SW_HIDE);
    }
    m_preview = new COverlapPreviewWnd(this);
    m_preview->SetFrames(m_frames, m_count, m_loop);
    Image* composite = m_preview->GetComposite();
    const int cw = composite ? composite->GetWidth() : 0, ch = composite ? composite->GetHeight() : 0;
    const int limit = GetSystemMetrics(SM_CXSCREEN) - 2 * place.left - 4;
    const int width = cw <= limit ? std::max<int>(place.right - place.left, cw) : limit;
    const RECT rect{place.left, place.top, place.left + width, place.top + ch + 2};
    if (!m_preview->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, rect, this,
                           COverlapPreviewWnd::kControlId)) {
        Logger::log("ERROR CPairOverlapDlg::OnInitDialog cannot make the preview", 1);
        m_preview = nullptr;  // a failed window deletes its object
    }
    ShowWindow(SW_SHOW);
    RECT own{};
    GetWindowRect(&own);
    const int dialogWidth = width + 4 + 2 * place.left;
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    const int x = dialogWidth < screen ? (screen - dialogWidth) / 2 : 0;
    const int height = place.top + ch + 10 + GetSystemMetrics(SM_CYCAPTION) + kScrollBarHeight;
    MoveWindow(x, own.top, dialogWidth, height);
    UpdateFocalCombo();
    return TRUE;
}

bool CPairOverlapDlg::FillPairList()
{
    if (auto* list = dynamic_cast<CComboBox*>(GetDlgItem(kPairList))) list->ResetContent();
    if (!TakeFrames()) return false;
    FillList();
    if (CWnd* holder = GetDlgItem(kPlaceHolder)) holder->ShowWindow(SW_HIDE);
    if (m_preview) {
        m_preview->SetFrames(m_frames, m_count, m_loop);
        m_preview->Invalidate(FALSE);
    }
    Invalidate(FALSE);
    return true;
}

void CPairOverlapDlg::ApplyFocalSetting(bool fromCombo)
{
    SuperManager* manager = GetSuperManager();
    if (!fromCombo && manager) ShowFocal(manager->GetStitchSettings()->focalLength);
    for (int i = 0; i < m_count; ++i) m_frames[i]->SetWarpedImage(nullptr);
    if (m_preview) {
        m_preview->SetFrames(m_frames, m_count, m_loop);
        if (m_preview->GetSafeHwnd()) m_preview->Invalidate(FALSE);
    }
    if (CWnd* combo = GetDlgItem(kFocalCombo)) combo->EnableWindow(fromCombo);
}

void CPairOverlapDlg::UpdateFocalCombo()
{
    SuperManager* manager = GetSuperManager();
    const char* name = manager ? manager->GetCamInfoFileName() : nullptr;
    const bool camInfo = name && *name && manager->GetCameraInfoFlag();
    if (CWnd* combo = GetDlgItem(kFocalCombo)) combo->EnableWindow(!camInfo);
}

void CPairOverlapDlg::SelectPair(int index)
{
    m_allPairs = false;
    CheckRadioButton(kAllPairs, kOnePair, kOnePair);
    auto* list = dynamic_cast<CComboBox*>(GetDlgItem(kPairList));
    if (list) {
        list->EnableWindow(TRUE);
        list->SetCurSel(index);
    }
    float h = 0, v = 0;
    if (SuperManager* manager = GetSuperManager()) manager->GetPairOverlap(index, &h, &v);
    ShowOverlap(h);
}

void CPairOverlapDlg::ApplyFocalText(const std::string& text)
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(kFocalCombo));
    float focal = 35.0f;
    if (text.empty() || text[0] == ' ') {
        if (combo) combo->SetCurSel(2);
    } else {
        char* end = nullptr;
        focal = std::strtof(text.c_str(), &end);
        if (end == text.c_str() || !(focal >= 10.0f && focal <= 100.0f)) {
            AfxMessageBox("Select focal length between 10 and 100 please.");
            char current[16];
            std::snprintf(current, sizeof current, "%d", static_cast<int>(manager->GetStitchSettings()->focalLength));
            if (combo) {
                combo->DeleteString(4);
                combo->InsertString(4, current);
            }
            return;
        }
    }
    if (focal == manager->GetStitchSettings()->focalLength) return;
    manager->GetStitchSettings()->focalLength = focal;
    ApplyFocalSetting(true);
}

void CPairOverlapDlg::OnOK()
{
    // Enter does not close the dialog: in the focal combo it applies what was typed.
    auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(kFocalCombo));
    CWnd* focus = CWnd::GetFocus();
    if (!combo || !(focus == combo || (focus && combo->IsChild(focus)))) return;
    std::string text = combo->GetWindowText();
    if (text.size() > 15) text.resize(15);
    int index = combo->FindStringExact(-1, text.c_str());
    if (index < 0) {
        combo->DeleteString(4);
        combo->InsertString(4, text.c_str());
        index = 4;
    }
    combo->SetCurSel(index);
    ApplyFocalText(text);
}

void CPairOverlapDlg::OnClose()
{
    SuperManager* manager = GetSuperManager();
    DestroyWindow();
    if (manager && manager->IsOverlapDialogOpen())
        manager->CloseOverlapDialog(true);  // deletes this dialog
    else
        delete this;
}

void CPairOverlapDlg::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    auto* slider = dynamic_cast<CSliderCtrl*>(scrollCtrl);
    if (!scrollCtrl) {
        // The dialog's own scroll bar: a line is 1, a page a tenth of the
        // range; the new position becomes the preview's offset.
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(SB_HORZ, &info, SIF_ALL);
        int position = info.nPos;
        const int page = (info.nMax - info.nMin) / 10;
        switch (code) {
        case SB_LINELEFT: position -= 1; break;
        case SB_LINERIGHT: position += 1; break;
        case SB_PAGELEFT: position -= page; break;
        case SB_PAGERIGHT: position += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: position = static_cast<int>(pos); break;
        default: return;
        }
        SetScrollPos(SB_HORZ, position);
        if (m_preview) m_preview->SetScrollOffset(GetScrollPos(SB_HORZ));
        return;
    }
    if (!slider) {
        CDialog::OnHScroll(code, pos, scrollCtrl);
        return;
    }
    const int value = (code == TB_THUMBTRACK || code == TB_THUMBPOSITION) ? static_cast<int>(pos) : slider->GetPos();
    char text[16];
    std::snprintf(text, sizeof text, "%2d", value);
    SetDlgItemText(kSliderValue, text);
    if (code != TB_ENDTRACK) return;
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    const float overlap = value / 100.0f;
    if (m_allPairs) {
        manager->SetPairOverlap(-1, overlap);
    } else {
        auto* list = dynamic_cast<CComboBox*>(GetDlgItem(kPairList));
        const int index = list ? list->GetCurSel() : -1;
        if (index < 0) return;
        manager->SetPairOverlap(index, overlap);
    }
    if (m_preview) {
        m_preview->LayOut(true);
        m_preview->Compose();
        if (m_preview->GetSafeHwnd()) m_preview->Invalidate(FALSE);
    }
}

void CPairOverlapDlg::OnSize(UINT type, int cx, int cy)
{
    CDialog::OnSize(type, cx, cy);
    if (!m_preview || !m_preview->GetSafeHwnd()) return;
    RECT r{};
    m_preview->GetWindowRect(&r);
    ScreenToClient(&r);
    m_preview->MoveWindow(r.left, r.top, std::max<int>(1, cx - 2 * r.left), r.bottom - r.top);
}

// The stored overlap of the pair chosen in the list, when one is chosen.
void CPairOverlapDlg::ShowSelectedPairOverlap(SuperManager* manager)
{
    auto* list = dynamic_cast<CComboBox*>(GetDlgItem(kPairList));
    const int index = list ? list->GetCurSel() : -1;
    if (index < 0 || !manager) return;
    float h = 0, v = 0;
    manager->GetPairOverlap(index, &h, &v);
    ShowOverlap(h);
}

BOOL CPairOverlapDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    SuperManager* manager = GetSuperManager();
    if (id == kAllPairs && code == BN_CLICKED) {
        m_allPairs = true;
        ShowOverlap(Neighbor::GetPairAlignInitSetting()->overlapH);
        if (CWnd* list = GetDlgItem(kPairList)) list->EnableWindow(FALSE);
        return TRUE;
    }
    if (id == kOnePair && code == BN_CLICKED) {
        m_allPairs = false;
        if (CWnd* list = GetDlgItem(kPairList)) list->EnableWindow(TRUE);
        ShowSelectedPairOverlap(manager);
        return TRUE;
    }
    if (id == kPairList && code == CBN_SELCHANGE) {
        ShowSelectedPairOverlap(manager);
        return TRUE;
    }
    if (id == kFocalCombo && code == CBN_SELCHANGE) {
        auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(kFocalCombo));
        const int index = combo ? combo->GetCurSel() : -1;
        if (index >= 0) {
            std::string text;
            combo->GetLBText(index, text);
            ApplyFocalText(text);
        }
        return TRUE;
    }
    if (id == kSettings && code == BN_CLICKED) {
        if (manager) manager->ShowStitchSettings(true);
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

// ---- Wiring -------------------------------------------------------------------------

namespace {

CDialog* CreateOverlapDialog()
{
    SuperManager* manager = GetSuperManager();
    (void)manager;
    CWnd* parent = AfxGetMainWnd();
    auto* dialog = new CPairOverlapDlg(parent);
    if (!dialog->Create(CPairOverlapDlg::kTemplateId, parent) || dialog->GetFrameCount() < 2) {
        if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
        delete dialog;
        return nullptr;
    }
    return dialog;
}

bool FillOverlapPairList(CDialog* dialog)
{
    auto* d = dynamic_cast<CPairOverlapDlg*>(dialog);
    return d && d->FillPairList();
}

void UpdateOverlapFocalCombo(CDialog* dialog)
{
    if (auto* d = dynamic_cast<CPairOverlapDlg*>(dialog)) d->UpdateFocalCombo();
}

void ApplyOverlapFocal(CDialog* dialog, int)
{
    if (auto* d = dynamic_cast<CPairOverlapDlg*>(dialog)) {
        d->ApplyFocalSetting(false);
        d->UpdateFocalCombo();
    }
}

}  // namespace

void InstallOverlapDialogHooks(SuperManager* manager)
{
    if (!manager) return;
    manager->SetOverlapDialogHooks({&CreateOverlapDialog, &FillOverlapPairList, &UpdateOverlapFocalCombo,
                                    &ApplyOverlapFocal});
}

void RegisterPairOverlapDialog()
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CPairOverlapDlg::kTemplateId;
    dialog.caption = "Set Image Pair Overlap";
    dialog.size = SIZE{520, 230};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.controls = {
        ControlTemplate(CPairOverlapDlg::kOverlapGroup, ControlKind::GroupBox, RECT{8, 4, 200, 60}, "Overlap"),
        ControlTemplate(CPairOverlapDlg::kSlider, ControlKind::Slider, RECT{14, 20, 150, 48}, "", WS_GROUP),
        ControlTemplate(CPairOverlapDlg::kSliderValue, ControlKind::Static, RECT{154, 26, 178, 42}, "40"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{180, 26, 194, 42}, "%"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{206, 4, 360, 60}, "Apply To"),
        ControlTemplate(CPairOverlapDlg::kAllPairs, ControlKind::RadioButton, RECT{212, 18, 290, 34}, "All Pairs", WS_GROUP),
        ControlTemplate(CPairOverlapDlg::kOnePair, ControlKind::RadioButton, RECT{212, 38, 290, 54}, "One Pair"),
        ControlTemplate(CPairOverlapDlg::kPairList, ControlKind::ComboDropList, RECT{292, 36, 356, 120}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{366, 4, 512, 60}, "Focal Length"),
        ControlTemplate(CPairOverlapDlg::kFocalCombo, ControlKind::ComboDropDown, RECT{372, 22, 430, 120}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{432, 26, 450, 42}, "mm"),
        ControlTemplate(CPairOverlapDlg::kSettings, ControlKind::PushButton, RECT{452, 22, 508, 44}, "Setting..."),
        ControlTemplate(CPairOverlapDlg::kPlaceHolder, ControlKind::Static, RECT{8, 66, 512, 220}, ""),
    };
    win::Resources::App().AddDialog(std::move(dialog));
}
