// Real Fourier transforms of single lines for the 2-D transform FFT2D: the
// tables of one axis (built once by Setup) and the forward and inverse
// transforms of kLanes lines of that length at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fftkit {

// Lines are lane-interleaved: sample n of lane l sits at n * kLanes + l. Every
// butterfly then runs over all lanes with one twiddle factor, so a block of
// rows (after a transpose) and a block of columns (a plain copy) go through
// the same vectorisable code.
constexpr int kLanes = 8;

// The distinct prime factors of an axis size in the order 2, 3.
struct FactorEntry {
    uint8_t exponent = 0;
    uint8_t prime = 0;
    int power = 0;  // prime^exponent
};

struct FactorList {
    uint8_t count = 0;
    FactorEntry entries[2];
};

// Divides n by 2 as often as it goes, then by 3, stopping as soon as the rest
// is 1. *accepted is set when n = 2^k or 3 * 2^k with k >= 1 (2, 4, 6, 8, 12 ...).
FactorList Factorise(int n, bool* accepted);

// Packed spectrum of one real line of length N (H = N / 2), with
// F(k) = sum x(n) exp(+2 pi i k n / N): position k holds Re F(k) for
// 0 <= k <= H and position H + k holds Im F(k) for 1 <= k < H.
class FftLine {
public:
    // Tables for lines of n samples; false (and an empty object) when n is
    // not 2^k or 3 * 2^k with k >= 1.
    bool Build(int n);
    int Size() const { return m_n; }
    int Mode() const { return m_mode; }  // 0: 2^k, 1: 3 * 2^k

    // Both take two buffers of Size() * kLanes floats: `a` holds the input
    // (real samples, or packed spectra for Inverse), `b` is scratch. The
    // result lies in the buffer returned (a or b); the other is clobbered.
    // Inverse returns (N / 2) times the samples that Forward transformed.
    float* Forward(float* a, float* b) const;
    float* Inverse(float* a, float* b) const;

private:
    float* RealForward2(float* line, float* scratch) const;
    float* RealInverse2(float* line, float* scratch) const;
    float* ComplexPass(float* src, float* dst, bool inverse) const;
    float* Forward3(float* a, float* b) const;
    float* Inverse3(float* a, float* b) const;

    int m_n = 0;
    int m_mode = 0;
    int m_l = 0;  // power-of-two part L of the size
    int m_m = 0;  // half length M = L / 2: the complex transform's length
    // exp(+2 pi i j / M) for j < M: the complex transform's twiddles.
    std::vector<float> m_twRe, m_twIm;
    // exp(+2 pi i k / L) for k < M / 2: the real-from-half-length split.
    std::vector<float> m_splitRe, m_splitIm;
    // Mode 1 only: the output index k of (k mod 3, k mod L), as k1 * L + k2.
    std::vector<int> m_crt;
};

}  // namespace fftkit
