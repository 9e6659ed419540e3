// Test fixtures of the correlation engine: smooth textures that can be
// sampled at any real position (so that a shifted copy is exact, without
// interpolation), and a brute-force normalised cross-correlation over image
// coordinates that knows nothing of FFT windows, running sums or wrap-around.
#pragma once

#include "imaging/image.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace pairlock_test {

// A sum of random plane waves per channel, wavelengths 7 to 40 pixels by
// default.
class Texture {
public:
    explicit Texture(uint32_t seed, int waves = 24, double shortest = 7.0, double longest = 40.0)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI);
        std::uniform_real_distribution<double> wavelength(shortest, longest);
        for (int ch = 0; ch < 3; ++ch) {
            for (int i = 0; i < waves; ++i) {
                const double a = angle(rng);
                const double k = 2.0 * M_PI / wavelength(rng);
                m_waves[ch].push_back({k * std::cos(a), k * std::sin(a), angle(rng)});
            }
        }
    }
    // Zero mean, unit standard deviation on average.
    double Value(int ch, double x, double y) const
    {
        double s = 0.0;
        for (const Wave& w : m_waves[ch]) s += std::cos(w.kx * x + w.ky * y + w.phase);
        return s * Scale(ch);
    }

    // Value(ch, x + dx, y + dy) for the whole w x h grid, row-major, each
    // wave split as cos(a + b) = cos a cos b - sin a sin b (a along x, b
    // along y) so that the grid costs no cosine per sample.
    std::vector<double> Grid(int ch, int w, int h, double dx, double dy) const
    {
        std::vector<double> out(static_cast<size_t>(w) * h, 0.0);
        std::vector<double> cx(w), sx(w);
        for (const Wave& wave : m_waves[ch]) {
            for (int x = 0; x < w; ++x) {
                const double a = wave.kx * (x + dx) + wave.phase;
                cx[x] = std::cos(a);
                sx[x] = std::sin(a);
            }
            for (int y = 0; y < h; ++y) {
                const double b = wave.ky * (y + dy);
                const double cb = std::cos(b), sb = std::sin(b);
                double* row = out.data() + static_cast<size_t>(y) * w;
                for (int x = 0; x < w; ++x) row[x] += cx[x] * cb - sx[x] * sb;
            }
        }
        const double scale = Scale(ch);
        for (double& v : out) v *= scale;
        return out;
    }

private:
    double Scale(int ch) const { return std::sqrt(2.0 / static_cast<double>(m_waves[ch].size())); }
    struct Wave {
        double kx, ky, phase;
    };
    std::vector<Wave> m_waves[3];
};

// img(x, y) = base + sd * texture(x + dx, y + dy), rounded, kept in 1..255
// (0 would mean no data). Three 8-bit channels.
inline Image* MakeTextureImage(const Texture& t, int w, int h, double dx = 0.0, double dy = 0.0, double sd = 40.0,
                               double base = 128.0)
{
    auto* img = new Image(w, h);
    for (int ch = 0; ch < 3; ++ch) {
        const std::vector<double> grid = t.Grid(ch, w, h, dx, dy);
        for (int y = 0; y < h; ++y) {
            unsigned char* row = img->GetData() + static_cast<size_t>(y) * img->GetRowByte();
            for (int x = 0; x < w; ++x) {
                const double v = base + sd * grid[static_cast<size_t>(y) * w + x];
                row[3 * x + ch] = static_cast<unsigned char>(std::clamp(std::lround(v), 1L, 255L));
            }
        }
    }
    return img;
}

inline double Sample(const Image* img, int ch, int x, int y)
{
    return img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + static_cast<size_t>(x) * 3 + ch];
}

struct NccRef {
    double value;  // the map value with the low-contrast damping
    double prod;   // product of the two variances
};

// The correlation of the template of image 2 with image 1 moved by (dx,
// dy): the template is the odd box of (2 (wd/2) + 1) x (2 (ht/2) + 1)
// samples centred on (cx, cy) and the value is the textbook NCC of the two
// boxes: mean of products less product of means, over the square root of
// the product of the variances. Positions of little contrast are damped:
// value = cov sqrt(prod) / 50000 up to prod 50000, 0 up to prod 100.
inline NccRef BruteNcc(const Image* img1, const Image* img2, int ch, int cx, int cy, int dx, int dy, int wd, int ht)
{
    const int hw = wd / 2, hh = ht / 2;
    double prodSum = 0.0;
    for (int y = cy - hh; y <= cy + hh; ++y)
        for (int x = cx - hw; x <= cx + hw; ++x) prodSum += Sample(img2, ch, x, y) * Sample(img1, ch, x + dx, y + dy);
    const double meanProd = prodSum / ((2.0 * hw + 1) * (2.0 * hh + 1));
    auto stats = [&](const Image* img, int px, int py, double* mean, double* var) {
        double s = 0.0, s2 = 0.0, n = 0.0;
        for (int y = py - ht / 2; y <= py + ht / 2; ++y)
            for (int x = px - wd / 2; x <= px + wd / 2; ++x) {
                const double v = Sample(img, ch, x, y);
                s += v;
                s2 += v * v;
                n += 1.0;
            }
        *mean = s / n;
        *var = s2 / n - *mean * *mean;
    };
    double mT, vT, m1, v1;
    stats(img2, cx, cy, &mT, &vT);
    stats(img1, cx + dx, cy + dy, &m1, &v1);
    const double cov = meanProd - mT * m1;
    const double prod = v1 * vT;
    double value = 0.0;
    if (prod > 50000.0)
        value = cov / std::sqrt(prod);
    else if (prod > 100.0)
        value = cov * std::sqrt(prod) / 50000.0;
    return {value, prod};
}

}  // namespace pairlock_test
