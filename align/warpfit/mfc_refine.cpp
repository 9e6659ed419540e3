#include "align/warpfit/mfc_refine.h"

#include "align/pairlock/mfc_align.h"
#include "align/warpfit/h_align.h"
#include "align/warpfit/w_align.h"
#include "imaging/image.h"
#include "platform/panocore/panocore_settings.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"

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

int CMFCRefine::FitWarp(PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int* n, int fixAperture, float apertureDeg, int fixMag,
                        float mag)
{
    // Image 2's points enter in image 1's scale (divided by 1 / mag), so that
    // the fitted scale is relative to mag.
    if (!(mag > 0) || !std::isfinite(mag)) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: invalid scale %f", 1, double(mag));
        return 0;
    }
    const int count = *n;
    CWAlign fit(!fixMag, !fixAperture);
    fit.InitWAlignPrms(prms);
    std::unique_ptr<POINT2M[]> m1(CWAlign::convertPOINT2ToM(pts[0], count));
    std::unique_ptr<POINT2M[]> m2(CWAlign::convertPOINT2ToM(pts[1], count));
    POINT2M* records[2] = {m1.get(), m2.get()};
    if (!fit.InitPtPairData(m_img[0], m_img[1], records, count, 1.0f / mag, 0)) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: %d matched pairs are too few for the fit", 1, count);
        return 0;
    }
    if (fixAperture) fit.SetAperture(apertureDeg);
    int kept = count;
    if (!fit.MainWAlign(&kept)) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: the warp fit failed", 1);
        return 0;
    }
    PAIR_WALIGN_PRMS result = *fit.GetPrms();
    result.scale = fixMag ? mag : result.scale * mag;
    *prms = result;
    // The kept pairs first, in their order, then the dropped ones.
    std::vector<POINT2> sorted[2];
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < count; ++i) {
            if (fit.IsPairExcluded(i) != (pass == 1)) continue;
            sorted[0].push_back(pts[0][i]);
            sorted[1].push_back(pts[1][i]);
        }
    }
    for (int k = 0; k < 2; ++k) std::copy(sorted[k].begin(), sorted[k].end(), pts[k]);
    *n = kept;
    return 1;
}

int CMFCRefine::FitHomography(PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int n, int fixAperture, int fixMag)
{
    CHAlign h(!fixMag, !fixAperture);
    if (!h.InitPtPairData(m_img[0], m_img[1], pts, n, 0)) return 0;
    if (!h.MainHAlign()) {
        Logger::log("ERROR CMFCRefine::MainMFCRefine: no homography from %d matched pairs", 1, n);
        return 0;
    }
    *prms = *h.GetPrms();
    return 1;
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
    if (align.OneMFCAlign(&rr, nullptr, 1, pts, n) != kMFCAligned) {
        CMFCAlign::FreePoints(pts);
        *n = 0;
        return 0;
    }
    const int result = IsMarkerWAlign() == 1 ? FitWarp(prms, pts, n, fixAperture, apertureDeg, fixMag, mag)
                                             : FitHomography(prms, pts, *n, fixAperture, fixMag);
    if (result != 1) {
        CMFCAlign::FreePoints(pts);
        *n = 0;
    }
    return result;
}
