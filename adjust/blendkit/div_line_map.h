// Frame of a division line: origin at its start, axes across and along it.
#pragma once

#include "core/geometry_records.h"

class CDivLineMap {
public:
    CDivLineMap() = default;
    CDivLineMap(const POINT2* start, const POINT2* end) { InitPrms(start, end); }
    void InitPrms(const POINT2* start, const POINT2* end);
    // out = (across, along) = ((p - start) . perpendicular, (p - start) . direction).
    void PtToFrameDL(const POINT2& p, POINT2* out) const;

    POINT2 m_start{};
    POINT2 m_end{};
    POINT2 m_dir{};   // unit, start -> end
    POINT2 m_perp{};  // unit, direction turned a quarter (-y, x)
};

static_assert(sizeof(CDivLineMap) == 32);
