// AVX2 forward transform of two horizontally neighbouring blocks at once,
// lane 0 the left block and lane 1 the right one: the SSE2 transform's
// instructions on twice the width, hence its values. Entered only where the
// processor has AVX2 (target attribute).
#include "jpeg/jpeg_fdct.h"

#include "jpeg/jpeg_tables.h"

#if defined(__x86_64__)
#include "jpeg/jpeg_avx2.h"

#include <immintrin.h>

namespace {

template <int Shift>
JPEG_AVX2 inline __m256i DescalePack256(__m256i lo, __m256i hi)
{
    const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, round), Shift),
                              _mm256_srai_epi32(_mm256_add_epi32(hi, round), Shift));
}

template <bool FirstPass>
JPEG_AVX2 inline void Fdct1DAvx2(__m256i d[8])
{
    constexpr int oddShift = FirstPass ? kConstBits - kPass1Bits : kConstBits + kPass1Bits;
    const __m256i tmp0 = _mm256_add_epi16(d[0], d[7]), tmp7 = _mm256_sub_epi16(d[0], d[7]);
    const __m256i tmp1 = _mm256_add_epi16(d[1], d[6]), tmp6 = _mm256_sub_epi16(d[1], d[6]);
    const __m256i tmp2 = _mm256_add_epi16(d[2], d[5]), tmp5 = _mm256_sub_epi16(d[2], d[5]);
    const __m256i tmp3 = _mm256_add_epi16(d[3], d[4]), tmp4 = _mm256_sub_epi16(d[3], d[4]);
    const __m256i tmp10 = _mm256_add_epi16(tmp0, tmp3), tmp13 = _mm256_sub_epi16(tmp0, tmp3);
    const __m256i tmp11 = _mm256_add_epi16(tmp1, tmp2), tmp12 = _mm256_sub_epi16(tmp1, tmp2);

    if (FirstPass) {
        d[0] = _mm256_slli_epi16(_mm256_add_epi16(tmp10, tmp11), kPass1Bits);
        d[4] = _mm256_slli_epi16(_mm256_sub_epi16(tmp10, tmp11), kPass1Bits);
    } else {
        const __m256i round = _mm256_set1_epi16(1 << (kPass1Bits - 1));
        d[0] = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(tmp10, tmp11), round), kPass1Bits);
        d[4] = _mm256_srai_epi16(_mm256_add_epi16(_mm256_sub_epi16(tmp10, tmp11), round), kPass1Bits);
    }
    const __m256i e_lo = _mm256_unpacklo_epi16(tmp12, tmp13), e_hi = _mm256_unpackhi_epi16(tmp12, tmp13);
    const __m256i k2 = Pair256(k0_541196100, k0_541196100 + k0_765366865);
    const __m256i k6 = Pair256(k0_541196100 - k1_847759065, k0_541196100);
    d[2] = DescalePack256<oddShift>(_mm256_madd_epi16(e_lo, k2), _mm256_madd_epi16(e_hi, k2));
    d[6] = DescalePack256<oddShift>(_mm256_madd_epi16(e_lo, k6), _mm256_madd_epi16(e_hi, k6));

    const __m256i a3 = _mm256_add_epi16(tmp4, tmp6), a4 = _mm256_add_epi16(tmp5, tmp7);
    const __m256i a34lo = _mm256_unpacklo_epi16(a3, a4), a34hi = _mm256_unpackhi_epi16(a3, a4);
    const __m256i kZ3 = Pair256(k1_175875602 - k1_961570560, k1_175875602);
    const __m256i kZ4 = Pair256(k1_175875602, k1_175875602 - k0_390180644);
    const __m256i z3lo = _mm256_madd_epi16(a34lo, kZ3), z3hi = _mm256_madd_epi16(a34hi, kZ3);
    const __m256i z4lo = _mm256_madd_epi16(a34lo, kZ4), z4hi = _mm256_madd_epi16(a34hi, kZ4);
    const __m256i p47lo = _mm256_unpacklo_epi16(tmp4, tmp7), p47hi = _mm256_unpackhi_epi16(tmp4, tmp7);
    const __m256i k7 = Pair256(k0_298631336 - k0_899976223, -k0_899976223);
    const __m256i k1 = Pair256(-k0_899976223, k1_501321110 - k0_899976223);
    d[7] = DescalePack256<oddShift>(_mm256_add_epi32(_mm256_madd_epi16(p47lo, k7), z3lo),
                                 _mm256_add_epi32(_mm256_madd_epi16(p47hi, k7), z3hi));
    d[1] = DescalePack256<oddShift>(_mm256_add_epi32(_mm256_madd_epi16(p47lo, k1), z4lo),
                                 _mm256_add_epi32(_mm256_madd_epi16(p47hi, k1), z4hi));
    const __m256i p56lo = _mm256_unpacklo_epi16(tmp5, tmp6), p56hi = _mm256_unpackhi_epi16(tmp5, tmp6);
    const __m256i k5 = Pair256(k2_053119869 - k2_562915447, -k2_562915447);
    const __m256i k3 = Pair256(-k2_562915447, k3_072711026 - k2_562915447);
    d[5] = DescalePack256<oddShift>(_mm256_add_epi32(_mm256_madd_epi16(p56lo, k5), z4lo),
                                 _mm256_add_epi32(_mm256_madd_epi16(p56hi, k5), z4hi));
    d[3] = DescalePack256<oddShift>(_mm256_add_epi32(_mm256_madd_epi16(p56lo, k3), z3lo),
                                 _mm256_add_epi32(_mm256_madd_epi16(p56hi, k3), z3hi));
}

}  // namespace

JPEG_AVX2 void ForwardDctIslowAvx2Pair(const int16_t* samples, ptrdiff_t stride, int16_t out[128])
{
    __m256i r[8];
    for (int y = 0; y < 8; ++y) r[y] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + y * stride));
    Transpose8x8Lanes(r);
    Fdct1DAvx2<true>(r);
    Transpose8x8Lanes(r);
    Fdct1DAvx2<false>(r);
    for (int v = 0; v < 8; ++v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * v), _mm256_castsi256_si128(r[v]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 64 + 8 * v), _mm256_extracti128_si256(r[v], 1));
    }
}

#endif
