// Point mappings of the rotation form used by the polar overlap of a pair and
// by the warp self-tests: a point of the first image's frame back into the
// second image, and a point through a known pair rotation with one focal
// length. Part of the outside transform module.
#pragma once

#include "core/geometry_records.h"

class CTransformRR {
public:
    // The radius of the polar frame, in pixels; the plane mapping below does
    // not depend on it.
    explicit CTransformRR(float polarRadius = 8000.0f) : m_polarRadius(polarRadius) {}

    // Maps a point of the first image (pixels from its centre) into the second
    // image (pixels from its centre), the pair being given in the inverse form
    // the polar overlap keeps: rcpF2, C = pi - c, t = tan(b) / rcpF2,
    // q = rcpF2 / rcpF1 and s = (pi - a) + (pi - c), for the pair (rcpF1,
    // rcpF2, a, b, c). It agrees with CPolyMapRR warping the second image into
    // the first with that inverse. False (out untouched) when the point does
    // not map.
    bool TransformPtPolarRR_inv(float rcpF2, float angC, float t, float q, float s, const POINT2* in, POINT2* out) const;

    // Maps a point through the pair rotation (a, b, c) with the reciprocal
    // focal length r for both images (pixels from the centres).
    static bool TransformPtSphereRR0(float r, float a, float b, float c, const POINT2* in, POINT2* out);

    float m_polarRadius;
};
