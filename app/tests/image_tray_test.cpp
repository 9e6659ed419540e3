// The image tray in the started program: layout and hit-test tables, the
// mouse as the user moves it, the frame's commands, shell and browser drops,
// the painted pixels of real photographs, and the 25 Durlach photographs
// dropped end to end.
#include "app/control/image_chain.h"
#include "app/shell/image_tray.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/img_browser.h"
#include "app/shell/pellicot.h"
#include "app/views/image_doc.h"
#include "app/views/exif_info_dlg.h"
#include "app/views/image_pair_doc.h"
#include "app/views/image_loaders.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/presented_capture.h"
#include "imaging/image.h"
#include "platform/win/clipboard.h"
#include "platform/win/drag_drop.h"
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/system.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"
#include "platform/win/win_thread.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include "projectgraph/framegrp/neighbor.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

class TrayTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
        m_tray = Manager().GetImageTray();
        ASSERT_NE(m_tray, nullptr);
        m_host = m_tray->GetHost();
        ASSERT_NE(m_host, nullptr);
    }

    // A frame with a plain stamp, offered as the manager offers new images.
    ImageFrame* Add(int w, int h, const std::string& name, unsigned char grey = 128)
    {
        auto* stamp = new Image(w, h, 3);
        std::memset(stamp->GetData(), grey, static_cast<size_t>(stamp->GetRowByte()) * h);
        Manager().AddImageFrame(stamp, name.c_str(), nullptr);
        return Manager().FindImageFrame(name.c_str());
    }
    void AddMany(int n, int w, int h)
    {
        for (int i = 0; i < n; ++i) ASSERT_NE(Add(w, h, "/p/" + std::to_string(i) + ".jpg"), nullptr);
    }
    ImageChain& Chain() { return *m_tray->GetChain(); }
    ImageFrame* F(int i) { return Chain().GetFrame(i); }
    ImageTray* Row(int i)
    {
        ImageTray* row = m_host->GetFirstRow();
        while (row && i-- > 0) row = row->m_next;
        return row;
    }
    // The user resizes the tray (later additions leave its size alone); the
    // rows then get `width` as a narrower host would give them.
    void FixRowWidth(int width)
    {
        m_tray->MoveWindow(0, 0, 900, 500);
        for (ImageTray* r = Row(0); r; r = r->m_next) r->m_width = width;
        Row(0)->Layout();
        m_host->MoveRows();
    }
    // The row showing chain index i and the centre of its thumbnail (row
    // client coordinates); with `dx` from the thumbnail's right edge.
    std::pair<ImageTray*, POINT> Thumb(int index, int fromRight = -1)
    {
        for (ImageTray* r = Row(0); r; r = r->m_next)
            if (index >= r->m_first && index < r->m_first + r->m_count) {
                const RECT t = r->ThumbRect(index - r->m_first);
                const int x = fromRight < 0 ? (t.left + t.right) / 2 : t.right - fromRight;
                return {r, POINT{x, (t.top + t.bottom) / 2}};
            }
        return {nullptr, POINT{}};
    }
    std::string Names()
    {
        std::string out;
        for (int i = 0; i < Chain().GetCount(); ++i) out += std::string(F(i)->GetShortName()).substr(0, 1);
        return out;
    }
    static std::vector<std::string> Durlach(int n)
    {
        std::vector<std::string> paths;
        for (const auto& entry : std::filesystem::directory_iterator(TestData("huginsample-durlach/half")))
            paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        if (static_cast<int>(paths.size()) > n) paths.resize(n);
        return paths;
    }

    Pellicot* m_tray = nullptr;
    ImageTrayHost* m_host = nullptr;
};

TEST_F(TrayTest, FourStayInARowAndAFifthWrapsOnlyPastTheRowWidth)
{
    AddMany(4, 100, 80);
    FixRowWidth(410);  // narrower than 4 x 100 + 20
    CRect before;
    m_tray->GetWindowRect(&before);
    EXPECT_EQ(m_host->GetRowCount(), 1);
    EXPECT_EQ(Row(0)->m_count, 4);
    EXPECT_EQ(m_host->GetTrayState()->contentWidth, 420);
    bool h = false, v = false;
    m_host->GetScrollNeeds(&h, &v);
    EXPECT_TRUE(h);
    ASSERT_NE(Add(100, 80, "/p/4.jpg"), nullptr);
    ASSERT_EQ(m_host->GetRowCount(), 2);
    EXPECT_EQ(Row(1)->m_first, 4);
    EXPECT_EQ(Row(1)->m_count, 1);
    EXPECT_EQ(Row(1)->m_y, Row(0)->m_y + Row(0)->m_height + 15);
    CRect after;
    m_tray->GetWindowRect(&after);
    EXPECT_EQ(after, before) << "after the user resized the tray, additions keep its size";

    // Exactly filling the row is no reason to wrap; one pixel more is.
    FixRowWidth(630);
    EXPECT_EQ(m_host->GetRowCount(), 1);
    ASSERT_NE(Add(100, 80, "/p/5.jpg"), nullptr);
    EXPECT_EQ(m_host->GetRowCount(), 1);
    EXPECT_EQ(Row(0)->m_count, 6);
    ASSERT_NE(Add(100, 80, "/p/6.jpg"), nullptr);
    EXPECT_EQ(m_host->GetRowCount(), 2);
    for (int i = 0; i < 7; ++i) {
        short x = 0, y = 0;
        F(i)->GetStampLocation(&x, &y);
        EXPECT_EQ(x, m_host->GetTrayState()->origin + 105 * i);
    }
}

