// The scanbeam sweep shared by the contour clipper and the tristrip clipper
// (private to Polykit). Both polygons are cut into bounds (chains of edges
// rising from a local minimum); the plane is swept upward from one distinct
// vertex height to the next, and at every height and every crossing of two
// edges a corner classification tells the output policy which vertices to
// make. The policy (contours or strips) supplies the actions per class.
#pragma once

#include "core/geometry_records.h"
#include "geometry/polykit/poly_arena.h"

#include "core/logger.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace polykit::sweep {

// Every comparison of coordinates, heights and slopes uses this tolerance:
// two values closer than it are the same height, the same x or the same
// slope. No other epsilon is used by the clipper.
constexpr double kTol = 0.0001;
inline bool Eq(double a, double b) { return std::fabs(a - b) <= kTol; }
inline bool Gt(double a, double b) { return a - b > kTol; }
inline bool Lt(double a, double b) { return b - a > kTol; }

// Edge types double as indices into the per-type flags.
constexpr int kClip = 0;
constexpr int kSubj = 1;

template <typename Out>
struct Edge {
    double botX, botY, topX, topY;
    double xb;  // x at the bottom of the current scanbeam
    double xt;  // x at its top
    double dx;  // change of x per unit rise
    int type;
    uint8_t above[2];  // per type: the bundle continues above the current height
    uint8_t below[2];  // per type: the bundle comes from below it (carried up)
    uint8_t bside[2];  // per type: 0 left, 1 right side of its bundle
    uint8_t head;      // absorbed coincident edges above this height
    Out* outp;         // output contour or strip the edge feeds
    Edge* prev;        // active edge table
    Edge* next;
    Edge* pred;  // edge below on the same bound
    Edge* succ;  // edge above on the same bound
    Edge* nextBound;
};

template <typename Out>
struct LocalMin {
    double y;
    Edge<Out>* firstBound;
    LocalMin* next;
};

template <typename Out>
struct Crossing {
    Edge<Out>* e0;
    Edge<Out>* e1;
    double x, y;
    bool leftFirst;  // e0 is the left edge of the pair in the table
    Crossing* next;
};

template <typename Out>
struct SortedEdge {
    Edge<Out>* edge;
    double xt;
    SortedEdge* prev;  // towards the left end
};

// New horizontal state by old state and (exists - 1) * 2 + new parity:
// 0 none, 1 bottom horizontal, 2 top horizontal.
inline constexpr uint8_t kNextHState[3][6] = {
    {1, 2, 2, 1, 0, 0},
    {0, 0, 0, 0, 2, 2},
    {0, 0, 0, 0, 1, 1},
};

// Policy requirements:
//   using Out = ...;                      the record an edge feeds
//   void BeginHeight();                   per-height reset
//   void EdgeAction(int cls, Edge<Out>* e, double yb);
//   void CrossAction(int cls, Edge<Out>* e0, Edge<Out>* e1, double x, double y);
template <typename Policy>
class Sweep {
public:
    using Out = typename Policy::Out;
    using E = Edge<Out>;

    Sweep(Arena& arena, gpc_op op, Policy& policy) : m_arena(arena), m_op(op), m_policy(policy) {}

    // Reads one polygon (subject: kSubj, clip: kClip) into the local-minimum
    // table and the height list.
    void Read(const gpc_polygon* polygon, int type);

    // Sorts the heights into the scanbeam array. Returns the number of
    // distinct heights.
    int BuildHeights();
    bool HasLocalMinima() const { return m_lmt != nullptr; }

    // Runs the sweep; `aetNullText` is logged whenever a height finds the
    // active edge table empty.
    void Run(const char* aetNullText);

private:
    void AddBound(E* edges, int count, double y);
    void InsertEdge(E* edge);
    void BuildBundles(double yb);
    void ProcessEdges(double yb);
    void RemoveFinished(double yb);
    void BuildCrossings(double yb, double yt);
    static bool TouchAndPass(const E* s, const E* e, double yt);
    void AddCrossing(E* s, E* e, double x, double y, bool leftFirst);
    void ProcessCrossings();
    Crossing<Out>* TakeNextCrossing();
    void SwapBundles(E* e0, E* e1);
    void Advance(double yt);

    Arena& m_arena;
    gpc_op m_op;
    Policy& m_policy;

