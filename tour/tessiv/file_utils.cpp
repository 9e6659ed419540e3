#include "tour/tessiv/file_utils.h"

#include "platform/win/file_system.h"
#include "platform/win/wnd.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A link in the file system (the platform's folders have none): removed as
// the link itself, never entered.
bool IsLink(const char* name)
{
    std::error_code ec;
    return std::filesystem::is_symlink(win::ResolvePath(name), ec);
}

bool RemoveLink(const char* name)
{
    std::error_code ec;
    return std::filesystem::remove(win::ResolvePath(name), ec);
}

void ShowMessage(const std::string& text) { AfxMessageBox(text.c_str(), MB_OK); }

// Restores the current directory when the walk ends.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard()
    {
        const DWORD size = GetCurrentDirectory(0, nullptr);
        m_folder.resize(size);
        GetCurrentDirectory(size, m_folder.data());
        m_folder.resize(std::strlen(m_folder.c_str()));
    }
    ~CurrentDirectoryGuard() { SetCurrentDirectory(m_folder.c_str()); }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;
    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
};

size_t CountSeparators(const std::string& s, size_t from)
{
    return from >= s.size() ? 0 : static_cast<size_t>(std::count_if(s.begin() + from, s.end(), IsSeparator));
}

std::string Repeat(const char* piece, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i) out += piece;
    return out;
}

// A folder path without trailing separators ("c:\\a\\" is "c:\\a").
std::string WithoutTrailingSeparators(const char* path)
{
    std::string p = path;
    while (p.size() > 1 && IsSeparator(p.back())) p.pop_back();
    return p;
}

}  // namespace

const char* FileNamePart(const char* path)
{
    if (!path) return nullptr;
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p)) name = p + 1;
    return name;
}

bool SplitPath(const char* path, std::string& folder, std::string& name)
{
    if (!path) return false;
    const char* last = nullptr;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p)) last = p;
    if (!last || last == path) return false;
    folder.assign(path, last);
    name.assign(last + 1);
    return true;
}

bool ClearFolder(const char* folder, bool keep)
{
    if (!folder) return true;
    bool walked = true;
    {
        CurrentDirectoryGuard current;
        if (!SetCurrentDirectory(folder)) return true;
        WIN32_FIND_DATA entry;
        HANDLE find = FindFirstFile("*.*", &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const char* name = entry.cFileName;
                const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                if (isFolder && name[0] == '.') continue;
                if (IsLink(name)) {
                    if (!RemoveLink(name)) walked = false;
                    continue;
                }
                if (isFolder) {
                    if (!ClearFolder(name, false)) {
                        walked = false;
                        break;
                    }
                } else {
                    if (!SetFileAttributes(name, FILE_ATTRIBUTE_NORMAL)) {
                        walked = false;
                        break;
                    }
                    if (!DeleteFile(name)) walked = false;
                }
            } while (FindNextFile(find, &entry));
            FindClose(find);
        }
    }
    if (keep) return walked;
    if (!SetFileAttributes(folder, FILE_ATTRIBUTE_NORMAL)) return false;
    return RemoveDirectory(folder) != FALSE;
}

