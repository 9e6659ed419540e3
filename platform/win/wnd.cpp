#include "platform/win/wnd.h"

#include "core/logger.h"
#include "platform/win/menu.h"
#include "platform/win/prompter.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/window_system.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

using win::WindowSystem;

namespace {

// The message each nested WindowProc is handling, for Default().
struct CurrentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
thread_local std::vector<CurrentMessage> t_current;

class CurrentMessageScope {
public:
    CurrentMessageScope(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        t_current.push_back(CurrentMessage{hwnd, message, wParam, lParam});
    }
    ~CurrentMessageScope() { t_current.pop_back(); }
};

WindowSystem& System()
{
    return WindowSystem::Get();
}

}  // namespace

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_deletedFlag) *m_deletedFlag = true;
    // The object goes before its window: the window lives on with a
    // runtime-made object and is destroyed on the user-interface thread.
    if (m_hWnd && System().IsWindow(m_hWnd)) {
        const HWND hwnd = m_hWnd;
        System().DetachObject(hwnd, this);
        m_hWnd = nullptr;
        if (System().IsUiThread()) System().Destroy(hwnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    return System().ObjectOf(hwnd);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&)
{
    return TRUE;
}

BOOL CWnd::Create(const char* className, const char* windowName, DWORD style, const RECT& rect, CWnd* parent,
                  UINT id, void* context)
{
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id, context);
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, const RECT& rect,
                    CWnd* parent, UINT idOrMenu, void* param)
{
    if (m_hWnd) return FALSE;
    m_hadWindow = false;
    CREATESTRUCT cs{};
    cs.lpCreateParams = param;
    cs.hwndParent = parent ? parent->m_hWnd : nullptr;
    cs.hMenu = reinterpret_cast<HMENU>(static_cast<uintptr_t>(idOrMenu));
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!PreCreateWindow(cs)) return FALSE;
    const RECT r{cs.x, cs.y, cs.x + cs.cx, cs.y + cs.cy};
    const HWND hwnd = System().Create(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), r,
                                      cs.hwndParent, static_cast<UINT>(reinterpret_cast<uintptr_t>(cs.hMenu)),
                                      param, this);
    return hwnd != nullptr;
}

BOOL CWnd::CreateOrDispose(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                           const RECT& rect, CWnd* parent, UINT idOrMenu, void* param)
{
    bool deleted = false;
    m_deletedFlag = &deleted;
    const BOOL ok = CreateEx(exStyle, className, windowName, style, rect, parent, idOrMenu, param);
    if (deleted) return FALSE;
    m_deletedFlag = nullptr;
    // No window ever came, so no WM_NCDESTROY: dispose of the object here.
    if (!ok && !m_hadWindow) PostNcDestroy();
    return ok;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    return System().Destroy(m_hWnd) ? TRUE : FALSE;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (m_hWnd || !System().AttachObject(hwnd, this)) {
        Logger::log("ERROR CWnd::SubclassWindow the window already has an object of the program", 1);
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent) return FALSE;
    const HWND child = System().ChildById(parent->m_hWnd, id);
    if (!child) return FALSE;
    return SubclassWindow(child);
}

HWND CWnd::UnsubclassWindow()
{
    const HWND hwnd = m_hWnd;
    if (hwnd) System().DetachObject(hwnd, this);
    m_hWnd = nullptr;
    return hwnd;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    CurrentMessageScope scope(m_hWnd, message, wParam, lParam);
    LRESULT result = 0;
    // After a handled message the object may be gone (PostNcDestroy).
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    LRESULT r = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        if (result) *result = 1;
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        if (!OnNotify(wParam, lParam, &r)) return FALSE;
        if (result) *result = r;
        return TRUE;
    }
    if (const win::MessageMap* map = GetMessageMap()) {
        if (const win::MessageMapEntry* entry = map->FindMessage(message)) {
            r = entry->call(this, wParam, lParam);
            if (result) *result = r;
            return TRUE;
        }
    }
    if (!DispatchTypedMessage(message, wParam, lParam, &r)) return FALSE;
    if (result) *result = r;
    return TRUE;
}

