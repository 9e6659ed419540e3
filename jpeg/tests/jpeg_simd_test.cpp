// The vector paths of the codec against the scalar reference: every JPEG of
// the shared test data must decode to the same bytes (or fail the same way)
// on every instruction-set level this processor runs, at full and at
// one-eighth scale; the row converters must agree at every row width,
// including the tails that the vector loops leave to the scalar code, and
// must not write past the row.
#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_colour.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_fdct.h"
#include "jpeg/jpeg_idct.h"
#include "jpeg/jpeg_simd.h"
#include "jpeg/tests/jpeg_test_support.h"
#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <cstring>
#include <random>

namespace {

// Restores the processor's best level when a test ends.
struct SimdLevelGuard {
    ~SimdLevelGuard() { SetJpegSimdLevel(JpegSimdBest()); }
};

std::vector<JpegSimd> Levels()
{
    std::vector<JpegSimd> levels;
    for (int l = 0; l <= static_cast<int>(JpegSimdBest()); ++l) levels.push_back(static_cast<JpegSimd>(l));
    return levels;
}

std::vector<std::string> SharedJpegFiles()
{
    const char* const folders[] = {"libjpeg-turbo", "libjxl-testdata", "wuffs", "jpeg-decoder",
                                   "huginsample-durlach", "skimage-tutorials-pano", "pannellum"};
    std::vector<std::string> files;
    for (const char* folder : folders) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(testkit::TestData(folder), ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (it->is_regular_file() && (ext == ".jpg" || ext == ".jpeg"))
                files.push_back(std::filesystem::relative(it->path(), testkit::TestData()).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct Outcome {
    bool decoded = false;
    std::vector<uint8_t> pixels;
};

Outcome Decode(const jpegtest::Bytes& data, bool oneEighth)
{
    Outcome out;
    JpegDecoder decoder(std::make_unique<MemoryByteSource>(data.data(), data.size()), false, oneEighth);
    if (!decoder.ReadHeader()) return out;
    Image image(decoder.OutputWidth(), decoder.OutputHeight(), decoder.Components());
    out.decoded = decoder.DecodeImage(&image);
    const size_t rowBytes = static_cast<size_t>(image.GetWidth()) * image.GetChannels();
    for (int y = 0; out.decoded && y < image.GetHeight(); ++y) {
        const uint8_t* row = image.GetData() + static_cast<size_t>(y) * image.GetRowByte();
        out.pixels.insert(out.pixels.end(), row, row + rowBytes);
    }
    return out;
}

class SimdOnSharedFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(SimdOnSharedFiles, EveryLevelGivesTheScalarBytes)
{
    SimdLevelGuard guard;
    const std::string path = testkit::TestData(GetParam()).string();
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
    const jpegtest::Bytes data = jpegtest::ReadFileBytes(path);
    LogCapture log;  // damaged files log their WARNING lines here
    for (bool oneEighth : {false, true}) {
        SetJpegSimdLevel(JpegSimd::kScalar);
        const Outcome reference = Decode(data, oneEighth);
        for (JpegSimd level : Levels()) {
            if (level == JpegSimd::kScalar) continue;
            SetJpegSimdLevel(level);
            const Outcome vector = Decode(data, oneEighth);
            EXPECT_EQ(vector.decoded, reference.decoded) << "level " << int(level) << " eighth " << oneEighth;
            EXPECT_TRUE(vector.pixels == reference.pixels) << "level " << int(level) << " eighth " << oneEighth;
        }
    }
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, SimdOnSharedFiles, ::testing::ValuesIn(SharedJpegFiles()), TestName);

TEST(SimdOnSharedFilesList, FindsTheSharedFiles)
{
    EXPECT_GE(SharedJpegFiles().size(), 100u);
}

// Random rows of every width from 1 to 160, both forcing modes, full and
// half-width chroma; a guard area after the row must stay untouched.
TEST(SimdColourRows, EveryWidthMatchesTheTables)
{
    if (JpegSimdBest() != JpegSimd::kAvx2) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    constexpr int kGuard = 64;
    for (bool force : {true, false}) {
        JpegColourTables t;
        t.Build(force);
        for (int width = 1; width <= 160; ++width) {
            std::vector<uint8_t> y(width), cb(width), cr(width);
            for (int i = 0; i < width; ++i) {
                y[i] = static_cast<uint8_t>(byte(rng));
                cb[i] = static_cast<uint8_t>(byte(rng));
                cr[i] = static_cast<uint8_t>(byte(rng));
            }
            // Extremes where the clamp matters.
            y[0] = 0, cb[0] = 0, cr[0] = 0;
            y[width - 1] = 255, cb[width - 1] = 255, cr[width - 1] = 255;
            std::vector<uint8_t> want(3 * width + kGuard, 0xA5), got(3 * width + kGuard, 0xA5);
            ConvertRowYCbCrScalar(t, y.data(), cb.data(), cr.data(), want.data(), width);
            ConvertRowYCbCrAvx2(t, y.data(), cb.data(), cr.data(), got.data(), width);
            ASSERT_TRUE(got == want) << "full chroma, width " << width << " force " << force;
            ConvertRowYCbCrHalfChromaScalar(t, y.data(), cb.data(), cr.data(), want.data(), width);
            ConvertRowYCbCrHalfChromaAvx2(t, y.data(), cb.data(), cr.data(), got.data(), width);
            ASSERT_TRUE(got == want) << "half chroma, width " << width << " force " << force;
        }
    }
}

// Pairs of blocks through the AVX2 transform against each block through the
// SSE2 one, whose instructions it repeats: sparse blocks like real files
// give, dense ones, and extremes whose products wrap in 16 bits and whose
// sums wrap in 32. The sparse ones must also equal the scalar transform
// (which works in 64 bits, so that only data no encoder writes differs).
TEST(SimdIdct, PairsMatchTheScalarTransform)
{
    if (JpegSimdBest() != JpegSimd::kAvx2) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> small(-40, 40), any(-32768, 32767), quantStep(1, 255), position(0, 63);
    for (int trial = 0; trial < 3000; ++trial) {
        const int kind = trial % 3;
        alignas(16) int16_t coef[128] = {};
        uint16_t quant[64];
        for (int k = 0; k < 64; ++k) quant[k] = static_cast<uint16_t>(kind == 2 ? any(rng) & 0xFFFF : quantStep(rng));
        for (int b = 0; b < 2; ++b) {
            const int count = kind == 0 ? 1 + position(rng) / 8 : 64;
            for (int n = 0; n < count; ++n) {
                const int k = kind == 0 ? position(rng) : n;
                // Sparse blocks stay within what 8-bit samples transform to
                // (|coefficient x step| up to 1024).
                const int value = kind == 2 ? any(rng) : kind == 1 ? small(rng) : small(rng) * (1024 / quant[k]) / 40;
                coef[64 * b + k] = static_cast<int16_t>(value);
            }
        }
        constexpr int kStride = 24;  // room on both sides of the 16 columns written
        uint8_t sse2[8 * kStride], scalar[8 * kStride], got[8 * kStride];
        std::memset(sse2, 0xA5, sizeof sse2);
        std::memset(scalar, 0xA5, sizeof scalar);
        std::memset(got, 0xA5, sizeof got);
        IdctIslowSse2(coef, quant, sse2 + 4, kStride);
        IdctIslowSse2(coef + 64, quant, sse2 + 12, kStride);
        IdctIslowAvx2Pair(coef, quant, got + 4, kStride);
        ASSERT_EQ(0, std::memcmp(sse2, got, sizeof got)) << "trial " << trial;
        if (kind != 0) continue;
        IdctIslowScalar(coef, quant, scalar + 4, kStride);
        IdctIslowScalar(coef + 64, quant, scalar + 12, kStride);
        ASSERT_EQ(0, std::memcmp(scalar, got, sizeof got)) << "trial " << trial;
    }
}

// Pairs of neighbouring sample blocks through the AVX2 forward transform
// against each block through the scalar and the SSE2 transforms: noise over
// the whole sample range, flat blocks at the extremes, sharp edges.
TEST(SimdFdct, PairsMatchTheScalarTransform)
{
    if (JpegSimdBest() != JpegSimd::kAvx2) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> sample(-128, 127);
    constexpr int kStride = 20;  // samples per row of the source area, wider than the pair
    for (int trial = 0; trial < 3000; ++trial) {
        int16_t area[8 * kStride];
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < kStride; ++x) {
                int v = sample(rng);
                if (trial % 4 == 1) v = trial % 8 == 1 ? -128 : 127;
                if (trial % 4 == 2) v = x < 5 + (trial / 4) % 8 ? -128 : 127;
                area[y * kStride + x] = static_cast<int16_t>(v);
            }
        const int16_t* pair = area + 2;
        int16_t got[128];
        ForwardDctIslowAvx2Pair(pair, kStride, got);
        for (int b = 0; b < 2; ++b) {
            int16_t block[64], sse2[64];
            int32_t scalar[64];
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) block[y * 8 + x] = pair[y * kStride + 8 * b + x];
            ForwardDctIslow(block, scalar);
            ForwardDctIslowSse2(block, sse2);
            for (int k = 0; k < 64; ++k) {
                ASSERT_EQ(got[64 * b + k], sse2[k]) << "trial " << trial << " block " << b << " k " << k;
                ASSERT_EQ(got[64 * b + k], scalar[k]) << "trial " << trial << " block " << b << " k " << k;
            }
        }
    }
}

}  // namespace
