// Input as the user makes it: the pointer moves, buttons go down and up,
// keys are typed. Input goes to the window under the pointer (or the one
// that captured the mouse) through the message queue, and nowhere when that
// window or one of its parents is disabled (a frame behind a modal dialog).
// Tests drive the program with these; the X11 presenter feeds real input
// through the same entry points.
#pragma once

#include "platform/win/win_defs.h"

#include <string>
#include <vector>

class CWnd;
class CToolBar;

namespace win {

// The low-level entry points: a mouse event at a screen point, a key event
// to the focus window. They queue the messages; the caller pumps.
void MouseEvent(UINT message, POINT screen, UINT keys);
void KeyEvent(UINT virtualKey, bool down);
void CharEvent(char ch);
// The window that takes mouse input at a screen point (plain statics and
// group boxes let it through to their parent).
HWND InputWindowAt(POINT screen);

namespace user {

// Each of these delivers the input and pumps the messages it caused.
void MoveMouse(HWND window, POINT client, UINT keys = 0);
void LeftDown(HWND window, POINT client, UINT keys = 0);
void LeftUp(HWND window, POINT client, UINT keys = 0);
void Click(HWND window, POINT client, UINT keys = 0);
void DoubleClick(HWND window, POINT client, UINT keys = 0);
void RightClick(HWND window, POINT client, UINT keys = 0);
// Press at `from`, move in `steps` steps, release at `to`.
void Drag(HWND window, POINT from, POINT to, UINT keys = 0, int steps = 4);
// A click in the middle of a control.
void ClickControl(HWND control);
void ClickControl(CWnd* control);
// Focus to the edit (or editable combo), its text replaced by typing.
void TypeText(HWND edit, const std::string& text);
// Moves the focus away (the control loses it as when the user tabs on).
void Unfocus();
void PressKey(UINT virtualKey);
void SelectComboItem(HWND combo, int index);
void ClickListItem(HWND list, int index, UINT keys = 0);
void DoubleClickListItem(HWND list, int index);
// Grabs the thumb, moves it through the positions between, releases it.
void DragSliderTo(HWND slider, int position);
void ExpandTreeItem(HWND tree, HTREEITEM item);
void SelectTreeItem(HWND tree, HTREEITEM item);
// A menu or toolbar command as the user picks it: nothing happens when the
// update-command-UI routing of `frame` disables it. True when it ran.
bool ChooseCommand(CWnd* frame, UINT id);
void ClickToolBarButton(CToolBar& bar, int index);
// The tip shown while the pointer rests on a toolbar button.
std::string HoverToolBarButton(CToolBar& bar, int index);
// Files dragged from the desktop onto a window that accepts them.
void DropFiles(HWND window, const std::vector<std::string>& paths, POINT client);
// A click on a window's own scroll bar (SB_HORZ or SB_VERT).
void Scroll(HWND window, int bar, UINT code, int position = 0);

}  // namespace user
}  // namespace win
