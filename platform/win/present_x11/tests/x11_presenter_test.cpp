// The presenter on a virtual display: a dialog shows exactly its headless
// surface (captured from the X server by ImageMagick's import), and a click
// on the X window presses the dialog's button.
#include "platform/win/present_x11/x11_presenter.h"

#include "platform/win/present_x11/x11_prompter.h"
#include "platform/win/window_system.h"

#include "core/logger.h"
#include "platform/win/dialog.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace {

// An Xvfb server of the test's own, on a display number the server picks
// itself (tests running at once get different ones), ended by its process id.
// It does not reset when its last client leaves (-noreset): a reset refuses
// the connections of the moment.
class VirtualDisplay {
public:
    // `numberFile` receives the display number from the server.
    bool Start(const std::string& numberFile)
    {
        const auto started = testkit::Run("Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp 3>'" +
                                          numberFile + "' >/dev/null 2>&1 & echo $!");
        if (started.status != 0) return false;
        m_pid = std::stoi(started.output);
        // The number is written once the server accepts clients.
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
        Stop();
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

// A press and release of the first button, sent to an X window by another
// client of the display.
bool SendClick(const std::string& displayName, unsigned long xwindow, int x, int y)
{
    Display* client = XOpenDisplay(displayName.c_str());
    if (!client) return false;
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent e{};
        e.xbutton.type = type;
        e.xbutton.display = client;
        e.xbutton.window = xwindow;
        e.xbutton.x = x;
        e.xbutton.y = y;
        e.xbutton.button = Button1;
        e.xbutton.same_screen = True;
        e.xbutton.time = type == ButtonPress ? 1000 : 1050;
        if (type == ButtonRelease) e.xbutton.state = Button1Mask;
        XSendEvent(client, xwindow, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    }
    XSync(client, False);
    XCloseDisplay(client);
    return true;
}

// Runs a function once, from the message loop, a moment later.
class Later : public CWnd {
public:
    std::function<void()> action;
    bool Start(std::function<void()> what)
    {
        action = std::move(what);
        if (!CreateEx(0, nullptr, "later", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, 0)) return false;
        SetTimer(1, 5, nullptr);
        return true;
    }
    void OnTimer(UINT_PTR) override
    {
        KillTimer(1);
        if (action) action();
        action = nullptr;
    }
};

// Starts the presenter; the log tells why when it does not.
testing::AssertionResult StartPresenter(const std::string& displayName)
{
    LogCapture log;
    if (win::X11Presenter::Start(displayName.c_str())) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the presenter did not start on " << displayName << ": " << log.text();
}

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
    ASSERT_TRUE(display.Start(Home().file("display"))) << "Xvfb did not start";

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
    ASSERT_TRUE(StartPresenter(display.Name()));
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
    ASSERT_TRUE(SendClick(display.Name(), xwindow, 165, 72));
    ASSERT_TRUE(win::PumpUntil([&] { return dialog.presses > 0; }, 5000));
    EXPECT_EQ(dialog.presses, 1);
    win::X11Presenter::Stop();
    dialog.DestroyWindow();
}

TEST_F(X11PresenterTest, QuestionsAreAskedOnTheDisplayAndAnsweredThere)
{
    ASSERT_TRUE(testkit::RequireTool("Xvfb"));
    VirtualDisplay display;
    ASSERT_TRUE(display.Start(Home().file("display"))) << "Xvfb did not start";
    win::SetPrompter(nullptr);  // no prompter of the program's: the presenter asks
    ASSERT_TRUE(StartPresenter(display.Name()));
    ASSERT_NE(win::InstalledPrompter(), nullptr);

    const win::MessageBoxRequest request{"Save changes to Pellicot?", "Vistrel", MB_YESNOCANCEL};
    const win::MessageBoxLayout layout = win::LayoutMessageBox(request);
    ASSERT_EQ(layout.buttons.size(), 3u);
    const RECT no = layout.buttons[1].second;
    bool clicked = false;
    Later later;
    ASSERT_TRUE(later.Start([&] {
        // The message box is on the display now: click its No button there.
        win::X11Presenter::Flush();
        for (HWND top : win::WindowSystem::Get().TopLevelWindows()) {
            if (win::WindowSystem::Get().Find(top)->text != "Vistrel") continue;
            const unsigned long xwindow = win::X11Presenter::XWindowOf(top);
            clicked = xwindow && SendClick(display.Name(), xwindow, (no.left + no.right) / 2, (no.top + no.bottom) / 2);
        }
    }));
    EXPECT_EQ(win::GetPrompter().MessageBox(request), IDNO);
    EXPECT_TRUE(clicked);
    later.DestroyWindow();
    win::X11Presenter::Stop();
    EXPECT_EQ(win::InstalledPrompter(), nullptr);
}

}  // namespace
