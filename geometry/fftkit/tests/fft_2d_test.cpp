#include "geometry/fftkit/fft.h"
#include "geometry/fftkit/tests/fftw_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;

struct Size {
    int nx, ny;
};

std::unique_ptr<FFT> MakeFft(int nx, int ny, bool combine)
{
    std::unique_ptr<FFT> fft(GetFftInterface());
    EXPECT_NE(fft, nullptr);
    EXPECT_TRUE(fft->Setup(nx, ny, combine)) << nx << "x" << ny;
    return fft;
}

std::vector<float> RandomImage(int nx, int ny, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(static_cast<size_t>(nx) * ny);
    for (float& x : v) x = dist(rng);
    return v;
}

// The 2-D transform of a real image by FFTW, with the + sign.
std::vector<Complex> Oracle(const std::vector<float>& image, int nx, int ny)
{
    std::vector<Complex> z(image.begin(), image.end());
    return fftw_oracle::Dft2dPlus(z, nx, ny);
}

// Reads F(k) of one packed real line of length n through the layout
// formula: position k Re F(k) (0 <= k <= n/2), position n/2 + k Im F(k).
Complex PackedLine(const std::vector<Complex>& line, int n, int k)
{
    const int h = n / 2;
    if (k == 0 || k == h) return line[k];
    if (k < h) return line[k] + Complex(0, 1) * line[h + k];
    return std::conj(line[n - k] + Complex(0, 1) * line[h + n - k]);
}

// The full spectrum from the separable layout: rows packed along x, then
// columns packed along y. Column c unpacks to G_c(ky); by linearity the
// row spectrum's Re part (column kx) and Im part (column Hx + kx) give
// F(ky, kx) = G_kx(ky) + i G_{Hx+kx}(ky), and F(ky, nx - kx) = conj F(-ky, kx).
std::vector<Complex> ReadSeparable(const std::vector<float>& s, int nx, int ny)
{
    const int hx = nx / 2;
    std::vector<Complex> g(static_cast<size_t>(nx) * ny);
    for (int c = 0; c < nx; ++c) {
        std::vector<Complex> column(ny);
        for (int y = 0; y < ny; ++y) column[y] = s[static_cast<size_t>(y) * nx + c];
        for (int ky = 0; ky < ny; ++ky) g[static_cast<size_t>(ky) * nx + c] = PackedLine(column, ny, ky);
    }
    std::vector<Complex> f(g.size());
    for (int ky = 0; ky < ny; ++ky) {
        for (int kx = 0; kx <= hx; ++kx) {
            Complex v = g[static_cast<size_t>(ky) * nx + kx];
            if (kx != 0 && kx != hx) v += Complex(0, 1) * g[static_cast<size_t>(ky) * nx + hx + kx];
            f[static_cast<size_t>(ky) * nx + kx] = v;
        }
    }
    for (int ky = 0; ky < ny; ++ky)
        for (int kx = hx + 1; kx < nx; ++kx)
            f[static_cast<size_t>(ky) * nx + kx] = std::conj(f[static_cast<size_t>((ny - ky) % ny) * nx + nx - kx]);
    return f;
}

// The combined layout: for 1 <= ky < Hy, 1 <= kx < Hx, Q = Re F(ky, kx),
// R = Im F(ky, kx), P = Im F(ky, nx - kx), S = Re F(ky, nx - kx); the rows
// 0 and Hy and the columns 0 and Hx read as in the separable layout.
std::vector<Complex> ReadCombined(const std::vector<float>& s, int nx, int ny)
{
    const int hx = nx / 2, hy = ny / 2;
    std::vector<Complex> f = ReadSeparable(s, nx, ny);
    auto at = [&](int r, int c) { return static_cast<double>(s[static_cast<size_t>(r) * nx + c]); };
    auto put = [&](int ky, int kx, Complex v) {
        f[static_cast<size_t>(ky) * nx + kx] = v;
        f[static_cast<size_t>((ny - ky) % ny) * nx + (nx - kx) % nx] = std::conj(v);
    };
    for (int ky = 1; ky < hy; ++ky) {
        for (int kx = 1; kx < hx; ++kx) {
            put(ky, kx, Complex(at(ky, kx), at(ky, hx + kx)));
            put(ky, nx - kx, Complex(at(hy + ky, hx + kx), at(hy + ky, kx)));
        }
    }
    return f;
}

double MaxAbs(const std::vector<float>& v)
{
    double m = 0;
    for (float x : v) m = std::max(m, static_cast<double>(std::fabs(x)));
    return m;
}

