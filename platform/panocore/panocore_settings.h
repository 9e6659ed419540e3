// Module-wide settings of the stitching core: the seam blend width that the
// blending driver sets and the seam blender reads, and the warp-refinement
// switches that the refiners of the warp alignment library ask for.
#pragma once

// Width of the blend band along a division line, pixels (default 20).
void SetDivLineBlendWidth(int pixels);
int GetDivLineBlendWidth();

// Overlay size of the correlation refiner, pixels (default 1200).
int GetMCCTu0();
void SetMCCTu0(int pixels);
// Warp fit switches: keep the magnification / the aperture fixed, the
// aperture used when it is fixed (degrees), and whether the marker refiner
// fits a warp (1) or a homography (0). All 0 by default.
bool IsFixMag();
bool IsFixAperture();
float GetApertureDeg();
int IsMarkerWAlign();
void SetWarpFitSettings(bool fixMag, bool fixAperture, float apertureDeg, int markerWAlign);
