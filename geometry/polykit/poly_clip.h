// The general polygon clipper: difference, intersection, exclusive-or and
// union of two float polygons (even-odd fill), as contours or as triangle
// strips, plus the ladder form of a strip and the polygon text format. Used by
// pair alignment, segmentation, seam blending and the panorama view engine.
#pragma once

#include "core/geometry_records.h"

#include <cstdio>

// No data; made on the caller's stack and copied freely. The members only
// group the gpc_ operations.
class CPolyClip {
public:
    CPolyClip() = default;
    CPolyClip(const CPolyClip&) = default;
    CPolyClip& operator=(const CPolyClip&) { return *this; }

    // result = subject op clip. The result may be the subject or the clip
    // record (its old contours are released then); a distinct result record
    // is overwritten without being released.
    static void gpc_polygon_clip(gpc_op op, gpc_polygon* subject, gpc_polygon* clip, gpc_polygon* result);

    // Appends a copy of `contour` as the polygon's last contour.
    static void gpc_add_contour(gpc_polygon* polygon, gpc_vertex_list* contour);

    // Releases every contour and the contour array; count becomes 0.
    static void gpc_free_polygon(gpc_polygon* polygon);

    // Text form: contour count, then per contour its vertex count and one
    // "x y" line per vertex. Reading fills the polygon without releasing its
    // earlier contents; a short or malformed text leaves it empty and
    // returns false.
    static bool gpc_read_polygon(FILE* fp, gpc_polygon* polygon);
    static void gpc_write_polygon(FILE* fp, gpc_polygon* polygon);

    // The clip as triangle strips (vertices i, i+1, i+2 form triangle i);
    // earlier contents of the result are overwritten without being released.
    static void gpc_tristrip_clip(gpc_op op, gpc_polygon* subject, gpc_polygon* clip, gpc_tristrip* result);
    static void gpc_polygon_to_tristrip(gpc_polygon* polygon, gpc_tristrip* result);
    static void gpc_free_tristrip(gpc_tristrip* tristrip);

    // One strip as rungs of four vertices: lower pair, then upper pair.
    static void gpc_tristrip_to_ladders(gpc_vertex_list* strip, gpc_ladder* ladder);
    static void gpc_free_ladder(gpc_ladder* ladder);
};
