// Timer coalescing: at most one WM_TIMER per timer waits or is being
// handled, whether it comes from the timer itself or was posted.
#include "platform/win/message_queue.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/wnd.h"

#include <algorithm>
#include <vector>

namespace {

class TimerCoalescingTest : public WinTest {};

// Counts its ticks per timer id; with `nestedPumps` it pumps the queue from
// inside a tick (as a handler that redraws and lets messages through does).
class Ticker : public CWnd {
public:
    std::vector<UINT_PTR> ticks;
    int nestedPumps = 0;
    int depth = 0;
    int deepest = 0;
    std::vector<UINT_PTR> active;  // ticks being handled, outermost first
    int reentries = 0;

    BOOL CreateTop() { return CreateEx(0, nullptr, "ticker", WS_OVERLAPPED, RECT{0, 0, 50, 50}, nullptr, 0); }

protected:
    void OnTimer(UINT_PTR id) override
    {
        ticks.push_back(id);
        if (std::find(active.begin(), active.end(), id) != active.end()) ++reentries;
        active.push_back(id);
        ++depth;
        deepest = std::max(deepest, depth);
        // Only the first ticks pump (the clock moves on in each), so that
        // the outer pump runs dry.
        if (ticks.size() <= 4) {
            for (int i = 0; i < nestedPumps; ++i) {
                win::Clock::Advance(100);
                win::PumpPendingMessages();
            }
        }
        --depth;
        active.pop_back();
    }
};

TEST_F(TimerCoalescingTest, PostedTicksOfOneTimerCoalesceButOtherTimersKeepTheirs)
{
    win::Clock::UseManual(true);
    Ticker t;
    ASSERT_TRUE(t.CreateTop());
    t.SetTimer(1, 1000);
    t.SetTimer(2, 1000);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(t.PostMessage(WM_TIMER, 1, 0));
    ASSERT_TRUE(t.PostMessage(WM_TIMER, 2, 0));
    win::PumpPendingMessages();
    EXPECT_EQ(t.ticks, (std::vector<UINT_PTR>{1, 2}));
    // Once handled, a new post is a new tick.
    ASSERT_TRUE(t.PostMessage(WM_TIMER, 1, 0));
    win::PumpPendingMessages();
    EXPECT_EQ(t.ticks, (std::vector<UINT_PTR>{1, 2, 1}));
}

TEST_F(TimerCoalescingTest, ADueTimerDoesNotTickWhileItsPostedTickWaits)
{
    win::Clock::UseManual(true);
    Ticker t;
    ASSERT_TRUE(t.CreateTop());
    t.SetTimer(1, 10);
    ASSERT_TRUE(t.PostMessage(WM_TIMER, 1, 0));
    win::Clock::Advance(50);  // due as well: still one tick
    win::PumpPendingMessages();
    EXPECT_EQ(t.ticks.size(), 1u);
    win::Clock::Advance(50);
    win::PumpPendingMessages();
    EXPECT_EQ(t.ticks.size(), 2u);
}

TEST_F(TimerCoalescingTest, ANestedPumpDoesNotReenterTheTickBeingHandled)
{
    win::Clock::UseManual(true);
    Ticker t;
    ASSERT_TRUE(t.CreateTop());
    t.SetTimer(1, 10);
    t.SetTimer(2, 10);
    t.nestedPumps = 3;
    win::Clock::Advance(10);
    win::PumpPendingMessages();
    // Timer 2 may tick inside timer 1's handler (and the other way round),
    // but neither ever inside its own.
    int ones = 0;
    for (UINT_PTR id : t.ticks) ones += id == 1 ? 1 : 0;
    EXPECT_GE(t.ticks.size(), 2u);
    EXPECT_EQ(t.reentries, 0);
    EXPECT_EQ(t.deepest, 2);  // the other timer did tick inside
    EXPECT_GE(ones, 1);
}

}  // namespace
