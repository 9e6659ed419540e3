// The container host: its command line, the control made from the registry
// by its ProgID, a real panorama loaded progressively over HTTP from a
// server on 127.0.0.1 and drawn exactly as the view engine renders it, and
// the host program on a virtual display showing what the headless host
// shows.
#include "viewer/lumivex/tests/lumivex_ctrl_support.h"

#include "platform/win/registry_file.h"
#include "testkit/local_http_server.h"
#include "viewer/engine/tests/engine_test_support.h"
#include "viewer/lumivex/host/lumivex_host.h"

#include <filesystem>

namespace {

using enginetest::ImagePtr;

class LumivexHostTest : public LumivexCtrlTest {
protected:
    void TearDown() override
    {
        if (m_hostWnd) {
            if (auto* c = dynamic_cast<CLumivexCtrl*>(m_hostWnd->Control())) c->worker->Stop();
            m_hostWnd.reset();
        }
        LumivexCtrlTest::TearDown();
    }

    std::string RealPanorama()
    {
        const std::string source = testkit::TestData("pannellum/examplepano.jpg").string();
        return ctrltest::WithDescriptor(source, m_dir.file("pano.jpg"), 4096, 0, 0);
    }

    std::unique_ptr<CLumivexHostWnd> m_hostWnd;
};

TEST_F(LumivexHostTest, CommandLineTable)
{
    const struct {
        std::vector<std::string> args;
        bool ok;
        std::string file;
        int speed, mode, w, h;
    } rows[] = {
        {{"a.jpg"}, true, "a.jpg", 0, 0, 600, 400},
        {{"-s", "5", "-m", "p", "http://127.0.0.1:8/x.jpg"}, true, "http://127.0.0.1:8/x.jpg", 5, 1, 600, 400},
        {{"-w", "320", "-h", "240", "-s", "-7", "b.JPG"}, true, "b.JPG", -7, 0, 320, 240},
        {{}, false, "", 0, 0, 600, 400},
        {{"-s"}, false, "", 0, 0, 600, 400},
        {{"-s", "fast", "a.jpg"}, false, "", 0, 0, 600, 400},
        {{"-m", "x", "a.jpg"}, false, "", 0, 0, 600, 400},
        {{"-s", "40000", "a.jpg"}, false, "", 0, 0, 600, 400},
        {{"a.jpg", "b.jpg"}, false, "a.jpg", 0, 0, 600, 400},
    };
    for (const auto& r : rows) {
        LumivexHostOptions o;
        std::string error;
        EXPECT_EQ(ParseLumivexHostArgs(r.args, o, error), r.ok) << error;
        EXPECT_EQ(error.empty(), r.ok);
        if (!r.ok) continue;
        EXPECT_EQ(o.fileName, r.file);
        EXPECT_EQ(o.speed, r.speed);
        EXPECT_EQ(o.viewMode, r.mode);
        EXPECT_EQ(o.width, r.w);
        EXPECT_EQ(o.height, r.h);
    }
}

TEST_F(LumivexHostTest, TheHostRegistersAndCreatesTheControlByItsProgId)
{
    EXPECT_TRUE(win::RegistryFile::Entries("LUMIVEX.").empty());
    LumivexHostOptions o;
    o.fileName = ctrltest::MakeJpeg(m_dir, "plain.jpg", 320, 200);
    o.speed = 3;
    o.width = 400;
    o.height = 300;
    m_hostWnd = std::make_unique<CLumivexHostWnd>();
    ASSERT_TRUE(m_hostWnd->Open(o));
    EXPECT_FALSE(win::RegistryFile::Entries("LUMIVEX.LumivexCtrl.1").empty());
    auto* c = dynamic_cast<CLumivexCtrl*>(m_hostWnd->Control());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->fileName, o.fileName);
    EXPECT_EQ(c->speed, 3);
    win::PaintAll();
    EXPECT_TRUE(c->loaded);
    EXPECT_TRUE(c->timerRunning);
    // The control follows the host's size.
    m_hostWnd->MoveWindow(0, 0, 700, 500);
    CRect host, ctrl;
    m_hostWnd->GetClientRect(&host);
    c->GetClientRect(&ctrl);
    EXPECT_EQ(ctrl.Width(), host.Width());
    EXPECT_EQ(ctrl.Height(), host.Height());
    EXPECT_EQ(c->windowW, host.Width());
}

