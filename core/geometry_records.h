// Plain records in which points, rectangles, polygons, triangle strips and
// ladders pass between Polykit and its callers (pair alignment, segmentation,
// contour matching, blending, the view engine). Arrays inside them are
// allocated by Polykit's own operations and released only by its free
// operations.
#pragma once

#include <cstdint>
#include <type_traits>

// One point in the plane; also the vertex layout of every polygon record.
struct POINT2 {
    float x;
    float y;
};

// A point or direction in space, handed to the transform module.
struct POINT3 {
    float x;
    float y;
    float z;
};

// Integer pixel rectangle; x1 and y1 inclusive, width = x1 - x0 + 1.
struct REGION {
    int32_t x0;
    int32_t y0;
    int32_t x1;
    int32_t y1;
    int32_t width;
    int32_t height;
};

// Floating rectangle: y pair first, width and height plain differences (no
// +1). Radians on the world map, pixels in Polykit.
struct REGION2 {
    float top;
    float bottom;
    float left;
    float right;
    float width;
    float height;
};

// One closed contour, one triangle strip or one ladder rung. The last vertex
// joins the first; the first is not repeated.
struct gpc_vertex_list {
    int32_t count;
    POINT2* points;
};

// A set of contours, inside by the even-odd rule over all of them.
struct gpc_polygon {
    int32_t count;
    gpc_vertex_list* contours;  // null when count is 0
};

// Triangle strips: vertices i, i+1, i+2 form triangle i.
struct gpc_tristrip {
    int32_t count;
    gpc_vertex_list* strips;
};

// Ladder form of one strip: every rung a separately allocated 4-vertex list.
struct gpc_ladder {
    int32_t count;
    gpc_vertex_list** rungs;
};

enum gpc_op : int32_t {
    GPC_DIFF = 0,
    GPC_INT = 1,
    GPC_XOR = 2,
    GPC_UNION = 3,
};

static_assert(sizeof(POINT2) == 8 && std::is_trivially_copyable_v<POINT2>);
static_assert(sizeof(POINT3) == 12 && std::is_trivially_copyable_v<POINT3>);
static_assert(sizeof(REGION) == 24 && std::is_trivially_copyable_v<REGION>);
static_assert(sizeof(REGION2) == 24 && std::is_trivially_copyable_v<REGION2>);
static_assert(sizeof(gpc_op) == 4);
