#include "platform/segkit/segkit.h"

#include "platform/utilkit/logger.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace {

// A border as one region sees it: the region on the other side and the
// number of grid edges they share.
struct Edge {
    int32_t nbr;
    int32_t len;
};

// The order in which pairs merge: cheapest first; equal costs by the smaller
// combined size, so that flat areas merge evenly instead of one region
// creeping over them node by node; then by region numbers, so that runs
// repeat. Cost and size are packed into one integer that compares the same
// way (the float's bits made monotone).
struct PairKey {
    uint64_t costSize;
    int32_t lo;
    int32_t hi;

    static PairKey Make(float cost, int32_t size, int32_t a, int32_t b)
    {
        if (cost != cost) cost = std::numeric_limits<float>::infinity();  // NaN merges last
        if (cost == 0.0f) cost = 0.0f;                                    // -0 is 0
        uint32_t bits = std::bit_cast<uint32_t>(cost);
        bits = (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
        return {(uint64_t{bits} << 32) | static_cast<uint32_t>(size), std::min(a, b), std::max(a, b)};
    }
    bool operator<(const PairKey& o) const
    {
        if (costSize != o.costSize) return costSize < o.costSize;
        if (lo != o.lo) return lo < o.lo;
        return hi < o.hi;
    }
};

// A region's cheapest neighbour; partner -1 when it has none.
struct Best {
    PairKey key;
    int32_t partner;
};

// Min-heap holding each region's best pair once, updated in place when the
// best changes (no stale entries to pop). Four children a node: half the
// depth of a binary heap, and a node's children share a cache line.
class RegionHeap {
public:
    void Init(int32_t regions)
    {
        m_pos.assign(static_cast<size_t>(regions), -1);
        m_v.clear();
        m_v.reserve(static_cast<size_t>(regions));
    }
    bool Empty() const { return m_v.empty(); }
    int32_t TopOwner() const { return m_v.front().owner; }

    // Inserts or moves the entry of `owner`.
    void Set(int32_t owner, const PairKey& key)
    {
        int32_t i = m_pos[owner];
        if (i < 0) {
            i = static_cast<int32_t>(m_v.size());
            m_v.push_back({key, owner});
            m_pos[owner] = i;
            SiftUp(i);
            return;
        }
        const bool up = key < m_v[i].key;
        m_v[i].key = key;
        if (up) SiftUp(i);
        else SiftDown(i);
    }
    void Remove(int32_t owner)
    {
        const int32_t i = m_pos[owner];
        if (i < 0) return;
        m_pos[owner] = -1;
        const Entry last = m_v.back();
        m_v.pop_back();
        if (i == static_cast<int32_t>(m_v.size())) return;
        const bool up = last.key < m_v[i].key;
        Place(i, last);
        if (up) SiftUp(i);
        else SiftDown(i);
    }

private:
    struct Entry {
        PairKey key;
        int32_t owner;
    };
    void Place(int32_t i, const Entry& e)
    {
        m_v[i] = e;
        m_pos[e.owner] = i;
    }
    void SiftUp(int32_t i)
    {
        const Entry e = m_v[i];
        while (i > 0) {
            const int32_t p = (i - 1) / 4;
            if (!(e.key < m_v[p].key)) break;
            Place(i, m_v[p]);
            i = p;
        }
        Place(i, e);
    }
    void SiftDown(int32_t i)
    {
        const Entry e = m_v[i];
        const int32_t n = static_cast<int32_t>(m_v.size());
        for (;;) {
            const int32_t first = 4 * i + 1;
            if (first >= n) break;
            int32_t m = first;
            const int32_t end = std::min(first + 4, n);
            for (int32_t j = first + 1; j < end; ++j)
                if (m_v[j].key < m_v[m].key) m = j;
            if (!(m_v[m].key < e.key)) break;
            Place(i, m_v[m]);
            i = m;
        }
        Place(i, e);
    }

    std::vector<Entry> m_v;
    std::vector<int32_t> m_pos;  // per region: its index in m_v, or -1
};

struct BorderEntry {
    int32_t a;
    int32_t b;
    int32_t len;
};

}  // namespace

// The working state. Every region keeps its border list and its cheapest
// neighbour, and the heap orders the regions by that best pair. A merge
// re-costs the survivor's borders (its node changed) and tells each
// neighbour, which re-scans its own borders only when its best pair got
// dearer. The merge is therefore exact (always the globally cheapest pair)
// at one cost evaluation per border of the survivor.
struct SegState {
    std::vector<int32_t> parent;          // union-find forest; roots are region numbers
    std::vector<int32_t> size;            // nodes per region (roots only)
    std::vector<std::vector<Edge>> adj;   // per region: its borders (empty for non-roots)
    std::vector<Best> best;
    std::vector<int32_t> slot;            // scratch: index of a neighbour in the survivor's list, or -1
    RegionHeap heap;
    uint64_t merges = 0;
    // The border list GetBorderInfo answers from, and the merge count it was made at.
    std::vector<BorderEntry> borders;
    uint64_t bordersAt = UINT64_MAX;

