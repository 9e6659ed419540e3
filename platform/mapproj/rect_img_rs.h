// The flat perspective picture of a region of an equirectangular strip, for
// the panorama view's "Create perspective view". The strip is any part of a
// world map of equator width W (W / 2pi pixels per radian both ways); only
// the equator row and W tie it to the sphere, so a strip that starts at any
// column works. Called by the rect-map view.
#pragma once

#include "core/win_types.h"

class Image;

class CRectImgRS {
public:
    // The largest half field of view, as a fraction of a right angle, that a
    // field-of-view factor of 1 allows: beyond it a plane picture stretches
    // without limit.
    static constexpr double kRightAngle = 1.5707963267948966;

    // A new image (one reference for the caller), or null, with the gnomonic
    // projection of `region` (inclusive, strip pixels) seen from its middle:
    // focal length W / 2pi x scale, so that the middle keeps the strip's
    // resolution; half angles of view as the region's, each at most
    // fieldFactor x pi / 2; `roll` turns the picture about the view axis
    // (radians). Samples are bilinear; directions outside the strip are
    // black, except that a strip as wide as the whole equator wraps round.
    // `panShift` moves the view direction by that many strip columns.
    static Image* BitmapAreaToPlane(const Image* strip, int equatorRow, int equatorWidth, const RECT* region,
                                    int panShift, float fieldFactor, float roll, float scaleX, float scaleY);
};
