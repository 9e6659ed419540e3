#include "platform/win/frame_wnd.h"

#include "core/logger.h"
#include "platform/win/control_bars.h"
#include "platform/win/doc_view.h"
#include "platform/win/drag_drop.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/win_app.h"
#include "platform/win/window_system.h"

#include <algorithm>
#include <climits>

namespace {

win::WindowSystem& System()
{
    return win::WindowSystem::Get();
}

bool IsDefaultRect(const RECT& r)
{
    return r.left == CFrameWnd::rectDefault.left && r.top == CFrameWnd::rectDefault.top;
}

// Update-command-UI for one menu item.
class MenuCmdUI : public CCmdUI {
public:
    void Enable(BOOL on) override
    {
        m_bEnableChanged = TRUE;
        m_pMenu->EnableMenuItem(m_nID, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    }
    void SetCheck(int check) override
    {
        m_pMenu->CheckMenuItem(m_nID, MF_BYCOMMAND | (check ? MF_CHECKED : MF_UNCHECKED));
    }
    void SetText(const char* text) override
    {
        const UINT state = m_pMenu->GetMenuState(m_nID, MF_BYCOMMAND);
        m_pMenu->ModifyMenu(m_nID, MF_BYCOMMAND | MF_STRING | (state & (MF_GRAYED | MF_CHECKED)), m_nID, text);
    }
};

}  // namespace

// Placement left to the runtime.
const CRect CFrameWnd::rectDefault(INT_MIN, INT_MIN, 0, 0);

CWnd* AfxGetMainWnd()
{
    CWinApp* app = AfxGetApp();
    return app ? app->m_pMainWnd : nullptr;
}

CFrameWnd* CWnd::GetParentFrame() const
{
    for (CWnd* p = GetParent(); p; p = p->GetParent()) {
        if (auto* frame = dynamic_cast<CFrameWnd*>(p)) return frame;
    }
    return nullptr;
}

CFrameWnd* CWnd::GetTopLevelFrame() const
{
    CFrameWnd* frame = dynamic_cast<CFrameWnd*>(const_cast<CWnd*>(this));
    if (!frame) frame = GetParentFrame();
    while (frame) {
        CFrameWnd* up = frame->GetParentFrame();
        if (!up) break;
        frame = up;
    }
    return frame;
}

// ---- CFrameWnd ------------------------------------------------------------------

CFrameWnd::CFrameWnd() = default;
CFrameWnd::~CFrameWnd() = default;

const win::MessageMap* CFrameWnd::GetMessageMap() const
{
    return CWnd::GetMessageMap();
}

BOOL CFrameWnd::Create(const char* className, const char* title, DWORD style, const RECT& rect, CWnd* parent,
                       UINT menuId, DWORD exStyle, CCreateContext* context)
{
    m_strTitle = title ? title : "";
    RECT r = rect;
    if (IsDefaultRect(rect)) {
        const int w = ::GetSystemMetrics(SM_CXSCREEN) * 3 / 4, h = ::GetSystemMetrics(SM_CYSCREEN) * 3 / 4;
        r = RECT{10, 10, 10 + w, 10 + h};
    }
    HMENU menu = nullptr;
    if (menuId && !(style & WS_CHILD)) {
        auto loaded = std::make_unique<CMenu>();
        if (loaded->LoadMenu(menuId)) {
            menu = loaded->GetSafeHmenu();
            m_menu = std::move(loaded);
        }
    }
    return CreateOrDispose(exStyle, className, title, style, r, parent,
                           static_cast<UINT>(reinterpret_cast<uintptr_t>(menu)), context);
}

BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD style, CWnd* parent, CCreateContext* context)
{
    m_resourceId = resourceId;
    const std::string title = win::DocStringField(win::Resources::LoadString(resourceId), 0);
    const UINT menuId = win::Resources::FindMenu(resourceId) ? resourceId : 0;
    bool deleted = false;
    m_deletedFlag = &deleted;
    const BOOL ok = Create(nullptr, title.c_str(), style, rectDefault, parent, menuId, 0, context);
    if (deleted) return FALSE;
    m_deletedFlag = nullptr;
    if (ok) {
        if (HICON icon = LoadResourceIcon(resourceId)) {
            SetIcon(icon, TRUE);
            SetIcon(icon, FALSE);
        }
    }
    return ok;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT cs)
{
    if (CWnd::OnCreate(cs) == -1) return -1;
    auto* context = static_cast<CCreateContext*>(cs ? cs->lpCreateParams : nullptr);
    if (!OnCreateClient(cs, context)) {
        Logger::log("ERROR CFrameWnd::OnCreate the frame's client could not be created", 1);
        return -1;
    }
    RecalcLayout();
    return 0;
}

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCT, CCreateContext* context)
{
    if (context && context->m_pNewViewClass) return CreateView(context) != nullptr;
    return TRUE;
}

