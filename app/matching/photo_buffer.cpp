#include "app/matching/photo_buffer.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below a few huge pages the small-page faults are cheap and the rounding
// would waste memory.
constexpr size_t kHugeFrom = 4 * kHugePage;

}  // namespace

unsigned char* AllocatePhotoBuffer(size_t bytes)
{
    if (bytes == 0) bytes = 1;
    if (bytes < kHugeFrom) return static_cast<unsigned char*>(std::malloc(bytes));
    if (bytes > static_cast<size_t>(-1) - kHugePage) return nullptr;
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* data = std::aligned_alloc(kHugePage, rounded);
    if (!data) return nullptr;
    // Advice only: without transparent huge pages the buffer still works.
    (void)madvise(data, rounded, MADV_HUGEPAGE);
    return static_cast<unsigned char*>(data);
}
