// The overlap view's rules: render size, zoom range, press classification
// and rotation steps.
#include "app/pairview/overlap_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(OverlapGeometry, RenderSizeLimitedByScreen)
{
    struct Case { int bgw, fgw, fgh, sw, sh, cx, cy; };
    const Case cases[] = {
        {640, 640, 480, 1280, 1024, 960, 853},
        {640, 640, 480, 800, 600, 800, 600},
        {400, 800, 900, 1920, 1200, 1000, 1200},
    };
    for (const Case& c : cases) {
        const SIZE s = OverlapRenderSize(c.bgw, c.fgw, c.fgh, c.sw, c.sh);
        EXPECT_EQ(s.cx, c.cx);
        EXPECT_EQ(s.cy, c.cy);
    }
}

TEST(OverlapGeometry, ZoomSequenceStaysInRange)
{
    float u = kOverlapRangeStart;
    u = OverlapZoomIn(u);
    EXPECT_NEAR(u, 1.04f, 1e-6);
    u = OverlapZoomIn(u);
    EXPECT_NEAR(u, 0.832f, 1e-6);
    for (int i = 0; i < 20; ++i) u = OverlapZoomIn(u);
    EXPECT_FLOAT_EQ(u, 0.25f);
    for (int i = 0; i < 20; ++i) u = OverlapZoomOut(u);
    EXPECT_FLOAT_EQ(u, 2.44346f);
}

TEST(OverlapGeometry, PressClassification)
{
    const SIZE render{960, 853};
    const POINT anchor{480, 400};
    struct Case { bool inFg, ctrl; POINT p; OverlapDrag drag; };
    const Case cases[] = {
        {true, false, {483, 400}, OverlapDrag::AnchorMove},  // 3 px
        {true, false, {530, 400}, OverlapDrag::FgShift},     // 50 px
        {true, false, {600, 400}, OverlapDrag::FgRotate},    // 120 px
        {true, false, {580, 400}, OverlapDrag::FgRotate},    // exactly 100 px
        {true, true, {600, 400}, OverlapDrag::AnchorMove},
        {false, false, {48, 400}, OverlapDrag::ViewRotate},  // 5 % from the left edge
        {false, false, {480, 810}, OverlapDrag::ViewRotate}, // 5 % from the bottom
        {false, false, {200, 400}, OverlapDrag::ViewShift},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyOverlapPress(c.inFg, c.ctrl, c.p, anchor, render), c.drag) << c.p.x << "," << c.p.y;
}

TEST(OverlapGeometry, TurnStepsIgnoredNearAnchorOrBeyond32Degrees)
{
    const POINT anchor{0, 0};
    float a = 0.0f;
    // 20 degrees counter-clockwise in y-down client pixels gives a positive
    // cross product u.x v.y - v.x u.y.
    const double r = 100.0, t = 20.0 * M_PI / 180.0;
    ASSERT_TRUE(OverlapTurnAngle(anchor, POINT{100, 0}, POINT{static_cast<int32_t>(r * std::cos(t)), static_cast<int32_t>(r * std::sin(t))}, &a));
    EXPECT_NEAR(a, t, 0.01);
    ASSERT_TRUE(OverlapTurnAngle(anchor, POINT{100, 0}, POINT{94, -34}, &a));
    EXPECT_LT(a, 0.0f);
    EXPECT_FALSE(OverlapTurnAngle(anchor, POINT{100, 0}, POINT{0, 100}, &a));  // 90 degrees
    EXPECT_FALSE(OverlapTurnAngle(anchor, POINT{100, 0}, POINT{5, 5}, &a));    // within 10 px
}
