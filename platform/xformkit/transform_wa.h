// Pair-transform algebra of the outside transform module: inverting a pair
// transform, its 3 x 3 matrix, mapping points through it, converting to and
// from the earlier parameter form and placing frames on the sphere. Called by
// pair alignment, warp refinement, contour matching, blending and the
// stitching manager.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"

class CTransformWA {
public:
    // dst becomes the transform from the second image to the first: focal
    // lengths swapped, angles (a, b, c) -> (-c, -b, -a). src may equal dst.
    static void InvertAlignPrmsRR2(const PAIR_WALIGN_RR_PRMS2* src, PAIR_WALIGN_RR_PRMS2* dst);

    // m (nine floats, rows first) becomes the homography that maps a point of
    // the first image into the second under p. Without centres both images
    // are measured from their centres; with c1 (c2) the input (output) is
    // measured from the top-left pixel and c1 (c2) is that image's centre.
    // False, with m untouched and an ERROR line, when a focal length is not
    // positive and finite.
    static bool PairAlignPrmsRR2toM(const PAIR_WALIGN_RR_PRMS2* p, const POINT2* c1, const POINT2* c2, float* m);

    // out = m applied to in. False (out untouched) when in maps on or behind
    // the horizon of the target image.
    static bool TransformPtRR2(const POINT2* in, POINT2* out, const float* m);
    // The same for n points; in and out may be the same array. Points that do
    // not map are left as they were; the result counts those that did.
    static int TransformPtsRR2(const POINT2* in, POINT2* out, int n, const float* m);

    // second's reciprocal focal length and (pan, tilt, roll) from first's
    // placement and the pair transform, so that matched points of the pair
    // land on the same place of the sphere. Other fields of second are kept.
    static bool PairPrmsGlobalImg1To_2(const PAIR_WALIGN_RR_PRMS2* p, const TRANSFORM_RS* first, TRANSFORM_RS* second);
    // Places the first frame of a pair: reciprocal focal length from p, pan
    // from `pan`, tilt and roll 0, optical centre from `centre` when given.
    static bool PairPrmsToGlobalImg_1(const PAIR_WALIGN_RR_PRMS2* p, const POINT2* centre, float pan, TRANSFORM_RS* first);
    // The pair transform between two placed frames (inverse of the above).
    static bool GlobalToPairPrms12(const TRANSFORM_RS* first, const TRANSFORM_RS* second, PAIR_WALIGN_RR_PRMS2* p);

    // Earlier form <-> rotation form. The earlier form puts image 1 at roll
    // word 5, image 2 at roll word 6, scaled by word 4, panned by word 9, with
    // tan(word 7) / word 8 the first image's reciprocal focal length. The
    // rotation form is rcpF1 = tan(w7) / w8, rcpF2 = rcpF1 * w4, angles
    // (w5, w9, -w6). RR2toS reads word 8 of s, which the caller sets first.
    // Words 0-3 are carried across. False (output untouched) on values that
    // give no transform (word 8 not positive, focal lengths not positive).
    static bool PairAlignPrmsStoRR2(const PAIR_WALIGN_PRMS* s, PAIR_WALIGN_RR_PRMS2* r);
    static bool PairAlignPrmsRR2toS(const PAIR_WALIGN_RR_PRMS2* r, PAIR_WALIGN_PRMS* s);
};
