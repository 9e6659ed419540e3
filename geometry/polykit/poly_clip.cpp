#include "geometry/polykit/poly_clip.h"

#include "geometry/polykit/poly_alloc.h"
#include "geometry/polykit/poly_arena.h"
#include "geometry/polykit/poly_sweep.h"

#include "core/logger.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using polykit::Arena;
using namespace polykit::sweep;

struct VertexNode {
    float x, y;
    VertexNode* next;
};

// An open output contour. Contours that were joined into another forward to
// it; the one at the end of the forwarding owns the shared vertex chain and
// is the only active one among them.
struct OutContour {
    VertexNode* first;
    VertexNode* last;
    int count;
    OutContour* forward;
    OutContour* nextCreated;
};

class ContourOutput {
public:
    using Out = OutContour;
    using E = Edge<OutContour>;

    explicit ContourOutput(Arena& arena) : m_arena(arena) {}

    void BeginHeight()
    {
        m_lastX = -static_cast<double>(FLT_MAX);
        m_current = nullptr;
    }

    void EdgeAction(int cls, E* e, double yb)
    {
        const double x = e->xb;
        switch (cls) {
        case 1:
            if (!Eq(x, m_lastX)) AddLeft(m_current, x, yb);
            JoinRight(m_current, e->outp);
            m_current = nullptr;
            e->outp = nullptr;
            break;
        case 2:
            AddLeft(e->outp, x, yb);
            m_current = e->outp;
            e->outp = nullptr;
            break;
        case 4:
            if (!Eq(x, m_lastX)) AddRight(m_current, x, yb);
            e->outp = m_current;
            m_current = nullptr;
            break;
        case 5:
            if (Eq(e->botY, yb)) AddRight(e->outp, x, yb);
            m_lastX = x;
            break;
        case 6:
            if (!Eq(x, m_lastX)) AddRight(m_current, x, yb);
            JoinLeft(m_current, e->outp);
            StartAtEdge(e, x, yb);
            break;
        case 7:
        case 8:
            StartAtEdge(e, x, yb);
            break;
        case 9:
            if (!Eq(x, m_lastX)) AddLeft(m_current, x, yb);
            JoinRight(m_current, e->outp);
            StartAtEdge(e, x, yb);
            break;
        case 10:
            if (Eq(e->botY, yb)) AddLeft(e->outp, x, yb);
            m_lastX = x;
            break;
        case 11:
            if (!Eq(x, m_lastX)) AddLeft(m_current, x, yb);
            e->outp = m_current;
            m_current = nullptr;
            break;
        case 13:
            AddRight(e->outp, x, yb);
            m_current = e->outp;
            e->outp = nullptr;
            break;
        case 14:
            if (!Eq(x, m_lastX)) AddRight(m_current, x, yb);
            JoinLeft(m_current, e->outp);
            m_current = nullptr;
            e->outp = nullptr;
            break;
        default:
            break;
        }
    }

    // Crossing actions touch neither the last added x nor the current contour.
    void CrossAction(int cls, E* e0, E* e1, double x, double y)
    {
        OutContour* p = e0->outp;
        OutContour* q = e1->outp;
        switch (cls) {
        case 1:
            if (p && q) {
                Add(p, x, y, true);
                JoinRight(p, q);
                e0->outp = nullptr;
                e1->outp = nullptr;
            }
            break;
        case 2:
            if (q) {
                Add(q, x, y, true);
                e0->outp = q;
                e1->outp = nullptr;
            }
            break;
        case 4:
            if (p) {
                Add(p, x, y, false);
                e1->outp = p;
                e0->outp = nullptr;
            }
            break;
        case 6:
            if (p && q) {
                Add(p, x, y, false);
                JoinLeft(p, q);
                e0->outp = NewContour(x, y);
                e1->outp = e0->outp;
            }
            break;
        case 7:
        case 8:
            e0->outp = NewContour(x, y);
            e1->outp = e0->outp;
            break;
        case 9:
            if (p && q) {
                Add(p, x, y, true);
                JoinRight(p, q);
                e0->outp = NewContour(x, y);
                e1->outp = e0->outp;
            }
            break;
        case 11:
            if (p) {
                Add(p, x, y, true);
                e1->outp = p;
                e0->outp = nullptr;
            }
            break;
        case 13:
            if (q) {
                Add(q, x, y, false);
                e0->outp = q;
                e1->outp = nullptr;
            }
            break;
        case 14:
            if (p && q) {
                Add(p, x, y, false);
                JoinLeft(p, q);
                e0->outp = nullptr;
                e1->outp = nullptr;
            }
            break;
        default:
            break;
        }
    }

