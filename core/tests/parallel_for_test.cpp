#include "core/parallel_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

// Every item is done exactly once, whatever the thread count asked for,
// including more threads than items and none at all.
TEST(ParallelFor, EveryItemExactlyOnce)
{
    struct Case {
        int count, threads;
    };
    for (const Case& c : {Case{0, 4}, Case{1, 8}, Case{7, 1}, Case{7, 0}, Case{7, -3}, Case{5, 16}, Case{1000, 4},
                          Case{1000, 3}}) {
        std::vector<std::atomic<int>> done(static_cast<size_t>(c.count));
        parallel::ForEach(c.count, c.threads, [&](int i) {
            ASSERT_GE(i, 0);
            ASSERT_LT(i, c.count);
            ++done[static_cast<size_t>(i)];
        });
        for (int i = 0; i < c.count; ++i)
            EXPECT_EQ(done[static_cast<size_t>(i)].load(), 1) << "item " << i << " of " << c.count << ", " << c.threads
                                                             << " threads";
    }
}

// The items really run side by side: with four threads asked for, four items
// that each wait for all four to have started all finish.
TEST(ParallelFor, ThreadsRunTheItemsAtOnce)
{
    std::atomic<int> started{0};
    std::mutex lock;
    std::set<std::thread::id> ids;
    parallel::ForEach(4, 4, [&](int) {
        {
            std::lock_guard<std::mutex> guard(lock);
            ids.insert(std::this_thread::get_id());
        }
        ++started;
        while (started.load() < 4) std::this_thread::yield();
    });
    EXPECT_EQ(started.load(), 4);
    EXPECT_EQ(ids.size(), 4u);
}

TEST(ParallelFor, OneThreadRunsOnTheCaller)
{
    const std::thread::id caller = std::this_thread::get_id();
    int order = 0;
    parallel::ForEach(5, 1, [&](int i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_EQ(i, order++);  // in index order
    });
    EXPECT_EQ(order, 5);
}

TEST(ParallelFor, HardwareThreadsStayWithinTheCap)
{
    for (int cap : {-1, 0, 1, 2, 8, 1000}) {
        const int n = parallel::HardwareThreads(cap);
        EXPECT_GE(n, 1);
        EXPECT_LE(n, std::max(1, cap));
    }
}

}  // namespace
