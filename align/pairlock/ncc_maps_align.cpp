#include "align/pairlock/ncc_maps_align.h"

#include "platform/utilkit/debug_display.h"
#include "platform/utilkit/equation.h"
#include "projectgraph/curvekit/marker.h"

#include <cmath>
#include <new>
#include <vector>

namespace {

// Slope and curvature limits of the triple test, in grid steps. The second
// is the double just below 0.1, so that a difference of exactly 0.1 (which
// 0.15 - 0.05 does not quite reach) fails.
constexpr double kTripleSlope = 0.15;
constexpr double kTripleBend = 0.09999999999999999;
// Inlier tolerances, in grid steps.
constexpr double kTightTol = 0.1;
constexpr double kLooseTol = 0.2;

}  // namespace

CNCCMapsAlign::CNCCMapsAlign() : m_pGrid(&m_maps) {}

CNCCMapsAlign::~CNCCMapsAlign() = default;

bool CNCCMapsAlign::TripleConsistent(const POINT& s0, const POINT& s1, const POINT& s2, int d)
{
    if (d <= 0) return false;
    const double ax = (s2.x - s0.x) / (2.0 * d);
    const double ay = (s2.y - s0.y) / (2.0 * d);
    const double cx = static_cast<double>(s1.x - s0.x) / d;
    const double cy = static_cast<double>(s1.y - s0.y) / d;
    return std::fabs(ax) <= kTripleSlope && std::fabs(ay) <= kTripleSlope && std::fabs(cx) <= kTripleSlope &&
           std::fabs(cy) <= kTripleSlope && std::fabs(cx - ax) <= kTripleBend && std::fabs(cy - ay) <= kTripleBend;
}

void CNCCMapsAlign::UseGrid(CNCCMapGrid* grid, const GridDesc& desc)
{
    m_pGrid = grid;
    m_grid = desc;
    m_model = Model{};
    m_out[0].reset();
    m_out[1].reset();
    m_outCell.clear();
}

void CNCCMapsAlign::UseSingleMaps()
{
    CRefSelect& sel = m_maps.RefSelect();
    GridDesc d;
    d.nx = sel.m_nxTmpl;
    d.ny = sel.m_nyTmpl;
    d.numCells = sel.m_numTmpl;
    d.numMaps = m_maps.GetNumNccMap();
    d.stepX = sel.m_dxTmpl;
    d.stepY = sel.m_dyTmpl;
    d.width = sel.m_width;
    d.secRow = sel.m_pSecRow.get();
    d.secCol = sel.m_pSecCol.get();
    UseGrid(&m_maps, d);
}

int CNCCMapsAlign::Run(POINT2* out[2], int* count)
{
    if (!out || !count) return 0;
    out[0] = out[1] = nullptr;
    *count = 0;
    CRefSelect& sel = m_maps.RefSelect();
    const int mode = sel.m_mode;
    const bool made = mode != CRefSelect::kCoarse ? m_maps.MakeNCCMaps_cut() != 0 : m_maps.MakeNCCMaps_skip() != 0;
    if (made) {
        UseSingleMaps();
        if (mode == CRefSelect::kRefineFine) {
            m_xDisp = 400;
            m_idMarker = 2;
        } else {
            m_xDisp = 0;
            m_idMarker = 0;
        }
        if (int r = FitGrid(out, count)) return r;
    }

    // Fallback: 2 x 2 block maps, stronger peaks over wider windows.
    if (sel.m_numTmpl < 1) return 0;
    m_pBlocks = std::make_unique<CCNCCMapBlocks>();
    if (!m_pBlocks->Make(&m_maps, 2, 2)) return 0;
    m_pBlocks->Show(580, 0);
    GridDesc d;
    d.nx = m_pBlocks->GetNxBlocks();
    d.ny = m_pBlocks->GetNyBlocks();
    d.numCells = m_pBlocks->GetNumBlocks();
    d.numMaps = m_pBlocks->GetNumMaps();
    // Blocks advance by one template: the steps stay the templates'.
    d.stepX = sel.m_dxTmpl;
    d.stepY = sel.m_dyTmpl;
    d.width = sel.m_width;
    d.secRow = m_pBlocks->GetSecRow();
    d.secCol = m_pBlocks->GetSecCol();
    UseGrid(m_pBlocks.get(), d);
    return FitGrid(out, count);
}

