// The outer view of a panorama window: the leveling toolbar on the left, the
// rect-map view beside it, and the frame sized to the picture.
#include "app/panorama/quicktime_save_dlg.h"
#include "app/panorama/rect_map_view.h"
#include "app/views/image_quality_dlg.h"

#include "app/shell/main_frame.h"
#include "core/logger.h"
#include "platform/win/frame_wnd.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"

#include <algorithm>
#include <cstring>

CWorldMapView::~CWorldMapView()
{
    m_toolBar.reset();
    if (CRectMapView* child = std::exchange(m_rectView, nullptr)) {
        child->SetParentView(nullptr);
        if (child->m_hWnd)
            child->DestroyWindow();  // deletes itself when its window ends
        else
            delete child;
    }
}

const win::MessageMap* CWorldMapView::GetMessageMap() const
{
    static const win::MessageMap map(CView::GetMessageMap(),
                                     {
                                         win::on::CommandRange(kPan, kResetLeveling, &CWorldMapView::OnTool),
                                         win::on::UpdateUIRange(kPan, kResetLeveling, &CWorldMapView::OnUpdateTool),
                                     });
    return &map;
}

void CWorldMapView::OnInitialUpdate()
{
    CView::OnInitialUpdate();
    if (m_toolBar) return;  // laid out already
    auto bar = std::make_unique<CToolBar>();
    const DWORD style = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_LEFT | CBRS_TOOLTIPS | CBRS_FLYBY | CBRS_SIZE_DYNAMIC;
    if (!bar->CreateEx(this, TBSTYLE_FLAT, style, RECT{0, 0, 0, 0}, AFX_IDW_TOOLBAR) ||
        !bar->LoadToolBar(kToolBarResource)) {
        Logger::log("ERROR CWorldMapView::OnInitialUpdate cannot make the leveling toolbar", 1);
        return;
    }
    m_toolBar = std::move(bar);
    RECT client{};
    GetClientRect(&client);
    const CSize fixed = m_toolBar->CalcFixedLayout(FALSE, FALSE);
    m_toolBar->MoveWindow(0, 0, fixed.cx, client.bottom);
    m_toolBar->ShowWindow(SW_SHOW);

    auto* child = new CRectMapView;
    const RECT area{fixed.cx, 0, client.right, client.bottom};
    if (!child->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, area, this, kChildId)) {
        Logger::log("ERROR CWorldMapView::OnInitialUpdate cannot make the panorama view", 1);
        return;  // a failed window deletes its object
    }
    m_rectView = child;
    child->SetParentView(this);
    // The frame's active view is the panorama view, so that activating the
    // window brings it to the front of the open views.
    if (CFrameWnd* frame = GetParentFrame()) frame->SetActiveView(child, FALSE);
}

void CWorldMapView::ChildGone(CRectMapView* child)
{
    if (child == m_rectView) m_rectView = nullptr;
}

void CWorldMapView::LayOutChild(int cx, int cy)
{
    if (!m_rectView || !m_rectView->m_hWnd) return;
    int x = 0;
    if (m_toolBar && !m_rectView->IsFinal()) {
        RECT bar{};
        m_toolBar->GetWindowRect(&bar);
        x = bar.right - bar.left;
    }
    m_rectView->MoveWindow(x, 0, cx - x, cy, FALSE);
}

void CWorldMapView::OnSize(UINT type, int cx, int cy)
{
    CView::OnSize(type, cx, cy);
    if (m_toolBar) LayOutChild(cx, cy);
}

BOOL CWorldMapView::OnEraseBkgnd(CDC* dc)
{
    if (!m_toolBar) return FALSE;
    if (dc && m_rectView && !m_rectView->IsFinal()) {
        RECT client{}, bar{};
        GetClientRect(&client);
        m_toolBar->GetWindowRect(&bar);
        ScreenToClient(&bar);
        const int width = bar.right - bar.left + kStripExtra;
        if (client.bottom > bar.bottom)
            dc->FillSolidRect(client.left, bar.bottom, width, client.bottom - bar.bottom, GetSysColor(COLOR_3DFACE));
    }
    return TRUE;
}

// ---- Tools -----------------------------------------------------------------------------

void CWorldMapView::OnTool(UINT id)
{
    SetTool(id);
}

void CWorldMapView::SetTool(UINT id)
{
    if (id == kPan || id == kRolling || id == kLevel) {
        m_currentTool = id;
    } else if (id == kResetLeveling) {
        m_currentTool = kPan;
        if (m_toolBar) {
            for (UINT tool : {kPan, kRolling, kLevel}) {
                const int index = m_toolBar->CommandToIndex(tool);
                if (index < 0) continue;
                const UINT style = m_toolBar->GetButtonStyle(index) & ~TBBS_CHECKED;
                m_toolBar->SetButtonStyle(index, tool == kPan ? style | TBBS_CHECKED : style);
            }
        }
    } else {
        return;
    }
    if (m_rectView) {
        m_rectView->SelectTool(id);
        if (m_rectView->m_hWnd) {
            m_rectView->SetFocus();
            m_rectView->Invalidate(TRUE);
        }
    }
    if (m_toolBar && m_toolBar->m_hWnd) m_toolBar->Invalidate();
}

void CWorldMapView::GetToolState(UINT id, bool& enabled, bool& checked) const
{
    enabled = false;
    checked = false;
    if (!m_rectView) return;
    switch (id) {
    case kPan:
    case kResetLeveling:
        enabled = true;
        break;
    case kRolling:
        enabled = (m_rectView->GetMode() & CRectMapView::fullCircle) != 0;
        break;
    case kLevel:
        enabled = !m_rectView->IsFinal();
        break;
    default:
        return;
    }
    // Reset is an action, never the current tool.
    checked = id != kResetLeveling && id == m_currentTool;
}

