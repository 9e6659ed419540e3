// Shared fixtures of the Warpfit tests: an independent pinhole pair model
// (rotations written out here, not taken from the transform module), a
// direct linear homography solve, and mapping errors of fitted parameters.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"

#include <array>
#include <cmath>
#include <vector>

namespace warptest {

using M3 = std::array<double, 9>;  // rows first

inline M3 Mul(const M3& a, const M3& b)
{
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[3 * i + j] += a[3 * i + k] * b[3 * k + j];
    return r;
}

// Turn of the image plane by t: (x, y) -> (cos t x + sin t y, -sin t x + cos t y).
inline M3 Az(double t)
{
    const double c = std::cos(t), s = std::sin(t);
    return {c, s, 0, -s, c, 0, 0, 0, 1};
}
// Pan by t: with t > 0 the first view's centre lies left of the second's.
inline M3 Ay(double t)
{
    const double c = std::cos(t), s = std::sin(t);
    return {c, 0, -s, 0, 1, 0, s, 0, c};
}

// The ray rotation of a pair (ray2 = R ray1) and its homography between
// centred pixel positions, normalised so that h22 = 1.
inline M3 PairRotationRef(double a, double b, double c)
{
    return Mul(Az(c), Mul(Ay(b), Az(a)));
}
inline M3 PairHomographyRef(double r1, double r2, double a, double b, double c)
{
    const M3 k1{r1, 0, 0, 0, r1, 0, 0, 0, 1};
    const M3 k2inv{1 / r2, 0, 0, 0, 1 / r2, 0, 0, 0, 1};
    M3 h = Mul(k2inv, Mul(PairRotationRef(a, b, c), k1));
    const double s = h[8];
    for (double& e : h) e /= s;
    return h;
}
inline M3 PairHomographyRef(const PAIR_WALIGN_RR_PRMS2& p)
{
    return PairHomographyRef(p.rcpF1, p.rcpF2, p.angA, p.angB, p.angC);
}

// Maps (x, y); false when the point lands on or behind the horizon.
inline bool MapH(const M3& h, double x, double y, double& ox, double& oy)
{
    const double w = h[6] * x + h[7] * y + h[8];
    if (!(w > 0)) return false;
    ox = (h[0] * x + h[1] * y + h[2]) / w;
    oy = (h[3] * x + h[4] * y + h[5]) / w;
    return true;
}
inline POINT2 MapH(const M3& h, POINT2 p)
{
    double x = 0, y = 0;
    MapH(h, p.x, p.y, x, y);
    return POINT2{static_cast<float>(x), static_cast<float>(y)};
}

// The homography's eight free entries in the order u = (h00, h01, h10, h11,
// h02, h12, h20, h21) from point pairs, by the direct linear equations
//   h00 x1 + h01 y1 + h02 - h20 x1 x2 - h21 y1 x2 = x2 (and the same for y2)
// solved in least squares by Householder QR in double. False when singular.
bool DltHomography(const std::vector<POINT2>& p1, const std::vector<POINT2>& p2, double u[8]);

// Largest distance, pixels, between points of image 1 mapped through the
// fitted earlier-form record and through the true homography, over a grid of
// image-1 positions (centred pixels) that the true homography maps into a
// w2 x h2 image 2. -1 when the record cannot be converted.
double MaxMappingError(const PAIR_WALIGN_PRMS& fitted, const M3& truth, int w1, int h1, int w2, int h2);
double MaxMappingError(const PAIR_WALIGN_RR_PRMS2& fitted, const M3& truth, int w1, int h1, int w2, int h2);

}  // namespace warptest
