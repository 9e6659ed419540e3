// The SSE2 row loop shared by the files of the row remapper: positions four
// pixels at a time, samplers for three-byte and one-byte pixels and the
// writing rules. Internal to Rowmap; every file gets its own copy (internal
// linkage), so files built for different instruction sets never share code.
#pragma once

#include "geometry/rowmap/row_map_kernels.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>

namespace rowmap {
namespace {

// The SSE2 loops take the row four pixels at a time. For a group of four
// the sums xw, yw, w advance one pixel at a time in one packed register
// (each lane rounded toward zero exactly like the scalar sums), then the four
// positions are divided in double precision and turned into whole parts and
// weights at once. Since X = xw / w rounded toward zero is at most the exact
// quotient and every multiple of 1/512 is a double, trunc(512 X) is
// 512 ix + fx exactly: one truncation gives both. The pixels are then
// sampled with the packed 16-bit multiply-add, a chunk of positions at a
// time.
constexpr int kChunk = 64;

struct Chunk {
    // Weights of each pixel as two 32-bit words of two 16-bit weights, in
    // the order the pixel code pairs the samples: for three-byte pixels
    // (w00, w01) and (w10, w11) (top and bottom of one column), for
    // one-byte pixels (w00, w10) and (w01, w11) (left and right of one row).
    alignas(16) int32_t weights[2 * kChunk];
    alignas(16) int32_t ix[kChunk];
    alignas(16) int32_t iy[kChunk];
};

// Positions of pixels i .. i + 3 of the chunk.
template <bool kRgb>
inline void NextGroup(__m128& sums, __m128 steps, const uint8_t* source, ptrdiff_t stride, Chunk& c, int i)
{
    __m128 x = sums;
    sums = _mm_add_ps(sums, steps);
    __m128 y = sums;
    sums = _mm_add_ps(sums, steps);
    __m128 w = sums;
    sums = _mm_add_ps(sums, steps);
    __m128 unused = sums;
    sums = _mm_add_ps(sums, steps);
    _MM_TRANSPOSE4_PS(x, y, w, unused);  // x, y, w now hold xw, yw, w of the four pixels
    const __m128d scale = _mm_set1_pd(512.0);
    const __m128d wLo = _mm_cvtps_pd(w), wHi = _mm_cvtps_pd(_mm_movehl_ps(w, w));
    auto fixed = [&](__m128 v) {  // trunc(512 v / w) for the four pixels
        const __m128i lo = _mm_cvttpd_epi32(_mm_mul_pd(_mm_div_pd(_mm_cvtps_pd(v), wLo), scale));
        const __m128i hi = _mm_cvttpd_epi32(_mm_mul_pd(_mm_div_pd(_mm_cvtps_pd(_mm_movehl_ps(v, v)), wHi), scale));
        return _mm_unpacklo_epi64(lo, hi);
    };
    const __m128i kx = fixed(x), ky = fixed(y);
    const __m128i low9 = _mm_set1_epi32(511);
    const __m128i fx = _mm_and_si128(kx, low9), fy = _mm_and_si128(ky, low9);
    // fx fy < 2^18: the 16-bit multiply-add of (fx, 0) and (fy, 0) is the product.
    const __m128i w11 = _mm_srli_epi32(_mm_madd_epi16(fx, fy), 9);
    const __m128i w10 = _mm_sub_epi32(fx, w11), w01 = _mm_sub_epi32(fy, w11);
    const __m128i w00 = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(_mm_set1_epi32(512), fx), fy), w11);
    const __m128i first = _mm_or_si128(w00, _mm_slli_epi32(kRgb ? w01 : w10, 16));
    const __m128i second = _mm_or_si128(kRgb ? w10 : w01, _mm_slli_epi32(w11, 16));
    _mm_store_si128(reinterpret_cast<__m128i*>(c.weights + 2 * i), _mm_unpacklo_epi32(first, second));
    _mm_store_si128(reinterpret_cast<__m128i*>(c.weights + 2 * i + 4), _mm_unpackhi_epi32(first, second));
    _mm_store_si128(reinterpret_cast<__m128i*>(c.ix + i), _mm_srai_epi32(kx, 9));
    _mm_store_si128(reinterpret_cast<__m128i*>(c.iy + i), _mm_srai_epi32(ky, 9));
    // Fetch the first pixel's rows ahead of drawing (neighbouring pixels
    // share their cache lines); as an integer, so that no pointer is formed
    // from a position the caller may not have vouched for.
    const uintptr_t at = reinterpret_cast<uintptr_t>(source) +
                         static_cast<uintptr_t>(static_cast<ptrdiff_t>(c.iy[i]) * stride) +
                         static_cast<uintptr_t>(static_cast<ptrdiff_t>(c.ix[i]) * (kRgb ? 3 : 1));
    _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(at + static_cast<uintptr_t>(stride)), _MM_HINT_T0);
}

