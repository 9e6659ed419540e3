#include "core/app_data.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

std::string CommonAppDataRoot()
{
    if (const char* v = std::getenv("FENDRAKE_APPDATA"); v && *v) return v;
    if (const char* v = std::getenv("XDG_STATE_HOME"); v && *v) return v;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state";
}

std::string CommonLogFolder()
{
    const std::string path = CommonAppDataRoot() + "/Quorvane/log";
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return path;
}
