// Marker refinement of a roughly aligned pair: matched points from the
// multi-channel aligner of Pairlock, then the earlier-form parameters fitted
// to them by the warp fit (CWAlign) or by the homography (CHAlign), as the
// stitching core's setting says. Called by the stitching core.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"

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
    // count. With the warp fit *n is the number of pairs it kept, and those
    // pairs come first in both arrays. 0 when no points were matched or the
    // fit failed: *prms unchanged, both arrays null, *n 0.
    // mag is the scale of image 2 against image 1 (word 4's meaning): fixed
    // with fixMag, the start of the fitted scale otherwise; apertureDeg is
    // the full field of view used with fixAperture.
    int MainMFCRefine(PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int* n, int fixAperture, float apertureDeg, int fixMag,
                      float mag);

private:
    int FitWarp(PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int* n, int fixAperture, float apertureDeg, int fixMag,
                float mag);
    int FitHomography(PAIR_WALIGN_PRMS* prms, POINT2* pts[2], int n, int fixAperture, int fixMag);

    Image* m_img[2] = {nullptr, nullptr};
};
