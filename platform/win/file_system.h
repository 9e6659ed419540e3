// Files and paths at the boundary to the operating system. The suite's code
// writes Windows paths ("C:\\data\\IMG_1.JPG", "\\Hollet.exe", "Jpegkit.dll");
// here they become POSIX paths: backslashes turn into slashes, drive letters
// into mapped roots (C: is "/"), "X.exe" into the program X in the program
// folder and "X.dll" into libX.so. The path conversion and the drive table
// are the utility module's (platform/utilkit/native_path.h), so that LogBase
// spells every path alike. Relative paths are resolved against a current
// folder kept by this layer (never chdir: workers may run while the user
// interface changes folders). Directory listings match wildcards without
// regard to case ("*.jpg" finds "IMG_1.JPG").
#pragma once

#include "platform/win/win_defs.h"
#include "platform/win/dynamic_library.h"

#include <cstdio>
#include <string>
#include <vector>

namespace win {

std::string ToPosixPath(const std::string& path);
// Absolute POSIX path: translated, a relative path under the current folder.
std::string ResolvePath(const std::string& path);
// "X.exe" (any case), "\\X.exe" or "C:\\dir\\X.exe" to the program file:
// the extension dropped, a bare name taken from the program folder.
std::string ProgramPath(const std::string& name);
// "X.dll" to "libX.so" (other names unchanged but for the translation).
std::string LibraryFileName(const std::string& name);
// Case-insensitive match with '*' and '?'; "*.*" matches every name and
// "name.*" also a name without any dot, as the platform did.
bool WildcardMatch(const std::string& pattern, const std::string& name);

void MapDrive(char letter, const std::string& root);  // root "" removes the mapping
// A mapping with the drive's kind (DRIVE_FIXED, DRIVE_CDROM, DRIVE_REMOVABLE,
// DRIVE_REMOTE, DRIVE_RAMDISK) and volume label, which GetDriveType and
// GetVolumeInformation report; MapDrive alone makes a fixed drive without a
// label.
void MapDrive(char letter, const std::string& root, UINT kind, const std::string& label);
std::string DriveRoot(char letter);                   // empty when unmapped
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);
std::string CurrentFolder();
// The data folder shared by the program's users ($XDG_DATA_HOME or
// ~/.local/share).
std::string CommonAppDataFolder();

// fopen of a translated, resolved path.
FILE* OpenFile(const std::string& path, const char* mode);

// Drive mappings, current folder and program folder back to their defaults.
void ResetFileSystem();

}  // namespace win

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
};
using WIN32_FIND_DATAA = WIN32_FIND_DATA;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr int MAX_PATH = 260;
constexpr int CSIDL_PERSONAL = 0x05;
constexpr int CSIDL_APPDATA = 0x1A;
constexpr int CSIDL_COMMON_APPDATA = 0x23;

DWORD GetLastError();
void SetLastError(DWORD error);

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data);
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE find);

DWORD GetFileAttributes(const char* path);
BOOL SetFileAttributes(const char* path, DWORD attributes);
BOOL CopyFile(const char* source, const char* target, BOOL failIfExists);
BOOL MoveFile(const char* source, const char* target);
BOOL DeleteFile(const char* path);
BOOL CreateDirectory(const char* path, void* security);
BOOL RemoveDirectory(const char* path);

// With a trailing separator.
DWORD GetTempPath(DWORD size, char* buffer);
// Makes a new empty file "<prefix><hex>.tmp" in folder (unique 0) and
// returns the number used.
UINT GetTempFileName(const char* folder, const char* prefix, UINT unique, char* buffer);
DWORD GetCurrentDirectory(DWORD size, char* buffer);
BOOL SetCurrentDirectory(const char* path);
DWORD GetLogicalDrives();
UINT GetDriveType(const char* root);
BOOL GetVolumeInformation(const char* root, char* label, DWORD labelSize, DWORD* serial, DWORD* maxComponent,
                          DWORD* flags, char* fileSystem, DWORD fileSystemSize);
DWORD GetModuleFileName(HMODULE module, char* buffer, DWORD size);
BOOL SHGetSpecialFolderPath(HWND owner, char* path, int folder, BOOL create);

