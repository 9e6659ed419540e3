#include "worldmap/world_map_base.h"

#include "core/logger.h"
#include "testkit/testkit.h"
#include "worldmap/tests/map_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using maptest::AllocWatch;
using maptest::Code;
using maptest::FillCoded;

namespace {

std::vector<int> RingCounts(const WorldMapBase& map)
{
    std::vector<int> out;
    for (int r = 0; r < map.GetHeight(); ++r) out.push_back(map.GetScanLine(r)->m_samples);
    return out;
}

// ---------------------------------------------------------------------------
// Geometry: width rounding, row count, ring sample counts

TEST(WorldMapBaseRings, SmallMapsFromHand)
{
    WorldMapBase m8(8, nullptr, 1, 1);
    EXPECT_EQ(RingCounts(m8), (std::vector<int>{1, 7, 8, 7, 1}));
    EXPECT_FLOAT_EQ(m8.GetScanLine(1)->m_scale, 7.0f / 8.0f);
    EXPECT_FLOAT_EQ(m8.GetScanLine(2)->m_scale, 1.0f);

    WorldMapBase m4(4, nullptr, 1, 3);
    EXPECT_EQ(m4.GetWidth(), 4);
    EXPECT_EQ(m4.GetHeight(), 3);

    WorldMapBase m1001(1001, nullptr, 1, 3);
    EXPECT_EQ(m1001.GetWidth(), 1000);
    EXPECT_EQ(m1001.GetHeight(), 501);
    EXPECT_EQ(m1001.GetScanLineSamples(0), 1000);
    EXPECT_EQ(m1001.GetScanLineSamples(-250), 1);
    EXPECT_EQ(m1001.GetScanLineSamples(250), 1);
}

TEST(WorldMapBaseRings, RectangularTypeKeepsEveryRowFull)
{
    for (int type : {0, 2}) {
        WorldMapBase map(100, nullptr, type, 1);
        for (int r = 0; r < map.GetHeight(); ++r) {
            EXPECT_EQ(map.GetScanLine(r)->m_samples, 100);
            EXPECT_EQ(map.GetScanLine(r)->m_scale, 1.0f);
        }
    }
}

// The elliptical rule against the exact circle, including a width whose W^2
// overflows 32 bits: every row within one sample of sqrt(W^2 - 16 n^2),
// symmetric about the equator, and never empty.
TEST(WorldMapBaseRings, EllipticalRowsFollowTheCircle)
{
    for (int width : {1000, 4096, 50000}) {
        SCOPED_TRACE(width);
        WorldMapBase map;
        ASSERT_TRUE(map.Init(width, nullptr, 1, 1));
        const int rows = map.GetHeight();
        const int equator = width / 4;
        for (int r = 0; r < rows; ++r) {
            const double n = std::abs(equator - r);
            const double exact = std::sqrt(double(width) * width - 16.0 * n * n);
            const int s = map.GetScanLine(r)->m_samples;
            EXPECT_GE(s, 1);
            EXPECT_NEAR(s, std::max(exact, 1.0), 1.0) << "row " << r;
            EXPECT_EQ(s, map.GetScanLine(rows - 1 - r)->m_samples);
        }
        EXPECT_EQ(map.GetScanLine(equator)->m_samples, width);
    }
}

// ---------------------------------------------------------------------------
// Sizes: refused cleanly, and computed in 64 bits

TEST(WorldMapBaseInit, RefusesUnusableGeometry)
{
    struct Case {
        int width, channels;
    } cases[] = {{2, 3}, {0, 1}, {-100, 3}, {100, 2}, {100, 4}, {(1 << 24) + 4, 1}, {800000000, 3}, {INT_MAX, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        LogCapture log;
        WorldMapBase map;
        EXPECT_FALSE(map.Init(c.width, nullptr, 0, c.channels));
        EXPECT_EQ(log.errorCount(), 1);
        EXPECT_EQ(map.GetData(), nullptr);
        EXPECT_EQ(map.GetDataPtr(0, 0), nullptr);
        map.SetPixel(0, 0, "abc");  // no storage: ignored
    }
}

// An RGB sphere of W = 60,000 needs 5,400,180,000 bytes: more than 2^32. The
// request must carry the full size (a 32-bit product would ask for 1.1 GB and
// then write 5.4 GB into it).
TEST(WorldMapBaseInit, FullSphereSizeIsSixtyFourBit)
{
    AllocWatch watch(1);  // the table is granted, the block refused
    LogCapture log;
    WorldMapBase map;
    EXPECT_FALSE(map.Init(60000, nullptr, 0, 3));
    ASSERT_EQ(watch.requests().size(), 2u);
    EXPECT_EQ(watch.requests()[1], size_t{60000} * 30001 * 3);
    EXPECT_TRUE(log.contains("ERROR WorldMapBase::AllocScanLines_Full: cannot allocate data: 3*1800060000"));
    EXPECT_EQ(map.GetData(), nullptr);
    EXPECT_EQ(map.GetDataPtr(0, 15000), nullptr);
}

TEST(WorldMapBaseInit, TableAllocationFailureIsReported)
{
    AllocWatch watch(0);
    LogCapture log;
    WorldMapBase map;
    EXPECT_FALSE(map.Init(1000, nullptr, 1, 3));
    EXPECT_TRUE(log.contains("ERROR WorldMapBase::Init: cannot allocate m_scanLines: 501"));
    EXPECT_EQ(map.GetScanLine(0), nullptr);
    EXPECT_EQ(map.GetScanLineSamples(0), 0);

    LogCapture log2;
    EXPECT_FALSE(map.Init2(1000, nullptr, 1, nullptr, 0, 3));
    EXPECT_TRUE(log2.contains("ERROR WorldMapBase::Init2: cannot allocate m_scanLines: 501"));
}

TEST(WorldMapBaseInit, BlockAllocationFailureLeavesRowsWithoutStorage)
{
    AllocWatch watch(1);
    LogCapture log;
    REGION2 region{-0.3f, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f};
    WorldMapBase map;
    EXPECT_FALSE(map.Init(1000, &region, 0, 3));
    EXPECT_TRUE(log.contains("ERROR WorldMapBase::AllocScanLines_Rect: cannot allocate data: 3*"));
    EXPECT_NE(map.GetScanLine(250), nullptr);
    EXPECT_EQ(map.GetScanLine(250)->m_line, nullptr);
    const char px[3] = {1, 2, 3};
    map.SetPixel(0, 0, px);
    map.PixelBlend(0, 0, px, 0.5f);
}

// ---------------------------------------------------------------------------
// Allocation modes

TEST(WorldMapBaseInit, FullSphereWithoutRegion)
{
    WorldMapBase map(1000, nullptr, 1, 3);
    EXPECT_EQ(map.GetAllocMode(), 0);
    EXPECT_TRUE(map.IsFullMapMode());
    EXPECT_TRUE(map.IsMapLoop());
    EXPECT_EQ(map.GetNumSamples(), 1000u * 501u);
    EXPECT_EQ(map.GetRowBytes(), 3000u);
    const RECT* rect = map.GetMapRect();
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->right, 999);
    EXPECT_EQ(rect->bottom, 500);
    // Rows are left-aligned in the stride.
    for (int r : {0, 100, 250, 500}) {
        const WorldMapBase::ScanLine* line = map.GetScanLine(r);
        EXPECT_EQ(line->m_first, 0);
        EXPECT_EQ(line->m_last, line->m_samples - 1);
        EXPECT_EQ(line->m_line, map.GetData() + r * 3000);
    }
    int x0, y0, x1, y1, w, h;
    EXPECT_FALSE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(map.GetRefCount(), 1);
    EXPECT_EQ(map.GetZoomFactor(), 1.0f);
}

// Region (radians): x -0.5..0.5, y -0.3..0.2 on W = 1000 gives c = 159.15494
// samples per radian: columns 500-79 .. 500+79 (+1 end), rows 250-47 ..
// 250+31 (+1 end).
TEST(WorldMapBaseInit, BlockFromRegion)
{
    REGION2 region{-0.3f, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f};
    WorldMapBase map(1000, &region, 0, 3);
    EXPECT_EQ(map.GetAllocMode(), 2);
    EXPECT_FALSE(map.IsMapLoop());
    const RECT* rect = map.GetMapRect();
    EXPECT_EQ(rect->left, 421);
    EXPECT_EQ(rect->right, 579);
    EXPECT_EQ(rect->top, 203);
    EXPECT_EQ(rect->bottom, 281);
    EXPECT_EQ(map.GetNumSamples(), 159u * 79u);
    EXPECT_EQ(map.GetRowBytes(), 159u * 3);
    EXPECT_EQ(map.GetScanLine(202)->m_line, nullptr);
    EXPECT_EQ(map.GetScanLine(282)->m_line, nullptr);
    for (int r = 203; r <= 281; ++r) {
        const WorldMapBase::ScanLine* line = map.GetScanLine(r);
        EXPECT_EQ(line->m_first, 500 - 79);
        EXPECT_EQ(line->m_last, 500 - 79 + 158);
        EXPECT_EQ(line->m_line, map.GetData() + (r - 203) * 159 * 3);
    }
    EXPECT_FLOAT_EQ(map.GetViewCenter(), 0.0f);
    int first, last;
    EXPECT_TRUE(map.GetScanLineRange(first, last, 0));
    EXPECT_EQ(first, -79);
    EXPECT_EQ(last, 79);
    EXPECT_FALSE(map.GetScanLineRange(first, last, -48));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, -1);
}

