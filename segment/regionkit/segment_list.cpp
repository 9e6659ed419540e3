#include "segment/regionkit/segment_list.h"

#include "core/logger.h"

#include <climits>
#include <cstring>
#include <new>

SegmentList::SegmentList(short blockCells, int cellSize)
{
    if (blockCells < 1 || cellSize < 1)
        Logger::log("ERROR SegmentList::SegmentList() %d cells of %d bytes per block; using at least 1", 1,
                    blockCells, cellSize);
    m_blockCells = blockCells < 1 ? int16_t{1} : blockCells;
    m_cellSize = cellSize < 1 ? 1u : static_cast<uint32_t>(cellSize);
}

char* SegmentList::AddEmptyCell()
{
    if (m_length == INT32_MAX) {
        Logger::log("ERROR SegmentList::AddEmptyCell() the list is full", 1);
        throw std::bad_alloc();
    }
    const int32_t block = m_length / m_blockCells;
    if (block >= m_numBlocks) {
        const size_t bytes = static_cast<size_t>(m_blockCells) * m_cellSize;
        std::unique_ptr<char[]> cells(new (std::nothrow) char[bytes]());
        if (!cells) {
            Logger::log("ERROR SegmentList::AddEmptyCell() cannot allocate a block of %zu bytes", 1, bytes);
            throw std::bad_alloc();
        }
        m_ppBlocks.push_back(std::move(cells));
        m_numBlocks = static_cast<int32_t>(m_ppBlocks.size());
    }
    return m_ppBlocks[block].get() + static_cast<size_t>(m_length % m_blockCells) * m_cellSize;
}

char* SegmentList::Append()
{
    char* cell = AddEmptyCell();
    ++m_length;
    return cell;
}

char* SegmentList::Append(const char* src)
{
    char* cell = Append();
    if (src) std::memcpy(cell, src, m_cellSize);
    return cell;
}

char* SegmentList::GetData(int i) const
{
    if (i < 0 || i >= m_length) return nullptr;
    return m_ppBlocks[i / m_blockCells].get() + static_cast<size_t>(i % m_blockCells) * m_cellSize;
}

char* SegmentList::Serialize() const
{
    char* out = new char[static_cast<size_t>(m_length) * m_cellSize];
    for (int i = 0; i < m_length; ++i) std::memcpy(out + static_cast<size_t>(i) * m_cellSize, GetData(i), m_cellSize);
    return out;
}

void SegmentList::Restore(const char* src)
{
    if (!src) return;
    for (int i = 0; i < m_length; ++i) std::memcpy(GetData(i), src + static_cast<size_t>(i) * m_cellSize, m_cellSize);
}

// ---------------------------------------------------------------------------

SegmentList::iterator::iterator(SegmentList* list)
{
    Init(list);
}

void SegmentList::iterator::Init(SegmentList* list)
{
    m_list = list;
    Rewind();
}

void SegmentList::iterator::Rewind()
{
    m_current = 0;
    m_block = 0;
    m_inBlock = 0;
    m_length = m_list ? m_list->GetLength() : 0;
    m_cell = m_length > 0 ? m_list->m_ppBlocks[0].get() : nullptr;
}

bool SegmentList::iterator::operator++()
{
    if (!m_cell) return false;
    ++m_current;
    if (m_current >= m_length) {
        m_cell = nullptr;
        return false;
    }
    if (++m_inBlock == m_list->m_blockCells) {
        m_inBlock = 0;
        ++m_block;
    }
    m_cell = m_list->m_ppBlocks[m_block].get() + static_cast<size_t>(m_inBlock) * m_list->m_cellSize;
    return true;
}
