#include "app/shell/image_tray_host.h"

#include "app/control/image_chain.h"
#include "app/control/super_manager.h"
#include "app/shell/fendrake_app.h"
#include "app/views/image_loaders.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "platform/win/drag_drop.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "projectgraph/framegrp/image_frame.h"

#include <algorithm>
#include <string>

namespace {

constexpr UINT kLoopQuestion = 40014;
constexpr int kFirstRowHeight = 150;
constexpr int kFitExtraWidth = 20;
constexpr int kFitExtraHeight = 10;

SuperManager* Manager() { return GetSuperManager(); }

bool ManagerBusy()
{
    SuperManager* manager = Manager();
    return manager && manager->IsBusy();
}

}  // namespace

ImageTrayHost::ImageTrayHost() : m_chain(std::make_unique<ImageChain>())
{
    m_shared.chain = m_chain.get();
    m_shared.gapX = 5;
    m_shared.gapY = 15;
}

ImageTrayHost::~ImageTrayHost()
{
    m_rows.clear();
    if (m_hWnd) DestroyWindow();
}

BOOL ImageTrayHost::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create(nullptr, "", style, rect, parent, id);
}

int ImageTrayHost::OnCreate(LPCREATESTRUCT cs)
{
    if (CWnd::OnCreate(cs) == -1) return -1;
    RECT client{};
    GetClientRect(&client);
    const int width = std::max(kMinRowWidth, static_cast<int>(client.right) - kMarginLeft - kMarginRight);
    if (!AppendRow(RECT{kMarginLeft, kMarginTop, kMarginLeft + width, kMarginTop + kFirstRowHeight})) return -1;
    MoveRows();
    m_shared.contentWidth = width;
    m_shared.contentHeight = kFirstRowHeight;
    UpdateScrollBars();
    m_state |= kHostCreated;
    return 0;
}

ImageTray* ImageTrayHost::AppendRow(const RECT& rect)
{
    auto row = std::make_unique<ImageTray>(this, &m_shared);
    const UINT id = ImageTray::kFirstRowId + static_cast<UINT>(m_rows.size());
    if (!row->Create(rect, this, id)) {
        Logger::log("ERROR ImageTrayHost::AppendRow: row %u cannot be created", 1, id);
        return nullptr;
    }
    if (!m_rows.empty()) {
        row->m_prev = m_rows.back().get();
        m_rows.back()->m_next = row.get();
    }
    m_rows.push_back(std::move(row));
    return m_rows.back().get();  // the layout places it (MoveRows)
}

void ImageTrayHost::DropRowsAfter(ImageTray* row)
{
    auto keep = std::find_if(m_rows.begin(), m_rows.end(), [row](const auto& r) { return r.get() == row; });
    if (keep == m_rows.end()) return;
    m_rows.erase(keep + 1, m_rows.end());
    row->m_next = nullptr;
}

void ImageTrayHost::MoveRows()
{
    // A row's geometry is its client area; its dialog frame lies around it.
    for (auto& row : m_rows) {
        if (!row->m_hWnd) continue;
        RECT window{}, client{};
        row->GetWindowRect(&window);
        row->GetClientRect(&client);
        const int frameX = std::max(0, static_cast<int>((window.right - window.left) - client.right) / 2);
        const int frameY = std::max(0, static_cast<int>((window.bottom - window.top) - client.bottom) / 2);
        row->MoveWindow(row->m_x - frameX, row->m_y - frameY, row->m_width + 2 * frameX,
                        std::max(row->m_height, 0) + 2 * frameY, TRUE);
    }
}

int ImageTrayHost::ClientHeight() const
{
    RECT client{};
    GetClientRect(&client);
    return client.bottom - client.top;
}

// ---- Frames -----------------------------------------------------------------------

