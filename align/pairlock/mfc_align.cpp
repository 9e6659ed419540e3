#include "align/pairlock/mfc_align.h"

#include "align/pairlock/ncc_maps_align.h"
#include "align/pairlock/overlap_rr.h"
#include "align/pairlock/overlap_ss.h"
#include "platform/mapproj/overlap_support.h"
#include "align/pairlock/polar_overlap.h"
#include "geometry/polykit/poly_geom.h"
#include "platform/mapproj/polygon_rr.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

bool PositiveFinite(float v)
{
    return std::isfinite(v) && v > 0.0f;
}

// Search range in per cent of the extent from a tolerance (a fraction).
float RangeFromTolerance(float tolerance)
{
    return std::clamp(100.0f * tolerance, 5.0f, 15.0f);
}

void ClearResult(POINT2** pts, int* n)
{
    if (pts) pts[0] = pts[1] = nullptr;
    if (n) *n = 0;
}

}  // namespace

CMFCAlign::CMFCAlign(Image* img1, Image* img2) : CMFCAlign(img1, img2, 8) {}

CMFCAlign::CMFCAlign(Image* img1, Image* img2, int chanMode) : m_img1(img1), m_img2(img2), m_chanMode(chanMode) {}

void CMFCAlign::FreePoints(POINT2** pts)
{
    if (!pts) return;
    delete[] pts[0];
    delete[] pts[1];
    pts[0] = pts[1] = nullptr;
}

bool CMFCAlign::IsSideways(float angle)
{
    const double a = std::fabs(double(angle));
    return a >= kPi / 4 && kPi - a >= kPi / 4;
}

bool CMFCAlign::UsableInputs(const PAIR_WALIGN_RR_PRMS2* prms, const char* method) const
{
    if (!overlap::UsableImage(m_img1) || !overlap::UsableImage(m_img2) || !prms) {
        Logger::log("ERROR CMFCAlign::%s: missing or unusable image or parameters", 1, method);
        return false;
    }
    // Everything below divides by the focal lengths.
    if (!PositiveFinite(prms->rcpF1) || !PositiveFinite(prms->rcpF2)) {
        Logger::log("ERROR CMFCAlign::%s: focal lengths not positive (1/f1=%g, 1/f2=%g)", 1, method,
                    double(prms->rcpF1), double(prms->rcpF2));
        return false;
    }
    return true;
}

float CMFCAlign::CalcOverlapArea(PAIR_WALIGN_RR_PRMS2* prms)
{
    return CPolygonRR::TwoImgsOverlapArea(m_img2, m_img1, prms);
}

int CMFCAlign::MainMFCAlign(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, POINT2** pts,
                            int* n, bool tryOtherFocal)
{
    Logger::log("MainMFCAlign: enter: (%d %d)", 3, mode, int(tryOtherFocal));
    ClearResult(pts, n);
    if (!pts || !n || !UsableInputs(prms, "MainMFCAlign")) return kMFCNoOverlap;
    // The sphere of the overlap images has 2 pi f1 samples at most.
    if (2 * kPi / prms->rcpF1 > COverlapSS::kMaxSamples) {
        Logger::log("ERROR CMFCAlign::MainMFCAlign: focal length %g pixels out of range", 1, 1.0 / prms->rcpF1);
        return kMFCNoOverlap;
    }
    int r = OneMFCAlign(prms, setting, mode, pts, n);
    if (r != kMFCAligned && tryOtherFocal) {
        // Another guess: the half-extent tangent of the smaller side becomes
        // 12 / L, a normal lens (L = 40) or, when the first guess was already
        // long, a wide one (L = 26).
        const int m = std::min(m_img1->GetWidth(), m_img1->GetHeight());
        const float h = m * prms->rcpF1 / 2;
        const float ratio = 12.0f / h;
        const float L = ratio <= 32.0f ? 40.0f : 26.0f;
        PAIR_WALIGN_RR_PRMS2 other = *prms;
        other.rcpF1 *= ratio / L;
        other.rcpF2 *= ratio / L;
        r = OneMFCAlign(&other, setting, mode, pts, n);
    }
    return r;
}

