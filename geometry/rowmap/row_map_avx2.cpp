#include "geometry/rowmap/row_map_kernels.h"
#include "geometry/rowmap/row_map_sse2.h"

#include <immintrin.h>

// Built with -mavx2 (and -frounding-math, like every kernel file) and
// entered only where the processor has AVX2, with the rounding mode already
// toward zero.

namespace rowmap {

namespace {

// Eight pixels per step. The sums xw, yw, w advance one pixel at a time in
// one packed register exactly as in the SSE2 loop, so every pixel sees the
// same three floats. Whole parts and weights come from k = trunc(512 q),
// q = xw / w rounded toward zero; the SSE2 loop divides in double, here the
// division is in single precision where that gives the same k:
//
// Rounding toward zero is odd and monotone, and returns the largest number
// of its precision not above |q| in magnitude. Let m = floor(512 |q|). When
// m < 2^24, m / 512 is a float and a double not above |q|, so both
// roundings of |q| lie in [m / 512, |q|], and 512 times either (an exact
// scaling) truncates to m. A single-precision quotient below 32768 in
// magnitude proves m < 2^24 (32768 is a float, so |q| >= 32768 would round to
// at least 32768). Groups with a larger, infinite or undefined quotient take
// the double division of the SSE2 loop, operation for operation.
constexpr int kChunk8 = 64;

struct Chunk8 {
    // Per pixel the two 32-bit words of two 16-bit weights, paired as the
    // samplers pair the samples (see Chunk in row_map_sse2.h).
    alignas(32) int32_t first[kChunk8];
    alignas(32) int32_t second[kChunk8];
    // Byte offset of the pixel's top-left source sample: iy stride + ix b in
    // 64 bits, as the SSE2 loop forms its pointers.
    alignas(32) int64_t offset[kChunk8];
};

// trunc(512 v / w) for eight pixels as the SSE2 loop computes it: floats
// widened to double, divided, scaled and truncated.
inline __m256i FixedInDouble(__m256 v, __m256 w)
{
    const __m256d scale = _mm256_set1_pd(512.0);
    const __m256d wLo = _mm256_cvtps_pd(_mm256_castps256_ps128(w));
    const __m256d wHi = _mm256_cvtps_pd(_mm256_extractf128_ps(w, 1));
    const __m128i lo =
        _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_div_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(v)), wLo), scale));
    const __m128i hi =
        _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_div_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)), wHi), scale));
    return _mm256_set_m128i(hi, lo);
}

