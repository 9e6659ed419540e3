#include "segment/regionkit/reg_tree.h"

#include "core/logger.h"
#include "segment/regionkit/seg_record.h"

#include <new>
#include <utility>

namespace {

constexpr short kBlockCells = 32;

}  // namespace

// ---------------------------------------------------------------------------
// Level

CRegTree::Level::~Level()
{
    if (!borders) return;
    for (int i = 0; i < borders->GetLength(); ++i) Border(i)->~BorderSegment();
}

BorderSegment* CRegTree::Level::Border(int i) const
{
    char* cell = borders ? borders->GetData(i) : nullptr;
    return cell ? std::launder(reinterpret_cast<BorderSegment*>(cell)) : nullptr;
}

Junction* CRegTree::Level::JunctionAt(int i) const
{
    char* cell = junctions ? junctions->GetData(i) : nullptr;
    return cell ? std::launder(reinterpret_cast<Junction*>(cell)) : nullptr;
}

BorderSegment* CRegTree::Level::AppendBorder()
{
    if (!borders) borders = std::make_unique<SegmentList>(kBlockCells, static_cast<int>(sizeof(BorderSegment)));
    return new (borders->Append()) BorderSegment();
}

Junction* CRegTree::Level::AppendJunction()
{
    if (!junctions) junctions = std::make_unique<SegmentList>(kBlockCells, static_cast<int>(sizeof(Junction)));
    return new (junctions->Append()) Junction();
}

// ---------------------------------------------------------------------------
// Tree

CRegTree::CRegTree(Image* image) : m_pImage(RefPtr<Image>::share(image)), m_pSeg(std::make_unique<SegRecord>())
{
    if (image) {
        m_width = image->GetWidth();
        m_height = image->GetHeight();
    }
}

CRegTree::~CRegTree() = default;

void CRegTree::Reset()
{
    m_pLevels.reset();
    m_pPixelRegion.reset();
    m_pPixelStore.reset();
    m_numLevels = 0;
}

void CRegTree::GetDimension(int& w, int& h) const
{
    w = m_width;
    h = m_height;
}

CRegTree::Level* CRegTree::GetLevel(int level) const
{
    if (level < 0 || level >= m_numLevels || !m_pLevels) {
        Logger::log("ERROR CRegTree::GetLevel() level %d out of 0..%d", 1, level, m_numLevels - 1);
        return nullptr;
    }
    return &m_pLevels[level];
}

CRegion* CRegTree::GetRegion(int pixel, int level) const
{
    const int64_t pixels = static_cast<int64_t>(m_width) * m_height;
    if (!m_pPixelRegion || pixel < 0 || pixel >= pixels || level < 0 || level >= m_numLevels) {
        Logger::log("ERROR CRegTree::GetRegion() pixel %d level %d out of range", 1, pixel, level);
        return nullptr;
    }
    const int32_t index = m_pPixelRegion[pixel];
    if (index < 0 || index >= m_pLevels[0].numRegions) {
        Logger::log("ERROR CRegTree::GetRegion() pixel %d has no region", 1, pixel);
        return nullptr;
    }
    CRegion* r = &m_pLevels[0].regions[index];
    for (int k = 0; k < level && r; ++k) r = r->m_pParent;
    return r;
}

int CRegTree::ClampLevel(int level) const
{
    if (level < 0) return 0;
    if (level >= m_numLevels) return m_numLevels - 1;
    return level;
}

// ---------------------------------------------------------------------------
// Iterators

CRegTree::RegIterator::RegIterator(CRegTree* tree, int level)
{
    if (!tree || tree->m_numLevels < 1 || !tree->m_pLevels) return;
    const Level& l = tree->m_pLevels[tree->ClampLevel(level)];
    m_regions = l.regions.get();
    m_count = m_regions ? l.numRegions : 0;
}

namespace {

SegmentList* LevelList(CRegTree* tree, int level, bool borders)
{
    if (!tree || tree->m_numLevels < 1 || !tree->m_pLevels) return nullptr;
    const CRegTree::Level& l = tree->m_pLevels[tree->ClampLevel(level)];
    return borders ? l.borders.get() : l.junctions.get();
}

}  // namespace

CRegTree::BorderIterator::BorderIterator(CRegTree* tree, int level)
{
    Init(LevelList(tree, level, true));
}

BorderSegment* CRegTree::BorderIterator::operator*() const
{
    char* cell = SegmentList::iterator::operator*();
    return cell ? std::launder(reinterpret_cast<BorderSegment*>(cell)) : nullptr;
}

CRegTree::JunctionIterator::JunctionIterator(CRegTree* tree, int level)
{
    Init(LevelList(tree, level, false));
}

