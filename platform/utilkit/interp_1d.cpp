#include "platform/utilkit/interp_1d.h"

#include <cmath>

float* CInterp1D::AllocNodes(int n)
{
    m_nodes.assign(n > 0 ? static_cast<size_t>(n) : 0, 0.0f);
    return m_nodes.empty() ? nullptr : m_nodes.data();
}

float CInterp1D::Interp(float x) const
{
    const size_t n = m_nodes.size();
    if (n == 0) return 0.0f;
    const double span = static_cast<double>(m_x1) - m_x0;
    if (n < 2 || !(std::fabs(span) > 0.0) || !std::isfinite(span)) return m_nodes[0];
    // t in node steps; written so that a NaN position lands on node 0.
    const double t = (static_cast<double>(x) - m_x0) / span * static_cast<double>(n - 1);
    if (!(t > 0.0)) return m_nodes[0];
    if (t >= static_cast<double>(n - 1)) return m_nodes[n - 1];
    const size_t i = static_cast<size_t>(t);
    const double f = t - static_cast<double>(i);
    return static_cast<float>(m_nodes[i] + f * (static_cast<double>(m_nodes[i + 1]) - m_nodes[i]));
}
