// A short text annotation placed in a viewer's screen image: the image
// document keeps an image's name as one, in a TextLayer.
#pragma once

#include "worldmap/cell_object.h"

#include <cstdint>
#include <string>

class TextCell : public CellObject {
public:
    // Hit width = the text's length in characters, hit height 5.
    explicit TextCell(const char* text);
    ~TextCell();
    TextCell(const TextCell&) = delete;
    TextCell& operator=(const TextCell&) = delete;

    // Replaces the text; the hit width stays as it was.
    void SetText(const char* text);
    const char* GetText() const { return m_text.c_str(); }
    void SetColor(int color) { m_color = static_cast<uint32_t>(color); }
    void SetFontSize(char size) { m_fontSize = size; }
    void SetFontType(char type) { m_fontType = type; }

    // Both ends included.
    bool IsInside(int16_t x, int16_t y) const;

    int16_t m_textWidth;
    int16_t m_textHeight = 5;
    std::string m_text;
    char m_fontSize = 9;
    char m_fontType = 0;
    uint32_t m_color = 255;  // 0x00BBGGRR: red
};
