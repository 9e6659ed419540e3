#include "platform/xformkit/euler_angles.h"

#include <cfloat>
#include <cmath>
#include <utility>

namespace {

enum Axis { X = 0, Y = 1, Z = 2, W = 3 };

// The axes and flags packed in an order code: inner axis i, then j and k in
// the order the parity gives; h the last axis (i again when it repeats).
struct OrderParts {
    int i, j, k, h;
    bool oddParity, repeated, rotatingFrame;
};

OrderParts Unpack(int order)
{
    static constexpr int kSafe[4] = {X, Y, Z, X};
    static constexpr int kNext[4] = {Y, Z, X, Y};
    unsigned o = static_cast<unsigned>(order);
    OrderParts p{};
    p.rotatingFrame = (o & 1) != 0;
    o >>= 1;
    p.repeated = (o & 1) != 0;
    o >>= 1;
    p.oddParity = (o & 1) != 0;
    o >>= 1;
    p.i = kSafe[o & 3];
    p.j = kNext[p.i + (p.oddParity ? 1 : 0)];
    p.k = kNext[p.i + 1 - (p.oddParity ? 1 : 0)];
    p.h = p.repeated ? p.k : p.i;
    return p;
}

}  // namespace

EulerAngles Eul_(float first, float second, float third, int order)
{
    return EulerAngles{first, second, third, static_cast<float>(order)};
}

Quat Eul_ToQuat(EulerAngles ea)
{
    const OrderParts p = Unpack(static_cast<int>(ea.w));
    if (p.rotatingFrame) std::swap(ea.x, ea.z);
    if (p.oddParity) ea.y = -ea.y;
    const double ti = ea.x * 0.5, tj = ea.y * 0.5, th = ea.z * 0.5;
    const double ci = std::cos(ti), cj = std::cos(tj), ch = std::cos(th);
    const double si = std::sin(ti), sj = std::sin(tj), sh = std::sin(th);
    const double cc = ci * ch, cs = ci * sh, sc = si * ch, ss = si * sh;
    double a[3];
    Quat q;
    if (p.repeated) {
        a[p.i] = cj * (cs + sc);
        a[p.j] = sj * (cc + ss);
        a[p.k] = sj * (cs - sc);
        q.w = static_cast<float>(cj * (cc - ss));
    } else {
        a[p.i] = cj * sc - sj * cs;
        a[p.j] = cj * ss + sj * cc;
        a[p.k] = cj * cs - sj * sc;
        q.w = static_cast<float>(cj * cc + sj * ss);
    }
    if (p.oddParity) a[p.j] = -a[p.j];
    q.x = static_cast<float>(a[X]);
    q.y = static_cast<float>(a[Y]);
    q.z = static_cast<float>(a[Z]);
    return q;
}

void Eul_ToHMatrix(EulerAngles ea, HMatrix m)
{
    const OrderParts p = Unpack(static_cast<int>(ea.w));
    if (p.rotatingFrame) std::swap(ea.x, ea.z);
    if (p.oddParity) {
        ea.x = -ea.x;
        ea.y = -ea.y;
        ea.z = -ea.z;
    }
    const double ci = std::cos(ea.x), cj = std::cos(ea.y), ch = std::cos(ea.z);
    const double si = std::sin(ea.x), sj = std::sin(ea.y), sh = std::sin(ea.z);
    const double cc = ci * ch, cs = ci * sh, sc = si * ch, ss = si * sh;
    const int i = p.i, j = p.j, k = p.k;
    auto set = [&](int r, int c, double v) { m[r][c] = static_cast<float>(v); };
    if (p.repeated) {
        set(i, i, cj), set(i, j, sj * si), set(i, k, sj * ci);
        set(j, i, sj * sh), set(j, j, -cj * ss + cc), set(j, k, -cj * cs - sc);
        set(k, i, -sj * ch), set(k, j, cj * sc + cs), set(k, k, cj * cc - ss);
    } else {
        set(i, i, cj * ch), set(i, j, sj * sc - cs), set(i, k, sj * cc + ss);
        set(j, i, cj * sh), set(j, j, sj * ss + cc), set(j, k, sj * cs - sc);
        set(k, i, -sj), set(k, j, cj * si), set(k, k, cj * ci);
    }
    m[W][X] = m[W][Y] = m[W][Z] = m[X][W] = m[Y][W] = m[Z][W] = 0.0f;
    m[W][W] = 1.0f;
}

