// The saver window headless: settings as the profile gives them, the
// picture or album it shows, the timer and the animation step on the
// manual clock, the frames it draws into the window's surface, and the
// full-screen window's reactions to input.
#include "viewer/drowsel/drowsel_wnd.h"

#include "viewer/drowsel/picture_loader.h"
#include "tests/drowsel_test_support.h"

#include "platform/win/screen_session.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"

namespace {

using namespace drowseltest;

class SaverWindowTest : public SaverTest {
protected:
    // The pictures of these tests, cut once per test as needed.
    std::string Panorama()
    {
        if (m_panorama.empty())
            m_panorama = CutPicture(pictures, "pano", "pannellum/examplepano.jpg", "2048x1024!", Descriptor(2048, 0, 0));
        return m_panorama;
    }
    std::string Still()
    {
        if (m_still.empty())
            m_still = CutPicture(pictures, "still", "plasma-workspace-wallpapers/Path_2560x1600.jpg", "800x600+900+500");
        return m_still;
    }
    std::string Wide()
    {
        if (m_wide.empty())
            m_wide = CutPicture(pictures, "wide", "skimage-tutorials-pano/DFM_4209.jpg", "3000x1000+0+400");
        return m_wide;
    }
    // A full-screen saver on the 1024 x 768 screen.
    std::unique_ptr<CDrowselWnd> Open(const std::string& handedOver = {})
    {
        auto wnd = std::make_unique<CDrowselWnd>();
        if (!wnd->CreateFullScreen(handedOver)) return nullptr;
        return wnd;
    }
    void Tick(CDrowselWnd& wnd, int64_t ms)
    {
        win::Clock::Advance(ms);
        wnd.Step();
    }

private:
    std::string m_panorama, m_still, m_wide;
};

TEST(SaverTimingTest, TimerIntervalAndStepTables)
{
    const struct {
        int speed;
        UINT ms;
    } timers[] = {{10, 100}, {-50, 30}, {1, 1000}, {-1, 1000}, {30, 33}, {31, 30}, {200, 30}, {-200, 30}, {0, 0}};
    for (const auto& t : timers) EXPECT_EQ(drowsel::SpeedTimerInterval(t.speed), t.ms) << "speed " << t.speed;
    const struct {
        int64_t ms;
        int pixelsPerSecond;
        int pixels;
    } steps[] = {{100, 10, 1},   {150, 10, 2},  {150, -10, -2}, {149, 10, 1},    {10, 10, 1},
                 {10, -10, -1},  {0, 30, 1},    {250, 10, 3},   {250, -10, -3},  {30, 200, 6},
                 {3600100, 1, 3600}, {1000, -200, -200}};
    for (const auto& s : steps)
        EXPECT_EQ(drowsel::StepPixels(s.ms, s.pixelsPerSecond), s.pixels) << s.ms << " ms at " << s.pixelsPerSecond;
}

TEST_F(SaverWindowTest, SettingsAreClampedAndDefaulted)
{
    struct Case {
        const char* speed;  // null: no key
        const char* fov;
        const char* period;
        int wantSpeed, wantFov, wantPeriod;
    } cases[] = {
        {nullptr, nullptr, nullptr, 1, 70, 1},  // the saver's own defaults: one minute a picture
        {"0", "50", "7", 1, 50, 7},
        {"500", "95", "20000", 200, 90, 10000},
        {"-500", "10", "0", -200, 50, 1},
        {"-37", "81", "60", -37, 81, 60},
    };
    SetConfig("ImageName", Still());
    for (const Case& c : cases) {
        SetConfig("Speed", c.speed ? c.speed : std::optional<std::string>());
        SetConfig("FieldOfView", c.fov ? c.fov : std::optional<std::string>());
        SetConfig("Period", c.period ? c.period : std::optional<std::string>());
        CDrowselWnd wnd;
        ASSERT_TRUE(wnd.LoadSaver("", 1024, 768));
        EXPECT_EQ(wnd.speed, c.wantSpeed);
        EXPECT_EQ(wnd.fovPercent, c.wantFov);
        EXPECT_EQ(wnd.period, c.wantPeriod);
    }
}

TEST_F(SaverWindowTest, PictureComesFromTheHandOverElseTheProfile)
{
    SetConfig("ImageName", Still());
    CDrowselWnd fromProfile;
    ASSERT_TRUE(fromProfile.LoadSaver("", 1024, 768));
    EXPECT_EQ(fromProfile.imageName, Still());
    EXPECT_FALSE(fromProfile.scrolls);
    CDrowselWnd handed;
    ASSERT_TRUE(handed.LoadSaver(Panorama(), 1024, 768));
    EXPECT_EQ(handed.imageName, Panorama());
    EXPECT_TRUE(handed.scrolls);
    EXPECT_FALSE(handed.bounces);

    SetConfig("ImageName", std::optional<std::string>());
    CDrowselWnd nothing;
    LogCapture log;
    EXPECT_FALSE(nothing.LoadSaver("", 1024, 768));
    EXPECT_TRUE(log.contains("ERROR CDrowselWnd::LoadSaver")) << log.text();
    // Nothing to show: no window either.
    EXPECT_FALSE(Open());
    EXPECT_TRUE(win::WindowSystem::Get().FindWindowByText(nullptr, "Drowsel") == nullptr);
}

TEST_F(SaverWindowTest, AlbumWithoutUsablePicturesStopsTheCreation)
{
    const std::string album = pictures.file("album.txt");
    WriteText(album, "# nothing here\nmissing.jpg\n");
    SetConfig("ImageName", album);
    LogCapture log;
    EXPECT_FALSE(Open());
    EXPECT_TRUE(log.contains("names no picture")) << log.text();
    // An album that cannot be read, and one whose only entry is no picture.
    SetConfig("ImageName", pictures.file("none.txt"));
    EXPECT_FALSE(Open());
    WriteText(pictures.file("junk.jpg"), "junk");
    WriteText(album, "junk.jpg\n");
    SetConfig("ImageName", album);
    EXPECT_FALSE(Open());
}

TEST_F(SaverWindowTest, EndlessScrollWrapsBothWays)
{
    SetConfig("Speed", "10");
    auto wnd = Open(Panorama());
    ASSERT_TRUE(wnd);
    const int width = wnd->picture->GetWidth();
    ASSERT_EQ(width, 1075);
    EXPECT_EQ(wnd->scrollX, 0);
    // Speed 10 moves the picture right: the left edge shows earlier columns.
    Tick(*wnd, 100);
    EXPECT_EQ(wnd->scrollX, width - 1);
    Tick(*wnd, 250);
    EXPECT_EQ(wnd->scrollX, width - 4);
    wnd->speed = -50;
    wnd->scrollX = width - 3;
    Tick(*wnd, 100);  // 5 pixels the other way, past the end
    EXPECT_EQ(wnd->scrollX, 2);
    // A long pause scrolls many widths; scrollX stays on the picture.
    Tick(*wnd, 60000);
    EXPECT_EQ(wnd->scrollX, (2 + 3000) % width);
}

TEST_F(SaverWindowTest, BouncingPictureTurnsAtBothEnds)
{
    SetConfig("Speed", "10");
    auto wnd = Open(Wide());
    ASSERT_TRUE(wnd);
    ASSERT_TRUE(wnd->scrolls && wnd->bounces);
    const int width = wnd->picture->GetWidth();  // 1613
    ASSERT_EQ(width, 1613);
    Tick(*wnd, 100);
    EXPECT_EQ(wnd->scrollX, 1);
    wnd->scrollX = width - 1024 - 1;
    Tick(*wnd, 200);  // two pixels: reaches the end, held there, turns
    EXPECT_EQ(wnd->scrollX, width - 1024);
    Tick(*wnd, 100);
    EXPECT_EQ(wnd->scrollX, width - 1024 - 1);
    wnd->scrollX = 2;
    Tick(*wnd, 300);  // three pixels back: stops at 0 and turns
    EXPECT_EQ(wnd->scrollX, 0);
    Tick(*wnd, 100);
    EXPECT_EQ(wnd->scrollX, 1);
}

TEST_F(SaverWindowTest, StillPictureDoesNotMoveButTheCaptionDoes)
{
    SetConfig("Speed", "-10");
    auto wnd = Open(Still());
    ASSERT_TRUE(wnd);
    EXPECT_FALSE(wnd->scrolls);
    EXPECT_EQ(wnd->captionX, 150);
    Tick(*wnd, 100);
    EXPECT_EQ(wnd->scrollX, 0);
    // Left of 150 jumps to the window width - 150 ...
    EXPECT_EQ(wnd->captionOldX, 150);
    EXPECT_EQ(wnd->captionX, 1024 - 150);
    Tick(*wnd, 200);
    EXPECT_EQ(wnd->captionX, 1024 - 152);
    // ... and right of it to 150.
    wnd->speed = 10;
    wnd->captionX = 1024 - 150;
    Tick(*wnd, 100);
    EXPECT_EQ(wnd->captionX, 150);
}

TEST_F(SaverWindowTest, AlbumChangesAfterItsPeriod)
{
    const std::string album = pictures.file("album.txt");
    WriteText(album, Panorama() + "\n" + Still() + "\n");
    SetConfig("ImageName", album);
    SetConfig("Period", "90");  // beyond an hour: still counted on the monotonic clock
    auto wnd = Open();
    ASSERT_TRUE(wnd);
    EXPECT_EQ(wnd->albumCount, 2);
    EXPECT_EQ(wnd->imageName, Panorama());
    Tick(*wnd, 89 * 60000);
    EXPECT_EQ(wnd->albumIndex, 0);
    Tick(*wnd, 60000 + 1);
    EXPECT_EQ(wnd->albumIndex, 1);
    EXPECT_EQ(wnd->imageName, Still());
    EXPECT_FALSE(wnd->scrolls);
    EXPECT_FALSE(wnd->cleared);  // the new picture starts on a black window
    EXPECT_TRUE(win::MessageQueue::Get().HasTimer(wnd->m_hWnd, drowsel::kSpeedTimerId));
    // A still picture stays one minute.
    Tick(*wnd, 59000);
    EXPECT_EQ(wnd->albumIndex, 1);
    Tick(*wnd, 1001);
    EXPECT_EQ(wnd->albumIndex, 0);
    EXPECT_TRUE(wnd->scrolls);
}

TEST_F(SaverWindowTest, FailedLoadAtAnAlbumChangeStopsTheAnimation)
{
    const std::string album = pictures.file("album.txt");
    const std::string second = pictures.file("second.jpg");
    std::filesystem::copy_file(Still(), second);
    WriteText(album, Still() + "\n" + second + "\n");
    SetConfig("ImageName", album);
    auto wnd = Open();
    ASSERT_TRUE(wnd);
    WriteText(second, "no longer a picture");
    win::PaintAll();
    win::Clock::Advance(60000 + 1);
    LogCapture log;
    EXPECT_FALSE(wnd->Step());
    EXPECT_TRUE(log.contains("ERROR LoadDisplayPicture")) << log.text();
    EXPECT_FALSE(win::MessageQueue::Get().HasTimer(wnd->m_hWnd, drowsel::kSpeedTimerId));
    EXPECT_TRUE(::IsWindow(wnd->m_hWnd));
}

TEST_F(SaverWindowTest, TimerDrivesTheSteps)
{
    SetConfig("Speed", "-50");  // 30 ms, moving left
    auto wnd = Open(Panorama());
    ASSERT_TRUE(wnd);
    ASSERT_TRUE(win::MessageQueue::Get().HasTimer(wnd->m_hWnd, drowsel::kSpeedTimerId));
    win::PumpUntil([] { return false; });
    win::Clock::Advance(29);
    win::PumpUntil([] { return false; });
    EXPECT_EQ(wnd->scrollX, 0);
    win::Clock::Advance(1);
    win::PumpUntil([] { return false; });
    EXPECT_EQ(wnd->scrollX, 2);  // 30 ms x 50 px/s = 1.5, rounded away from zero
}

// The surface after the first frame and after a step: black around the
// picture, the picture from scrollX with the wrap-around part, the caption.
TEST_F(SaverWindowTest, FramesOnTheSurface)
{
    SetConfig("Speed", "-100");
    auto wnd = Open(Panorama());
    ASSERT_TRUE(wnd);
    win::PaintAll();
    const Image& pic = *wnd->picture;
    auto check = [&](const char* when) {
        ImagePtr shot(win::CaptureWindow(wnd->m_hWnd));
        ASSERT_TRUE(shot);
        ASSERT_EQ(shot->GetWidth(), 1024);
        auto px = [&](const Image& im, int x, int y) { return im.GetData() + size_t(y) * im.GetRowByte() + size_t(x) * 3; };
        // Above the picture: black.
        EXPECT_EQ(std::memcmp(px(*shot, 500, wnd->offsetY - 5), "\0\0\0", 3), 0) << when;
        int mismatches = 0;
        for (int y = 0; y < pic.GetHeight(); y += 7)
            for (int x = 0; x < 1024; x += 3) {
                const int column = (wnd->scrollX + x) % pic.GetWidth();
                if (std::memcmp(px(*shot, x, wnd->offsetY + y), px(pic, column, y), 3) != 0) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0) << when << " scrollX " << wnd->scrollX;
        // The caption's colour (B, G, R = 128, 255, 255) in its band.
        const int captionY = wnd->offsetY + pic.GetHeight() + 10;
        int caption = 0;
        for (int y = captionY; y < captionY + 20; ++y)
            for (int x = 0; x < 1024; ++x) {
                const unsigned char* p = px(*shot, x, y);
                if (p[0] == 128 && p[1] == 255 && p[2] == 255) ++caption;
            }
        EXPECT_GT(caption, 20) << when;
    };
    check("first frame");
    win::Clock::Advance(100);
    win::PumpUntil([] { return false; });
    ASSERT_EQ(wnd->scrollX, 10);
    win::PaintAll();
    check("after a step");
    wnd->scrollX = pic.GetWidth() - 30;  // the end of the picture, then its start again
    CClientDC dc(wnd.get());
    wnd->DrawFrame(dc);
    check("across the end");
}

TEST_F(SaverWindowTest, FullScreenWindowEndsOnInput)
{
    struct Case {
        const char* what;
        std::function<void(HWND)> act;
    } cases[] = {
        {"key", [](HWND) { win::KeyEvent('A', true); }},
        {"system key", [](HWND h) { ::PostMessage(h, WM_SYSKEYDOWN, 'X', 0); }},
        {"left button", [](HWND h) { win::user::LeftDown(h, POINT{5, 5}); }},
        {"right button", [](HWND h) { ::PostMessage(h, WM_RBUTTONDOWN, 0, 0); }},
        {"middle button", [](HWND h) { ::PostMessage(h, WM_MBUTTONDOWN, 0, 0); }},
        {"pointer moved", [](HWND h) {
             win::user::MoveMouse(h, POINT{40, 40});
             win::user::MoveMouse(h, POINT{40, 40});
             EXPECT_TRUE(::IsWindow(h)) << "the first position, seen twice, does not close";
             win::user::MoveMouse(h, POINT{41, 40});
         }},
        {"application deactivated", [](HWND) { win::ApplicationActivation(false); }},
        {"window deactivated", [](HWND h) { ::SendMessage(h, WM_ACTIVATE, WA_INACTIVE, 0); }},
    };
    for (const Case& c : cases) {
        auto wnd = Open(Still());
        ASSERT_TRUE(wnd) << c.what;
        const HWND hwnd = wnd->m_hWnd;
        EXPECT_TRUE(win::CursorHidden()) << c.what;
        EXPECT_EQ(win::WindowSystem::Get().Find(hwnd)->windowClass->cursor, drowsel::kSaverCursorId);
        EXPECT_TRUE(wnd->GetExStyle() & WS_EX_TOPMOST);
        c.act(hwnd);
        win::PumpUntil([&] { return !::IsWindow(hwnd); });
        EXPECT_FALSE(::IsWindow(hwnd)) << c.what;
        EXPECT_TRUE(win::MessageQueue::Get().QuitPending()) << c.what;
        EXPECT_FALSE(win::CursorHidden()) << c.what;
        win::MessageQueue::Get().Reset();
    }
}

TEST_F(SaverWindowTest, FullScreenIgnoresSaverAndCloseCommands)
{
    auto wnd = Open(Still());
    ASSERT_TRUE(wnd);
    wnd->SendMessage(WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    wnd->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(wnd->SendMessage(WM_NCACTIVATE, FALSE, 0));
    win::PumpUntil([] { return false; });
    EXPECT_TRUE(::IsWindow(wnd->m_hWnd));
    EXPECT_FALSE(win::MessageQueue::Get().QuitPending());
}

TEST_F(SaverWindowTest, PreviewLivesInAForeignWindowWithoutInput)
{
    win::DeclareForeignWindow(0x3a00007, 152, 112);
    CDrowselWnd wnd;
    ASSERT_TRUE(wnd.CreatePreview(0x3a00007, Panorama()));
    EXPECT_TRUE(wnd.preview);
    EXPECT_EQ(win::ForeignParentOf(wnd.m_hWnd), 0x3a00007u);
    RECT client;
    wnd.GetClientRect(&client);
    EXPECT_EQ(client.right, 152);
    EXPECT_EQ(client.bottom, 112);
    EXPECT_EQ(wnd.picture->GetHeight(), 78);  // read at one eighth: 128 rows, 70 % of 112
    EXPECT_FALSE(win::CursorHidden());
    ::PostMessage(wnd.m_hWnd, WM_KEYDOWN, 'A', 0);
    ::PostMessage(wnd.m_hWnd, WM_LBUTTONDOWN, 0, 0);
    win::PumpUntil([] { return false; });
    EXPECT_TRUE(::IsWindow(wnd.m_hWnd));
    // The settings program closes its pane: the preview goes, the program ends.
    win::ForeignWindowGone(0x3a00007);
    EXPECT_FALSE(::IsWindow(wnd.m_hWnd));
    EXPECT_TRUE(win::MessageQueue::Get().QuitPending());
    LogCapture log;
    CDrowselWnd nowhere;
    EXPECT_FALSE(nowhere.CreatePreview(0x3a00008, Panorama()));
    EXPECT_TRUE(log.contains("ERROR CDrowselWnd::CreatePreview")) << log.text();
}

}  // namespace
