// Waiting for, ending and releasing the child processes that
// LogBase::ExecuteProcess starts (the matchers and the blender), under the
// platform's names. The work is done by the utility module's process
// registry, which sits below this layer.
#pragma once

#include "platform/utilkit/child_process.h"
#include "platform/win/win_defs.h"

// STILL_ACTIVE while the child runs, then its exit status (128 + the signal
// when a signal ended it) or the code given to TerminateProcess.
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
// Ends the child and reaps it; FALSE when it had already ended.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
// Releases a process handle or the thread token of a PROCESS_INFORMATION.
// FALSE with ERROR_INVALID_HANDLE for any other value.
BOOL CloseHandle(HANDLE handle);

constexpr DWORD ERROR_INVALID_HANDLE = 6;
