#include "worldmap/rect_world_map.h"

#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"
#include "testkit/testkit.h"
#include "worldmap/data_viewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct EventLog : DataViewer {
    int Notify(int event, WorldMap*, std::uintptr_t) override
    {
        events.push_back(event);
        return 0;
    }
    std::vector<int> events;
};

uint8_t* At(RectWorldMap& map, int column, int row)
{
    return map.GetDataPtr(column, row);
}

TEST(RectWorldMap, SizeCentreAndStart)
{
    RectWorldMap* map = new RectWorldMap(1000);
    EXPECT_EQ(map->GetWidth(), 1000);
    EXPECT_EQ(map->GetHeight(), 501);
    EXPECT_EQ(map->GetChannels(), 3);
    EXPECT_TRUE(map->IsBmp());
    int cx, cy;
    map->GetMapCenter(cx, cy);
    EXPECT_EQ(cx, 500);
    EXPECT_EQ(cy, 250);
    int x0, y0, x1, y1, w, h;
    map->GetDataArea(x0, y0, x1, y1, w, h);
    EXPECT_EQ(x0 | y0 | x1 | y1 | w | h, 0);
    EXPECT_EQ(map->m_zoomX, 1.0f);
    for (size_t i = 0; i < map->GetDataSize(); ++i) ASSERT_EQ(map->GetData()[i], 0);
    RectWorldMap odd(1003);
    EXPECT_EQ(odd.GetWidth(), 1002);
    EXPECT_EQ(odd.GetHeight(), 501);
    ReleaseImage(map);
}

TEST(RectWorldMap, PixelsWrapRowsAndColumns)
{
    struct Case {
        int x, y, column, row;
    } cases[] = {
        {0, 0, 500, 250},     {500, 0, 0, 250},   {-501, 0, 999, 250}, {0, 251, 500, 0},
        {0, -251, 500, 500},  {0, 250, 500, 500}, {INT_MIN, INT_MIN, (INT_MIN % 1000 + 1000 + 500) % 1000, 0},
        {1000 * 7 + 3, 0, 503, 250},
    };
    // INT_MIN + 250 wrapped into 501 rows, worked out here in 64 bits.
    cases[6].row = static_cast<int>((((static_cast<long long>(INT_MIN) + 250) % 501) + 501) % 501);
    cases[6].column = static_cast<int>((((static_cast<long long>(INT_MIN) + 500) % 1000) + 1000) % 1000);
    for (const Case& c : cases) {
        RectWorldMap map(1000);
        const char px[3] = {10, 20, 0};
        map.SetPixel(c.x, c.y, px);
        const uint8_t* t = At(map, c.column, c.row);
        EXPECT_EQ(t[0], 1) << c.x << "," << c.y;  // blue 0 stored as 1
        EXPECT_EQ(t[1], 20);
        EXPECT_EQ(t[2], 10);
    }
    RectWorldMap map(1000);
    std::memset(At(map, 500, 250), 100, 3);
    const char in[3] = {static_cast<char>(200), static_cast<char>(200), static_cast<char>(200)};
    map.PixelBlend(0, 0, in, 0.5f);
    EXPECT_EQ(At(map, 500, 250)[0], 150);
    map.PixelBlend(1, 0, in, 0.5f);  // empty target: plain store
    EXPECT_EQ(At(map, 501, 250)[2], 200);
}

// Out of the image there is no sample: null, not an address past the buffer.
TEST(RectWorldMap, DataPtrChecksBounds)
{
    RectWorldMap map(1000);
    EXPECT_EQ(map.GetDataPtr(0, 0), map.GetData());
    EXPECT_EQ(map.GetDataPtr(999, 500), map.GetData() + 500 * map.GetRowByte() + 999 * 3);
    EXPECT_EQ(map.GetDataPtr(1000, 0), nullptr);
    EXPECT_EQ(map.GetDataPtr(-1, 0), nullptr);
    EXPECT_EQ(map.GetDataPtr(0, 501), nullptr);
    EXPECT_EQ(map.GetDataPtr(0, -1), nullptr);
}

