// The lens correction's row loop on eight pixels at a time. Every float is
// computed with the same IEEE operations in the same order as the portable
// loop (no FMA: this file is built with -mavx2 only and without contraction),
// so the bytes are the same. Pixels whose source point misses the bilinear
// interior are redone one by one through the image's sampling routine.
#include "app/matching/lens_correction_kernels.h"
#include "core/cpu_features.h"

// No inline functions of the standard library here (std::min, std::sqrt and
// the like): an out-of-line copy compiled with -mavx2 could be the one the
// linker keeps for the whole program.

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include <cstring>

namespace lens {

#if defined(__AVX2__)

bool HasAvx2()
{
    return cpu::HasAvx2();
}

namespace {

constexpr int kLanes = 8;

// The radius of eight pixels in table steps, dx of the first one given. The
// correction refuses a scale whose table would be far longer than the image,
// so u stays a small positive number and its truncation is defined.
struct Lanes {
    __m256 dx;
    __m256 u;
    __m256i index;
    __m256 t;
};

inline __m256 DxLanes(float dx)
{
    return _mm256_add_ps(_mm256_set1_ps(dx), _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7));
}

inline Lanes RadiusLanes(float dx, __m256 dy2, __m256 invK, __m256i lastIndex)
{
    Lanes l;
    l.dx = DxLanes(dx);
    l.u = _mm256_mul_ps(_mm256_sqrt_ps(_mm256_add_ps(_mm256_mul_ps(l.dx, l.dx), dy2)), invK);
    l.index = _mm256_min_epi32(_mm256_cvttps_epi32(l.u), lastIndex);
    l.t = _mm256_sub_ps(l.u, _mm256_cvtepi32_ps(l.index));
    return l;
}

inline __m256 Factor(const float* table, const Lanes& l, __m256 sOverK)
{
    const __m256 left = _mm256_i32gather_ps(table, l.index, 4);
    const __m256 right = _mm256_i32gather_ps(table + 1, l.index, 4);
    const __m256 one = _mm256_set1_ps(1.0f);
    return _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(one, l.t), left), _mm256_mul_ps(l.t, right)), sOverK);
}

// v > -2 ? v : -2 (NaN is held too), then v < high ? v : high: the operand
// order of maxps/minps gives exactly these selections.
inline __m256 Hold(__m256 v, __m256 high)
{
    return _mm256_min_ps(_mm256_max_ps(v, _mm256_set1_ps(-2.0f)), high);
}

inline __m256 Bytes(__m256i v, int shift)
{
    return _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(v, shift), _mm256_set1_epi32(0xFF)));
}

// ((w00 a + w10 b) + w01 c) + w11 d, truncated toward zero.
inline __m256i Blend(__m256 w00, __m256 w10, __m256 w01, __m256 w11, __m256 a, __m256 b, __m256 c, __m256 d)
{
    __m256 v = _mm256_add_ps(_mm256_mul_ps(w00, a), _mm256_mul_ps(w10, b));
    v = _mm256_add_ps(v, _mm256_mul_ps(w01, c));
    v = _mm256_add_ps(v, _mm256_mul_ps(w11, d));
    return _mm256_cvttps_epi32(v);
}

struct Weights {
    __m256 w00, w10, w01, w11;
};

inline Weights MakeWeights(__m256 fx, __m256 fy)
{
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 gx = _mm256_sub_ps(one, fx);
    const __m256 gy = _mm256_sub_ps(one, fy);
    return {_mm256_mul_ps(gx, gy), _mm256_mul_ps(fx, gy), _mm256_mul_ps(gx, fy), _mm256_mul_ps(fx, fy)};
}

