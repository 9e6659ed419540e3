// Seedra's demonstrations and the byte map conversion.
#include "segment/seedra/seedra_demo.h"

#include "imaging/image.h"
#include "platform/utilkit/logger.h"

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
