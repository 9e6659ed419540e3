// Warp alignment by minimisation: starts from the correction steps of
// CWarpAlign (or from the homography of CHAlign when the scale is free) and
// minimises the summed angular distance of all marker pairs on the sphere
// with conjugate gradients, optionally in three passes that drop outlying
// pairs. The correlation refiners call it.
#pragma once

#include "align/warpfit/warp_align.h"

class CWAlign : public CWarpAlign {
public:
    CWAlign(int magFree, int apFree);

    // True when the full angle 2 ap (radians) is that of a 35 mm-equivalent
    // lens of 10 to 100 mm (landscape when image 1 is wider than high).
    bool CheckApertureRange(float ap) const;

    // The full fit. kept: with a non-null pointer three passes run, dropping
    // outlying pairs, and *kept receives the number of pairs the last choice
    // kept (n when none was dropped; always written). Returns 1 and writes
    // every pair's distance in pixels into the first error value of both
    // marker records; 0 on failure (homography or aperture out of range,
    // minimisation failed).
    int MainWAlign(int* kept);

    // n zero-filled marker records holding the points (null when n <= 0),
    // and back; the caller frees the result with delete[].
    static POINT2M* convertPOINT2ToM(const POINT2* p, int n);
    static POINT2* convertPOINT2MTo2(const POINT2M* m, int n);

    // After a successful MainWAlign with several passes: whether pair i was
    // left out by the last choice (false for every pair after one pass).
    bool IsPairExcluded(int i) const { return i >= 0 && i < static_cast<int>(m_excluded.size()) && m_excluded[i]; }

private:
    bool TakeStartParameters();

    std::vector<char> m_excluded;
};
