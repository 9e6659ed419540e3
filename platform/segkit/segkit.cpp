#include "platform/segkit/segkit.h"

#include "core/logger.h"

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

// Merge order: cheapest first; equal costs by the smaller combined size, so
// that flat areas merge evenly instead of one region creeping over them node
// by node; then by region numbers, so that runs repeat. Cost and size are
// packed into one integer that compares the same way (the float's bits made
// monotone).
uint64_t CostSize(float cost, int32_t size)
{
    if (cost != cost) cost = std::numeric_limits<float>::infinity();  // NaN merges last
    if (cost == 0.0f) cost = 0.0f;                                    // -0 is 0
    uint32_t bits = std::bit_cast<uint32_t>(cost);
    bits = (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
    return (uint64_t{bits} << 32) | static_cast<uint32_t>(size);
}

// Pair (r, a) before pair (r, b) as r's best (both at r, so the other ends decide ties).
bool Before(uint64_t keyA, int32_t a, uint64_t keyB, int32_t b)
{
    return keyA != keyB ? keyA < keyB : a < b;
}

// Everything a merge reads of a region, in one place: a merge touches the
// records of the survivor's neighbours scattered over the image, and one
// cache line each is what that costs.
struct Region {
    uint64_t bestKey = 0;   // CostSize of its cheapest pair
    int32_t partner = -1;   // the region on the other side of it; -1 for none
    int32_t parent = 0;     // union-find link; a root is a region number
    int32_t size = 1;       // nodes (roots only)
    int32_t slot = -1;      // scratch: index of this neighbour in the survivor's list
};
static_assert(sizeof(Region) == 24);

// A region's best pair as queued. Queued pairs are never updated in place:
// a region whose best changes queues the new one, and an entry that no longer
// matches its region's best is dropped when it comes out (lazy deletion).
struct Candidate {
    uint64_t costSize;
    int32_t owner;
    int32_t partner;
};
static_assert(sizeof(Candidate) == 16);

// Queue order: cost and size, then the owning region. Every valid entry is
// its owner's best pair, so the first valid one out is a globally cheapest
// pair (of the smallest size among equally cheap ones).
struct LaterThan {
    bool operator()(const Candidate& x, const Candidate& y) const
    {
        if (x.costSize != y.costSize) return x.costSize > y.costSize;
        return x.owner > y.owner;
    }
};

// Priority queue of candidates in buckets by the top 16 bits of the cost (a
// bucket spans under 1% of cost), with an exact binary heap for the buckets
// up to the current one. Most queued pairs cost more than the current merge
// and land in a later bucket at the price of one append; only the current
// bucket's entries are kept in order. The order out is exact.
class CandidateQueue {
public:
    void Init()
    {
        m_buckets.assign(kBuckets, {});
        m_used.assign(kBuckets / 64, 0);
        m_heap.clear();
        m_current = -1;
        m_stored = 0;
    }
    size_t Stored() const { return m_stored; }

    void Push(const Candidate& c)
    {
        ++m_stored;
        const int b = Bucket(c);
        if (b <= m_current) {
            m_heap.push_back(c);
            std::push_heap(m_heap.begin(), m_heap.end(), LaterThan());
            return;
        }
        m_buckets[b].push_back(c);
        m_used[b / 64] |= uint64_t{1} << (b % 64);
    }

    // The first entry that `valid` accepts; false when none is left.
    template <class Valid>
    bool PopValid(Valid valid, Candidate* out)
    {
        for (;;) {
            if (m_heap.empty() && !Advance()) return false;
            std::pop_heap(m_heap.begin(), m_heap.end(), LaterThan());
            *out = m_heap.back();
            m_heap.pop_back();
            --m_stored;
            if (valid(*out)) return true;
        }
    }

    // Drops every entry that `valid` rejects.
    template <class Valid>
    void Compact(Valid valid)
    {
        m_stored = 0;
        auto keep = [&](std::vector<Candidate>& v) {
            std::erase_if(v, [&](const Candidate& c) { return !valid(c); });
            m_stored += v.size();
        };
        keep(m_heap);
        std::make_heap(m_heap.begin(), m_heap.end(), LaterThan());
        for (int w = 0; w < kBuckets / 64; ++w) {
            for (uint64_t bits = m_used[w]; bits; bits &= bits - 1) {
                const int b = w * 64 + std::countr_zero(bits);
                keep(m_buckets[b]);
                if (m_buckets[b].empty()) {
                    m_used[w] &= ~(uint64_t{1} << (b % 64));
                    std::vector<Candidate>().swap(m_buckets[b]);
                }
            }
        }
    }

private:
    static constexpr int kBuckets = 1 << 16;
    static int Bucket(const Candidate& c) { return static_cast<int>(c.costSize >> 48); }

    // Moves the next non-empty bucket into the heap.
    bool Advance()
    {
        for (int w = (m_current + 1) / 64; w < kBuckets / 64; ++w) {
            uint64_t bits = m_used[w];
            if (w == (m_current + 1) / 64) bits &= ~uint64_t{0} << ((m_current + 1) % 64);
            if (!bits) continue;
            const int b = w * 64 + std::countr_zero(bits);
            m_used[w] &= ~(uint64_t{1} << (b % 64));
            m_current = b;
            m_heap.swap(m_buckets[b]);
            std::vector<Candidate>().swap(m_buckets[b]);
            std::make_heap(m_heap.begin(), m_heap.end(), LaterThan());
            return true;
        }
        return false;
    }

    std::vector<std::vector<Candidate>> m_buckets;
    std::vector<uint64_t> m_used;   // one bit per non-empty bucket
    std::vector<Candidate> m_heap;  // entries of buckets up to m_current, in heap order
    int m_current = -1;
    size_t m_stored = 0;
};

struct BorderEntry {
    int32_t a;
    int32_t b;
    int32_t len;
};

}  // namespace

