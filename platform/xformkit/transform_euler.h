// Euler angles and rotation vectors of the outside transform module. One
// convention throughout: a frame's placement is the rotation
// Rz(-pan) Ry(tilt) Rx(roll) in the I3R frame (X forward, Y left, Z up), the
// same matrix as CTransform3D::CalcMatrixRotZYX(-pan, tilt, roll); its
// rotation vector (axis times angle) is the "I3R" vector. Called by the
// homography alignment, the global alignment and the stitching manager.
#pragma once

#include "core/geometry_records.h"
#include "platform/xformkit/euler_angles.h"

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

    // One viewing direction seen from another, in the view engine's angles
    // (radians; x yaw, 0 at the map's middle column; y pitch, negative
    // upwards; roll about the view axis): the view's orientation (yaw, -pitch,
    // -roll in order ZYXs) times the inverse of the face's (roll, pitch, -yaw
    // in order XYZs), decomposed in order XZXs. Out: the negated first angle
    // (a turn about the view axis), the deviation as it comes (-pi..0: order
    // XZXs has odd parity; its size is the angle between the two axes), and the negated third angle (a turn about the face axis).
    static void Euler2UVRtoRDR(const POINT2* faceAngles, float faceRoll, const POINT2* viewAngles, float viewRoll,
                               float* rot1, float* deviation, float* rot2);

    // Prints a round trip of the vector (0.7853982, 0.5235988, 0.0872665) to
    // standard output.
    XFORMKIT_EXPORT static void TestCTransformEuler();
};
