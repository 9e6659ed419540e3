#include "geometry/rowmap/row_map.h"
#include "geometry/rowmap/row_map_kernels.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---- The reference, written from the definition with plain integers. ----
// Rounding toward zero is emulated exactly without touching the rounding
// mode: results are formed in round-to-nearest and stepped one unit toward
// zero when they came out larger in magnitude than the exact value, which
// binary128 arithmetic holds exactly.

__float128 Abs(__float128 v) { return v < 0 ? -v : v; }

// The float sum a + b rounded toward zero.
float AddTowardZero(float a, float b)
{
    const __float128 exact = static_cast<__float128>(a) + static_cast<__float128>(b);
    // Exact as long as the exponents differ by less than 89, true of every row here.
    EXPECT_TRUE(exact - static_cast<__float128>(a) == static_cast<__float128>(b));
    float r = a + b;
    if (Abs(static_cast<__float128>(r)) > Abs(exact)) r = std::nextafter(r, 0.0f);
    return r;
}

// The double quotient a / b rounded toward zero: |q| is too large exactly
// when |q * b| > |a|, and q * b (53 by 24 bits) is exact in binary128.
double DivideTowardZero(float a, float b)
{
    double q = static_cast<double>(a) / static_cast<double>(b);
    if (Abs(static_cast<__float128>(q) * static_cast<__float128>(b)) > Abs(static_cast<__float128>(a)))
        q = std::nextafter(q, 0.0);
    return q;
}

struct Position {
    int ix, iy, fx, fy;
};

struct Row {
    float w, xw, yw, dxw, dyw, dw;
    int n;
};

std::vector<Position> ReferencePositions(Row r)
{
    std::vector<Position> out;
    for (int i = 0; i < r.n; ++i) {
        const double x = DivideTowardZero(r.xw, r.w);
        const double y = DivideTowardZero(r.yw, r.w);
        const int ix = static_cast<int>(std::trunc(x));
        const int iy = static_cast<int>(std::trunc(y));
        out.push_back({ix, iy, static_cast<int>(std::trunc((x - ix) * 512.0)),
                       static_cast<int>(std::trunc((y - iy) * 512.0))});
        r.xw = AddTowardZero(r.xw, r.dxw);
        r.yw = AddTowardZero(r.yw, r.dyw);
        r.w = AddTowardZero(r.w, r.dw);
    }
    return out;
}

// The same positions with ordinary rounding: only to show that a fixture can
// tell the two apart.
std::vector<Position> NearestPositions(Row r)
{
    std::vector<Position> out;
    for (int i = 0; i < r.n; ++i) {
        const double x = static_cast<double>(r.xw) / r.w, y = static_cast<double>(r.yw) / r.w;
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        out.push_back({ix, iy, static_cast<int>((x - ix) * 512.0), static_cast<int>((y - iy) * 512.0)});
        r.xw += r.dxw;
        r.yw += r.dyw;
        r.w += r.dw;
    }
    return out;
}

struct Source {
    int width, height, channels;
    Bytes bytes;
    int stride() const { return width * channels; }
};

void ReferenceRow(const Row& r, const Source& s, uint8_t* dst, bool average)
{
    const int b = s.channels == 3 ? 3 : 1;
    const size_t stride = static_cast<size_t>(s.stride());
    for (const Position& p : ReferencePositions(r)) {
        const int w11 = (p.fx * p.fy) >> 9;
        const int w10 = p.fx - w11, w01 = p.fy - w11, w00 = 512 - p.fx - p.fy + w11;
        const size_t a = static_cast<size_t>(p.iy) * stride + static_cast<size_t>(p.ix) * b;
        uint8_t v[3] = {0, 0, 0};
        for (int c = 0; c < b; ++c) {
            const int sum = s.bytes[a + c] * w00 + s.bytes[a + b + c] * w10 + s.bytes[a + stride + c] * w01 +
                            s.bytes[a + stride + b + c] * w11;
            EXPECT_LE(sum / 512, 255);
            v[c] = static_cast<uint8_t>(sum / 512);
        }
        if (!average) {
            for (int c = 0; c < b; ++c) dst[c] = v[c];
            if (dst[0] == 0) dst[0] = 1;
        } else if (dst[0] == 0) {
            for (int c = 0; c < b; ++c) dst[c] = v[c];
        } else {
            for (int c = 0; c < b; ++c) dst[c] = static_cast<uint8_t>((dst[c] + v[c]) / 2);
        }
        dst += b;
    }
}

