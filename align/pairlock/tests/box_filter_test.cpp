// The sliding sums and the box mean against direct sums over every window,
// with the edge rule (the first and last h samples copy the nearest full
// window), the odd-window rule and the refusals.
#include "align/pairlock/box_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

std::vector<float> RandomArray(int nx, int ny, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> v(0.0f, 65025.0f);  // squared 8-bit samples
    std::vector<float> a(static_cast<size_t>(nx) * ny);
    for (float& x : a) x = v(rng);
    return a;
}

// Direct sum of the (2hx+1) x (2hy+1) window whose centre is (x, y) moved
// inside the array as far as the window needs.
double DirectBoxSum(const std::vector<float>& a, int nx, int ny, int hx, int hy, int x, int y)
{
    const int cx = std::clamp(x, hx, nx - hx - 1);
    const int cy = std::clamp(y, hy, ny - hy - 1);
    double s = 0.0;
    for (int j = cy - hy; j <= cy + hy; ++j)
        for (int i = cx - hx; i <= cx + hx; ++i) s += a[static_cast<size_t>(j) * nx + i];
    return s;
}

}  // namespace

TEST(BoxFilter, LineSumXAndYMatchDirectSumsWithEdgeCopies)
{
    const int nx = 37, ny = 23;
    const std::vector<float> src = RandomArray(nx, ny, 3);
    for (int w : {1, 2, 3, 4, 7, 10, 21}) {
        const int h = w / 2;
        for (bool inPlace : {false, true}) {
            std::vector<float> sx = src, sy = src;
            std::vector<float> dx(src.size(), -1.0f), dy(src.size(), -1.0f);
            float* outX = inPlace ? sx.data() : dx.data();
            float* outY = inPlace ? sy.data() : dy.data();
            ASSERT_EQ(LineSumX(sx.data(), outX, nx, ny, w), 1) << w;
            ASSERT_EQ(LineSumY(sy.data(), outY, nx, ny, w), 1) << w;
            for (int y = 0; y < ny; ++y) {
                for (int x = 0; x < nx; ++x) {
                    const size_t k = static_cast<size_t>(y) * nx + x;
                    const double wantX = DirectBoxSum(src, nx, ny, h, 0, x, y);
                    const double wantY = DirectBoxSum(src, nx, ny, 0, h, x, y);
                    ASSERT_NEAR(outX[k], wantX, 1e-6 * wantX + 1e-3) << "w " << w << " at " << x << "," << y;
                    ASSERT_NEAR(outY[k], wantY, 1e-6 * wantY + 1e-3) << "w " << w << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(BoxFilter, LongRowsDoNotDrift)
{
    // 8192 samples of large squared values: a float running sum would wander
    // by whole units over the row.
    const int nx = 8192, ny = 2;
    const std::vector<float> src = RandomArray(nx, ny, 5);
    std::vector<float> dst(src.size());
    ASSERT_EQ(LineSumX(const_cast<float*>(src.data()), dst.data(), nx, ny, 31), 1);
    for (int x = 15; x < nx - 15; x += 97) {
        const double want = DirectBoxSum(src, nx, ny, 15, 0, x, 1);
        EXPECT_NEAR(dst[nx + x], want, 1e-6 * want) << x;
    }
}

TEST(BoxFilter, FBoxLowPassIsTheMeanOfAnOddWindow)
{
    const int nx = 40, ny = 31;
    const std::vector<float> src = RandomArray(nx, ny, 9);
    struct Case {
        int wx, wy;
    };
    // Even widths act as the next odd one; 1 x 1 copies.
    for (Case c : {Case{1, 1}, Case{3, 5}, Case{4, 4}, Case{1, 9}, Case{8, 1}, Case{38, 29}, Case{15, 2}}) {
        const int hx = c.wx / 2, hy = c.wy / 2;
        const double count = (2.0 * hx + 1) * (2.0 * hy + 1);
        for (bool inPlace : {false, true}) {
            std::vector<float> in = src;
            std::vector<float> out(src.size(), -1.0f);
            float* dst = inPlace ? in.data() : out.data();
            ASSERT_EQ(FBoxLowPass(in.data(), dst, nx, ny, c.wx, c.wy, 1.0f), 1) << c.wx << "x" << c.wy;
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x) {
                    const double want = DirectBoxSum(src, nx, ny, hx, hy, x, y) / count;
                    ASSERT_NEAR(dst[static_cast<size_t>(y) * nx + x], want, 1e-6 * want + 1e-4)
                        << c.wx << "x" << c.wy << " at " << x << "," << y;
                }
        }
    }
}

TEST(BoxFilter, RefusalsLeaveTheOutputAlone)
{
    const int nx = 20, ny = 12;
    std::vector<float> src = RandomArray(nx, ny, 1);
    struct Case {
        int wx, wy;
    };
    for (Case c : {Case{0, 3}, Case{3, 0}, Case{nx - 1, 3}, Case{3, ny - 1}, Case{-4, 3}, Case{nx, ny}}) {
        std::vector<float> dst(src.size(), 7.0f);
        EXPECT_EQ(FBoxLowPass(src.data(), dst.data(), nx, ny, c.wx, c.wy, 1.0f), 0) << c.wx << "x" << c.wy;
        EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](float v) { return v == 7.0f; }));
    }
    // The largest windows accepted.
    std::vector<float> dst(src.size());
    EXPECT_EQ(FBoxLowPass(src.data(), dst.data(), nx, ny, nx - 2, ny - 2, 1.0f), 1);

    std::vector<float> out(src.size(), 7.0f);
    EXPECT_EQ(LineSumX(src.data(), out.data(), nx, ny, 0), 0);
    EXPECT_EQ(LineSumY(src.data(), out.data(), nx, ny, -1), 0);
    // A window wider than the row or column would read past it.
    EXPECT_EQ(LineSumX(src.data(), out.data(), nx, ny, nx + 1), 0);
    EXPECT_EQ(LineSumY(src.data(), out.data(), nx, ny, ny), 0);
    EXPECT_EQ(LineSumX(nullptr, out.data(), nx, ny, 3), 0);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 7.0f; }));
}

TEST(BoxFilter, VectorPathsGiveTheSameBits)
{
    const int nx = 203, ny = 37;  // odd sizes: the tails of every loop run
    const std::vector<float> src = RandomArray(nx, ny, 12);
    std::vector<float> wide(src.size()), narrow(src.size()), wideX(src.size()), narrowX(src.size());
    SetBoxFilterPath(0);
    ASSERT_EQ(FBoxLowPass(const_cast<float*>(src.data()), wide.data(), nx, ny, 9, 6, 1.0f), 1);
    ASSERT_EQ(LineSumX(const_cast<float*>(src.data()), wideX.data(), nx, ny, 17), 1);
    SetBoxFilterPath(1);
    ASSERT_EQ(FBoxLowPass(const_cast<float*>(src.data()), narrow.data(), nx, ny, 9, 6, 1.0f), 1);
    ASSERT_EQ(LineSumX(const_cast<float*>(src.data()), narrowX.data(), nx, ny, 17), 1);
    SetBoxFilterPath(0);
    EXPECT_EQ(wide, narrow);
    EXPECT_EQ(wideX, narrowX);
    for (int y = 0; y < ny; y += 5)
        for (int x = 0; x < nx; x += 3) {
            const double want = DirectBoxSum(src, nx, ny, 4, 3, x, y) / (9.0 * 7.0);
            ASSERT_NEAR(narrow[static_cast<size_t>(y) * nx + x], want, 1e-6 * want + 1e-4) << x << "," << y;
        }
}
