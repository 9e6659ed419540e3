#include "platform/xformkit/transform_rr.h"

#include "platform/xformkit/camera_model.h"

#include <cmath>
#include <numbers>

using namespace xformkit;

namespace {

bool MapThrough(const Mat3& h, const POINT2* in, POINT2* out)
{
    if (!in || !out) return false;
    double x, y;
    if (!MapPoint(h, in->x, in->y, x, y)) return false;
    out->x = static_cast<float>(x);
    out->y = static_cast<float>(y);
    return true;
}

}  // namespace

bool CTransformRR::TransformPtPolarRR_inv(float rcpF2, float angC, float t, float q, float s, const POINT2* in,
                                          POINT2* out) const
{
    constexpr double pi = std::numbers::pi;
    if (!(rcpF2 > 0) || !(q > 0)) return false;
    const double r2 = rcpF2;
    const double r1 = r2 / q;
    const double c = pi - angC;
    const double a = pi - (s - double(angC));
    const double b = std::atan(double(t) * r2);
    if (!std::isfinite(r1) || !std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return false;
    return MapThrough(PairHomography(r1, r2, a, b, c), in, out);
}

bool CTransformRR::TransformPtSphereRR0(float r, float a, float b, float c, const POINT2* in, POINT2* out)
{
    if (!(r > 0) || !std::isfinite(r)) return false;
    return MapThrough(PairHomography(r, r, a, b, c), in, out);
}
