#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each rotation code against ImageMagick doing the same turn or mirror on
// the same pixels, byte for byte.
struct RotateCase {
    int angle;
    const char* convertArgs;
};

void PrintTo(const RotateCase& c, std::ostream* os)
{
    *os << "Rotate(" << c.angle << ") vs convert " << c.convertArgs;
}

class ImageRotateOracle : public ::testing::TestWithParam<std::tuple<RotateCase, int>> {};

TEST_P(ImageRotateOracle, MatchesImageMagick)
{
    ASSERT_TRUE(testkit::RequireTool("convert"));
    const auto [c, channels] = GetParam();
    testkit::TempDir dir;
    // Odd sizes and bitmap rows (padding) catch off-by-one and stride errors.
    Image* image = testkit::MakePatternImage(7, 5, channels, IMG_LAYOUT_BITMAP, 11);
    const std::string in = dir.file(channels == 1 ? "in.pgm" : "in.ppm");
    const std::string out = dir.file(channels == 1 ? "out.pgm" : "out.ppm");
    ASSERT_TRUE(testkit::WritePnm(*image, in));
    const auto run = testkit::Run("convert " + in + " " + c.convertArgs + " " + out);
    ASSERT_EQ(run.status, 0) << run.output;
    Image* expected = testkit::ReadPnm(out);
    ASSERT_NE(expected, nullptr);

    ASSERT_EQ(image->Rotate(c.angle), 0);
    EXPECT_TRUE(image->IsBmp());
    EXPECT_EQ(image->GetRowByte() % 4, 0);
    EXPECT_TRUE(testkit::SamePixels(*image, *expected)) << "angle " << c.angle;
    ReleaseImage(expected);
    ReleaseImage(image);
}

INSTANTIATE_TEST_SUITE_P(AllCodes, ImageRotateOracle,
                         ::testing::Combine(::testing::Values(RotateCase{90, "-rotate 90"},
                                                              RotateCase{-90, "-rotate -90"},
                                                              RotateCase{180, "-rotate 180"},
                                                              RotateCase{270, "-flop"},
                                                              RotateCase{-180, "-flip"}),
                                            ::testing::Values(1, 3)),
                         [](const auto& info) {
                             const int angle = std::get<0>(info.param).angle;
                             return (angle < 0 ? "minus" + std::to_string(-angle) : std::to_string(angle)) +
                                    "_channels" + std::to_string(std::get<1>(info.param));
                         });

TEST(ImageRotate, QuarterTurnsRoundTripOnOddSizes)
{
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {13, 7}, {130, 67}}) {
        Image* image = testkit::MakePatternImage(w, h, 3, IMG_LAYOUT_BITMAP, static_cast<uint32_t>(w * h));
        Image* original = image->Duplicate();
        ASSERT_EQ(image->Rotate(90), 0);
        EXPECT_EQ(image->GetWidth(), h);
        EXPECT_EQ(image->GetHeight(), w);
        ASSERT_EQ(image->Rotate(-90), 0);
        EXPECT_TRUE(testkit::SamePixels(*image, *original)) << w << "x" << h;
        for (int angle : {270, -180, 180}) {
            image->Rotate(angle);
            image->Rotate(angle);
            EXPECT_TRUE(testkit::SamePixels(*image, *original)) << "twice " << angle << " on " << w << "x" << h;
        }
        ReleaseImage(original);
        ReleaseImage(image);
    }
}

TEST(ImageRotate, QuarterTurnClearsRowPadding)
{
    // 5 x 3 RGB in bitmap rows: the turned rows are 9 bytes used of 12.
    Image* image = testkit::MakePatternImage(5, 3, 3, IMG_LAYOUT_BITMAP, 3);
    ASSERT_EQ(image->Rotate(90), 0);
    ASSERT_EQ(image->GetRowByte(), 12);
    for (int y = 0; y < image->GetHeight(); ++y)
        for (int i = 9; i < 12; ++i) EXPECT_EQ(image->GetData()[y * 12 + i], 0) << "row " << y;
    ReleaseImage(image);
}

TEST(ImageRotate, HalfTurnKeepsTheCentreAndOtherCodesDoNothing)
{
    Image* image = testkit::MakePatternImage(3, 3, 3, 0, 5);
    Image* original = image->Duplicate();
    ASSERT_EQ(image->Rotate(180), 0);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(image->GetData()[4 * 3 + c], original->GetData()[4 * 3 + c]);
    EXPECT_EQ(image->GetData()[0], original->GetData()[8 * 3]);
    image->Rotate(180);
    for (int code : {0, 45, 360, -270}) {
        EXPECT_EQ(image->Rotate(code), 0);
        EXPECT_TRUE(testkit::SamePixels(*image, *original)) << code;
    }
    ReleaseImage(original);
    ReleaseImage(image);
}

TEST(ImageRotate, PlanarImagesAreRefused)
{
    Image image;
    image.SetSize(4, 2);
    image.SetChannels(3);
    image.SetDataType(IMG_UINT8);
    image.SetDataLayoutType(256);
    ASSERT_EQ(image.Init(), 0);
    EXPECT_EQ(image.Rotate(90), -1);
    EXPECT_EQ(image.GetWidth(), 4);
}

}  // namespace
