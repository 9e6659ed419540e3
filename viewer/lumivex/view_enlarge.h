// Nearest enlargement of the control's reduced moving frame to the size it
// is shown at. Each target pixel takes the source pixel under its centre,
// exactly as the window's stretch does in COLORONCOLOR mode, so showing the
// result one to one puts the same bytes on the screen as stretching the
// reduced frame, with the work spread over the view engine's row bands.
#pragma once

#include "imaging/image.h"

// `to` is already sized (its width and height are the shown size); both are
// 8-bit interleaved with the same channel count (1 or 3). False, with an
// ERROR line, when they do not fit.
bool EnlargeViewFrame(const Image& from, Image& to);
