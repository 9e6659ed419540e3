// The matcher and blender runs over the shared channel, driven against a
// stand-in child: the command lines as exact texts (and as the argv the child
// receives), the channel size, the reduction handed to Hollet, every result
// code of the wait with the child gone afterwards, the import of the data
// blocks into the links (with the refusals of damaged blocks), and the
// blender's calls around the run.
#include "app/matching/tests/child_run_fixture.h"

#include "imaging/image.h"
#include "platform/utilkit/shm_comm.h"
#include "platform/win/controls.h"
#include "platform/win/win_thread.h"
#include "worldmap/world_map.h"

#include <atomic>
#include <cmath>
#include <signal.h>

namespace {

using matching_test::ChildRunTest;
using matching_test::FaPoints;

std::string Replace(std::string text, const std::string& what, const std::string& with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

TEST(ShmSize, GrowsByOneMaximalBlockPerPair)
{
    struct Case {
        int pairs, maxPairs, bytes;
    } cases[] = {{0, 200, 3108}, {1, 200, 6320}, {24, 200, 80196}, {-3, 200, 3108}};
    for (const Case& c : cases) EXPECT_EQ(GetShmSize(c.pairs, c.maxPairs), c.bytes) << c.pairs;
}

TEST(ShmName, IsNewForEveryChannel)
{
    std::string a, b;
    MakeShmName(a);
    MakeShmName(b);
    EXPECT_TRUE(a.starts_with("QuorvaneShm")) << a;
    EXPECT_GT(a.size(), std::string("QuorvaneShm").size());
    EXPECT_NE(a, b);
}

TEST(Downscale, UndoesTheLoadReductionThenAimsAt240000Samples)
{
    struct Case {
        int width, height;
        uint8_t code;
        int expected;
    } cases[] = {{600, 400, 1, 1}, {640, 480, 3, 2}, {1280, 960, 1, 2}, {200, 100, 1, 1},
                 {1000, 750, 2, 5}, {1600, 1200, 7, 3}};
    for (const Case& c : cases) {
        Image* image = new Image(c.width, c.height, 1);
        EXPECT_EQ(getDownscale(image, c.code), c.expected) << c.width << "x" << c.height << " code " << int(c.code);
        ReleaseImage(image);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(getDownscale(nullptr, 1), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR getDownscale(): img0=NULL\n");
}

class CommandLineTest : public ChildRunTest {};

TEST_F(CommandLineTest, OptionsAsTheMatchersExpectThem)
{
    MakeFrames(2);
    Image* image = new Image(640, 480, 1);
    frames[0]->SetImage(image, false);
    ReleaseImage(image);
    std::unique_ptr<ShmCommServer> server(createShmCommServer(GetShmSize(2, 200)));
    ASSERT_NE(server, nullptr);
    const std::string files = " \"" + std::string(frames[0]->GetName()) + "\" \"" + frames[1]->GetName() + "\"";
    struct Case {
        bool hollet, channel, closed, linear;
        int ransac;
        bool projection;
        const char* expected;
    } cases[] = {
        {true, true, true, true, 0, false,
         "--ptgui --shmname NAME --shmsize SIZE --linearmatch --linearmatchlen -1 --scaledown 2  --ransacdist 0 -o "
         "\"0\"FILES"},
        {true, true, false, true, 8, false,
         "--ptgui --shmname NAME --shmsize SIZE --linearmatch --scaledown 2  --ransacdist 8 -o \"0\"FILES"},
        {true, false, true, true, 0, false,
         "--ptgui --linearmatch --linearmatchlen -1 --scaledown 2  --ransacdist 0 -o \"0\"FILES"},
        {true, true, true, false, 6, false, "--ptgui --shmname NAME --shmsize SIZE --scaledown 2  --ransacdist 6 -o \"0\"FILES"},
        {false, true, false, true, 0, false,
         "--ANNmatch 1 --shmname NAME --shmsize SIZE --ransac 0 --maxdim 600 --maxmatches 200 --absolute-pathnames 1 "
         "\"0\"FILES"},
        {false, true, false, true, 6, true,
         "--ANNmatch 1 --shmname NAME --shmsize SIZE --ransac 1 --ransacdist 6  --maxdim 2000 --projection "
         "10,180.000000 --maxmatches 200 --absolute-pathnames 1 \"0\"FILES"},
        {false, false, false, true, 0, false,
         "--ANNmatch 1 --ransac 0 --maxdim 600 --maxmatches 200 --absolute-pathnames 1 \"0\"FILES"},
    };
    for (const Case& c : cases) {
        std::string line = "start ";
        ShmCommServer* s = c.channel ? server.get() : nullptr;
        if (c.hollet)
            BuildLinearMatchCmdLine("0", frames, 3, c.ransac, c.closed, c.linear, s, server->getSize(), line);
        else
            BuildAnnMatchCmdLine("0", frames, c.ransac, c.projection, 180.0f, s, server->getSize(), line);
        std::string expected = Replace(c.expected, "NAME", server->getName());
        expected = Replace(expected, "SIZE", std::to_string(server->getSize()));
        expected = "start " + Replace(expected, "FILES", files);
        EXPECT_EQ(line, expected);
    }
}

// Runs a matcher on a worker started as the search starts it, pumping the
// user-interface thread meanwhile; `whileRunning` is called on every pump.
struct MatcherRun {
    ShmCommServer* server;
    const std::vector<ImageFrame*>* frames;
    bool sequential;
    bool closed;
    std::atomic<int> result{99};
    std::atomic<bool> done{false};
};

UINT RunWorker(void* p)
{
    auto* run = static_cast<MatcherRun*>(p);
    run->result = runMatchExe_shm(run->server, "0", *run->frames, 1, 0, run->closed, run->sequential, true, false,
                                  180.0f);
    run->done = true;
    return 0;
}

class WaitTest : public ChildRunTest {
protected:
    // The run's result; `cancelWhen` cancels the dialog once the progress
    // text equals it.
    int RunOnWorker(ShmCommServer* server, bool sequential, const std::string& cancelWhen = "")
    {
        MatcherRun run{server, &frames, sequential, false};
        if (!AfxBeginThread(RunWorker, &run)) return 100;
        win::PumpUntil(
            [&] {
                if (!cancelWhen.empty() && ProgressText() == cancelWhen) CancelProgress();
                return run.done.load();
            },
            30000);
        EXPECT_TRUE(win::JoinWorkerThreads(10000));
        return run.result;
    }
    static std::string ProgressText()
    {
        CProgressDlg* dialog = GetProgressDialog();
        return dialog ? dialog->GetDlgItem(CProgressDlg::kTextId)->GetWindowText() : std::string();
    }
    static int BarPosition() { return GetProgressDialog()->GetBar()->GetPos(); }
    pid_t ChildPid() const
    {
        std::ifstream in(Home().file("pid"));
        pid_t pid = 0;
        in >> pid;
        return pid;
    }
    // A child that is reaped is gone from the process table: even a zombie
    // would still answer signal 0.
    static bool Gone(pid_t pid) { return pid > 0 && ::kill(pid, 0) == -1 && errno == ESRCH; }
};

TEST_F(WaitTest, FinishedChildHandsOverItsBlocksAndTexts)
{
    MakeFrames(3);
    Script("text Matching images 0 & 1\nblock 0 1 3\ntext Matching images 1 & 2\nblock 1 2 2\nfinish\n");
    std::unique_ptr<ShmCommServer> server(createShmCommServer(GetShmSize(3, 200)));
    ASSERT_NE(server, nullptr);
    ASSERT_TRUE(OpenProgressDialog(0, 10, true));
    const int before = BarPosition();
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunOnWorker(server.get(), true), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("  got msg=Matching images 0 & 1\n  got msg=Matching images 1 & 2\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("  client finished\n"), std::string::npos) << out;
    EXPECT_EQ(ProgressText(), "Matching images 1 & 2");
    EXPECT_EQ(BarPosition(), before + 2);

    // The child saw the program name first and every file name whole.
    const std::vector<std::string> args = ChildArgs();
    ASSERT_GE(args.size(), 4u);
    EXPECT_EQ(args[0], "Hollet.exe");
    EXPECT_EQ(args[args.size() - 3], frames[0]->GetName());
    EXPECT_EQ(args[args.size() - 1], frames[2]->GetName());
    EXPECT_TRUE(Gone(ChildPid()));

    testing::internal::CaptureStdout();
    EXPECT_EQ(testShmCommServer(server.get(), frames), 0);
    const std::string imported = testing::internal::GetCapturedStdout();
    EXPECT_NE(imported.find("  testShmCommServer: got one block: imageIndex0=0 imageIndex1=1 numMarkerPairs=3\n"),
              std::string::npos)
        << imported;
    EXPECT_EQ(FaPoints(frames[0], frames[1]).size(), 3u);
    EXPECT_EQ(FaPoints(frames[2], frames[1]).size(), 2u);
}

TEST_F(WaitTest, EveryWayAChildCanEnd)
{
    MakeFrames(2);
    struct Case {
        const char* script;
        bool removeProgram;
        int passLimit;
        int expected;
        const char* printed;
    } cases[] = {
        {"block 0 1 2\ncrash\n", false, 3600, -2, "extractFMarkers::runMatchExe_shm: client crashed???\n"},
        // 300 passes of 10 ms: time enough for a slow (sanitized, loaded)
        // child to start and write its pid before it is ended.
        {"sleep\n", false, 300, -3, "TerminateProcess: status=1\n"},
        {"linger\n", false, 3600, 0, "  client finished\n"},
        {"finish\n", true, 3600, -1, "ERROR extractFMarkers::runMatchExe_shm: cannot start"},
    };
    g_childWaitTiming.exitGraceMs = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::filesystem::remove(Home().file("pid"));
        Script(c.script);
        if (c.removeProgram) std::filesystem::remove(ProgramDir() + "/Hollet");
        g_childWaitTiming.passLimit = c.passLimit;
        std::unique_ptr<ShmCommServer> server(createShmCommServer(GetShmSize(1, 200)));
        testing::internal::CaptureStdout();
        EXPECT_EQ(RunOnWorker(server.get(), true), c.expected);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(c.printed), std::string::npos) << out;
        if (!c.removeProgram) {
            EXPECT_TRUE(Gone(ChildPid())) << "the child outlived its run";
        }
    }
}

TEST_F(WaitTest, CancelEndsASleepingChild)
{
    MakeFrames(4);
    Script("text waiting\nsleep\n");
    std::unique_ptr<ShmCommServer> server(createShmCommServer(GetShmSize(6, 200)));
    ASSERT_TRUE(OpenProgressDialog(0, 10, true));
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunOnWorker(server.get(), false, "waiting"), -3);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("TerminateProcess: status=1\n"), std::string::npos) << out;
    EXPECT_EQ(ChildArgs().at(0), "Nerrow.exe");
    EXPECT_TRUE(Gone(ChildPid()));
}

// One scripted run and its import into three frames; returns the output.
class ImportTest : public WaitTest {
protected:
    std::string RunAndImport(const std::string& script)
    {
        Script(script + "finish\n");
        std::unique_ptr<ShmCommServer> server(createShmCommServer(GetShmSize(4, 200)));
        EXPECT_NE(server, nullptr);
        if (!server) return {};
        EXPECT_EQ(RunOnWorker(server.get(), true), 0);
        testing::internal::CaptureStdout();
        testShmCommServer(server.get(), frames);
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(ImportTest, BlocksBecomeFaSetsPointForPoint)
{
    MakeFrames(3);
    // An earlier set on the pair is replaced even by an empty block.
    frames[0]->AddNeighbor(frames[1]);
    auto old = std::make_unique<Marker>();
    old->AppendMarker(1, 1);
    frames[0]->FindNeighbor(frames[1])->SetMarkerFa(old.release());

    RunAndImport("block 0 1 0\nblock 2 1 4\nblock 2 1 2\n");
    bool hasSet = false;
    EXPECT_TRUE(FaPoints(frames[0], frames[1], &hasSet).empty());
    EXPECT_TRUE(hasSet);
    EXPECT_TRUE(FaPoints(frames[1], frames[0], &hasSet).empty());
    EXPECT_TRUE(hasSet);
    // Frames 2 and 1 had no link: both directions were made; the later block
    // of the pair won; point k of one set pairs with point k of the other.
    const std::vector<POINT2> mine = FaPoints(frames[2], frames[1]);
    const std::vector<POINT2> theirs = FaPoints(frames[1], frames[2]);
    ASSERT_EQ(mine.size(), 2u);
    ASSERT_EQ(theirs.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(mine[k].x, 200.0f + k);
        EXPECT_EQ(mine[k].y, 200.5f + k);
        EXPECT_EQ(theirs[k].x, 100.0f + k);
        EXPECT_EQ(theirs[k].y, 100.25f + k);
    }
    EXPECT_EQ(frames[0]->FindNeighbor(frames[2]), nullptr);
}

TEST_F(ImportTest, DamagedBlocksAreRefusedWithALine)
{
    MakeFrames(3);
    struct Case {
        const char* script;
        const char* error;
    } cases[] = {
        {"block 0 5 2\n", "ERROR extractFMarkers::testShmCommServer: image index outside the list (0, 5 of 3)"},
        {"block -1 0 2\n", "ERROR extractFMarkers::testShmCommServer: image index outside the list (-1, 0 of 3)"},
        {"block 1 1 2\n", "ERROR extractFMarkers::testShmCommServer: block pairs image 1 with itself"},
        {"block 0 1 201\n", "ERROR extractFMarkers::testShmCommServer: 201 marker pairs for images 0 & 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const std::string out = RunAndImport(c.script);
        EXPECT_NE(out.find(c.error), std::string::npos) << out;
        for (ImageFrame* f : frames) EXPECT_EQ(f->GetNeighbor()->m_count, 0) << "a refused block made a link";
    }
    // A pair with a coordinate that is not a number leaves both sets.
    const std::string out = RunAndImport("nanblock 0 1 3\n");
    EXPECT_NE(out.find("ERROR extractFMarkers::testShmCommServer: 1 marker pairs of images 0 & 1 with a non-finite"),
              std::string::npos)
        << out;
    const std::vector<POINT2> mine = FaPoints(frames[0], frames[1]);
    const std::vector<POINT2> theirs = FaPoints(frames[1], frames[0]);
    ASSERT_EQ(mine.size(), 2u);
    ASSERT_EQ(theirs.size(), 2u);
    EXPECT_EQ(mine[1].x, 2.0f);
    EXPECT_EQ(theirs[1].x, 102.0f);
}

// The blender's three calls, recorded.
struct Recorded {
    std::vector<std::string> calls;
    WorldMap* copyMap = reinterpret_cast<WorldMap*>(1);
    std::string prms;
};
Recorded g_recorded;

class BlenderRunTest : public ChildRunTest {
protected:
    void SetUp() override
    {
        ChildRunTest::SetUp();
        g_recorded = {};
        saved = g_blenderCalls;
        g_blenderCalls.getExeFile = [] {
            g_recorded.calls.push_back("exe");
            return LogBase::GetAppDir0() + "\\Swelder.exe";
        };
        g_blenderCalls.getPrms = [](int count, bool loop, const std::string& out, const std::vector<std::string>&,
                                    const std::string& shmName, int shmSize) {
            g_recorded.calls.push_back("prms");
            g_recorded.prms = std::to_string(count) + (loop ? " loop " : " open ") + out;
            return "--shmname " + shmName + " --shmsize " + std::to_string(shmSize) + " -o \"" + out + "\"";
        };
        g_blenderCalls.copyWmDelTempFiles = [](int, WorldMap* map, const std::string&, const std::vector<std::string>&) {
            g_recorded.calls.push_back("copy");
            g_recorded.copyMap = map;
        };
    }
    void TearDown() override
    {
        g_blenderCalls = saved;
        ChildRunTest::TearDown();
    }
    BlenderCalls saved{};
};

TEST_F(BlenderRunTest, FinishedBlendIsCopiedAFailedOneLeavesTheMap)
{
    WorldMap map;
    std::string out = "blend.tif";
    std::vector<std::string> chips = {"a.tif", "b.tif"};
    Script("finish\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunBlenderProcess(2, true, &map, out, chips), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_recorded.calls, (std::vector<std::string>{"exe", "prms", "copy"}));
    EXPECT_EQ(g_recorded.copyMap, &map);
    EXPECT_EQ(g_recorded.prms, "2 loop blend.tif");
    EXPECT_EQ(ChildArgs().at(0), "Swelder.exe");

    g_recorded = {};
    const uint32_t flags = map.GetFlags();
    Script("crash\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunBlenderProcess(2, false, &map, out, chips), -2);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("runEnblend_shm::runMatchExe_shm: client crashed???\n"), std::string::npos) << printed;
    EXPECT_EQ(g_recorded.calls, (std::vector<std::string>{"exe", "prms", "copy"}));
    EXPECT_EQ(g_recorded.copyMap, nullptr);
    EXPECT_EQ(map.GetFlags(), flags) << "a failed blend must not mark the map covered";
}

}  // namespace