BOOL CWnd::DispatchTypedMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const CPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    switch (message) {
    case WM_CREATE: *result = OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam)); return TRUE;
    case WM_DESTROY: OnDestroy(); return TRUE;
    case WM_NCDESTROY: OnNcDestroy(); return TRUE;
    case WM_CLOSE: OnClose(); return TRUE;
    case WM_PAINT: OnPaint(); return TRUE;
    case WM_ERASEBKGND: *result = OnEraseBkgnd(reinterpret_cast<CDC*>(wParam)); return TRUE;
    case WM_SIZE: OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return TRUE;
    case WM_MOVE: OnMove(point.x, point.y); return TRUE;
    case WM_SHOWWINDOW: OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)); return TRUE;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam), FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam));
        return TRUE;
    case WM_SETFOCUS: OnSetFocus(FromHandle(reinterpret_cast<HWND>(wParam))); return TRUE;
    case WM_KILLFOCUS: OnKillFocus(FromHandle(reinterpret_cast<HWND>(wParam))); return TRUE;
    case WM_ENABLE: OnEnable(static_cast<BOOL>(wParam)); return TRUE;
    case WM_LBUTTONDOWN: OnLButtonDown(static_cast<UINT>(wParam), point); return TRUE;
    case WM_LBUTTONUP: OnLButtonUp(static_cast<UINT>(wParam), point); return TRUE;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(static_cast<UINT>(wParam), point); return TRUE;
    case WM_RBUTTONDOWN: OnRButtonDown(static_cast<UINT>(wParam), point); return TRUE;
    case WM_RBUTTONUP: OnRButtonUp(static_cast<UINT>(wParam), point); return TRUE;
    case WM_MOUSEMOVE: OnMouseMove(static_cast<UINT>(wParam), point); return TRUE;
    case WM_MOUSEWHEEL:
        *result = OnMouseWheel(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), point);
        return TRUE;
    case WM_KEYDOWN: OnKeyDown(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return TRUE;
    case WM_KEYUP: OnKeyUp(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return TRUE;
    case WM_CHAR: OnChar(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return TRUE;
    case WM_TIMER: OnTimer(wParam); return TRUE;
    case WM_HSCROLL:
        OnHScroll(LOWORD(wParam), HIWORD(wParam), lParam ? FromHandle(reinterpret_cast<HWND>(lParam)) : nullptr);
        return TRUE;
    case WM_VSCROLL:
        OnVScroll(LOWORD(wParam), HIWORD(wParam), lParam ? FromHandle(reinterpret_cast<HWND>(lParam)) : nullptr);
        return TRUE;
    case WM_DRAWITEM:
        OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        *result = TRUE;
        return TRUE;
    case WM_SETCURSOR:
        *result = OnSetCursor(FromHandle(reinterpret_cast<HWND>(wParam)), LOWORD(lParam), HIWORD(lParam));
        return TRUE;
    case WM_CONTEXTMENU: OnContextMenu(FromHandle(reinterpret_cast<HWND>(wParam)), point); return TRUE;
    case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wParam)); return TRUE;
    case WM_MDIACTIVATE: {
        // wParam: the child losing activation; lParam: the one gaining it.
        const HWND deactivated = reinterpret_cast<HWND>(wParam);
        const HWND activated = reinterpret_cast<HWND>(lParam);
        OnMDIActivate(activated == m_hWnd, FromHandle(activated), FromHandle(deactivated));
        return TRUE;
    }
    case WM_IDLEUPDATECMDUI: OnIdleUpdateCmdUI(); return TRUE;
    default: return FALSE;
    }
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWnd) return 0;
    return System().DefaultProc(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    if (t_current.empty()) return 0;
    const CurrentMessage m = t_current.back();
    return System().DefaultProc(m.hwnd, m.message, m.wParam, m.lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return win::MessageQueue::Get().Send(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (!m_hWnd) return FALSE;
    return win::MessageQueue::Get().Post(m_hWnd, message, wParam, lParam) ? TRUE : FALSE;
}

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL deep)
{
    for (HWND child : System().Children(m_hWnd)) {
        win::MessageQueue::Get().Send(child, message, wParam, lParam);
        if (deep) {
            if (CWnd* c = FromHandle(child)) c->SendMessageToDescendants(message, wParam, lParam, TRUE);
        }
    }
}

const win::MessageMap* CWnd::GetMessageMap() const
{
    return CCmdTarget::GetMessageMap();
}

// ---- Text --------------------------------------------------------------------

void CWnd::SetWindowText(const char* text)
{
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

std::string CWnd::GetWindowText() const
{
    const int length = GetWindowTextLength();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT n = SendMessage(WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(0, n)));
    return text;
}

int CWnd::GetWindowText(char* buffer, int maxCount) const
{
    if (!buffer || maxCount <= 0) return 0;
    return static_cast<int>(SendMessage(WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int CWnd::GetWindowTextLength() const
{
    return static_cast<int>(SendMessage(WM_GETTEXTLENGTH));
}

// ---- Dialog items --------------------------------------------------------------

CWnd* CWnd::GetDlgItem(int id) const
{
    return FromHandle(System().ChildById(m_hWnd, static_cast<UINT>(id)));
}

int CWnd::GetDlgCtrlID() const
{
    win::WindowData* w = System().Find(m_hWnd);
    return w ? static_cast<int>(w->id) : 0;
}

int CWnd::SetDlgCtrlID(int id)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return 0;
    const int old = static_cast<int>(w->id);
    w->id = static_cast<UINT>(id);
    return old;
}

void CWnd::SetDlgItemText(int id, const char* text)
{
    if (CWnd* item = GetDlgItem(id)) item->SetWindowText(text);
}

std::string CWnd::GetDlgItemText(int id) const
{
    CWnd* item = GetDlgItem(id);
    return item ? item->GetWindowText() : std::string();
}

int CWnd::GetDlgItemText(int id, char* buffer, int maxCount) const
{
    CWnd* item = GetDlgItem(id);
    if (!item) {
        if (buffer && maxCount > 0) buffer[0] = '\0';
        return 0;
    }
    return item->GetWindowText(buffer, maxCount);
}

void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned)
{
    char text[32];
    if (isSigned) snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else snprintf(text, sizeof text, "%u", value);
    SetDlgItemText(id, text);
}

UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const
{
    const std::string text = GetDlgItemText(id);
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    char* end = nullptr;
    errno = 0;
    const long long v = strtoll(p, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    const bool ok = end != p && end && *end == '\0' && errno == 0 &&
                    (isSigned ? (v >= INT32_MIN && v <= INT32_MAX) : (v >= 0 && v <= UINT32_MAX));
    if (translated) *translated = ok ? TRUE : FALSE;
    return ok ? static_cast<UINT>(v) : 0;
}

void CWnd::CheckDlgButton(int id, UINT check)
{
    if (CWnd* item = GetDlgItem(id)) item->SendMessage(BM_SETCHECK, check);
}

UINT CWnd::IsDlgButtonChecked(int id) const
{
    CWnd* item = GetDlgItem(id);
    return item ? static_cast<UINT>(item->SendMessage(BM_GETCHECK)) : 0;
}

void CWnd::CheckRadioButton(int firstId, int lastId, int checkId)
{
    for (int id = firstId; id <= lastId; ++id) CheckDlgButton(id, id == checkId ? BST_CHECKED : BST_UNCHECKED);
}

int CWnd::GetCheckedRadioButton(int firstId, int lastId) const
{
    for (int id = firstId; id <= lastId; ++id) {
        if (IsDlgButtonChecked(id) == BST_CHECKED) return id;
    }
    return 0;
}

CWnd* CWnd::GetParent() const
{
    // A child's parent; a pop-up's owner; nothing for an overlapped window.
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return nullptr;
    if (w->parent) return FromHandle(w->parent);
    return (w->style & WS_POPUP) ? FromHandle(w->owner) : nullptr;
}

CWnd* CWnd::SetParent(CWnd* newParent)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return nullptr;
    CWnd* old = GetParent();
    if (!(w->style & WS_CHILD)) {
        w->owner = newParent ? newParent->m_hWnd : nullptr;
        return old;
    }
    win::WindowData* p = newParent ? System().Find(newParent->m_hWnd) : nullptr;
    if (!p) return nullptr;
    System().Invalidate(w->parent, nullptr, true, false);
    auto& siblings = System().Find(w->parent)->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), m_hWnd), siblings.end());
    w->parent = newParent->m_hWnd;
    p->children.insert(p->children.begin(), m_hWnd);
    System().Invalidate(m_hWnd, nullptr, true);
    return old;
}

