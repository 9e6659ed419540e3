// The plain single-threaded merge the pyramid engine replaced: whole planes
// per channel, one pixel at a time. Kept as the reference the tests compare
// the fast path with byte for byte; nothing in the product calls it.
#pragma once

#include "platform/mergekit/merge_vantor.h"

namespace mergekit {

// Same contract as CMergeVantorWM::MergeVantorFile.
bool MergeVantorFileReference(KestovaFile* scene, WorldMap* map, TRANSFORM_RS* t, int bw, int kind, int levels,
                              bool closing, int closingKind);

// Same contracts as MultiBandBlend and DistanceInside.
Plane MultiBandBlendReference(const Plane& a, const Plane& b, const Plane& weightOfB, int levels);
Plane DistanceInsideReference(const std::vector<uint8_t>& mask, int width, int height, bool outsideSet);

}  // namespace mergekit
