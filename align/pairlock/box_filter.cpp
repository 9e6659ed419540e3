#include "align/pairlock/box_filter.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

// The running sums are carried in double and rounded to float once per
// sample: a float accumulator over a long row of squared 8-bit samples drifts
// by several units, which the variance (mean of squares minus squared mean)
// would amplify.

namespace {

constexpr int kRowsPerPass = 4;  // independent rows summed side by side

bool ValidSizes(int nx, int ny) { return nx > 0 && ny > 0; }

// Sliding sums of `rows` rows at once: the serial add of one row hides the
// latency of the others.
void SlideRows(const float* const* s, float* const* d, int rows, int nx, int h)
{
    double acc[kRowsPerPass] = {};
    for (int r = 0; r < rows; ++r) {
        double sum = 0.0;
        for (int i = 0; i <= 2 * h; ++i) sum += s[r][i];
        acc[r] = sum;
        d[r][h] = static_cast<float>(sum);
    }
    if (rows == kRowsPerPass) {
        for (int x = h + 1; x < nx - h; ++x) {
            for (int r = 0; r < kRowsPerPass; ++r) {
                acc[r] += static_cast<double>(s[r][x + h]) - static_cast<double>(s[r][x - h - 1]);
                d[r][x] = static_cast<float>(acc[r]);
            }
        }
    } else {
        for (int r = 0; r < rows; ++r) {
            double sum = acc[r];
            for (int x = h + 1; x < nx - h; ++x) {
                sum += static_cast<double>(s[r][x + h]) - static_cast<double>(s[r][x - h - 1]);
                d[r][x] = static_cast<float>(sum);
            }
        }
    }
    for (int r = 0; r < rows; ++r) {
        for (int x = 0; x < h; ++x) d[r][x] = d[r][h];
        for (int x = nx - h; x < nx; ++x) d[r][x] = d[r][nx - h - 1];
    }
}

int LineSumXImpl(const float* src, float* dst, int nx, int ny, int w)
{
    const int h = w / 2;
    const size_t stride = static_cast<size_t>(nx);
    // In place, each row is summed from a private copy of its rows.
    std::unique_ptr<float[]> copy;
    if (src == dst) {
        copy.reset(new (std::nothrow) float[stride * kRowsPerPass]);
        if (!copy) {
            std::fputs("LineSumX: can't locate memory \n", stdout);
            return 0;
        }
    }
    for (int y = 0; y < ny; y += kRowsPerPass) {
        const int rows = ny - y < kRowsPerPass ? ny - y : kRowsPerPass;
        const float* s[kRowsPerPass];
        float* d[kRowsPerPass];
        for (int r = 0; r < rows; ++r) {
            d[r] = dst + static_cast<size_t>(y + r) * stride;
            if (copy) {
                std::memcpy(copy.get() + r * stride, d[r], stride * sizeof(float));
                s[r] = copy.get() + r * stride;
            } else {
                s[r] = src + static_cast<size_t>(y + r) * stride;
            }
        }
        SlideRows(s, d, rows, nx, h);
    }
    return 1;
}

// Column sums, whole rows at a time; every output sample is multiplied by
// `scale` (1 for plain sums) before it is rounded to float.
int LineSumYImpl(const float* src, float* dst, int nx, int ny, int w, double scale)
{
    const int h = w / 2;
    const size_t stride = static_cast<size_t>(nx);
    std::unique_ptr<float[]> copy;
    if (src == dst) {
        // Later rows read source rows that earlier rows have overwritten.
        copy.reset(new (std::nothrow) float[stride * static_cast<size_t>(ny)]);
        if (!copy) {
            std::fputs("LineSumX: can't locate memory \n", stdout);
            return 0;
        }
        std::memcpy(copy.get(), src, stride * static_cast<size_t>(ny) * sizeof(float));
        src = copy.get();
    }
    std::unique_ptr<double[]> acc(new (std::nothrow) double[stride]());
    if (!acc) {
        std::fputs("LineSumX: can't locate memory \n", stdout);
        return 0;
    }
    double* a = acc.get();
    for (int y = 0; y <= 2 * h; ++y) {
        const float* s = src + static_cast<size_t>(y) * stride;
        for (int x = 0; x < nx; ++x) a[x] += s[x];
    }
    {
        float* d = dst + static_cast<size_t>(h) * stride;
        for (int x = 0; x < nx; ++x) d[x] = static_cast<float>(a[x] * scale);
    }
    for (int y = h + 1; y < ny - h; ++y) {
        const float* in = src + static_cast<size_t>(y + h) * stride;
        const float* out = src + static_cast<size_t>(y - h - 1) * stride;
        float* d = dst + static_cast<size_t>(y) * stride;
        for (int x = 0; x < nx; ++x) {
            a[x] += static_cast<double>(in[x]) - static_cast<double>(out[x]);
            d[x] = static_cast<float>(a[x] * scale);
        }
    }
    const size_t rowBytes = stride * sizeof(float);
    for (int y = 0; y < h; ++y)
        std::memcpy(dst + static_cast<size_t>(y) * stride, dst + static_cast<size_t>(h) * stride, rowBytes);
    for (int y = ny - h; y < ny; ++y)
        std::memcpy(dst + static_cast<size_t>(y) * stride, dst + static_cast<size_t>(ny - h - 1) * stride, rowBytes);
    return 1;
}

}  // namespace

int LineSumX(float* src, float* dst, int nx, int ny, int w)
{
    if (!src || !dst || !ValidSizes(nx, ny) || w < 1) return 0;
    if (2 * (w / 2) + 1 > nx) return 0;  // the window would read past the row
    if (w == 1) {
        if (src != dst) std::memmove(dst, src, static_cast<size_t>(nx) * static_cast<size_t>(ny) * sizeof(float));
        return 1;
    }
    return LineSumXImpl(src, dst, nx, ny, w);
}

int LineSumY(float* src, float* dst, int nx, int ny, int w)
{
    if (!src || !dst || !ValidSizes(nx, ny) || w < 1) return 0;
    if (2 * (w / 2) + 1 > ny) return 0;
    if (w == 1) {
        if (src != dst) std::memmove(dst, src, static_cast<size_t>(nx) * static_cast<size_t>(ny) * sizeof(float));
        return 1;
    }
    return LineSumYImpl(src, dst, nx, ny, w, 1.0);
}

int FBoxLowPass(float* src, float* dst, int nx, int ny, int wx, int wy, float /*unused*/)
{
    if (!src || !dst || !ValidSizes(nx, ny)) return 0;
    if (wx < 1 || wx > nx - 2 || wy < 1 || wy > ny - 2) return 0;
    const size_t n = static_cast<size_t>(nx) * static_cast<size_t>(ny);
    std::unique_ptr<float[]> work(new (std::nothrow) float[n]);
    if (!work) {
        std::fputs("FBoxLowPass: can't locate memory \n", stdout);
        return 0;
    }
    if (wx == 1)
        std::memcpy(work.get(), src, n * sizeof(float));
    else if (!LineSumXImpl(src, work.get(), nx, ny, wx))
        return 0;
    // The window is always odd: an even width sums one sample more.
    const double count = static_cast<double>(2 * (wx / 2) + 1) * static_cast<double>(2 * (wy / 2) + 1);
    if (wy == 1) {
        const double scale = 1.0 / count;
        for (size_t i = 0; i < n; ++i) dst[i] = static_cast<float>(work[i] * scale);
        return 1;
    }
    return LineSumYImpl(work.get(), dst, nx, ny, wy, 1.0 / count);
}
