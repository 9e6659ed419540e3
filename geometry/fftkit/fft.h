// The abstract two-dimensional real Fourier transform handed out by
// GetFftInterface: correlation code (pair alignment, the Convolver beside it)
// transforms ny x nx float images in place through it.
#pragma once

// Spectra use the sign convention F(ky, kx) = sum x(y, x) exp(+2 pi i (kx x / nx + ky y / ny)).
// Images are ny rows of nx floats, element (y, x) at y * nx + x; every
// operation works in place and allocates nothing once Setup has run.
class FFT {
public:
    FFT() = default;
    FFT(const FFT&) = default;
    FFT& operator=(const FFT&) = default;
    virtual ~FFT() = default;

    // Sides must be 2^k or 3 * 2^k with k >= 1. False leaves the object
    // unusable: every transform is then a no-op.
    virtual bool Setup(int nx, int ny, bool combine) = 0;
    virtual void Forward(float* data) = 0;
    virtual void Inverse(float* data) = 0;
    virtual void ForwardComplex(float* re, float* im) = 0;
    virtual void SplitQuadrants(float* data) = 0;
    virtual void CombineQuadrants(float* data) = 0;
    virtual void SetNormalize(bool on) = 0;
    // kind 1 amplitude, 2 ln(1 + power), otherwise power; out holds
    // (ny / 2 + 1) rows of nx floats.
    virtual void PowerSpectrum(const float* spectrum, float* out, int kind) = 0;
    virtual FFT* Clone() = 0;
};

// A new, not yet set up transform owned by the caller (delete it); null when
// memory runs out.
extern "C" FFT* GetFftInterface();
