// Services of the utility module beside the log (core/logger.h): the
// folders the suite keeps its files in (log, configuration, camera data),
// temporary names and time texts, and the starting of outside programs.
// Paths arrive in the platform's Windows spelling ("\\Quorvane\\log") and
// are converted here, at the OS boundary.
#pragma once

#include "platform/utilkit/child_process.h"

#include <cstdint>
#include <string>
#include <vector>

class LogBase {
public:
    // The common application-data folder: $FENDRAKE_APPDATA, else
    // $XDG_STATE_HOME, else ~/.local/state. `subPath` (backslashes allowed)
    // is made below it when missing; true with the full path in `out`.
    static bool GetCommonAppDataDir(const char* subPath, std::string& out);
    static bool GetCommonAppDataDir(const char* subPath, std::string* out);
    // The log folder: "\\Quorvane\\log" of the common application-data folder.
    static std::string getPath_log();
    // The folder of the running program, without a trailing separator, or
    // the folder set with SetAppDir0Override while one is set.
    static std::string GetAppDir0();
    // Replaces the program folder (where the helper programs Hollet, Nerrow
    // and Swelder are looked up) until called again with an empty text; for
    // tests that install small stand-in programs in a temporary folder.
    static void SetAppDir0Override(const std::string& folder);
    static bool IsFileExists(const char* path);
    // Whether a file can be written at `path` (a folder: inside it).
    static bool canWriteFile(const char* path);

    // Local date and time: readable ("2024-05-01 12:34:56") when `readable`,
    // else compact and unique per call within the process, for names
    // ("20240501_123456_042_1"). Returns the length, 0 when it does not fit.
    static int makeTimeString(char* buffer, int size, bool readable);
    // A new file named prefix + unique part + extension in `folder` (the
    // temporary folder when null); the empty file is made so that the name
    // stays unique. False when it cannot be made.
    static bool makeFilename(const char* prefix, const char* extension, const char* folder, std::string& out);

    // Starts `program` with a Windows-style command line (quotes group
    // arguments). When the line begins with the program's own name that
    // word is its first argument, else the program name is put in front.
    // "X.exe" runs the program X when only that exists, and a bare
    // "\\X.exe" names the program X beside this one. Returns the process
    // handle and fills `processInfo` (when given) with both handles and the
    // ids; null when the start failed, the record then zeroed. The caller
    // releases the handles with CloseHandle.
    static HANDLE ExecuteProcess(const char* program, const char* commandLine, PROCESS_INFORMATION* processInfo,
                                 bool show);
    // Starts the program and waits for it; its exit status (128 + the signal
    // when a signal ended it), -1 when it could not start.
    static int ExecuteWait(const char* program, const char* arguments, bool show);
    // The same with the arguments as separate words, passed on as they are
    // (no splitting, no quoting): for arguments that come from outside, such
    // as file names, which could otherwise add words of their own.
    static int ExecuteWait(const char* program, const std::vector<std::string>& arguments, bool show);
    // Starts the program without waiting; true when it started.
    static bool ExecuteApp(const char* program, const char* arguments, bool show);

    // Copies `address` (a file path, a file:// address, or an http(s)
    // address) to `localPath`; 0 on success, -1 on failure. An http(s)
    // download is bounded by the limits below; an error status, a dropped
    // body or a timeout is a failure and leaves no file at `localPath`.
    static int downloadFile(const char* address, const char* localPath);
    static constexpr long kDownloadConnectTimeoutMs = 10000;
    static constexpr long kDownloadTotalTimeoutMs = 120000;
    static constexpr long kDownloadMaxRedirects = 5;

    // "\\a\\b.exe" -> "/a/b.exe", "C:\\x" -> "/x": the platform's spelling of
    // a path, by the same rules (drives included) as the windowing layer's
    // file functions.
    static std::string ToNativePath(const char* path);
    // Splits a Windows-style command line into words.
    static std::vector<std::string> SplitCommandLine(const char* commandLine);
};
