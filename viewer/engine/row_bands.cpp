#include "viewer/engine/row_bands.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace viewengine {

namespace {

// Below this many pixels a job costs less than waking the workers.
constexpr int64_t kMinPixelsToShare = 60000;
constexpr int kMaxThreads = 16;
// Bands per thread: a few more than one evens out rows of unequal cost
// (a polygon's rows differ in length).
constexpr int kBandsPerThread = 4;

int DefaultThreads()
{
    const unsigned hw = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(hw == 0 ? 1u : hw, 1u, 4u));
}

std::atomic<int> g_threads{DefaultThreads()};
thread_local bool t_insideBand = false;

// The resident workers. One job at a time: a caller that finds the pool
// busy draws its rows itself. Made on first use and kept to the end of the
// process (workers wait on a condition, holding nothing).
class BandPool {
public:
    // Runs the job with `helpers` workers beside the calling thread; false
    // when another job holds the pool.
    bool Run(int first, int last, int bands, int helpers, const std::function<void(int, int)>& draw)
    {
        std::unique_lock<std::mutex> busy(m_busy, std::try_to_lock);
        if (!busy.owns_lock()) return false;
        Grow(helpers);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_draw = &draw;
            m_first = first;
            m_rows = last - first + 1;
            m_bands = bands;
            m_next.store(0, std::memory_order_relaxed);
            m_active = helpers;
            m_wanted = helpers;
            ++m_generation;
        }
        m_wake.notify_all();
        DrawBands();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return m_active == 0; });
        m_draw = nullptr;
        return true;
    }

private:
    void Grow(int helpers)
    {
        while (static_cast<int>(m_workers.size()) < helpers)
            m_workers.emplace_back([this, index = static_cast<int>(m_workers.size())] { Work(index); });
    }

    void Work(int index)
    {
        t_insideBand = true;
        uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [&] { return m_generation != seen; });
                seen = m_generation;
                if (index >= m_wanted) continue;
            }
            DrawBands();
            std::lock_guard<std::mutex> lock(m_mutex);
            if (--m_active == 0) m_done.notify_one();
        }
    }

    // Takes bands until none is left; band b covers an equal share of rows.
    void DrawBands()
    {
        const bool outer = t_insideBand;
        t_insideBand = true;
        for (int b; (b = m_next.fetch_add(1, std::memory_order_relaxed)) < m_bands;) {
            const int from = m_first + static_cast<int>(int64_t{m_rows} * b / m_bands);
            const int to = m_first + static_cast<int>(int64_t{m_rows} * (b + 1) / m_bands) - 1;
            if (from <= to) (*m_draw)(from, to);
        }
        t_insideBand = outer;
    }

    std::mutex m_busy;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::vector<std::thread> m_workers;
    const std::function<void(int, int)>* m_draw = nullptr;
    int m_first = 0, m_rows = 0, m_bands = 0;
    std::atomic<int> m_next{0};
    int m_active = 0, m_wanted = 0;
    uint64_t m_generation = 0;
};

BandPool& Pool()
{
    // Never destroyed: its workers may still be waiting when the process ends.
    static BandPool* pool = new BandPool();
    return *pool;
}

}  // namespace

void SetRowBandThreads(int threads) { g_threads.store(std::clamp(threads, 1, kMaxThreads)); }

int GetRowBandThreads() { return g_threads.load(); }

void ForEachRowBand(int first, int last, int64_t pixels, const std::function<void(int, int)>& draw)
{
    if (first > last) return;
    const int rows = last - first + 1;
    const int threads = std::min(g_threads.load(), rows);
    if (threads > 1 && pixels >= kMinPixelsToShare && !t_insideBand &&
        Pool().Run(first, last, std::min(rows, threads * kBandsPerThread), threads - 1, draw))
        return;
    draw(first, last);
}

}  // namespace viewengine