// Eight three-byte pixels from three vectors of values, held to 0..255 (the
// values stay far inside the 16-bit range, so both saturating packs clamp
// exactly as the scalar truncation does).
inline void StoreThree(__m256i first, __m256i second, __m256i third, uint8_t* out)
{
    const __m256i fs = _mm256_packus_epi32(first, second);
    const __m256i tt = _mm256_packus_epi32(third, third);
    const __m256i bytes = _mm256_packus_epi16(fs, tt);  // per lane: 4 first, 4 second, 4 third, 4 third
    const __m256i order = _mm256_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1,
                                           0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1);
    // Twelve bytes per 128-bit half, then the two halves side by side.
    const __m256i pixels = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(bytes, order), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(pixels));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(pixels, 1));
}

inline void StoreOne(__m256i values, uint8_t* out)
{
    const __m256i w = _mm256_packus_epi32(values, values);
    const __m256i b = _mm256_packus_epi16(w, w);  // per lane: 4 values repeated
    const uint32_t low = static_cast<uint32_t>(_mm256_cvtsi256_si32(b));
    const uint32_t high = static_cast<uint32_t>(_mm256_extract_epi32(b, 4));
    std::memcpy(out, &low, 4);
    std::memcpy(out + 4, &high, 4);
}

inline __m256i Gather(const uint8_t* base, __m256i offsets)
{
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), offsets, 1);
}

// The two neighbouring three-byte pixels of eight source points as floats,
// sample by sample. Eight bytes are read per point from `base` + offset, the
// pixels starting `skip` bytes in: the lower row is read from two bytes
// before its pixel so that nothing past the image's last byte is read.
struct PixelPairs {
    __m256 left[3];
    __m256 right[3];
};

inline PixelPairs GatherPairs(const uint8_t* base, __m256i offsets, int skip)
{
    // Points {0, 1, 4, 5} and {2, 3, 6, 7}: after the per-lane unpacks below
    // the points come out in their own order.
    const __m256i order = _mm256_permutevar8x32_epi32(offsets, _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7));
    const auto* words = reinterpret_cast<const long long*>(base);
    const __m256i a = _mm256_i32gather_epi64(words, _mm256_castsi256_si128(order), 1);
    const __m256i b = _mm256_i32gather_epi64(words, _mm256_extracti128_si256(order, 1), 1);
    PixelPairs pairs;
    for (int c = 0; c < 3; ++c) {
        // Per lane: sample c of the left pixel of both points, then of the right.
        const char l = static_cast<char>(skip + c), r = static_cast<char>(skip + c + 3);
        const __m256i pick = _mm256_setr_epi8(l, -1, -1, -1, static_cast<char>(l + 8), -1, -1, -1, r, -1, -1, -1,
                                              static_cast<char>(r + 8), -1, -1, -1, l, -1, -1, -1, static_cast<char>(l + 8), -1,
                                              -1, -1, r, -1, -1, -1, static_cast<char>(r + 8), -1, -1, -1);
        const __m256i fromA = _mm256_shuffle_epi8(a, pick), fromB = _mm256_shuffle_epi8(b, pick);
        pairs.left[c] = _mm256_cvtepi32_ps(_mm256_unpacklo_epi64(fromA, fromB));
        pairs.right[c] = _mm256_cvtepi32_ps(_mm256_unpackhi_epi64(fromA, fromB));
    }
    return pairs;
}

// The same pairs without gathers, when every point of a 128-bit half (four
// points) has its upper left sample within 13 bytes after that of the half's
// first point: sixteen bytes loaded from the first point and sixteen from
// three bytes on hold every left and right sample of the half, and a byte
// shuffle moves them into place. `control` holds each point's byte distance
// from its half's first point, the upper bytes of every dword set so that
// the shuffle zeroes them.
inline PixelPairs NearPairs(const uint8_t* base, int low, int high, __m256i control)
{
    auto halves = [](const uint8_t* lo, const uint8_t* hi) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
    };
    const __m256i left = halves(base + low, base + high);
    const __m256i right = halves(base + low + 3, base + high + 3);
    const __m256i one = _mm256_set1_epi32(1);
    PixelPairs pairs;
    for (int c = 0; c < 3; ++c, control = _mm256_add_epi32(control, one)) {
        pairs.left[c] = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(left, control));
        pairs.right[c] = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(right, control));
    }
    return pairs;
}

