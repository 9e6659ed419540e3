// Static wrappers of the rectangle clipper in the gpc_ record forms: the
// intersection of a convex contour with a rectangle, a convex contour as one
// triangle strip, and the ladder and free operations. The panorama view
// engine maps every visible face through them.
#pragma once

#include "core/geometry_records.h"

class CPolyRectClip {
public:
    CPolyRectClip() = default;
    CPolyRectClip(const CPolyRectClip&) = default;
    CPolyRectClip& operator=(const CPolyRectClip&) { return *this; }

    // The first contour (convex) intersected with the rectangle as a new
    // one-contour polygon (free its contents, then delete it), or null when
    // they do not meet.
    static gpc_polygon* gpc_polygon_INT(gpc_polygon* polygon, REGION2* rect);

    // The first contour (convex, either orientation) as one strip.
    static void gpc_polygon_to_tristrip(gpc_polygon* polygon, gpc_tristrip* tristrip);

    // The same behaviour as the CPolyClip operations of these names.
    static void gpc_free_polygon(gpc_polygon* polygon);
    static void gpc_free_tristrip(gpc_tristrip* tristrip);
    static void gpc_tristrip_to_ladders(gpc_vertex_list* strip, gpc_ladder* ladder);
    static void gpc_free_ladder(gpc_ladder* ladder);
};
