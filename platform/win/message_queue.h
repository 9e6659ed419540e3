// The user-interface thread's message queue: posted messages (thread-safe,
// dropped when their window is gone), messages sent from other threads
// (handled first in every pump, the sender blocked until then), WM_QUIT,
// WM_PAINT for invalid windows and WM_TIMER from the timers, in that order.
// Timer messages coalesce: at most one WM_TIMER per timer waits or is being
// handled at any time (a posted one counts; a nested pump does not tick it).
// Every loop of the program (the main loop, PumpPendingMessages, modal
// dialogs, drags) pumps through it.
#pragma once

#include "platform/win/win_defs.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

namespace win {

// Milliseconds for timers. Real time by default; tests switch to a manual
// clock and advance it, so that timer behaviour is deterministic.
class Clock {
public:
    static int64_t Now();
    static void UseManual(bool manual);
    static bool IsManual();
    static void Advance(int64_t ms);
};

class MessageQueue {
public:
    static MessageQueue& Get();

    // Any thread. False when hwnd is not null and not a live window.
    bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Any thread: on the user-interface thread a direct call; elsewhere an
    // item handled by the next pump, and this thread waits for its result.
    // A stale window gives 0.
    LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void PostQuit(int exitCode);

    // User-interface thread. Peek handles every waiting sent item, then
    // looks for a posted message, quit, paint or timer.
    bool Peek(MSG& msg, UINT remove);
    // Blocks until a message is available; false on WM_QUIT.
    bool GetMessage(MSG& msg);
    LRESULT Dispatch(const MSG& msg);
    // Handles the waiting sent items only; true when any was handled.
    bool HandleSentMessages();
    // Blocks until a posted or sent item arrives or `ms` pass (no timers).
    void WaitForWork(int ms);
    // Blocks until a sent item arrives, `ms` pass or Wake is called.
    void WaitForSent(int ms);
    void Wake();
    // True when a sent, posted, quit, paint or due timer message waits.
    bool HasWork();

    // Timers of windows (user-interface thread).
    UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs);
    bool KillTimer(HWND hwnd, UINT_PTR id);
    void KillTimersOf(HWND hwnd);
    bool HasTimer(HWND hwnd, UINT_PTR id) const;

    // An outside event source (the X11 presenter): polled while the loop
    // waits, it turns its events into posted messages.
    using EventSource = std::function<void(int timeoutMs)>;
    void SetEventSource(EventSource source);

    // Drops everything waiting; senders still blocked get 0 (tests, exit).
    void Reset();
    // After Close, sends from other threads return 0 at once: nobody pumps
    // any more (program end). Reset opens the queue again.
    void Close();
    bool QuitPending() const;
    size_t PendingSentCount() const;

private:
    MessageQueue() = default;
    struct SentItem {
        HWND hwnd;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT result = 0;
        bool done = false;
    };
    struct Timer {
        HWND hwnd;
        UINT_PTR id;
        int64_t interval;
        int64_t due;
        bool dispatching = false;  // its WM_TIMER is being handled (a nested pump skips it)
    };
    bool TimerPostedLocked(HWND hwnd, UINT_PTR id) const;
    void SetTimerDispatching(HWND hwnd, UINT_PTR id, bool dispatching);
    bool NextTimerMessage(MSG& msg, bool remove);
    int64_t MsUntilNextTimer() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_workArrived;  // the user-interface thread waits here
    std::condition_variable m_sentDone;     // senders wait here
    std::deque<MSG> m_posted;
    std::deque<SentItem*> m_sent;
    bool m_quit = false;
    int m_quitCode = 0;
    std::vector<Timer> m_timers;
    UINT_PTR m_nextTimerId = 0x7F00;
    EventSource m_eventSource;
    bool m_closed = false;
    uint64_t m_wakeups = 0;
    uint64_t m_generation = 0;  // bumped by Reset: senders of an older generation give up
};

// The application's idle processing (CWinApp::OnIdle), run by the pumps
// when no message waits; returns whether more idle work remains.
using IdleHandler = std::function<bool(long count)>;
void SetIdleHandler(IdleHandler handler);
bool RunIdle(long count);

}  // namespace win
