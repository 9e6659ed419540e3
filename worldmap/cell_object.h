// The position of a cell (an annotation or an image) in a viewer's screen
// image. TextCell and BmpCell carry one; views move cells through it.
#pragma once

#include <cstdint>

class CellObject {
public:
    CellObject() = default;

    // Positions are 16-bit and wrap as such.
    void Move(int16_t dx, int16_t dy)
    {
        m_x = static_cast<int16_t>(m_x + dx);
        m_y = static_cast<int16_t>(m_y + dy);
    }
    void GetLocation(int16_t& x, int16_t& y) const
    {
        x = m_x;
        y = m_y;
    }
    void SetLocation(int16_t x, int16_t y)
    {
        m_x = x;
        m_y = y;
    }

    int16_t m_x = 0;  // left, screen-image pixels
    int16_t m_y = 0;  // top
    uint32_t m_cellWord = 0;  // reserved; nothing reads it
};
