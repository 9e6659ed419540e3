// Cuts a polygon with a band along a line segment: the seam blender splits an
// overlap along its division line and takes the blending band around it.
#pragma once

#include "core/geometry_records.h"

class CPolyLineClip {
public:
    CPolyLineClip() = default;
    ~CPolyLineClip() = default;
    CPolyLineClip(const CPolyLineClip&) = default;
    CPolyLineClip& operator=(const CPolyLineClip&) { return *this; }

    // The segment p1-p2 moved by `dist` along its normal n = (d.y, -d.x) / L;
    // false (outputs untouched) when it is shorter than 1.
    static bool MakeParallelLine(const POINT2& p1, const POINT2& p2, float dist, POINT2* out1, POINT2* out2);

    // The polygon's part inside the band from m1 to m1 + m2 along the normal,
    // reaching 2000 units past both ends of the segment: a new polygon, or
    // null when empty or the segment is shorter than 1.
    static gpc_polygon* PolygonLineMargin(gpc_polygon* polygon, const POINT2& p1, const POINT2& p2, float m1,
                                          float m2);

    // The band from m (side set) or -m (clear), 2000 wide; both lie on the
    // normal's side of the line.
    static gpc_polygon* PolygonLineSplit(gpc_polygon* polygon, const POINT2& p1, const POINT2& p2, bool side,
                                         float m);

    // PolygonLineSplit with the side set when the reference point (null: the
    // origin) gives (p2 - p1) x (ref - p2) < 0. The flag is not used.
    static gpc_polygon* PolygonLineSplitPt(gpc_polygon* polygon, const POINT2& p1, const POINT2& p2,
                                           const POINT2* ref, bool unused, float m);

    // The band's corners C0..C3; false for a segment shorter than 1.
    static bool MarginRect(const POINT2& p1, const POINT2& p2, float m1, float m2, POINT2* corners);
};
