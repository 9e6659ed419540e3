// Rotation matrices of the outside transform module for the global
// alignment and the panorama leveling.
#pragma once

class CTransform3D {
public:
    // m (nine floats, rows first) = Rz(z) Ry(y) Rx(x): the angles in Z-Y-X
    // order, each a right-handed rotation about its axis, the X turn applied
    // first to a column vector. CalcMatrixRotZYX(-pan, tilt, roll) is the
    // placement of CTransformEuler in the I3R frame.
    static void CalcMatrixRotZYX(float z, float y, float x, float* m);
};
