#include "geometry/fftkit/convolver.h"

#include "core/logger.h"
#include "geometry/fftkit/fft.h"

#include <cstddef>
#include <new>

Convolver::Convolver(int nx, int ny)
{
    std::unique_ptr<FFT> fft(GetFftInterface());
    if (!fft) {
        Logger::log("ERROR Convolver::Convolver: Allocation error.", 1);
        throw std::bad_alloc();
    }
    // The combined layout keeps F(ky, kx) and F(ky, nx - kx) side by side, so
    // the product of two spectra is taken element group by element group.
    if (!fft->Setup(nx, ny, true)) {
        Logger::log("ERROR Convolver::Convolver: unsupported size %dx%d", 1, nx, ny);
        return;
    }
    m_fft = std::move(fft);
    m_nx = nx;
    m_ny = ny;
}

Convolver::~Convolver() = default;

void Convolver::Transform(float* a)
{
    if (!IsValid() || a == nullptr) {
        Logger::log("ERROR Convolver::Transform: no transform for this size or no data", 1);
        return;
    }
    m_fft->Forward(a);
}

void Convolver::ConvolveInv(float* transformed, float* b)
{
    if (!IsValid() || transformed == nullptr || b == nullptr) {
        Logger::log("ERROR Convolver::ConvolveInv: no transform for this size or no data", 1);
        return;
    }
    m_fft->Forward(b);
    MultiplyByConjugate(transformed, b);
    // Unnormalised inverse: the result keeps the transform pair's nx ny / 4.
    m_fft->Inverse(b);
}

// b <- A conj(B) at every frequency, in the combined layout (Hx = nx / 2,
// Hy = ny / 2): the four corners (0 or Hy, 0 or Hx) are real; rows 0 and Hy
// hold F(ky, kx) as (ky, kx) + i (ky, Hx + kx) and columns 0 and Hx hold
// F(ky, kx) as (ky, kx) + i (Hy + ky, kx); inside, (ky, kx) + i (ky, Hx + kx)
// is F(ky, kx) and (Hy + ky, Hx + kx) + i (Hy + ky, kx) is F(ky, nx - kx).
// Since c(k) = sum a[k + j] b[j] transforms to A conj(B), the inverse
// transform of the product is the correlation.
void Convolver::MultiplyByConjugate(const float* a, float* b) const
{
    const int nx = m_nx, hx = m_nx / 2, hy = m_ny / 2;
    auto at = [nx](int row, int col) { return static_cast<size_t>(row) * nx + col; };
    auto real = [&](size_t i) { b[i] = a[i] * b[i]; };
    auto complex = [&](size_t re, size_t im) {
        const float ar = a[re], ai = a[im], br = b[re], bi = b[im];
        b[re] = ar * br + ai * bi;
        b[im] = ai * br - ar * bi;
    };
    for (int row : {0, hy})
        for (int col : {0, hx}) real(at(row, col));
    for (int kx = 1; kx < hx; ++kx) {
        complex(at(0, kx), at(0, hx + kx));
        complex(at(hy, kx), at(hy, hx + kx));
    }
    for (int ky = 1; ky < hy; ++ky) {
        complex(at(ky, 0), at(hy + ky, 0));
        complex(at(ky, hx), at(hy + ky, hx));
        for (int kx = 1; kx < hx; ++kx) {
            complex(at(ky, kx), at(ky, hx + kx));
            complex(at(hy + ky, hx + kx), at(hy + ky, kx));
        }
    }
}
