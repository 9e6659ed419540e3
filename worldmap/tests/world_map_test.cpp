#include "worldmap/world_map.h"

#include "core/logger.h"
#include "testkit/testkit.h"
#include "worldmap/bmp_cell.h"
#include "worldmap/data_viewer.h"
#include "worldmap/tests/map_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using maptest::Code;
using maptest::FillCoded;
using maptest::FilledImage;
using maptest::Pixel;

namespace {

// A viewer that records what it hears and can run an action while handling.
struct Recorder : DataViewer {
    Recorder(std::vector<std::string>* log, std::string name) : m_log(log), m_name(std::move(name)) {}
    int Notify(int event, WorldMap* map, std::uintptr_t param) override
    {
        m_log->push_back(m_name + ":" + std::to_string(event));
        m_lastMap = map;
        m_lastParam = param;
        if (m_action) m_action(event);
        return 0;
    }
    std::vector<std::string>* m_log;
    std::string m_name;
    WorldMap* m_lastMap = nullptr;
    std::uintptr_t m_lastParam = 0;
    std::function<void(int)> m_action;
};

using Log = std::vector<std::string>;

TEST(WorldMapViewers, RegistrationOrderAndNoDuplicates)
{
    Log log;
    Recorder a(&log, "a"), b(&log, "b"), c(&log, "c");
    WorldMap map(64, 3);
    map.AddViewer(&a);
    map.AddViewer(&b);
    map.AddViewer(&a);  // already there
    map.AddViewer(&c);
    map.AddViewer(nullptr);
    const std::uintptr_t wide = static_cast<std::uintptr_t>(0x123456789ABCull);
    EXPECT_EQ(map.NotifyViewers(7, wide), 0);
    EXPECT_EQ(log, (Log{"a:7", "b:7", "c:7"}));
    EXPECT_EQ(c.m_lastMap, &map);
    EXPECT_EQ(c.m_lastParam, wide);  // a 64-bit address arrives whole
    map.RemoveViewer(&b);
    map.RemoveViewer(&b);  // absent: nothing
    log.clear();
    map.NotifyViewers(3, 0);
    EXPECT_EQ(log, (Log{"a:3", "c:3"}));
}

// A viewer that unregisters itself while handling an event does not disturb
// delivery to the others: for event 19 (as always) and any other event.
TEST(WorldMapViewers, ViewerMayRemoveItselfDuringAnyEvent)
{
    for (int event : {19, 5}) {
        Log log;
        Recorder a(&log, "a"), b(&log, "b"), c(&log, "c");
        WorldMap map(64, 3);
        b.m_action = [&](int) { map.RemoveViewer(&b); };
        map.AddViewer(&a);
        map.AddViewer(&b);
        map.AddViewer(&c);
        map.NotifyViewers(event, 1);
        EXPECT_EQ(log, (Log{"a:" + std::to_string(event), "b:" + std::to_string(event), "c:" + std::to_string(event)}));
        log.clear();
        map.NotifyViewers(event, 1);
        EXPECT_EQ(log, (Log{"a:" + std::to_string(event), "c:" + std::to_string(event)}));
    }
}

// A viewer that unregisters and destroys a later viewer: the destroyed one
// is not called (ASan would report the use after free).
TEST(WorldMapViewers, ViewerRemovedBeforeItsTurnIsSkipped)
{
    Log log;
    WorldMap map(64, 3);
    Recorder a(&log, "a");
    auto* b = new Recorder(&log, "b");
    a.m_action = [&](int) {
        map.RemoveViewer(b);
        delete b;
        b = nullptr;
    };
    map.AddViewer(&a);
    map.AddViewer(b);
    map.NotifyViewers(19, 0);
    EXPECT_EQ(log, (Log{"a:19"}));
}

// The last reference dropped by a viewer while the map notifies: the map
// stays alive until the delivery ends.
TEST(WorldMapViewers, MapReleasedDuringDeliveryLivesToTheEnd)
{
    Log log;
    auto* map = new WorldMap(64, 3);
    Recorder a(&log, "a"), b(&log, "b");
    a.m_action = [&](int) { map->Release(); };
    map->AddViewer(&a);
    map->AddViewer(&b);
    map->NotifyViewers(2, 0);
    EXPECT_EQ(log, (Log{"a:2", "b:2"}));  // map is gone now; LeakSanitizer checks it was freed
}

TEST(WorldMapViewers, ViewerCallbackAddsTheCellAndTellsEveryone)
{
    Log log;
    Recorder a(&log, "a");
    WorldMap map(64, 3);
    map.AddViewer(&a);
    EXPECT_EQ(map.GetBmpLayer(), nullptr);
    auto* cell = new BmpCell();
    EXPECT_EQ(map.ViewerCallback(&a, 1, reinterpret_cast<std::uintptr_t>(cell)), 0);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(map.ViewerCallback(&a, 0, reinterpret_cast<std::uintptr_t>(cell)), 0);
    ASSERT_NE(map.GetBmpLayer(), nullptr);
    EXPECT_EQ(map.GetBmpLayer()->GetBmpCell(0), cell);
    EXPECT_EQ(cell->m_refCount, 2);
    EXPECT_EQ(log, (Log{"a:0"}));
    EXPECT_EQ(a.m_lastParam, reinterpret_cast<std::uintptr_t>(cell));
    ReleaseImage(cell);  // the layer keeps it until the map goes
}

TEST(WorldMapNames, SetNameKeepsACopyAndIgnoresEmptyNames)
{
    WorldMap map;
    EXPECT_EQ(map.GetName(), nullptr);
    char name[] = "pano.jpg";
    map.SetName(name);
    name[0] = 'X';
    EXPECT_STREQ(map.GetName(), "pano.jpg");
    map.SetName("");
    map.SetName(nullptr);
    EXPECT_STREQ(map.GetName(), "pano.jpg");
    map.SetName("other.tif");
    EXPECT_STREQ(map.GetName(), "other.tif");
}

TEST(WorldMapLayers, TextLayerMadeOnceAndLayersSwapWithStorage)
{
    WorldMap a(64, 3), b(128, 3);
    TextLayer* text = a.GetTextLayer();
    EXPECT_EQ(a.GetTextLayer(), text);
    text->AddTextCell(new TextCell("north"));
    a.SetName("a");
    b.SetName("b");
    ASSERT_TRUE(a.SwapData(&b));
    EXPECT_EQ(a.GetWidth(), 128);
    EXPECT_EQ(b.GetTextLayer(), text);
    EXPECT_NE(a.GetTextLayer(), text);
    EXPECT_STREQ(a.GetName(), "a");  // names stay

    WorldMap gray(64, 1);
    TextLayer* grayText = gray.GetTextLayer();
    LogCapture capture;
    EXPECT_FALSE(gray.SwapData(&b));
    EXPECT_EQ(gray.GetTextLayer(), grayText);
    EXPECT_EQ(b.GetTextLayer(), text);
}

// ---------------------------------------------------------------------------
// AddDataWM

TEST(WorldMapAddDataWM, RefusesMapsOfAnotherGeometry)
{
    WorldMap target(64, nullptr, 0, 3);
    WorldMap wider(128, nullptr, 0, 3);
    WorldMap elliptical(64, nullptr, 1, 3);
    WorldMap gray(64, nullptr, 0, 1);
    WorldMap color(64, nullptr, 0, 3);
    color.setFullCoverFg();
    for (WorldMapBase* source : {static_cast<WorldMapBase*>(&wider), static_cast<WorldMapBase*>(&elliptical)}) {
        source->setFullCoverFg();
        LogCapture log;
        EXPECT_FALSE(target.AddDataWM(source));
        EXPECT_EQ(log.errorCount(), 1);
    }
    EXPECT_FALSE(gray.AddDataWM(&color));  // three channels into one
    EXPECT_FALSE(target.AddDataWM(nullptr));
    EXPECT_FALSE(target.AddDataWM(&target));
    int x0, y0, x1, y1, w, h;
    EXPECT_FALSE(target.GetDataArea(x0, y0, x1, y1, w, h));
}

TEST(WorldMapAddDataWM, CopiesTheDataAreaIntoAFullMap)
{
    WorldMap source(64, nullptr, 0, 3), target(64, nullptr, 0, 3);
    FillCoded(source);
    source.UpdateScanLineArea(10);
    source.UpdateScanLineArea(14);
    source.UpdateXDataAreaRect(20, 29);
    ASSERT_TRUE(target.AddDataWM(&source));
    for (int r = 0; r < 33; ++r)
        for (int i = 0; i < 64; ++i) {
            const bool inside = r >= 10 && r <= 14 && i >= 20 && i <= 29;
            EXPECT_EQ(target.GetDataPtr(i, r)[1], inside ? Code(r, i, 1) : 0) << i << "," << r;
        }
    int x0, y0, x1, y1, w, h;
    ASSERT_TRUE(target.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(x0, 20);
    EXPECT_EQ(x1, 30);
    EXPECT_EQ(y0, 10);
    EXPECT_EQ(y1, 15);
}

// A source area across the seam continues at column 0 of a full target.
TEST(WorldMapAddDataWM, AreaAcrossTheSeam)
{
    WorldMap source(64, nullptr, 0, 1), target(64, nullptr, 0, 1);
    FillCoded(source);
    source.UpdateScanLineArea(16);
    source.UpdateXDataAreaRect(60, 3);
    ASSERT_TRUE(target.AddDataWM(&source));
    for (int i = 0; i < 64; ++i) {
        const bool inside = i >= 60 || i <= 3;
        EXPECT_EQ(*target.GetDataPtr(i, 16), inside ? Code(16, i, 0) : 0) << i;
    }
    EXPECT_EQ(target.m_xStart, 60);
    EXPECT_EQ(target.m_xEnd, 4);
}

// A target that stores only a block: the part of the source area in the
// block is copied, nothing is written past it (ASan), and the data area
// stays inside the block.
TEST(WorldMapAddDataWM, PartialBlockDoesNotOverrun)
{
    WorldMap source(64, nullptr, 0, 3);
    FillCoded(source);
    source.setFullCoverFg();
    REGION2 region{-0.2f, 0.2f, -0.5f, 0.5f, 1.0f, 0.4f};
    WorldMap target(64, &region, 0, 3);
    const RECT block = *target.GetMapRect();
    ASSERT_TRUE(target.AddDataWM(&source));
    for (int r = block.top; r <= block.bottom; ++r)
        for (int i = block.left; i <= block.right; ++i)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(target.GetDataPtr(i, r)[c], Code(r, i, c)) << i << "," << r;
    int x0, y0, x1, y1, w, h;
    ASSERT_TRUE(target.GetDataArea(x0, y0, x1, y1, w, h));
    EXPECT_EQ(x0, block.left);
    EXPECT_EQ(x1, block.right + 1);
    EXPECT_EQ(y0, block.top);
    EXPECT_EQ(y1, block.bottom + 1);

    // A source area wholly outside the block changes nothing.
    WorldMap far(64, nullptr, 0, 3);
    far.UpdateScanLineArea(0);
    far.UpdateXDataAreaRect(0, 3);
    WorldMap fresh(64, &region, 0, 3);
    ASSERT_TRUE(fresh.AddDataWM(&far));
    EXPECT_FALSE(fresh.GetDataArea(x0, y0, x1, y1, w, h));
}

// ---------------------------------------------------------------------------
// ComputeWorldMapImage

TEST(WorldMapOverview, SizeRoundsUpAndSmallImagesAreResized)
{
    WorldMap map(1000, nullptr, 0, 3);
    map.setFullCoverFg();  // 1000 x 501
    Image* image = new Image(10, 10, 3);
    map.ComputeWorldMapImage(image, 0.5f, false, false);
    EXPECT_EQ(image->GetWidth(), 500);
    EXPECT_EQ(image->GetHeight(), 251);  // 250.5 rounds up
    ReleaseImage(image);
}

// Each output row spans 2 t pixels round the image centre, t following the
// ellipse of the row's latitude; a uniform map shows the shape.
TEST(WorldMapOverview, RowsFollowTheEllipse)
{
    const int W = 400;
    WorldMap map(W, nullptr, 0, 3);
    for (int r = 0; r < map.GetHeight(); ++r) std::memset(map.GetDataPtr(0, r), 77, W * 3);
    map.setFullCoverFg();
    const float zoom = 0.5f;
    Image* image = FilledImage(200, 101, 3, 0);
    map.ComputeWorldMapImage(image, zoom, false, false);
    const int ow = 200;
    for (int i = 0; i < 101; ++i) {
        int drawn = 0, first = -1, last = -1;
        for (int j = 0; j < 200; ++j)
            if (Pixel(image, j, i)[0] == 77) {
                ++drawn;
                if (first < 0) first = j;
                last = j;
            }
        const double v = i / 0.5;
        const double f = 2 * v / W;
        const double e = std::sqrt(std::max(0.0, 4 * f * (1 - f)));
        const double t = (ow / 2) * e;
        EXPECT_NEAR(drawn, 2 * std::floor(t), 2.0) << i;
        if (drawn > 0) {
            EXPECT_EQ(drawn, last - first + 1) << i;  // one run
            EXPECT_EQ(first + last + 1, 200) << i;    // centred on column 100
        }
    }
    // The equator row is drawn across the whole width.
    for (int j = 0; j < 200; ++j) EXPECT_EQ(Pixel(image, j, 50)[0], 77) << j;
    ReleaseImage(image);
}

// Nearest sampling: output column j of the equator row shows map column
// trunc((j - cx) / zoom) + W/2 when the whole map is the data area.
TEST(WorldMapOverview, EquatorSamplesByNearestColumn)
{
    const int W = 64;
    WorldMap map(W, nullptr, 0, 1);
    FillCoded(map);
    map.setFullCoverFg();
    Image* image = FilledImage(32, 17, 3, 0xEE);
    map.ComputeWorldMapImage(image, 0.5f, false, false);
    for (int j = 0; j < 32; ++j) {
        const int u = static_cast<int>((j - 16) / 0.5f) + 32;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(Pixel(image, j, 8)[c], Code(16, u, 0)) << j;
    }
    ReleaseImage(image);
}

TEST(WorldMapOverview, PlacementWithoutResize)
{
    const int W = 64;
    WorldMap map(W, nullptr, 0, 3);
    for (int r = 10; r < 20; ++r) std::memset(map.GetDataPtr(0, r), 50, W * 3);
    map.UpdateScanLineArea(10);
    map.UpdateScanLineArea(19);
    map.setFullCoverFg();
    map.m_yStart = 10;
    map.m_yEnd = 20;
    // Data area 64 x 10 at zoom 1 into a taller image: drawn from row
    // trunc(zoom * y0) = 10, or centred vertically at (40 - 10) / 2 = 15.
    for (bool centre : {false, true}) {
        Image* image = FilledImage(64, 40, 3, 9);
        map.ComputeWorldMapImage(image, 1.0f, false, centre);
        EXPECT_EQ(image->GetWidth(), 64);
        EXPECT_EQ(image->GetHeight(), 40);
        const int top = centre ? 15 : 10;
        for (int y = 0; y < 40; ++y) {
            const bool rowDrawn = Pixel(image, 32, y)[0] == 50;
            EXPECT_EQ(rowDrawn, y >= top && y < top + 10) << y << (centre ? " centred" : "");
        }
        EXPECT_EQ(Pixel(image, 0, 0)[0], 0);  // cleared first
        ReleaseImage(image);
    }
}

// A failed resize is reported and nothing is written.
TEST(WorldMapOverview, FailedResizeStops)
{
    WorldMap map(1000, nullptr, 0, 3);
    map.setFullCoverFg();
    Image* image = new Image(10, 10, 3);
    SetImageAllocHook([](size_t) { return false; });
    LogCapture log;
    map.ComputeWorldMapImage(image, 0.5f, false, false);
    SetImageAllocHook(nullptr);
    EXPECT_TRUE(log.contains("ERROR WorldMap::ComputeWorldMapImage: cannot resize image to 500*251"));
    ReleaseImage(image);
}

TEST(WorldMapOverview, OddInputs)
{
    WorldMap map(64, nullptr, 0, 3);
    Image* image = FilledImage(8, 8, 3, 5);
    map.ComputeWorldMapImage(image, 1.0f, false, false);  // no data: cleared
    EXPECT_EQ(Pixel(image, 3, 3)[0], 0);
    map.setFullCoverFg();
    LogCapture log;
    map.ComputeWorldMapImage(image, 0.0f, true, false);
    map.ComputeWorldMapImage(image, std::nanf(""), true, false);
    EXPECT_EQ(log.errorCount(), 2);
    EXPECT_EQ(image->GetWidth(), 8);
    Image* gray = FilledImage(64, 33, 1, 5);
    map.ComputeWorldMapImage(gray, 1.0f, false, false);  // 3 channels never into 1
    EXPECT_EQ(*Pixel(gray, 32, 16), 0);
    ReleaseImage(gray);
    ReleaseImage(image);
}

}  // namespace
