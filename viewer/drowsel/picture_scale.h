// How the saver fits a picture to its window: the scale rules (a panorama
// always scrolls at the height share; a plain picture is shown unscaled,
// fitted, or scrolled back and forth when wide) and the bilinear resampler
// that makes the display image once per load. CDrowselWnd calls them; the
// benchmark times the resampler against its per-pixel reference.
#pragma once

#include "imaging/image.h"

namespace drowsel {

struct DisplayPlan {
    double scale = 1.0;
    int displayWidth = 0;   // pixels of the display image
    int displayHeight = 0;
    int offsetX = 0;        // top-left of the picture in the window, >= 0
    int offsetY = 0;
    bool scrolls = false;   // the picture moves
    bool bounces = false;   // back and forth instead of endlessly
};

// v + 0.5 truncated.
int Nearest(double v);

// The plan for a picture of width x height in a window of windowWidth x
// windowHeight; fovPercent is the height share of a scrolled picture.
DisplayPlan PlanDisplay(int width, int height, bool panorama, int windowWidth, int windowHeight, int fovPercent);

// The source position of display column (or row) x: integer part and
// fraction. x * size / displaySize, clamped to the second-last index with a
// fraction of 1; a source one pixel wide uses index 0 with fraction 0.
struct SourceTap {
    int index;
    float fraction;
};
SourceTap TapFor(int x, int size, int displaySize);

// The display image: a new 3-channel image (packed rows) of dw x dh from a
// 1- or 3-channel 8-bit interleaved source (grey goes to all three
// channels). Bilinear: horizontally on both rows, then vertically, rounded
// by adding 0.5. Separable with precomputed column taps; rows are shared
// among `threads` workers (0: the machine's cores). Null on a bad argument
// or when memory runs out.
Image* ResampleBilinear(const Image& source, int dw, int dh, int threads = 0);

// The same rule pixel by pixel, every tap computed where it is used: the
// reference the tests and the benchmark hold the fast path against.
Image* ResampleBilinearReference(const Image& source, int dw, int dh);

}  // namespace drowsel