CWnd* CFrameWnd::CreateView(CCreateContext* context, UINT id)
{
    if (!context || !context->m_pNewViewClass) return nullptr;
    CObject* object = context->m_pNewViewClass->CreateObject();
    auto* view = dynamic_cast<CWnd*>(object);
    if (!view) {
        Logger::log("ERROR CFrameWnd::CreateView the view class does not make a window", 1);
        delete object;
        return nullptr;
    }
    const CRect area = ClientAreaForView();
    // A failed view has deleted itself.
    if (!view->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, area, this, id, context)) return nullptr;
    return view;
}

CView* CFrameWnd::GetActiveView() const
{
    return m_pViewActive;
}

void CFrameWnd::SetActiveView(CView* view, BOOL notify)
{
    CView* old = m_pViewActive;
    if (old == view) return;
    m_pViewActive = view;
    if (!notify) return;
    if (old && old->m_hWnd) old->OnActivateView(FALSE, view, old);
    if (view && view->m_hWnd) {
        view->OnActivateView(TRUE, view, old);
        if (view->IsWindowVisible()) view->SetFocus();
    }
}

CDocument* CFrameWnd::GetActiveDocument()
{
    CView* view = GetActiveView();
    return view ? view->GetDocument() : nullptr;
}

std::vector<CControlBar*> CFrameWnd::ControlBars() const
{
    std::vector<CControlBar*> bars;
    for (HWND child : System().Children(m_hWnd)) {
        if (auto* bar = dynamic_cast<CControlBar*>(FromHandle(child))) bars.push_back(bar);
    }
    return bars;
}

CControlBar* CFrameWnd::GetControlBar(UINT id) const
{
    return dynamic_cast<CControlBar*>(FromHandle(System().ChildById(m_hWnd, id)));
}

CRect CFrameWnd::ClientAreaForView() const
{
    CRect area;
    GetClientRect(&area);
    // Bars take their strips in creation order: each one from what the
    // previous ones left.
    for (CControlBar* bar : ControlBars()) {
        if (!(bar->GetStyle() & WS_VISIBLE)) continue;  // the frame itself may not show yet
        const DWORD align = bar->GetBarStyle() & CBRS_ALIGN_ANY;
        const bool horizontal = (align & (CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM)) != 0 || align == 0;
        const CSize size = bar->CalcFixedLayout(TRUE, horizontal);
        if (align & CBRS_ALIGN_TOP) area.top += std::min(size.cy, area.Height());
        else if (align & CBRS_ALIGN_BOTTOM) area.bottom -= std::min(size.cy, area.Height());
        else if (align & CBRS_ALIGN_LEFT) area.left += std::min(size.cx, area.Width());
        else if (align & CBRS_ALIGN_RIGHT) area.right -= std::min(size.cx, area.Width());
    }
    return area;
}

void CFrameWnd::RecalcLayout(BOOL)
{
    if (!m_hWnd || IsIconic()) return;
    CRect area;
    GetClientRect(&area);
    for (CControlBar* bar : ControlBars()) {
        if (!(bar->GetStyle() & WS_VISIBLE)) continue;  // the frame itself may not show yet
        const DWORD align = bar->GetBarStyle() & CBRS_ALIGN_ANY;
        const bool horizontal = (align & (CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM)) != 0 || align == 0;
        const CSize size = bar->CalcFixedLayout(TRUE, horizontal);
        CRect r;
        if (align & CBRS_ALIGN_TOP) {
            const int h = std::min(size.cy, area.Height());
            r = CRect(area.left, area.top, area.left + std::min(size.cx, area.Width()), area.top + h);
            area.top += h;
        } else if (align & CBRS_ALIGN_BOTTOM) {
            const int h = std::min(size.cy, area.Height());
            r = CRect(area.left, area.bottom - h, area.left + std::min(size.cx, area.Width()), area.bottom);
            area.bottom -= h;
        } else if (align & CBRS_ALIGN_LEFT) {
            const int w = std::min(size.cx, area.Width());
            r = CRect(area.left, area.top, area.left + w, area.top + std::min(size.cy, area.Height()));
            area.left += w;
        } else if (align & CBRS_ALIGN_RIGHT) {
            const int w = std::min(size.cx, area.Width());
            r = CRect(area.right - w, area.top, area.right, area.top + std::min(size.cy, area.Height()));
            area.right -= w;
        } else {
            continue;  // a bar placed by its owner
        }
        bar->MoveWindow(&r, FALSE);
    }
    if (CWnd* pane = GetDlgItem(AFX_IDW_PANE_FIRST)) pane->MoveWindow(&area, TRUE);
}

