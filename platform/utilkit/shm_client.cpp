#include "platform/utilkit/shm_client.h"

#include "imaging/byte_order.h"
#include "platform/utilkit/logger.h"

#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

namespace {

// How long postText waits for a free slot: about one pass of the server's
// once-a-second poll.
constexpr auto kTextWait = std::chrono::milliseconds(1000);
constexpr auto kTextPoll = std::chrono::milliseconds(1);

void PutFloatLE(uint8_t* p, float v)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    byteorder::PutU32LE(p, bits);
}

}  // namespace

int ShmClient::open(const char* name, int size)
{
    if (!name || size <= 0) {
        Logger::log("ERROR ShmClient::open() no name or size", 1);
        return 1;
    }
    if (!m_map.open(name, static_cast<size_t>(size), "ShmClient::open()")) return 1;
    // A client joins a fresh channel; the counters are taken from it so that
    // a reopened channel goes on where it was.
    m_textsWritten = m_map.load32(shm::kTextsWrittenOffset);
    m_blockBytes = m_map.load64(shm::kBlockBytesOffset);
    m_blocksWritten = m_map.load64(shm::kBlocksWrittenOffset);
    return 0;
}

void ShmClient::close()
{
    m_map.close();
}

bool ShmClient::postText(const char* text)
{
    if (!m_map.isOpen() || !text) return false;
    const auto deadline = std::chrono::steady_clock::now() + kTextWait;
    while (m_textsWritten - m_map.load32(shm::kTextsReadOffset) >= shm::kTextSlotCount) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kTextPoll);
    }
    uint8_t* slot = m_map.data() + shm::kTextSlotsOffset + (m_textsWritten % shm::kTextSlotCount) * shm::kTextSlotSize;
    const size_t n = strnlen(text, shm::kTextSlotSize - 1);
    std::memcpy(slot, text, n);
    slot[n] = 0;
    ++m_textsWritten;
    m_map.store32(shm::kTextsWrittenOffset, m_textsWritten);
    return true;
}

bool ShmClient::writeBlock(int32_t imageIndex0, int32_t imageIndex1, std::span<const ShmMarkerPair> pairs)
{
    if (!m_map.isOpen()) return false;
    const uint64_t area = m_map.size() - shm::kHeadSize;
    const uint64_t free = area > m_blockBytes ? area - m_blockBytes : 0;
    if (pairs.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
        shm::kStoredBlockHead + uint64_t{shm::kPairBytes} * pairs.size() > free) {
        Logger::log("ERROR ShmClient::writeBlock() %zu pairs of images %d-%d do not fit (%llu bytes free)", 1,
                    pairs.size(), imageIndex0, imageIndex1, static_cast<unsigned long long>(free));
        return false;
    }
    uint8_t* p = m_map.data() + shm::kHeadSize + m_blockBytes;
    byteorder::PutU32LE(p, static_cast<uint32_t>(imageIndex0));
    byteorder::PutU32LE(p + 4, static_cast<uint32_t>(imageIndex1));
    byteorder::PutU32LE(p + 8, static_cast<uint32_t>(pairs.size()));
    p += shm::kStoredBlockHead;
    for (const ShmMarkerPair& pair : pairs) {
        PutFloatLE(p, pair.x0);
        PutFloatLE(p + 4, pair.y0);
        PutFloatLE(p + 8, pair.x1);
        PutFloatLE(p + 12, pair.y1);
        p += shm::kPairBytes;
    }
    m_blockBytes += shm::kStoredBlockHead + shm::kPairBytes * pairs.size();
    ++m_blocksWritten;
    // Bytes before the count: a server that sees the count sees its bytes.
    m_map.store64(shm::kBlockBytesOffset, m_blockBytes);
    m_map.store64(shm::kBlocksWrittenOffset, m_blocksWritten);
    return true;
}

void ShmClient::setFinished()
{
    if (m_map.isOpen()) m_map.store8(shm::kFinishedOffset, 1);
}

bool ShmClient::cancelRequested() const
{
    return m_map.isOpen() && m_map.load32(shm::kCancelOffset) != 0;
}