// An elliptical block narrower than the rows near the equator but wider than
// the polar rows: short rows are stored whole and centred in the block row,
// long rows keep their middle d samples.
TEST(WorldMapBaseInit, EllipticalBlockCentresEveryRow)
{
    REGION2 region{-1.6f, 1.6f, -1.0f, 1.0f, 2.0f, 3.2f};  // full height
    WorldMapBase map(40, &region, 1, 3);
    const RECT* rect = map.GetMapRect();
    ASSERT_EQ(rect->left, 14);   // 20 + trunc(6.3662 * -1)
    ASSERT_EQ(rect->right, 26);  // 20 + 6 + 1 - 1
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->bottom, 20);
    const int d = 13;
    for (int r = 0; r <= 20; ++r) {
        const WorldMapBase::ScanLine* line = map.GetScanLine(r);
        uint8_t* base = map.GetData() + r * d * 3;
        const int s = line->m_samples;
        if (s < d) {
            EXPECT_EQ(line->m_first, 0) << r;
            EXPECT_EQ(line->m_last, s - 1) << r;
            EXPECT_EQ(line->m_line, base + (d / 2 - s / 2) * 3) << r;
        } else {
            EXPECT_EQ(line->m_first, s / 2 - d / 2) << r;
            EXPECT_EQ(line->m_last, s / 2 - d / 2 + d - 1) << r;
            EXPECT_EQ(line->m_line, base) << r;
        }
        // Every stored sample lies inside the block.
        EXPECT_GE(line->m_line, map.GetData());
        EXPECT_LE(line->m_line + (line->m_last - line->m_first + 1) * 3, map.GetData() + 21 * d * 3);
    }
}