TEST_F(LumivexHostTest, AProgressivePanoramaOverHttpEndsAsTheViewEngineFrame)
{
    win::Clock::UseManual(false);
    const std::string pano = RealPanorama();
    const ctrltest::Bytes bytes = ctrltest::ReadBytes(pano);
    ASSERT_GT(bytes.size(), 100000u);
    testhttp::LocalServer server([&](const testhttp::Request&) {
        testhttp::Reply r;
        r.body.assign(bytes.begin(), bytes.end());
        r.framing = testhttp::Reply::kChunked;
        r.pieceSize = 64 * 1024;
        r.pauseMs = 2;
        return r;
    });
    ASSERT_TRUE(server.Ok());
    LumivexHostOptions o;
    o.fileName = server.Url("/pano.jpg");
    o.viewMode = 1;
    o.width = 640;
    o.height = 400;
    m_hostWnd = std::make_unique<CLumivexHostWnd>();
    ASSERT_TRUE(m_hostWnd->Open(o));
    auto* c = dynamic_cast<CLumivexCtrl*>(m_hostWnd->Control());
    ASSERT_NE(c, nullptr);
    win::PaintAll();
    ASSERT_TRUE(c->loaded);
    ASSERT_NE(c->worldMap, nullptr);
    // The worker's messages come in while it decodes (or wait in the queue
    // when it was quicker); the bar shows between them.
    bool barSeen = false;
    auto watch = [&] {
        barSeen = barSeen || c->progress > 0;
        return false;
    };
    for (int i = 0; i < 15000 && c->worker->Running(); ++i) win::PumpUntil(watch, 20);
    ASSERT_FALSE(c->worker->Running());
    win::PumpUntil(watch, 200);
    win::PumpPendingMessages();
    win::PaintAll();
    EXPECT_TRUE(barSeen);
    EXPECT_EQ(c->progress, 0);
    EXPECT_EQ(server.Requests().size(), 1u);

    // The reference: the same file decoded from disk and rendered by the view
    // engine at the same angles, field of view and size.
    Image* image = nullptr;
    WorldMapBase* raw = nullptr;
    DecodeWorker worker;
    ASSERT_EQ(LoadPanorama(pano, &image, &raw, true, nullptr, nullptr, &worker), kLoadPanorama);
    worker.Wait();
    enginetest::MapPtr map(raw);
    if (image) ReleaseImage(image);
    ImagePtr expected(new Image());
    ASSERT_EQ(expected->BmpInit(c->srcW, c->srcH, 3), 0);
    CViewParams params;
    int x0, y0, x1, y1, w, h;
    map->GetDataArea(x0, y0, x1, y1, w, h);
    params.SetLimitsFromMap(x0, x1, y0, y1 - 1, map->GetWidth());
    params.SetFov(c->fov, static_cast<float>(c->srcH) / c->srcW);
    CViewFaceList faces;
    ASSERT_TRUE(faces.Init(map.get(), c->zoom, expected.get()));
    faces.Render(&params, c->fov, params.GetRoll(), true, false, true);

    const ImagePtr shot(win::CaptureWindow(c->m_hWnd));  // B, G, R
    ASSERT_TRUE(shot);
    long differing = 0;
    for (int y = 0; y < c->srcH; ++y) {
        const uint8_t* a = shot->GetData() + static_cast<size_t>(y + c->destY) * shot->GetRowByte() + 3 * c->destX;
        const uint8_t* b = expected->GetData() + static_cast<size_t>(y) * expected->GetRowByte();
        for (int x = 0; x < 3 * c->srcW; ++x) differing += a[x] != b[x];
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(LumivexHostTest, WithoutADisplayTheProgramGivesTheXvfbHint)
{
    const auto run = testkit::Run("env -u DISPLAY '" LUMIVEX_HOST_PROGRAM "' '" + m_dir.file("x.jpg") + "' 2>&1");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("xvfb-run"), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    const auto usage = testkit::Run("'" LUMIVEX_HOST_PROGRAM "' 2>&1");
    EXPECT_EQ(usage.status, 1);
}

TEST_F(LumivexHostTest, OnXvfbTheHostShowsWhatTheHeadlessHostShows)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    ASSERT_TRUE(testkit::RequireTool("xwininfo"));
    const std::string pano = ctrltest::MakeJpeg(m_dir, "shown.jpg", 1024, 513, 1024, 0, 0);
    LumivexHostOptions o;
    o.fileName = pano;
    o.viewMode = 1;
    o.width = 500;
    o.height = 340;
    m_hostWnd = std::make_unique<CLumivexHostWnd>();
    ASSERT_TRUE(m_hostWnd->Open(o));
    win::PaintAll();
    auto* c = dynamic_cast<CLumivexCtrl*>(m_hostWnd->Control());
    ASSERT_TRUE(c && c->loaded);
    const ImagePtr headless(win::CaptureWindow(m_hostWnd->m_hWnd));  // B, G, R
    ASSERT_TRUE(headless);
    POINT origin{0, 0};
    m_hostWnd->ClientToScreen(&origin);

    const std::string shots = m_dir.file("shots");
    std::filesystem::create_directories(shots);
    const std::string script = m_dir.file("run.sh");
    std::ofstream(script) << "export XDG_CONFIG_HOME='" << m_dir.file("config") << "' XDG_DATA_HOME='"
                          << m_dir.file("data") << "'\n"
                          << "'" << LUMIVEX_HOST_PROGRAM << "' -m p -w 500 -h 340 '" << pano << "' &\n"
                          << "pid=$!\n"
                          << "i=0\n"
                          << "until xwininfo -root -tree | grep -q 'shown.jpg'; do\n"
                          << "  sleep 0.2; i=$((i+1)); [ $i -lt 300 ] || { echo 'no window'; kill $pid; exit 3; }\n"
                          << "done\n"
                          << "for i in 1 2 3 4 5; do sleep 0.8; import -window root -depth 8 '" << shots
                          << "'/shot$i.ppm; done\n"
                          << "kill -0 $pid || { echo 'the program ended early'; exit 4; }\n"
                          << "kill $pid\n"
                          << "wait $pid\n"
                          << "exit 0\n";
    const auto run = testkit::RunOnXvfb("1280x1024x24", script);
    ASSERT_EQ(run.status, 0) << run.output;
    const testkit::ScreenComparison shown = testkit::CompareScreenshots(*headless, origin.x, origin.y, shots, 5);
    ASSERT_GT(shown.seen, 0) << run.output;
    ASSERT_TRUE(shown.fits) << "a screenshot is smaller than the window placed on it";
    EXPECT_EQ(shown.differing, 0) << shown.differing << " of " << headless->GetWidth() * headless->GetHeight()
                                  << " pixels differ";
}

}  // namespace