// The working state. Every region keeps its cheapest neighbour, and the
// queue orders the regions by that best pair. A merge re-costs the
// survivor's borders (its node changed) and tells each neighbour, which
// re-scans its own borders only when its best pair got dearer. The merge is
// therefore exact (always a globally cheapest pair) at one cost evaluation
// per border of the survivor.
struct SegState {
    SEG_INIT* rec = nullptr;
    std::vector<Region> reg;
    // Border lists of the regions of more than one node. A single node's
    // borders are its grid neighbours' regions, worked out when asked, so
    // the millions of untouched nodes of a photo cost no lists.
    std::vector<std::vector<Edge>> adj;
    std::vector<int32_t> gridSize;    // nodes along each dimension
    std::vector<int32_t> gridStride;  // node index step along each dimension
    CandidateQueue queue;
    std::vector<Edge> scratch;        // a single node's borders, or the absorbed region's list
    uint64_t merges = 0;
    // The border list GetBorderInfo answers from, and the merge count it was made at.
    std::vector<BorderEntry> borders;
    uint64_t bordersAt = UINT64_MAX;

    int32_t Find(int32_t n)
    {
        while (reg[n].parent != n) {
            reg[n].parent = reg[reg[n].parent].parent;  // path halving
            n = reg[n].parent;
        }
        return n;
    }
    uint64_t Key(int32_t a, int32_t b) const
    {
        return CostSize(rec->cost(rec, a, b), reg[a].size + reg[b].size);
    }

