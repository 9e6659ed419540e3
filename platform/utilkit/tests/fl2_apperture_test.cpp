#include "platform/utilkit/fl2_apperture.h"
#include "platform/utilkit/vec2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

TEST(FL2Apperture, KnownAnglesOfThe35mmFrame)
{
    // 24 mm across the short side at 24 mm focal length: 2 atan(1/2) radians.
    EXPECT_NEAR(FL2Apperture::FL2ApperturePortrait_35mm(24.0f), 2.0 * std::atan(0.5), 1e-6);
    // A 4:3 image spans 32 mm: at 16 mm it sees a right angle.
    EXPECT_NEAR(FL2Apperture::FL2AppertureLandscape_35mm(16.0f, 0.75f), std::numbers::pi / 2, 1e-6);
    EXPECT_NEAR(FL2Apperture::appertureLandscape2FL_35mm(90.0f, 0.75f), 16.0f, 1e-4);
    EXPECT_NEAR(FL2Apperture::apperturePortrait2FL_35mm(90.0f), 12.0f, 1e-4);
    EXPECT_EQ(FL2Apperture::apperturePortrait2FL_35mm(0.0f), 0.0f);
    EXPECT_EQ(FL2Apperture::FL2ApperturePortrait_35mm(0.0f), 0.0f);
}

TEST(FL2Apperture, InverseTakesDegreesOfTheForwardRadians)
{
    const double toDegrees = 180.0 / std::numbers::pi;
    for (float focal : {8.0f, 10.0f, 17.5f, 35.0f, 150.0f, 200.0f}) {
        const float portrait = static_cast<float>(FL2Apperture::FL2ApperturePortrait_35mm(focal) * toDegrees);
        EXPECT_NEAR(FL2Apperture::apperturePortrait2FL_35mm(portrait), focal, focal * 1e-4);
        const float landscape = static_cast<float>(FL2Apperture::FL2AppertureLandscape_35mm(focal, 0.75f) * toDegrees);
        EXPECT_NEAR(FL2Apperture::appertureLandscape2FL_35mm(landscape, 0.75f), focal, focal * 1e-4);
    }
}

TEST(FL2Apperture, LegacyFocalLengthKeepsOnlyFinitePositiveValues)
{
    struct Case {
        float in, out;
    };
    const Case cases[] = {{35.0f, 35.0f}, {0.5f, 0.5f}, {0.0f, 0.0f}, {-24.0f, 0.0f},
                          {std::numeric_limits<float>::infinity(), 0.0f}, {std::nanf(""), 0.0f}};
    for (const Case& c : cases)
        EXPECT_EQ(FL_legacyTo35mm(c.in), c.out) << c.in;
}

TEST(Vec2, DistanceDifferenceUnitAndPerpendicular)
{
    EXPECT_FLOAT_EQ(CVec2::vec2_dist({1, 2}, {4, 6}), 5.0f);
    const POINT2 d = CVec2::vec2_diff({1, 2}, {4, 6});
    EXPECT_EQ(d.x, -3.0f);
    EXPECT_EQ(d.y, -4.0f);
    const POINT2 u = CVec2::vec2_unit({3, -4});
    EXPECT_FLOAT_EQ(u.x, 0.6f);
    EXPECT_FLOAT_EQ(u.y, -0.8f);
    const POINT2 z = CVec2::vec2_unit({0, 0});
    EXPECT_EQ(z.x + z.y, 0.0f);
    const POINT2 p = CVec2::vec2_perp({3, 4});
    EXPECT_EQ(p.x * 3 + p.y * 4, 0.0f);
    EXPECT_EQ(p.x, -4.0f);
}
