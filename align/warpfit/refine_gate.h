// The consistency gate of the correlation refiners (CMFCRefine, CMCCRefine):
// a fit stands only when the matched pairs agree with it, it has not moved
// the transform further than the correlation search could have seen, and
// enough pairs survive. A refiner that followed wrong peaks (a start beyond
// its search range) otherwise reports a wrong fit as a success.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"

#include <vector>

class CRefineGate {
public:
    // Residual gate, pixels of the working images the matches were found in
    // (the aligner's overlap images, the MCC overlays). The matches are
    // correlation peaks refined to a few tenths of a pixel, and the aligner
    // keeps only refined positions within 0.75 px of its grid model; a pair
    // that the fitted transform misses by more than 1.5 px (twice that) is
    // not a match of this transform: its peak was wrong, or the fit followed
    // wrong peaks.
    static constexpr double kResidualGate = 1.5;
    // Fewest pairs within the gate for a fit to stand (and at least a share,
    // half by default, of the pairs fed): fewer leave the five free parameters of the warp fit,
    // or the eight of the homography, without a check.
    static constexpr int kMinPairs = 6;

    // start: the transform the search was centred on (earlier form);
    // workingScale: working-image pixels per image-2 pixel; searchRange: how
    // far, in working pixels, a match can lie from the start's prediction.
    // who names the caller in the log ("CMFCRefine::MainMFCRefine").
    CRefineGate(const PAIR_WALIGN_PRMS& start, double workingScale, double searchRange, const char* who);

    // Judges `fitted` on the n pairs (p1 in image 1, p2 in image 2, pixels
    // from each image's centre). within[i] tells whether pair i lies within
    // the gate. True when the fit stands; otherwise one "ERROR" log line
    // says which check failed. `usable`, when given, marks the pairs that
    // count as survivors (those the fit itself kept).
    bool Accept(const PAIR_WALIGN_PRMS& fitted, const POINT2* p1, const POINT2* p2, int n,
                std::vector<char>& within, const std::vector<char>* usable = nullptr) const;
    // The share of the pairs that must survive (a half by default).
    void SetSurvivorShare(double share) { m_share = share; }

    // Where prms maps the n points p1 (image 1, centred) in image 2
    // (centred). False when the record gives no transform or a point falls
    // behind image 2.
    static bool MapPoints(const PAIR_WALIGN_PRMS& prms, const POINT2* p1, int n, std::vector<POINT2>& out);

private:
    PAIR_WALIGN_PRMS m_start;
    double m_scale;
    double m_range;
    const char* m_who;
    double m_share = 0.5;
};
