#include "platform/win/dialog.h"

#include "core/logger.h"
#include "platform/win/data_exchange.h"
#include "platform/win/message_queue.h"
#include "platform/win/prompter.h"
#include "platform/win/win_app.h"
#include "platform/win/window_system.h"

#include <atomic>

namespace win {

namespace {
std::atomic<bool> g_interactive{false};
}

void SetInteractive(bool interactive)
{
    g_interactive = interactive;
}

bool IsInteractive()
{
    return g_interactive;
}

const char* ControlClassName(const ControlTemplate& c)
{
    switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::GroupBox:
    case ControlKind::OwnerDrawButton: return "Button";
    case ControlKind::Static:
    case ControlKind::StaticBitmap:
    case ControlKind::StaticFrame: return "Static";
    case ControlKind::Edit: return "Edit";
    case ControlKind::ComboDropList:
    case ControlKind::ComboDropDown: return "ComboBox";
    case ControlKind::ListBox:
    case ControlKind::ListBoxExtended: return "ListBox";
    case ControlKind::TreeView: return "TreeView";
    case ControlKind::Slider: return "Trackbar";
    case ControlKind::Progress: return "Progress";
    case ControlKind::Custom: return c.className.c_str();
    }
    return "Static";
}

DWORD ControlStyle(const ControlTemplate& c)
{
    DWORD style = WS_CHILD | WS_VISIBLE | c.style;
    switch (c.kind) {
    case ControlKind::PushButton: style |= BS_PUSHBUTTON | WS_TABSTOP; break;
    case ControlKind::DefPushButton: style |= BS_DEFPUSHBUTTON | WS_TABSTOP; break;
    case ControlKind::CheckBox: style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
    case ControlKind::RadioButton: style |= BS_AUTORADIOBUTTON; break;
    case ControlKind::GroupBox: style |= BS_GROUPBOX; break;
    case ControlKind::OwnerDrawButton: style |= BS_OWNERDRAW | WS_TABSTOP; break;
    case ControlKind::Static: style |= SS_LEFT; break;
    case ControlKind::StaticBitmap: style |= SS_BITMAP; break;
    case ControlKind::StaticFrame: style |= SS_ETCHEDFRAME; break;
    case ControlKind::Edit: style |= ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP; break;
    case ControlKind::ComboDropList: style |= CBS_DROPDOWNLIST | WS_TABSTOP; break;
    case ControlKind::ComboDropDown: style |= CBS_DROPDOWN | WS_TABSTOP; break;
    case ControlKind::ListBox: style |= LBS_NOTIFY | WS_BORDER | WS_TABSTOP; break;
    case ControlKind::ListBoxExtended: style |= LBS_NOTIFY | LBS_EXTENDEDSEL | WS_BORDER | WS_TABSTOP; break;
    case ControlKind::TreeView: style |= TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_BORDER | WS_TABSTOP; break;
    case ControlKind::Slider: style |= TBS_HORZ | WS_TABSTOP; break;
    case ControlKind::Progress: style |= WS_BORDER; break;
    case ControlKind::Custom: break;
    }
    return style;
}

bool CreateTemplateControls(const DialogTemplate& t, CWnd* parent)
{
    if (!parent || !parent->m_hWnd) return false;
    for (const ControlTemplate& c : t.controls) {
        const HWND hwnd = WindowSystem::Get().Create(c.exStyle, ControlClassName(c), c.text.c_str(), ControlStyle(c),
                                                     c.rect, parent->m_hWnd, c.id, nullptr, nullptr);
        if (!hwnd) {
            Logger::log("ERROR CreateTemplateControls control %u of template %u failed", 1, c.id, t.id);
            return false;
        }
    }
    return true;
}

}  // namespace win

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_pParentWnd(parent), m_templateId(templateId) {}

const win::MessageMap* CDialog::GetMessageMap() const
{
    static const win::MessageMap map(CWnd::GetMessageMap(),
                                     {
                                         win::on::Message(WM_INITDIALOG, &CDialog::HandleInitDialog),
                                         win::on::Command(IDOK, &CDialog::OnOKCommand),
                                         win::on::Command(IDCANCEL, &CDialog::OnCancelCommand),
                                     });
    return &map;
}