TEST(WorldMapBaseInit, WideRegionStoresAllColumns)
{
    REGION2 region{-0.3f, 0.2f, -3.2f, 3.2f, 6.4f, 0.5f};
    WorldMapBase map(1000, &region, 0, 1);
    EXPECT_EQ(map.GetAllocMode(), 1);
    EXPECT_TRUE(map.IsMapLoop());
    EXPECT_EQ(map.GetMapRect()->left, 0);
    EXPECT_EQ(map.GetMapRect()->right, 999);
}

// Regions reaching past the poles are clamped to the table; empty, reversed
// or non-finite regions are refused.
TEST(WorldMapBaseInit, RegionRangesAreClamped)
{
    REGION2 beyond{-40.0f, -0.5f, -0.5f, 0.5f, 1.0f, 39.5f};
    beyond.height = 3.0f;  // not a full-height region: rows come from top/bottom
    WorldMapBase map(1000, &beyond, 0, 3);
    EXPECT_EQ(map.GetMapRect()->top, 0);
    EXPECT_EQ(map.GetMapRect()->bottom, 171);  // trunc(159.15 * -0.5) + 250
    EXPECT_EQ(map.GetScanLine(0)->m_line, map.GetData());

    REGION2 pastSouth{0.5f, 90.0f, -0.5f, 0.5f, 1.0f, 2.0f};
    ASSERT_TRUE(map.Init(1000, &pastSouth, 0, 3));
    EXPECT_EQ(map.GetMapRect()->bottom, 500);

    const float nan = std::nanf("");
    REGION2 bad[] = {
        {0.2f, -0.3f, -0.5f, 0.5f, 1.0f, -0.5f},   // reversed rows
        {-0.3f, 0.2f, 0.5f, -0.5f, -1.0f, 0.5f},   // reversed columns
        {nan, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f},
        {-0.3f, 0.2f, -0.5f, INFINITY, 1.0f, 0.5f},
        {10.0f, 20.0f, -0.5f, 0.5f, 1.0f, 1.0f},   // wholly below the south pole
    };
    for (REGION2& r : bad) {
        LogCapture log;
        EXPECT_FALSE(map.Init(1000, &r, 0, 3));
        EXPECT_EQ(log.errorCount(), 1);
        EXPECT_EQ(map.GetData(), nullptr);
    }
}

TEST(WorldMapBaseInit2, CallerDataBecomesTheDataArea)
{
    std::vector<uint8_t> buffer(size_t{100} * 51 * 3, 7);
    WorldMapBase map;
    ASSERT_TRUE(map.Init2(100, nullptr, 0, buffer.data(), 0, 3));
    EXPECT_EQ(map.GetAllocMode(), 0);
    EXPECT_EQ(map.GetData(), buffer.data());
    EXPECT_TRUE(map.IsFullPanorama());
    int x0, y0, x1, y1, w, h;
    ASSERT_TRUE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 100);
    EXPECT_EQ(y0, 0);
    EXPECT_EQ(y1, 51);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 51);

    // With an integer region: centred block of the region's width.
    REGION region{-20, -5, 19, 4, 40, 10};
    ASSERT_TRUE(map.Init2(100, &region, 0, buffer.data(), 40 * 3, 3));
    EXPECT_EQ(map.GetAllocMode(), 2);
    EXPECT_EQ(map.GetMapRect()->left, 30);
    EXPECT_EQ(map.GetMapRect()->right, 69);
    EXPECT_EQ(map.GetMapRect()->top, 20);
    EXPECT_EQ(map.GetMapRect()->bottom, 29);
    EXPECT_EQ(map.GetScanLine(20)->m_first, 30);
    ASSERT_TRUE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(x0, 30);
    EXPECT_EQ(x1, 70);
    EXPECT_EQ(y0, 20);
    EXPECT_EQ(y1, 30);
    // The map never frees a caller's buffer (the vector does; ASan would
    // report a double free otherwise).
}

