// Colour forms of the tour maker. The tour records keep platform colour
// values (COLORREF, 0x00BBGGRR, red in the low byte); the browser viewers'
// parameters want 0xRRGGBB, written as lowercase hexadecimal without leading
// zeros. The dialog's colour buttons draw captions in the contrast colour.
#pragma once

#include "core/win_types.h"

#include <string>

// Exchanges the low and the third byte: 0x00BBGGRR <-> 0x00RRGGBB. The top
// byte is kept.
COLORREF SwapRedBlue(COLORREF color);

// "%x" of the 0xRRGGBB form: 0x0000FF (red) gives "ff0000", 0xFF0000 (blue)
// gives "ff", black gives "0". A top byte (palette flags) is not written.
std::string ViewerColorHex(COLORREF color);

// "%.6x" of the 0xRRGGBB form, the six-digit form of the tour page's
// script values ("'#%.6x'").
std::string ViewerColorHex6(COLORREF color);

// Each of red, green and blue becomes 255 where it is below 128 and 0
// otherwise.
COLORREF ContrastColor(COLORREF color);

// Each of the three colour bytes c becomes c / 4 + 100.
COLORREF LighterShade(COLORREF color);