// Per point: `b` where `pick` is set, else `a`.
inline PixelPairs Choose(const PixelPairs& a, const PixelPairs& b, __m256i pick)
{
    const __m256 mask = _mm256_castsi256_ps(pick);
    PixelPairs chosen;
    for (int c = 0; c < 3; ++c) {
        chosen.left[c] = _mm256_blendv_ps(a.left[c], b.left[c], mask);
        chosen.right[c] = _mm256_blendv_ps(a.right[c], b.right[c], mask);
    }
    return chosen;
}

// The smallest of the four values of each 128-bit half, in all four.
inline __m256i HalfMinimum(__m256i v)
{
    v = _mm256_min_epi32(v, _mm256_shuffle_epi32(v, 0xB1));
    return _mm256_min_epi32(v, _mm256_shuffle_epi32(v, 0x4E));
}

// The last first-point offsets (row times row bytes plus three times the
// column) whose sixteen-byte windows, from the point and three bytes on, end
// inside the image: on two rows (the point's and the next) and on three.
struct WindowLimits {
    long long twoRows;
    long long threeRows;
};

inline WindowLimits MakeWindowLimits(const Source& src)
{
    const long long last = static_cast<long long>(src.rowBytes) * src.lastY - 19;
    return {last, last - static_cast<long long>(src.rowBytes)};
}

// The upper and lower pairs of eight interior points from row windows when
// each half's points lie close enough together; false otherwise. `at` is
// each point's offset, `columns` three times its column, `iy` its row.
// Kept inline: out of line, the pairs would pass through memory.
__attribute__((always_inline)) inline bool WindowPairs(const Source& src, __m256i at, __m256i columns, __m256i iy, const WindowLimits& limits,
                        PixelPairs& upper, PixelPairs& lower)
{
    const __m256i ones = _mm256_set1_epi32(static_cast<int>(0xFFFFFF00u));
    const uint8_t* below = src.data + src.rowBytes;
    // Usually every point of a half lies on one row within 13 bytes after
    // its first point (0..13 as unsigned numbers).
    const __m256i distance = _mm256_sub_epi32(at, _mm256_shuffle_epi32(at, 0));
    const __m256i thirteen = _mm256_set1_epi32(13);
    const int low = _mm256_cvtsi256_si32(at);
    const int high = _mm256_extract_epi32(at, 4);
    if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_max_epu32(distance, thirteen), thirteen))) == 0xFF) {
        if ((low > high ? low : high) > limits.twoRows) return false;
        const __m256i control = _mm256_or_si256(distance, ones);
        upper = NearPairs(src.data, low, high, control);
        lower = NearPairs(below, low, high, control);
        return true;
    }
    // Otherwise the half may cross one row: its points on the lower row read
    // windows one row on from the half's highest row.
    const __m256i origin = _mm256_shuffle_epi32(columns, 0);
    const __m256i columnDistance = _mm256_sub_epi32(columns, origin);
    const __m256i top = HalfMinimum(iy);
    const __m256i rowStep = _mm256_sub_epi32(iy, top);
    const __m256i near = _mm256_and_si256(_mm256_cmpeq_epi32(_mm256_max_epu32(columnDistance, thirteen), thirteen),
                                          _mm256_cmpgt_epi32(_mm256_set1_epi32(2), rowStep));
    if (_mm256_movemask_ps(_mm256_castsi256_ps(near)) != 0xFF) return false;
    const __m256i anchor = _mm256_sub_epi32(at, _mm256_add_epi32(columnDistance, _mm256_mullo_epi32(rowStep, _mm256_set1_epi32(static_cast<int>(src.rowBytes)))));
    const int lowAnchor = _mm256_cvtsi256_si32(anchor);
    const int highAnchor = _mm256_extract_epi32(anchor, 4);
    if ((lowAnchor > highAnchor ? lowAnchor : highAnchor) > limits.threeRows) return false;
    const __m256i control = _mm256_or_si256(columnDistance, ones);
    const __m256i down = _mm256_cmpeq_epi32(rowStep, _mm256_set1_epi32(1));
    const PixelPairs rows[3] = {NearPairs(src.data, lowAnchor, highAnchor, control), NearPairs(below, lowAnchor, highAnchor, control),
                                NearPairs(below + src.rowBytes, lowAnchor, highAnchor, control)};
    upper = Choose(rows[0], rows[1], down);
    lower = Choose(rows[1], rows[2], down);
    return true;
}

