#include "jpeg/jpeg_idct.h"

#include "jpeg/jpeg_sse2.h"
#include "jpeg/jpeg_tables.h"

#include <emmintrin.h>

namespace {

inline uint8_t ClampSample(int64_t v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// One 1-D transform of eight values (in[0] DC) into eight outputs, before the
// final descale. 64-bit arithmetic keeps any input free of overflow.
void Idct1DScalar(const int64_t in[8], int64_t out[8])
{
    int64_t z2 = in[2], z3 = in[6];
    int64_t z1 = (z2 + z3) * k0_541196100;
    const int64_t tmp2 = z1 - z3 * k1_847759065;
    const int64_t tmp3 = z1 + z2 * k0_765366865;
    z2 = in[0];
    z3 = in[4];
    const int64_t tmp0 = (z2 + z3) * (int64_t{1} << kConstBits);
    const int64_t tmp1 = (z2 - z3) * (int64_t{1} << kConstBits);
    const int64_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    const int64_t tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;

    int64_t o0 = in[7], o1 = in[5], o2 = in[3], o3 = in[1];
    z1 = o0 + o3;
    z2 = o1 + o2;
    z3 = o0 + o2;
    int64_t z4 = o1 + o3;
    const int64_t z5 = (z3 + z4) * k1_175875602;
    o0 *= k0_298631336;
    o1 *= k2_053119869;
    o2 *= k3_072711026;
    o3 *= k1_501321110;
    z1 *= -k0_899976223;
    z2 *= -k2_562915447;
    z3 = z3 * -k1_961570560 + z5;
    z4 = z4 * -k0_390180644 + z5;
    o0 += z1 + z3;
    o1 += z2 + z4;
    o2 += z2 + z3;
    o3 += z1 + z4;

    out[0] = tmp10 + o3;
    out[7] = tmp10 - o3;
    out[1] = tmp11 + o2;
    out[6] = tmp11 - o2;
    out[2] = tmp12 + o1;
    out[5] = tmp12 - o1;
    out[3] = tmp13 + o0;
    out[4] = tmp13 - o0;
}

}  // namespace

void IdctIslowScalar(const int16_t coef[64], const uint16_t quant[64], uint8_t* out, ptrdiff_t stride)
{
    int64_t work[64];
    // Pass 1: columns, keeping kPass1Bits extra fraction bits.
    for (int u = 0; u < 8; ++u) {
        int64_t in[8], res[8];
        for (int v = 0; v < 8; ++v)
            in[v] = static_cast<int16_t>(static_cast<uint16_t>(coef[v * 8 + u] * quant[v * 8 + u]));
        Idct1DScalar(in, res);
        for (int y = 0; y < 8; ++y) {
            // The SIMD form keeps the intermediate in 16 bits; valid data never exceeds it.
            int64_t w = (res[y] + (int64_t{1} << (kConstBits - kPass1Bits - 1))) >> (kConstBits - kPass1Bits);
            work[y * 8 + u] = w < -32768 ? -32768 : w > 32767 ? 32767 : w;
        }
    }
    // Pass 2: rows, then the level shift and the clamp.
    constexpr int shift = kConstBits + kPass1Bits + 3;
    for (int y = 0; y < 8; ++y) {
        int64_t res[8];
        Idct1DScalar(&work[y * 8], res);
        uint8_t* row = out + y * stride;
        for (int x = 0; x < 8; ++x) row[x] = ClampSample(((res[x] + (int64_t{1} << (shift - 1))) >> shift) + 128);
    }
}

namespace {

// The 1-D transform on eight lanes at once; the products are formed pairwise
// with pmaddwd from the same constants as the scalar form, so the sums are
// identical.
template <int Shift>
inline void Idct1DSse2(__m128i r[8], __m128i round)
{
    // Even part.
    const __m128i r26lo = _mm_unpacklo_epi16(r[2], r[6]), r26hi = _mm_unpackhi_epi16(r[2], r[6]);
    const __m128i kTmp3 = Pair(k0_541196100 + k0_765366865, k0_541196100);
    const __m128i kTmp2 = Pair(k0_541196100, k0_541196100 - k1_847759065);
    const __m128i tmp3lo = _mm_madd_epi16(r26lo, kTmp3), tmp3hi = _mm_madd_epi16(r26hi, kTmp3);
    const __m128i tmp2lo = _mm_madd_epi16(r26lo, kTmp2), tmp2hi = _mm_madd_epi16(r26hi, kTmp2);
    const __m128i r04lo = _mm_unpacklo_epi16(r[0], r[4]), r04hi = _mm_unpackhi_epi16(r[0], r[4]);
    const __m128i kSum = Pair(1 << kConstBits, 1 << kConstBits);
    const __m128i kDiff = Pair(1 << kConstBits, -(1 << kConstBits));
    const __m128i tmp0lo = _mm_madd_epi16(r04lo, kSum), tmp0hi = _mm_madd_epi16(r04hi, kSum);
    const __m128i tmp1lo = _mm_madd_epi16(r04lo, kDiff), tmp1hi = _mm_madd_epi16(r04hi, kDiff);
    const __m128i t10lo = _mm_add_epi32(tmp0lo, tmp3lo), t10hi = _mm_add_epi32(tmp0hi, tmp3hi);
    const __m128i t13lo = _mm_sub_epi32(tmp0lo, tmp3lo), t13hi = _mm_sub_epi32(tmp0hi, tmp3hi);
    const __m128i t11lo = _mm_add_epi32(tmp1lo, tmp2lo), t11hi = _mm_add_epi32(tmp1hi, tmp2hi);
    const __m128i t12lo = _mm_sub_epi32(tmp1lo, tmp2lo), t12hi = _mm_sub_epi32(tmp1hi, tmp2hi);

    // Odd part.
    const __m128i z3 = _mm_add_epi16(r[7], r[3]), z4 = _mm_add_epi16(r[5], r[1]);
    const __m128i z34lo = _mm_unpacklo_epi16(z3, z4), z34hi = _mm_unpackhi_epi16(z3, z4);
    const __m128i kZ3 = Pair(k1_175875602 - k1_961570560, k1_175875602);
    const __m128i kZ4 = Pair(k1_175875602, k1_175875602 - k0_390180644);
    const __m128i z3lo = _mm_madd_epi16(z34lo, kZ3), z3hi = _mm_madd_epi16(z34hi, kZ3);
    const __m128i z4lo = _mm_madd_epi16(z34lo, kZ4), z4hi = _mm_madd_epi16(z34hi, kZ4);
    const __m128i r71lo = _mm_unpacklo_epi16(r[7], r[1]), r71hi = _mm_unpackhi_epi16(r[7], r[1]);
    const __m128i kO0 = Pair(k0_298631336 - k0_899976223, -k0_899976223);
    const __m128i kO3 = Pair(-k0_899976223, k1_501321110 - k0_899976223);
    const __m128i o0lo = _mm_add_epi32(_mm_madd_epi16(r71lo, kO0), z3lo);
    const __m128i o0hi = _mm_add_epi32(_mm_madd_epi16(r71hi, kO0), z3hi);
    const __m128i o3lo = _mm_add_epi32(_mm_madd_epi16(r71lo, kO3), z4lo);
    const __m128i o3hi = _mm_add_epi32(_mm_madd_epi16(r71hi, kO3), z4hi);
    const __m128i r53lo = _mm_unpacklo_epi16(r[5], r[3]), r53hi = _mm_unpackhi_epi16(r[5], r[3]);
    const __m128i kO1 = Pair(k2_053119869 - k2_562915447, -k2_562915447);
    const __m128i kO2 = Pair(-k2_562915447, k3_072711026 - k2_562915447);
    const __m128i o1lo = _mm_add_epi32(_mm_madd_epi16(r53lo, kO1), z4lo);
    const __m128i o1hi = _mm_add_epi32(_mm_madd_epi16(r53hi, kO1), z4hi);
    const __m128i o2lo = _mm_add_epi32(_mm_madd_epi16(r53lo, kO2), z3lo);
    const __m128i o2hi = _mm_add_epi32(_mm_madd_epi16(r53hi, kO2), z3hi);

    r[0] = DescalePack<Shift>(_mm_add_epi32(t10lo, o3lo), _mm_add_epi32(t10hi, o3hi), round);
    r[7] = DescalePack<Shift>(_mm_sub_epi32(t10lo, o3lo), _mm_sub_epi32(t10hi, o3hi), round);
    r[1] = DescalePack<Shift>(_mm_add_epi32(t11lo, o2lo), _mm_add_epi32(t11hi, o2hi), round);
    r[6] = DescalePack<Shift>(_mm_sub_epi32(t11lo, o2lo), _mm_sub_epi32(t11hi, o2hi), round);
    r[2] = DescalePack<Shift>(_mm_add_epi32(t12lo, o1lo), _mm_add_epi32(t12hi, o1hi), round);
    r[5] = DescalePack<Shift>(_mm_sub_epi32(t12lo, o1lo), _mm_sub_epi32(t12hi, o1hi), round);
    r[3] = DescalePack<Shift>(_mm_add_epi32(t13lo, o0lo), _mm_add_epi32(t13hi, o0hi), round);
    r[4] = DescalePack<Shift>(_mm_sub_epi32(t13lo, o0lo), _mm_sub_epi32(t13hi, o0hi), round);
}

}  // namespace

void IdctIslowSse2(const int16_t coef[64], const uint16_t quant[64], uint8_t* out, ptrdiff_t stride)
{
    __m128i r[8];
    for (int v = 0; v < 8; ++v) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + v * 8));
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + v * 8));
        r[v] = _mm_mullo_epi16(c, q);
    }
    constexpr int pass1Shift = kConstBits - kPass1Bits;
    Idct1DSse2<pass1Shift>(r, _mm_set1_epi32(1 << (pass1Shift - 1)));
    Transpose8x8(r);
    // The level shift rides on the rounding constant: adding 128 << shift
    // before the shift adds exactly 128 after it.
    constexpr int pass2Shift = kConstBits + kPass1Bits + 3;
    Idct1DSse2<pass2Shift>(r, _mm_set1_epi32((1 << (pass2Shift - 1)) + (128 << pass2Shift)));
    Transpose8x8(r);
    for (int y = 0; y < 8; y += 2) {
        const __m128i bytes = _mm_packus_epi16(r[y], r[y + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride), _mm_srli_si128(bytes, 8));
    }
}
