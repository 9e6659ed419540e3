// The flat-view blender against a world painted by a smooth function: frames
// are shot from that world through the shared camera model, rendered back
// into a perspective picture, and the picture is compared pixel by pixel with
// the world seen directly through the viewport.
#include "platform/cubekit/map_blend.h"

#include "imaging/image.h"
#include "platform/xformkit/camera_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace xformkit;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// The world's brightness in a direction: smooth, so bilinear sampling of a
// frame shot from it stays within a level or two of the truth.
double World(const Vec3& ray)
{
    double lon, lat;
    RayToSphere(ray, lon, lat);
    return 128.0 + 70.0 * std::sin(3 * lon) * std::cos(2 * lat) + 30.0 * std::sin(5 * lat);
}

Vec3 Normalised(Vec3 v)
{
    const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / n, v.y / n, v.z / n};
}

// A frame of w x h shot from the world (times gain) at the placement t.
Image* Shoot(const TRANSFORM_RS& t, int w, int h, double gain = 1.0)
{
    Image* img = new Image(w, h, 3);
    const Mat3 place = PlacementMatrix(t.pan, t.tilt, t.roll);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Vec3 ray = Apply(place, Vec3{(x - t.centreX) * t.rcpFocal, (y - t.centreY) * t.rcpFocal, 1.0});
            const double v = std::clamp(gain * World(Normalised(ray)), 1.0, 255.0);
            uint8_t* p = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + 3 * x;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(std::lround(v));
        }
    }
    return img;
}

TRANSFORM_RS Placement(double panDeg, double tiltDeg, double rollDeg, float rcp, float cx, float cy)
{
    TRANSFORM_RS t{};
    t.rcpFocal = rcp;
    t.pan = static_cast<float>(panDeg * kDeg);
    t.tilt = static_cast<float>(tiltDeg * kDeg);
    t.roll = static_cast<float>(rollDeg * kDeg);
    t.centreX = cx;
    t.centreY = cy;
    t.scale = 1.0f;
    return t;
}

int Sample(const Image* img, int x, int y)
{
    return img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + 3 * x];
}

}  // namespace

TEST(MapBlend, FramesRenderTheWorldSeenThroughTheView)
{
    // Three frames 40 degrees apart, one with its optical centre off the
    // image centre and one rolled; the view looks between them, rolled and
    // tilted, so that every frame and seam shows.
    const std::vector<TRANSFORM_RS> frames = {Placement(-40, 5, 0, 1 / 400.0f, 160, 120),
                                              Placement(0, -3, 4, 1 / 400.0f, 150, 131),
                                              Placement(40, 2, -3, 1 / 420.0f, 160, 120)};
    Image* target = new Image(240, 120, 3);
    CMapBlend blend;
    blend.SetImgO(target);
    const POINT2 dir{static_cast<float>(3 * kDeg), static_cast<float>(2 * kDeg)};
    const float roll = static_cast<float>(5 * kDeg), fov = static_cast<float>(90 * kDeg);
    blend.SetViewPort(&dir, roll, fov);
    for (size_t i = 0; i < frames.size(); ++i) {
        Image* img = Shoot(frames[i], 320, 240);
        EXPECT_TRUE(blend.MapBlendOneImage(img, &frames[i], 12, static_cast<int>(i % 3)));
        ReleaseImage(img);
    }

    // The view ray of a target pixel, written out here with its own algebra.
    const Mat3 view = PlacementMatrix(dir.x, dir.y, roll);
    const double pixelAngle = std::tan(fov / 2.0) / 120.0;
    double sum = 0, worst = 0;
    int covered = 0, seen = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 240; ++x) {
            const Vec3 ray = Apply(view, Vec3{(x - 120) * pixelAngle, (y - 60) * pixelAngle, 1});
            // Seen by a frame when the ray lands inside its picture.
            bool inFrame = false;
            for (const TRANSFORM_RS& t : frames) {
                const Vec3 cam = Apply(Transpose(PlacementMatrix(t.pan, t.tilt, t.roll)), ray);
                const double px = cam.x / (cam.z * t.rcpFocal) + t.centreX, py = cam.y / (cam.z * t.rcpFocal) + t.centreY;
                inFrame = inFrame || (cam.z > 0 && px >= 0.5 && py >= 0.5 && px <= 318.5 && py <= 238.5);
            }
            const int got = Sample(target, x, y);
            seen += inFrame;
            if (got == 0) {
                EXPECT_FALSE(inFrame) << x << "," << y;
                continue;
            }
            ++covered;
            const double want = World(Normalised(ray));
            sum += std::abs(got - want);
            worst = std::max(worst, std::abs(got - want));
        }
    }
    // Covered exactly where a frame sees (up to the half-pixel rim).
    EXPECT_GE(covered, seen);
    EXPECT_LT(covered, seen + 600);
    EXPECT_GT(seen, 240 * 120 / 2);
    EXPECT_EQ(covered, blend.CoveredSamples());
    EXPECT_LT(sum / covered, 1.0);
    EXPECT_LE(worst, 4.0);
    ReleaseImage(target);
}

