#include "worldmap/data_viewer.h"

#include "testkit/testkit.h"
#include "worldmap/bmp_cell.h"
#include "worldmap/rect_world_map.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>
#include <utility>
#include <type_traits>
#include <vector>

namespace {

// A derived viewer with storage of its own: deleting it through a base
// pointer must run its destructor (LeakSanitizer sees the vector otherwise).
struct Viewer : DataViewer {
    ~Viewer() override
    {
        if (destroyed) ++*destroyed;
    }
    int Notify(int event, WorldMap* map, std::uintptr_t param) override
    {
        events.push_back(event);
        lastMap = map;
        lastParam = param;
        return 0;
    }
    Image* Screen() { return m_screen.get(); }
    std::vector<int> events = std::vector<int>(100, 0);
    WorldMap* lastMap = reinterpret_cast<WorldMap*>(1);
    std::uintptr_t lastParam = 0;
    int* destroyed = nullptr;
};

static_assert(std::has_virtual_destructor_v<DataViewer>);

TEST(DataViewer, DeletedThroughTheBase)
{
    int destroyed = 0;
    auto* derived = new Viewer();
    derived->destroyed = &destroyed;
    DataViewer* viewer = derived;
    // A second holder of the screen sees the viewer give its reference back.
    Image* screen = viewer->GetScreen();
    RefAdd(screen);
    ASSERT_EQ(screen->m_refCount, 2);
    delete viewer;  // ASan: no new-delete type mismatch, no leak
    EXPECT_EQ(destroyed, 1) << "the derived destructor must run";
    EXPECT_EQ(screen->m_refCount, 1) << "the viewer must release its screen";
    RefRelease(screen);
}

TEST(DataViewer, StartsEmptyAndNeutral)
{
    Viewer viewer;
    EXPECT_NE(viewer.GetScreen(), nullptr);
    EXPECT_EQ(viewer.GetScreen()->GetWidth(), 0);
    EXPECT_EQ(viewer.GetScreen()->m_refCount, 1);
    const RECT* sel = viewer.GetSelectionRect();
    EXPECT_EQ(sel->left | sel->top | sel->right | sel->bottom, 0);
    EXPECT_EQ(viewer.GetBmpLayer()->GetCount(), 0);
    // Without a current cell.
    EXPECT_FALSE(viewer.ChangeTransparency(10));
    EXPECT_EQ(viewer.GetTransparency(), 0);
    EXPECT_FALSE(viewer.SetGamma(2.0f, 0));
    EXPECT_FALSE(viewer.SetBrightness(5, 0));
    EXPECT_FALSE(viewer.SetContrast(2.0f, 0));
    EXPECT_FALSE(viewer.ResetBCG());
    EXPECT_EQ(viewer.GetGamma(0), 1.0f);
    EXPECT_EQ(viewer.GetContrast(1), 1.0f);
    EXPECT_EQ(viewer.GetBrightness(2), 0);
    EXPECT_EQ(viewer.GetLastUpdatedChannel(), 3);
}

TEST(DataViewer, SelectionIsClampedToTheScreen)
{
    Viewer viewer;
    viewer.Screen()->Create(640, 480, 3, IMG_UINT8);
    viewer.SetSelectionRect(nullptr);
    const RECT* sel = viewer.GetSelectionRect();
    EXPECT_EQ(sel->left, 0);
    EXPECT_EQ(sel->top, 0);
    EXPECT_EQ(sel->right, 639);
    EXPECT_EQ(sel->bottom, 479);
    EXPECT_TRUE(viewer.IsDefaultSelection());
    RECT r = {-5, 10, 700, 200};
    viewer.SetSelectionRect(&r);
    EXPECT_EQ(sel->left, 0);
    EXPECT_EQ(sel->top, 10);
    EXPECT_EQ(sel->right, 639);
    EXPECT_EQ(sel->bottom, 200);
    EXPECT_FALSE(viewer.IsDefaultSelection());
    viewer.GetSelectionRect()->top = 0;  // callers edit it in place
    viewer.GetSelectionRect()->bottom = 479;
    EXPECT_TRUE(viewer.IsDefaultSelection());
}

BmpCell* SolidCell(int w, int h, uint8_t value)
{
    auto* cell = new BmpCell();
    cell->Create(w, h, 3, IMG_UINT8);
    std::memset(cell->GetData(), value, cell->GetDataSize());
    return cell;
}

// Later cells are drawn over earlier ones; every change to the current
// cell's appearance recomposes the screen from a cleared image.
TEST(DataViewer, ComposesCellsInOrderAndRecomposesOnChange)
{
    Viewer viewer;
    viewer.Screen()->Create(10, 10, 3, IMG_UINT8);
    BmpCell* under = SolidCell(6, 6, 100);
    BmpCell* over = SolidCell(4, 4, 200);
    over->SetLocation(4, 4);
    viewer.AddBmpCell(under);
    viewer.AddBmpCell(over);
    ReleaseImage(under);
    ReleaseImage(over);
    viewer.ComposeScreenBmp();
    auto px = [&](int x, int y) { return viewer.Screen()->GetData()[y * viewer.Screen()->GetRowByte() + x * 3]; };
    EXPECT_EQ(px(0, 0), 100);
    EXPECT_EQ(px(5, 5), 200);
    EXPECT_EQ(px(9, 9), 0);
    EXPECT_EQ(px(9, 0), 0);

    // The current cell is the first one added ("under").
    EXPECT_TRUE(viewer.ChangeTransparency(128));
    EXPECT_EQ(px(0, 0), 50);   // (128 * 0 + 128 * 100) >> 8 over a cleared screen
    EXPECT_EQ(px(5, 5), 200);  // still over it
    EXPECT_FALSE(viewer.ChangeTransparency(128));
    EXPECT_EQ(viewer.GetTransparency(), 128);

    EXPECT_TRUE(viewer.SetBrightness(20, 3));
    EXPECT_EQ(px(0, 0), 60);
    EXPECT_EQ(viewer.GetBrightness(0), 20);
    EXPECT_EQ(viewer.GetLastUpdatedChannel(), 3);
    EXPECT_FALSE(viewer.SetBrightness(20, 3));
    EXPECT_TRUE(viewer.SetContrast(2.0f, 2));
    EXPECT_EQ(viewer.GetContrast(2), 2.0f);
    EXPECT_EQ(viewer.GetLastUpdatedChannel(), 2);
    EXPECT_EQ(px(0, 0), 110);  // blue 100 * 2 + 20, half over black
    EXPECT_TRUE(viewer.SetGamma(0.5f, 1));
    EXPECT_EQ(viewer.GetGamma(1), 0.5f);

    EXPECT_TRUE(viewer.ResetBCG());
    EXPECT_EQ(px(0, 0), 100);
    EXPECT_EQ(viewer.GetTransparency(), 0);
    EXPECT_EQ(viewer.GetGamma(1), 1.0f);
}

// A rectangular map is not a WorldMap: its events reach the viewer's Notify
// without a map unless the viewer overrides NotifyRect.
TEST(DataViewer, RectMapEventsReachNotify)
{
    Viewer viewer;
    RectWorldMap* map = new RectWorldMap(64);
    map->AddViewer(&viewer);
    map->NotifyViewers(15, 42);
    EXPECT_EQ(viewer.events.back(), 15);
    EXPECT_EQ(viewer.lastMap, nullptr);
    EXPECT_EQ(viewer.lastParam, 42u);
    map->RemoveViewer(&viewer);
    ReleaseImage(map);
}

}  // namespace

