// The vista strip: item sizes by kind, the initial-view marker drag, clicks
// that activate, drags that reorder or remove, and the context menu's moves,
// driven by mouse input on the headless window system. A parent window
// records the WM_USER+48 notes.
#include "tour/tessiv/bench_wnd.h"

#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class BenchParent : public CWnd {
public:
    struct Note {
        WPARAM code;
        float h, v;
    };
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == BenchWnd::kNotify) {
            Note note{wParam, 0, 0};
            if (wParam == 1) {
                const auto* hv = reinterpret_cast<const float*>(lParam);
                note.h = hv[0];
                note.v = hv[1];
            }
            notes.push_back(note);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    std::vector<Note> notes;
};

class BenchTest : public WinTest {
protected:
    void Open(int vistaLimit, int count)
    {
        m_tour = std::make_unique<TourProject>(vistaLimit);
        // One panorama strip 256 wide; several fit the strip at 153 each.
        const int thumbWidth = count > 1 ? 120 : 200;
        for (int i = 0; i < count; ++i) {
            Image* thumb = new Image(thumbWidth, 100, 3);
            thumb->Fill(40 * (i + 1));
            ASSERT_GE(m_tour->AddVista(thumb, ("/pics/v" + std::to_string(i) + ".jpg").c_str(), 2, 2000, 1000,
                                       2000, 0, 0),
                      0);
            ReleaseImage(thumb);
        }
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, "dialog", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 900, 300},
                                      nullptr, 0));
        ASSERT_TRUE(m_strip.Create(RECT{0, 100, 800, 247}, &m_parent, 1240));
        m_strip.SetTour(m_tour.get());
    }

    // The tour's vistas by file name, in order.
    std::vector<std::string> Order() const
    {
        std::vector<std::string> names;
        for (Vista* v : m_tour->GetVistas()) names.push_back(v->GetFileName());
        return names;
    }

    POINT Centre(int index) const
    {
        const RECT r = m_strip.GetItemRect(index);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    POINT Marker() const
    {
        const Vista* v = m_tour->GetActiveVista();
        const int index = m_tour->GetVistaIndex(v->GetId());
        const RECT r = m_strip.GetItemRect(index);
        const POINT m = BenchWnd::MarkerPoint(SIZE{r.right - r.left, r.bottom - r.top}, v->GetInitialViewH(),
                                              v->GetInitialViewV());
        return POINT{r.left + m.x, r.top + m.y};
    }

    std::unique_ptr<TourProject> m_tour;
    BenchParent m_parent;
    BenchWnd m_strip;
};

}  // namespace

TEST(BenchItems, SizeByKind)
{
    struct Case {
        int kind, w, h, H;
        int width, height;
    };
    const Case cases[] = {
        {1, 200, 100, 140, 128, 64},   // photograph, wide: 128 across
        {4, 100, 100, 140, 128, 128},  // square
        {1, 100, 10, 5, 50, 5},        // wider but the height limit wins: H high
        {1, 100, 200, 140, 64, 128},   // tall: 128 high
        {1, 100, 200, 60, 30, 60},     // tall in a low strip: H high
        {2, 400, 100, 140, 256, 64},   // panorama wider than 2:1: 256 across
        {2, 400, 100, 40, 160, 40},    // ... cut to the height
        {2, 200, 100, 140, 256, 128},  // exactly 2:1 is not wider: 128 high
        {2, 300, 200, 140, 192, 128},
        {3, 600, 100, 140, 256, 64},   // cube strip: width taken as 4/6
        {3, 300, 100, 140, 256, 128},  // 200 x 100 after the 4/6
        {5, 300, 100, 140, 0, 0},      // other kinds: no item
        {2, 0, 100, 140, 0, 0},
    };
    for (const Case& c : cases) {
        const SIZE s = BenchWnd::ItemSize(c.kind, c.w, c.h, c.H);
        EXPECT_EQ(s.cx, c.width) << c.kind << " " << c.w << "x" << c.h << " in " << c.H;
        EXPECT_EQ(s.cy, c.height) << c.kind << " " << c.w << "x" << c.h << " in " << c.H;
    }
    // The marker: (-1, -1) at the corner, (0, 0) in the middle, (1, 1) at
    // the far corner.
    const struct {
        float h, v;
        int x, y;
    } marks[] = {{-1, -1, 0, 0}, {0, 0, 128, 64}, {1, 1, 256, 128}, {0.5f, -0.5f, 192, 32}};
    for (const auto& m : marks) {
        const POINT p = BenchWnd::MarkerPoint(SIZE{256, 128}, m.h, m.v);
        EXPECT_EQ(p.x, m.x) << m.h;
        EXPECT_EQ(p.y, m.y) << m.v;
    }
}

TEST_F(BenchTest, SingleVistaIsCentredAndOffersNoMenu)
{
    Open(1, 1);
    const RECT r = m_strip.GetItemRect(0);
    EXPECT_EQ(r.right - r.left, 256);
    EXPECT_EQ(r.left, (800 - 256) / 2);
    // No popup scripted: a menu would fail the test.
    win::user::RightClick(m_strip.GetSafeHwnd(), Centre(0));
    EXPECT_TRUE(m_parent.notes.empty());
}

