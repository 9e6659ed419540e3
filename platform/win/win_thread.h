// Worker threads of the program: every worker starts through AfxBeginThread,
// which registers it, so that the application can wait for all of them at
// exit (the user-interface thread keeps answering their sent messages while
// it waits). Workers report back only by posting or sending messages.
#pragma once

#include "platform/win/win_defs.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

using AFX_THREADPROC = UINT (*)(void* param);

class CWinThread {
public:
    ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts a thread made with CREATE_SUSPENDED; returns the previous
    // suspend count (1), 0 when it already ran.
    DWORD ResumeThread();
    BOOL SetThreadPriority(int priority);
    int GetThreadPriority() const { return m_priority; }
    // Waits until the thread has ended; false on timeout. Waiting on the
    // user-interface thread keeps handling messages sent to it.
    bool Wait(DWORD timeoutMs = INFINITE);
    bool IsFinished() const { return m_finished.load(); }
    UINT ExitCode() const { return m_exitCode.load(); }

    // With auto-delete (the default) the runtime deletes the object once the
    // thread has ended and been joined; otherwise the program deletes it
    // after the thread ended.
    BOOL m_bAutoDelete = TRUE;
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;

private:
    friend CWinThread* AfxBeginThread(AFX_THREADPROC, void*, int, UINT, DWORD, void*);
    friend class WorkerRegistry;
    CWinThread(AFX_THREADPROC proc, void* param, int priority);
    void Start();
    void Run();

    AFX_THREADPROC m_proc;
    void* m_param;
    int m_priority;
    std::thread m_thread;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_finished{false};
    std::atomic<UINT> m_exitCode{0};
};

// Starts `proc(param)` on a new registered thread. Null when the thread
// could not be started.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, void* security = nullptr);

namespace win {

// Number of registered threads that have not ended.
int RunningWorkerCount();
// Waits until every registered thread has ended (handling sent messages
// meanwhile on the user-interface thread), then joins and releases them.
// False when some were still running after `timeoutMs`.
bool JoinWorkerThreads(DWORD timeoutMs = INFINITE);

}  // namespace win
