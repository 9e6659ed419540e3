#include "platform/win/win_thread.h"

#include "core/logger.h"
#include "platform/win/message_queue.h"
#include "platform/win/window_system.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <vector>

class WorkerRegistry {
public:
    static WorkerRegistry& Get()
    {
        static WorkerRegistry* registry = new WorkerRegistry();  // lives for the process
        return *registry;
    }

    void Add(CWinThread* thread)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_threads.push_back(thread);
    }

    void Finished()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_finishedCount;
        }
        m_changed.notify_all();
        // A user-interface thread waiting for workers wakes up too.
        win::MessageQueue::Get().Wake();
    }

    int Running()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return static_cast<int>(std::count_if(m_threads.begin(), m_threads.end(),
                                              [](CWinThread* t) { return t->m_started && !t->IsFinished(); }));
    }

    // The thread object is assigned under the lock, so that a reaper that
    // sees the thread finished also sees it joinable.
    void Start(CWinThread* thread)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (thread->m_started) return;
        thread->m_thread = std::thread([thread] { thread->Run(); });
        thread->m_started = true;
    }

    // Joins the finished threads and deletes those that delete themselves.
    void Reap(bool all)
    {
        std::vector<CWinThread*> done;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto keep = std::partition(m_threads.begin(), m_threads.end(),
                                       [&](CWinThread* t) { return !((t->m_started && t->IsFinished()) || all); });
            done.assign(keep, m_threads.end());
            m_threads.erase(keep, m_threads.end());
        }
        for (CWinThread* t : done) {
            if (t->m_thread.joinable()) t->m_thread.join();
            if (t->m_bAutoDelete) delete t;
        }
    }

    void Remove(CWinThread* thread)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_threads.erase(std::remove(m_threads.begin(), m_threads.end(), thread), m_threads.end());
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<CWinThread*> m_threads;
    uint64_t m_finishedCount = 0;
};

namespace {
std::atomic<uintptr_t> g_nextThreadHandle{0x9000};
std::atomic<DWORD> g_nextThreadId{1};
}  // namespace

CWinThread::CWinThread(AFX_THREADPROC proc, void* param, int priority)
    : m_proc(proc), m_param(param), m_priority(priority)
{
    m_hThread = reinterpret_cast<HANDLE>(g_nextThreadHandle.fetch_add(4));
    m_nThreadID = g_nextThreadId.fetch_add(1);
}

CWinThread::~CWinThread()
{
    WorkerRegistry::Get().Remove(this);
    if (m_thread.joinable()) m_thread.join();
}

void CWinThread::Run()
{
    m_exitCode = m_proc(m_param);
    m_finished = true;
    WorkerRegistry::Get().Finished();
}

void CWinThread::Start()
{
    WorkerRegistry::Get().Start(this);
}

DWORD CWinThread::ResumeThread()
{
    if (m_started) return 0;
    Start();
    return 1;
}

BOOL CWinThread::SetThreadPriority(int priority)
{
    // Priorities are advisory here: the scheduler of the platform decides.
    m_priority = priority;
    return TRUE;
}

bool CWinThread::Wait(DWORD timeoutMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    const bool onUiThread = win::WindowSystem::Get().IsUiThread();
    while (!m_finished) {
        if (timeoutMs != INFINITE && steady_clock::now() >= deadline) return false;
        if (onUiThread) {
            win::MessageQueue::Get().HandleSentMessages();
            win::MessageQueue::Get().WaitForSent(5);
        } else {
            std::this_thread::sleep_for(milliseconds(1));
        }
    }
    return true;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param, int priority, UINT, DWORD flags, void*)
{
    if (!proc) return nullptr;
    WorkerRegistry::Get().Reap(false);
    auto* thread = new CWinThread(proc, param, priority);
    WorkerRegistry::Get().Add(thread);
    if (!(flags & CREATE_SUSPENDED)) {
        try {
            thread->Start();
        } catch (const std::system_error& e) {
            Logger::log("ERROR AfxBeginThread the thread could not start: %s", 1, e.what());
            WorkerRegistry::Get().Remove(thread);
            delete thread;
            return nullptr;
        }
    }
    return thread;
}

namespace win {

int RunningWorkerCount()
{
    return WorkerRegistry::Get().Running();
}

bool JoinWorkerThreads(DWORD timeoutMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    const bool onUiThread = WindowSystem::Get().IsUiThread();
    while (WorkerRegistry::Get().Running() > 0) {
        if (timeoutMs != INFINITE && steady_clock::now() >= deadline) {
            WorkerRegistry::Get().Reap(false);
            return false;
        }
        if (onUiThread) {
            MessageQueue::Get().HandleSentMessages();
            MessageQueue::Get().WaitForSent(5);
        } else {
            std::this_thread::sleep_for(milliseconds(1));
        }
    }
    WorkerRegistry::Get().Reap(false);
    return true;
}

}  // namespace win
