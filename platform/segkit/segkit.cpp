#include "platform/segkit/segkit.h"

#include "platform/utilkit/logger.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// A border as one region sees it: the region on the other side and the
// number of grid edges they share.
struct Edge {
    int32_t nbr;
    int32_t len;
};

// A candidate merge as it was costed; valid while both sides are still
// regions with the stamps they had then.
struct Candidate {
    float cost;
    int32_t a;
    int32_t b;
    uint32_t stampA;
    uint32_t stampB;
};

// Min-heap order on cost; equal costs by region numbers so that runs repeat.
struct CostlierThan {
    bool operator()(const Candidate& x, const Candidate& y) const
    {
        if (x.cost != y.cost) return x.cost > y.cost;
        if (x.a != y.a) return x.a > y.a;
        return x.b > y.b;
    }
};

struct BorderEntry {
    int32_t a;
    int32_t b;
    int32_t len;
};

}  // namespace

struct SegState {
    std::vector<int32_t> parent;          // union-find forest; roots are region numbers
    std::vector<uint32_t> stamp;          // bumped whenever a region's node changes
    std::vector<std::vector<Edge>> adj;   // per region: its borders (empty for non-roots)
    std::vector<int32_t> slot;            // scratch: index of a neighbour in the survivor's list, or -1
    std::vector<Candidate> heap;
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

void PushCandidate(SEG_INIT* rec, SegState& s, int32_t a, int32_t b)
{
    s.heap.push_back({rec->cost(rec, a, b), a, b, s.stamp[a], s.stamp[b]});
    std::push_heap(s.heap.begin(), s.heap.end(), CostlierThan());
}

bool IsCurrent(SegState& s, const Candidate& c)
{
    return s.parent[c.a] == c.a && s.parent[c.b] == c.b && s.stamp[c.a] == c.stampA && s.stamp[c.b] == c.stampB;
}

// Drops the stale candidates once they outnumber the live borders, so the
// heap stays proportional to the graph.
void CompactHeap(SEG_INIT* rec, SegState& s)
{
    const size_t live = static_cast<size_t>(std::max(rec->numBorders, 0));
    if (s.heap.size() < 1024 || s.heap.size() <= 3 * live) return;
    std::erase_if(s.heap, [&s](const Candidate& c) { return !IsCurrent(s, c); });
    std::make_heap(s.heap.begin(), s.heap.end(), CostlierThan());
}

// In region n's border list, the border with `from` now leads to `to`; when
// n already bordered `to`, the two borders become one (true).
bool Redirect(std::vector<Edge>& list, int32_t from, int32_t to)
{
    int fromAt = -1;
    int toAt = -1;
    for (int i = 0; i < static_cast<int>(list.size()); ++i) {
        if (list[i].nbr == from) fromAt = i;
        else if (list[i].nbr == to) toAt = i;
    }
    if (fromAt < 0) return false;
    if (toAt < 0) {
        list[fromAt].nbr = to;
        return false;
    }
    list[toAt].len += list[fromAt].len;
    list[fromAt] = list.back();
    list.pop_back();
    return true;
}

// Region `gone` joins region `keep`: their border lists are combined and
// every neighbour of `gone` is told.
void Merge(SEG_INIT* rec, SegState& s, int32_t keep, int32_t gone)
{
    rec->merge(rec, keep, gone);
    s.parent[gone] = keep;
    ++s.stamp[keep];
    ++s.merges;

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
    for (const Edge& e : kept) PushCandidate(rec, s, keep, e.nbr);
    CompactHeap(rec, s);
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
    s.stamp.assign(n, 0);
    s.slot.assign(n, -1);
    s.adj.resize(n);

    // Axis neighbours: node i and i + stride[d] when coordinate d is not the last.
    const int dims = rec->numDims;
    std::vector<int64_t> stride(dims, 1);
    for (int d = dims - 2; d >= 0; --d) stride[d] = stride[d + 1] * rec->dims[d + 1].size;
    for (int32_t i = 0; i < n; ++i) {
        int deg = 0;
        for (int d = 0; d < dims; ++d) {
            const int64_t c = (i / stride[d]) % rec->dims[d].size;
            deg += (c > 0) + (c + 1 < rec->dims[d].size);
        }
        s.adj[i].reserve(deg);
    }
    int64_t edges = 0;
    for (int32_t i = 0; i < n; ++i) {
        for (int d = 0; d < dims; ++d) {
            const int64_t c = (i / stride[d]) % rec->dims[d].size;
            if (c + 1 >= rec->dims[d].size) continue;
            const int32_t j = static_cast<int32_t>(i + stride[d]);
            s.adj[i].push_back({j, 1});
            s.adj[j].push_back({i, 1});
            ++edges;
        }
    }
    s.heap.reserve(static_cast<size_t>(edges));
    for (int32_t i = 0; i < n; ++i)
        for (const Edge& e : s.adj[i])
            if (e.nbr > i) s.heap.push_back({rec->cost(rec, i, e.nbr), i, e.nbr, 0, 0});
    std::make_heap(s.heap.begin(), s.heap.end(), CostlierThan());

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
    while (!s.heap.empty()) {
        std::pop_heap(s.heap.begin(), s.heap.end(), CostlierThan());
        const Candidate c = s.heap.back();
        s.heap.pop_back();
        if (!IsCurrent(s, c)) continue;
        // The region with more borders survives: fewer lists to rewrite.
        const bool keepA = s.adj[c.a].size() >= s.adj[c.b].size();
        Merge(rec, s, keepA ? c.a : c.b, keepA ? c.b : c.a);
        return 1;
    }
    return 0;
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
