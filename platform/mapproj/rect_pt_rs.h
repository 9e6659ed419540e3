// Points and outlines of a placed image on the rectangular sphere map that
// pair alignment builds its overlap images on: a map of `samples` equator
// samples where column c lies at longitude (c - samples/2) 2 pi / samples and
// row r at latitude (r - samples/4) 2 pi / samples (the top row is the pole
// above). Called by the sphere overlap of pair alignment.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "core/win_types.h"

class CRectPtRS {
public:
    // Map points relative to rect's top-left (rect.left + x, rect.top + y)
    // back into a W x H image placed at (pan, tilt, roll) with horizontal
    // field of view fov (radians): top-left pixel coordinates of the image.
    // in and out may be the same array. Points that do not map (behind the
    // image plane) are left as they were; the result counts those that did.
    static int PtsRectMapToPlane(const POINT2* in, POINT2* out, int n, const RECT* rect, int samples, int width,
                                 int height, float pan, float tilt, float roll, float fov);
    // The inverse: image points (top-left pixel coordinates) to map points
    // relative to rect, the longitude taken on the turn nearest rect's centre.
    static int PtsPlaneToRectMap(const POINT2* in, POINT2* out, int n, const RECT* rect, int samples, int width,
                                 int height, float pan, float tilt, float roll, float fov);

    // The outline of a W x H image placed by rs on that map, relative to
    // rect: one contour with `a` points along the top and bottom edges and
    // `b` along the sides (the edges are curves on the map). A new polygon
    // (free it with CPolyClip::gpc_free_polygon and delete), or null with an
    // ERROR line when the arguments give no outline.
    static gpc_polygon* PolygonImgBoxInRWM(int width, int height, int a, int b, const TRANSFORM_RS* rs,
                                           const RECT* rect, int samples);
};
