#include "jpeg/jpeg_simd.h"
#include "core/cpu_features.h"

#include <atomic>

namespace {

JpegSimd Detect()
{
#if defined(__x86_64__)
    if (cpu::HasAvx2()) return JpegSimd::kAvx2;
    return JpegSimd::kSse2;
#else
    return JpegSimd::kScalar;
#endif
}

std::atomic<int> g_level{-1};

}  // namespace

JpegSimd JpegSimdBest()
{
    static const JpegSimd best = Detect();
    return best;
}

JpegSimd JpegSimdLevel()
{
    const int level = g_level.load(std::memory_order_relaxed);
    return level < 0 ? JpegSimdBest() : static_cast<JpegSimd>(level);
}

JpegSimd SetJpegSimdLevel(JpegSimd level)
{
    const JpegSimd set = static_cast<int>(level) > static_cast<int>(JpegSimdBest()) ? JpegSimdBest() : level;
    g_level.store(static_cast<int>(set), std::memory_order_relaxed);
    return set;
}