    // The active contours in order of creation, each from the left end of
    // its chain to the right end.
    void Emit(gpc_polygon* result) const
    {
        int count = 0;
        for (OutContour* c = m_first; c; c = c->nextCreated)
            if (!c->forward) ++count;
        result->count = count;
        result->contours = polykit::AllocArray<gpc_vertex_list>(static_cast<size_t>(count));
        int i = 0;
        for (OutContour* c = m_first; c; c = c->nextCreated) {
            if (c->forward) continue;
            gpc_vertex_list& out = result->contours[i++];
            out.count = c->count;
            out.points = polykit::AllocArray<POINT2>(static_cast<size_t>(c->count));
            int v = 0;
            for (VertexNode* n = c->first; n; n = n->next) out.points[v++] = POINT2{n->x, n->y};
        }
    }

private:
    static OutContour* Owner(OutContour* c)
    {
        OutContour* root = c;
        while (root->forward) root = root->forward;
        while (c->forward && c->forward != root) {  // shorten later look-ups
            OutContour* next = c->forward;
            c->forward = root;
            c = next;
        }
        return root;
    }

    void Add(OutContour* c, double x, double y, bool left)
    {
        OutContour* o = Owner(c);
        VertexNode* n = m_arena.New<VertexNode>();
        n->x = static_cast<float>(x);
        n->y = static_cast<float>(y);
        if (left) {
            n->next = o->first;
            o->first = n;
            if (!o->last) o->last = n;
        } else {
            if (o->last)
                o->last->next = n;
            else
                o->first = n;
            o->last = n;
        }
        ++o->count;
    }

    void AddLeft(OutContour* c, double x, double y)
    {
        if (!c) return;
        Add(c, x, y, true);
        m_lastX = x;
    }

    void AddRight(OutContour* c, double x, double y)
    {
        if (!c) return;
        Add(c, x, y, false);
        m_lastX = x;
    }

    // p's chain goes in front of q's; every contour of p's chain becomes
    // inactive and refers to q's chain.
    static void JoinLeft(OutContour* p, OutContour* q)
    {
        if (!p || !q) return;
        OutContour* from = Owner(p);
        OutContour* to = Owner(q);
        if (from == to) return;
        if (from->first) {
            from->last->next = to->first;
            if (!to->last) to->last = from->last;
            to->first = from->first;
        }
        to->count += from->count;
        from->first = from->last = nullptr;
        from->count = 0;
        from->forward = to;
    }

    // p's chain goes after q's.
    static void JoinRight(OutContour* p, OutContour* q)
    {
        if (!p || !q) return;
        OutContour* from = Owner(p);
        OutContour* to = Owner(q);
        if (from == to) return;
        if (from->first) {
            if (to->last)
                to->last->next = from->first;
            else
                to->first = from->first;
            to->last = from->last;
        }
        to->count += from->count;
        from->first = from->last = nullptr;
        from->count = 0;
        from->forward = to;
    }

    OutContour* NewContour(double x, double y)
    {
        OutContour* c = m_arena.New<OutContour>();
        VertexNode* n = m_arena.New<VertexNode>();
        n->x = static_cast<float>(x);
        n->y = static_cast<float>(y);
        c->first = c->last = n;
        c->count = 1;
        if (m_last)
            m_last->nextCreated = c;
        else
            m_first = c;
        m_last = c;
        return c;
    }