void CFrameWnd::InitialUpdateFrame(CDocument* doc, BOOL makeVisible)
{
    if (!GetActiveView()) {
        if (auto* view = dynamic_cast<CView*>(GetDlgItem(AFX_IDW_PANE_FIRST))) SetActiveView(view, FALSE);
    }
    SendMessageToDescendants(WM_INITIALUPDATE, 0, 0, TRUE);
    if (!m_hWnd) return;
    if (makeVisible) {
        ActivateFrame();
        if (!m_hWnd) return;
        if (CView* view = GetActiveView()) view->OnActivateView(TRUE, view, view);
    }
    if (doc) doc->UpdateFrameCounts();
    OnUpdateFrameTitle(TRUE);
}

void CFrameWnd::ActivateFrame(int cmdShow)
{
    if (cmdShow == -1) cmdShow = IsWindowVisible() ? (IsIconic() ? SW_RESTORE : SW_SHOW) : SW_SHOWNORMAL;
    ShowWindow(cmdShow);
    if (!m_hWnd) return;
    BringWindowToTop();
}

void CFrameWnd::OnUpdateFrameTitle(BOOL addToTitle)
{
    if (!m_hWnd || !(GetStyle() & FWS_ADDTOTITLE) || !addToTitle) return;
    CDocument* doc = GetActiveDocument();
    std::string title = m_strTitle;
    if (doc) title = doc->GetTitle() + (m_strTitle.empty() ? "" : " - " + m_strTitle);
    if (GetWindowText() != title) SetWindowText(title.c_str());
}

CWnd* CFrameWnd::GetMessageBar() const
{
    CFrameWnd* top = GetTopLevelFrame();
    const CFrameWnd* frame = top ? top : this;
    return FromHandle(System().ChildById(frame->m_hWnd, AFX_IDW_STATUS_BAR));
}

void CFrameWnd::SetMessageText(const char* text)
{
    if (auto* bar = dynamic_cast<CStatusBar*>(GetMessageBar())) {
        const int pane = bar->CommandToIndex(ID_SEPARATOR);
        bar->SetPaneText(pane >= 0 ? pane : 0, text);
    }
}

void CFrameWnd::SetMessageText(UINT stringId)
{
    SetMessageText(win::CommandPrompt(stringId).c_str());
}

void CFrameWnd::DockControlBar(CControlBar* bar, UINT dockBarId, const RECT*)
{
    if (!bar) return;
    DWORD align = bar->GetBarStyle() & CBRS_ALIGN_ANY;
    switch (dockBarId) {
    case AFX_IDW_DOCKBAR_TOP: align = CBRS_ALIGN_TOP; break;
    case AFX_IDW_DOCKBAR_BOTTOM: align = CBRS_ALIGN_BOTTOM; break;
    case AFX_IDW_DOCKBAR_LEFT: align = CBRS_ALIGN_LEFT; break;
    case AFX_IDW_DOCKBAR_RIGHT: align = CBRS_ALIGN_RIGHT; break;
    default:
        // The first side both the frame and the bar allow.
        if (!align) {
            const DWORD allowed = bar->DockingAllowed() & (m_dockAllowed ? m_dockAllowed : CBRS_ALIGN_ANY);
            for (DWORD side : {CBRS_ALIGN_TOP, CBRS_ALIGN_LEFT, CBRS_ALIGN_BOTTOM, CBRS_ALIGN_RIGHT}) {
                if (allowed & side) {
                    align = side;
                    break;
                }
            }
        }
        break;
    }
    bar->SetBarStyle((bar->GetBarStyle() & ~CBRS_ALIGN_ANY) | align);
    RecalcLayout();
}

