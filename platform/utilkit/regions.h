// Rectangle arithmetic of the utility module on REGION records (inclusive
// x1, y1; width = x1 - x0 + 1), used by the alignment and segmentation code.
#pragma once

#include "core/geometry_records.h"
#include "core/win_types.h"

class CRegions {
public:
    // The common part of a and b; false (out unchanged) when they do not meet.
    static bool CalcOverlap2D(const REGION* a, const REGION* b, REGION* out);
    // The bounding rectangle of a and b.
    static bool CalcUnion2D(const REGION* a, const REGION* b, REGION* out);
    // dst = src moved by (dx, dy); src and dst may be the same record.
    static void Shift(const REGION* src, REGION* dst, int dx, int dy);
    // Overlap of a w1 x h1 image at the origin and a w2 x h2 image whose
    // top-left lies at `offset`, in the first image's pixels.
    static bool Calc2ImgOverlapRegion(int w1, int h1, int w2, int h2, const POINT* offset, REGION* out);
};
