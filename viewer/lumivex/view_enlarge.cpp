#include "viewer/lumivex/view_enlarge.h"

#include "core/logger.h"
#include "viewer/engine/row_bands.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The source index under the centre of target pixel i of `to` pixels
// stretched from `from`: floor((2i + 1) from / (2 to)).
inline int CentreIndex(int64_t i, int64_t from, int64_t to)
{
    return static_cast<int>((2 * i + 1) * from / (2 * to));
}

bool Fits(const Image& from, const Image& to)
{
    auto plain = [](const Image& img) {
        return img.GetData() && img.GetDataType() == IMG_UINT8 && img.IsInterleaved() && img.GetWidth() > 0 &&
               img.GetHeight() > 0 && (img.GetChannels() == 1 || img.GetChannels() == 3);
    };
    return plain(from) && plain(to) && from.GetChannels() == to.GetChannels();
}

}  // namespace

bool EnlargeViewFrame(const Image& from, Image& to)
{
    if (!Fits(from, to)) {
        Logger::log("ERROR EnlargeViewFrame: missing or unequal 8-bit frames", 1);
        return false;
    }
    const int sw = from.GetWidth(), sh = from.GetHeight(), dw = to.GetWidth(), dh = to.GetHeight();
    const int b = from.GetChannels();
    const size_t srcRow = static_cast<size_t>(from.GetRowByte()), dstRow = static_cast<size_t>(to.GetRowByte());
    const size_t rowBytes = static_cast<size_t>(dw) * b;
    // Byte offsets of each target column's source pixel within a row.
    std::vector<int32_t> columns(static_cast<size_t>(dw));
    for (int i = 0; i < dw; ++i) columns[static_cast<size_t>(i)] = CentreIndex(i, sw, dw) * b;
    const size_t srcBytes = srcRow * static_cast<size_t>(sh);
    const unsigned char* source = from.GetData();
    unsigned char* target = to.GetData();
    viewengine::ForEachRowBand(0, dh - 1, int64_t{dw} * dh, [&](int first, int last) {
        int previous = -1;
        for (int j = first; j <= last; ++j) {
            const int y = CentreIndex(j, sh, dh);
            unsigned char* out = target + static_cast<size_t>(j) * dstRow;
            if (y == previous) {
                // Enlarged vertically: the row above in this band is the same.
                std::memcpy(out, out - dstRow, rowBytes);
                continue;
            }
            previous = y;
            const size_t rowStart = static_cast<size_t>(y) * srcRow;
            const unsigned char* in = source + rowStart;
            if (b == 1) {
                for (int i = 0; i < dw; ++i) out[i] = in[columns[static_cast<size_t>(i)]];
                continue;
            }
            // Four bytes moved a pixel, the fourth overwritten by the next
            // one; the last pixel, and any whose fourth byte would lie past
            // the source, move three.
            const size_t safe = srcBytes - rowStart;  // bytes readable from `in`
            int i = 0;
            for (; i < dw - 1; ++i) {
                const size_t at = static_cast<size_t>(columns[static_cast<size_t>(i)]);
                unsigned char* p = out + static_cast<size_t>(i) * 3;
                if (at + 4 <= safe) {
                    uint32_t v;
                    std::memcpy(&v, in + at, 4);
                    std::memcpy(p, &v, 4);
                } else {
                    std::memcpy(p, in + at, 3);
                }
            }
            std::memcpy(out + static_cast<size_t>(i) * 3, in + columns[static_cast<size_t>(i)], 3);
        }
    });
    return true;
}
