// Drawing the control's perspective frames onto its window in one pass: the
// frame (reduced while moving, full size otherwise) is stretched to the size
// it is shown at straight into the window's 32-bit pixels, in the view
// engine's row bands, instead of being enlarged into a frame of its own and
// then converted from 24 to 32 bits by the window's stretch.
#pragma once

#include "imaging/image.h"
#include "platform/win/gdi.h"

// Puts `from` stretched to width x height with its top-left corner at the
// logical point (x, y) of `dc`: each target pixel takes the source pixel
// under its centre, B, G, R written and the fourth byte left as it was, the
// context's clip respected. The bytes are those StretchDIBits writes for the
// same 24-bit rows and rectangles (nearest stretching, SRCCOPY). False,
// with nothing drawn, when the context or the frame is not of the kind this
// handles (no 32-bit pixels, a mapping that is not one to one, HALFTONE
// shrinking, a frame that is not 3-channel 8-bit DIB rows): the caller then
// draws through StretchDIBits.
bool DrawViewFrame(CDC& dc, int x, int y, int width, int height, const Image& from);
// The same, one plain loop a pixel (no SIMD): the reference of the tests.
bool DrawViewFramePlain(CDC& dc, int x, int y, int width, int height, const Image& from);
