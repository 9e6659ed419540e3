// The automatic crop of a blended panorama: the largest axis-aligned
// rectangle of the map whose four edges hold few empty samples. The blending
// driver's finishing step puts it into the front panorama view's selection.
#pragma once

#include "core/win_types.h"

#include <cstdint>
#include <vector>

class WorldMap;

// Writes into rect (map block pixels: columns and rows from the stored
// block's top-left sample, inclusive) the largest rectangle whose top and
// bottom rows and left and right columns each hold at most perMille / 1000
// empty samples (first value 0) of their length. Left and top run in steps
// of `step` from the block's first sample, right and bottom in steps of
// `step` back from its last. False, rect untouched, without a map or when no
// rectangle qualifies.
bool CalcCropRegionWM(WorldMap* map, RECT* rect, int perMille, int step);

// The same search on a mask (1 = data) of width x height.
bool LargestCleanRect(const std::vector<uint8_t>& data, int width, int height, int perMille, int step, RECT* rect);
