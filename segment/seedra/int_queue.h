// First-in first-out ring of 32-bit integers for the breadth-first region
// growth: cell indexes and their labels.
#pragma once

#include <cstdint>
#include <memory>

class CIntQueue {
public:
    // Room for capacity - 1 entries before the first growth (at least 2).
    explicit CIntQueue(int capacity);
    CIntQueue(const CIntQueue&) = delete;
    CIntQueue& operator=(const CIntQueue&) = delete;

    int Size() const { return m_write >= m_read ? m_write - m_read : m_write + m_capacity - m_read; }
    bool Empty() const { return m_write == m_read; }
    int Capacity() const { return m_capacity; }

    // Grows to 2 x capacity - 1 when full; throws std::bad_alloc (after
    // logging "Allocation error.") when it cannot, so no entry is ever lost.
    void Push(int32_t value);
    // The oldest entry; the queue must not be empty.
    int32_t Pop();

private:
    void Grow();

    std::unique_ptr<int32_t[]> m_data;
    int m_capacity = 0;
    int m_read = 0;
    int m_write = 0;
};
