#include "align/warpfit/w_align.h"

#include "align/warpfit/h_align.h"
#include "platform/minkit/frprmn.h"
#include "platform/utilkit/fl2_apperture.h"
#include "core/logger.h"
#include "platform/xformkit/transform_2d.h"
#include "platform/xformkit/transform_rs.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <numeric>
#include <vector>

namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;
// Outlier rule, angular distances on the sphere: 0.7 degrees and half of it.
constexpr double kOutlierDistance = 0.0122171;
constexpr double kHalfOutlierDistance = 0.00610855;
constexpr float kTolerance = 1e-6f;
constexpr double kMinApertureDeg = 3.0;
constexpr double kMaxApertureDeg = 80.0;

// The pair set of one fit, handed to the cost and gradient through the
// minimiser's context (so fits may run side by side).
struct FitContext {
    const POINT2* q1 = nullptr;  // image 1, pixels from its centre
    const POINT2* q2 = nullptr;  // image 2
    int n = 0;
    std::vector<char> excluded;
    std::vector<float> distance;  // per pair, radians on the sphere
    bool magFree = false;
    bool apFree = false;
    // The minimiser sees the focal parameter as tan(half angle) = p4 * unit,
    // of the same order as the others: p4 itself (1 / focal length in pixels)
    // is hundreds of times smaller, which stalls conjugate gradients.
    double unit = 1.0;
};

// p[1..5] = (scale of image 2, turn of image 1, turn of image 2, reciprocal
// focal length of image 1 times the unit, horizontal offset).
float FitCost(const float* p, void* context)
{
    auto* fc = static_cast<FitContext*>(context);
    const float rcp = static_cast<float>(p[4] / fc->unit);
    float m2[4], m3[4];
    CTransform2D::CalcMatrixRot2D(p[2], m2);
    CTransform2D::CalcMatrixRot2D(p[3], m3);
    double sum = 0;
    for (int i = 0; i < fc->n; ++i) {
        if (fc->excluded[i]) continue;
        POINT2 a, b, A, B;
        CTransform2D::MatrixPt2D(m2, &fc->q1[i], &a);
        CTransform2D::MatrixPt2D(m3, &fc->q2[i], &b);
        b.x *= p[1];
        b.y *= p[1];
        CTransformRS::TransformPtRaS(rcp, &a, &A);
        CTransformRS::TransformPtRaS(rcp, &b, &B);
        const double dx = double(B.x) - A.x + p[5], dy = double(B.y) - A.y;
        const double d = std::sqrt(dx * dx + dy * dy);
        fc->distance[i] = static_cast<float>(d);
        sum += d;
    }
    return static_cast<float>(sum);
}

// Sphere position of (u, v) for reciprocal focal length r, with its partial
// derivatives by u, v and r.
struct SpherePoint {
    double lon, lat;
    double lonU, lonR;        // d lon / du, d lon / dr (d lon / dv = 0)
    double latU, latV, latR;  // d lat / du, dv, dr
};

SpherePoint ToSphere(double u, double v, double r)
{
    SpherePoint s;
    const double U = r * u;
    const double q2 = 1 + U * U, q = std::sqrt(q2), q3 = q2 * q;
    s.lon = std::atan(U);
    s.lonU = r / q2;
    s.lonR = u / q2;
    const double z = r * v / q;
    s.lat = std::atan(z);
    const double k = 1 / (1 + z * z);
    s.latU = -r * r * v * U / q3 * k;
    s.latV = r / q * k;
    s.latR = (v / q - r * v * U * u / q3) * k;
    return s;
}

