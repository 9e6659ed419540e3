// Shared fixture of the application's tests: the platform runtime's fixture
// (fresh runtime, scripted prompter, per-user folders in a temporary folder)
// plus the program folder and the application data in that folder, and a
// started application when a test asks for one.
#pragma once

#include "app/control/super_manager.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/main_frame.h"
#include "core/logger.h"
#include "platform/win/tests/win_test_fixture.h"
#include "testkit/testkit.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class AppTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        std::filesystem::create_directories(ProgramDir());
        setenv("FENDRAKE_APPDATA", Home().file("appdata").c_str(), 1);
        CFendrakeApp::SetProgramDir(ProgramDir());
        CFendrakeApp::SetSplashTime(0);
        SuperManager::SetWebLinkId(0);
    }

    void TearDown() override
    {
        if (m_app && m_app->m_pMainWnd) m_app->m_pMainWnd->DestroyWindow();
        WinTest::TearDown();
        m_app.reset();
        Logger::setLogOff();
        unsetenv("FENDRAKE_APPDATA");
    }

    std::string ProgramDir() const { return Home().file("program"); }

    // Starts the program with `args` after the program name, as AfxWinMain
    // would, up to the message loop. False when start-up failed.
    bool Start(std::vector<std::string> args = {})
    {
        m_app = std::make_unique<CFendrakeApp>();
        m_app->m_args = {ProgramDir() + "/Fendrake"};
        m_app->m_args.insert(m_app->m_args.end(), args.begin(), args.end());
        m_app->m_pszExeName = "Fendrake";
        return m_app->InitInstance() != FALSE;
    }

    CFendrakeApp& App() { return *m_app; }
    CMainFrame& Main() { return *dynamic_cast<CMainFrame*>(m_app->m_pMainWnd); }
    SuperManager& Manager() { return *GetSuperManager(); }

    static std::string TestData(const std::string& name) { return std::string(FENDRAKE_TESTDATA_DIR) + "/" + name; }

    std::unique_ptr<CFendrakeApp> m_app;
};

// The photograph with a world-map descriptor ("kqvz", equator width, column,
// row, map type, full-circle flag) in a comment segment after SOI.
inline std::string WritePanoramaFile(const std::string& photo, const std::string& path, int equatorWidth)
{
    testkit::WriteBytes(path, testkit::WithJpegComment(testkit::ReadBytes(photo),
                                                       testkit::PanoramaDescriptor(equatorWidth, 0, 0, 0)));
    return path;
}
