// Drowsel, the screen saver: the application object, the X11 presenter
// that shows its windows, and the class library's program run. Switches
// that need no window are answered before a display is looked for.
#include "viewer/drowsel/drowsel_app.h"

#include "core/logger.h"
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/runtime.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Errors go to the standard error as well as to the log.
    const auto toStandardError = [](int level, const std::string& line) {
        if (level <= 1) std::fprintf(stderr, "%s\n", line.c_str());
    };
    Logger::setSink(toStandardError);
    const drowsel::SaverCommand command =
        drowsel::ParseSaverCommand(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (command.mode == drowsel::SaverMode::End) return 0;
    if (command.mode == drowsel::SaverMode::NoPreviewWindow) {
        Logger::log("ERROR Drowsel the preview switch needs a window id (\"p <id>\")", 1);
        return 1;
    }
    CDrowselApp app;
    win::InitRuntime();
    Logger::setSink(nullptr);  // a missing display is said in one line below
    const bool shown = win::X11Presenter::Start();
    Logger::setSink(toStandardError);
    if (!shown) {
        std::fprintf(stderr,
                     "drowsel: no X display is reachable; run it under xvfb-run or with DISPLAY set to a display\n");
        return 2;
    }
    const int code = AfxWinMain(argc, argv);
    win::X11Presenter::Stop();
    return code;
}
