#include "imaging/list.h"

#include "core/logger.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
constexpr unsigned kMaxCount = 65535;  // the count is 16-bit
constexpr unsigned kGrowth = 4;
}  // namespace

List::List(Deleter deleter, unsigned short capacity)
    : m_capacity(std::max<unsigned short>(capacity, 4)), m_deleter(deleter)
{
    m_data = new void*[m_capacity]();
}

List::~List()
{
    if (m_deleter) {
        for (unsigned i = 0; i < m_count; ++i) {
            void* item = m_data[i];
            m_data[i] = nullptr;
            if (item) m_deleter(item);
        }
    }
    delete[] m_data;
}

// Makes room for one more element: capacity grows by 4 and never carries
// past 65,535.
bool List::GrowForOne()
{
    if (m_count >= kMaxCount) {
        Logger::log("ERROR List::Append() list is full (%u elements)", 1, kMaxCount);
        return false;
    }
    if (m_count < m_capacity) return true;
    const unsigned newCapacity = std::min(kMaxCount, m_capacity + kGrowth);
    void** grown = new (std::nothrow) void*[newCapacity]();
    if (!grown) {
        Logger::log("ERROR List::Append() cannot grow to %u elements", 1, newCapacity);
        return false;
    }
    std::memcpy(grown, m_data, sizeof(void*) * m_count);
    delete[] m_data;
    m_data = grown;
    m_capacity = static_cast<uint16_t>(newCapacity);
    return true;
}

int List::Append(void* item)
{
    if (!GrowForOne()) return -1;
    m_data[m_count] = item;
    return m_count++;
}

int List::Insert(void* item, unsigned short index)
{
    if (!GrowForOne()) return -1;
    const unsigned at = std::min<unsigned>(index, m_count);
    std::memmove(m_data + at + 1, m_data + at, sizeof(void*) * (m_count - at));
    m_data[at] = item;
    ++m_count;
    return static_cast<int>(at);
}

void* List::GetData(int index) const
{
    if (index < 0 || index >= m_count) return nullptr;
    return m_data[index];
}

int List::GetIndex(void* item) const
{
    for (int i = 0; i < m_count; ++i)
        if (m_data[i] == item) return i;
    return -1;
}

int List::RemoveData(void* item)
{
    const int index = GetIndex(item);
    if (index < 0) return -1;
    return RemoveData(index);
}

int List::RemoveData(int index)
{
    if (index < 0 || index >= m_count) return -1;
    void* item = m_data[index];
    std::memmove(m_data + index, m_data + index + 1, sizeof(void*) * (m_count - index - 1));
    --m_count;
    m_data[m_count] = nullptr;
    if (m_deleter && item) m_deleter(item);
    return index;
}

bool List::MoveData(int from, int to)
{
    if (from < 0 || from >= m_count || to < 0 || to >= m_count) return false;
    if (from < to)
        std::rotate(m_data + from, m_data + from + 1, m_data + to + 1);
    else if (from > to)
        std::rotate(m_data + to, m_data + from, m_data + from + 1);
    return true;
}

void List::MoveToTop(int index)
{
    MoveData(index, 0);
}

void List::ReverseOrder()
{
    std::reverse(m_data, m_data + m_count);
}

List::Iterator List::StartIteration(char /*direction*/) const
{
    // Every caller walks forward; a direction is accepted and ignored.
    return Iterator(this, 0);
}

void* List::Iterator::Iterate()
{
    if (!m_list || m_position >= m_list->m_count) return nullptr;
    return m_list->m_data[m_position++];
}
