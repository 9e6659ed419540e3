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

}  // namespace

// Each target row reads one source row and writes only its own pixels, so
// the bands may run on any threads. The vector loads stay inside the source
// row too (the plain loop takes the groups at its end): a frame drawn while
// the engine renders it has the next rows written by other threads.
void ViewFrameRows::TargetRows(int firstRow, int lastRow) const
{
    const size_t count = m_columns.size();
    for (int j = firstRow; j <= lastRow; ++j) {
        const int y = CentreIndex(j, m_sourceHeight, m_height);
        const unsigned char* in = m_source + static_cast<size_t>(y) * m_sourceRow;
        unsigned char* out = m_target + static_cast<size_t>(m_rowZero + j) * m_targetRow + m_left;
        if (m_vector && j < lastRow && CentreIndex(j + 1, m_sourceHeight, m_height) == y) {
            // Enlarged vertically: the next row shows the same source row.
            unsigned char* second = out + m_targetRow;
            const size_t done = lumivexdraw::SpreadRowPairSsse3(in, m_sourceRow, m_groups.data(), m_groups.size(),
                                                                m_columns.data(), out, second);
            lumivexdraw::SpreadRowPlain(in, m_columns.data() + done, count - done, out + 4 * done);
            lumivexdraw::SpreadRowPlain(in, m_columns.data() + done, count - done, second + 4 * done);
            ++j;
            continue;
        }
        const size_t done = m_vector ? lumivexdraw::SpreadRowSsse3(in, m_sourceRow, m_groups.data(), m_groups.size(),
                                                                   m_columns.data(), out)
                                     : 0;
        lumivexdraw::SpreadRowPlain(in, m_columns.data() + done, count - done, out + 4 * done);
    }
}

bool ViewFrameRows::Prepare(CDC& dc, int x, int y, int width, int height, const Image& from, bool simd)
{
    *this = ViewFrameRows();
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
    if (iFrom >= iTo || jFrom >= jTo) return true;  // nothing shows
    const size_t count = static_cast<size_t>(iTo - iFrom);
    m_columns.resize(count);
    for (size_t k = 0; k < count; ++k) m_columns[k] = 3 * CentreIndex(iFrom + static_cast<int64_t>(k), sw, width);
    m_vector = simd && lumivexdraw::HasSsse3();
    if (m_vector) m_groups = lumivexdraw::MakeSpreadGroups(m_columns.data(), count);
    m_source = from.GetData();
    m_sourceRow = static_cast<size_t>(from.GetRowByte());
    m_sourceHeight = sh;
    m_height = height;
    m_target = target.data;
    m_targetRow = static_cast<size_t>(target.rowBytes);
    m_rowZero = dy0;
    m_left = static_cast<size_t>(dx0 + iFrom) * 4;
    m_rowFrom = static_cast<int>(jFrom);
    m_rowTo = static_cast<int>(jTo);
    // Rectangle rows show frame rows in order, so the rows showing a run of
    // frame rows are a run too.
    m_firstRowOf.assign(static_cast<size_t>(sh) + 1, height);
    int next = 0;  // the frame row whose first rectangle row comes next
    for (int j = 0; j < height && next <= sh; ++j)
        for (const int s = CentreIndex(j, sh, height); next <= s; ++next) m_firstRowOf[static_cast<size_t>(next)] = j;
    return true;
}

void ViewFrameRows::DrawFrameRows(int first, int last) const
{
    if (m_columns.empty() || first > last || last < 0 || first >= m_sourceHeight) return;
    first = std::max(first, 0);
    last = std::min(last, m_sourceHeight - 1);
    const int from = std::max(m_rowFrom, m_firstRowOf[static_cast<size_t>(first)]);
    const int to = std::min(m_rowTo, m_firstRowOf[static_cast<size_t>(last) + 1]);
    if (from < to) TargetRows(from, to - 1);
}

void ViewFrameRows::DrawAll() const
{
    if (m_columns.empty()) return;
    viewengine::ForEachRowBand(m_rowFrom, m_rowTo - 1, int64_t{m_rowTo - m_rowFrom} * int64_t(m_columns.size()),
                               [this](int firstRow, int lastRow) { TargetRows(firstRow, lastRow); });
}

bool DrawViewFrame(CDC& dc, int x, int y, int width, int height, const Image& from)
{
    ViewFrameRows rows;
    if (!rows.Prepare(dc, x, y, width, height, from, true)) return false;
    rows.DrawAll();
    return true;
}

bool DrawViewFramePlain(CDC& dc, int x, int y, int width, int height, const Image& from)
{
    ViewFrameRows rows;
    if (!rows.Prepare(dc, x, y, width, height, from, false)) return false;
    rows.DrawAll();
    return true;
}