void FitGradient(const float* p, float* g, void* context)
{
    auto* fc = static_cast<FitContext*>(context);
    const double c2 = std::cos(double(p[2])), s2 = std::sin(double(p[2]));
    const double c3 = std::cos(double(p[3])), s3 = std::sin(double(p[3]));
    const double zoom = p[1], r = p[4] / fc->unit;
    double acc[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < fc->n; ++i) {
        if (fc->excluded[i]) continue;
        const double x1 = fc->q1[i].x, y1 = fc->q1[i].y, x2 = fc->q2[i].x, y2 = fc->q2[i].y;
        const double ax = c2 * x1 + s2 * y1, ay = -s2 * x1 + c2 * y1;
        const double rx = c3 * x2 + s3 * y2, ry = -s3 * x2 + c3 * y2;
        const double bx = zoom * rx, by = zoom * ry;
        const SpherePoint A = ToSphere(ax, ay, r), B = ToSphere(bx, by, r);
        const double dx = B.lon - A.lon + p[5], dy = B.lat - A.lat;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (!(d > 0)) continue;  // at the kink of |.| the subgradient 0 serves
        const double gx = dx / d, gy = dy / d;
        // d(ax, ay)/d p2 = (ay, -ax); d(bx, by)/d p1 = (rx, ry); d(bx, by)/d p3 = (by, -bx).
        acc[1] += gx * (B.lonU * rx) + gy * (B.latU * rx + B.latV * ry);
        acc[2] -= gx * (A.lonU * ay) + gy * (A.latU * ay - A.latV * ax);
        acc[3] += gx * (B.lonU * by) + gy * (B.latU * by - B.latV * bx);
        acc[4] += (gx * (B.lonR - A.lonR) + gy * (B.latR - A.latR)) / fc->unit;
        acc[5] += gx;
    }
    if (!fc->magFree) acc[1] = 0;
    if (!fc->apFree) acc[4] = 0;
    for (int k = 1; k <= 5; ++k) g[k] = static_cast<float>(acc[k]);
}

// Chooses the pairs of the next pass: all pairs are measured, the nearest
// two thirds (at least 5) kept, more while they lie within the outlier
// distance. Returns the number kept and marks the rest excluded.
int ChooseOutliers(FitContext& fc, const float* p)
{
    std::fill(fc.excluded.begin(), fc.excluded.end(), 0);
    FitCost(p, &fc);
    const int n = fc.n;
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return fc.distance[a] < fc.distance[b]; });
    auto dist = [&](int rank) { return double(fc.distance[order[rank]]); };
    int keep = std::max(2 * n / 3, std::min(n, 5));
    if (keep > 0 && dist(keep - 1) < kOutlierDistance) {
        int i = keep;
        while (i < n && dist(i) < kOutlierDistance) ++i;
        if (n - i <= 1 && i >= keep + 2) {
            if (n >= 2 && dist(n - 2) > kHalfOutlierDistance) keep = n - 2;
            else if (dist(n - 1) > kHalfOutlierDistance) keep = n - 1;
            else keep = i;
        } else {
            keep = i;
        }
    }
    for (int rank = keep; rank < n; ++rank) fc.excluded[order[rank]] = 1;
    return keep;
}

}  // namespace

CWAlign::CWAlign(int magFree, int apFree) : CWarpAlign(magFree, apFree) {}

bool CWAlign::CheckApertureRange(float ap) const
{
    const float fullDeg = static_cast<float>(2.0 * ap * kRadToDeg);
    const float focal = m_height < m_width ? FL2Apperture::appertureLandscape2FL_35mm(fullDeg, 0.75f)
                                           : FL2Apperture::apperturePortrait2FL_35mm(fullDeg);
    return focal >= 10.0f && focal <= 100.0f;
}

bool CWAlign::TakeStartParameters()
{
    if (!m_magFree) {
        if (!MainWarpAlign()) return false;
        return !m_apFree || CheckApertureRange(m_prms.halfFov1);
    }
    // With the scale free the homography of the normalised pairs starts the
    // fit (its unit is 1: word 7 is then image 1's half angle at word 8).
    CHAlign h(m_magFree, m_apFree);
    POINT2* in[2] = {In(0), In(1)};
    h.InitPtPairData(in, m_n, 1.0f);
    if (!h.MainHAlign()) return false;
    PAIR_WALIGN_PRMS hp = *h.GetPrms();
    if (CheckApertureRange(hp.halfFov1)) {
        for (int k = 0; k < 4; ++k) hp.reserved[k] = m_prms.reserved[k];
        hp.halfWidth1 = m_prms.halfWidth1;
        if (!m_apFree) hp.halfFov1 = m_prms.halfFov1;
        m_prms = hp;
        return true;
    }
    if (!MainWarpAlign()) return false;
    return CheckApertureRange(m_prms.halfFov1);
}

