#include "platform/mergekit/crop_region.h"

#include "core/logger.h"
#include "worldmap/world_map.h"

#include <algorithm>

namespace {

// Empty samples before each position of every row and every column, so
// that any edge's count is one subtraction.
struct EmptyCounts {
    int width, height;
    std::vector<int32_t> rows;  // (width + 1) per row
    std::vector<int32_t> cols;  // (height + 1) per column

    EmptyCounts(const std::vector<uint8_t>& data, int w, int h)
        : width(w), height(h), rows(static_cast<size_t>(w + 1) * h), cols(static_cast<size_t>(h + 1) * w)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                rows[static_cast<size_t>(y) * (w + 1) + x + 1] =
                    rows[static_cast<size_t>(y) * (w + 1) + x] + (data[static_cast<size_t>(y) * w + x] == 0);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                cols[static_cast<size_t>(x) * (h + 1) + y + 1] =
                    cols[static_cast<size_t>(x) * (h + 1) + y] + (data[static_cast<size_t>(y) * w + x] == 0);
    }
    int InRow(int y, int x0, int x1) const
    {
        const size_t base = static_cast<size_t>(y) * (width + 1);
        return rows[base + x1 + 1] - rows[base + x0];
    }
    int InColumn(int x, int y0, int y1) const
    {
        const size_t base = static_cast<size_t>(x) * (height + 1);
        return cols[base + y1 + 1] - cols[base + y0];
    }
};

bool Clean(int empty, int length, int perMille)
{
    return static_cast<int64_t>(empty) * 1000 <= static_cast<int64_t>(perMille) * length;
}

}  // namespace

bool LargestCleanRect(const std::vector<uint8_t>& data, int width, int height, int perMille, int step, RECT* rect)
{
    if (!rect || width < 1 || height < 1 || step < 1 || data.size() < static_cast<size_t>(width) * height) return false;
    const EmptyCounts counts(data, width, height);
    std::vector<int> lefts, rights, tops, bottoms;
    for (int x = 0; x < width; x += step) lefts.push_back(x);
    for (int x = width - 1; x >= 0; x -= step) rights.push_back(x);
    for (int y = 0; y < height; y += step) tops.push_back(y);
    for (int y = height - 1; y >= 0; y -= step) bottoms.push_back(y);
    int64_t best = 0;
    RECT found{};
    std::vector<int> validLeft, validRight;
    for (int top : tops) {
        for (int bottom : bottoms) {  // tallest first
            if (bottom < top) break;
            const int h = bottom - top + 1;
            if (static_cast<int64_t>(h) * width <= best) break;
            validLeft.clear();
            validRight.clear();
            for (int x : lefts)
                if (Clean(counts.InColumn(x, top, bottom), h, perMille)) validLeft.push_back(x);
            for (int x : rights)
                if (Clean(counts.InColumn(x, top, bottom), h, perMille)) validRight.push_back(x);
            for (int left : validLeft) {
                if (static_cast<int64_t>(h) * (width - left) <= best) break;
                for (int right : validRight) {  // widest first
                    if (right < left) break;
                    const int w = right - left + 1;
                    if (static_cast<int64_t>(h) * w <= best) break;
                    if (!Clean(counts.InRow(top, left, right), w, perMille) ||
                        !Clean(counts.InRow(bottom, left, right), w, perMille))
                        continue;
                    best = static_cast<int64_t>(h) * w;
                    found = RECT{left, top, right, bottom};
                    break;
                }
            }
        }
    }
    if (best == 0) return false;
    *rect = found;
    return true;
}

bool CalcCropRegionWM(WorldMap* map, RECT* rect, int perMille, int step)
{
    if (!map || !map->GetData() || !rect) {
        Logger::log("ERROR CalcCropRegionWM: no map", 1);
        return false;
    }
    const RECT* block = map->GetMapRect();
    const int w = block->right - block->left + 1, h = block->bottom - block->top + 1;
    if (w < 1 || h < 1) return false;
    const int c = map->GetChannels();
    std::vector<uint8_t> data(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = map->GetData() + static_cast<size_t>(y) * map->GetRowBytes();
        for (int x = 0; x < w; ++x) data[static_cast<size_t>(y) * w + x] = row[static_cast<size_t>(x) * c] != 0;
    }
    return LargestCleanRect(data, w, h, perMille, step, rect);
}