bool ImageTrayHost::AddFrame(ImageFrame* frame, const POINT* point, bool append)
{
    Image* stamp = frame ? frame->GetStampBmp() : nullptr;
    if (!stamp || !stamp->GetData() || stamp->GetWidth() <= 0 || stamp->GetHeight() <= 0) {
        Logger::log("ERROR ImageTrayHost::AddFrame: a frame without a stamp image is not laid out", 1);
        return false;
    }
    ImageTray* first = GetFirstRow();
    if (!first) return false;
    const int w = stamp->GetWidth(), h = stamp->GetHeight();
    if (m_chain->GetCount() == 0) {
        if (m_chain->Append(frame) < 0) return false;
        first->Layout();
        // The first image sizes the row for four of its kind; the frame is
        // fitted to that row.
        first->m_height = h + 4;
        first->m_width = (w + m_shared.gapX) * 4 + 4;
        m_shared.contentWidth = first->m_width;
        m_shared.contentHeight = first->m_height;
        MoveRows();
        Refresh(true);
        FitFrame();
        m_state |= kHostFitted;
        return true;
    }
    bool added = false;
    if (point && !append) {
        added = first->InsertAt(frame, POINT{point->x - first->m_x, point->y - first->m_y});
    } else {
        added = m_chain->Append(frame) >= 0;
        if (added) first->Layout();
    }
    if (added) {
        MoveRows();
        if (m_state & kHostFitted) {
            FitFrame();
            m_state |= kHostFitted;
            UpdateScrollBars();
        }
    }
    Refresh(true);
    return added;
}

void ImageTrayHost::RemoveFrame(ImageFrame* frame)
{
    const int index = frame ? m_chain->GetIndex(frame) : -1;
    if (index < 0) return;
    m_chain->RemoveData(index);
    // The frame is about to be deleted: the tray must not remember it.
    for (ImageFrame** held : {&m_shared.frameA, &m_shared.frameB, &m_shared.hitFrame})
        if (*held == frame) *held = nullptr;
    m_shared.state &= ~kTrayDragging;
    if (ImageTray* first = GetFirstRow()) first->Layout();
    MoveRows();
    UpdateScrollBars();
    Refresh(true);
}

int ImageTrayHost::GetFrameIndex(ImageFrame* frame) const { return m_chain->GetIndex(frame); }

void ImageTrayHost::Refresh(bool erase)
{
    for (auto& row : m_rows)
        if (row->m_hWnd) row->Invalidate(erase ? TRUE : FALSE);
    if (erase && m_hWnd) Invalidate(TRUE);
}

void ImageTrayHost::SetShowNames(bool on)
{
    m_shared.state = on ? (m_shared.state | kTrayShowNames) : (m_shared.state & ~kTrayShowNames);
    Refresh(true);
}

// ---- Loop and order ---------------------------------------------------------------

bool ImageTrayHost::IsLoop() const { return m_chain->IsLoop(); }

void ImageTrayHost::SetLoop(bool on)
{
    if (on == m_chain->IsLoop()) return;
    m_chain->SetLoop(on);
    if (!m_rows.empty() && m_rows.back()->m_hWnd) m_rows.back()->Invalidate(FALSE);
    if (SuperManager* manager = Manager()) manager->RefreshOverlapDialog();
}

void ImageTrayHost::ToggleLoop()
{
    if (ManagerBusy()) return;
    bool on = false;
    if (!m_chain->IsLoop() && m_chain->GetCount() >= 4)
        on = AfxMessageBox(kLoopQuestion, MB_YESNO) == IDYES;
    SetLoop(on);
}

void ImageTrayHost::ReverseOrder()
{
    if (ManagerBusy() || m_chain->GetCount() < 2) return;
    m_chain->ReverseOrder();
    if (ImageTray* first = GetFirstRow()) first->Layout();
    MoveRows();
    UpdateScrollBars();
    Refresh(true);
}

