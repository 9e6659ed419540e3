// The program's own tour maker behind the main frame: the tour command opens
// its dialog, "Load..." puts the image browser into panorama-pick mode, a
// picked panorama becomes the tour's vista, "Done" ends the picking and
// releases the tour maker.
#include "app/control/super_manager.h"
#include "app/shell/img_browser.h"
#include "app/shell/main_frame.h"
#include "app/tests/app_test_fixture.h"
#include "core/logger.h"
#include "platform/win/user_input.h"
#include "platform/win/wnd.h"
#include "tour/tessiv/tour_maker_dlg.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr UINT kCreateTourCommand = 33153;

class TourMakerFrameTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        CMainFrame::UseTourMakerLibrary();
        ASSERT_TRUE(Start());
    }
    void TearDown() override
    {
        AppTest::TearDown();
        CMainFrame::SetTessivFactory(nullptr);
    }
    PTourMakerDlg* Maker() { return dynamic_cast<PTourMakerDlg*>(Main().GetTourMaker(false)); }
    static void Click(CWnd& dialog, UINT id) { win::user::ClickControl(dialog.GetDlgItem(id)); }
};

TEST_F(TourMakerFrameTest, PickedPanoramaBecomesTheTourVista)
{
    Main().SendMessage(WM_COMMAND, kCreateTourCommand, 0);
    PTourMakerDlg* maker = Maker();
    ASSERT_NE(maker, nullptr);
    ASSERT_TRUE(::IsWindow(maker->m_hWnd));
    EXPECT_TRUE(maker->IsWindowVisible());
    EXPECT_EQ(maker->GetWindowText(), "Create Virtual Tour");
    EXPECT_EQ(maker->GetParent(), &Main());
    EXPECT_FALSE(maker->GetDlgItem(PTourMakerDlg::kPublish)->IsWindowEnabled());
    // A child of the frame, above the frame's other children (the image
    // tray's window): the click on its "Load..." button reaches it.
    RECT load{};
    maker->GetDlgItem(PTourMakerDlg::kVistaLoad)->GetWindowRect(&load);
    EXPECT_EQ(win::InputWindowAt(POINT{(load.left + load.right) / 2, (load.top + load.bottom) / 2}),
              maker->GetDlgItem(PTourMakerDlg::kVistaLoad)->m_hWnd);
    // A second command keeps the one tour maker.
    Main().SendMessage(WM_COMMAND, kCreateTourCommand, 0);
    EXPECT_EQ(Maker(), maker);

    // "Load..." posts 1: the browser opens in panorama-pick mode.
    Click(*maker, PTourMakerDlg::kVistaLoad);
    ASSERT_TRUE(win::PumpUntil([&] { return Manager().GetBrowserMode() == 2; }, 10000));
    ASSERT_NE(Manager().GetImageBrowser(), nullptr);
    EXPECT_TRUE(Manager().GetImageBrowser()->IsWindowVisible());

    // A photograph without a panorama descriptor is no vista; a panorama is.
    Manager().AddImageFrame(nullptr, TestData("daeyun-image-stitching/pier_1.JPG").c_str(), nullptr);
    EXPECT_EQ(maker->GetProject()->GetVistaCount(), 0);
    const std::string pano =
        WritePanoramaFile(TestData("daeyun-image-stitching/hill_1.JPG"), Home().file("hall.jpg"), 800);
    Manager().AddImageFrame(nullptr, pano.c_str(), nullptr);
    ASSERT_EQ(maker->GetProject()->GetVistaCount(), 1);
    const Vista* vista = maker->GetProject()->GetVista(0);
    ASSERT_NE(vista, nullptr);
    EXPECT_EQ(std::string(vista->GetFileName()), pano);
    EXPECT_EQ(vista->GetEquatorWidth(), 800);
    EXPECT_TRUE(maker->GetDlgItem(PTourMakerDlg::kPublish)->IsWindowEnabled());
    // Picks go to the tour, not into the stitching project.
    EXPECT_EQ(Manager().FindImageFrame(pano.c_str()), nullptr);

    // "Done" posts 2: picking ends, the tour maker is closed and released.
    const HWND window = maker->m_hWnd;
    Click(*maker, PTourMakerDlg::kDone);
    ASSERT_TRUE(win::PumpUntil([&] { return Main().GetTourMaker(false) == nullptr; }, 10000));
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(Manager().GetBrowserMode(), 0);
    EXPECT_FALSE(Manager().GetImageBrowser()->IsWindowVisible());
}

TEST_F(TourMakerFrameTest, ClosingTheProgramClosesTheTourMaker)
{
    ASSERT_NE(Main().GetTourMaker(true), nullptr);
    const HWND window = Maker()->m_hWnd;
    ASSERT_TRUE(::IsWindow(window));
    // The close box does not close the tour maker by itself: it tells the frame.
    Maker()->SendMessage(WM_CLOSE, 0, 0);
    ASSERT_TRUE(win::PumpUntil([&] { return Main().GetTourMaker(false) == nullptr; }, 10000));
    EXPECT_FALSE(::IsWindow(window));
    // Opened again, and still open when the program closes: gone with it.
    ASSERT_NE(Main().GetTourMaker(true), nullptr);
    const HWND again = Maker()->m_hWnd;
    const HWND main = Main().m_hWnd;
    Main().SendMessage(WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_FALSE(::IsWindow(again));
    m_app->m_pMainWnd = nullptr;
}

// A tour maker whose window cannot be made.
struct FailingTessiv : ITessiv {
    static int& Made()
    {
        static int made = 0;
        return made;
    }
    static int& Closed()
    {
        static int closed = 0;
        return closed;
    }
    static ITessiv* Create()
    {
        ++Made();
        return new FailingTessiv;
    }
    bool Open(const char*, CWnd*, UINT) override { return false; }
    void AddVista(Image*, const char*, const TessivPanoramaValues&) override {}
    void Close() override
    {
        ++Closed();
        delete this;
    }
};

TEST_F(TourMakerFrameTest, ATourMakerThatDoesNotOpenIsNotKept)
{
    CMainFrame::SetTessivFactory(&FailingTessiv::Create);
    FailingTessiv::Made() = FailingTessiv::Closed() = 0;
    Logger::setLogLevel(1);
    LogCapture log;
    EXPECT_EQ(Main().GetTourMaker(true), nullptr);
    EXPECT_EQ(FailingTessiv::Closed(), 1);
    EXPECT_TRUE(log.contains("ERROR CMainFrame::GetTourMaker")) << log.text();
    // The next command tries again rather than holding a closed one.
    Main().SendMessage(WM_COMMAND, kCreateTourCommand, 0);
    EXPECT_EQ(FailingTessiv::Made(), 2);
    EXPECT_EQ(FailingTessiv::Closed(), 2);
    EXPECT_EQ(Main().GetTourMaker(false), nullptr);
}

}  // namespace
