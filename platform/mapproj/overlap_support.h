// Small pieces shared by the overlap-image makers of a pair (plane, polar and
// sphere) and the multi-channel aligner: owning polygons, cleared 8-bit
// images with a size limit, and the input checks they all make.
#pragma once

#include "core/geometry_records.h"

#include <cstddef>
#include <memory>

class Image;

namespace overlap {

// A polygon made by the clipper or the mapping module: its contours are freed
// with CPolyClip::gpc_free_polygon, the record with delete.
struct PolygonDeleter {
    void operator()(gpc_polygon* polygon) const;
};
using PolygonPtr = std::unique_ptr<gpc_polygon, PolygonDeleter>;

// The largest overlap image made, in bytes. Overlap images are cut from
// photographs of a few thousand pixels on a side; anything past this comes
// from a transform that puts an image near the horizon of the other, and is
// refused rather than allocated.
constexpr size_t kMaxOverlapBytes = size_t(1) << 30;

// An 8-bit image of width x height pixels and `channels` interleaved samples,
// all 0 (0 marks "no data"), with one reference for the caller. Null when the
// size is not positive, exceeds kMaxOverlapBytes or memory runs out; the
// caller logs its own message.
Image* NewClearedImage(int width, int height, int channels);

// An image the mappers accept: pixels present, 8-bit interleaved samples, 1
// or 3 channels, at least 2 x 2 pixels.
bool UsableImage(const Image* image);

// Bounding box of a polygon's first contour (top, bottom, left, right,
// width, height without +1); false when there is no contour with points.
bool FirstContourBox(const gpc_polygon* polygon, REGION2* box);

}  // namespace overlap
