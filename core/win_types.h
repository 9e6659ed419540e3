// Value types of the windowing platform as the suite's libraries pass them:
// rectangles and points of 32-bit integers, 0x00BBGGRR colours, and the
// opaque handle and word types of the process services.
#pragma once

#include <cstdint>
#include <type_traits>

struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;   // exclusive, as the platform's rectangles are
    int32_t bottom;
};

struct POINT {
    int32_t x;
    int32_t y;
};

struct SIZE {
    int32_t cx;
    int32_t cy;
};

using DWORD = uint32_t;
using UINT = unsigned int;
struct HANDLE__;
using HANDLE = HANDLE__*;

// 0x00BBGGRR: red in the low byte.
using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

static_assert(sizeof(RECT) == 16 && std::is_trivially_copyable_v<RECT>);
static_assert(sizeof(POINT) == 8 && std::is_trivially_copyable_v<POINT>);
static_assert(sizeof(COLORREF) == 4);