TEST_F(TrayTest, HitTestTable)
{
    AddMany(5, 60, 50);
    FixRowWidth(300);  // four per row (260), the fifth wraps
    ASSERT_EQ(m_host->GetRowCount(), 2);
    ImageTray* row = Row(0);
    ASSERT_EQ(row->m_height, 54);
    // band = (54 - 6) / 2 = 24: the link band is 25..30.
    struct Case {
        int row, x, y, code, index;
    };
    const Case cases[] = {
        {0, -1, 10, kHitNothing, -1},   {0, 301, 10, kHitNothing, -1},  {0, 10, -1, kHitOutside, -1},
        {0, 10, 55, kHitOutside, -1},   {0, 29, 10, kHitLeftHalf, 0},    {0, 30, 10, kHitRightHalf, 0},
        {0, 56, 27, kHitLink, 0},       {0, 56, 10, kHitGap, 0},         {0, 64, 24, kHitGap, 0},
        {0, 64, 30, kHitLink, 0},       {0, 69, 27, kHitLink, 0},        {0, 70, 27, kHitLeftHalf, 1},
        {0, 280, 27, kHitLink, 3},      {0, 280, 5, kHitGap, 3},         {1, 10, 10, kHitLeftHalf, 4},
        {1, 58, 27, kHitLoopLink, 4},   {1, 58, 40, kHitLastGap, 4},     {1, 200, 5, kHitLoopLink, 4},
    };
    for (const Case& c : cases) {
        ImageTray* r = Row(c.row);
        EXPECT_EQ(r->TrayHitTest(POINT{c.x, c.y}), c.code) << c.row << ": " << c.x << "," << c.y;
        EXPECT_EQ(m_host->GetTrayState()->hitIndex, c.index) << c.row << ": " << c.x << "," << c.y;
    }
}

TEST_F(TrayTest, InsertAtTable)
{
    AddMany(5, 60, 50);
    FixRowWidth(300);
    ImageTray* first = Row(0);
    const int secondTop = first->m_height + 15;
    struct Case {
        int x, y;
        int index;  // -1: refused
    };
    const Case cases[] = {
        {56, 27, 1},  {10, 10, 0},   {40, 10, 1},  {58, secondTop + 27, 5},    {56, 10, -1},
        {-1, 10, -1}, {300, 10, -1}, {10, 60, -1}, {10, secondTop + 80, -1},
    };
    for (const Case& c : cases) {
        ImageFrame extra;
        Image* stamp = new Image(60, 50, 3);
        extra.SetStampImage(stamp);
        ReleaseImage(stamp);
        const bool taken = first->InsertAt(&extra, POINT{c.x, c.y});
        EXPECT_EQ(taken, c.index >= 0) << c.x << "," << c.y;
        EXPECT_EQ(Chain().GetIndex(&extra), c.index) << c.x << "," << c.y;
        if (taken) {
            Chain().RemoveData(&extra);
            first->Layout();
        }
        EXPECT_EQ(Chain().GetCount(), 5);
    }
}

TEST_F(TrayTest, DraggingMovesThumbnails)
{
    for (const char* name : {"a", "b", "c", "d", "e"}) ASSERT_NE(Add(60, 50, std::string("/p/") + name + ".jpg"), nullptr);
    FixRowWidth(600);
    // Image 1 onto the right half of image 3: index 2.
    auto [row, from] = Thumb(0);
    auto [row3, to] = Thumb(2, 10);
    ASSERT_EQ(row, row3);
    win::user::Drag(row->m_hWnd, from, to);
    EXPECT_EQ(Names(), "bcade");
    // Image 4 onto the left half of image 2: index 1.
    auto [r4, p4] = Thumb(3);
    const RECT t = Row(0)->ThumbRect(1);
    win::user::Drag(r4->m_hWnd, p4, POINT{t.left + 5, p4.y});
    EXPECT_EQ(Names(), "bdcae");
    EXPECT_EQ(CWnd::GetCapture(), nullptr);

    // Nothing while the manager is busy.
    Manager().ModifyFlags(kFlagStopped, 0);
    win::user::Drag(row->m_hWnd, Thumb(0).second, Thumb(4).second);
    EXPECT_EQ(Names(), "bdcae");
    EXPECT_EQ(m_host->GetTrayState()->state & kTrayDragging, 0u);
    Manager().ModifyFlags(0, kFlagStopped);
}

TEST_F(TrayTest, DraggingOutRemovesWithTheEndFlag)
{
    struct Case {
        int count;
        bool loop;
        int drag;
        bool keepFlags;  // what the manager was told
        bool loopAfter;
    };
    const Case cases[] = {
        {4, false, 0, true, false}, {4, false, 3, true, false}, {4, false, 1, false, false},
        {5, true, 2, false, true},  {4, true, 2, false, false}, {5, true, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << (c.loop ? " loop" : "") << " drag " << c.drag);
        while (Chain().GetCount()) Manager().RemoveImageFrame(F(0), false);
        m_host->SetLoop(false);
        AddMany(c.count, 60, 50);
        FixRowWidth(600);
        m_host->SetLoop(c.loop);
        ImageFrame* dragged = F(c.drag);
        const std::string name = dragged->GetName();
        Manager().ModifyFlags(0, kFlagOverlapMarked | kFlagSaved);
        auto [row, from] = Thumb(c.drag);
        win::user::LeftDown(row->m_hWnd, from);
        win::user::MoveMouse(row->m_hWnd, POINT{from.x, -400}, MK_LBUTTON);
        EXPECT_EQ(win::CursorId(GetCursor()), ImageTray::kRemoveCursor);
        win::user::LeftUp(row->m_hWnd, POINT{from.x, -400});
        EXPECT_FALSE(Manager().HasImageFrame(name.c_str()));
        EXPECT_EQ(Chain().GetCount(), c.count - 1);
        EXPECT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), c.count - 1);
        EXPECT_EQ((Manager().GetFlags() & kFlagOverlapMarked) != 0, c.keepFlags);
        EXPECT_EQ(Manager().GetFlags() & kFlagSaved, 0u);
        EXPECT_EQ(Chain().IsLoop(), c.loopAfter);
        EXPECT_EQ(m_host->GetTrayState()->state & kTrayRemoveCursor, 0u);
    }
}