TEST(WorldMapBaseInit2, RefusesRowBytesBelowTheRowAndIgnoresThemForOwnBlocks)
{
    std::vector<uint8_t> buffer(size_t{100} * 51 * 3);
    WorldMapBase map;
    LogCapture log;
    EXPECT_FALSE(map.Init2(100, nullptr, 0, buffer.data(), 200, 3));
    EXPECT_EQ(log.errorCount(), 1);
    // Without caller data the block is the map's own and packed, whatever
    // stride is passed: no row may run past the allocation (ASan).
    REGION region{-20, -5, 19, 4, 40, 10};
    ASSERT_TRUE(map.Init2(100, &region, 0, nullptr, 5000, 3));
    EXPECT_EQ(map.GetRowBytes(), 120u);
    FillCoded(map);
}

// Init2 rows cut at a pole skip the caller's rows that lie outside the
// sphere, so the rows that remain still hold their own samples.
TEST(WorldMapBaseInit2, CallerRowsCutAtThePoleKeepTheirPlaces)
{
    const int W = 40, rows = 21;
    REGION region{-5, -15, 4, -6, 10, 10};  // rows 10-15 .. 10-6: 5 rows above row 0
    std::vector<uint8_t> buffer(10 * 10);
    for (int k = 0; k < 10; ++k)
        for (int j = 0; j < 10; ++j) buffer[k * 10 + j] = static_cast<uint8_t>(k * 10 + j + 1);
    WorldMapBase map;
    ASSERT_TRUE(map.Init2(W, &region, 0, buffer.data(), 10, 1));
    EXPECT_EQ(map.GetMapRect()->top, 0);
    EXPECT_EQ(map.GetMapRect()->bottom, 4);
    // Map row 0 is the caller's row 5.
    EXPECT_EQ(*map.GetDataPtr(15, 0), 51);
    EXPECT_EQ(*map.GetDataPtr(24, 4), 100);
    EXPECT_EQ(map.GetScanLine(5)->m_line, nullptr);
    (void)rows;
}

// ---------------------------------------------------------------------------
// Reference counting

struct CountedMap : WorldMapBase {
    explicit CountedMap(bool* gone) : WorldMapBase(16, 3), m_gone(gone) {}
    ~CountedMap() override { *m_gone = true; }
    bool* m_gone;
};

TEST(WorldMapBaseRefCount, ReleaseBelowOneDestroysThroughTheBase)
{
    bool gone = false;
    WorldMapBase* map = new CountedMap(&gone);
    EXPECT_EQ(map->GetRefCount(), 1);
    map->AddReference();
    map->Release();
    EXPECT_FALSE(gone);
    EXPECT_EQ(map->GetRefCount(), 1);
    map->Release();
    EXPECT_TRUE(gone);
}

// ---------------------------------------------------------------------------
// Queries