int CMFCAlign::MainMFCAlign_Xp(PAIR_ALIGN_INIT_SETTING* setting, POINT2** pts, int* n, int k)
{
    ClearResult(pts, n);
    if (!pts || !n || !overlap::UsableImage(m_img1) || !overlap::UsableImage(m_img2)) {
        Logger::log("ERROR CMFCAlign::MainMFCAlign_Xp: missing or unusable image", 1);
        return kMFCNoOverlap;
    }
    const int W1 = m_img1->GetWidth(), H1 = m_img1->GetHeight();
    const int m = std::min(W1, H1);
    const float phi = 1.0471976f;  // 60 degrees across the smaller side
    PAIR_WALIGN_RR_PRMS2 P{};
    P.rcpF1 = P.rcpF2 = std::tan(phi / 2) / (m / 2.0f);
    const float theta = static_cast<float>(-k * kPi / 4);
    P.angA = theta;
    P.angC = -theta;
    const float u = std::cos(theta) / W1, v = std::sin(theta) / H1;
    // Image 2 about 45 % of the extent in direction theta.
    P.angB = 0.45f * phi / (std::sqrt(u * u + v * v) * m);
    return OneAlign(&P, setting, 0, pts, n);
}

int CMFCAlign::OneMFCAlign(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, POINT2** pts,
                           int* n)
{
    Logger::log("One*A*: enter: (%d)", 3, mode);
    ClearResult(pts, n);
    if (!pts || !n || !UsableInputs(prms, "OneMFCAlign")) return mode == 1 ? kMFCNoOverlap : kMFCNoAlignment;
    const int W1 = m_img1->GetWidth(), H1 = m_img1->GetHeight();
    if (mode != 1) {
        DeleteCurves(GetNameDebugWin0(), 0, 0);
        DeleteCurves(GetNameDebugWin2(), 0, 0);
    }
    if (GetDebugDispFlag()) {
        CreateImageWindow(W1 + m_img2->GetWidth(), H1, GetNameDebugWin1());
        DisplayImageWin1(m_img1, nullptr, 0, 0);
        DisplayImageWin1(m_img2, nullptr, W1, 0);
    }

    int r = OneAlign(prms, setting, mode, pts, n);
    if (r == kMFCAligned || mode == 1) return r;
    if (r == kMFCNoOverlap) return kMFCNoAlignment;
    if (!setting) return kMFCNoAlignment;
    const float x = setting->toleranceH;
    if (x < 0.101f) return r;

    // Retries with the pan moved by p per cent of the field of view, first
    // back, then forward (keeping at least a quarter of the view shared).
    const float extent = static_cast<float>(IsSideways(prms->angC) ? H1 : W1);
    const float fov = 2.0f * std::atan(extent * prms->rcpF2 / 2.0f);
    const float p = std::min(200.0f * x / 3.0f, 20.0f);
    const float f = p / 100.0f;
    PAIR_WALIGN_RR_PRMS2 P = *prms;
    P.angB -= f * fov;
    r = OneAlign(&P, setting, 1, pts, n);
    if (r == kMFCAligned) return r;
    P = *prms;
    P.angB += f * fov;
    const float q = 100.0f * (1.0f - P.angB / fov);
    if (q < 20.0f) return r;
    if (q < 25.0f) P.angB = 0.75f * fov;
    r = OneAlign(&P, setting, 1, pts, n);
    Logger::log("One*A*: leave: (%d)", 3, r);
    return r;
}

int CMFCAlign::OneAlign(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, POINT2** pts, int* n)
{
    Logger::log("OneA*: enter: (%d)", 3, mode);
    ClearResult(pts, n);
    if (!pts || !n || !UsableInputs(prms, "OneAlign")) return kMFCNoOverlap;
    const int W1 = m_img1->GetWidth(), H1 = m_img1->GetHeight();
    int r;
    if (mode == -1) {
        const int step = std::max(1, std::max(W1, H1) / 300);
        r = OneLaTaNCCMap_1(prms, mode, step, pts, n);
    } else {
        m_overlapArea = CalcOverlapArea(prms);
        if (!(m_overlapArea >= 15000.0f)) return kMFCNoOverlap;
        if (m_overlapArea < 30000.0f && m_overlapArea < 0.3f * float(W1) * float(H1)) return kMFCNoOverlap;
        const float z = WorkingZoom(mode, setting, m_overlapArea);
        r = OneLaTaNCCMap_SS(prms, setting, mode, z, z, pts, n);
    }
    Logger::log("OneA*: leave: (%d)", 3, r);
    return r;
}