TEST_F(TrayTest, RotateToolsTurnAndResetPairs)
{
    AddMany(4, 60, 40);
    FixRowWidth(600);
    auto mergeAll = [&] {
        for (int i = 0; i < 3; ++i) {
            F(i)->AddNeighbor(F(i + 1));
            F(i)->SetMerged(F(i + 1));
        }
    };
    mergeAll();
    m_tray->SetToolMode(Pellicot::kToolRotateLeft);
    EXPECT_EQ(m_host->GetToolMode(), static_cast<int>(kTrayToolRotateLeft));
    auto [row, at] = Thumb(3);
    win::user::Click(row->m_hWnd, at);
    EXPECT_EQ(F(3)->GetImageRotationAngle(), -90);
    EXPECT_EQ(F(3)->GetStampBmp()->GetWidth(), 40);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(F(i)->GetImageRotationAngle(), 0);
    EXPECT_TRUE(F(0)->FindNeighbor(F(1))->IsMerged());
    EXPECT_TRUE(F(1)->FindNeighbor(F(2))->IsMerged());
    EXPECT_FALSE(F(2)->FindNeighbor(F(3))->IsMerged());
    EXPECT_FALSE(F(3)->FindNeighbor(F(2))->IsMerged());

    // With Ctrl every image turns and every pair starts again.
    m_tray->SetToolMode(Pellicot::kToolRotateRight);
    auto [row1, at1] = Thumb(1);
    win::user::Click(row1->m_hWnd, at1, MK_CONTROL);
    EXPECT_EQ(F(3)->GetImageRotationAngle(), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(F(i)->GetImageRotationAngle(), 90);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(F(i)->FindNeighbor(F(i + 1))->IsMerged());
    // A rotate tool never drags.
    EXPECT_EQ(Chain().GetCount(), 4);
}

TEST_F(TrayTest, PairAndImageMenus)
{
    AddMany(4, 60, 50);
    FixRowWidth(600);
    auto linkPoint = [&](int i) {
        const RECT t = Row(0)->ThumbRect(i);
        return POINT{t.right + 2, 27};
    };
    // The first link bar always opens the pair menu; between two unmerged
    // frames with a plain link, no menu.
    F(1)->AddNeighbor(F(2));
    Prompter().ExpectPopupMenu(0);
    win::user::RightClick(Row(0)->m_hWnd, linkPoint(0));
    win::user::RightClick(Row(0)->m_hWnd, linkPoint(1));
    ASSERT_EQ(Prompter().PopupMenus().size(), 1u);

    // A blocked link opens it, with the pair's blend mode checked.
    F(2)->AddNeighbor(F(3));
    F(2)->FindNeighbor(F(3))->SetBlocked();
    Manager().SetPairBlendMode(F(2), F(3), 2);
    Prompter().ExpectPopupMenu(33016);
    win::user::RightClick(Row(0)->m_hWnd, linkPoint(2));
    ASSERT_EQ(Prompter().PopupMenus().size(), 2u);
    for (const win::PopupMenuItem& item : Prompter().PopupMenus()[1].items)
        EXPECT_EQ(item.checked, item.id == 33018) << item.text;
    int mode = -1;
    ASSERT_TRUE(Manager().GetPairBlendMode(F(2), F(3), &mode));
    EXPECT_EQ(mode, 1);
    Prompter().ExpectPopupMenu(33013);
    win::user::Click(Row(0)->m_hWnd, linkPoint(2));  // the left button runs the same pair logic
    // "Adjust" opens the pair window on the two frames, markers unchanged.
    ASSERT_NE(Manager().GetPairWindow(), nullptr);
    auto* pair = dynamic_cast<CImagePairDoc*>(Manager().GetPairWindow()->GetDocument());
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->GetFrameA(), F(2));
    EXPECT_EQ(pair->GetFrameB(), F(3));
    EXPECT_FALSE(F(2)->FindNeighbor(F(3))->IsMarkerChanged());
    EXPECT_FALSE(F(3)->FindNeighbor(F(2))->IsMarkerChanged());
    Manager().ClosePairWindow(false);

    // The image menu names the names command after the state.
    Prompter().ExpectPopupMenu(33027).ExpectPopupMenu(0);
    win::user::RightClick(Row(0)->m_hWnd, Thumb(1).second);
    win::user::RightClick(Row(0)->m_hWnd, Thumb(1).second);
    const auto menus = Prompter().PopupMenus();
    ASSERT_EQ(menus.size(), 5u);
    auto textOf = [](const win::PopupMenuRequest& menu) {
        for (const auto& item : menu.items)
            if (item.id == 33027) return item.text;
        return std::string();
    };
    EXPECT_EQ(textOf(menus[3]), "Hide Image Names");
    EXPECT_EQ(textOf(menus[4]), "Show Image Names");
    EXPECT_FALSE(m_host->GetShowNames());
}

TEST_F(TrayTest, FrameCommandsAndTheLoopQuestion)
{
    // With an empty chain every command is "tool off".
    for (UINT command : {33011u, 33020u, 32789u, 32836u}) {
        m_tray->SetToolMode(command);
        EXPECT_EQ(m_tray->GetToolCommand(), Pellicot::kToolReset);
        EXPECT_EQ(m_host->GetToolMode(), 0);
    }
    AddMany(3, 60, 50);
    struct Case {
        UINT command;
        int tool;
    };
    for (Case c : {Case{33011, 0x40}, Case{33020, 0x80}, Case{33010, 0}, Case{33011, 0x40}, Case{32836, 0},
                   Case{33020, 0x80}, Case{32844, 0}}) {
        m_host->SendMessage(WM_TRAY_COMMAND, c.command);
        EXPECT_EQ(m_host->GetToolMode(), c.tool) << c.command;
    }
    // 32836 reversed the order once.
    EXPECT_EQ(std::string(F(0)->GetName()), "/p/2.jpg");

    // The Loop button: disabled with three images; with four it asks, and
    // only Yes makes the loop.
    EXPECT_FALSE(win::user::ChooseCommand(m_tray, 32789));
    ASSERT_NE(Add(60, 50, "/p/3.jpg"), nullptr);
    Prompter().ExpectMessageBox("Please confirm :\n  The first and last image have overlap.", IDNO);
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32789));
    EXPECT_FALSE(Chain().IsLoop());
    Prompter().ExpectMessageBox("Please confirm :\n  The first and last image have overlap.", IDYES);
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32789));
    EXPECT_TRUE(Chain().IsLoop());
    EXPECT_TRUE(m_tray->IsLoop());
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32789));  // off without a question
    EXPECT_FALSE(Chain().IsLoop());

    // Before a stitch run the first frame becomes the centre, for the group too.
    m_tray->SetFirstFrameAsCenter();
    EXPECT_TRUE(Chain().HasCenterFrame());
    EXPECT_TRUE(F(0)->IsCenterFrame());
    EXPECT_TRUE(F(0)->IsMerged());
    EXPECT_EQ(Manager().GetImageGroup(false)->GetCentralImageFrame(), F(0));

    // The command toggles the overlap dialog. Express stitching is recorded
    // by the manager and starts a stitch run, whose matching worker is let
    // finish before the frames go.
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32844));
    EXPECT_TRUE(Manager().IsOverlapDialogOpen());
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32844));
    EXPECT_FALSE(Manager().IsOverlapDialogOpen());
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32902));
    EXPECT_TRUE(win::JoinWorkerThreads(120000));
    const auto& calls = Manager().GetDeferredCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const auto& c) { return c.name == "ExpressStitch"; }));
    EXPECT_TRUE(Manager().IsExpressMode());
    EXPECT_EQ(m_tray->GetToolCommand(), Pellicot::kToolReset);
}

