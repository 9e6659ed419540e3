#include "segment/regionkit/junction.h"

#include "imaging/image.h"

void Junction::AtatchBorder(BorderSegment* b)
{
    for (int i = 0; i < 3; ++i) {
        if (!m_pBorder[i]) {
            m_pBorder[i] = b;
            return;
        }
    }
    m_pBorder[3] = b;
}

void Junction::RemoveBorder(BorderSegment* b)
{
    for (BorderSegment*& slot : m_pBorder) {
        if (slot == b) {
            slot = nullptr;
            return;
        }
    }
}

int Junction::GetNumbConnection() const
{
    int n = 0;
    for (BorderSegment* slot : m_pBorder) n += slot != nullptr;
    return n;
}

BorderSegment* Junction::GetConnection(BorderSegment* b) const
{
    for (int i = 0; i < 3; ++i)
        if (m_pBorder[i] && m_pBorder[i] != b) return m_pBorder[i];
    return m_pBorder[3] ? m_pBorder[3] : b;
}

bool Junction::CheckDrawingPoint(int stride, Image* out, int& x, int& y) const
{
    if (stride <= 0 || !out) return false;
    x = m_pos % stride;
    y = m_pos / stride;
    return x > 1 && y > 1 && x < out->GetWidth() - 1 && y < out->GetHeight() - 1;
}

namespace {

// The five pixels of the plus sign, `bytes` apart along a row.
void DrawPlus(int stride, Image* out, const Junction& j, int bytes)
{
    int x = 0, y = 0;
    if (!j.CheckDrawingPoint(stride, out, x, y) || out->GetDataType() != IMG_UINT8 || !out->GetData()) return;
    if (bytes > 1 && !out->IsInterleaved()) return;
    unsigned char* data = out->GetData();
    const size_t row = static_cast<size_t>(out->GetRowByte());
    const int px[5] = {x, x - 1, x, x + 1, x};
    const int py[5] = {y - 1, y, y, y, y + 1};
    for (int i = 0; i < 5; ++i) data[static_cast<size_t>(py[i]) * row + static_cast<size_t>(px[i]) * bytes] = 255;
}

}  // namespace

void Junction::DrawU8Y(int stride, Image* out) const
{
    DrawPlus(stride, out, *this, 1);
}

void Junction::DrawU8RGB(int stride, Image* out) const
{
    DrawPlus(stride, out, *this, 3);
}
