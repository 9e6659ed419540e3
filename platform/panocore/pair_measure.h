// The stitching core's measuring of a merged pair's intensities for the
// exposure balance: box means of both images at common points of the sphere.
// The pair blend's installed function (app side, which owns the frames'
// pair information) calls it.
#pragma once

#include "core/pair_align_records.h"

#include <vector>

class Image;

// A 10 x 10 grid of points over a (cell centres); each point goes to b
// through both placements (the pinhole model of the scene maker). Where the
// 20 x 20 boxes about both points lie inside their images and every sample
// of both boxes has a non-zero first value, one entry of six floats is
// appended: a's three channel means, then b's (a one-channel image gives its
// mean three times). Returns the number of entries; 0, with nothing
// appended and an ERROR line, for unusable images or placements.
int MeasurePairIntensities(const Image* a, const TRANSFORM_RS* ta, const Image* b, const TRANSFORM_RS* tb,
                           std::vector<float>& entries);
