#include "worldmap/bmp_cell.h"

BmpCell::BmpCell()
{
    ResetBCGT();
}

BmpCell::BmpCell(Image* image)
{
    ResetBCGT();
    if (image) Transfer(image);
}

BmpCell::~BmpCell() = default;

bool BmpCell::IsInside(int16_t x, int16_t y) const
{
    return x >= m_x && x <= m_x + GetWidth() && y >= m_y && y <= m_y + GetHeight();
}

void BmpCell::GetRect(RECT& rect) const
{
    rect.left = m_x;
    rect.top = m_y;
    rect.right = m_x + GetWidth();
    rect.bottom = m_y + GetHeight();
}

bool BmpCell::ResetBCGT()
{
    m_transparency = 0;
    m_colorCtrl.ResetBCG();
    return true;
}

bool BmpCell::SetTransparency(uint16_t transparency)
{
    if (transparency == m_transparency) return false;
    m_transparency = transparency > kInvisible ? kInvisible : transparency;
    return true;
}
