// Fixtures shared by the Mapdeck tests: maps filled with position-coded
// samples, a refusing allocation hook, and small image helpers.
#pragma once

#include "imaging/image.h"
#include "worldmap/world_map_base.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace maptest {

// A sample value that tells row, index and channel apart (never 0, so a
// stored sample always reads as data).
inline uint8_t Code(int row, int index, int channel)
{
    return static_cast<uint8_t>(1 + (row * 37 + index * 11 + channel * 101) % 251);
}

// Writes Code() into every stored sample of the map.
inline void FillCoded(WorldMapBase& map)
{
    const int ch = map.GetChannels();
    for (int r = 0; r < map.GetHeight(); ++r) {
        const WorldMapBase::ScanLine* line = map.GetScanLine(r);
        if (!line || !line->m_line) continue;
        for (int i = line->m_first; i <= line->m_last; ++i)
            for (int c = 0; c < ch; ++c) line->m_line[(i - line->m_first) * ch + c] = Code(r, i, c);
    }
}

// The stored sample of absolute row r and index i, or null.
inline const uint8_t* Sample(const WorldMapBase& map, int r, int i)
{
    return map.GetDataPtr(i, r);
}

// An 8-bit interleaved image filled with one byte value.
inline Image* FilledImage(int width, int height, int channels, uint8_t value)
{
    Image* image = new Image(width, height, channels);
    std::memset(image->GetData(), value, image->GetDataSize());
    return image;
}

inline uint8_t* Pixel(Image* image, int x, int y)
{
    return image->GetData() + static_cast<size_t>(y) * image->GetRowByte() +
           static_cast<size_t>(x) * image->GetChannels();
}

// Installs an allocation hook for the life of the object. The hook records
// every requested size and refuses requests from the `refuseFrom`-th on
// (counting from 0), or those above `refuseAbove` bytes.
class AllocWatch {
public:
    explicit AllocWatch(int refuseFrom, size_t refuseAbove = SIZE_MAX)
    {
        s_requests.clear();
        s_refuseFrom = refuseFrom;
        s_refuseAbove = refuseAbove;
        SetWorldMapAllocHook(&Hook);
    }
    ~AllocWatch() { SetWorldMapAllocHook(nullptr); }
    AllocWatch(const AllocWatch&) = delete;
    AllocWatch& operator=(const AllocWatch&) = delete;
    const std::vector<size_t>& requests() const { return s_requests; }

private:
    static bool Hook(size_t bytes)
    {
        const int n = static_cast<int>(s_requests.size());
        s_requests.push_back(bytes);
        return n < s_refuseFrom && bytes <= s_refuseAbove;
    }
    static inline std::vector<size_t> s_requests;
    static inline int s_refuseFrom = 0;
    static inline size_t s_refuseAbove = SIZE_MAX;
};

}  // namespace maptest
