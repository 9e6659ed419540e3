// Exposure balance of the merged frames by one gamma per frame: the
// intensity pairs of every merged pair should agree once each frame's
// normalised intensity is raised to its gamma. The Blend command runs it
// before blending; results go into each frame's colour block and table.
#pragma once

#include "adjust/globfit/photometric_base.h"

#include <vector>

class GlobalGamma : public PhotometricBase {
public:
    GlobalGamma();
    ~GlobalGamma();
    GlobalGamma(const GlobalGamma&) = default;
    GlobalGamma& operator=(const GlobalGamma&) = default;

    // Solves (channel 0 stands for all: the sample is the sum of the three
    // channels) and writes every merged frame's record: first coefficients
    // -1, second 0, the three gammas, and the table mapping the colour
    // control's values through the gamma.
    void FindGlobalGamma(float tolerance);

    // Gamma of a parameter g: G(g) = ln(0.5 + atan(g)/pi) / ln(0.5 - atan(g)/pi),
    // so G(0) = 1 and G(-g) = 1 / G(g).
    static float Gamma(float g);

protected:
    // Normal equations of the current parameters; returns the error sum.
    float ComputeA();
    void ComputeOneChannel(float tolerance);
    // Applies a step (scaled in place so that no component exceeds 0.1).
    void AdjustGamma(std::vector<float>& step);
    void ComputeGamma();
    void WriteResults();

    std::vector<float> m_g;       // parameter per merged frame
    std::vector<float> m_gamma;   // G(g)
    std::vector<float> m_gBackup;
    std::vector<float> m_gammaBackup;
};
