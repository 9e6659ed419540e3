// The picture-to-screen map: its algebra against points worked out by hand,
// and MapImage against a plain resampler written here that inverts the
// composed steps one by one (not through the map's matrix).
#include "platform/imgcore/ps_map.h"

#include "core/logger.h"
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

Image* Coded(int w, int h, int channels)
{
    auto* image = new Image(w, h, channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                image->GetData()[static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * channels + c] =
                    static_cast<uint8_t>(1 + (x * 13 + y * 7 + c * 50 + (x * y) % 17) % 250);
    return image;
}

uint8_t At(const Image* image, int x, int y, int c)
{
    return image->GetData()[static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * image->GetChannels() + c];
}

// Bilinear sample at a picture point, edge pixels repeated within half a
// pixel; false outside.
bool Sample(const Image* image, double px, double py, int c, double& out)
{
    const int w = image->GetWidth(), h = image->GetHeight();
    if (px < -0.5 || px > w - 0.5 || py < -0.5 || py > h - 0.5) return false;
    px = std::fmin(std::fmax(px, 0.0), w - 1.0);
    py = std::fmin(std::fmax(py, 0.0), h - 1.0);
    const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
    const int x1 = x0 + 1 < w ? x0 + 1 : x0, y1 = y0 + 1 < h ? y0 + 1 : y0;
    const double fx = px - x0, fy = py - y0;
    out = (1 - fx) * (1 - fy) * At(image, x0, y0, c) + fx * (1 - fy) * At(image, x1, y0, c) +
          (1 - fx) * fy * At(image, x0, y1, c) + fx * fy * At(image, x1, y1, c);
    return true;
}

// The reference: every target pixel asks `inverse` for its picture point.
// Pixels off the picture must keep the marker value 0.
void CompareWithReference(const Image* source, const Image* target,
                          const std::function<void(double, double, double&, double&)>& inverse, int& covered)
{
    covered = 0;
    for (int y = 0; y < target->GetHeight(); ++y)
        for (int x = 0; x < target->GetWidth(); ++x) {
            double px = 0, py = 0;
            inverse(x, y, px, py);
            for (int c = 0; c < source->GetChannels(); ++c) {
                double expected = 0;
                // Points right on the half-pixel border may fall either way
                // by rounding; skip that thin band.
                const double edge = std::fmin(std::fmin(std::fabs(px + 0.5), std::fabs(px - (source->GetWidth() - 0.5))),
                                              std::fmin(std::fabs(py + 0.5), std::fabs(py - (source->GetHeight() - 0.5))));
                if (edge < 1e-6) continue;
                if (Sample(source, px, py, c, expected)) {
                    if (c == 0) ++covered;
                    ASSERT_LE(std::fabs(At(target, x, y, c) - expected), 1.0) << x << "," << y << " channel " << c;
                } else {
                    ASSERT_EQ(At(target, x, y, c), 0) << x << "," << y << " off the picture must stay untouched";
                }
            }
        }
}

TEST(PSMap, PointAlgebra)
{
    PSMap map;
    double x = 0, y = 0;
    map.MapPoint(3, 4, &x, &y);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
    EXPECT_TRUE(map.IsConstant());

    map.Shift(10, -2);
    map.MapPoint(3, 4, &x, &y);
    EXPECT_DOUBLE_EQ(x, 13);
    EXPECT_DOUBLE_EQ(y, 2);
    EXPECT_TRUE(map.IsConstant()) << "a pure shift keeps the picture's scale";

    // Zoom by 2 at (20, 10): the point itself stays, (13, 2) goes to (6, -6).
    map.ZoomAtPoint(2.0, 20, 10);
    map.MapPoint(3, 4, &x, &y);
    EXPECT_DOUBLE_EQ(x, 6);
    EXPECT_DOUBLE_EQ(y, -6);
    EXPECT_FALSE(map.IsConstant());

    // A quarter turn about (0, 0) with sine 1: (6, -6) -> (6, 6) (x' = -y, y' = x).
    map.Rotate(0, 0, 1.0, 0.0);
    map.MapPoint(3, 4, &x, &y);
    EXPECT_NEAR(x, 6, 1e-12);
    EXPECT_NEAR(y, 6, 1e-12);

    // The inverse brings the point back; a copy maps alike.
    double px = 0, py = 0;
    ASSERT_TRUE(map.UnmapPoint(x, y, &px, &py));
    EXPECT_NEAR(px, 3, 1e-12);
    EXPECT_NEAR(py, 4, 1e-12);
    PSMap copy;
    map.CopyTo(&copy);
    double cx = 0, cy = 0;
    copy.MapPoint(-7, 11, &cx, &cy);
    map.MapPoint(-7, 11, &x, &y);
    EXPECT_EQ(cx, x);
    EXPECT_EQ(cy, y);

    map.Reset();
    map.MapPoint(3, 4, &x, &y);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
}

TEST(PSMap, IdentityAndShiftCopyExactly)
{
    Image* source = Coded(23, 17, 3);
    Image* target = new Image(23, 17, 3);
    PSMap map;
    ASSERT_TRUE(map.MapImage(source, target));
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(At(target, x, y, c), At(source, x, y, c));

    // A whole-pixel shift moves the pixels and leaves the uncovered band alone.
    Image* shifted = new Image(23, 17, 3);
    map.Shift(5, -3);
    ASSERT_TRUE(map.MapImage(source, shifted, PSMap::kNearest));
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            for (int c = 0; c < 3; ++c) {
                const bool on = x - 5 >= 0 && y + 3 < 17;
                ASSERT_EQ(At(shifted, x, y, c), on ? At(source, x - 5, y + 3, c) : 0) << x << "," << y;
            }
    ReleaseImage(shifted);
    ReleaseImage(target);
    ReleaseImage(source);
}

TEST(PSMap, QuarterTurnAboutTheCentreIsThePixelTurn)
{
    // An odd square turned about its middle pixel lands on whole pixels:
    // the result equals Image::Rotate's clockwise quarter turn exactly.
    Image* source = Coded(21, 21, 3);
    Image* target = new Image(21, 21, 3);
    PSMap map;
    map.Rotate(10, 10, 1.0, 0.0);
    ASSERT_TRUE(map.MapImage(source, target));
    Image* turned = source->Duplicate();
    ASSERT_EQ(turned->Rotate(90), 0);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(At(target, x, y, c), At(turned, x, y, c)) << x << "," << y;
    ReleaseImage(turned);
    ReleaseImage(target);
    ReleaseImage(source);
}

struct Case {
    const char* name;
    double zoom, zx, zy;     // ZoomAtPoint(zoom, zx, zy)
    double angle, rx, ry;    // Rotate(rx, ry, sin angle, cos angle)
    double dx, dy;           // then Shift(dx, dy)
    int channels;
};

TEST(PSMap, ZoomTurnAndShiftMatchTheReference)
{
    const Case cases[] = {
        {"enlarge", 2.5, 0, 0, 0, 0, 0, 3, 2, 3},
        {"shrink at a point", 0.37, 30, 20, 0, 0, 0, -4, 1, 3},
        {"turn 30 degrees", 1.0, 0, 0, 0.5235987755982988, 35, 25, 0, 0, 3},
        {"turn -100 and zoom", 1.7, 35, 25, -1.7453292519943295, 35, 25, 6, -3, 3},
        {"grey, turn and shrink", 0.6, 10, 10, 2.5, 20, 30, 12, 5, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Image* source = Coded(41, 29, k.channels);
        Image* target = new Image(70, 50, k.channels);
        PSMap map;
        map.ZoomAtPoint(k.zoom, k.zx, k.zy);
        map.Rotate(k.rx, k.ry, std::sin(k.angle), std::cos(k.angle));
        map.Shift(k.dx, k.dy);
        ASSERT_TRUE(map.MapImage(source, target));
        // Undo the steps in reverse order, each by its own formula.
        auto inverse = [&](double x, double y, double& px, double& py) {
            x -= k.dx;
            y -= k.dy;
            const double s = std::sin(-k.angle), c = std::cos(-k.angle);
            const double ux = x - k.rx, uy = y - k.ry;
            x = c * ux - s * uy + k.rx;
            y = s * ux + c * uy + k.ry;
            px = (x - k.zx) / k.zoom + k.zx;
            py = (y - k.zy) / k.zoom + k.zy;
        };
        int covered = 0;
        CompareWithReference(source, target, inverse, covered);
        EXPECT_GT(covered, 100) << "the picture must land on the target";
        ReleaseImage(target);
        ReleaseImage(source);
    }
}

TEST(PSMap, RefusesUnusableInput)
{
    Image* source = Coded(8, 8, 3);
    Image* grey = new Image(8, 8, 1);
    Image* target = new Image(8, 8, 3);
    Image empty;
    PSMap singular;
    singular.Zoom(0.0, 1.0);
    PSMap plain;
    struct Refusal {
        const char* name;
        const PSMap* map;
        const Image* source;
        Image* target;
    } refusals[] = {
        {"no source", &plain, nullptr, target},
        {"no target", &plain, source, nullptr},
        {"channels differ", &plain, source, grey},
        {"no buffer", &plain, &empty, target},
        {"singular map", &singular, source, target},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        LogCapture log;
        EXPECT_FALSE(r.map->MapImage(r.source, r.target));
        EXPECT_TRUE(log.contains("ERROR PSMap::MapImage")) << log.text();
    }
    for (int i = 0; i < 8 * 8 * 3; ++i) ASSERT_EQ(target->GetData()[i], 0) << "a refused map writes nothing";
    double x = 0, y = 0;
    EXPECT_FALSE(singular.UnmapPoint(1, 1, &x, &y));
    ReleaseImage(target);
    ReleaseImage(grey);
    ReleaseImage(source);
}

TEST(FillEmptyPixels, FillsOnlyPixelsWithoutDataInSampleOrder)
{
    Image* image = new Image(4, 2, 3);
    unsigned char* p = image->GetData();
    p[3] = 9;   // pixel 1 holds data (first sample 9)
    p[4] = 0;
    p[5] = 0;
    p[7] = 200;  // pixel 2: first sample 0, so it counts as empty
    FillEmptyPixels(image, 0xFFFF01);
    const uint8_t expected[8][3] = {{255, 255, 1}, {9, 0, 0}, {255, 255, 1}, {255, 255, 1},
                                    {255, 255, 1}, {255, 255, 1}, {255, 255, 1}, {255, 255, 1}};
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(p[i * 3 + c], expected[i][c]) << "pixel " << i << " sample " << c;
    ReleaseImage(image);

    LogCapture log;
    FillEmptyPixels(nullptr, 1);
    EXPECT_TRUE(log.contains("ERROR FillEmptyPixels"));
}

}  // namespace