    LocalMin<Out>* m_lmt = nullptr;
    double* m_heightsRaw = nullptr;  // in reading order
    int m_heightCount = 0;
    int m_heightCap = 0;
    double* m_heights = nullptr;  // distinct, ascending
    int m_distinct = 0;

    E* m_aet = nullptr;
    Crossing<Out>* m_crossings = nullptr;
};

// ---------------------------------------------------------------------------
// Reading the polygons

template <typename Policy>
void Sweep<Policy>::Read(const gpc_polygon* polygon, int type)
{
    if (!polygon || polygon->count <= 0 || !polygon->contours) return;

    // Vertices inside a horizontal run are dropped: a vertex stays when its
    // height differs from its previous or its next neighbour's.
    auto kept = [](const POINT2* v, int n, int i) {
        const int prev = (i - 1 + n) % n;
        const int next = (i + 1) % n;
        return !Eq(v[prev].y, v[i].y) || !Eq(v[next].y, v[i].y);
    };

    for (int c = 0; c < polygon->count; ++c) {
        const gpc_vertex_list& contour = polygon->contours[c];
        const int n = contour.count;
        if (n < 0) {
            // The contour is left out; the caller's record is not touched.
            Logger::log("WARNING: build_lmt(): num_vertices < 0", 1);
            continue;
        }
        if (n == 0) continue;
        if (!contour.points) {
            Logger::log("ERROR CPolyClip::gpc_polygon_clip contour %d has %d vertices and no array", 1, c, n);
            continue;
        }
        bool finite = true;
        for (int i = 0; i < n && finite; ++i)
            finite = std::isfinite(contour.points[i].x) && std::isfinite(contour.points[i].y);
        if (!finite) {
            Logger::log("ERROR CPolyClip::gpc_polygon_clip contour %d has a vertex that is not finite", 1, c);
            continue;
        }

        // Kept vertices of this contour, numbered 0 .. k-1.
        POINT2* v = m_arena.Alloc<POINT2>(static_cast<size_t>(n));
        int k = 0;
        for (int i = 0; i < n; ++i)
            if (kept(contour.points, n, i)) v[k++] = contour.points[i];
        if (k == 0) continue;

        if (m_heightCount + k > m_heightCap) {
            const int cap = std::max(m_heightCap * 2, m_heightCount + k + 32);
            double* grown = m_arena.Alloc<double>(static_cast<size_t>(cap));
            std::copy(m_heightsRaw, m_heightsRaw + m_heightCount, grown);
            m_heightsRaw = grown;
            m_heightCap = cap;
        }
        for (int i = 0; i < k; ++i) m_heightsRaw[m_heightCount++] = v[i].y;

        // Every edge between two kept vertices belongs to at most one bound,
        // so k edge records are enough for the contour.
        E* edges = m_arena.Alloc<E>(static_cast<size_t>(k));
        int used = 0;
        auto next = [k](int i) { return (i + 1) % k; };
        auto prev = [k](int i) { return (i - 1 + k) % k; };

        auto makeEdges = [&](int start, int count, bool forward) {
            if (used + count > k) return;  // cannot happen: bounds share no edge
            E* e = edges + used;
            used += count;
            int at = start;
            for (int j = 0; j < count; ++j) {
                const int to = forward ? next(at) : prev(at);
                E& edge = e[j];
                edge = E{};
                edge.botX = v[at].x;
                edge.botY = v[at].y;
                edge.topX = v[to].x;
                edge.topY = v[to].y;
                edge.xb = edge.botX;
                edge.dx = (edge.topX - edge.botX) / (edge.topY - edge.botY);
                edge.type = type;
                edge.pred = j > 0 ? &e[j - 1] : nullptr;
                edge.succ = j + 1 < count ? &e[j + 1] : nullptr;
                edge.bside[kClip] = m_op == GPC_DIFF ? 1 : 0;
                edge.bside[kSubj] = 0;
                at = to;
            }
            AddBound(e, count, v[start].y);
        };

        // Forward pass: bounds that rise in vertex order.
        for (int i = 0; i < k; ++i) {
            if (!Gt(v[i].y, v[prev(i)].y) && Gt(v[next(i)].y, v[i].y)) {
                int count = 1;
                for (int m = next(i); Gt(v[next(m)].y, v[m].y); m = next(m)) ++count;
                makeEdges(i, count, true);
            }
        }
        // Reverse pass: bounds that rise against vertex order.
        for (int i = 0; i < k; ++i) {
            if (Gt(v[prev(i)].y, v[i].y) && !Gt(v[i].y, v[next(i)].y)) {
                int count = 1;
                for (int m = prev(i); Gt(v[prev(m)].y, v[m].y); m = prev(m)) ++count;
                makeEdges(i, count, false);
            }
        }
    }
}

