#include "core/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace parallel {

int HardwareThreads(int cap)
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, std::max(1, cap));
}

void ForEach(int count, int threads, const std::function<void(int)>& work)
{
    if (count <= 0) return;
    threads = std::clamp(threads, 1, count);
    if (threads == 1) {
        for (int i = 0; i < count; ++i) work(i);
        return;
    }
    std::atomic<int> next{0};
    auto run = [&] {
        for (int i = next++; i < count; i = next++) work(i);
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(threads - 1));
    try {
        for (int t = 1; t < threads; ++t) pool.emplace_back(run);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and this one do the rest.
    }
    run();
    for (std::thread& t : pool) t.join();
}

}  // namespace parallel
