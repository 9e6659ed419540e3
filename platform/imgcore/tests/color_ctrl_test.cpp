#include "platform/imgcore/color_ctrl.h"

#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

TEST(ColorCtrl, StartsNeutral)
{
    ColorCtrl ctrl;
    for (int c = 0; c <= 3; ++c) {
        EXPECT_EQ(ctrl.GetBrightness(c), 0);
        EXPECT_EQ(ctrl.GetContrast(c), 1.0f);
        EXPECT_EQ(ctrl.GetGamma(c), 1.0f);
    }
    EXPECT_EQ(ctrl.GetLastUpdatedChannel(), 3);
    EXPECT_TRUE(ctrl.IsDefaultValue());
    EXPECT_EQ(ctrl.GetTableBlock(), nullptr);
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 256; ++k) ASSERT_EQ(ctrl.GetMapTable(c)[k], k);
    EXPECT_FALSE(ctrl.ResetBCG());
}

TEST(ColorCtrl, SettersReportChangesPerChannel)
{
    ColorCtrl ctrl;
    EXPECT_TRUE(ctrl.SetGamma(2.0f, 1));
    EXPECT_EQ(ctrl.GetLastUpdatedChannel(), 1);
    EXPECT_FALSE(ctrl.SetGamma(2.0f, 1));
    EXPECT_EQ(ctrl.GetGamma(0), 1.0f);
    EXPECT_FALSE(ctrl.IsDefaultGamma());
    EXPECT_TRUE(ctrl.IsDefaultBrightness());

    // Channel 3 sets all three colour channels.
    EXPECT_TRUE(ctrl.SetBrightness(-20, 3));
    EXPECT_EQ(ctrl.GetLastUpdatedChannel(), 3);
    for (int c = 0; c <= 3; ++c) EXPECT_EQ(ctrl.GetBrightness(c), -20);
    EXPECT_FALSE(ctrl.SetBrightness(-20, 3));
    EXPECT_TRUE(ctrl.SetBrightness(5, 2));
    EXPECT_TRUE(ctrl.SetBrightness(-20, 3));  // channel 2 differed

    EXPECT_TRUE(ctrl.SetContrast(1.5f, 0));
    EXPECT_EQ(ctrl.GetContrast(0), 1.5f);
    EXPECT_EQ(ctrl.GetContrast(1), 1.0f);

    // Unusable input changes nothing.
    EXPECT_FALSE(ctrl.SetContrast(std::numeric_limits<float>::quiet_NaN(), 0));
    EXPECT_FALSE(ctrl.SetGamma(-1.0f, 0));
    EXPECT_FALSE(ctrl.SetGamma(std::numeric_limits<float>::infinity(), 0));
    EXPECT_FALSE(ctrl.SetBrightness(3, 4));
    EXPECT_FALSE(ctrl.SetContrast(2.0f, -1));
    EXPECT_EQ(ctrl.GetContrast(0), 1.5f);
    EXPECT_EQ(ctrl.GetGamma(9), 1.0f);
    EXPECT_EQ(ctrl.GetLastUpdatedChannel(), 0);

    EXPECT_TRUE(ctrl.ResetBCG());
    EXPECT_TRUE(ctrl.IsDefaultValue());
    EXPECT_EQ(ctrl.GetLastUpdatedChannel(), 3);
    EXPECT_EQ(ctrl.GetBrightness(3), 0);
    EXPECT_FALSE(ctrl.ResetBCG());
}

// Gamma tables exist only while a gamma differs from 1; entry k holds
// 255 (k / 255)^gamma rounded, checked against double precision.
TEST(ColorCtrl, GammaTables)
{
    ColorCtrl ctrl;
    ASSERT_TRUE(ctrl.SetGamma(0.5f, 2));
    const uint8_t* block = ctrl.GetTableBlock();
    ASSERT_NE(block, nullptr);
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(block[k], k);        // red untouched
        EXPECT_EQ(block[256 + k], k);  // green untouched
        EXPECT_NEAR(block[512 + k], 255.0 * std::sqrt(k / 255.0), 0.5001) << k;
    }
    ctrl.SetGamma(1.0f, 2);
    EXPECT_EQ(ctrl.GetTableBlock(), nullptr);
    // Gamma 0 (the dialog's far end) maps everything to white, no fault.
    ASSERT_TRUE(ctrl.SetGamma(0.0f, 0));
    EXPECT_EQ(ctrl.GetTableBlock()[0], 255);
    EXPECT_EQ(ctrl.GetTableBlock()[128], 255);
}

// The whole mapping: contrast and brightness first (float, truncated,
// clamped), then gamma. Values worked by hand.
TEST(ColorCtrl, MapValuesAndTables)
{
    ColorCtrl ctrl;
    ctrl.SetContrast(2.0f, 0);
    ctrl.SetBrightness(-10, 0);
    struct Case {
        int k;
        int mapped;
    } cases[] = {{100, 190}, {200, 255}, {3, 0}, {5, 0}, {6, 2}, {0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(ctrl.GetMapValue(c.k, 0), static_cast<float>(c.mapped)) << c.k;
        EXPECT_EQ(ctrl.GetMapTable(0)[c.k], c.mapped) << c.k;
    }
    ctrl.SetGamma(2.0f, 0);
    EXPECT_NEAR(ctrl.GetMapValue(100, 0), 255.0 * (190 / 255.0) * (190 / 255.0), 1e-3);
    EXPECT_EQ(ctrl.GetMapTable(0)[100], 142);  // 141.57 rounded
    EXPECT_EQ(ctrl.GetMapTable(1)[100], 100);
    EXPECT_EQ(ctrl.GetMapTable(3), nullptr);
}

TEST(ColorCtrl, MapImageUsesBlueGreenRedOrder)
{
    ColorCtrl ctrl;
    ctrl.SetBrightness(10, 0);   // red: byte 2
    ctrl.SetContrast(0.5f, 2);   // blue: byte 0
    Image* source = testkit::MakePatternImage(17, 5, 3);
    Image* dest = new Image(17, 5, 3);
    ASSERT_TRUE(ctrl.MapImage(source, dest));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 17; ++x) {
            const uint8_t* s = source->GetData() + y * source->GetRowByte() + x * 3;
            const uint8_t* d = dest->GetData() + y * dest->GetRowByte() + x * 3;
            EXPECT_EQ(d[0], s[0] / 2);
            EXPECT_EQ(d[1], s[1]);
            EXPECT_EQ(d[2], std::min(255, s[2] + 10));
        }
    // In place, and refusals.
    ASSERT_TRUE(ctrl.MapImage(source, source));
    EXPECT_TRUE(testkit::SamePixels(*source, *dest));
    Image* small = new Image(4, 5, 3);
    Image* gray = new Image(17, 5, 1);
    EXPECT_FALSE(ctrl.MapImage(source, small));
    EXPECT_FALSE(ctrl.MapImage(source, gray));
    EXPECT_FALSE(ctrl.MapImage(nullptr, dest));
    // One channel goes through the red settings.
    Image* gray2 = new Image(17, 5, 1);
    gray->Fill(100);
    ASSERT_TRUE(ctrl.MapImage(gray, gray2));
    EXPECT_EQ(gray2->GetData()[0], 110);
    for (Image* i : {source, dest, small, gray, gray2}) ReleaseImage(i);
}

}  // namespace