// Enters a bound in the local-minimum table: entries ascend in height (an
// entry within the tolerance is reused), bounds within an entry ascend by
// bottom x and then dx, an equal bound going after those already there.
// Slopes are ordered by their exact values: two bounds leaving one vertex
// with slopes closer than the tolerance still diverge, and must start in the
// order they keep.
template <typename Policy>
void Sweep<Policy>::AddBound(E* edges, int /*count*/, double y)
{
    LocalMin<Out>** at = &m_lmt;
    while (*at && !Lt(y, (*at)->y) && !Eq(y, (*at)->y)) at = &(*at)->next;
    if (!*at || !Eq(y, (*at)->y)) {
        LocalMin<Out>* entry = m_arena.New<LocalMin<Out>>();
        entry->y = y;
        entry->next = *at;
        *at = entry;
    }
    E** b = &(*at)->firstBound;
    while (*b) {
        if (Lt(edges->botX, (*b)->botX)) break;
        if (Eq(edges->botX, (*b)->botX) && edges->dx < (*b)->dx) break;
        b = &(*b)->nextBound;
    }
    edges->nextBound = *b;
    *b = edges;
}

// Distinct heights, ascending: a height within the tolerance of one already
// kept is not added again.
template <typename Policy>
int Sweep<Policy>::BuildHeights()
{
    if (m_heightCount == 0) return 0;
    std::sort(m_heightsRaw, m_heightsRaw + m_heightCount);
    m_heights = m_arena.Alloc<double>(static_cast<size_t>(m_heightCount));
    m_distinct = 0;
    for (int i = 0; i < m_heightCount; ++i) {
        if (m_distinct == 0 || !Eq(m_heightsRaw[i], m_heights[m_distinct - 1]))
            m_heights[m_distinct++] = m_heightsRaw[i];
    }
    return m_distinct;
}

// ---------------------------------------------------------------------------
// The active edge table

// Sorted by x at the bottom (within the tolerance), then by exact dx; an
// equal edge goes after.
template <typename Policy>
void Sweep<Policy>::InsertEdge(E* edge)
{
    E* before = nullptr;
    E* at = m_aet;
    while (at) {
        if (Lt(edge->xb, at->xb)) break;
        if (Eq(edge->xb, at->xb) && edge->dx < at->dx) break;
        before = at;
        at = at->next;
    }
    edge->prev = before;
    edge->next = at;
    if (at) at->prev = edge;
    if (before)
        before->next = edge;
    else
        m_aet = edge;
}

// The above flags say which edges bound something above yb; coincident edges
// (same x at yb, same slope) merge into the rightmost one, the bundle head,
// whose own-type flag becomes the parity of the bundle. The below flags are
// those the edges carried up from the scanbeam below (see Advance): they
// describe the bundles as they were there, so a bundle that parts at this
// height (two edges from one vertex with slopes within the tolerance that
// have drifted apart) starts its inner region here instead of pretending it
// existed below.
template <typename Policy>
void Sweep<Policy>::BuildBundles(double yb)
{
    for (E* e = m_aet; e; e = e->next) {
        const int t = e->type;
        e->above[t] = !Eq(e->topY, yb);
        e->above[!t] = 0;
        e->head = 0;
    }
    E* lastAbove = m_aet;
    for (E* e = m_aet->next; e; e = e->next) {
        const int t = e->type;
        if (!e->above[t]) continue;
        if (Eq(lastAbove->xb, e->xb) && Eq(lastAbove->dx, e->dx) && !Eq(lastAbove->topY, yb)) {
            e->above[t] ^= lastAbove->above[t];
            e->above[!t] = lastAbove->above[!t];
            e->head = 1;
            lastAbove->above[kClip] = 0;
            lastAbove->above[kSubj] = 0;
            lastAbove->head = 0;
        }
        lastAbove = e;
    }
}

