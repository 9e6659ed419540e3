#include "segment/regionkit/seg_margins.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "imaging/value_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace {

template <class T>
T Saturate(int64_t v)
{
    return static_cast<T>(std::clamp<int64_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// Counts below this on either side leave the differences 0.
constexpr int64_t kMinCount = 5;

}  // namespace

SegMarginCalc::SegMarginCalc(Image* image, CRegTree* tree) : m_tree(tree), m_image(image)
{
    if (image) {
        m_width = image->GetWidth();
        m_height = image->GetHeight();
        m_channels = image->GetChannels();
    }
}

bool SegMarginCalc::CheckInput() const
{
    if (!m_image || !m_image->GetData() || !m_tree) {
        Logger::log("ERROR CalcAllSegMargins() no image or no tree", 1);
        return false;
    }
    int w = 0, h = 0;
    m_tree->GetDimension(w, h);
    if (w != m_width || h != m_height || m_width < 1 || m_height < 1) {
        Logger::log("ERROR CalcAllSegMargins() image %d x %d for a tree of %d x %d", 1, m_width, m_height, w, h);
        return false;
    }
    const unsigned short type = m_image->GetDataType();
    if (m_channels < 1 || m_channels > 3 || (type != IMG_UINT8 && type != IMG_FLOAT)) {
        Logger::log("ERROR CalcAllSegMargins() %d channels of type %d; 1 to 3 of 8-bit or float are measured", 1,
                    m_channels, type);
        return false;
    }
    if (m_tree->GetNumLevels() < 1) {
        Logger::log("ERROR CalcAllSegMargins() the tree has no levels", 1);
        return false;
    }
    return true;
}

int64_t SegMarginCalc::SampleAt(int pixel, int channel) const
{
    const int x = pixel % m_width, y = pixel / m_width;
    const unsigned char* plane = m_image->GetData(channel);
    const size_t row = static_cast<size_t>(y) * m_image->GetRowByte();
    if (m_image->GetDataType() == IMG_UINT8) {
        const size_t step = m_image->IsInterleaved() ? m_channels : 1;
        return plane[row + x * step];
    }
    const size_t step = m_image->IsInterleaved() ? sizeof(float) * m_channels : sizeof(float);
    float v;
    std::memcpy(&v, plane + row + x * step, sizeof v);
    // Truncated toward zero, and kept to what the sums can hold.
    if (!std::isfinite(v)) return 0;
    return static_cast<int64_t>(std::clamp(v, -1.0e9f, 1.0e9f));
}

void SegMarginCalc::MarkSide(int x, int y, int32_t value)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    const int32_t p = y * m_width + x;
    if (m_side[p] != 0) return;
    m_side[p] = value;
    m_queue.push_back({p, 0});
}

// The pixels on the two sides of every crack step of the segment take +k
// (side 0) and -k (side 1). Side 0 is the right-hand side of the segment's
// direction: its stored order on the finest level, its chain order from its
// first junction to its last above (each son's m_forward says how the son
// runs against it). A leaf stored against the segment's direction therefore
// has its sides crossed, and the step from one leaf to the next, which is no
// crack, is passed over. Sons then combine straight or crosswise by
// m_forward alone, and side 0 stays on one side all along a coarse segment.
void SegMarginCalc::MarkSides(const BorderSegment* seg, int32_t k, bool along)
{
    if (seg->m_pSon) {
        for (const BorderSegment* son = seg->m_pSon; son; son = son->m_pNext)
            MarkSides(son, k, along == (son->m_forward == 1));
        return;
    }
    const int n = seg->GetStorageLength();
    const int32_t* pts = seg->GetStorage();
    const int stride = m_width + 1;
    for (int i = 1; i < n; ++i) {
        const int q = pts[i];
        const int step = q - pts[i - 1];
        const int x = q % stride, y = q / stride;
        int ax, ay, bx, by;  // A right of the step, B left of it
        if (step == 1) {
            ax = x - 1, ay = y, bx = x - 1, by = y - 1;
        } else if (step == -1) {
            ax = x, ay = y - 1, bx = x, by = y;
        } else if (step == stride) {
            ax = x - 1, ay = y - 1, bx = x, by = y - 1;
        } else if (step == -stride) {
            ax = x, ay = y, bx = x - 1, by = y;
        } else {
            continue;  // not a crack
        }
        MarkSide(ax, ay, along ? k : -k);
        MarkSide(bx, by, along ? -k : k);
    }
}

void SegMarginCalc::Grow(int a, int b)
{
    const int64_t last = static_cast<int64_t>(a) + b - 1;
    while (m_read < m_queue.size()) {
        const QueueEntry e = m_queue[m_read++];
        const int32_t v = m_side[e.pixel];
        if (e.dist >= a && e.dist <= last) {
            Wide& w = m_levelSums[static_cast<size_t>(std::abs(v)) - 1];
            const int side = v > 0 ? 0 : 1;
            for (int c = 0; c < m_channels; ++c) w.sum[side][c] += SampleAt(e.pixel, c);
            ++w.count[side];
        }
        if (e.dist > last) continue;
        // Queued pixels are inside the frame, so all four neighbours exist.
        for (int32_t n : {e.pixel - m_width, e.pixel - 1, e.pixel + 1, e.pixel + m_width}) {
            if (m_side[n] != 0) continue;
            m_side[n] = v;
            m_queue.push_back({n, e.dist + 1});
        }
    }
}

