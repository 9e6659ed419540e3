#include "viewer/drowsel/drowsel_app.h"

#include "viewer/drowsel/album_files.h"
#include "viewer/drowsel/config_dialog.h"
#include "viewer/drowsel/drowsel_resources.h"
#include "viewer/drowsel/drowsel_wnd.h"

#include "core/logger.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace drowsel {

namespace {

// A decimal window id, the whole text; 0 when it is not one.
uint64_t WindowId(std::string text)
{
    while (!text.empty() && (text.front() == ':' || text.front() == ' ')) text.erase(text.begin());
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return 0;
    errno = 0;
    char* end = nullptr;
    const unsigned long long id = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return 0;
    return id;
}

}  // namespace

SaverCommand ParseSaverCommand(const std::vector<std::string>& args)
{
    SaverCommand command;
    if (args.empty()) {
        command.mode = SaverMode::Configure;
        return command;
    }
    std::string first = args[0];
    if (!first.empty() && (first[0] == '-' || first[0] == '/')) first.erase(first.begin());
    const char key = first.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(first[0])));
    switch (key) {
    case 'c': command.mode = SaverMode::Configure; break;
    case 's': command.mode = SaverMode::FullScreen; break;
    case 'p': {
        command.window = WindowId(first.substr(1));
        if (!command.window && first.size() == 1 && args.size() > 1) command.window = WindowId(args[1]);
        command.mode = command.window ? SaverMode::Preview : SaverMode::NoPreviewWindow;
        break;
    }
    default: command.mode = SaverMode::End; break;
    }
    return command;
}

}  // namespace drowsel

using namespace drowsel;

CDrowselApp::CDrowselApp() : CWinApp("Drowsel") {}

CDrowselApp::~CDrowselApp() = default;

BOOL CDrowselApp::InitInstance()
{
    Enable3dControls();
    SetRegistryKey("Quorvane");
    RegisterResources();
    const std::string handedOver = ReadHandOver();
    m_command = ParseSaverCommand(std::vector<std::string>(m_args.begin() + (m_args.empty() ? 0 : 1), m_args.end()));
    switch (m_command.mode) {
    case SaverMode::Configure: {
        CDrowselConfigDlg dialog(handedOver);
        dialog.DoModal();
        m_exitCode = 0;
        PostQuitMessage(0);  // the program ends after the dialog
        return TRUE;
    }
    case SaverMode::Preview:
    case SaverMode::FullScreen: {
        m_saver = std::make_unique<CDrowselWnd>();
        const BOOL created = m_command.mode == SaverMode::Preview ? m_saver->CreatePreview(m_command.window, handedOver)
                                                                  : m_saver->CreateFullScreen(handedOver);
        if (!created) {
            Logger::log("ERROR CDrowselApp::InitInstance nothing to show: the saver ends", 1);
            m_saver.reset();
            m_exitCode = 1;
            return FALSE;
        }
        m_pMainWnd = m_saver.get();
        return TRUE;
    }
    case SaverMode::NoPreviewWindow:
        Logger::log("ERROR CDrowselApp::InitInstance the preview switch needs a window id (\"p <id>\")", 1);
        m_exitCode = 1;
        return FALSE;
    case SaverMode::End: break;
    }
    m_exitCode = 0;
    PostQuitMessage(0);
    return TRUE;
}

int CDrowselApp::ExitInstance()
{
    CWinApp::ExitInstance();
    m_pMainWnd = nullptr;
    m_saver.reset();
    return m_exitCode;
}
