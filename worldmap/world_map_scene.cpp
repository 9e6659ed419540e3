// Writing the bands of a scene file into a world map: every sector is placed
// on its row (columns count from the row centre, shifted by the view
// centre), clipped to the stored samples, split where it runs across the end
// of the row, and copied or averaged into the samples already there.
#include "worldmap/world_map.h"

#include "core/logger.h"
#include "platform/sceneio/kestova_file.h"
#include "worldmap/map_math.h"

#include <algorithm>
#include <cstring>

using mapmath::Wrap;

namespace {

// n consecutive source samples of fc channels into a row of mc channels. A
// source sample whose first byte is 0 holds no data and is skipped; in blend
// mode a target that holds data becomes the average (right shift).
void WriteSamples(uint8_t* target, const uint8_t* src, int64_t n, int fc, int mc, bool blend)
{
    for (int64_t i = 0; i < n; ++i, src += fc, target += mc) {
        if (src[0] == 0) continue;
        const bool average = blend && target[0] != 0;
        for (int c = 0; c < mc; ++c) {
            const uint8_t s = src[fc == mc ? c : 0];
            target[c] = average ? static_cast<uint8_t>((target[c] + s) >> 1) : s;
        }
    }
}

// The column extent of the sectors written, in scene columns, as the map has
// always kept it: floats, each sector shifted by a whole turn when that keeps
// the extent shorter.
class SectorExtent {
public:
    explicit SectorExtent(float equator) : m_equator(equator) {}

    void Record(float o, float t)
    {
        if (!m_recorded) {
            m_low = o;
            m_high = t;
            m_recorded = true;
            return;
        }
        if (o > m_high && o - m_high > m_low - t + m_equator) {
            o -= m_equator;
            t -= m_equator;
        } else if (t < m_low && m_low - t > (o + m_equator) - m_high) {
            o += m_equator;
            t += m_equator;
        }
        m_low = std::min(m_low, o);
        m_high = std::max(m_high, t);
    }
    // False when nothing, or nothing within reach of the map, was written.
    bool IsSet() const { return m_recorded && !(m_low > 1e6f) && !(m_high < -1e6f); }
    float Low() const { return m_low; }
    float High() const { return m_high; }

private:
    float m_equator;
    bool m_recorded = false;
    float m_low = 1e30f;
    float m_high = -1e30f;
};

// One sector into its row: placed by the view centre `vc`, clipped to the
// stored samples and split where it runs across the end of the row. The
// scene columns written go to `extent`; a sector that meets no stored
// sample adds nothing.
void WriteSector(const WorldMapBase::ScanLine& line, const CSector& sector, int64_t vc, int fc, int mc, bool blend,
                 SectorExtent& extent)
{
    const int64_t s = line.m_samples;
    const int64_t fs = line.m_first;
    const int64_t ls = line.m_last;
    auto target = [&](int64_t index) { return line.m_line + static_cast<size_t>(index - fs) * mc; };
    int64_t g = sector.m_first;
    int64_t l = sector.m_last;
    const uint8_t* src = sector.GetDataPtr();
    if (l - g + 1 > s) l = g + s - 1;  // longer than the row: one turn of it
    int64_t o = g, t = l;              // the extent recorded
    g = Wrap(g + s / 2 - vc, s);
    l = Wrap(l + s / 2 - vc, s);
    if (g <= l) {
        if (l < fs || g > ls) return;
        if (g < fs) {
            src += (fs - g) * fc;
            o += fs - g;
            g = fs;
        }
        if (l > ls) {
            t -= l - ls;
            l = ls;
        }
        WriteSamples(target(g), src, l - g + 1, fc, mc, blend);
    } else if (g > ls) {
        // Only the part past the end of the row, from index 0, can meet the
        // stored samples.
        if (l < fs) return;
        const int64_t end = std::min(l, ls);
        WriteSamples(target(fs), src + (s + fs - g) * fc, end - fs + 1, fc, mc, blend);
    } else {
        if (g < fs) {
            WriteSamples(target(fs), src + (fs - g) * fc, ls - fs + 1, fc, mc, blend);
            return;
        }
        WriteSamples(target(g), src, ls - g + 1, fc, mc, blend);
        if (l < fs) return;
        WriteSamples(target(fs), src + (s + fs - g) * fc, l - fs + 1, fc, mc, blend);
    }
    extent.Record(static_cast<float>(o), static_cast<float>(t));
}

}  // namespace

void WorldMap::AddData(KestovaFile* file)
{
    AddData(file, -100000, 100000, true);
}

