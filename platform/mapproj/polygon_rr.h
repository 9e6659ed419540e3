// Outlines of one image of a pair carried into the other's frame, and the
// area the two share: the mapping module's polygon side, on the same pinhole
// model as the polygon mapper that warps the pixels. Called by the overlap
// images, the multi-channel aligner, contour matching and seam blending.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"

class CPolygonRR {
public:
    // The outline of a srcWidth x srcHeight image carried into a frameWidth x
    // frameHeight frame by the pair (rcpF1 = r, rcpF2 = r / q, angles a, b,
    // c): one contour in the frame's top-left pixel coordinates, each image
    // measured from its centre (W / 2, H / 2). The outline is the image's
    // pixel area, so that scan-converting it gives the pixels the mapper
    // fills. It is not cut to the frame (callers cross it with other
    // outlines); only the part at or behind the frame's horizon is cut away
    // and the rest kept within a few frame sizes of the frame. A new polygon
    // (CPolyClip::gpc_free_polygon, then delete), with no contour when
    // nothing maps, or null with an ERROR line when the arguments give no
    // transform. When given, *frame receives the frame's own pixel area and
    // *overlap the outline cut to it, both new polygons. The float is not read.
    static gpc_polygon* MapImgBoundsRR(int srcWidth, int srcHeight, int frameWidth, int frameHeight, float r, float a,
                                       float b, float q, float c, float unused, gpc_polygon** frame = nullptr,
                                       gpc_polygon** overlap = nullptr);
    // The polar overlap's form of the same (its pair is kept as the inverse
    // transform and warped by the same homography); same arguments.
    static gpc_polygon* MapImgBoundSPolarRR(int srcWidth, int srcHeight, int frameWidth, int frameHeight, float r,
                                            float a, float b, float q, float c, float unused,
                                            gpc_polygon** frame = nullptr);

    // The area, in pixels of img1, that the two images share when prms maps
    // img1 into img2: img2's outline carried into img1 and cut to img1.
    // 0 (with an ERROR line) when an image is missing or prms gives no
    // transform.
    // The pixel area of a width x height image in its centred frame (origin
    // at pixel (W / 2, H / 2), so it spans -W / 2 - 0.5 .. W / 2 - 0.5): one contour, a new polygon (gpc_free_polygon, then
    // delete); null with an ERROR line for a size below 1.
    static gpc_polygon* MakeImgBound(int width, int height);

    static float TwoImgsOverlapArea(Image* img2, Image* img1, const PAIR_WALIGN_RR_PRMS2* prms);
};