int CNCCMapsAlign::FitGrid(POINT2* out[2], int* count)
{
    if (!out || !count) return 0;
    out[0] = out[1] = nullptr;
    *count = 0;
    if (!FindModel()) return 0;
    int n = Refit(kTightTol);
    if (!GoodCount(n)) n = Refit(kLooseTol);
    if (n < 4) return 0;
    n = Collect(kTightTol);
    if (!GoodCount(n)) n = Collect(kLooseTol);
    // The debug markers show what is returned: shown again without the strays.
    if (const int kept = DropStrays(n); kept != n) {
        n = kept;
        ShowPairs(n);
    }
    if (n < 4) {
        m_out[0].reset();
        m_out[1].reset();
        return 0;
    }
    out[0] = m_out[0].release();
    out[1] = m_out[1].release();
    *count = n;
    return 1;
}

bool CNCCMapsAlign::Measured(int ix, int iy, double* mx, double* my)
{
    if (!m_pGrid) return false;
    const POINT* c = m_pGrid->GetTmplCentre(ix, iy);
    const POINT* s = m_pGrid->GetPeakShift(ix, iy);
    if (!c || !s) return false;
    *mx = static_cast<float>(c->x + s->x);
    *my = static_cast<float>(c->y + s->y);
    return true;
}

bool CNCCMapsAlign::PeakOnMapBorder(int ix, int iy)
{
    const COneNCCMap* map = m_pGrid ? m_pGrid->GetNccMap(ix, iy) : nullptr;
    if (!map || !map->nccMap) return false;  // a cell without a map has only its shift to go by
    const int col = static_cast<int>(map->peakCol), row = static_cast<int>(map->peakRow);
    return col <= 0 || row <= 0 || col >= map->search.width - 1 || row >= map->search.height - 1;
}

bool CNCCMapsAlign::IsInlier(int ix, int iy, double tol, double* mx, double* my)
{
    if (!Measured(ix, iy, mx, my) || PeakOnMapBorder(ix, iy)) return false;
    const double ex = static_cast<double>(m_model.O.x) + ix * static_cast<double>(m_model.Dx.x) +
                      iy * static_cast<double>(m_model.Dy.x);
    const double ey = static_cast<double>(m_model.O.y) + ix * static_cast<double>(m_model.Dx.y) +
                      iy * static_cast<double>(m_model.Dy.y);
    return std::fabs(*mx - ex) < m_grid.stepX * tol && std::fabs(*my - ey) < m_grid.stepY * tol;
}

int CNCCMapsAlign::Refit(double tol)
{
    long long n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    double mx = 0, mxx = 0, mxy = 0;  // sums of measured x: plain, times ix, times iy
    double my = 0, myx = 0, myy = 0;  // the same for measured y
    for (int iy = 0; iy < m_grid.ny; ++iy) {
        for (int ix = 0; ix < m_grid.nx; ++ix) {
            double px, py;
            if (!IsInlier(ix, iy, tol, &px, &py)) continue;
            ++n;
            sx += ix;
            sy += iy;
            sxx += static_cast<long long>(ix) * ix;
            sxy += static_cast<long long>(ix) * iy;
            syy += static_cast<long long>(iy) * iy;
            mx += px;
            mxx += ix * px;
            mxy += iy * px;
            my += py;
            myx += ix * py;
            myy += iy * py;
        }
    }
    const float a[9] = {static_cast<float>(n),   static_cast<float>(sx),  static_cast<float>(sy),
                        static_cast<float>(sx),  static_cast<float>(sxx), static_cast<float>(sxy),
                        static_cast<float>(sy),  static_cast<float>(sxy), static_cast<float>(syy)};
    const float rx[3] = {static_cast<float>(mx), static_cast<float>(mxx), static_cast<float>(mxy)};
    float sol[3];
    if (!CEquation::SolveLEq3(a, rx, sol)) return -1;
    m_model.O.x = sol[0];
    m_model.Dx.x = sol[1];
    m_model.Dy.x = sol[2];
    const float ry[3] = {static_cast<float>(my), static_cast<float>(myx), static_cast<float>(myy)};
    if (!CEquation::SolveLEq3(a, ry, sol)) return -1;
    m_model.O.y = sol[0];
    m_model.Dx.y = sol[1];
    m_model.Dy.y = sol[2];
    return static_cast<int>(n);
}

