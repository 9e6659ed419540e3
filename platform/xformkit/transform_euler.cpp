#include "platform/xformkit/transform_euler.h"

#include "platform/xformkit/camera_model.h"

#include <cstdio>

using namespace xformkit;

namespace {

// The pair rotation maps ray1 to ray2 in the camera frame, so the second
// frame's placement is its transpose; the I3R vector expresses that placement
// in the I3R frame.
Mat3 PairFromI3R(const POINT3& v)
{
    const Vec3 cam = I3RToCamera(Vec3{v.x, v.y, v.z});
    return Transpose(FromRotationVector(cam));
}

}  // namespace

void CTransformEuler::UVRtoI3R(const float* uvr, float* i3r)
{
    if (!uvr || !i3r) return;
    const Vec3 v = ToRotationVector(UvrToI3RMatrix(uvr[0], uvr[1], uvr[2]));
    i3r[0] = static_cast<float>(v.x);
    i3r[1] = static_cast<float>(v.y);
    i3r[2] = static_cast<float>(v.z);
}

void CTransformEuler::I3RtoUVR(const float* i3r, float* uvr)
{
    if (!i3r || !uvr) return;
    double pan, tilt, roll;
    I3RMatrixToUvr(FromRotationVector(Vec3{i3r[0], i3r[1], i3r[2]}), pan, tilt, roll);
    uvr[0] = static_cast<float>(pan);
    uvr[1] = static_cast<float>(tilt);
    uvr[2] = static_cast<float>(roll);
}

void CTransformEuler::I3RtoSPolar(const POINT3* v, float* a, float* b, float* c)
{
    if (!v || !a || !b || !c) return;
    double pa, pb, pc;
    PairAngles(PairFromI3R(*v), pa, pb, pc);
    *a = static_cast<float>(pa);
    *b = static_cast<float>(pb);
    *c = static_cast<float>(pc);
}

void CTransformEuler::SPolartoI3R(float a, float b, float c, POINT3* v)
{
    if (!v) return;
    const Vec3 i3r = CameraToI3R(ToRotationVector(Transpose(PairRotation(a, b, c))));
    v->x = static_cast<float>(i3r.x);
    v->y = static_cast<float>(i3r.y);
    v->z = static_cast<float>(i3r.z);
}

void CTransformEuler::Euler2UVRtoRDR(const POINT2* faceAngles, float faceRoll, const POINT2* viewAngles,
                                     float viewRoll, float* rot1, float* deviation, float* rot2)
{
    if (!faceAngles || !viewAngles || !rot1 || !deviation || !rot2) return;
    const Quat view = Eul_ToQuat(Eul_(viewAngles->x, -viewAngles->y, -viewRoll, EulOrdZYXs));
    const Quat face = Eul_ToQuat(Eul_(faceRoll, faceAngles->y, -faceAngles->x, EulOrdXYZs));
    const EulerAngles rdr = Eul_FromQuat(Qt_Mul(view, face), EulOrdXZXs);
    *rot1 = -rdr.x;
    *deviation = rdr.y;
    *rot2 = -rdr.z;
}

void CTransformEuler::TestCTransformEuler()
{
    float i3r[3] = {0.7853982f, 0.5235988f, 0.0872665f};
    float uvr[3];
    std::printf("\nTestCTransformEuler: set vI3R=(%f %f %f)\n", i3r[0], i3r[1], i3r[2]);
    I3RtoUVR(i3r, uvr);
    std::printf("TestCTransformEuler: vUVR=(%f %f %f)\n", uvr[0], uvr[1], uvr[2]);
    UVRtoI3R(uvr, i3r);
    std::printf("TestCTransformEuler: vI3R=(%f %f %f)\n", i3r[0], i3r[1], i3r[2]);
}
