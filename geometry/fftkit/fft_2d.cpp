#include "geometry/fftkit/fft_2d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using fftkit::kLanes;

extern "C" FFT* GetFftInterface()
{
    return new (std::nothrow) FFT2D();
}

void FFT2D::Reset()
{
    m_factorsX = {};
    m_factorsY = {};
    std::vector<float>().swap(m_work);
    m_workHalf = 0;
    m_lineX = fftkit::FftLine();
    m_lineYOwn.reset();
    m_lineY = nullptr;
    m_nx = m_ny = 0;
    m_flags = 0;
}

bool FFT2D::Setup(int nx, int ny, bool combine)
{
    // A second Setup replaces the earlier tables; a refused one leaves the
    // object not set up, so that every transform is a no-op.
    Reset();
    bool acceptedX = false;
    bool acceptedY = false;
    m_factorsX = fftkit::Factorise(nx, &acceptedX);
    if (!acceptedX || nx > kMaxSide) {
        Reset();
        return false;
    }
    m_factorsY = fftkit::Factorise(ny, &acceptedY);
    if (!acceptedY || ny > kMaxSide) {
        Reset();
        return false;
    }
    m_lineX.Build(nx);
    if (ny == nx) {
        m_lineY = &m_lineX;
    } else {
        m_lineYOwn = std::make_unique<fftkit::FftLine>();
        m_lineYOwn->Build(ny);
        m_lineY = m_lineYOwn.get();
    }
    m_workHalf = static_cast<size_t>(std::max(nx, ny)) * kLanes;
    m_work.assign(2 * m_workHalf, 0.0f);
    m_nx = nx;
    m_ny = ny;
    m_flags = (combine ? kCombine : 0u) | (static_cast<unsigned>(m_lineX.Mode()) << kModeXShift) |
              (static_cast<unsigned>(m_lineY->Mode()) << kModeYShift);
    SetNormalize(false);
    return true;
}

void FFT2D::SetNormalize(bool on)
{
    m_flags = on ? (m_flags | kNormalize) : (m_flags & ~kNormalize);
}

// Rows go through the line transform kLanes at a time, transposed into the
// lane layout and back.
void FFT2D::TransformRows(float* data, bool inverse)
{
    const int nx = m_nx, ny = m_ny;
    float* a = WorkA();
    float* b = WorkB();
    for (int r0 = 0; r0 < ny; r0 += kLanes) {
        const int nb = std::min(kLanes, ny - r0);
        if (nb < kLanes) std::fill(a, a + static_cast<size_t>(nx) * kLanes, 0.0f);
        for (int l = 0; l < nb; ++l) {
            const float* row = data + static_cast<size_t>(r0 + l) * nx;
            for (int n = 0; n < nx; ++n) a[static_cast<size_t>(n) * kLanes + l] = row[n];
        }
        const float* res = inverse ? m_lineX.Inverse(a, b) : m_lineX.Forward(a, b);
        for (int l = 0; l < nb; ++l) {
            float* row = data + static_cast<size_t>(r0 + l) * nx;
            for (int n = 0; n < nx; ++n) row[n] = res[static_cast<size_t>(n) * kLanes + l];
        }
    }
}

// Columns: kLanes neighbouring columns are kLanes neighbouring floats of
// every row, so the lane layout is a plain copy.
void FFT2D::TransformColumns(float* data, bool inverse)
{
    const int nx = m_nx, ny = m_ny;
    float* a = WorkA();
    float* b = WorkB();
    for (int c0 = 0; c0 < nx; c0 += kLanes) {
        const int nb = std::min(kLanes, nx - c0);
        const size_t bytes = static_cast<size_t>(nb) * sizeof(float);
        if (nb < kLanes) std::fill(a, a + static_cast<size_t>(ny) * kLanes, 0.0f);
        for (int n = 0; n < ny; ++n)
            std::memcpy(a + static_cast<size_t>(n) * kLanes, data + static_cast<size_t>(n) * nx + c0, bytes);
        const float* res = inverse ? m_lineY->Inverse(a, b) : m_lineY->Forward(a, b);
        for (int n = 0; n < ny; ++n)
            std::memcpy(data + static_cast<size_t>(n) * nx + c0, res + static_cast<size_t>(n) * kLanes, bytes);
    }
}

