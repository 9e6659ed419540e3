// HTML Help is a Windows component: the registry names the control's
// library, which is loaded on first use. Here the registry has no such key
// and no such library exists, so every request does nothing; the lookup and
// the load are tried once, as on a system without help installed.
#include "app/shell/fendrake_app.h"

#include "platform/win/dynamic_library.h"
#include "platform/win/shell.h"

namespace {

using HtmlHelpFunction = HWND (*)(HWND, const char*, UINT, DWORD_PTR);

enum class LoadState { NotTried, Loaded, Failed };

struct HelpEntry {
    LoadState state = LoadState::NotTried;
    HMODULE module = nullptr;
    HtmlHelpFunction function = nullptr;
    int attempts = 0;
};

HelpEntry g_ansi;

std::string HelpControlPath()
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0, KEY_READ,
                     &key) != ERROR_SUCCESS)
        return std::string();
    char path[260] = {};
    DWORD size = sizeof path;
    DWORD type = 0;
    const long status = RegQueryValueEx(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::string();
    path[sizeof path - 1] = '\0';
    return path;
}

bool Load(HelpEntry& entry, const char* exportName)
{
    if (entry.state == LoadState::Loaded) return true;
    if (entry.state == LoadState::Failed) return false;
    ++entry.attempts;
    const std::string registered = HelpControlPath();
    if (!registered.empty()) entry.module = LoadLibraryA(registered.c_str());
    if (!entry.module) entry.module = LoadLibraryA("hhctrl.ocx");
    if (entry.module) entry.function = reinterpret_cast<HtmlHelpFunction>(GetProcAddress(entry.module, exportName));
    if (!entry.function) {
        if (entry.module) FreeLibrary(entry.module);
        entry.module = nullptr;
        entry.state = LoadState::Failed;
        return false;
    }
    entry.state = LoadState::Loaded;
    return true;
}

}  // namespace

HWND HtmlHelpA(HWND caller, const char* file, UINT command, DWORD_PTR data)
{
    if (!Load(g_ansi, "HtmlHelpA")) return nullptr;
    return g_ansi.function(caller, file, command, data);
}

int HtmlHelpLoadAttempts()
{
    return g_ansi.attempts;
}
