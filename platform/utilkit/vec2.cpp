#include "platform/utilkit/vec2.h"

#include <cmath>

float CVec2::vec2_dist(POINT2 a, POINT2 b)
{
    return static_cast<float>(std::hypot(static_cast<double>(a.x) - b.x, static_cast<double>(a.y) - b.y));
}

POINT2 CVec2::vec2_diff(POINT2 a, POINT2 b)
{
    return POINT2{a.x - b.x, a.y - b.y};
}

POINT2 CVec2::vec2_unit(POINT2 a)
{
    const double len = std::hypot(static_cast<double>(a.x), static_cast<double>(a.y));
    if (!(len > 0)) return POINT2{0, 0};
    return POINT2{static_cast<float>(a.x / len), static_cast<float>(a.y / len)};
}

POINT2 CVec2::vec2_perp(POINT2 a)
{
    return POINT2{-a.y, a.x};
}
