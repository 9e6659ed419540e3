// What the peak grid fit reads of a grid of template correlation maps: the
// cell (ix, iy) is element iy * columns + ix. Implemented by the single
// template maps (CCNCCMaps) and by their joined 2 x 2 blocks
// (CCNCCMapBlocks).
#pragma once

#include "align/pairlock/one_ncc_map.h"
#include "core/win_types.h"

class CNCCMapGrid {
public:
    // The cell's integer peak displacement, or null when it has no map.
    virtual POINT* GetPeakShift(int ix, int iy) = 0;
    // The cell's template centre (image pixels), or null.
    virtual POINT* GetTmplCentre(int ix, int iy) = 0;
    virtual COneNCCMap* GetNccMap(int ix, int iy) = 0;
    // The map at linear index k; null when none or k is outside the grid.
    virtual COneNCCMap* GetNccMapAt(int k) = 0;

protected:
    // Grids are owned through their own types, never deleted through this.
    ~CNCCMapGrid() = default;
};
