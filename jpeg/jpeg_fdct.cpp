#include "jpeg/jpeg_fdct.h"

#include "jpeg/jpeg_sse2.h"
#include "jpeg/jpeg_tables.h"

#include <emmintrin.h>

namespace {

inline int32_t Descale(int32_t x, int n)
{
    return (x + (1 << (n - 1))) >> n;
}

// One 1-D pass over eight values `stride` apart. `evenShift` and `oddShift`
// take the results to the scale of the pass.
template <int EvenUp, int EvenDown, int OddDown>
inline void Fdct1D(int32_t* d, int stride)
{
    const int32_t d0 = d[0], d1 = d[stride], d2 = d[2 * stride], d3 = d[3 * stride];
    const int32_t d4 = d[4 * stride], d5 = d[5 * stride], d6 = d[6 * stride], d7 = d[7 * stride];
    const int32_t tmp0 = d0 + d7, tmp7 = d0 - d7;
    const int32_t tmp1 = d1 + d6, tmp6 = d1 - d6;
    const int32_t tmp2 = d2 + d5, tmp5 = d2 - d5;
    const int32_t tmp3 = d3 + d4, tmp4 = d3 - d4;

    const int32_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    const int32_t tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    if (EvenDown > 0) {
        d[0] = Descale(tmp10 + tmp11, EvenDown);
        d[4 * stride] = Descale(tmp10 - tmp11, EvenDown);
    } else {
        d[0] = (tmp10 + tmp11) * (1 << EvenUp);
        d[4 * stride] = (tmp10 - tmp11) * (1 << EvenUp);
    }
    const int32_t z1 = (tmp12 + tmp13) * k0_541196100;
    d[2 * stride] = Descale(z1 + tmp13 * k0_765366865, OddDown);
    d[6 * stride] = Descale(z1 - tmp12 * k1_847759065, OddDown);

    int32_t a1 = tmp4 + tmp7, a2 = tmp5 + tmp6, a3 = tmp4 + tmp6, a4 = tmp5 + tmp7;
    const int32_t z5 = (a3 + a4) * k1_175875602;
    const int32_t t4 = tmp4 * k0_298631336, t5 = tmp5 * k2_053119869;
    const int32_t t6 = tmp6 * k3_072711026, t7 = tmp7 * k1_501321110;
    a1 *= -k0_899976223;
    a2 *= -k2_562915447;
    a3 = a3 * -k1_961570560 + z5;
    a4 = a4 * -k0_390180644 + z5;
    d[7 * stride] = Descale(t4 + a1 + a3, OddDown);
    d[5 * stride] = Descale(t5 + a2 + a4, OddDown);
    d[3 * stride] = Descale(t6 + a2 + a3, OddDown);
    d[1 * stride] = Descale(t7 + a1 + a4, OddDown);
}

}  // namespace

void ForwardDctIslow(const int16_t samples[64], int32_t out[64])
{
    for (int i = 0; i < 64; ++i) out[i] = samples[i];
    // Rows: results scaled up by 2^kPass1Bits.
    for (int y = 0; y < 8; ++y) Fdct1D<kPass1Bits, 0, kConstBits - kPass1Bits>(out + 8 * y, 1);
    // Columns: back to 8 x the coefficients.
    for (int x = 0; x < 8; ++x) Fdct1D<0, kPass1Bits, kConstBits + kPass1Bits>(out + x, 8);
}

void JpegQuantiser::Set(const uint16_t naturalTable[64])
{
    for (int i = 0; i < 64; ++i) {
        const int q = naturalTable[i] < 1 ? 1 : naturalTable[i];
        table[i] = static_cast<uint16_t>(q);
        multiplier[i] = (8192 + q / 2) / q;
        m_multiplier16[i] = static_cast<int16_t>(multiplier[i]);
    }
}

void JpegQuantiser::QuantiseSse2(const int16_t coefficients[64], int16_t zigzag[64]) const
{
    // (F * M + 32768) >> 16 from the two halves of the 32-bit product: the
    // high half, plus one when the low half is 32768 or more.
    alignas(16) int16_t natural[64];
    for (int i = 0; i < 64; i += 8) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + i));
        const __m128i m = _mm_load_si128(reinterpret_cast<const __m128i*>(m_multiplier16 + i));
        const __m128i hi = _mm_mulhi_epi16(f, m);
        const __m128i carry = _mm_srli_epi16(_mm_mullo_epi16(f, m), 15);
        _mm_store_si128(reinterpret_cast<__m128i*>(natural + i), _mm_add_epi16(hi, carry));
    }
    for (int k = 0; k < 64; ++k) zigzag[k] = natural[kZigzagToNatural[k]];
}