namespace {

// The decoding worker still writes into the map when a new FileName comes
// or the control goes: the worker is stopped first (run under ASan).
TEST_F(LumivexHostTest, ANewFileNameOrTheControlsEndStopsTheRunningDecode)
{
    win::Clock::UseManual(false);
    const ctrltest::Bytes bytes = ctrltest::ReadBytes(RealPanorama());
    testhttp::LocalServer server([&](const testhttp::Request&) {
        testhttp::Reply r;
        r.body.assign(bytes.begin(), bytes.end());
        r.framing = testhttp::Reply::kChunked;
        r.pieceSize = 16 * 1024;
        r.pauseMs = 15;
        return r;
    });
    ASSERT_TRUE(server.Ok());
    const std::string plain = ctrltest::MakeJpeg(m_dir, "plain.jpg", 320, 200);
    for (bool replace : {true, false}) {
        SCOPED_TRACE(replace ? "replaced" : "destroyed");
        CLumivexCtrl& c = Make(400, 300);
        c.SetProperty("FileName", server.Url("/pano.jpg"));
        ASSERT_TRUE(c.loaded);
        ASSERT_NE(c.worldMap, nullptr);
        ASSERT_TRUE(c.worker->Running());
        win::PumpUntil([] { return false; }, 100);  // some passes land
        if (replace) {
            c.SetProperty("FileName", plain);
            EXPECT_EQ(c.worldMap, nullptr);
            EXPECT_TRUE(c.plainImage);
            EXPECT_FALSE(c.worker->Running());
            win::PumpUntil([] { return false; }, 100);  // late messages of the old decode
        }
        m_ctrl.reset();
        m_host.DestroyWindow();
    }
}

}  // namespace