int CNCCMapsAlign::FindRowStart(int iy)
{
    if (!m_pGrid || !m_grid.secRow || iy < 0 || iy >= m_grid.ny || m_grid.secRow[iy].span < 3) return -1;
    for (int ix = 0; ix + 2 < m_grid.nx; ++ix) {
        const POINT* s0 = m_pGrid->GetPeakShift(ix, iy);
        const POINT* s1 = m_pGrid->GetPeakShift(ix + 1, iy);
        const POINT* s2 = m_pGrid->GetPeakShift(ix + 2, iy);
        if (s0 && s1 && s2 && TripleConsistent(*s0, *s1, *s2, m_grid.stepX)) return ix;
    }
    return -1;
}

int CNCCMapsAlign::FindColStart(int ix)
{
    if (!m_pGrid || !m_grid.secCol || ix < 0 || ix >= m_grid.nx || m_grid.secCol[ix].span < 3) return -1;
    for (int iy = 0; iy + 2 < m_grid.ny; ++iy) {
        const POINT* s0 = m_pGrid->GetPeakShift(ix, iy);
        const POINT* s1 = m_pGrid->GetPeakShift(ix, iy + 1);
        const POINT* s2 = m_pGrid->GetPeakShift(ix, iy + 2);
        if (s0 && s1 && s2 && TripleConsistent(*s0, *s1, *s2, m_grid.stepY)) return iy;
    }
    return -1;
}

CNCCMapsAlign::Line CNCCMapsAlign::RowModel(int iy, int ix0)
{
    const POINT c = *m_pGrid->GetTmplCentre(ix0, iy);
    const POINT s0 = *m_pGrid->GetPeakShift(ix0, iy);
    const POINT s2 = *m_pGrid->GetPeakShift(ix0 + 2, iy);
    Line line;
    line.D = POINT2{static_cast<float>((s2.x - s0.x) / 2.0 + m_grid.stepX), static_cast<float>((s2.y - s0.y) / 2.0)};
    const POINT2 p0{static_cast<float>(c.x + s0.x), static_cast<float>(c.y + s0.y)};
    line.O = POINT2{p0.x - ix0 * line.D.x, p0.y - ix0 * line.D.y};
    return line;
}

CNCCMapsAlign::Line CNCCMapsAlign::ColModel(int ix, int iy0)
{
    const POINT c = *m_pGrid->GetTmplCentre(ix, iy0);
    const POINT s0 = *m_pGrid->GetPeakShift(ix, iy0);
    const POINT s2 = *m_pGrid->GetPeakShift(ix, iy0 + 2);
    Line line;
    line.D = POINT2{static_cast<float>((s2.x - s0.x) / 2.0), static_cast<float>((s2.y - s0.y) / 2.0 + m_grid.stepY)};
    const POINT2 p0{static_cast<float>(c.x + s0.x), static_cast<float>(c.y + s0.y)};
    line.O = POINT2{p0.x - iy0 * line.D.x, p0.y - iy0 * line.D.y};
    return line;
}

void CNCCMapsAlign::TwoRows(int a, int b, int startA, int startB)
{
    const Line ra = RowModel(a, startA);
    const Line rb = RowModel(b, startB);
    m_model.Dx = ra.D;
    m_model.Dy = POINT2{(rb.O.x - ra.O.x) / (b - a), (rb.O.y - ra.O.y) / (b - a)};
    m_model.O = POINT2{ra.O.x - a * m_model.Dy.x, ra.O.y - a * m_model.Dy.y};
}

void CNCCMapsAlign::TwoCols(int a, int b, int startA, int startB)
{
    const Line ca = ColModel(a, startA);
    const Line cb = ColModel(b, startB);
    m_model.Dy = ca.D;
    m_model.Dx = POINT2{(cb.O.x - ca.O.x) / (b - a), (cb.O.y - ca.O.y) / (b - a)};
    m_model.O = POINT2{ca.O.x - a * m_model.Dx.x, ca.O.y - a * m_model.Dx.y};
}

