// Conversion of a world map's stored block to and from an RGBA TIFF file
// through libtiff: alpha marks where the map holds data. Offered to callers
// that exchange panoramas with other tools.
#pragma once

#include "worldmap/world_map.h"

class WmTiff {
public:
    WmTiff() = default;
    WmTiff(const WmTiff&) = default;
    // The class has no data; assignment has nothing to copy.
    WmTiff& operator=(const WmTiff&) { return *this; }

    // Writes the map's stored block (its map rectangle) as 8-bit R, G, B, A
    // (A declared as unassociated alpha) with A = 255 where the first (blue)
    // sample is not 0, else 0. A grey
    // map is written with R = G = B. 0; -1 when the map holds no block or
    // has 2 channels, or a strip cannot be written; -2 when the file cannot
    // be created.
    int WmToTiffAlpha(WorldMap* map, char* path);

    // Reads an RGBA-convertible TIFF of the map rectangle's size into the
    // 3-channel map as B, G, R and marks the map fully covered. (libtiff
    // gives colours weighted by alpha, so a file of ours comes back exactly
    // where A is 255 and as 0 where the map had no data.) 0; -1 the map
    // has not 3 channels or the file cannot be opened; -2 size mismatch; -4
    // no memory for the raster; -5 the image cannot be read.
    int TiffToWm(char* path, WorldMap* map);
};
