// The peak grid fit on a synthetic grid of maps whose integer peak shifts
// follow a known affine model: a full grid with outliers, one row and a pair
// above it, two rows, two columns, a lone column, a row and column that
// disagree, the triple test's bounds, the inlier bound, a failed solve, and
// the strays and border peaks that the returned pairs leave out.
#include "align/pairlock/ncc_maps_align.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kStep = 40;

// Row and column of the 5 x 5 map of every fake cell: the parabola through
// (1, 0.6) (2, 1.0) (3, 0.8) has its vertex 1/6 right of the peak.
constexpr float kPeakLine[5] = {0.2f, 0.6f, 1.0f, 0.8f, 0.3f};
constexpr float kSubPixel = (0.8f - 0.6f) / (4.0f * (1.0f - 0.7f));

class FakeGrid : public CNCCMapGrid {
public:
    FakeGrid(int nx, int ny) : m_nx(nx), m_ny(ny), m_cells(static_cast<size_t>(nx) * ny) {}

    // The true model: cell (ix, iy) matches at O + ix Dx + iy Dy.
    static POINT2 Truth(int ix, int iy)
    {
        return POINT2{100.0f + 5.3f + ix * (kStep + 0.8f) + iy * -0.6f,
                      80.0f - 3.2f + ix * 0.4f + iy * (kStep + 1.0f)};
    }
    static POINT Centre(int ix, int iy) { return POINT{100 + ix * kStep, 80 + iy * kStep}; }

    // A cell whose shift is the truth rounded, plus `extra`.
    void Put(int ix, int iy, POINT extra = {0, 0})
    {
        const POINT c = Centre(ix, iy);
        const POINT2 t = Truth(ix, iy);
        PutShift(ix, iy, POINT{static_cast<int>(std::lround(t.x - c.x)) + extra.x,
                               static_cast<int>(std::lround(t.y - c.y)) + extra.y});
    }
    void PutShift(int ix, int iy, POINT shift)
    {
        auto m = std::make_unique<COneNCCMap>();
        m->ix = ix;
        m->iy = iy;
        m->centre = Centre(ix, iy);
        m->peak = shift;
        m->search = REGION{0, 0, 4, 4, 5, 5};
        m->nccMap = new float[25];
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) m->nccMap[y * 5 + x] = kPeakLine[x] * kPeakLine[y];
        m->peakCol = 2.0f;
        m->peakRow = 2.0f;
        m_cells[static_cast<size_t>(iy) * m_nx + ix] = std::move(m);
    }
    void PutRow(int iy) { for (int ix = 0; ix < m_nx; ++ix) Put(ix, iy); }
    void PutCol(int ix) { for (int iy = 0; iy < m_ny; ++iy) Put(ix, iy); }

    POINT* GetPeakShift(int ix, int iy) override { return Cell(ix, iy) ? &Cell(ix, iy)->peak : nullptr; }
    POINT* GetTmplCentre(int ix, int iy) override { return Cell(ix, iy) ? &Cell(ix, iy)->centre : nullptr; }
    COneNCCMap* GetNccMap(int ix, int iy) override { return Cell(ix, iy); }
    COneNCCMap* GetNccMapAt(int k) override
    {
        return k >= 0 && k < static_cast<int>(m_cells.size()) ? m_cells[k].get() : nullptr;
    }

    // The description the fit reads, with sections over the cells that
    // have a map.
    CNCCMapsAlign::GridDesc Desc()
    {
        m_rows.assign(m_ny, TMPL_SECTION{-1, -2, -1, 0});
        m_cols.assign(m_nx, TMPL_SECTION{-1, -2, -1, 0});
        int maps = 0;
        for (int iy = 0; iy < m_ny; ++iy)
            for (int ix = 0; ix < m_nx; ++ix) {
                if (!Cell(ix, iy)) continue;
                ++maps;
                for (TMPL_SECTION* s : {&m_rows[iy], &m_cols[ix]}) {
                    const int i = s == &m_rows[iy] ? ix : iy;
                    if (s->count++ == 0) s->first = i;
                    s->last = s->first + s->count - 1;
                    s->span = s->count;
                }
            }
        CNCCMapsAlign::GridDesc d;
        d.nx = m_nx;
        d.ny = m_ny;
        d.numCells = m_nx * m_ny;
        d.numMaps = maps;
        d.stepX = kStep;
        d.stepY = kStep;
        d.width = 600;
        d.secRow = m_rows.data();
        d.secCol = m_cols.data();
        return d;
    }

