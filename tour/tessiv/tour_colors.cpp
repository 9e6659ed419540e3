#include "tour/tessiv/tour_colors.h"

#include <cstdio>

COLORREF SwapRedBlue(COLORREF color)
{
    return (color & 0xFF00FF00u) | ((color & 0xFFu) << 16) | ((color >> 16) & 0xFFu);
}

std::string ViewerColorHex(COLORREF color)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(SwapRedBlue(color) & 0xFFFFFFu));
    return text;
}

std::string ViewerColorHex6(COLORREF color)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.6x", static_cast<unsigned>(SwapRedBlue(color) & 0xFFFFFFu));
    return text;
}

COLORREF ContrastColor(COLORREF color)
{
    auto flip = [](uint8_t c) -> uint8_t { return c < 128 ? 255 : 0; };
    return RGB(flip(GetRValue(color)), flip(GetGValue(color)), flip(GetBValue(color)));
}

COLORREF LighterShade(COLORREF color)
{
    auto lift = [](uint8_t c) -> uint8_t { return static_cast<uint8_t>(c / 4 + 100); };
    return RGB(lift(GetRValue(color)), lift(GetGValue(color)), lift(GetBValue(color)));
}
