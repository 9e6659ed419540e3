// Grid resampling of a turned world map: exact positions at cell corners,
// fixed-point interpolation inside, splits where the mapping bends.
#include "app/matching/world_map_rotation_grid.h"
#include "core/parallel_for.h"

#include "worldmap/world_map_base.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace Utilities {

namespace {

// Positions inside a cell are stepped in fixed point: 24 fraction bits keep
// the error of 32 steps far below the tolerance, and int64 leaves room for
// any map width.
constexpr int kFractionBits = 24;
constexpr int64_t kOne = int64_t{1} << kFractionBits;
// A position this close to a whole pixel is taken as that pixel: a turn that
// maps pixels onto pixels (the identity, a pan by whole columns) lands them a
// rounding error short, and truncation would take the neighbour.
constexpr int64_t kSnap = static_cast<int64_t>(1.0e-3 * static_cast<double>(kOne));

// Truncated rather than rounded: 2^-24 pixel is far below every tolerance,
// and the conversion stays a single instruction in the per-row set-up.
int64_t ToFixed(double v)
{
    constexpr double kLimit = 1.0e12;  // far outside any map, far inside int64
    return static_cast<int64_t>(std::clamp(v, -kLimit, kLimit) * static_cast<double>(kOne));
}

// Truncation toward zero, a position within the snap of a whole pixel taken
// as that pixel.
int64_t TruncFixed(int64_t v)
{
    return v >= 0 ? (v + kSnap) >> kFractionBits : -((-v + kSnap) >> kFractionBits);
}

// The same truncation as one add and a shift, for a run whose positions all
// share one sign: ceil((v - snap) / one) for the negative ones.
int64_t TruncBias(bool negative)
{
    return negative ? kOne - 1 - kSnap : kSnap;
}

// atan(u) for |u| <= tan(pi/8): the alternating series to u^15, whose error
// is below u^17/17 < 2e-8.
double AtanSmall(double u)
{
    const double u2 = u * u;
    return u * (1.0 + u2 * (-1.0 / 3 + u2 * (1.0 / 5 + u2 * (-1.0 / 7 + u2 * (1.0 / 9 + u2 * (-1.0 / 11 + u2 * (1.0 / 13 + u2 * (-1.0 / 15))))))));
}

// atan2(y, x) within 1e-7 radian (a few ten-thousandths of a pixel on any
// map this program makes) with one division and no library call.
double FastAtan2(double y, double x)
{
    constexpr double kPi = 3.14159265358979323846;
    const double ax = std::fabs(x), ay = std::fabs(y);
    const double lo = std::min(ax, ay), hi = std::max(ax, ay);
    if (hi == 0.0) return 0.0;
    double a = lo > 0.41421356237309503 * hi ? kPi / 4 + AtanSmall((lo - hi) / (lo + hi)) : AtanSmall(lo / hi);
    if (ay > ax) a = kPi / 2 - a;
    if (x < 0) a = kPi - a;
    return y < 0 ? -a : a;
}

struct SourceRow {
    const uint8_t* data = nullptr;  // sample `first`; null: not stored
    int first = 0, last = -1, samples = 0, half = 0;
};

// A target row's writable pixels within the area.
struct TargetRow {
    uint8_t* line = nullptr;  // sample `first`; null: nothing to write on this row
    int first = 0, x0 = 0, x1 = -1;
};

struct Corners {
    TurnPosition p[4];  // (xa, ya), (xe, ya), (xa, ye), (xe, ye)
};

// A cell to write: [xa, xe) x [ya, ye) with its corner positions, the
// longitudes unwrapped against the first corner so that a cell across the
// source's seam interpolates through it (and wraps per pixel). A cell of one
// pixel holds that pixel's exact position.
struct Leaf {
    int xa = 0, xe = 0, ya = 0, ye = 0;
    Corners c;
    int64_t biasV = 0, biasW = 0;
    bool fast = false;
};

// Exact positions at the middles of a cell's top, bottom, left and right
// edges already worked for the cell it was split from; null: not known.
struct EdgeMiddles {
    const TurnPosition* top = nullptr;
    const TurnPosition* bottom = nullptr;
    const TurnPosition* left = nullptr;
    const TurnPosition* right = nullptr;
};

class GridTurn {
public:
    GridTurn(const WorldMapBase* source, WorldMapBase* target, const float m[9], const TurnGeometry& g);
    int GridRows() const { return m_gridRows; }
    void RenderGridRow(int j) const;

private:
    TurnPosition Exact(int x, int y) const;
    bool HoldsSourcePole(int xa, int xe, int ya, int ye) const;
    void Cell(int xa, int xe, int ya, int ye, const Corners& c, const EdgeMiddles& known) const;
    void RenderLeaf(int xa, int xe, int ya, int ye, const Corners& c) const;
    void RenderLeafRow(const Leaf& leaf, int y, const TargetRow& row) const;
    bool FastCell(const Corners& c, int64_t& biasV, int64_t& biasW) const;
    const uint8_t* Sample(int64_t v, int64_t w) const;
    const TargetRow& Target(int y) const { return m_targetRows[static_cast<size_t>(y - m_g.y0)]; }

