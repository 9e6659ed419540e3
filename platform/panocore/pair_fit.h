// The stitching core's pair fit: places the second frame of a pair by a
// rotation of a pinhole camera about its centre, from point pairs, with the
// first frame's pose held fixed. Optionally one common scale of both
// reciprocal focal lengths (their ratio kept) is fitted too, for the first
// pair of a panorama, which starts from a guessed focal length.
#pragma once

#include "core/geometry_records.h"
#include "core/pair_align_records.h"

#include <vector>

// Results of Panorama and of the fit (low four bits).
constexpr int kPanoramaOk = 0;
constexpr int kPanoramaTooFewPoints = 1;
constexpr int kPanoramaResidual = 2;
constexpr int kPanoramaGeometry = 4;

struct PairFitInput {
    // Point pairs in pixels from each image's centre (x right, y down).
    std::vector<POINT2> pointsA, pointsB;
    int widthA = 0, heightA = 0, widthB = 0, heightB = 0;
    // Poses (pan, tilt, roll in radians; reciprocal focal length): a fixed,
    // b the start of the search.
    TRANSFORM_RS poseA{}, poseB{};
    bool fitScale = false;  // one common scale of both reciprocal focal lengths
};

struct PairFitResult {
    int code = kPanoramaTooFewPoints;
    TRANSFORM_RS poseA{}, poseB{};  // input poses with the fitted values
    double rms = 0.0;               // pixels in b, over the pairs used
    std::vector<char> used;         // per input pair: kept after the outlier pass
    int usedCount = 0;
    float overlapH = 0.0f, overlapV = 0.0f;  // of a's image covered by b
};

// Fits, drops the pairs beyond max(3 px, 3 x median residual), refits once;
// while the RMS residual is above 2.0 pixels it drops the worst pair and
// refits, at most a third of the valid pairs dropped in all. Then judges: at least 3 pairs used (4 with the scale), RMS residual at most
// 2.0 pixels, overlap implied by the poses at least 5 % of a's width and
// height, tilt difference below 60 degrees. result.code says which rule
// failed first (kPanoramaTooFewPoints, kPanoramaResidual, kPanoramaGeometry).
// The search starts from in.poseB; when the pair is refused from there, the
// whole fit runs once more from the rotation that carries b's rays of the
// pairs nearest onto a's, and its result stands when it passes (a start far
// from the answer can end in a false minimum). A pair that passes from
// in.poseB is fitted exactly as before.
int FitPairRotation(const PairFitInput& in, PairFitResult& result);

// The share of a's image (along its rows and its columns, at most 1) that
// lies inside b's image for the given poses.
void MeasurePoseOverlap(const TRANSFORM_RS& poseA, int widthA, int heightA, const TRANSFORM_RS& poseB, int widthB,
                        int heightB, float& horizontal, float& vertical);
