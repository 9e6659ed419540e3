#include "platform/win/control_bars.h"

#include "core/logger.h"
#include "platform/win/control_models.h"
#include "platform/win/dialog.h"
#include "platform/win/frame_wnd.h"
#include "platform/win/resources.h"
#include "platform/win/window_system.h"

#include <algorithm>

namespace win {

void RegisterBarClasses(WindowSystem& system)
{
    system.RegisterClass({"ControlBar", nullptr, nullptr, COLOR_BTNFACE, IDC_ARROW});
}

namespace {

// Lays the frame out again after a bar appeared or went.
void RelayoutFrameOf(CWnd* bar)
{
    if (auto* frame = dynamic_cast<CFrameWnd*>(bar->GetParent())) frame->RecalcLayout();
}

// Update-command-UI for one toolbar button.
class ToolCmdUI : public CCmdUI {
public:
    explicit ToolCmdUI(UINT& style) : m_style(style) {}
    void Enable(BOOL on) override
    {
        m_bEnableChanged = TRUE;
        if (on) m_style &= ~TBBS_DISABLED;
        else m_style |= TBBS_DISABLED;
    }
    void SetCheck(int check) override
    {
        m_style &= ~(TBBS_CHECKED | TBBS_INDETERMINATE);
        if (check == 1) m_style |= TBBS_CHECKED;
        if (check == 2) m_style |= TBBS_INDETERMINATE;
    }

private:
    UINT& m_style;
};

// Update-command-UI for one control of a dialog bar.
class ControlCmdUI : public CCmdUI {
public:
    void Enable(BOOL on) override
    {
        m_bEnableChanged = TRUE;
        if (m_pOther && (m_pOther->IsWindowEnabled() != 0) != (on != 0)) m_pOther->EnableWindow(on);
    }
    void SetCheck(int check) override
    {
        if (m_pOther) m_pOther->SendMessage(BM_SETCHECK, static_cast<WPARAM>(check));
    }
    void SetText(const char* text) override
    {
        if (m_pOther && m_pOther->GetWindowText() != (text ? text : "")) m_pOther->SetWindowText(text);
    }
};

// Update-command-UI for one status-bar pane.
class PaneCmdUI : public CCmdUI {
public:
    CStatusBar* bar = nullptr;
    void Enable(BOOL on) override
    {
        m_bEnableChanged = TRUE;
        const UINT style = bar->GetPaneStyle(static_cast<int>(m_nIndex));
        bar->SetPaneStyle(static_cast<int>(m_nIndex), on ? (style & ~SBPS_DISABLED) : (style | SBPS_DISABLED));
    }
    void SetText(const char* text) override { bar->SetPaneText(static_cast<int>(m_nIndex), text, FALSE); }
};

}  // namespace
}  // namespace win

// ---- CControlBar -----------------------------------------------------------------

void CControlBar::SetBarStyle(DWORD style)
{
    m_barStyle = style;
    if (m_hWnd) win::RelayoutFrameOf(this);
}

CSize CControlBar::CalcFixedLayout(BOOL, BOOL)
{
    CRect r;
    GetWindowRect(&r);
    return r.Size();
}

void CControlBar::OnUpdateCmdUI(CFrameWnd*, BOOL) {}

void CControlBar::OnIdleUpdateCmdUI()
{
    if (!IsWindowVisible()) return;
    OnUpdateCmdUI(GetDockingFrame(), TRUE);
}

CFrameWnd* CControlBar::GetDockingFrame() const
{
    if (auto* frame = dynamic_cast<CFrameWnd*>(GetParent())) return frame;
    return GetParentFrame();
}

int CControlBar::GetCount() const
{
    return static_cast<int>(win::WindowSystem::Get().Children(m_hWnd).size());
}

BOOL CControlBar::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (CWnd::OnCommand(wParam, lParam)) return TRUE;
    // Commands of a bar's controls go on to the frame that owns it.
    CWnd* owner = GetOwner();
    if (!owner || !owner->m_hWnd) return FALSE;
    owner->SendMessage(WM_COMMAND, wParam, lParam);
    return TRUE;
}

BOOL CControlBar::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (CWnd::OnNotify(wParam, lParam, result)) return TRUE;
    CWnd* owner = GetOwner();
    if (!owner || !owner->m_hWnd) return FALSE;
    *result = owner->SendMessage(WM_NOTIFY, wParam, lParam);
    return TRUE;
}

void CControlBar::PostNcDestroy()
{
    if (m_bAutoDelete) delete this;
}

// ---- CStatusBar ---------------------------------------------------------------------

BOOL CStatusBar::Create(CWnd* parent, DWORD style, UINT id)
{
    return CreateEx(parent, 0, style, id);
}

