// Child processes behind Windows-shaped handles: the application starts the
// matchers and the blender through LogBase::ExecuteProcess and then polls,
// ends and releases them by handle (platform/win's GetExitCodeProcess,
// TerminateProcess and CloseHandle call these). Handles are keys of a
// registry here, never process ids, so a handle never reaches a recycled pid.
#pragma once

#include "platform/win/win_defs.h"

#include <string>
#include <vector>

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;  // a token only: there is no thread to act on
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// The exit code reported while the child runs.
constexpr DWORD STILL_ACTIVE = 259;

namespace utilkit {

// Starts `file` with `argv` (argv[0] included). Returns the process handle
// and fills `info` (when given) with both handles and the ids; null when the
// program could not start, `info` then zeroed (the caller reports it).
HANDLE StartChildProcess(const std::string& file, const std::vector<std::string>& argv, PROCESS_INFORMATION* info);

// STILL_ACTIVE while the child runs; afterwards its exit status, 128 + the
// signal when a signal ended it, or the code given to TerminateChild. False
// for a handle that is not an open process handle.
bool ChildExitCode(HANDLE process, DWORD* code);

// Blocks until the child has ended; then as ChildExitCode.
bool WaitChild(HANDLE process, DWORD* code);

// Ends the child (SIGTERM, SIGKILL after a short grace) and reaps it; later
// queries report `code`. False when the handle is unknown or the child had
// already ended.
bool TerminateChild(HANDLE process, UINT code);

// Releases a process handle or a thread token. A child still running when
// its process handle is released is reaped when it ends, never left as a
// zombie. False for a handle that is not open.
bool CloseChildHandle(HANDLE handle);

}  // namespace utilkit
