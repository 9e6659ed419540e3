// The stitching core's pair blend: measures the intensity pairs along the
// seam of a merged frame pair and stores them in the pair information of both
// link directions. The photometric adjustment calls it before it solves; the
// stitching core installs the measuring function when it comes up.
#pragma once

class IImageFrame;

using PairBlendFunction = bool (*)(IImageFrame* a, IImageFrame* b);

// Runs the installed function on the pair (a, b). False when either frame is
// null, when no function is installed (nothing could fill the lists) or when
// the function fails.
bool PairBlend(IImageFrame* a, IImageFrame* b);

// Installs the measuring function (null removes it) and returns the one it
// replaces.
PairBlendFunction SetPairBlendFunction(PairBlendFunction function);