TEST(WorldMapBaseQueries, RowQueriesOutsideTheMapAreSafe)
{
    WorldMapBase map(1000, nullptr, 1, 1);
    struct Case {
        int y;
        int samples;
    } cases[] = {{0, 1000}, {-250, 1}, {250, 1}, {-251, 0}, {251, 0}, {INT_MIN, 0}, {INT_MAX, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(map.GetScanLineSamples(c.y), c.samples) << c.y;
        EXPECT_EQ(map.GetScanLineScale(c.y), c.samples / 1000.0f) << c.y;
    }
    EXPECT_EQ(map.GetScanLine(-1), nullptr);
    EXPECT_EQ(map.GetScanLine(501), nullptr);
    EXPECT_EQ(map.GetDataPtr(0, 501), nullptr);
    EXPECT_EQ(map.GetDataPtr(1000, 250), nullptr);
    EXPECT_EQ(map.GetDataPtr(-1, 250), nullptr);
    EXPECT_EQ(map.GetDataPtr(999, 250), map.GetData() + 250 * 1000 + 999);
    EXPECT_EQ(map.GetDataPtr(0, 0), map.GetData());
    EXPECT_EQ(map.GetDataPtr(1, 0), nullptr);  // the pole row has 1 sample
}

TEST(WorldMapBaseQueries, ScanLineRanges)
{
    WorldMapBase map(1000, nullptr, 0, 1);
    int first, last;
    map.GetScanLineRange(first, last);
    EXPECT_EQ(first, -250);
    EXPECT_EQ(last, 250);
    EXPECT_TRUE(map.GetScanLineRange(first, last, 10));
    EXPECT_EQ(first, -500);
    EXPECT_EQ(last, 499);

    REGION2 region{-0.3f, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f};
    ASSERT_TRUE(map.Init(1000, &region, 0, 1));
    map.UpdateScanLineArea(210);
    map.UpdateScanLineArea(219);
    map.GetScanLineRange(first, last);
    EXPECT_EQ(first, 210 - 250);
    EXPECT_EQ(last, 219 - 250);
}

TEST(WorldMapBaseQueries, RingIndexAndIndexInRing)
{
    WorldMapBase map(1000, nullptr, 1, 1);
    EXPECT_EQ(map.GetRingIndex(-90.0f), 0);
    EXPECT_EQ(map.GetRingIndex(0.0f), 250);
    EXPECT_EQ(map.GetRingIndex(90.0f), 500);
    EXPECT_EQ(map.GetRingIndex(45.0f), 375);
    EXPECT_EQ(map.GetIndexInRing(250, 90.0f), 250);
    EXPECT_EQ(map.GetIndexInRing(501, 90.0f), 0);
    // 360 samples a row: v is the longitude itself; halves round away from 0.
    WorldMapBase degrees(360, nullptr, 0, 1);
    EXPECT_EQ(degrees.GetIndexInRing(90, 2.5f), 3);
    EXPECT_EQ(degrees.GetIndexInRing(90, -2.5f), -3);
    EXPECT_EQ(degrees.GetIndexInRing(90, 2.4f), 2);
    EXPECT_EQ(degrees.GetIndexInRing(90, -2.4f), -2);
}

// ---------------------------------------------------------------------------
// Pixel location: reflection over the poles, wrapping, stored columns

TEST(WorldMapBasePixels, LocationTable)
{
    // Rectangular 16 x 9: rows/2 = 4, s/2 = 8.
    struct Case {
        int x, y;
        int row, index;  // expected target; row -1: ignored
    } cases[] = {
        {0, 0, 4, 8},
        {3, -4, 0, 11},
        {-8, 4, 8, 0},
        {7, 4, 8, 15},
        {3, -5, 1, 5},            // one row past the north pole: row 1, mirrored
        {3, 5, 8, 5},             // one row past the south pole: last row, mirrored
        {-2, 12, 1, 10},          // reflection from the south side lands on row 1
        {8 + 16 * 1000, 0, 4, 0}, // far right wraps by whole turns
        {-17, 0, 4, 7},
        {INT_MIN, 0, 4, 8},
        {INT_MAX, 0, 4, 7},
        {0, -14, -1, 0},          // more than a sphere out: ignored
        {0, 14, -1, 0},
        {0, INT_MIN, -1, 0},
        {0, INT_MAX, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        WorldMapBase map(16, nullptr, 0, 1);
        const char px[1] = {42};
        map.SetPixel(c.x, c.y, px);
        int written = 0;
        for (int r = 0; r < 9; ++r)
            for (int i = 0; i < 16; ++i)
                if (*map.GetDataPtr(i, r) != 0) {
                    ++written;
                    EXPECT_EQ(r, c.row);
                    EXPECT_EQ(i, c.index);
                    EXPECT_EQ(*map.GetDataPtr(i, r), 42);
                }
        EXPECT_EQ(written, c.row < 0 ? 0 : 1);
    }
}

TEST(WorldMapBasePixels, UnstoredColumnsAreIgnored)
{
    REGION2 region{-0.3f, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f};
    WorldMapBase map(1000, &region, 0, 3);
    const char px[3] = {1, 2, 3};
    map.SetPixel(-80, 0, px);   // index 420: left of the block
    map.SetPixel(80, 0, px);    // index 580: right of it
    map.SetPixel(0, -48, px);   // row 202: no storage
    map.PixelBlend(80, 0, px, 0.5f);
    for (size_t i = 0; i < map.GetNumSamples() * 3; ++i) ASSERT_EQ(map.GetData()[i], 0) << i;
    map.SetPixel(-79, 0, px);  // index 421, the first stored
    EXPECT_EQ(map.GetDataPtr(421, 250)[0], 3);
}

TEST(WorldMapBasePixels, SetPixelSwapsToBlueGreenRedAndMarksData)
{
    struct Case {
        int channels;
        std::vector<uint8_t> in, stored;
    } cases[] = {
        {3, {10, 20, 30}, {30, 20, 10}},
        {3, {200, 150, 0}, {1, 150, 200}},
        {3, {0, 0, 255}, {255, 0, 0}},
        {1, {0}, {1}},
        {1, {255}, {255}},
    };
    for (const Case& c : cases) {
        for (bool opt : {false, true}) {
            WorldMapBase map(16, nullptr, 1, c.channels);
            const char* px = reinterpret_cast<const char*>(c.in.data());
            if (opt)
                map.SetPixel_opt(2, 1, px);
            else
                map.SetPixel(2, 1, px);
            const WorldMapBase::ScanLine* line = map.GetScanLine(5);
            const uint8_t* t = map.GetDataPtr(2 + line->m_samples / 2, 5);
            for (int k = 0; k < c.channels; ++k) EXPECT_EQ(t[k], c.stored[k]) << k;
        }
    }
}

// Inputs read as unsigned bytes: 200 over 100 at 0.5 is 150, not a negative
// value that a signed char would give.
TEST(WorldMapBasePixels, PixelBlendTable)
{
    struct Case {
        std::vector<uint8_t> old;  // stored, blue green red
        std::vector<uint8_t> in;   // red green blue
        float weight;
        std::vector<uint8_t> stored;
    } cases[] = {
        {{100, 100, 100}, {200, 200, 200}, 0.5f, {150, 150, 150}},
        {{100, 100, 100}, {0, 0, 0}, 1.0f, {1, 0, 0}},        // exact 0: first byte 1
        {{0, 9, 9}, {0, 7, 200}, 0.5f, {200, 7, 0}},          // empty target: plain store
        {{0, 9, 9}, {5, 7, 0}, 0.5f, {1, 7, 5}},
        {{100, 50, 10}, {255, 255, 255}, 2.0f, {255, 255, 255}},  // clamped
        {{100, 50, 10}, {30, 20, 10}, 0.0f, {100, 50, 10}},
        {{240, 16, 128}, {128, 16, 240}, 0.25f, {240, 16, 128}},
        {{10, 20, 30}, {90, 60, 30}, 0.5f, {20, 40, 60}},
        {{200, 200, 200}, {0, 0, 0}, 1.5f, {1, 0, 0}},        // negative result
    };
    for (const Case& c : cases) {
        for (bool opt : {false, true}) {
            WorldMapBase map(16, nullptr, 0, 3);
            uint8_t* t = map.GetDataPtr(8 + 3, 4);
            std::memcpy(t, c.old.data(), 3);
            const char* px = reinterpret_cast<const char*>(c.in.data());
            if (opt)
                map.PixelBlend_opt(3, 0, px, c.weight);
            else
                map.PixelBlend(3, 0, px, c.weight);
            EXPECT_EQ(std::vector<uint8_t>(t, t + 3), c.stored) << "weight " << c.weight << (opt ? " opt" : "");
        }
    }
    // One channel.
    WorldMapBase gray(16, nullptr, 0, 1);
    uint8_t* g = gray.GetDataPtr(8, 4);
    *g = 100;
    const char px[1] = {static_cast<char>(200)};
    gray.PixelBlend(0, 0, px, 0.5f);
    EXPECT_EQ(*g, 150);
}

// ---------------------------------------------------------------------------
// Data area

TEST(WorldMapBaseDataArea, UpdateXDataAreaRectTable)
{
    const int W = 100;
    struct Case {
        int xs, xe, a, b;
        int expXs, expXe;
    } cases[] = {
        {0, 100, 10, 20, 0, 100},   // already full: no change
        {0, 0, 10, 20, 10, 21},     // empty
        {5, 5, 90, 5, 90, 6},       // empty, wrapping span
        // new span plain, old plain
        {20, 30, 25, 40, 20, 41},
        {20, 30, 50, 60, 20, 61},
        {20, 30, 5, 10, 5, 30},
        // new plain, old wraps (80..20): g = 80 - b - 1, d = a - 20
        {80, 20, 10, 85, 0, 100},   // g <= 0, d <= 0
        {80, 20, 30, 85, 30, 20},   // g <= 0, d > 0
        {80, 20, 10, 50, 80, 51},   // g > 0, d <= 0
        {80, 20, 30, 40, 80, 41},   // both > 0, g >= d
        {80, 20, 60, 70, 60, 20},   // both > 0, g < d
        // new wraps, old plain (30..60): g = 30 - b - 1, d = a - 60
        {30, 60, 50, 40, 0, 100},   // d <= 0, g <= 0
        {30, 60, 50, 10, 30, 11},   // d <= 0, g > 0
        {30, 60, 80, 40, 80, 60},   // d > 0, g <= 0
        {30, 60, 70, 5, 30, 6},     // both > 0, d < g
        {30, 60, 90, 20, 90, 60},   // both > 0, d >= g
        // both wrap (old 80..20)
        {80, 20, 70, 10, 70, 20},   // a < xs, a > xe
        {80, 20, 15, 5, 0, 100},    // a < xs, a <= xe
        {80, 20, 85, 30, 80, 31},   // b >= xe, b < xs
        {80, 20, 90, 85, 0, 100},   // b >= xe, b >= xs
        {80, 20, 85, 79, 0, 100},   // xe reaches xs
        {80, 20, 85, 10, 80, 20},   // inside: no change
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "old " << c.xs << ".." << c.xe << " new " << c.a << ".." << c.b);
        WorldMapBase map(W, nullptr, 0, 1);
        map.m_xStart = c.xs;
        map.m_xEnd = c.xe;
        map.UpdateXDataAreaRect(c.a, c.b);
        EXPECT_EQ(map.m_xStart, c.expXs);
        EXPECT_EQ(map.m_xEnd, c.expXe);
    }
}

TEST(WorldMapBaseDataArea, WrappingAreaReportsUnrolledColumns)
{
    const int W = 1000;
    WorldMapBase map(W, nullptr, 0, 3);
    map.UpdateScanLineArea(100);
    map.UpdateScanLineArea(120);
    map.UpdateScanLineArea(-3);    // outside the map: ignored
    map.UpdateScanLineArea(5000);
    map.UpdateXDataAreaRect(W - 10, 5);
    EXPECT_EQ(map.m_xStart, W - 10);
    EXPECT_EQ(map.m_xEnd, 6);
    int x0, y0, x1, y1, w, h;
    ASSERT_TRUE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(x0, W - 10);
    EXPECT_EQ(x1, W + 6);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(y0, 100);
    EXPECT_EQ(y1, 121);
    EXPECT_EQ(h, 21);
    EXPECT_FALSE(map.IsFullPanorama());
    int dx, dy;
    ASSERT_TRUE(map.GetDataAreaOffset(dx, dy));
    EXPECT_EQ(dx, W - 10);
    EXPECT_EQ(dy, 100);

    map.UpdateXDataAreaRect(6, W - 11);  // closes the circle
    EXPECT_TRUE(map.IsFullPanorama());
    ASSERT_TRUE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(w, W);

    map.ResetData();
    EXPECT_FALSE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(x0 | y0 | x1 | y1 | w | h, 0);
    EXPECT_FALSE(map.GetDataAreaOffset(dx, dy));
    EXPECT_FALSE(map.IsFullPanorama());
}

TEST(WorldMapBaseDataArea, OverWideAreaIsCappedAtOneTurn)
{
    WorldMapBase map(100, nullptr, 0, 1);
    map.m_yStart = 0;
    map.m_yEnd = 10;
    map.m_xStart = 10;
    map.m_xEnd = 120;  // edited past the circle by a caller
    int x0, y0, x1, y1, w, h;
    ASSERT_TRUE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 100);
    EXPECT_EQ(w, 100);
}

