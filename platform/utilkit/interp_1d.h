// Equally spaced linear interpolation: n node values at equal steps from x0
// to x1. The seam blend keeps one per displacement and colour difference
// along a division line.
#pragma once

#include <vector>

class CInterp1D {
public:
    // The positions of the first and the last node.
    void SetRange(float x0, float x1)
    {
        m_x0 = x0;
        m_x1 = x1;
    }
    // The object's own array of n node values, all 0; a second call replaces
    // it. Null when n < 1.
    float* AllocNodes(int n);
    // Linear between the neighbouring nodes; the end value outside [x0, x1].
    // With fewer than 2 nodes or x0 = x1: node 0, or 0 without nodes.
    float Interp(float x) const;

private:
    float m_x0 = 0.0f;
    float m_x1 = 0.0f;
    std::vector<float> m_nodes;
};
