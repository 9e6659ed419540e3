// Moving samples between a world map and flat images: rendering a range of
// map columns and rows into an image, and building a map from an image by
// copying it or by taking over its pixel buffer.
#include "worldmap/world_map_base.h"

#include "core/logger.h"
#include "worldmap/map_math.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

using mapmath::Wrap;

namespace {

// Images exchanged with a map are 8-bit, interleaved, 1 or 3 channels.
bool IsMapImage(const Image* image)
{
    return image && image->GetData() && image->GetDataType() == IMG_UINT8 && image->IsInterleaved() &&
           (image->GetChannels() == 1 || image->GetChannels() == 3) && image->GetWidth() > 0 &&
           image->GetHeight() > 0 && image->GetRowByte() >= image->GetWidth() * image->GetChannels();
}

// A map can render into an image of its own channel count, and a 1-channel
// map into a 3-channel image; a 3-channel map never into a 1-channel image.
bool ChannelsPair(int mapChannels, int imageChannels)
{
    return mapChannels == imageChannels || (mapChannels == 1 && imageChannels == 3);
}

// The part of an output rectangle that lies in the image. Output column
// d + j for j in [0, span), row e + k for k in [0, rows).
struct Clip {
    int64_t jLo, jHi;  // inclusive, relative to d
    int64_t kLo, kHi;  // inclusive, relative to e
    bool empty() const { return jHi < jLo || kHi < kLo; }
};

Clip ClipToImage(int64_t span, int64_t rows, const Image& image, int d, int e)
{
    Clip c;
    c.jLo = std::max<int64_t>(0, -static_cast<int64_t>(d));
    c.jHi = std::min<int64_t>(span - 1, static_cast<int64_t>(image.GetWidth()) - 1 - d);
    c.kLo = std::max<int64_t>(0, -static_cast<int64_t>(e));
    c.kHi = std::min<int64_t>(rows - 1, static_cast<int64_t>(image.GetHeight()) - 1 - e);
    return c;
}

uint8_t* OutputPixel(const Image& image, int64_t x, int64_t y)
{
    return image.GetData() + static_cast<size_t>(y) * static_cast<size_t>(image.GetRowByte()) +
           static_cast<size_t>(x) * static_cast<size_t>(image.GetChannels());
}

// n samples of a map row into an output run; a 1-channel map into a
// 3-channel image writes each sample three times.
void CopySamples(uint8_t* dst, const uint8_t* src, int64_t n, int mapChannels, int imageChannels)
{
    if (mapChannels == imageChannels) {
        std::memcpy(dst, src, static_cast<size_t>(n) * static_cast<size_t>(mapChannels));
        return;
    }
    for (int64_t i = 0; i < n; ++i) {
        dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = src[i];
    }
}

// One output row of ComputePanoImage_rect, specialised on the channel
// pairing so the per-pixel work is a few float operations.
template <int MC, int IC>
void ResampleRow(const WorldMapBase::ScanLine& line, int64_t iFirst, int64_t count, uint8_t* out)
{
    const int64_t s = line.m_samples;
    const float scale = line.m_scale;
    const float h = static_cast<float>(s / 2);
    const int64_t first = line.m_first;
    const int64_t last = line.m_last;
    for (int64_t j = 0; j < count; ++j, out += IC) {
        const float pos = scale * static_cast<float>(iFirst + j) + h;
        // Floor, not truncation: a position left of 0 must keep its fraction
        // in [0, 1) or the interpolation extrapolates. |pos| stays far below
        // 2^62 (scale <= 1, |i| < 2^33), so the conversions are exact; the
        // floor is spelt out because SSE2 has no rounding instruction.
        int64_t u = static_cast<int64_t>(pos);
        if (static_cast<float>(u) > pos) --u;
        const float w = pos - static_cast<float>(u);
        const int64_t v = (u >= 0 && u < s) ? u : Wrap(u, s);
        uint8_t value[MC];
        if (v >= first && v < last) {
            const uint8_t* p = line.m_line + static_cast<size_t>(v - first) * MC;
            for (int c = 0; c < MC; ++c)
                value[c] = static_cast<uint8_t>(static_cast<float>(p[c]) + static_cast<float>(p[c + MC] - p[c]) * w);
        } else if (v == last) {
            const uint8_t* p = line.m_line + static_cast<size_t>(v - first) * MC;
            for (int c = 0; c < MC; ++c) value[c] = p[c];
        } else {
            for (int c = 0; c < MC; ++c) value[c] = 0;
        }
        for (int c = 0; c < IC; ++c) out[c] = value[MC == IC ? c : 0];
    }
}

}  // namespace

