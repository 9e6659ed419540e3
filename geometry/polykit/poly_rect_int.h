// Intersection of one convex polygon with an axis-parallel rectangle by
// walking the polygon's boundary; the fast path of CPolyRectClip that the
// panorama view engine runs for every visible face.
#pragma once

#include "core/geometry_records.h"
#include "geometry/polykit/polygon.h"

#include <vector>

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

    static std::vector<INT_NODE> Crossings(const std::vector<POINT2>& v, const std::vector<bool>& inside,
                                           const REGION2& r);
    static void PassThrough(const POINT2& a, const POINT2& b, int i, const REGION2& r, std::vector<INT_NODE>& nodes);
    static CPolygon* Walk(const std::vector<INT_NODE>& nodes, const std::vector<POINT2>& v, const REGION2& r);
};
