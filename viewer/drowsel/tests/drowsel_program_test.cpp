// The program itself: without a display it says so in one line (and the
// switches that need no window still work); on a virtual display (Xvfb) the
// full-screen saver shows the panorama where it belongs, scrolls it, and
// ends on a key sent by xdotool; the preview lives inside a window of
// another client and ends with it.
#include "viewer/drowsel/picture_loader.h"
#include "tests/drowsel_test_support.h"

#include <X11/Xlib.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using namespace drowseltest;

const std::string kProgram = DROWSEL_PROGRAM;

// An Xvfb server of the test's own, on a display number it picks itself.
class VirtualDisplay {
public:
    bool Start(const std::string& numberFile, const char* screen)
    {
        const auto started = testkit::Run(std::string("Xvfb -displayfd 3 -noreset -screen 0 ") + screen +
                                          " -nolisten tcp 3>'" + numberFile + "' >/dev/null 2>&1 & echo $!");
        if (started.status != 0) return false;
        m_pid = std::stoi(started.output);
        for (int i = 0; i < 200; ++i) {
            std::ifstream in(numberFile);
            std::string number;
            if (std::getline(in, number) && !in.eof() && !number.empty()) {
                m_name = ":" + number;
                if (Display* d = XOpenDisplay(m_name.c_str())) {
                    XCloseDisplay(d);
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    ~VirtualDisplay()
    {
        if (m_pid > 0) testkit::Run("kill " + std::to_string(m_pid));
    }
    const std::string& Name() const { return m_name; }

private:
    int m_pid = 0;
    std::string m_name;
};

class DrowselProgramTest : public SaverTest {
protected:
    // The environment of the program: its own profile and temporary folder.
    std::string Env(const std::string& display)
    {
        return "env DISPLAY=" + display + " XDG_CONFIG_HOME='" + home.file("config") + "' TMPDIR='" +
               tmp.path().string() + "' ";
    }
    std::string Panorama()
    {
        return CutPicture(pictures, "pano", "pannellum/examplepano.jpg", "2048x1024!", Descriptor(2048, 0, 0));
    }
    // Waits up to `seconds` for the background program (its status file).
    int WaitForStatus(const std::string& statusFile, int seconds)
    {
        for (int i = 0; i < seconds * 20; ++i) {
            std::ifstream in(statusFile);
            int status = -1;
            if (in >> status) return status;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1000;
    }
};

TEST_F(DrowselProgramTest, WithoutADisplay)
{
    const auto full = testkit::Run("env -u DISPLAY '" + kProgram + "' s 2>&1");
    EXPECT_EQ(full.status, 2) << full.output;
    EXPECT_NE(full.output.find("no X display"), std::string::npos) << full.output;
    EXPECT_EQ(std::count(full.output.begin(), full.output.end(), '\n'), 1) << full.output;
    const auto other = testkit::Run("env -u DISPLAY '" + kProgram + "' /x 2>&1");
    EXPECT_EQ(other.status, 0) << other.output;
    EXPECT_EQ(other.output, "");
    const auto preview = testkit::Run("env -u DISPLAY '" + kProgram + "' -p 2>&1");
    EXPECT_EQ(preview.status, 1) << preview.output;
    EXPECT_NE(preview.output.find("ERROR"), std::string::npos) << preview.output;
}

// The column of the display image shown at the screen's left edge: the
// scroll position whose columns match the screen row exactly; -1 if none.
int ShownScroll(const Image& screen, const Image& picture, int offsetY)
{
    const int w = picture.GetWidth();
    for (int s = 0; s < w; ++s) {
        bool same = true;
        for (int y = 5; y < picture.GetHeight() && same; y += 37) {
            const unsigned char* row = screen.GetData() + size_t(offsetY + y) * screen.GetRowByte();
            const unsigned char* pic = picture.GetData() + size_t(y) * picture.GetRowByte();
            for (int x = 0; x < screen.GetWidth() && same; x += 13) {
                const unsigned char* a = row + size_t(x) * 3;  // R, G, B
                const unsigned char* b = pic + size_t((s + x) % w) * 3;  // B, G, R
                same = a[0] == b[2] && a[1] == b[1] && a[2] == b[0];
            }
        }
        if (same) return s;
    }
    return -1;
}

TEST_F(DrowselProgramTest, FullScreenOnAVirtualDisplay)
{
    ASSERT_TRUE(testkit::RequireTool("Xvfb"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    ASSERT_TRUE(testkit::RequireTool("xdotool"));
    VirtualDisplay display;
    ASSERT_TRUE(display.Start(home.file("display"), "800x600x24")) << "Xvfb did not start";
    const std::string pano = Panorama();
    SetConfig("ImageName", pano);
    SetConfig("Speed", "-20");  // 20 pixels a second, the picture moving left
    SetConfig("FieldOfView", "70");
    // The display image the program must show: 600 x 70 % = 420 rows.
    drowsel::DisplayPicture expected;
    ASSERT_TRUE(drowsel::LoadDisplayPicture(pano, 800, 600, 70, false, expected));
    ASSERT_EQ(expected.picture->GetHeight(), 420);
    ASSERT_EQ(expected.plan.offsetY, 90);

    const std::string status = home.file("status");
    testkit::Run(Env(display.Name()) + "sh -c \"'" + kProgram + "' s >'" + home.file("out") + "' 2>&1; echo \\$? >'" +
                 status + "'\" >/dev/null 2>&1 &");
    auto shoot = [&](const std::string& name) {
        const std::string ppm = home.file(name);
        EXPECT_EQ(testkit::Run("import -display " + display.Name() + " -window root -depth 8 '" + ppm + "'").status, 0);
        return ImagePtr(testkit::ReadPnm(ppm));
    };
    // The first screen with the panorama in place; a sanitized build on a
    // busy machine may take several seconds to get there.
    ImagePtr first;
    auto t1 = std::chrono::steady_clock::now();
    for (int attempt = 0; attempt < 60; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        t1 = std::chrono::steady_clock::now();
        first = shoot("first.ppm");
        if (first && first->GetWidth() == 800 && ShownScroll(*first, *expected.picture, 90) >= 0) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto t2 = std::chrono::steady_clock::now();
    ImagePtr second = shoot("second.ppm");
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->GetWidth(), 800);

    // Black above the picture, the picture at 90 .. 509, the caption below.
    auto rgb = [](const Image& im, int x, int y) { return im.GetData() + size_t(y) * im.GetRowByte() + size_t(x) * 3; };
    EXPECT_EQ(std::memcmp(rgb(*first, 400, 40), "\0\0\0", 3), 0);
    const int s1 = ShownScroll(*first, *expected.picture, 90);
    const int s2 = ShownScroll(*second, *expected.picture, 90);
    ASSERT_GE(s1, 0) << "the first screen does not show the panorama at row 90";
    ASSERT_GE(s2, 0) << "the second screen does not show the panorama at row 90";
    int caption = 0;
    for (int y = 515; y < 545; ++y)
        for (int x = 0; x < 800; ++x) {
            const unsigned char* p = rgb(*first, x, y);
            if (p[0] == 255 && p[1] == 255 && p[2] == 128) ++caption;
        }
    EXPECT_GT(caption, 20) << "no caption in 255, 255, 128 below the picture";
    // Moving left at 20 pixels a second: the shown column grows.
    const double seconds = std::chrono::duration<double>(t2 - t1).count();
    const int moved = ((s2 - s1) % 840 + 840) % 840;
    EXPECT_NEAR(moved, 20 * seconds, 6 + 20 * seconds * 0.25) << "s1 " << s1 << " s2 " << s2;

    // Any key ends it with status 0.
    EXPECT_EQ(testkit::Run("xdotool -display " + display.Name() + " key a 2>&1 || DISPLAY=" + display.Name() +
                           " xdotool key a")
                  .status,
              0);
    EXPECT_EQ(WaitForStatus(status, 10), 0) << testkit::Run("cat '" + home.file("out") + "'").output;
}

TEST_F(DrowselProgramTest, PreviewInsideAnotherClientsWindow)
{
    ASSERT_TRUE(testkit::RequireTool("Xvfb"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    VirtualDisplay display;
    ASSERT_TRUE(display.Start(home.file("display"), "640x480x24")) << "Xvfb did not start";
    Display* client = XOpenDisplay(display.Name().c_str());
    ASSERT_TRUE(client);
    const Window pane = XCreateSimpleWindow(client, DefaultRootWindow(client), 50, 60, 152, 112, 0, 0,
                                            WhitePixel(client, DefaultScreen(client)));
    XMapWindow(client, pane);
    XSync(client, False);
    SetConfig("ImageName", Panorama());
    const std::string status = home.file("status");
    testkit::Run(Env(display.Name()) + "sh -c \"'" + kProgram + "' /p " + std::to_string(pane) + " >'" +
                 home.file("out") + "' 2>&1; echo \\$? >'" + status + "'\" >/dev/null 2>&1 &");
    // The pane shows a one-eighth preview: 256 x 128 read, 112 x 70 % = 78 rows
    // from row 17, black above.
    drowsel::DisplayPicture expected;
    ASSERT_TRUE(drowsel::LoadDisplayPicture(pictures.file("pano.jpg"), 152, 112, 70, true, expected));
    ASSERT_EQ(expected.plan.offsetY, 17);
    // The pane once the preview is drawn (a sanitized build on a busy machine
    // may take several seconds to get there).
    const std::string shot = home.file("pane.ppm");
    ImagePtr image;
    for (int attempt = 0; attempt < 60; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ASSERT_EQ(testkit::Run("import -display " + display.Name() + " -window " + std::to_string(pane) +
                               " -depth 8 '" + shot + "'")
                      .status,
                  0);
        image.reset(testkit::ReadPnm(shot));
        ASSERT_TRUE(image);
        ASSERT_EQ(image->GetWidth(), 152);
        if (ShownScroll(*image, *expected.picture, 17) >= 0) break;
    }
    auto rgb = [](const Image& im, int x, int y) { return im.GetData() + size_t(y) * im.GetRowByte() + size_t(x) * 3; };
    EXPECT_EQ(std::memcmp(rgb(*image, 70, 5), "\0\0\0", 3), 0) << "the pane is not the preview's";
    EXPECT_GE(ShownScroll(*image, *expected.picture, 17), 0) << "the pane does not show the preview picture";
    // The pane goes: the preview ends with it.
    XDestroyWindow(client, pane);
    XSync(client, False);
    EXPECT_EQ(WaitForStatus(status, 10), 0) << testkit::Run("cat '" + home.file("out") + "'").output;
    XCloseDisplay(client);
}

}  // namespace
