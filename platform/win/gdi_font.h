// Text rasteriser behind CDC::TextOut: lays a line of text out with FreeType
// in DejaVu Sans and returns its coverage. The font file is looked up at run
// time; without one every call reports failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace GdiFont {

// Coverage of one line of text, 0..255 per pixel, in a box whose top-left is
// the text position: `height` is the character cell (ascent + descent) and
// `width` the sum of the advances.
struct Layout {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;
};

struct Metrics {
    int ascent = 0;
    int descent = 0;
    int averageWidth = 0;
    int maxWidth = 0;
};

// `cellHeight` in pixels; text is UTF-8 (bytes that are not valid UTF-8 count
// as Latin-1).
bool Render(const std::string& text, int cellHeight, bool bold, Layout* out);
bool GetMetrics(int cellHeight, bool bold, Metrics* out);

// The DejaVu Sans file (Bold when asked), from FENDRAKE_FONT_FILE when set,
// else from the usual font folders; empty when none is installed.
std::string FindFontFile(bool bold);

}  // namespace GdiFont
