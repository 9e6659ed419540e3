#include "geometry/fftkit/convolver.h"

#include "core/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<float> RandomArray(int nx, int ny, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(static_cast<size_t>(nx) * ny);
    for (float& x : v) x = dist(rng);
    return v;
}

// c(kx, ky) = sum over (jx, jy) of a[(ky + jy) mod ny][(kx + jx) mod nx] b[jy][jx],
// summed directly in double.
std::vector<double> DirectCorrelation(const std::vector<float>& a, const std::vector<float>& b, int nx, int ny)
{
    std::vector<double> c(a.size());
    for (int ky = 0; ky < ny; ++ky)
        for (int kx = 0; kx < nx; ++kx) {
            double sum = 0;
            for (int jy = 0; jy < ny; ++jy)
                for (int jx = 0; jx < nx; ++jx)
                    sum += static_cast<double>(a[static_cast<size_t>((ky + jy) % ny) * nx + (kx + jx) % nx]) *
                           b[static_cast<size_t>(jy) * nx + jx];
            c[static_cast<size_t>(ky) * nx + kx] = sum;
        }
    return c;
}

struct Size {
    int nx, ny;
};

}  // namespace

TEST(Convolver, CorrelatesLikeTheDirectSumScaledByAQuarterOfTheArea)
{
    const Size sizes[] = {{2, 2}, {4, 2}, {8, 8}, {16, 8}, {12, 6}, {6, 12}, {24, 16}, {32, 48}, {64, 32}};
    for (const Size& s : sizes) {
        const auto a = RandomArray(s.nx, s.ny, 1);
        const auto b = RandomArray(s.nx, s.ny, 2);
        const auto want = DirectCorrelation(a, b, s.nx, s.ny);
        Convolver convolver(s.nx, s.ny);
        ASSERT_TRUE(convolver.IsValid());
        std::vector<float> spectrum = a, c = b;
        convolver.Transform(spectrum.data());
        convolver.ConvolveInv(spectrum.data(), c.data());
        const double scale = s.nx * s.ny / 4.0;
        // Sums of nx ny products of at most 1: float error grows with the area.
        const double tol = 2e-6 * s.nx * s.ny;
        for (size_t i = 0; i < c.size(); ++i)
            ASSERT_NEAR(c[i] / scale, want[i], tol) << s.nx << "x" << s.ny << " at " << i;
    }
}

TEST(Convolver, OneTransformServesManyCorrelations)
{
    const int nx = 16, ny = 12;
    const auto a = RandomArray(nx, ny, 3);
    Convolver convolver(nx, ny);
    std::vector<float> spectrum = a;
    convolver.Transform(spectrum.data());
    const auto kept = spectrum;
    for (unsigned seed : {4u, 5u}) {
        const auto b = RandomArray(nx, ny, seed);
        std::vector<float> c = b;
        convolver.ConvolveInv(spectrum.data(), c.data());
        EXPECT_EQ(spectrum, kept);
        const auto want = DirectCorrelation(a, b, nx, ny);
        for (size_t i = 0; i < c.size(); ++i) ASSERT_NEAR(c[i] / 48.0, want[i], 1e-3);
    }
}

// The pair aligner's box filter: correlating with ones at offsets
// 1 - w/2 .. w/2 (modulo the size) sums each box of the image.
TEST(Convolver, BoxOfOnesGivesTheBoxSums)
{
    const int nx = 32, ny = 16, wd = 6, ht = 4;
    std::vector<float> image(static_cast<size_t>(nx) * ny);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<float>((i * 7) % 13);
    std::vector<float> box(image.size(), 0.0f);
    for (int y = 1 - ht / 2; y <= ht / 2; ++y)
        for (int x = 1 - wd / 2; x <= wd / 2; ++x) box[static_cast<size_t>((y + ny) % ny) * nx + (x + nx) % nx] = 1.0f;
    Convolver convolver(nx, ny);
    std::vector<float> spectrum = image;
    convolver.Transform(spectrum.data());
    convolver.ConvolveInv(spectrum.data(), box.data());
    for (int ky = 0; ky < ny; ++ky)
        for (int kx = 0; kx < nx; ++kx) {
            double sum = 0;
            for (int y = 1 - ht / 2; y <= ht / 2; ++y)
                for (int x = 1 - wd / 2; x <= wd / 2; ++x)
                    sum += image[static_cast<size_t>((ky + y + ny) % ny) * nx + (kx + x + nx) % nx];
            ASSERT_NEAR(box[static_cast<size_t>(ky) * nx + kx] / (nx * ny / 4.0), sum, 1e-3) << kx << "," << ky;
        }
}

TEST(Convolver, UnsupportedSizeLogsAnErrorAndChangesNothing)
{
    LogCapture capture;
    Convolver convolver(10, 8);
    EXPECT_FALSE(convolver.IsValid());
    EXPECT_TRUE(capture.contains("ERROR Convolver::Convolver: unsupported size 10x8"));
    std::vector<float> a(80, 1.0f), b(80, 2.0f);
    convolver.Transform(a.data());
    convolver.ConvolveInv(a.data(), b.data());
    EXPECT_EQ(a, std::vector<float>(80, 1.0f));
    EXPECT_EQ(b, std::vector<float>(80, 2.0f));
    EXPECT_GE(capture.errorCount(), 3);
}