// ---- The three ways into the code under test. ----
using Mapper = std::function<void(const Row&, const Source&, uint8_t*, bool)>;

void ViaExport(const Row& r, const Source& s, uint8_t* dst, bool average)
{
    MapOneRowBilinear(r.w, r.xw, r.yw, r.dxw, r.dyw, r.dw, r.n, s.channels, s.stride(), s.bytes.data(), dst, average);
}

void ViaKernel(void (*kernel)(const rowmap::RowMapping&), const Row& r, const Source& s, uint8_t* dst, bool average)
{
    kernel({r.w, r.xw, r.yw, r.dxw, r.dyw, r.dw, r.n, s.channels, s.stride(), s.bytes.data(), dst, average});
}

struct Path {
    const char* name;
    Mapper map;
};

const Path kPaths[] = {
    {"MapOneRowBilinear", ViaExport},
    {"SSE2", [](const Row& r, const Source& s, uint8_t* d, bool a) { ViaKernel(rowmap::MapRowSse2, r, s, d, a); }},
    // Where the processor lacks SSSE3 this runs the SSE2 loop again.
    {"SSSE3", [](const Row& r, const Source& s, uint8_t* d, bool a) { ViaKernel(rowmap::MapRowSsse3, r, s, d, a); }},
    // Where the processor lacks AVX2 this runs the SSSE3 or SSE2 loop again.
    {"AVX2", [](const Row& r, const Source& s, uint8_t* d, bool a) { ViaKernel(rowmap::MapRowAvx2, r, s, d, a); }},
    {"portable",
     [](const Row& r, const Source& s, uint8_t* d, bool a) { ViaKernel(rowmap::MapRowPortable, r, s, d, a); }},
};

Source RandomSource(int width, int height, int channels, std::mt19937& rng)
{
    Source s{width, height, channels, Bytes(static_cast<size_t>(width) * height * channels)};
    for (uint8_t& v : s.bytes) v = static_cast<uint8_t>(rng());
    // Some zero first bytes, so the empty-pixel rules come into play.
    for (size_t i = 0; i < s.bytes.size(); i += static_cast<size_t>(channels) * 7) s.bytes[i] = 0;
    return s;
}

// A projective row between two points well inside the source: with w > 0
// all along, the positions run monotonically between them.
Row RandomRow(const Source& s, int n, std::mt19937& rng)
{
    std::uniform_real_distribution<float> ux(1.0f, static_cast<float>(s.width) - 3.0f);
    std::uniform_real_distribution<float> uy(1.0f, static_cast<float>(s.height) - 3.0f);
    std::uniform_real_distribution<float> uw(0.3f, 3.0f);
    const float x0 = ux(rng), y0 = uy(rng), x1 = ux(rng), y1 = uy(rng), w0 = uw(rng), w1 = uw(rng);
    const float steps = static_cast<float>(std::max(1, n - 1));
    return {w0, x0 * w0, y0 * w0, (x1 * w1 - x0 * w0) / steps, (y1 * w1 - y0 * w0) / steps, (w1 - w0) / steps, n};
}

bool InBounds(const Row& r, const Source& s)
{
    for (const Position& p : ReferencePositions(r))
        if (p.ix < 0 || p.iy < 0 || p.ix > s.width - 2 || p.iy > s.height - 2) return false;
    return true;
}

Bytes RandomDestination(size_t size, std::mt19937& rng)
{
    Bytes d(size);
    for (uint8_t& v : d) v = static_cast<uint8_t>(rng());
    return d;
}