// Single-precision transforms err by a few float epsilons times log N times
// the size of the sums (about 2e-7 of the largest output here); layout
// faults err by the size of the sums themselves.
double Tolerance(int nx, int ny, double maxAbs) { return 2e-6 * std::max(nx, ny) * maxAbs; }

::testing::AssertionResult SameSpectrum(const std::vector<Complex>& ours, const std::vector<Complex>& ref, int nx,
                                        double tol)
{
    for (size_t i = 0; i < ref.size(); ++i) {
        if (std::abs(ours[i] - ref[i]) > tol) {
            return ::testing::AssertionFailure()
                   << "F(" << i / nx << ", " << i % nx << ") = " << ours[i] << ", FFTW " << ref[i] << ", tol " << tol;
        }
    }
    return ::testing::AssertionSuccess();
}

const Size kSizes[] = {{2, 2},   {4, 4},   {6, 6},   {8, 8},  {12, 12}, {16, 16}, {24, 24}, {32, 32},
                       {48, 48}, {64, 64}, {96, 96}, {128, 128}, {2, 8},  {8, 2},   {16, 4},  {6, 48},
                       {12, 16}, {48, 6},  {96, 32}, {24, 128}, {256, 6}, {4, 192}, {384, 2}};

}  // namespace

TEST(FftSetup, AcceptsSidesOfTwoToTheKAndThreeTimesTwoToTheK)
{
    struct Case {
        int nx, ny;
        bool accepted;
    };
    const Case cases[] = {{8, 1, false},  {10, 8, false}, {9, 8, false},  {5, 5, false},   {12, 16, true},
                          {6, 48, true},  {1, 1, false},  {0, 8, false},  {-8, 8, false},  {8, -8, false},
                          {3, 8, false},  {8, 3, false},  {18, 8, false}, {36, 36, false}, {2, 2, true},
                          {96, 1024, true}};
    for (const Case& c : cases) {
        std::unique_ptr<FFT> fft(GetFftInterface());
        ASSERT_NE(fft, nullptr);
        EXPECT_EQ(fft->Setup(c.nx, c.ny, false), c.accepted) << c.nx << "x" << c.ny;
    }
}

TEST(FftForward, TwoByTwoGivesTheSumsAndDifferences)
{
    auto fft = MakeFft(2, 2, false);
    const float a = 1, b = 2, c = 4, d = 8;
    std::vector<float> v = {a, b, c, d};
    fft->Forward(v.data());
    EXPECT_EQ(v, (std::vector<float>{a + b + c + d, a - b + c - d, a + b - c - d, a - b - c + d}));
}

TEST(FftForward, SeparableLayoutMatchesFftw)
{
    ASSERT_TRUE(fftw_oracle::FftwPresent());
    for (const Size& size : kSizes) {
        const auto image = RandomImage(size.nx, size.ny, static_cast<unsigned>(size.nx * 1000 + size.ny));
        auto fft = MakeFft(size.nx, size.ny, false);
        std::vector<float> s = image;
        fft->Forward(s.data());
        EXPECT_TRUE(SameSpectrum(ReadSeparable(s, size.nx, size.ny), Oracle(image, size.nx, size.ny), size.nx,
                                 Tolerance(size.nx, size.ny, MaxAbs(image))))
            << size.nx << "x" << size.ny;
    }
}

TEST(FftForward, CombinedLayoutMatchesFftw)
{
    ASSERT_TRUE(fftw_oracle::FftwPresent());
    for (const Size& size : kSizes) {
        const auto image = RandomImage(size.nx, size.ny, static_cast<unsigned>(size.nx + 7 * size.ny));
        auto fft = MakeFft(size.nx, size.ny, true);
        std::vector<float> s = image;
        fft->Forward(s.data());
        EXPECT_TRUE(SameSpectrum(ReadCombined(s, size.nx, size.ny), Oracle(image, size.nx, size.ny), size.nx,
                                 Tolerance(size.nx, size.ny, MaxAbs(image))))
            << size.nx << "x" << size.ny;
    }
}

TEST(FftForward, NyquistElementsHoldTheRealParts)
{
    ASSERT_TRUE(fftw_oracle::FftwPresent());
    const int nx = 16, ny = 12;
    const auto image = RandomImage(nx, ny, 5);
    auto fft = MakeFft(nx, ny, true);
    std::vector<float> s = image;
    fft->Forward(s.data());
    const auto ref = Oracle(image, nx, ny);
    EXPECT_NEAR(s[nx / 2], ref[nx / 2].real(), 1e-4);                                      // (0, Hx)
    EXPECT_NEAR(s[static_cast<size_t>(ny / 2) * nx], ref[static_cast<size_t>(ny / 2) * nx].real(), 1e-4);  // (Hy, 0)
}

