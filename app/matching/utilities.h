// Pixel helpers of the stitching application that several windows share.
#pragma once

class Image;

namespace Utilities {

// Every pixel whose first sample is 0 gets 1 there, so that 0 stays free to
// mean "no data" in the maps the image goes into.
void RaiseZeroPixels(Image* image);

}  // namespace Utilities
