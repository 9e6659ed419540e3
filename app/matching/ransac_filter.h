// Filters the matcher's candidate pairs of one image pair: a homography is
// fitted to random five-match samples, the matches the best model does not
// carry within a pixel threshold are dropped, and the survivors are thinned
// on a grid so that a few textured spots cannot dominate the alignment.
#pragma once

#include "app/matching/homography.h"

#include <cstdint>
#include <vector>

class Marker;

class RansacFilter {
public:
    RansacFilter() = default;
    ~RansacFilter() = default;
    RansacFilter(const RansacFilter&) = delete;
    RansacFilter& operator=(const RansacFilter&) = delete;

    // inA and inB hold the two points of match i in their record i. outA and
    // outB receive the survivors and keep what they held on failure.
    bool Filter(Marker* inA, Marker* inB, Marker* outA, Marker* outB, float threshold1, float threshold2,
                int minMatches);
    bool FilterAtThreshold(Marker* inA, Marker* inB, Marker* outA, Marker* outB, float threshold, int minMatches);
    bool RemoveOutliers(std::vector<MatchPair*>& matches, std::vector<MatchPair*>& removed);
    void FindBestModel(std::vector<MatchPair*>& matches, std::vector<MatchPair*>& removed);
    static double SquaredTransferError(const Homography& model, const MatchPair& match);
    void Transfer(double x, double y, double* x1, double* y1) const;

    bool ClusterMatches(std::vector<MatchPair*>& matches);
    bool KeepBestPerCell(std::vector<MatchPair*>& matches, int cellsX, int cellsY);

    int32_t cellsX = 8;
    int32_t cellsY = 8;
    int32_t keepPerCell = 1;
    Homography model;
    int32_t trials = 500;
    float threshold = 6.0f;
    int32_t minMatches = 5;
};

// Test seams, null in the product. The attempt hook is told of every
// FilterAtThreshold call with its threshold (before any check); the trial
// hook of every trial FindBestModel starts (0-based), with the five drawn
// matches in draw order, before the fit.
using RansacAttemptHook = void (*)(float threshold);
using RansacTrialHook = void (*)(int trial, const std::vector<MatchPair*>& sample);
extern RansacAttemptHook g_ransacAttemptHook;
extern RansacTrialHook g_ransacTrialHook;