    // Calls fn(q) for every grid neighbour q of node n.
    template <class Fn>
    void ForGridNeighbours(int32_t n, Fn fn) const
    {
        if (gridSize.size() == 2) {
            const int32_t w = gridSize[1], x = n % w, y = n / w;
            if (y > 0) fn(n - w);
            if (x > 0) fn(n - 1);
            if (x + 1 < w) fn(n + 1);
            if (y + 1 < gridSize[0]) fn(n + w);
            return;
        }
        int32_t rest = n;
        for (int d = static_cast<int>(gridSize.size()) - 1; d >= 0; --d) {
            const int32_t c = rest % gridSize[d];
            rest /= gridSize[d];
            if (c > 0) fn(n - gridStride[d]);
            if (c + 1 < gridSize[d]) fn(n + gridStride[d]);
        }
    }
    // The borders of a single-node region: one entry per neighbouring
    // region, with the number of grid edges to it.
    void NodeEdges(int32_t n, std::vector<Edge>& out)
    {
        out.clear();
        ForGridNeighbours(n, [&](int32_t q) {
            const int32_t r = Find(q);
            for (Edge& e : out)
                if (e.nbr == r) {
                    ++e.len;
                    return;
                }
            out.push_back({r, 1});
        });
    }
    // Region r's borders (a single node's made up in `scratch`).
    const std::vector<Edge>& Edges(int32_t r)
    {
        if (reg[r].size > 1) return adj[r];
        NodeEdges(r, scratch);
        return scratch;
    }
    size_t Degree(int32_t r) const
    {
        if (reg[r].size > 1) return adj[r].size();
        size_t deg = 0;
        ForGridNeighbours(r, [&deg](int32_t) { ++deg; });
        return deg;
    }

    void Publish(int32_t r)
    {
        if (reg[r].partner >= 0) queue.Push({reg[r].bestKey, r, reg[r].partner});
    }
    // An entry still stands for its owner's best pair between two regions.
    bool IsCurrent(const Candidate& c) const
    {
        const Region& o = reg[c.owner];
        return o.parent == c.owner && o.partner == c.partner && o.bestKey == c.costSize &&
               reg[c.partner].parent == c.partner;
    }
    // Region r's cheapest neighbour, from scratch.
    void Rescan(int32_t r)
    {
        uint64_t key = 0;
        int32_t partner = -1;
        for (const Edge& e : Edges(r)) {
            const uint64_t k = Key(r, e.nbr);
            if (partner < 0 || Before(k, e.nbr, key, partner)) {
                key = k;
                partner = e.nbr;
            }
        }
        reg[r].bestKey = key;
        reg[r].partner = partner;
    }
    void Merge(int32_t keep, int32_t gone);
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

}  // namespace