namespace {

// One 1-D pass on eight lanes (registers are the eight inputs, in order).
// The sums before the products are exact in 16 bits for samples of 8-bit
// images; the rotations are formed pairwise with pmaddwd from the scalar
// form's constants.
template <bool FirstPass>
inline void Fdct1DSse2(__m128i d[8])
{
    constexpr int oddShift = FirstPass ? kConstBits - kPass1Bits : kConstBits + kPass1Bits;
    const __m128i tmp0 = _mm_add_epi16(d[0], d[7]), tmp7 = _mm_sub_epi16(d[0], d[7]);
    const __m128i tmp1 = _mm_add_epi16(d[1], d[6]), tmp6 = _mm_sub_epi16(d[1], d[6]);
    const __m128i tmp2 = _mm_add_epi16(d[2], d[5]), tmp5 = _mm_sub_epi16(d[2], d[5]);
    const __m128i tmp3 = _mm_add_epi16(d[3], d[4]), tmp4 = _mm_sub_epi16(d[3], d[4]);
    const __m128i tmp10 = _mm_add_epi16(tmp0, tmp3), tmp13 = _mm_sub_epi16(tmp0, tmp3);
    const __m128i tmp11 = _mm_add_epi16(tmp1, tmp2), tmp12 = _mm_sub_epi16(tmp1, tmp2);

    if (FirstPass) {
        d[0] = _mm_slli_epi16(_mm_add_epi16(tmp10, tmp11), kPass1Bits);
        d[4] = _mm_slli_epi16(_mm_sub_epi16(tmp10, tmp11), kPass1Bits);
    } else {
        const __m128i round = _mm_set1_epi16(1 << (kPass1Bits - 1));
        d[0] = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(tmp10, tmp11), round), kPass1Bits);
        d[4] = _mm_srai_epi16(_mm_add_epi16(_mm_sub_epi16(tmp10, tmp11), round), kPass1Bits);
    }
    const __m128i e_lo = _mm_unpacklo_epi16(tmp12, tmp13), e_hi = _mm_unpackhi_epi16(tmp12, tmp13);
    const __m128i k2 = Pair(k0_541196100, k0_541196100 + k0_765366865);
    const __m128i k6 = Pair(k0_541196100 - k1_847759065, k0_541196100);
    d[2] = DescalePack<oddShift>(_mm_madd_epi16(e_lo, k2), _mm_madd_epi16(e_hi, k2));
    d[6] = DescalePack<oddShift>(_mm_madd_epi16(e_lo, k6), _mm_madd_epi16(e_hi, k6));

    const __m128i a3 = _mm_add_epi16(tmp4, tmp6), a4 = _mm_add_epi16(tmp5, tmp7);
    const __m128i a34lo = _mm_unpacklo_epi16(a3, a4), a34hi = _mm_unpackhi_epi16(a3, a4);
    const __m128i kZ3 = Pair(k1_175875602 - k1_961570560, k1_175875602);
    const __m128i kZ4 = Pair(k1_175875602, k1_175875602 - k0_390180644);
    const __m128i z3lo = _mm_madd_epi16(a34lo, kZ3), z3hi = _mm_madd_epi16(a34hi, kZ3);
    const __m128i z4lo = _mm_madd_epi16(a34lo, kZ4), z4hi = _mm_madd_epi16(a34hi, kZ4);
    const __m128i p47lo = _mm_unpacklo_epi16(tmp4, tmp7), p47hi = _mm_unpackhi_epi16(tmp4, tmp7);
    const __m128i k7 = Pair(k0_298631336 - k0_899976223, -k0_899976223);
    const __m128i k1 = Pair(-k0_899976223, k1_501321110 - k0_899976223);
    d[7] = DescalePack<oddShift>(_mm_add_epi32(_mm_madd_epi16(p47lo, k7), z3lo),
                                 _mm_add_epi32(_mm_madd_epi16(p47hi, k7), z3hi));
    d[1] = DescalePack<oddShift>(_mm_add_epi32(_mm_madd_epi16(p47lo, k1), z4lo),
                                 _mm_add_epi32(_mm_madd_epi16(p47hi, k1), z4hi));
    const __m128i p56lo = _mm_unpacklo_epi16(tmp5, tmp6), p56hi = _mm_unpackhi_epi16(tmp5, tmp6);
    const __m128i k5 = Pair(k2_053119869 - k2_562915447, -k2_562915447);
    const __m128i k3 = Pair(-k2_562915447, k3_072711026 - k2_562915447);
    d[5] = DescalePack<oddShift>(_mm_add_epi32(_mm_madd_epi16(p56lo, k5), z4lo),
                                 _mm_add_epi32(_mm_madd_epi16(p56hi, k5), z4hi));
    d[3] = DescalePack<oddShift>(_mm_add_epi32(_mm_madd_epi16(p56lo, k3), z3lo),
                                 _mm_add_epi32(_mm_madd_epi16(p56hi, k3), z3hi));
}

}  // namespace

void ForwardDctIslowSse2(const int16_t samples[64], int16_t out[64])
{
    __m128i r[8];
    for (int y = 0; y < 8; ++y) r[y] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 8 * y));
    // Rows first: with the block transposed, each register is a column and
    // the lanes run down the rows.
    Transpose8x8(r);
    Fdct1DSse2<true>(r);
    Transpose8x8(r);
    Fdct1DSse2<false>(r);
    for (int v = 0; v < 8; ++v) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * v), r[v]);
}

void JpegQuantiser::Quantise(const int32_t coefficients[64], int16_t zigzag[64]) const
{
    for (int k = 0; k < 64; ++k) {
        const int n = kZigzagToNatural[k];
        zigzag[k] = static_cast<int16_t>((coefficients[n] * multiplier[n] + 32768) >> 16);
    }
}
