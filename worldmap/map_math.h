// Small numeric helpers shared by the world-map sources (not exported): safe
// float-to-int conversions and circular wrapping of sample indices.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace mapmath {

// Truncation toward zero that saturates instead of overflowing; NaN gives 0.
// The maps convert positions computed from caller regions and zooms, which
// may be far outside the int range.
inline int TruncToInt(double v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

inline int64_t TruncToInt64(double v)
{
    if (!(v == v)) return 0;
    if (v >= 9.0e18) return static_cast<int64_t>(9.0e18);
    if (v <= -9.0e18) return static_cast<int64_t>(-9.0e18);
    return static_cast<int64_t>(v);
}

// Floor that saturates like TruncToInt.
inline int64_t FloorToInt64(double v)
{
    return TruncToInt64(std::floor(v));
}

// v brought into [0, n) by whole multiples of n (n > 0).
inline int64_t Wrap(int64_t v, int64_t n)
{
    int64_t r = v % n;
    return r < 0 ? r + n : r;
}

inline uint8_t ClampByte(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace mapmath
