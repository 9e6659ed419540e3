// AVX2 pieces shared by the forward and inverse DCTs, the SSE2 pieces of
// jpeg_sse2.h on twice the width: 16-bit constant pairs for vpmaddwd and the
// 8 x 8 transpose within each 128-bit lane. Internal to Jpegkit (internal
// linkage); its functions carry the AVX2 target attribute, so they may be
// entered only where the processor has AVX2.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>
#include <cstdint>

#define JPEG_AVX2 __attribute__((target("avx2")))

namespace {

JPEG_AVX2 inline __m256i Pair256(int32_t first, int32_t second)
{
    return _mm256_set1_epi32(
        static_cast<int32_t>((static_cast<uint32_t>(second) << 16) | (static_cast<uint32_t>(first) & 0xFFFF)));
}

// The 8 x 8 transpose within each 128-bit lane.
JPEG_AVX2 inline void Transpose8x8Lanes(__m256i r[8])
{
    const __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    const __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    const __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    const __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    const __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    r[0] = _mm256_unpacklo_epi64(b0, b4);
    r[1] = _mm256_unpackhi_epi64(b0, b4);
    r[2] = _mm256_unpacklo_epi64(b1, b5);
    r[3] = _mm256_unpackhi_epi64(b1, b5);
    r[4] = _mm256_unpacklo_epi64(b2, b6);
    r[5] = _mm256_unpackhi_epi64(b2, b6);
    r[6] = _mm256_unpacklo_epi64(b3, b7);
    r[7] = _mm256_unpackhi_epi64(b3, b7);
}

}  // namespace

#endif
