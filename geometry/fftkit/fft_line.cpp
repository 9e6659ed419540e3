#include "geometry/fftkit/fft_line.h"

#include <cmath>
#include <utility>

namespace fftkit {

namespace {

constexpr int B = kLanes;
// sin(60 degrees) and sqrt(3): the 3-point transform of the 3 * 2^k sizes.
constexpr float kSin60 = 0.8660254f;
constexpr float kSqrt3 = 1.7320508f;

// One block of kLanes floats: every operation below acts lane by lane, so
// the arithmetic of each line is the same whatever the vector width.
typedef float Lanes __attribute__((vector_size(B * sizeof(float)), aligned(4), may_alias));

// Views of kLanes floats as one vector (by reference: no vector crosses a
// call, whatever the instruction set of the caller).
inline const Lanes& V(const float* p) { return *reinterpret_cast<const Lanes*>(p); }
inline Lanes& V(float* p) { return *reinterpret_cast<Lanes*>(p); }

// Complex element e of a lane-interleaved buffer: real parts at e * 2B,
// imaginary parts right after. Pos is sample n of a real line.
inline float* Elem(float* buf, int e) { return buf + static_cast<size_t>(e) * 2 * B; }
inline const float* Elem(const float* buf, int e) { return buf + static_cast<size_t>(e) * 2 * B; }
inline float* Pos(float* buf, int n) { return buf + static_cast<size_t>(n) * B; }
inline const float* Pos(const float* buf, int n) { return buf + static_cast<size_t>(n) * B; }

// The hot loops are built twice, for AVX2 and for the SSE2 baseline, and
// chosen when the library loads; neither contracts to FMA, so both give the
// same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FFTKIT_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define FFTKIT_CLONES
#endif

// F(k) of a packed line of even length n, using F(n - k) = conj F(k) above
// the middle.
inline void PackedAt(const float* line, int n, int k, Lanes& re, Lanes& im)
{
    const int h = n / 2;
    if (k == 0 || k == h) {
        re = V(Pos(line, k));
        im = Lanes{};
    } else if (k < h) {
        re = V(Pos(line, k));
        im = V(Pos(line, h + k));
    } else {
        re = V(Pos(line, n - k));
        im = -V(Pos(line, h + n - k));
    }
}

// One radix-4 pass of a Stockham transform of `big` points: the current
// sub-length is n, s consecutive elements share each twiddle.
FFTKIT_CLONES void Radix4Pass(const float* src, float* dst, int big, int n, int s, const float* twRe,
                              const float* twIm, bool inverse)
{
    const int m = n / 4;
    const int step = big / n;
    const float sign = inverse ? -1.0f : 1.0f;
    const size_t es = static_cast<size_t>(s) * 2 * B;  // floats per run of s elements
    for (int p = 0; p < m; ++p) {
        const size_t t1 = static_cast<size_t>(p) * step;
        const float w1r = twRe[t1], w1i = sign * twIm[t1];
        const float w2r = twRe[2 * t1], w2i = sign * twIm[2 * t1];
        const float w3r = twRe[3 * t1], w3i = sign * twIm[3 * t1];
        const float* a = src + static_cast<size_t>(p) * es;
        const float* b = a + static_cast<size_t>(m) * es;
        const float* c = b + static_cast<size_t>(m) * es;
        const float* d = c + static_cast<size_t>(m) * es;
        float* y0 = dst + static_cast<size_t>(4 * p) * es;
        float* y1 = y0 + es;
        float* y2 = y1 + es;
        float* y3 = y2 + es;
        for (size_t q = 0; q < es; q += 2 * B) {
            const Lanes ar = V(a + q), ai = V(a + q + B);
            const Lanes br = V(b + q), bi = V(b + q + B);
            const Lanes cr = V(c + q), ci = V(c + q + B);
            const Lanes dr = V(d + q), di = V(d + q + B);
            const Lanes apcR = ar + cr, apcI = ai + ci;
            const Lanes amcR = ar - cr, amcI = ai - ci;
            const Lanes bpdR = br + dr, bpdI = bi + di;
            // j (b - d) with j = exp(+-i pi / 2) = +-i.
            const Lanes bmdR = br - dr, bmdI = bi - di;
            const Lanes jR = inverse ? bmdI : -bmdI;
            const Lanes jI = inverse ? -bmdR : bmdR;
            V(y0 + q) = apcR + bpdR;
            V(y0 + q + B) = apcI + bpdI;
            const Lanes e1r = amcR + jR, e1i = amcI + jI;
            const Lanes e2r = apcR - bpdR, e2i = apcI - bpdI;
            const Lanes e3r = amcR - jR, e3i = amcI - jI;
            V(y1 + q) = e1r * w1r - e1i * w1i;
            V(y1 + q + B) = e1r * w1i + e1i * w1r;
            V(y2 + q) = e2r * w2r - e2i * w2i;
            V(y2 + q + B) = e2r * w2i + e2i * w2r;
            V(y3 + q) = e3r * w3r - e3i * w3i;
            V(y3 + q + B) = e3r * w3i + e3i * w3r;
        }
    }
}

// The last pass of an odd power of two: sub-length 2, twiddle 1.
FFTKIT_CLONES void Radix2Pass(const float* src, float* dst, int s)
{
    const size_t es = static_cast<size_t>(s) * 2 * B;
    const float* a = src;
    const float* b = src + es;
    float* y0 = dst;
    float* y1 = dst + es;
    for (size_t i = 0; i < es; i += B) {
        const Lanes x = V(a + i), y = V(b + i);
        V(y0 + i) = x + y;
        V(y1 + i) = x - y;
    }
}

// Z(k), the half-length transform of z(m) = x(2m) + i x(2m+1), into the
// packed spectrum of x (length 2M): F(k) = E + W^k O and
// F(M - k) = conj(E - W^k O) with E = (Z(k) + conj Z(M-k)) / 2,
// O = (Z(k) - conj Z(M-k)) / 2i, W = exp(2 pi i / 2M).
FFTKIT_CLONES void SplitForward(const float* z, float* out, int m, const float* wRe, const float* wIm)
{
    {
        const Lanes zr = V(Elem(z, 0)), zi = V(Elem(z, 0) + B);
        V(Pos(out, 0)) = zr + zi;
        V(Pos(out, m)) = zr - zi;
    }
    for (int k = 1; k < m / 2; ++k) {
        const float wr = wRe[k], wi = wIm[k];
        const float* zk = Elem(z, k);
        const float* zm = Elem(z, m - k);
        const Lanes er = 0.5f * (V(zk) + V(zm));
        const Lanes ei = 0.5f * (V(zk + B) - V(zm + B));
        const Lanes orr = 0.5f * (V(zk + B) + V(zm + B));
        const Lanes oi = -0.5f * (V(zk) - V(zm));
        const Lanes tr = wr * orr - wi * oi;
        const Lanes ti = wr * oi + wi * orr;
        V(Pos(out, k)) = er + tr;
        V(Pos(out, m + k)) = ei + ti;
        V(Pos(out, m - k)) = er - tr;
        V(Pos(out, 2 * m - k)) = ti - ei;
    }
    if (m >= 2) {
        // k = M / 2 pairs with itself: F(M / 2) = Z(M / 2).
        V(Pos(out, m / 2)) = V(Elem(z, m / 2));
        V(Pos(out, m + m / 2)) = V(Elem(z, m / 2) + B);
    }
}

// The inverse of SplitForward: E = (F(k) + conj F(M-k)) / 2,
// O = conj(W^k) (F(k) - conj F(M-k)) / 2, Z(k) = E + i O.
FFTKIT_CLONES void SplitInverse(const float* packed, float* z, int m, const float* wRe, const float* wIm)
{
    {
        const Lanes f0 = V(Pos(packed, 0)), fm = V(Pos(packed, m));
        V(Elem(z, 0)) = 0.5f * (f0 + fm);
        V(Elem(z, 0) + B) = 0.5f * (f0 - fm);
    }
    for (int k = 1; k < m / 2; ++k) {
        const float wr = wRe[k], wi = wIm[k];
        const Lanes fkr = V(Pos(packed, k)), fki = V(Pos(packed, m + k));
        const Lanes fmr = V(Pos(packed, m - k)), fmi = V(Pos(packed, 2 * m - k));
        const Lanes er = 0.5f * (fkr + fmr);
        const Lanes ei = 0.5f * (fki - fmi);
        const Lanes dr = 0.5f * (fkr - fmr);
        const Lanes di = 0.5f * (fki + fmi);
        const Lanes orr = wr * dr + wi * di;
        const Lanes oi = wr * di - wi * dr;
        float* zk = Elem(z, k);
        float* zm = Elem(z, m - k);
        V(zk) = er - oi;
        V(zk + B) = ei + orr;
        V(zm) = er + oi;
        V(zm + B) = orr - ei;
    }
    if (m >= 2) {
        V(Elem(z, m / 2)) = V(Pos(packed, m / 2));
        V(Elem(z, m / 2) + B) = V(Pos(packed, m + m / 2));
    }
}

// Length N = 3 L, Good-Thomas: sample n = (3 n2 + L n1) mod N. The 3-point
// transforms over n1 give y0 = a + b + c and y1 = u + i v with
// u = a - (b + c) / 2, v = (b - c) sin 60.
FFTKIT_CLONES void ThreePointForward(const float* x, int n, int len, float* y0, float* u, float* v)
{
    for (int i = 0; i < len; ++i) {
        const Lanes a = V(Pos(x, (3 * i) % n));
        const Lanes b = V(Pos(x, (3 * i + len) % n));
        const Lanes c = V(Pos(x, (3 * i + 2 * len) % n));
        const Lanes s = b + c;
        V(Pos(y0, i)) = a + s;
        V(Pos(u, i)) = a - s * 0.5f;
        V(Pos(v, i)) = (b - c) * kSin60;
    }
}

// From the packed length-L spectra Y0, U and V: F(k) with k = k1 (mod 3),
// k = k2 (mod L) is Y0(k2), U + iV or U - iV for k1 = 0, 1, 2.
FFTKIT_CLONES void RecombineForward(const float* y0, const float* u, const float* v, int n, int len, float* out)
{
    const int h = n / 2;
    for (int k = 0; k <= h; ++k) {
        const int k1 = k % 3, k2 = k % len;
        Lanes fr, fi;
        if (k1 == 0) {
            PackedAt(y0, len, k2, fr, fi);
        } else {
            Lanes ur, ui, vr, vi;
            PackedAt(u, len, k2, ur, ui);
            PackedAt(v, len, k2, vr, vi);
            if (k1 == 1) {
                fr = ur - vi;
                fi = ui + vr;
            } else {
                fr = ur + vi;
                fi = ui - vr;
            }
        }
        V(Pos(out, k)) = fr;
        if (k != 0 && k != h) V(Pos(out, h + k)) = fi;
    }
}

// Y0, U = (Y1 + Y2) / 2 and V = (Y1 - Y2) / 2i gathered from a packed
// length-N spectrum into three packed length-L lines.
FFTKIT_CLONES void GatherInverse(const float* f, int n, int len, const int* crt, float* y0, float* u, float* v)
{
    const int h = len / 2;
    for (int k2 = 0; k2 <= h; ++k2) {
        Lanes r0, i0, r1, i1, r2, i2;
        PackedAt(f, n, crt[k2], r0, i0);
        PackedAt(f, n, crt[len + k2], r1, i1);
        PackedAt(f, n, crt[2 * len + k2], r2, i2);
        V(Pos(y0, k2)) = r0;
        V(Pos(u, k2)) = 0.5f * (r1 + r2);
        V(Pos(v, k2)) = 0.5f * (i1 - i2);
        if (k2 != 0 && k2 != h) {
            V(Pos(y0, h + k2)) = i0;
            V(Pos(u, h + k2)) = 0.5f * (i1 + i2);
            V(Pos(v, h + k2)) = -0.5f * (r1 - r2);
        }
    }
}

// Every triple rebuilt from the three inverse lines s0, s1, s2:
// a = s0 + 2 s1, b = (s0 - s1) + sqrt 3 s2, c = (s0 - s1) - sqrt 3 s2.
FFTKIT_CLONES void ThreePointInverse(const float* s0, const float* s1, const float* s2, int n, int len, float* out)
{
    for (int i = 0; i < len; ++i) {
        const Lanes p0 = V(Pos(s0, i)), p1 = V(Pos(s1, i)), p2 = V(Pos(s2, i));
        const Lanes t = p0 - p1;
        V(Pos(out, (3 * i) % n)) = p0 + 2.0f * p1;
        V(Pos(out, (3 * i + len) % n)) = t + kSqrt3 * p2;
        V(Pos(out, (3 * i + 2 * len) % n)) = t - kSqrt3 * p2;
    }
}

}  // namespace

FactorList Factorise(int n, bool* accepted)
{
    FactorList list;
    *accepted = false;
    if (n <= 1) return list;
    int rest = n;
    for (int prime : {2, 3}) {
        int exponent = 0;
        int power = 1;
        while (rest != 1 && rest % prime == 0) {
            rest /= prime;
            power *= prime;
            ++exponent;
        }
        if (exponent > 0) {
            FactorEntry& e = list.entries[list.count++];
            e.exponent = static_cast<uint8_t>(exponent);
            e.prime = static_cast<uint8_t>(prime);
            e.power = power;
        }
    }
    const bool hasTwo = list.count > 0 && list.entries[0].prime == 2;
    const bool threeAtMostOnce = list.count < 2 || list.entries[1].exponent == 1;
    *accepted = rest == 1 && hasTwo && threeAtMostOnce;
    return list;
}

bool FftLine::Build(int n)
{
    *this = FftLine();
    bool accepted = false;
    const FactorList factors = Factorise(n, &accepted);
    if (!accepted) return false;
    m_n = n;
    m_l = factors.entries[0].power;
    m_mode = factors.count == 2 ? 1 : 0;
    m_m = m_l / 2;
    // Twiddles in double, rounded once to float: the transform itself calls
    // no trigonometric function.
    const double twoPi = 2.0 * 3.14159265358979323846;
    for (int j = 0; j < m_m; ++j) {
        const double phi = twoPi * j / m_m;
        m_twRe.push_back(static_cast<float>(std::cos(phi)));
        m_twIm.push_back(static_cast<float>(std::sin(phi)));
    }
    for (int k = 0; k < m_m / 2; ++k) {
        const double phi = twoPi * k / m_l;
        m_splitRe.push_back(static_cast<float>(std::cos(phi)));
        m_splitIm.push_back(static_cast<float>(std::sin(phi)));
    }
    if (m_mode == 1) {
        m_crt.assign(static_cast<size_t>(3) * m_l, 0);
        for (int k = 0; k < m_n; ++k) m_crt[static_cast<size_t>(k % 3) * m_l + k % m_l] = k;
    }
    return true;
}

float* FftLine::Forward(float* a, float* b) const
{
    if (m_n == 0) return a;
    return m_mode == 0 ? RealForward2(a, b) : Forward3(a, b);
}

float* FftLine::Inverse(float* a, float* b) const
{
    if (m_n == 0) return a;
    return m_mode == 0 ? RealInverse2(a, b) : Inverse3(a, b);
}

// Stockham passes over M complex elements, decimation in frequency, radix 4
// with one radix-2 pass when log2 M is odd: no bit reversal, the order
// sorts itself out pass by pass. The exponent's sign is + forward and -
// inverse; no scaling.
float* FftLine::ComplexPass(float* src, float* dst, bool inverse) const
{
    const int big = m_m;
    int n = big;
    int s = 1;
    while (n >= 4) {
        Radix4Pass(src, dst, big, n, s, m_twRe.data(), m_twIm.data(), inverse);
        std::swap(src, dst);
        n /= 4;
        s *= 4;
    }
    if (n == 2) {
        Radix2Pass(src, dst, s);
        std::swap(src, dst);
    }
    return src;
}

// Length L = 2^k: the samples read as M = L / 2 complex values need no
// reordering in the lane layout (x(2m) and x(2m+1) are element m).
float* FftLine::RealForward2(float* line, float* scratch) const
{
    float* z = ComplexPass(line, scratch, false);
    float* out = z == line ? scratch : line;
    SplitForward(z, out, m_m, m_splitRe.data(), m_splitIm.data());
    return out;
}

// (L / 2) times the samples: the split's halves and the unscaled complex
// inverse of length M = L / 2.
float* FftLine::RealInverse2(float* line, float* scratch) const
{
    SplitInverse(line, scratch, m_m, m_splitRe.data(), m_splitIm.data());
    return ComplexPass(scratch, line, true);
}

// Length N = 3 L: three real length-L transforms between the 3-point steps.
float* FftLine::Forward3(float* a, float* b) const
{
    const size_t third = static_cast<size_t>(m_l) * B;
    ThreePointForward(a, m_n, m_l, b, b + third, b + 2 * third);
    const float* y0 = RealForward2(b, a);
    const float* u = RealForward2(b + third, a + third);
    const float* v = RealForward2(b + 2 * third, a + 2 * third);
    float* out = y0 == b ? a : b;
    RecombineForward(y0, u, v, m_n, m_l, out);
    return out;
}

// Each length-L inverse gives (L / 2) times its line and the 3-point inverse
// 3 times the samples: (N / 2) times in all, like the powers of two.
float* FftLine::Inverse3(float* a, float* b) const
{
    const size_t third = static_cast<size_t>(m_l) * B;
    GatherInverse(a, m_n, m_l, m_crt.data(), b, b + third, b + 2 * third);
    const float* s0 = RealInverse2(b, a);
    const float* s1 = RealInverse2(b + third, a + third);
    const float* s2 = RealInverse2(b + 2 * third, a + 2 * third);
    float* out = s0 == b ? a : b;
    ThreePointInverse(s0, s1, s2, m_n, m_l, out);
    return out;
}

}  // namespace fftkit
