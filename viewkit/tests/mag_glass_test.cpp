#include "viewkit/mag_glass.h"

#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "viewkit/tests/viewkit_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The pair-marker view stand-in: records what the glass passes on.
class ParentView : public CWnd {
public:
    void OnLButtonDown(UINT flags, CPoint point) override { clicks.push_back({point.x, point.y, flags}); }
    void OnRButtonDown(UINT flags, CPoint point) override { clicks.push_back({point.x, point.y, flags + 1000}); }
    struct Click {
        int x, y;
        UINT flags;
    };
    std::vector<Click> clicks;
};

class MagGlassTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, "view", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 700, 500}, nullptr, 0));
        ASSERT_TRUE(m_glass.Create(nullptr, "", WS_CHILD, RECT{0, 0, 96, 96}, &m_parent, 1));
        ASSERT_TRUE(testkit::RequireTool("convert"));
        m_photo = RefPtr<Image>::adopt(viewkit_test::LoadPhoto(m_dir, viewkit_test::kPhotoB, 640, 480));
        ASSERT_TRUE(m_photo);
        m_dc = std::make_unique<CDC>(m_photo.get());
    }

    // The capture as a fresh read of the 240 x 240 area around (x, y) would
    // give it: B, G, R and a zero byte; black off the view.
    std::vector<unsigned char> Recapture(int x, int y) const
    {
        std::vector<unsigned char> out(static_cast<size_t>(CMagGlass::kCaptureRowBytes) * 240, 0);
        for (int j = 0; j < 240; ++j)
            for (int i = 0; i < 240; ++i) {
                const int sx = x - 120 + i, sy = y - 120 + j;
                if (sx < 0 || sy < 0 || sx >= m_photo->GetWidth() || sy >= m_photo->GetHeight()) continue;
                const unsigned char* p = m_photo->GetData() + m_photo->GetRowByte() * sy + sx * 3;
                std::memcpy(&out[static_cast<size_t>(j) * CMagGlass::kCaptureRowBytes + i * 4], p, 3);
            }
        return out;
    }

    bool CaptureEquals(int x, int y) const
    {
        const std::vector<unsigned char> want = Recapture(x, y);
        return std::memcmp(m_glass.GetCaptureBits(), want.data(), want.size()) == 0;
    }

    testkit::TempDir m_dir;
    ParentView m_parent;
    CMagGlass m_glass;
    RefPtr<Image> m_photo;
    std::unique_ptr<CDC> m_dc;
};

}  // namespace

TEST_F(MagGlassTest, TheScrolledCaptureEqualsAFullRecaptureAfterEveryMove)
{
    ASSERT_EQ(m_glass.Init(320, 240), 1);
    ASSERT_TRUE(m_glass.Update(m_dc.get()));
    EXPECT_TRUE(CaptureEquals(320, 240));
    struct Move {
        int x, y;
    };
    const Move moves[] = {
        {323, 240}, {323, 236}, {318, 245}, {300, 200}, {340, 260},   // small and diagonal
        {579, 240}, {339, 240}, {339, 480}, {339, 240},               // 239 and 240 pixels
        {100, 100}, {600, 400}, {20, 30},  {30, 20},                  // 500 pixels, off the edges
    };
    for (const Move& m : moves) {
        m_glass.Display(m_dc.get(), m.x, m.y, 700, 500);
        EXPECT_TRUE(CaptureEquals(m.x, m.y)) << m.x << ", " << m.y;
    }
}

