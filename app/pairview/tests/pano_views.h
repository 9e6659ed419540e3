// Perspective views rendered from an equirectangular panorama by a per-pixel
// projection, the reference of the pair-alignment tests. A view turns the
// camera by yaw (right), pitch (down) and roll: world = Ry(yaw) Rx(pitch)
// Rz(roll) camera, with the camera ray of pixel (x, y) = ((x - w/2) / f,
// (y - h/2) / f, 1) and longitude atan2(x, z), latitude atan2(y, hypot(x, z)).
#pragma once

#include "imaging/image.h"

#include <array>
#include <cmath>
#include <numbers>

namespace pano_views {

using M3 = std::array<double, 9>;

inline M3 Mul(const M3& a, const M3& b)
{
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[3 * i + j] += a[3 * i + k] * b[3 * k + j];
    return r;
}

inline M3 T(const M3& a)
{
    return {a[0], a[3], a[6], a[1], a[4], a[7], a[2], a[5], a[8]};
}

inline M3 ViewRotation(double yaw, double pitch, double roll)
{
    const double cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    const double cr = std::cos(roll), sr = std::sin(roll);
    const M3 ry{cy, 0, sy, 0, 1, 0, -sy, 0, cy};
    const M3 rx{1, 0, 0, 0, cp, -sp, 0, sp, cp};
    const M3 rz{cr, -sr, 0, sr, cr, 0, 0, 0, 1};
    return Mul(ry, Mul(rx, rz));
}

struct View {
    int w, h;
    double f;
    M3 r;
};

// Bilinear sample of the panorama (3 channels) at longitude / latitude.
inline void SamplePano(const Image& pano, double lon, double lat, unsigned char* out)
{
    const int W = pano.GetWidth(), H = pano.GetHeight();
    double u = (lon / (2 * std::numbers::pi) + 0.5) * W - 0.5;
    double v = (lat / std::numbers::pi + 0.5) * H - 0.5;
    v = std::clamp(v, 0.0, H - 1.0);
    const int x0 = static_cast<int>(std::floor(u)), y0 = static_cast<int>(std::floor(v));
    const double fx = u - x0, fy = v - y0;
    const int y1 = std::min(y0 + 1, H - 1);
    for (int c = 0; c < 3; ++c) {
        auto at = [&](int x, int y) {
            x = ((x % W) + W) % W;
            return double(pano.GetData()[static_cast<size_t>(y) * pano.GetRowByte() + static_cast<size_t>(x) * 3 + c]);
        };
        const double top = at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx;
        const double bottom = at(x0, y1) * (1 - fx) + at(x0 + 1, y1) * fx;
        out[c] = static_cast<unsigned char>(std::lround(top * (1 - fy) + bottom * fy));
    }
}

// A new image of the view (one reference for the caller).
inline Image* Render(const Image& pano, const View& v)
{
    auto* image = new Image(v.w, v.h, 3);
    image->BmpInit();
    for (int y = 0; y < v.h; ++y)
        for (int x = 0; x < v.w; ++x) {
            const double cx = (x - v.w / 2.0) / v.f, cy = (y - v.h / 2.0) / v.f;
            const double wx = v.r[0] * cx + v.r[1] * cy + v.r[2];
            const double wy = v.r[3] * cx + v.r[4] * cy + v.r[5];
            const double wz = v.r[6] * cx + v.r[7] * cy + v.r[8];
            SamplePano(pano, std::atan2(wx, wz), std::atan2(wy, std::hypot(wx, wz)),
                       image->GetData() + static_cast<size_t>(y) * image->GetRowByte() + static_cast<size_t>(x) * 3);
        }
    return image;
}

// The pixel of view b that sees what pixel (x, y) of view a sees; false when
// it lies behind b.
inline bool Carry(const View& a, const View& b, double x, double y, double& bx, double& by)
{
    const double cx = (x - a.w / 2.0) / a.f, cy = (y - a.h / 2.0) / a.f;
    const M3 m = Mul(T(b.r), a.r);
    const double rx = m[0] * cx + m[1] * cy + m[2];
    const double ry = m[3] * cx + m[4] * cy + m[5];
    const double rz = m[6] * cx + m[7] * cy + m[8];
    if (rz <= 1e-9) return false;
    bx = b.f * rx / rz + b.w / 2.0;
    by = b.f * ry / rz + b.h / 2.0;
    return true;
}

// The rotation of the 9-word pair record, rebuilt from its documented form
// Az(c) Ay(b) Az(a): Az(t) = [cos t, sin t, 0; -sin t, cos t, 0; 0, 0, 1],
// Ay(t) = [cos t, 0, -sin t; 0, 1, 0; sin t, 0, cos t].
inline M3 RecordRotation(double a, double b, double c)
{
    auto az = [](double t) { return M3{std::cos(t), std::sin(t), 0, -std::sin(t), std::cos(t), 0, 0, 0, 1}; };
    const M3 ay{std::cos(b), 0, -std::sin(b), 0, 1, 0, std::sin(b), 0, std::cos(b)};
    return Mul(az(c), Mul(ay, az(a)));
}

// Angle in degrees of the rotation between two rotation matrices.
inline double AngleBetween(const M3& p, const M3& q)
{
    const M3 d = Mul(T(p), q);
    const double c = std::clamp((d[0] + d[4] + d[8] - 1) / 2, -1.0, 1.0);
    return std::acos(c) * 180.0 / std::numbers::pi;
}

}  // namespace pano_views
