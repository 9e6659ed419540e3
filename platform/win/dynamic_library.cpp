#include "platform/win/dynamic_library.h"

#include "platform/utilkit/logger.h"

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

namespace win {

std::string SharedObjectName(const char* fileName)
{
    std::string name = fileName ? fileName : "";
    for (char& c : name)
        if (c == '\\') c = '/';
    const size_t slash = name.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const size_t n = base.size();
    if (n >= 4 && strcasecmp(base.c_str() + n - 4, ".dll") == 0) base.resize(n - 4);
    const bool isSharedObject = base.size() >= 3 && base.compare(base.size() - 3, 3, ".so") == 0;
    if (!isSharedObject) base = "lib" + base + ".so";
    return folder + base;
}

}  // namespace win

__attribute__((noinline)) HMODULE LoadLibraryA(const char* fileName)
{
    if (!fileName || !*fileName) return nullptr;
    const std::string name = win::SharedObjectName(fileName);
    if (name.find('/') != std::string::npos) return reinterpret_cast<HMODULE>(OpenFile(name));

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
    return reinterpret_cast<HMODULE>(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name) return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(reinterpret_cast<void*>(module), name));
}

int FreeLibrary(HMODULE module)
{
    if (!module) return 0;
    return dlclose(reinterpret_cast<void*>(module)) == 0 ? 1 : 0;
}

int SetDllDirectoryA(const char* folder)
{
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_dllFolder = folder ? folder : "";
    return 1;
}
