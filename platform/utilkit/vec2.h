// Plane vector helpers of the utility module on POINT2.
#pragma once

#include "core/geometry_records.h"

class CVec2 {
public:
    static float vec2_dist(POINT2 a, POINT2 b);
    // a - b.
    static POINT2 vec2_diff(POINT2 a, POINT2 b);
    // a scaled to length 1; the zero vector stays zero.
    static POINT2 vec2_unit(POINT2 a);
    // a turned by a quarter turn: (-y, x).
    static POINT2 vec2_perp(POINT2 a);
};
