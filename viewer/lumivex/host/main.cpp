// lumivex-host: shows a panorama through the viewer control in a window of
// our own runtime on an X11 display.
//   lumivex-host [-s speed] [-m w|p] [-w width] [-h height] FileName
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/runtime.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"
#include "viewer/lumivex/host/lumivex_host.h"

#include <cstdio>

namespace {

// The program ends when its window goes.
class HostWindow : public CLumivexHostWnd {
protected:
    void OnDestroy() override
    {
        CLumivexHostWnd::OnDestroy();
        PostQuitMessage(0);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    LumivexHostOptions options;
    std::string error;
    if (!ParseLumivexHostArgs(args, options, error)) {
        std::fprintf(stderr, "lumivex-host: %s\nusage: lumivex-host [-s speed] [-m w|p] [-w width] [-h height] FileName\n",
                     error.c_str());
        return 1;
    }
    win::InitRuntime();
    if (!win::X11Presenter::Start()) {
        std::fprintf(stderr,
                     "lumivex-host: no X display is reachable; run it under xvfb-run (xvfb-run lumivex-host "
                     "pano.jpg) or with DISPLAY set to a display\n");
        return 2;
    }
    int code = 0;
    {
        HostWindow host;
        if (!host.Open(options)) {
            std::fprintf(stderr, "lumivex-host: the control cannot be shown\n");
            code = 3;
        } else {
            while (win::PumpMessage()) {
            }
        }
    }
    win::X11Presenter::Stop();
    return code;
}
