// Colour conversion of the JPEG encoder, level-shifted samples of one pixel:
//   Y  = 0.299 R + 0.587 G + 0.114 B, held as a 32-bit float, sample Y - 128
//   Cb = (B - Y) / 1.772, Cr = (R - Y) / 1.402, limited to -128..127,
// every sample truncated toward zero. The encoder uses the integer forms,
// which give the same samples: with N = 299 R + 587 G + 114 B, Y is N / 1000
// exactly, and a quotient that is not a whole number lies at least 1/1772
// from one, far beyond the float's error; only a whole-number chroma
// quotient (rare) takes the floating route to keep the float's rounding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jpegcolour {

// The definition, in floating point.
inline float LumaFloat(int b, int g, int r)
{
    float y = static_cast<float>(0.299 * r + 0.587 * g + 0.114 * b);
    return y > 255.0f ? 255.0f : y;
}
inline int TruncateChroma(double c)
{
    c = c < -128 ? -128 : c > 127 ? 127 : c;
    return static_cast<int>(c);
}
inline int LumaReference(int b, int g, int r)
{
    return static_cast<int>(static_cast<double>(LumaFloat(b, g, r)) - 128.0);
}
inline int CbReference(int b, int g, int r)
{
    return TruncateChroma((b - static_cast<double>(LumaFloat(b, g, r))) / 1.772);
}
inline int CrReference(int b, int g, int r)
{
    return TruncateChroma((r - static_cast<double>(LumaFloat(b, g, r))) / 1.402);
}

// The integer forms.
inline int Weighted(int b, int g, int r)
{
    return 299 * r + 587 * g + 114 * b;
}
inline int Luma(int n)
{
    return (n - 128000) / 1000;  // C++ division truncates toward zero
}
inline int ChromaQuotient(int numerator, int divisor, int b, int g, int r, bool blue)
{
    const int q = numerator / divisor;
    if (q * divisor == numerator) return blue ? CbReference(b, g, r) : CrReference(b, g, r);
    return q < -128 ? -128 : q > 127 ? 127 : q;
}
inline int Cb(int n, int b, int g, int r)
{
    return ChromaQuotient(1000 * b - n, 1772, b, g, r, true);
}
inline int Cr(int n, int b, int g, int r)
{
    return ChromaQuotient(1000 * r - n, 1402, b, g, r, false);
}

// The same samples for the first pixels of a row of `width` blue, green, red
// pixels, on AVX2 (only where the processor has it): luminance at every
// pixel, chroma (unless `outCb` is null) at every `step`-th (1 or 2). Returns
// the number of pixels done, a multiple of 8; the caller does the rest.
int ConvertRowAvx2(const uint8_t* bgr, int width, int step, int16_t* outY, int16_t* outCb, int16_t* outCr);

}  // namespace jpegcolour
