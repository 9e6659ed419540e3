// Euler angles and quaternions after Ken Shoemake's conversion scheme
// (Graphics Gems IV): one order code names the axis sequence, its parity,
// whether the first axis repeats and whether the axes are static or rotating.
// The view engine steers its view with them and CTransformEuler places one
// view in another with them.
#pragma once

#define XFORMKIT_EXPORT __attribute__((visibility("default")))

// A quaternion (w last); also three Euler angles with the order code in w.
struct Quat {
    float x = 0, y = 0, z = 0, w = 0;
};
using EulerAngles = Quat;
// 4 x 4 homogeneous matrix, rows first, acting on column vectors.
using HMatrix = float[4][4];

// Order codes: ((((inner axis << 1) + parity) << 1) + repetition) << 1) + frame,
// with inner axis X 0, Y 1, Z 2, odd parity 1, a repeated first axis 1 and a
// rotating frame 1. Matrices act on column vectors: order XYZs (0) is
// Rz(third) Ry(second) Rx(first).
enum EulerOrder : int {
    EulOrdXYZs = 0,
    EulOrdXYXs = 2,
    EulOrdXZYs = 4,
    EulOrdXZXs = 6,
    EulOrdYZXs = 8,
    EulOrdYZYs = 10,
    EulOrdYXZs = 12,
    EulOrdYXYs = 14,
    EulOrdZXYs = 16,
    EulOrdZXZs = 18,
    EulOrdZYXs = 20,
    EulOrdZYZs = 22,
    EulOrdZYXr = 1,
    EulOrdXYXr = 3,
    EulOrdYZXr = 5,
    EulOrdXZXr = 7,
    EulOrdXZYr = 9,
    EulOrdYZYr = 11,
    EulOrdZXYr = 13,
    EulOrdYXYr = 15,
    EulOrdYXZr = 17,
    EulOrdZXZr = 19,
    EulOrdXYZr = 21,
    EulOrdZYZr = 23,
};

EulerAngles Eul_(float first, float second, float third, int order);
Quat Eul_ToQuat(EulerAngles ea);
void Eul_ToHMatrix(EulerAngles ea, HMatrix m);
XFORMKIT_EXPORT EulerAngles Eul_FromHMatrix(HMatrix m, int order);
EulerAngles Eul_FromQuat(Quat q, int order);

// Hamilton product: the rotation of qR followed by that of qL.
Quat Qt_Mul(Quat qL, Quat qR);
// (axis sin(angle/2), cos(angle/2)); the axis is taken as given (unit).
Quat Qt_FromAxisAngle(const float axis[3], float angle);
// angle = 2 acos(w), axis = (x, y, z) / sin(angle/2); the axis (1, 0, 0) when
// that sine is below 0.00001 in size.
void Qt_ToAxisAngle(Quat q, float axis[3], float* angle);
