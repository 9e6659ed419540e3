#include "platform/win/message_queue.h"

#include "platform/win/window_system.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace win {

namespace {
std::atomic<bool> g_manualClock{false};
std::atomic<int64_t> g_manualNow{0};

std::mutex g_idleLock;
IdleHandler g_idleHandler;

int64_t RealNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int64_t Clock::Now()
{
    return g_manualClock ? g_manualNow.load() : RealNow();
}

void Clock::UseManual(bool manual)
{
    g_manualNow = RealNow();
    g_manualClock = manual;
}

bool Clock::IsManual()
{
    return g_manualClock;
}

void Clock::Advance(int64_t ms)
{
    g_manualNow += ms;
}

void SetIdleHandler(IdleHandler handler)
{
    std::lock_guard<std::mutex> guard(g_idleLock);
    g_idleHandler = std::move(handler);
}

bool RunIdle(long count)
{
    IdleHandler handler;
    {
        std::lock_guard<std::mutex> guard(g_idleLock);
        handler = g_idleHandler;
    }
    return handler ? handler(count) : false;
}

MessageQueue& MessageQueue::Get()
{
    static MessageQueue* queue = new MessageQueue();  // lives for the process
    return *queue;
}

bool MessageQueue::Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd && !WindowSystem::Get().IsWindow(hwnd)) return false;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        // A second WM_TIMER for a timer whose tick already waits is the same tick.
        if (message == WM_TIMER && TimerPostedLocked(hwnd, wParam)) return true;
        MSG msg{hwnd, message, wParam, lParam, static_cast<DWORD>(Clock::Now()), POINT{0, 0}};
        m_posted.push_back(msg);
    }
    m_workArrived.notify_all();
    return true;
}

LRESULT MessageQueue::Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowSystem& system = WindowSystem::Get();
    if (!system.IsWindow(hwnd)) return 0;
    if (system.IsUiThread()) return system.Call(hwnd, message, wParam, lParam);

    SentItem item{hwnd, message, wParam, lParam};
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed) return 0;
    const uint64_t generation = m_generation;
    m_sent.push_back(&item);
    m_workArrived.notify_all();
    m_sentDone.wait(lock, [&] { return item.done || m_generation != generation; });
    if (!item.done) {
        m_sent.erase(std::remove(m_sent.begin(), m_sent.end(), &item), m_sent.end());
        return 0;
    }
    return item.result;
}

void MessageQueue::PostQuit(int exitCode)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_quit = true;
        m_quitCode = exitCode;
    }
    m_workArrived.notify_all();
}

bool MessageQueue::QuitPending() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_quit;
}

size_t MessageQueue::PendingSentCount() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_sent.size();
}

bool MessageQueue::HandleSentMessages()
{
    bool any = false;
    for (;;) {
        SentItem* item = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_sent.empty()) break;
            item = m_sent.front();
            m_sent.pop_front();
        }
        // The sender waits on its own stack until done is set.
        const LRESULT result = WindowSystem::Get().Call(item->hwnd, item->message, item->wParam, item->lParam);
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            item->result = result;
            item->done = true;
        }
        m_sentDone.notify_all();
        any = true;
    }
    return any;
}

bool MessageQueue::NextTimerMessage(MSG& msg, bool remove)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const int64_t now = Clock::Now();
    Timer* next = nullptr;
    for (Timer& t : m_timers) {
        if (t.dispatching || TimerPostedLocked(t.hwnd, t.id)) continue;
        if (t.due <= now && (!next || t.due < next->due)) next = &t;
    }
    if (!next) return false;
    msg = MSG{next->hwnd, WM_TIMER, next->id, 0, static_cast<DWORD>(now), POINT{0, 0}};
    // A timer does not queue up missed ticks: one WM_TIMER, then a full interval.
    if (remove) next->due = now + next->interval;
    return true;
}

int64_t MessageQueue::MsUntilNextTimer() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_timers.empty()) return -1;
    const int64_t now = Clock::Now();
    int64_t soonest = INT64_MAX;
    for (const Timer& t : m_timers) soonest = std::min(soonest, t.due - now);
    return std::max<int64_t>(0, soonest);
}

bool MessageQueue::Peek(MSG& msg, UINT remove)
{
    EventSource source;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        source = m_eventSource;
    }
    if (source) source(0);
    HandleSentMessages();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_posted.empty()) {
            msg = m_posted.front();
            if (remove & PM_REMOVE) m_posted.pop_front();
            return true;
        }
        if (m_quit) {
            msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(m_quitCode), 0, 0, POINT{0, 0}};
            if (remove & PM_REMOVE) m_quit = false;
            return true;
        }
    }
    // WM_PAINT stays until the window is validated.
    if (HWND paint = WindowSystem::Get().NextWindowToPaint()) {
        msg = MSG{paint, WM_PAINT, 0, 0, static_cast<DWORD>(Clock::Now()), POINT{0, 0}};
        return true;
    }
    return NextTimerMessage(msg, (remove & PM_REMOVE) != 0);
}