TEST_F(TrayTest, ToolbarButtonsTipsAndStates)
{
    const win::WindowData* window = win::WindowSystem::Get().Find(m_tray->m_hWnd);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowClass->name, "Pellicot");
    EXPECT_EQ(m_host->GetDlgCtrlID(), static_cast<int>(Pellicot::kHostId));
    EXPECT_EQ(Row(0)->GetDlgCtrlID(), static_cast<int>(ImageTray::kFirstRowId));
    CToolBar* bar = m_tray->GetToolBar();
    ASSERT_NE(bar, nullptr);
    const UINT ids[] = {33010, 33011, 33020, 32836, 32789, 32844, 32902, 32901};
    const char* tips[] = {"Reset rotate", "Rotate left", "Rotate right", "Reverse order",
                          "Loop",         "Adjust overlaps", "Express stitch", "Load images"};
    for (size_t i = 0; i < std::size(ids); ++i) {
        const int index = bar->CommandToIndex(ids[i]);
        ASSERT_GE(index, 0) << ids[i];
        EXPECT_EQ(win::user::HoverToolBarButton(*bar, index), tips[i]) << ids[i];
    }
    AddMany(4, 60, 50);
    m_tray->SetToolMode(Pellicot::kToolRotateRight);
    m_host->SetLoop(true);
    bar->OnUpdateCmdUI(m_tray, TRUE);
    auto style = [&](UINT id) { return bar->GetButtonStyle(bar->CommandToIndex(id)); };
    EXPECT_TRUE(style(33020) & TBBS_CHECKED);
    EXPECT_FALSE(style(33010) & TBBS_CHECKED);
    EXPECT_TRUE(style(32789) & TBBS_CHECKED);
    EXPECT_FALSE(style(32789) & TBBS_DISABLED);
    EXPECT_FALSE(style(32902) & TBBS_CHECKED);
    Manager().SetExpressMode(true);
    Manager().SetExpressBlendPending(true);
    bar->OnUpdateCmdUI(m_tray, TRUE);
    EXPECT_TRUE(style(32902) & TBBS_CHECKED);
    EXPECT_TRUE(style(32902) & TBBS_DISABLED);
    Manager().SetExpressBlendPending(false);
    Manager().SetExpressMode(false);
}

TEST_F(TrayTest, ScrollNeedsAndScrolling)
{
    AddMany(1, 60, 50);
    FixRowWidth(300);
    TrayState* s = m_host->GetTrayState();
    const int client = m_host->ClientHeight();
    const int t = GetSystemMetrics(SM_CXVSCROLL);
    struct Case {
        int contentWidth, contentHeight;
        bool h, v;
    };
    const Case cases[] = {
        {300, client, false, false},        {301, client, true, true},          {300, client + 1, true, true},
        {301, client - t + 1, true, true},  {301, client - t, true, false},      {300 - t + 1, client + 1, true, true},
        {300 - t, client + 1, false, true},
    };
    for (const Case& c : cases) {
        s->contentWidth = c.contentWidth;
        s->contentHeight = c.contentHeight;
        bool h = false, v = false;
        m_host->GetScrollNeeds(&h, &v);
        EXPECT_EQ(h, c.h) << c.contentWidth << "x" << c.contentHeight;
        EXPECT_EQ(v, c.v) << c.contentWidth << "x" << c.contentHeight;
    }
    s->contentWidth = 1300;
    s->contentHeight = client;
    m_host->UpdateScrollBars();
    struct Scroll {
        UINT code, pos;
        int expected;
    };
    for (Scroll c : {Scroll{SB_LINEDOWN, 0, 1}, Scroll{SB_LINEDOWN, 0, 2}, Scroll{SB_PAGEDOWN, 0, 133},
                     Scroll{SB_LINEUP, 0, 132}, Scroll{SB_THUMBTRACK, 500, 500}, Scroll{SB_PAGEUP, 0, 369},
                     Scroll{SB_TOP, 0, 0}, Scroll{SB_LINEUP, 0, 0}}) {
        m_host->OnScroll(SB_HORZ, c.code, c.pos);
        EXPECT_EQ(m_host->GetScrollPos(SB_HORZ), c.expected) << c.code;
        EXPECT_EQ(s->origin, -c.expected) << c.code;
    }
    m_host->OnScroll(SB_HORZ, SB_BOTTOM, 0);
    EXPECT_EQ(s->origin, -m_host->GetScrollPos(SB_HORZ));
    EXPECT_GT(m_host->GetScrollPos(SB_HORZ), 500);
}

