// The pair marker view's geometry: content size, initial zoom on a screen,
// zoom stepping and the marker hit tolerance.
#include "app/pairview/pair_view_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(PairViewGeometry, ContentIsBothImagesWithGapAndLargerHeight)
{
    struct Case { int w1, h1, w2, h2, cx, cy; };
    const Case cases[] = {
        {640, 480, 640, 480, 1282, 480},
        {800, 600, 640, 480, 1442, 600},
        {300, 200, 400, 900, 702, 900},
    };
    for (const Case& c : cases) {
        const SIZE s = PairContentSize(c.w1, c.h1, c.w2, c.h2);
        EXPECT_EQ(s.cx, c.cx) << c.w1 << "x" << c.h1;
        EXPECT_EQ(s.cy, c.cy) << c.w1 << "x" << c.h1;
    }
}

TEST(PairViewGeometry, InitialZoomFitsOrSnaps)
{
    struct Case { int cx, cy, sw, sh; float zoom; };
    const Case cases[] = {
        {1282, 480, 1280, 1024, 1.0f},    // 1280/1282 = 0.998 snaps to 1.0
        {1200, 480, 1280, 1024, 1.0f},    // fits
        {3000, 480, 1280, 1024, 0.5f},    // 0.4267 -> 50 %
        {6000, 480, 1280, 1024, 0.25f},   // 0.2133 -> 25 %
        {1600, 3000, 1280, 1024, 0.25f},  // height decides: 0.341
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(InitialPairZoom(SIZE{c.cx, c.cy}, c.sw, c.sh), c.zoom) << c.cx << "x" << c.cy;
}

TEST(PairViewGeometry, SnapTableBoundaries)
{
    struct Case { float in, out; };
    const Case cases[] = {
        {0.1f, 0.25f}, {0.374f, 0.25f}, {0.375f, 0.5f}, {0.624f, 0.5f}, {0.625f, 0.75f},
        {0.875f, 1.0f}, {1.249f, 1.0f}, {1.25f, 1.5f}, {1.75f, 2.0f}, {2.25f, 2.5f}, {9.0f, 2.5f},
    };
    for (const Case& c : cases) EXPECT_FLOAT_EQ(SnapZoom(c.in), c.out) << c.in;
}

TEST(PairViewGeometry, ZoomStepsOnlyFromExactStepsAndStopAtEnds)
{
    struct Case { float zoom, in, out; };
    const Case cases[] = {
        {0.5f, 0.75f, 0.25f},
        {1.0f, 1.5f, 0.75f},
        {2.5f, 2.5f, 2.0f},    // zoom in at 250 % does nothing
        {0.25f, 0.5f, 0.25f},  // zoom out at 25 % does nothing
        {0.6f, 0.6f, 0.6f},    // not a step: nothing
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(ZoomStepIn(c.zoom), c.in) << c.zoom;
        EXPECT_FLOAT_EQ(ZoomStepOut(c.zoom), c.out) << c.zoom;
    }
}

TEST(PairViewGeometry, HitToleranceIsFiveClientPixels)
{
    // A click 4 content pixels away hits at zoom 1.0 but not at zoom 2.0 (2.5).
    EXPECT_LE(4.0f, MarkerTolerance(1.0f));
    EXPECT_GT(4.0f, MarkerTolerance(2.0f));
    EXPECT_FLOAT_EQ(MarkerTolerance(2.0f), 2.5f);
}

TEST(PairViewGeometry, ClientContentRoundTrip)
{
    const POINT scroll{30, 10};
    const POINT content = ClientToContent(POINT{70, 90}, scroll, 0.5f);
    EXPECT_EQ(content.x, 200);
    EXPECT_EQ(content.y, 200);
    const POINT client = ContentToClient(content, scroll, 0.5f);
    EXPECT_EQ(client.x, 70);
    EXPECT_EQ(client.y, 90);
}
