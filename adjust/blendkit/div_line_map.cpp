#include "adjust/blendkit/div_line_map.h"

#include "platform/utilkit/vec2.h"

void CDivLineMap::InitPrms(const POINT2* start, const POINT2* end)
{
    m_start = start != nullptr ? *start : POINT2{};
    m_end = end != nullptr ? *end : m_start;
    m_dir = CVec2::vec2_unit(CVec2::vec2_diff(m_end, m_start));
    m_perp = CVec2::vec2_perp(m_dir);
}

void CDivLineMap::PtToFrameDL(const POINT2& p, POINT2* out) const
{
    const float rx = p.x - m_start.x;
    const float ry = p.y - m_start.y;
    out->x = rx * m_perp.x + ry * m_perp.y;
    out->y = rx * m_dir.x + ry * m_dir.y;
}
