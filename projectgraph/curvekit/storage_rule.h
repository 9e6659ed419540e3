// Capacity rule shared by the growable arrays of markers, curve points and
// curve sets: grow in steps of 4 up to the wanted size; after a removal
// (wanted < 0) give memory back once more than 8 slots stand empty.
#pragma once

#include <cmath>
#include <limits>

namespace curvekit {

// The capacity to hold `wanted` records, given `count` in use and the
// current `capacity`; equal to `capacity` when nothing needs to change.
inline int NextCapacity(int count, int capacity, int wanted)
{
    if (wanted < 0) return count + 8 < capacity ? count + 4 : capacity;
    if (capacity >= wanted) return capacity;
    if (wanted < count) wanted = count;
    int c = capacity;
    while (c < wanted) c += 4;
    return c;
}

// Image point to device pixel: trunc(origin + zoom v), towards zero. Values
// beyond the int range (or NaN) are pinned so that the conversion is defined.
inline int ToDevice(int origin, float zoom, float v)
{
    const float d = static_cast<float>(origin) + zoom * v;
    if (!(d == d)) return 0;
    if (d >= 2147483520.0f) return std::numeric_limits<int>::max() - 127;
    if (d <= -2147483520.0f) return std::numeric_limits<int>::min() + 128;
    return static_cast<int>(d);
}

}  // namespace curvekit
