// The resampling step of Utilities::RotateWorldMap. A turn moves every target
// pixel's source position smoothly except around the source's poles, so the
// exact position is worked on a coarse grid of cells and interpolated inside
// each cell; a cell whose edge and centre midpoints stray from the
// interpolation by more than kCellTolerance source pixels, or that holds the
// image of a source pole, is split, down to single pixels worked exactly.
#pragma once

#include <cstdint>

class WorldMapBase;

namespace Utilities {

// Grid cells in target pixels (powers of two, so that a split halves them
// exactly). Wide and low: a row of a cell is one run along the source and
// target rows, and a leveling turn bends the mapping more down than across.
constexpr int kTurnCellWidth = 64;
constexpr int kTurnCellHeight = 16;
// The largest distance, in source pixels along either axis, between an
// interpolated position and the exact one at the checked midpoints.
constexpr double kTurnCellTolerance = 1.0 / 128;

// Where the turn reads and writes. Target pixels x0..x1, y0..y1 (inclusive)
// are resampled; dt is the target's radians per pixel, ps the source's
// pixels per radian, both centred on each map's middle sample and row.
struct TurnGeometry {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    int targetCentreX = 0, targetCentreY = 0;
    int sourceCentreY = 0, sourceFirstRow = 0, sourceLastRow = -1;
    float dt = 0, ps = 0;
};

// The exact source position of a target pixel, in source pixels from the
// source's centre: v along the row (longitude), w down the rows (latitude).
struct TurnPosition {
    double v = 0, w = 0;
};

// Writes the target area from the source through m (source direction =
// m x target direction), rows of cells on the available cores. Every target
// sample in the area is written; one whose nearest stored source row holds
// no samples becomes 0. threads <= 0 picks the core count.
void ResampleTurn(const WorldMapBase* source, WorldMapBase* target, const float m[9], const TurnGeometry& geometry,
                  int threads = 0);

}  // namespace Utilities