void CFrameWnd::ShowControlBar(CControlBar* bar, BOOL show, BOOL)
{
    if (!bar || !bar->m_hWnd) return;
    bar->ShowWindow(show ? SW_SHOWNA : SW_HIDE);
    RecalcLayout();
}

BOOL CFrameWnd::OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info)
{
    // The active view (and through it the document) first.
    if (CView* view = m_pViewActive) {
        if (view->OnCmdMsg(id, code, extra, info)) return TRUE;
    }
    if (CWnd::OnCmdMsg(id, code, extra, info)) return TRUE;
    if (RoutesToApplication()) {
        if (CWinApp* app = AfxGetApp()) {
            if (app->OnCmdMsg(id, code, extra, info)) return TRUE;
        }
    }
    return FALSE;
}

BOOL CFrameWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITMENUPOPUP) {
        UpdateMenuItems(reinterpret_cast<HMENU>(wParam));
        if (result) *result = 0;
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

void CFrameWnd::UpdateMenuItems(HMENU menu)
{
    CMenu* m = CMenu::FromHandle(menu);
    if (!m) return;
    for (const win::MenuItem& item : win::MenuItems(menu)) {
        if (item.popup) {
            UpdateMenuItems(item.popup);
            continue;
        }
        if (item.separator || item.id == 0) continue;
        MenuCmdUI ui;
        ui.m_nID = item.id;
        ui.m_pMenu = m;
        // The frame that shows the menu asks its active frame's routing.
        CFrameWnd* target = GetActiveFrame();
        ui.DoUpdate(target ? target : this, m_bAutoMenuEnable);
    }
}

void CFrameWnd::OnIdleUpdateCmdUI()
{
    if (GetStyle() & FWS_ADDTOTITLE) OnUpdateFrameTitle(TRUE);
}

void CFrameWnd::OnDestroy()
{
    if (CWinApp* app = AfxGetApp()) {
        // The main window's end ends the message loop.
        if (app->m_pMainWnd == this) {
            app->m_pMainWnd = nullptr;
            ::PostQuitMessage(0);
        }
    }
    CWnd::OnDestroy();
}

void CFrameWnd::PostNcDestroy()
{
    delete this;
}

void CFrameWnd::OnClose()
{
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
        if (!app->SaveAllModified()) return;
        app->CloseAllDocuments(FALSE);
        if (m_hWnd) DestroyWindow();
        return;
    }
    CDocument* doc = GetActiveDocument();
    if (doc) {
        if (!doc->CanCloseFrame(this)) return;
        // The last frame of a document closes the document.
        int frames = 0;
        for (CView* v : doc->GetViews()) {
            if (v->GetParentFrame() != this) ++frames;
        }
        if (frames == 0) {
            doc->OnCloseDocument();
            return;
        }
    }
    DestroyWindow();
}

void CFrameWnd::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (type != SIZE_MINIMIZED) RecalcLayout();
}

void CFrameWnd::OnSetFocus(CWnd* oldWnd)
{
    if (CView* view = GetActiveView()) {
        if (view->m_hWnd && view->IsWindowVisible()) {
            view->SetFocus();
            return;
        }
    }
    CWnd::OnSetFocus(oldWnd);
}

void CFrameWnd::OnDropFiles(HDROP drop)
{
    // Dropped files open as documents.
    SetActiveWindow();
    const UINT count = ::DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        char path[4096];
        ::DragQueryFile(drop, i, path, sizeof path);
        if (CWinApp* app = AfxGetApp()) app->OpenDocumentFile(path);
    }
    ::DragFinish(drop);
}

// ---- CMDIFrameWnd ----------------------------------------------------------------------

BOOL CMDIFrameWnd::OnCreateClient(LPCREATESTRUCT cs, CCreateContext*)
{
    return CreateClient(cs, nullptr);
}