    int32_t Find(int32_t n)
    {
        while (parent[n] != n) {
            parent[n] = parent[parent[n]];  // path halving
            n = parent[n];
        }
        return n;
    }
    PairKey Key(SEG_INIT* rec, int32_t a, int32_t b) const
    {
        return PairKey::Make(rec->cost(rec, a, b), size[a] + size[b], a, b);
    }
    // Region r's best as the heap should order it.
    void Publish(int32_t r)
    {
        if (best[r].partner < 0) heap.Remove(r);
        else heap.Set(r, best[r].key);
    }
};

namespace {

bool ValidRecord(const SEG_INIT* rec, int64_t* nodes)
{
    if (!rec) {
        Logger::log("ERROR seg_init: no record", 1);
        return false;
    }
    if (rec->numDims < 1 || rec->numDims > 8 || !rec->dims) {
        Logger::log("ERROR seg_init: %d dimensions", 1, rec->numDims);
        return false;
    }
    if (!rec->nodes || !rec->cost || !rec->merge) {
        Logger::log("ERROR seg_init: no nodes or no cost and merge functions", 1);
        return false;
    }
    int64_t count = 1;
    for (int d = 0; d < rec->numDims; ++d) {
        if (rec->dims[d].size < 1) {
            Logger::log("ERROR seg_init: dimension %d has size %d", 1, d, rec->dims[d].size);
            return false;
        }
        count *= rec->dims[d].size;
        if (count > INT32_MAX) {
            Logger::log("ERROR seg_init: more than %d nodes", 1, INT32_MAX);
            return false;
        }
    }
    *nodes = count;
    return true;
}

// Region r's cheapest neighbour, from scratch.
void Rescan(SEG_INIT* rec, SegState& s, int32_t r)
{
    Best b{{0, 0, 0}, -1};
    for (const Edge& e : s.adj[r]) {
        const PairKey k = s.Key(rec, r, e.nbr);
        if (b.partner < 0 || k < b.key) b = {k, e.nbr};
    }
    s.best[r] = b;
}

// In region n's border list, the border with `from` now leads to `to`; when
// n already bordered `to`, the two borders become one.
void Redirect(std::vector<Edge>& list, int32_t from, int32_t to)
{
    int fromAt = -1;
    int toAt = -1;
    for (int i = 0; i < static_cast<int>(list.size()); ++i) {
        if (list[i].nbr == from) fromAt = i;
        else if (list[i].nbr == to) toAt = i;
    }
    if (fromAt < 0) return;
    if (toAt < 0) {
        list[fromAt].nbr = to;
        return;
    }
    list[toAt].len += list[fromAt].len;
    list[fromAt] = list.back();
    list.pop_back();
}

// Region `gone` joins region `keep`: their border lists are combined, every
// neighbour of `gone` is told, and the bests touched by the change renewed.
void Merge(SEG_INIT* rec, SegState& s, int32_t keep, int32_t gone)
{
    rec->merge(rec, keep, gone);
    s.parent[gone] = keep;
    s.size[keep] += s.size[gone];
    ++s.merges;
    s.heap.Remove(gone);

    std::vector<Edge>& kept = s.adj[keep];
    std::vector<Edge> goneList;
    goneList.swap(s.adj[gone]);
    for (int i = 0; i < static_cast<int>(kept.size()); ++i) s.slot[kept[i].nbr] = i;

    int joined = 1;  // the border between keep and gone itself
    for (const Edge& e : goneList) {
        if (e.nbr == keep) continue;
        const int32_t at = s.slot[e.nbr];
        if (at >= 0) {
            kept[at].len += e.len;
            ++joined;
        } else {
            s.slot[e.nbr] = static_cast<int32_t>(kept.size());
            kept.push_back(e);
        }
        Redirect(s.adj[e.nbr], gone, keep);
    }
    const int32_t goneAt = s.slot[gone];
    if (goneAt >= 0) {
        kept[goneAt] = kept.back();
        kept.pop_back();
    }
    s.slot[gone] = -1;
    for (const Edge& e : kept) s.slot[e.nbr] = -1;
    rec->numRegions -= 1;
    rec->numBorders -= joined;

    // The survivor's node changed: every pair with it has a new cost.
    Best keepBest{{0, 0, 0}, -1};
    for (const Edge& e : kept) {
        const int32_t n = e.nbr;
        const PairKey k = s.Key(rec, keep, n);
        if (keepBest.partner < 0 || k < keepBest.key) keepBest = {k, n};
        Best& bn = s.best[n];
        if (bn.partner == keep || bn.partner == gone) {
            // Its best was with one of the two: still best unless dearer now,
            // else any of its borders may be best.
            if (!(bn.key < k)) bn = {k, keep};
            else Rescan(rec, s, n);
            s.Publish(n);
        } else if (k < bn.key) {
            bn = {k, keep};
            s.Publish(n);
        }
    }
    s.best[keep] = keepBest;
    s.Publish(keep);
}

}  // namespace

