#include "platform/utilkit/log_base.h"

#include "core/app_data.h"
#include "core/logger.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string BaseName(const std::string& path)
{
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > 4 && (name.ends_with(".exe") || name.ends_with(".EXE"))) name.resize(name.size() - 4);
    return name;
}

// The program file to run: the converted path, or without ".exe" when only
// that exists (programs built here carry no extension).
std::string ResolveProgram(const char* program)
{
    std::string path = LogBase::ToNativePath(program);
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return path;
    if (path.size() > 4 && (path.ends_with(".exe") || path.ends_with(".EXE"))) {
        const std::string bare = path.substr(0, path.size() - 4);
        if (std::filesystem::exists(bare, ec)) return bare;
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

pid_t Spawn(const char* program, const char* commandLine)
{
    if (!program || !*program) return 0;
    const std::string file = ResolveProgram(program);
    std::vector<std::string> words = BuildArgv(file, program, commandLine);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        Logger::log("ERROR LogBase::ExecuteProcess() cannot start %s", 1, file.c_str());
        return 0;
    }
    return pid;
}

}  // namespace

std::string LogBase::ToNativePath(const char* path)
{
    std::string s = path ? path : "";
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
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

std::string LogBase::GetAppDir0()
{
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
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, "_%03lld_%u", static_cast<long long>(ms),
                                               serial.fetch_add(1)));
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

intptr_t LogBase::ExecuteProcess(const char* program, const char* commandLine, void*, bool)
{
    return Spawn(program, commandLine);
}

int LogBase::ExecuteWait(const char* program, const char* arguments, bool)
{
    const pid_t pid = Spawn(program, arguments);
    if (pid <= 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool LogBase::ExecuteApp(const char* program, const char* arguments, bool)
{
    return Spawn(program, arguments) > 0;
}

int LogBase::downloadFile(const char* address, const char* localPath)
{
    if (!address || !*address || !localPath || !*localPath) return -1;
    std::string from = address;
    const std::string to = ToNativePath(localPath);
    if (from.starts_with("http://") || from.starts_with("https://")) {
        const std::string line = "curl -fsSL -o \"" + to + "\" \"" + from + "\"";
        const int status = ExecuteWait("/usr/bin/curl", line.c_str(), false);
        return status == 0 ? 0 : -1;
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
