// Points of an image on the panorama sphere: the sphere position of an image
// point for a frame at the origin (the warp fit's cost) and for a placed
// frame (overlays and the scene projection), and back. Longitude and latitude
// in radians, latitude growing downwards; image points in pixels from the
// image centre. Part of the outside transform module.
#pragma once

#include "core/geometry_records.h"

class CTransformRS {
public:
    // Frame at pan = tilt = roll = 0 with reciprocal focal length rcpF:
    // lon = atan(rcpF x), lat = atan(rcpF y cos lon).
    static void TransformPtRaS(float rcpF, const POINT2* in, POINT2* out);
    // Its inverse; false (out untouched) for positions at or behind 90 degrees
    // off the viewing axis.
    static bool TransformPtRaS_inv(float rcpF, const POINT2* in, POINT2* out);

    // Placed frame: image coordinates are multiplied by `scale`, then the ray
    // (rcpF x, rcpF y, 1) is turned by the placement (panTilt->x = pan,
    // panTilt->y = tilt, roll). TransformPtWA maps an image point to the
    // sphere, TransformPtWA_inv a sphere position back into the image (false
    // when it lies behind the image plane).
    static bool TransformPtWA(float scale, float roll, float rcpF, const POINT2* panTilt, const POINT2* in, POINT2* out);
    static bool TransformPtWA_inv(float scale, float roll, float rcpF, const POINT2* panTilt, const POINT2* in,
                                  POINT2* out);
};