Junction* CRegTree::JunctionIterator::operator*() const
{
    char* cell = SegmentList::iterator::operator*();
    return cell ? std::launder(reinterpret_cast<Junction*>(cell)) : nullptr;
}

// ---------------------------------------------------------------------------
// Sorting

int CRegTree::SortRegion(int level, int percent)
{
    Level* l = GetLevel(level);
    if (!l) return 0;
    const int n = l->numRegions;
    const int k = static_cast<int>(static_cast<int64_t>(percent) * n / 100);
    if (k < 1) return k < 0 ? 0 : k;

    // k bubble passes from the end of the array towards its start, on an
    // order of indices; each pass floats the largest remaining area forward.
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    const CRegion* regions = l->regions.get();
    for (int pass = 0; pass < k; ++pass)
        for (int i = n - 2; i >= 0; --i)
            if (regions[order[i]].m_area < regions[order[i + 1]].m_area) std::swap(order[i], order[i + 1]);

    std::vector<int> newIndex(n);
    for (int i = 0; i < n; ++i) newIndex[order[i]] = i;
    std::unique_ptr<CRegion[]> sorted(new CRegion[n]);
    for (int i = 0; i < n; ++i) sorted[i] = std::move(l->regions[order[i]]);
    std::unique_ptr<CRegion[]> old = std::exchange(l->regions, std::move(sorted));
    RelinkLevel(level, old.get(), newIndex);
    return k;
}

void CRegTree::RelinkLevel(int level, CRegion* oldBase, const std::vector<int>& newIndex)
{
    Level& l = m_pLevels[level];
    const int n = l.numRegions;
    CRegion* base = l.regions.get();
    auto moved = [&](CRegion* p) -> CRegion* {
        if (!p) return nullptr;
        const std::ptrdiff_t i = p - oldBase;
        return i >= 0 && i < n ? base + newIndex[i] : p;
    };
    // Links held by the level itself: sibling chains.
    for (int i = 0; i < n; ++i) base[i].m_pNext = moved(base[i].m_pNext);
    // Sons one level down point up into the level.
    if (level > 0) {
        Level& below = m_pLevels[level - 1];
        for (int i = 0; i < below.numRegions; ++i) below.regions[i].m_pParent = moved(below.regions[i].m_pParent);
    }
    // Parents one level up point at their first son.
    if (level + 1 < m_numLevels) {
        Level& above = m_pLevels[level + 1];
        for (int i = 0; i < above.numRegions; ++i) above.regions[i].m_pSon = moved(above.regions[i].m_pSon);
    }
    // The level's borders name their two regions.
    const int borders = l.borders ? l.borders->GetLength() : 0;
    for (int i = 0; i < borders; ++i) {
        BorderSegment* b = l.Border(i);
        b->m_pRegion1 = moved(b->m_pRegion1);
        b->m_pRegion2 = moved(b->m_pRegion2);
    }
    // The pixel map holds level-0 region indices.
    if (level == 0 && m_pPixelRegion) {
        const int64_t pixels = static_cast<int64_t>(m_width) * m_height;
        for (int64_t p = 0; p < pixels; ++p)
            if (m_pPixelRegion[p] >= 0 && m_pPixelRegion[p] < n) m_pPixelRegion[p] = newIndex[m_pPixelRegion[p]];
    }
}

// ---------------------------------------------------------------------------
// Drawing

void CRegTree::DrawLevelImg(Image* out, int level) const
{
    if (!out) return;
    RegIterator it(const_cast<CRegTree*>(this), level);
    for (CRegion* r = *it; r; ++it, r = *it) r->DrawRegion(m_width, out);
}

void CRegTree::DrawBorder(Image* out, int level) const
{
    if (!out) return;
    BorderIterator it(const_cast<CRegTree*>(this), level);
    for (BorderSegment* b = *it; b; ++it, b = *it) b->Draw(m_width + 1, out);
}

bool CRegTree::DrawBorder(Image* out, int level, int x, int y) const
{
    if (!out || x < 0 || y < 0 || x >= m_width || y >= m_height) return false;
    const CRegion* r = GetRegion(y * m_width + x, level);
    if (!r) return false;
    for (BorderSegment* b : r->m_ppBorders) b->Draw(m_width + 1, out);
    return true;
}

void CRegTree::DrawJunction(Image* out, int level) const
{
    if (!out) return;
    const int channels = out->GetChannels();
    if (channels != 1 && channels != 3) return;
    JunctionIterator it(const_cast<CRegTree*>(this), level);
    for (Junction* j = *it; j; ++it, j = *it) {
        if (channels == 1) j->DrawU8Y(m_width + 1, out);
        else j->DrawU8RGB(m_width + 1, out);
    }
}
