#include "platform/xformkit/camera_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace xformkit {

namespace {

constexpr double kPi = std::numbers::pi;

// The I3R frame's axes in camera coordinates: X = z, Y = -x, Z = -y.
const Mat3 kCameraToI3R{{0, 0, 1, -1, 0, 0, 0, -1, 0}};

}  // namespace

Mat3 Multiply(const Mat3& a, const Mat3& b)
{
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r(i, j) = a(i, 0) * b(0, j) + a(i, 1) * b(1, j) + a(i, 2) * b(2, j);
        }
    }
    return r;
}

Mat3 Transpose(const Mat3& a)
{
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) r(i, j) = a(j, i);
    }
    return r;
}

Vec3 Apply(const Mat3& a, const Vec3& v)
{
    return {a(0, 0) * v.x + a(0, 1) * v.y + a(0, 2) * v.z,
            a(1, 0) * v.x + a(1, 1) * v.y + a(1, 2) * v.z,
            a(2, 0) * v.x + a(2, 1) * v.y + a(2, 2) * v.z};
}

Mat3 RotX(double t)
{
    const double c = std::cos(t), s = std::sin(t);
    return Mat3{{1, 0, 0, 0, c, -s, 0, s, c}};
}

Mat3 RotY(double t)
{
    const double c = std::cos(t), s = std::sin(t);
    return Mat3{{c, 0, s, 0, 1, 0, -s, 0, c}};
}

Mat3 RotZ(double t)
{
    const double c = std::cos(t), s = std::sin(t);
    return Mat3{{c, -s, 0, s, c, 0, 0, 0, 1}};
}

Mat3 FromRotationVector(const Vec3& v)
{
    const double t = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (t == 0) return Mat3{};
    const double x = v.x / t, y = v.y / t, z = v.z / t;
    const double c = std::cos(t), s = std::sin(t), k = 1 - c;
    return Mat3{{c + k * x * x, k * x * y - s * z, k * x * z + s * y,
                 k * x * y + s * z, c + k * y * y, k * y * z - s * x,
                 k * x * z - s * y, k * y * z + s * x, c + k * z * z}};
}

Vec3 ToRotationVector(const Mat3& r)
{
    const double cosT = std::clamp((r(0, 0) + r(1, 1) + r(2, 2) - 1) / 2, -1.0, 1.0);
    const double t = std::acos(cosT);
    const Vec3 anti{r(2, 1) - r(1, 2), r(0, 2) - r(2, 0), r(1, 0) - r(0, 1)};
    if (t < 1e-9) return {anti.x / 2, anti.y / 2, anti.z / 2};
    if (t < kPi - 1e-4) {
        const double k = t / (2 * std::sin(t));
        return {k * anti.x, k * anti.y, k * anti.z};
    }
    // Near a half turn the antisymmetric part vanishes: take the axis from
    // the symmetric part (R + I) / 2 = n n^T, its sign from what is left.
    double b[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) b[i][j] = (r(i, j) + r(j, i)) / 4 + (i == j ? 0.5 : 0.0);
    }
    int p = 0;
    if (b[1][1] > b[p][p]) p = 1;
    if (b[2][2] > b[p][p]) p = 2;
    const double np = std::sqrt(std::max(b[p][p], 0.0));
    double n[3] = {b[p][0] / np, b[p][1] / np, b[p][2] / np};
    const double dot = n[0] * anti.x + n[1] * anti.y + n[2] * anti.z;
    if (dot < 0) {
        for (double& e : n) e = -e;
    }
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    return {t * n[0] / len, t * n[1] / len, t * n[2] / len};
}

Mat3 PairRotation(double a, double b, double c)
{
    // Az(t) = RotZ(-t), Ay(t) = RotY(-t).
    return Multiply(RotZ(-c), Multiply(RotY(-b), RotZ(-a)));
}

double WrapAngle(double t)
{
    if (!std::isfinite(t)) return t;
    t = std::remainder(t, 2 * kPi);
    if (t <= -kPi) t += 2 * kPi;
    return t;
}

