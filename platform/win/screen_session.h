// What a screen saver asks of the desktop session beside its own windows:
// windows of other programs to live inside (the preview pane of a settings
// program, named by its X11 window id), the pointer's cursor shown or
// hidden, and the application losing or gaining activation. Headless, tests
// declare foreign windows and switch activation; the X11 presenter answers
// from the display.
#pragma once

#include "platform/win/win_defs.h"

#include <cstdint>
#include <functional>

// The display count of the cursor: hidden while below 0. Returns the new count.
int ShowCursor(BOOL show);

namespace win {

bool CursorHidden();

// A window of another program, known by its id: its client size, or false
// when no such window exists. The presenter installs the lookup on the
// display; without one only the windows declared by DeclareForeignWindow exist.
using ForeignWindowLookup = std::function<bool(uint64_t id, int& width, int& height)>;
void SetForeignWindowLookup(ForeignWindowLookup lookup);
void DeclareForeignWindow(uint64_t id, int width, int height);
bool ForeignWindowSize(uint64_t id, int& width, int& height);

// Shows the top-level window `hwnd` inside the foreign window: the
// presenter makes its X window a child of it. The runtime keeps the window
// top-level (its rectangle is in the foreign window's client coordinates).
void EmbedInForeignWindow(HWND hwnd, uint64_t foreignId);
// The foreign parent of a window, 0 when it has none.
uint64_t ForeignParentOf(HWND hwnd);
// The foreign window went away: the windows inside it are destroyed.
void ForeignWindowGone(uint64_t foreignId);

// The application lost (false) or gained (true) activation: the active
// window gets WM_ACTIVATE (WA_INACTIVE on a loss) and every top-level
// window WM_ACTIVATEAPP, sent at once.
void ApplicationActivation(bool active);

// Forgets foreign windows and the cursor count (between tests).
void ResetScreenSession();

}  // namespace win
