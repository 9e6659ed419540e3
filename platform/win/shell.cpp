#include "platform/win/shell.h"

#include "core/logger.h"
#include "platform/win/file_system.h"

#include <atomic>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace {

std::mutex g_lock;
std::vector<win::ShellRequest> g_requests;
std::atomic<bool> g_launch{false};

constexpr uintptr_t kShellSuccess = 42;
constexpr uintptr_t kShellFileNotFound = 2;

bool Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

HINSTANCE ShellExecute(HWND, const char* verb, const char* file, const char* parameters, const char* directory,
                       int show)
{
    win::ShellRequest request{verb ? verb : "open", file ? file : "", parameters ? parameters : "",
                              directory ? directory : "", show};
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_requests.push_back(request);
    }
    if (!g_launch) return reinterpret_cast<HINSTANCE>(kShellSuccess);
    if (request.file.empty()) return reinterpret_cast<HINSTANCE>(kShellFileNotFound);
    const bool url = request.file.find("://") != std::string::npos;
    if (!url) {
        const std::string program = win::ProgramPath(request.file);
        if (IsExecutableFile(program)) {
            std::vector<std::string> args{program};
            for (std::string& w : win::SplitCommandLine(request.parameters)) args.push_back(std::move(w));
            return reinterpret_cast<HINSTANCE>(Spawn(args) ? kShellSuccess : kShellFileNotFound);
        }
    }
    const std::string target = url ? request.file : win::ResolvePath(request.file);
    return reinterpret_cast<HINSTANCE>(Spawn({"xdg-open", target}) ? kShellSuccess : kShellFileNotFound);
}

long RegOpenKeyEx(HKEY, const char*, DWORD, DWORD, HKEY* result)
{
    if (result) *result = nullptr;
    return ERROR_FILE_NOT_FOUND;
}

long RegQueryValueEx(HKEY, const char*, DWORD*, DWORD*, BYTE*, DWORD*)
{
    return ERROR_FILE_NOT_FOUND;
}

long RegCloseKey(HKEY)
{
    return ERROR_SUCCESS;
}

long RegCreateKeyEx(HKEY, const char*, DWORD, char*, DWORD, DWORD, void*, HKEY* result, DWORD*)
{
    if (result) *result = nullptr;
    return ERROR_ACCESS_DENIED;
}

long RegSetValueEx(HKEY, const char*, DWORD, DWORD, const BYTE*, DWORD)
{
    return ERROR_ACCESS_DENIED;
}

namespace win {

std::vector<std::string> SplitCommandLine(const std::string& parameters)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;  // "" is an empty argument
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::vector<ShellRequest> ShellRequests()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_requests;
}

void ClearShellRequests()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_requests.clear();
}

void SetShellLaunching(bool launch)
{
    g_launch = launch;
}

}  // namespace win
