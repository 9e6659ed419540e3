// Vistrel, the panorama viewer program: the application object, the X11
// presenter that shows its windows, and the class library's program run.
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/runtime.h"
#include "viewer/vistrel/vistrel_app.h"

#include <cstdio>

int main(int argc, char** argv)
{
    CVistrelApp app;
    win::InitRuntime();
    if (!win::X11Presenter::Start()) {
        std::fprintf(stderr,
                     "Vistrel: no X display is reachable; run it under xvfb-run (xvfb-run Vistrel file.jpg) "
                     "or with DISPLAY set to a display\n");
        return 2;
    }
    const int code = AfxWinMain(argc, argv);
    win::X11Presenter::Stop();
    return code;
}