void MessageQueue::WaitForWork(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return !m_posted.empty() || !m_sent.empty() || m_quit; };
    if (ms < 0) m_workArrived.wait(lock, ready);
    else m_workArrived.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

void MessageQueue::WaitForSent(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t wakeups = m_wakeups;
    auto ready = [&] { return !m_sent.empty() || m_wakeups != wakeups; };
    if (ms < 0) m_workArrived.wait(lock, ready);
    else m_workArrived.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

void MessageQueue::Wake()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        ++m_wakeups;
    }
    m_workArrived.notify_all();
}

bool MessageQueue::GetMessage(MSG& msg)
{
    for (;;) {
        if (Peek(msg, PM_REMOVE)) return msg.message != WM_QUIT;
        int64_t wait = Clock::IsManual() ? -1 : MsUntilNextTimer();
        bool hasSource;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            hasSource = static_cast<bool>(m_eventSource);
        }
        // An outside event source is polled every 10 ms.
        if (hasSource) wait = (wait < 0) ? 10 : std::min<int64_t>(wait, 10);
        WaitForWork(static_cast<int>(wait));
    }
}

bool MessageQueue::HasWork()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_posted.empty() || !m_sent.empty() || m_quit) return true;
    }
    if (WindowSystem::Get().NextWindowToPaint()) return true;
    const int64_t wait = MsUntilNextTimer();
    return wait == 0;
}

LRESULT MessageQueue::Dispatch(const MSG& msg)
{
    if (!msg.hwnd) return 0;  // thread messages have no window procedure
    WindowSystem& system = WindowSystem::Get();
    if (!system.IsWindow(msg.hwnd)) return 0;  // posted to a window that has gone
    if (msg.message == WM_TIMER && !HasTimer(msg.hwnd, msg.wParam)) return 0;
    if (msg.message == WM_TIMER) SetTimerDispatching(msg.hwnd, msg.wParam, true);
    const LRESULT result = system.Call(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    if (msg.message == WM_TIMER) SetTimerDispatching(msg.hwnd, msg.wParam, false);
    // A paint handler that never validates would otherwise get WM_PAINT forever.
    if (msg.message == WM_PAINT) system.Validate(msg.hwnd, nullptr);
    return result;
}

bool MessageQueue::TimerPostedLocked(HWND hwnd, UINT_PTR id) const
{
    return std::any_of(m_posted.begin(), m_posted.end(), [&](const MSG& m) {
        return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id;
    });
}

void MessageQueue::SetTimerDispatching(HWND hwnd, UINT_PTR id, bool dispatching)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    for (Timer& t : m_timers) {
        if (t.hwnd != hwnd || t.id != id) continue;
        t.dispatching = dispatching;
        // A posted tick counts as the timer's own: the next one is a full
        // interval away.
        if (dispatching) t.due = Clock::Now() + t.interval;
    }
}

UINT_PTR MessageQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs)
{
    if (hwnd && !WindowSystem::Get().IsWindow(hwnd)) return 0;
    std::lock_guard<std::mutex> guard(m_mutex);
    const int64_t interval = std::max<UINT>(elapseMs, 1);
    if (!hwnd) id = m_nextTimerId++;
    for (Timer& t : m_timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.interval = interval;
            t.due = Clock::Now() + interval;
            return id ? id : 1;
        }
    }
    m_timers.push_back(Timer{hwnd, id, interval, Clock::Now() + interval});
    return id ? id : 1;
}

bool MessageQueue::KillTimer(HWND hwnd, UINT_PTR id)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const size_t before = m_timers.size();
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
                   m_timers.end());
    return m_timers.size() != before;
}

void MessageQueue::KillTimersOf(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                   m_timers.end());
}

bool MessageQueue::HasTimer(HWND hwnd, UINT_PTR id) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return std::any_of(m_timers.begin(), m_timers.end(),
                       [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
}

void MessageQueue::SetEventSource(EventSource source)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_eventSource = std::move(source);
}

void MessageQueue::Reset()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (SentItem* item : m_sent) {
            item->result = 0;
            item->done = true;
        }
        m_sent.clear();
        m_posted.clear();
        m_timers.clear();
        m_quit = false;
        m_quitCode = 0;
        m_closed = false;
        ++m_generation;
    }
    m_sentDone.notify_all();
}

void MessageQueue::Close()
{
    Reset();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_closed = true;
}

}  // namespace win
