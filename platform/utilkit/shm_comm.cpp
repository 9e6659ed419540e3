#include "platform/utilkit/shm_comm.h"

#include "imaging/byte_order.h"
#include "platform/utilkit/logger.h"

#include <cstring>

ShmDataBlock* ShmComm::popOneBlock()
{
    if (!m_map.isOpen()) return nullptr;
    const uint64_t written = m_map.load64(shm::kBlocksWrittenOffset);
    if (written == m_blocksRead) return nullptr;
    if (written < m_blocksRead) {
        Logger::log("ERROR ShmComm::popOneBlock() %s: blocks written %llu below blocks read %llu", 1, m_name.c_str(),
                    static_cast<unsigned long long>(written), static_cast<unsigned long long>(m_blocksRead));
        return nullptr;
    }
    const uint64_t area = m_map.size() - shm::kHeadSize;
    const uint64_t bytes = m_map.load64(shm::kBlockBytesOffset);
    if (bytes > area || bytes < m_blockOffset) {
        Logger::log("ERROR ShmComm::popOneBlock() %s: block bytes %llu outside %llu..%llu", 1, m_name.c_str(),
                    static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(m_blockOffset),
                    static_cast<unsigned long long>(area));
        return nullptr;
    }
    const uint64_t available = bytes - m_blockOffset;
    if (available < shm::kStoredBlockHead) {
        Logger::log("ERROR ShmComm::popOneBlock() %s: block %llu has no head within the %llu bytes written", 1,
                    m_name.c_str(), static_cast<unsigned long long>(m_blocksRead),
                    static_cast<unsigned long long>(bytes));
        return nullptr;
    }
    const uint8_t* stored = m_map.data() + shm::kHeadSize + m_blockOffset;
    const int32_t n = static_cast<int32_t>(byteorder::GetU32LE(stored + 8));
    const uint64_t need = shm::kStoredBlockHead + uint64_t{shm::kPairBytes} * static_cast<uint64_t>(n < 0 ? 0 : n);
    if (n < 0 || static_cast<uint64_t>(n) > area / shm::kPairBytes || need > available) {
        Logger::log("ERROR ShmComm::popOneBlock() %s: block %llu claims %d pairs, %llu bytes are written", 1,
                    m_name.c_str(), static_cast<unsigned long long>(m_blocksRead), n,
                    static_cast<unsigned long long>(available));
        return nullptr;
    }
    // The stored block is i0, i1, n and the pairs; handed out behind the
    // length word.
    const int32_t length = static_cast<int32_t>(sizeof(ShmDataBlock) + need - shm::kStoredBlockHead);
    m_block.resize(sizeof length + need);
    std::memcpy(m_block.data(), &length, sizeof length);
    std::memcpy(m_block.data() + sizeof length, stored, need);
    m_blockOffset += need;
    ++m_blocksRead;
    m_map.store64(shm::kBlocksReadOffset, m_blocksRead);
    return reinterpret_cast<ShmDataBlock*>(m_block.data());
}

bool ShmComm::isClientFinished() const
{
    return m_map.isOpen() && m_map.load8(shm::kFinishedOffset) != 0;
}

int ShmCommServer::create(const char* name, int size)
{
    if (m_map.isOpen()) {
        Logger::log("ERROR ShmCommServer::create() %s is already open", 1, m_name.c_str());
        return 1;
    }
    if (!name || !*name) {
        Logger::log("ERROR ShmCommServer::create() no name", 1);
        return 1;
    }
    if (size < static_cast<int>(shm::kHeadSize) || static_cast<size_t>(size) > shm::kMaxSize) {
        Logger::log("ERROR ShmCommServer::create() size %d outside %zu..%zu", 1, size, shm::kHeadSize, shm::kMaxSize);
        return 1;
    }
    if (!m_map.create(name, static_cast<size_t>(size), "ShmCommServer::create()")) return 1;
    m_name = name;
    return 0;
}

const char* ShmCommServer::popMsg()
{
    if (!m_map.isOpen()) return nullptr;
    const uint32_t written = m_map.load32(shm::kTextsWrittenOffset);
    if (written == m_textsRead) return nullptr;
    if (written - m_textsRead > shm::kTextSlotCount) {
        // The counter ran backwards or skipped texts: whatever the slots hold
        // now is no longer in order, so skip to the client's count.
        Logger::log("ERROR ShmCommServer::popMsg() %s: texts written %u, read %u", 1, m_name.c_str(), written,
                    m_textsRead);
        m_textsRead = written;
        m_map.store32(shm::kTextsReadOffset, m_textsRead);
        return nullptr;
    }
    const uint8_t* slot =
        m_map.data() + shm::kTextSlotsOffset + (m_textsRead % shm::kTextSlotCount) * shm::kTextSlotSize;
    std::memcpy(m_text, slot, sizeof m_text);
    m_text[sizeof m_text - 1] = '\0';
    ++m_textsRead;
    m_map.store32(shm::kTextsReadOffset, m_textsRead);
    return m_text;
}

void ShmCommServer::requestCancel()
{
    if (m_map.isOpen()) m_map.store32(shm::kCancelOffset, 1);
}
