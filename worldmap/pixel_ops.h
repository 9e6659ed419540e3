// Storing and blending one input pixel (red, green, blue, or one byte) into a
// map sample (blue, green, red), shared by WorldMapBase and RectWorldMap (not
// exported). A stored first byte of 0 would read as "no data", so it becomes
// 1.
#pragma once

#include <cstdint>

namespace pixelops {

inline void StorePixel(uint8_t* target, const char* pixel, int channels)
{
    const auto* p = reinterpret_cast<const uint8_t*>(pixel);
    if (channels == 3) {
        target[0] = p[2] ? p[2] : 1;
        target[1] = p[1];
        target[2] = p[0];
    } else {
        target[0] = p[0] ? p[0] : 1;
    }
}

// keep * old + weight * new in float; a result that is not above 0 stores 1
// on the first byte (the pixel still holds data) and 0 on the others.
inline uint8_t BlendByte(uint8_t old, uint8_t in, float keep, float weight, bool first)
{
    const float r = keep * static_cast<float>(old) + weight * static_cast<float>(in);
    if (!(r > 0.0f)) return first ? 1 : 0;
    if (r >= 255.0f) return 255;
    return static_cast<uint8_t>(r);
}

// An empty target (first byte 0) takes the pixel as StorePixel does.
inline void BlendPixel(uint8_t* target, const char* pixel, float weight, int channels)
{
    if (target[0] == 0) {
        StorePixel(target, pixel, channels);
        return;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(pixel);
    const float keep = 1.0f - weight;
    if (channels == 3) {
        target[0] = BlendByte(target[0], p[2], keep, weight, true);
        target[1] = BlendByte(target[1], p[1], keep, weight, false);
        target[2] = BlendByte(target[2], p[0], keep, weight, false);
    } else {
        target[0] = BlendByte(target[0], p[0], keep, weight, true);
    }
}

}  // namespace pixelops