void ImageTrayHost::OnTrayCommand(UINT command)
{
    uint32_t tool = 0;
    switch (command) {
    case 32789:
        ToggleLoop();
        break;
    case 32836:
        ReverseOrder();
        break;
    case 33011:
        tool = kTrayToolRotateLeft;
        break;
    case 33020:
        tool = kTrayToolRotateRight;
        break;
    default:
        break;
    }
    m_shared.state = (m_shared.state & ~kTrayToolMask) | tool;
}

LRESULT ImageTrayHost::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TRAY_COMMAND) {
        OnTrayCommand(static_cast<UINT>(wParam));
        return 0;
    }
    if (message == WM_TRAY_CHANGED) {
        UpdateScrollBars();
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

// ---- Scrolling and size -----------------------------------------------------------

void ImageTrayHost::GetScrollNeeds(bool* horizontal, bool* vertical) const
{
    const ImageTray* first = GetFirstRow();
    const int rowWidth = first ? first->m_width : 0;
    const int clientHeight = ClientHeight();
    const int thickness = GetSystemMetrics(SM_CXVSCROLL);
    bool h = rowWidth < m_shared.contentWidth;
    const bool v = clientHeight < m_shared.contentHeight || (h && clientHeight < m_shared.contentHeight + thickness);
    if (v && rowWidth < m_shared.contentWidth + thickness) h = true;
    *horizontal = h;
    *vertical = v;
}

void ImageTrayHost::UpdateScrollBars()
{
    if (m_updatingBars) return;
    m_updatingBars = true;
    bool h = false, v = false;
    GetScrollNeeds(&h, &v);
    const ImageTray* first = GetFirstRow();
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
    if (h && first) {
        info.nMax = m_shared.contentWidth + 10;
        info.nPage = static_cast<UINT>(first->m_width);
        info.nPos = -m_shared.origin;
    }
    SetScrollInfo(SB_HORZ, &info, TRUE);
    ShowScrollBar(SB_HORZ, h ? TRUE : FALSE);
    info = SCROLLINFO{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
    if (v && first) {
        info.nMax = m_shared.contentHeight + 10;
        info.nPage = static_cast<UINT>(std::max(ClientHeight(), 0));
        info.nPos = std::max(0, kMarginTop - first->m_y);
    }
    SetScrollInfo(SB_VERT, &info, TRUE);
    ShowScrollBar(SB_VERT, v ? TRUE : FALSE);
    m_updatingBars = false;
}

void ImageTrayHost::OnScroll(int bar, UINT code, UINT pos)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(bar, &info, SIF_ALL)) return;
    const int page = (info.nMax - info.nMin) / 10;
    int position = info.nPos;
    switch (code) {
    case SB_LINEUP:
        position -= 1;
        break;
    case SB_LINEDOWN:
        position += 1;
        break;
    case SB_PAGEUP:
        position -= page;
        break;
    case SB_PAGEDOWN:
        position += page;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = static_cast<int>(pos);
        break;
    case SB_TOP:
        position = info.nMin;
        break;
    case SB_BOTTOM:
        position = info.nMax;
        break;
    default:
        return;
    }
    position = std::clamp(position, info.nMin, info.nMax);
    // The bar keeps the position inside what its page leaves.
    SetScrollPos(bar, position, TRUE);
    position = GetScrollPos(bar);
    ImageTray* first = GetFirstRow();
    if (!first) return;
    if (bar == SB_HORZ) {
        m_shared.origin = -position;
        Refresh(false);
        return;
    }
    const int shift = kMarginTop - position - first->m_y;
    for (auto& row : m_rows) row->m_y += shift;
    MoveRows();
    Invalidate(TRUE);
}

void ImageTrayHost::OnHScroll(UINT code, UINT pos, CWnd* /*scrollCtrl*/) { OnScroll(SB_HORZ, code, pos); }

void ImageTrayHost::OnVScroll(UINT code, UINT pos, CWnd* /*scrollCtrl*/) { OnScroll(SB_VERT, code, pos); }

