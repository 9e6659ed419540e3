// Image outlines carried from one frame into another under the pinhole model:
// the shared geometry of the mapping module (outline polygons, overlap areas).
// Internal to Mapproj.
#pragma once

#include "core/pair_align_records.h"

#include <vector>

namespace mapproj {

struct Pt {
    double x, y;
};
using Ring = std::vector<Pt>;

// The pixel area of a W x H image in its top-left pixel coordinates:
// (-0.5, -0.5) to (W - 0.5, H - 0.5), so that scan conversion of the outline
// gives exactly the image's pixels.
Ring PixelAreaRect(int width, int height);

// Keeps the part of a convex ring where a x + b y + c >= 0.
Ring ClipHalfPlane(const Ring& ring, double a, double b, double c);
// Keeps the part inside the rectangle [x0, x1] x [y0, y1].
Ring ClipRect(const Ring& ring, double x0, double y0, double x1, double y1);
// Absolute area (shoelace).
double Area(const Ring& ring);

// The outline of a Ws x Hs source image carried into a wd x ht frame by the
// pair p (source = its first image, frame = its second), in the frame's
// top-left pixel coordinates. Images are measured from their centres
// (W / 2, H / 2 in integers). The part of the source at or behind the
// frame's horizon is cut away, and the result is kept within a window a few
// frame sizes around the frame so that its vertices stay finite. Empty when
// nothing maps or p gives no transform.
Ring MapOutline(int srcWidth, int srcHeight, int frameWidth, int frameHeight, const PAIR_WALIGN_RR_PRMS2& p);

}  // namespace mapproj
