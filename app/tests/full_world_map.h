// World maps for the application's tests: every sample stored, each given by
// a function of (row, column, channel), the data area the whole map.
#pragma once

#include "worldmap/world_map.h"

#include <cstdint>

template <class SampleAt>
WorldMap* MakeFullWorldMap(int width, int channels, SampleAt sampleAt)
{
    auto* map = new WorldMap(width, nullptr, 0, channels);
    for (int r = 0; r < map->GetHeight(); ++r) {
        const WorldMapBase::ScanLine* line = map->GetScanLine(r);
        if (!line || !line->m_line) continue;
        for (int i = line->m_first; i <= line->m_last; ++i)
            for (int c = 0; c < channels; ++c)
                line->m_line[(i - line->m_first) * channels + c] = static_cast<uint8_t>(sampleAt(r, i, c));
    }
    map->m_xStart = 0;
    map->m_xEnd = width;
    map->m_yStart = 0;
    map->m_yEnd = map->GetHeight();
    return map;
}
