#include "platform/win/file_system.h"

#include "core/logger.h"
#include "platform/utilkit/native_path.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

thread_local DWORD t_lastError = 0;

struct PathState {
    std::mutex lock;
    std::string current;
    std::string programFolder;
};

// Kind and volume label of each mapped drive letter; a letter without an
// entry is a fixed drive without a label (guarded by PathState::lock).
struct DriveInfo {
    UINT kind = DRIVE_FIXED;
    std::string label;
};
std::map<char, DriveInfo>& Drives()
{
    static std::map<char, DriveInfo> drives;
    return drives;
}

PathState& P()
{
    static PathState* state = new PathState();  // lives for the process
    return *state;
}

std::string RealCurrentFolder()
{
    std::error_code ec;
    const fs::path p = fs::current_path(ec);
    return ec ? std::string("/") : p.string();
}

std::string ExecutablePath()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    buffer[n] = '\0';
    return buffer;
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && strcasecmp(s.c_str() + s.size() - suffix.size(), suffix.c_str()) == 0;
}

std::string Normal(const std::string& path)
{
    std::string p = fs::path(path).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p.empty() ? std::string("/") : p;
}

// Glob matching of '*' and '?' on lower-case text.
bool Glob(const char* pattern, const char* name)
{
    const char* starP = nullptr;
    const char* starN = nullptr;
    while (*name) {
        if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (*pattern == '*') {
            starP = pattern++;
            starN = name;
        } else if (starP) {
            pattern = starP + 1;
            name = ++starN;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

// 100-nanosecond ticks since 1601, the platform's file time.
FILETIME ToFileTime(time_t seconds)
{
    const uint64_t ticks = (static_cast<uint64_t>(seconds) + 11644473600ULL) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

DWORD AttributesOf(const std::string& path, const std::string& name)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    // Read-only is the owner's write bit (not access(), which an
    // administrator passes whatever the bits say).
    if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    return attributes;
}

bool Fill(const std::string& folder, const std::string& name, WIN32_FIND_DATA* data)
{
    const std::string path = folder == "/" ? "/" + name : folder + "/" + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = AttributesOf(path, name);
    data->ftCreationTime = ToFileTime(st.st_ctime);
    data->ftLastAccessTime = ToFileTime(st.st_atime);
    data->ftLastWriteTime = ToFileTime(st.st_mtime);
    const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
    const size_t n = std::min(name.size(), sizeof data->cFileName - 1);
    std::memcpy(data->cFileName, name.data(), n);
    return true;
}

struct FindState {
    std::string folder;
    std::vector<std::string> names;
    size_t next = 0;
};

std::mutex g_findLock;
std::map<uintptr_t, std::unique_ptr<FindState>>& Finds()
{
    static auto* finds = new std::map<uintptr_t, std::unique_ptr<FindState>>();
    return *finds;
}
uintptr_t g_nextFind = 0x80000;

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

namespace win {

std::string ToPosixPath(const std::string& path)
{
    return utilkit::WindowsToPosixPath(path);
}

std::string ResolvePath(const std::string& path)
{
    std::string p = ToPosixPath(path);
    if (p.empty()) return CurrentFolder();
    if (p[0] != '/') p = CurrentFolder() + "/" + p;
    return Normal(p);
}

std::string ProgramPath(const std::string& name)
{
    std::string p = ToPosixPath(name);
    if (EndsWithNoCase(p, ".exe")) p.resize(p.size() - 4);
    // "\\X.exe" and "X.exe" name a program beside this one.
    if (p.find('/') == std::string::npos || (p[0] == '/' && p.find('/', 1) == std::string::npos &&
                                             !fs::exists(p))) {
        const std::string base = p[0] == '/' ? p.substr(1) : p;
        return ProgramFolder() + "/" + base;
    }
    return ResolvePath(p);
}

std::string LibraryFileName(const std::string& name)
{
    std::string p = ToPosixPath(name);
    if (!EndsWithNoCase(p, ".dll")) return p;
    p.resize(p.size() - 4);
    const size_t slash = p.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : p.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? p : p.substr(slash + 1);
    return folder + "lib" + base + ".so";
}

bool WildcardMatch(const std::string& pattern, const std::string& name)
{
    const std::string p = Lower(pattern), n = Lower(name);
    if (p == "*" || p == "*.*") return true;
    if (Glob(p.c_str(), n.c_str())) return true;
    const bool nameHasDot = n.find('.') != std::string::npos;
    // "name.*" also matches "name"; "name." matches only names without a dot.
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && !nameHasDot)
        return Glob(p.substr(0, p.size() - 2).c_str(), n.c_str());
    if (!p.empty() && p.back() == '.' && p != "." && p != ".." && !nameHasDot)
        return Glob(p.substr(0, p.size() - 1).c_str(), n.c_str());
    return false;
}

void MapDrive(char letter, const std::string& root)
{
    utilkit::MapPathDrive(letter, root);
    if (root.empty()) {
        std::lock_guard<std::mutex> guard(P().lock);
        Drives().erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    }
}

void MapDrive(char letter, const std::string& root, UINT kind, const std::string& label)
{
    MapDrive(letter, root);
    if (root.empty()) return;
    std::lock_guard<std::mutex> guard(P().lock);
    Drives()[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = DriveInfo{kind, label};
}

std::string DriveRoot(char letter)
{
    return utilkit::PathDriveRoot(letter);
}

std::string ProgramFolder()
{
    std::lock_guard<std::mutex> guard(P().lock);
    if (P().programFolder.empty()) P().programFolder = fs::path(ExecutablePath()).parent_path().string();
    return P().programFolder;
}

void SetProgramFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> guard(P().lock);
    P().programFolder = folder;
}

std::string CurrentFolder()
{
    std::lock_guard<std::mutex> guard(P().lock);
    if (P().current.empty()) P().current = RealCurrentFolder();
    return P().current;
}

std::string CommonAppDataFolder()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return data;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share";
}

FILE* OpenFile(const std::string& path, const char* mode)
{
    return std::fopen(ResolvePath(path).c_str(), mode);
}

void ResetFileSystem()
{
    utilkit::ResetPathDrives();
    std::lock_guard<std::mutex> guard(P().lock);
    Drives().clear();
    P().current.clear();
    P().programFolder.clear();
}

}  // namespace win

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD error)
{
    t_lastError = error;
}

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data)
{
    if (!pattern || !data) return INVALID_HANDLE_VALUE;
    const std::string resolved = win::ResolvePath(pattern);
    const std::string raw = win::ToPosixPath(pattern);
    if (!raw.empty() && raw.back() == '/') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const size_t slash = resolved.rfind('/');
    const std::string folder = slash == 0 ? "/" : resolved.substr(0, slash);
    const std::string wildcard = resolved.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto state = std::make_unique<FindState>();
    state->folder = folder;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        // The root has no "." and ".." entries on the platform.
        if (folder == "/" && (name == "." || name == "..")) continue;
        if (win::WildcardMatch(wildcard, name)) state->names.push_back(name);
    }
    closedir(dir);
    // Dot entries first, then by name without regard to case (a stable order
    // whatever the file system gives).
    std::sort(state->names.begin(), state->names.end(), [](const std::string& a, const std::string& b) {
        const bool da = a == "." || a == "..", db = b == "." || b == "..";
        if (da != db) return da;
        const int c = strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    while (state->next < state->names.size()) {
        if (Fill(state->folder, state->names[state->next++], data)) {
            std::lock_guard<std::mutex> guard(g_findLock);
            const uintptr_t key = g_nextFind;
            g_nextFind += 4;
            Finds().emplace(key, std::move(state));
            return reinterpret_cast<HANDLE>(key);
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data)
{
    std::lock_guard<std::mutex> guard(g_findLock);
    auto it = Finds().find(reinterpret_cast<uintptr_t>(find));
    if (it == Finds().end() || !data) return FALSE;
    FindState& s = *it->second;
    while (s.next < s.names.size()) {
        if (Fill(s.folder, s.names[s.next++], data)) return TRUE;
    }
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}

BOOL FindClose(HANDLE find)
{
    std::lock_guard<std::mutex> guard(g_findLock);
    return Finds().erase(reinterpret_cast<uintptr_t>(find)) ? TRUE : FALSE;
}

DWORD GetFileAttributes(const char* path)
{
    if (!path) return INVALID_FILE_ATTRIBUTES;
    const std::string p = win::ResolvePath(path);
    const DWORD a = AttributesOf(p, fs::path(p).filename().string());
    if (a == INVALID_FILE_ATTRIBUTES) SetLastError(ERROR_FILE_NOT_FOUND);
    return a;
}

BOOL SetFileAttributes(const char* path, DWORD attributes)
{
    if (!path) return FALSE;
    const std::string p = win::ResolvePath(path);
    struct stat st {};
    if (stat(p.c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else mode |= S_IWUSR;
    if (chmod(p.c_str(), mode) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFile(const char* source, const char* target, BOOL failIfExists)
{
    if (!source || !target) return FALSE;
    std::error_code ec;
    const fs::path from = win::ResolvePath(source), to = win::ResolvePath(target);
    if (!fs::is_regular_file(from, ec)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (fs::exists(to, ec)) {
        if (failIfExists) {
            SetLastError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        if (GetFileAttributes(to.c_str()) & FILE_ATTRIBUTE_READONLY) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFile(const char* source, const char* target)
{
    if (!source || !target) return FALSE;
    std::error_code ec;
    const fs::path from = win::ResolvePath(source), to = win::ResolvePath(target);
    if (!fs::exists(from, ec)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // The platform refuses to move onto an existing file.
    if (fs::exists(to, ec)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    fs::rename(from, to, ec);
    if (ec == std::errc::cross_device_link && fs::is_regular_file(from)) {
        ec.clear();
        fs::copy_file(from, to, ec);
        if (!ec) fs::remove(from, ec);
    }
    if (ec) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFile(const char* path)
{
    if (!path) return FALSE;
    const std::string p = win::ResolvePath(path);
    struct stat st {};
    if (stat(p.c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Read-only files and folders are not deleted, as on the platform.
    if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR) || unlink(p.c_str()) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectory(const char* path, void*)
{
    if (!path) return FALSE;
    if (mkdir(win::ResolvePath(path).c_str(), 0777) != 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectory(const char* path)
{
    if (!path) return FALSE;
    if (rmdir(win::ResolvePath(path).c_str()) != 0) {
        SetLastError(errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

DWORD GetTempPath(DWORD size, char* buffer)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp && *tmp) ? tmp : "/tmp";
    if (folder.back() != '/') folder += '/';
    if (buffer && size > folder.size()) std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    else if (buffer && size > 0) return static_cast<DWORD>(folder.size() + 1);
    return static_cast<DWORD>(folder.size());
}

UINT GetTempFileName(const char* folder, const char* prefix, UINT unique, char* buffer)
{
    if (!folder || !buffer) return 0;
    const std::string dir = win::ResolvePath(folder);
    const std::string pre = std::string(prefix ? prefix : "").substr(0, 3);
    for (int attempt = 0; attempt < 65535; ++attempt) {
        UINT number = unique ? unique : ((static_cast<UINT>(getpid()) + g_tempCounter.fetch_add(1)) & 0xFFFF);
        if (number == 0) number = 1;
        char name[64];
        snprintf(name, sizeof name, "%s%X.tmp", pre.c_str(), number);
        const std::string path = dir + "/" + name;
        if (unique) {
            std::memcpy(buffer, path.c_str(), std::min<size_t>(path.size() + 1, MAX_PATH));
            buffer[MAX_PATH - 1] = '\0';
            return unique;
        }
        const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd >= 0) {
            close(fd);
            std::memcpy(buffer, path.c_str(), std::min<size_t>(path.size() + 1, MAX_PATH));
            buffer[MAX_PATH - 1] = '\0';
            return number;
        }
        if (errno != EEXIST) break;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

DWORD GetCurrentDirectory(DWORD size, char* buffer)
{
    const std::string current = win::CurrentFolder();
    if (!buffer || size <= current.size()) return static_cast<DWORD>(current.size() + 1);
    std::memcpy(buffer, current.c_str(), current.size() + 1);
    return static_cast<DWORD>(current.size());
}

BOOL SetCurrentDirectory(const char* path)
{
    if (!path) return FALSE;
    const std::string resolved = win::ResolvePath(path);
    struct stat st {};
    // A folder the process may not enter cannot become the current one.
    if (stat(resolved.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(resolved.c_str(), X_OK) != 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(P().lock);
    P().current = resolved;
    return TRUE;
}

DWORD GetLogicalDrives()
{
    return utilkit::MappedDriveMask();
}

UINT GetDriveType(const char* root)
{
    if (!root || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':') return DRIVE_NO_ROOT_DIR;
    if (win::DriveRoot(root[0]).empty()) return DRIVE_NO_ROOT_DIR;
    std::lock_guard<std::mutex> guard(P().lock);
    const auto info = Drives().find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
    return info == Drives().end() ? DRIVE_FIXED : info->second.kind;
}

BOOL GetVolumeInformation(const char* root, char* label, DWORD labelSize, DWORD* serial, DWORD* maxComponent,
                          DWORD* flags, char* fileSystem, DWORD fileSystemSize)
{
    if (GetDriveType(root) == DRIVE_NO_ROOT_DIR) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // The label declared with the mapping (none by default).
    if (label && labelSize) {
        std::lock_guard<std::mutex> guard(P().lock);
        const auto info = Drives().find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
        snprintf(label, labelSize, "%s", info == Drives().end() ? "" : info->second.label.c_str());
    }
    if (serial) *serial = 0;
    if (maxComponent) *maxComponent = 255;
    if (flags) *flags = 0;
    if (fileSystem && fileSystemSize) {
        snprintf(fileSystem, fileSystemSize, "%s", "posix");
    }
    return TRUE;
}

DWORD GetModuleFileName(HMODULE, char* buffer, DWORD size)
{
    const std::string path = ExecutablePath();
    if (!buffer || size == 0) return 0;
    const size_t n = std::min<size_t>(path.size(), size - 1);
    std::memcpy(buffer, path.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

BOOL SHGetSpecialFolderPath(HWND, char* path, int folder, BOOL create)
{
    if (!path) return FALSE;
    std::string result;
    switch (folder) {
    case CSIDL_COMMON_APPDATA:
    case CSIDL_APPDATA: result = win::CommonAppDataFolder(); break;
    case CSIDL_PERSONAL: {
        const char* home = std::getenv("HOME");
        result = home && *home ? home : "/tmp";
        break;
    }
    default: return FALSE;
    }
    if (create) {
        std::error_code ec;
        fs::create_directories(result, ec);
    }
    snprintf(path, MAX_PATH, "%s", result.c_str());
    return TRUE;
}

