#include "align/warpfit/mfc_refine.h"

#include "align/pairlock/mfc_align.h"
#include "align/warpfit/h_align.h"
#include "align/warpfit/refine_gate.h"
#include "align/warpfit/w_align.h"
#include "imaging/image.h"
#include "platform/panocore/panocore_settings.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

CMFCRefine::CMFCRefine(Image* img1, Image* img2)
{
    m_img[0] = img1;
    m_img[1] = img2;
    RefAdd(img1);
    RefAdd(img2);
}

CMFCRefine::~CMFCRefine()
{
    ReleaseImage(m_img[0]);
    ReleaseImage(m_img[1]);
}

bool CMFCRefine::FitWarp(const PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int n, int fixAperture, float apertureDeg,
                         int fixMag, float mag, PAIR_WALIGN_PRMS* out, std::vector<char>& kept)
{
    // Image 2's points enter in image 1's scale (divided by 1 / mag), so that
    // the fitted scale is relative to mag.
    if (!(mag > 0) || !std::isfinite(mag)) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: invalid scale %f", 1, double(mag));
        return false;
    }
    CWAlign fit(!fixMag, !fixAperture);
    fit.InitWAlignPrms(prms);
    std::unique_ptr<POINT2M[]> m1(CWAlign::convertPOINT2ToM(pts[0], n));
    std::unique_ptr<POINT2M[]> m2(CWAlign::convertPOINT2ToM(pts[1], n));
    POINT2M* records[2] = {m1.get(), m2.get()};
    if (!fit.InitPtPairData(m_img[0], m_img[1], records, n, 1.0f / mag, 0)) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: %d matched pairs are too few for the fit", 1, n);
        return false;
    }
    if (fixAperture) fit.SetAperture(apertureDeg);
    int fitKept = n;
    if (!fit.MainWAlign(&fitKept)) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: the warp fit failed", 1);
        return false;
    }
    *out = *fit.GetPrms();
    out->scale = fixMag ? mag : out->scale * mag;
    kept.assign(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) kept[i] = !fit.IsPairExcluded(i);
    return true;
}

bool CMFCRefine::FitHomography(POINT2* pts[2], int n, int fixAperture, int fixMag, PAIR_WALIGN_PRMS* out,
                               std::vector<char>& kept)
{
    CHAlign h(!fixMag, !fixAperture);
    if (!h.InitPtPairData(m_img[0], m_img[1], pts, n, 0)) return false;
    if (!h.MainHAlign()) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: no homography from %d matched pairs", 1, n);
        return false;
    }
    *out = *h.GetPrms();
    kept.assign(static_cast<size_t>(n), 1);
    return true;
}

int CMFCRefine::MainMFCRefine(PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int* n, int fixAperture, float apertureDeg,
                              int fixMag, float mag)
{
    if (!pts || !n) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: no point output", 1);
        return 0;
    }
    pts[0] = pts[1] = nullptr;
    *n = 0;
    PAIR_WALIGN_RR_PRMS2 rr;
    if (!prms || !m_img[0] || !m_img[1] || !CTransformWA::PairAlignPrmsStoRR2(prms, &rr)) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: invalid images or parameters", 1);
        return 0;
    }
    CMFCAlign align(m_img[0], m_img[1]);
    const int mode = 1;  // a retry around a known transform: fixed search range
    if (const int r = align.OneMFCAlign(&rr, nullptr, mode, pts, n); r != kMFCAligned) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: no matched points (alignment result %d)", 1, r);
        CMFCAlign::FreePoints(pts);
        *n = 0;
        return 0;
    }
    const int count = *n;
    PAIR_WALIGN_PRMS fitted{};
    std::vector<char> kept;
    const bool fit = IsMarkerWAlign() == 1
                         ? FitWarp(prms, pts, count, fixAperture, apertureDeg, fixMag, mag, &fitted, kept)
                         : FitHomography(pts, count, fixAperture, fixMag, &fitted, kept);
    if (!fit) {
        CMFCAlign::FreePoints(pts);
        *n = 0;
        return 0;
    }
    // The matches lie in the aligner's working images, whose scale against
    // image 2 follows from the overlap it measured.
    const double zoom = CMFCAlign::WorkingZoom(mode, nullptr, align.GetOverlapArea());
    const CRefineGate gate(*prms, zoom * rr.rcpF2 / rr.rcpF1, CMFCAlign::kRetryRange, "CMFCRefine::MainMFCRefine");
    std::vector<POINT2> c1(static_cast<size_t>(count)), c2(static_cast<size_t>(count));
    const POINT2 half1{m_img[0]->GetWidth() / 2.0f, m_img[0]->GetHeight() / 2.0f};
    const POINT2 half2{m_img[1]->GetWidth() / 2.0f, m_img[1]->GetHeight() / 2.0f};
    for (int i = 0; i < count; ++i) {
        c1[i] = POINT2{pts[0][i].x - half1.x, pts[0][i].y - half1.y};
        c2[i] = POINT2{pts[1][i].x - half2.x, pts[1][i].y - half2.y};
    }
    std::vector<char> within;
    if (!gate.Accept(fitted, c1.data(), c2.data(), count, within, &kept)) {
        CMFCAlign::FreePoints(pts);
        *n = 0;
        return 0;
    }
    // The pairs the fit kept and the gate passed first, in their order, then
    // the others.
    std::vector<POINT2> sorted[2];
    int good = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < count; ++i) {
            const bool match = kept[i] && within[i];
            if (match != (pass == 0)) continue;
            sorted[0].push_back(pts[0][i]);
            sorted[1].push_back(pts[1][i]);
            good += match;
        }
    }
    for (int k = 0; k < 2; ++k) std::copy(sorted[k].begin(), sorted[k].end(), pts[k]);
    *n = good;
    *prms = fitted;
    return 1;
}
