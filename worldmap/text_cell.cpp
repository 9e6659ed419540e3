#include "worldmap/text_cell.h"

#include <algorithm>
#include <cstring>

TextCell::TextCell(const char* text) : m_text(text ? text : "")
{
    m_textWidth = static_cast<int16_t>(std::min<size_t>(m_text.size(), INT16_MAX));
}

TextCell::~TextCell() = default;

void TextCell::SetText(const char* text)
{
    m_text = text ? text : "";
}

bool TextCell::IsInside(int16_t x, int16_t y) const
{
    return x >= m_x && x <= m_x + m_textWidth && y >= m_y && y <= m_y + m_textHeight;
}
