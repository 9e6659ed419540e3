#include "platform/win/user_input.h"

#include "platform/win/control_bars.h"
#include "platform/win/control_models.h"
#include "platform/win/drag_drop.h"
#include "platform/win/message_queue.h"
#include "platform/win/system.h"
#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

namespace win {

namespace {

WindowSystem& System()
{
    return WindowSystem::Get();
}

constexpr UINT HTCLIENT = 1;

bool AcceptsInput(HWND hwnd)
{
    for (WindowData* w = System().Find(hwnd); w; w = System().Find(w->parent)) {
        if (w->style & WS_DISABLED) return false;
        if (!w->parent) break;
    }
    return hwnd != nullptr;
}

POINT ToScreen(HWND window, POINT client)
{
    const POINT o = System().ClientOriginScreen(window);
    return POINT{client.x + o.x, client.y + o.y};
}

POINT CentreOf(HWND window)
{
    const RECT r = System().ClientRect(window);
    return POINT{r.right / 2, r.bottom / 2};
}

// Holds Shift and Ctrl down while an event is delivered, as the flags say.
class KeyScope {
public:
    explicit KeyScope(UINT keys) : m_shift(IsKeyDown(VK_SHIFT)), m_control(IsKeyDown(VK_CONTROL))
    {
        SetKeyDown(VK_SHIFT, (keys & MK_SHIFT) != 0);
        SetKeyDown(VK_CONTROL, (keys & MK_CONTROL) != 0);
    }
    ~KeyScope()
    {
        SetKeyDown(VK_SHIFT, m_shift);
        SetKeyDown(VK_CONTROL, m_control);
    }

private:
    bool m_shift;
    bool m_control;
};

void Pump()
{
    PumpPendingMessages();
}

}  // namespace

HWND InputWindowAt(POINT screen)
{
    for (HWND top : System().TopLevelWindows()) {
        WindowData* t = System().Find(top);
        if (!t || !(t->style & WS_VISIBLE) || t->windowClass->name == "Desktop") continue;
        if (!CRect(t->rect).PtInRect(screen)) continue;
        HWND found = top;
        for (bool deeper = true; deeper;) {
            deeper = false;
            const POINT o = System().ClientOriginScreen(found);
            const POINT client{screen.x - o.x, screen.y - o.y};
            for (HWND child : System().Children(found)) {
                WindowData* c = System().Find(child);
                if (!c || !(c->style & WS_VISIBLE) || IsTransparentToMouse(*c)) continue;
                if (!CRect(c->rect).PtInRect(client)) continue;
                found = child;
                deeper = true;
                break;
            }
        }
        return found;
    }
    return nullptr;
}

void MouseEvent(UINT message, POINT screen, UINT keys)
{
    SetPointerPosition(screen);
    // The buttons' state follows the input, wherever it goes.
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) SetKeyDown(VK_LBUTTON, true);
    if (message == WM_LBUTTONUP) SetKeyDown(VK_LBUTTON, false);
    if (message == WM_RBUTTONDOWN) SetKeyDown(VK_RBUTTON, true);
    if (message == WM_RBUTTONUP) SetKeyDown(VK_RBUTTON, false);
    const HWND capture = System().GetCapture();
    const HWND target = capture ? capture : InputWindowAt(screen);
    if (!target) return;
    if (!capture && !AcceptsInput(target)) return;  // disabled, or behind a modal dialog
    const bool press = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_LBUTTONDBLCLK;
    if (press && !capture) System().SetActiveWindow(target);
    if (!System().IsWindow(target)) return;
    ::SendMessage(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, message));
    const POINT o = System().ClientOriginScreen(target);
    const LPARAM at = MAKEPOINTLPARAM(screen.x - o.x, screen.y - o.y);
    if (message == WM_RBUTTONUP) {
        ::PostMessage(target, message, keys, at);
        // The platform follows a right click with the context-menu request.
        ::PostMessage(target, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target), MAKEPOINTLPARAM(screen.x, screen.y));
        return;
    }
    ::PostMessage(target, message, keys, at);
}

