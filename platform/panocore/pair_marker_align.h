// The stitching core's alignment of a pair from hand-placed markers: a least
// squares rotation of a pinhole camera about its centre, with one common
// focal scale when there are enough point pairs, written into the pair's
// 9-word record (words 4 and 5 the two reciprocal focal lengths, 6 to 8 the
// pair angles). The core reaches the markers of the project's frames through
// a source the application installs, as for Panorama (panorama.h).
#pragma once

#include "core/geometry_records.h"
#include "core/pair_align_records.h"

#include <vector>

class IImageFrame;

// The point pairs of one pair, in image pixels from each image's top-left
// corner; `first` belongs to the record's first image. `record` is the
// pair's record, written in place.
struct PairMarkerPoints {
    std::vector<POINT2> first, second;
    int width1 = 0, height1 = 0, width2 = 0, height2 = 0;
    // Second image's focal length over the first's (1.0 when unknown).
    float ratio = 1.0f;
    // Reciprocal focal lengths the frames already know (their placement),
    // 0 when unknown. When both are known they are kept and only the
    // rotation is fitted.
    float knownRcp1 = 0.0f, knownRcp2 = 0.0f;
    PAIR_WALIGN_RR_PRMS2* record = nullptr;
};

// Fills `out` for the frames (f2's focal over f1's is `ratio`); false when
// the pair has no record or no images.
using PairMarkerSource = bool (*)(IImageFrame* f1, IImageFrame* f2, float ratio, PairMarkerPoints& out);
// Installs the source (null removes); returns the one it replaces.
PairMarkerSource SetPairMarkerSource(PairMarkerSource source);

// Fits the record of `points`. With both focal lengths known only the
// rotation is fitted. Otherwise the search starts from the record's focal
// lengths, or without usable ones (words 4 and 5 not positive) from a
// 50-degree view of the first image, and with 4 or more pairs the common
// focal scale is fitted as well (the ratio of the two kept); with 3 only the
// rotation. Returns kPanoramaOk (pair_fit.h) with the record written, or the
// failing code with the record untouched and an ERROR line.
int FitPairRecordFromMarkers(const PairMarkerPoints& points, PAIR_WALIGN_RR_PRMS2* record);

// The pair of frames f1, f2 through the installed source: 0 when the record
// was written, else the failure code (1 when no source is installed, an
// argument is null or the markers are too few).
int UpdatePairManualMarkerAlign(IImageFrame* f1, IImageFrame* f2, float ratio);
