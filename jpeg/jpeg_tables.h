// Constant tables shared by the JPEG decoder and encoder.
#pragma once

#include <cstdint>

// Natural (row-major) index of each zigzag position.
// Internal linkage on purpose: an inline variable would be a unique global
// symbol, and the loader never unloads a library that exports one.
constexpr uint8_t kZigzagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// JPEG marker codes (the byte after 0xFF).
enum JpegMarker : int {
    kMarkerSof0 = 0xC0,
    kMarkerSof1 = 0xC1,
    kMarkerSof2 = 0xC2,
    kMarkerSof3 = 0xC3,
    kMarkerDht = 0xC4,
    kMarkerJpg = 0xC8,
    kMarkerRst0 = 0xD0,
    kMarkerRst7 = 0xD7,
    kMarkerSoi = 0xD8,
    kMarkerEoi = 0xD9,
    kMarkerSos = 0xDA,
    kMarkerDqt = 0xDB,
    kMarkerDri = 0xDD,
    kMarkerApp0 = 0xE0,
    kMarkerApp14 = 0xEE,
    kMarkerCom = 0xFE,
};

// The integer DCT's rotation constants, scaled by 2^kConstBits; the first
// pass keeps kPass1Bits more bits. The forward and inverse transforms, scalar
// and SSE2, take their products from these same numbers.
constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
constexpr int32_t k0_298631336 = 2446;
constexpr int32_t k0_390180644 = 3196;
constexpr int32_t k0_541196100 = 4433;
constexpr int32_t k0_765366865 = 6270;
constexpr int32_t k0_899976223 = 7373;
constexpr int32_t k1_175875602 = 9633;
constexpr int32_t k1_501321110 = 12299;
constexpr int32_t k1_847759065 = 15137;
constexpr int32_t k1_961570560 = 16069;
constexpr int32_t k2_053119869 = 16819;
constexpr int32_t k2_562915447 = 20995;
constexpr int32_t k3_072711026 = 25172;
