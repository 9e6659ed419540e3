// Heap arrays of the polygon records. Every array inside a gpc_polygon,
// gpc_tristrip or gpc_ladder is made and released here, so that the free
// operations of every Polykit class match whichever operation made the array.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace polykit {

// Logs "Allocation error." at level 1 and throws std::bad_alloc; the callers
// of the library see the failure instead of a killed process.
[[noreturn]] void AllocationFailed();

// A zero-initialised array of n records, or null for n == 0.
template <typename T>
T* AllocArray(size_t n)
{
    if (n == 0) return nullptr;
    if (n > static_cast<size_t>(-1) / sizeof(T)) AllocationFailed();
    void* p = std::calloc(n, sizeof(T));
    if (!p) AllocationFailed();
    return static_cast<T*>(p);
}

template <typename T>
void FreeArray(T* p)
{
    std::free(p);
}

}  // namespace polykit
