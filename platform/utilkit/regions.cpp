#include "platform/utilkit/regions.h"

#include <algorithm>
#include <cstdint>

namespace {

// Builds a region from 64-bit bounds; false when empty or beyond int32.
bool MakeRegion(int64_t x0, int64_t y0, int64_t x1, int64_t y1, REGION* out)
{
    if (x0 > x1 || y0 > y1) return false;
    if (x1 - x0 + 1 > INT32_MAX || y1 - y0 + 1 > INT32_MAX) return false;
    *out = REGION{static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1),
                  static_cast<int32_t>(y1), static_cast<int32_t>(x1 - x0 + 1), static_cast<int32_t>(y1 - y0 + 1)};
    return true;
}

}  // namespace

bool CRegions::CalcOverlap2D(const REGION* a, const REGION* b, REGION* out)
{
    if (!a || !b || !out) return false;
    return MakeRegion(std::max(a->x0, b->x0), std::max(a->y0, b->y0), std::min(a->x1, b->x1), std::min(a->y1, b->y1),
                      out);
}

bool CRegions::CalcUnion2D(const REGION* a, const REGION* b, REGION* out)
{
    if (!a || !b || !out) return false;
    return MakeRegion(std::min(a->x0, b->x0), std::min(a->y0, b->y0), std::max(a->x1, b->x1), std::max(a->y1, b->y1),
                      out);
}

void CRegions::Shift(const REGION* src, REGION* dst, int dx, int dy)
{
    if (!src || !dst) return;
    const REGION s = *src;
    // Computed wide and wrapped back: a shift never overflows.
    auto add = [](int32_t v, int d) { return static_cast<int32_t>(static_cast<int64_t>(v) + d); };
    *dst = REGION{add(s.x0, dx), add(s.y0, dy), add(s.x1, dx), add(s.y1, dy), s.width, s.height};
}

bool CRegions::Calc2ImgOverlapRegion(int w1, int h1, int w2, int h2, const POINT* offset, REGION* out)
{
    if (!offset || !out || w1 <= 0 || h1 <= 0 || w2 <= 0 || h2 <= 0) return false;
    const int64_t x0 = std::max<int64_t>(0, offset->x);
    const int64_t y0 = std::max<int64_t>(0, offset->y);
    const int64_t x1 = std::min<int64_t>(w1 - 1, int64_t{offset->x} + w2 - 1);
    const int64_t y1 = std::min<int64_t>(h1 - 1, int64_t{offset->y} + h2 - 1);
    return MakeRegion(x0, y0, x1, y1, out);
}
