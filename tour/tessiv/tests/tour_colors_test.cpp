#include "tour/tessiv/tour_colors.h"

#include <gtest/gtest.h>

namespace {

// Platform colours are 0x00BBGGRR; the viewers want "%x" of 0xRRGGBB.
TEST(TourColors, ViewerHexExchangesRedAndBlueWithoutLeadingZeros)
{
    struct Case {
        COLORREF color;
        const char* hex;
        const char* hex6;
    };
    const Case cases[] = {
        {0x000000, "0", "000000"},
        {RGB(255, 0, 0), "ff0000", "ff0000"},    // red
        {RGB(0, 0, 255), "ff", "0000ff"},        // blue
        {RGB(0, 255, 0), "ff00", "00ff00"},
        {0xD8E9EC, "ece9d8", "ece9d8"},          // the default control-bar colour
        {0x0080FF, "ff8000", "ff8000"},          // the default vista-bench colour
        {0x808000, "8080", "008080"},            // the default page colour
        {RGB(1, 2, 3), "10203", "010203"},
        {0xFFFFFF, "ffffff", "ffffff"},
        {0x02FF0000, "ff", "0000ff"},            // a palette flag in the top byte is not a colour
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ViewerColorHex(c.color), c.hex) << std::hex << c.color;
        EXPECT_EQ(ViewerColorHex6(c.color), c.hex6) << std::hex << c.color;
    }
}

TEST(TourColors, SwapIsItsOwnInverse)
{
    for (COLORREF c : {0x00123456u, 0x00FF0001u, 0x7F00FF00u}) {
        EXPECT_EQ(SwapRedBlue(SwapRedBlue(c)), c);
        EXPECT_EQ(GetRValue(SwapRedBlue(c)), GetBValue(c));
        EXPECT_EQ(GetGValue(SwapRedBlue(c)), GetGValue(c));
    }
}

TEST(TourColors, ContrastAndLighterShade)
{
    struct Case {
        COLORREF color;
        COLORREF contrast;
        COLORREF lighter;
    };
    const Case cases[] = {
        {RGB(0, 0, 0), RGB(255, 255, 255), RGB(100, 100, 100)},
        {RGB(255, 255, 255), RGB(0, 0, 0), RGB(163, 163, 163)},
        {RGB(127, 128, 129), RGB(255, 0, 0), RGB(131, 132, 132)},
        {0xD8E9EC, RGB(0, 0, 0), RGB(0xEC / 4 + 100, 0xE9 / 4 + 100, 0xD8 / 4 + 100)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ContrastColor(c.color), c.contrast) << std::hex << c.color;
        EXPECT_EQ(LighterShade(c.color), c.lighter) << std::hex << c.color;
    }
}

}  // namespace
