#include "geometry/polykit/tests/poly_test_support.h"

#include "geometry/polykit/poly_clip.h"

#include <clipper.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace polytest {

Poly::Poly(const Contours& contours)
{
    for (const Contour& c : contours) {
        gpc_vertex_list list{static_cast<int32_t>(c.size()), const_cast<POINT2*>(c.data())};
        CPolyClip::gpc_add_contour(&m_p, &list);
    }
}

Poly::~Poly() { CPolyClip::gpc_free_polygon(&m_p); }

Contours ToContours(const gpc_polygon& p)
{
    Contours out;
    for (int i = 0; i < p.count; ++i)
        out.emplace_back(p.contours[i].points, p.contours[i].points + p.contours[i].count);
    return out;
}

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Convex: return "convex";
    case Kind::Concave: return "concave";
    case Kind::SelfIntersecting: return "self-intersecting";
    case Kind::WithHole: return "with-hole";
    case Kind::Grid: return "grid";
    case Kind::NearHorizontal: return "near-horizontal";
    }
    return "?";
}

namespace {

Contour Star(std::mt19937& rng, int n, double cx, double cy, double rMin, double rMax)
{
    std::uniform_real_distribution<double> angle(0.0, 2 * M_PI);
    std::uniform_real_distribution<double> radius(rMin, rMax);
    std::vector<double> angles(static_cast<size_t>(n));
    for (double& a : angles) a = angle(rng);
    std::sort(angles.begin(), angles.end());
    Contour c;
    for (double a : angles) {
        const double r = radius(rng);
        c.push_back(POINT2{static_cast<float>(cx + r * std::cos(a)), static_cast<float>(cy + r * std::sin(a))});
    }
    return c;
}

}  // namespace

Contours RandomPolygon(std::mt19937& rng, Kind kind, int vertices)
{
    std::uniform_real_distribution<double> centre(35.0, 65.0);
    std::uniform_real_distribution<double> any(0.0, 100.0);
    std::uniform_int_distribution<int> grid(0, 8);
    const double cx = centre(rng), cy = centre(rng);
    switch (kind) {
    case Kind::Convex:
        return {Star(rng, vertices, cx, cy, 30.0, 30.0)};
    case Kind::Concave:
        return {Star(rng, vertices, cx, cy, 8.0, 35.0)};
    case Kind::SelfIntersecting: {
        Contour c;
        for (int i = 0; i < vertices; ++i)
            c.push_back(POINT2{static_cast<float>(any(rng)), static_cast<float>(any(rng))});
        return {c};
    }
    case Kind::WithHole: {
        // The hole's largest radius stays inside the outer contour's smallest.
        Contour outer = Star(rng, vertices, cx, cy, 25.0, 35.0);
        Contour inner = Star(rng, std::max(3, vertices / 2), cx, cy, 5.0, 20.0);
        return {outer, inner};
    }
    case Kind::Grid: {
        // Vertices on a coarse lattice: collinear, horizontal and shared
        // edges, repeated vertices.
        Contour c;
        for (int i = 0; i < vertices; ++i)
            c.push_back(POINT2{static_cast<float>(10 + 10 * grid(rng)), static_cast<float>(10 + 10 * grid(rng))});
        return {c};
    }
    case Kind::NearHorizontal: {
        // Pairs of neighbours whose heights differ by far less than the
        // tolerance (the same height to the clipper) or by a little more.
        Contour c = Star(rng, vertices, cx, cy, 10.0, 35.0);
        std::uniform_real_distribution<double> tiny(-2e-6, 2e-6);
        std::bernoulli_distribution flip(0.5);
        for (size_t i = 0; i + 1 < c.size(); i += 2) {
            const double dy = flip(rng) ? tiny(rng) : 0.01 + tiny(rng);
            c[i + 1].y = static_cast<float>(c[i].y + dy);
        }
        return {c};
    }
    }
    return {};
}

bool InsideEvenOdd(const Contours& p, double x, double y)
{
    bool inside = false;
    for (const Contour& c : p) {
        const size_t n = c.size();
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const double yi = c[i].y, yj = c[j].y;
            if ((yi > y) != (yj > y)) {
                const double xc = c[i].x + (c[j].x - c[i].x) * (y - yi) / (yj - yi);
                if (x < xc) inside = !inside;
            }
        }
    }
    return inside;
}

double DistanceToEdges(const Contours& p, double x, double y)
{
    double best = INFINITY;
    for (const Contour& c : p) {
        const size_t n = c.size();
        for (size_t i = 0; i < n; ++i) {
            const POINT2& a = c[i];
            const POINT2& b = c[(i + 1) % n];
            const double ex = b.x - a.x, ey = b.y - a.y;
            const double len2 = ex * ex + ey * ey;
            double t = len2 > 0 ? ((x - a.x) * ex + (y - a.y) * ey) / len2 : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            const double dx = a.x + t * ex - x, dy = a.y + t * ey - y;
            best = std::min(best, std::sqrt(dx * dx + dy * dy));
        }
    }
    return best;
}

double SignedArea(const Contour& c)
{
    double s = 0;
    const size_t n = c.size();
    for (size_t i = 0; i < n; ++i) {
        const POINT2& a = c[i];
        const POINT2& b = c[(i + 1) % n];
        s += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
    }
    return s / 2;
}

