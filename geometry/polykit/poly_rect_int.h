// Intersection of one convex polygon with an axis-parallel rectangle by
// walking the polygon's boundary; the fast path of CPolyRectClip that the
// panorama view engine runs for every visible face.
#pragma once

#include "core/geometry_records.h"
#include "geometry/polykit/polygon.h"

class CPolyRectInt {
public:
    CPolyRectInt() = default;
    CPolyRectInt(const CPolyRectInt&) = default;
    CPolyRectInt& operator=(const CPolyRectInt&) { return *this; }

    // A new polygon with the intersection, or null when they do not meet.
    // The polygon must be convex (either orientation); other input is
    // refused with an error line and null.
    static CPolygon* MainPolyRectInt(const CPolygon& polygon, const REGION2* rect);

private:
    // Where the boundary crosses the rectangle: the point, the polygon edge
    // (vertex i to i + 1), the rectangle side (0 top, 1 right, 2 bottom,
    // 3 left) and the kind (0 entering, 1 leaving).
    struct INT_NODE {
        POINT2 pt;
        int edge;
        int side;
        int kind;
    };
};
