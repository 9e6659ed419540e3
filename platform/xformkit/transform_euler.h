// Euler angles and rotation vectors of the outside transform module. One
// convention throughout: a frame's placement is the rotation
// Rz(-pan) Ry(tilt) Rx(roll) in the I3R frame (X forward, Y left, Z up), the
// same matrix as CTransform3D::CalcMatrixRotZYX(-pan, tilt, roll); its
// rotation vector (axis times angle) is the "I3R" vector. Called by the
// homography alignment, the global alignment and the stitching manager.
#pragma once

#include "core/geometry_records.h"

class CTransformEuler {
public:
    // uvr = (pan, tilt, roll) in radians <-> the I3R rotation vector. The two
    // are exact inverses for tilt inside (-pi/2, pi/2) and pan, roll inside
    // (-pi, pi]; I3RtoUVR returns angles in those ranges.
    static void UVRtoI3R(const float* uvr, float* i3r);
    static void I3RtoUVR(const float* i3r, float* uvr);

    // The pair angles (first rotation a, angle between the viewing directions
    // b, second rotation c) of the second image relative to the first, given
    // its placement as an I3R vector v (the first image at rest): the pair
    // rotation Az(c) Ay(b) Az(a) equals the inverse of that placement. Of the
    // two equivalent angle sets the one with the smaller |a| + |c| is given.
    static void I3RtoSPolar(const POINT3* v, float* a, float* b, float* c);
    static void SPolartoI3R(float a, float b, float c, POINT3* v);

    // Prints a round trip of the vector (0.7853982, 0.5235988, 0.0872665) to
    // standard output.
    static void TestCTransformEuler();
};
