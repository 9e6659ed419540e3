// Building a region tree: the image goes to the segmenter as a grid of nodes,
// which merges down to the finest level's region count; the finest borders
// are traced along the pixel cracks; every coarser level merges further and
// chains the borders of the level below. Last, the margins of every border
// are measured (seg_margins.h).
#include "core/logger.h"
#include "segment/regionkit/reg_tree.h"
#include "segment/regionkit/seg_margins.h"
#include "segment/regionkit/seg_record.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr short kBlockCells = 32;

// Corner byte: crack-edge count in bits 0..2, the edges' directions, and the
// visited (or junction made) mark.
constexpr uint8_t kCount = 0x07;
constexpr uint8_t kUp = 0x08;
constexpr uint8_t kDown = 0x10;
constexpr uint8_t kRight = 0x20;
constexpr uint8_t kLeft = 0x40;
constexpr uint8_t kMark = 0x80;

enum Dir { kDirDown, kDirRight, kDirLeft, kDirUp };

uint8_t EdgeOf(Dir d)
{
    switch (d) {
    case kDirDown: return kDown;
    case kDirRight: return kRight;
    case kDirLeft: return kLeft;
    case kDirUp: return kUp;
    }
    return 0;
}

// Row y of channel c of a float image, planar or interleaved: its first
// sample and the distance between samples, in floats.
struct FloatRow {
    const unsigned char* first;
    size_t step;
    float operator[](int x) const
    {
        float v;
        std::memcpy(&v, first + static_cast<size_t>(x) * step, sizeof v);
        return v;
    }
};
FloatRow Row(const Image* image, int y, int c)
{
    const size_t step = image->IsInterleaved() ? sizeof(float) * image->GetChannels() : sizeof(float);
    return {image->GetData(c) + static_cast<size_t>(y) * image->GetRowByte(), step};
}

// Follows the cracks of the finest level around the corner lattice and turns
// them into border segments and junctions.
class CrackTracer {
public:
    CrackTracer(CRegTree& tree, CRegTree::Level& level, int width, int height)
        : m_tree(tree), m_level(level), m_w(width), m_h(height), m_stride(width + 1),
          m_corner(static_cast<size_t>(width + 1) * (height + 1), 0),
          m_junction(static_cast<size_t>(width + 1) * (height + 1), 0)
    {
    }

    void MarkCracks(const int32_t* pixelRegion);
    void MakeBorders();

private:
    int Corner(int x, int y) const { return y * m_stride + x; }
    CRegion* RegionAt(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= m_w || y >= m_h) return nullptr;
        return &m_level.regions[m_tree.m_pPixelRegion[y * m_w + x]];
    }
    int Offset(Dir d) const
    {
        switch (d) {
        case kDirDown: return m_stride;
        case kDirRight: return 1;
        case kDirLeft: return -1;
        case kDirUp: return -m_stride;
        }
        return 0;
    }
    // The way out of a two-edge corner entered moving `d`.
    static bool Continue(uint8_t corner, Dir& d);
    // Records the chain from `start` leaving in `d` into `chain`; returns its
    // end corner, with *closed when it came back round to its start.
    int TraceCrack(int start, Dir d, std::vector<int32_t>& chain, bool* closed);
    // The junction of an end corner of three or more edges, found or made.
    Junction* EndJunction(int corner);
    void MakeBorder(Junction* j1, Junction* j2, CRegion* r1, CRegion* r2, const std::vector<int32_t>& first,
                    const std::vector<int32_t>* second);
    void TraceBothWays(int x, int y);
    void JunctionPairs(int x, int y);

    CRegTree& m_tree;
    CRegTree::Level& m_level;
    int m_w, m_h, m_stride;
    std::vector<uint8_t> m_corner;
    std::vector<int32_t> m_junction;  // junction index per corner: 32-bit, so no count wraps
    std::vector<int32_t> m_chain1, m_chain2;
};

