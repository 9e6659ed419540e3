#include "worldmap/world_map.h"

#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"
#include "worldmap/tests/map_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

// Sector samples coded by their position in the sector, never 0.
void FillSector(CSector* sector, int channels, int salt)
{
    for (int q = 0; q < sector->GetNumSamples(); ++q)
        for (int c = 0; c < channels; ++c)
            sector->GetDataPtr()[q * channels + c] = static_cast<uint8_t>(1 + (q * 7 + c * 50 + salt) % 250);
}

// Where each sector sample must land by definition: sample q of a sector at
// column first + q (one turn of it at most) goes to row index
// first + q + s/2 - vc wrapped into the row, when that index is stored.
// Returns index -> sample pointer for one band.
std::map<int, const uint8_t*> ExpectedPlacement(const WorldMapBase& map, const CBand& band, int channels)
{
    std::map<int, const uint8_t*> out;
    const int r = band.m_row + map.GetHeight() / 2;
    const WorldMapBase::ScanLine* line = map.GetScanLine(r);
    if (!line || !line->m_line) return out;
    const int s = line->m_samples;
    for (int k = 0; k < band.m_numSectors; ++k) {
        const CSector* sector = band.m_sectors[k];
        const int n = std::min(sector->GetNumSamples(), s);
        for (int q = 0; q < n; ++q) {
            int index = (sector->m_first + q + s / 2 - map.GetViewCenter_int()) % s;
            if (index < 0) index += s;
            if (index < line->m_first || index > line->m_last) continue;
            out[index] = sector->GetDataPtr() + q * channels;
        }
    }
    return out;
}

void ExpectRowHolds(const WorldMapBase& map, int r, const std::map<int, const uint8_t*>& expected, int fc)
{
    const WorldMapBase::ScanLine* line = map.GetScanLine(r);
    const int mc = map.GetChannels();
    for (int i = line->m_first; i <= line->m_last; ++i) {
        const uint8_t* got = map.GetDataPtr(i, r);
        auto it = expected.find(i);
        for (int c = 0; c < mc; ++c) {
            const uint8_t want = it == expected.end() ? 0 : it->second[fc == mc ? c : 0];
            ASSERT_EQ(got[c], want) << "row " << r << " index " << i << " channel " << c;
        }
    }
}

struct SectorCase {
    const char* what;
    int row, first, last;
};

// W = 64 rectangular: rows of 64 samples, centre 32.
const SectorCase kSectors[] = {
    {"inside the row", 0, -5, 4},
    {"across the row's end", 2, 25, 40},
    {"starting before index 0", -3, -40, -20},
    {"longer than the row", 5, -40, 40},
    {"far right, whole turns out", 1, 200, 210},
    {"one sample", 7, 31, 31},
    {"exactly one turn", -7, -10, 53},
};

TEST(WorldMapAddData, PlacementOnAFullMap)
{
    for (const SectorCase& c : kSectors) {
        SCOPED_TRACE(c.what);
        WorldMap map(64, nullptr, 0, 3);
        KestovaFile file;
        file.SetNumChannel(3);
        file.SetEquatorSampleNum(64);
        CBand* band = file.AddBand(c.row, 64);
        FillSector(band->AddSector(c.first, c.last, 3), 3, 0);
        map.AddData(&file, -100, 100, false);
        ExpectRowHolds(map, c.row + 16, ExpectedPlacement(map, *band, 3), 3);
        EXPECT_EQ(map.GetFlags() & 2, 2u);
    }
}

// A block map stores only the middle columns of its rows: sectors are cut at
// the stored range, in every wrapping case, on rectangular and elliptical
// rows, with a view centre off the map centre. Random sectors against the
// placement definition.
TEST(WorldMapAddData, RandomSectorsOnBlockMaps)
{
    std::mt19937 rng(11);
    struct Kind {
        int type;
        REGION2 region;
    } kinds[] = {
        {0, {-0.4f, 0.4f, -1.0f, 1.0f, 2.0f, 0.8f}},
        {1, {-1.5f, 1.5f, -0.6f, 1.4f, 2.0f, 3.0f}},
        {1, {-1.6f, 1.6f, -3.2f, 3.2f, 6.4f, 3.2f}},
    };
    for (const Kind& kind : kinds) {
        for (int fc : {3, 1}) {
            for (int trial = 0; trial < 40; ++trial) {
                WorldMap map(64, const_cast<REGION2*>(&kind.region), kind.type, 3);
                int first, last;
                map.GetScanLineRange(first, last);  // data area empty: use the block rows
                const RECT block = *map.GetMapRect();
                const int y = block.top + static_cast<int>(rng() % (block.bottom - block.top + 1)) - 16;
                KestovaFile file;
                file.SetNumChannel(fc);
                file.SetEquatorSampleNum(64);
                CBand* band = file.AddBand(y, 64);
                const int sectors = 1 + rng() % 3;
                for (int k = 0; k < sectors; ++k) {
                    const int start = static_cast<int>(rng() % 200) - 100;
                    const int length = 1 + static_cast<int>(rng() % 90);
                    FillSector(band->AddSector(start, start + length - 1, fc), fc, k * 3);
                }
                // Sectors may overlap: the later one wins in copy mode, as
                // in the definition's map.
                map.AddData(&file, -100, 100, false);
                ExpectRowHolds(map, y + 16, ExpectedPlacement(map, *band, fc), fc);
            }
        }
    }
}