TEST_F(TrayTest, VerticalScrollingMovesEveryRow)
{
    AddMany(12, 60, 50);
    m_tray->MoveWindow(0, 0, 360, 180);  // the user makes the tray narrow and low
    ASSERT_EQ(m_host->GetRowCount(), 3);
    bool h = true, v = false;
    m_host->GetScrollNeeds(&h, &v);
    ASSERT_TRUE(v);
    EXPECT_EQ(Row(0)->m_y, 10);
    m_host->UpdateScrollBars();
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(m_host->GetScrollInfo(SB_VERT, &info, SIF_ALL));
    EXPECT_EQ(info.nMax, m_host->GetTrayState()->contentHeight + 10);
    EXPECT_EQ(static_cast<int>(info.nPage), m_host->ClientHeight());
    for (UINT code : {SB_LINEDOWN, SB_PAGEDOWN, SB_BOTTOM, SB_LINEUP, SB_TOP}) {
        m_host->OnScroll(SB_VERT, code, 0);
        const int position = m_host->GetScrollPos(SB_VERT);
        EXPECT_EQ(Row(0)->m_y, 10 - position) << code;
        for (ImageTray* r = Row(0); r->m_next; r = r->m_next) EXPECT_EQ(r->m_next->m_y, r->m_y + r->m_height + 15);
        POINT corner{0, 0};
        Row(1)->ClientToScreen(&corner);
        m_host->ScreenToClient(&corner);
        EXPECT_EQ(corner.y, Row(1)->m_y) << "the row window moved with its place";
    }
    EXPECT_EQ(Row(0)->m_y, 10);
}

TEST_F(TrayTest, NarrowHostKeepsRows300WideAndTheFitIsAtLeast235High)
{
    ASSERT_NE(Add(40, 30, "/p/a.jpg"), nullptr);
    RECT r{};
    m_tray->GetWindowRect(&r);
    EXPECT_EQ(r.bottom - r.top, 235);
    EXPECT_TRUE(m_host->GetHostState() & kHostFitted);
    m_tray->MoveWindow(0, 0, 200, 300);
    EXPECT_EQ(Row(0)->m_width, 300);
    EXPECT_FALSE(m_host->GetHostState() & kHostFitted);
}

TEST_F(TrayTest, BrowserDropsTakeOnlyTheirTextAtImagePlaces)
{
    AddMany(3, 60, 50);
    FixRowWidth(600);
    Manager().ShowImageBrowser(1, true);
    ASSERT_NE(Manager().GetImageBrowser(), nullptr);
    struct Case {
        std::string text;
        bool terminated;
        POINT at;
        UINT keys;
        DROPEFFECT effect;
    };
    const std::string ours = ImageTray::kBrowserDropText;
    const Case cases[] = {
        {ours, true, {10, 10}, 0, DROPEFFECT_MOVE},          {ours, true, {40, 10}, MK_CONTROL, DROPEFFECT_COPY},
        {ours, true, {62, 27}, 0, DROPEFFECT_MOVE},          {ours, true, {192, 27}, 0, DROPEFFECT_MOVE},
        {ours, true, {62, 10}, 0, DROPEFFECT_NONE},          {ours + "X", true, {10, 10}, 0, DROPEFFECT_NONE},
        {"KQVZ-NOTIFY", true, {10, 10}, 0, DROPEFFECT_NONE}, {ours, false, {10, 10}, 0, DROPEFFECT_NONE},
    };
    for (const Case& c : cases) {
        Manager().GetImageBrowser()->NotifyDrop(POINT{-1, -1});
        const size_t size = c.text.size() + (c.terminated ? 1 : 0);
        HGLOBAL block = GlobalAlloc(0, size);
        std::memcpy(GlobalLock(block), c.text.c_str(), size);
        GlobalUnlock(block);
        COleDataSource source;
        source.CacheGlobalData(CF_TEXT, block);
        Prompter().ExpectDrop(win::DropAnswer{true, Row(0)->m_hWnd, c.at, c.keys});
        EXPECT_EQ(source.DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE), c.effect) << c.text << " " << c.at.x;
        POINT host = c.at;
        Row(0)->ClientToScreen(&host);
        m_host->ScreenToClient(&host);
        const POINT expected = c.effect == DROPEFFECT_NONE ? POINT{-1, -1} : host;
        EXPECT_EQ(Manager().GetImageBrowser()->GetLastDrop().x, expected.x);
        EXPECT_EQ(Manager().GetImageBrowser()->GetLastDrop().y, expected.y);
    }
}

TEST_F(TrayTest, ShellDrops)
{
    const std::vector<std::string> photos = Durlach(3);
    ASSERT_EQ(photos.size(), 3u);
    win::user::DropFiles(m_host->m_hWnd, {photos[0], photos[1]}, POINT{20, 20});
    ASSERT_EQ(Chain().GetCount(), 2);
    const std::string panorama =
        WritePanoramaFile(TestData("daeyun-image-stitching/hill_1.JPG"), Home().file("pano.jpg"), 800);
    struct Case {
        std::string path;
        const char* logged;     // a line the drop must log, or null
        const char* notLogged;  // one it must not
        bool asksToSave;        // the project reader asks first (Cancel keeps the project)
    };
    // Already in the project: not again. ".kzp" goes to the project reader;
    // the extension in capitals is no project and fails as an image. A
    // world-map file opens as a panorama and stays out of the tray.
    const Case cases[] = {
        {photos[1], nullptr, "LoadImage", false},
        {Home().file("trip.kzp"), nullptr, "LoadImage", true},
        {Home().file("x.KZP"), "enter LoadImage(): ", "OpenProject", false},
        {panorama, "leave LoadImage(): status=2", "OpenProject", false},
    };
    for (const Case& c : cases) {
        if (c.asksToSave) Prompter().ExpectMessageBox("Do you want to save current project?", IDCANCEL);
        Logger::setLogLevel(3);
        LogCapture log;
        win::user::DropFiles(m_host->m_hWnd, {c.path}, POINT{20, 20});
        Logger::setLogLevel(1);
        EXPECT_EQ(Chain().GetCount(), 2) << c.path;
        if (c.logged) {
            EXPECT_TRUE(log.contains(c.logged)) << c.path << log.text();
        }
        EXPECT_FALSE(log.contains(c.notLogged)) << c.path << log.text();
    }
    EXPECT_TRUE(Manager().HasWorldMapNamed(panorama.c_str()));
    // Ignored while the manager is busy.
    Manager().ModifyFlags(kFlagStopped, 0);
    win::user::DropFiles(m_host->m_hWnd, {photos[2]}, POINT{20, 20});
    EXPECT_EQ(Chain().GetCount(), 2);
    Manager().ModifyFlags(0, kFlagStopped);
    // Dropped over a row, the files reach the host that accepts them.
    win::user::DropFiles(Row(0)->m_hWnd, {photos[2]}, POINT{20, 20});
    EXPECT_EQ(Chain().GetCount(), 3);
    EXPECT_EQ(std::string(F(2)->GetName()), photos[2]);
    EXPECT_EQ(win::LiveDropCount(), 0u);
}

