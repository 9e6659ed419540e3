// The system menu of a window (the menu behind its title-bar icon): made on
// first request with the standard Close item, kept per window until the
// window goes. Programs append their own items; a choice reaches the window
// as WM_SYSCOMMAND with the item's id. The presenter does not draw it;
// tests and the prompter choose items through ChooseSystemCommand.
#pragma once

#include "platform/win/menu.h"
#include "platform/win/win_defs.h"

// The window's system menu; with `revert` the standard one again. Null for
// a stale window.
CMenu* GetSystemMenu(HWND hwnd, BOOL revert);

namespace win {

// The user picks the item `id` of the window's system menu: false when the
// menu has no such enabled item; otherwise WM_SYSCOMMAND is sent.
bool ChooseSystemCommand(HWND hwnd, UINT id);

}  // namespace win