TEST_F(BenchTest, MarkerDragSetsTheInitialView)
{
    Open(1, 1);
    const POINT start = Marker();
    // Released where it started: nothing is sent, nothing changes.
    win::user::Drag(m_strip.GetSafeHwnd(), start, start);
    EXPECT_TRUE(m_parent.notes.empty());
    EXPECT_EQ(m_tour->GetActiveVista()->GetInitialViewH(), 0.0f);
    EXPECT_EQ(m_tour->GetActiveVista()->GetInitialViewV(), 0.0f);

    // A quarter of the item to the right and up: H 0.5, V -0.5.
    const RECT r = m_strip.GetItemRect(0);
    const int w = r.right - r.left, h = r.bottom - r.top;
    win::user::Drag(m_strip.GetSafeHwnd(), start, POINT{start.x + w / 4, start.y - h / 4});
    ASSERT_EQ(m_parent.notes.size(), 1u);
    EXPECT_EQ(m_parent.notes[0].code, 1u);
    EXPECT_FLOAT_EQ(m_parent.notes[0].h, 0.5f);
    EXPECT_FLOAT_EQ(m_parent.notes[0].v, -0.5f);
    EXPECT_FLOAT_EQ(m_tour->GetActiveVista()->GetInitialViewH(), 0.5f);
    EXPECT_FLOAT_EQ(m_tour->GetActiveVista()->GetInitialViewV(), -0.5f);

    // Far outside the item the marker stops at its edge: (1, 1).
    win::user::Drag(m_strip.GetSafeHwnd(), Marker(), POINT{r.right + 300, r.bottom + 3});
    ASSERT_EQ(m_parent.notes.size(), 2u);
    EXPECT_FLOAT_EQ(m_parent.notes[1].h, 1.0f);
    EXPECT_FLOAT_EQ(m_parent.notes[1].v, 1.0f);
}

TEST_F(BenchTest, DraggingTheOnlyVistaOutEmptiesTheTour)
{
    Open(1, 1);
    // Off the marker, so the item itself is dragged, and up out of the strip.
    const RECT r = m_strip.GetItemRect(0);
    win::user::Drag(m_strip.GetSafeHwnd(), POINT{r.left + 5, r.top + 5}, POINT{r.left + 5, -40});
    EXPECT_EQ(m_tour->GetVistaCount(), 0);
    ASSERT_EQ(m_parent.notes.size(), 1u);
    EXPECT_EQ(m_parent.notes[0].code, 2u);
}

TEST_F(BenchTest, ClicksActivateAndDragsReorder)
{
    Open(4, 3);
    // Vistas go in after the active one: the last added is active.
    m_tour->SetActiveVista(m_tour->GetVista(0));
    const std::vector<std::string> start = Order();
    win::user::Click(m_strip.GetSafeHwnd(), Centre(2));
    EXPECT_EQ(m_tour->GetActiveVista(), m_tour->GetVista(2));
    ASSERT_EQ(m_parent.notes.size(), 1u);
    EXPECT_EQ(m_parent.notes[0].code, 0u);
    // Clicking the active vista again (off its marker) sends nothing more.
    const RECT r2 = m_strip.GetItemRect(2);
    win::user::Click(m_strip.GetSafeHwnd(), POINT{r2.left + 3, r2.top + 3});
    EXPECT_EQ(m_parent.notes.size(), 1u);

    // Dragging the first onto the third moves it there.
    win::user::Drag(m_strip.GetSafeHwnd(), Centre(0), Centre(2));
    EXPECT_EQ(Order(), (std::vector<std::string>{start[1], start[2], start[0]}));
    ASSERT_EQ(m_parent.notes.size(), 2u);
    EXPECT_EQ(m_parent.notes[1].code, 2u);

    // Released in the gap between items, inside the strip: nothing.
    const RECT a = m_strip.GetItemRect(0), b = m_strip.GetItemRect(1);
    win::user::Drag(m_strip.GetSafeHwnd(), Centre(0), POINT{(a.right + b.left) / 2, 2});
    EXPECT_EQ(Order(), (std::vector<std::string>{start[1], start[2], start[0]}));
    EXPECT_EQ(m_parent.notes.size(), 2u);
}

// The menu's moves against the tour's own move operation on a copy of the
// order.
TEST_F(BenchTest, MenuMovesAsTheTourMoves)
{
    struct Case {
        UINT command;
        int clicked, active;
        std::vector<int> order;  // indices of the starting order
    };
    const Case cases[] = {
        {BenchWnd::kMoveToLeft, 3, 1, {3, 0, 1, 2}},
        {BenchWnd::kMoveToRight, 0, 1, {1, 2, 3, 0}},
        {BenchWnd::kMoveBeforeActive, 3, 2, {0, 3, 1, 2}},
        {BenchWnd::kMoveAfterActive, 0, 1, {1, 2, 0, 3}},
        {BenchWnd::kMoveBeforeActive, 2, 0, {0, 1, 2, 3}},  // index -1: nothing moves
    };
    for (const Case& c : cases) {
        m_parent.notes.clear();
        if (m_strip.GetSafeHwnd()) m_strip.DestroyWindow();
        if (m_parent.GetSafeHwnd()) m_parent.DestroyWindow();
        Open(4, 4);
        const std::vector<std::string> start = Order();
        m_tour->SetActiveVista(m_tour->GetVista(c.active));
        Prompter().ExpectPopupMenu(c.command);
        win::user::RightClick(m_strip.GetSafeHwnd(), Centre(c.clicked));
        std::vector<std::string> expected;
        for (int i : c.order) expected.push_back(start[static_cast<size_t>(i)]);
        EXPECT_EQ(Order(), expected) << c.command;
        const bool moved = expected != start;
        EXPECT_EQ(m_parent.notes.size(), moved ? 1u : 0u) << c.command;
    }
}