TEST_F(TrayTest, LinkBarsLoopArrowAndNumbersOnRealPhotographs)
{
    const std::vector<std::string> photos = Durlach(4);
    win::user::DropFiles(m_host->m_hWnd, photos, POINT{20, 20});
    ASSERT_EQ(Chain().GetCount(), 4);
    FixRowWidth(1000);
    ASSERT_EQ(Row(0)->m_count, 4);
    F(0)->AddNeighbor(F(1));
    F(0)->SetMerged(F(1));
    F(1)->AddNeighbor(F(2));
    F(1)->FindNeighbor(F(2))->SetBlocked();
    m_host->SetLoop(true);  // makes the first-last link, not stitched: blue arrow
    F(0)->FindNeighbor(F(3))->SetMerged();  // green arrow
    m_host->Refresh(true);
    win::PaintAll();
    RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(Row(0)->m_hWnd));
    ASSERT_TRUE(shown);
    if (const char* dump = std::getenv("TRAY_DUMP")) {
        std::FILE* f = std::fopen(dump, "wb");
        std::fprintf(f, "P6 %d %d 255\n", shown->GetWidth(), shown->GetHeight());
        for (int yy = 0; yy < shown->GetHeight(); ++yy)
            for (int xx = 0; xx < shown->GetWidth(); ++xx) {
                const unsigned char* p = shown->GetData() + static_cast<size_t>(yy) * shown->GetRowByte() + 3 * xx;
                std::fputc(p[2], f); std::fputc(p[1], f); std::fputc(p[0], f);
            }
        std::fclose(f);
    }
    auto pixel = [&](int x, int y) {
        const unsigned char* p = shown->GetData() + static_cast<size_t>(y) * shown->GetRowByte() + 3 * x;
        return RGB(p[2], p[1], p[0]);
    };
    ImageTray* row = Row(0);
    const int y = (row->m_height - 4) / 2;
    const COLORREF expected[3] = {RGB(0, 255, 0), RGB(255, 0, 0), RGB(0, 0, 255)};
    for (int k = 0; k < 3; ++k) {
        const RECT t = row->ThumbRect(k);
        EXPECT_EQ(pixel(t.right + 2, y), expected[k]) << k;
        EXPECT_EQ(pixel(t.right + 2, y + 2), expected[k]) << k;
    }
    // The loop arrow: (x, y) to (x + 6, y), up to (x + 6, y - 10), down to
    // (x + 3, y - 7), and (x + 6, y - 10) to (x + 9, y - 7).
    const int ax = row->ThumbRect(3).right;
    const POINT onArrow[] = {{ax + 1, y}, {ax + 3, y}, {ax + 6, y - 3}, {ax + 6, y - 8},
                             {ax + 4, y - 8}, {ax + 8, y - 8}};
    for (POINT p : onArrow) EXPECT_EQ(pixel(p.x, p.y), RGB(0, 255, 0)) << p.x - ax << "," << p.y - y;
    for (POINT p : {POINT{ax + 3, y - 3}, POINT{ax + 12, y - 5}, POINT{ax + 3, y + 4}})
        EXPECT_NE(pixel(p.x, p.y), RGB(0, 255, 0)) << p.x - ax << "," << p.y - y;

    // Stamps copied 1:1 below the texts (the link pens' round ends reach 2
    // pixels into the stamps beside them); red numbers at (x + 2, 2) and
    // green names at (x + 25, 2), antialiased over the photograph.
    for (int k = 0; k < 4; ++k) {
        const RECT t = row->ThumbRect(k);
        Image* stamp = F(k)->GetStampBmp();
        auto stampPixel = [&](int xx, int yy) {
            const unsigned char* s = stamp->GetData() + static_cast<size_t>(yy) * stamp->GetRowByte() + 3 * xx;
            return RGB(s[2], s[1], s[0]);
        };
        int differ = 0;
        for (int yy = 24; yy < stamp->GetHeight(); ++yy)
            for (int xx = 0; xx < stamp->GetWidth(); ++xx) {
                const bool nearLink = std::abs(t.top + yy - y) <= 3 && (xx < 3 || xx >= stamp->GetWidth() - 3);
                if (!nearLink) differ += pixel(t.left + xx, t.top + yy) != stampPixel(xx, yy);
            }
        EXPECT_EQ(differ, 0) << k;
        int red = 0, green = 0;
        for (int yy = 2; yy < 20; ++yy)
            for (int xx = 2; xx < 22; ++xx) {
                const COLORREF c = pixel(t.left + xx, t.top + yy);
                red += c != stampPixel(xx, yy) && GetRValue(c) > GetGValue(c) + 100 && GetRValue(c) > GetBValue(c) + 100;
            }
        for (int yy = 2; yy < 24; ++yy)
            for (int xx = 25; xx < stamp->GetWidth(); ++xx) {
                const COLORREF c = pixel(t.left + xx, t.top + yy);
                green += c != stampPixel(xx, yy) && GetGValue(c) > GetRValue(c) + 60 && GetGValue(c) > GetBValue(c) + 60;
            }
        EXPECT_GT(red, 10) << k;
        EXPECT_GT(green, 40) << k;
    }

    // The drag outline drawn and erased leaves every pixel as it was.
    auto [r, at] = Thumb(1);
    win::user::LeftDown(r->m_hWnd, at);
    RefPtr<Image> dragging = RefPtr<Image>::adopt(win::CaptureWindow(r->m_hWnd));
    win::user::MoveMouse(r->m_hWnd, POINT{at.x + 7, at.y + 3}, MK_LBUTTON);
    win::user::MoveMouse(r->m_hWnd, at, MK_LBUTTON);
    win::user::LeftUp(r->m_hWnd, at);
    RefPtr<Image> after = RefPtr<Image>::adopt(win::CaptureWindow(r->m_hWnd));
    ASSERT_TRUE(dragging && after);
    EXPECT_NE(std::memcmp(dragging->GetData(), shown->GetData(), static_cast<size_t>(shown->GetRowByte()) * shown->GetHeight()), 0);
    EXPECT_EQ(std::memcmp(after->GetData(), shown->GetData(), static_cast<size_t>(shown->GetRowByte()) * shown->GetHeight()), 0);
}