BOOL CDialog::CreateFromTemplate(const win::DialogTemplate& t, CWnd* parent, bool modal)
{
    DWORD style = t.style;
    DWORD exStyle = 0;
    if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
    const bool child = (style & WS_CHILD) != 0;
    const bool visible = (style & WS_VISIBLE) != 0;
    style &= ~WS_VISIBLE;
    // The template gives the client size; the window adds its frame.
    win::WindowData probe;
    probe.style = style;
    probe.exStyle = exStyle;
    const RECT in = win::WindowSystem::Get().NonClientInsets(probe);
    const int width = t.size.cx + in.left + in.right;
    const int height = t.size.cy + in.top + in.bottom;
    RECT rect{0, 0, width, height};
    if (!CreateEx(exStyle, "Dialog", t.caption.c_str(), style, rect, parent, 0)) return FALSE;
    if (!child) CenterWindow(parent);
    if (!win::CreateTemplateControls(t, this)) {
        DestroyWindow();
        return FALSE;
    }
    for (const auto& c : t.controls) {
        if (c.kind == win::ControlKind::DefPushButton) m_defaultId = c.id;
    }
    m_modal = modal;
    m_ended = false;
    const LRESULT focusDefault = SendMessage(WM_INITDIALOG, 0, 0);
    if (!m_hWnd) return FALSE;
    if (focusDefault) {
        // The focus goes to the first control that takes it.
        for (HWND child : win::WindowSystem::Get().Children(m_hWnd)) {
            win::WindowData* c = win::WindowSystem::Get().Find(child);
            if (c && (c->style & WS_TABSTOP) && !(c->style & WS_DISABLED) && (c->style & WS_VISIBLE)) {
                win::WindowSystem::Get().SetFocus(child);
                break;
            }
        }
    }
    if (visible && !modal && m_hWnd) ShowWindow(child ? SW_SHOWNA : SW_SHOW);
    return m_hWnd != nullptr;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM)
{
    return OnInitDialog();
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_templateId = templateId;
    if (parent) m_pParentWnd = parent;
    const win::DialogTemplate* t = win::Resources::FindDialog(templateId);
    if (!t) {
        Logger::log("ERROR CDialog::Create no dialog resource %u", 1, templateId);
        return FALSE;
    }
    CWnd* owner = m_pParentWnd;
    if (!owner && !(t->style & WS_CHILD)) owner = AfxGetMainWnd();
    return CreateFromTemplate(*t, owner, false);
}

INT_PTR CDialog::DoModal()
{
    const win::DialogTemplate* t = win::Resources::FindDialog(m_templateId);
    if (!t) {
        Logger::log("ERROR CDialog::DoModal no dialog resource %u", 1, m_templateId);
        return -1;
    }
    CWnd* parent = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
    // The owner is the top-level window of the parent; it takes no input
    // while the dialog runs.
    CWnd* owner = parent ? parent->GetTopLevelParent() : nullptr;
    const bool disableOwner = owner && owner->m_hWnd && owner->IsWindowEnabled();
    if (disableOwner) owner->EnableWindow(FALSE);
    m_modalResult = -1;
    if (!CreateFromTemplate(*t, owner, true)) {
        if (disableOwner && owner->m_hWnd) owner->EnableWindow(TRUE);
        return -1;
    }
    if (!m_ended) ShowWindow(SW_SHOW);

    while (!m_ended && m_hWnd) {
        MSG msg;
        if (win::MessageQueue::Get().Peek(msg, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The program ends: the quit goes on to the main loop.
                win::MessageQueue::Get().PostQuit(static_cast<int>(msg.wParam));
                EndDialog(IDCANCEL);
                break;
            }
            win::TranslateAndDispatch(msg);
            continue;
        }
        long count = 0;
        while (win::RunIdle(count++) && !win::MessageQueue::Get().HasWork()) {
        }
        if (win::MessageQueue::Get().HasWork() || m_ended) continue;
        if (win::IsInteractive()) {
            win::MessageQueue::Get().WaitForWork(10);
            continue;
        }
        // Headless: the prompter plays the user.
        if (!win::GetPrompter().DriveModal(*this)) EndDialog(IDCANCEL);
    }
    if (disableOwner && owner->m_hWnd) owner->EnableWindow(TRUE);
    if (m_hWnd) DestroyWindow();
    if (owner && owner->m_hWnd) owner->SetActiveWindow();
    m_modal = false;
    return m_modalResult;
}