namespace {

// A viewer whose first cell is filled row band by row band from `source`
// while the screen is composed, against one whose cell is filled whole and
// then composed: cells and screens must end byte for byte the same, and the
// bands must cover every row once. Cases: a plain copy of one and three
// channels (rows with padding, several bands and a short last one), a
// brightened first cell (no banding), a plain first cell under a shifted,
// translucent second cell, and screens large enough to be shared out over
// threads (the fill then runs on several threads at once).
TEST(DataViewer, BandedFillComposesTheSameBytesAsFillingFirst)
{
    enum Kind { Plain, Brightened, WithSecondCell };
    struct Case {
        int width, height, channels;
        Kind kind;
    };
    const Case cases[] = {{4001, 37, 3, Plain},           {12001, 29, 1, Plain}, {4001, 37, 3, Brightened},
                          {4001, 37, 3, WithSecondCell}, {45, 3, 1, Plain},     {3001, 1001, 3, Plain},
                          {3001, 1001, 3, WithSecondCell}, {9001, 1003, 1, Plain}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.channels << " kind " << c.kind);
        Image source(c.width, c.height, c.channels);
        std::mt19937 rng(static_cast<uint32_t>(c.width + c.kind));
        for (int y = 0; y < c.height; ++y) {
            uint8_t* row = source.GetData() + static_cast<size_t>(y) * source.GetRowByte();
            for (int x = 0; x < c.width * c.channels; ++x) row[x] = static_cast<uint8_t>(rng());
        }
        Viewer banded, whole;
        for (Viewer* v : {&banded, &whole}) {
            auto* cell = new BmpCell();
            ASSERT_EQ(cell->BmpInit(c.width, c.height, c.channels), 0);
            if (c.kind == Brightened) cell->GetColorCtrl()->SetBrightness(9, 1);
            v->AddBmpCell(cell);
            RefRelease(cell);
            if (c.kind == WithSecondCell) {
                auto* over = new BmpCell();
                ASSERT_EQ(over->BmpInit(50, 20, c.channels), 0);
                std::memset(over->GetData(), 77, over->GetDataSize());
                over->SetLocation(3, 5);
                over->SetTransparency(100);
                v->AddBmpCell(over);
                RefRelease(over);
            }
            ASSERT_EQ(v->Screen()->BmpInit(c.width, c.height, c.channels), 0);
            std::memset(v->Screen()->GetData(), 0xA5, v->Screen()->GetDataSize());
        }
        Image* bandedCell = banded.GetBmpLayer()->GetImage(0);
        Image* wholeCell = whole.GetBmpLayer()->GetImage(0);
        auto copyRows = [&](Image* cell, int firstRow, int rows) {
            for (int y = firstRow; y < firstRow + rows; ++y)
                std::memcpy(cell->GetData() + static_cast<size_t>(y) * cell->GetRowByte(),
                            source.GetData() + static_cast<size_t>(y) * source.GetRowByte(), static_cast<size_t>(source.GetRowByte()));
        };
        std::vector<std::pair<int, int>> bands;
        std::mutex bandsLock;
        banded.ComposeScreenBmp([&](int firstRow, int rows) {
            {
                std::lock_guard<std::mutex> hold(bandsLock);
                bands.emplace_back(firstRow, rows);
            }
            copyRows(bandedCell, firstRow, rows);
        });
        std::sort(bands.begin(), bands.end());
        copyRows(wholeCell, 0, c.height);
        whole.ComposeScreenBmp();

        EXPECT_EQ(std::memcmp(bandedCell->GetData(), wholeCell->GetData(), wholeCell->GetDataSize()), 0);
        EXPECT_EQ(std::memcmp(banded.Screen()->GetData(), whole.Screen()->GetData(), whole.Screen()->GetDataSize()), 0);
        int next = 0;
        for (const auto& [firstRow, rows] : bands) {
            EXPECT_EQ(firstRow, next);
            EXPECT_GT(rows, 0);
            next = firstRow + rows;
        }
        EXPECT_EQ(next, c.height);
        if (c.kind == Brightened || c.width < 100)
            EXPECT_EQ(bands.size(), 1u);
        else
            EXPECT_GT(bands.size(), 2u);
    }
}

