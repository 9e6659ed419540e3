// The program itself: under a virtual display its main frame shows what the
// same frame draws headless; without a display it refuses with one line.
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

class RunProgramTest : public AppTest {};

TEST_F(RunProgramTest, WithoutADisplayTheProgramSaysHowToRunIt)
{
    const auto run = testkit::Run("env -u DISPLAY '" + std::string(FENDRAKE_PROGRAM) + "' 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("xvfb-run"), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
}

// Pixels of the screen (R, G, B) at `origin` that differ from the surface
// (B, G, R).
long DifferingPixels(const Image& screen, const Image& surface, POINT origin)
{
    long differing = 0;
    for (int y = 0; y < surface.GetHeight(); ++y) {
        const unsigned char* a = screen.GetData() + static_cast<size_t>(y + origin.y) * screen.GetRowByte() +
                                 static_cast<size_t>(origin.x) * 3;
        const unsigned char* b = surface.GetData() + static_cast<size_t>(y) * surface.GetRowByte();
        for (int x = 0; x < surface.GetWidth(); ++x)
            differing += (a[3 * x] != b[3 * x + 2] || a[3 * x + 1] != b[3 * x + 1] || a[3 * x + 2] != b[3 * x]) ? 1 : 0;
    }
    return differing;
}

TEST_F(RunProgramTest, OnAVirtualDisplayTheMainFrameShowsItsHeadlessSurface)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("import"));

    // The start headless on a screen of the display's size.
    win::SetScreenSize(1024, 768);
    ASSERT_TRUE(Start());
    win::PaintAll();
    Image* surface = win::CaptureWindow(Main().m_hWnd);  // B, G, R
    ASSERT_NE(surface, nullptr);
    POINT origin{0, 0};
    Main().ClientToScreen(&origin);
    const long total = static_cast<long>(surface->GetWidth()) * surface->GetHeight();

    // The program on the display, with per-user folders of its own; the
    // screen is taken every half second until the test has seen its frame
    // (it then leaves the file "done") or 30 seconds have passed.
    const std::string home = Home().file("child");
    const std::string shots = Home().file("shots");
    std::filesystem::create_directories(shots);
    const std::string script = Home().file("run.sh");
    std::ofstream(script) << "export XDG_CONFIG_HOME='" << home << "/config' XDG_DATA_HOME='" << home
                          << "/data' FENDRAKE_APPDATA='" << home << "/appdata'\n"
                          << "'" << FENDRAKE_PROGRAM << "' &\n"
                          << "pid=$!\n"
                          << "cd '" << shots << "'\n"
                          << "i=0\n"
                          << "while [ ! -e done ] && [ $i -lt 60 ]; do\n"
                          << "  sleep 0.5\n"
                          << "  import -window root -depth 8 next.ppm && mv next.ppm shot$i.ppm\n"
                          << "  i=$((i+1))\n"
                          << "done\n"
                          << "kill -0 $pid || { echo 'the program ended early'; exit 3; }\n"
                          << "kill $pid\n"
                          << "wait $pid\n"
                          << "exit 0\n";
    testkit::CommandResult run;
    std::atomic<bool> finished{false};
    std::thread display([&] {
        run = testkit::Run("xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' sh '" + script + "' 2>&1");
        finished = true;
    });
    long best = total;
    int seen = 0;
    for (int i = 0; i < 60 && best >= total / 100; ++i) {
        const std::string shot = shots + "/shot" + std::to_string(i) + ".ppm";
        while (!std::filesystem::exists(shot) && !finished)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Image* screen = testkit::ReadPnm(shot);
        if (!screen) continue;
        ++seen;
        if (screen->GetWidth() == 1024 && origin.x + surface->GetWidth() <= 1024 &&
            origin.y + surface->GetHeight() <= screen->GetHeight())
            best = std::min(best, DifferingPixels(*screen, *surface, origin));
        ReleaseImage(screen);
    }
    std::ofstream(shots + "/done") << "seen";
    RecordProperty("differing_pixels", static_cast<int>(best));
    RecordProperty("frame_pixels", static_cast<int>(total));
    display.join();
    ReleaseImage(surface);
    EXPECT_EQ(run.status, 0) << run.output;
    ASSERT_GT(seen, 0) << "no screen was taken: " << run.output;
    // The frame, its bars, the tray and the status text all match; only a
    // sliver (focus and activation marks) may differ.
    EXPECT_LT(best, total / 100) << best << " of " << total << " pixels differ in the closest of " << seen << " screens";
}

}  // namespace
