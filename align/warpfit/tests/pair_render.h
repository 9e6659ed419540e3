// Image pairs with a known rotation for the Warpfit tests and benchmark:
// perspective views rendered from a real equirectangular panorama of the
// shared test data, decoded with the suite's JPEG decoder.
#pragma once

#include "align/warpfit/tests/warpfit_test_util.h"
#include "imaging/image.h"

#include <string>

namespace warptest {

// Decodes a JPEG file into an 8-bit interleaved Image holding one reference
// (release with ReleaseImage); null on failure.
Image* LoadJpeg(const std::string& path);

// The placement of a view: world ray = place * camera ray, camera frame x
// right, y down, z forward; pan turns right, tilt down (radians).
M3 PlaceView(double pan, double tilt);

// A w x h perspective view of the equirectangular panorama (longitude
// -pi..pi across, latitude -pi/2 (top) .. pi/2 down): pixel (i, j) sees the
// camera ray (r (i - w / 2), r (j - h / 2), 1) turned by `place`; bilinear.
// One reference held by the caller.
Image* RenderView(const Image& equirect, int w, int h, double rcpF, const M3& place);

// The second view of a pair (r1, r2, a, b, c) whose first view has
// placement `place1`: ray2 = R ray1 gives world = place1 R^T camera2.
M3 SecondPlacement(const M3& place1, double a, double b, double c);

}  // namespace warptest
