// Value maps as grey images: the stretch between the limits, equal and
// crossed limits, NaN, every sample type, and the refusals.
#include "imaging/value_image.h"

#include "core/logger.h"
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

TEST(MapToImage, StretchesBetweenTheLimitsAndNeverDividesByZero)
{
    const float f[5] = {-1.0f, 0.0f, 5.0f, 10.0f, NAN};
    struct Case {
        float lo, hi;
        unsigned char expect[5];
    };
    const Case cases[] = {
        {0.0f, 10.0f, {0, 0, 127, 255, 0}},
        {5.0f, 5.0f, {0, 0, 0, 255, 0}},  // equal limits: up to them 0, above 255
        {10.0f, 0.0f, {0, 0, 0, 0, 0}},   // crossed limits likewise: nothing is above 10
    };
    for (const Case& c : cases) {
        Image* img = MapToImage(f, 5, 1, c.lo, c.hi);
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->GetChannels(), 3);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(img->GetData()[3 * i], c.expect[i]) << c.lo << ".." << c.hi << " #" << i;
            EXPECT_EQ(img->GetData()[3 * i + 2], c.expect[i]);
        }
        ReleaseImage(img);
    }
    const int32_t side[4] = {-3, 27, 155, 100};
    Image* img = MapToImage(side, 2, 2, 0, 255);
    EXPECT_EQ(img->GetData()[0], 0);
    EXPECT_EQ(img->GetData()[3], 27);
    EXPECT_EQ(img->GetData()[img->GetRowByte() + 3], 100);
    ReleaseImage(img);
    const signed char dist[3] = {0, 5, 11};
    img = MapToImage(dist, 3, 1, 0, 11);
    EXPECT_EQ(img->GetData()[3], 5 * 255 / 11);
    ReleaseImage(img);
    const unsigned char same[2] = {7, 8};
    img = MapToImage(same, 2, 1, 7, 7);
    EXPECT_EQ(img->GetData()[0], 0);
    EXPECT_EQ(img->GetData()[3], 255);
    ReleaseImage(img);
    LogCapture log;
    EXPECT_EQ(MapToImage(f, 0, 1, 0.0f, 1.0f), nullptr);
    EXPECT_EQ(MapToImage(static_cast<const float*>(nullptr), 2, 2, 0.0f, 1.0f), nullptr);
}

}  // namespace