TEST(FftInverse, ReturnsTheInputScaledOrNormalised)
{
    for (const Size& size : kSizes) {
        for (bool combine : {false, true}) {
            const auto image = RandomImage(size.nx, size.ny, 11);
            const double scale = size.nx * size.ny / 4.0;
            auto fft = MakeFft(size.nx, size.ny, combine);
            std::vector<float> v = image;
            fft->Forward(v.data());
            fft->Inverse(v.data());
            const double tol = 5e-6;
            for (size_t i = 0; i < v.size(); ++i)
                ASSERT_NEAR(v[i] / scale, image[i], tol) << size.nx << "x" << size.ny << " combine " << combine;
            fft->SetNormalize(true);
            v = image;
            fft->Forward(v.data());
            fft->Inverse(v.data());
            for (size_t i = 0; i < v.size(); ++i)
                ASSERT_NEAR(v[i], image[i], tol) << size.nx << "x" << size.ny << " normalised, combine " << combine;
        }
    }
}

TEST(FftInverse, PowerOfTwoRoundTripIsExactForSmallIntegers)
{
    // With sides 2^k every twiddle of the 2 x 4 and 4 x 4 cases is 0 or +-1
    // and every intermediate an integer, so nothing may be lost.
    for (const Size& size : {Size{2, 4}, Size{4, 4}, Size{4, 2}}) {
        auto fft = MakeFft(size.nx, size.ny, true);
        fft->SetNormalize(true);
        std::vector<float> v(static_cast<size_t>(size.nx) * size.ny);
        for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>((i * 37) % 11) - 5.0f;
        const auto image = v;
        fft->Forward(v.data());
        fft->Inverse(v.data());
        EXPECT_EQ(v, image) << size.nx << "x" << size.ny;
    }
}

TEST(FftQuadrants, SplitUndoesCombine)
{
    auto fft = MakeFft(16, 12, false);
    const auto image = RandomImage(16, 12, 3);
    std::vector<float> v = image;
    fft->CombineQuadrants(v.data());
    EXPECT_NE(v, image);
    fft->SplitQuadrants(v.data());
    for (size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], image[i], 1e-6);
}

TEST(FftForwardComplex, NaturalOrderMatchesFftw)
{
    ASSERT_TRUE(fftw_oracle::FftwPresent());
    const Size sizes[] = {{2, 2}, {4, 4}, {8, 8}, {6, 6}, {12, 24}, {32, 16}, {2, 16}, {48, 96}, {64, 64}};
    for (const Size& size : sizes) {
        for (bool combine : {false, true}) {
            const auto re = RandomImage(size.nx, size.ny, 21);
            const auto im = RandomImage(size.nx, size.ny, 22);
            std::vector<Complex> z(re.size());
            for (size_t i = 0; i < z.size(); ++i) z[i] = Complex(re[i], im[i]);
            const auto ref = fftw_oracle::Dft2dPlus(z, size.nx, size.ny);
            auto fft = MakeFft(size.nx, size.ny, combine);
            std::vector<float> r = re, m = im;
            fft->ForwardComplex(r.data(), m.data());
            std::vector<Complex> ours(z.size());
            for (size_t i = 0; i < z.size(); ++i) ours[i] = Complex(r[i], m[i]);
            EXPECT_TRUE(SameSpectrum(ours, ref, size.nx, Tolerance(size.nx, size.ny, 1.0)))
                << size.nx << "x" << size.ny << " combine " << combine;
            // The combine flag survives: a later Forward still combines.
            std::vector<float> s = re;
            fft->Forward(s.data());
            const auto read = combine ? ReadCombined(s, size.nx, size.ny) : ReadSeparable(s, size.nx, size.ny);
            EXPECT_TRUE(SameSpectrum(read, Oracle(re, size.nx, size.ny), size.nx, Tolerance(size.nx, size.ny, 1.0)));
        }
    }
}

