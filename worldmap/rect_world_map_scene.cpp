// Merging a scene file into a rectangular world map: its rectangular band
// copied row by row, and its bands resampled from their ring's sample count
// onto the map's width; new samples are averaged with samples already there.
#include "worldmap/rect_world_map.h"

#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"
#include "worldmap/map_math.h"

#include <algorithm>
#include <cstring>

using mapmath::TruncToInt;
using mapmath::TruncToInt64;
using mapmath::Wrap;

namespace {

// Stores a value into an empty target, or averages it with a non-empty one.
inline void Merge(uint8_t* target, const uint8_t* value)
{
    if (target[0] == 0) {
        std::memcpy(target, value, 3);
        return;
    }
    for (int c = 0; c < 3; ++c) target[c] = static_cast<uint8_t>((target[c] + value[c]) >> 1);
}

// n source samples of `channels` (1 or 3) merged into consecutive map pixels;
// samples whose first byte is 0 hold no data and are skipped.
void MergeRun(uint8_t* target, const uint8_t* src, int64_t n, int channels)
{
    for (int64_t i = 0; i < n; ++i, src += channels, target += 3) {
        if (src[0] == 0) continue;
        const uint8_t value[3] = {src[0], src[channels == 3 ? 1 : 0], src[channels == 3 ? 2 : 0]};
        Merge(target, value);
    }
}

}  // namespace

void RectWorldMap::AddData(KestovaFile* file)
{
    if (!file || !GetData() || GetWidth() <= 0) return;
    const int channels = file->GetNumChannel();
    if (channels != 1 && channels != 3) {
        Logger::log("ERROR RectWorldMap::AddData: scene of %d channels", 1, channels);
        return;
    }
    const int before[4] = {m_dataX0, m_dataX1, m_dataY0, m_dataY1};
    MergeRectBand(*file);
    if (List* bands = file->GetBandList()) {
        for (int b = 0; b < bands->m_count; ++b) {
            const CBand* band = static_cast<const CBand*>(bands->GetData(b));
            if (band && band->m_numSectors >= 1) MergeBand(*band, channels);
        }
    }
    const bool changed = before[0] != m_dataX0 || before[1] != m_dataX1 || before[2] != m_dataY0 ||
                         before[3] != m_dataY1;
    NotifyViewers(changed ? 16 : 15, 0);
}

void RectWorldMap::MergeRectBand(KestovaFile& file)
{
    int x0, y0, x1, y1;
    file.GetBandRect(x0, y0, x1, y1);
    const uint8_t* data = file.GetBandData();
    if (x1 < x0 || y1 < y0 || !data) return;
    const int channels = file.GetNumChannel();
    const int64_t w = GetWidth();
    const int64_t rowBytes = file.GetBandRowBytes();
    // At most one turn of each row; rows outside the map are dropped.
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(x1) - x0 + 1, w);
    const int64_t top = static_cast<int64_t>(y0) + m_centerY;
    const int64_t rowFirst = std::max<int64_t>(top, 0);
    const int64_t rowLast = std::min<int64_t>(static_cast<int64_t>(y1) + m_centerY, GetHeight() - 1);
    if (rowFirst > rowLast) return;
    const int64_t c0 = Wrap(static_cast<int64_t>(x0) + m_centerX, w);
    const int64_t c1 = Wrap(c0 + n - 1, w);
    UpdateYDataAreaRect(static_cast<int>(rowFirst), static_cast<int>(rowLast));
    UpdateXDataAreaRect(static_cast<int>(c0), static_cast<int>(c1));
    for (int64_t r = rowFirst; r <= rowLast; ++r) {
        const uint8_t* src = data + static_cast<size_t>(r - top) * static_cast<size_t>(rowBytes);
        uint8_t* row = GetDataPtr(0, static_cast<int>(r));
        if (c0 <= c1) {
            MergeRun(row + c0 * 3, src, c1 - c0 + 1, channels);
        } else {
            MergeRun(row + c0 * 3, src, w - c0, channels);
            MergeRun(row, src + (w - c0) * channels, c1 + 1, channels);
        }
    }
}

// One band: its ring of s samples is stretched onto the map's W columns.
// Target column k' (before the shift to the map centre) reads source
// position k' s / W, counted from the sector's first sample.
void RectWorldMap::MergeBand(const CBand& band, int channels)
{
    const int64_t row = static_cast<int64_t>(m_centerY) + band.m_row;
    if (row < 0 || row >= GetHeight()) return;
    UpdateYDataAreaRect(static_cast<int>(row), static_cast<int>(row));
    const int s = band.m_samples;
    if (s <= 0) return;
    const int64_t w = GetWidth();
    const float scale = static_cast<float>(w) / static_cast<float>(s);
    const float step = static_cast<float>(s) / static_cast<float>(w);
    uint8_t* line = GetDataPtr(0, static_cast<int>(row));
    for (int k = 0; k < band.m_numSectors; ++k) {
        const CSector* sector = band.m_sectors[k];
        if (!sector || sector->m_last < sector->m_first) continue;
        const int64_t count = static_cast<int64_t>(sector->m_last) - sector->m_first + 1;
        const float first = static_cast<float>(sector->m_first) * scale;
        const float last = static_cast<float>(sector->m_last) * scale;
        // Start rounded, end truncated (negative values half away from 0).
        const int64_t start = first > 0.0f ? TruncToInt64(first + 0.5f) : TruncToInt64(first);
        int64_t end = last >= 0.0f ? TruncToInt64(last) : TruncToInt64(last - 0.5f);
        if (end < start) continue;
        end = std::min(end, start + w - 1);  // one turn at most
        const int64_t a = Wrap(start + m_centerX, w);
        const int64_t b = Wrap(end + m_centerX, w);
        UpdateXDataAreaRect(static_cast<int>(a), static_cast<int>(b));
        const uint8_t* samples = sector->GetDataPtr();
        for (int64_t kk = start; kk <= end; ++kk) {
            const float f = static_cast<float>(kk) * step - static_cast<float>(sector->m_first);
            int64_t p = mapmath::FloorToInt64(f);
            float frac = f - static_cast<float>(p);
            if (p < 0) {
                p = 0;
                frac = 0.0f;
            } else if (p >= count - 1) {
                p = count - 1;
                frac = 0.0f;
            }
            const uint8_t* src = samples + p * channels;
            if (src[0] == 0) continue;
            uint8_t value[3];
            const uint8_t* next = src + channels;
            if (p < count - 1 && next[0] != 0 && frac != 0.0f) {
                for (int c = 0; c < 3; ++c) {
                    const float lo = src[channels == 3 ? c : 0];
                    const float hi = next[channels == 3 ? c : 0];
                    value[c] = mapmath::ClampByte(static_cast<int>(lo + (hi - lo) * frac));
                }
                if (value[0] == 0) value[0] = 1;
            } else {
                for (int c = 0; c < 3; ++c) value[c] = src[channels == 3 ? c : 0];
            }
            Merge(line + Wrap(kk + m_centerX, w) * 3, value);
        }
    }
}
