// The application's end of the shared channel to a child program (a matcher
// or the blender): the server makes the channel under a new name, hands name
// and size to the child on its command line, then polls it for progress
// texts, the finished flag and the data blocks of marker pairs. Nothing the
// child wrote is trusted: a block is handed out only when it lies wholly
// within the bytes the child reported written.
#pragma once

#include "platform/utilkit/shm_layout.h"
#include "platform/utilkit/shm_mapping.h"

#include <cstdint>
#include <string>
#include <vector>

class ShmComm {
public:
    ShmComm() = default;
    virtual ~ShmComm() = default;
    ShmComm(const ShmComm&) = delete;
    ShmComm& operator=(const ShmComm&) = delete;

    // The next data block, or null when none is waiting or the next one is
    // damaged (an ERROR line then says how). The block stays valid until the
    // next call or the channel's end.
    ShmDataBlock* popOneBlock();

    // The client's finished flag (the byte at offset 2056).
    bool isClientFinished() const;
    // The name and size as given to create.
    const char* getName() const { return m_name.c_str(); }
    int getSize() const { return static_cast<int>(m_map.size()); }

protected:
    shm::Mapping m_map;
    std::string m_name;

private:
    uint64_t m_blockOffset = 0;  // where the next block starts in the block area
    uint64_t m_blocksRead = 0;
    std::vector<unsigned char> m_block;  // the block handed out (heap storage: aligned for it)
};

class ShmCommServer : public ShmComm {
public:
    ShmCommServer() = default;
    // Closes the channel and removes its name.
    ~ShmCommServer() override = default;

    // Makes the channel: `size` bytes (3108 up to 1 GiB) under a name that
    // must not exist yet. 0 on success, nonzero otherwise.
    int create(const char* name, int size);
    // The next progress text, or null. The text stays valid until the next
    // call or the channel's end.
    const char* popMsg();
    // Asks the child to stop; it polls ShmClient::cancelRequested.
    void requestCancel();

private:
    uint32_t m_textsRead = 0;
    char m_text[shm::kTextSlotSize] = {};
};
