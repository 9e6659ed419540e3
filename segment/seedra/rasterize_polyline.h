// Turns a polyline into a chain of 8-connected integer pixel points (the seed
// chains of the region grower), with the small integer list it gathers each
// edge's points in.
#pragma once

#include "core/geometry_records.h"

#include <cstdint>

// Doubly linked list of 32-bit integers.
class CIntList {
public:
    CIntList() = default;
    ~CIntList();
    CIntList(const CIntList&) = delete;
    CIntList& operator=(const CIntList&) = delete;

    void AddTail(int32_t value);
    int Count() const { return m_count; }
    // Copies the values in order into `out` (room for Count()).
    void CopyTo(int32_t* out) const;

private:
    struct Node {
        int32_t value;
        Node* next;
        Node* prev;
    };
    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    int m_count = 0;
};

// The points of the polyline v[0..n-1] scaled by `scale`, each edge stepped
// along its longer axis with rounding trunc(t + 0.5); an edge's first point
// replaces the previous edge's last, and a closing point equal to the first
// is dropped. `offset` (two ints) is added when given. *out receives a new
// array of *count (x, y) pairs, released with std::free; n = 1 gives the one
// rounded vertex, n <= 0 no point (null array).
void RasterizePolyline(const POINT2* v, int n, float scale, const int* offset, int** out, int* count);
