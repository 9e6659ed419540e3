#include "segment/regionkit/border_segment.h"

#include "imaging/image.h"
#include "core/logger.h"
#include "segment/regionkit/junction.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void BorderSegment::Init(Junction* j1, Junction* j2, CRegion* r1, CRegion* r2)
{
    m_pJunction1 = j1;
    m_pJunction2 = j2;
    m_pRegion1 = r1;
    m_pRegion2 = r2;
    m_pStore.reset();
    m_pParent = nullptr;
    m_pSon = nullptr;
    m_pNext = nullptr;
}

void BorderSegment::PrepareStorage(int n)
{
    n = std::max(n, 0);
    m_pStore.reset(new int32_t[static_cast<size_t>(n) + 1]);
    m_pStore[0] = n;
}

void BorderSegment::StorePixels(const int32_t* pts, int n)
{
    PrepareStorage(n);
    if (n > 0) std::memcpy(m_pStore.get() + 1, pts, static_cast<size_t>(n) * sizeof(int32_t));
}

void BorderSegment::StorePixels(const int32_t* first, int na, const int32_t* second, int nb)
{
    na = std::max(na, 0);
    nb = std::max(nb, 0);
    PrepareStorage(na + nb);
    int32_t* out = m_pStore.get() + 1;
    for (int i = na - 1; i >= 0; --i) *out++ = first[i];
    if (nb > 0) std::memcpy(out, second, static_cast<size_t>(nb) * sizeof(int32_t));
}

void BorderSegment::AddSon(BorderSegment* son)
{
    son->m_pNext = m_pSon;
    son->m_pParent = this;
    m_pSon = son;
}

void BorderSegment::GetRegions(CRegion** r1, CRegion** r2) const
{
    if (r1) *r1 = m_pRegion1;
    if (r2) *r2 = m_pRegion2;
}

Junction* BorderSegment::GetOtherJunction(Junction* j, bool* reversed) const
{
    const bool atFirst = j == m_pJunction1;
    if (reversed) *reversed = !atFirst;
    return atFirst ? m_pJunction2 : m_pJunction1;
}

void BorderSegment::GroupSiblines(BorderSegment* parent, Junction** open1, Junction** open2)
{
    if (open1) *open1 = nullptr;
    if (open2) *open2 = nullptr;
    if (!parent) return;
    // Every walk below ends at a junction of three or more borders, at the
    // image edge, or back where it began; the bound only guards a tree
    // whose links were corrupted from outside.
    constexpr long kMaxSteps = 1L << 26;

    // 1. Back to the start of the chain.
    Junction* j = m_pJunction1;
    BorderSegment* s = this;
    bool closed = false;
    for (long steps = 0; j && j->GetNumbConnection() <= 2; ++steps) {
        s = j->GetConnection(s);
        j = s->GetOtherJunction(j, nullptr);
        if (s == this) {
            closed = true;
            break;
        }
        if (steps == kMaxSteps) {
            Logger::log("ERROR BorderSegment::GroupSiblines() the chain does not end", 1);
            return;
        }
    }

    // 2. Forward, adopting every segment of the chain.
    BorderSegment* first = s;
    bool reversed = false;
    Junction* k = s->GetOtherJunction(j, &reversed);
    for (long steps = 0;; ++steps) {
        parent->AddSon(s);
        s->m_forward = reversed ? 0 : 1;
        if (!k || k->GetNumbConnection() >= 3) break;
        s = k->GetConnection(s);
        k = s->GetOtherJunction(k, &reversed);
        if (s == first) break;
        if (steps == kMaxSteps) {
            Logger::log("ERROR BorderSegment::GroupSiblines() the chain does not end", 1);
            break;
        }
    }
    if (closed) return;

    // 3. The ends: the junction one level up when it exists, else open.
    if (j) {
        if (j->m_pUp) {
            parent->m_pJunction1 = j->m_pUp;
            j->m_pUp->AtatchBorder(parent);
        } else if (open1) {
            *open1 = j;
        }
    }
    if (k) {
        if (k->m_pUp) {
            parent->m_pJunction2 = k->m_pUp;
            k->m_pUp->AtatchBorder(parent);
        } else if (open2) {
            *open2 = k;
        }
    }
}

void BorderSegment::InitSegMargins()
{
    if (m_pMargins) m_pMargins->Reset();
    else m_pMargins = std::make_unique<COneSegMargins>();
}

void BorderSegment::Draw(int stride, Image* out) const
{
    if (!out || stride <= 0) return;
    if (!m_pStore) {
        for (const BorderSegment* son = m_pSon; son; son = son->m_pNext) son->Draw(stride, out);
        return;
    }
    if (out->GetDataType() != IMG_UINT8 || !out->GetData() || !out->IsInterleaved()) return;
    const int channels = out->GetChannels();
    if (channels < 1) return;
    unsigned char colour[3] = {255, 255, 255};
    if (m_pMargins)
        for (int c = 0; c < 3; ++c) colour[c] = static_cast<unsigned char>(std::min(std::abs(5 * m_pMargins->diff[c]), 255));
    const int bytes = std::min(channels, 3);
    const int width = out->GetWidth(), height = out->GetHeight();
    const size_t row = static_cast<size_t>(out->GetRowByte());
    unsigned char* data = out->GetData();
    const int n = GetStorageLength();
    const int32_t* pts = GetStorage();
    for (int i = 0; i < n; ++i) {
        if (pts[i] < 0) continue;
        const int x = pts[i] % stride, y = pts[i] / stride;
        if (x >= width || y >= height) continue;
        unsigned char* px = data + static_cast<size_t>(y) * row + static_cast<size_t>(x) * channels;
        for (int c = 0; c < bytes; ++c) px[c] = colour[c];
    }
}

// ---------------------------------------------------------------------------

BorderSegment::iterator::iterator(BorderSegment* root) : m_root(root)
{
    Rewind();
}

BorderSegment* BorderSegment::iterator::Descend(BorderSegment* from)
{
    while (from->m_pSon) from = from->m_pSon;
    return from;
}

BorderSegment* BorderSegment::iterator::NextLeaf(BorderSegment* leaf) const
{
    for (BorderSegment* node = leaf; node && node != m_root; node = node->m_pParent)
        if (node->m_pNext) return Descend(node->m_pNext);
    return nullptr;
}

BorderSegment* BorderSegment::iterator::FirstWithPoints(BorderSegment* leaf) const
{
    while (leaf && leaf->GetStorageLength() <= 0) leaf = NextLeaf(leaf);
    return leaf;
}

void BorderSegment::iterator::Rewind()
{
    m_index = 0;
    m_leaf = m_root ? FirstWithPoints(Descend(m_root)) : nullptr;
}

bool BorderSegment::iterator::operator++()
{
    if (!m_leaf) return false;
    if (++m_index < m_leaf->GetStorageLength()) return true;
    m_index = 0;
    m_leaf = FirstWithPoints(NextLeaf(m_leaf));
    return m_leaf != nullptr;
}