void FFT2D::Forward(float* data)
{
    if (!Ready() || data == nullptr) return;
    TransformRows(data, false);
    TransformColumns(data, false);
    if (m_flags & kCombine) CombineQuadrants(data);
}

void FFT2D::Inverse(float* data)
{
    if (!Ready() || data == nullptr) return;
    if (m_flags & kCombine) SplitQuadrants(data);
    TransformColumns(data, true);
    TransformRows(data, true);
    if (m_flags & kNormalize) {
        // Each line pass scales by half its length.
        const float factor = static_cast<float>(4.0 / (static_cast<double>(m_nx) * m_ny));
        const size_t count = static_cast<size_t>(m_nx) * m_ny;
        for (size_t i = 0; i < count; ++i) data[i] *= factor;
    }
}

void FFT2D::CombineQuadrants(float* data)
{
    if (!Ready() || data == nullptr) return;
    const int nx = m_nx, hx = m_nx / 2, hy = m_ny / 2;
    for (int ky = 1; ky < hy; ++ky) {
        float* top = data + static_cast<size_t>(ky) * nx;
        float* bottom = data + static_cast<size_t>(hy + ky) * nx;
        for (int kx = 1; kx < hx; ++kx) {
            const float q = top[kx], r = top[hx + kx], p = bottom[kx], s = bottom[hx + kx];
            top[kx] = q - s;
            bottom[hx + kx] = s + q;
            top[hx + kx] = r + p;
            bottom[kx] = p - r;
        }
    }
}

void FFT2D::SplitQuadrants(float* data)
{
    if (!Ready() || data == nullptr) return;
    const int nx = m_nx, hx = m_nx / 2, hy = m_ny / 2;
    for (int ky = 1; ky < hy; ++ky) {
        float* top = data + static_cast<size_t>(ky) * nx;
        float* bottom = data + static_cast<size_t>(hy + ky) * nx;
        for (int kx = 1; kx < hx; ++kx) {
            const float q = top[kx], r = top[hx + kx], p = bottom[kx], s = bottom[hx + kx];
            top[kx] = (s + q) / 2;
            bottom[hx + kx] = (s - q) / 2;
            bottom[kx] = (r + p) / 2;
            top[hx + kx] = (r - p) / 2;
        }
    }
}

// A column transformed along y is packed: row ky holds Re, row Hy + ky Im.
std::complex<float> FFT2D::ColumnAt(const float* s, int column, int ky) const
{
    const int nx = m_nx, ny = m_ny, hy = ny / 2;
    auto at = [&](int row) { return s[static_cast<size_t>(row) * nx + column]; };
    if (ky == 0 || ky == hy) return {at(ky), 0.0f};
    if (ky < hy) return {at(ky), at(hy + ky)};
    return {at(ny - ky), -at(hy + ny - ky)};
}

std::complex<float> FFT2D::At(const float* s, int ky, int kx, bool combined) const
{
    const int nx = m_nx, ny = m_ny, hx = nx / 2, hy = ny / 2;
    if (kx > hx) return std::conj(At(s, (ny - ky) % ny, nx - kx, combined));
    if (kx == 0 || kx == hx) return ColumnAt(s, kx, ky);
    auto at = [&](int row, int col) { return s[static_cast<size_t>(row) * nx + col]; };
    if (ky == 0 || ky == hy) return {at(ky, kx), at(ky, hx + kx)};
    // 1 <= kx < Hx and an interior row: the four quadrant elements of the
    // frequency row ky' = min(ky, ny - ky).
    const bool lower = ky > hy;
    const int k = lower ? ny - ky : ky;
    const float q = at(k, kx), r = at(k, hx + kx), p = at(hy + k, kx), sq = at(hy + k, hx + kx);
    if (combined) {
        // F(k, kx) = (Q, R); F(ny - k, kx) = conj F(k, nx - kx) = (S, -P).
        return lower ? std::complex<float>(sq, -p) : std::complex<float>(q, r);
    }
    // Separable: Q = Re_y Re_x, P = Im_y Re_x, R = Re_y Im_x, S = Im_y Im_x;
    // F(k, kx) = (Q - S) + i (P + R), F(k, nx - kx) = (Q + S) + i (P - R).
    return lower ? std::complex<float>(q + sq, r - p) : std::complex<float>(q - sq, p + r);
}