CWnd* CWnd::GetOwner() const
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return nullptr;
    return FromHandle(w->owner ? w->owner : w->parent);
}

CWnd* CWnd::GetTopLevelParent() const
{
    return FromHandle(System().TopLevelOf(m_hWnd));
}

CWnd* CWnd::GetWindow(UINT relation) const
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return nullptr;
    if (relation == GW_CHILD) {
        const auto children = System().Children(m_hWnd);
        return children.empty() ? nullptr : FromHandle(children.front());
    }
    if (relation == GW_OWNER) return FromHandle(w->owner);
    const std::vector<HWND> siblings = w->parent ? System().Children(w->parent) : System().TopLevelWindows();
    auto it = std::find(siblings.begin(), siblings.end(), m_hWnd);
    if (siblings.empty() || it == siblings.end()) return nullptr;
    switch (relation) {
    case GW_HWNDFIRST: return FromHandle(siblings.front());
    case GW_HWNDLAST: return FromHandle(siblings.back());
    case GW_HWNDNEXT: return (it + 1 == siblings.end()) ? nullptr : FromHandle(*(it + 1));
    case GW_HWNDPREV: return (it == siblings.begin()) ? nullptr : FromHandle(*(it - 1));
    default: return nullptr;
    }
}

CWnd* CWnd::GetNextDlgGroupItem(CWnd* control, BOOL previous) const
{
    // The group runs from a control with WS_GROUP to the next one.
    const auto children = System().Children(m_hWnd);
    auto it = std::find(children.begin(), children.end(), control ? control->m_hWnd : nullptr);
    if (it == children.end()) return nullptr;
    size_t start = static_cast<size_t>(it - children.begin());
    while (start > 0 && !(System().Find(children[start])->style & WS_GROUP)) --start;
    size_t end = start + 1;
    while (end < children.size() && !(System().Find(children[end])->style & WS_GROUP)) ++end;
    const size_t pos = static_cast<size_t>(it - children.begin());
    const size_t count = end - start;
    const size_t next = previous ? start + (pos - start + count - 1) % count : start + (pos - start + 1) % count;
    return FromHandle(children[next]);
}

