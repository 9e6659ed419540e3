#include "platform/win/dynamic_library.h"

#include "core/logger.h"
#include "platform/win/file_system.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_folderMutex;
std::string g_dllFolder;  // set by SetDllDirectoryA

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string CallerFolder(const void* address)
{
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0 || !info.dli_fname) return {};
    return FolderOf(info.dli_fname);
}

std::string ProgramFolder()
{
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), PATH_MAX);
    if (n <= 0) return {};
    return FolderOf(std::string(buffer.data(), static_cast<size_t>(n)));
}

void* OpenFile(const std::string& path)
{
    if (access(path.c_str(), R_OK) != 0) return nullptr;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) Logger::log("ERROR LoadLibraryA: %s", 1, dlerror());
    return handle;
}

}  // namespace


__attribute__((noinline)) HMODULE LoadLibraryA(const char* fileName)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const std::string name = win::LibraryFileName(fileName);
    if (name.find('/') != std::string::npos) {
        void* handle = OpenFile(win::ResolvePath(name));
        if (!handle) SetLastError(ERROR_MOD_NOT_FOUND);
        return reinterpret_cast<HMODULE>(handle);
    }

    std::vector<std::string> folders;
    folders.push_back(CallerFolder(__builtin_return_address(0)));
    {
        std::lock_guard<std::mutex> lock(g_folderMutex);
        folders.push_back(g_dllFolder);
    }
    folders.push_back(ProgramFolder());
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        if (void* handle = OpenFile(folder + "/" + name)) return reinterpret_cast<HMODULE>(handle);
    }
    // The dynamic linker's own search; a module that is simply not installed
    // is an expected answer, not an error.
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) SetLastError(ERROR_MOD_NOT_FOUND);
    return reinterpret_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name) return nullptr;
    // Entries are bound by name; an ordinal (a small number in the pointer)
    // names nothing here.
    if (reinterpret_cast<uintptr_t>(name) < 0x10000) {
        Logger::log("ERROR GetProcAddress entry by ordinal %u: bind by exported name", 1,
                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(name)));
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* entry = dlsym(reinterpret_cast<void*>(module), name);
    if (!entry) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(entry);
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module) return FALSE;
    return dlclose(reinterpret_cast<void*>(module)) == 0 ? TRUE : FALSE;
}

int SetDllDirectoryA(const char* folder)
{
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_dllFolder = folder ? folder : "";
    return 1;
}
