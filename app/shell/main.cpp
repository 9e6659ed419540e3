// Fendrake, the stitching application: the application object, the X11
// presenter that shows its windows, and the class library's program run.
#include "app/shell/fendrake_app.h"
#include "app/shell/main_frame.h"
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/runtime.h"

#include <cstdio>

int main(int argc, char** argv)
{
    CFendrakeApp app;
    win::InitRuntime();
    CMainFrame::UseTourMakerLibrary();
    if (!win::X11Presenter::Start()) {
        std::fprintf(stderr,
                     "fendrake: no X display is reachable; run it under xvfb-run (xvfb-run ./build.sh run) "
                     "or with DISPLAY set to a display\n");
        return 2;
    }
    const int code = AfxWinMain(argc, argv);
    win::X11Presenter::Stop();
    return code;
}
