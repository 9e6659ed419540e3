// AVX2 inverse transform of two blocks at once, lane 0 the first and lane 1
// the second: the SSE2 transform's instructions on twice the width, hence
// its bytes. Entered only where the processor has AVX2 (target attribute).
#include "jpeg/jpeg_idct.h"

#include "jpeg/jpeg_tables.h"

#if defined(__x86_64__)
#include "jpeg/jpeg_avx2.h"

#include <immintrin.h>

namespace {

template <int Shift>
JPEG_AVX2 inline __m256i DescalePack256(__m256i lo, __m256i hi, __m256i round)
{
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, round), Shift),
                              _mm256_srai_epi32(_mm256_add_epi32(hi, round), Shift));
}

template <int Shift>
JPEG_AVX2 inline void Idct1DAvx2(__m256i r[8], __m256i round)
{
    // Even part.
    const __m256i r26lo = _mm256_unpacklo_epi16(r[2], r[6]), r26hi = _mm256_unpackhi_epi16(r[2], r[6]);
    const __m256i kTmp3 = Pair256(k0_541196100 + k0_765366865, k0_541196100);
    const __m256i kTmp2 = Pair256(k0_541196100, k0_541196100 - k1_847759065);
    const __m256i tmp3lo = _mm256_madd_epi16(r26lo, kTmp3), tmp3hi = _mm256_madd_epi16(r26hi, kTmp3);
    const __m256i tmp2lo = _mm256_madd_epi16(r26lo, kTmp2), tmp2hi = _mm256_madd_epi16(r26hi, kTmp2);
    const __m256i r04lo = _mm256_unpacklo_epi16(r[0], r[4]), r04hi = _mm256_unpackhi_epi16(r[0], r[4]);
    const __m256i kSum = Pair256(1 << kConstBits, 1 << kConstBits);
    const __m256i kDiff = Pair256(1 << kConstBits, -(1 << kConstBits));
    const __m256i tmp0lo = _mm256_madd_epi16(r04lo, kSum), tmp0hi = _mm256_madd_epi16(r04hi, kSum);
    const __m256i tmp1lo = _mm256_madd_epi16(r04lo, kDiff), tmp1hi = _mm256_madd_epi16(r04hi, kDiff);
    const __m256i t10lo = _mm256_add_epi32(tmp0lo, tmp3lo), t10hi = _mm256_add_epi32(tmp0hi, tmp3hi);
    const __m256i t13lo = _mm256_sub_epi32(tmp0lo, tmp3lo), t13hi = _mm256_sub_epi32(tmp0hi, tmp3hi);
    const __m256i t11lo = _mm256_add_epi32(tmp1lo, tmp2lo), t11hi = _mm256_add_epi32(tmp1hi, tmp2hi);
    const __m256i t12lo = _mm256_sub_epi32(tmp1lo, tmp2lo), t12hi = _mm256_sub_epi32(tmp1hi, tmp2hi);

    // Odd part.
    const __m256i z3 = _mm256_add_epi16(r[7], r[3]), z4 = _mm256_add_epi16(r[5], r[1]);
    const __m256i z34lo = _mm256_unpacklo_epi16(z3, z4), z34hi = _mm256_unpackhi_epi16(z3, z4);
    const __m256i kZ3 = Pair256(k1_175875602 - k1_961570560, k1_175875602);
    const __m256i kZ4 = Pair256(k1_175875602, k1_175875602 - k0_390180644);
    const __m256i z3lo = _mm256_madd_epi16(z34lo, kZ3), z3hi = _mm256_madd_epi16(z34hi, kZ3);
    const __m256i z4lo = _mm256_madd_epi16(z34lo, kZ4), z4hi = _mm256_madd_epi16(z34hi, kZ4);
    const __m256i r71lo = _mm256_unpacklo_epi16(r[7], r[1]), r71hi = _mm256_unpackhi_epi16(r[7], r[1]);
    const __m256i kO0 = Pair256(k0_298631336 - k0_899976223, -k0_899976223);
    const __m256i kO3 = Pair256(-k0_899976223, k1_501321110 - k0_899976223);
    const __m256i o0lo = _mm256_add_epi32(_mm256_madd_epi16(r71lo, kO0), z3lo);
    const __m256i o0hi = _mm256_add_epi32(_mm256_madd_epi16(r71hi, kO0), z3hi);
    const __m256i o3lo = _mm256_add_epi32(_mm256_madd_epi16(r71lo, kO3), z4lo);
    const __m256i o3hi = _mm256_add_epi32(_mm256_madd_epi16(r71hi, kO3), z4hi);
    const __m256i r53lo = _mm256_unpacklo_epi16(r[5], r[3]), r53hi = _mm256_unpackhi_epi16(r[5], r[3]);
    const __m256i kO1 = Pair256(k2_053119869 - k2_562915447, -k2_562915447);
    const __m256i kO2 = Pair256(-k2_562915447, k3_072711026 - k2_562915447);
    const __m256i o1lo = _mm256_add_epi32(_mm256_madd_epi16(r53lo, kO1), z4lo);
    const __m256i o1hi = _mm256_add_epi32(_mm256_madd_epi16(r53hi, kO1), z4hi);
    const __m256i o2lo = _mm256_add_epi32(_mm256_madd_epi16(r53lo, kO2), z3lo);
    const __m256i o2hi = _mm256_add_epi32(_mm256_madd_epi16(r53hi, kO2), z3hi);

    r[0] = DescalePack256<Shift>(_mm256_add_epi32(t10lo, o3lo), _mm256_add_epi32(t10hi, o3hi), round);
    r[7] = DescalePack256<Shift>(_mm256_sub_epi32(t10lo, o3lo), _mm256_sub_epi32(t10hi, o3hi), round);
    r[1] = DescalePack256<Shift>(_mm256_add_epi32(t11lo, o2lo), _mm256_add_epi32(t11hi, o2hi), round);
    r[6] = DescalePack256<Shift>(_mm256_sub_epi32(t11lo, o2lo), _mm256_sub_epi32(t11hi, o2hi), round);
    r[2] = DescalePack256<Shift>(_mm256_add_epi32(t12lo, o1lo), _mm256_add_epi32(t12hi, o1hi), round);
    r[5] = DescalePack256<Shift>(_mm256_sub_epi32(t12lo, o1lo), _mm256_sub_epi32(t12hi, o1hi), round);
    r[3] = DescalePack256<Shift>(_mm256_add_epi32(t13lo, o0lo), _mm256_add_epi32(t13hi, o0hi), round);
    r[4] = DescalePack256<Shift>(_mm256_sub_epi32(t13lo, o0lo), _mm256_sub_epi32(t13hi, o0hi), round);
}

}  // namespace

