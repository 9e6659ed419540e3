#include "segment/seedra/int_queue.h"

#include "core/logger.h"

#include <algorithm>
#include <climits>
#include <new>

CIntQueue::CIntQueue(int capacity) : m_capacity(std::max(capacity, 2))
{
    m_data.reset(new (std::nothrow) int32_t[static_cast<size_t>(m_capacity)]());
    if (!m_data) {
        Logger::log("Allocation error.", 1);
        throw std::bad_alloc();
    }
}

void CIntQueue::Push(int32_t value)
{
    if (Size() >= m_capacity - 1) Grow();
    m_data[m_write] = value;
    m_write = (m_write + 1) % m_capacity;
}

int32_t CIntQueue::Pop()
{
    const int32_t v = m_data[m_read];
    m_read = (m_read + 1) % m_capacity;
    return v;
}

void CIntQueue::Grow()
{
    if (m_capacity > INT_MAX / 2) {
        Logger::log("Allocation error.", 1);
        throw std::bad_alloc();
    }
    const int grown = 2 * m_capacity - 1;
    std::unique_ptr<int32_t[]> data(new (std::nothrow) int32_t[static_cast<size_t>(grown)]());
    if (!data) {
        Logger::log("Allocation error.", 1);
        throw std::bad_alloc();
    }
    const int n = Size();
    for (int i = 0; i < n; ++i) data[i] = m_data[(m_read + i) % m_capacity];
    m_data = std::move(data);
    m_capacity = grown;
    m_read = 0;
    m_write = n;
}
