#include "geometry/fftkit/dct_2d.h"
#include "geometry/fftkit/tests/fftw_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

struct Size {
    int nx, ny;
};

const Size kSizes[] = {{2, 2},   {4, 4},  {8, 8},   {16, 16}, {32, 32}, {64, 64}, {128, 128},
                       {256, 256}, {8, 16}, {16, 8}, {2, 64},  {128, 4}, {4, 2},   {32, 256}};

std::vector<float> RandomImage(int nx, int ny, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(static_cast<size_t>(nx) * ny);
    for (float& x : v) x = dist(rng);
    return v;
}

// Where our sine output k of a line of n sits in FFTW's RODFT10 output:
// ours keeps S(k) at k for 1 <= k < n and S(n) at 0; FFTW keeps S(k + 1) at k.
int SineIndex(int k, int n) { return k == 0 ? n - 1 : k - 1; }

// Our transforms carry no factor 2 per axis where FFTW's do: ours = FFTW / 4.
std::vector<double> Expected(const std::vector<float>& image, int nx, int ny, bool sine)
{
    const std::vector<double> in(image.begin(), image.end());
    const std::vector<double> ref = fftw_oracle::R2r2d(in, nx, ny, sine);
    std::vector<double> want(ref.size());
    for (int ky = 0; ky < ny; ++ky) {
        for (int kx = 0; kx < nx; ++kx) {
            const int fy = sine ? SineIndex(ky, ny) : ky;
            const int fx = sine ? SineIndex(kx, nx) : kx;
            want[static_cast<size_t>(ky) * nx + kx] = ref[static_cast<size_t>(fy) * nx + fx] / 4.0;
        }
    }
    return want;
}

// The cosine tables accumulate their angle in single precision, which
// limits the accuracy to about 1e-5 of the largest output at 256.
double Tolerance(const std::vector<double>& want)
{
    double largest = 0;
    for (double w : want) largest = std::max(largest, std::fabs(w));
    return 3e-5 * largest + 1e-6;
}

class DctState : public ::testing::Test {
protected:
    void TearDown() override { dctCleanup(); }
};

using DctTransform = DctState;
using DctInit = DctState;

}  // namespace

TEST_F(DctTransform, CosineAndSineMatchFftw)
{
    ASSERT_TRUE(fftw_oracle::FftwPresent());
    for (const Size& size : kSizes) {
        ASSERT_EQ(dctInit(size.nx, size.ny), 1);
        for (bool sine : {false, true}) {
            const auto image = RandomImage(size.nx, size.ny, static_cast<unsigned>(size.nx * 3 + size.ny));
            std::vector<float> v = image;
            sine ? fdst2d(v.data()) : fdct2d(v.data());
            const auto want = Expected(image, size.nx, size.ny, sine);
            double worst = 0;
            for (size_t i = 0; i < v.size(); ++i) worst = std::max(worst, std::fabs(v[i] - want[i]));
            EXPECT_LE(worst, Tolerance(want)) << size.nx << "x" << size.ny << (sine ? " sine" : " cosine");
        }
    }
}

TEST_F(DctTransform, InversesRestoreTheImage)
{
    for (const Size& size : kSizes) {
        ASSERT_EQ(dctInit(size.nx, size.ny), 1);
        for (bool sine : {false, true}) {
            const auto image = RandomImage(size.nx, size.ny, 77);
            std::vector<float> v = image;
            sine ? fdst2d(v.data()) : fdct2d(v.data());
            sine ? idst2d(v.data()) : idct2d(v.data());
            double worst = 0;
            for (size_t i = 0; i < v.size(); ++i)
                worst = std::max(worst, static_cast<double>(std::fabs(v[i] - image[i])));
            EXPECT_LE(worst, 3e-5) << size.nx << "x" << size.ny << (sine ? " sine" : " cosine");
        }
    }
}

// N = 2 along both axes: the cosine line gives (x0 + x1, (x0 - x1) r) and the
// sine line (x0 - x1, (x0 + x1) r), r = 0.70710677, rows first.
TEST_F(DctTransform, TwoByTwoFollowsTheLineFormulas)
{
    const float r = 0.70710677f;
    ASSERT_EQ(dctInit(2, 2), 1);
    const float a = 3, b = 5, c = 7, d = 13;
    std::vector<float> v = {a, b, c, d};
    fdct2d(v.data());
    const float r0 = a + b, r1 = (a - b) * r, r2 = c + d, r3 = (c - d) * r;
    EXPECT_EQ(v, (std::vector<float>{r0 + r2, r1 + r3, (r0 - r2) * r, (r1 - r3) * r}));
    v = {a, b, c, d};
    fdst2d(v.data());
    const float s0 = a - b, s1 = (a + b) * r, s2 = c - d, s3 = (c + d) * r;
    EXPECT_EQ(v, (std::vector<float>{s0 - s2, s1 - s3, (s0 + s2) * r, (s1 + s3) * r}));
}

TEST_F(DctTransform, ConstantImageHasOnlyTheDcTerm)
{
    for (const Size& size : {Size{16, 16}, Size{8, 32}, Size{64, 2}}) {
        ASSERT_EQ(dctInit(size.nx, size.ny), 1);
        std::vector<float> v(static_cast<size_t>(size.nx) * size.ny, 2.5f);
        fdct2d(v.data());
        EXPECT_NEAR(v[0], 2.5 * size.nx * size.ny, 1e-3);
        for (size_t i = 1; i < v.size(); ++i) ASSERT_NEAR(v[i], 0.0, 1e-3) << i;
    }
}

TEST_F(DctInit, RefusesSizesTheLineTransformsCannotTake)
{
    struct Case {
        int nx, ny, ready;
    };
    const Case cases[] = {{8, 8, 1}, {8, 16, 1}, {2, 2, 1}, {6, 8, 0}, {8, 12, 0}, {1, 8, 0},
                          {8, 1, 0}, {8, 0, 0},  {0, 0, 0}, {-8, 8, 0}, {3, 3, 0}};
    for (const Case& c : cases) EXPECT_EQ(dctInit(c.nx, c.ny), c.ready) << c.nx << "x" << c.ny;
}

TEST_F(DctInit, TransformsWithoutTablesChangeNothing)
{
    const auto image = RandomImage(8, 8, 5);
    auto untouched = [&](const char* when) {
        for (void (*f)(float*) : {fdct2d, idct2d, fdst2d, idst2d}) {
            std::vector<float> v = image;
            f(v.data());
            EXPECT_EQ(v, image) << when;
        }
    };
    dctCleanup();
    untouched("before dctInit");
    ASSERT_EQ(dctInit(8, 8), 1);
    EXPECT_EQ(dctInit(6, 8), 0);  // a refused size drops the earlier tables
    untouched("after a refused dctInit");
    ASSERT_EQ(dctInit(8, 8), 1);
    dctCleanup();
    dctCleanup();
    untouched("after dctCleanup");
    fdct2d(nullptr);
}
