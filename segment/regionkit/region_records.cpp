#include "segment/regionkit/region_records.h"

CMatchParam::CMatchParam(float a, float b, float c, float d, float e, float f, int g, int h)
{
    const float first[6] = {a, b, c, d, e, f};
    for (int i = 0; i < 6; ++i) m_values[i] = first[i];
    m_values[6] = m_values[7] = m_values[8] = e;
    m_values[9] = 0.04f;
    m_values[10] = 0.014f;
    m_values[11] = m_values[12] = m_values[13] = 0.0f;
    m_values[14] = 1.0f;
    m_g = g;
    m_h = h;
}

CRegParameters::CRegParameters(int a, int b)
    : m_a(static_cast<float>(a)), m_b(static_cast<float>(b)), m_n0(0), m_n1(0), m_sx(0.0f), m_sy(0.0f),
      m_sxx(0.0f), m_sxy(0.0f), m_syy(0.0f)
{
}

void CRegParameters::Normalize(float n)
{
    m_sx /= n;
    m_sy /= n;
    m_sxx -= n * m_sx * m_sx;
    m_sxy -= n * m_sx * m_sy;
    m_syy -= n * m_sy * m_sy;
}
