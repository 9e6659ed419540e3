#include "geometry/polykit/poly_geom.h"

#include "geometry/polykit/poly_clip.h"

#include "core/logger.h"

#include <cfloat>
#include <climits>
#include <cmath>

float CPolyGeom::CalcArea(const POINT2* v, int n)
{
    if (!v || n <= 0) return 0.0f;
    float s = 0.0f;
    for (int i = 0; i < n; ++i) {
        const POINT2& a = v[i];
        const POINT2& b = v[(i + 1) % n];
        const float term = a.x * b.y - a.y * b.x;
        s += term;
    }
    return std::fabs(s / 2.0f);
}

int CPolyGeom::CalcBoundBox(const POINT2* v, int n, REGION2* box)
{
    if (!box) return 1;
    // The empty box keeps its historic values; a real box starts from the
    // first vertex, so coordinates beyond +-10000 (world maps of wide
    // panoramas) are measured too.
    box->top = box->left = 10000.0f;
    box->bottom = box->right = -10000.0f;
    if (v && n > 0) {
        box->left = box->right = v[0].x;
        box->top = box->bottom = v[0].y;
        for (int i = 1; i < n; ++i) {
            if (v[i].x < box->left) box->left = v[i].x;
            if (v[i].x > box->right) box->right = v[i].x;
            if (v[i].y < box->top) box->top = v[i].y;
            if (v[i].y > box->bottom) box->bottom = v[i].y;
        }
    }
    box->width = box->right - box->left;
    box->height = box->bottom - box->top;
    return 1;
}

namespace {

// Span of the polygon along the line u = c, where u is y (horizontal line)
// or x (vertical line) and w the other coordinate.
template <typename U, typename W>
bool RangeAlong(const POINT2* v, int n, float c, float* range, U u, W w)
{
    float lo = FLT_MAX, hi = -FLT_MAX;
    bool found = false;
    if (v) {
        for (int i = 0; i < n; ++i) {
            const POINT2& a = v[i];
            const POINT2& b = v[(i + 1) % n];
            const float ua = u(a), ub = u(b);
            if (!((ua <= c && c < ub) || (ub <= c && c < ua))) continue;
            const float du = ub - ua;
            const float at = std::fabs(du) >= 0.00001f ? w(a) + (w(b) - w(a)) * (c - ua) / du : (w(a) + w(b)) / 2.0f;
            if (at < lo) lo = at;
            if (at > hi) hi = at;
            found = true;
        }
    }
    if (range) {
        range[0] = lo;
        range[1] = hi;
    }
    return found;
}

}  // namespace

bool CPolyGeom::RangePolygonLineH(const POINT2* v, int n, float y, float* range)
{
    return RangeAlong(v, n, y, range, [](const POINT2& p) { return p.y; }, [](const POINT2& p) { return p.x; });
}

bool CPolyGeom::RangePolygonLineV(const POINT2* v, int n, float x, float* range)
{
    return RangeAlong(v, n, x, range, [](const POINT2& p) { return p.x; }, [](const POINT2& p) { return p.y; });
}

void CPolyGeom::ZoomXYPolygon(const POINT2* src, POINT2* dst, int n, float fx, float fy, const POINT2* centre)
{
    if (!src || !dst) return;
    for (int i = 0; i < n; ++i) {
        const POINT2 p = src[i];
        if (centre)
            dst[i] = POINT2{centre->x + fx * (p.x - centre->x), centre->y + fy * (p.y - centre->y)};
        else
            dst[i] = POINT2{fx * p.x, fy * p.y};
    }
}

void CPolyGeom::ShiftPolygon(const POINT2* src, POINT2* dst, int n, const POINT2* offset)
{
    if (!src || !dst || !offset) return;
    for (int i = 0; i < n; ++i) dst[i] = POINT2{src[i].x + offset->x, src[i].y + offset->y};
}

void CPolyGeom::ShiftZoomPolygon(const POINT2* src, POINT2* dst, int n, const POINT2* offset, float f)
{
    if (!src || !dst || !offset) return;
    for (int i = 0; i < n; ++i) dst[i] = POINT2{f * src[i].x + offset->x, f * src[i].y + offset->y};
}

gpc_polygon* CPolyGeom::CopyPolygon(const gpc_polygon* p)
{
    if (!p) {
        Logger::log("ERROR CPolyGeom::CopyPolygon null polygon", 1);
        return nullptr;
    }
    gpc_polygon* copy = new gpc_polygon{0, nullptr};
    try {
        for (int c = 0; p->contours && c < p->count; ++c)
            CPolyClip::gpc_add_contour(copy, &p->contours[c]);
    } catch (...) {
        CPolyClip::gpc_free_polygon(copy);
        delete copy;
        throw;
    }
    return copy;
}

gpc_polygon* CPolyGeom::IntPolygonBox(gpc_polygon* p, const REGION* box)
{
    if (!p || !box) {
        Logger::log("ERROR CPolyGeom::IntPolygonBox null polygon or box", 1);
        return nullptr;
    }
    POINT2 corners[4] = {
        {static_cast<float>(box->x0), static_cast<float>(box->y0)},
        {static_cast<float>(box->x1), static_cast<float>(box->y0)},
        {static_cast<float>(box->x1), static_cast<float>(box->y1)},
        {static_cast<float>(box->x0), static_cast<float>(box->y1)},
    };
    gpc_vertex_list contour{4, corners};
    gpc_polygon boxPolygon{1, &contour};
    gpc_polygon* result = new gpc_polygon{0, nullptr};
    try {
        CPolyClip::gpc_polygon_clip(GPC_INT, p, &boxPolygon, result);
    } catch (...) {
        delete result;
        throw;
    }
    return result;
}

namespace {

// Truncation towards zero, saturated to the int range.
int32_t Trunc(float v)
{
    if (!(v > static_cast<float>(INT_MIN))) return std::isnan(v) ? 0 : INT_MIN;
    if (v >= static_cast<float>(INT_MAX)) return INT_MAX;
    return static_cast<int32_t>(v);
}

}  // namespace

void CPolyGeom::Region2ToRegion(const REGION2* r2, REGION* r)
{
    if (!r2 || !r) return;
    r->x0 = Trunc(r2->left);
    r->x1 = Trunc(r2->right);
    r->y0 = Trunc(r2->top);
    r->y1 = Trunc(r2->bottom);
    r->width = static_cast<int32_t>(static_cast<int64_t>(r->x1) - r->x0 + 1);
    r->height = static_cast<int32_t>(static_cast<int64_t>(r->y1) - r->y0 + 1);
}
