// The fast B, G, R <-> R, G, B exchange gives the plain loop's bytes for
// every length around its 16-pixel steps, in place and between buffers, and
// never touches a byte past the last pixel.
#include "worldmap/rgb_swap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

TEST(RgbSwap, MatchesThePlainLoop)
{
    std::mt19937 rng(5);
    for (size_t pixels = 0; pixels < 110; ++pixels) {
        SCOPED_TRACE(pixels);
        std::vector<uint8_t> source(pixels * 3 + 8);
        for (auto& b : source) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> expected = source;
        SwapRgbBgrScalar(source.data(), expected.data(), pixels);
        for (size_t i = 0; i < pixels; ++i) {
            ASSERT_EQ(expected[3 * i], source[3 * i + 2]);
            ASSERT_EQ(expected[3 * i + 2], source[3 * i]);
        }
        std::vector<uint8_t> copy(source.size(), 0xA5);
        std::vector<uint8_t> guard = copy;
        SwapRgbBgr(source.data(), copy.data(), pixels);
        EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + static_cast<long>(pixels * 3), expected.begin()));
        EXPECT_TRUE(std::equal(copy.begin() + static_cast<long>(pixels * 3), copy.end(), guard.begin()));
        std::vector<uint8_t> inPlace = source;
        SwapRgbBgr(inPlace.data(), inPlace.data(), pixels);
        EXPECT_EQ(inPlace, expected);
        // The streaming stores need an aligned destination: every offset of
        // it must give the same bytes and keep off the guard bytes.
        for (size_t offset = 0; offset < 16; ++offset) {
            SCOPED_TRACE(offset);
            std::vector<uint8_t> streamed(source.size() + 16, 0xA5);
            SwapRgbBgrStreaming(source.data(), streamed.data() + offset, pixels);
            EXPECT_TRUE(std::all_of(streamed.begin(), streamed.begin() + static_cast<long>(offset),
                                    [](uint8_t b) { return b == 0xA5; }));
            EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + static_cast<long>(pixels * 3),
                                   streamed.begin() + static_cast<long>(offset)));
            EXPECT_TRUE(std::all_of(streamed.begin() + static_cast<long>(offset + pixels * 3), streamed.end(),
                                    [](uint8_t b) { return b == 0xA5; }));
        }
    }
}
