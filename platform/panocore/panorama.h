// The stitching core's pair alignment entry points. The core works on the
// project's frames, whose classes live above this module; the application
// installs the frame-facing implementation (point gathering and writing
// back) when it comes up, and the core's own part is the pair fit
// (pair_fit.h). Tests install scripted stand-ins the same way.
#pragma once

#include "core/pair_align_records.h"

class IImageFrame;

using PanoramaInitFunction = bool (*)(IImageFrame* frame, float pan, float tilt, float roll);
using PanoramaFunction = int (*)(IImageFrame* a, IImageFrame* b, PAIR_WALIGN_RR_PRMS2* record, float ratio,
                                 int direction);

// Once, before the first pair, on the centre frame. False when nothing is
// installed or the frame is null.
bool PanoramaInit(IImageFrame* frame, float pan, float tilt, float roll);
// Aligns b to a. ratio: b's focal value over a's (1.0 when one is missing);
// direction 1 first pair, 0 later pair, -1 loop-closing pair. Low four bits
// of the result not 0: failure (1 too few points, 2 residual, 4 geometry);
// 1 with an ERROR line when no implementation is installed or an argument is
// null.
int Panorama(IImageFrame* a, IImageFrame* b, PAIR_WALIGN_RR_PRMS2* record, float ratio, int direction);

// Install (null removes); each returns the one it replaces.
PanoramaInitFunction SetPanoramaInitFunction(PanoramaInitFunction function);
PanoramaFunction SetPanoramaFunction(PanoramaFunction function);
