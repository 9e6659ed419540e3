#include "align/warpfit/warp_align.h"

#include "imaging/image.h"
#include "platform/utilkit/equation.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"

#include <cmath>
#include <numbers>

namespace {

// Word 7 of a fresh record: the half field of view of a 35 mm-equivalent
// 50 mm lens on the long side, in radians.
constexpr float kDefaultHalfAperture = 0.3303035f;
constexpr float kDefaultApertureGuess = 0.5235988f;  // 30 degrees

POINT2 Rotate(const POINT2& p, double c, double s)
{
    return POINT2{static_cast<float>(c * p.x + s * p.y), static_cast<float>(-s * p.x + c * p.y)};
}

bool Usable(const Image* img)
{
    return img && img->GetWidth() > 0 && img->GetHeight() > 0;
}

}  // namespace

CWarpAlign::CWarpAlign(int magFree, int apFree) : m_magFree(apFree ? magFree : 0), m_apFree(apFree)
{
    m_prms.halfFov1 = kDefaultHalfAperture;
}

CWarpAlign::~CWarpAlign() = default;

void CWarpAlign::InitWAlignPrms(const PAIR_WALIGN_PRMS* p)
{
    if (!p) return;
    m_prms = *p;
    m_freshStart = 0;
    if (!m_magFree) m_prms.scale = 1.0f;
}

int CWarpAlign::GetMarkerPairMinNum() const
{
    return m_magFree ? 4 : m_apFree ? 3 : 2;
}

void CWarpAlign::SetAperture(float degrees)
{
    m_prms.halfFov1 = static_cast<float>(degrees * std::numbers::pi / 360.0);
}

bool CWarpAlign::AllocatePairs(int n)
{
    m_buffer.assign(static_cast<size_t>(6) * n, POINT2{0, 0});
    m_n = n;
    return true;
}

namespace {

// A new unit for the normalised points (word 8) keeps the focal length that
// word 7 expresses: tan(w7) / w8 stays the same.
void ChangeHalfWidth(PAIR_WALIGN_PRMS& p, float halfWidth)
{
    if (p.halfWidth1 > 0 && std::isfinite(p.halfWidth1) && p.halfWidth1 != halfWidth && p.halfFov1 > 0 &&
        std::isfinite(p.halfFov1)) {
        p.halfFov1 = static_cast<float>(std::atan(std::tan(double(p.halfFov1)) * halfWidth / p.halfWidth1));
    }
    p.halfWidth1 = halfWidth;
}

}  // namespace

int CWarpAlign::InitPtPairData(Image* img1, Image* img2, POINT2M* m[2], int n, float scale2, int raw)
{
    if (!Usable(img1) || !Usable(img2) || !m || !m[0] || !m[1] || !(scale2 > 0) || !std::isfinite(scale2)) {
        Logger::log("ERROR CWarpAlign::InitPtPairData: invalid images, markers or scale", 1);
        return 0;
    }
    if (n < GetMarkerPairMinNum()) return 0;
    m_markers[0] = m[0];
    m_markers[1] = m[1];
    m_scale2 = scale2;
    AllocatePairs(n);
    m_width = img1->GetWidth();
    m_height = img1->GetHeight();
    ChangeHalfWidth(m_prms, m_width * 0.5f);
    const float unit1 = m_prms.halfWidth1, unit2 = m_prms.halfWidth1 * scale2;
    const float cx1 = raw ? 0.0f : img1->GetWidth() / 2.0f, cy1 = raw ? 0.0f : img1->GetHeight() / 2.0f;
    const float cx2 = raw ? 0.0f : img2->GetWidth() / 2.0f, cy2 = raw ? 0.0f : img2->GetHeight() / 2.0f;
    POINT2* in1 = In(0);
    POINT2* in2 = In(1);
    for (int i = 0; i < n; ++i) {
        in1[i] = POINT2{(m[0][i].x - cx1) / unit1, (m[0][i].y - cy1) / unit1};
        in2[i] = POINT2{(m[1][i].x - cx2) / unit2, (m[1][i].y - cy2) / unit2};
    }
    return 1;
}

