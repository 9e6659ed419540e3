#include "platform/utilkit/log_base.h"

#include "core/app_data.h"
#include "core/logger.h"
#include "platform/utilkit/http_client.h"
#include "platform/utilkit/native_path.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string BaseName(const std::string& path)
{
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > 4 && (name.ends_with(".exe") || name.ends_with(".EXE"))) name.resize(name.size() - 4);
    return name;
}

// The program file to run: the converted path, or without ".exe" when only
// that exists (programs built here carry no extension). A bare "\\X.exe"
// that names nothing at the root is the program X beside this one.
std::string ResolveProgram(const char* program)
{
    const std::string path = LogBase::ToNativePath(program);
    const auto existing = [](const std::string& p) -> std::string {
        std::error_code ec;
        if (std::filesystem::exists(p, ec)) return p;
        if (p.size() > 4 && (p.ends_with(".exe") || p.ends_with(".EXE"))) {
            const std::string bare = p.substr(0, p.size() - 4);
            if (std::filesystem::exists(bare, ec)) return bare;
        }
        return {};
    };
    if (std::string found = existing(path); !found.empty()) return found;
    if (path.size() > 1 && path[0] == '/' && path.find('/', 1) == std::string::npos) {
        if (std::string found = existing(LogBase::GetAppDir0() + path); !found.empty()) return found;
    }
    return path;
}

std::vector<std::string> BuildArgv(const std::string& file, const char* program, const char* commandLine)
{
    std::vector<std::string> words = LogBase::SplitCommandLine(commandLine);
    if (words.empty() || BaseName(LogBase::ToNativePath(words[0].c_str())) != BaseName(LogBase::ToNativePath(program)))
        words.insert(words.begin(), file);
    return words;
}

// `arguments` null: the words of `commandLine`; else the program and them.
HANDLE Spawn(const char* program, const char* commandLine, const std::vector<std::string>* arguments,
             PROCESS_INFORMATION* info)
{
    if (info) std::memset(info, 0, sizeof *info);
    if (!program || !*program) {
        Logger::log("ERROR LogBase::ExecuteProcess() no program", 1);
        return nullptr;
    }
    const std::string file = ResolveProgram(program);
    std::vector<std::string> argv;
    if (arguments) {
        argv.push_back(file);
        argv.insert(argv.end(), arguments->begin(), arguments->end());
    } else {
        argv = BuildArgv(file, program, commandLine);
    }
    const HANDLE process = utilkit::StartChildProcess(file, argv, info);
    if (!process) Logger::log("ERROR LogBase::ExecuteProcess() cannot start %s", 1, file.c_str());
    return process;
}

int WaitFor(HANDLE process)
{
    if (!process) return -1;
    DWORD code = 0;
    const bool ended = utilkit::WaitChild(process, &code);
    utilkit::CloseChildHandle(process);
    return ended ? static_cast<int>(code) : -1;
}

}  // namespace

std::string LogBase::ToNativePath(const char* path)
{
    return utilkit::WindowsToPosixPath(path ? path : "");
}

