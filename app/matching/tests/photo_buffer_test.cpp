// The photograph buffers' reuse: a buffer handed back is handed out again
// only once, only for an allocation of about its size, and small buffers are
// not kept. Under ASan a kept buffer that is also freed, or a buffer that is
// lost, fails the run.
#include "app/matching/photo_buffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMiB = size_t{1} << 20;

TEST(PhotoBuffer, AHandedBackBufferServesOneAllocationOfAboutItsSize)
{
    struct Case {
        size_t handedBack;  // bytes the buffer holds
        size_t asked;
        bool reused;
    };
    const Case cases[] = {
        {20 * kMiB, 20 * kMiB, true},
        {20 * kMiB, 17 * kMiB, true},       // a fifth of it unused: still worth it
        {20 * kMiB, 15 * kMiB, false},      // a third unused: a fresh buffer
        {20 * kMiB, 20 * kMiB + 1, false},  // too small
        {4 * kMiB, 4 * kMiB, false},        // small buffers are freed, not kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.handedBack << " bytes handed back, " << c.asked << " asked");
        unsigned char* buffer = AllocatePhotoBuffer(c.handedBack);
        ASSERT_NE(buffer, nullptr);
        std::memset(buffer, 0x5A, c.handedBack);
        RecyclePhotoBuffer(buffer, c.handedBack);
        unsigned char* next = AllocatePhotoBuffer(c.asked);
        ASSERT_NE(next, nullptr);
        // A buffer that is not reused is freed, and the allocator may well
        // hand out the same address again: only reuse is told by address.
        // Where it must not be reused, writing every byte asked for is the
        // check (ASan sees a buffer too small for the request).
        if (c.reused) {
            EXPECT_EQ(next, buffer);
        }
        std::memset(next, 0xA5, c.asked);
        // Handed out once only.
        unsigned char* another = AllocatePhotoBuffer(c.asked);
        ASSERT_NE(another, nullptr);
        EXPECT_NE(another, next);
        std::free(another);
        std::free(next);
    }
}

TEST(PhotoBuffer, ANewerBufferReplacesTheKeptOne)
{
    unsigned char* first = AllocatePhotoBuffer(12 * kMiB);
    unsigned char* second = AllocatePhotoBuffer(12 * kMiB);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    RecyclePhotoBuffer(first, 12 * kMiB);
    RecyclePhotoBuffer(second, 12 * kMiB);  // the first is freed
    unsigned char* next = AllocatePhotoBuffer(12 * kMiB);
    EXPECT_EQ(next, second);
    std::free(next);
    RecyclePhotoBuffer(nullptr, 12 * kMiB);  // nothing to keep
}

}  // namespace