float CMFCAlign::WorkingZoom(int mode, const PAIR_ALIGN_INIT_SETTING* setting, float area)
{
    // Working area: the overlap is zoomed down to about this many pixels.
    const float target = mode != 0 ? 202500.0f : (setting && setting->userSet == 0) ? 90000.0f : 122500.0f;
    return std::min(1.0f, std::sqrt(target / area));
}

int CMFCAlign::OneLaTaNCCMap_SS(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, float zx,
                                float zy, POINT2** pts, int* n)
{
    Logger::log("OneLaTa*: enter: (%d %.3f %.3f)", 3, mode, double(zx), double(zy));
    ClearResult(pts, n);
    if (!pts || !n || !UsableInputs(prms, "OneLaTaNCCMap_SS")) return kMFCNoOverlap;
    const float s = 0.7f;
    // A large overlap of a first attempt with default settings is searched
    // on the edge image at 70 % first.
    const bool reduced = zx * m_overlapArea * zy * s * s > 90000.0f && mode == 0 && setting && setting->userSet == 0;
    COverlapSS ov;
    const bool made = reduced ? ov.MainOverlapSS(m_img1, m_img2, prms, zx * s, int(30 * s), int(20 * s), false)
                              : ov.MainOverlapSS(m_img1, m_img2, prms, zx, 30, 20, false);
    Logger::log("OneLaTa*: ***1 (%d %d)", 4, int(reduced), int(made));
    if (!made) return kMFCNoOverlap;

    int rangeX, rangeY;
    if (mode != 0) {
        rangeX = rangeY = kRetryRange;
    } else {
        float rx = 8.0f, ry = 8.0f;
        if (setting && setting->userSet == 0) {
            rx = 30.0f;
            ry = 15.0f;
        } else if (setting) {
            rx = RangeFromTolerance(setting->toleranceH);
            ry = RangeFromTolerance(setting->toleranceV);
        }
        const float e = (IsSideways(prms->angA) ? m_img1->GetHeight() : m_img1->GetWidth()) * ov.GetZoom();
        rangeX = static_cast<int>(e * rx / 100.0f);
        rangeY = static_cast<int>(e * ry / 100.0f);
    }
    Logger::log("OneLaTa*: ***2 (%d %d)", 4, rangeX, rangeY);
    int r = OneLaTaNCCSearch_SS(&ov, mode, 8, rangeX, rangeY, pts, n);
    if (r != kMFCNoAlignment) return r;

    rangeX += rangeX / 5;
    rangeY += rangeY / 5;
    if (reduced) {
        // The colour channels at full size: the ranges in full-size pixels.
        COverlapSS full;
        if (!full.MainOverlapSS(m_img1, m_img2, prms, zx, 30, 20, false)) return kMFCNoOverlap;
        rangeX = static_cast<int>(rangeX / s);
        rangeY = static_cast<int>(rangeY / s);
        Logger::log("OneLaTa*: ***3b (%d %d)", 4, rangeX, rangeY);
        r = OneLaTaNCCSearch_SS(&full, mode, 7, rangeX, rangeY, pts, n);
    } else {
        Logger::log("OneLaTa*: ***3a (%d %d)", 4, rangeX, rangeY);
        r = OneLaTaNCCSearch_SS(&ov, mode, 7, rangeX, rangeY, pts, n);
    }
    Logger::log("OneLaTa*: enter: (%d)", 3, r);
    return r;
}

int CMFCAlign::OneLaTaNCCMap_2(PAIR_WALIGN_RR_PRMS2* prms, PAIR_ALIGN_INIT_SETTING* setting, int mode, float zx,
                               float zy, POINT2** pts, int* n)
{
    ClearResult(pts, n);
    if (!pts || !n || !UsableInputs(prms, "OneLaTaNCCMap_2")) return kMFCNoOverlap;
    COverlapRR ov;
    if (!ov.MainOverlapRR(m_img1, m_img2, prms, zx, zy, 30, 20, false)) return kMFCNoOverlap;
    int rangeX, rangeY;
    if (mode != 0) {
        rangeX = rangeY = kRetryRange;
    } else {
        const float rx = setting ? RangeFromTolerance(setting->toleranceH) : 8.0f;
        const float ry = setting ? RangeFromTolerance(setting->toleranceV) : 8.0f;
        const float e = IsSideways(prms->angA) ? m_img1->GetHeight() * zy : m_img1->GetWidth() * zx;
        rangeX = static_cast<int>(e * rx / 100.0f);
        rangeY = static_cast<int>(e * ry / 100.0f);
    }
    int r = OneLaTaNCCSearch_2(&ov, mode, 8, rangeX, rangeY, pts, n);
    if (r == kMFCNoAlignment) r = OneLaTaNCCSearch_2(&ov, mode, 7, rangeX, rangeY, pts, n);
    return r;
}

