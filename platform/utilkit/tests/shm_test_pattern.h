// The blocks the channel tests send from the child program and check on the
// server: counts from 0 to 200 and values that differ in every bit position
// the copy could get wrong (signs, fractions, large magnitudes).
#pragma once

#include "platform/utilkit/shm_layout.h"

namespace shmtest {

constexpr int kMaxPairs = 200;

inline int PairsOfBlock(int k, int blocks)
{
    return blocks > 1 ? k * kMaxPairs / (blocks - 1) : 0;
}

inline ShmMarkerPair PairValue(int block, int pair)
{
    const float b = static_cast<float>(block), p = static_cast<float>(pair);
    return ShmMarkerPair{b * 1000.25f + p, -p * 0.125f - b, 1.0e7f / (p + 1.0f) + b, p * p - 3.5f * b};
}

}  // namespace shmtest
