// The stitch driver on a live main frame: real pair workers reporting by
// 0x814C, a scripted stitching core, the global alignment and preview
// refresh recorded. Runs of several pairs, the loop question, failed and
// crashed pairs, Stop, the overlap window, the matching worker, and marker
// stitching with its messages.
#include "app/control/image_chain.h"
#include "app/control/stitch_driver.h"
#include "app/control/stitch_pair.h"
#include "app/control/super_manager.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/shell/stitch_bar.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/stitch_run_wait.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/panorama.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// The scripted stitching core: answers per call (0 when the script ends),
// a throw at one call, and b placed `step` degrees right of a on success.
struct Script {
    std::vector<int> answers;
    int throwAt = -1;
    double step = 30;
    std::atomic<int> calls{0};
    std::vector<int> directions;
};
Script* g_script = nullptr;

int ScriptedPanorama(IImageFrame* a, IImageFrame* b, PAIR_WALIGN_RR_PRMS2*, float, int direction)
{
    const int k = g_script->calls++;
    g_script->directions.push_back(direction);
    if (k == g_script->throwAt) throw std::runtime_error("scripted crash");
    const int answer = k < static_cast<int>(g_script->answers.size()) ? g_script->answers[k] : 0;
    if (answer == 0 && direction != -1) {
        const TRANSFORM_RS* pa = a->GetImgInfo()->GetParams();
        TRANSFORM_RS* pb = b->GetImgInfo()->GetParams();
        pb->rcpFocal = 1 / 500.0f;
        pb->pan = static_cast<float>(pa->pan + g_script->step * kDeg);
    }
    return answer;
}

bool ScriptedInit(IImageFrame* frame, float, float, float)
{
    InitPanoramaPlacement(frame->GetImgInfo(), 0, 0, 0, 320, 240);
    frame->GetImgInfo()->GetParams()->rcpFocal = 1 / 500.0f;
    return true;
}

class DriverTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
        g_script = &m_script;
        m_oldPanorama = SetPanoramaFunction(&ScriptedPanorama);
        m_oldInit = SetPanoramaInitFunction(&ScriptedInit);
        SetStitchMatching(StitchMatching{});
        ClearMatchingRequest();
    }
    void TearDown() override
    {
        win::JoinWorkerThreads(5000);
        SetPanoramaFunction(m_oldPanorama);
        SetPanoramaInitFunction(m_oldInit);
        SetStitchMatching(StitchMatching{});
        g_script = nullptr;
        AppTest::TearDown();
    }

    // n frames in the tray, each holding a 640 x 480 working image.
    void AddFrames(int n)
    {
        for (int i = 0; i < n; ++i) {
            const std::string name = "/p/" + std::to_string(i) + ".jpg";
            auto* stamp = new Image(64, 48, 3);
            std::memset(stamp->GetData(), 100, static_cast<size_t>(stamp->GetRowByte()) * 48);
            Manager().AddImageFrame(stamp, name.c_str(), nullptr);
            ImageFrame* frame = Manager().FindImageFrame(name.c_str());
            ASSERT_NE(frame, nullptr);
            auto* image = new Image(640, 480, 3);
            frame->SetImage(image, false);
            ReleaseImage(image);
            frame->SetBeamDownState(true);
        }
        ASSERT_EQ(Chain().GetCount(), n);
    }
    ImageChain& Chain() { return *Manager().GetChain(); }
    CStitchBar& Bar() { return *Manager().GetStitchBar(); }

    // Runs the user-interface loop until the run is over (bar idle, no
    // worker, no pair outstanding) or `limitMs` passed.
    bool PumpUntilIdle(int limitMs = 10000)
    {
        if (!PumpUntilStitchIdle(Manager(), limitMs)) return false;
        PumpPendingMessages();
        return true;
    }

    // The recorded alignment and refresh calls, in order.
    std::vector<std::string> Calls(const char* prefix = nullptr) const
    {
        std::vector<std::string> out;
        for (const auto& c : GetSuperManager()->GetDeferredCalls())
            if (!prefix || c.name.rfind(prefix, 0) == 0) out.push_back(c.name);
        return out;
    }

    Script m_script;
    PanoramaFunction m_oldPanorama = nullptr;
    PanoramaInitFunction m_oldInit = nullptr;
};

}  // namespace

