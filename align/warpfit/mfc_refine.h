// Marker refinement of a roughly aligned pair: matched points from the
// multi-channel aligner of Pairlock, then the earlier-form parameters fitted
// to them by the warp fit (CWAlign) or by the homography (CHAlign), as the
// stitching core's setting says. Called by the stitching core.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"

#include <vector>

class Image;

class CMFCRefine {
public:
    // Raises both images' reference counts; the destructor lowers them.
    CMFCRefine(Image* img1, Image* img2);
    ~CMFCRefine();
    CMFCRefine(const CMFCRefine&) = delete;
    CMFCRefine& operator=(const CMFCRefine&) = delete;

    // Refines *prms (earlier form, word 8 set). 1 when a fit was made: *prms
    // updated, pts[0] and pts[1] the matched points (top-left pixels of
    // image 1 and image 2, new[] arrays the caller delete[]s) and *n their
    // count. *n counts the pairs the fit kept (the warp fit leaves out
    // outliers) that also lie within CRefineGate's residual gate of the fitted
    // transform; they come first in both arrays, the others after them. 0
    // when no points were matched, the fit failed or the gate refused it
    // (pairs that disagree with the fit, a fit beyond the retry's search
    // range, too few pairs within the gate): *prms unchanged, both arrays
    // null, *n 0.
    // mag is the scale of image 2 against image 1 (word 4's meaning): fixed
    // with fixMag, the start of the fitted scale otherwise; apertureDeg is
    // the full field of view used with fixAperture.
    int MainMFCRefine(PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int* n, int fixAperture, float apertureDeg, int fixMag,
                      float mag);

private:
    // The fits: the parameters into *out and, per pair, whether the fit kept
    // it; *prms is only read.
    bool FitWarp(const PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int n, int fixAperture, float apertureDeg, int fixMag,
                 float mag, PAIR_WALIGN_PRMS* out, std::vector<char>& kept);
    bool FitHomography(POINT2* pts[2], int n, int fixAperture, int fixMag, PAIR_WALIGN_PRMS* out,
                       std::vector<char>& kept);

    Image* m_img[2] = {nullptr, nullptr};
};