// The area in radians: p = 2 pi / W per sample, x from the map centre and y
// from the equator; the maximum is the last sample unless the area is full.
TEST(WorldMapBaseDataArea, RadianArea)
{
    const int W = 1000;
    const float p = 6.283185f / W;
    WorldMapBase map(W, nullptr, 0, 1);
    REGION2 r;
    EXPECT_FALSE(map.GetDataArea(&r));
    EXPECT_EQ(r.left, 0.0f);
    EXPECT_EQ(r.height, 0.0f);
    map.UpdateScanLineArea(200);
    map.UpdateScanLineArea(299);
    map.UpdateXDataAreaRect(400, 599);
    ASSERT_TRUE(map.GetDataArea(&r));
    EXPECT_FLOAT_EQ(r.left, -100 * p);
    EXPECT_FLOAT_EQ(r.right, 99 * p);
    EXPECT_FLOAT_EQ(r.top, -50 * p);
    EXPECT_FLOAT_EQ(r.bottom, 49 * p);
    EXPECT_FLOAT_EQ(r.width, 200 * p);
    EXPECT_FLOAT_EQ(r.height, 100 * p);

    map.setFullCoverFg();
    ASSERT_TRUE(map.GetDataArea(&r));
    EXPECT_FLOAT_EQ(r.left, -500 * p);
    EXPECT_FLOAT_EQ(r.right, 500 * p);
    EXPECT_FLOAT_EQ(r.top, -250 * p);
    EXPECT_FLOAT_EQ(r.bottom, 251 * p);
}

