// Seedra's demonstrations and the byte map conversion.
#include "segment/seedra/seedra_demo.h"

#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

TEST(SeedraDemo, ByteMapToImageRamps)
{
    const unsigned char map[6] = {0, 10, 55, 100, 200, 255};
    struct Case {
        unsigned char lo, hi;
        unsigned char want[6];
    };
    const Case cases[] = {
        {0, 255, {0, 10, 55, 100, 200, 255}},
        {10, 100, {0, 0, 127, 255, 255, 255}},
        {100, 100, {0, 0, 0, 0, 255, 255}},  // equal limits: no division
        {200, 50, {0, 0, 0, 0, 0, 255}},
    };
    for (const Case& c : cases) {
        Image* image = ByteMapToImage(map, 3, 2, c.lo, c.hi);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->GetChannels(), 3);
        for (int i = 0; i < 6; ++i) {
            const unsigned char* px = image->GetData() + (i / 3) * image->GetRowByte() + 3 * (i % 3);
            EXPECT_EQ(px[0], c.want[i]) << int(c.lo) << "-" << int(c.hi) << " value " << int(map[i]);
            EXPECT_EQ(px[1], px[0]);
            EXPECT_EQ(px[2], px[0]);
        }
        ReleaseImage(image);
    }
    LogCapture log;
    EXPECT_EQ(ByteMapToImage(nullptr, 3, 2, 0, 255), nullptr);
    EXPECT_EQ(ByteMapToImage(map, 0, 2, 0, 255), nullptr);
    EXPECT_EQ(log.errorCount(), 2);
}

TEST(SeedraDemo, DemonstrationsRunCleanly)
{
    LogCapture log;
    TestSeedGrow();
    TestPolySegGrow();
    EXPECT_TRUE(log.contains("TestPolySegGrow:"));
    EXPECT_EQ(log.errorCount(), 0);
}

TEST(SeedraDemo, DemonstrationsDrawIntoTheDebugWindowsWhenTheFlagIsOn)
{
    testkit::TempDir dir;
    SetDebugDispFolder(dir.path().c_str());
    SetDebugDispFlag(1);
    TestSeedGrow();
    SetDebugDispFlag(0);
    // The distance map lies right of the label map; the polyline's own cells
    // are at distance 0 and the far corner is not.
    // The 200 x 250 grid's distance map is drawn at x = 201; the seed line
    // runs down column 40 from row 50 to 150.
    const char* window = GetNameDebugWin0();
    EXPECT_EQ(GetDebugWindowPixel(window, 201 + 40, 100), 0u);
    // Cell (150, 200) lies 110 + 50 = 160 steps from the line: grey 160.
    EXPECT_EQ(GetDebugWindowPixel(window, 201 + 150, 200), RGB(160, 160, 160));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / (std::string(window) + ".ppm")));
}
