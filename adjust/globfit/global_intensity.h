// Exposure balance of the merged frames by a two-coefficient tone curve per
// frame, v' = v + a v (1 - v^2) + b v^2 (1 - v) on samples normalised to
// [0, 1]. Exported by Globfit for outside callers; no caller in the suite.
#pragma once

#include "adjust/globfit/photometric_base.h"

#include <vector>

class GlobalIntensity : public PhotometricBase {
public:
    GlobalIntensity();
    ~GlobalIntensity();
    GlobalIntensity(const GlobalIntensity&) = default;
    GlobalIntensity& operator=(const GlobalIntensity&) = default;

    // Solves record channel 0 and writes every merged frame's record with
    // that curve on all three channels.
    void FindGlobalIntensity(float tolerance);

protected:
    float ComputeA(int channel);
    void ComputeOneChannel(int channel, float tolerance);
    void AdjustSolution(const std::vector<float>& step);
    void WriteResults(int channel);

    std::vector<float> m_coef;    // a, b per merged frame
    std::vector<float> m_backup;
};
