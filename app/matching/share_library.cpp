#include "app/matching/share_library.h"

#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/shell/fendrake_app.h"
#include "core/logger.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/file_system.h"
#include "platform/win/wnd.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kEnding = ".camInfo_";

std::string Join(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

std::string ListPath(const std::string& folder) { return Join(folder, CamInfoLib::kListName); }

void StripLineEnd(std::string& line)
{
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

bool FileExists(const std::string& path) { return GetFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A download that failed may leave part of a file behind; it must not be
// taken for the real one by the next update.
int Download(const std::string& address, const std::string& path)
{
    if (LogBase::downloadFile(address.c_str(), path.c_str()) == 0) return 0;
    DeleteFile(path.c_str());
    return -1;
}

// Restores the layer's current folder when the scan ends, however it ends.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper()
    {
        char buffer[4096] = {};
        if (GetCurrentDirectory(sizeof buffer, buffer) < sizeof buffer) m_previous = buffer;
    }
    ~CurrentFolderKeeper()
    {
        if (!m_previous.empty()) SetCurrentDirectory(m_previous.c_str());
    }
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    std::string m_previous;
};

}  // namespace

// ---- One list -----------------------------------------------------------

int CamInfoLibList::getListVersion(const std::string& folder)
{
    const std::string path = ListPath(folder);
    std::printf("getListVersion: filePath=%s\n", path.c_str());
    std::fflush(stdout);
    FILE* file = win::OpenFile(path, "r");
    if (!file) return -1;
    std::string line;
    ReadTextLine(file, line);
    std::fclose(file);
    return static_cast<int>(std::atof(line.c_str()));
}

int CamInfoLibList::loadListFile(int listKind)
{
    kind = listKind;
    version = -1;
    entries.clear();
    switch (kind) {
    case kProgram: folder = CamInfoLib::GetAppLibFolder(); break;
    case kWeb: folder = CamInfoLib::GetDownloadFolder(); break;
    default: folder = CamInfoLib::GetCommonLibFolder(); break;
    }
    const std::string path = ListPath(folder);
    if (kind == kWeb) {
        const std::string base = CamInfoLib::GetWebBase();
        if (base.empty() || Download(base + CamInfoLib::kListName, path) != 0) return -1;
    }
    FILE* file = win::OpenFile(path, "r");
    if (!file) return -2;
    std::string line;
    ReadTextLine(file, line);
    version = static_cast<int32_t>(std::atof(line.c_str()));
    std::string name;
    while (ReadTextLine(file, name) && ReadTextLine(file, line)) {
        StripLineEnd(name);
        entries.push_back({name, static_cast<float>(std::atof(line.c_str()))});
    }
    std::fclose(file);
    return 0;
}

bool CamInfoLibList::CleanEntryName(std::string& name)
{
    if (!name.empty() && name.back() == '\r') name.pop_back();
    const std::string ending = kEnding;
    if (name.size() <= ending.size() || name.compare(name.size() - ending.size(), ending.size(), ending) != 0)
        return false;
    if (name.find_first_of("\\/:") != std::string::npos) return false;
    return name.find("..") == std::string::npos;
}

int CamInfoLibList::checkUpdateFile(const CamInfoLibEntry& entry, const CamInfoLibList& source) const
{
    std::string name = entry.name;
    if (!CleanEntryName(name)) {
        Logger::log("ERROR CamInfoLibList::checkUpdateFile: refused list entry '%s'", 1, entry.name.c_str());
        std::printf("ERROR CamInfoLibList::checkUpdateFile: refused list entry '%s'\n", entry.name.c_str());
        std::fflush(stdout);
        return 2;
    }
    const bool web = source.kind == kWeb;
    const std::string dstPath = Join(folder, name);
    for (const CamInfoLibEntry& mine : entries) {
        std::string listed = mine.name;
        if (!listed.empty() && listed.back() == '\r') listed.pop_back();
        if (listed != name) continue;
        if (!(mine.version < entry.version)) return 2;
        std::printf("CamInfoLibList::checkUpdateFile: %s\n   dstFile.version (%d) < srcFile.version (%d): update\n",
                    name.c_str(), static_cast<int>(mine.version), static_cast<int>(entry.version));
        std::fflush(stdout);
        if (web) {
            const std::string downloaded = Join(source.folder, name);
            if (Download(CamInfoLib::GetWebBase() + name, downloaded) != 0) return 3;
            // The new copy replaces the old one; a read-only or locked old copy
            // stays and the update counts as failed.
            const bool replaced = (!FileExists(dstPath) || DeleteFile(dstPath.c_str())) &&
                                  MoveFile(downloaded.c_str(), dstPath.c_str());
            if (!replaced) {
                DeleteFile(downloaded.c_str());
                Logger::log("ERROR CamInfoLibList::checkUpdateFile: cannot replace %s", 1, dstPath.c_str());
                return 3;
            }
            return 0;
        }
        if (!CopyFile(Join(source.folder, name).c_str(), dstPath.c_str(), FALSE)) {
            Logger::log("ERROR CamInfoLibList::checkUpdateFile: cannot copy over %s", 1, dstPath.c_str());
            return 3;
        }
        return 0;
    }
    std::printf("CamInfoLibList::checkUpdateFile: %s\n   DST_NO_EXIST: %s", name.c_str(), web ? " download\n" : " copy\n");
    std::fflush(stdout);
    const bool existed = FileExists(dstPath);
    if (web) {
        if (existed) return 1;  // kept as it is, as a copy would be
        return Download(CamInfoLib::GetWebBase() + name, dstPath) == 0 ? 1 : 3;
    }
    if (!CopyFile(Join(source.folder, name).c_str(), dstPath.c_str(), TRUE)) {
        std::printf("   CamInfoLib::checkUpdateFile: failed CopyFile()???\n");
        std::fflush(stdout);
        // A file already at the destination is kept and counts as new; a
        // file that did not arrive must be fetched again next time.
        if (!existed) return 3;
    }
    return 1;
}

bool CamInfoLibList::copyListFile(const std::string& dstFolder) const
{
    const std::string from = ListPath(folder), to = ListPath(dstFolder);
    if (kind == kWeb) {
        if (FileExists(to) && !DeleteFile(to.c_str())) return false;
        return MoveFile(from.c_str(), to.c_str()) != FALSE;
    }
    return CopyFile(from.c_str(), to.c_str(), FALSE) != FALSE;
}

// ---- The library --------------------------------------------------------

std::string CamInfoLib::GetAppLibFolder() { return CFendrakeApp::GetProgramDir() + "\\CameraInfoShareLib"; }

std::string CamInfoLib::GetCommonLibFolder() { return CamInfoShareLibFolder(); }

std::string CamInfoLib::GetDownloadFolder()
{
    std::string folder;
    LogBase::GetCommonAppDataDir("\\Quorvane\\log", folder);
    return folder;
}

std::string CamInfoLib::GetWebBase()
{
    const char* base = std::getenv("FENDRAKE_CAMINFO_WEB");
    return base ? base : "";
}

int CamInfoLib::UpdateAppDirLib(bool fromWeb)
{
    const std::string common = GetCommonLibFolder();
    const int dstVersion = CamInfoLibList::getListVersion(common);
    if (!fromWeb) {
        const int appVersion = CamInfoLibList::getListVersion(GetAppLibFolder());
        std::printf("CamInfoLib::UpdateAppDirLib: appVersion=%d dstVersion=%d\n", appVersion, dstVersion);
        if (appVersion < 0) {
            std::printf("CamInfoLib::UpdateAppDirLib: src share lib list file does not exist!\n");
            std::fflush(stdout);
            return -1;
        }
        if (appVersion <= dstVersion) {
            std::printf("CamInfoLib::UpdateAppDirLib: no need to update\n");
            std::fflush(stdout);
            return 0;
        }
    }
    CamInfoLibList source;
    if (source.loadListFile(fromWeb ? CamInfoLibList::kWeb : CamInfoLibList::kProgram) != 0) {
        std::printf("CamInfoLib::UpdateAppDirLib: failed loadListFile(): isWebUpdate=%d\n", fromWeb ? 1 : 0);
        std::fflush(stdout);
        return -1;
    }
    if (fromWeb && source.version <= dstVersion) {
        AfxMessageBox("No update: camInfo lib is up-to-date", MB_OK);
        return 0;
    }
    CamInfoLibList destination;
    if (destination.loadListFile(CamInfoLibList::kCommon) != 0) {
        if (fromWeb) {
            std::printf("CamInfoLib::UpdateAppDirLib: dst list does not exist: should be with WEB type???\n");
            std::fflush(stdout);
            return 0;
        }
        if (!CopyFolderTree(GetAppLibFolder().c_str(), common.c_str())) {
            // A list copied beside missing files would stop every retry.
            DeleteFile(ListPath(common).c_str());
            Logger::log("ERROR CamInfoLib::UpdateAppDirLib: the library could not be copied to %s", 1,
                        common.c_str());
            return -1;
        }
        std::printf("CamInfoLib::UpdateAppDirLib: all copied to dst\n");
        std::fflush(stdout);
        return 2;
    }
    int numNew = 0, numUpdate = 0;
    for (const CamInfoLibEntry& entry : source.entries) {
        switch (destination.checkUpdateFile(entry, source)) {
        case 0: ++numUpdate; break;
        case 1: ++numNew; break;
        case 3: return -1;
        default: break;
        }
    }
    std::printf("CamInfoLib::UpdateAppDirLib: numNew=%d numUpdate=%d\n", numNew, numUpdate);
    std::fflush(stdout);
    if (!source.copyListFile(common)) {
        std::printf("CamInfoLib::UpdateAppDirLib: failed copyListFile???\n");
        std::fflush(stdout);
    }
    if (fromWeb) {
        if (numNew == 0 && numUpdate == 0) {
            AfxMessageBox("No update: camInfo lib is up-to-date", MB_OK);
        } else {
            char text[100];
            std::snprintf(text, sizeof text, "Updated: %d new / %d update", numNew, numUpdate);
            AfxMessageBox(text, MB_OK);
        }
    }
    return numNew == 0 && numUpdate == 0 ? 0 : 1;
}

int CamInfoLib::CreateLibList()
{
    const std::string folder = GetAppLibFolder(), list = ListPath(folder);
    const int current = CamInfoLibList::getListVersion(folder);
    std::printf("CamInfoLib::CreateLibList: current listVersion=%d\n", current);
    int newVersion = 1;
    if (current > 0) {
        const std::string renamed = list + "_v" + std::to_string(current);
        if (!MoveFile(list.c_str(), renamed.c_str())) {
            std::printf("Could not rename '%s'\n", list.c_str());
            std::fflush(stdout);
            return -2;
        }
        std::printf("File renamed to '%s'\n", renamed.c_str());
        newVersion = current + 1;
    }
    std::printf("CamInfoLib::CreateLibList: new listVersion=%d\n", newVersion);
    std::fflush(stdout);
    FILE* out = win::OpenFile(list, "w");
    if (!out) {
        std::printf("Could not open file to write: '%s'\n", list.c_str());
        std::fflush(stdout);
        return -3;
    }
    std::fprintf(out, "%d\n", newVersion);
    int count = 0;
    {
        CurrentFolderKeeper keeper;
        if (!SetCurrentDirectory(folder.c_str())) {
            AfxMessageBox(("Cannot get folder:\n" + folder).c_str(), MB_OK);
        } else {
            WIN32_FIND_DATA data;
            HANDLE find = FindFirstFile("*.*", &data);
            if (find == INVALID_HANDLE_VALUE) {
                AfxMessageBox(("Empty folder:\n" + folder).c_str(), MB_OK);
            } else {
                const std::string ending = kEnding;
                do {
                    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
                    const std::string name = data.cFileName;
                    if (name.size() < 9 || name.compare(name.size() - ending.size(), ending.size(), ending) != 0)
                        continue;
                    CamInfo record;
                    record.ReadFile(name.c_str(), nullptr);
                    std::fprintf(out, "%s\n%f\n", name.c_str(), static_cast<double>(record.version));
                    ++count;
                } while (FindNextFile(find, &data));
                FindClose(find);
            }
        }
    }
    std::fclose(out);
    return count;
}

int UpdateAppDirLib(int mode) { return CamInfoLib::UpdateAppDirLib(mode != 0); }
