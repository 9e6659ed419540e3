// The peak grid fit: finds a regular pattern (a grid model) in the integer
// peak shifts of a grid of template correlation maps, keeps the templates
// that agree with it, refines them to sub-pixel positions from the peak
// shape and returns matched point pairs. Falls back once on 2 x 2 block
// maps. The engine of WMapAlign::Align and of the multi-channel aligner.
#pragma once

#include "align/pairlock/cncc_map_blocks.h"
#include "align/pairlock/cncc_maps.h"
#include "align/pairlock/peak_shape.h"
#include "core/geometry_records.h"

#include <memory>
#include <vector>

class CNCCMapsAlign {
public:
    // The grid the fit reads: its size, how many cells hold a map, the
    // template steps (pixels), the image width (debug display) and the row
    // and column sections (not owned).
    struct GridDesc {
        int nx = 0;
        int ny = 0;
        int numCells = 0;
        int numMaps = 0;
        int stepX = 0;
        int stepY = 0;
        int width = 0;
        const TMPL_SECTION* secRow = nullptr;
        const TMPL_SECTION* secCol = nullptr;
    };
    // Expected matched position of cell (ix, iy): O + ix * Dx + iy * Dy.
    struct Model {
        POINT2 O{};
        POINT2 Dx{};
        POINT2 Dy{};
    };

    CNCCMapsAlign();
    ~CNCCMapsAlign();
    CNCCMapsAlign(const CNCCMapsAlign&) = delete;
    CNCCMapsAlign& operator=(const CNCCMapsAlign&) = delete;

    // The maps to prepare (InitPrms, search ranges) before Run.
    CCNCCMaps& Maps() { return m_maps; }

    // Makes the maps and fits the grid. Non-zero with at least 4 agreeing
    // templates: out[0] their matched positions in the first image, out[1]
    // the template centres in the second, *count pairs; both arrays new[]
    // (the caller delete[]s them). 0 leaves out[] null and *count 0.
    int Run(POINT2* out[2], int* count);

    // The steps of the fit, on the active grid.
    void UseGrid(CNCCMapGrid* grid, const GridDesc& desc);
    int FitGrid(POINT2* out[2], int* count);
    bool FindModel();
    // Least squares on the cells within step * tol of the model; the model
    // is changed in place. The inlier count, or -1 when the system has no
    // solution.
    int Refit(double tol);
    // The inliers' pairs into the collection arrays (one entry per cell);
    // returns their number.
    int Collect(double tol);
    // The collected pairs whose refined (sub-pixel) position strays from the
    // grid model fitted to the refined positions by more than kStrayTol
    // pixels are left out, the worst first, the model fitted again after
    // each; returns the number kept (compacted at the front).
    int DropStrays(int n);
    // Pixels of the images the maps were made on. The inlier test works on
    // integer peaks with a tolerance of a tenth or a fifth of a grid step
    // (several pixels), so that it can find the pattern at all; a refined
    // position is only worth returning when it agrees with the others to
    // within a pixel. On one-directional texture (a facade's horizontal
    // lines, a template that takes in image 2's empty margin) or a weak,
    // broad hump (sky, water) the map's maximum can sit one to three pixels
    // from the true shift and still pass the coarse test; correct pairs
    // agree with the refined model to a few tenths.
    static constexpr double kStrayTol = 0.75;
    const POINT2* Collected(int i) const { return m_out[i & 1].get(); }

    const Model& GetModel() const { return m_model; }
    void SetModel(const Model& model) { m_model = model; }
    // Agreement of three successive shifts along a row or column with grid
    // step d: slope and curvature within 0.15 of a step.
    static bool TripleConsistent(const POINT& s0, const POINT& s1, const POINT& s2, int d);

private:
    struct Line {
        POINT2 O;  // where cell 0 of the line would land
        POINT2 D;  // step along the line
    };
    int FindRowStart(int iy);
    int FindColStart(int ix);
    Line RowModel(int iy, int ix0);
    Line ColModel(int ix, int iy0);
    bool Measured(int ix, int iy, double* mx, double* my);
    // A maximum on the first or last row or column of its map is no peak:
    // the values may go on rising beyond the searched shifts (a match
    // outside the search range), and there is no sample on its far side
    // for the sub-pixel fit.
    bool PeakOnMapBorder(int ix, int iy);
    bool IsInlier(int ix, int iy, double tol, double* mx, double* my);
    bool GoodCount(int n) const { return n >= 5 && n >= m_grid.numMaps / 3; }
    void TwoRows(int a, int b, int startA, int startB);
    void TwoCols(int a, int b, int startA, int startB);
    bool OneRowAndPair(int r0, int start0);
    void ShowPairs(int n);
    void UseSingleMaps();

    GridDesc m_grid;
    CPeakShape m_peakShape;
    CNCCMapGrid* m_pGrid = nullptr;
    int m_xDisp = 0;
    int m_idMarker = 0;
    CCNCCMaps m_maps;
    std::unique_ptr<CCNCCMapBlocks> m_pBlocks;

    Model m_model;
    std::unique_ptr<POINT2[]> m_out[2];
    std::vector<POINT> m_outCell;  // grid cell of each collected pair
};
