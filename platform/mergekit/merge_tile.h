// The part of the world map a frame's merge works in, shared by the merge
// and the plain merge the tests compare it with.
#pragma once

#include "core/pair_align_records.h"
#include "worldmap/map_math.h"

class KestovaFile;
class WorldMap;

namespace mergekit {

// Rows r0 .. r1 of the map and `width` row indices from c0 on (wrapping
// around the row in a full-width map).
struct MergeTile {
    int r0 = 0, r1 = -1;
    int c0 = 0, width = 0;
    int samples = 0;  // row length of the map
    int Height() const { return r1 - r0 + 1; }
    int Column(int x) const { return static_cast<int>(mapmath::Wrap(c0 + x, samples)); }
};

// Checks a merge's arguments (false, with an ERROR line under `caller`'s
// name, for an unusable scene or map) and finds the tile the frame is
// blended in: the rows the scene covers and its columns on the turn around
// the frame's pan, the whole row when they span more than half of it, with
// a margin of bw + 8 samples. The tile is empty (Height() 0 or less) when the
// scene covers no row of the map.
bool FindMergeTile(KestovaFile* scene, WorldMap* map, const TRANSFORM_RS* t, int bw, const char* caller,
                   MergeTile& tile);

}  // namespace mergekit
