#include "app/matching/photo_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below a few huge pages the small-page faults are cheap and the rounding
// would waste memory.
constexpr size_t kHugeFrom = 4 * kHugePage;

struct Free {
    void operator()(unsigned char* data) const { std::free(data); }
};

// The one buffer kept for reuse, freed at exit.
struct Kept {
    std::mutex lock;
    std::unique_ptr<unsigned char, Free> data;
    size_t bytes = 0;
};

Kept& KeptBuffer()
{
    static Kept kept;
    return kept;
}

// The kept buffer when it holds `bytes` without wasting more than a quarter
// of them; otherwise it is freed.
unsigned char* TakeKept(size_t bytes)
{
    Kept& kept = KeptBuffer();
    std::lock_guard<std::mutex> guard(kept.lock);
    if (!kept.data) return nullptr;
    if (kept.bytes >= bytes && kept.bytes - bytes <= bytes / 4) {
        kept.bytes = 0;
        return kept.data.release();
    }
    kept.data.reset();
    kept.bytes = 0;
    return nullptr;
}

}  // namespace

void RecyclePhotoBuffer(unsigned char* data, size_t bytes)
{
    if (!data) return;
    if (bytes < kHugeFrom) {
        std::free(data);
        return;
    }
    Kept& kept = KeptBuffer();
    std::lock_guard<std::mutex> guard(kept.lock);
    kept.data.reset(data);
    kept.bytes = bytes;
}

unsigned char* AllocatePhotoBuffer(size_t bytes)
{
    if (bytes == 0) bytes = 1;
    if (bytes < kHugeFrom) return static_cast<unsigned char*>(std::malloc(bytes));
    if (unsigned char* kept = TakeKept(bytes)) return kept;
    if (bytes > static_cast<size_t>(-1) - kHugePage) return nullptr;
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* data = std::aligned_alloc(kHugePage, rounded);
    if (!data) return nullptr;
    // Advice only: without transparent huge pages the buffer still works.
    (void)madvise(data, rounded, MADV_HUGEPAGE);
    return static_cast<unsigned char*>(data);
}