int CWarpAlign::GetPtPairData(Image* img1, Image* img2, Marker* m1, Marker* m2, float scale2)
{
    if (!m1 || !m2) {
        Logger::log("ERROR CWarpAlign::GetPtPairData: invalid marker sets", 1);
        return 0;
    }
    const int n = m1->GetNumbOfMarker();
    if (n != m2->GetNumbOfMarker() || n < GetMarkerPairMinNum()) return 0;
    POINT2M* records[2] = {m1->GetMarker(), m2->GetMarker()};
    return InitPtPairData(img1, img2, records, n, scale2, 0);
}

int CWarpAlign::InitPtPairData(int width, int height, POINT2M* m[2], int n)
{
    if (width <= 0 || height <= 0 || !m || !m[0] || !m[1]) {
        Logger::log("ERROR CWarpAlign::InitPtPairData: invalid size or markers (%d*%d)", 1, width, height);
        return 0;
    }
    if (n < GetMarkerPairMinNum()) return 0;
    m_markers[0] = m[0];
    m_markers[1] = m[1];
    AllocatePairs(n);
    m_width = width;
    m_height = height;
    ChangeHalfWidth(m_prms, width / 2.0f);
    for (int i = 0; i < n; ++i) {
        In(0)[i] = POINT2{m[0][i].x, m[0][i].y};
        In(1)[i] = POINT2{m[1][i].x, m[1][i].y};
    }
    return 1;
}

void CWarpAlign::RotatePairs(POINT2* dst[2])
{
    const double c1 = std::cos(double(m_prms.rot1)), s1 = std::sin(double(m_prms.rot1));
    const double c2 = std::cos(double(m_prms.rot2)), s2 = std::sin(double(m_prms.rot2));
    const double zoom = m_prms.scale;
    const POINT2* in1 = In(0);
    const POINT2* in2 = In(1);
    for (int i = 0; i < m_n; ++i) {
        const POINT2 a = Rotate(in1[i], c1, s1);
        dst[0][i] = POINT2{static_cast<float>(a.x * zoom), static_cast<float>(a.y * zoom)};
        dst[1][i] = Rotate(in2[i], c2, s2);
    }
}

void CWarpAlign::ProjectPairs(POINT2* src[2], POINT2* dst[2], float halfAngle)
{
    const double t = std::tan(double(halfAngle));
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < m_n; ++i) {
            const double lon = std::atan(t * src[k][i].x);
            const double lat = std::atan(t * src[k][i].y * std::cos(lon));
            dst[k][i] = POINT2{static_cast<float>(lon), static_cast<float>(lat)};
        }
    }
}

int CWarpAlign::CalcZoom(POINT2* pts[2], int n, float* zoom) const
{
    if (!pts || !pts[0] || !pts[1] || n <= 0 || !zoom) return 0;
    float c[2][2] = {{0, 0}, {0, 0}};
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < n; ++i) {
            c[k][0] += pts[k][i].x;
            c[k][1] += pts[k][i].y;
        }
        c[k][0] /= n;
        c[k][1] /= n;
    }
    double spread[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < n; ++i) {
            const double dx = pts[k][i].x - c[k][0], dy = pts[k][i].y - c[k][1];
            spread[k] += dx * dx + dy * dy;
        }
    }
    // Coincident points in either image carry no scale.
    if (!(spread[0] > 0) || !(spread[1] > 0)) return 0;
    const double z = std::sqrt(spread[1] / spread[0]);
    if (!std::isfinite(z)) return 0;
    *zoom = static_cast<float>(z);
    return 1;
}

