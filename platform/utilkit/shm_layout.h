// The memory of the shared channel between the application (the server) and
// its child programs (the matchers and the blender, as clients). Fixed by the
// application: the finished flag in the byte at 2056, the 3108-byte head and
// the size rule p * ((m - 1) * 16 + 28) + 3108 for p image pairs of at most
// m marker pairs. The rest is this module's own:
//
//   0     uint32 magic "FSHM", uint32 version, uint64 size as created
//   16    uint32 texts written, uint32 texts read
//   24    8 text slots of 254 bytes, each a NUL-terminated text (ends at 2056)
//   2056  uint8 finished flag (set by the client, last)
//   2064  uint64 block bytes written, blocks written, blocks read
//   2088  uint32 cancel request (set by the server)
//   3108  the blocks, stored back to back as {int32 i0, int32 i1, int32 n,
//         n x {float32 x0, y0, x1, y1}}: 12 + 16n bytes, so that p blocks of
//         m pairs fill exactly the size the rule gives.
//
// Every field is little-endian. Counters and the flag are written with
// release stores and read with acquire loads (std::atomic_ref), so a reader
// that sees a counter or the flag also sees what was written before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace shm {

constexpr uint32_t kMagic = 0x4D485346;  // "FSHM"
constexpr uint32_t kVersion = 1;
constexpr size_t kMagicOffset = 0;
constexpr size_t kVersionOffset = 4;
constexpr size_t kSizeOffset = 8;
constexpr size_t kTextsWrittenOffset = 16;
constexpr size_t kTextsReadOffset = 20;
constexpr size_t kTextSlotsOffset = 24;
constexpr size_t kTextSlotCount = 8;
constexpr size_t kTextSlotSize = 254;
constexpr size_t kFinishedOffset = 2056;
constexpr size_t kBlockBytesOffset = 2064;
constexpr size_t kBlocksWrittenOffset = 2072;
constexpr size_t kBlocksReadOffset = 2080;
constexpr size_t kCancelOffset = 2088;
constexpr size_t kHeadSize = 3108;
// A block as stored: i0, i1, n, then the pairs.
constexpr size_t kStoredBlockHead = 12;
constexpr size_t kPairBytes = 16;
// The largest channel create() accepts.
constexpr size_t kMaxSize = size_t{1} << 30;

static_assert(kTextSlotsOffset + kTextSlotCount * kTextSlotSize == kFinishedOffset);
static_assert(kBlockBytesOffset % 8 == 0 && kCancelOffset + 4 <= kHeadSize);

// The POSIX shared-memory object of a channel name: "/" and the name with
// '/', '\\', ' ' and ':' replaced by '_'.
std::string ObjectName(const std::string& name);

}  // namespace shm

// One marker pair: the point in image 0 and the point in image 1, in pixels.
struct ShmMarkerPair {
    float x0;
    float y0;
    float x1;
    float y1;
};
static_assert(sizeof(ShmMarkerPair) == 16 && std::is_trivially_copyable_v<ShmMarkerPair>);

// A data block as ShmComm::popOneBlock hands it out: a 16-byte head and the
// pairs right behind it, little-endian. The first word is the block's length
// in bytes (the application does not read it).
struct ShmDataBlock {
    int32_t length;
    int32_t imageIndex0;
    int32_t imageIndex1;
    int32_t numMarkerPairs;

    const ShmMarkerPair* pairs() const { return reinterpret_cast<const ShmMarkerPair*>(this + 1); }
};
static_assert(sizeof(ShmDataBlock) == 16 && std::is_trivially_copyable_v<ShmDataBlock>);