private:
    COneNCCMap* Cell(int ix, int iy)
    {
        if (ix < 0 || iy < 0 || ix >= m_nx || iy >= m_ny) return nullptr;
        return m_cells[static_cast<size_t>(iy) * m_nx + ix].get();
    }
    int m_nx, m_ny;
    std::vector<std::unique_ptr<COneNCCMap>> m_cells;
    std::vector<TMPL_SECTION> m_rows, m_cols;
};

// The model must predict every cell within a pixel of the truth.
void ExpectModelNearTruth(const CNCCMapsAlign& fit, int nx, int ny, double tol, const char* name)
{
    const CNCCMapsAlign::Model& m = fit.GetModel();
    for (int iy = 0; iy < ny; ++iy)
        for (int ix = 0; ix < nx; ++ix) {
            const POINT2 t = FakeGrid::Truth(ix, iy);
            EXPECT_NEAR(m.O.x + ix * m.Dx.x + iy * m.Dy.x, t.x, tol) << name << " " << ix << "," << iy;
            EXPECT_NEAR(m.O.y + ix * m.Dx.y + iy * m.Dy.y, t.y, tol) << name << " " << ix << "," << iy;
        }
}

struct Pairs {
    POINT2* p[2] = {nullptr, nullptr};
    int n = -1;
    ~Pairs()
    {
        delete[] p[0];
        delete[] p[1];
    }
};

}  // namespace

TEST(GridFit, FullGridWithOutliers)
{
    FakeGrid grid(6, 5);
    for (int iy = 0; iy < 5; ++iy) grid.PutRow(iy);
    // Three cells whose peaks are elsewhere.
    grid.Put(1, 1, POINT{15, -12});
    grid.Put(4, 3, POINT{-9, 0});
    grid.Put(5, 0, POINT{0, 8});
    CNCCMapsAlign fit;
    fit.UseGrid(&grid, grid.Desc());
    ASSERT_TRUE(fit.FindModel());
    EXPECT_EQ(fit.Refit(0.1), 27);
    ExpectModelNearTruth(fit, 6, 5, 0.6, "full");

    Pairs out;
    ASSERT_EQ(fit.FitGrid(out.p, &out.n), 1);
    ASSERT_EQ(out.n, 27);
    // Row by row, the outliers left out; each pair is the template centre
    // and the centre moved by the integer peak and the sub-pixel offsets.
    int i = 0;
    for (int iy = 0; iy < 5; ++iy)
        for (int ix = 0; ix < 6; ++ix) {
            if ((ix == 1 && iy == 1) || (ix == 4 && iy == 3) || (ix == 5 && iy == 0)) continue;
            const POINT c = FakeGrid::Centre(ix, iy);
            const POINT* s = grid.GetPeakShift(ix, iy);
            EXPECT_EQ(out.p[1][i].x, c.x);
            EXPECT_EQ(out.p[1][i].y, c.y);
            EXPECT_NEAR(out.p[0][i].x, c.x + s->x + kSubPixel, 1e-5);
            EXPECT_NEAR(out.p[0][i].y, c.y + s->y + kSubPixel, 1e-5);
            ASSERT_NE(grid.GetNccMap(ix, iy)->peakShape, nullptr);
            ++i;
        }
    // The peak records are made once and kept.
    ONE_CC_PEAK* kept = grid.GetNccMap(0, 0)->peakShape;
    EXPECT_EQ(fit.Collect(0.1), 27);
    EXPECT_EQ(grid.GetNccMap(0, 0)->peakShape, kept);
}