TEST(WorldMapBaseDataArea, MapInfoRecordsPartialPanoramasCentred)
{
    REGION2 region{-0.3f, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f};
    WorldMapBase map(1000, &region, 0, 3);
    RECT sel = {10, 5, 109, 44};
    int W, column, row, type;
    map.GetMapInfo(&sel, W, column, row, type);
    EXPECT_EQ(W, 1000);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(row, 203 + 5);
    EXPECT_EQ(column, 500 - 50);

    WorldMapBase full(1000, nullptr, 1, 3);
    RECT all = {0, 0, 999, 500};
    full.GetMapInfo(&all, W, column, row, type);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(type, 1);
}

// ---------------------------------------------------------------------------
// Swapping storage

TEST(WorldMapBaseSwap, ExchangesStorageOfEqualChannelMaps)
{
    WorldMapBase a(100, nullptr, 1, 3);
    REGION2 region{-0.3f, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f};
    WorldMapBase b(200, &region, 0, 3);
    a.AddReference();
    uint8_t* dataA = a.GetData();
    uint8_t* dataB = b.GetData();
    b.UpdateScanLineArea(40);
    b.SetZoomFactor(2.5f);
    ASSERT_TRUE(a.SwapData(&b));
    EXPECT_EQ(a.GetData(), dataB);
    EXPECT_EQ(b.GetData(), dataA);
    EXPECT_EQ(a.GetWidth(), 200);
    EXPECT_EQ(a.GetMapType(), 0);
    EXPECT_EQ(a.GetAllocMode(), 2);
    EXPECT_EQ(a.GetZoomFactor(), 2.5f);
    EXPECT_EQ(a.m_yStart, 40);
    EXPECT_EQ(b.GetHeight(), 51);
    EXPECT_EQ(a.GetRefCount(), 2);  // counts stay with their objects
    EXPECT_EQ(b.GetRefCount(), 1);
}

