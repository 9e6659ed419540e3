// Bits of the settings word shared by the two global alignment solvers
// (GlobalAlign, GlobalAlign0): how the focal lengths are estimated, and
// whether optical centres and lens distortion join the fit.
#pragma once

namespace globfit {

constexpr int kFocalModeMask = 0x3;
constexpr int kFocalPerFrame = 0;   // one focal length per frame
constexpr int kFocalShared = 1;     // one focal length shared by all frames
constexpr int kFocalFixed = 2;      // focal lengths stay at their start values
constexpr int kFocalNormalised = 3; // one shared focal length in normalised units
constexpr int kEstimateCentre = 0x4;
constexpr int kEstimateDistortion = 0x8;
constexpr int kThreeCoefficients = 0x10;  // with kEstimateDistortion: d1, d2, d3 instead of d2 alone

inline int FocalMode(int settings)
{
    return settings & kFocalModeMask;
}

}  // namespace globfit
