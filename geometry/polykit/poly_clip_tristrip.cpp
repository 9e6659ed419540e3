// Triangle-strip output of the clipper and the ladder form of one strip.
#include "geometry/polykit/poly_clip.h"

#include "geometry/polykit/poly_alloc.h"
#include "geometry/polykit/poly_arena.h"
#include "geometry/polykit/poly_sweep.h"

#include "core/logger.h"

#include <cmath>

namespace {

using polykit::Arena;
using namespace polykit::sweep;

struct StripNode {
    float x, y;
    StripNode* next;
};

// A strip under construction: its left and right boundaries, each in the
// order the sweep met them. The output interleaves them, left first.
struct OutStrip {
    int count;
    StripNode* leftFirst;
    StripNode* leftLast;
    StripNode* rightFirst;
    StripNode* rightLast;
    OutStrip* next;
};

const char kEdgeWithoutStrip[] = "ERRPR in gpc_tristrip_clip(): edge->outp=NULL!";

class StripOutput {
public:
    using Out = OutStrip;
    using E = Edge<OutStrip>;

    explicit StripOutput(Arena& arena) : m_arena(arena) {}

    void BeginHeight() { m_lastX = -static_cast<double>(FLT_MAX); }

    // c, the last contributing edge, is carried from one height to the next.
    // Before any class has set it, the actions that need it are skipped.
    void EdgeAction(int cls, E* e, double yb)
    {
        const double x = e->xb;
        switch (cls) {
        case 1:
            if (!Require(e)) break;
            // A strip that closes at a single top vertex already has it as
            // its last vertex from the left edge; adding it again would end
            // the strip with a degenerate triangle.
            if (!EndsAt(e->outp, x, yb)) AddRight(e->outp, x, yb);
            e->outp = nullptr;
            m_c = nullptr;
            break;
        case 2:
            if (!Require(e)) break;
            AddLeft(e->outp, x, yb);
            e->outp = nullptr;
            m_lastX = x;
            m_c = e;
            break;
        case 4:
            if (m_c) {
                if (!Eq(x, m_lastX)) AddRight(m_c->outp, x, yb);
                e->outp = m_c->outp;
            }
            m_c = nullptr;
            break;
        case 5:
            if (m_c && (Eq(e->botY, yb) || Eq(m_c->botY, yb) || m_c->outp != e->outp)) {
                if (m_c->outp == e->outp) {
                    if (!Eq(m_c->botY, yb)) AddLeft(m_c->outp, m_c->xb, yb);
                } else {
                    AddRight(e->outp, x, yb);
                    e->outp = m_c->outp;
                }
                AddRight(e->outp, x, yb);
            }
            m_c = nullptr;
            break;
        case 6:
            if (!Require(e)) break;
            AddLeft(e->outp, x, yb);
            if (m_c) {
                RestartAtC(yb);
                e->outp = m_c->outp;
                AddRight(e->outp, x, yb);
            }
            m_lastX = x;
            m_c = e;
            break;
        case 7:
            if (m_c) {
                RestartAtC(yb);
                e->outp = m_c->outp;
                AddRight(e->outp, x, yb);
            }
            m_lastX = x;
            m_c = e;
            break;
        case 8:
        case 11:
            e->outp = NewStrip(x, yb);
            m_lastX = x;
            m_c = e;
            break;
        case 9:
            if (!Require(e)) break;
            AddRight(e->outp, x, yb);
            e->outp = NewStrip(x, yb);
            m_lastX = x;
            m_c = e;
            break;
        case 10:
            if (Eq(e->botY, yb)) AddLeft(e->outp, x, yb);
            m_lastX = x;
            m_c = e;
            break;
        case 13:
            if (m_c && !Eq(m_c->botY, yb) && !Eq(m_c->topY, yb)) AddLeft(m_c->outp, m_c->xb, yb);
            AddRight(e->outp, x, yb);
            e->outp = nullptr;
            if (m_c) {
                m_c->outp = NewStrip(m_c->xb, yb);
                m_lastX = m_c->xb;
            }
            break;
        case 14:
            if (!Require(e)) break;
            AddLeft(e->outp, x, yb);
            e->outp = nullptr;
            break;
        default:
            break;
        }
    }

