// The main frame twice, for the tests that check what a real display shows:
// as the X11 presenter puts it on the screen (read back with ImageMagick's
// import; R, G, B) and as its headless surface holds it (B, G, R).
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/window_dc.h"
#include "platform/win/wnd.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <string>

struct PresentedCapture {
    RefPtr<Image> screen;   // R, G, B
    RefPtr<Image> surface;  // B, G, R
};

// Starts the presenter, paints every window, shoots the frame's X window into
// `shot` and captures its surface. Fails, saying why, when a step fails or
// the two captures differ in size.
inline ::testing::AssertionResult CapturePresented(HWND frame, const std::string& shot, PresentedCapture& out)
{
    if (!win::X11Presenter::Start()) return ::testing::AssertionFailure() << "the X11 presenter did not start";
    win::PaintAll();
    win::X11Presenter::Flush();
    const unsigned long xwindow = win::X11Presenter::XWindowOf(frame);
    if (xwindow == 0) return ::testing::AssertionFailure() << "the frame has no X window";
    const auto captured = testkit::Run("import -window " + std::to_string(xwindow) + " -depth 8 '" + shot + "' 2>&1");
    if (captured.status != 0) return ::testing::AssertionFailure() << "import failed: " << captured.output;
    out.screen = RefPtr<Image>::adopt(testkit::ReadPnm(shot));
    out.surface = RefPtr<Image>::adopt(win::CaptureWindow(frame));
    if (!out.screen || !out.surface) return ::testing::AssertionFailure() << "a capture could not be read";
    if (out.screen->GetWidth() != out.surface->GetWidth() || out.screen->GetHeight() != out.surface->GetHeight())
        return ::testing::AssertionFailure() << "the screen shows " << out.screen->GetWidth() << " x "
                                             << out.screen->GetHeight() << ", the surface holds "
                                             << out.surface->GetWidth() << " x " << out.surface->GetHeight();
    return ::testing::AssertionSuccess();
}
