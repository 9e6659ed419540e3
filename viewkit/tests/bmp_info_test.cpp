#include "viewkit/bmp_info.h"

#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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

TEST(BmpInfo, DibRowsPadsOnlyImagesWhoseRowsAreNotPadded)
{
    struct Case {
        int width, channels;
        unsigned short layout;
        bool copied;
    };
    const Case cases[] = {
        {8, 3, 0, false},                  // 24 bytes: already a DIB row
        {7, 3, IMG_LAYOUT_BITMAP, false},  // BmpInit pads to 24
        {7, 3, 0, true},                   // 21 bytes, a DIB wants 24
        {5, 1, 0, true},
        {12, 1, 0, false},
    };
    for (const Case& c : cases) {
        Image* image = testkit::MakePatternImage(c.width, 3, c.channels, c.layout);
        std::vector<unsigned char> scratch;
        const unsigned char* rows = DibRows(image, scratch);
        EXPECT_EQ(rows != image->GetData(), c.copied) << c.width << " x " << c.channels;
        const size_t dibRow = static_cast<size_t>(DibRowBytes(c.width, c.channels * 8));
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(0, std::memcmp(rows + dibRow * y, image->GetData() + image->GetRowByte() * y,
                                     static_cast<size_t>(c.width) * c.channels));
        ReleaseImage(image);
    }
    std::vector<unsigned char> scratch;
    Image empty;
    EXPECT_EQ(DibRows(&empty, scratch), nullptr);
    EXPECT_EQ(DibRows(nullptr, scratch), nullptr);
}
