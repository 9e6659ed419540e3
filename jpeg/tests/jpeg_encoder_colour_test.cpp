// The encoder's integer colour conversion gives exactly the samples of the
// floating-point definition, for every one of the 2^24 colours.
#include "jpeg/jpeg_encoder_colour.h"

#include <gtest/gtest.h>

namespace {

TEST(EncoderColour, IntegerFormsEqualTheFloatingDefinitionForEveryColour)
{
    long wholeChroma = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const int n = jpegcolour::Weighted(b, g, r);
                ASSERT_EQ(jpegcolour::Luma(n), jpegcolour::LumaReference(b, g, r)) << r << " " << g << " " << b;
                ASSERT_EQ(jpegcolour::Cb(n, b, g, r), jpegcolour::CbReference(b, g, r)) << r << " " << g << " " << b;
                ASSERT_EQ(jpegcolour::Cr(n, b, g, r), jpegcolour::CrReference(b, g, r)) << r << " " << g << " " << b;
                wholeChroma += (1000 * b - n) % 1772 == 0;
            }
    // The floating route is taken, and rarely.
    EXPECT_GT(wholeChroma, 0);
    EXPECT_LT(wholeChroma, (1 << 24) / 100);
}

TEST(EncoderColour, Extremes)
{
    EXPECT_EQ(jpegcolour::LumaReference(0, 0, 0), -128);
    EXPECT_EQ(jpegcolour::LumaReference(255, 255, 255), 127);
    // Pure blue: Cb would be (255 - 29.07) / 1.772 = 127.5, limited to 127.
    EXPECT_EQ(jpegcolour::CbReference(255, 0, 0), 127);
    // Grey 100: Y 100 - 128 = -28; no chroma.
    EXPECT_EQ(jpegcolour::LumaReference(100, 100, 100), -28);
    EXPECT_EQ(jpegcolour::CbReference(100, 100, 100), 0);
}

}  // namespace