// Rows alone: only within the screen, and only for a cell that replaces it.
TEST(DataViewer, RowsAreReplacedOnlyWithinTheScreen)
{
    auto* cell = new BmpCell();
    ASSERT_EQ(cell->BmpInit(6, 5, 3), 0);
    std::memset(cell->GetData(), 40, cell->GetDataSize());
    Image screen(6, 5, 3);
    std::memset(screen.GetData(), 0xA5, screen.GetDataSize());
    EXPECT_FALSE(cell->ReplaceRowsIn(&screen, -1, 2));
    EXPECT_FALSE(cell->ReplaceRowsIn(&screen, 4, 2));
    EXPECT_FALSE(cell->ReplaceRowsIn(&screen, 2, 0));
    EXPECT_EQ(screen.GetData()[0], 0xA5);
    ASSERT_TRUE(cell->ReplaceRowsIn(&screen, 1, 2));
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(screen.GetData()[static_cast<size_t>(y) * screen.GetRowByte() + 4], y == 1 || y == 2 ? 40 : 0xA5) << y;
    cell->SetTransparency(10);
    EXPECT_FALSE(cell->ReplaceRowsIn(&screen, 3, 1));
    EXPECT_EQ(screen.GetData()[static_cast<size_t>(3) * screen.GetRowByte()], 0xA5);
    RefRelease(cell);
}

}  // namespace