// Peaks that the coarse inlier test lets through (within a tenth of a step
// of the model) but that are no true matches: two cells whose maximum lies
// two pixels off, and one whose maximum is on its map's first column (the
// correlation may go on rising beyond the searched shifts). None of them is
// returned; the other pairs are.
TEST(GridFit, StraysAndPeaksOnTheMapBorderAreLeftOut)
{
    FakeGrid grid(6, 5);
    for (int iy = 0; iy < 5; ++iy) grid.PutRow(iy);
    grid.Put(2, 2, POINT{2, 0});
    grid.Put(4, 1, POINT{-1, 2});
    grid.GetNccMap(3, 3)->peakCol = 0.0f;
    CNCCMapsAlign fit;
    fit.UseGrid(&grid, grid.Desc());
    Pairs out;
    ASSERT_EQ(fit.FitGrid(out.p, &out.n), 1);
    ASSERT_EQ(out.n, 27);
    for (int i = 0; i < out.n; ++i) {
        const POINT c = FakeGrid::Centre(0, 0);
        const int ix = (static_cast<int>(out.p[1][i].x) - c.x) / kStep;
        const int iy = (static_cast<int>(out.p[1][i].y) - c.y) / kStep;
        EXPECT_FALSE((ix == 2 && iy == 2) || (ix == 4 && iy == 1) || (ix == 3 && iy == 3)) << ix << "," << iy;
        // Every pair returned lies within the rounding of the truth.
        const POINT2 t = FakeGrid::Truth(ix, iy);
        EXPECT_NEAR(out.p[0][i].x, t.x, 0.5 + kSubPixel + 1e-4) << ix << "," << iy;
        EXPECT_NEAR(out.p[0][i].y, t.y, 0.5 + kSubPixel + 1e-4) << ix << "," << iy;
    }
}

TEST(GridFit, OneRowAndAPairAbove)
{
    FakeGrid grid(6, 4);
    grid.PutRow(2);
    grid.Put(1, 0);
    grid.Put(2, 0);
    CNCCMapsAlign fit;
    fit.UseGrid(&grid, grid.Desc());
    ASSERT_TRUE(fit.FindModel());
    ExpectModelNearTruth(fit, 6, 4, 2.0, "row and pair");
    Pairs out;
    ASSERT_EQ(fit.FitGrid(out.p, &out.n), 1);
    EXPECT_EQ(out.n, 8);

    // The pair must lie above the row: below it is not searched.
    FakeGrid below(6, 4);
    below.PutRow(0);
    below.Put(1, 2);
    below.Put(2, 2);
    CNCCMapsAlign fit2;
    fit2.UseGrid(&below, below.Desc());
    EXPECT_FALSE(fit2.FindModel());
    Pairs none;
    EXPECT_EQ(fit2.FitGrid(none.p, &none.n), 0);
    EXPECT_EQ(none.p[0], nullptr);
    EXPECT_EQ(none.n, 0);

    // A pair whose step disagrees with the row's is not taken.
    FakeGrid bent(6, 4);
    bent.PutRow(2);
    bent.Put(1, 0);
    bent.Put(2, 0, POINT{7, 0});
    CNCCMapsAlign fit3;
    fit3.UseGrid(&bent, bent.Desc());
    EXPECT_FALSE(fit3.FindModel());
}

TEST(GridFit, TwoRowsOrTwoColumns)
{
    {
        FakeGrid grid(6, 5);
        grid.PutRow(1);
        grid.PutRow(3);
        CNCCMapsAlign fit;
        fit.UseGrid(&grid, grid.Desc());
        ASSERT_TRUE(fit.FindModel());
        ExpectModelNearTruth(fit, 6, 5, 1.5, "two rows");
        Pairs out;
        ASSERT_EQ(fit.FitGrid(out.p, &out.n), 1);
        EXPECT_EQ(out.n, 12);
    }
    {
        FakeGrid grid(6, 5);
        grid.PutCol(0);
        grid.PutCol(4);
        CNCCMapsAlign fit;
        fit.UseGrid(&grid, grid.Desc());
        ASSERT_TRUE(fit.FindModel());
        ExpectModelNearTruth(fit, 6, 5, 1.5, "two columns");
        Pairs out;
        ASSERT_EQ(fit.FitGrid(out.p, &out.n), 1);
        EXPECT_EQ(out.n, 10);
    }
}