// Positions of pixels i .. i + 7 of the chunk.
template <bool kRgb>
inline void NextEight(__m128& sums, __m128 steps, const uint8_t* source, ptrdiff_t stride, Chunk8& c, int i)
{
    __m128 at[8];
    for (int k = 0; k < 8; ++k) {
        at[k] = sums;
        sums = _mm_add_ps(sums, steps);
    }
    // Pixels k and k + 4 side by side, then transposed: x, y, w of pixels
    // 0 .. 7 in order.
    const __m256 a = _mm256_set_m128(at[4], at[0]), b = _mm256_set_m128(at[5], at[1]);
    const __m256 e = _mm256_set_m128(at[6], at[2]), f = _mm256_set_m128(at[7], at[3]);
    const __m256 ab = _mm256_unpacklo_ps(a, b), abW = _mm256_unpackhi_ps(a, b);
    const __m256 ef = _mm256_unpacklo_ps(e, f), efW = _mm256_unpackhi_ps(e, f);
    const __m256 x = _mm256_shuffle_ps(ab, ef, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 y = _mm256_shuffle_ps(ab, ef, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 w = _mm256_shuffle_ps(abW, efW, _MM_SHUFFLE(1, 0, 1, 0));

    const __m256 qx = _mm256_div_ps(x, w), qy = _mm256_div_ps(y, w);
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const __m256 limit = _mm256_set1_ps(32768.0f);
    // Ordered compares: a quotient that is not a number fails them.
    const __m256 small = _mm256_and_ps(_mm256_cmp_ps(_mm256_and_ps(qx, magnitude), limit, _CMP_LT_OQ),
                                       _mm256_cmp_ps(_mm256_and_ps(qy, magnitude), limit, _CMP_LT_OQ));
    __m256i kx, ky;
    if (_mm256_movemask_ps(small) == 0xff) {
        const __m256 scale = _mm256_set1_ps(512.0f);
        kx = _mm256_cvttps_epi32(_mm256_mul_ps(qx, scale));
        ky = _mm256_cvttps_epi32(_mm256_mul_ps(qy, scale));
    } else {
        kx = FixedInDouble(x, w);
        ky = FixedInDouble(y, w);
    }

    const __m256i low9 = _mm256_set1_epi32(511);
    const __m256i fx = _mm256_and_si256(kx, low9), fy = _mm256_and_si256(ky, low9);
    // fx fy < 2^18: the 16-bit multiply-add of (fx, 0) and (fy, 0) is the product.
    const __m256i w11 = _mm256_srli_epi32(_mm256_madd_epi16(fx, fy), 9);
    const __m256i w10 = _mm256_sub_epi32(fx, w11), w01 = _mm256_sub_epi32(fy, w11);
    const __m256i w00 = _mm256_add_epi32(_mm256_sub_epi32(_mm256_sub_epi32(_mm256_set1_epi32(512), fx), fy), w11);
    const __m256i first = _mm256_or_si256(w00, _mm256_slli_epi32(kRgb ? w01 : w10, 16));
    const __m256i second = _mm256_or_si256(kRgb ? w10 : w01, _mm256_slli_epi32(w11, 16));
    _mm256_store_si256(reinterpret_cast<__m256i*>(c.first + i), first);
    _mm256_store_si256(reinterpret_cast<__m256i*>(c.second + i), second);
    // ix b (ix is below 2^22 in magnitude, so 3 ix fits 32 bits)
    // and iy widened to 64 bits; iy times the stride as a signed 64-bit product.
    const __m256i ix = _mm256_srai_epi32(kx, 9), iy = _mm256_srai_epi32(ky, 9);
    const __m256i across = kRgb ? _mm256_add_epi32(ix, _mm256_add_epi32(ix, ix)) : ix;
    const __m256i rowBytes = _mm256_set1_epi64x(stride);
    const __m256i lo = _mm256_add_epi64(_mm256_mul_epi32(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(iy)), rowBytes),
                                        _mm256_cvtepi32_epi64(_mm256_castsi256_si128(across)));
    const __m256i hi = _mm256_add_epi64(_mm256_mul_epi32(_mm256_cvtepi32_epi64(_mm256_extracti128_si256(iy, 1)), rowBytes),
                                        _mm256_cvtepi32_epi64(_mm256_extracti128_si256(across, 1)));
    _mm256_store_si256(reinterpret_cast<__m256i*>(c.offset + i), lo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(c.offset + i + 4), hi);
    // As in the SSE2 loop: the first pixel's rows fetched ahead, the address
    // formed as an integer.
    const uintptr_t ahead = reinterpret_cast<uintptr_t>(source) + static_cast<uintptr_t>(c.offset[i]);
    _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(ahead + static_cast<uintptr_t>(stride)), _MM_HINT_T0);
}

// The two rows of a three-byte pixel as the SSSE3 sampler loads them (the
// stride is at least 8): bytes 0-7 the top row from P00 on, bytes 8-15 the
// bottom row from two bytes before P01.
inline __m128i RgbRows(const uint8_t* p, ptrdiff_t stride)
{
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))),
                                         reinterpret_cast<const double*>(p + stride - 2)));
}

// The SSSE3 sampler's byte shuffles: (P00c, P01c) and (P10c, P11c) as
// 16-bit pairs for c = 0, 1, 2, the fourth pair zero.
#define ROWMAP_LEFT 0, -1, 10, -1, 1, -1, 11, -1, 2, -1, 12, -1, -1, -1, -1, -1
#define ROWMAP_RIGHT 3, -1, 13, -1, 4, -1, 14, -1, 5, -1, 15, -1, -1, -1, -1, -1

// One three-byte pixel: the SSSE3 sampler's operations, its low three bytes.
inline uint32_t SampleRgbOne(const uint8_t* p, ptrdiff_t stride, int32_t first, int32_t second)
{
    const __m128i rows = RgbRows(p, stride);
    const __m128i sum =
        _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(rows, _mm_setr_epi8(ROWMAP_LEFT)), _mm_set1_epi32(first)),
                      _mm_madd_epi16(_mm_shuffle_epi8(rows, _mm_setr_epi8(ROWMAP_RIGHT)), _mm_set1_epi32(second)));
    const __m128i lowBytes = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi8(_mm_srli_epi32(sum, 9), lowBytes)));
}

// Pixels k and k + 4 of a group (rows loaded side by side): the channel
// sums, each below 2^17, shifted to the eight-bit samples in dwords 0-2 of
// each half.
template <int k>
inline __m256i SampleRgbPair(__m256i rows, __m256i first, __m256i second)
{
    const __m256i left = _mm256_setr_epi8(ROWMAP_LEFT, ROWMAP_LEFT);
    const __m256i right = _mm256_setr_epi8(ROWMAP_RIGHT, ROWMAP_RIGHT);
    const __m256i sum = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_shuffle_epi8(rows, left), _mm256_shuffle_epi32(first, k * 0x55)),
        _mm256_madd_epi16(_mm256_shuffle_epi8(rows, right), _mm256_shuffle_epi32(second, k * 0x55)));
    return _mm256_srli_epi32(sum, 9);
}

