#include "core/parallel_for.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
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

// A process whose address space cannot take more thread stacks: the threads
// it cannot have are refused, and the ones started and the calling thread
// still do every item once (the refusal used to end the program). Run in a child process, whose limit
// does not reach this one.
#if !defined(__SANITIZE_ADDRESS__)
TEST(ParallelFor, RefusedThreadsLeaveTheWorkToTheCaller)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{1} << 20);
        // Only the soft limit is lowered, which any process may do.
        rlimit limit{};
        if (pages <= 0 || getrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? room : std::min(room, limit.rlim_max);
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        // More threads than the stacks the runtime keeps for reuse, so
        // that some must be mapped anew and are refused.
        std::vector<std::atomic<int>> done(256);
        parallel::ForEach(256, 64, [&](int i) { ++done[static_cast<size_t>(i)]; });
        for (const std::atomic<int>& d : done)
            if (d.load() != 1) _exit(1);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST(ParallelFor, HardwareThreadsStayWithinTheCap)
{
    for (int cap : {-1, 0, 1, 2, 8, 1000}) {
        const int n = parallel::HardwareThreads(cap);
        EXPECT_GE(n, 1);
        EXPECT_LE(n, std::max(1, cap));
    }
}

}  // namespace
