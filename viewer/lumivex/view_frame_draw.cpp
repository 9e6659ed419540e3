#include "viewer/lumivex/view_frame_draw.h"
#include "core/cpu_features.h"

#include "platform/win/dib.h"
#include "viewer/engine/row_bands.h"
#include "viewer/lumivex/view_frame_draw_kernels.h"

#include <algorithm>
#include <cstring>

namespace lumivexdraw {

std::vector<SpreadGroup> MakeSpreadGroups(const int32_t* columns, size_t count)
{
    std::vector<SpreadGroup> groups(count / 4);
    for (size_t g = 0; g < groups.size(); ++g) {
        SpreadGroup& s = groups[g];
        const int32_t* c = columns + 4 * g;
        s.base = c[0];
        s.vector = c[1] >= c[0] && c[2] >= c[1] && c[3] >= c[2] && c[3] + 3 - c[0] <= 16;
        for (int k = 0; k < 16; ++k) {
            // The fourth byte of each pixel shuffles in a zero; the kept
            // target byte is or-ed in after.
            s.mask[k] = k % 4 == 3 || !s.vector ? int8_t{-1} : static_cast<int8_t>(c[k / 4] + k % 4 - s.base);
        }
    }
    return groups;
}

void SpreadRowPlain(const unsigned char* in, const int32_t* columns, size_t count, unsigned char* out)
{
    for (size_t k = 0; k < count; ++k, out += 4) {
        const unsigned char* p = in + columns[k];
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
    }
}

bool HasSsse3()
{
    return cpu::HasSsse3();
}

}  // namespace lumivexdraw

namespace {

// The source index under the centre of target pixel i of `to` pixels
// stretched from `from`: floor((2i + 1) from / (2 to)), as the window's
// nearest stretch takes it.
inline int32_t CentreIndex(int64_t i, int64_t from, int64_t to)
{
    return static_cast<int32_t>((2 * i + 1) * from / (2 * to));
}

// 24-bit rows laid out as a DIB's: what StretchDIBits reads for the frame.
bool IsDibFrame(const Image& from)
{
    return from.GetData() && from.GetDataType() == IMG_UINT8 && from.IsInterleaved() && from.GetChannels() == 3 &&
           from.GetWidth() > 0 && from.GetHeight() > 0 && from.GetRowByte() == DibRowBytes(from.GetWidth(), 24);
}

// Target rows of one drawing; each row reads one source row and writes only
// its own pixels, so the bands may run on any threads.
struct RowJob {
    const unsigned char* source;
    size_t sourceRow;  // bytes
    int sourceHeight;
    int height;        // of the stretched rectangle
    unsigned char* target;
    size_t targetRow;  // bytes
    int64_t rowZero;   // target row of the rectangle's row 0 (may lie above the target)
    size_t left;       // target byte of the first column drawn
    const std::vector<int32_t>& columns;
    const std::vector<lumivexdraw::SpreadGroup>& groups;
    bool vector;

    void Rows(int firstRow, int lastRow) const
    {
        const size_t sourceBytes = sourceRow * static_cast<size_t>(sourceHeight);
        for (int j = firstRow; j <= lastRow; ++j) {
            const int y = CentreIndex(j, sourceHeight, height);
            const size_t rowStart = static_cast<size_t>(y) * sourceRow;
            const unsigned char* in = source + rowStart;
            unsigned char* out = target + static_cast<size_t>(rowZero + j) * targetRow + left;
            const size_t count = columns.size();
            if (vector && j < lastRow && CentreIndex(j + 1, sourceHeight, height) == y) {
                // Enlarged vertically: the next row shows the same source row.
                unsigned char* second = out + targetRow;
                const size_t done = lumivexdraw::SpreadRowPairSsse3(in, sourceBytes - rowStart, groups.data(),
                                                                    groups.size(), columns.data(), out, second);
                lumivexdraw::SpreadRowPlain(in, columns.data() + done, count - done, out + 4 * done);
                lumivexdraw::SpreadRowPlain(in, columns.data() + done, count - done, second + 4 * done);
                ++j;
                continue;
            }
            const size_t done = vector ? lumivexdraw::SpreadRowSsse3(in, sourceBytes - rowStart, groups.data(),
                                                                     groups.size(), columns.data(), out)
                                       : 0;
            lumivexdraw::SpreadRowPlain(in, columns.data() + done, count - done, out + 4 * done);
        }
    }
};

bool Draw(CDC& dc, int x, int y, int width, int height, const Image& from, bool simd)
{
    if (!IsDibFrame(from) || width <= 0 || height <= 0) return false;
    CDC::DirectTarget target;
    if (!dc.GetDirectTarget(target) || target.channels != 4) return false;
    const int64_t dx0 = dc.TargetX(x), dy0 = dc.TargetY(y);
    if (dc.TargetX(int64_t{x} + width) - dx0 != width || dc.TargetY(int64_t{y} + height) - dy0 != height)
        return false;  // a scaled mapping stretches twice
    const int sw = from.GetWidth(), sh = from.GetHeight();
    if (dc.GetStretchBltMode() == HALFTONE && (sw > width || sh > height)) return false;
    // The part of the rectangle on the writable target, in rectangle pixels.
    const int64_t iFrom = std::max<int64_t>(0, target.writable.left - dx0);
    const int64_t iTo = std::min<int64_t>(width, target.writable.right - dx0);
    const int64_t jFrom = std::max<int64_t>(0, target.writable.top - dy0);
    const int64_t jTo = std::min<int64_t>(height, target.writable.bottom - dy0);
    if (iFrom >= iTo || jFrom >= jTo) return true;
    const size_t count = static_cast<size_t>(iTo - iFrom);
    std::vector<int32_t> columns(count);
    for (size_t k = 0; k < count; ++k) columns[k] = 3 * CentreIndex(iFrom + static_cast<int64_t>(k), sw, width);
    const bool vector = simd && lumivexdraw::HasSsse3();
    const std::vector<lumivexdraw::SpreadGroup> groups =
        vector ? lumivexdraw::MakeSpreadGroups(columns.data(), count) : std::vector<lumivexdraw::SpreadGroup>();
    const RowJob job{from.GetData(), static_cast<size_t>(from.GetRowByte()), sh, height,
                     target.data, static_cast<size_t>(target.rowBytes), dy0, static_cast<size_t>(dx0 + iFrom) * 4,
                     columns, groups, vector};
    viewengine::ForEachRowBand(static_cast<int>(jFrom), static_cast<int>(jTo - 1), (iTo - iFrom) * (jTo - jFrom),
                               [&job](int firstRow, int lastRow) { job.Rows(firstRow, lastRow); });
    return true;
}

}  // namespace

bool DrawViewFrame(CDC& dc, int x, int y, int width, int height, const Image& from)
{
    return Draw(dc, x, y, width, height, from, true);
}

bool DrawViewFramePlain(CDC& dc, int x, int y, int width, int height, const Image& from)
{
    return Draw(dc, x, y, width, height, from, false);
}