BOOL CWnd::IsChild(const CWnd* wnd) const
{
    if (!wnd) return FALSE;
    for (win::WindowData* w = System().Find(wnd->m_hWnd); w && w->parent; w = System().Find(w->parent)) {
        if (w->parent == m_hWnd) return TRUE;
    }
    return FALSE;
}

CWnd* CWnd::ChildWindowFromPoint(POINT client) const
{
    return FromHandle(System().ChildFromPoint(m_hWnd, client));
}

// ---- Geometry -------------------------------------------------------------------

void CWnd::GetClientRect(RECT* rect) const
{
    if (rect) *rect = System().ClientRect(m_hWnd);
}

void CWnd::GetWindowRect(RECT* rect) const
{
    if (rect) *rect = System().WindowRectScreen(m_hWnd);
}

void CWnd::ClientToScreen(POINT* point) const
{
    if (!point) return;
    const POINT o = System().ClientOriginScreen(m_hWnd);
    point->x += o.x;
    point->y += o.y;
}

void CWnd::ClientToScreen(RECT* rect) const
{
    if (!rect) return;
    const POINT o = System().ClientOriginScreen(m_hWnd);
    rect->left += o.x;
    rect->right += o.x;
    rect->top += o.y;
    rect->bottom += o.y;
}

void CWnd::ScreenToClient(POINT* point) const
{
    if (!point) return;
    const POINT o = System().ClientOriginScreen(m_hWnd);
    point->x -= o.x;
    point->y -= o.y;
}

void CWnd::ScreenToClient(RECT* rect) const
{
    if (!rect) return;
    const POINT o = System().ClientOriginScreen(m_hWnd);
    rect->left -= o.x;
    rect->right -= o.x;
    rect->top -= o.y;
    rect->bottom -= o.y;
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL)
{
    System().SetWindowRect(m_hWnd, RECT{x, y, x + width, y + height});
}

void CWnd::MoveWindow(const RECT* rect, BOOL repaint)
{
    if (rect) MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return FALSE;
    RECT r = w->rect;
    if (!(flags & SWP_NOMOVE)) {
        const int width = r.right - r.left, height = r.bottom - r.top;
        r = RECT{x, y, x + width, y + height};
    }
    if (!(flags & SWP_NOSIZE)) {
        r.right = r.left + cx;
        r.bottom = r.top + cy;
    }
    System().SetWindowRect(m_hWnd, r);
    if (!System().Find(m_hWnd)) return TRUE;
    if (!(flags & SWP_NOZORDER)) {
        // wndTop, wndBottom ... carry the special insert-after values.
        System().SetZOrder(m_hWnd, insertAfter ? insertAfter->m_hWnd : HWND_TOP);
    }
    if (flags & SWP_SHOWWINDOW) System().Show(m_hWnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) System().Show(m_hWnd, SW_HIDE);
    return TRUE;
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return;
    CRect area;
    CWnd* owner = alternateOwner ? alternateOwner : GetOwner();
    if (w->parent) area = System().ClientRect(w->parent);
    else if (owner && owner->m_hWnd) area = System().WindowRectScreen(owner->m_hWnd);
    else area = CRect(0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    const int x = area.left + (area.Width() - width) / 2;
    const int y = area.top + (area.Height() - height) / 2;
    System().SetWindowRect(m_hWnd, RECT{x, y, x + width, y + height});
}

void CWnd::BringWindowToTop()
{
    System().BringToTop(m_hWnd);
}

void CWnd::CalcWindowRect(RECT* clientRect, UINT)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || !clientRect) return;
    const RECT in = System().NonClientInsets(*w);
    clientRect->left -= in.left;
    clientRect->top -= in.top;
    clientRect->right += in.right;
    clientRect->bottom += in.bottom;
}

// ---- State --------------------------------------------------------------------------

DWORD CWnd::GetStyle() const
{
    win::WindowData* w = System().Find(m_hWnd);
    return w ? w->style : 0;
}