// Redoes through the sampling routine every lane not set in `interior`.
inline void RedoMissed(const RowJob& r, const Source& plane, int interior, __m256 sx, __m256 sy, uint8_t* out, int step)
{
    if (interior == 0xFF) return;
    alignas(32) float x[kLanes], y[kLanes];
    _mm256_store_ps(x, sx);
    _mm256_store_ps(y, sy);
    for (int lane = 0; lane < kLanes; ++lane)
        if (!(interior & (1 << lane))) r.sample(plane, x[lane], y[lane], out + lane * step);
}

// Without registration: the cases on the truncated coordinates, the
// bilinear interior with the first sample raised from 0 to 1. `Rows` rows
// share the factors and the columns of their pixels (a row and its mirror
// at -dy: the same dx and dx^2 + dy^2), so the x half of the work (source
// column, its hold, truncation and fraction, the column test) is done once
// for all of them; each row keeps its own dy and output.
template <int Channels, int Rows>
void WholeRows(const RowJob& r, const float (&dys)[Rows], uint8_t* const (&outs)[Rows], int vectors)
{
    const Source& src = *r.planes;
    const __m256 dy2 = _mm256_set1_ps(dys[0] * dys[0]);
    const __m256 invK = _mm256_set1_ps(r.invK), sOverK = _mm256_set1_ps(r.sOverK);
    const __m256 halfW = _mm256_set1_ps(r.halfW), halfH = _mm256_set1_ps(r.halfH);
    const __m256i lastIndex = _mm256_set1_epi32(r.lastIndex);
    const __m256 highX = _mm256_set1_ps(static_cast<float>(src.lastX) + 2.0f);
    const __m256 highY = _mm256_set1_ps(static_cast<float>(src.lastY) + 2.0f);
    const __m256i lastX = _mm256_set1_epi32(src.lastX), lastY = _mm256_set1_epi32(src.lastY);
    const __m256i rowBytes = _mm256_set1_epi32(static_cast<int>(src.rowBytes));
    const __m256i zero = _mm256_setzero_si256(), minusOne = _mm256_set1_epi32(-1);
    const __m256 one = _mm256_set1_ps(1.0f);
    const WindowLimits limits = MakeWindowLimits(src);
    const float* table = r.tables[0];
    const float* given = r.factors[0];
    const uint8_t* below = src.data + src.rowBytes;
    __m256 dy[Rows];
    for (int k = 0; k < Rows; ++k) dy[k] = _mm256_set1_ps(dys[k]);
    for (int v = 0; v < vectors; ++v) {
        const float dx0 = r.dx0 + static_cast<float>(v * kLanes);
        const __m256 dx = DxLanes(dx0);
        const __m256 F = given ? _mm256_loadu_ps(given + v * kLanes) : Factor(table, RadiusLanes(dx0, dy2, invK, lastIndex), sOverK);
        const __m256 sx = _mm256_add_ps(_mm256_mul_ps(dx, F), halfW);
        const __m256 hx = Hold(sx, highX);
        const __m256i ix = _mm256_cvttps_epi32(hx);
        const __m256i insideX = _mm256_and_si256(_mm256_cmpgt_epi32(ix, zero), _mm256_cmpgt_epi32(lastX, ix));
        const __m256 fx = _mm256_sub_ps(hx, _mm256_cvtepi32_ps(ix));
        const __m256 gx = _mm256_sub_ps(one, fx);
        const __m256i columns = Channels == 3 ? _mm256_add_epi32(ix, _mm256_add_epi32(ix, ix)) : ix;
        // Unrolled: each row has its own load instructions, so the
        // processor's per-instruction stride prefetch follows one row each.
#pragma GCC unroll 2
        for (int k = 0; k < Rows; ++k) {
            uint8_t* out = outs[k] + static_cast<size_t>(v) * kLanes * Channels;
            const __m256 sy = _mm256_add_ps(_mm256_mul_ps(dy[k], F), halfH);
            const __m256 hy = Hold(sy, highY);
            const __m256i iy = _mm256_cvttps_epi32(hy);
            const __m256i inside = _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(iy, minusOne), _mm256_cmpgt_epi32(lastY, iy)), insideX);
            const int interior = _mm256_movemask_ps(_mm256_castsi256_ps(inside));
            if (interior != 0) {
                // The weights of MakeWeights, the x half shared.
                const __m256 fy = _mm256_sub_ps(hy, _mm256_cvtepi32_ps(iy));
                const __m256 gy = _mm256_sub_ps(one, fy);
                const Weights w{_mm256_mul_ps(gx, gy), _mm256_mul_ps(fx, gy), _mm256_mul_ps(gx, fy), _mm256_mul_ps(fx, fy)};
                const __m256i unmasked = _mm256_add_epi32(_mm256_mullo_epi32(iy, rowBytes), columns);
                const __m256i at = _mm256_and_si256(unmasked, inside);
                if (Channels == 3) {
                    PixelPairs upper, lower;
                    if (!(interior == 0xFF && WindowPairs(src, unmasked, columns, iy, limits, upper, lower))) {
                        upper = GatherPairs(src.data, at, 0);
                        lower = GatherPairs(below - 2, at, 2);
                    }
                    __m256i first = Blend(w.w00, w.w10, w.w01, w.w11, upper.left[0], upper.right[0], lower.left[0], lower.right[0]);
                    const __m256i second = Blend(w.w00, w.w10, w.w01, w.w11, upper.left[1], upper.right[1], lower.left[1], lower.right[1]);
                    const __m256i third = Blend(w.w00, w.w10, w.w01, w.w11, upper.left[2], upper.right[2], lower.left[2], lower.right[2]);
                    first = _mm256_max_epi32(first, _mm256_set1_epi32(1));  // 0 means "no data"
                    StoreThree(first, second, third, out);
                } else {
                    // The upper row from its pixel on, the lower one ending at its
                    // right pixel (ix >= 1 keeps both reads inside the image).
                    const __m256i p = Gather(src.data, at), q = Gather(below - 2, at);
                    __m256i value = Blend(w.w00, w.w10, w.w01, w.w11, Bytes(p, 0), Bytes(p, 8), Bytes(q, 16), Bytes(q, 24));
                    value = _mm256_max_epi32(value, _mm256_set1_epi32(1));
                    StoreOne(value, out);
                }
            }
            RedoMissed(r, src, interior, sx, sy, out, Channels);
        }
    }
}

