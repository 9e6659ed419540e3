// Shows the runtime's windows on a real X11 display: every visible
// top-level window gets an X window of its client size showing its surface,
// and the pointer, buttons, keys, resizing and closing of those X windows
// come back as the runtime's input; unless the program set a prompter of its
// own, the questions are asked in the presenter's dialogs (x11_prompter.h)
// while it runs. Programs start it after creating their
// application object when a display is there; tests never do, except the
// one that checks it under Xvfb.
#pragma once

#include "platform/win/win_defs.h"

namespace win {

class X11Presenter {
public:
    // Opens the display (null: $DISPLAY) and hooks into the message loop.
    // False when there is no display; the runtime then stays headless.
    static bool Start(const char* display = nullptr);
    static void Stop();
    static bool Running();
    // Brings the X windows up to date with the runtime's at once: created,
    // placed, titled and showing their surfaces (the loop does it on its own
    // while it waits).
    static void Flush();
    // The X window that shows a top-level window (0 when none).
    static unsigned long XWindowOf(HWND topLevel);
};

}  // namespace win
