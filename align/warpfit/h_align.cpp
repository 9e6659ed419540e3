#include "align/warpfit/h_align.h"

#include "align/warpfit/homography_lsq.h"
#include "imaging/image.h"
#include "core/logger.h"
#include "platform/xformkit/transform_euler.h"
#include "platform/xformkit/transform_wa.h"
#include "projectgraph/curvekit/marker.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this sine of the total turn angle (on the far side of a half turn)
// the antisymmetric part of R no longer carries the rotation axis: float
// rounding of H alone moves it by more than the turn itself.
constexpr double kMinHalfTurnSine = 0.01;
// A homography whose perspective row changes the homogeneous weight by less
// than this over the points fed is affine within the float precision of the
// fit: it fixes no focal length.
constexpr double kMinPerspective = 1e-5;

}  // namespace

CHAlign::CHAlign() : CHAlign(1, 1) {}

CHAlign::CHAlign(int magFree, int apFree)
    : m_lsq(std::make_unique<CHomographyLSQImpl>()), m_magFree(magFree), m_apFree(apFree)
{
    m_lsq->Reset();
}

CHAlign::~CHAlign() = default;

void CHAlign::AddPair(float x1, float y1, float x2, float y2)
{
    m_extent = std::max({m_extent, std::fabs(x1), std::fabs(y1)});
    m_lsq->AddPointPair(x1, y1, x2, y2);
}

int CHAlign::InitPtPairData(Image* img1, Image* img2, POINT2* pts[2], int n, int raw)
{
    if (!img1 || !img2 || !pts || n < 0 || (n > 0 && (!pts[0] || !pts[1]))) {
        Logger::log("ERROR CHAlign::InitPtPairData: invalid images or points (n=%d)", 1, n);
        return 0;
    }
    m_total += n;
    m_prms.halfWidth1 = img1->GetWidth() / 2.0f;
    const float cx1 = raw ? 0.0f : img1->GetWidth() / 2.0f, cy1 = raw ? 0.0f : img1->GetHeight() / 2.0f;
    const float cx2 = raw ? 0.0f : img2->GetWidth() / 2.0f, cy2 = raw ? 0.0f : img2->GetHeight() / 2.0f;
    for (int i = 0; i < n; ++i) {
        AddPair(pts[0][i].x - cx1, pts[0][i].y - cy1, pts[1][i].x - cx2, pts[1][i].y - cy2);
    }
    return 1;
}

int CHAlign::InitPtPairData(POINT2* pts[2], int n, float value)
{
    if (!pts || n < 0 || (n > 0 && (!pts[0] || !pts[1]))) {
        Logger::log("ERROR CHAlign::InitPtPairData: invalid points (n=%d)", 1, n);
        return 0;
    }
    m_total += n;
    m_prms.halfWidth1 = value;
    for (int i = 0; i < n; ++i) AddPair(pts[0][i].x, pts[0][i].y, pts[1][i].x, pts[1][i].y);
    return 1;
}

int CHAlign::GetPtPairData(Image* img1, Image* img2, Marker* m1, Marker* m2)
{
    if (!img1 || !img2 || !m1 || !m2) {
        Logger::log("ERROR CHAlign::GetPtPairData: invalid images or marker sets", 1);
        return 0;
    }
    const int n = m1->GetNumbOfMarker();
    if (n != m2->GetNumbOfMarker()) return 0;
    m_total += n;
    // A quarter of the width: the unit in which the rotation form's focal
    // lengths come back for marker pairs.
    m_prms.halfWidth1 = img1->GetWidth() / 4.0f;
    const float cx1 = img1->GetWidth() / 2.0f, cy1 = img1->GetHeight() / 2.0f;
    const float cx2 = img2->GetWidth() / 2.0f, cy2 = img2->GetHeight() / 2.0f;
    const POINT2M* r1 = m1->GetMarker();
    const POINT2M* r2 = m2->GetMarker();
    for (int i = 0; i < n; ++i) AddPair(r1[i].x - cx1, r1[i].y - cy1, r2[i].x - cx2, r2[i].y - cy2);
    return 1;
}