    void CrossAction(int cls, E* e0, E* e1, double ix, double iy)
    {
        OutStrip* p = e0->outp;
        OutStrip* q = e1->outp;
        double bx = 0, ax = 0;
        E* b = nullptr;  // nearest edge left of e0 that carries a strip
        E* a = nullptr;  // nearest edge right of e1 that carries a strip
        auto findB = [&] {
            for (b = e0->prev; b && !b->outp; b = b->prev) {}
            if (b) bx = b->botX + b->dx * (iy - b->botY);
            return b != nullptr;
        };
        auto findA = [&] {
            for (a = e1->next; a && !a->outp; a = a->next) {}
            if (a) ax = a->botX + a->dx * (iy - a->botY);
            return a != nullptr;
        };

        switch (cls) {
        case 1:
            if (p && q) {
                AddLeft(p, ix, iy);
                e0->outp = nullptr;
                e1->outp = nullptr;
            }
            break;
        case 2:
            if (q) {
                AddLeft(q, ix, iy);
                if (findA()) AddRight(a->outp, ax, iy);
                e0->outp = q;
                e1->outp = nullptr;
            }
            break;
        case 4:
            if (p) {
                if (findB()) AddLeft(b->outp, bx, iy);
                AddRight(p, ix, iy);
                e1->outp = p;
                e0->outp = nullptr;
            }
            break;
        case 6:
        case 7:
            if (cls == 6) {
                if (!(p && q)) break;
                AddRight(p, ix, iy);
                AddLeft(q, ix, iy);
            }
            findB();
            findA();
            if (b) {
                AddLeft(b->outp, bx, iy);
                b->outp = NewStrip(bx, iy);
            }
            if (a) AddRight(a->outp, ax, iy);
            e1->outp = b ? b->outp : nullptr;
            AddRight(e1->outp, ix, iy);
            e0->outp = NewStrip(ix, iy);
            if (a) {
                a->outp = e0->outp;
                AddRight(a->outp, ax, iy);
            }
            break;
        case 8:
            e1->outp = NewStrip(ix, iy);
            e0->outp = e1->outp;
            break;
        case 9:
            if (p && q) {
                AddLeft(p, ix, iy);
                e1->outp = NewStrip(ix, iy);
                e0->outp = e1->outp;
            }
            break;
        case 11:
            if (p) {
                AddLeft(p, ix, iy);
                if (findA()) AddRight(a->outp, ax, iy);
                e1->outp = p;
                e0->outp = nullptr;
            }
            break;
        case 13:
            if (q) {
                AddRight(q, ix, iy);
                if (findB()) AddLeft(b->outp, bx, iy);
                e0->outp = q;
                e1->outp = nullptr;
            }
            break;
        case 14:
            if (p && q) {
                AddRight(p, ix, iy);
                AddLeft(q, ix, iy);
                e0->outp = nullptr;
                e1->outp = nullptr;
                findB();
                findA();
                OutStrip* fresh = nullptr;
                if (b) {
                    AddLeft(b->outp, bx, iy);
                    fresh = NewStrip(bx, iy);
                    b->outp = fresh;
                }
                if (a) {
                    AddRight(a->outp, ax, iy);
                    a->outp = fresh;
                    AddRight(a->outp, ax, iy);
                }
            }
            break;
        default:
            break;
        }
    }