void ImageTrayHost::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (!(m_state & kHostCreated) || m_rows.empty()) return;
    const int width = std::max(kMinRowWidth, cx - kMarginLeft - kMarginRight);
    for (auto& row : m_rows) row->m_width = width;
    GetFirstRow()->Layout();
    MoveRows();
    UpdateScrollBars();
    m_state &= ~kHostFitted;
}

void ImageTrayHost::FitFrame()
{
    CWnd* frame = GetParent();
    if (!frame) return;
    RECT hostWindow{}, frameWindow{}, frameClient{};
    GetWindowRect(&hostWindow);
    frame->ScreenToClient(&hostWindow);
    frame->GetWindowRect(&frameWindow);
    frame->GetClientRect(&frameClient);
    const int nonClientWidth = (frameWindow.right - frameWindow.left) - (frameClient.right - frameClient.left);
    const int nonClientHeight = (frameWindow.bottom - frameWindow.top) - (frameClient.bottom - frameClient.top);
    const int width = m_shared.contentWidth + kMarginLeft + kMarginRight + hostWindow.left + nonClientWidth + kFitExtraWidth;
    const int height = std::max(kMinFitHeight, m_shared.contentHeight + kMarginTop + kMarginBottom + hostWindow.top +
                                                   nonClientHeight + kFitExtraHeight);
    frame->SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Painting, cursor, drops ------------------------------------------------------

void ImageTrayHost::FillBackground(CDC& dc)
{
    RECT client{};
    GetClientRect(&client);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    if (m_rows.empty()) {
        dc.FillSolidRect(0, 0, client.right, client.bottom, face);
        return;
    }
    const ImageTray* first = m_rows.front().get();
    dc.FillSolidRect(0, 0, client.right, std::max(first->m_y, 0), face);
    dc.FillSolidRect(0, 0, first->m_x, client.bottom, face);
    dc.FillSolidRect(first->m_x + first->m_width, 0, client.right, client.bottom, face);
    for (const auto& row : m_rows) {
        const int bottom = row->m_y + std::max(row->m_height, 0);
        const int nextTop = row->m_next ? row->m_next->m_y : client.bottom;
        if (nextTop > bottom) dc.FillSolidRect(row->m_x, bottom, row->m_width, nextTop - bottom, face);
    }
}

BOOL ImageTrayHost::OnEraseBkgnd(CDC* dc)
{
    if (dc) FillBackground(*dc);
    return TRUE;
}

void ImageTrayHost::OnPaint()
{
    CPaintDC dc(this);
    FillBackground(dc);
}

BOOL ImageTrayHost::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    const uint32_t tool = m_shared.state & kTrayToolMask;
    if (tool == kTrayToolRotateLeft || tool == kTrayToolRotateRight) {
        SetCursor(LoadResourceCursor(tool == kTrayToolRotateLeft ? kRotateLeftCursor : kRotateRightCursor));
        return TRUE;
    }
    return CWnd::OnSetCursor(wnd, hitTest, message);
}

void ImageTrayHost::OnDropFiles(HDROP drop)
{
    SuperManager* manager = Manager();
    if (!manager || manager->IsBusy()) {
        DragFinish(drop);
        return;
    }
    const UINT count = DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFile(drop, i, nullptr, 0);
        std::string path(length, '\0');
        DragQueryFile(drop, i, path.data(), length + 1);
        if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".kzp") == 0) {
            if (CFendrakeApp* app = GetFendrakeApp()) app->OpenDocumentFile(path.c_str());
            continue;
        }
        if (manager->GetFrameStamp(path.c_str())) continue;
        Image* image = nullptr;
        const int kind = LoadImage(path.c_str(), &image);
        if (kind == 1 && image) {
            Image* stamp = MakeStampImage(image);
            ReleaseImage(image);
            manager->AddImageFrame(stamp, path.c_str(), nullptr);
        } else {
            ReleaseImage(image);
        }
    }
    DragFinish(drop);
}