int CWarpAlign::CalcAperture(POINT2* pts[2], int n, float* ap) const
{
    if (!ap) return 0;
    // A pure pan keeps the latitude: y1 cos(lon1) = y2 cos(lon2) on the
    // sphere of tan(ap), which gives tan^2(ap) = (y1^2 - y2^2) / (x1^2 y2^2
    // - x2^2 y1^2) per pair; the pairs vote weighted by |(x1 + x2)(y1^2 -
    // y2^2)|.
    double S = 0, W = 0;
    if (pts && pts[0] && pts[1]) {
        for (int i = 0; i < n; ++i) {
            const double x1 = pts[0][i].x, y1 = pts[0][i].y, x2 = pts[1][i].x, y2 = pts[1][i].y;
            const double e = x1 * x1 * y2 * y2, h = x2 * x2 * y1 * y1, D = e - h;
            if (!(std::fabs(D) * 1000 > e + h)) continue;
            const double L = y1 * y1 - y2 * y2;
            const double w = std::fabs((x1 + x2) * L);
            const double v = w * L / D;
            if (v > 0) {
                S += v;
                W += w;
            }
        }
    }
    if (!(W > 0) || !std::isfinite(S / W)) {
        *ap = kDefaultApertureGuess;
        return 0;
    }
    *ap = static_cast<float>(std::atan(std::sqrt(S / W)));
    return 1;
}

int CWarpAlign::CalcDRotW(POINT2* pts[2], int n, float* d1, float* d2, float* offset) const
{
    if (!pts || !pts[0] || !pts[1] || n <= 0 || !d1 || !d2 || !offset) return 0;
    // Small turns a, b of the two images and the offset c:
    //   a y1 - b y2 - c = x2 - x1,   a x1 - b x2 = y1 - y2.
    std::vector<float> a(static_cast<size_t>(6) * n);
    std::vector<float> rhs(static_cast<size_t>(2) * n);
    for (int i = 0; i < n; ++i) {
        const POINT2 p1 = pts[0][i], p2 = pts[1][i];
        float* r0 = &a[static_cast<size_t>(6) * i];
        r0[0] = p1.y;
        r0[1] = -p2.y;
        r0[2] = -1.0f;
        r0[3] = p1.x;
        r0[4] = -p2.x;
        r0[5] = 0.0f;
        rhs[2 * i] = p2.x - p1.x;
        rhs[2 * i + 1] = p1.y - p2.y;
    }
    float x[3];
    if (!CEquation::MinSolveLEq3(a.data(), rhs.data(), 2 * n, x, nullptr)) return 0;
    *d1 = x[0];
    *d2 = x[1];
    *offset = x[2];
    return 1;
}

int CWarpAlign::CalcAlign0()
{
    if (m_n <= 0) return 0;
    POINT2* rot[2] = {Rot(0), Rot(1)};
    float zoom = 1.0f;
    if (m_magFree) {
        POINT2* in[2] = {In(0), In(1)};
        if (!CalcZoom(in, m_n, &zoom)) return 0;
    }
    m_prms.scale = zoom;
    for (int i = 0; i < m_n; ++i) {
        rot[0][i] = POINT2{In(0)[i].x * zoom, In(0)[i].y * zoom};
        rot[1][i] = In(1)[i];
    }
    // The two image-1 points farthest apart and their partners fix the turn
    // between the images; the line between the segments' midpoints is the
    // direction of the pan.
    int bi = -1, bj = -1;
    double best = 0;
    for (int i = 0; i < m_n; ++i) {
        for (int j = i + 1; j < m_n; ++j) {
            const double dx = rot[0][j].x - rot[0][i].x, dy = rot[0][j].y - rot[0][i].y;
            const double d = dx * dx + dy * dy;
            if (d > best) {
                best = d;
                bi = i;
                bj = j;
            }
        }
    }
    if (bi < 0) return 0;
    const POINT2 a1 = rot[0][bi], b1 = rot[0][bj], a2 = rot[1][bi], b2 = rot[1][bj];
    const double alpha1 = std::atan2(double(b1.y) - a1.y, double(b1.x) - a1.x);
    const double alpha2 = std::atan2(double(b2.y) - a2.y, double(b2.x) - a2.x);
    const double delta = alpha2 - alpha1;
    const POINT2 m1{(a1.x + b1.x) / 2, (a1.y + b1.y) / 2};
    const POINT2 m2{(a2.x + b2.x) / 2, (a2.y + b2.y) / 2};
    // Turning image 2 by delta brings its segment to image 1's direction.
    const POINT2 mr = Rotate(m2, std::cos(delta), std::sin(delta));
    const double r1 = std::atan2(double(m1.y) - mr.y, double(m1.x) - mr.x);
    m_prms.rot1 = static_cast<float>(r1);
    // Both segments keep their common direction after the turns: image 1
    // turns by r1 and image 2 by r1 + delta.
    m_prms.rot2 = static_cast<float>(r1 + delta);
    for (int k = 0; k < 4; ++k) {
        if (!OneStepAlign0(k)) return 0;
    }
    return 1;
}