// Row ky of the map holds |F(ky, kx)|^2 at column kx <= Hx and |F(ky, nx - j)|^2
// at column Hx + j; amplitude and ln(1 + power) are the other kinds.
TEST(FftPowerSpectrum, LayoutAndKindsMatchFftwInBothLayouts)
{
    ASSERT_TRUE(fftw_oracle::FftwPresent());
    const Size sizes[] = {{16, 16}, {12, 8}, {8, 24}, {2, 4}, {64, 32}};
    for (const Size& size : sizes) {
        const int nx = size.nx, ny = size.ny, hx = nx / 2, hy = ny / 2;
        const auto image = RandomImage(nx, ny, 31);
        const auto ref = Oracle(image, nx, ny);
        for (bool combine : {false, true}) {
            auto fft = MakeFft(nx, ny, combine);
            std::vector<float> s = image;
            fft->Forward(s.data());
            for (int kind : {0, 1, 2}) {
                std::vector<float> out(static_cast<size_t>(hy + 1) * nx, -1.0f);
                fft->PowerSpectrum(s.data(), out.data(), kind);
                for (int ky = 0; ky <= hy; ++ky) {
                    for (int c = 0; c < nx; ++c) {
                        const int kx = c <= hx ? c : nx - (c - hx);
                        const double power = std::norm(ref[static_cast<size_t>(ky) * nx + kx]);
                        const double want = kind == 1 ? std::sqrt(power) : kind == 2 ? std::log(1 + power) : power;
                        ASSERT_NEAR(out[static_cast<size_t>(ky) * nx + c], want, 1e-4 * std::max(1.0, want))
                            << nx << "x" << ny << " combine " << combine << " kind " << kind << " at " << ky << ","
                            << c;
                    }
                }
            }
        }
    }
}

TEST(FftPowerSpectrum, OutputMayBeTheSpectrumItself)
{
    auto fft = MakeFft(8, 8, false);
    const auto image = RandomImage(8, 8, 41);
    std::vector<float> s = image;
    fft->Forward(s.data());
    std::vector<float> separate(5 * 8);
    fft->PowerSpectrum(s.data(), separate.data(), 0);
    fft->PowerSpectrum(s.data(), s.data(), 0);
    for (size_t i = 0; i < separate.size(); ++i) EXPECT_FLOAT_EQ(s[i], separate[i]);
}

TEST(FftLifecycle, TransformsBeforeOrAfterAFailedSetupChangeNothing)
{
    std::unique_ptr<FFT> fresh(GetFftInterface());
    std::unique_ptr<FFT> refused(GetFftInterface());
    ASSERT_FALSE(refused->Setup(10, 8, true));
    for (FFT* fft : {fresh.get(), refused.get()}) {
        std::vector<float> v = RandomImage(8, 8, 1);
        const auto before = v;
        std::vector<float> w = v;
        std::vector<float> out(5 * 8, 7.0f);
        fft->Forward(v.data());
        fft->Inverse(v.data());
        fft->ForwardComplex(v.data(), w.data());
        fft->CombineQuadrants(v.data());
        fft->SplitQuadrants(v.data());
        fft->PowerSpectrum(v.data(), out.data(), 0);
        EXPECT_EQ(v, before);
        EXPECT_EQ(w, before);
        EXPECT_EQ(out, std::vector<float>(5 * 8, 7.0f));
    }
}

TEST(FftLifecycle, SecondSetupReplacesTheTables)
{
    ASSERT_TRUE(fftw_oracle::FftwPresent());
    auto fft = MakeFft(8, 8, false);
    ASSERT_TRUE(fft->Setup(24, 16, true));
    fft->SetNormalize(true);
    ASSERT_TRUE(fft->Setup(12, 6, false));  // clears normalise, drops combine
    const auto image = RandomImage(12, 6, 2);
    std::vector<float> s = image;
    fft->Forward(s.data());
    EXPECT_TRUE(SameSpectrum(ReadSeparable(s, 12, 6), Oracle(image, 12, 6), 12, Tolerance(12, 6, 1.0)));
    fft->Inverse(s.data());
    for (size_t i = 0; i < s.size(); ++i) EXPECT_NEAR(s[i], image[i] * 18.0f, 1e-3);
    // A refused Setup leaves nothing usable behind.
    EXPECT_FALSE(fft->Setup(7, 6, false));
    std::vector<float> v = image;
    fft->Forward(v.data());
    EXPECT_EQ(v, image);
}

TEST(FftLifecycle, CloneIsSetUpAlikeWithNormaliseCleared)
{
    auto fft = MakeFft(12, 8, true);
    fft->SetNormalize(true);
    std::unique_ptr<FFT> copy(fft->Clone());
    ASSERT_NE(copy, nullptr);
    const auto image = RandomImage(12, 8, 9);
    std::vector<float> a = image, b = image;
    fft->Forward(a.data());
    copy->Forward(b.data());
    EXPECT_EQ(a, b);
    fft->Inverse(a.data());
    copy->Inverse(b.data());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i], image[i], 1e-5);
        EXPECT_NEAR(b[i], image[i] * 24.0f, 1e-4);
    }
    std::unique_ptr<FFT> blank(GetFftInterface());
    std::unique_ptr<FFT> blankCopy(blank->Clone());
    ASSERT_NE(blankCopy, nullptr);
    std::vector<float> v = image;
    blankCopy->Forward(v.data());
    EXPECT_EQ(v, image);
}
