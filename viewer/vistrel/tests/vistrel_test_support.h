// Shared fixture of the viewer's tests: the runtime's fixture (fresh
// runtime, scripted prompter, per-user folders in a temporary folder), the
// viewer's resources, a started application object, and panorama files made
// from real photographs with the world-map descriptor spliced in.
#pragma once

#include "imaging/image.h"
#include "platform/win/system.h"
#include "platform/win/tests/win_test_fixture.h"
#include "testkit/testkit.h"
#include "viewer/vistrel/main_frame.h"
#include "viewer/vistrel/vistrel_app.h"
#include "viewer/vistrel/vistrel_doc.h"
#include "viewer/vistrel/vistrel_resources.h"
#include "viewer/vistrel/vistrel_view.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace vistreltest {

using Bytes = testkit::Bytes;
using testkit::ReadBytes;
using testkit::WriteBytes;

// `jpeg` with a 22-byte descriptor ("kqvz" a world map, "mjr6" a six-face
// strip: equator width, column, row, map type, little-endian) in a comment
// segment right after the start marker.
inline std::string WithDescriptor(const std::string& jpeg, const std::string& out, const char* magic, int width,
                                  int column, int row)
{
    WriteBytes(out, testkit::WithJpegComment(ReadBytes(jpeg), testkit::PanoramaDescriptor(width, column, row, 0, magic,
                                                                                          false, 0)));
    return out;
}

// A JPEG of `image` made by cjpeg (quality 95).
inline std::string WriteJpeg(const Image& image, const testkit::TempDir& dir, const std::string& name)
{
    const std::string pnm = dir.file(name + ".ppm");
    EXPECT_TRUE(testkit::WritePnm(image, pnm));
    const std::string jpg = dir.file(name + ".jpg");
    const testkit::CommandResult r = testkit::Run("cjpeg -quality 95 -outfile '" + jpg + "' '" + pnm + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    return jpg;
}

inline std::string RealPanorama()
{
    return testkit::TestData("pannellum/examplepano.jpg").string();
}

}  // namespace vistreltest

// A test application whose OLE start-up can be made to fail.
class TestVistrelApp : public CVistrelApp {
public:
    bool oleFails = false;

protected:
    BOOL StartOle() override { return oleFails ? FALSE : CVistrelApp::StartOle(); }
};

class VistrelTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        win::SetScreenSize(1280, 1024);
    }

    void TearDown() override
    {
        if (m_app) {
            if (m_app->m_pMainWnd) m_app->m_pMainWnd->DestroyWindow();
            m_app->ExitInstance();
        }
        WinTest::TearDown();
        m_app.reset();
    }

    // Starts the program with `args` after the program name, up to the
    // message loop. False when start-up failed.
    bool Start(std::vector<std::string> args = {}, bool oleFails = false)
    {
        m_app = std::make_unique<TestVistrelApp>();
        m_app->oleFails = oleFails;
        m_app->m_args = {Home().file("program/Vistrel")};
        m_app->m_args.insert(m_app->m_args.end(), args.begin(), args.end());
        m_app->m_pszExeName = "Vistrel";
        return m_app->InitInstance() != FALSE;
    }

    CVistrelApp& App() { return *m_app; }
    CMainFrame* Frame() { return m_app ? dynamic_cast<CMainFrame*>(m_app->m_pMainWnd) : nullptr; }
    CVistrelView* View() { return Frame() ? dynamic_cast<CVistrelView*>(Frame()->GetActiveView()) : nullptr; }
    CVistrelDoc* Doc() { return View() ? View()->GetDocument() : nullptr; }

    // The view's client size.
    SIZE ClientSize()
    {
        CRect r;
        View()->GetClientRect(&r);
        return SIZE{r.Width(), r.Height()};
    }

    std::unique_ptr<TestVistrelApp> m_app;
};