TEST(RectWorldMap, RingIndexAndIndexInRing)
{
    RectWorldMap map(1000);
    EXPECT_EQ(map.GetRingIndex(0.0f), 250);
    EXPECT_EQ(map.GetRingIndex(-90.0f), 0);
    EXPECT_EQ(map.GetRingIndex(90.0f), 500);
    EXPECT_EQ(map.GetIndexInRing(0.0f), 500);
    EXPECT_EQ(map.GetIndexInRing(-180.0f), 0);
    EXPECT_EQ(map.GetIndexInRing(90.0f), 750);
}

TEST(RectWorldMap, PixelValueIsTheNearestWrappedPixel)
{
    RectWorldMap map(1000);
    const char a[3] = {1, 2, 3};
    const char b[3] = {4, 5, 6};
    map.SetPixel(0, 0, a);
    map.SetPixel(499, 0, b);  // column 999
    uint8_t out[3];
    map.GetPixelValue(0.7f, 0.2f, out);
    EXPECT_EQ(out[0], 3);
    map.GetPixelValue(-500.5f, 0.0f, out);  // column -0.5 wraps to 999.5
    EXPECT_EQ(out[0], 6);
    map.GetPixelValue(1000.2f + 2000.0f, 501.0f * 3, out);
    EXPECT_EQ(out[0], 3);
    map.GetPixelValue(std::nanf(""), 0.0f, out);
    EXPECT_EQ(out[0], 0);
}

TEST(RectWorldMap, UpdateYDataAreaRectEndsExclusive)
{
    RectWorldMap map(100);
    map.UpdateYDataAreaRect(5, 9);  // empty: rows 5..9
    EXPECT_EQ(map.m_dataY0, 5);
    EXPECT_EQ(map.m_dataY1, 10);
    map.UpdateYDataAreaRect(2, 7);
    EXPECT_EQ(map.m_dataY0, 2);
    EXPECT_EQ(map.m_dataY1, 10);
    map.UpdateYDataAreaRect(6, 9);
    EXPECT_EQ(map.m_dataY1, 10);  // the last row was in already: no growth
    map.UpdateYDataAreaRect(6, 10);
    EXPECT_EQ(map.m_dataY1, 11);
}

TEST(RectWorldMap, UpdateXDataAreaRectTable)
{
    struct Case {
        int xs, xe, a, b, expXs, expXe;
    } cases[] = {
        {0, 0, 10, 20, 10, 21},   {0, 0, 90, 5, 90, 6},
        // new wraps, old wraps
        {80, 20, 70, 10, 70, 20}, {80, 20, 85, 30, 80, 31},
        // new wraps, old plain (30..60): g = 29 - b, d = a - 60
        {30, 60, 80, 40, 80, 60}, {30, 60, 70, 5, 30, 6}, {30, 60, 90, 20, 90, 60},
        {30, 60, 50, 40, 0, 100}, {30, 60, 50, 10, 30, 11}, {30, 60, 20, 10, 20, 11},
        // new plain, old plain
        {30, 60, 50, 70, 30, 71}, {30, 60, 60, 65, 30, 66}, {30, 60, 10, 30, 10, 60},
        {30, 60, 70, 80, 30, 81}, {30, 40, 90, 95, 90, 40},   // after: extend or wrap
        {30, 60, 5, 10, 5, 60},   {50, 60, 0, 2, 50, 3},      // before: extend or wrap
        // new plain, old wraps (80..20): g = 79 - b, d = a - 20
        {80, 20, 10, 50, 80, 51}, {80, 20, 5, 15, 80, 20}, {80, 20, 30, 40, 80, 41},
        {80, 20, 60, 70, 60, 20}, {80, 20, 10, 85, 0, 100}, {80, 20, 30, 85, 30, 20},
        {80, 20, 82, 90, 80, 20},
    };
    for (const Case& c : cases) {
        RectWorldMap map(100);
        map.m_dataX0 = c.xs;
        map.m_dataX1 = c.xe;
        map.UpdateXDataAreaRect(c.a, c.b);
        EXPECT_EQ(map.m_dataX0, c.expXs) << c.xs << ".." << c.xe << " + " << c.a << ".." << c.b;
        EXPECT_EQ(map.m_dataX1, c.expXe) << c.xs << ".." << c.xe << " + " << c.a << ".." << c.b;
    }
    RectWorldMap map(100);
    map.m_dataX0 = 90;
    map.m_dataX1 = 6;
    int x0, y0, x1, y1, w, h;
    map.GetDataArea(x0, y0, x1, y1, w, h);
    EXPECT_EQ(w, 16);
}

