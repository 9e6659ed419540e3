// What the two global alignment solvers (GlobalAlign, GlobalAlign0) share
// about their frames: the caller's list of group indices, and the marker
// sets that tie each merged pair of the listed frames.
#pragma once

#include "projectgraph/curvekit/point2m.h"

#include <vector>

class ImageGroup;

namespace globfit {

// The markers tying listed frames i < j: `count` records on each side.
struct MarkerPair {
    int i = 0;
    int j = 0;
    POINT2M* a = nullptr;
    POINT2M* b = nullptr;
    int count = 0;
};

// True when the group exists and each of the `count` entries of `list`
// names one of its frames.
bool IsFrameList(ImageGroup* group, const int* list, int count);

// The merged pairs i < j of the listed frames that carry markers on both
// sides (the link's own sets, else those of its pair information), in
// (i, j) order; none without a group.
std::vector<MarkerPair> CollectMarkerPairs(ImageGroup* group, const int* list, int count);

}  // namespace globfit