DWORD CWnd::GetExStyle() const
{
    win::WindowData* w = System().Find(m_hWnd);
    return w ? w->exStyle : 0;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return FALSE;
    const DWORD old = w->style;
    const RECT oldClient = System().ClientRect(m_hWnd);
    w->style = (w->style & ~remove) | add;
    if (w->style == old) return FALSE;
    System().NonClientChanged(m_hWnd, oldClient);
    System().Invalidate(m_hWnd, nullptr, true);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return FALSE;
    const DWORD old = w->exStyle;
    const RECT oldClient = System().ClientRect(m_hWnd);
    w->exStyle = (w->exStyle & ~remove) | add;
    if (w->exStyle == old) return FALSE;
    System().NonClientChanged(m_hWnd, oldClient);
    return TRUE;
}

BOOL CWnd::ShowWindow(int command)
{
    return System().Show(m_hWnd, command) ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const
{
    return System().IsVisible(m_hWnd) ? TRUE : FALSE;
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    return System().Enable(m_hWnd, enable != FALSE) ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const
{
    win::WindowData* w = System().Find(m_hWnd);
    return (w && !(w->style & WS_DISABLED)) ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const
{
    return (GetStyle() & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL CWnd::IsZoomed() const
{
    return (GetStyle() & WS_MAXIMIZE) ? TRUE : FALSE;
}

CWnd* CWnd::SetFocus()
{
    return FromHandle(System().SetFocus(m_hWnd));
}

CWnd* CWnd::GetFocus()
{
    return FromHandle(System().GetFocus());
}

CWnd* CWnd::SetCapture()
{
    return FromHandle(System().SetCapture(m_hWnd));
}

CWnd* CWnd::GetCapture()
{
    return FromHandle(System().GetCapture());
}

CWnd* CWnd::GetActiveWindow()
{
    return FromHandle(System().GetActiveWindow());
}

CWnd* CWnd::SetActiveWindow()
{
    return FromHandle(System().SetActiveWindow(m_hWnd));
}

BOOL CWnd::SetForegroundWindow()
{
    System().SetActiveWindow(m_hWnd);
    return TRUE;
}

CWnd* CWnd::GetDesktopWindow()
{
    return FromHandle(System().DesktopWindow());
}

HICON CWnd::SetIcon(HICON icon, BOOL big)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return nullptr;
    HICON& slot = big ? w->bigIcon : w->smallIcon;
    const HICON old = slot;
    slot = icon;
    return old;
}

HICON CWnd::GetIcon(BOOL big) const
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return nullptr;
    return big ? w->bigIcon : w->smallIcon;
}

CMenu* CWnd::GetMenu() const
{
    win::WindowData* w = System().Find(m_hWnd);
    return (w && w->menu) ? CMenu::FromHandle(w->menu) : nullptr;
}

BOOL CWnd::SetMenu(CMenu* menu)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || (w->style & WS_CHILD)) return FALSE;
    const RECT oldClient = System().ClientRect(m_hWnd);
    w->menu = menu ? menu->GetSafeHmenu() : nullptr;
    System().NonClientChanged(m_hWnd, oldClient);
    return TRUE;
}

void CWnd::DragAcceptFiles(BOOL accept)
{
    if (accept) ModifyStyleEx(0, WS_EX_ACCEPTFILES);
    else ModifyStyleEx(WS_EX_ACCEPTFILES, 0);
}

// ---- Painting --------------------------------------------------------------------------

void CWnd::Invalidate(BOOL erase)
{
    System().Invalidate(m_hWnd, nullptr, erase != FALSE);
}

void CWnd::InvalidateRect(const RECT* rect, BOOL erase)
{
    System().Invalidate(m_hWnd, rect, erase != FALSE);
}

void CWnd::ValidateRect(const RECT* rect)
{
    System().Validate(m_hWnd, rect);
}

void CWnd::UpdateWindow()
{
    // Paints this window and then its descendants that wait, at once.
    for (int guard = 0; guard < 10000; ++guard) {
        win::WindowData* w = System().Find(m_hWnd);
        if (!w || !System().IsVisible(m_hWnd)) return;
        HWND target = nullptr;
        std::vector<HWND> stack{m_hWnd};
        while (!stack.empty() && !target) {
            const HWND h = stack.back();
            stack.pop_back();
            win::WindowData* d = System().Find(h);
            if (!d || !(d->style & WS_VISIBLE)) continue;
            if (d->invalid) {
                target = h;
                break;
            }
            for (HWND c : d->children) stack.push_back(c);
        }
        if (!target) return;
        MSG msg{target, WM_PAINT, 0, 0, 0, POINT{0, 0}};
        win::MessageQueue::Get().Dispatch(msg);
    }
}

BOOL CWnd::RedrawWindow(const RECT* rect, void*, UINT flags)
{
    if (flags & RDW_INVALIDATE) System().Invalidate(m_hWnd, rect, (flags & RDW_ERASE) != 0);
    if (flags & RDW_UPDATENOW) UpdateWindow();
    return TRUE;
}

BOOL CWnd::GetUpdateRect(RECT* rect, BOOL)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w) return FALSE;
    if (rect) *rect = w->invalid ? w->updateRect : RECT{0, 0, 0, 0};
    return w->invalid ? TRUE : FALSE;
}