TEST(WorldMapAddData, SectorsClippedAtTheStoredRange)
{
    // Block of indices 27..37 (region width 1 rad at W = 64).
    REGION2 region{-0.2f, 0.2f, -0.5f, 0.5f, 1.0f, 0.4f};
    WorldMap map(64, &region, 0, 3);
    ASSERT_EQ(map.GetScanLine(16)->m_first, 27);
    ASSERT_EQ(map.GetScanLine(16)->m_last, 37);
    KestovaFile file;
    file.SetNumChannel(3);
    file.SetEquatorSampleNum(64);
    CBand* band = file.AddBand(0, 64);
    CSector* sector = band->AddSector(-10, 10, 3);  // indices 22..42
    FillSector(sector, 3, 0);
    map.AddData(&file, -100, 100, false);
    for (int i = 27; i <= 37; ++i)
        EXPECT_EQ(map.GetDataPtr(i, 16)[0], sector->GetDataPtr()[(i - 22) * 3]) << i;
    // The extent recorded is the part written: columns -5..5, i.e. map
    // columns 27..37.
    EXPECT_EQ(map.m_xStart, 27);
    EXPECT_EQ(map.m_xEnd, 38);
    EXPECT_EQ(map.m_yStart, 16);
    EXPECT_EQ(map.m_yEnd, 17);
}

// A sector running across the row's end is written in two pieces and the
// data area's columns wrap (end below start).
TEST(WorldMapAddData, WrappingSectorWrapsTheDataArea)
{
    WorldMap map(64, nullptr, 0, 3);
    KestovaFile file;
    file.SetNumChannel(3);
    file.SetEquatorSampleNum(64);
    CBand* band = file.AddBand(0, 64);
    FillSector(band->AddSector(25, 40, 3), 3, 0);  // indices 57..63, 0..8
    map.AddData(&file);
    EXPECT_EQ(map.m_xStart, 57);
    EXPECT_EQ(map.m_xEnd, 9);
    int x0, y0, x1, y1, w, h;
    ASSERT_TRUE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(w, 16);
}

// Two sectors on opposite sides of the seam: the later one is shifted by a
// whole turn so that the extent stays short (columns 25..30 and -30..-25
// make 25..39 after the shift, not -30..30).
TEST(WorldMapAddData, ExtentTakesTheShortWayRound)
{
    WorldMap map(64, nullptr, 0, 1);
    KestovaFile file;
    file.SetNumChannel(1);
    file.SetEquatorSampleNum(64);
    CBand* band = file.AddBand(3, 64);
    FillSector(band->AddSector(25, 30, 1), 1, 0);
    FillSector(band->AddSector(-30, -25, 1), 1, 0);
    map.AddData(&file);
    EXPECT_EQ(map.m_xStart, 57);
    EXPECT_EQ(map.m_xEnd, 8);

    // The other order shifts the later sector the other way: -30..-25 and
    // 25..30 make -39..-25, the same columns.
    WorldMap other(64, nullptr, 0, 1);
    KestovaFile reversed;
    reversed.SetNumChannel(1);
    reversed.SetEquatorSampleNum(64);
    CBand* band2 = reversed.AddBand(3, 64);
    FillSector(band2->AddSector(-30, -25, 1), 1, 0);
    FillSector(band2->AddSector(25, 30, 1), 1, 0);
    other.AddData(&reversed);
    EXPECT_EQ(other.m_xStart, 57);
    EXPECT_EQ(other.m_xEnd, 8);
}

TEST(WorldMapAddData, BlendAveragesAndSkipsEmptySamples)
{
    WorldMap map(64, nullptr, 0, 3);
    std::memset(map.GetDataPtr(30, 16), 100, 3);
    KestovaFile file;
    file.SetNumChannel(3);
    file.SetEquatorSampleNum(64);
    CBand* band = file.AddBand(0, 64);
    CSector* sector = band->AddSector(-2, 1, 3);  // indices 30..33
    std::memset(sector->GetDataPtr(), 201, 12);
    sector->GetDataPtr()[3] = 0;  // index 31: no data
    std::memset(map.GetDataPtr(31, 16), 90, 3);
    map.AddData(&file, -100, 100, true);
    EXPECT_EQ(map.GetDataPtr(30, 16)[0], 150);  // (100 + 201) >> 1
    EXPECT_EQ(map.GetDataPtr(31, 16)[0], 90);   // skipped
    EXPECT_EQ(map.GetDataPtr(32, 16)[2], 201);  // empty target: copied
    // Copy mode overwrites.
    map.AddData(&file, -100, 100, false);
    EXPECT_EQ(map.GetDataPtr(30, 16)[0], 201);
    EXPECT_EQ(map.GetDataPtr(31, 16)[0], 90);
}