void CrackTracer::MarkCracks(const int32_t* pixelRegion)
{
    for (int y = 0; y < m_h; ++y) {
        const int32_t* row = pixelRegion + static_cast<size_t>(y) * m_w;
        for (int x = 0; x < m_w; ++x) {
            if (x > 0 && row[x] != row[x - 1]) {
                m_corner[Corner(x, y)] += 0x11;
                m_corner[Corner(x, y + 1)] += 0x09;
            }
            if (y > 0 && row[x] != row[x - m_w]) {
                m_corner[Corner(x, y)] += 0x21;
                m_corner[Corner(x + 1, y)] += 0x41;
            }
        }
    }
}

bool CrackTracer::Continue(uint8_t corner, Dir& d)
{
    static const Dir kOrder[4][3] = {
        {kDirDown, kDirRight, kDirLeft},  // moving down
        {kDirUp, kDirDown, kDirRight},    // moving right
        {kDirUp, kDirDown, kDirLeft},     // moving left
        {kDirUp, kDirRight, kDirLeft},    // moving up
    };
    for (Dir next : kOrder[d]) {
        if (corner & EdgeOf(next)) {
            d = next;
            return true;
        }
    }
    return false;
}

int CrackTracer::TraceCrack(int start, Dir d, std::vector<int32_t>& chain, bool* closed)
{
    chain.clear();
    *closed = false;
    chain.push_back(start);
    m_corner[start] |= kMark;
    int c = start + Offset(d);
    for (;;) {
        const int count = m_corner[c] & kCount;
        if (count == 2) {
            if (m_corner[c] & kMark) {
                *closed = true;
                return c;
            }
            chain.push_back(c);
            m_corner[c] |= kMark;
            if (!Continue(m_corner[c], d)) return c;
            c += Offset(d);
            continue;
        }
        chain.push_back(c);
        if (count == 1) m_corner[c] |= kMark;
        return c;  // the image edge (1), a junction (3, 4)
    }
}

Junction* CrackTracer::EndJunction(int corner)
{
    if ((m_corner[corner] & kCount) < 3) return nullptr;
    if (m_corner[corner] & kMark) return m_level.JunctionAt(m_junction[corner]);
    const int index = m_level.junctions->GetLength();
    Junction* j = m_level.AppendJunction();
    j->m_pos = corner;
    m_junction[corner] = index;
    m_corner[corner] |= kMark;
    return j;
}

void CrackTracer::MakeBorder(Junction* j1, Junction* j2, CRegion* r1, CRegion* r2, const std::vector<int32_t>& first,
                             const std::vector<int32_t>* second)
{
    if (!r1 || !r2) {
        Logger::log("ERROR CRegTree::ConstructTree() a border at corner %d has no region on a side", 1, first.front());
        return;
    }
    BorderSegment* b = m_level.AppendBorder();
    b->Init(j1, j2, r1, r2);
    if (second) {
        // The first chain reversed, then the second without its start corner.
        const int nb = static_cast<int>(second->size()) - 1;
        b->StorePixels(first.data(), static_cast<int>(first.size()), second->data() + 1, nb);
    } else {
        b->StorePixels(first.data(), static_cast<int>(first.size()));
    }
    if (j1) j1->AtatchBorder(b);
    if (j2) j2->AtatchBorder(b);
    r1->AddBorder(b);
    r2->AddBorder(b);
}

// An unvisited corner inside a border: trace out both ways and join.
void CrackTracer::TraceBothWays(int x, int y)
{
    const int c = Corner(x, y);
    const uint8_t bits = m_corner[c];
    Dir first;
    CRegion* side1;
    CRegion* side2;
    if (bits & kUp) {
        first = kDirUp;
        side1 = RegionAt(x - 1, y - 1);
        side2 = RegionAt(x, y - 1);
    } else if (bits & kDown) {
        first = kDirDown;
        side1 = RegionAt(x, y);
        side2 = RegionAt(x - 1, y);
    } else {
        first = kDirLeft;
        side1 = RegionAt(x - 1, y);
        side2 = RegionAt(x - 1, y - 1);
    }
    bool closed = false;
    const int end1 = TraceCrack(c, first, m_chain1, &closed);
    if (closed) {
        // A loop: the chain reversed ends at its first corner in raster order.
        std::vector<int32_t> reversed(m_chain1.rbegin(), m_chain1.rend());
        MakeBorder(nullptr, nullptr, side1, side2, reversed, nullptr);
        return;
    }
    const uint8_t others = static_cast<uint8_t>(bits & (kUp | kDown | kRight | kLeft) & ~EdgeOf(first));
    Dir second = kDirDown;
    if (others & kUp) second = kDirUp;
    else if (others & kDown) second = kDirDown;
    else if (others & kRight) second = kDirRight;
    else if (others & kLeft) second = kDirLeft;
    const int end2 = TraceCrack(c, second, m_chain2, &closed);
    Junction* j1 = EndJunction(end1);
    Junction* j2 = EndJunction(end2);
    MakeBorder(j1, j2, side1, side2, m_chain1, &m_chain2);
}