bool CNCCMapsAlign::OneRowAndPair(int r0, int start0)
{
    const Line row = RowModel(r0, start0);
    const double sx = m_grid.stepX;
    const double sy = m_grid.stepY;
    int found = -1;
    POINT2 foundO{};
    // Only rows above the found one are searched; a later row replaces an
    // earlier one.
    for (int r = 0; r < r0; ++r) {
        for (int c = 0; c + 1 < m_grid.nx; ++c) {
            const POINT* a = m_pGrid->GetPeakShift(c, r);
            const POINT* b = m_pGrid->GetPeakShift(c + 1, r);
            const POINT* centre = m_pGrid->GetTmplCentre(c, r);
            if (!a || !b || !centre) continue;
            const double lx = b->x - a->x + sx;
            const double ly = b->y - a->y;
            if (!(std::fabs(lx - row.D.x) < 0.15 * sx && std::fabs(ly - row.D.y) < 0.15 * sy)) continue;
            const double ox = centre->x + a->x - c * lx;
            const double oy = centre->y + a->y - c * ly;
            if (std::fabs(ox - row.O.x) < 0.2 * sx && std::fabs(oy - (row.O.y + (r - r0) * sy)) < 0.2 * sy) {
                found = r;
                foundO = POINT2{static_cast<float>(ox), static_cast<float>(oy)};
                break;
            }
        }
    }
    if (found < 0) return false;
    m_model.Dx = row.D;
    m_model.Dy = POINT2{(foundO.x - row.O.x) / (found - r0), (foundO.y - row.O.y) / (found - r0)};
    m_model.O = POINT2{row.O.x - r0 * m_model.Dy.x, row.O.y - r0 * m_model.Dy.y};
    return true;
}

bool CNCCMapsAlign::FindModel()
{
    if (!m_pGrid || m_grid.nx < 1 || m_grid.ny < 1) return false;
    std::vector<int> rowStart(static_cast<size_t>(m_grid.ny), -1);
    std::vector<int> colStart(static_cast<size_t>(m_grid.nx), -1);
    std::vector<int> rows, cols;
    for (int iy = 0; iy < m_grid.ny; ++iy)
        if ((rowStart[iy] = FindRowStart(iy)) >= 0) rows.push_back(iy);
    for (int ix = 0; ix < m_grid.nx; ++ix)
        if ((colStart[ix] = FindColStart(ix)) >= 0) cols.push_back(ix);
    const int R = static_cast<int>(rows.size());
    const int C = static_cast<int>(cols.size());
    if (R + C == 0) return false;

    if (R >= 1 && C >= 1) {
        // Every found row against every found column; the model that keeps
        // the most cells wins.
        Model best;
        int bestN = 0;
        bool have = false;
        bool enough = false;
        for (int r : rows) {
            const Line row = RowModel(r, rowStart[r]);
            for (int c : cols) {
                const Line col = ColModel(c, colStart[c]);
                m_model.Dx = row.D;
                m_model.Dy = col.D;
                m_model.O = POINT2{row.O.x - r * col.D.x, row.O.y - r * col.D.y};
                const int n = Refit(kTightTol);
                if (n > bestN) {
                    best = m_model;
                    bestN = n;
                    have = true;
                }
                if (bestN >= 15 || bestN >= m_grid.numMaps / 2) {
                    enough = true;
                    break;
                }
            }
            if (enough) break;
        }
        int n = bestN;
        if (have) {
            m_model = best;
            if (n >= 3 && !GoodCount(n)) n = Refit(kLooseTol);
        }
        if (n < 4) {
            if (R >= 2) {
                TwoRows(rows[0], rows[1], rowStart[rows[0]], rowStart[rows[1]]);
                have = true;
                n = Refit(kTightTol);
                if (n >= 3 && !GoodCount(n)) n = Refit(kLooseTol);
                if (n < 4 && C >= 2) TwoCols(cols[0], cols[1], colStart[cols[0]], colStart[cols[1]]);
            } else if (C >= 2) {
                TwoCols(cols[0], cols[1], colStart[cols[0]], colStart[cols[1]]);
                have = true;
            }
        }
        // No pair kept a cell and no two rows or columns to fall back on:
        // there is no model to use.
        return have;
    }
    if (R >= 2) {
        TwoRows(rows[0], rows[1], rowStart[rows[0]], rowStart[rows[1]]);
        return true;
    }
    if (C >= 2) {
        TwoCols(cols[0], cols[1], colStart[cols[0]], colStart[cols[1]]);
        return true;
    }
    if (R == 1) return OneRowAndPair(rows[0], rowStart[rows[0]]);
    return false;  // a single column gives no model
}

