#include "geometry/polykit/poly_rect_int.h"

#include "core/logger.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Strictly convex or degenerate-convex: every turn has one sign and the
// boundary winds once (a pentagram turns one way but winds twice).
bool IsConvex(const POINT2* v, int n)
{
    if (n < 3) return false;
    int sign = 0;
    double turning = 0;
    for (int i = 0; i < n; ++i) {
        const POINT2& a = v[i];
        const POINT2& b = v[(i + 1) % n];
        const POINT2& c = v[(i + 2) % n];
        const double ux = b.x - a.x, uy = b.y - a.y, wx = c.x - b.x, wy = c.y - b.y;
        const double cross = ux * wy - uy * wx;
        if (cross != 0) {
            const int s = cross > 0 ? 1 : -1;
            if (sign && s != sign) return false;
            sign = s;
        }
        if ((ux != 0 || uy != 0) && (wx != 0 || wy != 0)) turning += std::atan2(cross, ux * wx + uy * wy);
    }
    return std::fabs(std::fabs(turning) - 2 * M_PI) < 0.1;
}

double SignedArea(const POINT2* v, int n)
{
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += static_cast<double>(v[i].x) * v[(i + 1) % n].y - static_cast<double>(v[(i + 1) % n].x) * v[i].y;
    return s / 2;
}

float Dist(const POINT2& a, const POINT2& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

// The polygon's vertices in the turning sense of the rectangle's corners as
// listed (positive shoelace area); a polygon of the other orientation is
// reversed.
std::vector<POINT2> PositiveRing(const CPolygon& polygon)
{
    const int n = polygon.m_nCount;
    std::vector<POINT2> ring(polygon.m_pPoints, polygon.m_pPoints + n);
    if (SignedArea(ring.data(), n) < 0) {
        for (int i = 0; i < n; ++i) ring[static_cast<size_t>(i)] = polygon.m_pPoints[n - 1 - i];
    }
    return ring;
}

// Which vertices lie strictly inside the rectangle.
std::vector<bool> InsideFlags(const std::vector<POINT2>& v, const REGION2& r)
{
    std::vector<bool> inside(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        inside[i] = r.left < v[i].x && v[i].x < r.right && r.top < v[i].y && v[i].y < r.bottom;
    return inside;
}

// Where the segment from an inside point p to an outside point q leaves
// the rectangle, and through which side (0 top, 1 right, 2 bottom, 3 left).
// A q lying on the border counts as outside, and is met on the side it lies
// on.
POINT2 ExitPoint(const POINT2& p, const POINT2& q, const REGION2& r, int* side)
{
    const float left = r.left, right = r.right, top = r.top, bottom = r.bottom;
    auto xAtY = [&](float y) { return p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y); };
    auto yAtX = [&](float x) { return p.y + (q.y - p.y) * (x - p.x) / (q.x - p.x); };
    if (q.x >= right || q.x <= left) {
        const bool toRight = q.x >= right;
        const float edgeX = toRight ? right : left;
        auto within = [&](float x) { return toRight ? x < right : x > left; };
        if (q.y > bottom && within(xAtY(bottom))) {
            *side = 2;
            return POINT2{xAtY(bottom), bottom};
        }
        if (q.y < top && within(xAtY(top))) {
            *side = 0;
            return POINT2{xAtY(top), top};
        }
        *side = toRight ? 1 : 3;
        return POINT2{edgeX, yAtX(edgeX)};
    }
    if (q.y >= bottom) {
        *side = 2;
        return POINT2{xAtY(bottom), bottom};
    }
    *side = 0;
    return POINT2{xAtY(top), top};
}

// The rectangle's corners in walking order: side k runs from corner k to
// corner k + 1.
std::array<POINT2, 4> Corners(const REGION2& r)
{
    return {POINT2{r.left, r.top}, POINT2{r.right, r.top}, POINT2{r.right, r.bottom}, POINT2{r.left, r.bottom}};
}

}  // namespace

CPolygon* CPolyRectInt::MainPolyRectInt(const CPolygon& polygon, const REGION2* rect)
{
    const int n = polygon.m_nCount;
    if (!rect || !polygon.m_pPoints || n <= 0) return nullptr;
    if (!IsConvex(polygon.m_pPoints, n)) {
        Logger::log("ERROR CPolyRectInt::MainPolyRectInt polygon of %d vertices is not convex", 1, n);
        return nullptr;
    }
    const std::vector<POINT2> ring = PositiveRing(polygon);
    const std::vector<bool> inside = InsideFlags(ring, *rect);
    if (std::find(inside.begin(), inside.end(), false) == inside.end()) return polygon.Copy();

    const std::vector<INT_NODE> nodes = Crossings(ring, inside, *rect);
    if (nodes.empty()) {
        // No crossing: the rectangle lies inside the polygon or apart from it.
        const POINT2 centre{(rect->left + rect->right) / 2, (rect->top + rect->bottom) / 2};
        return CPolygon::IsPtInPolygon(centre, ring.data(), n) ? CPolygon::RectToPolygonO(rect) : nullptr;
    }
    return Walk(nodes, ring, *rect);
}

