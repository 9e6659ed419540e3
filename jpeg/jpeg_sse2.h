// SSE2 pieces shared by the forward and inverse DCTs: 16-bit constant pairs
// for pmaddwd, the 8 x 8 transpose of eight rows of 16-bit lanes and the
// rounding descale back to 16 bits. Internal to Jpegkit (internal linkage,
// as geometry/rowmap/row_map_sse2.h).
#pragma once

#include <emmintrin.h>
#include <cstdint>

namespace {

// (first, second) in every 32-bit lane: pmaddwd with lanes (a, b) gives
// a first + b second.
inline __m128i Pair(int32_t first, int32_t second)
{
    return _mm_set1_epi32(
        static_cast<int32_t>((static_cast<uint32_t>(second) << 16) | (static_cast<uint32_t>(first) & 0xFFFF)));
}

inline void Transpose8x8(__m128i r[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// (lo + round) >> Shift and (hi + round) >> Shift, packed to 16 bits with
// saturation; round defaults to half the divisor.
template <int Shift>
inline __m128i DescalePack(__m128i lo, __m128i hi, __m128i round)
{
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, round), Shift),
                           _mm_srai_epi32(_mm_add_epi32(hi, round), Shift));
}

template <int Shift>
inline __m128i DescalePack(__m128i lo, __m128i hi)
{
    return DescalePack<Shift>(lo, hi, _mm_set1_epi32(1 << (Shift - 1)));
}

}  // namespace