EulerAngles Eul_FromHMatrix(HMatrix m, int order)
{
    const OrderParts p = Unpack(order);
    const int i = p.i, j = p.j, k = p.k;
    double a, b, c;
    // Below this the middle angle is at its singular value (0 or pi for a
    // repeated axis, +-pi/2 otherwise) and the first angle takes the whole turn.
    const double tiny = 16 * FLT_EPSILON;
    if (p.repeated) {
        const double sy = std::sqrt(double(m[i][j]) * m[i][j] + double(m[i][k]) * m[i][k]);
        if (sy > tiny) {
            a = std::atan2(m[i][j], m[i][k]);
            b = std::atan2(sy, m[i][i]);
            c = std::atan2(m[j][i], -m[k][i]);
        } else {
            a = std::atan2(-m[j][k], m[j][j]);
            b = std::atan2(sy, m[i][i]);
            c = 0;
        }
    } else {
        const double cy = std::sqrt(double(m[i][i]) * m[i][i] + double(m[j][i]) * m[j][i]);
        if (cy > tiny) {
            a = std::atan2(m[k][j], m[k][k]);
            b = std::atan2(-m[k][i], cy);
            c = std::atan2(m[j][i], m[i][i]);
        } else {
            a = std::atan2(-m[j][k], m[j][j]);
            b = std::atan2(-m[k][i], cy);
            c = 0;
        }
    }
    if (p.oddParity) {
        a = -a;
        b = -b;
        c = -c;
    }
    if (p.rotatingFrame) std::swap(a, c);
    return Eul_(static_cast<float>(a), static_cast<float>(b), static_cast<float>(c), order);
}

EulerAngles Eul_FromQuat(Quat q, int order)
{
    const double nq = double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w;
    const double s = nq > 0.0 ? 2.0 / nq : 0.0;
    const double xs = q.x * s, ys = q.y * s, zs = q.z * s;
    const double wx = q.w * xs, wy = q.w * ys, wz = q.w * zs;
    const double xx = q.x * xs, xy = q.x * ys, xz = q.x * zs;
    const double yy = q.y * ys, yz = q.y * zs, zz = q.z * zs;
    HMatrix m;
    m[X][X] = static_cast<float>(1.0 - (yy + zz));
    m[X][Y] = static_cast<float>(xy - wz);
    m[X][Z] = static_cast<float>(xz + wy);
    m[Y][X] = static_cast<float>(xy + wz);
    m[Y][Y] = static_cast<float>(1.0 - (xx + zz));
    m[Y][Z] = static_cast<float>(yz - wx);
    m[Z][X] = static_cast<float>(xz - wy);
    m[Z][Y] = static_cast<float>(yz + wx);
    m[Z][Z] = static_cast<float>(1.0 - (xx + yy));
    m[W][X] = m[W][Y] = m[W][Z] = m[X][W] = m[Y][W] = m[Z][W] = 0.0f;
    m[W][W] = 1.0f;
    return Eul_FromHMatrix(m, order);
}

Quat Qt_Mul(Quat l, Quat r)
{
    Quat q;
    q.w = l.w * r.w - l.x * r.x - l.y * r.y - l.z * r.z;
    q.x = l.w * r.x + l.x * r.w + l.y * r.z - l.z * r.y;
    q.y = l.w * r.y + l.y * r.w + l.z * r.x - l.x * r.z;
    q.z = l.w * r.z + l.z * r.w + l.x * r.y - l.y * r.x;
    return q;
}

Quat Qt_FromAxisAngle(const float axis[3], float angle)
{
    const double s = std::sin(angle / 2.0);
    return Quat{static_cast<float>(axis[0] * s), static_cast<float>(axis[1] * s), static_cast<float>(axis[2] * s),
                static_cast<float>(std::cos(angle / 2.0))};
}

void Qt_ToAxisAngle(Quat q, float axis[3], float* angle)
{
    // acos is defined on [-1, 1] only; a quaternion a rounding step off unit
    // length would give NaN.
    const double w = q.w > 1.0f ? 1.0 : q.w < -1.0f ? -1.0 : q.w;
    const double a = 2.0 * std::acos(w);
    const double s = std::sin(a / 2.0);
    *angle = static_cast<float>(a);
    if (std::fabs(s) < 0.00001) {
        axis[0] = 1.0f;
        axis[1] = axis[2] = 0.0f;
        return;
    }
    axis[0] = static_cast<float>(q.x / s);
    axis[1] = static_cast<float>(q.y / s);
    axis[2] = static_cast<float>(q.z / s);
}