// ---- Scroll bars --------------------------------------------------------------------------

namespace {

// Windows hide a scroll bar whose page covers its whole range.
bool ScrollBarNeeded(const win::ScrollBarState& s)
{
    if (s.max <= s.min) return false;
    return s.page == 0 || static_cast<int64_t>(s.page) <= static_cast<int64_t>(s.max) - s.min;
}

int ClampScrollPos(const win::ScrollBarState& s, int pos)
{
    const int64_t top = static_cast<int64_t>(s.max) - std::max<int64_t>(static_cast<int64_t>(s.page) - 1, 0);
    return static_cast<int>(std::max<int64_t>(s.min, std::min<int64_t>(pos, std::max<int64_t>(top, s.min))));
}

}  // namespace

BOOL CWnd::SetScrollInfo(int bar, SCROLLINFO* info, BOOL)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || !info || (bar != SB_HORZ && bar != SB_VERT)) return FALSE;
    win::ScrollBarState& s = w->scroll[bar];
    if (info->fMask & SIF_RANGE) {
        s.min = info->nMin;
        s.max = info->nMax;
    }
    if (info->fMask & SIF_PAGE) s.page = info->nPage;
    if (info->fMask & SIF_POS) s.pos = info->nPos;
    s.pos = ClampScrollPos(s, s.pos);
    const DWORD styleBit = bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
    if (info->fMask & (SIF_RANGE | SIF_PAGE)) {
        const bool show = ScrollBarNeeded(s) || (info->fMask & SIF_DISABLENOSCROLL);
        if (show != ((w->style & styleBit) != 0)) ModifyStyle(show ? 0 : styleBit, show ? styleBit : 0);
    }
    return s.pos;
}

BOOL CWnd::GetScrollInfo(int bar, SCROLLINFO* info, UINT mask) const
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || !info || (bar != SB_HORZ && bar != SB_VERT)) return FALSE;
    const win::ScrollBarState& s = w->scroll[bar];
    info->fMask = mask;
    if (mask & SIF_RANGE) {
        info->nMin = s.min;
        info->nMax = s.max;
    }
    if (mask & SIF_PAGE) info->nPage = s.page;
    if (mask & SIF_POS) info->nPos = s.pos;
    if (mask & SIF_TRACKPOS) info->nTrackPos = s.trackPos;
    return TRUE;
}

int CWnd::SetScrollPos(int bar, int pos, BOOL redraw)
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || (bar != SB_HORZ && bar != SB_VERT)) return 0;
    const int old = w->scroll[bar].pos;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, pos, 0};
    SetScrollInfo(bar, &info, redraw);
    return old;
}

int CWnd::GetScrollPos(int bar) const
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || (bar != SB_HORZ && bar != SB_VERT)) return 0;
    return w->scroll[bar].pos;
}

void CWnd::SetScrollRange(int bar, int minPos, int maxPos, BOOL redraw)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, minPos, maxPos, 0, 0, 0};
    if (bar == SB_BOTH) {
        SetScrollInfo(SB_HORZ, &info, redraw);
        SetScrollInfo(SB_VERT, &info, redraw);
    } else {
        SetScrollInfo(bar, &info, redraw);
    }
}

void CWnd::GetScrollRange(int bar, int* minPos, int* maxPos) const
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || (bar != SB_HORZ && bar != SB_VERT)) return;
    if (minPos) *minPos = w->scroll[bar].min;
    if (maxPos) *maxPos = w->scroll[bar].max;
}

int CWnd::GetScrollLimit(int bar) const
{
    win::WindowData* w = System().Find(m_hWnd);
    if (!w || (bar != SB_HORZ && bar != SB_VERT)) return 0;
    const win::ScrollBarState& s = w->scroll[bar];
    return ClampScrollPos(s, s.max);
}

void CWnd::ShowScrollBar(UINT bar, BOOL show)
{
    DWORD bits = 0;
    if (bar == SB_HORZ || bar == SB_BOTH) bits |= WS_HSCROLL;
    if (bar == SB_VERT || bar == SB_BOTH) bits |= WS_VSCROLL;
    if (show) ModifyStyle(0, bits);
    else ModifyStyle(bits, 0);
}

void CWnd::ScrollWindow(int, int, const RECT*, const RECT*)
{
    // The surfaces are repainted whole; moving pixels would gain nothing.
    Invalidate(FALSE);
}

// ---- Timers, message boxes ------------------------------------------------------------------

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs, void*)
{
    return win::MessageQueue::Get().SetTimer(m_hWnd, id, elapseMs);
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    return win::MessageQueue::Get().KillTimer(m_hWnd, id) ? TRUE : FALSE;
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type)
{
    return ::MessageBox(m_hWnd, text, caption, type);
}

