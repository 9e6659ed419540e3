// The user-interface thread's queue: posts from workers in order, sends that
// block until handled, sent before posted, stale windows, timers, quit.
#include "platform/win/message_queue.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/win_thread.h"
#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr UINT kPost = WM_APP + 1;
constexpr UINT kSend = WM_APP + 2;

// Records what reaches it and on which thread.
class Recorder : public CWnd {
public:
    struct Seen {
        UINT message;
        WPARAM wParam;
        std::thread::id thread;
    };
    std::vector<Seen> seen;

    BOOL CreateTop()
    {
        return CreateEx(0, nullptr, "recorder", WS_OVERLAPPED, RECT{0, 0, 100, 100}, nullptr, 0);
    }
    LRESULT OnPost(WPARAM w, LPARAM)
    {
        seen.push_back({kPost, w, std::this_thread::get_id()});
        return 0;
    }
    LRESULT OnSend(WPARAM w, LPARAM)
    {
        seen.push_back({kSend, w, std::this_thread::get_id()});
        return static_cast<LRESULT>(w * 2 + 1);
    }
    void OnTimer(UINT_PTR id) override { seen.push_back({WM_TIMER, id, std::this_thread::get_id()}); }
    const win::MessageMap* GetMessageMap() const override
    {
        static const win::MessageMap map(CWnd::GetMessageMap(), {
                                                                    win::on::Message(kPost, &Recorder::OnPost),
                                                                    win::on::Message(kSend, &Recorder::OnSend),
                                                                });
        return &map;
    }
};

class MessageQueueTest : public WinTest {};

TEST_F(MessageQueueTest, PostsFromAWorkerArriveInOrderOnTheUiThread)
{
    Recorder r;
    ASSERT_TRUE(r.CreateTop());
    const HWND target = r.m_hWnd;
    constexpr int kCount = 2000;
    std::thread worker([target] {
        for (int i = 0; i < kCount; ++i) ::PostMessage(target, kPost, static_cast<WPARAM>(i), 0);
    });
    ASSERT_TRUE(win::PumpUntil([&] { return r.seen.size() == kCount; }, 5000));
    worker.join();
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(r.seen[static_cast<size_t>(i)].wParam, static_cast<WPARAM>(i));
        EXPECT_EQ(r.seen[static_cast<size_t>(i)].thread, std::this_thread::get_id());
    }
}

TEST_F(MessageQueueTest, CrossThreadSendBlocksUntilHandledAndReturnsTheResult)
{
    Recorder r;
    ASSERT_TRUE(r.CreateTop());
    const HWND target = r.m_hWnd;
    std::atomic<bool> returned{false};
    std::atomic<LRESULT> result{0};
    std::thread worker([&] {
        result = ::SendMessage(target, kSend, 20, 0);
        returned = true;
    });
    // Nobody pumps: the sender must still be waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(r.seen.empty());
    ASSERT_TRUE(win::PumpUntil([&] { return returned.load(); }, 5000));
    worker.join();
    EXPECT_EQ(result.load(), 41);
    ASSERT_EQ(r.seen.size(), 1u);
    EXPECT_EQ(r.seen[0].thread, std::this_thread::get_id());
}

