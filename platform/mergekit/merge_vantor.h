// The merging module's in-process seam blend: one frame's scene file merged
// into a world map that already holds the frames before it, along a seam
// through their overlap, with a multi-band (Laplacian pyramid, Burt and
// Adelson) transition so that exposure differences spread over a wide band
// while fine detail keeps a narrow one. The blending driver calls it once per
// frame after the first.
#pragma once

#include "core/pair_align_records.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class KestovaFile;
class WorldMap;

class CMergeVantorWM {
public:
    // Merges `scene` (placed by t; its equator samples must be the map's
    // width) into `map`. The seam by kind: 0 the middle line of the overlap
    // (equally far from the parts only one side covers), 1 the new frame (right) over the
    // old data, 2 the old data over the new frame; the transition is bw
    // samples wide (at least 1) at the finest band and `levels` bands (1..3)
    // blend it. With `closing` the overlap right of the frame's centre is the
    // seam across +-180 degrees with the first frame, of closingKind (the new
    // frame being its left side there). Samples whose first value is 0 hold
    // no data; a real 0 is written as 1. False, with an ERROR line, for an
    // unusable scene or map.
    static bool MergeVantorFile(KestovaFile* scene, WorldMap* map, TRANSFORM_RS* t, int bw, int kind, int levels,
                                bool closing, int closingKind);
};

namespace mergekit {

// One channel plane of floats, row-major.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<float> v;
    Plane() = default;
    Plane(int w, int h, float fill = 0.0f) : width(w), height(h), v(static_cast<size_t>(w) * h, fill) {}
    float& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
    float at(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
};

// Blends b over a with the weight of b per pixel through `levels` bands:
// the Laplacian pyramids of a and b mixed by the Gaussian pyramid of the
// weight, collapsed (binomial 1-4-6-4-1 filter, edges clamped). levels 1 is
// the plain weighted mean.
Plane MultiBandBlend(const Plane& a, const Plane& b, const Plane& weightOfB, int levels);

// Two-pass chamfer distance (steps 1 and sqrt 2) from each set pixel of
// mask to the nearest unset one; unset pixels 0. `outsideSet`: whether the
// ground beyond the plane counts as set.
Plane DistanceInside(const std::vector<uint8_t>& mask, int width, int height, bool outsideSet);

// DistanceInside's two passes in place over d, the plane inside a border of
// one sample ((width + 2) x (height + 2), row-major): set pixels hold a value
// larger than any distance, unset ones 0, the border the ground's value
// (never written).
void ChamferPasses(float* d, int width, int height);

// Weight of the new frame at a pixel both cover, from its distances to the
// part only the old data covers (dNew) and to the part only the new frame
// covers (dOld), for seam kind 0, 1 or 2 and a transition bw pixels wide.
float SeamWeight(int kind, float dNew, float dOld, float bw);

}  // namespace mergekit
