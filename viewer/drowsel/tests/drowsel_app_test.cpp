// The program's start-up without a display: the switch table, and what the
// application object makes of each (dialog, preview, full screen, end).
#include "viewer/drowsel/drowsel_app.h"

#include "viewer/drowsel/drowsel_resources.h"
#include "viewer/drowsel/drowsel_wnd.h"
#include "tests/drowsel_test_support.h"

#include "platform/win/dialog.h"
#include "platform/win/screen_session.h"
#include "platform/win/user_input.h"
#include "platform/win/window_system.h"

namespace {

using namespace drowseltest;
using drowsel::SaverMode;

TEST(SaverCommandTest, SwitchTable)
{
    struct Case {
        std::vector<std::string> args;
        SaverMode mode;
        uint64_t window;
    } cases[] = {
        {{}, SaverMode::Configure, 0},
        {{"c"}, SaverMode::Configure, 0},
        {{"-C"}, SaverMode::Configure, 0},
        {{"/c:1234"}, SaverMode::Configure, 0},
        {{"/s"}, SaverMode::FullScreen, 0},
        {{"S"}, SaverMode::FullScreen, 0},
        {{"p", "1234"}, SaverMode::Preview, 1234},
        {{"/p", "60817415"}, SaverMode::Preview, 60817415},
        {{"-p1234"}, SaverMode::Preview, 1234},
        {{"/p:77"}, SaverMode::Preview, 77},
        {{"p"}, SaverMode::NoPreviewWindow, 0},
        {{"p", "12ab"}, SaverMode::NoPreviewWindow, 0},
        {{"p", "0"}, SaverMode::NoPreviewWindow, 0},
        {{"p", "99999999999999999999999"}, SaverMode::NoPreviewWindow, 0},
        {{"x"}, SaverMode::End, 0},
        {{""}, SaverMode::End, 0},
        {{"-"}, SaverMode::End, 0},
        {{"a", "s"}, SaverMode::End, 0},
    };
    for (const Case& c : cases) {
        const drowsel::SaverCommand command = drowsel::ParseSaverCommand(c.args);
        std::string what;
        for (const std::string& a : c.args) what += "[" + a + "]";
        EXPECT_EQ(command.mode, c.mode) << what;
        EXPECT_EQ(command.window, c.window) << what;
    }
}

// The application with a hook into its idle processing: what the user does
// once the loop runs.
class ScriptedApp : public CDrowselApp {
public:
    std::function<void()> onIdle;
    BOOL OnIdle(LONG count) override
    {
        if (onIdle) {
            auto act = std::move(onIdle);
            onIdle = nullptr;
            act();
        }
        return CDrowselApp::OnIdle(count);
    }
};

class DrowselAppTest : public SaverTest {
protected:
    int RunProgram(std::vector<std::string> args)
    {
        args.insert(args.begin(), "drowsel");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        return AfxWinMain(static_cast<int>(argv.size()), argv.data());
    }
};

TEST_F(DrowselAppTest, ConfigurationDialogThenEnd)
{
    CDrowselApp app;
    prompter->ExpectDialog(drowsel::IDD_CONFIG, [](CDialog& d) { d.EndDialog(IDCANCEL); });
    EXPECT_EQ(RunProgram({"-C"}), 0);
    EXPECT_EQ(app.Mode(), SaverMode::Configure);
}

TEST_F(DrowselAppTest, FullScreenShowsTheHandedOverPanoramaUntilAKey)
{
    const std::string pano =
        CutPicture(pictures, "pano", "pannellum/examplepano.jpg", "1024x512!", Descriptor(1024, 0, 0));
    WriteText(tmp.file("quorvanealbum.txt"), pano + "\n");
    ScriptedApp app;
    CDrowselWnd* seen = nullptr;
    std::string shown;
    app.onIdle = [&] {
        seen = app.SaverWindow();
        if (seen) shown = seen->imageName;
        win::KeyEvent('A', true);
    };
    EXPECT_EQ(RunProgram({"/s"}), 0);
    ASSERT_TRUE(seen);
    EXPECT_EQ(shown, pano);
    EXPECT_EQ(app.Mode(), SaverMode::FullScreen);
}

TEST_F(DrowselAppTest, PreviewInAForeignWindow)
{
    const std::string pano =
        CutPicture(pictures, "pano", "pannellum/examplepano.jpg", "1024x512!", Descriptor(1024, 0, 0));
    SetConfig("ImageName", pano);
    win::DeclareForeignWindow(4242, 152, 112);
    ScriptedApp app;
    bool inside = false;
    app.onIdle = [&] {
        inside = app.SaverWindow() && win::ForeignParentOf(app.SaverWindow()->m_hWnd) == 4242;
        win::ForeignWindowGone(4242);  // the settings program closes its pane
    };
    EXPECT_EQ(RunProgram({"p", "4242"}), 0);
    EXPECT_TRUE(inside);
    EXPECT_EQ(app.Mode(), SaverMode::Preview);
}

TEST_F(DrowselAppTest, NothingToShowOrNoWindowEndsWithAnError)
{
    struct Case {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"s"}, "ERROR CDrowselApp::InitInstance nothing to show"},
        {{"p"}, "ERROR CDrowselApp::InitInstance the preview switch needs a window id"},
        {{"p", "5151"}, "ERROR CDrowselWnd::CreatePreview"},
    };
    for (const Case& c : cases) {
        CDrowselApp app;
        LogCapture log;
        EXPECT_EQ(RunProgram(c.args), 1) << c.args[0];
        EXPECT_TRUE(log.contains(c.error)) << log.text();
        win::ResetRuntime();
        win::InitRuntime();
    }
}

TEST_F(DrowselAppTest, OtherSwitchesEndAtOnce)
{
    CDrowselApp app;
    EXPECT_EQ(RunProgram({"x"}), 0);
    EXPECT_EQ(app.Mode(), SaverMode::End);
    EXPECT_TRUE(win::WindowSystem::Get().TopLevelWindows().size() <= 1);  // the desktop at most
}

}  // namespace