void PairAngles(const Mat3& r, double& a, double& b, double& c)
{
    // r = [.., .., -l g; .., .., m g; g e, g f, h] (see PairHomography).
    const double s = std::hypot(r(2, 0), r(2, 1));
    if (s < 1e-12) {
        if (r(2, 2) > 0) {
            a = std::atan2(r(0, 1), r(0, 0));
            b = 0;
        } else {
            a = std::atan2(-r(1, 0), r(1, 1));
            b = kPi;
        }
        c = 0;
        return;
    }
    const double a0 = std::atan2(r(2, 1), r(2, 0));
    const double b0 = std::atan2(s, r(2, 2));
    const double c0 = std::atan2(r(1, 2), -r(0, 2));
    const double a1 = WrapAngle(a0 + kPi), b1 = -b0, c1 = WrapAngle(c0 + kPi);
    if (std::fabs(a1) + std::fabs(c1) < std::fabs(a0) + std::fabs(c0)) {
        a = a1, b = b1, c = c1;
    } else {
        a = a0, b = b0, c = c0;
    }
}

Mat3 PairHomography(double r1, double r2, double a, double b, double c)
{
    const double e = std::cos(a), f = std::sin(a);
    const double h = std::cos(b), g = std::sin(b);
    const double l = std::cos(c), m = std::sin(c);
    const double u = r1 / r2;
    return Mat3{{(e * l * h - f * m) * u, (h * l * f + e * m) * u, -l * g / r2,
                 (-h * e * m - l * f) * u, (e * l - h * f * m) * u, m * g / r2,
                 g * e * r1, g * f * r1, h}};
}

bool MapPoint(const Mat3& h, double x, double y, double& ox, double& oy)
{
    const double w = h(2, 0) * x + h(2, 1) * y + h(2, 2);
    if (!(w > 0)) return false;
    const double px = (h(0, 0) * x + h(0, 1) * y + h(0, 2)) / w;
    const double py = (h(1, 0) * x + h(1, 1) * y + h(1, 2)) / w;
    if (!std::isfinite(px) || !std::isfinite(py)) return false;
    ox = px;
    oy = py;
    return true;
}

Mat3 UvrToI3RMatrix(double pan, double tilt, double roll)
{
    return Multiply(RotZ(-pan), Multiply(RotY(tilt), RotX(roll)));
}

void I3RMatrixToUvr(const Mat3& r, double& pan, double& tilt, double& roll)
{
    // r = Rz(g) Ry(t) Rx(o): r20 = -sin t, r21 = cos t sin o, r22 = cos t cos o,
    // r10 = cos t sin g, r00 = cos t cos g.
    const double ct = std::hypot(r(0, 0), r(1, 0));
    tilt = std::atan2(-r(2, 0), ct);
    double g;
    if (ct > 1e-12) {
        roll = std::atan2(r(2, 1), r(2, 2));
        g = std::atan2(r(1, 0), r(0, 0));
    } else {
        // Looking straight up or down: only the sum of roll and pan is defined.
        roll = 0;
        g = std::atan2(-r(0, 1), r(1, 1));
    }
    pan = -g;
}

Mat3 PlacementMatrix(double pan, double tilt, double roll)
{
    return Multiply(Transpose(kCameraToI3R), Multiply(UvrToI3RMatrix(pan, tilt, roll), kCameraToI3R));
}

void PlacementAngles(const Mat3& m, double& pan, double& tilt, double& roll)
{
    I3RMatrixToUvr(Multiply(kCameraToI3R, Multiply(m, Transpose(kCameraToI3R))), pan, tilt, roll);
}

Vec3 CameraToI3R(const Vec3& v)
{
    return {v.z, -v.x, -v.y};
}

Vec3 I3RToCamera(const Vec3& v)
{
    return {-v.y, -v.z, v.x};
}

void RayToSphere(const Vec3& ray, double& lon, double& lat)
{
    lon = std::atan2(ray.x, ray.z);
    lat = std::atan2(ray.y, std::hypot(ray.x, ray.z));
}

Vec3 SphereToRay(double lon, double lat)
{
    const double c = std::cos(lat);
    return {c * std::sin(lon), std::sin(lat), c * std::cos(lon)};
}

}  // namespace xformkit
