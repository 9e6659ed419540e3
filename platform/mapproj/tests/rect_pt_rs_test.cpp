// Points between an image plane and the rectangular sphere map: the two
// directions are inverse, and the map agrees with the sphere model of the
// transform module (longitude and latitude of the map position).
#include "platform/mapproj/rect_pt_rs.h"

#include "platform/xformkit/transform_rs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct View {
    int width, height;
    float pan, tilt, roll, fov;
};

TEST(RectPtRS, PlaneToMapAndBackIsTheIdentity)
{
    const View views[] = {{640, 480, 0, 0, 0, 1.0f},
                          {800, 600, 2.9f, -0.4f, 0.3f, 0.8f},  // near the map's wrap
                          {301, 201, -1.0f, 1.1f, -2.0f, 1.2f},
                          {1000, 1500, 0.5f, 0.0f, 1.5708f, 0.7f}};
    std::mt19937 rng(2);
    for (const View& v : views) {
        const int samples = 4 * static_cast<int>(kPi / 2 / (2 * std::tan(v.fov / 2) / v.width));  // ~image resolution
        // A rect somewhere around the image on the map.
        POINT2 centre{static_cast<float>(v.width / 2), static_cast<float>(v.height / 2)}, mc;
        const RECT zero{0, 0, 0, 0};
        ASSERT_EQ(1, CRectPtRS::PtsPlaneToRectMap(&centre, &mc, 1, &zero, samples, v.width, v.height, v.pan, v.tilt,
                                                  v.roll, v.fov));
        const RECT rect{static_cast<int32_t>(mc.x) - 700, static_cast<int32_t>(mc.y) - 500,
                        static_cast<int32_t>(mc.x) + 700, static_cast<int32_t>(mc.y) + 500};
        std::uniform_real_distribution<double> ux(0, v.width - 1), uy(0, v.height - 1);
        for (int i = 0; i < 200; ++i) {
            const POINT2 p{static_cast<float>(ux(rng)), static_cast<float>(uy(rng))};
            POINT2 m, back;
            ASSERT_EQ(1, CRectPtRS::PtsPlaneToRectMap(&p, &m, 1, &rect, samples, v.width, v.height, v.pan, v.tilt,
                                                      v.roll, v.fov));
            // The map position is the sphere position in samples.
            const POINT2 pt{v.pan, v.tilt}, q{p.x - v.width / 2, p.y - v.height / 2};
            POINT2 s;
            ASSERT_TRUE(CTransformRS::TransformPtWA(1, v.roll, static_cast<float>(2 * std::tan(v.fov / 2.0) / v.width),
                                                    &pt, &q, &s));
            const double lon = (rect.left + m.x - samples / 2) * 2 * kPi / samples;
            const double lat = (rect.top + m.y - samples / 4) * 2 * kPi / samples;
            ASSERT_NEAR(std::remainder(lon - s.x, 2 * kPi), 0, 1e-5);
            ASSERT_NEAR(lat, s.y, 1e-5);
            ASSERT_EQ(1, CRectPtRS::PtsRectMapToPlane(&m, &back, 1, &rect, samples, v.width, v.height, v.pan, v.tilt,
                                                      v.roll, v.fov));
            ASSERT_NEAR(back.x, p.x, 0.01) << v.width;
            ASSERT_NEAR(back.y, p.y, 0.01) << v.width;
        }
    }
}

TEST(RectPtRS, InPlaceArraysAndPointsBehindTheImage)
{
    const RECT rect{0, 0, 100, 100};
    const int samples = 4000;
    POINT2 pts[3] = {{2000, 1000}, {2010, 990}, {0, 1000}};  // the last is opposite the view (longitude -pi)
    EXPECT_EQ(2, CRectPtRS::PtsRectMapToPlane(pts, pts, 3, &rect, samples, 640, 480, 0, 0, 0, 1.0f));
    EXPECT_NEAR(pts[0].x, 320, 1e-3);
    EXPECT_NEAR(pts[0].y, 240, 1e-3);
    EXPECT_GT(pts[1].x, 320);  // right of the centre on the map is right in the image
    EXPECT_LT(pts[1].y, 240);  // above is above
    EXPECT_EQ(pts[2].x, 0);    // unmapped: left as it was
    EXPECT_EQ(0, CRectPtRS::PtsRectMapToPlane(pts, pts, 3, &rect, 2, 640, 480, 0, 0, 0, 1.0f));  // no map
    EXPECT_EQ(0, CRectPtRS::PtsRectMapToPlane(pts, pts, 3, &rect, samples, 640, 480, 0, 0, 0, 0.0f));
}

}  // namespace
