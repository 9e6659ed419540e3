#include "platform/win/process.h"

#include "platform/win/file_system.h"

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    if (utilkit::ChildExitCode(process, exitCode)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode)
{
    return utilkit::TerminateChild(process, exitCode) ? TRUE : FALSE;
}

BOOL CloseHandle(HANDLE handle)
{
    if (utilkit::CloseChildHandle(handle)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
