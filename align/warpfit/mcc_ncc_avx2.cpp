// The AVX2 multiply-add loop of the correlation kernel; this file alone is
// compiled for AVX2 and entered only after the processor check.
#include "align/warpfit/mcc_ncc.h"
#include "core/cpu_features.h"

#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace warpfit::detail {

bool HasAvx2()
{
    return cpu::HasAvx2();
}

int64_t BlockDotAvx2(const NccTemplate& t, const int16_t* b, size_t stride)
{
#if defined(__x86_64__)
    // Each 32-bit lane gains at most 2 * 255 * 255 per multiply-add; flush to
    // 64 bits before a lane could pass 2^31.
    const int perRow = t.rowLength / 16;
    const int flushRows = std::max(1, static_cast<int>(2000000000LL / (int64_t{perRow} * 2 * 255 * 255)));
    int64_t total = 0;
    __m256i acc = _mm256_setzero_si256();
    for (int y = 0; y < t.height; ++y) {
        const int16_t* a = t.samples.data() + static_cast<size_t>(y) * t.rowLength;
        const int16_t* bb = b + static_cast<size_t>(y) * stride;
        for (int k = 0; k < perRow; ++k) {
            const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 16 * k));
            const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bb + 16 * k));
            acc = _mm256_add_epi32(acc, _mm256_madd_epi16(va, vb));
        }
        if ((y + 1) % flushRows == 0 || y + 1 == t.height) {
            alignas(32) int32_t lanes[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
            for (int32_t v : lanes) total += v;
            acc = _mm256_setzero_si256();
        }
    }
    return total;
#else
    (void)t;
    (void)b;
    (void)stride;
    return 0;
#endif
}

}  // namespace warpfit::detail
