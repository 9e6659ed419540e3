// The saver program's application object: reads the hand-over file, then
// does what the screen-saver switch on the command line asks: the
// configuration dialog, the preview inside another program's window, or
// the full-screen saver.
#pragma once

#include "platform/win/win_app.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDrowselWnd;

namespace drowsel {

enum class SaverMode {
    Configure,    // no argument or "c"
    Preview,      // "p" and a window id
    FullScreen,   // "s"
    End,          // anything else: end at once
    NoPreviewWindow,  // "p" without a usable window id: an error
};

struct SaverCommand {
    SaverMode mode = SaverMode::End;
    uint64_t window = 0;  // the preview's parent (an X11 window id)
};

// The arguments after the program's name. The first one, after an optional
// "-" or "/", counts by its first character in lower case; the preview's
// window id (decimal) follows that character ("p1234", "p:1234") or comes
// as the next argument ("p 1234").
SaverCommand ParseSaverCommand(const std::vector<std::string>& args);

}  // namespace drowsel

class CDrowselApp : public CWinApp {
public:
    CDrowselApp();
    ~CDrowselApp() override;
    BOOL InitInstance() override;
    int ExitInstance() override;

    // What the start-up did (for the tests and main()).
    drowsel::SaverMode Mode() const { return m_command.mode; }
    CDrowselWnd* SaverWindow() const { return m_saver.get(); }

private:
    drowsel::SaverCommand m_command;
    std::unique_ptr<CDrowselWnd> m_saver;
    int m_exitCode = 0;
};
