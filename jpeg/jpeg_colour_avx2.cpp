// AVX2 row converters of the JPEG decoder: 32 pixels per step, the same
// bytes as the table converters. The four chroma products are formed with
// rounding multiplies whose constants give, for every one of the 256 chroma
// samples, exactly the rounded product the tables hold (the tests check all
// of them); the clamp is the saturating pack plus the table's rule for sums
// below 1. Entered only where the processor has AVX2 (target attribute, so
// that nothing in this file leaks AVX2 code into shared inline functions).
#include "jpeg/jpeg_colour.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define JPEG_AVX2 __attribute__((target("avx2")))

namespace {

// round(1.772 c) = (2c * 29033 + 2^14) >> 15, and so on: the multiplier of
// each product and the factor its chroma value is taken with.
constexpr short kCbBlue = 29033;   // with 2c
constexpr short kCbGreen = -11277; // with c
constexpr short kCrGreen = -23423; // with c
constexpr short kCrRed = 22970;    // with 2c

struct Terms {
    __m256i blue, green, red;
};

JPEG_AVX2 inline Terms ChromaTerms(__m256i cb, __m256i cr)
{
    const __m256i cb2 = _mm256_add_epi16(cb, cb), cr2 = _mm256_add_epi16(cr, cr);
    Terms t;
    t.blue = _mm256_mulhrs_epi16(cb2, _mm256_set1_epi16(kCbBlue));
    t.green = _mm256_add_epi16(_mm256_mulhrs_epi16(cb, _mm256_set1_epi16(kCbGreen)),
                               _mm256_mulhrs_epi16(cr, _mm256_set1_epi16(kCrGreen)));
    t.red = _mm256_mulhrs_epi16(cr2, _mm256_set1_epi16(kCrRed));
    return t;
}

// Sums (16-bit, -227..481) to bytes: above 255 gives 255, below `floor`
// (1 under forcing, else 0) gives 1.
JPEG_AVX2 inline __m256i Clamp(__m256i lo, __m256i hi, __m256i floor)
{
    const __m256i bytes = _mm256_packus_epi16(lo, hi);
    const __m256i below = _mm256_packs_epi16(_mm256_cmpgt_epi16(floor, lo), _mm256_cmpgt_epi16(floor, hi));
    return _mm256_or_si256(bytes, _mm256_and_si256(below, _mm256_set1_epi8(1)));
}

// Interleaves 32 blue, green and red bytes (lane 0 pixels 0-15, lane 1
// pixels 16-31) into 96 bytes of blue, green, red.
JPEG_AVX2 inline void StoreBgr(__m256i b, __m256i g, __m256i r, uint8_t* out)
{
    const __m256i b0 = _mm256_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5, 0, -1, -1, 1, -1, -1,
                                        2, -1, -1, 3, -1, -1, 4, -1, -1, 5);
    const __m256i g0 = _mm256_setr_epi8(-1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, -1, 0, -1, -1, 1,
                                        -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1);
    const __m256i r0 = _mm256_setr_epi8(-1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, -1, 0, -1, -1,
                                        1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1);
    const __m256i b1 = _mm256_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1, -1, -1, 6, -1, -1,
                                        7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1);
    const __m256i g1 = _mm256_setr_epi8(5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, 5, -1, -1, 6, -1,
                                        -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10);
    const __m256i r1 = _mm256_setr_epi8(-1, 5, -1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, -1, 5, -1, -1, 6,
                                        -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1);
    const __m256i b2 = _mm256_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1, -1, 11, -1,
                                        -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1);
    const __m256i g2 = _mm256_setr_epi8(-1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1, -1, 11,
                                        -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1);
    const __m256i r2 = _mm256_setr_epi8(10, -1, -1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, 10, -1, -1,
                                        11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15);
    const __m256i o0 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, b0), _mm256_shuffle_epi8(g, g0)),
                                       _mm256_shuffle_epi8(r, r0));
    const __m256i o1 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, b1), _mm256_shuffle_epi8(g, g1)),
                                       _mm256_shuffle_epi8(r, r1));
    const __m256i o2 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, b2), _mm256_shuffle_epi8(g, g2)),
                                       _mm256_shuffle_epi8(r, r2));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(o0, o1, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(o2, o0, 0x30));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm256_permute2x128_si256(o1, o2, 0x31));
}

