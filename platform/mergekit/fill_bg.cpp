#include "platform/mergekit/fill_bg.h"

#include "core/logger.h"
#include "imaging/image.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Fills the empty pixels of one row span [x0, x1) from the nearest covered
// pixel of the span (ties go left); false when the span holds none.
bool FillRow(unsigned char* row, int x0, int x1, int channels)
{
    int last = -1;
    std::vector<int> nearest(static_cast<size_t>(x1 - x0), -1);
    for (int x = x0; x < x1; ++x) {
        if (row[static_cast<size_t>(x) * channels] != 0) last = x;
        nearest[x - x0] = last;
    }
    if (last < 0) return false;
    int next = -1;
    for (int x = x1 - 1; x >= x0; --x) {
        if (row[static_cast<size_t>(x) * channels] != 0) {
            next = x;
            continue;
        }
        const int left = nearest[x - x0];
        const int from = left < 0 ? next : next < 0 ? left : (x - left <= next - x ? left : next);
        std::memcpy(row + static_cast<size_t>(x) * channels, row + static_cast<size_t>(from) * channels, channels);
    }
    return true;
}

}  // namespace

void FillBackgroundRows(unsigned char* data, int width, int height, int channels, long stride, const RECT* rect)
{
    int x0 = 0, x1 = width, y0 = 0, y1 = height;
    if (rect) {
        x0 = std::max(0, static_cast<int>(rect->left));
        x1 = std::min(width, static_cast<int>(rect->right));
        y0 = std::max(0, static_cast<int>(rect->top));
        y1 = std::min(height, static_cast<int>(rect->bottom));
    }
    if (!data || x0 >= x1 || y0 >= y1 || channels < 1) return;
    std::vector<uint8_t> filled(static_cast<size_t>(y1 - y0), 0);
    for (int y = y0; y < y1; ++y) filled[y - y0] = FillRow(data + static_cast<long>(y) * stride, x0, x1, channels);
    // Rows without data copy the nearest filled row, above first on a tie.
    const size_t span = static_cast<size_t>(x1 - x0) * channels;
    for (int y = y0; y < y1; ++y) {
        if (filled[y - y0]) continue;
        int from = -1;
        for (int d = 1; from < 0 && (y - d >= y0 || y + d < y1); ++d) {
            if (y - d >= y0 && filled[y - d - y0] == 1) from = y - d;
            else if (y + d < y1 && filled[y + d - y0] == 1) from = y + d;
        }
        if (from < 0) return;  // nothing covered at all
        std::memcpy(data + static_cast<long>(y) * stride + static_cast<size_t>(x0) * channels,
                    data + static_cast<long>(from) * stride + static_cast<size_t>(x0) * channels, span);
        filled[y - y0] = 2;  // copied rows are no source: the nearest real row is
    }
}

bool FillImageBg(Image* img, const RECT* rect)
{
    if (!img || !img->GetData() || img->GetDataType() != IMG_UINT8 || !img->IsInterleaved()) {
        Logger::log("ERROR FillImageBg: not an 8-bit interleaved picture", 1);
        return false;
    }
    FillBackgroundRows(img->GetData(), img->GetWidth(), img->GetHeight(), img->GetChannels(), img->GetRowByte(), rect);
    return true;
}