template <int Channels>
void WholeRow(const RowJob& r, int vectors)
{
    const float dys[1] = {r.dy};
    uint8_t* const outs[1] = {r.out};
    WholeRows<Channels, 1>(r, dys, outs, vectors);
}

// With registration: one source point per sample, the cases on the point
// itself, no raising. As in WholeRows, `Rows` rows with the same factors
// share their source columns, each row with its own loads.
template <int Rows>
void RegisteredRows(const RowJob& r, const float (&dys)[Rows], uint8_t* const (&outs)[Rows], int vectors)
{
    const __m256 dy2 = _mm256_set1_ps(dys[0] * dys[0]);
    const __m256 invK = _mm256_set1_ps(r.invK), sOverK = _mm256_set1_ps(r.sOverK);
    const __m256 halfW = _mm256_set1_ps(r.halfW), halfH = _mm256_set1_ps(r.halfH);
    const __m256i lastIndex = _mm256_set1_epi32(r.lastIndex);
    const Source& src = r.planes[0];
    const __m256 highX = _mm256_set1_ps(static_cast<float>(src.lastX) + 2.0f);
    const __m256 highY = _mm256_set1_ps(static_cast<float>(src.lastY) + 2.0f);
    const __m256 lastX = _mm256_set1_ps(static_cast<float>(src.lastX));
    const __m256 lastY = _mm256_set1_ps(static_cast<float>(src.lastY));
    const __m256i rowBytes = _mm256_set1_epi32(static_cast<int>(src.rowBytes));
    const __m256 zero = _mm256_setzero_ps();
    const bool given = r.factors[0] && r.factors[1] && r.factors[2];
    __m256 dy[Rows];
    for (int k = 0; k < Rows; ++k) dy[k] = _mm256_set1_ps(dys[k]);
    for (int v = 0; v < vectors; ++v) {
        const float dx0 = r.dx0 + static_cast<float>(v * kLanes);
        const __m256 dx = DxLanes(dx0);
        Lanes l{};
        if (!given) l = RadiusLanes(dx0, dy2, invK, lastIndex);
        __m256 F[3], sxs[3], hxs[3];
        for (int ch = 0; ch < 3; ++ch) {
            F[ch] = given ? _mm256_loadu_ps(r.factors[ch] + v * kLanes) : Factor(r.tables[ch], l, sOverK);
            sxs[ch] = _mm256_add_ps(_mm256_mul_ps(dx, F[ch]), halfW);
            hxs[ch] = Hold(sxs[ch], highX);
        }
#pragma GCC unroll 2
        for (int k = 0; k < Rows; ++k) {
            uint8_t* out = outs[k] + static_cast<size_t>(v) * kLanes * 3;
            __m256i values[3];
            __m256 sys[3];
            int interiors[3];
            for (int ch = 0; ch < 3; ++ch) {
                sys[ch] = _mm256_add_ps(_mm256_mul_ps(dy[k], F[ch]), halfH);
                const __m256 hx = hxs[ch], hy = Hold(sys[ch], highY);
                const __m256 inside = _mm256_and_ps(
                    _mm256_and_ps(_mm256_cmp_ps(hy, zero, _CMP_GT_OQ), _mm256_cmp_ps(hy, lastY, _CMP_LT_OQ)),
                    _mm256_and_ps(_mm256_cmp_ps(hx, zero, _CMP_GT_OQ), _mm256_cmp_ps(hx, lastX, _CMP_LT_OQ)));
                interiors[ch] = _mm256_movemask_ps(inside);
                values[ch] = _mm256_setzero_si256();
                if (interiors[ch] == 0) continue;
                const __m256i ix = _mm256_cvttps_epi32(hx), iy = _mm256_cvttps_epi32(hy);
                const Weights w = MakeWeights(_mm256_sub_ps(hx, _mm256_cvtepi32_ps(ix)), _mm256_sub_ps(hy, _mm256_cvtepi32_ps(iy)));
                const __m256i columns = _mm256_add_epi32(ix, _mm256_add_epi32(ix, ix));
                const __m256i at = _mm256_and_si256(_mm256_add_epi32(_mm256_mullo_epi32(iy, rowBytes), columns), _mm256_castps_si256(inside));
                // Bytes 0 and 3 of a word are this sample of the two pixels.
                const uint8_t* plane = r.planes[ch].data;
                const __m256i p = Gather(plane, at), q = Gather(plane + src.rowBytes, at);
                values[ch] = Blend(w.w00, w.w10, w.w01, w.w11, Bytes(p, 0), Bytes(p, 24), Bytes(q, 0), Bytes(q, 24));
            }
            StoreThree(values[0], values[1], values[2], out);
            for (int ch = 0; ch < 3; ++ch) RedoMissed(r, r.planes[ch], interiors[ch], sxs[ch], sys[ch], out + ch, 3);
        }
    }
}