void KeyEvent(UINT virtualKey, bool down)
{
    if (virtualKey == VK_SHIFT || virtualKey == VK_CONTROL) SetKeyDown(virtualKey, down);
    HWND target = System().GetFocus();
    if (!target) target = System().GetActiveWindow();
    if (!target || !AcceptsInput(target)) return;
    ::PostMessage(target, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, 1);
}

void CharEvent(char ch)
{
    HWND target = System().GetFocus();
    if (!target || !AcceptsInput(target)) return;
    ::PostMessage(target, WM_CHAR, static_cast<unsigned char>(ch), 1);
}

namespace user {

void MoveMouse(HWND window, POINT client, UINT keys)
{
    KeyScope scope(keys);
    MouseEvent(WM_MOUSEMOVE, ToScreen(window, client), keys);
    Pump();
}

void LeftDown(HWND window, POINT client, UINT keys)
{
    KeyScope scope(keys);
    MouseEvent(WM_LBUTTONDOWN, ToScreen(window, client), keys | MK_LBUTTON);
    Pump();
}

void LeftUp(HWND window, POINT client, UINT keys)
{
    KeyScope scope(keys);
    MouseEvent(WM_LBUTTONUP, ToScreen(window, client), keys);
    Pump();
}

void Click(HWND window, POINT client, UINT keys)
{
    const POINT screen = ToScreen(window, client);
    KeyScope scope(keys);
    MouseEvent(WM_LBUTTONDOWN, screen, keys | MK_LBUTTON);
    Pump();
    MouseEvent(WM_LBUTTONUP, screen, keys);
    Pump();
}

void DoubleClick(HWND window, POINT client, UINT keys)
{
    const POINT screen = ToScreen(window, client);
    KeyScope scope(keys);
    MouseEvent(WM_LBUTTONDOWN, screen, keys | MK_LBUTTON);
    Pump();
    MouseEvent(WM_LBUTTONUP, screen, keys);
    Pump();
    MouseEvent(WM_LBUTTONDBLCLK, screen, keys | MK_LBUTTON);
    Pump();
    MouseEvent(WM_LBUTTONUP, screen, keys);
    Pump();
}

void RightClick(HWND window, POINT client, UINT keys)
{
    const POINT screen = ToScreen(window, client);
    KeyScope scope(keys);
    MouseEvent(WM_RBUTTONDOWN, screen, keys | MK_RBUTTON);
    Pump();
    MouseEvent(WM_RBUTTONUP, screen, keys);
    Pump();
}

void Drag(HWND window, POINT from, POINT to, UINT keys, int steps)
{
    const POINT a = ToScreen(window, from), b = ToScreen(window, to);
    KeyScope scope(keys);
    MouseEvent(WM_LBUTTONDOWN, a, keys | MK_LBUTTON);
    Pump();
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i) {
        const POINT p{a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps};
        MouseEvent(WM_MOUSEMOVE, p, keys | MK_LBUTTON);
        Pump();
    }
    MouseEvent(WM_LBUTTONUP, b, keys);
    Pump();
}

void ClickControl(HWND control)
{
    Click(control, CentreOf(control));
}

void ClickControl(CWnd* control)
{
    if (control) ClickControl(control->m_hWnd);
}

