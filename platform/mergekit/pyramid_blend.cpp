#include "platform/mergekit/pyramid_blend.h"
#include "core/parallel_for.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace mergekit {

namespace {

// The binomial 1-4-6-4-1 filter. Every sum below starts from 0 and adds the
// taps from the left, and an expanded value is divided by the sum of the
// taps that fell on coarse samples (always 0.5): the plain blend's order of
// operations, so that both give the same floats.
constexpr float kT0 = 1.0f / 16, kT1 = 4.0f / 16, kT2 = 6.0f / 16, kT3 = 4.0f / 16, kT4 = 1.0f / 16;
constexpr float kTap[5] = {kT0, kT1, kT2, kT3, kT4};
constexpr float kHalf = 0.5f;

// Row of dstW samples: src (srcW samples) filtered and taken at the even
// positions, edges clamped.
void ReduceRow(const float* src, int srcW, float* dst, int dstW)
{
    auto clamped = [&](int x) {
        float s = 0;
        for (int k = -2; k <= 2; ++k) s += kTap[k + 2] * src[std::clamp(2 * x + k, 0, srcW - 1)];
        return s;
    };
    // Interior: 2x - 2 >= 0 and 2x + 2 <= srcW - 1.
    const int lo = std::min(1, dstW);
    const int hi = srcW >= 3 ? std::max(lo, std::min(dstW, (srcW - 3) / 2 + 1)) : lo;
    for (int x = 0; x < lo; ++x) dst[x] = clamped(x);
    for (int x = lo; x < hi; ++x) {
        const float* p = src + 2 * x - 2;
        float s = 0;
        s += kT0 * p[0];
        s += kT1 * p[1];
        s += kT2 * p[2];
        s += kT3 * p[3];
        s += kT4 * p[4];
        dst[x] = s;
    }
    for (int x = hi; x < dstW; ++x) dst[x] = clamped(x);
}

// Row of the five filtered rows r[0..4] (rows 2y - 2 .. 2y + 2) at y.
void ReduceColumn(const float* const r[5], float* __restrict dst, int width)
{
    const float* __restrict r0 = r[0];
    const float* __restrict r1 = r[1];
    const float* __restrict r2 = r[2];
    const float* __restrict r3 = r[3];
    const float* __restrict r4 = r[4];
    for (int x = 0; x < width; ++x) {
        float s = 0;
        s += kT0 * r0[x];
        s += kT1 * r1[x];
        s += kT2 * r2[x];
        s += kT3 * r3[x];
        s += kT4 * r4[x];
        dst[x] = s;
    }
}

// Row of dstW samples interpolated from the coarse row src (srcW samples):
// an even position from coarse samples i - 1, i, i + 1, an odd one from i
// and i + 1 (i = x / 2), edges clamped.
void ExpandRow(const float* src, int srcW, float* dst, int dstW)
{
    auto at = [&](int i) { return src[std::clamp(i, 0, srcW - 1)]; };
    auto even = [](float l, float c, float r) {
        float s = 0;
        s += kT0 * l;
        s += kT2 * c;
        s += kT4 * r;
        return s / kHalf;
    };
    auto odd = [](float c, float r) {
        float s = 0;
        s += kT1 * c;
        s += kT3 * r;
        return s / kHalf;
    };
    // Interior coarse indices: i - 1 >= 0 and i + 1 <= srcW - 1.
    const int pairs = dstW / 2;
    const int lo = std::min(1, pairs), hi = std::max(lo, std::min(pairs, srcW - 1));
    for (int i = 0; i < lo; ++i) {
        dst[2 * i] = even(at(i - 1), at(i), at(i + 1));
        dst[2 * i + 1] = odd(at(i), at(i + 1));
    }
    for (int i = lo; i < hi; ++i) {
        dst[2 * i] = even(src[i - 1], src[i], src[i + 1]);
        dst[2 * i + 1] = odd(src[i], src[i + 1]);
    }
    for (int i = hi; i < pairs; ++i) {
        dst[2 * i] = even(at(i - 1), at(i), at(i + 1));
        dst[2 * i + 1] = odd(at(i), at(i + 1));
    }
    if (dstW % 2) dst[dstW - 1] = even(at(pairs - 1), at(pairs), at(pairs + 1));
}

// Fine row y from the expanded coarse rows: c0, c1, c2 are rows j - 1, j,
// j + 1 (j = y / 2, clamped) for an even y; c1, c2 for an odd one.
void ExpandColumn(bool evenRow, const float* __restrict c0, const float* __restrict c1, const float* __restrict c2,
                  float* __restrict dst, int width)
{
    if (evenRow) {
        for (int x = 0; x < width; ++x) {
            float s = 0;
            s += kT0 * c0[x];
            s += kT2 * c1[x];
            s += kT4 * c2[x];
            dst[x] = s / kHalf;
        }
    } else {
        for (int x = 0; x < width; ++x) {
            float s = 0;
            s += kT1 * c1[x];
            s += kT3 * c2[x];
            dst[x] = s / kHalf;
        }
    }
}

// A thread's window of filtered rows, keyed by their source row: the
// vertical passes read at most five consecutive rows at a time, so eight
// slots never drop a row still in use.
class RowWindow {
public:
    explicit RowWindow(int width) : m_width(width), m_rows(static_cast<size_t>(width) * kSlots) { Reset(); }
    void Reset() { std::fill(std::begin(m_tags), std::end(m_tags), -1); }
    template <typename Fill>
    const float* Get(int row, Fill&& fill)
    {
        const int slot = row & (kSlots - 1);
        float* p = m_rows.data() + static_cast<size_t>(slot) * m_width;
        if (m_tags[slot] != row) {
            fill(row, p);
            m_tags[slot] = row;
        }
        return p;
    }

private:
    static constexpr int kSlots = 8;
    int m_width;
    std::vector<float> m_rows;
    int m_tags[kSlots];
};

struct Size {
    int w, h;
};

// A level's plane; every sample is written before it is read, so the
// storage is left uninitialised (zeroing it cost as much as a filter pass).
struct Level {
    int w = 0, h = 0;
    std::unique_ptr<float[]> v;
    Level() = default;
    explicit Level(Size s) : w(s.w), h(s.h), v(new float[static_cast<size_t>(s.w) * s.h]) {}
    float* Row(int y) const { return v.get() + static_cast<size_t>(y) * w; }
};

}  // namespace

