// The presenter on a virtual display: a dialog shows exactly its headless
// surface (captured from the X server by ImageMagick's import), and a click
// on the X window presses the dialog's button.
#include "platform/win/present_x11/x11_presenter.h"

#include "platform/win/dialog.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace {

// An Xvfb server of the test's own, ended by its process id.
class VirtualDisplay {
public:
    bool Start()
    {
        for (int n = 91; n < 160; ++n) {
            char lock[64], name[16], command[160];
            std::snprintf(lock, sizeof lock, "/tmp/.X%d-lock", n);
            if (std::filesystem::exists(lock)) continue;
            std::snprintf(name, sizeof name, ":%d", n);
            std::snprintf(command, sizeof command, "Xvfb %s -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & echo $!",
                          name);
            m_name.assign(name);
            const auto started = testkit::Run(command);
            if (started.status != 0) return false;
            m_pid = std::stoi(started.output);
            // The server is up once a client can connect.
            for (int i = 0; i < 100; ++i) {
                if (Display* d = XOpenDisplay(m_name.c_str())) {
                    XCloseDisplay(d);
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            Stop();
        }
        return false;
    }
    void Stop()
    {
        if (m_pid > 0) {
            std::string command = "kill ";
            command += std::to_string(m_pid);
            testkit::Run(command);
        }
        m_pid = 0;
    }
    ~VirtualDisplay() { Stop(); }
    const std::string& Name() const { return m_name; }

private:
    int m_pid = 0;
    std::string m_name;
};

class ClickDialog : public CDialog {
public:
    int presses = 0;
    void OnOK() override { ++presses; }  // stays open
};

class X11PresenterTest : public WinTest {};

TEST_F(X11PresenterTest, TheDisplayShowsTheSurfaceAndClicksComeBackAsInput)
{
    ASSERT_TRUE(testkit::RequireTool("Xvfb"));
    ASSERT_TRUE(testkit::RequireTool("import"));
    VirtualDisplay display;
    ASSERT_TRUE(display.Start()) << "Xvfb did not start";

    win::DialogTemplate t;
    t.id = 100;
    t.caption = "About Vistrel";
    t.style |= WS_VISIBLE;
    t.size = SIZE{220, 100};
    t.controls = {{IDOK, win::ControlKind::DefPushButton, RECT{130, 60, 200, 84}, "OK"},
                  {1000, win::ControlKind::Static, RECT{10, 10, 200, 30}, "Vistrel 1.0"},
                  {1001, win::ControlKind::CheckBox, RECT{10, 40, 120, 56}, "Spin"}};
    win::Resources::App().AddDialog(t);
    ClickDialog dialog;
    ASSERT_TRUE(dialog.Create(100));
    ASSERT_TRUE(win::X11Presenter::Start(display.Name().c_str()));
    win::X11Presenter::Flush();
    const unsigned long xwindow = win::X11Presenter::XWindowOf(dialog.m_hWnd);
    ASSERT_NE(xwindow, 0u);

    const std::string shot = Home().file("dialog.ppm");
    // Eight bits a sample, as the surface has.
    const auto captured = testkit::Run("import -display " + display.Name() + " -window " + std::to_string(xwindow) +
                                       " -depth 8 '" + shot + "'");
    ASSERT_EQ(captured.status, 0) << captured.output;
    Image* screen = testkit::ReadPnm(shot);  // R, G, B
    Image* surface = win::CaptureWindow(dialog.m_hWnd);  // B, G, R
    ASSERT_NE(screen, nullptr);
    ASSERT_NE(surface, nullptr);
    ASSERT_EQ(screen->GetWidth(), surface->GetWidth());
    ASSERT_EQ(screen->GetHeight(), surface->GetHeight());
    int differing = 0;
    for (int y = 0; y < surface->GetHeight(); ++y) {
        const unsigned char* a = screen->GetData() + y * screen->GetRowByte();
        const unsigned char* b = surface->GetData() + y * surface->GetRowByte();
        for (int x = 0; x < surface->GetWidth(); ++x)
            differing += (a[3 * x] != b[3 * x + 2] || a[3 * x + 1] != b[3 * x + 1] || a[3 * x + 2] != b[3 * x]) ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
    ReleaseImage(screen);
    ReleaseImage(surface);

    // A click on the X window where the OK button is presses it.
    Display* client = XOpenDisplay(display.Name().c_str());
    ASSERT_NE(client, nullptr);
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent e{};
        e.xbutton.type = type;
        e.xbutton.display = client;
        e.xbutton.window = xwindow;
        e.xbutton.x = 165;
        e.xbutton.y = 72;
        e.xbutton.button = Button1;
        e.xbutton.same_screen = True;
        e.xbutton.time = type == ButtonPress ? 1000 : 1050;
        XSendEvent(client, xwindow, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    }
    XSync(client, False);
    XCloseDisplay(client);
    ASSERT_TRUE(win::PumpUntil([&] { return dialog.presses > 0; }, 5000));
    EXPECT_EQ(dialog.presses, 1);
    win::X11Presenter::Stop();
    dialog.DestroyWindow();
}

}  // namespace