template <typename Policy>
void Sweep<Policy>::ProcessEdges(double yb)
{
    // Parities return to their start after a full pass over consistent
    // bounds; starting them afresh at every height keeps one inconsistent
    // height (coordinates at the tolerance's edge) from spoiling the rest.
    uint8_t parity[2] = {static_cast<uint8_t>(m_op == GPC_DIFF ? 1 : 0), 0};
    uint8_t horiz[2] = {0, 0};
    m_policy.BeginHeight();

    for (E* e = m_aet; e; e = e->next) {
        const int exC = e->above[kClip] + 2 * e->below[kClip];
        const int exS = e->above[kSubj] + 2 * e->below[kSubj];
        if (!exC && !exS) continue;

        e->bside[kClip] = parity[kClip];
        e->bside[kSubj] = parity[kSubj];

        const int pc = parity[kClip], ps = parity[kSubj];
        const int ac = e->above[kClip], as = e->above[kSubj];
        const int bc = e->below[kClip], bs = e->below[kSubj];
        const int hc = horiz[kClip] != 0, hs = horiz[kSubj] != 0;
        bool contributing = false;
        int tr = 0, tl = 0, br = 0, bl = 0;
        switch (m_op) {
        case GPC_XOR:
            contributing = exC || exS;
            br = pc ^ ps;
            bl = (pc ^ ac) ^ (ps ^ as);
            tr = (pc ^ hc) ^ (ps ^ hs);
            tl = (pc ^ hc ^ bc) ^ (ps ^ hs ^ bs);
            break;
        case GPC_UNION:
            contributing = (exC && (!ps || hs)) || (exS && (!pc || hc)) || (exC && exS && pc == ps);
            br = pc | ps;
            bl = (pc ^ ac) | (ps ^ as);
            tr = (pc ^ hc) | (ps ^ hs);
            tl = (pc ^ hc ^ bc) | (ps ^ hs ^ bs);
            break;
        default:  // difference and intersection
            contributing = (exC && (ps || hs)) || (exS && (pc || hc)) || (exC && exS && pc == ps);
            br = pc & ps;
            bl = (pc ^ ac) & (ps ^ as);
            tr = (pc ^ hc) & (ps ^ hs);
            tl = (pc ^ hc ^ bc) & (ps ^ hs ^ bs);
            break;
        }

        parity[kClip] ^= e->above[kClip];
        parity[kSubj] ^= e->above[kSubj];
        if (exC) horiz[kClip] = kNextHState[horiz[kClip]][((exC - 1) << 1) + parity[kClip]];
        if (exS) horiz[kSubj] = kNextHState[horiz[kSubj]][((exS - 1) << 1) + parity[kSubj]];

        if (contributing) m_policy.EdgeAction(tr + (tl << 1) + (br << 2) + (bl << 3), e, yb);
    }
}

template <typename Policy>
void Sweep<Policy>::RemoveFinished(double yb)
{
    for (E* e = m_aet; e;) {
        E* next = e->next;
        if (Eq(e->topY, yb)) {
            E* prev = e->prev;
            if (prev)
                prev->next = next;
            else
                m_aet = next;
            if (next) next->prev = prev;
            if (e->head && prev) {
                prev->outp = e->outp;
                prev->bside[kClip] = e->bside[kClip];
                prev->bside[kSubj] = e->bside[kSubj];
                prev->above[kClip] = e->above[kClip];
                prev->above[kSubj] = e->above[kSubj];
            }
        }
        e = next;
    }
}

// ---------------------------------------------------------------------------
// Crossings inside one scanbeam

template <typename Policy>
void Sweep<Policy>::AddCrossing(E* s, E* e, double x, double y, bool leftFirst)
{
    Crossing<Out>* c = m_arena.New<Crossing<Out>>();
    if (leftFirst) {
        c->e0 = s;
        c->e1 = e;
    } else {
        c->e0 = e;
        c->e1 = s;
    }
    c->x = x;
    c->y = y;
    c->leftFirst = leftFirst;
    Crossing<Out>** at = &m_crossings;
    while (*at && !Lt(y, (*at)->y)) at = &(*at)->next;
    c->next = *at;
    *at = c;
}