// ---- Default typed handlers ---------------------------------------------------------------------

int CWnd::OnCreate(LPCREATESTRUCT)
{
    return static_cast<int>(Default());
}
void CWnd::OnDestroy()
{
    Default();
}
void CWnd::OnNcDestroy()
{
    Default();
    // Detach before PostNcDestroy, which may delete the object.
    if (win::WindowData* w = System().Find(m_hWnd)) {
        if (w->object == this) w->object = nullptr;
    }
    m_hWnd = nullptr;
    PostNcDestroy();
}
void CWnd::PostNcDestroy() {}
void CWnd::OnClose()
{
    Default();
}
void CWnd::OnPaint()
{
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*)
{
    return static_cast<BOOL>(Default());
}
void CWnd::OnSize(UINT, int, int)
{
    Default();
}
void CWnd::OnMove(int, int)
{
    Default();
}
void CWnd::OnShowWindow(BOOL, UINT)
{
    Default();
}
void CWnd::OnActivate(UINT, CWnd*, BOOL)
{
    Default();
}
void CWnd::OnSetFocus(CWnd*)
{
    Default();
}
void CWnd::OnKillFocus(CWnd*)
{
    Default();
}
void CWnd::OnEnable(BOOL)
{
    Default();
}
void CWnd::OnLButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonUp(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint)
{
    Default();
}
void CWnd::OnRButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnRButtonUp(UINT, CPoint)
{
    Default();
}
void CWnd::OnMouseMove(UINT, CPoint)
{
    Default();
}
BOOL CWnd::OnMouseWheel(UINT, short, CPoint)
{
    return static_cast<BOOL>(Default());
}
void CWnd::OnKeyDown(UINT, UINT, UINT)
{
    Default();
}
void CWnd::OnKeyUp(UINT, UINT, UINT)
{
    Default();
}
void CWnd::OnChar(UINT, UINT, UINT)
{
    Default();
}
void CWnd::OnTimer(UINT_PTR)
{
    Default();
}
void CWnd::OnHScroll(UINT, UINT, CWnd*)
{
    Default();
}
void CWnd::OnVScroll(UINT, UINT, CWnd*)
{
    Default();
}
void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT dis)
{
    // Owner-drawn controls of the suite draw themselves.
    if (dis && dis->CtlType != ODT_MENU) {
        if (CWnd* control = FromHandle(dis->hwndItem)) {
            control->DrawItem(dis);
            return;
        }
    }
    Default();
}
void CWnd::DrawItem(LPDRAWITEMSTRUCT) {}
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT)
{
    return static_cast<BOOL>(Default());
}
void CWnd::OnContextMenu(CWnd*, CPoint)
{
    Default();
}
void CWnd::OnDropFiles(HDROP)
{
    Default();
}
void CWnd::OnMDIActivate(BOOL, CWnd*, CWnd*)
{
    Default();
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    const HWND control = reinterpret_cast<HWND>(lParam);
    if (control) {
        CWnd* child = FromHandle(control);
        LRESULT result = 0;
        if (child && child->OnChildNotify(WM_COMMAND, wParam, lParam, &result)) return TRUE;
    } else if (code == CN_COMMAND) {
        // A menu or toolbar command that its update handler disables does
        // not run (an accelerator may still send it).
        const win::CommandState state = win::QueryCommandState(this, id);
        if (state.updateHandler && !state.enabled) return TRUE;
    }
    return OnCmdMsg(id, code, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result)
{
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header) return FALSE;
    if (CWnd* child = FromHandle(header->hwndFrom)) {
        if (child->OnChildNotify(WM_NOTIFY, 0, lParam, result)) return TRUE;
    }
    win::NotifyArgs args{header, result};
    return OnCmdMsg(static_cast<UINT>(header->idFrom), CN_NOTIFY, &args, nullptr);
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

// ---- Free functions ---------------------------------------------------------------------------------

BOOL IsWindow(HWND hwnd)
{
    return System().IsWindow(hwnd) ? TRUE : FALSE;
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hwnd) return FALSE;
    return win::MessageQueue::Get().Post(hwnd, message, wParam, lParam) ? TRUE : FALSE;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::MessageQueue::Get().Send(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    win::MessageQueue::Get().PostQuit(exitCode);
}

BOOL PeekMessage(MSG* msg, HWND, UINT, UINT, UINT remove)
{
    if (!msg) return FALSE;
    return win::MessageQueue::Get().Peek(*msg, remove) ? TRUE : FALSE;
}

BOOL GetMessage(MSG* msg, HWND, UINT, UINT)
{
    if (!msg) return FALSE;
    return win::MessageQueue::Get().GetMessage(*msg) ? TRUE : FALSE;
}

LRESULT DispatchMessage(const MSG* msg)
{
    return msg ? win::MessageQueue::Get().Dispatch(*msg) : 0;
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;
}

BOOL DestroyWindow(HWND hwnd)
{
    return System().Destroy(hwnd) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command)
{
    return System().Show(hwnd, command) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    return System().Enable(hwnd, enable != FALSE) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd)
{
    return System().IsVisible(hwnd) ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    if (!System().IsWindow(hwnd)) return FALSE;
    System().Invalidate(hwnd, rect, erase != FALSE);
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    CWnd* w = CWnd::FromHandle(hwnd);
    if (!w) return FALSE;
    w->UpdateWindow();
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect)
{
    if (!rect || !System().IsWindow(hwnd)) return FALSE;
    *rect = System().ClientRect(hwnd);
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect)
{
    if (!rect || !System().IsWindow(hwnd)) return FALSE;
    *rect = System().WindowRectScreen(hwnd);
    return TRUE;
}

HWND GetParent(HWND hwnd)
{
    CWnd* w = CWnd::FromHandle(hwnd);
    CWnd* p = w ? w->GetParent() : nullptr;
    return p ? p->m_hWnd : nullptr;
}

HWND GetDlgItem(HWND hwnd, int id)
{
    return System().ChildById(hwnd, static_cast<UINT>(id));
}

HWND GetDesktopWindow()
{
    return System().DesktopWindow();
}

HWND GetFocus()
{
    return System().GetFocus();
}

HWND SetFocus(HWND hwnd)
{
    return System().SetFocus(hwnd);
}

HWND GetCapture()
{
    return System().GetCapture();
}

BOOL ReleaseCapture()
{
    System().ReleaseCapture();
    return TRUE;
}

HWND WindowFromPoint(POINT screen)
{
    return System().WindowFromPoint(screen);
}

BOOL SetWindowText(HWND hwnd, const char* text)
{
    if (!System().IsWindow(hwnd)) return FALSE;
    win::MessageQueue::Get().Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
    return TRUE;
}

int GetWindowText(HWND hwnd, char* buffer, int maxCount)
{
    if (!buffer || maxCount <= 0) return 0;
    return static_cast<int>(win::MessageQueue::Get().Send(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                                          reinterpret_cast<LPARAM>(buffer)));
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, void*)
{
    return win::MessageQueue::Get().SetTimer(hwnd, id, elapseMs);
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    return win::MessageQueue::Get().KillTimer(hwnd, id) ? TRUE : FALSE;
}

void Sleep(DWORD ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(win::Clock::Now());
}

int MessageBox(HWND, const char* text, const char* caption, UINT type)
{
    win::MessageBoxRequest request;
    request.text = text ? text : "";
    request.caption = caption ? caption : "Error";
    request.type = type;
    return win::GetPrompter().MessageBox(request);
}

// ---- Pumps -------------------------------------------------------------------------------------------

namespace win {

void TranslateAndDispatch(MSG& msg)
{
    for (HWND h = msg.hwnd; h;) {
        WindowData* w = WindowSystem::Get().Find(h);
        if (!w) break;
        if (CWnd* object = w->object) {
            if (object->PreTranslateMessage(&msg)) return;
        }
        h = WindowSystem::Get().Find(h) ? WindowSystem::Get().Find(h)->parent : nullptr;
    }
    MessageQueue::Get().Dispatch(msg);
}

bool PumpMessage()
{
    MSG msg;
    if (!MessageQueue::Get().GetMessage(msg)) return false;
    TranslateAndDispatch(msg);
    return true;
}

bool PumpPendingMessages()
{
    MSG msg;
    while (MessageQueue::Get().Peek(msg, PM_NOREMOVE)) {
        if (!MessageQueue::Get().Peek(msg, PM_REMOVE)) continue;
        if (msg.message == WM_QUIT) {
            MessageQueue::Get().PostQuit(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateAndDispatch(msg);
    }
    long count = 0;
    while (RunIdle(count++)) {
    }
    return true;
}

bool PumpUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    for (;;) {
        if (predicate && predicate()) return true;
        MSG msg;
        if (MessageQueue::Get().Peek(msg, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                MessageQueue::Get().PostQuit(static_cast<int>(msg.wParam));
                return predicate && predicate();
            }
            TranslateAndDispatch(msg);
            continue;
        }
        if (predicate && predicate()) return true;
        const auto now = steady_clock::now();
        if (timeoutMs <= 0 || now >= deadline) return predicate ? predicate() : true;
        const auto left = duration_cast<milliseconds>(deadline - now).count();
        MessageQueue::Get().WaitForWork(static_cast<int>(std::min<long long>(left, 10)));
    }
}

}  // namespace win