TEST(GridFit, NoModelFromALoneColumnOrADisagreeingRowAndColumn)
{
    {
        FakeGrid grid(6, 5);
        grid.PutCol(2);
        CNCCMapsAlign fit;
        fit.UseGrid(&grid, grid.Desc());
        EXPECT_FALSE(fit.FindModel());
    }
    {
        // Row 2 and column 4 each consistent, but the column's peaks lie 15
        // pixels off the row's model: every pairing keeps only row 2, whose
        // cells cannot fix the row step, and nothing else is left to try.
        FakeGrid grid(6, 6);
        grid.PutRow(2);
        for (int iy = 0; iy < 6; ++iy)
            if (iy != 2) grid.Put(4, iy, POINT{15, 0});
        CNCCMapsAlign fit;
        fit.UseGrid(&grid, grid.Desc());
        EXPECT_FALSE(fit.FindModel());
        Pairs out;
        EXPECT_EQ(fit.FitGrid(out.p, &out.n), 0);
        EXPECT_EQ(out.p[0], nullptr);
        EXPECT_EQ(out.p[1], nullptr);
    }
    {
        CNCCMapsAlign fit;
        FakeGrid grid(5, 5);
        fit.UseGrid(&grid, grid.Desc());  // no maps at all
        EXPECT_FALSE(fit.FindModel());
    }
}

TEST(GridFit, TripleTestBounds)
{
    struct Case {
        POINT s0, s1, s2;
        int d;
        bool consistent;
    };
    const Case cases[] = {
        {{0, 0}, {3, 0}, {6, 0}, 20, true},     // slopes exactly 0.15
        {{0, 0}, {0, -3}, {0, -6}, 20, true},   // and -0.15
        {{0, 0}, {3, 0}, {7, 0}, 20, false},    // 0.175
        {{0, 0}, {4, 0}, {6, 0}, 20, false},    // c = 0.2
        {{0, 0}, {3, 0}, {2, 0}, 20, true},     // bend 0.15 - 0.05, just under 0.1
        {{0, 0}, {3, 0}, {0, 0}, 20, false},    // bend 0.15
        {{5, 5}, {5, 5}, {5, 5}, 1, true},
        {{1, 0}, {2, 0}, {3, 0}, 0, false},     // no step
    };
    for (const Case& c : cases)
        EXPECT_EQ(CNCCMapsAlign::TripleConsistent(c.s0, c.s1, c.s2, c.d), c.consistent)
            << c.s1.x << "," << c.s1.y << " " << c.s2.x << "," << c.s2.y << " d " << c.d;
}

TEST(GridFit, InlierBoundIsStrictAndAFailedSolveCountsMinusOne)
{
    // All shifts zero except two: one exactly step * 0.1 off the model (out
    // at 0.1), one a pixel less (in).
    FakeGrid grid(4, 4);
    for (int iy = 0; iy < 4; ++iy)
        for (int ix = 0; ix < 4; ++ix) grid.PutShift(ix, iy, POINT{0, 0});
    grid.PutShift(1, 2, POINT{kStep / 10, 0});
    grid.PutShift(2, 1, POINT{0, -(kStep / 10 - 1)});
    CNCCMapsAlign fit;
    fit.UseGrid(&grid, grid.Desc());
    const CNCCMapsAlign::Model exact{{100.0f, 80.0f}, {static_cast<float>(kStep), 0.0f}, {0.0f, static_cast<float>(kStep)}};
    fit.SetModel(exact);
    EXPECT_EQ(fit.Refit(0.1), 15);
    fit.SetModel(exact);
    EXPECT_EQ(fit.Refit(0.2), 16);

    // No inlier at all, or inliers all in one row: no unique solution.
    const CNCCMapsAlign::Model far{{900.0f, 900.0f}, {static_cast<float>(kStep), 0.0f}, {0.0f, static_cast<float>(kStep)}};
    fit.SetModel(far);
    EXPECT_EQ(fit.Refit(0.1), -1);
    EXPECT_EQ(fit.GetModel().O.x, 900.0f);  // untouched
    FakeGrid row(4, 4);
    row.PutRow(1);
    CNCCMapsAlign fit2;
    fit2.UseGrid(&row, row.Desc());
    fit2.SetModel(CNCCMapsAlign::Model{{105.0f, 77.0f}, {40.8f, 0.4f}, {-0.6f, 41.0f}});
    EXPECT_EQ(fit2.Refit(0.1), -1);
}
