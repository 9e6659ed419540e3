#include "align/pairlock/box_filter.h"
#include "core/cpu_features.h"

#include <cstddef>
#include <immintrin.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

// The running sums are carried in double and rounded to float once per
// sample: a float accumulator over a long row of squared 8-bit samples drifts
// by several units, which the variance (mean of squares minus squared mean)
// would amplify.

namespace {

constexpr int kRowsPerPass = 4;  // rows summed side by side, one vector lane each

bool ValidSizes(int nx, int ny) { return nx > 0 && ny > 0; }

// Wider vector units where the processor has them; the arithmetic (and so
// every result bit) is the same on every path.
#define BOXFILTER_CLONES __attribute__((target_clones("avx2", "default")))

// Four rows interleaved into columns of four: cols[4 x + r] = s[r][x].
void Interleave(const float* const* s, int nx, float* cols)
{
    int x = 0;
    for (; x + 4 <= nx; x += 4) {
        __m128 r0 = _mm_loadu_ps(s[0] + x), r1 = _mm_loadu_ps(s[1] + x);
        __m128 r2 = _mm_loadu_ps(s[2] + x), r3 = _mm_loadu_ps(s[3] + x);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(cols + 4 * x, r0);
        _mm_storeu_ps(cols + 4 * x + 4, r1);
        _mm_storeu_ps(cols + 4 * x + 8, r2);
        _mm_storeu_ps(cols + 4 * x + 12, r3);
    }
    for (; x < nx; ++x)
        for (int r = 0; r < 4; ++r) cols[4 * x + r] = s[r][x];
}

// The reverse: d[r][x] = sums[4 x + r].
void Deinterleave(const float* sums, int nx, float* const* d)
{
    int x = 0;
    for (; x + 4 <= nx; x += 4) {
        __m128 c0 = _mm_loadu_ps(sums + 4 * x), c1 = _mm_loadu_ps(sums + 4 * x + 4);
        __m128 c2 = _mm_loadu_ps(sums + 4 * x + 8), c3 = _mm_loadu_ps(sums + 4 * x + 12);
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
        _mm_storeu_ps(d[0] + x, c0);
        _mm_storeu_ps(d[1] + x, c1);
        _mm_storeu_ps(d[2] + x, c2);
        _mm_storeu_ps(d[3] + x, c3);
    }
    for (; x < nx; ++x)
        for (int r = 0; r < 4; ++r) d[r][x] = sums[4 * x + r];
}

// The four running sums of interleaved columns, as one vector of doubles:
// sums[4 x + r] for x = h .. nx-h-1. The two versions give the same bits.
__attribute__((target("avx2"))) void SlideColumnsAvx2(const float* cols, float* sums, int nx, int h)
{
    __m256d acc = _mm256_setzero_pd();
    for (int i = 0; i <= 2 * h; ++i) acc = _mm256_add_pd(acc, _mm256_cvtps_pd(_mm_loadu_ps(cols + 4 * i)));
    _mm_storeu_ps(sums + 4 * h, _mm256_cvtpd_ps(acc));
    for (int x = h + 1; x < nx - h; ++x) {
        const __m256d in = _mm256_cvtps_pd(_mm_loadu_ps(cols + 4 * (x + h)));
        const __m256d out = _mm256_cvtps_pd(_mm_loadu_ps(cols + 4 * (x - h - 1)));
        acc = _mm256_add_pd(acc, _mm256_sub_pd(in, out));
        _mm_storeu_ps(sums + 4 * x, _mm256_cvtpd_ps(acc));
    }
}

void SlideColumnsSse2(const float* cols, float* sums, int nx, int h)
{
    // Rows 0, 1 in lo, rows 2, 3 in hi.
    auto load = [](const float* p, __m128d* lo, __m128d* hi) {
        const __m128 v = _mm_loadu_ps(p);
        *lo = _mm_cvtps_pd(v);
        *hi = _mm_cvtps_pd(_mm_movehl_ps(v, v));
    };
    auto store = [](float* p, __m128d lo, __m128d hi) {
        _mm_storeu_ps(p, _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
    };
    __m128d accLo = _mm_setzero_pd(), accHi = _mm_setzero_pd();
    for (int i = 0; i <= 2 * h; ++i) {
        __m128d lo, hi;
        load(cols + 4 * i, &lo, &hi);
        accLo = _mm_add_pd(accLo, lo);
        accHi = _mm_add_pd(accHi, hi);
    }
    store(sums + 4 * h, accLo, accHi);
    for (int x = h + 1; x < nx - h; ++x) {
        __m128d inLo, inHi, outLo, outHi;
        load(cols + 4 * (x + h), &inLo, &inHi);
        load(cols + 4 * (x - h - 1), &outLo, &outHi);
        accLo = _mm_add_pd(accLo, _mm_sub_pd(inLo, outLo));
        accHi = _mm_add_pd(accHi, _mm_sub_pd(inHi, outHi));
        store(sums + 4 * x, accLo, accHi);
    }
}

int g_path = 0;  // 0 the widest the processor has, 1 SSE2

bool UseAvx2()
{
    return cpu::HasAvx2() && g_path == 0;
}

// Sliding sums of four rows at once: interleaved into columns of four
// (`cols`, 4 nx floats) so that the four running sums advance as one vector,
// then spread back from `sums`.
void SlideFourRows(const float* const* s, float* const* d, int nx, int h, float* cols, float* sums)
{
    Interleave(s, nx, cols);
    if (UseAvx2())
        SlideColumnsAvx2(cols, sums, nx, h);
    else
        SlideColumnsSse2(cols, sums, nx, h);
    for (int x = 0; x < h; ++x)
        for (int r = 0; r < 4; ++r) sums[4 * x + r] = sums[4 * h + r];
    for (int x = nx - h; x < nx; ++x)
        for (int r = 0; r < 4; ++r) sums[4 * x + r] = sums[4 * (nx - h - 1) + r];
    Deinterleave(sums, nx, d);
}

// Sliding sum of one row.
void SlideOneRow(const float* s, float* d, int nx, int h)
{
    double sum = 0.0;
    for (int i = 0; i <= 2 * h; ++i) sum += s[i];
    d[h] = static_cast<float>(sum);
    for (int x = h + 1; x < nx - h; ++x) {
        sum += static_cast<double>(s[x + h]) - static_cast<double>(s[x - h - 1]);
        d[x] = static_cast<float>(sum);
    }
    for (int x = 0; x < h; ++x) d[x] = d[h];
    for (int x = nx - h; x < nx; ++x) d[x] = d[nx - h - 1];
}

// Sliding sums of up to four rows; `work` holds 8 * nx floats. Reads all of
// s before writing d, so d may be s.
void SlideRows(const float* const* s, float* const* d, int rows, int nx, int h, float* work)
{
    if (rows == kRowsPerPass) {
        SlideFourRows(s, d, nx, h, work, work + static_cast<size_t>(kRowsPerPass) * nx);
        return;
    }
    for (int r = 0; r < rows; ++r) {
        float* copy = work;
        std::memcpy(copy, s[r], static_cast<size_t>(nx) * sizeof(float));
        SlideOneRow(copy, d[r], nx, h);
    }
}

// Column accumulation of one row: acc += in - out (out null: acc += in).
BOXFILTER_CLONES
void AccumulateRow(double* acc, const float* in, const float* out, size_t n)
{
    if (!out) {
        for (size_t x = 0; x < n; ++x) acc[x] += in[x];
        return;
    }
    for (size_t x = 0; x < n; ++x) acc[x] += static_cast<double>(in[x]) - static_cast<double>(out[x]);
}

BOXFILTER_CLONES
void ScaleRow(const double* acc, double scale, float* o, size_t n)
{
    for (size_t x = 0; x < n; ++x) o[x] = static_cast<float>(acc[x] * scale);
}

int LineSumXImpl(const float* src, float* dst, int nx, int ny, int w)
{
    const int h = w / 2;
    const size_t stride = static_cast<size_t>(nx);
    std::unique_ptr<float[]> work(new (std::nothrow) float[stride * 2 * kRowsPerPass]);
    if (!work) {
        std::fputs("LineSumX: can't locate memory \n", stdout);
        return 0;
    }
    for (int y = 0; y < ny; y += kRowsPerPass) {
        const int rows = ny - y < kRowsPerPass ? ny - y : kRowsPerPass;
        const float* s[kRowsPerPass];
        float* d[kRowsPerPass];
        for (int r = 0; r < rows; ++r) {
            s[r] = src + static_cast<size_t>(y + r) * stride;
            d[r] = dst + static_cast<size_t>(y + r) * stride;
        }
        SlideRows(s, d, rows, nx, h, work.get());
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
    // One streaming pass: the row sums of the last 2*hy+1 rows (and of the
    // block being summed) stay in a ring while column accumulators slide
    // down, so no image-sized work array is touched. Every source row is
    // summed before any output row at or above it is written, which makes
    // src == dst safe.
    const int hx = wx / 2;
    const int hy = wy / 2;
    const int win = 2 * hy + 1;
    const int ringRows = win + kRowsPerPass;
    const size_t stride = static_cast<size_t>(nx);
    std::unique_ptr<float[]> ring(new (std::nothrow) float[stride * ringRows]);
    std::unique_ptr<float[]> work(new (std::nothrow) float[stride * 2 * kRowsPerPass]);
    std::unique_ptr<double[]> acc(new (std::nothrow) double[stride]());
    if (!ring || !work || !acc) {
        std::fputs("FBoxLowPass: can't locate memory \n", stdout);
        return 0;
    }
    auto slot = [&](int y) { return ring.get() + static_cast<size_t>(y % ringRows) * stride; };
    // The window is always odd: an even width sums one sample more.
    const double scale = 1.0 / (static_cast<double>(2 * hx + 1) * static_cast<double>(win));
    double* a = acc.get();
    for (int y0 = 0; y0 < ny; y0 += kRowsPerPass) {
        const int rows = ny - y0 < kRowsPerPass ? ny - y0 : kRowsPerPass;
        const float* s[kRowsPerPass];
        float* d[kRowsPerPass];
        for (int r = 0; r < rows; ++r) {
            s[r] = src + static_cast<size_t>(y0 + r) * stride;
            d[r] = slot(y0 + r);
        }
        if (hx == 0) {
            for (int r = 0; r < rows; ++r) std::memcpy(d[r], s[r], stride * sizeof(float));
        } else {
            SlideRows(s, d, rows, nx, hx, work.get());
        }
        for (int r = 0; r < rows; ++r) {
            const int y = y0 + r;
            AccumulateRow(a, slot(y), y < win ? nullptr : slot(y - win), stride);
            if (y >= win - 1) ScaleRow(a, scale, dst + static_cast<size_t>(y - hy) * stride, stride);
        }
    }
    const size_t rowBytes = stride * sizeof(float);
    for (int y = 0; y < hy; ++y)
        std::memcpy(dst + static_cast<size_t>(y) * stride, dst + static_cast<size_t>(hy) * stride, rowBytes);
    for (int y = ny - hy; y < ny; ++y)
        std::memcpy(dst + static_cast<size_t>(y) * stride, dst + static_cast<size_t>(ny - hy - 1) * stride, rowBytes);
    return 1;
}

void SetBoxFilterPath(int path) { g_path = path == 1 ? 1 : 0; }