namespace {

constexpr double kScale = 1 << 20;

ClipperLib::Paths ToPaths(const Contours& p)
{
    ClipperLib::Paths paths;
    for (const Contour& c : p) {
        ClipperLib::Path path;
        for (const POINT2& v : c)
            path.emplace_back(static_cast<ClipperLib::cInt>(std::llround(v.x * kScale)),
                              static_cast<ClipperLib::cInt>(std::llround(v.y * kScale)));
        paths.push_back(path);
    }
    return paths;
}

Contours FromPaths(const ClipperLib::Paths& paths)
{
    Contours out;
    for (const ClipperLib::Path& path : paths) {
        Contour c;
        for (const ClipperLib::IntPoint& v : path)
            c.push_back(POINT2{static_cast<float>(v.X / kScale), static_cast<float>(v.Y / kScale)});
        out.push_back(c);
    }
    return out;
}

}  // namespace

Contours ClipperClip(gpc_op op, const Contours& subject, const Contours& clip)
{
    ClipperLib::ClipType type = ClipperLib::ctIntersection;
    switch (op) {
    case GPC_DIFF: type = ClipperLib::ctDifference; break;
    case GPC_INT: type = ClipperLib::ctIntersection; break;
    case GPC_XOR: type = ClipperLib::ctXor; break;
    case GPC_UNION: type = ClipperLib::ctUnion; break;
    }
    ClipperLib::Clipper c;
    c.AddPaths(ToPaths(subject), ClipperLib::ptSubject, true);
    c.AddPaths(ToPaths(clip), ClipperLib::ptClip, true);
    ClipperLib::Paths out;
    c.Execute(type, out, ClipperLib::pftEvenOdd, ClipperLib::pftEvenOdd);
    return FromPaths(out);
}

double ClipperArea(gpc_op op, const Contours& subject, const Contours& clip)
{
    double area = 0;
    for (const Contour& c : ClipperClip(op, subject, clip)) area += SignedArea(c);
    return area;
}

namespace {

struct SlabEdge {
    double x0, y0, x1, y1;  // y0 < y1
    int set;
};

// Area of the part of the plane where inside(parity per set) holds.
template <typename Inside>
double SlabArea(const std::vector<Contours>& sets, Inside inside)
{
    std::vector<SlabEdge> edges;
    std::vector<double> heights;
    for (size_t s = 0; s < sets.size(); ++s) {
        for (const Contour& c : sets[s]) {
            for (size_t i = 0; i < c.size(); ++i) {
                const POINT2& a = c[i];
                const POINT2& b = c[(i + 1) % c.size()];
                heights.push_back(a.y);
                if (a.y == b.y) continue;
                if (a.y < b.y)
                    edges.push_back(SlabEdge{a.x, a.y, b.x, b.y, static_cast<int>(s)});
                else
                    edges.push_back(SlabEdge{b.x, b.y, a.x, a.y, static_cast<int>(s)});
            }
        }
    }
    for (size_t i = 0; i < edges.size(); ++i) {
        for (size_t j = i + 1; j < edges.size(); ++j) {
            const SlabEdge& p = edges[i];
            const SlabEdge& q = edges[j];
            const double rx = p.x1 - p.x0, ry = p.y1 - p.y0, sx = q.x1 - q.x0, sy = q.y1 - q.y0;
            const double den = rx * sy - ry * sx;
            if (den == 0) continue;
            const double t = ((q.x0 - p.x0) * sy - (q.y0 - p.y0) * sx) / den;
            const double u = ((q.x0 - p.x0) * ry - (q.y0 - p.y0) * rx) / den;
            if (t > 0 && t < 1 && u > 0 && u < 1) heights.push_back(p.y0 + t * ry);
        }
    }
    std::sort(heights.begin(), heights.end());
    heights.erase(std::unique(heights.begin(), heights.end()), heights.end());
    double area = 0;
    struct At {
        double xm, xa, xb;
        int set;
    };
    std::vector<At> cut;
    for (size_t h = 0; h + 1 < heights.size(); ++h) {
        const double ya = heights[h], yb = heights[h + 1], ym = 0.5 * (ya + yb);
        cut.clear();
        for (const SlabEdge& e : edges) {
            if (e.y0 > ym || e.y1 < ym) continue;
            auto x = [&e](double y) { return e.x0 + (e.x1 - e.x0) * (y - e.y0) / (e.y1 - e.y0); };
            cut.push_back(At{x(ym), x(ya), x(yb), e.set});
        }
        std::sort(cut.begin(), cut.end(), [](const At& a, const At& b) { return a.xm < b.xm; });
        std::vector<int> parity(sets.size(), 0);
        for (size_t k = 0; k + 1 < cut.size(); ++k) {
            parity[static_cast<size_t>(cut[k].set)] ^= 1;
            if (inside(parity))
                area += 0.5 * ((cut[k + 1].xa - cut[k].xa) + (cut[k + 1].xb - cut[k].xb)) * (yb - ya);
        }
    }
    return area;
}

}  // namespace

double EvenOddArea(const Contours& p)
{
    return SlabArea({p}, [](const std::vector<int>& parity) { return parity[0] != 0; });
}

double ExpectedArea(gpc_op op, const Contours& subject, const Contours& clip)
{
    return SlabArea({subject, clip}, [op](const std::vector<int>& parity) {
        return ExpectedInside(op, parity[0] != 0, parity[1] != 0);
    });
}

bool ExpectedInside(gpc_op op, bool s, bool c)
{
    switch (op) {
    case GPC_DIFF: return s && !c;
    case GPC_INT: return s && c;
    case GPC_XOR: return s != c;
    case GPC_UNION: return s || c;
    }
    return false;
}

std::string Describe(const Contours& p)
{
    std::ostringstream os;
    os.precision(9);
    for (const Contour& c : p) {
        os << "{";
        for (const POINT2& v : c) os << "{" << v.x << "f," << v.y << "f},";
        os << "} ";
    }
    return os.str();
}

}  // namespace polytest
