#include "geometry/polykit/poly_rect_clip.h"

#include "geometry/polykit/poly_alloc.h"
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_rect_int.h"
#include "geometry/polykit/polygon.h"

#include "core/logger.h"

#include <cmath>
#include <memory>
#include <vector>

gpc_polygon* CPolyRectClip::gpc_polygon_INT(gpc_polygon* polygon, REGION2* rect)
{
    if (!polygon || !rect || polygon->count <= 0 || !polygon->contours) return nullptr;
    CPolygon first(polygon->contours[0].points, polygon->contours[0].count);
    std::unique_ptr<CPolygon> cut(CPolyRectInt::MainPolyRectInt(first, rect));
    if (!cut) return nullptr;
    gpc_polygon* out = new gpc_polygon{0, nullptr};
    try {
        out->contours = polykit::AllocArray<gpc_vertex_list>(1);
    } catch (...) {
        delete out;
        throw;
    }
    out->count = 1;
    out->contours[0].count = cut->m_nCount;
    out->contours[0].points = cut->Release();
    return out;
}

void CPolyRectClip::gpc_polygon_to_tristrip(gpc_polygon* polygon, gpc_tristrip* tristrip)
{
    if (!tristrip) return;
    tristrip->count = 0;
    tristrip->strips = nullptr;
    if (!polygon || polygon->count <= 0 || !polygon->contours) return;
    const gpc_vertex_list& contour = polygon->contours[0];
    const int n = contour.count;
    if (n < 3 || !contour.points) return;

    // The pair order below (the vertex first on a rising opposite edge)
    // gives left-then-right pairs for a contour of positive shoelace area;
    // a contour of the other orientation is read in reverse.
    std::vector<POINT2> v(contour.points, contour.points + n);
    double area = 0;
    for (int i = 0; i < n; ++i)
        area += static_cast<double>(v[i].x) * v[(i + 1) % n].y - static_cast<double>(v[(i + 1) % n].x) * v[i].y;
    if (area < 0) {
        for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = contour.points[n - 1 - i];
    }

    // Vertex indices by ascending height (exchange sort).
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (v[order[j]].y < v[order[i]].y) std::swap(order[i], order[j]);

    POINT2* out = polykit::AllocArray<POINT2>(2 * static_cast<size_t>(n));
    int count = 0;
    auto put = [&](const POINT2& p) { out[count++] = p; };
    auto lowerX = [](const POINT2& a, const POINT2& b, bool first) { return (a.x <= b.x) == first ? a : b; };

    const POINT2& lo0 = v[order[0]];
    const POINT2& lo1 = v[order[1]];
    const bool flatBottom = std::fabs(lo0.y - lo1.y) < 1e-7f;
    const POINT2& hi0 = v[order[n - 1]];
    const POINT2& hi1 = v[order[n - 2]];
    const bool flatTop = std::fabs(hi0.y - hi1.y) < 1e-7f;

    int from = 1;
    if (flatBottom) {
        put(lowerX(lo0, lo1, true));
        put(lowerX(lo0, lo1, false));
        from = 2;
    } else {
        put(lo0);
    }
    const int to = flatTop ? n - 2 : n - 1;
    for (int k = from; k < to; ++k) {
        const int vi = order[k];
        const POINT2& p = v[vi];
        // The first edge not touching the vertex whose end heights enclose
        // its height, start included and end excluded.
        bool found = false;
        for (int e = 0; e < n && !found; ++e) {
            const int f = (e + 1) % n;
            if (e == vi || f == vi) continue;
            const POINT2& a = v[e];
            const POINT2& b = v[f];
            const bool rises = a.y <= p.y && p.y < b.y;
            const bool falls = a.y >= p.y && p.y > b.y;
            if (!rises && !falls) continue;
            const POINT2 q{a.x + (b.x - a.x) * (p.y - a.y) / (b.y - a.y), p.y};
            if (rises) {
                put(p);
                put(q);
            } else {
                put(q);
                put(p);
            }
            found = true;
        }
        if (!found) {
            put(p);
            put(p);
        }
    }
    if (flatTop) {
        put(lowerX(hi0, hi1, true));
        put(lowerX(hi0, hi1, false));
    } else {
        put(hi0);
    }

    try {
        tristrip->strips = polykit::AllocArray<gpc_vertex_list>(1);
    } catch (...) {
        polykit::FreeArray(out);
        throw;
    }
    tristrip->count = 1;
    tristrip->strips[0].count = count;
    tristrip->strips[0].points = out;
}

void CPolyRectClip::gpc_free_polygon(gpc_polygon* polygon) { CPolyClip::gpc_free_polygon(polygon); }
void CPolyRectClip::gpc_free_tristrip(gpc_tristrip* tristrip) { CPolyClip::gpc_free_tristrip(tristrip); }
void CPolyRectClip::gpc_tristrip_to_ladders(gpc_vertex_list* strip, gpc_ladder* ladder)
{
    CPolyClip::gpc_tristrip_to_ladders(strip, ladder);
}
void CPolyRectClip::gpc_free_ladder(gpc_ladder* ladder) { CPolyClip::gpc_free_ladder(ladder); }