::testing::AssertionResult SameBytes(const Bytes& got, const Bytes& want)
{
    for (size_t i = 0; i < want.size(); ++i)
        if (got[i] != want[i])
            return ::testing::AssertionFailure()
                   << "byte " << i << ": " << int(got[i]) << ", expected " << int(want[i]);
    return ::testing::AssertionSuccess();
}

// One pixel at a given position of a 2 x 2 source (3 x 2 for the edge cases).
Bytes MapOne(const Path& path, Source s, float x, float y, Bytes dst, bool average)
{
    path.map({1.0f, x, y, 0.0f, 0.0f, 0.0f, 1}, s, dst.data(), average);
    return dst;
}

}  // namespace

TEST(RowmapTestMmx, ReportsMmxOnX86AndKeepsItsAnswer)
{
    const unsigned char first = TestMMX();
#if defined(__x86_64__)
    EXPECT_EQ(first, 1);
#endif
    EXPECT_EQ(TestMMX(), first);
}

// Every path against the reference on random projective rows over random
// sources, both pixel sizes, both modes; the destination starts with random
// bytes (some first bytes 0) and must end exactly as the reference leaves it.
TEST(RowmapDifferential, EveryPathGivesTheReferenceBytes)
{
    std::mt19937 rng(2024);
    int rows = 0;
    for (int channels : {3, 1, 4}) {
        for (int round = 0; round < 12; ++round) {
            const int width = 40 + static_cast<int>(rng() % 300), height = 8 + static_cast<int>(rng() % 120);
            const Source s = RandomSource(width, height, channels, rng);
            const int n = 1 + static_cast<int>(rng() % 1500);
            Row row = RandomRow(s, n, rng);
            if (!InBounds(row, s)) continue;
            ++rows;
            const int b = channels == 3 ? 3 : 1;
            for (bool average : {false, true}) {
                Bytes start = RandomDestination(static_cast<size_t>(n) * b + 16, rng);
                for (size_t i = 0; i < start.size(); i += static_cast<size_t>(b) * 5) start[i] = 0;
                Bytes want = start;
                ReferenceRow(row, s, want.data(), average);
                for (const Path& path : kPaths) {
                    Bytes got = start;
                    path.map(row, s, got.data(), average);
                    ASSERT_TRUE(SameBytes(got, want)) << path.name << " channels " << channels << " round " << round
                                                      << " n " << n << (average ? " average" : " overwrite");
                }
            }
        }
    }
    EXPECT_GE(rows, 30);
}

// A long row whose positions drift apart under round-to-nearest and
// round-toward-zero accumulation: the fixture can tell the two apart, and
// every path follows rounding toward zero.
TEST(RowmapDifferential, PositionsAccumulateRoundingTowardZero)
{
    std::mt19937 rng(7);
    const Source s = RandomSource(1100, 20, 3, rng);
    const Row row{1.0f, 2.0f, 3.0f, 0.7071234f, 0.0031f, 0.0000137f, 1000};
    ASSERT_TRUE(InBounds(row, s));
    const auto toward = ReferencePositions(row);
    const auto nearest = NearestPositions(row);
    int differing = 0;
    for (size_t i = 0; i < toward.size(); ++i)
        differing += toward[i].fx != nearest[i].fx || toward[i].fy != nearest[i].fy || toward[i].ix != nearest[i].ix;
    ASSERT_GT(differing, 10) << "the fixture no longer separates the rounding modes";
    Bytes want(3000, 9);
    ReferenceRow(row, s, want.data(), false);
    for (const Path& path : kPaths) {
        Bytes got(3000, 9);
        path.map(row, s, got.data(), false);
        EXPECT_TRUE(SameBytes(got, want)) << path.name;
    }
}