TEST_F(TrayTest, TheDragOutlineCrossesIntoTheRowAboveAndLeavesNoTrace)
{
    AddMany(5, 60, 50);
    FixRowWidth(300);
    ASSERT_EQ(m_host->GetRowCount(), 2);
    m_host->Refresh(true);
    win::PaintAll();
    auto capture = [&](int i) { return RefPtr<Image>::adopt(win::CaptureWindow(Row(i)->m_hWnd)); };
    auto same = [](const RefPtr<Image>& a, const RefPtr<Image>& b) {
        return std::memcmp(a->GetData(), b->GetData(), static_cast<size_t>(a->GetRowByte()) * a->GetHeight()) == 0;
    };
    RefPtr<Image> above = capture(0), below = capture(1);
    auto [row, at] = Thumb(4);
    ASSERT_EQ(row, Row(1));
    win::user::LeftDown(row->m_hWnd, at);
    win::user::MoveMouse(row->m_hWnd, POINT{at.x + 20, at.y - 45}, MK_LBUTTON);
    EXPECT_FALSE(same(capture(0), above)) << "the outline reaches into the row above";
    EXPECT_FALSE(same(capture(1), below));
    win::user::MoveMouse(row->m_hWnd, at, MK_LBUTTON);
    win::user::LeftUp(row->m_hWnd, at);
    EXPECT_TRUE(same(capture(0), above));
    EXPECT_TRUE(same(capture(1), below));
    EXPECT_EQ(Names(), "01234");
}

TEST_F(TrayTest, TwentyFiveDurlachPhotographsEndToEnd)
{
    const std::vector<std::string> photos = Durlach(25);
    ASSERT_EQ(photos.size(), 25u);
    win::user::DropFiles(m_host->m_hWnd, photos, POINT{20, 20});
    ASSERT_EQ(Chain().GetCount(), 25);
    ASSERT_EQ(Manager().GetImageGroup(false)->GetNumbOfImages(), 25);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(std::string(F(i)->GetName()), photos[i]);
        EXPECT_EQ(Manager().GetImageGroup(false)->GetImageFrame(i), F(i));
    }
    EXPECT_GT(m_host->GetRowCount(), 1);
    int shown = 0;
    for (ImageTray* r = Row(0); r; r = r->m_next) {
        EXPECT_EQ(r->m_first, shown);
        shown += r->m_count;
    }
    EXPECT_EQ(shown, 25);

    Prompter().ExpectMessageBox("Please confirm :\n  The first and last image have overlap.", IDYES);
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32789));
    EXPECT_TRUE(win::user::ChooseCommand(m_tray, 32836));
    EXPECT_TRUE(Chain().IsLoop());
    for (int i = 0; i < 25; ++i) EXPECT_EQ(std::string(F(i)->GetName()), photos[24 - i]);
    ImageFrame *a = nullptr, *b = nullptr;
    int index = -1;
    EXPECT_EQ(Chain().NextStitchPair(&a, &b, &index), kPairToStitch);
    EXPECT_EQ(a, F(0));
    EXPECT_EQ(b, F(1));
    EXPECT_EQ(index, 0);
}

TEST_F(TrayTest, LongNamesTakeTwoLines)
{
    ASSERT_NE(Add(160, 80, "/p/short.jpg", 0), nullptr);
    ASSERT_NE(Add(160, 80, "/p/a_rather_long_name.jpg", 0), nullptr);
    FixRowWidth(600);
    m_host->Refresh(true);
    win::PaintAll();
    RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(Row(0)->m_hWnd));
    ASSERT_TRUE(shown);
    // Green (0, 180, 0) rows over the black stamps, per thumbnail.
    auto greenRows = [&](int k, int from, int to) {
        const RECT t = Row(0)->ThumbRect(k);
        int count = 0;
        for (int y = t.top + from; y < t.top + to; ++y)
            for (int x = t.left + 25; x < t.right; ++x) {
                const unsigned char* p = shown->GetData() + static_cast<size_t>(y) * shown->GetRowByte() + 3 * x;
                count += p[1] > 60 && p[0] < 40 && p[2] < 40;
            }
        return count;
    };
    EXPECT_GT(greenRows(0, 2, 14), 10);
    EXPECT_EQ(greenRows(0, 17, 40), 0);
    EXPECT_GT(greenRows(1, 2, 14), 10);
    EXPECT_GT(greenRows(1, 17, 30), 5) << "the second half on its own line at y 10";
    m_host->SetShowNames(false);
    win::PaintAll();
    shown = RefPtr<Image>::adopt(win::CaptureWindow(Row(0)->m_hWnd));
    EXPECT_EQ(greenRows(0, 2, 40) + greenRows(1, 2, 40), 0);
}

