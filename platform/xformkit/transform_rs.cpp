#include "platform/xformkit/transform_rs.h"

#include "platform/xformkit/camera_model.h"

#include <cmath>

using namespace xformkit;

void CTransformRS::TransformPtRaS(float rcpF, const POINT2* in, POINT2* out)
{
    if (!in || !out) return;
    const double lon = std::atan(double(rcpF) * in->x);
    const double lat = std::atan(double(rcpF) * in->y * std::cos(lon));
    out->x = static_cast<float>(lon);
    out->y = static_cast<float>(lat);
}

bool CTransformRS::TransformPtRaS_inv(float rcpF, const POINT2* in, POINT2* out)
{
    if (!in || !out || !(rcpF > 0)) return false;
    const double c = std::cos(double(in->x));
    if (!(c > 1e-12) || !(std::cos(double(in->y)) > 1e-12)) return false;
    const double x = std::tan(double(in->x)) / rcpF;
    const double y = std::tan(double(in->y)) / (rcpF * c);
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    out->x = static_cast<float>(x);
    out->y = static_cast<float>(y);
    return true;
}

bool CTransformRS::TransformPtWA(float scale, float roll, float rcpF, const POINT2* panTilt, const POINT2* in,
                                 POINT2* out)
{
    if (!in || !out || !panTilt || !(rcpF > 0) || !(scale > 0)) return false;
    const double k = double(rcpF) * scale;
    const Vec3 ray = Apply(PlacementMatrix(panTilt->x, panTilt->y, roll), Vec3{k * in->x, k * in->y, 1.0});
    double lon, lat;
    RayToSphere(ray, lon, lat);
    if (!std::isfinite(lon) || !std::isfinite(lat)) return false;
    out->x = static_cast<float>(lon);
    out->y = static_cast<float>(lat);
    return true;
}

bool CTransformRS::TransformPtWA_inv(float scale, float roll, float rcpF, const POINT2* panTilt, const POINT2* in,
                                     POINT2* out)
{
    if (!in || !out || !panTilt || !(rcpF > 0) || !(scale > 0)) return false;
    const Vec3 cam = Apply(Transpose(PlacementMatrix(panTilt->x, panTilt->y, roll)), SphereToRay(in->x, in->y));
    if (!(cam.z > 1e-12)) return false;
    const double k = double(rcpF) * scale;
    const double x = cam.x / (cam.z * k), y = cam.y / (cam.z * k);
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    out->x = static_cast<float>(x);
    out->y = static_cast<float>(y);
    return true;
}