void RegisteredRow(const RowJob& r, int vectors)
{
    const float dys[1] = {r.dy};
    uint8_t* const outs[1] = {r.out};
    RegisteredRows<1>(r, dys, outs, vectors);
}

}  // namespace

void FactorRowAvx2(const RowJob& r, const float* table, float* factors)
{
    const __m256 dy2 = _mm256_set1_ps(r.dy * r.dy);
    const __m256 invK = _mm256_set1_ps(r.invK), sOverK = _mm256_set1_ps(r.sOverK);
    const __m256i lastIndex = _mm256_set1_epi32(r.lastIndex);
    const int vectors = r.count / kLanes;
    for (int v = 0; v < vectors; ++v)
        _mm256_storeu_ps(factors + v * kLanes, Factor(table, RadiusLanes(r.dx0 + static_cast<float>(v * kLanes), dy2, invK, lastIndex), sOverK));
    // The tail as the portable loop computes it.
    const float dyy = r.dy * r.dy;
    for (int i = vectors * kLanes; i < r.count; ++i) {
        const float dx = r.dx0 + static_cast<float>(i);
        const float u = __builtin_sqrtf(dx * dx + dyy) * r.invK;
        const int whole = static_cast<int>(u);
        const int index = whole < r.lastIndex ? whole : r.lastIndex;
        const float t = u - static_cast<float>(index);
        factors[i] = ((1.0f - t) * table[index] + t * table[index + 1]) * r.sOverK;
    }
}