// s (left of e below yt) and e meet at yt within the tolerance and both go
// on above it, e with the smaller slope: e continues on the left of s.
template <typename Policy>
bool Sweep<Policy>::TouchAndPass(const E* s, const E* e, double yt)
{
    if (!Eq(s->xt, e->xt)) return false;
    const E* sAbove = Eq(s->topY, yt) ? s->succ : s;
    const E* eAbove = Eq(e->topY, yt) ? e->succ : e;
    return sAbove && eAbove && Gt(sAbove->dx, eAbove->dx);
}

template <typename Policy>
void Sweep<Policy>::BuildCrossings(double yb, double yt)
{
    m_crossings = nullptr;
    SortedEdge<Out>* right = nullptr;  // most recently placed end
    for (E* e = m_aet; e; e = e->next) {
        if (!(e->head || e->above[kClip] || e->above[kSubj])) continue;
        e->xt = Eq(e->topY, yt) ? e->topX : e->botX + e->dx * (yt - e->botY);

        // e moves left past every listed edge that ends to its right at yt.
        SortedEdge<Out>** at = &right;
        while (*at) {
            E* s = (*at)->edge;
            if (TouchAndPass(s, e, yt)) {
                // They meet at yt and leave it in swapped order: a crossing
                // at the top of the beam, so that the next height sees the
                // edges in the order they have above it.
                AddCrossing(s, e, 0.5 * ((*at)->xt + e->xt), yt, true);
                at = &(*at)->prev;
                continue;
            }
            if (!Gt((*at)->xt, e->xt)) break;
            // Slopes and the determinant are compared exactly here: two edges
            // whose order at yt differs by more than the tolerance from their
            // order at yb do pass each other, however alike their slopes (two
            // long edges from one vertex) or however short they are (a small
            // determinant); leaving such a pair unswapped would leave the
            // table out of order for every height above.
            const double sx = s->topX - s->botX, sy = s->topY - s->botY;
            const double ex = e->topX - e->botX, ey = e->topY - e->botY;
            const double den = sx * ey - sy * ex;
            if (den == 0.0) break;
            const double t = ((s->botY - e->botY) * ex - (s->botX - e->botX) * ey) / den;
            double x = s->botX + sx * t;
            double y = s->botY + sy * t;
            // Rounding can put the point of two nearly parallel edges just
            // outside the beam; it belongs inside it.
            if (y < yb || y > yt) {
                y = std::clamp(y, yb, yt);
                x = s->botX + s->dx * (y - s->botY);
            }
            AddCrossing(s, e, x, y, !Gt(e->dx, s->dx));
            at = &(*at)->prev;
        }
        SortedEdge<Out>* node = m_arena.New<SortedEdge<Out>>();
        node->edge = e;
        node->xt = e->xt;
        node->prev = *at;
        *at = node;
    }
}

// Moves e0's bundle (e0 and the absorbed edges directly before it) to just
// after e1, so that e1 and its own absorbed edges come out in front of e0.
template <typename Policy>
void Sweep<Policy>::SwapBundles(E* e0, E* e1)
{
    E* first = e0;
    if (e0->head) {
        while (first->prev && !first->prev->head && !first->prev->above[kClip] && !first->prev->above[kSubj])
            first = first->prev;
    }
    // Nothing to do when e1 lies inside the block or is already ahead.
    for (E* e = first; e != e0->next; e = e->next)
        if (e == e1) return;

    E* before = first->prev;
    E* after = e0->next;
    if (before)
        before->next = after;
    else
        m_aet = after;
    if (after) after->prev = before;

    E* n = e1->next;
    e1->next = first;
    first->prev = e1;
    e0->next = n;
    if (n) n->prev = e0;
}

// The crossings are taken in ascending height, except that a crossing whose
// two edges are not neighbours in the table yet waits for the first later one
// whose edges are: crossings closer in height than the tolerance (three edges
// meeting almost at one point) can be listed out of the order in which the
// edges actually pass each other, and handling a pair that is not adjacent
// would classify it against the wrong neighbours.
template <typename Policy>
Crossing<typename Policy::Out>* Sweep<Policy>::TakeNextCrossing()
{
    auto adjacent = [](const Crossing<Out>* c) {
        if (!c->leftFirst) return true;
        const E* n = c->e0->next;
        while (n && n != c->e1 && !n->head && !n->above[kClip] && !n->above[kSubj]) n = n->next;
        return n == c->e1;
    };
    Crossing<Out>** at = &m_crossings;
    while (*at && !adjacent(*at)) at = &(*at)->next;
    if (!*at) at = &m_crossings;
    Crossing<Out>* c = *at;
    *at = c->next;
    return c;
}