std::vector<std::string> LogBase::SplitCommandLine(const char* commandLine)
{
    // Windows rules: whitespace separates words; "..." groups; \" is a
    // quote; backslashes are literal unless they precede a quote.
    std::vector<std::string> words;
    if (!commandLine) return words;
    std::string word;
    bool inWord = false, quoted = false;
    for (const char* p = commandLine; *p; ++p) {
        if (*p == '\\') {
            size_t slashes = 0;
            while (p[slashes] == '\\') ++slashes;
            if (p[slashes] == '"') {
                word.append(slashes / 2, '\\');
                if (slashes % 2) {
                    word += '"';
                    p += slashes;
                } else {
                    p += slashes - 1;
                }
            } else {
                word.append(slashes, '\\');
                p += slashes - 1;
            }
            inWord = true;
        } else if (*p == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((*p == ' ' || *p == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += *p;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool LogBase::GetCommonAppDataDir(const char* subPath, std::string& out)
{
    std::string path = CommonAppDataRoot();
    const std::string sub = ToNativePath(subPath);
    if (!sub.empty() && sub.front() != '/') path += '/';
    path += sub;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    out = path;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

bool LogBase::GetCommonAppDataDir(const char* subPath, std::string* out)
{
    std::string path;
    const bool ok = GetCommonAppDataDir(subPath, path);
    if (out) *out = path;
    return ok;
}

std::string LogBase::getPath_log()
{
    return CommonLogFolder();
}

namespace {
std::mutex g_appDirMutex;
std::string g_appDirOverride;
}  // namespace

void LogBase::SetAppDir0Override(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(g_appDirMutex);
    g_appDirOverride = folder;
}

std::string LogBase::GetAppDir0()
{
    {
        std::lock_guard<std::mutex> lock(g_appDirMutex);
        if (!g_appDirOverride.empty()) return g_appDirOverride;
    }
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

bool LogBase::IsFileExists(const char* path)
{
    if (!path || !*path) return false;
    std::error_code ec;
    return std::filesystem::exists(ToNativePath(path), ec);
}

bool LogBase::canWriteFile(const char* path)
{
    if (!path || !*path) return false;
    const std::string p = ToNativePath(path);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) return ::access(p.c_str(), W_OK) == 0;
    if (std::filesystem::exists(p, ec)) return ::access(p.c_str(), W_OK) == 0;
    const std::filesystem::path parent = std::filesystem::path(p).parent_path();
    return ::access(parent.empty() ? "." : parent.c_str(), W_OK) == 0;
}

int LogBase::makeTimeString(char* buffer, int size, bool readable)
{
    if (!buffer || size <= 0) return 0;
    static std::atomic<unsigned> serial{0};
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    char text[96];
    size_t n = std::strftime(text, sizeof text, readable ? "%Y-%m-%d %H:%M:%S" : "%Y%m%d_%H%M%S", &local);
    if (!readable) {
        // Unique names: the millisecond, a serial number within the process,
        // and the process, since two programs (or two test processes) that
        // start together count their serials alike and would otherwise name
        // their channels and files the same.
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, "_%03lld_%u_%ld", static_cast<long long>(ms),
                                               serial.fetch_add(1), static_cast<long>(::getpid())));
    }
    if (n + 1 > static_cast<size_t>(size)) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, text, n + 1);
    return static_cast<int>(n);
}

bool LogBase::makeFilename(const char* prefix, const char* extension, const char* folder, std::string& out)
{
    std::error_code ec;
    std::string dir = folder && *folder ? ToNativePath(folder) : std::filesystem::temp_directory_path(ec).string();
    if (dir.empty()) dir = "/tmp";
    const std::string ext = extension ? extension : "";
    std::string pattern = dir + "/" + (prefix ? prefix : "") + "XXXXXX" + ext;
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkstemps(buf.data(), static_cast<int>(ext.size()));
    if (fd < 0) {
        Logger::log("ERROR LogBase::makeFilename() cannot make a file in %s", 1, dir.c_str());
        return false;
    }
    ::close(fd);
    out = buf.data();
    return true;
}

HANDLE LogBase::ExecuteProcess(const char* program, const char* commandLine, PROCESS_INFORMATION* processInfo, bool)
{
    return Spawn(program, commandLine, nullptr, processInfo);
}

int LogBase::ExecuteWait(const char* program, const char* arguments, bool)
{
    return WaitFor(Spawn(program, arguments, nullptr, nullptr));
}

int LogBase::ExecuteWait(const char* program, const std::vector<std::string>& arguments, bool)
{
    return WaitFor(Spawn(program, nullptr, &arguments, nullptr));
}

bool LogBase::ExecuteApp(const char* program, const char* arguments, bool)
{
    // Nobody waits for it: closing the handle has it reaped when it ends.
    const HANDLE process = Spawn(program, arguments, nullptr, nullptr);
    return process && utilkit::CloseChildHandle(process);
}

int LogBase::downloadFile(const char* address, const char* localPath)
{
    if (!address || !*address || !localPath || !*localPath) return -1;
    std::string from = address;
    const std::string to = ToNativePath(localPath);
    if (from.starts_with("http://") || from.starts_with("https://")) {
        // Bounded: a dead server or an endless body cannot hold the caller
        // (the share library's update runs at start-up). Anything but a
        // complete 2xx body is a failure and leaves no file behind.
        HttpRequest request;
        request.url = from;
        request.followRedirects = true;
        request.maxRedirects = kDownloadMaxRedirects;
        request.connectTimeoutMs = kDownloadConnectTimeoutMs;
        request.totalTimeoutMs = kDownloadTotalTimeoutMs;
        std::string error;
        const long status = HttpDownloadToFile(request, to, &error);
        if (status >= 200 && status <= 299) return 0;
        if (status < 0)
            Logger::log("ERROR LogBase::downloadFile() %s: %s", 1, address, error.c_str());
        else
            Logger::log("ERROR LogBase::downloadFile() %s: HTTP status %ld", 1, address, status);
        return -1;
    }
    if (from.starts_with("file://")) from = from.substr(7);
    std::error_code ec;
    std::filesystem::copy_file(ToNativePath(from.c_str()), to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        Logger::log("ERROR LogBase::downloadFile() %s: %s", 1, address, ec.message().c_str());
        return -1;
    }
    return 0;
}