void WorldMapBase::ComputePanoImage(int a, int b, int firstRow, int lastRow, Image* image, int d, int e) const
{
    if (m_mapType == 1)
        ComputePanoImage_rect(a, b, firstRow, lastRow, image, d, e);
    else
        CopyPanoImage(a, b, firstRow, lastRow, image, d, e);
}

// Each row of s samples is resampled onto the equator's W columns: output
// column for i (counted from the map centre) samples position scale*i + s/2
// of the row, linearly between the two stored neighbours.
void WorldMapBase::ComputePanoImage_rect(int a, int b, int firstRow, int lastRow, Image* image, int d, int e) const
{
    if (!IsMapImage(image) || !m_scanLines || b < a || lastRow < firstRow) return;
    const int mc = static_cast<int>(m_channels);
    const int ic = image->GetChannels();
    if (!ChannelsPair(mc, ic)) return;
    const int64_t span = static_cast<int64_t>(b) - a + 1;
    const Clip clip = ClipToImage(span, static_cast<int64_t>(lastRow) - firstRow + 1, *image, d, e);
    if (clip.empty()) return;
    const int64_t iFirst = static_cast<int64_t>(a) - m_width / 2 + clip.jLo;
    const int64_t count = clip.jHi - clip.jLo + 1;
    for (int64_t k = clip.kLo; k <= clip.kHi; ++k) {
        const ScanLine* line = GetScanLine(static_cast<int>(firstRow + k));
        uint8_t* out = OutputPixel(*image, d + clip.jLo, e + k);
        if (!line || !line->m_line)
            std::memset(out, 0, static_cast<size_t>(count) * ic);
        else if (mc == 3)
            ResampleRow<3, 3>(*line, iFirst, count, out);
        else if (ic == 3)
            ResampleRow<1, 3>(*line, iFirst, count, out);
        else
            ResampleRow<1, 1>(*line, iFirst, count, out);
    }
}

// Output column j holds row index t + j wrapped into [0, s); only stored
// indices are copied, so the copy runs as one memcpy per stored stretch.
void WorldMapBase::CopyPanoImage(int a, int b, int firstRow, int lastRow, Image* image, int d, int e) const
{
    if (!IsMapImage(image) || !m_scanLines || b < a || lastRow < firstRow) return;
    const int mc = static_cast<int>(m_channels);
    const int ic = image->GetChannels();
    if (!ChannelsPair(mc, ic)) return;
    const int64_t span = static_cast<int64_t>(b) - a + 1;
    const Clip clip = ClipToImage(span, static_cast<int64_t>(lastRow) - firstRow + 1, *image, d, e);
    if (clip.empty()) return;
    for (int64_t k = clip.kLo; k <= clip.kHi; ++k) {
        const ScanLine* line = GetScanLine(static_cast<int>(firstRow + k));
        if (!line || !line->m_line) continue;
        const int64_t s = line->m_samples;
        const int64_t first = line->m_first;
        const int64_t last = line->m_last;
        const int64_t t = static_cast<int64_t>(a) + s / 2 - m_width / 2;
        for (int64_t j = clip.jLo; j <= clip.jHi;) {
            const int64_t index = Wrap(t + j, s);
            const int64_t run = std::min(s - index, clip.jHi - j + 1);
            const int64_t lo = std::max(index, first);
            const int64_t hi = std::min(index + run - 1, last);
            if (lo <= hi) {
                CopySamples(OutputPixel(*image, d + j + (lo - index), e + k),
                            line->m_line + static_cast<size_t>(lo - first) * mc, hi - lo + 1, mc, ic);
            }
            j += run;
        }
    }
}

