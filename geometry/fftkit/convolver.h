// FFT correlator of nx x ny float arrays: the pair aligner transforms one
// array (a search window) once and correlates templates against it, and its
// box filters average through it.
#pragma once

#include <memory>

class FFT;

class Convolver {
public:
    // Sides must be 2^k or 3 * 2^k with k >= 1; other sizes log an error and
    // leave every operation a no-op (see IsValid).
    Convolver(int nx, int ny);
    ~Convolver();
    Convolver(const Convolver&) = delete;
    Convolver& operator=(const Convolver&) = delete;

    // a (ny rows of nx floats) becomes its spectrum, in place.
    void Transform(float* a);
    // With `transformed` the result of Transform(a), b becomes the circular
    // correlation c(k) = sum over j of a[k + j] b[j] (indices modulo nx and
    // ny), scaled by nx ny / 4. `transformed` is left as it was, so one
    // transform serves any number of correlations.
    void ConvolveInv(float* transformed, float* b);

    bool IsValid() const { return m_fft != nullptr; }

private:
    void MultiplyByConjugate(const float* a, float* b) const;

    std::unique_ptr<FFT> m_fft;
    int m_nx = 0;
    int m_ny = 0;
};