void CWorldMapView::OnUpdateTool(CCmdUI* ui)
{
    bool enabled = false, checked = false;
    GetToolState(ui->m_nID, enabled, checked);
    ui->Enable(enabled ? TRUE : FALSE);
    ui->SetCheck(checked ? 1 : 0);
}

// ---- Tool tips -------------------------------------------------------------------------

BOOL CWorldMapView::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header && (header->code == TTN_NEEDTEXTA || header->code == TTN_NEEDTEXTW)) {
        ToolTipText(header);
        if (result) *result = 0;
        return TRUE;
    }
    return CView::OnNotify(wParam, lParam, result);
}

bool CWorldMapView::ToolTipText(NMHDR* header)
{
    const bool narrow = header->code == TTN_NEEDTEXTA;
    auto* a = reinterpret_cast<TOOLTIPTEXTA*>(header);
    auto* w = reinterpret_cast<TOOLTIPTEXTW*>(header);
    const UINT flags = narrow ? a->uFlags : w->uFlags;
    UINT id = static_cast<UINT>(header->idFrom);
    if (flags & TTF_IDISHWND) {
        CWnd* control = CWnd::FromHandle(reinterpret_cast<HWND>(header->idFrom));
        id = control ? static_cast<UINT>(control->GetDlgCtrlID()) : 0;
    }
    if (id == 0) return false;
    const std::string full = win::Resources::LoadString(id);
    if (full.empty()) return false;
    const size_t newline = full.find('\n');
    const std::string prompt = full.substr(0, newline);
    const std::string tip = newline == std::string::npos ? std::string() : full.substr(newline + 1);

    // Both buffers hold 80 characters: at most 79 and the terminator.
    if (narrow) {
        const size_t n = std::min(tip.size(), sizeof(a->szText) - 1);
        std::memcpy(a->szText, tip.data(), n);
        a->szText[n] = '\0';
    } else {
        const size_t n = std::min(tip.size(), std::size(w->szText) - 1);
        for (size_t i = 0; i < n; ++i) w->szText[i] = static_cast<unsigned char>(tip[i]);
        w->szText[n] = u'\0';
    }
    if (auto* main = dynamic_cast<CFrameWnd*>(AfxGetMainWnd())) main->SetMessageText(prompt.c_str());
    if (CWnd* tipWindow = header->hwndFrom ? CWnd::FromHandle(header->hwndFrom) : nullptr)
        tipWindow->SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOMOVE);
    return !tip.empty();
}

// ---- Frame size ------------------------------------------------------------------------

void CWorldMapView::FitFrameToView()
{
    if (!m_rectView) return;
    auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    CFrameWnd* frame = GetParentFrame();
    if (!main || !frame || !frame->m_hWnd) return;
    int vw = 0, vh = 0;
    m_rectView->GetViewSize(vw, vh);
    RECT free{};
    main->GetFreeClientRect(&free);
    const int aw = free.right - free.left;
    const int ah = free.bottom - free.top;

    RECT outer{}, inner{};
    frame->GetWindowRect(&outer);
    if (CWnd* parent = frame->GetParent()) parent->ScreenToClient(&outer);
    frame->GetClientRect(&inner);
    const int bw = (outer.right - outer.left) - (inner.right - inner.left) + 8;
    const int bh = (outer.bottom - outer.top) - (inner.bottom - inner.top) + 8;

    // A final map hides the toolbar; a preview shows it at its fixed size.
    int tw = 0, th = 0;
    const bool final = m_rectView->IsFinal();
    if (m_toolBar) {
        if (!final) {
            const CSize fixed = m_toolBar->CalcFixedLayout(FALSE, FALSE);
            tw = fixed.cx;
            th = fixed.cy;
        }
        m_toolBar->ShowWindow(final ? SW_HIDE : SW_SHOW);
    }
    const int width = std::min(vw + tw + bw, aw);
    const int height = std::min(std::max(vh + bh, th), ah);
    int left = outer.left;
    int top = outer.top;
    if (left + width > aw) left = std::max(0, aw - width);
    if (top + height > ah) top = std::max(0, ah - height);
    frame->SetWindowPos(nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(&client);
    LayOutChild(client.right, client.bottom);
}

// ---- Resources -------------------------------------------------------------------------

void RegisterPanoramaResources()
{
    win::ResourceModule& app = win::Resources::App();
    RegisterImageQualityDialog();
    RegisterQuickTimeSaveDialog();
    RegisterPanoramaToolResources();
    app.AddString(CWorldMapView::kPan, "Pan panorama when scrolling bar is shown\nPan panorama");
    app.AddString(CWorldMapView::kRolling, "Horizontal rolling");
    app.AddString(CWorldMapView::kLevel, "Rotate Panorama");
    app.AddString(CWorldMapView::kResetLeveling, "Reset Level-panorama adjustment.\nReset leveling");
    win::ToolBarTemplate bar;
    bar.commands = {CWorldMapView::kPan, CWorldMapView::kRolling, CWorldMapView::kLevel,
                    CWorldMapView::kResetLeveling};
    app.AddToolBar(CWorldMapView::kToolBarResource, bar);
    for (UINT cursor : {CRectMapView::kRollOffCursor, 231u, 232u, 233u, 234u, CRectMapView::kPerspectiveCursor, 236u,
                        CRectMapView::kPanCursor, 245u})
        app.AddCursor(cursor);
}