BOOL CMDIFrameWnd::CreateClient(LPCREATESTRUCT, CMenu*)
{
    m_hWndMDIClient =
        System().Create(WS_EX_CLIENTEDGE, "MDIClient", "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                        ClientAreaForView(), m_hWnd, AFX_IDW_PANE_FIRST, nullptr, nullptr);
    return m_hWndMDIClient != nullptr;
}

std::vector<CMDIChildWnd*> CMDIFrameWnd::MDIChildren() const
{
    std::vector<CMDIChildWnd*> children;
    for (HWND h : System().Children(m_hWndMDIClient)) {
        win::WindowData* w = System().Find(h);
        if (!w || w->destroying) continue;
        if (auto* child = dynamic_cast<CMDIChildWnd*>(FromHandle(h))) children.push_back(child);
    }
    return children;
}

CMDIChildWnd* CMDIFrameWnd::MDIGetActive(BOOL* maximized) const
{
    auto* child = dynamic_cast<CMDIChildWnd*>(FromHandle(m_activeChild));
    if (maximized) *maximized = child && child->IsZoomed();
    return child;
}

void CMDIFrameWnd::MDIActivate(CWnd* child)
{
    if (!child || !child->m_hWnd) return;
    const HWND next = child->m_hWnd;
    const HWND old = System().IsWindow(m_activeChild) ? m_activeChild : nullptr;
    System().SetZOrder(next, HWND_TOP);
    if (old == next) return;
    m_activeChild = next;
    // Both children hear of the change: wParam the one losing it, lParam
    // the one gaining it.
    if (old) ::SendMessage(old, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(next));
    if (System().IsWindow(next))
        ::SendMessage(next, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(next));
    OnUpdateFrameTitle(TRUE);
}

void CMDIFrameWnd::MDINext()
{
    const auto children = MDIChildren();
    if (children.size() < 2) return;
    CMDIChildWnd* current = children.front();
    MDIActivate(children[1]);
    System().SetZOrder(current->m_hWnd, HWND_BOTTOM);
}

void CMDIFrameWnd::MDIMaximize(CWnd* child)
{
    if (child) child->ShowWindow(SW_MAXIMIZE);
}

void CMDIFrameWnd::MDIRestore(CWnd* child)
{
    if (child) child->ShowWindow(SW_RESTORE);
}

void CMDIFrameWnd::MDICascade()
{
    const auto children = MDIChildren();
    CRect client = System().ClientRect(m_hWndMDIClient);
    const int w = std::max(200, client.Width() * 3 / 4), h = std::max(150, client.Height() * 3 / 4);
    int n = 0;
    for (auto it = children.rbegin(); it != children.rend(); ++it, ++n) {
        if ((*it)->IsIconic()) continue;
        (*it)->MoveWindow(n * 24, n * 24, w, h);
    }
}

CFrameWnd* CMDIFrameWnd::GetActiveFrame()
{
    CMDIChildWnd* child = MDIGetActive();
    return child ? static_cast<CFrameWnd*>(child) : this;
}

CDocument* CMDIFrameWnd::GetActiveDocument()
{
    CMDIChildWnd* child = MDIGetActive();
    return child ? child->GetActiveDocument() : nullptr;
}

CView* CMDIFrameWnd::GetActiveView() const
{
    CMDIChildWnd* child = MDIGetActive();
    return child ? child->GetActiveView() : nullptr;
}

void CMDIFrameWnd::RecalcLayout(BOOL notify)
{
    CFrameWnd::RecalcLayout(notify);
}

void CMDIFrameWnd::OnUpdateFrameTitle(BOOL addToTitle)
{
    if (!m_hWnd || !(GetStyle() & FWS_ADDTOTITLE) || !addToTitle) return;
    CDocument* doc = GetActiveDocument();
    std::string title = m_strTitle;
    if (doc) title += " - " + doc->GetTitle();
    if (GetWindowText() != title) SetWindowText(title.c_str());
}

BOOL CMDIFrameWnd::OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info)
{
    // The active child (its view, document, the child frame) comes first.
    if (CMDIChildWnd* child = MDIGetActive()) {
        if (child->OnCmdMsg(id, code, extra, info)) return TRUE;
    }
    return CFrameWnd::OnCmdMsg(id, code, extra, info);
}

void CMDIFrameWnd::ChildCreated(CMDIChildWnd* child)
{
    if (child && (child->GetStyle() & WS_VISIBLE)) MDIActivate(child);
}

void CMDIFrameWnd::ChildDestroyed(HWND child)
{
    if (child != m_activeChild) return;
    m_activeChild = nullptr;
    // The next child in z-order becomes active.
    for (CMDIChildWnd* next : MDIChildren()) {
        if (next->m_hWnd == child || !next->IsWindowVisible()) continue;
        m_activeChild = next->m_hWnd;
        ::SendMessage(next->m_hWnd, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(child),
                      reinterpret_cast<LPARAM>(next->m_hWnd));
        break;
    }
    OnUpdateFrameTitle(TRUE);
}

