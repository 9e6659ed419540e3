// Work shared out over a few threads for one call: the calling thread and up
// to threads - 1 more started for the call. Items are taken in index order as
// threads come free, each exactly once, so a result whose items write
// disjoint data never depends on the number of threads. When the system
// refuses to start a thread, the threads already running and the calling
// thread share out all the items between them.
#pragma once

#include <functional>

namespace parallel {

// The processor's hardware threads, at least 1 and at most `cap`.
int HardwareThreads(int cap);

// Calls work(i) once for every i in 0 .. count - 1, on at most `threads`
// threads (at most `count`); returns when every call has returned.
void ForEach(int count, int threads, const std::function<void(int)>& work);

}  // namespace parallel
