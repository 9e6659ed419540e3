// Fixtures of the overlap and aligner tests: images whose pixels say where
// they are, a pinhole pair written out from first principles (independent of
// the transform module), and views rendered from an equirectangular panorama.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"

#include <array>
#include <string>
#include <vector>

namespace overlaptest {

// Pixel (x, y) holds its own position, exactly: samples 1 + x % 250,
// 1 + y % 250 and 1 + x / 250 + 8 (y / 250) (no sample is 0, which would
// read as "no data"). For images up to 2000 x 2000.
Image* MakeCodedImage(int width, int height);
// The position a coded pixel holds; false for a pixel of zeros (no data).
bool DecodePixel(const Image& image, int x, int y, int& px, int& py);

// Linear ramps: sample 0 is 1 + x, sample 1 is 1 + y, sample 2 is 128, so
// that a bilinear sample at (x, y) reads back its position to within half a
// grey level. For images up to 254 x 254.
Image* MakeRampImage(int width, int height);
// The position a ramp sample holds; false for a pixel of zeros.
bool DecodeRamp(const Image& image, int x, int y, double& px, double& py);

// A pair transform from reciprocal focal lengths and the three angles.
PAIR_WALIGN_RR_PRMS2 PairPrms(float rcp1, float rcp2, float a, float b, float c);

// Every pixel of a w x h overlap image as a point pair (a[k] = b[k] = pixel
// (k % w, k / w)), then carried back into the two images by the overlap's
// PtPairsOverlapToRawFrames, whose result is returned.
template <class Overlap>
int MapEveryPixelBack(Overlap& ov, int w, int h, std::vector<POINT2>& a, std::vector<POINT2>& b)
{
    a.clear();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) a.push_back({float(x), float(y)});
    b = a;
    POINT2* pairs[2] = {a.data(), b.data()};
    return ov.PtPairsOverlapToRawFrames(pairs, int(a.size()));
}

// The pair rotation as documented for PAIR_WALIGN_RR_PRMS2: the ray of a
// first-image point goes to Az(c) Ay(b) Az(a) times that ray, with
// Az(t) = [cos t, sin t, 0; -sin t, cos t, 0; 0, 0, 1] and
// Ay(t) = [cos t, 0, -sin t; 0, 1, 0; sin t, 0, cos t] (rows first).
std::array<double, 9> PairRotation(double a, double b, double c);
// A first-image point (pixels from its centre) into the second image (pixels
// from its centre); false behind the second image.
bool MapPair(const PAIR_WALIGN_RR_PRMS2& p, double x, double y, double& ox, double& oy);
// The same for top-left pixel coordinates of W1 x H1 and W2 x H2 images
// (centres at W / 2, H / 2 in integers).
bool MapPairPixels(const PAIR_WALIGN_RR_PRMS2& p, int W1, int H1, int W2, int H2, POINT2 in, POINT2& out);

// A pinhole view of width x height pixels with reciprocal focal length rcp,
// looking through the rotation `place` (world ray = place * camera ray;
// camera x right, y down, z forward; world longitude atan2(x, z), latitude
// atan2(y, hypot(x, z)), down positive), sampled bilinearly from an
// equirectangular panorama (column 0 at longitude -pi, row 0 at latitude
// -pi/2). Samples 0 become 1.
Image* RenderView(const Image& pano, int width, int height, double rcp, const std::array<double, 9>& place);

// 3 x 3 helpers (rows first).
std::array<double, 9> Multiply(const std::array<double, 9>& a, const std::array<double, 9>& b);
std::array<double, 9> Transpose(const std::array<double, 9>& a);
// Rotation by t about the world's vertical (y) axis: a pan of t to the right.
std::array<double, 9> Yaw(double t);
// Rotation by t about the world's x axis: a tilt of t downwards.
std::array<double, 9> Pitch(double t);

// A JPEG file of the shared test data, decoded by Jpegkit; null (with the
// reason in *why) when it cannot be read.
Image* LoadJpeg(const std::string& relativePath, std::string* why);

// Even-odd inside test and distance to the outline of a polygon's first
// contour.
bool InsideFirstContour(const gpc_polygon& poly, double x, double y);
double DistanceToFirstContour(const gpc_polygon& poly, double x, double y);

}  // namespace overlaptest
