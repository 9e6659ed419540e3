// The camera-information share library: files made by others (names ending
// ".camInfo_") kept in three places, the copy delivered beside the program,
// the common copy the select dialog lists, and a web folder. Each place has
// a list file "CameraInfoShareLibList": a first line with the list version
// ("%d"), then per file its name and its own [Version] ("%f"). Updating
// compares the lists and copies or downloads only the new and newer files.
// Diagnostics go to standard output; the user sees only the message boxes
// of a web update.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CamInfoLibEntry {
    std::string name;
    float version = 0.0f;
};

// One loaded list.
class CamInfoLibList {
public:
    enum Kind : int32_t { kCommon = 0, kProgram = 1, kWeb = 2 };

    // The list version of the library in `folder`; -1 when it has no list.
    static int getListVersion(const std::string& folder);
    // Loads the list of a library; the web list is downloaded into the
    // download folder first. 0, -1 when the download failed, -2 when the list
    // cannot be opened.
    int loadListFile(int listKind);
    // On the destination list: brings `entry` of `source` over. 0 updated,
    // 1 new (also when the file was already there unlisted), 2 nothing to
    // do or an entry refused, 3 the copy or download failed.
    int checkUpdateFile(const CamInfoLibEntry& entry, const CamInfoLibList& source) const;
    // On the source list: puts its list file over the list in `dstFolder`.
    bool copyListFile(const std::string& dstFolder) const;

    // Whether `name` is a plain library file name (no folder part, no drive,
    // no "..", ending ".camInfo_"); a trailing carriage return is dropped
    // first. Names from a list are only used when this holds.
    static bool CleanEntryName(std::string& name);

    int32_t kind = kCommon;
    std::string folder;
    int32_t version = -1;
    std::vector<CamInfoLibEntry> entries;
};

class CamInfoLib {
public:
    static constexpr const char* kListName = "CameraInfoShareLibList";

    // Program folder + "\\CameraInfoShareLib".
    static std::string GetAppLibFolder();
    // "\\Quorvane\\CameraInfoShareLib" of the common application-data folder.
    static std::string GetCommonLibFolder();
    // "\\Quorvane\\log" of the common application-data folder: web files land
    // here before they replace the common copies.
    static std::string GetDownloadFolder();
    // The web library's base address from $FENDRAKE_CAMINFO_WEB (ending
    // "/CameraInfoShareLib/"); empty when the deployment sets none.
    static std::string GetWebBase();

    // Brings the common library up to date from the program folder's copy,
    // or from the web when `fromWeb`. -1 failure (retried in full next
    // time: the common list is replaced only after every file arrived),
    // 0 nothing updated, 1 files updated, 2 the whole library copied.
    static int UpdateAppDirLib(bool fromWeb);
    // Writes a new list for the program folder's library (the old one kept
    // as "CameraInfoShareLibList_v<n>"). The number of files listed, -2 when
    // the old list cannot be renamed, -3 when the new one cannot be written.
    static int CreateLibList();
};

// Start-up's call: mode 0 from the program folder, otherwise from the web.
int UpdateAppDirLib(int mode);