BOOL CStatusBar::CreateEx(CWnd* parent, DWORD, DWORD style, UINT id)
{
    m_barStyle = style & CBRS_ALL;
    if (!CWnd::CreateEx(0, "ControlBar", "", (style & ~CBRS_ALL) | WS_CHILD, RECT{0, 0, 0, 0}, parent, id))
        return FALSE;
    win::RelayoutFrameOf(this);
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* ids, int count)
{
    m_panes.clear();
    for (int i = 0; i < count; ++i) {
        const UINT id = ids ? ids[i] : ID_SEPARATOR;
        if (id == ID_SEPARATOR) {
            m_panes.push_back(Pane{id, SBPS_NOBORDERS | SBPS_STRETCH, 0, ""});
        } else {
            // An indicator shows its string; the pane is as wide as the text.
            const std::string text = win::Resources::LoadString(id);
            m_panes.push_back(Pane{id, SBPS_NORMAL, static_cast<int>(text.size()) * 7, text});
        }
    }
    Invalidate();
    return TRUE;
}

int CStatusBar::CommandToIndex(UINT id) const
{
    for (size_t i = 0; i < m_panes.size(); ++i) {
        if (m_panes[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

UINT CStatusBar::GetItemID(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return 0;
    return m_panes[static_cast<size_t>(index)].id;
}

void CStatusBar::SetPaneInfo(int index, UINT id, UINT style, int width)
{
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return;
    Pane& p = m_panes[static_cast<size_t>(index)];
    p.id = id;
    p.style = style;
    p.width = width;
    Invalidate();
}

void CStatusBar::GetPaneInfo(int index, UINT& id, UINT& style, int& width) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return;
    const Pane& p = m_panes[static_cast<size_t>(index)];
    id = p.id;
    style = p.style;
    width = p.width;
}

UINT CStatusBar::GetPaneStyle(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return 0;
    return m_panes[static_cast<size_t>(index)].style;
}

void CStatusBar::SetPaneStyle(int index, UINT style)
{
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return;
    if (m_panes[static_cast<size_t>(index)].style == style) return;
    m_panes[static_cast<size_t>(index)].style = style;
    Invalidate();
}

BOOL CStatusBar::SetPaneText(int index, const char* text, BOOL update)
{
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return FALSE;
    Pane& p = m_panes[static_cast<size_t>(index)];
    const std::string value = text ? text : "";
    if (p.text == value) return TRUE;
    p.text = value;
    RECT r;
    GetItemRect(index, &r);
    InvalidateRect(&r, TRUE);
    if (update) UpdateWindow();
    return TRUE;
}

std::string CStatusBar::GetPaneText(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return std::string();
    return m_panes[static_cast<size_t>(index)].text;
}

void CStatusBar::GetItemRect(int index, RECT* rect) const
{
    if (!rect) return;
    *rect = RECT{0, 0, 0, 0};
    if (index < 0 || static_cast<size_t>(index) >= m_panes.size()) return;
    CRect client;
    GetClientRect(&client);
    // Fixed panes keep their width (plus a 4-pixel border each); stretching
    // panes share what is left.
    int fixed = 0, stretching = 0;
    for (const Pane& p : m_panes) {
        if (p.style & SBPS_STRETCH) ++stretching;
        else fixed += p.width + 4;
    }
    const int spare = std::max(0, client.Width() - 2 - fixed);
    int x = 2;
    for (size_t i = 0; i < m_panes.size(); ++i) {
        const Pane& p = m_panes[i];
        const int width = (p.style & SBPS_STRETCH) ? spare / std::max(1, stretching) : p.width + 4;
        if (static_cast<int>(i) == index) {
            *rect = RECT{x, 2, x + width, client.bottom - 1};
            return;
        }
        x += width;
    }
}

CSize CStatusBar::CalcFixedLayout(BOOL, BOOL)
{
    return CSize(32767, win::kStatusBarHeight);
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler)
{
    for (size_t i = 0; i < m_panes.size(); ++i) {
        if (m_panes[i].id == ID_SEPARATOR) continue;
        win::PaneCmdUI ui;
        ui.bar = this;
        ui.m_nID = m_panes[i].id;
        ui.m_nIndex = static_cast<UINT>(i);
        // Panes without a handler keep their state.
        (void)disableIfNoHandler;
        ui.DoUpdate(target, FALSE);
    }
}

// ---- CToolBar ---------------------------------------------------------------------------

BOOL CToolBar::Create(CWnd* parent, DWORD style, UINT id)
{
    return CreateEx(parent, TBSTYLE_FLAT, style, RECT{0, 0, 0, 0}, id);
}

BOOL CToolBar::CreateEx(CWnd* parent, DWORD, DWORD style, RECT, UINT id)
{
    m_barStyle = style & CBRS_ALL;
    if (!CWnd::CreateEx(0, "ControlBar", "", (style & ~CBRS_ALL) | WS_CHILD, RECT{0, 0, 0, 0}, parent, id))
        return FALSE;
    win::RelayoutFrameOf(this);
    return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT resourceId)
{
    const win::ToolBarTemplate* t = win::Resources::FindToolBar(resourceId);
    if (!t) {
        Logger::log("ERROR CToolBar::LoadToolBar no toolbar resource %u", 1, resourceId);
        return FALSE;
    }
    m_buttonSize = t->buttonSize;
    m_bitmapId = t->bitmapId ? t->bitmapId : resourceId;
    return SetButtons(t->commands.data(), static_cast<int>(t->commands.size()));
}

BOOL CToolBar::SetButtons(const UINT* ids, int count)
{
    m_buttons.clear();
    int image = 0;
    for (int i = 0; i < count; ++i) {
        const UINT id = ids ? ids[i] : ID_SEPARATOR;
        if (id == ID_SEPARATOR) m_buttons.push_back(Button{0, TBBS_SEPARATOR, -1});
        else m_buttons.push_back(Button{id, TBBS_BUTTON, image++});
    }
    if (m_hWnd) {
        Invalidate();
        win::RelayoutFrameOf(this);
    }
    return TRUE;
}

void CToolBar::SetSizes(SIZE button, SIZE)
{
    m_buttonSize = button;
    if (m_hWnd) win::RelayoutFrameOf(this);
}

int CToolBar::CommandToIndex(UINT id) const
{
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        if (!(m_buttons[i].style & TBBS_SEPARATOR) && m_buttons[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

UINT CToolBar::GetItemID(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_buttons.size()) return 0;
    return m_buttons[static_cast<size_t>(index)].id;
}

UINT CToolBar::GetButtonStyle(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_buttons.size()) return 0;
    return m_buttons[static_cast<size_t>(index)].style;
}

void CToolBar::SetButtonStyle(int index, UINT style)
{
    if (index < 0 || static_cast<size_t>(index) >= m_buttons.size()) return;
    if (m_buttons[static_cast<size_t>(index)].style == style) return;
    m_buttons[static_cast<size_t>(index)].style = style;
    Invalidate();
}

bool CToolBar::Vertical() const
{
    return (m_barStyle & (CBRS_ALIGN_LEFT | CBRS_ALIGN_RIGHT)) != 0;
}

void CToolBar::GetItemRect(int index, RECT* rect) const
{
    if (!rect) return;
    *rect = RECT{0, 0, 0, 0};
    int pos = win::kToolBarBorder;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const bool separator = (m_buttons[i].style & TBBS_SEPARATOR) != 0;
        const int extent = separator ? win::kSeparatorWidth : (Vertical() ? m_buttonSize.cy : m_buttonSize.cx);
        if (static_cast<int>(i) == index) {
            if (Vertical()) {
                *rect = RECT{win::kToolBarBorder, pos, win::kToolBarBorder + m_buttonSize.cx, pos + extent};
            } else {
                *rect = RECT{pos, win::kToolBarBorder, pos + extent, win::kToolBarBorder + m_buttonSize.cy};
            }
            return;
        }
        pos += extent;
    }
}

CSize CToolBar::CalcFixedLayout(BOOL, BOOL)
{
    int length = 0;
    for (const Button& b : m_buttons) {
        if (b.style & TBBS_HIDDEN) continue;
        length += (b.style & TBBS_SEPARATOR) ? win::kSeparatorWidth : (Vertical() ? m_buttonSize.cy : m_buttonSize.cx);
    }
    const int border = 2 * win::kToolBarBorder;
    if (Vertical()) return CSize(m_buttonSize.cx + border, length + border);
    return CSize(length + border, m_buttonSize.cy + border);
}

int CToolBar::HitTest(POINT point) const
{
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i].style & (TBBS_SEPARATOR | TBBS_HIDDEN)) continue;
        CRect r;
        GetItemRect(static_cast<int>(i), &r);
        if (r.PtInRect(point)) return static_cast<int>(i);
    }
    return -1;
}

