// The program itself: under a virtual display its main frame shows what the
// same frame draws headless; without a display it refuses with one line.
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"

#include <algorithm>
#include <fstream>

namespace {

class RunProgramTest : public AppTest {};

TEST_F(RunProgramTest, WithoutADisplayTheProgramSaysHowToRunIt)
{
    const auto run = testkit::Run("env -u DISPLAY '" + std::string(FENDRAKE_PROGRAM) + "' 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("xvfb-run"), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
}

TEST_F(RunProgramTest, OnAVirtualDisplayTheMainFrameShowsItsHeadlessSurface)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    ASSERT_TRUE(testkit::RequireTool("xwininfo"));
    const std::string shot = Home().file("root.ppm");
    const std::string home = Home().file("child");
    // The program with per-user folders of its own; the screen is taken once
    // its main window is mapped and has had a moment to paint.
    const std::string script = Home().file("run.sh");
    std::ofstream(script) << "export XDG_CONFIG_HOME='" << home << "/config' XDG_DATA_HOME='" << home
                          << "/data' FENDRAKE_APPDATA='" << home << "/appdata'\n"
                          << "'" << FENDRAKE_PROGRAM << "' &\n"
                          << "pid=$!\n"
                          << "for i in $(seq 100); do\n"
                          << "  xwininfo -root -tree 2>/dev/null | grep -q 'Quorvane Fendrake' && break\n"
                          << "  sleep 0.1\n"
                          << "done\n"
                          << "sleep 1.5\n"
                          << "import -window root -depth 8 '" << shot << "'\n"
                          << "status=$?\n"
                          << "kill $pid\n"
                          << "wait $pid\n"
                          << "exit $status\n";
    const auto run = testkit::Run("xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' sh '" + script + "' 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    Image* screen = testkit::ReadPnm(shot);  // R, G, B
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(screen->GetWidth(), 1024);

    // The same start headless on a screen of the same size.
    win::SetScreenSize(1024, 768);
    ASSERT_TRUE(Start());
    win::PaintAll();
    Image* surface = win::CaptureWindow(Main().m_hWnd);  // B, G, R
    ASSERT_NE(surface, nullptr);
    POINT origin{0, 0};
    Main().ClientToScreen(&origin);
    ASSERT_LE(origin.x + surface->GetWidth(), screen->GetWidth());
    ASSERT_LE(origin.y + surface->GetHeight(), screen->GetHeight());
    long differing = 0;
    for (int y = 0; y < surface->GetHeight(); ++y) {
        const unsigned char* a = screen->GetData() + static_cast<size_t>(y + origin.y) * screen->GetRowByte() +
                                 static_cast<size_t>(origin.x) * 3;
        const unsigned char* b = surface->GetData() + static_cast<size_t>(y) * surface->GetRowByte();
        for (int x = 0; x < surface->GetWidth(); ++x)
            differing += (a[3 * x] != b[3 * x + 2] || a[3 * x + 1] != b[3 * x + 1] || a[3 * x + 2] != b[3 * x]) ? 1 : 0;
    }
    const long total = static_cast<long>(surface->GetWidth()) * surface->GetHeight();
    // The frame, its bars, the tray and the status text all match; only a
    // sliver (focus and activation marks) may differ.
    EXPECT_LT(differing, total / 100) << differing << " of " << total << " pixels differ";
    ReleaseImage(screen);
    ReleaseImage(surface);
}

}  // namespace