TEST_F(MessageQueueTest, SentItemsAreHandledBeforePostedOnes)
{
    Recorder r;
    ASSERT_TRUE(r.CreateTop());
    const HWND target = r.m_hWnd;
    r.PostMessage(kPost, 1);
    r.PostMessage(kPost, 2);
    std::thread worker([target] { ::SendMessage(target, kSend, 7, 0); });
    // Wait (without pumping posted messages) until the send is queued.
    for (int i = 0; i < 5000 && win::MessageQueue::Get().PendingSentCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(win::MessageQueue::Get().PendingSentCount(), 1u);
    EXPECT_TRUE(win::PumpPendingMessages());
    worker.join();
    ASSERT_EQ(r.seen.size(), 3u);
    EXPECT_EQ(r.seen[0].message, kSend);
    EXPECT_EQ(r.seen[1].wParam, 1u);
    EXPECT_EQ(r.seen[2].wParam, 2u);
}

TEST_F(MessageQueueTest, APostToADestroyedWindowIsDroppedAndItsHandleStaysStale)
{
    int dispatched = 0;
    class Counter : public CWnd {
    public:
        int* count = nullptr;
        BOOL OnWndMsg(UINT m, WPARAM w, LPARAM l, LRESULT* r) override
        {
            if (m == kPost) ++*count;
            return CWnd::OnWndMsg(m, w, l, r);
        }
    };
    auto* c = new Counter;
    c->count = &dispatched;
    ASSERT_TRUE(c->CreateEx(0, nullptr, "x", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
    const HWND stale = c->m_hWnd;
    EXPECT_TRUE(::PostMessage(stale, kPost, 0, 0));
    c->DestroyWindow();
    delete c;
    EXPECT_FALSE(::IsWindow(stale));
    win::PumpPendingMessages();
    EXPECT_EQ(dispatched, 0);
    EXPECT_FALSE(::PostMessage(stale, kPost, 0, 0));
    EXPECT_EQ(::SendMessage(stale, kSend, 1, 0), 0);
    // A worker's send to the stale handle returns at once as well.
    LRESULT fromWorker = -1;
    std::thread worker([&] { fromWorker = ::SendMessage(stale, kSend, 1, 0); });
    worker.join();
    EXPECT_EQ(fromWorker, 0);
    // New windows never get the old handle back.
    for (int i = 0; i < 50; ++i) {
        CWnd w;
        ASSERT_TRUE(w.CreateEx(0, nullptr, "y", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0));
        EXPECT_NE(w.m_hWnd, stale);
        w.DestroyWindow();
    }
}

TEST_F(MessageQueueTest, TimersTickOnTheUiThreadWithoutQueueingMissedTicks)
{
    win::Clock::UseManual(true);
    Recorder r;
    ASSERT_TRUE(r.CreateTop());
    EXPECT_EQ(r.SetTimer(1, 100), 1u);
    auto ticks = [&] {
        win::PumpPendingMessages();
        int n = 0;
        for (const auto& s : r.seen) n += (s.message == WM_TIMER && s.wParam == 1) ? 1 : 0;
        return n;
    };
    win::Clock::Advance(99);
    EXPECT_EQ(ticks(), 0);
    win::Clock::Advance(1);
    EXPECT_EQ(ticks(), 1);
    // A long pause gives one tick, not ten.
    win::Clock::Advance(1000);
    EXPECT_EQ(ticks(), 2);
    win::Clock::Advance(100);
    EXPECT_EQ(ticks(), 3);
    EXPECT_TRUE(r.KillTimer(1));
    win::Clock::Advance(500);
    EXPECT_EQ(ticks(), 3);
    EXPECT_FALSE(r.KillTimer(1));
    // A window's timers go with it.
    r.SetTimer(2, 10);
    const HWND h = r.m_hWnd;
    r.DestroyWindow();
    EXPECT_FALSE(win::MessageQueue::Get().HasTimer(h, 2));
}

TEST_F(MessageQueueTest, PumpPendingMessagesReportsQuitAndLeavesItForTheMainLoop)
{
    Recorder r;
    ASSERT_TRUE(r.CreateTop());
    r.PostMessage(kPost, 1);
    ::PostQuitMessage(3);
    EXPECT_FALSE(win::PumpPendingMessages());
    ASSERT_EQ(r.seen.size(), 1u);
    MSG msg;
    EXPECT_FALSE(::GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(MessageQueueTest, JoiningWorkersKeepsAnsweringTheirSends)
{
    Recorder r;
    ASSERT_TRUE(r.CreateTop());
    const HWND target = r.m_hWnd;
    struct Job {
        HWND target;
        LRESULT sum = 0;
    } job{target};
    auto proc = [](void* p) -> UINT {
        auto* j = static_cast<Job*>(p);
        for (int i = 0; i < 20; ++i) j->sum += ::SendMessage(j->target, kSend, static_cast<WPARAM>(i), 0);
        return 5;
    };
    CWinThread* thread = AfxBeginThread(proc, &job);
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = FALSE;
    EXPECT_TRUE(win::JoinWorkerThreads(5000));
    EXPECT_TRUE(thread->IsFinished());
    EXPECT_EQ(thread->ExitCode(), 5u);
    // sum of 2i+1 for i < 20
    EXPECT_EQ(job.sum, 400);
    EXPECT_EQ(win::RunningWorkerCount(), 0);
    delete thread;
}

}  // namespace