void CToolBar::OnLButtonDown(UINT, CPoint point)
{
    const int index = HitTest(point);
    if (index < 0 || (m_buttons[static_cast<size_t>(index)].style & TBBS_DISABLED)) return;
    m_pressed = index;
    m_buttons[static_cast<size_t>(index)].style |= TBBS_PRESSED;
    SetCapture();
    Invalidate();
}

void CToolBar::OnLButtonUp(UINT, CPoint point)
{
    if (m_pressed < 0) return;
    const int pressed = m_pressed;
    m_pressed = -1;
    ::ReleaseCapture();
    Button& b = m_buttons[static_cast<size_t>(pressed)];
    b.style &= ~TBBS_PRESSED;
    Invalidate();
    if (HitTest(point) != pressed || (b.style & TBBS_DISABLED)) return;
    // The command goes to the owner as a menu command would.
    if (CWnd* owner = GetOwner()) owner->SendMessage(WM_COMMAND, MAKEWPARAM(b.id, 0), 0);
}

void CToolBar::OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler)
{
    // Update handlers of the bar's owner first (a view that carries its
    // own toolbar), then of the frame.
    CWnd* owner = GetOwner();
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        Button& b = m_buttons[i];
        if (b.style & TBBS_SEPARATOR) continue;
        const UINT before = b.style;
        win::ToolCmdUI ui(b.style);
        ui.m_nID = b.id;
        ui.m_nIndex = static_cast<UINT>(i);
        ui.m_pOther = this;
        bool done = false;
        if (owner && owner != target) done = owner->OnCmdMsg(b.id, CN_UPDATE_COMMAND_UI, &ui, nullptr) != FALSE;
        if (!done) {
            const BOOL ownerHandles =
                owner && owner != target && [&] {
                    win::HandlerInfo info;
                    return owner->OnCmdMsg(b.id, CN_COMMAND, nullptr, &info);
                }();
            ui.DoUpdate(target, disableIfNoHandler && !ownerHandles);
        }
        if (b.style != before) Invalidate();
    }
}

