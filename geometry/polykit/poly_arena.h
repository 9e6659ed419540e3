// Bump allocator for the working records of one clip (edges, bounds, vertex
// nodes, crossings). Everything is released at once when the clip ends, so
// no working record is freed one by one and none can leak.
#pragma once

#include "geometry/polykit/poly_alloc.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace polykit {

class Arena {
public:
    Arena() = default;
    ~Arena() { Release(); }
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Uninitialised storage for n trivially destructible records.
    template <typename T>
    T* Alloc(size_t n = 1)
    {
        static_assert(std::is_trivially_destructible_v<T>);
        static_assert(alignof(T) <= kAlign);
        if (n > (static_cast<size_t>(-1) >> 2) / sizeof(T)) AllocationFailed();
        return static_cast<T*>(Raw(n * sizeof(T)));
    }

    // A value-initialised record.
    template <typename T>
    T* New()
    {
        return new (Alloc<T>(1)) T{};
    }

private:
    static constexpr size_t kAlign = 16;
    static constexpr size_t kInline = 8192;
    static constexpr size_t kBlock = 32768;

    struct Block {
        Block* next;
        size_t size;
    };

    void* Raw(size_t bytes)
    {
        bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
        if (bytes > m_left) Grow(bytes);
        void* p = m_cursor;
        m_cursor += bytes;
        m_left -= bytes;
        return p;
    }

    void Grow(size_t bytes);
    void Release();

    // The first few kilobytes come from the object itself: a small clip
    // (two 10-vertex polygons) never reaches the heap for its records.
    alignas(kAlign) unsigned char m_inline[kInline];
    unsigned char* m_cursor = m_inline;
    size_t m_left = kInline;
    Block* m_blocks = nullptr;
};

}  // namespace polykit