TEST(MapBlend, SeamKindDecidesWhichFrameShowsInTheOverlap)
{
    // Two frames of the same world with gains 0.6 and 1.2: inside the
    // overlap the gain tells which frame a pixel came from.
    const TRANSFORM_RS left = Placement(-20, 0, 0, 1 / 300.0f, 160, 120);
    const TRANSFORM_RS right = Placement(20, 0, 0, 1 / 300.0f, 160, 120);
    Image* a = Shoot(left, 320, 240, 0.6);
    Image* b = Shoot(right, 320, 240, 1.2);
    const POINT2 dir{0, 0};
    const double pixelAngle = std::tan(50 * kDeg) / 150.0;
    const Mat3 view = PlacementMatrix(0, 0, 0);
    // Gain the picture shows at column x of the middle row.
    auto gainAt = [&](const Image* img, int x) {
        return Sample(img, x, 50) / World(Normalised(Apply(view, Vec3{(x - 150) * pixelAngle, -0.0, 1})));
    };
    struct Case {
        int kind;
        double leftOfCentre, rightOfCentre;  // gains expected 12 pixels either side of the picture's centre
    };
    const Case cases[] = {{0, 0.6, 1.2}, {1, 1.2, 1.2}, {2, 0.6, 0.6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Image* target = new Image(300, 100, 3);
        CMapBlend blend;
        blend.SetImgO(target);
        blend.SetViewPort(&dir, 0.0f, static_cast<float>(100 * kDeg));
        // 6 target pixels: the frames have 300 / 150 tan(50 deg) pixels per
        // target pixel near their centres.
        const int bw = static_cast<int>(std::lround(6 * std::tan(50 * kDeg) * 2));
        ASSERT_TRUE(blend.MapBlendOneImage(a, &left, bw, 0));
        ASSERT_TRUE(blend.MapBlendOneImage(b, &right, bw, c.kind));
        EXPECT_NEAR(gainAt(target, 150 - 12), c.leftOfCentre, 0.03);
        EXPECT_NEAR(gainAt(target, 150 + 12), c.rightOfCentre, 0.03);
        // Far outside the overlap each frame shows alone.
        EXPECT_NEAR(gainAt(target, 20), 0.6, 0.03);
        EXPECT_NEAR(gainAt(target, 280), 1.2, 0.03);
        // The seam is a ramp, never a jump larger than a sixth of the gain
        // step per pixel (the band is 6 pixels wide).
        double worstStep = 0;
        for (int x = 21; x < 280; ++x) worstStep = std::max(worstStep, std::abs(gainAt(target, x) - gainAt(target, x - 1)));
        EXPECT_LT(worstStep, 0.6 / 6 + 0.05);
        ReleaseImage(target);
    }
    ReleaseImage(a);
    ReleaseImage(b);
}

TEST(MapBlend, RefusesWhatItCannotRender)
{
    Image* target = new Image(64, 48, 3);
    Image* img = new Image(32, 24, 3);
    const TRANSFORM_RS good = Placement(0, 0, 0, 1 / 30.0f, 16, 12);
    const POINT2 dir{0, 0};
    {
        CMapBlend blend;  // neither target nor viewport
        EXPECT_FALSE(blend.MapBlendOneImage(img, &good, 4, 0));
        blend.SetImgO(target);
        EXPECT_FALSE(blend.MapBlendOneImage(img, &good, 4, 0));  // no viewport yet
        blend.SetViewPort(&dir, 0.0f, 0.0f);                     // no field of view
        EXPECT_FALSE(blend.MapBlendOneImage(img, &good, 4, 0));
        blend.SetViewPort(&dir, 0.0f, 1.0f);
        TRANSFORM_RS bad = good;
        bad.rcpFocal = 0.0f;
        EXPECT_FALSE(blend.MapBlendOneImage(img, &bad, 4, 0));
        bad = good;
        bad.pan = NAN;
        EXPECT_FALSE(blend.MapBlendOneImage(img, &bad, 4, 0));
        EXPECT_FALSE(blend.MapBlendOneImage(nullptr, &good, 4, 0));
        EXPECT_EQ(blend.CoveredSamples(), 0);
        // Looking away from the frame is no error and draws nothing.
        TRANSFORM_RS behind = good;
        behind.pan = static_cast<float>(kPi);
        EXPECT_TRUE(blend.MapBlendOneImage(img, &behind, 4, 0));
        EXPECT_EQ(blend.CoveredSamples(), 0);
        EXPECT_TRUE(blend.MapBlendOneImage(img, &good, 4, 0));
        EXPECT_GT(blend.CoveredSamples(), 0);
    }
    ReleaseImage(img);
    ReleaseImage(target);
}
