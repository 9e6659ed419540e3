// The program on a virtual display: started with the real panorama in
// perspective mode and zoomed by a pointer drag from xdotool, its view shows
// on the screen what the headless view shows after the same input.
#include "viewer/vistrel/tests/vistrel_test_support.h"

#include "platform/win/window_dc.h"
#include "viewer/engine/tests/engine_test_support.h"

#include <filesystem>

namespace {

using enginetest::ImagePtr;

class VistrelDisplayTest : public VistrelTest {};

TEST_F(VistrelDisplayTest, ZoomDragOnXvfbMatchesTheHeadlessView)
{
    ASSERT_TRUE(testkit::RequireTool("xvfb-run"));
    ASSERT_TRUE(testkit::RequireTool("xdotool"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    ASSERT_TRUE(testkit::RequireTool("xwininfo"));
    testkit::TempDir dir;
    const std::string pano =
        vistreltest::WithDescriptor(vistreltest::RealPanorama(), dir.file("pano.jpg"), "kqvz", 4096, 0, 0);

    // Headless, on a screen of the display's size, with the same input.
    win::SetScreenSize(1280, 1024);
    ASSERT_TRUE(Start({pano, "-m", "p"}));
    CVistrelView& v = *View();
    const int cx = v.destX + v.destW / 2, cy = v.destY + v.destH / 2;
    v.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKEPOINTLPARAM(cx, cy));
    v.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKEPOINTLPARAM(cx + 100, cy));
    v.SendMessage(WM_LBUTTONUP, 0, MAKEPOINTLPARAM(cx + 100, cy));
    ASSERT_FLOAT_EQ(v.zoom, 1.5f);
    win::PaintAll();
    const ImagePtr headless(win::CaptureWindow(v.m_hWnd));  // B, G, R
    ASSERT_TRUE(headless);
    POINT origin{0, 0};
    v.ClientToScreen(&origin);

    const std::string shots = dir.file("shots");
    std::filesystem::create_directories(shots);
    const std::string script = dir.file("run.sh");
    std::ofstream(script) << "export XDG_CONFIG_HOME='" << dir.file("config") << "' XDG_DATA_HOME='"
                          << dir.file("data") << "'\n"
                          << "'" << VISTREL_PROGRAM << "' '" << pano << "' -m p &\n"
                          << "pid=$!\n"
                          << "i=0\n"
                          << "until xwininfo -root -tree | grep -q 'pano.jpg'; do\n"
                          << "  sleep 0.2; i=$((i+1)); [ $i -lt 300 ] || { echo 'no window'; kill $pid; exit 3; }\n"
                          << "done\n"
                          << "sleep 2\n"
                          << "X=" << origin.x + cx << " Y=" << origin.y + cy << "\n"
                          << "xdotool mousemove $X $Y sleep 0.3 mousedown 1 sleep 0.3 mousemove $((X+50)) $Y "
                             "sleep 0.3 mousemove $((X+100)) $Y sleep 0.3 mouseup 1\n"
                          // A loaded machine may draw late: several screens, the closest counts.
                          << "for i in 1 2 3 4 5 6; do sleep 0.8; import -window root -depth 8 '" << shots
                          << "'/shot$i.ppm; done\n"
                          << "kill -0 $pid || { echo 'the program ended early'; exit 4; }\n"
                          << "kill $pid\n"
                          << "wait $pid\n"
                          << "exit 0\n";
    const auto run = testkit::RunOnXvfb("1280x1024x24", script);
    ASSERT_EQ(run.status, 0) << run.output;
    const testkit::ScreenComparison shown = testkit::CompareScreenshots(*headless, origin.x, origin.y, shots, 6);
    ASSERT_GT(shown.seen, 0) << run.output;
    ASSERT_TRUE(shown.fits) << "a screenshot is smaller than the window placed on it";
    RecordProperty("differing_pixels", static_cast<int>(shown.differing));
    EXPECT_EQ(shown.differing, 0) << shown.differing << " of " << headless->GetWidth() * headless->GetHeight()
                                  << " pixels differ";
}

}  // namespace
