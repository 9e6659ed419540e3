// The shell launcher and the registry. Headless, ShellExecute only records
// what was asked (tests read the record); with launching switched on (a
// display is there) a program runs directly and anything else goes to
// xdg-open. The registry is empty: every key is missing, which is how the
// program learns that HTML Help is not installed.
#pragma once

#include "platform/win/win_defs.h"

#include <string>
#include <vector>

// Above 32 on success; 2 (file not found) when nothing could be started.
HINSTANCE ShellExecute(HWND owner, const char* verb, const char* file, const char* parameters,
                       const char* directory, int show);

long RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, DWORD access, HKEY* result);
long RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
long RegCloseKey(HKEY key);
long RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options, DWORD access,
                    void* security, HKEY* result, DWORD* disposition);
long RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);

namespace win {

struct ShellRequest {
    std::string verb;
    std::string file;
    std::string parameters;
    std::string directory;
    int show = SW_SHOWNORMAL;
};

std::vector<ShellRequest> ShellRequests();
// The arguments of a parameter string as a launched program receives them:
// split at blanks, except inside double quotes, which are removed (a quoted
// path with spaces stays one argument).
std::vector<std::string> SplitCommandLine(const std::string& parameters);
void ClearShellRequests();
// Off by default; the presenter switches it on.
void SetShellLaunching(bool launch);

}  // namespace win
