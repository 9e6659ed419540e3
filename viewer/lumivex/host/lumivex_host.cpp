#include "viewer/lumivex/host/lumivex_host.h"

#include "core/logger.h"
#include "platform/olecontrol/control_module.h"
#include "viewer/lumivex/lumivex_module.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ParseInt(const std::string& text, int lo, int hi, int& value)
{
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

bool ParseLumivexHostArgs(const std::vector<std::string>& args, LumivexHostOptions& options, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "-s" || a == "-w" || a == "-h" || a == "-m") {
            if (!hasValue) {
                error = "missing value after " + a;
                return false;
            }
            const std::string& v = args[++i];
            bool ok = true;
            if (a == "-s") ok = ParseInt(v, -32768, 32767, options.speed);
            else if (a == "-w") ok = ParseInt(v, 1, 10000, options.width);
            else if (a == "-h") ok = ParseInt(v, 1, 10000, options.height);
            else if (v == "w" || v == "p") options.viewMode = v == "p" ? 1 : 0;
            else ok = false;
            if (!ok) {
                error = "bad value for " + a + ": " + v;
                return false;
            }
        } else if (options.fileName.empty()) {
            options.fileName = a;
        } else {
            error = "unexpected argument: " + a;
            return false;
        }
    }
    if (options.fileName.empty()) {
        error = "no FileName given";
        return false;
    }
    return true;
}

CLumivexHostWnd::~CLumivexHostWnd()
{
    if (m_hWnd) DestroyWindow();
    delete m_control;
}

bool CLumivexHostWnd::Open(const LumivexHostOptions& options)
{
    LumivexModule().InitInstance();
    if (CLSIDFromProgID(kLumivexProgId).empty() && DllRegisterServer() != S_OK) {
        Logger::log("ERROR CLumivexHostWnd::Open the control cannot be registered", 1);
        return false;
    }
    m_control = CreateControlFromProgID(LumivexModule(), kLumivexProgId);
    if (!m_control) return false;
    PropertyBag bag{{"_Version", std::to_string(0x00010000)},
                    {"FileName", options.fileName},
                    {"Speed", std::to_string(options.speed)},
                    {"ViewMode", std::to_string(options.viewMode)}};
    m_control->LoadProperties(bag);
    const RECT frame{0, 0, options.width, options.height};
    const std::string title = "Lumivex - " + options.fileName;
    if (!CreateEx(0, nullptr, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, frame, nullptr, 0)) {
        Logger::log("ERROR CLumivexHostWnd::Open the host window cannot be made", 1);
        return false;
    }
    RECT client;
    GetClientRect(&client);
    if (!m_control->CreateControl(this, client, 1)) {
        Logger::log("ERROR CLumivexHostWnd::Open the control window cannot be made", 1);
        return false;
    }
    return true;
}

void CLumivexHostWnd::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (m_control && m_control->m_hWnd) m_control->MoveWindow(0, 0, cx, cy);
}

void CLumivexHostWnd::OnDestroy()
{
    if (m_control && m_control->m_hWnd) m_control->DestroyWindow();
    CWnd::OnDestroy();
}