TEST(WorldMapAddData, RowsOutsideTheRangeOrStorageAreSkipped)
{
    REGION2 region{-0.2f, 0.2f, -0.5f, 0.5f, 1.0f, 0.4f};  // rows 14..18
    WorldMap map(64, &region, 0, 3);
    KestovaFile file;
    file.SetNumChannel(3);
    file.SetEquatorSampleNum(64);
    FillSector(file.AddBand(-10, 64)->AddSector(-3, 3, 3), 3, 0);  // row 6: no storage
    FillSector(file.AddBand(1, 64)->AddSector(-3, 3, 3), 3, 0);    // row 17, outside [-1, 0]
    file.AddBand(0, 64);                                           // no sectors
    map.AddData(&file, -1, 0, false);
    int x0, y0, x1, y1, w, h;
    EXPECT_FALSE(map.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(map.GetFlags() & 2, 0u);
    EXPECT_EQ(map.GetDataPtr(32, 17)[0], 0);

    // A sector that misses the stored columns widens the rows only.
    KestovaFile miss;
    miss.SetNumChannel(3);
    miss.SetEquatorSampleNum(64);
    FillSector(miss.AddBand(0, 64)->AddSector(20, 25, 3), 3, 0);  // indices 52..57
    map.AddData(&miss);
    EXPECT_EQ(map.GetFlags() & 2, 0u);
    EXPECT_EQ(map.m_yStart, 16);
    EXPECT_EQ(map.m_yEnd, 17);
    EXPECT_EQ(map.m_xStart, map.m_xEnd);
}

TEST(WorldMapAddData, ChannelPairing)
{
    WorldMap color(64, nullptr, 0, 3);
    KestovaFile gray;
    gray.SetNumChannel(1);
    gray.SetEquatorSampleNum(64);
    std::memset(gray.AddBand(0, 64)->AddSector(0, 3, 1)->GetDataPtr(), 40, 4);
    color.AddData(&gray);
    EXPECT_EQ(color.GetDataPtr(33, 16)[0], 40);
    EXPECT_EQ(color.GetDataPtr(33, 16)[2], 40);

    WorldMap one(64, nullptr, 0, 1);
    KestovaFile rgb;
    rgb.SetNumChannel(3);
    rgb.SetEquatorSampleNum(64);
    std::memset(rgb.AddBand(0, 64)->AddSector(0, 3, 3)->GetDataPtr(), 40, 12);
    LogCapture log;
    one.AddData(&rgb);
    one.AddDataBlend(&rgb);
    EXPECT_EQ(log.errorCount(), 2);
    EXPECT_EQ(*one.GetDataPtr(33, 16), 0);
}

// AddDataBlend places every band (no row range), always averaging, and
// widens the columns to the stored range of the rows it wrote.
TEST(WorldMapAddDataBlend, AllBandsBlended)
{
    REGION2 region{-0.2f, 0.2f, -0.5f, 0.5f, 1.0f, 0.4f};  // rows 14..18, indices 27..37
    WorldMap map(64, &region, 0, 3);
    std::memset(map.GetDataPtr(30, 14), 100, 3);
    KestovaFile file;
    file.SetNumChannel(3);
    file.SetEquatorSampleNum(64);
    CSector* a = file.AddBand(-2, 64)->AddSector(-4, 4, 3);
    std::memset(a->GetDataPtr(), 201, 27);
    CSector* b = file.AddBand(2, 64)->AddSector(-40, 40, 3);  // longer than the row
    FillSector(b, 3, 5);
    map.AddDataBlend(&file);
    EXPECT_EQ(map.GetDataPtr(30, 14)[0], 150);
    EXPECT_EQ(map.GetDataPtr(31, 14)[0], 201);
    CBand* bandB = static_cast<CBand*>(file.GetBandList()->GetData(1));
    ExpectRowHolds(map, 18, ExpectedPlacement(map, *bandB, 3), 3);
    EXPECT_EQ(map.m_xStart, 27);
    EXPECT_EQ(map.m_xEnd, 38);
    EXPECT_EQ(map.m_yStart, 14);
    EXPECT_EQ(map.m_yEnd, 19);
}

}  // namespace
