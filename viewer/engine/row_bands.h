// Runs the rows of one drawing step in bands on a few resident worker
// threads: the face renderer and the polygon region mapper hand their rows
// here. Each row is drawn by exactly one thread and writes only its own
// destination row, so the bytes never depend on the number of threads.
#pragma once

#include <cstdint>
#include <functional>

namespace viewengine {

// Calls draw(first, last) for consecutive bands covering rows first .. last
// (inclusive) and returns when all are done. `pixels` is the work the caller
// expects: small jobs, and calls made from inside a band, run on the calling
// thread alone.
void ForEachRowBand(int first, int last, int64_t pixels, const std::function<void(int, int)>& draw);

// Threads used by ForEachRowBand (1 = the calling thread only); at least 1,
// at most 16. The default is min(4, hardware threads).
void SetRowBandThreads(int threads);
int GetRowBandThreads();

}  // namespace viewengine