// The points where the boundary crosses the rectangle, in the boundary's
// order: one per edge with one end inside, two (entering, then leaving)
// per edge that passes through with both ends outside.
std::vector<CPolyRectInt::INT_NODE> CPolyRectInt::Crossings(const std::vector<POINT2>& v,
                                                            const std::vector<bool>& inside, const REGION2& r)
{
    const int n = static_cast<int>(v.size());
    std::vector<INT_NODE> nodes;
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        const POINT2& a = v[static_cast<size_t>(i)];
        const POINT2& b = v[static_cast<size_t>(j)];
        const bool ia = inside[static_cast<size_t>(i)], ib = inside[static_cast<size_t>(j)];
        if (ia && ib) continue;
        if (ia || ib) {
            INT_NODE node{};
            node.edge = i;
            node.kind = ia ? 1 : 0;
            node.pt = ia ? ExitPoint(a, b, r, &node.side) : ExitPoint(b, a, r, &node.side);
            nodes.push_back(node);
            continue;
        }
        if ((a.x > r.right && b.x > r.right) || (a.x < r.left && b.x < r.left) || (a.y > r.bottom && b.y > r.bottom) ||
            (a.y < r.top && b.y < r.top))
            continue;
        PassThrough(a, b, i, r, nodes);
    }
    return nodes;
}

// An edge (a, b) from vertex i with both ends outside may still pass through
// the rectangle, entering through one side and leaving through another.
void CPolyRectInt::PassThrough(const POINT2& a, const POINT2& b, int i, const REGION2& r, std::vector<INT_NODE>& nodes)
{
    const std::array<POINT2, 4> corner = Corners(r);
    INT_NODE hits[2];
    int found = 0;
    for (int k = 0; k < 4 && found < 2; ++k) {
        const POINT2& c = corner[static_cast<size_t>(k)];
        const POINT2& e = corner[static_cast<size_t>((k + 1) % 4)];
        const float A1 = a.y - b.y, B1 = b.x - a.x, C1 = a.y * B1 + A1 * a.x;
        const float A2 = c.y - e.y, B2 = e.x - c.x, C2 = B2 * c.y + c.x * A2;
        float den = A1 * B2 - B1 * A2;
        if (std::fabs(den) < 0.00001f) den = 0.00001f;
        const POINT2 x{(B2 * C1 - B1 * C2) / den, (A1 * C2 - A2 * C1) / den};
        const float len = Dist(c, e);
        if (Dist(x, c) < len && Dist(x, e) < len) {
            hits[found] = INT_NODE{x, i, k, 0};
            ++found;
        }
    }
    if (found == 2) {
        if (Dist(hits[1].pt, a) < Dist(hits[0].pt, a)) std::swap(hits[0], hits[1]);
        hits[0].kind = 0;
        hits[1].kind = 1;
        nodes.push_back(hits[0]);
        nodes.push_back(hits[1]);
    }
}

// The intersection's boundary: from each crossing to the next, along the
// rectangle's corners after a leaving crossing and along the polygon's
// vertices after an entering one.
CPolygon* CPolyRectInt::Walk(const std::vector<INT_NODE>& nodes, const std::vector<POINT2>& v, const REGION2& r)
{
    const int n = static_cast<int>(v.size());
    const std::array<POINT2, 4> corner = Corners(r);
    // A convex n-gon and a rectangle meet in at most n + 4 vertices; the
    // room is checked on every write all the same.
    const int room = n + 8;
    CPolygon* out = new CPolygon(room);
    int count = 0;
    bool overflow = false;
    auto put = [&](const POINT2& p) {
        if (count < room) out->m_pPoints[count++] = p;
        else overflow = true;
    };
    const int m = static_cast<int>(nodes.size());
    for (int k = 0; k < m; ++k) {
        const INT_NODE& node = nodes[static_cast<size_t>(k)];
        const INT_NODE& next = nodes[static_cast<size_t>((k + 1) % m)];
        put(node.pt);
        if (node.kind == 1) {
            for (int s = node.side; s != next.side;) {
                s = (s + 1) % 4;
                put(corner[static_cast<size_t>(s)]);
            }
        } else {
            for (int e = node.edge; e != next.edge;) {
                e = (e + 1) % n;
                put(v[static_cast<size_t>(e)]);
            }
        }
    }
    if (overflow) {
        Logger::log("ERROR CPolyRectInt::MainPolyRectInt intersection exceeds %d vertices", 1, room);
        delete out;
        return nullptr;
    }
    out->m_nCount = count;
    return out;
}