// Writes the new samples (in the low bytes of `bytes`) to a pixel of kB bytes.
template <int kB, bool kAverage>
inline void PutBytes(uint8_t* d, uint32_t bytes)
{
    if (!kAverage) {
        if ((bytes & 0xffu) == 0) bytes |= 1u;
    } else {
        uint32_t old = d[0];
        if (kB == 3) {
            uint16_t first;
            std::memcpy(&first, d, 2);
            old = first | static_cast<uint32_t>(d[2]) << 16;
        }
        // Bytewise floor((old + new) / 2) without carries between bytes.
        const uint32_t mean = (old & bytes) + (((old ^ bytes) >> 1) & 0x7f7f7f7fu);
        bytes = (old & 0xffu) != 0 ? mean : bytes;
    }
    if (kB == 3) {
        const uint16_t first = static_cast<uint16_t>(bytes);
        std::memcpy(d, &first, 2);
        d[2] = static_cast<uint8_t>(bytes >> 16);
    } else {
        d[0] = static_cast<uint8_t>(bytes);
    }
}

// Three-byte pixels, SSE2. The top row's six bytes and the bottom row's six
// bytes are read as eight: from the top pixel on, and from two bytes before
// the bottom pixel. Both stay between the first and the last byte the
// caller vouches for whenever the stride is at least 8; smaller or negative
// strides read exactly six bytes per row.
inline uint32_t SampleRgbSse2(const uint8_t* p, ptrdiff_t stride, bool wideLoads, const int32_t* pair)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i top, bottom;
    if (wideLoads) {
        top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        bottom = _mm_srli_si128(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + stride - 2)), zero), 4);
    } else {
        uint64_t t = 0, b = 0;
        std::memcpy(&t, p, 6);
        std::memcpy(&b, p + stride, 6);
        top = _mm_cvtsi64_si128(static_cast<long long>(t));
        bottom = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(b)), zero);
    }
    top = _mm_unpacklo_epi8(top, zero);
    // (P00c, P01c) for c = 0, 1, 2 and (P10r, P11r); then (P10g, P11g), (P10b, P11b).
    const __m128i lo = _mm_unpacklo_epi16(top, bottom);
    const __m128i hi = _mm_unpackhi_epi16(top, bottom);
    const __m128i weights = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair));
    const __m128i sLo = _mm_madd_epi16(lo, _mm_shuffle_epi32(weights, _MM_SHUFFLE(1, 0, 0, 0)));
    const __m128i sHi = _mm_madd_epi16(hi, _mm_shuffle_epi32(weights, _MM_SHUFFLE(1, 1, 1, 1)));
    __m128i sum = _mm_add_epi32(sLo, _mm_srli_si128(sLo, 12));
    sum = _mm_srli_epi32(_mm_add_epi32(sum, _mm_slli_si128(sHi, 4)), 9);
    sum = _mm_packs_epi32(sum, sum);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
}

// One-byte pixels: (P00, P10) and (P01, P11) against (w00, w10), (w01, w11).
inline uint32_t SampleGrey(const uint8_t* p, ptrdiff_t stride, const int32_t* pair)
{
    uint16_t top, bottom;
    std::memcpy(&top, p, 2);
    std::memcpy(&bottom, p + stride, 2);
    const __m128i px = _mm_unpacklo_epi8(_mm_cvtsi32_si128(top | (bottom << 16)), _mm_setzero_si128());
    const __m128i s = _mm_madd_epi16(px, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair)));
    const __m128i sum = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 1, 1, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sum)) >> 9;
}

// The row loop around a sampler (kRgb: three-byte pixels); each entry point
// instantiates it in a file built for its instruction set.
template <bool kRgb, bool kAverage, typename SampleFn>
inline void GroupLoop(const RowMapping& r, SampleFn sample)
{
    constexpr int kB = kRgb ? 3 : 1;
    const ptrdiff_t stride = r.stride;
    const bool wideLoads = stride >= 8;
    const uint8_t* source = r.source;
    uint8_t* d = r.destination;
    __m128 sums = _mm_setr_ps(r.xw, r.yw, r.w, 0.0f);
    const __m128 steps = _mm_setr_ps(r.dxw, r.dyw, r.dw, 0.0f);
    // Positions for a chunk of pixels first, then the pixels: the divisions
    // of a chunk run back to back, and so do the byte shuffles.
    Chunk chunk;
    for (int done = 0; done < r.n; done += kChunk) {
        const int count = r.n - done < kChunk ? r.n - done : kChunk;
        for (int i = 0; i < count; i += 4) NextGroup<kRgb>(sums, steps, source, stride, chunk, i);
        for (int i = 0; i < count; ++i, d += kB) {
            const uint8_t* p = source + chunk.iy[i] * stride + static_cast<ptrdiff_t>(chunk.ix[i]) * kB;
            PutBytes<kB, kAverage>(d, sample(p, stride, wideLoads, chunk.weights + 2 * i));
        }
    }
}

}  // namespace
}  // namespace rowmap
