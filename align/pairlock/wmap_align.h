// Alignment of two images of equal size whose overlap is given by a column
// offset (world-map strips, cylinder slices): templates from columns offset
// .. w-1 of the second image are searched for in columns 0 .. w-1-offset of
// the first, and the matched point pairs are handed back. Exported entry.
#pragma once

#include "core/geometry_records.h"

class Image;

class WMapAlign {
public:
    // Non-zero when at least 4 agreeing templates were found: pts[0] their
    // matched positions in the first image, pts[1] the template centres in
    // the second, *count pairs (free each array with FreePoint). 0 (slots
    // null) for missing or unequal images, an offset outside 0 .. w-1, an
    // overlap under 20000 square pixels, or no grid model.
    int Align(Image* img1, Image* img2, int offset, int rangeX, int rangeY, POINT2** pts, int* count);
    void FreePoint(POINT2* p);
};
