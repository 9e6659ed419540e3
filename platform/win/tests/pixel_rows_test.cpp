// The 24-to-32-bit row spread against its plain loop, and SetDIBitsToDevice
// (which now takes the blits' direct path) against the general path of a
// one-to-one StretchDIBits with a raster operation of the same truth table.
#include "platform/win/dib.h"
#include "platform/win/pixel_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr DWORD kGeneralCopy = 0x00CC0000;

std::vector<unsigned char> Noise(size_t n, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(n);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
}

TEST(PixelRows, SpreadKeepsTheFourthByteAndMatchesThePlainLoop)
{
    for (size_t pixels : {size_t{0}, size_t{1}, size_t{3}, size_t{5}, size_t{6}, size_t{7}, size_t{8}, size_t{17},
                          size_t{1000}, size_t{1921}}) {
        // The source ends exactly at its last pixel: no read past it.
        const std::vector<unsigned char> from = Noise(pixels * 3, 3 + static_cast<uint32_t>(pixels));
        std::vector<unsigned char> fast = Noise(pixels * 4, 9), plain = fast;
        const std::vector<unsigned char> before = fast;
        win::CopyBgrToBgrx(from.data(), fast.data(), pixels);
        win::CopyBgrToBgrxPlain(from.data(), plain.data(), pixels);
        EXPECT_EQ(fast, plain) << pixels;
        for (size_t i = 0; i < pixels; ++i) {
            ASSERT_EQ(0, std::memcmp(&fast[4 * i], &from[3 * i], 3)) << pixels << " pixel " << i;
            ASSERT_EQ(fast[4 * i + 3], before[4 * i + 3]) << pixels << " pixel " << i;
        }
    }
}

TEST(PixelRows, SetDIBitsToDeviceDrawsAsTheGeneralPath)
{
    struct Case {
        int bits;
        bool topDown;
        int channels;
        int x, y, w, h, xs, ys;
        bool clip;
    } cases[] = {
        {24, true, 4, 0, 0, 40, 30, 0, 0, false},
        {24, false, 4, 3, 2, 30, 20, 5, 4, false},
        {24, true, 4, -6, -3, 40, 30, 0, 0, true},   // off the target's corner, clipped
        {24, true, 4, 10, 5, 50, 40, -5, -3, false}, // source rectangle past the DIB
        {24, true, 3, 1, 1, 35, 25, 2, 2, false},
        {8, true, 4, 0, 0, 40, 30, 0, 0, false},     // palette
        {32, false, 4, 2, 2, 20, 20, 7, 3, true},
    };
    uint32_t seed = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, top-down " << c.topDown << ", at " << c.x << ", " << c.y);
        ++seed;
        std::vector<unsigned char> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        const BITMAPINFOHEADER h{40, 40, c.topDown ? -30 : 30, 1, static_cast<WORD>(c.bits), BI_RGB, 0, 0, 0, 0, 0};
        std::memcpy(info.data(), &h, sizeof h);
        const std::vector<unsigned char> palette = Noise(256 * 4, seed);
        std::memcpy(info.data() + sizeof h, palette.data(), palette.size());
        const std::vector<unsigned char> bits = Noise(static_cast<size_t>(DibRowBytes(40, c.bits)) * 30, seed + 1);
        const auto* bi = reinterpret_cast<const BITMAPINFO*>(info.data());
        const int rowBytes = 64 * c.channels;
        std::vector<unsigned char> direct = Noise(static_cast<size_t>(rowBytes) * 48, seed + 2), general = direct;
        const std::vector<unsigned char> untouched = direct;
        CDC a, b;
        ASSERT_TRUE(a.AttachPixels(std::shared_ptr<void>(direct.data(), [](void*) {}), direct.data(), 64, 48, rowBytes,
                                   c.channels));
        ASSERT_TRUE(b.AttachPixels(std::shared_ptr<void>(general.data(), [](void*) {}), general.data(), 64, 48,
                                   rowBytes, c.channels));
        if (c.clip) {
            a.IntersectClipRect(4, 3, 30, 22);
            b.IntersectClipRect(4, 3, 30, 22);
        }
        EXPECT_EQ(SetDIBitsToDevice(&a, c.x, c.y, static_cast<DWORD>(c.w), static_cast<DWORD>(c.h), c.xs, c.ys, 0, 30,
                                    bits.data(), bi, DIB_RGB_COLORS),
                  30);
        StretchDIBits(&b, c.x, c.y, c.w, c.h, c.xs, c.ys, c.w, c.h, bits.data(), bi, DIB_RGB_COLORS, kGeneralCopy);
        EXPECT_TRUE(direct == general);
        EXPECT_FALSE(direct == untouched);
    }
}

}  // namespace
