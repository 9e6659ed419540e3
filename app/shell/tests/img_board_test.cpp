// The thumbnail board: grid geometry and hit testing, the mouse selection
// rules, and the worker protocol (inline loads, worker loads, interruption
// and resumption, discarding, the board going away mid-load).
#include "app/shell/tests/browser_fixture.h"

#include "imaging/image.h"
#include "platform/win/user_input.h"
#include "platform/win/win_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

// A thumbnail loader standing in for the decoder: it records each call
// (file name, thread, the status pane 59000 at the time), gives no image for
// names holding "bad", and holds a load of a name holding "slow" until the
// test opens the gate. Every image it makes is kept (one reference of its
// own) so that the test can see who still holds it.
struct FakeLoader {
    struct Call {
        std::string name;
        std::thread::id thread;
        std::string pane;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Call> calls;
    std::map<std::string, RefPtr<Image>> made;
    bool gateOpen = true;
    bool waiting = false;
    std::function<std::string()> paneReader;

    static FakeLoader& Get()
    {
        static FakeLoader loader;
        return loader;
    }
    void Reset(std::function<std::string()> reader)
    {
        std::lock_guard<std::mutex> guard(lock);
        calls.clear();
        made.clear();
        gateOpen = true;
        waiting = false;
        paneReader = std::move(reader);
    }
    static Image* Load(const char* path, int size)
    {
        FakeLoader& f = Get();
        const std::string full(path);
        const std::string name = full.substr(full.find_last_of("\\/") + 1);
        const bool onUiThread = std::this_thread::get_id() == f.uiThread;
        {
            std::unique_lock<std::mutex> guard(f.lock);
            f.calls.push_back({name, std::this_thread::get_id(), onUiThread && f.paneReader ? f.paneReader() : ""});
            if (name.find("slow") != std::string::npos) {
                f.waiting = true;
                f.changed.notify_all();
                f.changed.wait(guard, [&] { return f.gateOpen; });
                f.waiting = false;
            }
        }
        if (name.find("bad") != std::string::npos) return nullptr;
        // Sizes vary with the name so that the centring rule is exercised.
        const int width = 60 + static_cast<int>(name.size()) * 7, height = size;
        auto* image = new Image(width, height, 3);
        std::memset(image->GetData(), static_cast<int>(name[0]), image->GetDataSize());
        // The test keeps a reference to the first image of each name only:
        // image counts are not shared between threads, so a later image of
        // the same name never touches the earlier one.
        std::lock_guard<std::mutex> guard(f.lock);
        if (f.made.count(name) == 0) {
            RefAdd(image);
            f.made[name] = RefPtr<Image>::adopt(image);  // the test's own reference
        }
        return image;  // and the caller's
    }
    void SetGate(bool open)
    {
        std::lock_guard<std::mutex> guard(lock);
        gateOpen = open;
        changed.notify_all();
    }
    std::vector<std::string> Names()
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<std::string> names;
        for (const Call& c : calls) names.push_back(c.name);
        return names;
    }
    int References(const std::string& name)
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = made.find(name);
        return it == made.end() ? -1 : it->second.get()->m_refCount;
    }
    std::thread::id uiThread;
};

class BoardTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        FakeLoader::Get().Reset([this] { return Pane(ID_PANE_59000); });
        FakeLoader::Get().uiThread = std::this_thread::get_id();
        CImgBoard::SetThumbnailLoader(&FakeLoader::Load);
    }
    void TearDown() override
    {
        FakeLoader::Get().SetGate(true);
        CImgBoard::SetStopWaitRound(std::chrono::milliseconds(100));
        BrowserTest::TearDown();
        win::JoinWorkerThreads(10000);
        FakeLoader::Get().Reset(nullptr);
    }

    // A folder E:\f with these (empty) files, listed by the board in list
    // mode; the board is sized to a client width of 285.
    void OpenFolder(const std::vector<std::string>& names)
    {
        const std::string folder = Folder("f");
        for (const std::string& name : names) WriteBytes(folder + "/" + name, "");
        App().WriteProfileString("Recent File List", "File1", "");
        Browser().InitFolderTree("E:\\f");
        Board().MoveWindow(200, 0, 285, 500);
    }
    // Thumbnail mode, and the messages pumped until loading has ended.
    void ShowThumbnails()
    {
        Board().SetListMode(false);
        WaitLoaded();
    }
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            PumpPendingMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    void WaitLoaded() { ASSERT_TRUE(PumpUntil([this] { return !Board().IsLoading(); })); PumpPendingMessages(); }
    std::vector<int> FileIndices()
    {
        std::vector<int> indices;
        for (int i = 0; i < ThumbnailCount(); ++i)
            indices.push_back(static_cast<ThumbnailItem*>(Board().GetThumbnails()->GetData(i))->fileIndex);
        return indices;
    }
    std::vector<int> Marked()
    {
        std::vector<int> marked;
        for (int i = 0; i < ThumbnailCount(); ++i)
            if (Board().IsMarked(i)) marked.push_back(i);
        return marked;
    }
    static POINT Centre(int index)
    {
        const POINT o = CImgBoard::CellOrigin(CImgBoard::GetCellLayout(285, 6), index);
        return POINT{o.x + 48, o.y + 48};
    }
};

TEST(BoardGeometry, ColumnsRowsAndScrolledSize)
{
    struct Case {
        int width;
        int count;
        int columns;
        int rows;
        SIZE total;
    };
    const Case cases[] = {
        {285, 7, 3, 3, {308, 344}}, {84, 2, 1, 2, {108, 232}},  {85, 1, 1, 1, {108, 120}},
        {100, 5, 1, 5, {108, 568}}, {115, 3, 1, 3, {108, 344}}, {185, 3, 2, 2, {208, 232}},
        {0, 0, 1, 0, {108, 8}},
    };
    for (const Case& c : cases) {
        const CellLayout layout = CImgBoard::GetCellLayout(c.width, c.count);
        EXPECT_EQ(layout.columns, c.columns) << c.width;
        EXPECT_EQ(layout.rows, c.rows) << c.width;
        const SIZE total = CImgBoard::GridSize(layout);
        EXPECT_EQ(total.cx, c.total.cx) << c.width;
        EXPECT_EQ(total.cy, c.total.cy) << c.width;
    }
    const CellLayout three = CImgBoard::GetCellLayout(285, 7);
    EXPECT_EQ(CImgBoard::CellOrigin(three, 0).x, 4);
    EXPECT_EQ(CImgBoard::CellOrigin(three, 5).x, 204);
    EXPECT_EQ(CImgBoard::CellOrigin(three, 5).y, 116);
    EXPECT_EQ(CImgBoard::CellOrigin(three, 6).y, 228);
}