int CWarpAlign::OneStepAlign0(int /*step*/)
{
    if (m_n <= 0) return 0;
    POINT2* proj[2] = {Proj(0), Proj(1)};
    RotatePairs(proj);
    float d1, d2, off;
    if (!CalcDRotW(proj, m_n, &d1, &d2, &off)) return 0;
    m_prms.rot1 += d1;
    m_prms.rot2 += d2;
    m_prms.offsetAngle = off;
    return 1;
}

int CWarpAlign::OneStepAlignWarp(int step)
{
    if (m_n <= 0) return 0;
    POINT2* rot[2] = {Rot(0), Rot(1)};
    POINT2* proj[2] = {Proj(0), Proj(1)};
    RotatePairs(rot);
    if (m_apFree && step > 0) CalcAperture(rot, m_n, &m_prms.halfFov1);
    ProjectPairs(rot, proj, m_prms.halfFov1);
    if (m_magFree) {
        float zoom;
        if (!CalcZoom(proj, m_n, &zoom)) return 0;
        m_prms.scale *= zoom;
    }
    float d1, d2, off;
    if (!CalcDRotW(proj, m_n, &d1, &d2, &off)) return 0;
    m_prms.rot1 += d1;
    m_prms.rot2 += d2;
    m_prms.offsetAngle = off;
    return 1;
}

int CWarpAlign::MainWarpAlign()
{
    if (m_n <= 0) {
        Logger::log("ERROR CWarpAlign::MainWarpAlign: no point pairs", 1);
        return 0;
    }
    // During the steps word 4 multiplies image 1's points onto image 2's
    // scale and word 7 is the half angle in image 2's normalised unit; the
    // record outside holds the scale of image 2 and image 1's half angle.
    // A failed run leaves the record as it was.
    const PAIR_WALIGN_PRMS saved = m_prms;
    if (m_freshStart) {
        if (!CalcAlign0()) {
            m_prms = saved;
            Logger::log("ERROR CWarpAlign::MainWarpAlign: the point pairs are degenerate", 1);
            return 0;
        }
    } else {
        if (!(m_prms.scale > 0) || !std::isfinite(m_prms.scale)) {
            Logger::log("ERROR CWarpAlign::MainWarpAlign: invalid scale %f", 1, double(m_prms.scale));
            return 0;
        }
        const double s = m_prms.scale;
        m_prms.scale = static_cast<float>(1.0 / s);
        if (s != 1.0) m_prms.halfFov1 = static_cast<float>(std::atan(std::tan(double(m_prms.halfFov1)) * s));
    }
    for (int k = 0; k < m_numSteps; ++k) {
        if (!OneStepAlignWarp(k)) {
            m_prms = saved;
            Logger::log("ERROR CWarpAlign::MainWarpAlign: the point pairs are degenerate", 1);
            return 0;
        }
    }
    const double zoom = m_prms.scale;
    if (!(zoom > 0) || !std::isfinite(1.0 / zoom)) {
        m_prms = saved;
        Logger::log("ERROR CWarpAlign::MainWarpAlign: invalid scale %f", 1, zoom);
        return 0;
    }
    m_prms.scale = static_cast<float>(1.0 / zoom);
    if (zoom != 1.0) m_prms.halfFov1 = static_cast<float>(std::atan(std::tan(double(m_prms.halfFov1)) * zoom));
    m_freshStart = 0;
    return 1;
}
