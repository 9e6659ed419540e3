// Shape of a correlation peak: its width along the peak's row and column at
// 93 % and 85 % of the peak height and a sub-pixel offset from a parabola
// through the peak and its neighbours. The peak grid fit and the seam blender
// refine matched positions with it.
#pragma once

#include "core/pair_align_records.h"

class CPeakShape {
public:
    CPeakShape() = default;

    // Studies line[0 .. n-1] around index `peak`: *width counts the samples
    // on either side that stay at or above base + pct% of (line[peak] -
    // base), *offset is the parabola vertex in samples from `peak` (0 at a
    // line end and where the three samples are flat). 1, or 0 (outputs
    // untouched) for a null line or a peak outside it.
    int StudyLinePeakShape(float* line, int n, float base, int peak, int pct, float* width, float* offset);

    // The peak of an nx x ny map at (trunc(peak.x), trunc(peak.y)) (column,
    // row). A new record (delete it), or null when the point is not in the
    // map.
    ONE_CC_PEAK* FindOneAreaCCPeak(float* map, int nx, int ny, POINT2& peak);

    int m_level1 = 93;  // per cent of the peak height
    int m_level2 = 85;
};
