#include "geometry/polykit/poly_alloc.h"
#include "geometry/polykit/poly_arena.h"

#include "core/logger.h"

#include <cstdlib>

namespace polykit {

void AllocationFailed()
{
    Logger::log("Allocation error.", 1);
    throw std::bad_alloc();
}

void Arena::Grow(size_t bytes)
{
    const size_t header = (sizeof(Block) + kAlign - 1) & ~(kAlign - 1);
    const size_t size = bytes > kBlock - header ? bytes + header : kBlock;
    void* raw = std::malloc(size);
    if (!raw) AllocationFailed();
    Block* block = static_cast<Block*>(raw);
    block->next = m_blocks;
    block->size = size;
    m_blocks = block;
    m_cursor = static_cast<unsigned char*>(raw) + header;
    m_left = size - header;
}

void Arena::Release()
{
    while (m_blocks) {
        Block* next = m_blocks->next;
        std::free(m_blocks);
        m_blocks = next;
    }
    m_cursor = m_inline;
    m_left = kInline;
}

}  // namespace polykit
