// System services with headless defaults: screen metrics and colours,
// cursors (resource and standard, with the wait cursor), the keyboard's
// shift state and the pointer position. Tests set the screen size and the
// key state; the X11 presenter sets them from the real display and input.
#pragma once

#include "platform/win/win_defs.h"

int GetSystemMetrics(int index);
COLORREF GetSysColor(int index);

HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// Standard cursors by IDC_ id; resource cursors by the id they were
// registered with (null when unknown).
HCURSOR LoadStandardCursor(UINT idc);
HCURSOR LoadResourceCursor(UINT resourceId);
HICON LoadResourceIcon(UINT resourceId);

namespace win {

// 1280 x 1024 unless set.
void SetScreenSize(int width, int height);

// The id a cursor handle was loaded from (IDC_ value or resource id) and
// whether it is a resource cursor.
UINT CursorId(HCURSOR cursor, bool* isResource = nullptr);

void PushWaitCursor();
void PopWaitCursor();
void RestoreWaitCursor();
bool WaitCursorShown();

// Keyboard state as input leaves it (VK_SHIFT, VK_CONTROL ...).
void SetKeyDown(UINT virtualKey, bool down);
bool IsKeyDown(UINT virtualKey);
// The MK_SHIFT / MK_CONTROL bits of the current key state.
UINT ModifierFlags();

void SetPointerPosition(POINT screen);
POINT PointerPosition();

// Forgets cursors, keys and the wait-cursor depth (between tests).
void ResetSystemState();

}  // namespace win