// ---- CMDIChildWnd ----------------------------------------------------------------------------

BOOL CMDIChildWnd::Create(const char* className, const char* title, DWORD style, const RECT& rect,
                          CMDIFrameWnd* parent, CCreateContext* context)
{
    if (!parent) parent = dynamic_cast<CMDIFrameWnd*>(AfxGetMainWnd());
    if (!parent || !parent->m_hWndMDIClient) {
        Logger::log("ERROR CMDIChildWnd::Create no MDI frame to hold the child", 1);
        PostNcDestroy();
        return FALSE;
    }
    m_strTitle = title ? title : "";
    RECT r = rect;
    if (IsDefaultRect(rect)) {
        // New children cascade down the client area.
        const CRect client = System().ClientRect(parent->m_hWndMDIClient);
        const int n = static_cast<int>(parent->MDIChildren().size()) % 8;
        const int w = std::max(200, client.Width() * 3 / 4), h = std::max(150, client.Height() * 3 / 4);
        r = RECT{n * 24, n * 24, n * 24 + w, n * 24 + h};
    }
    CWnd* client = FromHandle(parent->m_hWndMDIClient);
    bool deleted = false;
    m_deletedFlag = &deleted;
    const BOOL ok = CreateOrDispose(WS_EX_MDICHILD, className, title, style | WS_CHILD, r, client, 0, context);
    if (deleted) return FALSE;
    m_deletedFlag = nullptr;
    if (ok) parent->ChildCreated(this);
    return ok;
}

BOOL CMDIChildWnd::LoadFrame(UINT resourceId, DWORD style, CWnd* parent, CCreateContext* context)
{
    m_resourceId = resourceId;
    const std::string title = win::DocStringField(win::Resources::LoadString(resourceId), 0);
    // Shown by InitialUpdateFrame once the view has its document.
    const BOOL ok = Create(nullptr, title.c_str(), (style | WS_CHILD) & ~WS_VISIBLE, rectDefault,
                           dynamic_cast<CMDIFrameWnd*>(parent), context);
    if (!ok) return FALSE;
    if (HICON icon = LoadResourceIcon(resourceId)) {
        SetIcon(icon, TRUE);
        SetIcon(icon, FALSE);
    }
    return TRUE;
}

CMDIFrameWnd* CMDIChildWnd::GetMDIFrame() const
{
    CWnd* client = GetParent();
    return client ? dynamic_cast<CMDIFrameWnd*>(client->GetParent()) : nullptr;
}

void CMDIChildWnd::MDIDestroy()
{
    DestroyWindow();
}

void CMDIChildWnd::MDIActivate()
{
    if (CMDIFrameWnd* frame = GetMDIFrame()) frame->MDIActivate(this);
}

void CMDIChildWnd::MDIMaximize()
{
    ShowWindow(SW_MAXIMIZE);
}

void CMDIChildWnd::MDIRestore()
{
    ShowWindow(SW_RESTORE);
}

void CMDIChildWnd::ActivateFrame(int cmdShow)
{
    if (cmdShow == -1) cmdShow = IsWindowVisible() ? SW_SHOW : SW_SHOWNORMAL;
    ShowWindow(cmdShow);
    if (!m_hWnd) return;
    MDIActivate();
}

void CMDIChildWnd::OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd)
{
    CWnd::OnMDIActivate(activate, activateWnd, deactivateWnd);
    if (CView* view = GetActiveView()) view->OnActivateView(activate, activate ? view : nullptr, activate ? nullptr : view);
}

void CMDIChildWnd::OnUpdateFrameTitle(BOOL addToTitle)
{
    if (!m_hWnd || !(GetStyle() & FWS_ADDTOTITLE) || !addToTitle) return;
    CDocument* doc = GetActiveDocument();
    if (doc) {
        std::string title = doc->GetTitle();
        if (m_nWindow > 0) {
            title += ':';
            title += std::to_string(m_nWindow);
        }
        if (GetWindowText() != title) SetWindowText(title.c_str());
    }
    if (CMDIFrameWnd* frame = GetMDIFrame()) frame->OnUpdateFrameTitle(TRUE);
}

void CMDIChildWnd::OnDestroy()
{
    if (CMDIFrameWnd* frame = GetMDIFrame()) frame->ChildDestroyed(m_hWnd);
    CFrameWnd::OnDestroy();
}