TEST_F(MagGlassTest, TheWindowShowsTheCentreDoubledWithAWhiteCross)
{
    ASSERT_EQ(m_glass.Init(200, 150), 1);
    m_glass.Update(m_dc.get());
    m_glass.Display(m_dc.get(), 210, 160, 700, 500);
    RefPtr<Image> shown = RefPtr<Image>::adopt(win::CaptureWindow(m_glass.m_hWnd));
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->GetWidth(), 96);
    ASSERT_EQ(shown->GetHeight(), 96);
    int wrong = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) {
            const bool cross = (y == 48 && x >= 43 && x < 54) || (x == 48 && y >= 43 && y < 54);
            const unsigned char* got = shown->GetData() + shown->GetRowByte() * y + x * 3;
            unsigned char want[3] = {255, 255, 255};
            if (!cross) {
                // Capture (96 + x / 2, 96 + y / 2) is view pixel (210 - 120 + ...).
                const int sx = 210 - 120 + 96 + x / 2, sy = 160 - 120 + 96 + y / 2;
                std::memcpy(want, m_photo->GetData() + m_photo->GetRowByte() * sy + sx * 3, 3);
            }
            if (std::memcmp(got, want, 3) != 0) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(MagGlassTest, UpdateLocksUntilEnabledAndDisplayWaitsForTheFirstCapture)
{
    ASSERT_EQ(m_glass.Init(100, 100), 1);
    m_glass.Display(m_dc.get(), 150, 150, 700, 500);  // nothing captured yet
    EXPECT_FALSE(m_glass.IsWindowVisible());
    EXPECT_EQ(m_glass.GetUpdateState(), 0);
    EXPECT_TRUE(m_glass.Update(m_dc.get()));
    EXPECT_FALSE(m_glass.Update(m_dc.get()));
    m_glass.EnableUpdate();
    EXPECT_EQ(m_glass.GetUpdateState(), 2);
    EXPECT_TRUE(m_glass.Update(m_dc.get()));
    EXPECT_EQ(m_glass.GetUpdateState(), 1);
}

TEST_F(MagGlassTest, TheGlassChangesSidesAtTheLimitsAndStaysThere)
{
    ASSERT_EQ(m_glass.Init(300, 200), 1);
    m_glass.Update(m_dc.get());
    struct Step {
        int x, y, quadrant, left, top;
    };
    const Step steps[] = {
        {300, 200, 1, 316, 88},   // up-right
        {650, 200, 2, 538, 88},   // past the right limit: to the left
        {300, 200, 2, 188, 88},   // and stays there
        {40, 200, 1, 56, 88},     // until the left edge forces it back
        {300, 30, 3, 316, 46},    // above the top: below the cursor
        {300, 250, 3, 316, 266},  // stays below
        {300, 480, 1, 316, 368},  // past the bottom limit: above again
        {680, 480, 2, 568, 368},
        {680, 20, 4, 568, 36},
    };
    for (const Step& s : steps) {
        m_glass.Display(m_dc.get(), s.x, s.y, 700, 500);
        EXPECT_EQ(m_glass.GetQuadrant(), s.quadrant) << s.x << ", " << s.y;
        RECT r{};
        m_glass.GetWindowRect(&r);
        m_parent.ScreenToClient(&r);
        EXPECT_EQ(r.left, s.left) << s.x << ", " << s.y;
        EXPECT_EQ(r.top, s.top);
        EXPECT_EQ(r.right - r.left, 96);
        EXPECT_TRUE(m_glass.IsWindowVisible());
    }
}

TEST_F(MagGlassTest, ClicksOnTheGlassReachTheParentAtTheParentsPoint)
{
    ASSERT_EQ(m_glass.Init(300, 200), 1);
    m_glass.Update(m_dc.get());
    m_glass.Display(m_dc.get(), 300, 200, 700, 500);  // glass at (316, 88)
    win::user::LeftDown(m_glass.m_hWnd, POINT{10, 20}, MK_LBUTTON);
    win::user::LeftUp(m_glass.m_hWnd, POINT{10, 20});
    win::user::RightClick(m_glass.m_hWnd, POINT{95, 0});
    ASSERT_EQ(m_parent.clicks.size(), 2u);
    EXPECT_EQ(m_parent.clicks[0].x, 326);
    EXPECT_EQ(m_parent.clicks[0].y, 108);
    EXPECT_EQ(m_parent.clicks[0].flags, MK_LBUTTON);
    EXPECT_EQ(m_parent.clicks[1].x, 411);
    EXPECT_EQ(m_parent.clicks[1].y, 88);
    EXPECT_EQ(m_glass.SendMessage(WM_ERASEBKGND, 0, 0), 1);
}

TEST_F(MagGlassTest, InitMakesBothBitmapsAndTheGlassFreesThem)
{
    const size_t before = win::LiveBitmapCount();
    {
        CMagGlass glass;
        ASSERT_TRUE(glass.Create(nullptr, "", WS_CHILD, RECT{0, 0, 96, 96}, &m_parent, 2));
        ASSERT_EQ(glass.Init(10, 20), 1);
        EXPECT_EQ(win::LiveBitmapCount(), before + 2);
        ASSERT_NE(glass.GetMaskBits(), nullptr);
        const size_t maskBytes = static_cast<size_t>(DibRowBytes(240, 1)) * 240;
        for (size_t i = 0; i < maskBytes; ++i) ASSERT_EQ(glass.GetMaskBits()[i], 0xFF) << i;
        ASSERT_EQ(glass.Init(30, 40), 1);  // again: the old bitmaps go
        EXPECT_EQ(win::LiveBitmapCount(), before + 2);
    }
    EXPECT_EQ(win::LiveBitmapCount(), before);
}