// Automatic runs: the recorded global alignments and preview refreshes.
TEST_F(DriverTest, AutomaticRunsRefreshAtTheRightPairs)
{
    AddFrames(8);
    Bar().OnStitch();
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(m_script.calls.load(), 7);
    const std::vector<std::string> expected = {
        "PairToGlobal(1,0,0)", "LevelPanorama(1)", "PairToGlobal(2,0,0)", "LevelPanorama(1)",
        "PairToGlobal(3,0,0)", "LevelPanorama(1)", "PairToGlobal(4,0,0)", "PairToGlobal(5,0,0)",
        "PairToGlobal(6,0,0)", "LevelPanorama(1)", "PairToGlobal(7,0,0)", "LevelPanorama(1)",
    };
    std::vector<std::string> seen;
    for (const std::string& c : Calls())
        if (c.rfind("PairToGlobal", 0) == 0 || c.rfind("LevelPanorama", 0) == 0) seen.push_back(c);
    EXPECT_EQ(seen, expected);
    for (int i = 0; i + 1 < Chain().GetCount(); ++i) EXPECT_TRUE(Chain().GetFrame(i)->FindNeighbor(Chain().GetFrame(i + 1))->IsMerged());
    EXPECT_TRUE(Manager().GetFlags() & kFlagStopped);
    EXPECT_FALSE(Manager().GetFlags() & kFlagPairInProgress);
    EXPECT_EQ(m_script.directions.front(), 1);
    EXPECT_EQ(m_script.directions.back(), 0);
}

TEST_F(DriverTest, ChainOfOneFrameEndsAtOnce)
{
    AddFrames(1);
    Manager().ModifyFlags(kFlagStopped, 0);
    Manager().DoStitching();
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_EQ(m_script.calls.load(), 0);
    EXPECT_EQ(Calls("PairToGlobal"), std::vector<std::string>{"PairToGlobal(1,0,0)"});
    EXPECT_EQ(Calls("LevelPanorama"), std::vector<std::string>{"LevelPanorama(1)"});
    EXPECT_TRUE(Manager().GetFlags() & kFlagStopped);
}

// A chain spanning a full turn: Yes closes the loop as the last pair, No
// aligns the open chain with a known focal length treated as unknown.
TEST_F(DriverTest, LoopQuestion)
{
    struct Case {
        int answer;
    } cases[] = {{IDYES}, {IDNO}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        if (c.answer == IDNO) {
            // A fresh project for the second case.
            Manager().CloseProject();
            Manager().NewProject();
            m_script.calls = 0;
            m_script.directions.clear();
        }
        AddFrames(6);
        m_script.step = 62;
        Manager().GetStitchSettings()->focalType = 2;
        Prompter().ExpectMessageBox(
            "It seems that the first and the last images have overlap\n(the panorama is a loop). Please confirm.",
            c.answer);
        const size_t before = Manager().GetDeferredCalls().size();
        LogCapture log;
        Bar().OnStitch();
        ASSERT_TRUE(PumpUntilIdle());
        std::vector<std::string> calls;
        for (size_t i = before; i < Manager().GetDeferredCalls().size(); ++i)
            calls.push_back(Manager().GetDeferredCalls()[i].name);
        if (c.answer == IDYES) {
            EXPECT_EQ(m_script.calls.load(), 6);
            EXPECT_EQ(m_script.directions.back(), -1);
            EXPECT_TRUE(Manager().GetTrayState());
            EXPECT_TRUE(log.contains("Stitching images   6 & 1")) << log.text();
            // The leveling succeeds on the merged frames and redraws the preview.
            ASSERT_GE(calls.size(), 3u);
            EXPECT_EQ(calls[calls.size() - 3], "PairToGlobal(7,0,0)");
            EXPECT_EQ(calls[calls.size() - 2], "LevelPanorama(1)");
            EXPECT_EQ(calls.back(), "RemapPanorama(0)");
        } else {
            EXPECT_EQ(m_script.calls.load(), 5);
            EXPECT_FALSE(Manager().GetTrayState());
            ASSERT_GE(calls.size(), 3u);
            EXPECT_EQ(calls[calls.size() - 3], "PairToGlobal(6,0,0)");
            EXPECT_EQ(calls[calls.size() - 2], "LevelPanorama(1)");
            EXPECT_EQ(calls.back(), "RemapPanorama(0)");
            // The alignment ran with focal type 0; the settings keep 2.
            EXPECT_EQ(Manager().GetDeferredCalls()[before + calls.size() - 3].value, 0);
            EXPECT_EQ(Manager().GetStitchSettings()->focalType, 2);
        }
    }
}