TEST(RectWorldMap, ChangeSizeResizesAndTellsViewers)
{
    EventLog viewer;
    RectWorldMap* map = new RectWorldMap(1000);
    map->AddViewer(&viewer);
    map->UpdateYDataAreaRect(3, 5);
    map->ChangeSize(1001);  // same centre
    EXPECT_TRUE(viewer.events.empty());
    EXPECT_EQ(map->m_dataY1, 6);
    map->ChangeSize(2000);
    EXPECT_EQ(viewer.events, (std::vector<int>{17}));
    EXPECT_EQ(map->GetWidth(), 2000);
    EXPECT_EQ(map->GetHeight(), 1001);
    int cx, cy;
    map->GetMapCenter(cx, cy);
    EXPECT_EQ(cx, 1000);
    EXPECT_EQ(cy, 500);
    EXPECT_EQ(map->m_dataY1, 0);  // the old samples are gone
    map->SetPixel(999, 500, "abc");  // the new last pixel is writable
    EXPECT_EQ(map->GetDataPtr(1999, 1000)[2], 'a');
    // A viewer added twice is held twice.
    map->AddViewer(&viewer);
    map->NotifyViewers(4, 0);
    EXPECT_EQ(viewer.events, (std::vector<int>{17, 4, 4}));
    ReleaseImage(map);
}

// The data area of an added image has exclusive ends like every other
// operation, clipped to the map.
TEST(RectWorldMap, AddImageSetsAnExclusiveArea)
{
    RectWorldMap map(100);  // 100 x 51
    Image* image = testkit::MakePatternImage(20, 10, 3);
    map.AddData(image, 90, 5);
    int x0, y0, x1, y1, w, h;
    map.GetDataArea(x0, y0, x1, y1, w, h);
    EXPECT_EQ(x0, 90);
    EXPECT_EQ(x1, 100);
    EXPECT_EQ(y0, 5);
    EXPECT_EQ(y1, 15);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(std::memcmp(map.GetDataPtr(90, 5), image->GetData(), 30), 0);
    Image* gray = testkit::MakePatternImage(4, 4, 1);
    LogCapture log;
    map.AddData(gray, 0, 0);
    EXPECT_EQ(log.errorCount(), 1);
    ReleaseImage(gray);
    ReleaseImage(image);
}