JPEG_AVX2 void IdctIslowAvx2Pair(const int16_t coef[128], const uint16_t quant[64], uint8_t* out, ptrdiff_t stride)
{
    __m256i r[8];
    for (int v = 0; v < 8; ++v) {
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + v * 8));
        const __m256i c = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + v * 8))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 64 + v * 8)), 1);
        r[v] = _mm256_mullo_epi16(c, _mm256_broadcastsi128_si256(q));
    }
    constexpr int pass1Shift = kConstBits - kPass1Bits;
    Idct1DAvx2<pass1Shift>(r, _mm256_set1_epi32(1 << (pass1Shift - 1)));
    Transpose8x8Lanes(r);
    constexpr int pass2Shift = kConstBits + kPass1Bits + 3;
    Idct1DAvx2<pass2Shift>(r, _mm256_set1_epi32((1 << (pass2Shift - 1)) + (128 << pass2Shift)));
    Transpose8x8Lanes(r);
    for (int y = 0; y < 8; y += 2) {
        // Quadwords: first block rows y and y + 1, second block rows y and
        // y + 1; reordered so that each 128-bit half is one image row.
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(r[y], r[y + 1]), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride), _mm256_castsi256_si128(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (y + 1) * stride), _mm256_extracti128_si256(bytes, 1));
    }
}

#endif
