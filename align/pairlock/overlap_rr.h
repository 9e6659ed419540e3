// Overlap images of an image pair in the image plane: the second image warped
// into the (optionally zoomed) frame of the first with the pair transform, the
// first cut to the same region, and matched points of the two overlap images
// carried back into the input images. Used by the multi-channel aligner's
// plane path.
#pragma once

#include "platform/mapproj/map_overlap_rr.h"
#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"
#include "core/win_types.h"

// The overlap images are CMapOverlapRR's (platform/mapproj: frames,
// polygons and the shared resampling); here the pair aligner warps image 2
// with the view engine's polygon mapper and carries matched points back.
class COverlapRR : public CMapOverlapRR {
public:
    COverlapRR();
    ~COverlapRR() override;

    // Stores the pair and the transform (image 1 -> image 2), then makes the
    // overlap images. The bool is not used. False, with no overlap images,
    // when the inputs are unusable, the outline maps to nothing or the
    // images cannot be made.
    bool MainOverlapRR(Image* img1, Image* img2, PAIR_WALIGN_RR_PRMS2* prms, float zoomX, float zoomY, int marginX,
                       int marginY, bool);

    // The view engine's polygon mapper (CPolyMapRR::MapImgRegions).
    bool WarpRegion(Image* src, Image* dst, const gpc_polygon* region, const POINT* offset,
                    const PAIR_WALIGN_RR_PRMS2* P, bool bilinear) override;

    // Points of overlap image 1 (pairs[0]) and of overlap image 2 (pairs[1])
    // into image 1 and image 2 (top-left pixel coordinates), in place.
    // 1; 0 (an ERROR line, points untouched) before overlap images exist.
    int PtPairsOverlapToRawFrames(POINT2* pairs[2], int n);
};
