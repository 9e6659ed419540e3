// Widths and parabola offsets of correlation peaks: ends of the line, flat
// tops (which must give offset 0, not 0/0), negative peaks, lines that never
// fall below the level, and maps studied at points outside them.
#include "align/pairlock/peak_shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

struct LineCase {
    const char* name;
    std::vector<float> line;
    int peak;
    int pct;
    float width;
    float offset;
};

// Samples of the parabola 1 - 0.1 (x - v)^2: the three-point fit recovers v.
std::vector<float> Parabola(int n, double v)
{
    std::vector<float> line(n);
    for (int x = 0; x < n; ++x) line[x] = static_cast<float>(1.0 - 0.1 * (x - v) * (x - v));
    return line;
}

}  // namespace

TEST(PeakShape, StudyLinePeakShapeTable)
{
    const std::vector<LineCase> cases = {
        {"narrow at 93", {0.1f, 0.5f, 0.9f, 1.0f, 0.9f, 0.5f, 0.1f}, 3, 93, 1.0f, 0.0f},
        {"wider at 85", {0.1f, 0.5f, 0.9f, 1.0f, 0.9f, 0.5f, 0.1f}, 3, 85, 3.0f, 0.0f},
        // 1 - 0.1 (x - 3.3)^2 at 93 %: x = 3 (0.991), 4 (0.951) and 2 (0.831 < 0.93).
        {"parabola vertex", Parabola(7, 3.3), 3, 93, 2.0f, 0.3f},
        {"vertex left of peak", Parabola(7, 2.8), 3, 85, 3.0f, -0.2f},
        {"peak at the first sample", {1.0f, 0.95f, 0.5f, 0.2f}, 0, 93, 2.0f, 0.0f},
        {"peak at the last sample", {0.2f, 0.5f, 0.99f, 1.0f}, 3, 85, 2.0f, 0.0f},
        {"three-sample plateau", {0.2f, 1.0f, 1.0f, 1.0f, 0.2f}, 2, 93, 3.0f, 0.0f},
        {"plateau at 85 too", {0.2f, 1.0f, 1.0f, 1.0f, 0.2f}, 2, 85, 3.0f, 0.0f},
        {"two-sample top", {0.2f, 1.0f, 1.0f, 0.2f}, 1, 93, 2.0f, 0.5f},
        {"equal shoulders", {0.0f, 0.7f, 2.0f, 0.7f, 0.0f}, 2, 93, 1.0f, 0.0f},
        {"all above the level", {0.95f, 0.97f, 1.0f, 0.99f, 0.94f}, 2, 93, 5.0f, (0.99f - 0.97f) / (4 * (1.0f - 0.98f))},
        {"negative peak", {-5.0f, -2.5f, -2.0f, -3.0f, -5.0f}, 2, 93, 1.0f, -0.5f / 3.0f},
        {"single sample", {4.0f}, 0, 93, 1.0f, 0.0f},
    };
    CPeakShape shape;
    for (const LineCase& c : cases) {
        std::vector<float> line = c.line;
        float width = -1.0f, offset = -9.0f;
        ASSERT_EQ(shape.StudyLinePeakShape(line.data(), static_cast<int>(line.size()), 0.0f, c.peak, c.pct, &width,
                                           &offset),
                  1)
            << c.name;
        EXPECT_EQ(width, c.width) << c.name;
        EXPECT_NEAR(offset, c.offset, 1e-5) << c.name;
        EXPECT_FALSE(std::isnan(offset)) << c.name;
    }
}

TEST(PeakShape, StudyLineRefusesAPeakOutsideTheLine)
{
    CPeakShape shape;
    std::vector<float> line = {1, 2, 3};
    float width = -1.0f, offset = -1.0f;
    EXPECT_EQ(shape.StudyLinePeakShape(line.data(), 3, 0.0f, 3, 93, &width, &offset), 0);
    EXPECT_EQ(shape.StudyLinePeakShape(line.data(), 3, 0.0f, -1, 93, &width, &offset), 0);
    EXPECT_EQ(shape.StudyLinePeakShape(nullptr, 3, 0.0f, 1, 93, &width, &offset), 0);
    EXPECT_EQ(width, -1.0f);
    EXPECT_EQ(offset, -1.0f);
}

TEST(PeakShape, FindOneAreaCCPeakStudiesTheRowAndTheColumn)
{
    // map(x, y) = f(x) g(y) with positive g at the peak row: scaling a line
    // keeps its relative widths and its parabola vertex.
    const std::vector<float> f = Parabola(9, 4.1);
    const std::vector<float> g = {0.1f, 0.4f, 0.8f, 1.0f, 0.98f, 0.6f};
    const int nx = 9, ny = 6;
    std::vector<float> map(nx * ny);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) map[y * nx + x] = f[x] * g[y];

    CPeakShape shape;
    POINT2 at{4.7f, 3.2f};  // truncated to (4, 3)
    ONE_CC_PEAK* peak = shape.FindOneAreaCCPeak(map.data(), nx, ny, at);
    ASSERT_NE(peak, nullptr);
    EXPECT_FLOAT_EQ(peak->value, map[3 * nx + 4]);
    EXPECT_NEAR(peak->offsetX, 0.1f, 1e-5);
    EXPECT_NEAR(peak->offsetY, (0.98f - 0.8f) / (4 * (1.0f - 0.89f)), 1e-5);
    // Row: f(3) = 0.879 and f(5) = 0.919 are under 93 % of f(4) = 0.999,
    // but not under 85 %; f(2) = 0.559 and f(6) = 0.639 are under both.
    EXPECT_EQ(peak->width1X, 1.0f);
    EXPECT_EQ(peak->width2X, 3.0f);
    // Column: 0.98 stays above 93 %, 0.8 does not; at 85 % the same.
    EXPECT_EQ(peak->width1Y, 2.0f);
    EXPECT_EQ(peak->width2Y, 2.0f);
    delete peak;
}

TEST(PeakShape, FindOneAreaCCPeakOutsideTheMapIsNull)
{
    std::vector<float> map(12, 1.0f);
    CPeakShape shape;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (POINT2 at : {POINT2{4.0f, 0.0f}, POINT2{0.0f, 3.0f}, POINT2{-1.5f, 0.0f}, POINT2{0.0f, -2.0f},
                      POINT2{nan, 1.0f}, POINT2{1e30f, 1.0f}}) {
        EXPECT_EQ(shape.FindOneAreaCCPeak(map.data(), 4, 3, at), nullptr) << at.x << "," << at.y;
    }
    POINT2 inside{3.9f, 2.9f};
    ONE_CC_PEAK* last = shape.FindOneAreaCCPeak(map.data(), 4, 3, inside);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->width1X, 4.0f);  // all equal: the whole row and column
    EXPECT_EQ(last->width1Y, 3.0f);
    EXPECT_EQ(last->offsetX, 0.0f);  // last sample of the row
    delete last;
    EXPECT_EQ(shape.FindOneAreaCCPeak(nullptr, 4, 3, inside), nullptr);
}