int CHAlign::MainHAlign()
{
    if (m_total < 4) return 0;
    if (!m_lsq->Solve()) {
        Logger::log("ERROR CHAlign::MainHAlign: the %d point pairs do not fix a homography", 1, m_total);
        return 0;
    }
    PAIR_WALIGN_RR_PRMS2 rr;
    if (!HtoWAlignPrm2(m_lsq->GetParams(), &rr)) {
        Logger::log("ERROR CHAlign::MainHAlign: the homography is not a camera rotation", 1);
        return 0;
    }
    PAIR_WALIGN_PRMS s = m_prms;  // word 8 set by the feeding
    if (!CTransformWA::PairAlignPrmsRR2toS(&rr, &s)) return 0;
    m_prmsRR = rr;
    m_prms = s;
    return 1;
}

float* CHAlign::getM01()
{
    return m_lsq->GetParams();
}

bool CHAlign::HtoWAlignPrm2(const float* h, PAIR_WALIGN_RR_PRMS2* out) const
{
    // H = [[a, b, c], [d, e, f], [g, k, 1]] equals, up to scale,
    // diag(1/r2, 1/r2, 1) R diag(r1, r1, 1) for a rotation R: recover r1, r2
    // and R from it.
    const double a = h[0], b = h[1], d = h[2], e = h[3], c = h[4], f = h[5], g = h[6], k = h[7];
    const double det = a * e + d * k * c + g * b * f - d * b - k * a * f - g * e * c;
    const double gk = g * g + k * k;
    // An affine H (g = k = 0) carries no focal length; a zero determinant no
    // transform at all.
    if (!std::isfinite(det) || det == 0 || !((std::fabs(g) + std::fabs(k)) * m_extent > kMinPerspective)) return false;
    const double A = (a * e - b * d) / det;  // R22 squared
    if (!(A > 0)) return false;
    const double B = (1 - A) / (A * gk);  // r1 squared
    if (!(B > 0) || !std::isfinite(B)) return false;
    const double C2 = A * ((a * a + b * b) * B + c * c);  // r2 squared
    if (!(C2 > 0) || !std::isfinite(C2)) return false;
    const double s = std::sqrt(A), F = std::sqrt(B), G = std::sqrt(C2);
    const double R[3][3] = {{s * F * a / G, s * F * b / G, s * c / G},
                            {s * F * d / G, s * F * e / G, s * f / G},
                            {s * F * g, s * F * k, s}};
    // With the second view turned more than 90 degrees away, R22 < 0 and the
    // square root above gives -R: a reflection, not a camera turn.
    const double detR = R[0][0] * (R[1][1] * R[2][2] - R[1][2] * R[2][1]) -
                        R[0][1] * (R[1][0] * R[2][2] - R[1][2] * R[2][0]) +
                        R[0][2] * (R[1][0] * R[2][1] - R[1][1] * R[2][0]);
    if (!(detR > 0)) return false;
    const double t = std::clamp(R[0][0] + R[1][1] + R[2][2], -1.0, 3.0);
    const double theta = std::acos((t - 1) / 2);
    double kk = 0.5;
    if (theta != 0) {
        const double sn = std::sin(theta);
        if (sn < kMinHalfTurnSine && theta > 1.0) return false;
        kk = theta / (2 * sn);
    }
    const POINT3 v{static_cast<float>(-kk * (R[1][0] - R[0][1])), static_cast<float>(kk * (R[2][1] - R[1][2])),
                   static_cast<float>(kk * (R[0][2] - R[2][0]))};
    float angA = 0, angB = 0, angC = 0;
    CTransformEuler::I3RtoSPolar(&v, &angA, &angB, &angC);
    PAIR_WALIGN_RR_PRMS2 r{};
    r.rcpF1 = static_cast<float>(1 / F);
    r.rcpF2 = static_cast<float>(1 / G);
    r.angA = angA;
    r.angB = angB;
    r.angC = angC;
    if (!std::isfinite(r.rcpF1) || !std::isfinite(r.rcpF2) || !std::isfinite(angA) || !std::isfinite(angB) ||
        !std::isfinite(angC))
        return false;
    *out = r;
    return true;
}