    // Strips of at least 3 vertices, in order of creation.
    void Emit(gpc_tristrip* result) const
    {
        int count = 0;
        for (OutStrip* s = m_first; s; s = s->next)
            if (s->count >= 3) ++count;
        result->count = count;
        result->strips = polykit::AllocArray<gpc_vertex_list>(static_cast<size_t>(count));
        int i = 0;
        for (OutStrip* s = m_first; s; s = s->next) {
            if (s->count < 3) continue;
            gpc_vertex_list& out = result->strips[i++];
            out.count = s->count;
            out.points = polykit::AllocArray<POINT2>(static_cast<size_t>(s->count));
            int v = 0;
            StripNode* l = s->leftFirst;
            StripNode* r = s->rightFirst;
            while (l || r) {
                if (l) {
                    out.points[v++] = POINT2{l->x, l->y};
                    l = l->next;
                }
                if (r) {
                    out.points[v++] = POINT2{r->x, r->y};
                    r = r->next;
                }
            }
        }
    }

private:
    // The left edge of a closing apex has already put the apex at the end
    // of the strip's left boundary.
    static bool EndsAt(const OutStrip* s, double x, double y)
    {
        return s->leftLast && s->leftLast->x == static_cast<float>(x) && s->leftLast->y == static_cast<float>(y);
    }

    bool Require(E* e)
    {
        if (e->outp) return true;
        Logger::log("%s", 1, kEdgeWithoutStrip);
        return false;
    }

    // c passes through yb: its strip gets c's point there on the left and c
    // starts a fresh strip at the same point.
    void RestartAtC(double yb)
    {
        if (!Eq(m_c->botY, yb) && !Eq(m_c->topY, yb)) AddLeft(m_c->outp, m_c->xb, yb);
        m_c->outp = NewStrip(m_c->xb, yb);
    }

    StripNode* Node(double x, double y)
    {
        StripNode* n = m_arena.New<StripNode>();
        n->x = static_cast<float>(x);
        n->y = static_cast<float>(y);
        return n;
    }

    void AddLeft(OutStrip* s, double x, double y)
    {
        if (!s) return;
        StripNode* n = Node(x, y);
        if (s->leftLast)
            s->leftLast->next = n;
        else
            s->leftFirst = n;
        s->leftLast = n;
        ++s->count;
    }

    void AddRight(OutStrip* s, double x, double y)
    {
        if (!s) return;
        StripNode* n = Node(x, y);
        if (s->rightLast)
            s->rightLast->next = n;
        else
            s->rightFirst = n;
        s->rightLast = n;
        ++s->count;
    }

    OutStrip* NewStrip(double x, double y)
    {
        OutStrip* s = m_arena.New<OutStrip>();
        AddLeft(s, x, y);
        if (m_last)
            m_last->next = s;
        else
            m_first = s;
        m_last = s;
        return s;
    }

    Arena& m_arena;
    OutStrip* m_first = nullptr;
    OutStrip* m_last = nullptr;
    E* m_c = nullptr;
    double m_lastX = -static_cast<double>(FLT_MAX);
};

const char kTriAetNull[] =
    "????????? ERROR in CPolyClip::gpc_tristrip_clip(): aet=NULL!\n"
    "need to fix this problem known since 10-14-06!??????????";
const char kTriLmtNull[] =
    "????????? ERROR in CPolyClip::gpc_tristrip_clip(): lmt=NULL!\n"
    "need to fix this problem known since 10-14-06!??????????";

}  // namespace

void CPolyClip::gpc_tristrip_clip(gpc_op op, gpc_polygon* subject, gpc_polygon* clip, gpc_tristrip* result)
{
    if (!result) {
        Logger::log("ERROR CPolyClip::gpc_tristrip_clip no result tristrip", 1);
        return;
    }
    result->count = 0;
    result->strips = nullptr;
    if (op < GPC_DIFF || op > GPC_UNION) {
        Logger::log("ERROR CPolyClip::gpc_tristrip_clip unknown operation %d", 1, static_cast<int>(op));
        return;
    }
    const bool subjectEmpty = !subject || subject->count <= 0;
    const bool clipEmpty = !clip || clip->count <= 0;
    if (subjectEmpty && clipEmpty) return;

    Arena arena;
    StripOutput output(arena);
    Sweep<StripOutput> sweep(arena, op, output);
    sweep.Read(subject, kSubj);
    sweep.Read(clip, kClip);
    if (sweep.BuildHeights() == 0) return;
    if (!sweep.HasLocalMinima()) {
        Logger::log("%s", 1, kTriLmtNull);
        return;
    }
    sweep.Run(kTriAetNull);
    output.Emit(result);
}