// A junction corner: the two-point borders to a junction on its right and
// below (the others are made from the junction on their left or above).
void CrackTracer::JunctionPairs(int x, int y)
{
    const int c = Corner(x, y);
    if ((m_corner[c] & kRight) && x + 1 <= m_w && (m_corner[c + 1] & kCount) >= 3) {
        Junction* j1 = EndJunction(c);
        Junction* j2 = EndJunction(c + 1);
        MakeBorder(j1, j2, RegionAt(x, y - 1), RegionAt(x, y), {c, c + 1}, nullptr);
    }
    if ((m_corner[c] & kDown) && y + 1 <= m_h && (m_corner[c + m_stride] & kCount) >= 3) {
        Junction* j1 = EndJunction(c);
        Junction* j2 = EndJunction(c + m_stride);
        MakeBorder(j1, j2, RegionAt(x, y), RegionAt(x - 1, y), {c, c + m_stride}, nullptr);
    }
}

void CrackTracer::MakeBorders()
{
    bool closed = false;
    // Top edge: cracks running down from it.
    for (int x = 0; x <= m_w; ++x) {
        const int c = Corner(x, 0);
        if (m_corner[c] != (0x10 | 1)) continue;
        const int end = TraceCrack(c, kDirDown, m_chain1, &closed);
        MakeBorder(nullptr, EndJunction(end), RegionAt(x, 0), RegionAt(x - 1, 0), m_chain1, nullptr);
    }
    for (int y = 1; y <= m_h; ++y) {
        // Left edge: a crack running right from it.
        const int left = Corner(0, y);
        if (m_corner[left] == (0x20 | 1)) {
            const int end = TraceCrack(left, kDirRight, m_chain1, &closed);
            MakeBorder(nullptr, EndJunction(end), RegionAt(0, y - 1), RegionAt(0, y), m_chain1, nullptr);
        }
        for (int x = 1; x <= m_w; ++x) {
            const int c = Corner(x, y);
            const uint8_t b = m_corner[c] & (kMark | kCount);
            if (b == 1) {
                if (x == m_w && (m_corner[c] & kLeft)) {
                    const int end = TraceCrack(c, kDirLeft, m_chain1, &closed);
                    MakeBorder(nullptr, EndJunction(end), RegionAt(m_w - 1, y), RegionAt(m_w - 1, y - 1), m_chain1,
                               nullptr);
                } else if (m_corner[c] & kUp) {
                    const int end = TraceCrack(c, kDirUp, m_chain1, &closed);
                    MakeBorder(nullptr, EndJunction(end), RegionAt(x - 1, m_h - 1), RegionAt(x, m_h - 1), m_chain1,
                               nullptr);
                }
            } else if (b == 2) {
                TraceBothWays(x, y);
            } else if ((b & kCount) >= 3) {
                JunctionPairs(x, y);
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------

bool CRegTree::ConstructTree(int, int finestRegions, int coarsestRegions, int numLevels)
{
    if (m_built) {
        Logger::log("ERROR CRegTree::ConstructTree() the tree is built already", 1);
        return false;
    }
    if (numLevels < 1) {
        Logger::log("ERROR CRegTree::ConstructTree() %d levels", 1, numLevels);
        return false;
    }
    if (!PrepareSegmenter()) return false;
    m_built = true;

    MergeDownTo(finestRegions);
    m_numLevels = numLevels;
    m_pLevels.reset(new Level[numLevels]);
    for (int k = 0; k < numLevels; ++k) {
        m_pLevels[k].borders = std::make_unique<SegmentList>(kBlockCells, static_cast<int>(sizeof(BorderSegment)));
        m_pLevels[k].junctions = std::make_unique<SegmentList>(kBlockCells, static_cast<int>(sizeof(Junction)));
    }
    BuildFinestLevel();
    for (int k = 1; k < numLevels; ++k) BuildCoarserLevel(k, finestRegions, coarsestRegions);

    CalcAllSegMargins(m_pImage.get(), this, 1, 3, m_numLevels / 2, -1);
    return true;
}

bool CRegTree::PrepareSegmenter()
{
    Image* image = m_pImage.get();
    if (!image || !image->GetData()) {
        Logger::log("ERROR CRegTree::ConstructTree() no image", 1);
        return false;
    }
    const int channels = image->GetChannels();
    if (image->GetDataType() != IMG_FLOAT || (channels != 1 && channels != 3)) {
        Logger::log("ERROR CRegTree::ConstructTree() the image has %d channels of type %d; 1 or 3 float channels "
                    "are segmented",
                    1, channels, image->GetDataType());
        return false;
    }
    m_width = image->GetWidth();
    m_height = image->GetHeight();
    if (m_width < 1 || m_height < 1 ||
        static_cast<int64_t>(m_width + 1) * (m_height + 1) > INT32_MAX) {
        Logger::log("ERROR CRegTree::ConstructTree() image size %d x %d", 1, m_width, m_height);
        return false;
    }
    float lo = 0.0f, hi = 0.0f;
    if (!image->GetBound(&lo, &hi)) {
        Logger::log("ERROR CRegTree::ConstructTree() cannot read the sample range", 1);
        return false;
    }

    SegRecord& rec = *m_pSeg;
    rec.height = m_height;
    rec.width = m_width;
    rec.channels = channels;
    // A flat image has no range to stretch: every node value is 0.
    rec.gain = hi > lo ? 255.0f / (hi - lo) : 0.0f;
    rec.offset = lo;
    if (channels == 1) {
        rec.plane = reinterpret_cast<float*>(image->GetData());
    } else {
        for (int c = 0; c < 3; ++c) rec.planes[c] = reinterpret_cast<float*>(image->GetData(c));
    }
    rec.dims[0] = {m_height, 1.0f};
    rec.dims[1] = {m_width, 1.0f};
    rec.init.numDims = 2;
    rec.init.dims = rec.dims;

    const size_t pixels = static_cast<size_t>(m_width) * m_height;
    auto scaled = [&rec](float v) { return std::isfinite(v) ? (v - rec.offset) * rec.gain : 0.0f; };
    if (channels == 1) {
        SegNode1* nodes = static_cast<SegNode1*>(rec.nodes);
        if (!nodes) rec.nodes = nodes = new SegNode1[pixels];
        for (int y = 0; y < m_height; ++y) {
            const FloatRow row = Row(image, y, 0);
            SegNode1* out = nodes + static_cast<size_t>(y) * m_width;
            for (int x = 0; x < m_width; ++x) out[x] = {1.0f, scaled(row[x])};
        }
        rec.init.cost = SegCost1;
        rec.init.merge = SegMerge1;
        rec.area = SegArea1;
        rec.means = SegMeans1;
    } else {
        SegNode3* nodes = static_cast<SegNode3*>(rec.nodes);
        if (!nodes) rec.nodes = nodes = new SegNode3[pixels];
        for (int y = 0; y < m_height; ++y) {
            const FloatRow rows[3] = {Row(image, y, 0), Row(image, y, 1), Row(image, y, 2)};
            SegNode3* out = nodes + static_cast<size_t>(y) * m_width;
            for (int x = 0; x < m_width; ++x) {
                out[x].weight = 1.0f;
                for (int c = 0; c < 3; ++c) out[x].value[c] = scaled(rows[c][x]);
            }
        }
        rec.init.cost = SegCost3;
        rec.init.merge = SegMerge3;
        rec.area = SegArea3;
        rec.means = SegMeans3;
    }
    rec.init.nodes = rec.nodes;
    if (seg_init(&rec.init) != 0) {
        Logger::log("ERROR CRegTree::ConstructTree() the segmenter did not start", 1);
        return false;
    }
    return true;
}

void CRegTree::MergeDownTo(int target)
{
    SEG_INIT& init = m_pSeg->init;
    // Unsigned: a negative target asks for no merging at all.
    while (static_cast<uint32_t>(init.numRegions) > static_cast<uint32_t>(target))
        if (!seg_step(&init)) break;
}

void CRegTree::BuildFinestLevel()
{
    std::vector<int32_t> rootOf;
    MakeFinestRegions(rootOf);
    TraceFinestBorders();
}

void CRegTree::MakeFinestRegions(std::vector<int32_t>& rootOf)
{
    SegRecord& rec = *m_pSeg;
    SEG_INIT& init = rec.init;
    const int32_t pixels = m_width * m_height;

    // Pixel counts per region. The node weight holds 1 / area only to float
    // precision, which drifts on regions of many merges; the pixel lists are
    // sized from the counts so that they can never overrun one another.
    rootOf.resize(pixels);
    std::vector<int32_t> count(pixels, 0);
    int32_t regions = 0;
    for (int32_t p = 0; p < pixels; ++p) {
        rootOf[p] = seg_parent(&init, p);
        if (count[rootOf[p]]++ == 0) ++regions;
    }
    if (regions != init.numRegions)
        Logger::log("ERROR CRegTree::ConstructTree() the segmenter reports %d regions, the pixels show %d", 1,
                    init.numRegions, regions);

    Level& level = m_pLevels[0];
    m_pPixelRegion.reset(new int32_t[pixels]);
    std::fill_n(m_pPixelRegion.get(), pixels, -1);
    m_pPixelStore.reset(new int32_t[static_cast<size_t>(regions) + pixels]);
    level.regions.reset(new CRegion[regions]);
    level.numRegions = regions;

    int32_t next = 0;
    size_t storeAt = 0;
    auto newRegion = [&](int32_t root) {
        CRegion& r = level.regions[next];
        r.m_area = count[root];
        r.m_id = root;
        rec.means(&rec, root, &r.m_mean[0], &r.m_mean[1], &r.m_mean[2]);
        r.m_pPixels = m_pPixelStore.get() + storeAt;
        r.m_pPixels[0] = 0;
        storeAt += static_cast<size_t>(count[root]) + 1;
        m_pPixelRegion[root] = next++;
    };
    // Region indices follow the first appearance in the segmenter's border list.
    for (int i = 0; i < init.numBorders; ++i) {
        int a = -1, b = -1, len = 0;
        if (!GetBorderInfo(&init, i, &a, &b, &len)) break;
        for (int32_t n : {a, b}) {
            if (n < 0 || n >= pixels || count[n] == 0) {
                Logger::log("ERROR CRegTree::ConstructTree() border %d names %d, which is no region", 1, i, n);
                continue;
            }
            if (m_pPixelRegion[n] == -1) newRegion(n);
        }
    }
    // Regions no border names: the whole image merged into one, for one.
    for (int32_t p = 0; p < pixels; ++p)
        if (count[p] > 0 && m_pPixelRegion[p] == -1) newRegion(p);

    for (int32_t p = 0; p < pixels; ++p) {
        const int32_t r = m_pPixelRegion[rootOf[p]];
        m_pPixelRegion[p] = r;
        level.regions[r].AddPixelPoint(p);
    }
}

void CRegTree::TraceFinestBorders()
{
    CrackTracer tracer(*this, m_pLevels[0], m_width, m_height);
    tracer.MarkCracks(m_pPixelRegion.get());
    tracer.MakeBorders();
}

void CRegTree::BuildCoarserLevel(int k, int finestRegions, int coarsestRegions)
{
    SegRecord& rec = *m_pSeg;
    SEG_INIT& init = rec.init;
    const int64_t target =
        finestRegions - (static_cast<int64_t>(finestRegions) - coarsestRegions) * k / (m_numLevels - 1);
    MergeDownTo(static_cast<int>(std::clamp<int64_t>(target, INT_MIN, INT_MAX)));

    Level& finer = m_pLevels[k - 1];
    Level& level = m_pLevels[k];
    // One new region per current segmenter region; never more than the
    // level below has, which bounds the array whatever the segmenter says.
    const int capacity = finer.numRegions;
    level.regions.reset(new CRegion[capacity]);
    int next = 0;

    // The segmenter's number of every finer region now.
    std::vector<int32_t> now(finer.numRegions);
    for (int i = 0; i < finer.numRegions; ++i) now[i] = seg_parent(&init, finer.regions[i].m_id);

    for (int i = 0; i < finer.numRegions; ++i) {
        CRegion& p = finer.regions[i];
        const int32_t u = now[i];
        CRegion* r = GetRegion(u, k - 1);
        if (!r) continue;
        if (!r->m_pParent) {
            CRegion& q = level.regions[next++];
            q.AddSon(r);
            if (p.m_id != u) q.AddSon(&p);
            q.m_id = u;
            rec.means(&rec, u, &q.m_mean[0], &q.m_mean[1], &q.m_mean[2]);
        } else if (p.m_id != u) {
            r->m_pParent->AddSon(&p);
        }
    }
    level.numRegions = next;
    if (next != init.numRegions)
        Logger::log("ERROR CRegTree::ConstructTree() level %d has %d regions, the segmenter %d", 1, k, next,
                    init.numRegions);
    // Areas add up exactly from the sons.
    for (int i = 0; i < next; ++i) {
        CRegion& q = level.regions[i];
        for (const CRegion* son = q.m_pSon; son; son = son->m_pNext) q.m_area += son->m_area;
    }

    // Borders inside a merged region leave their junctions for the chaining;
    // the finer level gets them back afterwards.
    const int junctions = finer.junctions->GetLength();
    std::unique_ptr<char[]> saved(finer.junctions->Serialize());
    auto numberOf = [&](const CRegion* r) { return now[r - finer.regions.get()]; };
    const int borders = finer.borders->GetLength();
    for (int i = 0; i < borders; ++i) {
        BorderSegment* b = finer.Border(i);
        if (numberOf(b->m_pRegion1) != numberOf(b->m_pRegion2)) continue;
        if (b->m_pJunction1) b->m_pJunction1->RemoveBorder(b);
        if (b->m_pJunction2) b->m_pJunction2->RemoveBorder(b);
    }

    for (int i = 0; i < borders; ++i) {
        BorderSegment* b = finer.Border(i);
        if (b->m_pParent) continue;
        const int32_t u1 = numberOf(b->m_pRegion1), u2 = numberOf(b->m_pRegion2);
        if (u1 == u2) continue;
        BorderSegment* n = level.AppendBorder();
        Junction* open1 = nullptr;
        Junction* open2 = nullptr;
        b->GroupSiblines(n, &open1, &open2);
        if (open1) {
            Junction* j = level.AppendJunction();
            j->AtatchBorder(n);
            j->m_pos = open1->m_pos;
            n->m_pJunction1 = j;
            open1->m_pUp = j;
        }
        if (open2) {
            // A chain that starts and ends at one junction shares its record.
            Junction* j = open2->m_pUp;
            if (!j) {
                j = level.AppendJunction();
                j->m_pos = open2->m_pos;
                open2->m_pUp = j;
            }
            j->AtatchBorder(n);
            n->m_pJunction2 = j;
        }
        n->m_pRegion1 = GetRegion(u1, k);
        n->m_pRegion2 = GetRegion(u2, k);
        if (n->m_pRegion1) n->m_pRegion1->AddBorder(n);
        if (n->m_pRegion2) n->m_pRegion2->AddBorder(n);
    }

    std::vector<Junction*> up(junctions);
    for (int i = 0; i < junctions; ++i) up[i] = finer.JunctionAt(i)->m_pUp;
    finer.junctions->Restore(saved.get());
    for (int i = 0; i < junctions; ++i) finer.JunctionAt(i)->m_pUp = up[i];
}