namespace {
// Position p of an axis (before the final reordering) holds frequency p up
// to the middle and N + H - p above it.
inline int FrequencyOf(int p, int n, int h) { return p <= h ? p : n + h - p; }
}  // namespace

void FFT2D::ForwardComplex(float* re, float* im)
{
    if (!Ready() || re == nullptr || im == nullptr) return;
    const unsigned saved = m_flags & kCombine;
    m_flags &= ~kCombine;
    Forward(re);
    Forward(im);
    const int nx = m_nx, ny = m_ny, hx = nx / 2, hy = ny / 2;
    // Every anchor (ay, ax) with ay <= Hy, ax <= Hx starts a group of
    // positions whose spectrum values depend only on the group itself, so
    // each group is read completely before it is overwritten.
    for (int ay = 0; ay <= hy; ++ay) {
        for (int ax = 0; ax <= hx; ++ax) {
            int rows[2] = {ay, hy + ay};
            int cols[2] = {ax, hx + ax};
            const int nr = (ay > 0 && ay < hy) ? 2 : 1;
            const int nc = (ax > 0 && ax < hx) ? 2 : 1;
            std::complex<float> g[2][2];
            for (int i = 0; i < nr; ++i) {
                for (int j = 0; j < nc; ++j) {
                    const int fy = FrequencyOf(rows[i], ny, hy);
                    const int fx = FrequencyOf(cols[j], nx, hx);
                    const std::complex<float> a = At(re, fy, fx, false);
                    const std::complex<float> b = At(im, fy, fx, false);
                    g[i][j] = {a.real() - b.imag(), a.imag() + b.real()};
                }
            }
            for (int i = 0; i < nr; ++i) {
                for (int j = 0; j < nc; ++j) {
                    const size_t at = static_cast<size_t>(rows[i]) * nx + cols[j];
                    re[at] = g[i][j].real();
                    im[at] = g[i][j].imag();
                }
            }
        }
    }
    // Rows Hy+1 .. ny-1 and, within rows, columns Hx+1 .. nx-1 hold their
    // frequencies in falling order; reversing them gives natural order.
    for (float* array : {re, im}) {
        for (int lo = hy + 1, hi = ny - 1; lo < hi; ++lo, --hi) {
            std::swap_ranges(array + static_cast<size_t>(lo) * nx, array + static_cast<size_t>(lo + 1) * nx,
                             array + static_cast<size_t>(hi) * nx);
        }
        for (int y = 0; y < ny; ++y) {
            float* row = array + static_cast<size_t>(y) * nx;
            std::reverse(row + hx + 1, row + nx);
        }
    }
    m_flags |= saved;
}

void FFT2D::PowerSpectrum(const float* spectrum, float* out, int kind)
{
    if (!Ready() || spectrum == nullptr || out == nullptr) return;
    const int nx = m_nx, ny = m_ny, hx = nx / 2, hy = ny / 2;
    const bool combined = (m_flags & kCombine) != 0;
    // Output row ky needs spectrum rows ky and Hy + ky only; building it in
    // the work buffer first lets out be the spectrum array itself.
    float* row = WorkA();
    for (int ky = 0; ky <= hy; ++ky) {
        for (int c = 0; c < nx; ++c) {
            const std::complex<float> f = At(spectrum, ky, FrequencyOf(c, nx, hx), combined);
            const float power = f.real() * f.real() + f.imag() * f.imag();
            row[c] = kind == 1 ? std::sqrt(power) : kind == 2 ? std::log1p(power) : power;
        }
        std::copy(row, row + nx, out + static_cast<size_t>(ky) * nx);
    }
}

FFT* FFT2D::Clone()
{
    auto* copy = new (std::nothrow) FFT2D();
    if (copy != nullptr && Ready()) copy->Setup(m_nx, m_ny, (m_flags & kCombine) != 0);
    return copy;
}