int CNCCMapsAlign::Collect(double tol)
{
    if (!m_pGrid || m_grid.numCells < 1 || m_grid.nx < 1 || m_grid.ny < 1) return 0;
    const size_t cells = static_cast<size_t>(m_grid.numCells);
    if (!m_out[0] || !m_out[1]) {
        m_out[0].reset(new POINT2[cells]());
        m_out[1].reset(new POINT2[cells]());
    }
    m_outCell.assign(cells, POINT{});
    int n = 0;
    for (int iy = 0; iy < m_grid.ny; ++iy) {
        for (int ix = 0; ix < m_grid.nx; ++ix) {
            double mx, my;
            if (!IsInlier(ix, iy, tol, &mx, &my)) continue;
            if (static_cast<size_t>(n) >= cells) break;
            COneNCCMap* map = m_pGrid->GetNccMap(ix, iy);
            const POINT* centre = m_pGrid->GetTmplCentre(ix, iy);
            const POINT* shift = m_pGrid->GetPeakShift(ix, iy);
            if (!map || !centre || !shift) continue;
            if (!map->peakShape && map->nccMap) {
                POINT2 at{map->peakCol, map->peakRow};
                map->peakShape = m_peakShape.FindOneAreaCCPeak(map->nccMap, map->search.width, map->search.height, at);
            }
            // Without a peak study the integer match stands.
            const float offX = map->peakShape ? map->peakShape->offsetX : 0.0f;
            const float offY = map->peakShape ? map->peakShape->offsetY : 0.0f;
            m_out[0][n] = POINT2{static_cast<float>(centre->x + shift->x) + offX,
                                 static_cast<float>(centre->y + shift->y) + offY};
            m_out[1][n] = POINT2{static_cast<float>(centre->x), static_cast<float>(centre->y)};
            m_outCell[n] = POINT{ix, iy};
            ++n;
        }
    }
    ShowPairs(n);
    return n;
}

int CNCCMapsAlign::DropStrays(int n)
{
    if (!m_out[0] || !m_out[1] || static_cast<size_t>(n) > m_outCell.size()) return n;
    // Least squares of the refined positions over the cell indices, as Refit
    // does for the integer ones, then the worst pair out while it strays.
    while (n >= 4) {
        double a[3][3] = {}, bx[3] = {}, by[3] = {};
        for (int i = 0; i < n; ++i) {
            const double row[3] = {1.0, double(m_outCell[i].x), double(m_outCell[i].y)};
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) a[r][c] += row[r] * row[c];
                bx[r] += row[r] * m_out[0][i].x;
                by[r] += row[r] * m_out[0][i].y;
            }
        }
        float af[9], rx[3], ry[3], sx[3], sy[3];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) af[3 * r + c] = static_cast<float>(a[r][c]);
            rx[r] = static_cast<float>(bx[r]);
            ry[r] = static_cast<float>(by[r]);
        }
        // Cells on one line leave the model open: nothing to judge by.
        if (!CEquation::SolveLEq3(af, rx, sx) || !CEquation::SolveLEq3(af, ry, sy)) return n;
        int worst = -1;
        double worstD = kStrayTol;
        for (int i = 0; i < n; ++i) {
            const double ex = sx[0] + sx[1] * m_outCell[i].x + sx[2] * m_outCell[i].y;
            const double ey = sy[0] + sy[1] * m_outCell[i].x + sy[2] * m_outCell[i].y;
            const double d = std::hypot(m_out[0][i].x - ex, m_out[0][i].y - ey);
            if (d > worstD) {
                worstD = d;
                worst = i;
            }
        }
        if (worst < 0) break;
        for (int i = worst; i + 1 < n; ++i) {
            m_out[0][i] = m_out[0][i + 1];
            m_out[1][i] = m_out[1][i + 1];
            m_outCell[i] = m_outCell[i + 1];
        }
        --n;
    }
    return n;
}

void CNCCMapsAlign::ShowPairs(int n)
{
    Marker* first = CreateMarkerGroup(m_idMarker, GetNameDebugWin2(), m_xDisp, 0);
    Marker* second = CreateMarkerGroup(m_idMarker + 1, GetNameDebugWin2(), m_xDisp + m_grid.width + 1, 0);
    if (!first || !second) return;
    for (int i = 0; i < n; ++i) {
        first->AppendMarker(m_out[0][i].x, m_out[0][i].y);
        second->AppendMarker(m_out[1][i].x, m_out[1][i].y);
    }
}
