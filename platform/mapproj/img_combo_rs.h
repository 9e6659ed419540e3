// Overlays of an image pair on the panorama sphere for the correlation
// refiner: each image resampled onto a patch of a rectangular sphere map, so
// that the same scene point lies at the same map position in both.
#pragma once

#include "core/pair_align_records.h"
#include "imaging/image.h"

#include <cstdint>

// Where an overlay lies on the rectangular sphere map: the number of map
// samples around the full circle and the map column and row of the overlay's
// top-left pixel, counted from longitude 0 and the equator (a map position
// (x, y) lies at longitude x 2 pi / samples, latitude y 2 pi / samples).
struct OverlayGrid {
    int32_t samples;
    int32_t column;
    int32_t row;
};

class CImgComboRS {
public:
    // Resamples img1 and img2 (8-bit, 1 or 3 channels) onto the sphere with
    // the pair prms in the earlier form (word 8 set): img1 at rest, img2
    // placed from the pair. The overlays are at most `size` pixels on a side
    // and at most image 1's resolution; each covers its own image. Pixels
    // outside an image are 0, a first sample of 0 inside is stored as 1.
    // t1 and t2 receive the placements (reciprocal focal length, pan, tilt,
    // roll, scale 1.0, flag 1, neutral colour block), grid1 and grid2 the
    // overlays' map grids. The overlay pixel (x, y) of image k lies at map
    // position (column + x, row + y) of grid k.
    // Returns 1, or 0 with an ERROR line (outputs null) when the images or
    // parameters give no overlay. The two floats are not used.
    static int Overlay2ImgRS_0(Image* img1, Image* img2, const PAIR_WALIGN_PRMS* prms, float, float, int size,
                               Image** overlay1, Image** overlay2, TRANSFORM_RS* t1, TRANSFORM_RS* t2,
                               OverlayGrid* grid1, OverlayGrid* grid2);
};