int CWAlign::MainWAlign(int* kept)
{
    if (kept) *kept = m_n;
    m_excluded.assign(std::max(m_n, 0), 0);
    if (m_n <= 0) {
        Logger::log("ERROR CWAlign::MainWAlign: no point pairs", 1);
        return 0;
    }
    if (!TakeStartParameters()) {
        Logger::log("ERROR CWAlign::MainWAlign: no start parameters (homography failed or aperture out of range)", 1);
        return 0;
    }

    const float unit = m_prms.halfWidth1;
    std::vector<POINT2> q1(m_n), q2(m_n);
    for (int i = 0; i < m_n; ++i) {
        q1[i] = POINT2{In(0)[i].x * unit, In(0)[i].y * unit};
        q2[i] = POINT2{In(1)[i].x * unit, In(1)[i].y * unit};
    }
    FitContext fc;
    fc.q1 = q1.data();
    fc.q2 = q2.data();
    fc.n = m_n;
    fc.excluded.assign(m_n, 0);
    fc.distance.assign(m_n, 0.0f);
    fc.magFree = m_magFree != 0;
    fc.apFree = m_apFree != 0;
    fc.unit = unit;

    float p[6] = {0, m_prms.scale, m_prms.rot1, m_prms.rot2,
                  static_cast<float>(std::tan(double(m_prms.halfFov1))), m_prms.offsetAngle};
    const int passes = kept ? 3 : 1;
    int lastKeep = m_n;
    for (int pass = 0; pass < passes; ++pass) {
        int iterations = 0;
        float value = 0;
        if (frprmn(p, 5, kTolerance, &iterations, &value, FitCost, FitGradient, &fc) == kFrprmnFailed) {
            Logger::log("ERROR CWAlign::MainWAlign: the minimisation failed", 1);
            return 0;
        }
        const double apDeg = std::atan(double(p[4])) * kRadToDeg;
        if (!(apDeg >= kMinApertureDeg && apDeg <= kMaxApertureDeg) || !std::isfinite(p[1]) ||
            !std::isfinite(p[2]) || !std::isfinite(p[3]) || !std::isfinite(p[5])) {
            Logger::log("FAIL CWAlign::MainWAlign: after frprmn: newApertureDeg=%f not in good range", 1, apDeg);
            return 0;
        }
        m_prms.scale = p[1];
        m_prms.rot1 = p[2];
        m_prms.rot2 = p[3];
        m_prms.halfFov1 = static_cast<float>(std::atan(double(p[4])));
        m_prms.offsetAngle = p[5];
        if (passes == 1) break;
        const int keep = ChooseOutliers(fc, p);
        lastKeep = keep;
        const int dropped = m_n - keep;
        if ((pass == 0 && dropped == 0) || (pass > 0 && dropped <= 2)) break;
    }

    if (passes > 1) m_excluded = fc.excluded;
    // Every pair's distance with all pairs included, in pixels of image 1.
    std::fill(fc.excluded.begin(), fc.excluded.end(), 0);
    FitCost(p, &fc);
    for (int i = 0; i < m_n; ++i) {
        const float err = static_cast<float>(fc.distance[i] / (p[4] / unit));
        if (m_markers[0]) m_markers[0][i].error1 = err;
        if (m_markers[1]) m_markers[1][i].error1 = err;
    }
    if (kept) *kept = lastKeep;
    return 1;
}

POINT2M* CWAlign::convertPOINT2ToM(const POINT2* p, int n)
{
    if (!p || n <= 0) return nullptr;
    auto* m = new POINT2M[n]();
    for (int i = 0; i < n; ++i) {
        m[i].x = p[i].x;
        m[i].y = p[i].y;
    }
    return m;
}

POINT2* CWAlign::convertPOINT2MTo2(const POINT2M* m, int n)
{
    if (!m || n <= 0) return nullptr;
    auto* p = new POINT2[n];
    for (int i = 0; i < n; ++i) p[i] = POINT2{m[i].x, m[i].y};
    return p;
}