#undef ROWMAP_LEFT
#undef ROWMAP_RIGHT

// Eight three-byte pixels from pixel i of the chunk: the samples of pixel j
// in byte lanes 0-2 of dword j (dword order 0 1 2 3 | 4 5 6 7).
inline __m256i SampleRgbEight(const uint8_t* source, ptrdiff_t stride, const Chunk8& c, int i)
{
    const uint8_t* p[8];
    for (int j = 0; j < 8; ++j) p[j] = source + c.offset[i + j];
    const __m256i first = _mm256_load_si256(reinterpret_cast<const __m256i*>(c.first + i));
    const __m256i second = _mm256_load_si256(reinterpret_cast<const __m256i*>(c.second + i));
    auto rows = [&](int j) { return _mm256_set_m128i(RgbRows(p[j + 4], stride), RgbRows(p[j], stride)); };
    const __m256i s0 = SampleRgbPair<0>(rows(0), first, second);  // pixels 0 | 4
    const __m256i s1 = SampleRgbPair<1>(rows(1), first, second);  // 1 | 5
    const __m256i s2 = SampleRgbPair<2>(rows(2), first, second);  // 2 | 6
    const __m256i s3 = SampleRgbPair<3>(rows(3), first, second);  // 3 | 7
    // Samples are at most 255: the saturating packs keep them.
    return _mm256_packus_epi16(_mm256_packus_epi32(s0, s1), _mm256_packus_epi32(s2, s3));
}

// Writes eight pixels (samples in dword j as above) overwriting: a first
// byte of 0 becomes 1, and exactly 24 bytes are stored.
inline void PutRgbEight(uint8_t* d, __m256i samples)
{
    samples = _mm256_max_epu8(samples, _mm256_set1_epi32(1));
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                          9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i packed =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(samples, pack), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(packed, 1));
}

template <bool kAverage>
void RgbLoop(const RowMapping& r)
{
    const ptrdiff_t stride = r.stride;
    const uint8_t* source = r.source;
    uint8_t* d = r.destination;
    __m128 sums = _mm_setr_ps(r.xw, r.yw, r.w, 0.0f);
    const __m128 steps = _mm_setr_ps(r.dxw, r.dyw, r.dw, 0.0f);
    Chunk8 chunk;
    for (int done = 0; done < r.n; done += kChunk8) {
        const int count = r.n - done < kChunk8 ? r.n - done : kChunk8;
        for (int i = 0; i < count; i += 8) NextEight<true>(sums, steps, source, stride, chunk, i);
        int i = 0;
        for (; i + 8 <= count; i += 8, d += 24) {
            const __m256i samples = SampleRgbEight(source, stride, chunk, i);
            if (!kAverage) {
                PutRgbEight(d, samples);
                continue;
            }
            alignas(32) uint32_t v[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(v), samples);
            for (int j = 0; j < 8; ++j) PutBytes<3, true>(d + 3 * j, v[j]);
        }
        for (; i < count; ++i, d += 3) {
            const uint8_t* p = source + chunk.offset[i];
            PutBytes<3, kAverage>(d, SampleRgbOne(p, stride, chunk.first[i], chunk.second[i]));
        }
    }
}

template <bool kAverage>
void GreyLoop(const RowMapping& r)
{
    const ptrdiff_t stride = r.stride;
    const uint8_t* source = r.source;
    uint8_t* d = r.destination;
    __m128 sums = _mm_setr_ps(r.xw, r.yw, r.w, 0.0f);
    const __m128 steps = _mm_setr_ps(r.dxw, r.dyw, r.dw, 0.0f);
    Chunk8 chunk;
    for (int done = 0; done < r.n; done += kChunk8) {
        const int count = r.n - done < kChunk8 ? r.n - done : kChunk8;
        for (int i = 0; i < count; i += 8) NextEight<false>(sums, steps, source, stride, chunk, i);
        for (int i = 0; i < count; ++i, ++d) {
            const uint8_t* p = source + chunk.offset[i];
            alignas(8) const int32_t pair[2] = {chunk.first[i], chunk.second[i]};
            PutBytes<1, kAverage>(d, SampleGrey(p, stride, pair));
        }
    }
}

}  // namespace

void RowAvx2Loop(const RowMapping& r)
{
    if (r.channels == 3) {
        r.average ? RgbLoop<true>(r) : RgbLoop<false>(r);
    } else {
        r.average ? GreyLoop<true>(r) : GreyLoop<false>(r);
    }
}

}  // namespace rowmap