// Region `gone` joins region `keep`: their border lists are combined, every
// neighbour of `gone` is told, and the bests touched by the change renewed.
void SegState::Merge(int32_t keep, int32_t gone)
{
    // Both lists as they stand before the union (a single node's made up).
    std::vector<Edge>& kept = adj[keep];
    if (reg[keep].size == 1) NodeEdges(keep, kept);
    std::vector<Edge>& goneList = scratch;
    if (reg[gone].size == 1) {
        NodeEdges(gone, goneList);
    } else {
        goneList.swap(adj[gone]);
        std::vector<Edge>().swap(adj[gone]);
    }
    kept.reserve(kept.size() + goneList.size());

    rec->merge(rec, keep, gone);
    reg[gone].parent = keep;
    reg[keep].size += reg[gone].size;
    ++merges;

    for (int i = 0; i < static_cast<int>(kept.size()); ++i) reg[kept[i].nbr].slot = i;
    int joined = 1;  // the border between keep and gone itself
    for (const Edge& e : goneList) {
        if (e.nbr == keep) continue;
        Region& n = reg[e.nbr];
        if (n.slot >= 0) {
            kept[n.slot].len += e.len;
            ++joined;
        } else {
            n.slot = static_cast<int32_t>(kept.size());
            kept.push_back(e);
        }
        if (n.size > 1) Redirect(adj[e.nbr], gone, keep);  // a single node's list follows Find
    }
    if (reg[gone].slot >= 0) {
        kept[reg[gone].slot] = kept.back();
        kept.pop_back();
    }
    reg[gone].slot = -1;
    for (const Edge& e : kept) reg[e.nbr].slot = -1;
    rec->numRegions -= 1;
    rec->numBorders -= joined;

    // The survivor's node changed: every pair with it has a new cost.
    uint64_t keepKey = 0;
    int32_t keepPartner = -1;
    for (const Edge& e : kept) {
        const int32_t n = e.nbr;
        const uint64_t k = Key(keep, n);
        if (keepPartner < 0 || Before(k, n, keepKey, keepPartner)) {
            keepKey = k;
            keepPartner = n;
        }
        Region& rn = reg[n];
        if (rn.partner == keep || rn.partner == gone) {
            // Its best was with one of the two: still best unless dearer now,
            // else any of its borders may be best.
            const uint64_t oldKey = rn.bestKey;
            const int32_t oldPartner = rn.partner;
            if (!Before(oldKey, oldPartner, k, keep)) {
                rn.bestKey = k;
                rn.partner = keep;
            } else {
                Rescan(n);
            }
            // An unchanged best keeps its queued entry.
            if (rn.partner != oldPartner || rn.bestKey != oldKey) Publish(n);
        } else if (Before(k, keep, rn.bestKey, rn.partner)) {
            rn.bestKey = k;
            rn.partner = keep;
            Publish(n);
        }
    }
    reg[keep].bestKey = keepKey;
    reg[keep].partner = keepPartner;
    Publish(keep);
    // Stale entries are dropped once they outnumber the regions well.
    if (queue.Stored() > 4 * static_cast<size_t>(rec->numRegions) + (size_t{1} << 20))
        queue.Compact([this](const Candidate& c) { return IsCurrent(c); });
}

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
    s.rec = rec;
    const int32_t n = static_cast<int32_t>(count);
    s.reg.resize(n);
    for (int32_t i = 0; i < n; ++i) s.reg[i].parent = i;
    s.adj.resize(n);
    const int dims = rec->numDims;
    s.gridSize.resize(dims);
    s.gridStride.resize(dims);
    int64_t stride = 1;
    for (int d = dims - 1; d >= 0; --d) {
        s.gridSize[d] = rec->dims[d].size;
        s.gridStride[d] = static_cast<int32_t>(stride);
        stride *= rec->dims[d].size;
    }

    // Every grid edge once (to the neighbour before along each axis), costed
    // for the bests of both ends.
    std::vector<int32_t> coord(dims, 0);
    int64_t edges = 0;
    for (int32_t i = 0; i < n; ++i) {
        for (int d = 0; d < dims; ++d) {
            if (coord[d] == 0) continue;
            const int32_t j = i - s.gridStride[d];
            ++edges;
            const uint64_t k = s.Key(j, i);
            Region& ri = s.reg[i];
            Region& rj = s.reg[j];
            if (ri.partner < 0 || Before(k, j, ri.bestKey, ri.partner)) ri.bestKey = k, ri.partner = j;
            if (rj.partner < 0 || Before(k, i, rj.bestKey, rj.partner)) rj.bestKey = k, rj.partner = i;
        }
        for (int d = dims - 1; d >= 0; --d) {  // next coordinate, last dimension fastest
            if (++coord[d] < rec->dims[d].size) break;
            coord[d] = 0;
        }
    }
    s.queue.Init();
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
    s.rec = rec;
    Candidate c;
    if (!s.queue.PopValid([&s](const Candidate& e) { return s.IsCurrent(e); }, &c)) return 0;
    // The region with more borders survives: fewer lists to rewrite.
    const bool keepOwner = s.Degree(c.owner) >= s.Degree(c.partner);
    s.Merge(keepOwner ? c.owner : c.partner, keepOwner ? c.partner : c.owner);
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
        const int32_t n = static_cast<int32_t>(s.reg.size());
        for (int32_t r = 0; r < n; ++r) {
            if (s.reg[r].parent != r) continue;
            for (const Edge& e : s.Edges(r))
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
