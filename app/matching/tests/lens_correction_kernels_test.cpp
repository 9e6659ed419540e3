// The AVX2 row loop of the lens correction against the portable loop it must
// copy byte for byte: every sampling routine, rows that run off every side of
// the source (so the missed lanes are redone), counts that leave a tail,
// factor tables with undefined entries, and sources without row padding so
// that a read past the last pixel is out of bounds. Each row is run with the
// loop computing its factors and with the factors given from FactorRowAvx2,
// alone and together with its mirror at -dy;
// mild tables keep runs of source points close together on one row or
// across two, where the loop reads row windows instead of gathering.
#include "app/matching/lens_correction_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

struct Case {
    int width, height, channels;
    bool registration;
    int count;        // output pixels per row
    float invK, sOverK;
    bool undefined;   // table entries that are NaN or huge
    float swing = 0.25f;  // how far the factors stray from 1
};

std::vector<float> MakeTable(size_t entries, float phase, bool undefined, float swing)
{
    std::vector<float> table(entries);
    for (size_t i = 0; i < entries; ++i)
        table[i] = 1.0f + swing * std::sin(static_cast<float>(i) * 0.07f + phase);
    if (undefined) {
        for (size_t i = 3; i < entries; i += 11) table[i] = std::numeric_limits<float>::quiet_NaN();
        for (size_t i = 7; i < entries; i += 13) table[i] = 1.0e30f;
        for (size_t i = 5; i < entries; i += 17) table[i] = -1.0e30f;
    }
    return table;
}

