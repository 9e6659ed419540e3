#include "geometry/rowmap/row_map_kernels.h"
#include "core/cpu_features.h"

#include <cfenv>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__)
#include "geometry/rowmap/row_map_sse2.h"
#endif

// This file is built with -frounding-math: the positions below are computed
// with the unit rounding toward zero, and the compiler must neither fold nor
// move floating-point work across the mode switch. The loops run in functions
// of their own that are never inlined, so none of their arithmetic can start
// before the switch.

namespace rowmap {

namespace {

// Rounding toward zero while the object lives; the earlier mode afterwards.
class RoundTowardZero {
public:
    RoundTowardZero() : m_saved(std::fegetround()) { std::fesetround(FE_TOWARDZERO); }
    ~RoundTowardZero() { std::fesetround(m_saved); }
    RoundTowardZero(const RoundTowardZero&) = delete;
    RoundTowardZero& operator=(const RoundTowardZero&) = delete;

private:
    int m_saved;
};

// The four bilinear weights in units of 1/512; they sum to exactly 512.
struct Weights {
    int w00, w10, w01, w11;
};

inline Weights MakeWeights(int fx, int fy)
{
    const int w11 = (fx * fy) >> 9;
    return {512 - fx - fy + w11, fx - w11, fy - w11, w11};
}

// Writes one pixel's new samples v[0 .. b-1]: overwriting never leaves a
// first byte of 0 (that marks an empty pixel); averaging takes the new
// samples into an empty pixel and the truncated mean elsewhere.
inline void Put(uint8_t* d, const uint8_t* v, int b, bool average)
{
    if (!average) {
        d[0] = v[0] == 0 ? 1 : v[0];
        for (int c = 1; c < b; ++c) d[c] = v[c];
    } else if (d[0] == 0) {
        for (int c = 0; c < b; ++c) d[c] = v[c];
    } else {
        for (int c = 0; c < b; ++c) d[c] = static_cast<uint8_t>((d[c] + v[c]) >> 1);
    }
}

__attribute__((noinline)) void PortableLoop(const RowMapping& r)
{
    const int b = r.channels == 3 ? 3 : 1;
    const ptrdiff_t stride = r.stride;
    float w = r.w, xw = r.xw, yw = r.yw;
    uint8_t* d = r.destination;
    for (int i = 0; i < r.n; ++i, d += b) {
        // Quotients in double, rounded toward zero like every operation here.
        const double x = static_cast<double>(xw) / static_cast<double>(w);
        const double y = static_cast<double>(yw) / static_cast<double>(w);
        const int ix = static_cast<int>(x);
        const int iy = static_cast<int>(y);
        // x - ix and the scaling by 512 are exact: 9-bit fractions, truncated.
        const int fx = static_cast<int>((x - ix) * 512.0);
        const int fy = static_cast<int>((y - iy) * 512.0);
        xw += r.dxw;
        yw += r.dyw;
        w += r.dw;
        const Weights k = MakeWeights(fx, fy);
        const uint8_t* p = r.source + iy * stride + static_cast<ptrdiff_t>(ix) * b;
        const uint8_t* q = p + stride;
        uint8_t v[3];
        for (int c = 0; c < b; ++c)
            v[c] = static_cast<uint8_t>((p[c] * k.w00 + p[b + c] * k.w10 + q[c] * k.w01 + q[b + c] * k.w11) >> 9);
        Put(d, v, b, r.average);
    }
}

#if defined(__x86_64__)

__attribute__((noinline)) void RgbSse2Loop(const RowMapping& r)
{
    auto sample = [](const uint8_t* p, ptrdiff_t stride, bool wide, const int32_t* pair) {
        return SampleRgbSse2(p, stride, wide, pair);
    };
    r.average ? GroupLoop<true, true>(r, sample) : GroupLoop<true, false>(r, sample);
}

__attribute__((noinline)) void GreySse2Loop(const RowMapping& r)
{
    auto sample = [](const uint8_t* p, ptrdiff_t stride, bool, const int32_t* pair) {
        return SampleGrey(p, stride, pair);
    };
    r.average ? GroupLoop<false, true>(r, sample) : GroupLoop<false, false>(r, sample);
}

void Sse2Loop(const RowMapping& r, bool ssse3)
{
    if (r.channels != 3) {
        GreySse2Loop(r);
    } else if (ssse3) {
        RgbSsse3Loop(r);
    } else {
        RgbSse2Loop(r);
    }
}

#endif

bool Usable(const RowMapping& r)
{
    return r.n > 0 && r.source != nullptr && r.destination != nullptr;
}

}  // namespace

void MapRowPortable(const RowMapping& row)
{
    if (!Usable(row)) return;
    RoundTowardZero mode;
    PortableLoop(row);
}

void MapRowSse2(const RowMapping& row)
{
    if (!Usable(row)) return;
    RoundTowardZero mode;
#if defined(__x86_64__)
    Sse2Loop(row, false);
#else
    PortableLoop(row);
#endif
}

bool HasSsse3()
{
    return cpu::HasSsse3();
}

void MapRowSsse3(const RowMapping& row)
{
    if (!Usable(row)) return;
    RoundTowardZero mode;
#if defined(__x86_64__)
    Sse2Loop(row, HasSsse3());
#else
    PortableLoop(row);
#endif
}

bool HasAvx2()
{
    return cpu::HasAvx2();
}

void MapRowAvx2(const RowMapping& row)
{
    if (!Usable(row)) return;
    RoundTowardZero mode;
#if defined(__x86_64__)
    // The eight-pixel three-byte sampler always reads eight bytes per row.
    if (HasAvx2() && (row.channels != 3 || row.stride >= 8)) RowAvx2Loop(row);
    else Sse2Loop(row, HasSsse3());
#else
    PortableLoop(row);
#endif
}

void MapRow(const RowMapping& row)
{
    if (HasAvx2()) MapRowAvx2(row);
    else if (HasSsse3()) MapRowSsse3(row);
    else MapRowSse2(row);
}

}  // namespace rowmap