    void StartAtEdge(E* e, double x, double y)
    {
        e->outp = NewContour(x, y);
        m_lastX = x;
        m_current = e->outp;
    }

    Arena& m_arena;
    OutContour* m_first = nullptr;
    OutContour* m_last = nullptr;
    OutContour* m_current = nullptr;
    double m_lastX = -static_cast<double>(FLT_MAX);
};

const char kClipAetNull[] =
    "????????? ERROR in CPolyClip::gpc_polygon_clip(): aet=NULL!\n"
    "need to fix this problem known since 10-14-06!??????????";

}  // namespace

void CPolyClip::gpc_polygon_clip(gpc_op op, gpc_polygon* subject, gpc_polygon* clip, gpc_polygon* result)
{
    if (!result) {
        Logger::log("ERROR CPolyClip::gpc_polygon_clip no result polygon", 1);
        return;
    }
    if (op < GPC_DIFF || op > GPC_UNION) {
        Logger::log("ERROR CPolyClip::gpc_polygon_clip unknown operation %d", 1, static_cast<int>(op));
        return;
    }
    const bool subjectEmpty = !subject || subject->count <= 0;
    const bool clipEmpty = !clip || clip->count <= 0;
    if (subjectEmpty && clipEmpty) {
        if (result == subject || result == clip) gpc_free_polygon(result);
        result->count = 0;
        result->contours = nullptr;
        return;
    }

    Arena arena;
    ContourOutput output(arena);
    Sweep<ContourOutput> sweep(arena, op, output);
    sweep.Read(subject, kSubj);
    sweep.Read(clip, kClip);
    sweep.BuildHeights();
    // The inputs are fully read into the working records: the result may now
    // replace one of them.
    if (result == subject || result == clip) gpc_free_polygon(result);
    sweep.Run(kClipAetNull);
    output.Emit(result);
}

void CPolyClip::gpc_add_contour(gpc_polygon* polygon, gpc_vertex_list* contour)
{
    if (!polygon || !contour) {
        Logger::log("ERROR CPolyClip::gpc_add_contour null polygon or contour", 1);
        return;
    }
    if (polygon->count < 0 || polygon->count == INT_MAX || (polygon->count > 0 && !polygon->contours)) {
        Logger::log("ERROR CPolyClip::gpc_add_contour polygon with a bad count %d", 1, polygon->count);
        return;
    }
    if (contour->count < 0 || (contour->count > 0 && !contour->points)) {
        Logger::log("ERROR CPolyClip::gpc_add_contour contour with a bad count %d", 1, contour->count);
        return;
    }
    const size_t n = static_cast<size_t>(contour->count);
    POINT2* points = polykit::AllocArray<POINT2>(n);
    if (n) std::memcpy(points, contour->points, n * sizeof(POINT2));
    gpc_vertex_list* grown = nullptr;
    try {
        grown = polykit::AllocArray<gpc_vertex_list>(static_cast<size_t>(polygon->count) + 1);
    } catch (...) {
        polykit::FreeArray(points);
        throw;
    }
    if (polygon->count > 0)
        std::memcpy(grown, polygon->contours, static_cast<size_t>(polygon->count) * sizeof(gpc_vertex_list));
    grown[polygon->count].count = contour->count;
    grown[polygon->count].points = points;
    polykit::FreeArray(polygon->contours);
    polygon->contours = grown;
    ++polygon->count;
}

void CPolyClip::gpc_free_polygon(gpc_polygon* polygon)
{
    if (!polygon) return;
    if (polygon->contours)
        for (int c = 0; c < polygon->count; ++c) polykit::FreeArray(polygon->contours[c].points);
    polykit::FreeArray(polygon->contours);
    polygon->contours = nullptr;
    polygon->count = 0;
}