void SegMarginCalc::Store(const Wide& w, COneSegMargins* out)
{
    for (int s = 0; s < 2; ++s) {
        for (int c = 0; c < 3; ++c) out->sum[s][c] = Saturate<int32_t>(w.sum[s][c]);
        out->count[s] = Saturate<int16_t>(w.count[s]);
    }
    for (int c = 0; c < 3; ++c) {
        out->diff[c] = 0;
        if (w.count[0] >= kMinCount && w.count[1] >= kMinCount)
            out->diff[c] = Saturate<int16_t>(w.sum[0][c] / w.count[0] - w.sum[1][c] / w.count[1]);
    }
}

void SegMarginCalc::MeasureLevel(int level, int a, int b)
{
    m_side.assign(static_cast<size_t>(m_width) * m_height, 0);
    for (int x = 0; x < m_width; ++x) m_side[x] = m_side[static_cast<size_t>(m_height - 1) * m_width + x] = kFrame;
    for (int y = 0; y < m_height; ++y)
        m_side[static_cast<size_t>(y) * m_width] = m_side[static_cast<size_t>(y) * m_width + m_width - 1] = kFrame;

    m_segments.clear();
    m_queue.clear();
    m_read = 0;
    CRegTree::BorderIterator it(m_tree, level);
    for (BorderSegment* seg = *it; seg; ++it, seg = *it) {
        m_segments.push_back(seg);
        MarkSides(seg, static_cast<int32_t>(m_segments.size()), true);
    }
    m_levelSums.assign(m_segments.size(), Wide());
    for (BorderSegment* seg : m_segments) seg->InitSegMargins();
    Grow(a, b);
    for (size_t i = 0; i < m_segments.size(); ++i) {
        Store(m_levelSums[i], m_segments[i]->m_pMargins.get());
        m_wide[m_segments[i]] = m_levelSums[i];
    }
}

SegMarginCalc::Wide SegMarginCalc::SonMargins(const BorderSegment* son) const
{
    const auto found = m_wide.find(son);
    if (found != m_wide.end()) return found->second;
    Wide w;
    if (const COneSegMargins* m = son->m_pMargins.get()) {
        for (int s = 0; s < 2; ++s) {
            for (int c = 0; c < 3; ++c) w.sum[s][c] = m->sum[s][c];
            w.count[s] = m->count[s];
        }
    }
    return w;  // a son without a record adds nothing
}

void SegMarginCalc::CombineLevel(int level)
{
    CRegTree::BorderIterator it(m_tree, level);
    for (BorderSegment* seg = *it; seg; ++it, seg = *it) {
        seg->InitSegMargins();
        Wide total;
        for (const BorderSegment* son = seg->m_pSon; son; son = son->m_pNext) {
            const Wide w = SonMargins(son);
            // A son stored against its parent's direction has its sides crossed.
            const int to0 = son->m_forward == 1 ? 0 : 1;
            for (int s = 0; s < 2; ++s) {
                const int to = s == 0 ? to0 : 1 - to0;
                for (int c = 0; c < 3; ++c) total.sum[to][c] += w.sum[s][c];
                total.count[to] += w.count[s];
            }
        }
        Store(total, seg->m_pMargins.get());
        m_wide[seg] = total;
    }
}

void SegMarginCalc::ShowSideMap()
{
    CreateImageWindow(std::max(m_width, 640), std::max(m_height, 640), GetNameDebugWin0());
    if (!GetDebugDispFlag() || m_side.empty()) return;
    for (int32_t& v : m_side) {
        if (v < 0) v = static_cast<int32_t>((-8 * static_cast<int64_t>(v)) % 100 + 27);
        else if (v > 0) v = static_cast<int32_t>((8 * static_cast<int64_t>(v)) % 100 + 155);
    }
    Image* shown = MapToImage(m_side.data(), m_width, m_height, 0, 255);
    if (!shown) return;
    DisplayImageWin0(shown, nullptr, 0, 0);
    ReleaseImage(shown);
}

bool CalcAllSegMargins(Image* image, CRegTree* tree, int a, int b, int c, int d)
{
    SegMarginCalc calc(image, tree);
    if (!calc.CheckInput()) return false;
    const int last = tree->GetNumLevels() - 1;
    c = std::clamp(c, 0, last);
    d = d < 0 ? last : std::min(d, last);
    try {
        calc.MeasureLevel(c, a, b);
        calc.ShowSideMap();
        for (int level = c + 1; level <= d; ++level) calc.CombineLevel(level);
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR CalcAllSegMargins() out of memory; the margins are incomplete", 1);
        return false;
    }
    return true;
}
