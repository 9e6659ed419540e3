#include "segment/regionkit/region.h"

#include "imaging/image.h"

#include <algorithm>

namespace {

// A mean on the 0..255 scale as a byte: truncated, and kept in range so that
// a mean a hair outside it cannot wrap.
unsigned char MeanByte(float v)
{
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<unsigned char>(v);
}

// Calls fn(x, y) for every listed pixel inside the image.
template <class Fn>
void ForPixels(const int32_t* list, int stride, const Image* out, Fn fn)
{
    if (!list || stride <= 0) return;
    const int n = list[0];
    const int width = out->GetWidth(), height = out->GetHeight();
    for (int i = 1; i <= n; ++i) {
        const int p = list[i];
        if (p < 0) continue;
        const int x = p % stride, y = p / stride;
        if (x < width && y < height) fn(x, y);
    }
}

bool IsByteImage(const Image* out)
{
    return out && out->GetData() && out->GetDataType() == IMG_UINT8;
}

// Writes `values` (one per plane) at pixel (x, y) of a float image, planar or
// interleaved.
void PutFloat(const Image* out, int x, int y, const float* values, int count)
{
    const int channels = out->GetChannels();
    const size_t step = out->IsInterleaved() ? static_cast<size_t>(channels) * sizeof(float) : sizeof(float);
    for (int c = 0; c < count && c < channels; ++c) {
        unsigned char* plane = out->GetData(c);
        if (!plane) continue;
        const float v = values[c];
        unsigned char* at = plane + static_cast<size_t>(y) * out->GetRowByte() + static_cast<size_t>(x) * step;
        std::copy_n(reinterpret_cast<const unsigned char*>(&v), sizeof(float), at);
    }
}

}  // namespace

void CRegion::Init()
{
    *this = CRegion();
}

void CRegion::AddSon(CRegion* son)
{
    son->m_pNext = m_pSon;
    son->m_pParent = this;
    m_pSon = son;
}

void CRegion::AddBorder(BorderSegment* b)
{
    m_ppBorders.push_back(b);
    m_numBorders = static_cast<int32_t>(m_ppBorders.size());
}

void CRegion::AddPixelPoint(int pixel)
{
    if (!m_pPixels) return;
    m_pPixels[++m_pPixels[0]] = pixel;
}

void CRegion::DrawRegion(int stride, Image* out) const
{
    if (!out) return;
    if (out->GetChannels() == 1) DrawRegionSon(stride, out, m_mean[0]);
    else DrawRegionSon(stride, out, m_mean[0], m_mean[1], m_mean[2]);
}

void CRegion::DrawRegionSon(int stride, Image* out, float v) const
{
    if (!out) return;
    if (!m_pPixels) {
        for (const CRegion* son = m_pSon; son; son = son->m_pNext) son->DrawRegionSon(stride, out, v);
        return;
    }
    if (IsByteImage(out)) {
        DrawRegionU8Y(stride, out, MeanByte(v));
    } else if (out->GetData() && out->GetDataType() == IMG_FLOAT) {
        ForPixels(m_pPixels, stride, out, [&](int x, int y) { PutFloat(out, x, y, &v, 1); });
    }
}

void CRegion::DrawRegionSon(int stride, Image* out, float r, float g, float b) const
{
    if (!out) return;
    if (!m_pPixels) {
        for (const CRegion* son = m_pSon; son; son = son->m_pNext) son->DrawRegionSon(stride, out, r, g, b);
        return;
    }
    if (IsByteImage(out)) {
        DrawRegionU8RGB(stride, out, MeanByte(r), MeanByte(g), MeanByte(b));
    } else if (out->GetData() && out->GetDataType() == IMG_FLOAT) {
        const float rgb[3] = {r, g, b};
        ForPixels(m_pPixels, stride, out, [&](int x, int y) { PutFloat(out, x, y, rgb, 3); });
    }
}

void CRegion::DrawRegionU8Y(int stride, Image* out, unsigned char v) const
{
    if (!IsByteImage(out)) return;
    unsigned char* data = out->GetData();
    const size_t row = static_cast<size_t>(out->GetRowByte());
    ForPixels(m_pPixels, stride, out, [&](int x, int y) { data[y * row + x] = v; });
}

void CRegion::DrawRegionU8RGB(int stride, Image* out, unsigned char a, unsigned char b, unsigned char c) const
{
    if (!IsByteImage(out) || !out->IsInterleaved() || out->GetChannels() < 3) return;
    unsigned char* data = out->GetData();
    const size_t row = static_cast<size_t>(out->GetRowByte());
    ForPixels(m_pPixels, stride, out, [&](int x, int y) {
        unsigned char* px = data + y * row + 3 * static_cast<size_t>(x);
        px[0] = a;
        px[1] = b;
        px[2] = c;
    });
}