    TurnGeometry m_g;
    double m_m[9];
    size_t m_channels;
    int m_samples = 0;  // of the source row that sets ps: one turn of longitude
    bool m_uniform = true;  // every source row from first to last stored whole, m_samples long
    std::vector<SourceRow> m_rows;
    std::vector<const uint8_t*> m_rowData;  // uniform maps: each row's sample 0
    std::vector<TargetRow> m_targetRows;     // from y0 to y1
    std::vector<double> m_cosLon, m_sinLon, m_cosLat, m_sinLat;  // from x0 / y0 over whole cells
    int m_gridColumns = 0, m_gridRows = 0;
    double m_poleX[2] = {0, 0}, m_poleY[2] = {0, 0};  // where the source's poles land in the target
    int m_targetSamples = 0;
};

GridTurn::GridTurn(const WorldMapBase* source, WorldMapBase* target, const float m[9], const TurnGeometry& g)
    : m_g(g), m_channels(static_cast<size_t>(target->GetChannels()))
{
    for (int i = 0; i < 9; ++i) m_m[i] = m[i];
    m_rows.resize(static_cast<size_t>(source->GetHeight()));
    m_rowData.assign(m_rows.size(), nullptr);
    m_samples = source->GetScanLine(g.sourceFirstRow)->m_samples;
    for (int r = 0; r < source->GetHeight(); ++r) {
        const WorldMapBase::ScanLine* line = source->GetScanLine(r);
        SourceRow& row = m_rows[static_cast<size_t>(r)];
        if (line && line->m_line && line->m_samples > 0 && line->m_last >= 0) {
            row = {line->m_line, line->m_first, line->m_last, line->m_samples, line->m_samples / 2};
            m_rowData[static_cast<size_t>(r)] = line->m_line;
        }
        if (r >= g.sourceFirstRow && r <= g.sourceLastRow)
            m_uniform = m_uniform && row.data && row.first == 0 && row.last == m_samples - 1 && row.samples == m_samples;
    }

    m_targetRows.resize(static_cast<size_t>(g.y1 - g.y0 + 1));
    for (int y = g.y0; y <= g.y1; ++y) {
        const WorldMapBase::ScanLine* out = target->GetScanLine(y);
        if (!out || !out->m_line) continue;
        TargetRow& row = m_targetRows[static_cast<size_t>(y - g.y0)];
        row = {out->m_line, out->m_first, std::max(g.x0, out->m_first), std::min(g.x1, out->m_last)};
        if (row.x0 > row.x1) row.line = nullptr;
    }

    m_gridColumns = (g.x1 - g.x0) / kTurnCellWidth + 1;
    m_gridRows = (g.y1 - g.y0) / kTurnCellHeight + 1;
    const int spanX = m_gridColumns * kTurnCellWidth + 1, spanY = m_gridRows * kTurnCellHeight + 1;
    m_cosLon.resize(static_cast<size_t>(spanX));
    m_sinLon.resize(m_cosLon.size());
    for (int i = 0; i < spanX; ++i) {
        const double longitude = static_cast<double>(g.x0 + i - g.targetCentreX) * static_cast<double>(g.dt);
        m_cosLon[static_cast<size_t>(i)] = std::cos(longitude);
        m_sinLon[static_cast<size_t>(i)] = std::sin(longitude);
    }
    m_cosLat.resize(static_cast<size_t>(spanY));
    m_sinLat.resize(m_cosLat.size());
    for (int i = 0; i < spanY; ++i) {
        const double latitude = static_cast<double>(g.y0 + i - g.targetCentreY) * static_cast<double>(g.dt);
        m_cosLat[static_cast<size_t>(i)] = std::cos(latitude);
        m_sinLat[static_cast<size_t>(i)] = std::sin(latitude);
    }

    // The source's poles (0, 0, -+1) seen from the target: the transposed
    // matrix. Around them the source longitude turns through a full circle.
    m_targetSamples = target->GetScanLine(g.y0) ? target->GetScanLine(g.y0)->m_samples : 0;
    for (int k = 0; k < 2; ++k) {
        const double z = k == 0 ? 1.0 : -1.0;
        const double q[3] = {m_m[6] * z, m_m[7] * z, m_m[8] * z};
        const double longitude = std::atan2(-q[1], q[0]);
        const double latitude = std::atan2(-q[2], std::sqrt(q[0] * q[0] + q[1] * q[1]));
        m_poleX[k] = longitude / static_cast<double>(g.dt) + g.targetCentreX;
        m_poleY[k] = latitude / static_cast<double>(g.dt) + g.targetCentreY;
    }
}

TurnPosition GridTurn::Exact(int x, int y) const
{
    const size_t i = static_cast<size_t>(x - m_g.x0), j = static_cast<size_t>(y - m_g.y0);
    const double cosLat = m_cosLat[j], sinLat = m_sinLat[j];
    const double p0 = m_cosLon[i] * cosLat, p1 = -m_sinLon[i] * cosLat, p2 = -sinLat;
    const double q0 = m_m[0] * p0 + m_m[1] * p1 + m_m[2] * p2;
    const double q1 = m_m[3] * p0 + m_m[4] * p1 + m_m[5] * p2;
    const double q2 = m_m[6] * p0 + m_m[7] * p1 + m_m[8] * p2;
    const double ps = m_g.ps;
    // Latitude as an angle against the horizontal length rather than asin of
    // z: as exact, and well conditioned next to the poles.
    return {FastAtan2(-q1, q0) * ps, FastAtan2(-q2, std::sqrt(q0 * q0 + q1 * q1)) * ps};
}

bool GridTurn::HoldsSourcePole(int xa, int xe, int ya, int ye) const
{
    for (int k = 0; k < 2; ++k) {
        if (m_poleY[k] < ya - 1.0 || m_poleY[k] > ye + 1.0) continue;
        for (int turn = -1; turn <= 1; ++turn) {
            const double x = m_poleX[k] + turn * m_targetSamples;
            if (x >= xa - 1.0 && x <= xe + 1.0) return true;
        }
    }
    return false;
}

// The stored sample for a position (fixed point, from the source's centre),
// the longitude wrapped into one turn and both clamped into the stored rows
// and samples as the per-pixel lookup clamps them; null for a row that holds
// no samples.
const uint8_t* GridTurn::Sample(int64_t v, int64_t w) const
{
    // The exact longitude never passes half a turn by more than a rounding
    // error, which keeps the seam column; a position further out comes from
    // a cell interpolated across the seam.
    const int64_t period = int64_t{m_samples} * kOne, halfPeriod = period / 2 + kSnap;
    while (v > halfPeriod) v -= period;
    while (v < -halfPeriod) v += period;
    const int64_t rowIndex = TruncFixed(w) + m_g.sourceCentreY;
    const int row = static_cast<int>(std::clamp<int64_t>(rowIndex, m_g.sourceFirstRow, m_g.sourceLastRow));
    const SourceRow& r = m_rows[static_cast<size_t>(row)];
    if (!r.data) return nullptr;
    int column = static_cast<int>(std::clamp<int64_t>(TruncFixed(v) + r.half, 0, r.samples - 1));
    size_t offset;
    if (r.first <= r.last) {
        offset = static_cast<size_t>(std::clamp(column, r.first, r.last) - r.first);
    } else if (column >= r.first) {  // a stored range that wraps past the row's end
        offset = static_cast<size_t>(column - r.first);
    } else if (column <= r.last) {
        offset = static_cast<size_t>(column + r.samples - r.first);
    } else {  // in the gap: the nearer stored end
        offset = column - r.last <= r.first - column ? static_cast<size_t>(r.last + r.samples - r.first) : 0;
    }
    return r.data + offset * m_channels;
}

// Whether a cell's positions stay inside whole stored rows away from the
// seam, each with one sign, so that a column and a row are each one add and
// a shift; the biases fold the centre, the sign's truncation and the snap.
bool GridTurn::FastCell(const Corners& c, int64_t& biasV, int64_t& biasW) const
{
    if (!m_uniform) return false;
    double vMin = c.p[0].v, vMax = vMin, wMin = c.p[0].w, wMax = wMin;
    for (const TurnPosition& p : c.p) {
        vMin = std::min(vMin, p.v);
        vMax = std::max(vMax, p.v);
        wMin = std::min(wMin, p.w);
        wMax = std::max(wMax, p.w);
    }
    const double half = m_samples / 2;
    if (vMin < -half + 2 || vMax > half - 2) return false;
    if (wMin + m_g.sourceCentreY < m_g.sourceFirstRow + 2 || wMax + m_g.sourceCentreY > m_g.sourceLastRow - 2) return false;
    // One sign across the cell; the rounding of the steps stays far inside
    // this margin.
    constexpr double kSignMargin = 1.0e-4;
    if (vMin < kSignMargin && vMax > -kSignMargin) return false;
    if (wMin < kSignMargin && wMax > -kSignMargin) return false;
    biasV = TruncBias(vMax < 0) + int64_t{m_samples / 2} * kOne;
    biasW = TruncBias(wMax < 0) + int64_t{m_g.sourceCentreY} * kOne;
    return true;
}

// A run of target pixels whose positions step linearly; biased positions
// give the stored sample as row and column by a shift. Blocks of eight
// pixels that stay on one source row and step one sample each are one copy.
template <int Channels>
void CopyRun(uint8_t* out, int n, int64_t v, int64_t dv, int64_t w, int64_t dw, const uint8_t* const* rows, size_t channelsIn)
{
    const size_t channels = Channels ? static_cast<size_t>(Channels) : channelsIn;
    int k = 0;
    if (dv > 0 && dv < 2 * kOne) {
        for (; k + 8 <= n; k += 8) {
            const int64_t column = v >> kFractionBits, row = w >> kFractionBits;
            const int64_t v7 = v + 7 * dv, w7 = w + 7 * dw;
            if ((v7 >> kFractionBits) - column == 7 && (w7 >> kFractionBits) == row) {
                std::memcpy(out, rows[row] + static_cast<size_t>(column) * channels, 8 * channels);
                out += 8 * channels;
                v += 8 * dv;
                w += 8 * dw;
                continue;
            }
            for (int i = 0; i < 8; ++i, out += channels, v += dv, w += dw)
                std::memcpy(out, rows[w >> kFractionBits] + static_cast<size_t>(v >> kFractionBits) * channels, channels);
        }
    }
    for (; k < n; ++k, out += channels, v += dv, w += dw)
        std::memcpy(out, rows[w >> kFractionBits] + static_cast<size_t>(v >> kFractionBits) * channels, channels);
}

void GridTurn::RenderLeaf(int xa, int xe, int ya, int ye, const Corners& c) const
{
    Leaf leaf;
    leaf.xa = xa;
    leaf.xe = xe;
    leaf.ya = ya;
    leaf.ye = ye;
    leaf.c = c;
    const double period = m_samples;
    for (TurnPosition& p : leaf.c.p) {
        while (p.v - leaf.c.p[0].v > period / 2) p.v -= period;
        while (p.v - leaf.c.p[0].v < -period / 2) p.v += period;
    }
    leaf.fast = FastCell(leaf.c, leaf.biasV, leaf.biasW);
    const int yEnd = std::min(ye - 1, m_g.y1);
    for (int y = ya; y <= yEnd; ++y) {
        const TargetRow& row = Target(y);
        if (row.line) RenderLeafRow(leaf, y, row);
    }
}

void GridTurn::RenderLeafRow(const Leaf& leaf, int y, const TargetRow& row) const
{
    const int x0 = std::max(row.x0, leaf.xa), x1 = std::min(row.x1, leaf.xe - 1);
    if (x0 > x1) return;
    const Corners& u = leaf.c;
    const double fy = static_cast<double>(y - leaf.ya) / (leaf.ye - leaf.ya);
    const double leftV = u.p[0].v + (u.p[2].v - u.p[0].v) * fy, rightV = u.p[1].v + (u.p[3].v - u.p[1].v) * fy;
    const double leftW = u.p[0].w + (u.p[2].w - u.p[0].w) * fy, rightW = u.p[1].w + (u.p[3].w - u.p[1].w) * fy;
    const double perColumn = 1.0 / (leaf.xe - leaf.xa);
    const double stepV = (rightV - leftV) * perColumn, stepW = (rightW - leftW) * perColumn;
    int64_t v = ToFixed(leftV + stepV * (x0 - leaf.xa)), w = ToFixed(leftW + stepW * (x0 - leaf.xa));
    const int64_t dv = ToFixed(stepV), dw = ToFixed(stepW);
    uint8_t* out = row.line + static_cast<size_t>(x0 - row.first) * m_channels;
    const int n = x1 - x0 + 1;
    if (leaf.fast) {
        const uint8_t* const* rows = m_rowData.data();
        // The cell to the right takes up this row after the rest of this
        // cell: fetch its source and target lines now, as a copy along the
        // row would have them streamed in.
        if (x1 < row.x1 && x1 == leaf.xe - 1) {
            const int64_t nextV = v + leaf.biasV + n * dv, nextW = w + leaf.biasW + n * dw;
            const int64_t column = nextV >> kFractionBits;
            const uint8_t* from = rows[nextW >> kFractionBits] + static_cast<size_t>(column) * m_channels;
            const size_t sourceAhead = static_cast<size_t>(m_samples - column) * m_channels;
            const size_t targetAhead = static_cast<size_t>(row.x1 - x1) * m_channels;
            for (size_t offset = 0; offset < 192; offset += 64) {
                if (offset < sourceAhead) __builtin_prefetch(from + offset);
                if (offset < targetAhead) __builtin_prefetch(out + static_cast<size_t>(n) * m_channels + offset, 1);
            }
        }
        if (m_channels == 3)
            CopyRun<3>(out, n, v + leaf.biasV, dv, w + leaf.biasW, dw, rows, m_channels);
        else if (m_channels == 1)
            CopyRun<1>(out, n, v + leaf.biasV, dv, w + leaf.biasW, dw, rows, m_channels);
        else
            CopyRun<0>(out, n, v + leaf.biasV, dv, w + leaf.biasW, dw, rows, m_channels);
        return;
    }
    for (int k = 0; k < n; ++k, out += m_channels, v += dv, w += dw)
        if (const uint8_t* sample = Sample(v, w))
            std::memcpy(out, sample, m_channels);
        else
            std::memset(out, 0, m_channels);
}

// The larger of the two axes' distances between positions, the longitude
// compared across the seam.
double Distance(const TurnPosition& a, const TurnPosition& b, double period)
{
    double dv = std::fabs(a.v - b.v);
    while (dv > period) dv -= period;
    dv = std::min(dv, period - dv);
    return std::max(dv, std::fabs(a.w - b.w));
}

TurnPosition Middle(const TurnPosition& a, const TurnPosition& b, double period)
{
    double bv = b.v;
    if (bv - a.v > period / 2) bv -= period;
    if (bv - a.v < -period / 2) bv += period;
    return {(a.v + bv) / 2, (a.w + b.w) / 2};
}

// Cell [xa, xe) x [ya, ye) with the exact positions at its four corner
// pixels (the far corners are the next cell's first pixels) and at the
// middles of its edges where the cell it was split from had them.
void GridTurn::Cell(int xa, int xe, int ya, int ye, const Corners& c, const EdgeMiddles& known) const
{
    if (xa > m_g.x1 || ya > m_g.y1) return;
    const int width = xe - xa, height = ye - ya;
    if (width == 1 && height == 1) {  // one pixel: its corner is its exact position
        RenderLeaf(xa, xe, ya, ye, c);
        return;
    }
    const double period = m_samples;
    const bool pole = HoldsSourcePole(xa, xe, ya, ye);
    const int xm = xa + width / 2, ym = ya + height / 2;
    TurnPosition top, bottom, left, right, centre;
    bool splitX = false, splitY = false;
    if (width >= 2) {
        top = known.top ? *known.top : Exact(xm, ya);
        bottom = known.bottom ? *known.bottom : Exact(xm, ye);
        splitX = pole || Distance(top, Middle(c.p[0], c.p[1], period), period) > kTurnCellTolerance ||
                 Distance(bottom, Middle(c.p[2], c.p[3], period), period) > kTurnCellTolerance;
    }
    if (height >= 2) {
        left = known.left ? *known.left : Exact(xa, ym);
        right = known.right ? *known.right : Exact(xe, ym);
        splitY = pole || Distance(left, Middle(c.p[0], c.p[2], period), period) > kTurnCellTolerance ||
                 Distance(right, Middle(c.p[1], c.p[3], period), period) > kTurnCellTolerance;
    }
    const bool both = width >= 2 && height >= 2;
    if (both) centre = Exact(xm, ym);
    if (!splitX && !splitY) {
        if (both && Distance(centre, Middle(Middle(c.p[0], c.p[1], period), Middle(c.p[2], c.p[3], period), period), period) >
                        kTurnCellTolerance) {
            splitX = splitY = true;
        } else {
            RenderLeaf(xa, xe, ya, ye, c);
            return;
        }
    }
    const TurnPosition* middle = both ? &centre : nullptr;
    if (splitX && splitY) {
        Cell(xa, xm, ya, ym, Corners{{c.p[0], top, left, centre}}, {});
        Cell(xm, xe, ya, ym, Corners{{top, c.p[1], centre, right}}, {});
        Cell(xa, xm, ym, ye, Corners{{left, centre, c.p[2], bottom}}, {});
        Cell(xm, xe, ym, ye, Corners{{centre, right, bottom, c.p[3]}}, {});
    } else if (splitX) {
        const TurnPosition* leftMiddle = height >= 2 ? &left : nullptr;
        const TurnPosition* rightMiddle = height >= 2 ? &right : nullptr;
        Cell(xa, xm, ya, ye, Corners{{c.p[0], top, c.p[2], bottom}}, {nullptr, nullptr, leftMiddle, middle});
        Cell(xm, xe, ya, ye, Corners{{top, c.p[1], bottom, c.p[3]}}, {nullptr, nullptr, middle, rightMiddle});
    } else {
        const TurnPosition* topMiddle = width >= 2 ? &top : nullptr;
        const TurnPosition* bottomMiddle = width >= 2 ? &bottom : nullptr;
        Cell(xa, xe, ya, ym, Corners{{c.p[0], c.p[1], left, right}}, {topMiddle, middle, nullptr, nullptr});
        Cell(xa, xe, ym, ye, Corners{{left, right, c.p[2], c.p[3]}}, {middle, bottomMiddle, nullptr, nullptr});
    }
}

void GridTurn::RenderGridRow(int j) const
{
    const int ya = m_g.y0 + j * kTurnCellHeight, ye = ya + kTurnCellHeight;
    TurnPosition topLeft = Exact(m_g.x0, ya), bottomLeft = Exact(m_g.x0, ye);
    for (int i = 0; i < m_gridColumns; ++i) {
        const int xa = m_g.x0 + i * kTurnCellWidth, xe = xa + kTurnCellWidth;
        const TurnPosition topRight = Exact(xe, ya), bottomRight = Exact(xe, ye);
        Cell(xa, xe, ya, ye, Corners{{topLeft, topRight, bottomLeft, bottomRight}}, {});
        topLeft = topRight;
        bottomLeft = bottomRight;
    }
}

}  // namespace

void ResampleTurn(const WorldMapBase* source, WorldMapBase* target, const float m[9], const TurnGeometry& geometry, int threads)
{
    if (geometry.x0 > geometry.x1 || geometry.y0 > geometry.y1) return;
    const GridTurn turn(source, target, m, geometry);
    const int64_t pixels = int64_t{geometry.x1 - geometry.x0 + 1} * (geometry.y1 - geometry.y0 + 1);
    if (threads <= 0) threads = pixels < 65536 ? 1 : parallel::HardwareThreads(8);
    // Rows of cells are independent; the ones next to a pole split into more
    // cells, so each worker takes the next row when it is done.
    parallel::ForEach(turn.GridRows(), threads, [&turn](int j) { turn.RenderGridRow(j); });
}

}  // namespace Utilities
