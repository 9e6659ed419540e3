// Measuring and transforming vertex arrays and polygons around the clipper:
// area, bounding box, span along a line, zoom and shift, copies, cutting to
// an integer box. Used by pair alignment, contour matching and seam blending.
#pragma once

#include "core/geometry_records.h"

// No data; made on the caller's stack. Every operation is also callable as a
// static member. Source and destination arrays may be the same array.
class CPolyGeom {
public:
    CPolyGeom() = default;
    CPolyGeom(const CPolyGeom&) = default;
    CPolyGeom& operator=(const CPolyGeom&) { return *this; }

    // |shoelace sum| / 2, accumulated in single precision; 0 for n <= 0.
    static float CalcArea(const POINT2* v, int n);

    // Bounding box of the vertices (width and height without +1); an empty
    // array gives top/left 10000 and bottom/right -10000. Always 1.
    static int CalcBoundBox(const POINT2* v, int n, REGION2* box);

    // Smallest and largest x where the horizontal line at y crosses an edge
    // (end heights enclosing y half-open); false and (FLT_MAX, -FLT_MAX)
    // when it meets none. RangePolygonLineV is the same along x = const.
    static bool RangePolygonLineH(const POINT2* v, int n, float y, float* range);
    static bool RangePolygonLineV(const POINT2* v, int n, float x, float* range);

    // dst = centre + f (src - centre), or f src without a centre.
    static void ZoomXYPolygon(const POINT2* src, POINT2* dst, int n, float fx, float fy, const POINT2* centre);
    // dst = src + offset.
    static void ShiftPolygon(const POINT2* src, POINT2* dst, int n, const POINT2* offset);
    // dst = f src + offset.
    static void ShiftZoomPolygon(const POINT2* src, POINT2* dst, int n, const POINT2* offset, float f);

    // A new polygon (delete it after gpc_free_polygon) with a copy of every
    // contour; null for a null polygon.
    static gpc_polygon* CopyPolygon(const gpc_polygon* p);
    // The polygon intersected with the box x0..x1, y0..y1 (no +1), as a new
    // polygon that may have no contour; null for a null argument.
    static gpc_polygon* IntPolygonBox(gpc_polygon* p, const REGION* box);

    // Truncates each side towards zero; width and height get their +1.
    static void Region2ToRegion(const REGION2* r2, REGION* r);
};
