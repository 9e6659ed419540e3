// Reversing three-byte pixels: the vector path against the plain loop over
// lengths around its five-pixel steps, from and to unaligned addresses, with
// nothing written past the last pixel.
#include "qtmovie/pixel_order.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(PixelOrder, SwapRedBlueEqualsThePlainLoopForEveryLength)
{
    for (int pixels = 0; pixels <= 70; ++pixels) {
        for (int offset = 0; offset < 3; ++offset) {
            SCOPED_TRACE(testing::Message() << pixels << " pixels at offset " << offset);
            std::vector<uint8_t> src(static_cast<size_t>(3 * pixels + 8));
            for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
            std::vector<uint8_t> got(static_cast<size_t>(3 * pixels + 8), 0xEE), want = got;
            cinvora::SwapRedBlue(src.data() + offset, got.data() + offset, pixels);
            cinvora::SwapRedBluePlain(src.data() + offset, want.data() + offset, pixels);
            EXPECT_EQ(got, want);
            // The plain loop itself: red and blue change places.
            if (pixels > 0) {
                EXPECT_EQ(want[static_cast<size_t>(offset)], src[static_cast<size_t>(offset + 2)]);
                EXPECT_EQ(want[static_cast<size_t>(offset + 2)], src[static_cast<size_t>(offset)]);
                EXPECT_EQ(want[static_cast<size_t>(offset + 1)], src[static_cast<size_t>(offset + 1)]);
            }
            EXPECT_EQ(got[static_cast<size_t>(offset + 3 * pixels)], 0xEE);  // nothing past the end
        }
    }
}

}  // namespace
