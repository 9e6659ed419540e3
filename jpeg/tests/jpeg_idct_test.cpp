// The inverse transform: the SSE2 form must give the scalar form's bytes on
// the coefficient blocks real files produce, the DC-only shortcut must give
// the full transform's value, and the scalar form must be an accurate IDCT
// (within 1 of the textbook formula evaluated in double precision).
#include "jpeg/jpeg_idct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace {

// Textbook 2-D IDCT with the level shift, rounded and clamped.
void ReferenceIdct(const int16_t coef[64], const uint16_t quant[64], uint8_t out[64])
{
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    const double cu = u == 0 ? std::sqrt(0.5) : 1, cv = v == 0 ? std::sqrt(0.5) : 1;
                    sum += cu * cv * coef[v * 8 + u] * quant[v * 8 + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
                           std::cos((2 * y + 1) * v * M_PI / 16);
                }
            const double value = std::round(sum / 4 + 128);
            out[y * 8 + x] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
        }
}

// Forward DCT of a pixel block, quantised: the coefficients an encoder writes.
void QuantisedBlock(const uint8_t pixels[64], const uint16_t quant[64], int16_t coef[64])
{
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += (pixels[y * 8 + x] - 128) * std::cos((2 * x + 1) * u * M_PI / 16) *
                           std::cos((2 * y + 1) * v * M_PI / 16);
            const double cu = u == 0 ? std::sqrt(0.5) : 1, cv = v == 0 ? std::sqrt(0.5) : 1;
            coef[v * 8 + u] = static_cast<int16_t>(std::lround(cu * cv * sum / 4 / quant[v * 8 + u]));
        }
}

struct BlockCase {
    const char* name;
    int quantScale;  // 1: fine steps, larger: coarser
    bool noise;      // texture or smooth ramps
};

class IdctBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(IdctBlocks, Sse2EqualsScalarAndScalarIsAccurate)
{
    const BlockCase bc = GetParam();
    std::mt19937 rng(42 + bc.quantScale);
    int worst = 0;
    for (int trial = 0; trial < 400; ++trial) {
        uint8_t pixels[64];
        const int base = static_cast<int>(rng() % 256);
        const int slopeX = static_cast<int>(rng() % 41) - 20, slopeY = static_cast<int>(rng() % 41) - 20;
        for (int i = 0; i < 64; ++i) {
            int v = base + slopeX * (i % 8) + slopeY * (i / 8);
            if (bc.noise) v += static_cast<int>(rng() % 121) - 60;
            pixels[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        uint16_t quant[64];
        for (int i = 0; i < 64; ++i) quant[i] = static_cast<uint16_t>(1 + (rng() % (bc.quantScale * (1 + i / 8))));
        int16_t coef[64];
        QuantisedBlock(pixels, quant, coef);

        uint8_t scalar[64], simd[64], reference[64];
        IdctIslowScalar(coef, quant, scalar, 8);
        IdctIslowSse2(coef, quant, simd, 8);
        ReferenceIdct(coef, quant, reference);
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(simd[i], scalar[i]) << "trial " << trial << " sample " << i;
            worst = std::max(worst, std::abs(int(scalar[i]) - int(reference[i])));
        }
    }
    EXPECT_LE(worst, 1) << "the integer transform strays from the exact IDCT";
}

INSTANTIATE_TEST_SUITE_P(Blocks, IdctBlocks,
                         ::testing::Values(BlockCase{"fine_smooth", 1, false}, BlockCase{"fine_texture", 1, true},
                                           BlockCase{"coarse_smooth", 12, false},
                                           BlockCase{"coarse_texture", 12, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IdctDcValue, EqualsTheFullTransformOfADcOnlyBlock)
{
    uint16_t quant[64];
    for (int i = 0; i < 64; ++i) quant[i] = static_cast<uint16_t>(i == 0 ? 1 : 7);
    for (int q0 : {1, 2, 5, 16, 255}) {
        quant[0] = static_cast<uint16_t>(q0);
        for (int dc = -1100 / q0 - 2; dc <= 1100 / q0 + 2; ++dc) {
            int16_t coef[64] = {};
            coef[0] = static_cast<int16_t>(dc);
            uint8_t full[64];
            IdctIslowScalar(coef, quant, full, 8);
            const uint8_t value = IdctDcValue(coef[0], quant[0]);
            for (int i = 0; i < 64; ++i) ASSERT_EQ(full[i], value) << "dc " << dc << " q " << q0;
        }
    }
}

}  // namespace
