// Inverse DCT of the JPEG decoder: the accurate integer 8x8 transform
// (Loeffler-Ligtenberg-Moschytz factorisation, 13-bit constants, two extra
// bits of precision between the passes), with dequantisation folded in and
// the level shift of 128 and the clamp to 0..255 at the end. The SSE2 form is
// what the decoder runs; the scalar form is the reference it must equal.
#pragma once

#include <cstddef>
#include <cstdint>

// `coef` holds quantised coefficients in natural order, `quant` the table in
// natural order; the product is taken modulo 2^16 like the SIMD multiply.
// Writes 8 rows of 8 samples, `stride` bytes apart.
void IdctIslowScalar(const int16_t coef[64], const uint16_t quant[64], uint8_t* out, ptrdiff_t stride);
void IdctIslowSse2(const int16_t coef[64], const uint16_t quant[64], uint8_t* out, ptrdiff_t stride);
// Two blocks at once on AVX2 (only where the processor has it): coefficients
// coef[0..63] and coef[64..127], both with `quant`; the second block's
// samples go 8 bytes right of the first's.
void IdctIslowAvx2Pair(const int16_t coef[128], const uint16_t quant[64], uint8_t* out, ptrdiff_t stride);

// The sample of a block whose only nonzero coefficient is the DC: the value
// the full transform gives for every pixel, also the block mean of
// one-eighth decoding.
inline uint8_t IdctDcValue(int16_t dcQuantised, uint16_t dcQuant)
{
    const int dc = static_cast<int16_t>(static_cast<uint16_t>(dcQuantised * dcQuant));
    const int v = ((dc + 4) >> 3) + 128;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}