// The rectangular band crosses the seam: merged in two pieces, averaged
// with samples already there, empty samples skipped; event 16 when the data
// area grew, 15 when a second merge changed nothing.
TEST(RectWorldMap, SceneRectangularBand)
{
    EventLog viewer;
    RectWorldMap map(1000);
    map.AddViewer(&viewer);
    KestovaFile file;
    file.SetNumChannel(3);
    ASSERT_TRUE(file.SetBandRect(-510, -1, -491, 1));  // columns 990..1009, rows 249..251
    uint8_t* band = file.GetBandData();
    for (int r = 0; r < 3; ++r)
        for (int x = 0; x < 20; ++x)
            for (int c = 0; c < 3; ++c) band[r * file.GetBandRowBytes() + x * 3 + c] = static_cast<uint8_t>(10 * x + 1);
    band[5 * 3] = 0;  // row 249, column 995: no data
    std::memset(map.GetDataPtr(991, 250), 101, 3);
    map.AddData(&file);
    EXPECT_EQ(map.GetDataPtr(990, 249)[0], 1);
    EXPECT_EQ(map.GetDataPtr(995, 249)[0], 0);
    EXPECT_EQ(map.GetDataPtr(991, 250)[1], (101 + 11) >> 1);
    EXPECT_EQ(map.GetDataPtr(0, 251)[2], 101);   // the piece after the seam
    EXPECT_EQ(map.GetDataPtr(9, 251)[0], 191);
    EXPECT_EQ(map.GetDataPtr(10, 251)[0], 0);
    int x0, y0, x1, y1, w, h;
    map.GetDataArea(x0, y0, x1, y1, w, h);
    EXPECT_EQ(x0, 990);
    EXPECT_EQ(x1, 10);
    EXPECT_EQ(y0, 249);
    EXPECT_EQ(y1, 252);
    EXPECT_EQ(w, 20);
    EXPECT_EQ(viewer.events, (std::vector<int>{16}));
    map.AddData(&file);
    EXPECT_EQ(viewer.events, (std::vector<int>{16, 15}));
}

// A band of s = W/2 samples is stretched onto the row: each target column k
// reads source position k s / W - first, interpolating between neighbours.
TEST(RectWorldMap, SceneBandsAreResampled)
{
    RectWorldMap map(1000);
    KestovaFile file;
    file.SetNumChannel(3);
    CBand* band = file.AddBand(3, 500);
    CSector* sector = band->AddSector(10, 14, 3);  // 5 samples
    const uint8_t values[5] = {10, 20, 40, 80, 160};
    for (int q = 0; q < 5; ++q) std::memset(sector->GetDataPtr() + q * 3, values[q], 3);
    map.AddData(&file);
    // Columns 20..28 before the shift to the centre (+500).
    const uint8_t want[9] = {10, 15, 20, 30, 40, 60, 80, 120, 160};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(map.GetDataPtr(520 + k, 253)[0], want[k]) << k;
    EXPECT_EQ(map.GetDataPtr(519, 253)[0], 0);
    EXPECT_EQ(map.GetDataPtr(529, 253)[0], 0);
    int x0, y0, x1, y1, w, h;
    map.GetDataArea(x0, y0, x1, y1, w, h);
    EXPECT_EQ(x0, 520);
    EXPECT_EQ(x1, 529);
    EXPECT_EQ(y0, 253);
    EXPECT_EQ(y1, 254);
}

// ---------------------------------------------------------------------------
// Overview

