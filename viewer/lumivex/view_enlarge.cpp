#include "viewer/lumivex/view_enlarge.h"
#include "core/cpu_features.h"

#include "core/logger.h"
#include "viewer/engine/row_bands.h"

#include <cstdint>
#include <cstring>
#include <tmmintrin.h>
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

// Eight target pixels (24 bytes) of three-byte pixels built from one
// 16-byte load of the source row by two byte shuffles, wherever the eight
// source pixels lie within 16 bytes (any enlargement of 1.6 times or more).
// The shuffles are worked out once a frame from the column table.
struct ShuffleGroup {
    alignas(16) int8_t low[16];
    alignas(16) int8_t high[16];
    int32_t base;  // source byte of the load, from the row's start
    bool vector;
};

std::vector<ShuffleGroup> MakeGroups(const std::vector<int32_t>& columns)
{
    std::vector<ShuffleGroup> groups(columns.size() / 8);
    for (size_t g = 0; g < groups.size(); ++g) {
        ShuffleGroup& s = groups[g];
        const int32_t* c = columns.data() + 8 * g;
        s.base = c[0];
        s.vector = c[7] + 3 - c[0] <= 16 && c[7] >= c[0];
        for (int k = 0; k < 16; ++k) s.high[k] = -1;
        for (int k = 0; k < 24 && s.vector; ++k) {
            const int8_t from = static_cast<int8_t>(c[k / 3] + k % 3 - s.base);
            if (from < 0 || from > 15) s.vector = false;
            (k < 16 ? s.low[k] : s.high[k - 16]) = from;
        }
    }
    return groups;
}

// The groups of one row; returns the target pixels done (whole groups up to
// the first that cannot load 16 bytes inside the `readable` bytes of `in`).
__attribute__((target("ssse3"))) int ShuffleRow(const unsigned char* in, size_t readable,
                                                const std::vector<ShuffleGroup>& groups,
                                                const std::vector<int32_t>& columns, unsigned char* out)
{
    size_t g = 0;
    for (; g < groups.size(); ++g) {
        const ShuffleGroup& s = groups[g];
        unsigned char* p = out + 24 * g;
        if (s.vector && static_cast<size_t>(s.base) + 16 <= readable) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + s.base));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                             _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(s.low))));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16),
                             _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(s.high))));
        } else if (s.vector) {
            break;  // the row's end is near: the plain loop finishes it
        } else {
            for (int k = 0; k < 8; ++k) std::memcpy(p + 3 * k, in + columns[8 * g + static_cast<size_t>(k)], 3);
        }
    }
    return static_cast<int>(8 * g);
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
    const bool shuffle = b == 3 && cpu::HasSsse3();
    const std::vector<ShuffleGroup> groups = shuffle ? MakeGroups(columns) : std::vector<ShuffleGroup>();
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
            int i = shuffle ? ShuffleRow(in, srcBytes - rowStart, groups, columns, out) : 0;
            // Four bytes moved a pixel, the fourth overwritten by the next
            // one; the last pixel, and any whose fourth byte would lie past
            // the source, move three.
            const size_t safe = srcBytes - rowStart;  // bytes readable from `in`
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
            if (i < dw) std::memcpy(out + static_cast<size_t>(i) * 3, in + columns[static_cast<size_t>(i)], 3);
        }
    });
    return true;
}