int seg_init(SEG_INIT* rec)
{
    int64_t count = 0;
    if (!ValidRecord(rec, &count)) {
        if (rec) {
            seg_cleanup(rec);
            rec->numRegions = rec->numNodes = rec->numBorders = 0;
        }
        return -1;
    }
    seg_cleanup(rec);
    auto state = std::make_unique<SegState>();
    SegState& s = *state;
    const int32_t n = static_cast<int32_t>(count);
    s.parent.resize(n);
    for (int32_t i = 0; i < n; ++i) s.parent[i] = i;
    s.size.assign(n, 1);
    s.slot.assign(n, -1);
    s.best.assign(n, Best{{0, 0, 0}, -1});
    s.adj.resize(n);

    // Axis neighbours: node i and i + stride[d] when coordinate d is not the last.
    const int dims = rec->numDims;
    std::vector<int64_t> stride(dims, 1);
    for (int d = dims - 2; d >= 0; --d) stride[d] = stride[d + 1] * rec->dims[d + 1].size;
    std::vector<int32_t> coord(dims, 0);
    int64_t edges = 0;
    for (int32_t i = 0; i < n; ++i) {
        int deg = 0;
        for (int d = 0; d < dims; ++d) deg += (coord[d] > 0) + (coord[d] + 1 < rec->dims[d].size);
        s.adj[i].reserve(deg);
        for (int d = 0; d < dims; ++d) {
            if (coord[d] > 0) {
                const int32_t j = static_cast<int32_t>(i - stride[d]);
                s.adj[i].push_back({j, 1});
                s.adj[j].push_back({i, 1});
                ++edges;
                const PairKey k = s.Key(rec, j, i);
                if (s.best[i].partner < 0 || k < s.best[i].key) s.best[i] = {k, j};
                if (s.best[j].partner < 0 || k < s.best[j].key) s.best[j] = {k, i};
            }
        }
        // Next coordinate, last dimension fastest.
        for (int d = dims - 1; d >= 0; --d) {
            if (++coord[d] < rec->dims[d].size) break;
            coord[d] = 0;
        }
    }
    s.heap.Init(n);
    for (int32_t i = 0; i < n; ++i) s.Publish(i);

    rec->numNodes = n;
    rec->numRegions = n;
    rec->numBorders = static_cast<int32_t>(edges);
    rec->state = state.release();
    return 0;
}

int seg_step(SEG_INIT* rec)
{
    if (!rec || !rec->state) return 0;
    SegState& s = *rec->state;
    if (s.heap.Empty()) return 0;
    const int32_t a = s.heap.TopOwner();
    const int32_t b = s.best[a].partner;
    // The region with more borders survives: fewer lists to rewrite.
    const bool keepA = s.adj[a].size() >= s.adj[b].size();
    Merge(rec, s, keepA ? a : b, keepA ? b : a);
    return 1;
}

int seg_parent(SEG_INIT* rec, int node)
{
    if (!rec || !rec->state) {
        Logger::log("ERROR seg_parent: no segmentation", 1);
        return -1;
    }
    if (node < 0 || node >= rec->numNodes) {
        Logger::log("ERROR seg_parent: node %d out of 0..%d", 1, node, rec->numNodes - 1);
        return -1;
    }
    return rec->state->Find(node);
}

int GetBorderInfo(SEG_INIT* rec, int i, int* a, int* b, int* len)
{
    if (!rec || !rec->state) return 0;
    SegState& s = *rec->state;
    if (s.bordersAt != s.merges) {
        s.borders.clear();
        s.borders.reserve(static_cast<size_t>(std::max(rec->numBorders, 0)));
        const int32_t n = static_cast<int32_t>(s.parent.size());
        for (int32_t r = 0; r < n; ++r) {
            if (s.parent[r] != r) continue;
            for (const Edge& e : s.adj[r])
                if (e.nbr > r) s.borders.push_back({r, e.nbr, e.len});
        }
        s.bordersAt = s.merges;
    }
    if (i < 0 || i >= static_cast<int>(s.borders.size())) return 0;
    if (a) *a = s.borders[i].a;
    if (b) *b = s.borders[i].b;
    if (len) *len = s.borders[i].len;
    return 1;
}

void seg_cleanup(SEG_INIT* rec)
{
    if (!rec) return;
    delete rec->state;
    rec->state = nullptr;
}
