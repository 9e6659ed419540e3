#include "platform/utilkit/debug_display.h"

#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

int g_calls = 0;
Marker* const kFakeGroup = reinterpret_cast<Marker*>(0x1000);

Marker* FakeCreate(int id, const char* window, int x, int y)
{
    ++g_calls;
    return id == 3 && std::string(window) == "DebugWin1" && x == 5 && y == 6 ? kFakeGroup : nullptr;
}

int FakeDeleteCurves(int start, int end, const char*)
{
    ++g_calls;
    return start == 0 && end == 0 ? 0 : -1;
}

// Each test starts with the display off, writing into its own folder.
struct DebugDisplay : ::testing::Test {
    testkit::TempDir dir;
    void SetUp() override
    {
        SetDebugDispFolder(dir.path().c_str());
        SetDebugDispFlag(0);
        g_calls = 0;
    }
    void TearDown() override
    {
        SetDebugDispFlag(0);
        SetCreateMarkerGroup(nullptr);
        SetDeleteCurves(nullptr);
    }
};

}  // namespace

TEST_F(DebugDisplay, EverythingIsInertWhileTheFlagIsOff)
{
    SetCreateMarkerGroup(FakeCreate);
    SetDeleteCurves(FakeDeleteCurves);
    Image image(4, 4, 3);
    EXPECT_EQ(GetDebugDispFlag(), 0);
    EXPECT_FALSE(CreateImageWindow(100, 100, GetNameDebugWin0()));
    DisplayImageWin0(&image, nullptr, 0, 0);
    const POINT2 pts[2] = {{1, 1}, {5, 5}};
    EXPECT_EQ(DrawOnePt2Array(pts, 2, 0, 0, 1.0f, 0xFF), 0);
    REGION box{1, 1, 3, 3, 3, 3};
    EXPECT_EQ(DrawRegion(&box, 0, 0, 1.0f, 0xFF, GetNameDebugWin0()), 0);
    EXPECT_EQ(CreateMarkerGroup(3, "DebugWin1", 5, 6), nullptr);
    EXPECT_EQ(DeleteCurves("DebugWin1", 0, 0), 0);
    EXPECT_EQ(g_calls, 0) << "no callback runs while the display is off";
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing written";
}

TEST_F(DebugDisplay, ImagesLandInTheWindowAndItsFile)
{
    SetDebugDispFlag(1);
    ASSERT_TRUE(CreateImageWindow(20, 10, GetNameDebugWin2()));
    Image image(4, 3, 3);
    unsigned char* p = image.GetData();
    p[0] = 1;  // B
    p[1] = 2;  // G
    p[2] = 3;  // R of pixel (0, 0)
    RECT all{0, 0, 4, 3};
    DisplayImageWin2(&image, &all, 7, 2);
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin2(), 7, 2), RGB(3, 2, 1));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin2(), 6, 2), 0u);

    Image* written = testkit::ReadPnm((dir.path() / "DebugWin2.ppm").string());
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->GetWidth(), 20);
    EXPECT_EQ(written->GetHeight(), 10);
    const unsigned char* q = written->GetData() + 2 * written->GetRowByte() + 7 * 3;
    EXPECT_EQ(q[0], 3) << "files are R G B";
    EXPECT_EQ(q[1], 2);
    EXPECT_EQ(q[2], 1);
    ReleaseImage(written);

    // Grey images show as grey; parts outside the window are clipped.
    Image grey(3, 3, 1);
    grey.GetData()[0] = 200;
    DisplayImageWin2(&grey, nullptr, 19, 9);
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin2(), 19, 9), RGB(200, 200, 200));
    // Float images are not shown.
    Image floats;
    floats.Create(2, 2, 1, IMG_FLOAT);
    DisplayImageWin2(&floats, nullptr, 0, 0);
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin2(), 0, 0), 0u);
}

TEST_F(DebugDisplay, PointsAndBoxesAreDrawnScaledAndOffset)
{
    SetDebugDispFlag(1);
    ASSERT_TRUE(CreateImageWindow(60, 40, GetNameDebugWin0()));
    const POINT2 square[4] = {{2, 2}, {2, 10}, {10, 10}, {10, 2}};
    EXPECT_EQ(DrawOnePt2Array(square, 4, 5, 3, 2.0f, 0x00FF00), 1);
    // Corners at (5 + 2 px, 3 + 2 py): (9, 7) ... (25, 23), closed.
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 9, 7), RGB(0, 255, 0));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 9, 15), RGB(0, 255, 0));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 17, 7), RGB(0, 255, 0)) << "closing side";
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 17, 15), 0u) << "inside stays clear";

    const REGION box{1, 1, 4, 3, 4, 3};
    EXPECT_EQ(DrawRegion(&box, 40, 0, 1.0f, 0xC80000, GetNameDebugWin0()), 1);
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 41, 1), 0xC80000u);
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 44, 3), 0xC80000u);
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 42, 2), 0u);
    EXPECT_EQ(DrawRegion(&box, 0, 0, 1.0f, 1, "NoSuchWindow"), 0);
    // A far-away box is clipped, not walked.
    const REGION huge{-2000000000, -2000000000, 2000000000, 2000000000, 0, 0};
    EXPECT_EQ(DrawRegion(&huge, 0, 0, 1.0f, 0xFF, GetNameDebugWin0()), 1);
}

TEST_F(DebugDisplay, BridgeCallsTheRegisteredCallbacksWhileOn)
{
    SetDebugDispFlag(1);
    EXPECT_EQ(CreateMarkerGroup(3, "DebugWin1", 5, 6), nullptr) << "nothing registered yet";
    SetCreateMarkerGroup(FakeCreate);
    SetDeleteCurves(FakeDeleteCurves);
    EXPECT_EQ(CreateMarkerGroup(3, "DebugWin1", 5, 6), kFakeGroup);
    EXPECT_EQ(CreateMarkerGroup(4, "DebugWin1", 5, 6), nullptr);
    EXPECT_EQ(DeleteCurves("DebugWin1", 0, 0), 0);
    EXPECT_EQ(DeleteCurves("DebugWin1", 1, 2), -1);
    EXPECT_EQ(g_calls, 4);
    EXPECT_EQ(GetMarkerGroup(3, "DebugWin1"), nullptr);
    EXPECT_EQ(Get2DCurvs("DebugWin1"), nullptr);
}

TEST_F(DebugDisplay, StitchSettingsGetterAnswersWithoutTheFlag)
{
    static int settings;
    SetGetStitchParam([]() { return reinterpret_cast<StitchSettings*>(&settings); });
    EXPECT_EQ(GetStitchParam(), reinterpret_cast<StitchSettings*>(&settings));
    SetGetStitchParam(nullptr);
    EXPECT_EQ(GetStitchParam(), nullptr);
}
