// The blits' direct path (plain copies read straight from the source rows)
// against the general sampler path: SRCCOPY takes the direct path where it
// can, and the raster operation 0x00CC0000 (the same truth table, another
// code) always takes the general one; both must leave the same pixels.
#include "platform/win/dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr DWORD kGeneralCopy = 0x00CC0000;

// A drawing surface of 3 or 4 bytes a pixel filled with noise.
struct Surface {
    Surface(int width, int height, int channels, uint32_t seed)
        : width(width), height(height), channels(channels), rowBytes(width * channels + 4),
          bytes(static_cast<size_t>(rowBytes) * height)
    {
        std::mt19937 random(seed);
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    }
    bool AttachTo(CDC& dc)
    {
        return dc.AttachPixels(std::shared_ptr<void>(bytes.data(), [](void*) {}), bytes.data(), width, height,
                               rowBytes, channels);
    }
    int width, height, channels, rowBytes;
    std::vector<unsigned char> bytes;
};

struct Dib {
    Dib(int width, int height, int bits, bool topDown, uint32_t seed) : width(width), height(height), bits(bits)
    {
        info.resize(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        BITMAPINFOHEADER h{40, width, topDown ? -height : height, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0,
                           bits == 8 ? 200u : 0u, 0};  // 200 colours: indices past them read black
        std::memcpy(info.data(), &h, sizeof h);
        std::mt19937 random(seed);
        for (size_t i = sizeof h; i < info.size(); ++i) info[i] = static_cast<unsigned char>(random());
        pixels.resize(static_cast<size_t>(DibRowBytes(width, bits) * height));
        for (unsigned char& b : pixels) b = static_cast<unsigned char>(random());
    }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
    int width, height, bits;
    std::vector<unsigned char> info;
    std::vector<unsigned char> pixels;
};

}  // namespace

TEST(BlitDirect, StretchDIBitsCopiesAsTheGeneralPathDoes)
{
    struct Case {
        int bits;
        bool topDown;
        int channels;  // of the target
        int mode;
        int x, y, w, h, xs, ys, ws, hs;
        bool clip;
    };
    const Case cases[] = {
        {24, false, 3, BLACKONWHITE, 0, 0, 40, 30, 0, 0, 40, 30, false},       // one to one
        {24, true, 3, COLORONCOLOR, -5, 3, 40, 30, 0, 0, 40, 30, true},        // partly off the target, clipped
        {24, false, 3, COLORONCOLOR, 2, 1, 20, 15, 0, 0, 40, 30, false},       // shrunk
        {24, false, 4, HALFTONE, 2, 1, 80, 61, 3, 2, 30, 25, false},           // enlarged, 4-channel target
        {32, true, 3, COLORONCOLOR, 0, 0, 33, 17, 5, 4, 20, 20, true},
        {8, false, 3, COLORONCOLOR, 1, 1, 50, 50, 0, 0, 40, 30, false},        // palette, short of entries
        {24, false, 3, COLORONCOLOR, 0, 0, 40, 30, -10, -5, 40, 30, false},    // source rectangle past the DIB
        {24, false, 3, HALFTONE, 0, 0, 20, 15, 0, 0, 40, 30, false},           // box filter: general path anyway
        {24, true, 3, COLORONCOLOR, 30, 20, -20, -15, 0, 0, 40, 30, false},    // mirrored
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits to " << c.channels << " channels at " << c.x << ", "
                                        << c.y << " size " << c.w << " x " << c.h);
        const Dib dib(40, 30, c.bits, c.topDown, ++seed);
        Surface direct(64, 48, c.channels, seed), general(64, 48, c.channels, seed);
        const Surface untouched(64, 48, c.channels, seed);
        CDC a, b;
        ASSERT_TRUE(direct.AttachTo(a));
        ASSERT_TRUE(general.AttachTo(b));
        for (CDC* dc : {&a, &b}) {
            dc->SetStretchBltMode(c.mode);
            if (c.clip) dc->IntersectClipRect(4, 3, 30, 22);
        }
        StretchDIBits(&a, c.x, c.y, c.w, c.h, c.xs, c.ys, c.ws, c.hs, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS,
                      SRCCOPY);
        StretchDIBits(&b, c.x, c.y, c.w, c.h, c.xs, c.ys, c.ws, c.hs, dib.pixels.data(), dib.Info(), DIB_RGB_COLORS,
                      kGeneralCopy);
        EXPECT_TRUE(direct.bytes == general.bytes);
        EXPECT_FALSE(direct.bytes == untouched.bytes);  // something was drawn
    }
}

TEST(BlitDirect, BitBltAndStretchBltCopyAsTheGeneralPathDoes)
{
    struct Case {
        int sourceChannels, targetChannels, mode;
        int x, y, w, h, xs, ys, ws, hs;
    };
    const Case cases[] = {
        {4, 4, COLORONCOLOR, 0, 0, 30, 20, 5, 5, 30, 20},
        {3, 3, COLORONCOLOR, -4, -3, 30, 20, 40, 30, 30, 20},   // reads past the source's corner
        {4, 3, COLORONCOLOR, 2, 2, 60, 40, 10, 10, 30, 20},     // doubled
        {3, 4, BLACKONWHITE, 2, 2, 15, 10, 0, 0, 30, 20},       // halved
    };
    uint32_t seed = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceChannels << " to " << c.targetChannels << " at " << c.x);
        Surface source(48, 36, c.sourceChannels, ++seed);
        CDC from;
        ASSERT_TRUE(source.AttachTo(from));
        for (const bool stretch : {false, true}) {
            Surface direct(64, 48, c.targetChannels, seed + 7), general(64, 48, c.targetChannels, seed + 7);
            CDC a, b;
            ASSERT_TRUE(direct.AttachTo(a));
            ASSERT_TRUE(general.AttachTo(b));
            a.SetStretchBltMode(c.mode);
            b.SetStretchBltMode(c.mode);
            if (stretch) {
                a.StretchBlt(c.x, c.y, c.w, c.h, &from, c.xs, c.ys, c.ws, c.hs, SRCCOPY);
                b.StretchBlt(c.x, c.y, c.w, c.h, &from, c.xs, c.ys, c.ws, c.hs, kGeneralCopy);
            } else {
                a.BitBlt(c.x, c.y, c.w, c.h, &from, c.xs, c.ys, SRCCOPY);
                b.BitBlt(c.x, c.y, c.w, c.h, &from, c.xs, c.ys, kGeneralCopy);
            }
            EXPECT_TRUE(direct.bytes == general.bytes) << (stretch ? "StretchBlt" : "BitBlt");
        }
    }
}
