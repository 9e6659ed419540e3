// FFT2D, the transform object behind GetFftInterface: separable real 2-D
// Fourier transforms of sides 2^k and 3 * 2^k, in place, with the quadrant
// rearrangement, the complex transform of two real images and power maps.
#pragma once

#include "geometry/fftkit/fft.h"
#include "geometry/fftkit/fft_line.h"

#include <complex>
#include <memory>
#include <vector>

// Spectrum layouts (Hx = nx / 2, Hy = ny / 2):
// - separable (Forward without combine): every row packed along x (see
//   FftLine), then every column packed along y;
// - combined (after CombineQuadrants): for 1 <= ky < Hy, 1 <= kx < Hx the
//   element (ky, kx) holds Re F(ky, kx), (ky, Hx + kx) Im F(ky, kx),
//   (Hy + ky, kx) Im F(ky, nx - kx) and (Hy + ky, Hx + kx) Re F(ky, nx - kx);
//   rows 0 and Hy and columns 0 and Hx are as in the separable layout.
class FFT2D final : public FFT {
public:
    FFT2D() = default;
    ~FFT2D() override = default;
    // One object owns one set of tables; Clone makes an independent copy.
    FFT2D(const FFT2D&) = delete;
    FFT2D& operator=(const FFT2D&) = delete;

    bool Setup(int nx, int ny, bool combine) override;
    void Forward(float* data) override;
    void Inverse(float* data) override;
    void ForwardComplex(float* re, float* im) override;
    void SplitQuadrants(float* data) override;
    void CombineQuadrants(float* data) override;
    void SetNormalize(bool on) override;
    void PowerSpectrum(const float* spectrum, float* out, int kind) override;
    FFT* Clone() override;

    // Bits of the flag word.
    static constexpr unsigned kCombine = 1u << 0;
    static constexpr unsigned kModeXShift = 1;
    static constexpr unsigned kModeYShift = 3;
    static constexpr unsigned kNormalize = 1u << 5;
    // Largest side accepted; far beyond any image the suite correlates, and
    // small enough that every index stays in range.
    static constexpr int kMaxSide = 1 << 24;

private:
    bool Ready() const { return m_nx > 0; }
    void Reset();
    void TransformRows(float* data, bool inverse);
    void TransformColumns(float* data, bool inverse);
    // F(ky, kx) for any 0 <= ky < ny, 0 <= kx < nx read from a spectrum in
    // the separable or the combined layout.
    std::complex<float> At(const float* s, int ky, int kx, bool combined) const;
    std::complex<float> ColumnAt(const float* s, int column, int ky) const;
    float* WorkA() { return m_work.data(); }
    float* WorkB() { return m_work.data() + m_workHalf; }

    fftkit::FactorList m_factorsX;
    fftkit::FactorList m_factorsY;
    // Two line buffers of max(nx, ny) * kLanes floats.
    std::vector<float> m_work;
    size_t m_workHalf = 0;
    fftkit::FftLine m_lineX;
    std::unique_ptr<fftkit::FftLine> m_lineYOwn;  // only when ny differs from nx
    const fftkit::FftLine* m_lineY = nullptr;     // &m_lineX or m_lineYOwn
    int m_nx = 0;
    int m_ny = 0;
    unsigned m_flags = 0;
};