// The overview from its definition, pixel by pixel: the ellipse of half
// width B = 2 sqrt(m^2 - w^2) on image row i, column k standing for offset
// j = k + sx - hw, map row R = w / zoomY + cy kept on the map, column
// H = cx + j g / (B zoomX) wrapping round the sphere; bilinear between
// rows D and D + 1 unless D is the last row or the fraction is 0.
void OverviewReference(RectWorldMap& map, Image* image, int x, int y)
{
    image->Clear();
    int cx, cy;
    map.GetMapCenter(cx, cy);
    const int g = static_cast<int>(cx * map.m_zoomX + 0.5f);
    const int m = static_cast<int>(cy * map.m_zoomY + 0.5f);
    const int sx = static_cast<int>(x * map.m_zoomX + 0.5f);
    const int sy = static_cast<int>(y * map.m_zoomY + 0.5f);
    const int hw = image->GetWidth() / 2, hh = image->GetHeight() / 2;
    const int W = map.GetWidth(), H = map.GetHeight();
    for (int i = 0; i < image->GetHeight(); ++i) {
        const int w = sy + i - hh;
        const float q = float(m) * float(m) - float(w) * float(w);
        if (q < 0) continue;
        const float B = 2.0f * std::sqrt(q);
        const int e = static_cast<int>(B);
        if (e == 0) continue;
        float R = w / map.m_zoomY + cy;
        R = std::min(std::max(R, 0.0f), float(H - 1));
        const int D = static_cast<int>(R);
        const float G = R - D;
        for (int k = 0; k < image->GetWidth(); ++k) {
            const int j = k + sx - hw;
            if (j < -e || j > e) continue;
            const float Hc = cx + j * float(g) / (B * map.m_zoomX);
            const float fl = std::floor(Hc);
            const float h = Hc - fl;
            const int I = ((static_cast<int>(fl) % W) + W) % W;
            const int I1 = (I + 1) % W;
            uint8_t* out = image->GetData() + i * image->GetRowByte() + k * 3;
            for (int c = 0; c < 3; ++c) {
                const float s = map.GetDataPtr(I, D)[c];
                const float s10 = map.GetDataPtr(I1, D)[c];
                float v;
                if (D != H - 1 && G != 0) {
                    const float s01 = map.GetDataPtr(I, D + 1)[c];
                    const float s11 = map.GetDataPtr(I1, D + 1)[c];
                    v = h == 0 ? s + G * (s01 - s)
                               : s + (1 - G) * h * (s10 - s) + G * (1 - h) * (s01 - s) + G * h * (s11 - s);
                } else {
                    v = h == 0 ? s : s + h * (s10 - s);
                }
                out[c] = static_cast<uint8_t>(std::min(255, std::max(0, static_cast<int>(v))));
            }
        }
    }
}

// Samples that tell rows and columns apart, with the last column very
// different from the first so that a read past the row shows.
void FillRectCoded(RectWorldMap& map)
{
    for (int r = 0; r < map.GetHeight(); ++r)
        for (int x = 0; x < map.GetWidth(); ++x)
            for (int c = 0; c < 3; ++c)
                map.GetDataPtr(x, r)[c] = static_cast<uint8_t>(x == map.GetWidth() - 1 ? 250 : (x + 3 * r + 40 * c) % 200);
}

TEST(RectWorldMap, OverviewMatchesItsDefinition)
{
    struct Case {
        int W;
        float zx, zy;
        int imageW, imageH, x, y;
    } cases[] = {
        {400, 0.5f, 0.5f, 200, 101, 0, 0},  {400, 1.0f, 1.0f, 300, 150, 20, -10},
        {400, 0.3f, 0.45f, 160, 120, -7, 3}, {256, 2.0f, 2.0f, 400, 300, 0, 0},
        {400, 0.5f, 0.5f, 50, 40, 300, 200},   // scrolled mostly away
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << " zoom " << c.zx << "," << c.zy << " scroll " << c.x << "," << c.y);
        RectWorldMap map(c.W);
        FillRectCoded(map);
        map.SetZoomFactor(c.zx, c.zy);
        Image* got = new Image(c.imageW, c.imageH, 3);
        Image* want = new Image(c.imageW, c.imageH, 3);
        std::memset(got->GetData(), 7, got->GetDataSize());
        map.ComputeWorldMapImage(got, c.x, c.y);
        OverviewReference(map, want, c.x, c.y);
        EXPECT_TRUE(testkit::SamePixels(*got, *want));
        ReleaseImage(got);
        ReleaseImage(want);
    }
}