TEST(WorldMapBaseSwap, RefusesDifferentChannelCounts)
{
    WorldMapBase a(100, nullptr, 1, 3);
    WorldMapBase b(100, nullptr, 1, 1);
    uint8_t* dataA = a.GetData();
    uint8_t* dataB = b.GetData();
    LogCapture log;
    EXPECT_FALSE(a.SwapData(&b));
    EXPECT_EQ(log.errorCount(), 1);
    EXPECT_EQ(a.GetData(), dataA);
    EXPECT_EQ(b.GetData(), dataB);
    EXPECT_FALSE(a.SwapData(nullptr));
    EXPECT_FALSE(a.SwapData(&a));
}

// ---------------------------------------------------------------------------
// Images of the block

TEST(WorldMapBaseImages, DataImageShowsTheBlockInPlace)
{
    REGION2 region{-0.3f, 0.2f, -0.5f, 0.5f, 1.0f, 0.5f};
    WorldMapBase map(1000, &region, 1, 3);
    FillCoded(map);
    Image* view = map.GetDataImage();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetWidth(), 159);
    EXPECT_EQ(view->GetHeight(), 79);
    EXPECT_EQ(view->GetChannels(), 3);
    EXPECT_EQ(view->GetRowByte(), 159 * 3);
    EXPECT_EQ(view->GetDataType(), IMG_UINT8);
    EXPECT_EQ(view->GetData(), map.GetData());
    EXPECT_FALSE(view->IsDataOwner());

    Image* copy = map.MakeDataImage();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->GetData(), map.GetData());
    EXPECT_TRUE(testkit::SamePixels(*view, *copy));
    ReleaseImage(view);  // must not free the block (ASan)
    ReleaseImage(copy);
    EXPECT_EQ(map.GetDataPtr(500, 250)[0], Code(250, 500, 0));
}

TEST(WorldMapBaseImages, NoStorageGivesNoImage)
{
    WorldMapBase empty;
    LogCapture log;
    EXPECT_EQ(empty.GetDataImage(), nullptr);
    EXPECT_EQ(empty.MakeDataImage(), nullptr);
    EXPECT_EQ(log.errorCount(), 2);
}

TEST(WorldMapBaseImages, MakeDataImagePacksAPaddedStride)
{
    // A caller block with 4 bytes of padding after every row: the copy keeps
    // each row's samples and none of the padding.
    const int stride = 12 * 3 + 4;
    std::vector<uint8_t> buffer(size_t{stride} * 7, 0xEE);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 36; ++x) buffer[y * stride + x] = static_cast<uint8_t>(y * 36 + x);
    WorldMapBase map;
    ASSERT_TRUE(map.Init2(12, nullptr, 0, buffer.data(), stride, 3));
    Image* view = map.GetDataImage();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetRowByte(), stride);
    Image* copy = map.MakeDataImage();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetWidth(), 12);
    EXPECT_EQ(copy->GetRowByte(), 36);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 36; ++x) ASSERT_EQ(copy->GetData()[y * 36 + x], y * 36 + x);
    EXPECT_TRUE(testkit::SamePixels(*view, *copy));
    ReleaseImage(view);
    ReleaseImage(copy);
}

TEST(WorldMapBaseData, ResetDataZeroesOnlyTheBlockRows)
{
    // A caller block with padding between rows: reset clears the samples of
    // every row and leaves the padding alone.
    const int stride = 40 * 3 + 8;
    std::vector<uint8_t> buffer(size_t{stride} * 21, 0xAB);
    WorldMapBase map;
    ASSERT_TRUE(map.Init2(40, nullptr, 0, buffer.data(), stride, 3));
    map.ResetData();
    for (int r = 0; r < 21; ++r)
        for (int x = 0; x < stride; ++x)
            ASSERT_EQ(buffer[r * stride + x], x < 120 ? 0 : 0xAB) << r << "," << x;
    int x0, y0, x1, y1, w, h;
    EXPECT_FALSE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(map.m_yStart, 21);
    EXPECT_EQ(map.m_yEnd, 0);
}

TEST(WorldMapBaseData, NoOpsKeptForTheInterface)
{
    WorldMapBase map(16, nullptr, 0, 3);
    Image* image = maptest::FilledImage(4, 4, 3, 77);
    map.AddData(image, 0, 0);
    uint8_t out[3] = {5, 5, 5};
    map.GetPixelValue(1.0f, 1.0f, out);
    EXPECT_EQ(out[0], 5);
    int ox = -7, oy = -7;
    EXPECT_TRUE(map.ComputeWorldMapBasePoint(1, 2, 3, 4, ox, oy));
    EXPECT_EQ(ox, -7);
    for (size_t i = 0; i < map.GetNumSamples() * 3; ++i) ASSERT_EQ(map.GetData()[i], 0);
    ReleaseImage(image);
}

}  // namespace