TEST_F(BoardTest, HitTestingFindsOnlyThe96PixelSquares)
{
    OpenFolder({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg", "g.jpg"});
    ShowThumbnails();
    ASSERT_EQ(ThumbnailCount(), 7);
    CRect client;
    Board().GetClientRect(&client);
    ASSERT_EQ(client.Width(), 285);
    struct Case {
        POINT content;
        int item;
    };
    const Case cases[] = {
        {{3, 50}, -1},   {{50, 3}, -1},   {{4, 4}, 0},       {{99, 99}, 0},   {{100, 50}, -1},
        {{101, 50}, -1},  // 97 pixels right of the cell's left edge plus 4
        {{104, 50}, 1},  {{50, 100}, -1}, {{50, 116}, 3},    {{4, 228}, 6},   {{104, 228}, -1},  // past the last item
        {{304, 50}, -1}, {{50, 340}, -1}, {{299, 300}, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(Board().HitTest(c.content), c.item) << c.content;
}

TEST_F(BoardTest, TheMouseRulesMarkAndDragAsTabled)
{
    OpenFolder({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg"});
    ShowThumbnails();
    ASSERT_EQ(ThumbnailCount(), 6);
    enum Kind { Press, Move, Release };
    struct Step {
        Kind kind;
        UINT keys;
        int item;  // -1: a point beside every thumbnail
    };
    struct Case {
        const char* what;
        std::vector<int> marked;
        int current;
        std::vector<Step> steps;
        uint32_t flagsAfterPress;
        std::vector<int> marks;
        int currentAfter;
    };
    const uint32_t wait = kBoardPressed | kBoardPlainWait;
    const Case cases[] = {
        {"plain click on an unmarked item", {0, 1}, 1, {{Press, 0, 2}, {Release, 0, 2}}, kBoardPressed, {2}, 2},
        {"plain click on a marked item waits", {0, 1}, 0, {{Press, 0, 1}, {Release, 0, 1}}, wait, {1}, 1},
        {"Ctrl release unmarks", {0, 1}, 1, {{Press, MK_CONTROL, 1}, {Release, MK_CONTROL, 1}},
         wait | kBoardCtrlWait, {0}, -1},
        {"Ctrl click marks one more", {0}, 0, {{Press, MK_CONTROL, 3}, {Release, MK_CONTROL, 3}}, kBoardPressed,
         {0, 3}, 3},
        {"Shift selects from the current item", {1}, 1, {{Press, MK_SHIFT, 4}, {Release, MK_SHIFT, 4}},
         kBoardPressed, {1, 2, 3, 4}, 1},
        {"Shift without a current item marks one", {}, -1, {{Press, MK_SHIFT, 4}, {Release, 0, 4}},
         kBoardPressed, {4}, 4},
        {"Shift on a marked item selects the range", {0, 2}, 2, {{Press, MK_SHIFT, 0}, {Release, 0, 0}},
         kBoardPressed, {0, 1, 2}, 2},
        {"a miss unmarks everything", {0, 2}, 2, {{Press, 0, -1}, {Release, 0, -1}}, 0, {}, -1},
        {"a move after a press drags", {0, 1}, 0, {{Press, 0, 1}, {Move, 0, 1}, {Release, 0, 5}}, wait, {0, 1}, 0},
    };
    for (const Case& c : cases) {
        // Nothing marked and no current item, then the case's marks, the
        // current one last (marking makes an item current).
        for (int i = 0; i < 6; ++i) {
            Board().SetMarked(i, true);
            Board().SetMarked(i, false);
        }
        for (int i : c.marked) Board().SetMarked(i, true);
        if (c.current >= 0) Board().SetMarked(c.current, true);
        ASSERT_EQ(Board().GetCurrentIndex(), c.current) << c.what;
        for (const Step& s : c.steps) {
            const POINT at = s.item < 0 ? POINT{2, 60} : Centre(s.item);
            if (s.kind == Press) {
                Board().LeftPress(s.keys, at);
                EXPECT_EQ(Board().GetFlags() & 0x78, c.flagsAfterPress) << c.what;
            } else if (s.kind == Move) {
                Prompter().ExpectDrop(win::DropAnswer{false, nullptr, {}, 0});
                Board().MouseMoved(s.keys, at);
                EXPECT_EQ(Board().GetFlags() & 0x78, kBoardDragging) << c.what;
            } else {
                Board().LeftRelease(s.keys, at);
            }
        }
        EXPECT_EQ(Board().GetFlags() & 0x78, 0u) << c.what;
        EXPECT_EQ(Marked(), c.marks) << c.what;
        EXPECT_EQ(Board().GetCurrentIndex(), c.currentAfter) << c.what;
    }
    // The drag offered the browser's text with the copy effect only.
    ASSERT_FALSE(Prompter().Drags().empty());
    EXPECT_EQ(Prompter().Drags().back().text, "KQVZ-NOTIFY-FROM-PREVIEW");
    EXPECT_EQ(Prompter().Drags().back().allowed, static_cast<DROPEFFECT>(DROPEFFECT_COPY));
    // The window's own mouse handlers follow the same rules.
    win::user::Click(Board().m_hWnd, Centre(5));
    EXPECT_EQ(Marked(), std::vector<int>{5});
    win::user::Click(Board().m_hWnd, Centre(3), MK_SHIFT);
    EXPECT_EQ(Marked(), (std::vector<int>{3, 4, 5}));
}

TEST_F(BoardTest, ScrollBarsThatChangeTheColumnsSettle)
{
    // Enough thumbnails for a vertical bar, whose width takes a column away.
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i) names.push_back("n" + std::to_string(100 + i) + ".jpg");
    OpenFolder(names);
    Board().MoveWindow(200, 0, 600, 560);
    ShowThumbnails();
    ASSERT_EQ(ThumbnailCount(), 200);
    CRect client;
    Board().GetClientRect(&client);
    EXPECT_LT(client.Width(), 600);
    const SIZE grid = CImgBoard::GridSize(CImgBoard::GetCellLayout(client.Width(), 200));
    EXPECT_EQ(Board().GetTotalSize(), CSize(grid.cx, grid.cy));
    // The last item is where the grid of the present width puts it.
    const CellLayout layout = CImgBoard::GetCellLayout(client.Width(), 200);
    const POINT last = CImgBoard::CellOrigin(layout, 199);
    EXPECT_EQ(Board().HitTest(POINT{last.x + 10, last.y + 10}), 199);
}

TEST_F(BoardTest, TwoFilesLoadAtOnceOnTheUserInterfaceThread)
{
    OpenFolder({"a.jpg", "b.jpg", "notes.txt"});
    Board().SetListMode(false);
    // No pumping: both are there when the call returns.
    EXPECT_EQ(ThumbnailCount(), 2);
    EXPECT_EQ(win::RunningWorkerCount(), 0);
    ASSERT_EQ(FakeLoader::Get().calls.size(), 2u);
    EXPECT_EQ(FakeLoader::Get().calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(FakeLoader::Get().calls[0].pane, "Loading #1 thumbnail a.jpg");
    EXPECT_EQ(FakeLoader::Get().calls[1].pane, "Loading #2 thumbnail b.jpg");
    EXPECT_EQ(Pane(ID_PANE_59000), "");
    EXPECT_EQ(Board().GetTotalSize(), CSize(308, 120));
}

TEST_F(BoardTest, ThreeFilesOrMoreLoadOnTheWorkerAndSkipWhatGivesNoImage)
{
    OpenFolder({"a.jpg", "b.jpg", "c_bad.jpg", "d_slow.jpg", "e.jpg"});
    FakeLoader::Get().SetGate(false);
    Board().SetListMode(false);
    // The worker stands in the fourth load; the status reached the main frame.
    ASSERT_TRUE(PumpUntil([] {
        std::lock_guard<std::mutex> guard(FakeLoader::Get().lock);
        return FakeLoader::Get().waiting;
    }));
    ASSERT_TRUE(PumpUntil([this] { return Pane(ID_PANE_59001) == "Loading #4 thumbnail d_slow.jpg"; }));
    EXPECT_EQ(FileIndices(), (std::vector<int>{0, 1}));
    EXPECT_TRUE(Board().IsLoading());
    FakeLoader::Get().SetGate(true);
    WaitLoaded();
    EXPECT_EQ(FileIndices(), (std::vector<int>{0, 1, 3, 4}));
    EXPECT_NE(FakeLoader::Get().calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(Pane(ID_PANE_59001), "");  // the end
    EXPECT_EQ(Board().GetTotalSize(), CSize(308, 232));
    EXPECT_FALSE(Board().GetFlags() & kBoardInterrupted);
}

TEST_F(BoardTest, LeavingThumbnailModeStopsAndComingBackResumes)
{
    OpenFolder({"f0.jpg", "f1.jpg", "f2_slow.jpg", "f3.jpg", "f4.jpg"});
    FakeLoader::Get().SetGate(false);
    Board().SetListMode(false);
    ASSERT_TRUE(PumpUntil([] {
        std::lock_guard<std::mutex> guard(FakeLoader::Get().lock);
        return FakeLoader::Get().waiting;
    }));
    // The user goes to list mode while the third file loads; the load ends
    // a little later and its image is dropped.
    std::thread opener([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        FakeLoader::Get().SetGate(true);
    });
    Board().SetListMode(true);
    opener.join();
    EXPECT_FALSE(Board().IsLoading());
    EXPECT_TRUE(Board().GetFlags() & kBoardInterrupted);
    EXPECT_EQ(FileIndices(), (std::vector<int>{0, 1}));
    EXPECT_EQ(FakeLoader::Get().References("f2_slow.jpg"), 1);  // only the test holds it now

    // Back to thumbnails: loading goes on after the last kept thumbnail.
    ShowThumbnails();
    EXPECT_EQ(FakeLoader::Get().Names(),
              (std::vector<std::string>{"f0.jpg", "f1.jpg", "f2_slow.jpg", "f2_slow.jpg", "f3.jpg", "f4.jpg"}));
    EXPECT_EQ(FileIndices(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(Board().GetFlags() & kBoardInterrupted);

    // Reading the folder discards the thumbnails and loads them all again.
    RefPtr<Image> first;
    {
        std::lock_guard<std::mutex> guard(FakeLoader::Get().lock);
        first = RefPtr<Image>::share(FakeLoader::Get().made["f0.jpg"].get());
    }
    const int held = first.get()->m_refCount;  // the list's, the loader's record's and ours
    Board().ReadFolder();
    EXPECT_EQ(ThumbnailCount(), 0);
    EXPECT_LT(first.get()->m_refCount, held);
    WaitLoaded();
    EXPECT_EQ(FakeLoader::Get().Names().size(), 11u);
    EXPECT_EQ(FileIndices(), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(BoardTest, TheBoardGoingAwayMidLoadLeavesTheWorkerWhatItUses)
{
    struct Case {
        const char* what;
        int stopRoundMs;  // the board's wait for the worker, per round
        int openAfterMs;  // when the slow load ends
    };
    // The worker ends within the board's wait, and after the board gave up.
    const Case cases[] = {{"joined", 100, 300}, {"given up", 2, 1500}};
    for (const Case& c : cases) {
        OpenFolder({"a.jpg", "b_slow.jpg", "c.jpg"});
        FakeLoader::Get().Reset([this] { return Pane(ID_PANE_59000); });
        FakeLoader::Get().SetGate(false);
        CImgBoard::SetStopWaitRound(std::chrono::milliseconds(c.stopRoundMs));
        Board().SetListMode(false);
        ASSERT_TRUE(PumpUntil([] {
            std::lock_guard<std::mutex> guard(FakeLoader::Get().lock);
            return FakeLoader::Get().waiting;
        })) << c.what;
        std::thread opener([&c] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.openAfterMs));
            FakeLoader::Get().SetGate(true);
        });
        Browser().DestroyWindow();
        EXPECT_EQ(Manager().GetImageBrowser(), nullptr) << c.what;
        opener.join();
        ASSERT_TRUE(win::JoinWorkerThreads(10000)) << c.what;
        // The slow file's image went back to the test alone; the first one
        // went with the board's list.
        EXPECT_EQ(FakeLoader::Get().References("b_slow.jpg"), 1) << c.what;
        EXPECT_EQ(FakeLoader::Get().References("a.jpg"), 1) << c.what;
        EXPECT_EQ(FakeLoader::Get().Names(), (std::vector<std::string>{"a.jpg", "b_slow.jpg"})) << c.what;
        // Messages the worker posted to the gone board are harmless.
        PumpPendingMessages();
        Manager().ShowImageBrowser(0, true);
        ASSERT_NE(Manager().GetImageBrowser(), nullptr);
    }
}

}  // namespace