// Positions that are exact multiples of 1/512 under a w whose reciprocal is
// not exact (3, 7, 11, 13): a quotient formed from a reciprocal lands just
// below the true one and truncates a step short unless checked. Every path
// must still give the reference bytes.
TEST(RowmapDifferential, ExactQuotientsUnderInexactReciprocals)
{
    std::mt19937 rng(11);
    const Source s = RandomSource(400, 60, 3, rng);
    const Source g = RandomSource(400, 60, 1, rng);
    for (const float w : {3.0f, 7.0f, 11.0f, 13.0f}) {
        // x from 5 + 3/512 in steps of 1 + 5/512; y from 2 + 1/512 in steps
        // of 13/512; all sums exact in float.
        const Row row{w, w * (5.0f + 3.0f / 512), w * (2.0f + 1.0f / 512), w * (1.0f + 5.0f / 512), w * (13.0f / 512),
                      0.0f, 300};
        ASSERT_TRUE(InBounds(row, s));
        for (const Source* source : {&s, &g}) {
            const size_t bytes = static_cast<size_t>(row.n) * (source->channels == 3 ? 3 : 1);
            Bytes want(bytes, 9);
            ReferenceRow(row, *source, want.data(), false);
            for (const Path& path : kPaths) {
                Bytes got(bytes, 9);
                path.map(row, *source, got.data(), false);
                EXPECT_TRUE(SameBytes(got, want)) << path.name << " w " << w << " channels " << source->channels;
            }
        }
    }
}

// Rows of every length around the eight-pixel groups and the 64-pixel
// position chunks, ending on the source's last 2 x 2 block: the wide loads
// of the last group touch the final source byte and no byte past it (the
// source vector is exactly its pixels, ASan watches the rest). Both pixel
// sizes, both modes, every path against the reference.
TEST(RowmapDifferential, GroupAndChunkEndsReachingTheLastSourceByte)
{
    std::mt19937 rng(19);
    for (int channels : {3, 1}) {
        const Source s = RandomSource(150, 30, channels, rng);
        const int b = channels == 3 ? 3 : 1;
        for (int n : {2, 7, 8, 9, 15, 16, 17, 63, 64, 65, 71, 72, 73, 127, 128, 129}) {
            // From the top-left area to just inside the last 2 x 2 block.
            const float x0 = 2.3f, y0 = 1.7f, x1 = 148.5f, y1 = 28.5f;
            const Row row{1.0f, x0, y0, (x1 - x0) / (n - 1), (y1 - y0) / (n - 1), 0.0f, n};
            const auto positions = ReferencePositions(row);
            ASSERT_TRUE(InBounds(row, s)) << n;
            ASSERT_EQ(positions.back().ix, 148) << n;
            ASSERT_EQ(positions.back().iy, 28) << n;
            for (bool average : {false, true}) {
                Bytes start = RandomDestination(static_cast<size_t>(n) * b, rng);
                for (size_t i = 0; i < start.size(); i += static_cast<size_t>(b) * 3) start[i] = 0;
                Bytes want = start;
                ReferenceRow(row, s, want.data(), average);
                for (const Path& path : kPaths) {
                    Bytes got = start;
                    path.map(row, s, got.data(), average);
                    EXPECT_TRUE(SameBytes(got, want)) << path.name << " channels " << channels << " n " << n
                                                      << (average ? " average" : " overwrite");
                }
            }
        }
    }
}