int CMFCAlign::OneLaTaNCCMap_1(PAIR_WALIGN_RR_PRMS2* prms, int mode, int step, POINT2** pts, int* n)
{
    ClearResult(pts, n);
    if (!pts || !n || !UsableInputs(prms, "OneLaTaNCCMap_1")) return kMFCNoAlignment;
    CPolarOverlap ov(step, 0, 0);
    ov.InitFromPairPrms(prms);
    if (!ov.MakeOverlapImgs(m_img1, m_img2)) return kMFCNoAlignment;
    const int r = RunGridFit(ov.GetImgO1(), ov.GetImgO2(), ov.GetPolygon(), ov.GetOverlapBox(), mode, m_chanMode,
                             false, 0, 0, pts, n);
    if (r == kMFCAligned) {
        ov.PtPairsOverlapToRawFrames(pts, *n);
        ShowMarkerPairs(pts, *n);
    }
    return r;
}

template <class Overlap>
int CMFCAlign::OneLaTaNCCSearch(Overlap* ov, int mode, int chan, int rangeX, int rangeY, POINT2** pts, int* n)
{
    ClearResult(pts, n);
    if (!ov || !pts || !n) return kMFCNoAlignment;
    const int r = RunGridFit(ov->GetImgO1(), ov->GetImgO2(), ov->GetPolygon(), ov->GetOverlapBox(), mode, chan, true,
                             rangeX, rangeY, pts, n);
    if (r == kMFCAligned) {
        ov->PtPairsOverlapToRawFrames(pts, *n);
        ShowMarkerPairs(pts, *n);
    }
    return r;
}

int CMFCAlign::OneLaTaNCCSearch_SS(COverlapSS* ov, int mode, int chan, int rangeX, int rangeY, POINT2** pts, int* n)
{
    return OneLaTaNCCSearch(ov, mode, chan, rangeX, rangeY, pts, n);
}

int CMFCAlign::OneLaTaNCCSearch_2(COverlapRR* ov, int mode, int chan, int rangeX, int rangeY, POINT2** pts, int* n)
{
    return OneLaTaNCCSearch(ov, mode, chan, rangeX, rangeY, pts, n);
}

int CMFCAlign::RunGridFit(Image* o1, Image* o2, gpc_polygon* polygon, REGION* box, int mode, int chan,
                          bool setRange, int rangeX, int rangeY, POINT2** pts, int* n)
{
    ClearResult(pts, n);
    // The selector reads the polygon's first contour unconditionally.
    if (!o1 || !o2 || !polygon || polygon->count < 1 || !box) return kMFCNoAlignment;
    // The overlap is image 2's outline where image 1 has pixels: the outline
    // alone may run far past image 1 (the plane overlap images span all of
    // image 2), and templates laid there would find nothing to match.
    overlap::PolygonPtr common(CPolyGeom::IntPolygonBox(polygon, box));
    if (!common || common->count < 1) return kMFCNoAlignment;
    CNCCMapsAlign fit;
    fit.Maps().InitPrms(o1, o2, common.get(), box, mode, chan);
    if (setRange) fit.Maps().RefSelect().SetCCRangeXY(rangeX, rangeY);
    fit.Maps().NccMake().ShowChannelImages(mode ? 400 : 0, 0, 0);
    if (!fit.Run(pts, n) || !pts[0] || !pts[1] || *n < 1) {
        FreePoints(pts);
        *n = 0;
        return kMFCNoAlignment;
    }
    return kMFCAligned;
}

void CMFCAlign::ShowMarkerPairs(POINT2** pts, int n)
{
    if (!pts || !pts[0] || !pts[1] || !m_img1) return;
    Marker* g0 = CreateMarkerGroup(0, GetNameDebugWin1(), 0, 0);
    Marker* g1 = CreateMarkerGroup(1, GetNameDebugWin1(), m_img1->GetWidth(), 0);
    if (!g0 || !g1) return;
    for (int i = 0; i < n; ++i) {
        g0->AppendMarker(pts[0][i].x, pts[0][i].y);
        g1->AppendMarker(pts[1][i].x, pts[1][i].y);
    }
}
