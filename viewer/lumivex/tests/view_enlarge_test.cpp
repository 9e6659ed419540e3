// The enlargement of moving frames against a plain per-pixel nearest pick
// at the target pixels' centres, over ratios that use the shuffled groups,
// the plain loop and both (odd sizes, barely larger, grey, one row).
#include "viewer/lumivex/view_enlarge.h"

#include "imaging/ref_count.h"
#include "viewer/engine/row_bands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

RefPtr<Image> Frame(int w, int h, int channels, uint32_t seed)
{
    auto img = RefPtr<Image>::adopt(new Image());
    EXPECT_EQ(img->BmpInit(w, h, channels), 0);
    for (size_t i = 0; i < img->GetDataSize(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        img->GetData()[i] = static_cast<unsigned char>(seed >> 24);
    }
    return img;
}

TEST(EnlargeViewFrame, EveryPixelIsTheSourcePixelUnderItsCentre)
{
    const struct {
        int sw, sh, dw, dh, channels;
    } cases[] = {
        {388, 500, 776, 1000, 3}, {776, 500, 1553, 1000, 3}, {5, 3, 17, 9, 3},   {300, 200, 301, 201, 3},
        {301, 37, 905, 80, 3},    {64, 40, 130, 81, 1},      {7, 1, 40, 3, 3},   {100, 60, 160, 96, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " ch " << c.channels);
        const RefPtr<Image> from = Frame(c.sw, c.sh, c.channels, 7u + c.dw);
        const RefPtr<Image> to = Frame(c.dw, c.dh, c.channels, 99u);
        ASSERT_TRUE(EnlargeViewFrame(*from, *to));
        int wrong = 0;
        for (int j = 0; j < c.dh && wrong < 5; ++j) {
            const int y = static_cast<int>((2 * int64_t{j} + 1) * c.sh / (2 * int64_t{c.dh}));
            for (int i = 0; i < c.dw && wrong < 5; ++i) {
                const int x = static_cast<int>((2 * int64_t{i} + 1) * c.sw / (2 * int64_t{c.dw}));
                const unsigned char* want = from->GetData() + y * from->GetRowByte() + x * c.channels;
                const unsigned char* got = to->GetData() + j * to->GetRowByte() + i * c.channels;
                if (std::memcmp(want, got, static_cast<size_t>(c.channels)) != 0) {
                    ADD_FAILURE() << "pixel (" << i << ", " << j << ") should be source (" << x << ", " << y << ")";
                    ++wrong;
                }
            }
        }
    }
}

TEST(EnlargeViewFrame, RefusesFramesThatDoNotFit)
{
    const RefPtr<Image> rgb = Frame(8, 8, 3, 1), grey = Frame(16, 16, 1, 2);
    auto empty = RefPtr<Image>::adopt(new Image());
    const std::vector<unsigned char> before(grey->GetData(), grey->GetData() + grey->GetDataSize());
    EXPECT_FALSE(EnlargeViewFrame(*rgb, *grey));
    EXPECT_FALSE(EnlargeViewFrame(*empty, *rgb));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), grey->GetData()));
}

}  // namespace