void CPolyClip::gpc_polygon_to_tristrip(gpc_polygon* polygon, gpc_tristrip* result)
{
    gpc_polygon empty{0, nullptr};
    gpc_tristrip_clip(GPC_DIFF, polygon, &empty, result);
}

void CPolyClip::gpc_free_tristrip(gpc_tristrip* tristrip)
{
    if (!tristrip) return;
    if (tristrip->strips)
        for (int s = 0; s < tristrip->count; ++s) polykit::FreeArray(tristrip->strips[s].points);
    polykit::FreeArray(tristrip->strips);
    tristrip->strips = nullptr;
    tristrip->count = 0;
}

// ---------------------------------------------------------------------------
// Ladders

namespace {

gpc_vertex_list* NewRung(const POINT2& a, const POINT2& b, const POINT2& c, const POINT2& d)
{
    gpc_vertex_list* rung = polykit::AllocArray<gpc_vertex_list>(1);
    try {
        rung->points = polykit::AllocArray<POINT2>(4);
    } catch (...) {
        polykit::FreeArray(rung);
        throw;
    }
    rung->count = 4;
    rung->points[0] = a;
    rung->points[1] = b;
    rung->points[2] = c;
    rung->points[3] = d;
    return rung;
}

}  // namespace

void CPolyClip::gpc_tristrip_to_ladders(gpc_vertex_list* strip, gpc_ladder* ladder)
{
    if (!ladder) return;
    ladder->count = 0;
    ladder->rungs = nullptr;
    // A strip of fewer than 3 vertices holds no triangle and gives no rung.
    if (!strip || strip->count < 3 || !strip->points) return;

    const POINT2* v = strip->points;
    const int n = strip->count;

    // A single apex (first two heights differ) opens the ladder with a
    // degenerate lower pair; the pairs after it run right to left when the
    // strip's second vertex is not left of its third.
    int s;
    bool reversed = false;
    POINT2 first1;
    if (std::fabs(v[0].y - v[1].y) >= 1e-7f) {
        first1 = v[0];
        s = 1;
        reversed = v[1].x >= v[2].x;
    } else {
        first1 = v[1];
        s = 2;
    }
    auto pair = [&](int j, int k, POINT2* lo, POINT2* hi) {
        *lo = reversed ? v[k] : v[j];
        *hi = reversed ? v[j] : v[k];
    };

    int rungs = 1;
    for (int j = s; j + 2 < n; j += 2) ++rungs;
    ladder->rungs = polykit::AllocArray<gpc_vertex_list*>(static_cast<size_t>(rungs));

    try {
        POINT2 a, b;
        if (s + 1 < n)
            pair(s, s + 1, &a, &b);
        else
            a = b = v[s];
        ladder->rungs[ladder->count++] = NewRung(v[0], first1, a, b);
        for (int j = s; j + 2 < n; j += 2) {
            POINT2 lo0, lo1, hi0, hi1;
            pair(j, j + 1, &lo0, &lo1);
            if (j + 3 < n)
                pair(j + 2, j + 3, &hi0, &hi1);
            else
                hi0 = hi1 = v[j + 2];
            ladder->rungs[ladder->count++] = NewRung(lo0, lo1, hi0, hi1);
        }
    } catch (...) {
        gpc_free_ladder(ladder);
        throw;
    }
}

void CPolyClip::gpc_free_ladder(gpc_ladder* ladder)
{
    if (!ladder) return;
    if (ladder->rungs) {
        for (int i = 0; i < ladder->count; ++i) {
            if (!ladder->rungs[i]) continue;
            polykit::FreeArray(ladder->rungs[i]->points);
            polykit::FreeArray(ladder->rungs[i]);
        }
    }
    polykit::FreeArray(ladder->rungs);
    ladder->rungs = nullptr;
    ladder->count = 0;
}
