// Reducing a photograph in place by one of four fixed factors so that its
// larger side fits a limit. The stitching code picks the code once per image
// and passes it along with the image, so that marker coordinates found on the
// reduced image can be scaled back (GetDownscaleFactor) or forward
// (GetDownscaleScale).
#pragma once

class Image;

// 0: choose from the image; 1: unchanged; 2: / 3; 3: / 2; 4: x 2/3; 5: x 3/4.
using DownscaleCode = unsigned char;

float GetDownscaleFactor(DownscaleCode code);
float GetDownscaleScale(DownscaleCode code);
DownscaleCode ChooseDownscaleCode(const Image* image, int limit);
// True when the image was reduced. Code 0 is replaced by the chosen code, so
// the caller learns it. The image must hold 8-bit samples, one channel or
// three interleaved; anything else, or a code that would leave an empty
// side, answers false and leaves the image as it was.
bool ReduceImageInPlace(Image* image, int limit, DownscaleCode* inOut);
