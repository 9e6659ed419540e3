#include "geometry/fftkit/dct_2d.h"

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

// 1/sqrt 2 and sqrt 2 as the transforms have always used them.
constexpr float kHalfRoot2 = 0.70710677f;
constexpr float kRoot2 = 1.4142137f;
constexpr int kMaxSide = 1 << 24;

struct DctTables {
    int nx = 0;
    int ny = 0;
    std::vector<float> row;     // nx + 1 cosines
    std::vector<float> column;  // ny + 1 cosines, empty when ny == nx
    bool Ready() const { return nx > 0; }
    const float* ColumnTable() const { return column.empty() ? row.data() : column.data(); }
};

DctTables g_tables;

bool IsPowerOfTwo(int n) { return n >= 2 && n <= kMaxSide && (n & (n - 1)) == 0; }

// T[i] = cos(i a) with a = pi / 2N, T[0] = 1, T[N] = 0. The angle is
// accumulated in single precision, as the tables have always been built; the
// transforms read cos(i a) at T[i] and sin(i a) at T[N - i].
std::vector<float> BuildTable(int n)
{
    std::vector<float> table(static_cast<size_t>(n) + 1);
    const float step = 3.1415925f / (2.0f * static_cast<float>(n));
    float angle = 0.0f;
    table[0] = 1.0f;
    for (int i = 1; i < n; ++i) {
        angle += step;
        table[i] = std::cos(angle);
    }
    table[n] = 0.0f;
    return table;
}

// One line of n samples, element i at x[i * stride].
class Line {
public:
    Line(float* x, int n, size_t stride, const float* table) : m_x(x), m_n(n), m_stride(stride), m_t(table) {}
    void Forward(bool sine);
    void Inverse(bool sine);

private:
    float& At(int i) { return m_x[static_cast<size_t>(i) * m_stride]; }
    void Swap(int a, int b) { std::swap(At(a), At(b)); }
    // One rotation stage of step 3 on the residue class j (see Forward).
    struct Stage {
        int n, e, c, count, count2;
    };
    std::vector<Stage> Stages() const;
    void Permute(const Stage& st, int j, bool undo);

    float* m_x;
    int m_n;
    size_t m_stride;
    const float* m_t;
};

std::vector<Line::Stage> Line::Stages() const
{
    std::vector<Stage> stages;
    int d = m_n / 2, e = m_n, c = m_n / 2, count = 1;
    while (d >= 2) {
        const int half = d / 2;
        e /= 2;
        c /= 2;
        stages.push_back({half, e, c, count, 2 * count});
        d = half;
        count *= 2;
    }
    return stages;
}

// The reversal of s(1) .. s(count2 - 1) and the block exchange that follow
// the rotations of residue j; `undo` replays the swaps backwards.
void Line::Permute(const Stage& st, int j, bool undo)
{
    const int r = j + st.c + st.e;
    auto reverseRun = [&] {
        for (int lo = 1, hi = st.count2 - 1; lo < hi; ++lo, --hi) Swap(r + (lo - 1) * st.e, r + (hi - 1) * st.e);
    };
    struct Level {
        int u, t, v, g;
    };
    Level levels[32];
    int count = 0;
    for (int t = st.e * st.count, u = 1, v = 2 * t, g = st.count; g > 0; g /= 2, u *= 2, t /= 2, v /= 2)
        levels[count++] = {u, t, v, g};
    if (!undo) {
        reverseRun();
        for (int i = 0; i < count; ++i) {
            const Level& lv = levels[i];
            for (int l = 0; l < lv.u; ++l)
                for (int m = 0; m < lv.g; ++m)
                    Swap(j + l * lv.v + lv.t + m * st.e, j + l * lv.v + st.c + m * st.e);
        }
    } else {
        for (int i = count - 1; i >= 0; --i) {
            const Level& lv = levels[i];
            for (int l = lv.u - 1; l >= 0; --l)
                for (int m = lv.g - 1; m >= 0; --m)
                    Swap(j + l * lv.v + lv.t + m * st.e, j + l * lv.v + st.c + m * st.e);
        }
        reverseRun();
    }
}

// Radix-2 butterflies, a middle stage, then rotation stages that turn the
// partial sums into the cosine (or sine) outputs in natural order.
void Line::Forward(bool sine)
{
    const int n = m_n;
    for (int d = 1; d < n / 2; d *= 2) {
        const int e = 2 * d, count = n / (2 * d);
        for (int i = 0; i < d; ++i) {
            for (int j = 0; j < count; ++j) {
                float& a = At(i + j * e);
                float& b = At(i + j * e + d);
                const float x = a, y = b;
                if (2 * i < d) {
                    a = x + y;
                    b = sine ? y - x : x - y;
                } else {
                    a = sine ? x - y : y - x;
                    b = x + y;
                }
            }
        }
    }
    const int h = n / 2;
    for (int i = 0; i < h; ++i) {
        float& a = At(i);
        float& b = At(i + h);
        const float x = a, y = b;
        const bool first = 2 * i < h;
        if (first != sine) {
            a = x + y;
            b = (x - y) * kHalfRoot2;
        } else {
            a = x - y;
            b = (x + y) * kHalfRoot2;
        }
    }
    for (const Stage& st : Stages()) {
        for (int j = 0; j < st.n; ++j) {
            const int p = j + st.c, r = p + st.e;
            const bool first = 2 * j < st.n;
            if (!sine) {
                if (!first) At(j) = -At(j);
                At(p) *= kHalfRoot2;
            } else {
                const float w = At(j);
                At(j) = first ? -At(p) : At(p);
                At(p) = w * kHalfRoot2;
            }
            for (int k = 1; k < st.count2; ++k) {
                float& o = At(j + k * st.e);
                float& s = At(r + (k - 1) * st.e);
                const float cs = m_t[st.n * k], sn = m_t[n - st.n * k];
                const float a = o, b = s;
                if (!sine) {
                    o = first ? a * cs + b * sn : a * sn + b * cs;
                    s = first ? cs * b - a * sn : sn * b - a * cs;
                } else {
                    o = first ? a * cs + b * sn : a * sn + b * cs;
                    s = first ? a * sn - cs * b : a * cs - sn * b;
                }
            }
            Permute(st, j, false);
        }
    }
}