TEST(RectWorldMap, OverviewOfAUniformMapIsAFilledEllipse)
{
    RectWorldMap map(1000);
    for (int r = 0; r < 501; ++r)
        for (int x = 0; x < 1000; ++x) {
            uint8_t* p = map.GetDataPtr(x, r);
            p[0] = 10;
            p[1] = 20;
            p[2] = 30;
        }
    map.SetZoomFactor(0.5f, 0.5f);
    Image* image = new Image(500, 251, 3);
    map.ComputeWorldMapImage(image, 0, 0);
    // g = 250, m = 125: the centre row spans the whole image.
    for (int k = 0; k < 500; ++k) EXPECT_EQ(image->GetData()[125 * image->GetRowByte() + k * 3 + 2], 30) << k;
    int drawn = 0;
    for (int i = 0; i < 251; ++i)
        for (int k = 0; k < 500; ++k) {
            const uint8_t* p = image->GetData() + i * image->GetRowByte() + k * 3;
            if (p[0] == 0) continue;
            ++drawn;
            ASSERT_EQ(p[1], 20);
        }
    // The ellipse of half axes 250 and 125 covers pi * 250 * 125 pixels.
    EXPECT_NEAR(drawn, M_PI * 250 * 125, 0.01 * M_PI * 250 * 125);
    ReleaseImage(image);
}

TEST(RectWorldMap, GridIsBlueOverTheEllipse)
{
    RectWorldMap map(1000);
    map.SetZoomFactor(0.5f, 0.5f);
    Image* image = new Image(500, 251, 3);
    map.ComputeWorldMapGrid(image, 0, 0);
    // The central meridian (column hw - sx = 250) on every drawn row, the
    // equator's latitude line across the ellipse.
    for (int i = 0; i < 251; ++i) {
        const uint8_t* p = image->GetData() + i * image->GetRowByte() + 250 * 3;
        EXPECT_EQ(p[0], 255) << i;
        EXPECT_EQ(p[1], 0);
    }
    for (int k = 0; k < 500; ++k) EXPECT_EQ(image->GetData()[125 * image->GetRowByte() + k * 3], 255) << k;
    int blue = 0;
    for (size_t i = 0; i < image->GetDataSize(); i += 3) blue += image->GetData()[i] == 255;
    EXPECT_GT(blue, 251 + 500 + 36 * 100);  // meridian points on most rows
    ReleaseImage(image);
}

TEST(RectWorldMap, WorldMapPoint)
{
    RectWorldMap map(1000);
    map.SetZoomFactor(0.5f, 2.0f);
    int ox = 0, oy = 0;
    EXPECT_TRUE(map.ComputeWorldMapPoint(600, 250, 0, 0, ox, oy));
    EXPECT_EQ(ox, 50);
    EXPECT_EQ(oy, 0);
    EXPECT_TRUE(map.ComputeWorldMapPoint(600, 375, 10, 5, ox, oy));  // k = sqrt(0.75)
    EXPECT_EQ(ox, static_cast<int>((100 * std::sqrt(0.75f) - 10) * 0.5f));
    EXPECT_EQ(oy, 240);
    EXPECT_FALSE(map.ComputeWorldMapPoint(-1, 10, 0, 0, ox, oy));
    EXPECT_FALSE(map.ComputeWorldMapPoint(1000, 250, 0, 0, ox, oy));
    EXPECT_EQ(ox, 500);  // the offsets are written before the refusal
    EXPECT_FALSE(map.ComputeWorldMapPoint(500, 501, 0, 0, ox, oy));
}

TEST(RectWorldMap, LayersAndCallback)
{
    EventLog viewer;
    RectWorldMap map(100);
    map.AddViewer(&viewer);
    TextLayer* text = map.GetTextLayer();
    EXPECT_EQ(map.GetTextLayer(), text);
    auto* cell = new BmpCell();
    map.ViewerCallback(&viewer, 0, reinterpret_cast<std::uintptr_t>(cell));
    ASSERT_NE(map.GetBmpLayer(), nullptr);
    EXPECT_EQ(map.GetBmpLayer()->GetBmpCell(0), cell);
    EXPECT_EQ(viewer.events, (std::vector<int>{0}));
    ReleaseImage(cell);
}

}  // namespace