std::string CToolBar::RequestToolTip(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_buttons.size()) return std::string();
    const Button& b = m_buttons[static_cast<size_t>(index)];
    if (b.style & TBBS_SEPARATOR) return std::string();
    TOOLTIPTEXTA tip{};
    tip.hdr.hwndFrom = m_hWnd;
    tip.hdr.idFrom = b.id;
    tip.hdr.code = TTN_NEEDTEXTA;
    std::string text;
    if (CWnd* owner = GetOwner()) owner->SendMessage(WM_NOTIFY, b.id, reinterpret_cast<LPARAM>(&tip));
    if (tip.lpszText) text = tip.lpszText;
    else if (tip.szText[0]) text = tip.szText;
    else {
        // Nobody answered: the tip is the command string after its line break.
        text = win::CommandTip(b.id);
        if (m_barStyle & CBRS_FLYBY) {
            if (CFrameWnd* frame = GetTopLevelFrame()) frame->SetMessageText(win::CommandPrompt(b.id).c_str());
        }
    }
    return text;
}

// ---- CDialogBar --------------------------------------------------------------------------

BOOL CDialogBar::Create(CWnd* parent, UINT templateId, UINT style, UINT id)
{
    const win::DialogTemplate* t = win::Resources::FindDialog(templateId);
    if (!t) {
        Logger::log("ERROR CDialogBar::Create no dialog resource %u", 1, templateId);
        return FALSE;
    }
    m_templateId = templateId;
    m_barStyle = style & CBRS_ALL;
    m_size = CSize(t->size.cx, t->size.cy);
    const DWORD windowStyle = (style & ~CBRS_ALL) | WS_CHILD | WS_VISIBLE;
    if (!CWnd::CreateEx(0, "Dialog", t->caption.c_str(), windowStyle, RECT{0, 0, t->size.cx, t->size.cy}, parent, id))
        return FALSE;
    if (!win::CreateTemplateControls(*t, this)) {
        DestroyWindow();
        return FALSE;
    }
    win::RelayoutFrameOf(this);
    return TRUE;
}

CSize CDialogBar::CalcFixedLayout(BOOL, BOOL)
{
    return m_size;
}

void CDialogBar::OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler)
{
    for (HWND child : win::WindowSystem::Get().Children(m_hWnd)) {
        win::WindowData* c = win::WindowSystem::Get().Find(child);
        if (!c || c->id == 0 || c->id == 0xFFFF) continue;
        win::ControlCmdUI ui;
        ui.m_nID = c->id;
        ui.m_pOther = FromHandle(child);
        // The bar's own handlers first, then the frame's.
        if (OnCmdMsg(c->id, CN_UPDATE_COMMAND_UI, &ui, nullptr)) continue;
        if (target && target->OnCmdMsg(c->id, CN_UPDATE_COMMAND_UI, &ui, nullptr)) continue;
        if (!disableIfNoHandler || ui.m_bEnableChanged) continue;
        // Only push buttons without any handler are disabled.
        const DWORD type = c->style & BS_TYPEMASK;
        const bool pushButton = c->windowClass->name == "Button" &&
                                (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW);
        if (!pushButton) continue;
        win::HandlerInfo info;
        const BOOL handled = OnCmdMsg(c->id, CN_COMMAND, nullptr, &info) ||
                             (target && target->OnCmdMsg(c->id, CN_COMMAND, nullptr, &info));
        ui.Enable(handled);
    }
}