TEST(LensCorrectionKernels, VectorRowGivesTheBytesOfThePortableRow)
{
    if (!lens::HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor: the correction runs the portable loop only";
    const Case cases[] = {
        {97, 64, 3, false, 109, 1.0f, 1.0f, false},   {97, 64, 3, false, 5, 0.93f, 1.07f, false},
        {64, 97, 1, false, 71, 1.1f, 0.95f, false},   {33, 21, 1, false, 40, 0.8f, 1.2f, false},
        {97, 64, 3, true, 103, 1.0f, 1.0f, false},    {41, 77, 3, true, 64, 1.2f, 0.9f, false},
        {97, 64, 3, false, 99, 1.0f, 1.0f, true},     {64, 97, 1, false, 83, 1.0f, 1.0f, true},
        {97, 64, 3, true, 97, 1.0f, 1.0f, true},      {3, 2, 3, false, 17, 1.0f, 1.0f, false},
        {2, 3, 1, false, 16, 1.0f, 1.0f, false},      {3, 2, 3, true, 24, 1.0f, 1.0f, false},
        // Gentle factors over wider rows: the row windows, also at the last
        // rows and columns, where a window must not run past the image.
        {301, 203, 3, false, 301, 1.0f, 1.0f, false, 0.003f}, {301, 203, 3, false, 317, 0.99f, 1.02f, false, 0.01f},
        {160, 90, 3, false, 173, 1.0f, 0.98f, false, 0.002f},  {203, 301, 3, true, 211, 1.0f, 1.0f, false, 0.003f},
        {5, 4, 3, false, 40, 1.0f, 1.0f, false, 0.002f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.channels << " registration "
                                        << c.registration << " count " << c.count << " undefined " << c.undefined);
        const size_t rowBytes = static_cast<size_t>(c.width) * c.channels;
        std::vector<uint8_t> pixels(rowBytes * c.height);  // no padding: the last byte ends the buffer
        std::mt19937 random(static_cast<uint32_t>(c.width * 31 + c.height * 7 + c.count));
        for (uint8_t& v : pixels) v = static_cast<uint8_t>(random() % 5 == 0 ? 0 : random());
        const lens::Source whole{pixels.data(), rowBytes, c.width - 1, c.height - 1};
        const lens::Source planes[3] = {whole, {pixels.data() + 1, rowBytes, c.width - 1, c.height - 1},
                                        {pixels.data() + 2, rowBytes, c.width - 1, c.height - 1}};

        // Output points reach a few pixels beyond every side of the source.
        const float halfW = static_cast<float>(c.width) / 2.0f;
        const float halfH = static_cast<float>(c.height) / 2.0f;
        const float reachX = static_cast<float>(c.count) / 2.0f + 4.0f;
        const float reachY = halfH + 4.0f;
        const size_t entries = static_cast<size_t>(std::sqrt(reachX * reachX + reachY * reachY) * c.invK) + 2;
        const std::vector<float> tables[3] = {MakeTable(entries, 0.0f, c.undefined, c.swing), MakeTable(entries, 0.4f, c.undefined, c.swing),
                                              MakeTable(entries, 0.9f, c.undefined, c.swing)};

        lens::RowJob row{};
        row.planes = c.registration ? planes : &whole;
        for (int t = 0; t < 3; ++t) row.tables[t] = tables[t].data();
        row.sample = lens::ChooseSampler(c.channels, c.registration);
        row.channels = c.channels;
        row.registration = c.registration;
        row.dx0 = -static_cast<float>(c.count / 2) - 0.5f * static_cast<float>(c.count % 2);
        row.invK = c.invK;
        row.sOverK = c.sOverK;
        row.halfW = halfW;
        row.halfH = halfH;
        row.lastIndex = static_cast<int>(entries) - 2;
        row.count = c.count;

        // A guard after the row catches a store past its last pixel.
        const size_t outBytes = static_cast<size_t>(c.count) * c.channels;
        for (float dy = -reachY; dy <= reachY; dy += 1.0f) {
            SCOPED_TRACE(testing::Message() << "dy " << dy);
            row.dy = dy;
            std::vector<uint8_t> want(outBytes + 32, 0xA5), got(outBytes + 32, 0xA5);
            row.out = want.data();
            lens::ResampleRowPortable(row);
            row.out = got.data();
            lens::ResampleRowAvx2(row);
            ASSERT_EQ(got, want);

            // The factors given: first against a plain per-pixel reference
            // (bit for bit, NaN where NaN), then the row they give.
            std::vector<float> given[3];
            for (int t = 0; t < (c.registration ? 3 : 1); ++t) {
                given[t].assign(static_cast<size_t>(c.count), -7.0f);
                lens::FactorRowAvx2(row, row.tables[t], given[t].data());
                float dx = row.dx0;
                for (int i = 0; i < c.count; ++i, dx += 1.0f) {
                    const float u = std::sqrt(dx * dx + dy * dy) * row.invK;
                    const int index = std::min(static_cast<int>(u), row.lastIndex);
                    const float f = u - static_cast<float>(index);
                    const float F = ((1.0f - f) * row.tables[t][index] + f * row.tables[t][index + 1]) * row.sOverK;
                    ASSERT_TRUE(std::memcmp(&F, &given[t][static_cast<size_t>(i)], sizeof F) == 0 || (std::isnan(F) && std::isnan(given[t][static_cast<size_t>(i)])))
                        << "factor " << i << " of table " << t << ": " << given[t][static_cast<size_t>(i)] << " for " << F;
                }
                row.factors[t] = given[t].data();
            }
            std::vector<uint8_t> fromGiven(outBytes + 32, 0xA5);
            row.out = fromGiven.data();
            lens::ResampleRowAvx2(row);
            ASSERT_EQ(fromGiven, want);

            // The row with its mirror at -dy in one loop (the factors given,
            // then not): each must be the portable row of its own dy.
            std::vector<uint8_t> wantMirror(outBytes + 32, 0xA5);
            lens::RowJob mirror = row;
            mirror.dy = -dy;
            mirror.out = wantMirror.data();
            lens::ResampleRowPortable(mirror);
            for (int pass = 0; pass < 2; ++pass) {
                SCOPED_TRACE(pass == 0 ? "pair with the factors given" : "pair computing its factors");
                std::vector<uint8_t> pairRow(outBytes + 32, 0xA5), pairMirror(outBytes + 32, 0xA5);
                row.out = pairRow.data();
                lens::ResampleRowPairAvx2(row, -dy, pairMirror.data());
                ASSERT_EQ(pairRow, want);
                ASSERT_EQ(pairMirror, wantMirror);
                for (const float*& f : row.factors) f = nullptr;
            }
        }
    }
}

}  // namespace