TEST_F(TrayTest, FullSizeImageAndExifDialogFromTheTray)
{
    ImageFrame* frame = Add(60, 50, "/p/held.jpg");
    ImageFrame* missing = Add(60, 50, "/p/missing.jpg");
    ASSERT_TRUE(frame && missing);
    auto [row, at] = Thumb(0);

    // The image menu's Exif item opens the report; a press that follows
    // an open dialog shows the pressed frame's report in it.
    Prompter().ExpectPopupMenu(33172);
    win::user::RightClick(row->m_hWnd, at);
    CExifInfoDlg* exif = GetExifInfoDialog();
    ASSERT_NE(exif, nullptr);
    EXPECT_EQ(exif->GetReport().rfind("File name:\t  held.jpg\nLocation: /p\n", 0), 0u) << exif->GetReport();
    win::user::Click(row->m_hWnd, Thumb(1).second);
    EXPECT_EQ(GetExifInfoDialog(), exif);
    EXPECT_EQ(exif->GetReport().rfind("File name:\t  missing.jpg\n", 0), 0u) << exif->GetReport();
    CloseExifInfoDialog(false);

    // A beam-down frame loads its file again; a file that does not load
    // shows nothing.
    missing->SetBeamDownState(true);
    win::user::DoubleClick(row->m_hWnd, Thumb(1).second);
    EXPECT_EQ(FindImageDoc("/p/missing.jpg"), nullptr);

    auto* image = new Image(8, 6, 3);
    std::memset(image->GetData(), 0, static_cast<size_t>(image->GetRowByte()) * 6);
    frame->SetImage(image, false);
    ReleaseImage(image);  // the frame holds it
    win::user::DoubleClick(row->m_hWnd, at);
    CImageDoc* doc = FindImageDoc("/p/held.jpg");
    ASSERT_NE(doc, nullptr);
    ASSERT_NE(doc->GetImage(), image) << "the window shows a copy";
    EXPECT_EQ(doc->GetImage()->GetData()[0], 1) << "zero samples raised to 1";
    EXPECT_EQ(image->GetData()[0], 0) << "the frame's own image is left alone";
}

TEST_F(TrayTest, RotateToolsShowTheirCursorsOverTheHost)
{
    AddMany(2, 60, 50);
    const POINT margin{3, 3};
    m_tray->SetToolMode(Pellicot::kToolRotateLeft);
    win::user::MoveMouse(m_host->m_hWnd, margin);
    EXPECT_EQ(win::CursorId(GetCursor()), ImageTrayHost::kRotateLeftCursor);
    m_tray->SetToolMode(Pellicot::kToolRotateRight);
    win::user::MoveMouse(m_host->m_hWnd, margin);
    EXPECT_EQ(win::CursorId(GetCursor()), ImageTrayHost::kRotateRightCursor);
    m_tray->SetToolMode(Pellicot::kToolReset);
    win::user::MoveMouse(m_host->m_hWnd, margin);
    EXPECT_NE(win::CursorId(GetCursor()), ImageTrayHost::kRotateRightCursor);
    // Without a drag the rows show the link cursor over link bars only.
    const RECT t = Row(0)->ThumbRect(0);
    win::user::MoveMouse(Row(0)->m_hWnd, POINT{t.right + 2, (Row(0)->m_height - 4) / 2});
    EXPECT_EQ(win::CursorId(GetCursor()), ImageTray::kLinkCursor);
    win::user::MoveMouse(Row(0)->m_hWnd, Thumb(0).second);
    EXPECT_EQ(win::CursorId(GetCursor()), IDC_ARROW);
}

TEST_F(TrayTest, AFrameWithoutAStampIsRefused)
{
    ImageFrame bare;
    LogCapture log;
    EXPECT_FALSE(m_tray->AddFrame(&bare, nullptr, true));
    EXPECT_TRUE(log.contains("ERROR ImageTrayHost::AddFrame")) << log.text();
    EXPECT_EQ(Chain().GetCount(), 0);
    ImageFrame empty;
    Image* stamp = new Image();
    empty.SetStampImage(stamp);
    ReleaseImage(stamp);
    EXPECT_FALSE(m_tray->AddFrame(&empty, nullptr, true));
    EXPECT_EQ(Chain().GetCount(), 0);
}

// Run by the next test inside its own Xvfb: the tray with four photographs
// shown through the X11 presenter, captured from the X server and compared
// with the headless surface.
TEST_F(TrayTest, DISABLED_ShownOnTheDisplay)
{
    const char* shot = std::getenv("FENDRAKE_TRAY_SHOT");
    ASSERT_NE(shot, nullptr);
    win::user::DropFiles(m_host->m_hWnd, Durlach(4), POINT{20, 20});
    ASSERT_EQ(Chain().GetCount(), 4);
    F(0)->AddNeighbor(F(1));
    F(0)->SetMerged(F(1));
    m_host->Refresh(true);
    PresentedCapture shown;
    ASSERT_TRUE(CapturePresented(Main().m_hWnd, shot, shown));
    const RefPtr<Image>& screen = shown.screen;    // R, G, B
    const RefPtr<Image>& surface = shown.surface;  // B, G, R
    RECT tray{};
    m_tray->GetWindowRect(&tray);
    Main().ScreenToClient(&tray);
    ASSERT_GT(tray.right - tray.left, 300);
    long differing = 0;
    for (int y = std::max(0, static_cast<int>(tray.top)); y < std::min(static_cast<int>(tray.bottom), surface->GetHeight()); ++y) {
        const unsigned char* a = screen->GetData() + static_cast<size_t>(y) * screen->GetRowByte();
        const unsigned char* b = surface->GetData() + static_cast<size_t>(y) * surface->GetRowByte();
        for (int x = std::max(0, static_cast<int>(tray.left)); x < std::min(static_cast<int>(tray.right), surface->GetWidth()); ++x)
            differing += (a[3 * x] != b[3 * x + 2] || a[3 * x + 1] != b[3 * x + 1] || a[3 * x + 2] != b[3 * x]) ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
    win::X11Presenter::Stop();
}

TEST_F(TrayTest, OnAVirtualDisplayTheTrayShowsItsHeadlessSurface)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    const std::string shot = Home().file("tray.ppm");
    const auto run = testkit::Run("FENDRAKE_TRAY_SHOT='" + shot +
                                  "' xvfb-run -a -s '-screen 0 1920x1200x24 -nolisten tcp' /proc/" +
                                  std::to_string(getpid()) +
                                  "/exe --gtest_also_run_disabled_tests --gtest_filter=TrayTest.DISABLED_ShownOnTheDisplay 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
    RefPtr<Image> screen = RefPtr<Image>::adopt(testkit::ReadPnm(shot));
    EXPECT_TRUE(screen) << "no screenshot was taken";
}

}  // namespace