void TypeText(HWND edit, const std::string& text)
{
    if (!AcceptsInput(edit)) return;
    System().SetFocus(edit);
    ::SendMessage(edit, WMU_TYPE, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Pump();
}

void Unfocus()
{
    System().SetFocus(nullptr);
    Pump();
}

void PressKey(UINT virtualKey)
{
    KeyEvent(virtualKey, true);
    Pump();
    KeyEvent(virtualKey, false);
    Pump();
}

void SelectComboItem(HWND combo, int index)
{
    if (!AcceptsInput(combo)) return;
    System().SetFocus(combo);
    ::SendMessage(combo, WMU_PICK, static_cast<WPARAM>(index), 0);
    Pump();
}

void ClickListItem(HWND list, int index, UINT keys)
{
    const int top = static_cast<int>(::SendMessage(list, LB_GETTOPINDEX, 0, 0));
    Click(list, POINT{4, (index - top) * kListItemHeight + kListItemHeight / 2}, keys);
}

void DoubleClickListItem(HWND list, int index)
{
    const int top = static_cast<int>(::SendMessage(list, LB_GETTOPINDEX, 0, 0));
    DoubleClick(list, POINT{4, (index - top) * kListItemHeight + kListItemHeight / 2});
}

void DragSliderTo(HWND slider, int position)
{
    WindowData* w = System().Find(slider);
    if (!w) return;
    auto* model = static_cast<SliderModel*>(w->model.get());
    const CRect thumb(model->ThumbRect(*w));
    const RECT client = System().ClientRect(slider);
    const bool vertical = (w->style & TBS_VERT) != 0;
    const int length = (vertical ? client.bottom : client.right) - 2 * kSliderMargin;
    const int span = std::max(1, model->maxPos - model->minPos);
    const int at = kSliderMargin +
                   static_cast<int>(static_cast<int64_t>(position - model->minPos) * length / span);
    const POINT to = vertical ? POINT{client.right / 2, at} : POINT{at, client.bottom / 2};
    Drag(slider, thumb.CenterPoint(), to, 0, 3);
}

void ExpandTreeItem(HWND tree, HTREEITEM item)
{
    if (!AcceptsInput(tree)) return;
    ::SendMessage(tree, WMU_EXPAND, 0, reinterpret_cast<LPARAM>(item));
    Pump();
}

void SelectTreeItem(HWND tree, HTREEITEM item)
{
    if (!AcceptsInput(tree)) return;
    System().SetFocus(tree);
    ::SendMessage(tree, WMU_SELECT, 0, reinterpret_cast<LPARAM>(item));
    Pump();
}

bool ChooseCommand(CWnd* frame, UINT id)
{
    if (!frame || !frame->m_hWnd || !AcceptsInput(frame->m_hWnd)) return false;
    const CommandState state = QueryCommandState(frame, id);
    if (!state.enabled) return false;
    frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
    Pump();
    return true;
}

void ClickToolBarButton(CToolBar& bar, int index)
{
    CRect r;
    bar.GetItemRect(index, &r);
    Click(bar.m_hWnd, r.CenterPoint());
}

std::string HoverToolBarButton(CToolBar& bar, int index)
{
    CRect r;
    bar.GetItemRect(index, &r);
    MoveMouse(bar.m_hWnd, r.CenterPoint());
    return bar.RequestToolTip(index);
}

void DropFiles(HWND window, const std::vector<std::string>& paths, POINT client)
{
    // The desktop hands files only to windows that accept them, or to the
    // nearest parent that does.
    HWND target = window;
    while (target) {
        WindowData* w = System().Find(target);
        if (!w) return;
        if (w->exStyle & WS_EX_ACCEPTFILES) break;
        if (!w->parent) return;
        const POINT screen = ToScreen(target, client);
        target = w->parent;
        const POINT o = System().ClientOriginScreen(target);
        client = POINT{screen.x - o.x, screen.y - o.y};
    }
    if (!target || !AcceptsInput(target)) return;
    ::PostMessage(target, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths, client)), 0);
    Pump();
}

void Scroll(HWND window, int bar, UINT code, int position)
{
    if (!AcceptsInput(window)) return;
    const UINT message = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    ::PostMessage(window, message, MAKEWPARAM(code, static_cast<unsigned>(position)), 0);
    Pump();
    ::PostMessage(window, message, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
    Pump();
}

}  // namespace user
}  // namespace win