void WorldMap::AddData(KestovaFile* file, int firstRow, int lastRow, bool blend)
{
    if (!file || !m_scanLines || !file->GetBandList()) return;
    const int fc = file->GetNumChannel();
    const int mc = GetChannels();
    if (!((fc == mc) || (fc == 1 && mc == 3))) {
        Logger::log("ERROR WorldMap::AddData: scene of %d channels into a map of %d", 1, fc, mc);
        return;
    }
    const int64_t vc = GetViewCenter_int();
    SectorExtent extent(static_cast<float>(file->GetEquatorSampleNum()));
    List* bands = file->GetBandList();
    for (int b = 0; b < bands->m_count; ++b) {
        const CBand* band = static_cast<const CBand*>(bands->GetData(b));
        if (!band || band->m_numSectors <= 0 || band->m_row < firstRow || band->m_row > lastRow) continue;
        const int64_t r = static_cast<int64_t>(band->m_row) + m_numScanLines / 2;
        if (r < 0 || r >= m_numScanLines) continue;
        const ScanLine& line = m_scanLines[r];
        if (!line.m_line) continue;
        UpdateScanLineArea(static_cast<int>(r));
        for (int k = 0; k < band->m_numSectors; ++k) {
            const CSector* sector = band->m_sectors[k];
            if (sector && sector->m_last >= sector->m_first) WriteSector(line, *sector, vc, fc, mc, blend, extent);
        }
    }
    if (!extent.IsSet()) return;
    m_flags |= 2;
    const float shift = static_cast<float>(m_width / 2 - vc);
    const float low = extent.Low() + shift;
    const float high = extent.High() + shift;
    // Non-negative values truncate; negative ones round half away.
    auto toInt = [](float v) { return v >= 0.0f ? mapmath::TruncToInt64(v) : mapmath::TruncToInt64(v - 0.5f); };
    int64_t x0 = toInt(low);
    int64_t x1 = toInt(high);
    if (x1 - x0 + 1 > m_width) x1 = x0 + m_width - 1;
    x0 = Wrap(x0, m_width);
    x1 = Wrap(x1, m_width);
    UpdateXDataAreaRect(static_cast<int>(x0), static_cast<int>(x1));
}

void WorldMap::AddDataBlend(KestovaFile* file)
{
    if (!file || !m_scanLines || !file->GetBandList()) return;
    const int fc = file->GetNumChannel();
    const int mc = GetChannels();
    if (!((fc == mc) || (fc == 1 && mc == 3))) {
        Logger::log("ERROR WorldMap::AddDataBlend: scene of %d channels into a map of %d", 1, fc, mc);
        return;
    }
    const int64_t vc = GetViewCenter_int();
    int64_t minFirst = INT32_MAX, maxLast = INT32_MIN;
    List* bands = file->GetBandList();
    for (int b = 0; b < bands->m_count; ++b) {
        const CBand* band = static_cast<const CBand*>(bands->GetData(b));
        if (!band || band->m_numSectors <= 0) continue;
        const int64_t r = static_cast<int64_t>(band->m_row) + m_numScanLines / 2;
        if (r < 0 || r >= m_numScanLines) continue;
        ScanLine& line = m_scanLines[r];
        if (!line.m_line) continue;
        UpdateScanLineArea(static_cast<int>(r));
        const int64_t s = line.m_samples;
        const int64_t fs = line.m_first;
        const int64_t ls = line.m_last;
        minFirst = std::min(minFirst, fs);
        maxLast = std::max(maxLast, ls);
        // Writes the samples of row indices [from, to] that are stored;
        // `src` holds index `from`.
        auto writeStored = [&](int64_t from, int64_t to, const uint8_t* src) {
            const int64_t lo = std::max(from, fs);
            const int64_t hi = std::min(to, ls);
            if (lo > hi) return;
            WriteSamples(line.m_line + static_cast<size_t>(lo - fs) * mc, src + (lo - from) * fc, hi - lo + 1, fc, mc,
                         true);
        };
        for (int k = 0; k < band->m_numSectors; ++k) {
            const CSector* sector = band->m_sectors[k];
            if (!sector || sector->m_last < sector->m_first) continue;
            int64_t length = static_cast<int64_t>(sector->m_last) - sector->m_first + 1;
            length = std::min(length, s);
            const int64_t g = Wrap(sector->m_first + s / 2 - vc, s);
            const uint8_t* src = sector->GetDataPtr();
            if (g + length <= s) {
                writeStored(g, g + length - 1, src);
            } else {
                writeStored(g, s - 1, src);
                writeStored(0, g + length - 1 - s, src + (s - g) * fc);
            }
        }
    }
    if (minFirst <= maxLast) UpdateXDataAreaRect(static_cast<int>(minFirst), static_cast<int>(maxLast));
}
