// The shared-memory object behind a channel: made by the server (exclusive,
// removed again when the server goes), opened by the client, and the atomic
// access to its counters and flags that both sides share.
#pragma once

#include "platform/utilkit/shm_layout.h"

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace shm {

// Counters are native words in the mapping; the layout is little-endian.
static_assert(std::endian::native == std::endian::little);
// Two processes share them: only lock-free atomics work across a mapping.
static_assert(std::atomic_ref<uint8_t>::is_always_lock_free && std::atomic_ref<uint32_t>::is_always_lock_free &&
              std::atomic_ref<uint64_t>::is_always_lock_free);

class Mapping {
public:
    Mapping() = default;
    ~Mapping();
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    // Makes a new object of `size` bytes with the head filled in; false
    // (with an ERROR line naming `who`) when the name exists or the memory
    // cannot be had.
    bool create(const std::string& name, size_t size, const char* who);
    // Maps an existing channel; false unless it carries the channel's magic
    // and exactly `size` bytes.
    bool open(const std::string& name, size_t size, const char* who);
    // Unmaps; the creator also removes the object.
    void close();

    bool isOpen() const { return m_base != nullptr; }
    uint8_t* data() const { return m_base; }
    size_t size() const { return m_size; }

    uint8_t load8(size_t offset) const { return std::atomic_ref<uint8_t>(m_base[offset]).load(std::memory_order_acquire); }
    void store8(size_t offset, uint8_t v) const
    {
        std::atomic_ref<uint8_t>(m_base[offset]).store(v, std::memory_order_release);
    }
    uint32_t load32(size_t offset) const { return std::atomic_ref<uint32_t>(*Word32(offset)).load(std::memory_order_acquire); }
    void store32(size_t offset, uint32_t v) const
    {
        std::atomic_ref<uint32_t>(*Word32(offset)).store(v, std::memory_order_release);
    }
    uint64_t load64(size_t offset) const { return std::atomic_ref<uint64_t>(*Word64(offset)).load(std::memory_order_acquire); }
    void store64(size_t offset, uint64_t v) const
    {
        std::atomic_ref<uint64_t>(*Word64(offset)).store(v, std::memory_order_release);
    }

private:
    uint32_t* Word32(size_t offset) const { return reinterpret_cast<uint32_t*>(m_base + offset); }
    uint64_t* Word64(size_t offset) const { return reinterpret_cast<uint64_t*>(m_base + offset); }

    uint8_t* m_base = nullptr;
    size_t m_size = 0;
    std::string m_object;
    bool m_owner = false;
};

}  // namespace shm
