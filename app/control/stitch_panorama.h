// The frame-facing side of the stitching core's pair alignment: gathers the
// pair's point pairs (the links' marker sets, else the pair's automatic
// markers, else a correlation search), runs the pair fit and writes the
// placements, the pair record and the points used back. The manager installs
// these into the core when it is made.
#pragma once

#include "core/pair_align_records.h"

class IImageFrame;

// Where the points of the last successful alignment came from.
enum class PairPointSource { kNone, kMarkers, kAutoMarkers, kCorrelation };

bool StitchPanoramaInit(IImageFrame* frame, float pan, float tilt, float roll);
int StitchPanorama(IImageFrame* a, IImageFrame* b, PAIR_WALIGN_RR_PRMS2* record, float ratio, int direction);
// Installs the two functions above into the core.
void InstallStitchPanorama();
