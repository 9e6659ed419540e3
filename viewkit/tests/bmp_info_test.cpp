#include "viewkit/bmp_info.h"

#include "imaging/image.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(BmpInfo, InitMakesAHeaderWithPlanesOneAndAGreyPalette)
{
    BITMAPINFO* info = BmpInfoInit();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bmiHeader.biSize, 40u);
    EXPECT_EQ(info->bmiHeader.biPlanes, 1);
    EXPECT_EQ(info->bmiHeader.biWidth, 0);
    EXPECT_EQ(info->bmiHeader.biBitCount, 0);
    const RGBQUAD* palette = BmpInfoPalette(info);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(palette[i].rgbBlue, i);
        EXPECT_EQ(palette[i].rgbGreen, i);
        EXPECT_EQ(palette[i].rgbRed, i);
        EXPECT_EQ(palette[i].rgbReserved, 0);
    }
    std::free(info);
}

TEST(BmpInfo, TheSharedHeaderIsFilledForImagesAndSizes)
{
    Image grey(7, 5, 1);
    BITMAPINFO* info = FillBmpInfo(&grey);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bmiHeader.biWidth, 7);
    EXPECT_EQ(info->bmiHeader.biHeight, -5);
    EXPECT_EQ(info->bmiHeader.biBitCount, 8);
    Image colour(9, 4, 3);
    EXPECT_EQ(FillBmpInfo(&colour), info);  // one header for everybody
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    EXPECT_EQ(info->bmiHeader.biHeight, -4);

    struct Case {
        int width, height, bits;
        DWORD size, colours;
    };
    const Case cases[] = {
        {7, 5, 8, 8 * 5, 256},      // rows padded to 8
        {7, -5, 24, 24 * 5, 0},     // 21 bytes padded to 24; the size takes |height|
        {33, 2, 1, 8 * 2, 2},       // 33 bits: two words
        {240, 240, 32, 960 * 240, 0},
    };
    for (const Case& c : cases) {
        FillBmpInfo(c.width, c.height, c.bits);
        EXPECT_EQ(info->bmiHeader.biWidth, c.width);
        EXPECT_EQ(info->bmiHeader.biHeight, c.height);
        EXPECT_EQ(info->bmiHeader.biBitCount, c.bits);
        EXPECT_EQ(info->bmiHeader.biSizeImage, c.size) << c.width << " x " << c.height << " x " << c.bits;
        EXPECT_EQ(info->bmiHeader.biClrUsed, c.colours);
    }
    ResetBmpInfo();
    EXPECT_EQ(info->bmiHeader.biSizeImage, 0u);
    EXPECT_EQ(info->bmiHeader.biClrUsed, 0u);
    EXPECT_EQ(info->bmiHeader.biPlanes, 1);
}