// A failed pair falls back to marker stitching of that pair, unless the run
// was stopped; a crashed pair counts as failed and the run goes on.
TEST_F(DriverTest, FailedCrashedAndStoppedPairs)
{
    struct Case {
        const char* name;
        std::vector<int> answers;
        int throwAt;
        bool stop;
        int calls;
        bool handedOn;
    } cases[] = {
        {"third pair refused", {0, 0, 2}, -1, false, 3, true},
        {"second pair crashes", {}, 1, false, 2, true},
        {"Stop pressed, first pair fails", {2}, -1, true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Manager().CloseProject();
        Manager().NewProject();
        m_script.answers = c.answers;
        m_script.throwAt = c.throwAt;
        m_script.calls = 0;
        m_script.directions.clear();
        AddFrames(5);
        // A known focal length: the failed pair's window opens on the overlap.
        Manager().GetStitchSettings()->focalType = 2;
        if (c.handedOn) Prompter().ExpectMessageBox("Please adjust image pair overlap", IDOK);
        Bar().OnStitch();
        if (c.stop) Bar().OnStitch();  // Stop: the worker still finishes its pair
        ASSERT_TRUE(PumpUntilIdle());
        EXPECT_EQ(m_script.calls.load(), c.calls);
        const int failed = c.calls - 1;
        Neighbor* link = Chain().GetFrame(failed)->FindNeighbor(Chain().GetFrame(failed + 1));
        EXPECT_FALSE(link->IsMerged());
        EXPECT_EQ(link->IsBlocked(), c.throwAt < 0);
        EXPECT_EQ(Manager().GetPairWindow() != nullptr, c.handedOn);
        EXPECT_TRUE(Manager().GetFlags() & kFlagStopped);
        Manager().ClosePairWindow(false);
    }
}

TEST_F(DriverTest, OpenOverlapWindowOnTheNextPairGetsTheCommand)
{
    AddFrames(3);
    // Known focal length, no markers: the pair window uses the overlap view.
    Manager().GetStitchSettings()->focalType = 2;
    Bar().OnStitch();
    // The first pair's worker runs; before its report is taken the user
    // opens the overlap window on the next pair.
    Manager().OpenPairWindow(Chain().GetFrame(2), Chain().GetFrame(1), false, false);
    ASSERT_NE(Manager().GetPairWindow(), nullptr);
    ASSERT_FALSE(Manager().GetFlags() & kFlagMarkerMethod);
    // The window takes the command: it commits its pair, which the manager
    // stitches, closes and the run goes on to its end.
    EXPECT_TRUE(PumpUntilIdle(10000));
    EXPECT_EQ(m_script.calls.load(), 2);
    EXPECT_EQ(Manager().GetPairWindow(), nullptr);
    EXPECT_TRUE(Chain().GetFrame(1)->FindNeighbor(Chain().GetFrame(2))->IsMerged());
    int received = 0;
    for (const auto& c : Manager().GetDeferredCalls()) {
        if (c.name != "StitchThisImagePair") continue;
        ++received;
        EXPECT_EQ(c.value, 32826);
        EXPECT_EQ(c.a, Chain().GetFrame(1));
        EXPECT_EQ(c.b, Chain().GetFrame(2));
    }
    EXPECT_EQ(received, 1);
    EXPECT_TRUE(Bar().IsIdle());
}

// The matching worker: a failed search prints its line, clears the request
// and leaves the bar idle; Stop and Stitch while it runs start no second one.
namespace {
std::atomic<int> g_matchRuns{0};
std::atomic<bool> g_releaseMatch{false};
bool AlwaysNeedMarkers(ImageChain*)
{
    return true;
}
int FailingSearch(ImageChain*, uint8_t, const DistortionRecord*)
{
    ++g_matchRuns;
    while (!g_releaseMatch.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return -3;
}
}  // namespace

TEST_F(DriverTest, MatchingWorker)
{
    AddFrames(3);
    g_matchRuns = 0;
    g_releaseMatch = false;
    SetStitchMatching(StitchMatching{&AlwaysNeedMarkers, &FailingSearch});
    Bar().OnStitch();
    EXPECT_TRUE(Manager().IsWorkerActive());
    // Stop, then Stitch again while the search still runs: refused.
    Bar().OnStitch();
    EXPECT_TRUE(Bar().IsIdle());
    Bar().OnStitch();
    EXPECT_TRUE(Bar().IsIdle());
    EXPECT_FALSE(CStitchBar::CanStartStitch());
    EXPECT_FALSE(CStitchBar::CanChangeSettings());
    EXPECT_FALSE(CStitchBar::CanBlend());
    g_releaseMatch = true;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(PumpUntilIdle());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_matchRuns.load(), 1);
    EXPECT_NE(out.find("SuperManager::DoStitching(): FMatchAllImages() failed or canceled\n"), std::string::npos) << out;
    EXPECT_EQ(GetMatchingRequest()->result, 0);
    EXPECT_EQ(m_script.calls.load(), 0);
    EXPECT_TRUE(Bar().IsIdle());
    EXPECT_TRUE(CStitchBar::CanStartStitch());
}

// Marker stitching: readiness by marker counts and changes, the messages,
// and the loop pair's alignment followed by the preview refresh.
TEST_F(DriverTest, MarkerStitchReadinessAndMessages)
{
    struct Case {
        const char* name;
        int focalType;
        int c1, c2;
        bool stitchedBefore, changed;
        const char* box;     // the first message, null for none
        const char* second;  // the pair window's message, null when stitched
    } cases[] = {
        {"first stitch, enough pairs", 0, 3, 3, false, false, nullptr, nullptr},
        {"marker change after a stitch", 0, 4, 4, true, true, nullptr, nullptr},
        {"unchanged markers", 0, 4, 4, true, false, nullptr,
         "Problem detected with marker locations. Please consult the manual for troubleshooting"},
        {"too few for type 0", 0, 2, 2, false, false, "Please add minimum 3 marker pairs (press F1 for help).",
         "Please add minimum 3 marker pairs (press F1 for help)"},
        {"too few for type 3", 3, 3, 3, false, false, "Please add minimum 4 marker pairs (press F1 for help).",
         "Please add minimum 4 marker pairs (press F1 for help)"},
        {"enough for type 2", 2, 2, 2, false, false, nullptr, nullptr},
        {"unpaired", 0, 3, 4, false, false,
         "Markers are NOT paired up! Please provide minimum 3 pairs (press F1 for help).",
         "Please adjust marker locations (press F1 for help)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Manager().CloseProject();
        Manager().NewProject();
        Manager().SetAutomaticMode(false);
        Manager().GetStitchSettings()->focalType = c.focalType;
        AddFrames(2);
        ImageFrame* a = Chain().GetFrame(0);
        ImageFrame* b = Chain().GetFrame(1);
        a->AddNeighbor(b);
        auto set = [](int n) {
            auto* m = new Marker();
            for (int i = 0; i < n; ++i) m->AppendMarker(10.0f * i, 5.0f * i);
            return m;
        };
        a->FindNeighbor(b)->SetMarkers(set(c.c1));
        b->FindNeighbor(a)->SetMarkers(set(c.c2));
        if (c.stitchedBefore) a->FindNeighbor(b)->SetNot1stTimeStitching();
        a->FindNeighbor(b)->SetMakerState(c.changed);
        if (c.box) Prompter().ExpectMessageBox(c.box, IDOK);
        if (c.second) Prompter().ExpectMessageBox(c.second, IDOK);
        m_script.calls = 0;
        const bool stitched = Manager().MarkerStitch(false);
        EXPECT_EQ(stitched, c.second == nullptr);
        EXPECT_EQ(m_script.calls.load(), c.second == nullptr ? 1 : 0);
        EXPECT_EQ(a->FindNeighbor(b)->IsMerged(), c.second == nullptr);
        EXPECT_EQ(Manager().GetPairWindow() != nullptr, c.second != nullptr);
        if (c.second == nullptr) {
            EXPECT_FALSE(a->FindNeighbor(b)->IsMarkerChanged());
        }
        Manager().ClosePairWindow(false);
    }
}

TEST_F(DriverTest, MarkerStitchClosesTheLoopAndRefreshes)
{
    Manager().SetAutomaticMode(false);
    AddFrames(4);
    // Pairs 0-1, 1-2, 2-3 already stitched, the loop switched on.
    for (int i = 0; i < 3; ++i) {
        ImageFrame* f = Chain().GetFrame(i);
        ImageFrame* g = Chain().GetFrame(i + 1);
        f->AddNeighbor(g);
        f->FindNeighbor(g)->SetMerged();
        g->FindNeighbor(f)->SetMerged();
        f->SetMerged();
        g->SetMerged();
    }
    Manager().GetImageTray()->GetHost()->SetLoop(true);
    ASSERT_TRUE(Manager().GetTrayState());
    ImageFrame* first = Chain().GetFrame(0);
    ImageFrame* last = Chain().GetFrame(3);
    first->AddNeighbor(last);
    auto set = [] {
        auto* m = new Marker();
        for (int i = 0; i < 5; ++i) m->AppendMarker(10.0f * i, 7.0f * i);
        return m;
    };
    first->FindNeighbor(last)->SetMarkers(set());
    last->FindNeighbor(first)->SetMarkers(set());
    const size_t before = Manager().GetDeferredCalls().size();
    ASSERT_TRUE(Manager().MarkerStitch(false));
    EXPECT_EQ(m_script.directions.back(), -1);
    std::vector<std::string> calls;
    for (size_t i = before; i < Manager().GetDeferredCalls().size(); ++i)
        calls.push_back(Manager().GetDeferredCalls()[i].name);
    const std::vector<std::string> expected = {"PairToGlobal(5,1,0)", "LevelPanorama(1)", "RemapPanorama(0)"};
    EXPECT_EQ(calls, expected);
}
