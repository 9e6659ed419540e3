// Forward DCT and quantisation of the JPEG encoder: the accurate integer 8x8
// transform (the inverse of the decoder's, same 13-bit constants) whose
// outputs are 8 times the DCT coefficients, then quantisation by a
// multiplier per position, giving round-half-up of coefficient / Q, in
// zigzag order.
#pragma once

#include <cstddef>
#include <cstdint>

// `samples`: 64 level-shifted samples (-128..127) in natural order.
// `out`: 8 x the DCT coefficients, natural order. The SSE2 form gives the
// scalar form's values, which always fit 16 bits.
void ForwardDctIslow(const int16_t samples[64], int32_t out[64]);
void ForwardDctIslowSse2(const int16_t samples[64], int16_t out[64]);
// Two neighbouring blocks at once on AVX2 (only where the processor has it):
// 8 rows of 16 samples, `stride` samples apart, from `samples`; the left
// block's coefficients to out[0..63], the right one's to out[64..127].
void ForwardDctIslowAvx2Pair(const int16_t* samples, ptrdiff_t stride, int16_t out[128]);

struct JpegQuantiser {
    uint16_t table[64] = {};      // natural order, the values written in the DQT segment
    int32_t multiplier[64] = {};  // round(8192 / Q): 65536 / (8 Q)

    void Set(const uint16_t naturalTable[64]);
    // quantised = (F * M + 32768) >> 16, stored in zigzag order.
    void Quantise(const int32_t coefficients[64], int16_t zigzag[64]) const;
    void QuantiseSse2(const int16_t coefficients[64], int16_t zigzag[64]) const;

private:
    alignas(16) int16_t m_multiplier16[64] = {};
};