void CDialog::EndDialog(int result)
{
    m_modalResult = result;
    m_ended = true;
    if (!m_modal && m_hWnd) ShowWindow(SW_HIDE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnClose()
{
    const HWND cancel = win::WindowSystem::Get().ChildById(m_hWnd, IDCANCEL);
    SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    if (dx.Failed()) {
        if (CWnd* control = GetDlgItem(static_cast<int>(dx.m_idLastControl))) control->SetFocus();
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

DWORD CDialog::GetDefID() const
{
    return m_defaultId ? m_defaultId : static_cast<DWORD>(IDOK);
}

void CDialog::GotoDlgCtrl(CWnd* control)
{
    if (control) control->SetFocus();
}

void CDialog::NextDlgCtrl()
{
    const auto children = win::WindowSystem::Get().Children(m_hWnd);
    if (children.empty()) return;
    const HWND focus = win::WindowSystem::Get().GetFocus();
    auto it = std::find(children.begin(), children.end(), focus);
    size_t start = it == children.end() ? 0 : static_cast<size_t>(it - children.begin()) + 1;
    for (size_t k = 0; k < children.size(); ++k) {
        const HWND h = children[(start + k) % children.size()];
        win::WindowData* c = win::WindowSystem::Get().Find(h);
        if (c && (c->style & WS_TABSTOP) && !(c->style & WS_DISABLED) && (c->style & WS_VISIBLE)) {
            win::WindowSystem::Get().SetFocus(h);
            return;
        }
    }
}

void CDialog::PrevDlgCtrl()
{
    const auto children = win::WindowSystem::Get().Children(m_hWnd);
    if (children.empty()) return;
    const HWND focus = win::WindowSystem::Get().GetFocus();
    auto it = std::find(children.begin(), children.end(), focus);
    const size_t n = children.size();
    size_t start = it == children.end() ? n - 1 : (static_cast<size_t>(it - children.begin()) + n - 1) % n;
    for (size_t k = 0; k < n; ++k) {
        const HWND h = children[(start + n - k) % n];
        win::WindowData* c = win::WindowSystem::Get().Find(h);
        if (c && (c->style & WS_TABSTOP) && !(c->style & WS_DISABLED) && (c->style & WS_VISIBLE)) {
            win::WindowSystem::Get().SetFocus(h);
            return;
        }
    }
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (!msg || msg->message != WM_KEYDOWN || !m_hWnd) return FALSE;
    // Keys typed in this dialog or its controls: Enter presses the default
    // button, Escape cancels.
    win::WindowData* target = win::WindowSystem::Get().Find(msg->hwnd);
    if (!target) return FALSE;
    if (msg->hwnd != m_hWnd && target->parent != m_hWnd) return FALSE;
    if (msg->wParam == VK_ESCAPE) {
        const HWND cancel = win::WindowSystem::Get().ChildById(m_hWnd, IDCANCEL);
        win::WindowData* c = win::WindowSystem::Get().Find(cancel);
        if (c && (c->style & WS_DISABLED)) return TRUE;
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return TRUE;
    }
    if (msg->wParam == VK_RETURN) {
        if (target->windowClass->name == "Edit" && (target->style & ES_MULTILINE)) return FALSE;
        const UINT id = GetDefID();
        const HWND button = win::WindowSystem::Get().ChildById(m_hWnd, id);
        win::WindowData* b = win::WindowSystem::Get().Find(button);
        if (b && (b->style & WS_DISABLED)) return TRUE;
        SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return TRUE;
    }
    return FALSE;
}