// ---------------------------------------------------------------------------
// Text form

namespace {

// One whitespace-separated token; false at the end of the stream or when the
// token is longer than any number can be.
bool ReadToken(FILE* fp, char* buf, size_t size)
{
    int ch;
    do {
        ch = std::fgetc(fp);
    } while (ch != EOF && std::isspace(static_cast<unsigned char>(ch)));
    if (ch == EOF) return false;
    size_t n = 0;
    while (ch != EOF && !std::isspace(static_cast<unsigned char>(ch))) {
        if (n + 1 >= size) return false;
        buf[n++] = static_cast<char>(ch);
        ch = std::fgetc(fp);
    }
    buf[n] = '\0';
    return true;
}

bool ReadCount(FILE* fp, int* out)
{
    char buf[64];
    if (!ReadToken(fp, buf, sizeof buf)) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(buf, &end, 10);
    if (errno != 0 || end == buf || *end != '\0' || v < 0 || v > INT_MAX) return false;
    *out = static_cast<int>(v);
    return true;
}

bool ReadCoordinate(FILE* fp, float* out)
{
    char buf[128];
    if (!ReadToken(fp, buf, sizeof buf)) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(buf, &end);
    if (end == buf || *end != '\0' || !std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
    *out = static_cast<float>(v);
    return true;
}

}  // namespace

bool CPolyClip::gpc_read_polygon(FILE* fp, gpc_polygon* polygon)
{
    if (!polygon) return false;
    polygon->count = 0;
    polygon->contours = nullptr;
    if (!fp) {
        Logger::log("ERROR CPolyClip::gpc_read_polygon no stream", 1);
        return false;
    }

    // The arrays grow with what is actually read, so a huge count in a short
    // file costs nothing before the text runs out.
    std::vector<std::vector<POINT2>> contours;
    int count = 0;
    bool ok = ReadCount(fp, &count);
    for (int c = 0; ok && c < count; ++c) {
        int n = 0;
        ok = ReadCount(fp, &n);
        std::vector<POINT2> points;
        for (int i = 0; ok && i < n; ++i) {
            POINT2 p{};
            ok = ReadCoordinate(fp, &p.x) && ReadCoordinate(fp, &p.y);
            if (ok) points.push_back(p);
        }
        if (ok) contours.push_back(std::move(points));
    }
    if (!ok) {
        Logger::log("ERROR CPolyClip::gpc_read_polygon malformed or short polygon text", 1);
        return false;
    }

    polygon->contours = polykit::AllocArray<gpc_vertex_list>(contours.size());
    polygon->count = static_cast<int>(contours.size());
    for (size_t c = 0; c < contours.size(); ++c) {
        const size_t n = contours[c].size();
        polygon->contours[c].count = static_cast<int>(n);
        polygon->contours[c].points = nullptr;
        try {
            polygon->contours[c].points = polykit::AllocArray<POINT2>(n);
        } catch (...) {
            gpc_free_polygon(polygon);
            throw;
        }
        if (n) std::memcpy(polygon->contours[c].points, contours[c].data(), n * sizeof(POINT2));
    }
    return true;
}

void CPolyClip::gpc_write_polygon(FILE* fp, gpc_polygon* polygon)
{
    if (!fp || !polygon) return;
    const int count = polygon->contours ? std::max(polygon->count, 0) : 0;
    std::fprintf(fp, "%d\n", count);
    for (int c = 0; c < count; ++c) {
        const gpc_vertex_list& contour = polygon->contours[c];
        const int n = contour.points ? std::max(contour.count, 0) : 0;
        std::fprintf(fp, "%d\n", n);
        for (int i = 0; i < n; ++i)
            std::fprintf(fp, "% .*lf % .*lf\n", 15, static_cast<double>(contour.points[i].x), 15,
                         static_cast<double>(contour.points[i].y));
    }
}
