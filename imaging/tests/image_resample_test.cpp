#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// Slow, obviously-right area average of one output sample: integrates the
// source over the output pixel's footprint in double precision.
double AreaAverage(const Image& src, int x0, int y0, double step_x, double step_y, int ox, int oy, int c)
{
    const double lx = ox * step_x, hx = (ox + 1) * step_x;
    const double ly = oy * step_y, hy = (oy + 1) * step_y;
    double sum = 0.0;
    for (int y = static_cast<int>(std::floor(ly)); y < std::ceil(hy); ++y)
        for (int x = static_cast<int>(std::floor(lx)); x < std::ceil(hx); ++x) {
            const double wx = std::min(hx, x + 1.0) - std::max(lx, double(x));
            const double wy = std::min(hy, y + 1.0) - std::max(ly, double(y));
            sum += wx * wy * src.GetData()[(y0 + y) * src.GetRowByte() + (x0 + x) * src.GetPixelBytes() + c];
        }
    return sum / ((hx - lx) * (hy - ly));
}

TEST(ImageZoom, ShrinkingAveragesTheCoveredArea)
{
    Image* src = testkit::MakePatternImage(37, 29, 3, IMG_LAYOUT_BITMAP, 9);
    // A region and a non-integer factor: every output pixel straddles sources.
    Image* out = src->ZoomImage(3, 2, 30, 24, 0.3f, 0.3f);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->GetWidth(), 9);
    ASSERT_EQ(out->GetHeight(), 7);
    EXPECT_TRUE(out->IsBmp());
    const double sx = 30.0 / 9, sy = 24.0 / 7;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            for (int c = 0; c < 3; ++c) {
                const double expected = AreaAverage(*src, 3, 2, sx, sy, x, y, c);
                const int got = out->GetData()[y * out->GetRowByte() + x * 3 + c];
                ASSERT_NEAR(got, expected, 0.51) << x << "," << y << "," << c;
            }
    ReleaseImage(out);
    ReleaseImage(src);
}

TEST(ImageZoom, EnlargingInterpolatesBetweenCentres)
{
    Image src(2, 1, 1);
    src.GetData()[0] = 0;
    src.GetData()[1] = 200;
    Image* out = src.ZoomImage(0, 0, 2, 1, 4.0f, 1.0f);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->GetWidth(), 8);
    // Centres of the output pixels map to source x = (i + 0.5) / 4 - 0.5.
    const int expected[8] = {0, 0, 25, 75, 125, 175, 200, 200};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out->GetData()[i], expected[i]) << i;
    ReleaseImage(out);
}

TEST(ImageZoom, ConstantImagesStayConstantAndBadArgumentsFail)
{
    Image src(50, 40, 3);
    src.Fill(0x405060);
    for (float z : {0.13f, 0.5f, 1.0f, 1.7f}) {
        Image* out = src.ZoomImage(0, 0, 50, 40, z, z);
        ASSERT_NE(out, nullptr);
        for (int y = 0; y < out->GetHeight(); ++y)
            for (int x = 0; x < out->GetWidth(); ++x) {
                const unsigned char* p = out->GetData() + y * out->GetRowByte() + 3 * x;
                ASSERT_EQ(p[0], 0x60);
                ASSERT_EQ(p[1], 0x50);
                ASSERT_EQ(p[2], 0x40);
            }
        ReleaseImage(out);
    }
    EXPECT_EQ(src.ZoomImage(60, 0, 10, 10, 1.0f, 1.0f), nullptr);  // region outside
    EXPECT_EQ(src.ZoomImage(0, 0, 10, 10, 0.0f, 1.0f), nullptr);
    EXPECT_EQ(src.ZoomImage(0, 0, 10, 10, NAN, 1.0f), nullptr);
}

TEST(ImageStamp, LongerSideTakesTheSizeAndAspectIsKept)
{
    struct Case { int w, h, size, outW, outH; };
    for (const Case& c : {Case{4000, 3000, 196, 196, 147}, Case{3000, 4000, 196, 147, 196},
                          Case{1000, 10, 100, 100, 1}, Case{7, 7, 196, 196, 196}}) {
        Image* src = testkit::MakePatternImage(c.w, c.h, 3);
        Image* stamp = Image::CreateStampImage(src, c.size);
        ASSERT_NE(stamp, nullptr);
        EXPECT_EQ(stamp->GetWidth(), c.outW) << c.w << "x" << c.h;
        EXPECT_EQ(stamp->GetHeight(), c.outH) << c.w << "x" << c.h;
        EXPECT_EQ(stamp->m_refCount, 1);
        ReleaseImage(stamp);
        ReleaseImage(src);
    }
    EXPECT_EQ(Image::CreateStampImage(nullptr, 10), nullptr);
}

}  // namespace
