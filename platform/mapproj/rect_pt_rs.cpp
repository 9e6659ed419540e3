#include "platform/mapproj/rect_pt_rs.h"

#include "platform/xformkit/transform_rs.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

bool ValidView(int samples, int width, int height, float fov)
{
    return samples >= 4 && width > 0 && height > 0 && fov > 0 && fov < std::numbers::pi;
}

}  // namespace

int CRectPtRS::PtsRectMapToPlane(const POINT2* in, POINT2* out, int n, const RECT* rect, int samples, int width,
                                 int height, float pan, float tilt, float roll, float fov)
{
    if (!in || !out || !rect || n <= 0 || !ValidView(samples, width, height, fov)) return 0;
    const double step = kTwoPi / samples;
    const float rcp = static_cast<float>(2 * std::tan(fov / 2.0) / width);
    const POINT2 panTilt{pan, tilt};
    int mapped = 0;
    for (int i = 0; i < n; ++i) {
        const double col = rect->left + double(in[i].x), row = rect->top + double(in[i].y);
        const POINT2 sphere{static_cast<float>((col - samples / 2) * step), static_cast<float>((row - samples / 4) * step)};
        POINT2 p;
        if (!CTransformRS::TransformPtWA_inv(1.0f, roll, rcp, &panTilt, &sphere, &p)) continue;
        out[i] = {p.x + width / 2, p.y + height / 2};
        ++mapped;
    }
    return mapped;
}

int CRectPtRS::PtsPlaneToRectMap(const POINT2* in, POINT2* out, int n, const RECT* rect, int samples, int width,
                                 int height, float pan, float tilt, float roll, float fov)
{
    if (!in || !out || !rect || n <= 0 || !ValidView(samples, width, height, fov)) return 0;
    const double step = kTwoPi / samples;
    const float rcp = static_cast<float>(2 * std::tan(fov / 2.0) / width);
    const POINT2 panTilt{pan, tilt};
    // Longitudes are taken on the turn nearest the rect's centre column.
    const double centreLon = ((rect->left + rect->right) / 2.0 - samples / 2) * step;
    int mapped = 0;
    for (int i = 0; i < n; ++i) {
        const POINT2 q{in[i].x - width / 2, in[i].y - height / 2};
        POINT2 s;
        if (!CTransformRS::TransformPtWA(1.0f, roll, rcp, &panTilt, &q, &s)) continue;
        const double lon = centreLon + std::remainder(double(s.x) - centreLon, kTwoPi);
        out[i] = {static_cast<float>(lon / step + samples / 2 - rect->left),
                  static_cast<float>(double(s.y) / step + samples / 4 - rect->top)};
        ++mapped;
    }
    return mapped;
}