namespace {

// The pixels after the last whole vector through the portable loop.
void PortableTail(const RowJob& row, int done)
{
    if (done == row.count) return;
    RowJob tail = row;
    tail.dx0 = row.dx0 + static_cast<float>(done);
    tail.count = row.count - done;
    tail.out = row.out + static_cast<size_t>(done) * static_cast<size_t>(row.channels);
    for (const float*& f : tail.factors) f = nullptr;  // the portable loop computes its own
    ResampleRowPortable(tail);
}

}  // namespace

void ResampleRowPairAvx2(const RowJob& row, float mirrorDy, uint8_t* mirrorOut)
{
    RowJob mirror = row;
    mirror.dy = mirrorDy;
    mirror.out = mirrorOut;
    const int tables = row.registration ? 3 : 1;
    for (int t = 0; t < tables; ++t) {
        if (!row.factors[t]) {
            ResampleRowAvx2(row);
            ResampleRowAvx2(mirror);
            return;
        }
    }
    const int vectors = row.count / kLanes;
    const float dys[2] = {row.dy, mirrorDy};
    uint8_t* const outs[2] = {row.out, mirrorOut};
    if (row.registration)
        RegisteredRows<2>(row, dys, outs, vectors);
    else if (row.channels == 3)
        WholeRows<3, 2>(row, dys, outs, vectors);
    else
        WholeRows<1, 2>(row, dys, outs, vectors);
    PortableTail(row, vectors * kLanes);
    PortableTail(mirror, vectors * kLanes);
}

void ResampleRowAvx2(const RowJob& row)
{
    const int vectors = row.count / kLanes;
    if (row.registration)
        RegisteredRow(row, vectors);
    else if (row.channels == 3)
        WholeRow<3>(row, vectors);
    else
        WholeRow<1>(row, vectors);
    PortableTail(row, vectors * kLanes);
}

#else

bool HasAvx2()
{
    return false;
}

void ResampleRowAvx2(const RowJob& row)
{
    ResampleRowPortable(row);
}

void FactorRowAvx2(const RowJob&, const float*, float*)
{
}

void ResampleRowPairAvx2(const RowJob& row, float mirrorDy, uint8_t* mirrorOut)
{
    RowJob mirror = row;
    mirror.dy = mirrorDy;
    mirror.out = mirrorOut;
    ResampleRowPortable(row);
    ResampleRowPortable(mirror);
}

#endif

}  // namespace lens