// Positions on both sides of 32768 pixels, in the same groups of eight,
// under w of 1, of inexact reciprocals and drifting: whole parts and weights
// there need more than single precision, and every path must still give the
// reference bytes. A one-row-high band of a source over 33,000 pixels wide.
TEST(RowmapDifferential, PositionsAcrossThirtyTwoThousandPixels)
{
    std::mt19937 rng(23);
    for (int channels : {3, 1}) {
        const Source s = RandomSource(33000, 3, channels, rng);
        const int b = channels == 3 ? 3 : 1;
        struct Case {
            float x0, x1, w0, w1;
            int n;
        };
        const Case cases[] = {
            {32700.3f, 32840.9f, 1.0f, 1.0f, 203},   // about 0.7 pixel a step across the limit
            {32767.0f, 32769.0f, 3.0f, 3.0f, 77},    // slow steps straddling it under w = 3
            {32760.1f, 32790.7f, 7.0f, 0.4f, 131},   // w drifting, inexact reciprocals
            {5.5f, 32990.5f, 13.0f, 11.0f, 150},     // long steps from near 0 to the end
            {32998.9f, 100.2f, 0.9f, 2.5f, 66},      // backwards
        };
        for (const Case& c : cases) {
            const float steps = static_cast<float>(c.n - 1);
            const Row row{c.w0, c.x0 * c.w0, 0.6f * c.w0, (c.x1 * c.w1 - c.x0 * c.w0) / steps,
                          (0.6f * c.w1 - 0.6f * c.w0) / steps, (c.w1 - c.w0) / steps, c.n};
            ASSERT_TRUE(InBounds(row, s)) << c.x0;
            int above = 0;
            for (const Position& p : ReferencePositions(row)) above += p.ix >= 32768;
            ASSERT_GT(above, 0) << c.x0;
            ASSERT_LT(above, c.n) << c.x0;
            for (bool average : {false, true}) {
                Bytes start = RandomDestination(static_cast<size_t>(c.n) * b, rng);
                for (size_t i = 0; i < start.size(); i += static_cast<size_t>(b) * 4) start[i] = 0;
                Bytes want = start;
                ReferenceRow(row, s, want.data(), average);
                for (const Path& path : kPaths) {
                    Bytes got = start;
                    path.map(row, s, got.data(), average);
                    EXPECT_TRUE(SameBytes(got, want)) << path.name << " channels " << channels << " from " << c.x0
                                                      << (average ? " average" : " overwrite");
                }
            }
        }
    }
}

// Sums stepped where the plain additions are easy to get wrong: across many
// binades (halving and doubling), with the homogeneous coordinates all
// negative, a sum of exactly 0, steps far below the last place (rounding
// toward zero then steps down a unit, or out of the binade at a power of
// two), sums crossing 2^24, and steps far larger than the sum. Every path
// against the reference, both pixel sizes.
TEST(RowmapDifferential, SumsAcrossBinadesSignsAndTinySteps)
{
    struct Case {
        const char* name;
        int width, height;
        Row row;
    };
    const Case cases[] = {
        {"x from 0.6 to 900", 1000, 25, {1.0f, 0.6f, 3.2f, 0.5995f, 0.011f, 0.0f, 1500}},
        {"negative w", 1000, 25, {-0.8f, -0.8f * 3.0f, -0.8f * 2.0f, -0.71f, -0.035f, -0.0017f, 1000}},
        {"y sum exactly 0", 1000, 25, {1.25f, 1.25f * 7.5f, 0.0f, 0.93f, 0.0f, 0.0f, 700}},
        {"w falling by less than a unit", 1000, 25, {1.5f, 1.5f * 2.5f, 1.5f * 1.5f, 0.77f, 0.0f, -1e-9f, 900}},
        {"w leaving 1 by less than a unit", 1000, 25, {1.0f, 2.5f, 1.5f, 0.77f, 0.0f, -1e-9f, 900}},
        {"x sum crossing 2^24", 16800, 3, {1000.0f, 16777000.0f, 600.0f, 1.0f, 0.0f, 0.0f, 400}},
        {"steps far above the sum", 1000, 25, {1.0f, 0.001f, 0.002f, 0.95f, 0.01f, 0.0f, 1000}},
    };
    std::mt19937 rng(29);
    for (const Case& c : cases) {
        for (int channels : {3, 1}) {
            const Source s = RandomSource(c.width, c.height, channels, rng);
            ASSERT_TRUE(InBounds(c.row, s)) << c.name;
            const int b = channels == 3 ? 3 : 1;
            Bytes want(static_cast<size_t>(c.row.n) * b, 9);
            ReferenceRow(c.row, s, want.data(), false);
            for (const Path& path : kPaths) {
                Bytes got(want.size(), 9);
                path.map(c.row, s, got.data(), false);
                EXPECT_TRUE(SameBytes(got, want)) << path.name << " " << c.name << " channels " << channels;
            }
        }
    }
}

