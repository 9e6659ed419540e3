// The child's end of the shared channel, for the programs the application
// starts (the matchers Hollet and Nerrow, the blender Swelder): they read the
// channel's name and size from their command line, open it, post progress
// texts, write one data block per image pair and set the finished flag last.
// This library links nothing but the logger, so those programs stay small.
#pragma once

#include "platform/utilkit/shm_layout.h"
#include "platform/utilkit/shm_mapping.h"

#include <cstdint>
#include <span>

class ShmClient {
public:
    ShmClient() = default;
    ShmClient(const ShmClient&) = delete;
    ShmClient& operator=(const ShmClient&) = delete;

    // Opens the channel the server created with this name and size; 0 on
    // success, nonzero otherwise.
    int open(const char* name, int size);
    void close();
    bool isOpen() const { return m_map.isOpen(); }

    // Queues a progress text (longer texts are cut to 253 characters). When
    // the ring stays full for about a second the text is dropped: texts are
    // progress only and the child must not stall on a slow server. False
    // when it was dropped.
    bool postText(const char* text);
    // Appends the block of marker pairs of one image pair. False, with
    // nothing written, when the block does not fit in the channel.
    bool writeBlock(int32_t imageIndex0, int32_t imageIndex1, std::span<const ShmMarkerPair> pairs);
    // The server may read everything written before this call once it sees
    // the flag; nothing is to be written after it.
    void setFinished();
    // Whether the server asked the child to stop.
    bool cancelRequested() const;

private:
    shm::Mapping m_map;
    uint32_t m_textsWritten = 0;
    uint64_t m_blockBytes = 0;
    uint64_t m_blocksWritten = 0;
};
