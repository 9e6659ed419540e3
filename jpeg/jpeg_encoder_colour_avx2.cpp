// AVX2 colour conversion of the JPEG encoder, eight pixels per step, the
// same samples as the integer forms of jpeg_encoder_colour.h. The quotients
// by 1000, 1772 and 1402 are taken in single precision: the numerators are
// exact in a float, a correctly rounded quotient below 128 in magnitude is
// within 8e-6 of the true one, and a true quotient that is not a whole
// number lies at least 1/1772 from one, so truncation gives the integer
// quotient. Whole-number chroma quotients, which the integer form hands to
// the floating reference, are detected and left to the scalar code.
#include "jpeg/jpeg_encoder_colour.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define JPEG_AVX2 __attribute__((target("avx2")))

namespace {

JPEG_AVX2 inline __m128i PackTo16(__m256i v)
{
    const __m256i packed = _mm256_packs_epi32(v, v);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08));
}

// Four of the eight values (lanes 0, 2, 4, 6), packed to 16 bits.
JPEG_AVX2 inline __m128i PackEvenTo16(__m256i v)
{
    const __m256i even = _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
    return _mm256_castsi256_si128(_mm256_packs_epi32(even, even));
}

// Truncated quotient of `num` by `divisor`, limited to -128..127; `exact`
// gets all ones in the lanes where the quotient is a whole number.
JPEG_AVX2 inline __m256i TruncatedQuotient(__m256i num, float divisor, int idivisor, __m256i& exact)
{
    __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(num), _mm256_set1_ps(divisor)));
    exact = _mm256_cmpeq_epi32(_mm256_mullo_epi32(q, _mm256_set1_epi32(idivisor)), num);
    q = _mm256_max_epi32(q, _mm256_set1_epi32(-128));
    return _mm256_min_epi32(q, _mm256_set1_epi32(127));
}

}  // namespace

namespace jpegcolour {

JPEG_AVX2 int ConvertRowAvx2(const uint8_t* bgr, int width, int step, int16_t* outY, int16_t* outCb, int16_t* outCr)
{
    // Pixels 0-3 of a step in lane 0, pixels 4-7 in lane 1 (bytes 12-23).
    const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
    const __m256i pickRG = _mm256_setr_epi8(2, -1, 1, -1, 5, -1, 4, -1, 8, -1, 7, -1, 11, -1, 10, -1, 2, -1, 1, -1, 5,
                                            -1, 4, -1, 8, -1, 7, -1, 11, -1, 10, -1);
    const __m256i pickB = _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1, 0, -1, -1, -1,
                                           3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m256i pickR = _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1, 2, -1, -1, -1,
                                           5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m256i weightsRG = _mm256_set1_epi32((587 << 16) | 299);
    const __m256i weightB = _mm256_set1_epi32(114);
    const __m256i thousand = _mm256_set1_epi32(1000);
    // Eight pixels read 32 bytes: stop where that would pass the row's end.
    int x = 0;
    for (; x + 11 <= width; x += 8) {
        const uint8_t* p = bgr + 3 * static_cast<ptrdiff_t>(x);
        const __m256i v = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), spread);
        const __m256i b = _mm256_shuffle_epi8(v, pickB);
        const __m256i n = _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(v, pickRG), weightsRG),
                                           _mm256_madd_epi16(b, weightB));
        const __m256i y = _mm256_cvttps_epi32(_mm256_div_ps(
            _mm256_cvtepi32_ps(_mm256_sub_epi32(n, _mm256_set1_epi32(128000))), _mm256_set1_ps(1000.0f)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outY + x), PackTo16(y));
        if (!outCb) continue;
        const __m256i r = _mm256_shuffle_epi8(v, pickR);
        __m256i exactB, exactR;
        const __m256i cb = TruncatedQuotient(_mm256_sub_epi32(_mm256_madd_epi16(b, thousand), n), 1772.0f, 1772, exactB);
        const __m256i cr = TruncatedQuotient(_mm256_sub_epi32(_mm256_madd_epi16(r, thousand), n), 1402.0f, 1402, exactR);
        if (step == 1) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(outCb + x), PackTo16(cb));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(outCr + x), PackTo16(cr));
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(outCb + x / 2), PackEvenTo16(cb));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(outCr + x / 2), PackEvenTo16(cr));
        }
        // A whole-number quotient takes the floating route of the scalar
        // form, in the lanes (of the pixels that carry chroma) where it occurs.
        const int evenLanes = step == 1 ? 0xFF : 0x55;
        int blue = _mm256_movemask_ps(_mm256_castsi256_ps(exactB)) & evenLanes;
        int red = _mm256_movemask_ps(_mm256_castsi256_ps(exactR)) & evenLanes;
        for (; blue; blue &= blue - 1) {
            const int i = __builtin_ctz(static_cast<unsigned>(blue));
            outCb[(x + i) / step] = static_cast<int16_t>(CbReference(p[3 * i], p[3 * i + 1], p[3 * i + 2]));
        }
        for (; red; red &= red - 1) {
            const int i = __builtin_ctz(static_cast<unsigned>(red));
            outCr[(x + i) / step] = static_cast<int16_t>(CrReference(p[3 * i], p[3 * i + 1], p[3 * i + 2]));
        }
    }
    return x;
}

}  // namespace jpegcolour

#endif