TEST(RowmapDifferential, RestoresTheRoundingMode)
{
    std::mt19937 rng(3);
    const Source s = RandomSource(8, 8, 1, rng);
    Bytes d(4);
    for (const Path& path : kPaths) {
        ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
        path.map({1.0f, 1.5f, 1.5f, 0.5f, 0.5f, 0.0f, 4}, s, d.data(), false);
        EXPECT_EQ(std::fegetround(), FE_UPWARD) << path.name;
        std::fesetround(FE_TONEAREST);
    }
}

TEST(RowmapEdges, NothingIsWrittenForNoPixels)
{
    std::mt19937 rng(5);
    const Source s = RandomSource(8, 8, 3, rng);
    for (const Path& path : kPaths) {
        for (int n : {0, -1, -100}) {
            Bytes d(30, 77);
            path.map({1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, n}, s, d.data(), false);
            EXPECT_EQ(d, Bytes(30, 77)) << path.name << " n " << n;
        }
    }
}

TEST(RowmapEdges, WholePositionsCopyTheSourcePixel)
{
    // Source 3 x 2 RGB: pixel (1, 0) is (0, 40, 50), pixel (0, 0) is (5, 6, 7).
    const Source s{3, 2, 3, {5, 6, 7, 0, 40, 50, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
    for (const Path& path : kPaths) {
        EXPECT_EQ(MapOne(path, s, 0.0f, 0.0f, Bytes(3, 0), false), (Bytes{5, 6, 7})) << path.name;
        // A first byte of 0 is written as 1 when overwriting ...
        EXPECT_EQ(MapOne(path, s, 1.0f, 0.0f, Bytes(3, 0), false), (Bytes{1, 40, 50})) << path.name;
        // ... and as 0 when averaging into an empty pixel.
        EXPECT_EQ(MapOne(path, s, 1.0f, 0.0f, Bytes(3, 0), true), (Bytes{0, 40, 50})) << path.name;
    }
}

TEST(RowmapEdges, HalfwayBetweenTenAndTwentyIsFifteen)
{
    const Source grey{2, 2, 1, {10, 20, 10, 20}};
    const Source rgb{2, 2, 3, {10, 10, 10, 20, 20, 20, 10, 10, 10, 20, 20, 20}};
    for (const Path& path : kPaths) {
        EXPECT_EQ(MapOne(path, grey, 0.5f, 0.0f, Bytes(1, 0), false), Bytes{15}) << path.name;
        EXPECT_EQ(MapOne(path, rgb, 0.5f, 0.0f, Bytes(3, 0), false), (Bytes{15, 15, 15})) << path.name;
    }
}

TEST(RowmapEdges, AveragingTakesTheTruncatedMean)
{
    const Source rgb{2, 2, 3, {10, 200, 255, 10, 200, 255, 10, 200, 255, 10, 200, 255}};
    for (const Path& path : kPaths) {
        // first byte 7 with a new 10 gives 8; 100 and 200 give 150; 255 and 255 stay 255.
        EXPECT_EQ(MapOne(path, rgb, 0.25f, 0.75f, Bytes{7, 100, 255}, true), (Bytes{8, 150, 255})) << path.name;
    }
}

TEST(RowmapEdges, LastSourcePixelIsReadWithoutOverrun)
{
    // The source is exactly its pixels (ASan checks that no byte past it is read).
    for (int channels : {3, 1}) {
        std::mt19937 rng(11);
        const Source s = RandomSource(5, 4, channels, rng);
        Bytes want(3, 0);
        ReferenceRow({1.0f, 3.75f, 2.5f, 0.0f, 0.0f, 0.0f, 1}, s, want.data(), false);
        for (const Path& path : kPaths) {
            Bytes got(3, 0);
            path.map({1.0f, 3.75f, 2.5f, 0.0f, 0.0f, 0.0f, 1}, s, got.data(), false);
            EXPECT_EQ(got, want) << path.name << " channels " << channels;
        }
    }
}