template <typename Policy>
void Sweep<Policy>::ProcessCrossings()
{
    while (m_crossings) {
        Crossing<Out>* c = TakeNextCrossing();
        E* e0 = c->e0;
        E* e1 = c->e1;
        const int a0c = e0->above[kClip], a0s = e0->above[kSubj];
        const int a1c = e1->above[kClip], a1s = e1->above[kSubj];

        if ((a0c || a0s) && (a1c || a1s)) {
            const int inC = (a0c && !e0->bside[kClip]) || (a1c && e1->bside[kClip]) ||
                            (!a0c && !a1c && e0->bside[kClip] && e1->bside[kClip]);
            const int inS = (a0s && !e0->bside[kSubj]) || (a1s && e1->bside[kSubj]) ||
                            (!a0s && !a1s && e0->bside[kSubj] && e1->bside[kSubj]);
            int tr, tl, br, bl;
            switch (m_op) {
            case GPC_XOR:
                tr = inC ^ inS;
                tl = tr ^ a1c ^ a1s;
                br = tr ^ a0c ^ a0s;
                bl = tr ^ a1c ^ a0c ^ a1s ^ a0s;
                break;
            case GPC_UNION:
                tr = inC | inS;
                tl = (inC ^ a1c) | (inS ^ a1s);
                br = (inC ^ a0c) | (inS ^ a0s);
                bl = (inC ^ a1c ^ a0c) | (inS ^ a1s ^ a0s);
                break;
            default:
                tr = inC & inS;
                tl = (inC ^ a1c) & (inS ^ a1s);
                br = (inC ^ a0c) & (inS ^ a0s);
                bl = (inC ^ a1c ^ a0c) & (inS ^ a1s ^ a0s);
                break;
            }
            m_policy.CrossAction(tr + (tl << 1) + (br << 2) + (bl << 3), e0, e1, c->x, c->y);
        }

        // Crossing an edge puts the other one on its opposite side.
        if (a0c) e1->bside[kClip] = !e1->bside[kClip];
        if (a1c) e0->bside[kClip] = !e0->bside[kClip];
        if (a0s) e1->bside[kSubj] = !e1->bside[kSubj];
        if (a1s) e0->bside[kSubj] = !e0->bside[kSubj];

        if (c->leftFirst) SwapBundles(e0, e1);
    }
}

template <typename Policy>
void Sweep<Policy>::Advance(double yt)
{
    for (E* e = m_aet; e;) {
        E* next = e->next;
        if (Eq(e->topY, yt) && e->succ) {
            E* succ = e->succ;
            succ->outp = e->outp;
            succ->below[kClip] = e->above[kClip];
            succ->below[kSubj] = e->above[kSubj];
            succ->prev = e->prev;
            succ->next = next;
            if (e->prev)
                e->prev->next = succ;
            else
                m_aet = succ;
            if (next) next->prev = succ;
        } else {
            e->xb = Eq(e->topY, yt) ? e->topX : e->botX + e->dx * (yt - e->botY);
            e->below[kClip] = e->above[kClip];
            e->below[kSubj] = e->above[kSubj];
        }
        e = next;
    }
}

template <typename Policy>
void Sweep<Policy>::Run(const char* aetNullText)
{
    LocalMin<Out>* lmt = m_lmt;
    for (int s = 0; s < m_distinct; ++s) {
        const double yb = m_heights[s];
        const bool hasTop = s + 1 < m_distinct;
        const double yt = hasTop ? m_heights[s + 1] : yb;

        // Every local minimum lies within the tolerance of some height; one
        // that a cluster of near heights made the sweep pass by still enters
        // at the first height not below it.
        while (lmt && !Gt(lmt->y, yb)) {
            for (E* b = lmt->firstBound; b; b = b->nextBound) InsertEdge(b);
            lmt = lmt->next;
        }
        if (!m_aet) {
            Logger::log("%s", 1, aetNullText);
            continue;
        }

        BuildBundles(yb);
        ProcessEdges(yb);
        RemoveFinished(yb);
        if (hasTop && m_aet) {
            BuildCrossings(yb, yt);
            ProcessCrossings();
            Advance(yt);
        }
    }
}

}  // namespace polykit::sweep