// 32 pixels from luminance bytes and the chroma terms of pixels 0-7 and
// 16-23 (lo) and 8-15 and 24-31 (hi), the order unpacking gives.
JPEG_AVX2 inline void Pixels32(__m256i y, const Terms& lo, const Terms& hi, __m256i floor, uint8_t* out)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ylo = _mm256_unpacklo_epi8(y, zero), yhi = _mm256_unpackhi_epi8(y, zero);
    const __m256i b = Clamp(_mm256_add_epi16(ylo, lo.blue), _mm256_add_epi16(yhi, hi.blue), floor);
    const __m256i g = Clamp(_mm256_add_epi16(ylo, lo.green), _mm256_add_epi16(yhi, hi.green), floor);
    const __m256i r = Clamp(_mm256_add_epi16(ylo, lo.red), _mm256_add_epi16(yhi, hi.red), floor);
    StoreBgr(b, g, r, out);
}

JPEG_AVX2 inline __m256i Load32(const uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

JPEG_AVX2 void ConvertRowYCbCrAvx2(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                                   uint8_t* bgr, int width)
{
    const __m256i floor = _mm256_set1_epi16(t.forceZeroToOne ? 1 : 0);
    const __m256i zero = _mm256_setzero_si256(), centre = _mm256_set1_epi16(128);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i u = Load32(cb + x), v = Load32(cr + x);
        const Terms lo = ChromaTerms(_mm256_sub_epi16(_mm256_unpacklo_epi8(u, zero), centre),
                                     _mm256_sub_epi16(_mm256_unpacklo_epi8(v, zero), centre));
        const Terms hi = ChromaTerms(_mm256_sub_epi16(_mm256_unpackhi_epi8(u, zero), centre),
                                     _mm256_sub_epi16(_mm256_unpackhi_epi8(v, zero), centre));
        Pixels32(Load32(y + x), lo, hi, floor, bgr + 3 * x);
    }
    if (x < width) ConvertRowYCbCrScalar(t, y + x, cb + x, cr + x, bgr + 3 * x, width - x);
}

JPEG_AVX2 void ConvertRowYCbCrHalfChromaAvx2(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb,
                                             const uint8_t* cr, uint8_t* bgr, int width)
{
    const __m256i floor = _mm256_set1_epi16(t.forceZeroToOne ? 1 : 0);
    const __m256i centre = _mm256_set1_epi16(128);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        // Chroma samples 0-7 in lane 0 and 8-15 in lane 1; doubling each
        // within its lane lines them up with the unpacked luminance.
        const __m256i u = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x / 2))), centre);
        const __m256i v = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x / 2))), centre);
        const Terms c = ChromaTerms(u, v);
        Terms lo, hi;
        lo.blue = _mm256_unpacklo_epi16(c.blue, c.blue);
        hi.blue = _mm256_unpackhi_epi16(c.blue, c.blue);
        lo.green = _mm256_unpacklo_epi16(c.green, c.green);
        hi.green = _mm256_unpackhi_epi16(c.green, c.green);
        lo.red = _mm256_unpacklo_epi16(c.red, c.red);
        hi.red = _mm256_unpackhi_epi16(c.red, c.red);
        Pixels32(Load32(y + x), lo, hi, floor, bgr + 3 * x);
    }
    if (x < width) ConvertRowYCbCrHalfChromaScalar(t, y + x, cb + x / 2, cr + x / 2, bgr + 3 * x, width - x);
}

#endif
