// Reversing the sample order of three-byte pixels (blue, green, red to red,
// green, blue and back): the writer's frames go from the suite's images into
// the off-screen world in one order and to the JPEG encoder in the other.
#pragma once

#include <cstdint>

namespace cinvora {

// dst[3i .. 3i + 2] = src[3i + 2], src[3i + 1], src[3i] for i < pixels; the
// two must not overlap.
void SwapRedBlue(const uint8_t* src, uint8_t* dst, int pixels);

// The same one pixel at a time: what SwapRedBlue must equal.
void SwapRedBluePlain(const uint8_t* src, uint8_t* dst, int pixels);

}  // namespace cinvora
