// The automatic control-point search against the stand-in matcher: which
// frames still need markers (open chains and loops, every form of "done"),
// the matcher's options the search chooses (closed chains, RANSAC distance,
// channel size, Hollet or Nerrow), the empty sets that mark searched pairs,
// failures that leave the request's result at 1, and the worker that ends
// with its posted message.
#include "app/matching/auto_markers.h"
#include "app/matching/tests/child_run_fixture.h"

#include "app/control/image_chain.h"
#include "app/matching/exif_summary.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"

#include <algorithm>
#include <atomic>

namespace {

using matching_test::ChildRunTest;
using matching_test::FaPoints;

enum class Link { None, Bare, Merged, Markers, EmptyFa };

class AutoMarkerTest : public ChildRunTest {
protected:
    void TearDown() override
    {
        ClearAutoMarkerRequest();
        ChildRunTest::TearDown();
    }
    // A new chain of `count` new frames.
    void MakeChain(int count, bool loop)
    {
        frames.clear();
        chain = std::make_unique<ImageChain>();
        MakeFrames(count);
        for (ImageFrame* f : frames) chain->Append(f);
        chain->SetLoop(loop);
    }
    void SetLink(int i, int j, Link kind)
    {
        ImageFrame* a = frames[static_cast<size_t>(i)];
        ImageFrame* b = frames[static_cast<size_t>(j)];
        if (kind == Link::None) return;
        a->AddNeighbor(b);
        for (Neighbor* l : {a->FindNeighbor(b), b->FindNeighbor(a)}) {
            if (kind == Link::Merged) l->SetMerged();
            if (kind == Link::Markers) {
                auto m = std::make_unique<Marker>();
                m->AppendMarker(3, 4);
                l->SetMarkers(m.release());
            }
            if (kind == Link::EmptyFa) l->SetMarkerFa(new Marker);
        }
    }
    // The value after `option` on the child's command line, empty without it.
    std::string ChildOption(const std::string& option) const
    {
        const std::vector<std::string> args = ChildArgs();
        const auto at = std::find(args.begin(), args.end(), option);
        return at == args.end() ? std::string() : at + 1 == args.end() ? std::string("(none)") : *(at + 1);
    }
    bool ChildHas(const std::string& option) const
    {
        const std::vector<std::string> args = ChildArgs();
        return std::find(args.begin(), args.end(), option) != args.end();
    }
    std::unique_ptr<ImageChain> chain;
};

TEST_F(AutoMarkerTest, WhichFramesStillNeedMarkers)
{
    struct Case {
        bool loop;
        Link ab, bc, ca;
        bool done[3];
    } cases[] = {
        {false, Link::None, Link::None, Link::None, {false, false, false}},
        {false, Link::Bare, Link::Merged, Link::None, {false, false, true}},
        {false, Link::Markers, Link::EmptyFa, Link::None, {true, true, true}},
        {true, Link::Markers, Link::EmptyFa, Link::None, {false, true, false}},
        {true, Link::Merged, Link::EmptyFa, Link::Markers, {true, true, true}},
        {true, Link::Bare, Link::EmptyFa, Link::Markers, {false, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "loop " << c.loop << " kinds " << int(c.ab) << int(c.bc) << int(c.ca));
        MakeChain(3, c.loop);
        SetLink(0, 1, c.ab);
        SetLink(1, 2, c.bc);
        SetLink(2, 0, c.ca);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(HasMarkersToNeighbours(i, chain.get()), c.done[i]) << "frame " << i;
        const int missing = static_cast<int>(std::count(std::begin(c.done), std::end(c.done), false));
        EXPECT_EQ(NeedAutoMarkers(chain.get(), true), missing >= 2);
    }
}

TEST_F(AutoMarkerTest, LongOpenChainsAreSearchedClosed)
{
    for (int n : {9, 10}) {
        SCOPED_TRACE(n);
        MakeChain(n, false);
        for (int i = 1; i + 2 < n; ++i) SetLink(i, i + 1, Link::EmptyFa);
        std::vector<ImageFrame*> collected;
        bool closed = true;
        EXPECT_EQ(CollectSequentialFrames(chain.get(), collected, &closed), 4);
        EXPECT_EQ(collected, (std::vector<ImageFrame*>{frames[0], frames[1], frames[n - 2], frames[n - 1]}));
        EXPECT_EQ(closed, n >= 10);

        Script("finish\n");
        EXPECT_EQ(FMatchAllImages(chain.get(), 1, nullptr, true, false), 0);
        EXPECT_EQ(ChildHas("--linearmatchlen"), n >= 10);
        EXPECT_EQ(ChildOption("--shmsize"), std::to_string(GetShmSize(4, 200)));
        EXPECT_EQ(ChildOption("--ransacdist"), "0");
        // The matcher returned nothing: every consecutive pair is now marked
        // searched, the closing pair only when the search was closed.
        for (int i = 0; i + 1 < n; ++i) {
            bool hasSet = false;
            EXPECT_TRUE(FaPoints(frames[i], frames[i + 1], &hasSet).empty());
            EXPECT_TRUE(hasSet) << i;
        }
        bool closing = false;
        FaPoints(frames[n - 1], frames[0], &closing);
        EXPECT_EQ(closing, n >= 10);
        EXPECT_FALSE(NeedAutoMarkers(chain.get(), true));
    }
}

TEST_F(AutoMarkerTest, SearchImportsBlocksAndMarksTheRest)
{
    MakeChain(4, false);
    Script("block 0 1 5\nblock 2 3 0\nfinish\n");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(OpenProgressDialog(0, 10, true));
    EXPECT_EQ(FMatchAllImages(chain.get(), 1, nullptr, true, false), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ChildArgs().at(0), "Hollet.exe");
    EXPECT_EQ(FaPoints(frames[0], frames[1]).size(), 5u);
    EXPECT_EQ(FaPoints(frames[1], frames[0]).size(), 5u);
    bool hasSet = false;
    EXPECT_TRUE(FaPoints(frames[1], frames[2], &hasSet).empty());
    EXPECT_TRUE(hasSet) << "an unsearched pair gets an empty set";
    EXPECT_FALSE(NeedAutoMarkers(chain.get(), true));
    // Nothing left to do: no program starts.
    std::filesystem::remove(Home().file("argv"));
    EXPECT_EQ(FMatchAllImages(chain.get(), 1, nullptr, true, false), 0);
    EXPECT_FALSE(std::filesystem::exists(Home().file("argv")));
    // The empty sets are only added where none was.
    EXPECT_EQ(AddEmptyMarkerSets(chain.get(), false), 0);
    EXPECT_EQ(FaPoints(frames[0], frames[1]).size(), 5u);
}

TEST_F(AutoMarkerTest, MatcherRansacAndChannelSizeFollowTheRequest)
{
    MakeChain(4, false);
    struct Case {
        bool sequential, ransac;
        const void* correction;
        const char* program;
        const char* ransacOption;
        const char* ransacValue;
        int pairs;
    } cases[] = {
        {true, false, nullptr, "Hollet.exe", "--ransacdist", "0", 4},
        {true, true, nullptr, "Hollet.exe", "--ransacdist", "6", 4},
        {true, true, chain.get(), "Hollet.exe", "--ransacdist", "8", 4},
        {false, false, nullptr, "Nerrow.exe", "--ransac", "0", 6},
        {false, true, chain.get(), "Nerrow.exe", "--ransacdist", "8", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ransacValue);
        Script("crash\n");  // the links stay untouched, so every case searches again
        testing::internal::CaptureStdout();
        EXPECT_EQ(FMatchAllImages(chain.get(), 1, c.correction, c.sequential, c.ransac), -2);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(ChildArgs().at(0), c.program);
        EXPECT_EQ(ChildOption(c.ransacOption), c.ransacValue);
        EXPECT_EQ(ChildOption("--shmsize"), std::to_string(GetShmSize(c.pairs, 200)));
        for (ImageFrame* f : frames) EXPECT_EQ(f->GetNeighbor()->m_count, 0);
    }
    // All pairs: a finished search marks the frames matched.
    Script("block 0 3 2\nfinish\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(FMatchAllImages(chain.get(), 1, nullptr, false, false), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(FaPoints(frames[3], frames[0]).size(), 2u);
    for (ImageFrame* f : frames) EXPECT_TRUE(f->IsFMatched());
    EXPECT_FALSE(NeedAutoMarkers(chain.get(), false));
    EXPECT_EQ(ResetFMatchState(chain.get()), 0);
    EXPECT_TRUE(NeedAutoMarkers(chain.get(), false));
}

// The main window's stand-in: records the worker's message.
class MainStandIn : public CWnd {
public:
    std::atomic<int> finishedMessages{0};
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == 0x814C) {
            ++finishedMessages;
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

struct WorkerStart {
    HWND window;
    std::atomic<UINT> returned{99};
};

UINT MatchingWorker(void* p)
{
    auto* start = static_cast<WorkerStart*>(p);
    start->returned = static_cast<UINT>(RunAutoMarkerRequest());
    ::PostMessage(start->window, 0x814C, 0, 0);
    return start->returned;
}

TEST_F(AutoMarkerTest, WorkerRunsTheRequestAndPostsItsMessage)
{
    MakeChain(3, false);
    MainStandIn main;
    ASSERT_TRUE(main.CreateEx(0, nullptr, "main", WS_OVERLAPPED, RECT{0, 0, 100, 100}, nullptr, 0));
    struct Case {
        const char* script;
        int result;
        bool cancel;
    } cases[] = {{"text waiting\nsleep\n", 1, true}, {"crash\n", 1, false}, {"block 0 1 3\nfinish\n", 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        Script(c.script);
        ClearAutoMarkerRequest();
        AutoMarkerRequest* r = GetAutoMarkerRequest();
        r->frames = chain.get();
        r->downscaleCode = 1;
        r->sequential = 1;
        r->result = 7;
        CloseProgressDialog();
        ASSERT_TRUE(OpenProgressDialog(0, 20, true));
        main.finishedMessages = 0;
        WorkerStart start{main.m_hWnd};
        testing::internal::CaptureStdout();
        ASSERT_NE(AfxBeginThread(MatchingWorker, &start), nullptr);
        win::PumpUntil(
            [&] {
                CProgressDlg* d = GetProgressDialog();
                if (c.cancel && d && d->GetDlgItem(CProgressDlg::kTextId)->GetWindowText() == "waiting")
                    CancelProgress();
                return main.finishedMessages.load() > 0;
            },
            30000);
        EXPECT_TRUE(win::JoinWorkerThreads(10000));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(main.finishedMessages.load(), 1);
        EXPECT_EQ(r->result, c.result);
        EXPECT_EQ(static_cast<int>(start.returned.load()), c.result);
    }
    EXPECT_EQ(FaPoints(frames[0], frames[1]).size(), 3u);
    EXPECT_FALSE(NeedAutoMarkers(chain.get(), true));
    main.DestroyWindow();
}

TEST_F(AutoMarkerTest, ExifSummaryCountsEveryFrame)
{
    MakeChain(3, false);
    ExifSummary summary;
    EXPECT_EQ(FillExifSummary(chain.get(), &summary), 3);
    EXPECT_EQ(summary.imageCount, 3);
    EXPECT_EQ(summary.noExifCount, 3);
    EXPECT_EQ(summary.state, 0);
    EXPECT_EQ(CountExifFrames(chain.get()), 3);
}

TEST(AutoMarkerRequestRecord, ClearZeroesEveryField)
{
    AutoMarkerRequest* r = GetAutoMarkerRequest();
    EXPECT_EQ(r, GetAutoMarkerRequest());
    r->downscaleCode = 3;
    r->correction = r;
    r->sequential = 1;
    r->useMatcherRansac = 1;
    r->result = 1;
    ClearAutoMarkerRequest();
    EXPECT_EQ(r->frames, nullptr);
    EXPECT_EQ(r->downscaleCode, 0);
    EXPECT_EQ(r->correction, nullptr);
    EXPECT_EQ(r->sequential, 0);
    EXPECT_EQ(r->useMatcherRansac, 0);
    EXPECT_EQ(r->result, 0);
}

}  // namespace