bool WorldMapBase::CopyFromImage(Image* image, int width, int column, int row, int mapType)
{
    if (!IsMapImage(image)) {
        Logger::log("ERROR WorldMapBase::CopyFromImage: not an 8-bit interleaved image", 1);
        return false;
    }
    const int w = width / 4 * 4;
    const int rows = w / 2 + 1;
    const int iw = image->GetWidth();
    const int ih = image->GetHeight();
    REGION region{};
    REGION* pRegion = nullptr;
    if (iw != w || ih != rows) {
        const int64_t left = static_cast<int64_t>(column) - w / 2;
        const int64_t right = static_cast<int64_t>(column) + iw - w / 2 - 1;
        const int64_t top = static_cast<int64_t>(row) - rows / 2;
        const int64_t bottom = top + ih - 1;
        if (left < INT32_MIN || right > INT32_MAX || top < INT32_MIN || bottom > INT32_MAX) {
            Logger::log("ERROR WorldMapBase::CopyFromImage: Init2() failed", 1);
            return false;
        }
        region = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                  static_cast<int32_t>(bottom), iw, ih};
        pRegion = &region;
    }
    if (!Init2(w, pRegion, mapType, nullptr, 0, image->GetChannels())) {
        Logger::log("ERROR WorldMapBase::CopyFromImage: Init2() failed", 1);
        return false;
    }
    const int ch = static_cast<int>(m_channels);
    for (int k = 0; k < ih; ++k) {
        const int64_t r = static_cast<int64_t>(row) + k;
        if (r < 0 || r >= m_numScanLines) continue;
        const ScanLine& line = m_scanLines[r];
        if (!line.m_line) continue;
        const int64_t start = static_cast<int64_t>(column) + line.m_samples / 2 - w / 2;
        const int64_t end = start + iw - 1;
        const int64_t lo = std::max<int64_t>(start, line.m_first);
        const int64_t hi = std::min<int64_t>(end, line.m_last);
        if (lo > hi) continue;
        const uint8_t* src = image->GetData() + static_cast<size_t>(k) * image->GetRowByte() +
                             static_cast<size_t>(lo - start) * ch;
        std::memcpy(line.m_line + static_cast<size_t>(lo - line.m_first) * ch, src, static_cast<size_t>(hi - lo + 1) * ch);
    }
    return true;
}

// The map presents the image's own buffer and keeps a reference to the image,
// so the buffer lives as long as either holder and is freed once, by the
// image, with its own allocator. An image that does not own its buffer (a view
// of someone else's memory) is copied instead.
bool WorldMapBase::TransferFromImage(Image* image, int width, int column, int row, int mapType)
{
    if (!IsMapImage(image)) {
        Logger::log("ERROR WorldMapBase::TransferFromImage: not an 8-bit interleaved image", 1);
        return false;
    }
    const int w = width / 4 * 4;
    const int rows = (width / 4) * 2 + 1;
    const int iw = image->GetWidth();
    const int ih = image->GetHeight();
    REGION region{};
    REGION* pRegion = nullptr;
    if (iw != w || ih != rows) {
        const int64_t left = static_cast<int64_t>(column) - w / 2;
        const int regionWidth = std::min(iw, w);
        const int64_t top = static_cast<int64_t>(row) - rows / 2;
        const int regionHeight = std::min(rows, ih);
        const int64_t right = left + regionWidth - 1;
        const int64_t bottom = top + regionHeight - 1;
        if (left < INT32_MIN || right > INT32_MAX || top < INT32_MIN || bottom > INT32_MAX) {
            Logger::log("ERROR WorldMapBase::TransferFromImage: Init2() failed", 1);
            return false;
        }
        region = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                  static_cast<int32_t>(bottom), regionWidth, regionHeight};
        pRegion = &region;
    }
    if (!Init2(w, pRegion, mapType, image->GetData(), image->GetRowByte(), image->GetChannels())) {
        Logger::log("ERROR WorldMapBase::TransferFromImage: Init2() failed", 1);
        return false;
    }
    if (image->IsDataOwner()) {
        m_donor = RefPtr<Image>::share(image);
        return true;
    }
    if (!DetachFromCaller()) {
        DeleteScanLines();
        Logger::log("ERROR WorldMapBase::TransferFromImage: Init2() failed", 1);
        return false;
    }
    return true;
}

// Copies a block presented from a caller's buffer into a block of our own,
// packed, and points the rows at it.
bool WorldMapBase::DetachFromCaller()
{
    if (!m_data || m_ownedBlock) return true;
    const size_t rowUsed = static_cast<size_t>(m_mapRect.right - m_mapRect.left + 1) * m_channels;
    const size_t blockRows = static_cast<size_t>(m_mapRect.bottom - m_mapRect.top + 1);
    const size_t bytes = rowUsed * blockRows;
    uint8_t* block = AllocateBlock(bytes);
    if (!block) {
        Logger::log("ERROR WorldMapBase::TransferFromImage: cannot allocate data: %d*%zu", 1,
                    static_cast<int>(m_channels), m_numSamples);
        return false;
    }
    for (size_t r = 0; r < blockRows; ++r) std::memcpy(block + r * rowUsed, m_data + r * m_rowBytes, rowUsed);
    for (int r = m_mapRect.top; r <= m_mapRect.bottom; ++r) {
        ScanLine& line = m_scanLines[r];
        if (!line.m_line) continue;
        const size_t offset = static_cast<size_t>(line.m_line - m_data);
        const size_t blockRow = offset / m_rowBytes;
        line.m_line = block + blockRow * rowUsed + (offset - blockRow * m_rowBytes);
    }
    m_ownedBlock.reset(block);
    m_data = block;
    m_rowBytes = rowUsed;
    return true;
}
