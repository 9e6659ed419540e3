// Exposure balance of the merged frames by a gain and an offset per frame
// and channel (v' = v (1 + u) + w on 0..255 samples), solved once on all
// samples and once more without each pair's outliers. Exported by Globfit
// for outside callers; no caller in the suite.
#pragma once

#include "adjust/globfit/photometric_base.h"

#include <vector>

class GlobalBlend : public PhotometricBase {
public:
    GlobalBlend();
    ~GlobalBlend();
    GlobalBlend(const GlobalBlend&) = default;
    GlobalBlend& operator=(const GlobalBlend&) = default;

    // Plain pass on record channels 0, 1, 2, then the robust pass on each.
    // Every merged frame's record gets, per channel, the gain 1 + u as first
    // coefficient and the offset w as second, and its table the colour
    // control's values through that line.
    void DoGlobalBlending(float tolerance);

protected:
    // One channel: normal equations (only samples within their pair's limit
    // when `robust`), one CG solve, results written.
    void BlendingOneChannel(int channel, float tolerance, bool robust);
    float ComputeA(int channel, bool robust);
    // Per merged pair, the mean and standard deviation of the absolute
    // residual |c_i G_i + O_i - c_j G_j - O_j| under the gains G and offsets
    // O now in the records; each pair's limit is its mean plus two standard
    // deviations. Returns the mean over all samples.
    float ComputeError(int channel);
    void WriteResults(int channel);

    std::vector<float> m_solution;  // u, w per merged frame
    std::vector<float> m_limit;     // per entry of m_samples
};