bool CopyFolder(const char* source, const char* destination)
{
    if (!source || !destination) return false;
    // The destination is named from where the caller stands, before the walk
    // moves the current directory into the source.
    const std::string target = win::ResolvePath(destination);
    CurrentDirectoryGuard current;
    if (!SetCurrentDirectory(source)) {
        ShowMessage(std::string("Cannot get folder:\n") + source);
        return false;
    }
    WIN32_FIND_DATA entry;
    HANDLE find = FindFirstFile("*.*", &entry);
    if (find == INVALID_HANDLE_VALUE) {
        ShowMessage(std::string("Empty folder:\n") + source);
        return false;
    }
    // A runtime file that did not arrive would leave a tour that publishes
    // but does not run: every failure counts, except a file already there,
    // which is kept on purpose.
    bool copied = true;
    do {
        const char* name = entry.cFileName;
        const std::string to = target + "\\" + name;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (name[0] == '.' || IsLink(name)) continue;
            if (GetFileAttributes(to.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectory(to.c_str(), nullptr);
            if (!CopyFolder(name, to.c_str())) copied = false;
        } else if (!CopyFile(name, to.c_str(), TRUE) && GetLastError() != ERROR_FILE_EXISTS) {
            ShowMessage(std::string("Cannot copy file:\n") + win::ResolvePath(to.c_str()));
            copied = false;
        }
    } while (FindNextFile(find, &entry));
    FindClose(find);
    return copied;
}

bool CopyTextFile(const char* path, FILE* output)
{
    FILE* input = path ? win::OpenFile(path, "r") : nullptr;
    if (!input) {
        ShowMessage(std::string("Cannot open file:\n") + (path ? path : ""));
        return false;
    }
    char piece[500];
    size_t n = 0;
    while ((n = std::fread(piece, 1, 499, input)) > 0)
        if (output) std::fwrite(piece, 1, n, output);
    std::fclose(input);
    return true;
}

bool RelativeFolder(const char* basePath, const char* targetPath, std::string& out)
{
    if (!basePath || !targetPath) return false;
    const std::string base = WithoutTrailingSeparators(basePath);
    const std::string target = WithoutTrailingSeparators(targetPath);
    std::string lowerBase = base, lowerTarget = target;
    for (char& c : lowerBase) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : lowerTarget) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lowerBase == lowerTarget) {
        out.clear();
        return true;
    }
    if (lowerBase.empty() || lowerTarget.empty() || lowerBase[0] != lowerTarget[0]) return false;

    // The common beginning, and its last separator.
    size_t common = 0;
    size_t lastSeparator = std::string::npos;
    while (common < lowerBase.size() && common < lowerTarget.size() && lowerBase[common] == lowerTarget[common]) {
        if (IsSeparator(lowerBase[common])) lastSeparator = common;
        ++common;
    }
    if (common == 0) return false;

    if (common == base.size() && common < target.size() && IsSeparator(target[common])) {
        out = target.substr(common + 1);  // below the base
    } else if (common == target.size() && common < base.size() && IsSeparator(base[common])) {
        const size_t up = 1 + CountSeparators(base, common + 1);  // above the base
        out = Repeat("../", up - 1) + "..";
    } else if (lastSeparator != std::string::npos) {
        const size_t up = 1 + CountSeparators(base, common);  // beside
        out = Repeat("../", up) + target.substr(lastSeparator + 1);
    } else {
        return false;  // no shared folder
    }
    return true;
}

bool RelativeFilePath(const char* file, const char* base, std::string& out)
{
    std::string folder, name, relative;
    if (!SplitPath(file, folder, name)) return false;
    if (!RelativeFolder(base, folder.c_str(), relative)) return false;
    out = relative.empty() ? name : relative + "\\" + name;
    return true;
}

const char* SkinName(int skin)
{
    static constexpr const char* kSkins[] = {"porcelain", "marble"};
    return skin >= 0 && skin < 2 ? kSkins[skin] : nullptr;
}

std::string MediaFolderName(int skin)
{
    const char* name = SkinName(skin);
    return std::string("QuorvaneTour_media_") + (name ? name : "");
}

namespace {

std::string SkinFolder(const char* programFolder, const char* templateFolder, int skin)
{
    const char* name = SkinName(skin);
    return std::string(programFolder ? programFolder : "") + "\\" + (templateFolder ? templateFolder : "") + "\\" +
           "QuorvaneTour_media" + "\\" + (name ? name : "");
}

}  // namespace

std::string SkinMediaFolder(const char* programFolder, const char* templateFolder, int skin)
{
    return SkinFolder(programFolder, templateFolder, skin) + "\\s0";
}

std::string SkinStyleFile(const char* programFolder, const char* templateFolder, int skin)
{
    const char* name = SkinName(skin);
    return SkinFolder(programFolder, templateFolder, skin) + "\\" + (name ? name : "") + ".txt";
}
