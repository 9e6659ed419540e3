#include "jpeg/jpeg_colour.h"

#include "jpeg/jpeg_simd.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

// round(factor / 100000 * c) with halves away from zero, in exact integers so
// that the decimal constants are taken as written.
int16_t RoundedProduct(int64_t factor, int c)
{
    const int64_t n = factor * c;
    const int64_t q = (std::llabs(n) + 50000) / 100000;
    return static_cast<int16_t>(n < 0 ? -q : q);
}

std::atomic<bool> g_forceZeroToOne{true};

}  // namespace

void JpegColourTables::Build(bool force)
{
    forceZeroToOne = force;
    for (int s = 0; s < 256; ++s) {
        const int c = s - 128;
        cbBlue[s] = RoundedProduct(177200, c);
        cbGreen[s] = RoundedProduct(-34414, c);
        crGreen[s] = RoundedProduct(-71414, c);
        crRed[s] = RoundedProduct(140200, c);
    }
    for (int i = 0; i < 1024; ++i) clamp[i] = static_cast<uint8_t>(i < 256 ? i : i < 512 ? 255 : 1);
    if (force) clamp[0] = 1;
}

bool SetJpegForceZeroToOne(bool on)
{
    g_forceZeroToOne = on;
    return on;
}

bool JpegForceZeroToOne()
{
    return g_forceZeroToOne;
}

const JpegColourTables& SharedJpegColourTables()
{
    static JpegColourTables tables;
    static std::once_flag once;
    std::call_once(once, [] { tables.Build(g_forceZeroToOne); });
    return tables;
}

void ConvertRowYCbCrScalar(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                           uint8_t* bgr, int width)
{
    for (int x = 0; x < width; ++x) {
        const int l = y[x];
        const int u = cb[x], v = cr[x];
        bgr[0] = t.clamp[(l + t.cbBlue[u]) & 1023];
        bgr[1] = t.clamp[(l + t.cbGreen[u] + t.crGreen[v]) & 1023];
        bgr[2] = t.clamp[(l + t.crRed[v]) & 1023];
        bgr += 3;
    }
}

void ConvertRowYCbCrHalfChromaScalar(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb,
                                     const uint8_t* cr, uint8_t* bgr, int width)
{
    int x = 0;
    for (; x + 1 < width; x += 2) {
        const int u = cb[x >> 1], v = cr[x >> 1];
        const int bt = t.cbBlue[u], gt = t.cbGreen[u] + t.crGreen[v], rt = t.crRed[v];
        const int l0 = y[x], l1 = y[x + 1];
        bgr[0] = t.clamp[(l0 + bt) & 1023];
        bgr[1] = t.clamp[(l0 + gt) & 1023];
        bgr[2] = t.clamp[(l0 + rt) & 1023];
        bgr[3] = t.clamp[(l1 + bt) & 1023];
        bgr[4] = t.clamp[(l1 + gt) & 1023];
        bgr[5] = t.clamp[(l1 + rt) & 1023];
        bgr += 6;
    }
    if (x < width) {
        const int u = cb[x >> 1], v = cr[x >> 1];
        const int l = y[x];
        bgr[0] = t.clamp[(l + t.cbBlue[u]) & 1023];
        bgr[1] = t.clamp[(l + t.cbGreen[u] + t.crGreen[v]) & 1023];
        bgr[2] = t.clamp[(l + t.crRed[v]) & 1023];
    }
}

void ConvertRowYCbCr(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                     uint8_t* bgr, int width)
{
#if defined(__x86_64__)
    if (JpegSimdLevel() == JpegSimd::kAvx2) return ConvertRowYCbCrAvx2(t, y, cb, cr, bgr, width);
#endif
    ConvertRowYCbCrScalar(t, y, cb, cr, bgr, width);
}

void ConvertRowYCbCrHalfChroma(const JpegColourTables& t, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                               uint8_t* bgr, int width)
{
#if defined(__x86_64__)
    if (JpegSimdLevel() == JpegSimd::kAvx2) return ConvertRowYCbCrHalfChromaAvx2(t, y, cb, cr, bgr, width);
#endif
    ConvertRowYCbCrHalfChromaScalar(t, y, cb, cr, bgr, width);
}

void ConvertRowRgb(const JpegColourTables& t, const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* bgr,
                   int width)
{
    for (int x = 0; x < width; ++x) {
        bgr[0] = t.clamp[b[x]];
        bgr[1] = t.clamp[g[x]];
        bgr[2] = t.clamp[r[x]];
        bgr += 3;
    }
}