// Forward undone step by step in reverse order: permutations, transposed
// rotations, 1.4142137 for 0.70710677, then the butterflies as plain sums
// and differences (no halving), which leaves n times the original line.
void Line::Inverse(bool sine)
{
    const int n = m_n;
    const std::vector<Stage> stages = Stages();
    for (auto it = stages.rbegin(); it != stages.rend(); ++it) {
        const Stage& st = *it;
        for (int j = 0; j < st.n; ++j) {
            const int p = j + st.c, r = p + st.e;
            const bool first = 2 * j < st.n;
            Permute(st, j, true);
            for (int k = 1; k < st.count2; ++k) {
                float& o = At(j + k * st.e);
                float& s = At(r + (k - 1) * st.e);
                const float cs = m_t[st.n * k], sn = m_t[n - st.n * k];
                const float x = o, y = s;
                if (!sine) {
                    o = first ? x * cs - y * sn : x * sn - y * cs;
                    s = first ? x * sn + y * cs : x * cs + y * sn;
                } else {
                    o = first ? x * cs + y * sn : x * sn + y * cs;
                    s = first ? x * sn - y * cs : x * cs - y * sn;
                }
            }
            if (!sine) {
                if (!first) At(j) = -At(j);
                At(p) *= kRoot2;
            } else {
                const float w = At(p) * kRoot2;
                At(p) = first ? -At(j) : At(j);
                At(j) = w;
            }
        }
    }
    const int h = n / 2;
    for (int i = 0; i < h; ++i) {
        float& a = At(i);
        float& b = At(i + h);
        const float x = a, t = b * kRoot2;
        const bool first = 2 * i < h;
        if (first != sine) {
            a = x + t;
            b = x - t;
        } else {
            a = t + x;
            b = t - x;
        }
    }
    for (int d = n / 4; d >= 1; d /= 2) {
        const int e = 2 * d, count = n / (2 * d);
        for (int i = 0; i < d; ++i) {
            for (int j = 0; j < count; ++j) {
                float& a = At(i + j * e);
                float& b = At(i + j * e + d);
                const float x = a, y = b;
                if (2 * i < d) {
                    a = sine ? x - y : x + y;
                    b = sine ? x + y : x - y;
                } else {
                    a = sine ? x + y : y - x;
                    b = sine ? y - x : x + y;
                }
            }
        }
    }
}

void Transform2d(float* data, bool sine, bool inverse)
{
    if (!g_tables.Ready() || data == nullptr) return;
    const int nx = g_tables.nx, ny = g_tables.ny;
    auto rows = [&] {
        for (int y = 0; y < ny; ++y) {
            Line line(data + static_cast<size_t>(y) * nx, nx, 1, g_tables.row.data());
            inverse ? line.Inverse(sine) : line.Forward(sine);
        }
    };
    auto columns = [&] {
        for (int x = 0; x < nx; ++x) {
            Line line(data + x, ny, static_cast<size_t>(nx), g_tables.ColumnTable());
            inverse ? line.Inverse(sine) : line.Forward(sine);
        }
    };
    if (!inverse) {
        rows();
        columns();
        return;
    }
    columns();
    rows();
    const float factor = static_cast<float>(1.0 / (static_cast<double>(nx) * ny));
    const size_t count = static_cast<size_t>(nx) * ny;
    for (size_t i = 0; i < count; ++i) data[i] *= factor;
}

}  // namespace

extern "C" int dctInit(int nx, int ny)
{
    dctCleanup();
    if (!IsPowerOfTwo(nx) || !IsPowerOfTwo(ny)) return 0;
    g_tables.row = BuildTable(nx);
    if (ny != nx) g_tables.column = BuildTable(ny);
    g_tables.nx = nx;
    g_tables.ny = ny;
    return 1;
}

extern "C" void fdct2d(float* data) { Transform2d(data, false, false); }
extern "C" void idct2d(float* data) { Transform2d(data, false, true); }
extern "C" void fdst2d(float* data) { Transform2d(data, true, false); }
extern "C" void idst2d(float* data) { Transform2d(data, true, true); }

extern "C" void dctCleanup()
{
    g_tables = DctTables();
}
