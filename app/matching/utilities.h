// Pixel helpers of the stitching application that several windows share,
// small path helpers, and the rotation-vector algebra and world-map rotation
// of the leveling tools.
#pragma once

#include "core/win_types.h"

#include <string>

class Image;
class WorldMapBase;

namespace Utilities {

// Every pixel whose first sample is 0 gets 1 there, so that 0 stays free to
// mean "no data" in the maps the image goes into.
void RaiseZeroPixels(Image* image);

// Blanks every sample outside the inclusive rectangle, which is clamped in
// place; the warnings go to standard output. True when anything was blanked.
bool CropImage(RECT* rect, Image* image);

// Cuts the text at its last '.', when there is one.
void CutExtension(char* name);
// Folder and name around the last '/' or '\'; false, outputs untouched,
// when there is none past the first character.
bool SplitPath(const std::string& path, std::string& folder, std::string& name);

// Pixels per degree of the panorama of imageCount images of the given field
// of view (degrees), at least minWidth pixels wide over what it spans.
float EstimatePanoResolution(int imageCount, bool closedLoop, float fieldOfView, int minWidth, int fullWidth);

// Rotation vectors (axis times angle, radians) and 3 x 3 matrices stored row
// by row.
void RotVecToMatrix(const float w[3], float m[9]);
void MatrixToRotVec(const float m[9], float w[3]);
void MulMatrix3(const float a[9], const float b[9], float c[9]);
// w1 becomes the rotation of RotVecToMatrix(w1) x RotVecToMatrix(w2).
void ComposeRotVec(float w1[3], const float w2[3]);

// Resamples `source` into `target` (cleared first) through the rotation m,
// nearest sample: target direction p is taken from source direction m p.
void RotateWorldMap(const WorldMapBase* source, WorldMapBase* target, const float m[9]);

}  // namespace Utilities