void ParallelRows(int count, const std::function<void(int, int)>& fn, int maxThreads)
{
    if (count <= 0) return;
    int threads = parallel::HardwareThreads(8);
    if (maxThreads > 0) threads = std::min(threads, maxThreads);
    // Chunks of at least 16 rows (each chunk refills its filter window), a
    // few per thread so that a thread slowed by the machine's load does not
    // hold the others up.
    const int chunk = std::max(16, count / (threads * 4) + 1);
    const int chunks = (count + chunk - 1) / chunk;
    threads = std::min(threads, chunks);
    if (threads <= 1) {
        fn(0, count);
        return;
    }
    parallel::ForEach(chunks, threads, [&](int c) { fn(c * chunk, std::min(count, (c + 1) * chunk)); });
}

void PyramidBlend(const RowSource& a, const RowSource& b, const Plane& weightOfB, int channels, int levels,
                  RowSink& out)
{
    levels = std::clamp(levels, 1, 8);
    std::vector<Size> size{{weightOfB.width, weightOfB.height}};
    for (int l = 1; l < levels; ++l) {
        const Size s = size.back();
        if (s.w < 2 || s.h < 2) break;
        size.push_back({(s.w + 1) / 2, (s.h + 1) / 2});
    }
    const int top = static_cast<int>(size.size()) - 1;
    const int W = size[0].w, H = size[0].h;
    if (W <= 0 || H <= 0 || channels <= 0) return;

    if (top == 0) {
        ParallelRows(H, [&](int y0, int y1) {
            std::vector<float> ra(W), rb(W), mixed(W);
            for (int c = 0; c < channels; ++c)
                for (int y = y0; y < y1; ++y) {
                    a.Row(c, y, ra.data());
                    b.Row(c, y, rb.data());
                    const float* w = &weightOfB.v[static_cast<size_t>(y) * W];
                    for (int x = 0; x < W; ++x) mixed[x] = w[x] * rb[x] + (1 - w[x]) * ra[x];
                    out.Row(c, y, mixed.data());
                }
        });
        return;
    }

    // Gaussian levels 1..top of the weight and of each channel of a and b.
    std::vector<Level> gw(static_cast<size_t>(top) + 1);
    std::vector<std::vector<Level>> ga(static_cast<size_t>(top) + 1), gb(static_cast<size_t>(top) + 1);
    // Row y of level l of picture p: the weight (p = -1) or channel p of a
    // (0 .. channels - 1) or of b (channels .. 2 channels - 1).
    auto levelRow = [&](int l, int p, int y, float* scratch) -> const float* {
        if (p < 0) return l == 0 ? &weightOfB.v[static_cast<size_t>(y) * W] : gw[l].Row(y);
        const bool ofB = p >= channels;
        const int c = ofB ? p - channels : p;
        if (l == 0) {
            (ofB ? b : a).Row(c, y, scratch);
            return scratch;
        }
        return (ofB ? gb[l][c] : ga[l][c]).Row(y);
    };
    for (int l = 1; l <= top; ++l) {
        const Size src = size[l - 1], dst = size[l];
        gw[l] = Level(dst);
        for (int c = 0; c < channels; ++c) {
            ga[l].emplace_back(dst);
            gb[l].emplace_back(dst);
        }
        ParallelRows(dst.h, [&](int y0, int y1) {
            RowWindow window(dst.w);
            std::vector<float> scratch(src.w);
            for (int p = -1; p < 2 * channels; ++p) {
                window.Reset();
                const Level& target = p < 0 ? gw[l] : (p >= channels ? gb[l][p - channels] : ga[l][p]);
                auto fill = [&](int row, float* into) { ReduceRow(levelRow(l - 1, p, row, scratch.data()), src.w, into, dst.w); };
                for (int y = y0; y < y1; ++y) {
                    const float* r[5];
                    for (int k = 0; k < 5; ++k) r[k] = window.Get(std::clamp(2 * y + k - 2, 0, src.h - 1), fill);
                    ReduceColumn(r, target.Row(y), dst.w);
                }
            }
        });
    }

    // Coarsest band: the plain weighted mean of the Gaussian tops.
    std::vector<Level> blended;
    for (int c = 0; c < channels; ++c) {
        const Level &w = gw[top], &pa = ga[top][c], &pb = gb[top][c];
        Level& o = blended.emplace_back(size[top]);
        const size_t n = static_cast<size_t>(o.w) * o.h;
        for (size_t k = 0; k < n; ++k) o.v[k] = w.v[k] * pb.v[k] + (1 - w.v[k]) * pa.v[k];
    }

    // Down the levels: the blend so far expanded, plus each side's band
    // (its level less its expanded next level) mixed by the weight.
    for (int l = top - 1; l >= 0; --l) {
        const Size fine = size[l], coarse = size[l + 1];
        std::vector<Level> next;
        if (l > 0)
            for (int c = 0; c < channels; ++c) next.emplace_back(fine);
        ParallelRows(fine.h, [&](int y0, int y1) {
            RowWindow wo(fine.w), wa(fine.w), wb(fine.w);
            std::vector<float> up(fine.w), ea(fine.w), eb(fine.w), sa(fine.w), sb(fine.w), mixed(fine.w);
            for (int c = 0; c < channels; ++c) {
                wo.Reset(), wa.Reset(), wb.Reset();
                auto expandFrom = [&](const Level& p) {
                    return [&p, &coarse, &fine](int row, float* into) { ExpandRow(p.Row(row), coarse.w, into, fine.w); };
                };
                const auto fo = expandFrom(blended[c]), fa = expandFrom(ga[l + 1][c]), fb = expandFrom(gb[l + 1][c]);
                for (int y = y0; y < y1; ++y) {
                    const int j = y / 2;
                    const int j0 = std::clamp(j - 1, 0, coarse.h - 1), j1 = std::clamp(j, 0, coarse.h - 1),
                              j2 = std::clamp(j + 1, 0, coarse.h - 1);
                    const bool even = y % 2 == 0;
                    const float *o0 = wo.Get(j0, fo), *o1 = wo.Get(j1, fo), *o2 = wo.Get(j2, fo);
                    const float *a0 = wa.Get(j0, fa), *a1 = wa.Get(j1, fa), *a2 = wa.Get(j2, fa);
                    const float *b0 = wb.Get(j0, fb), *b1 = wb.Get(j1, fb), *b2 = wb.Get(j2, fb);
                    ExpandColumn(even, o0, o1, o2, up.data(), fine.w);
                    ExpandColumn(even, a0, a1, a2, ea.data(), fine.w);
                    ExpandColumn(even, b0, b1, b2, eb.data(), fine.w);
                    const float* ra = levelRow(l, c, y, sa.data());
                    const float* rb = levelRow(l, channels + c, y, sb.data());
                    const float* w = levelRow(l, -1, y, nullptr);
                    float* dst = l > 0 ? next[c].Row(y) : mixed.data();
                    for (int x = 0; x < fine.w; ++x) {
                        const float la = ra[x] - ea[x], lb = rb[x] - eb[x];
                        dst[x] = up[x] + (w[x] * lb + (1 - w[x]) * la);
                    }
                    if (l == 0) out.Row(c, y, mixed.data());
                }
            }
        });
        if (l > 0) blended = std::move(next);
    }
}

}  // namespace mergekit
