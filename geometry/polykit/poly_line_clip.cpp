#include "geometry/polykit/poly_line_clip.h"

#include "geometry/polykit/poly_clip.h"

#include <cmath>

namespace {

// Distance of two points, as the utility module's vector helper gives it.
float Vec2Dist(const POINT2& a, const POINT2& b)
{
    const float dx = b.x - a.x, dy = b.y - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

// Half the band's length beyond each end of the segment.
constexpr float kReach = 2000.0f;

}  // namespace

bool CPolyLineClip::MakeParallelLine(const POINT2& p1, const POINT2& p2, float dist, POINT2* out1, POINT2* out2)
{
    const float len = Vec2Dist(p1, p2);
    if (!(len >= 1.0f) || !out1 || !out2) return false;
    const POINT2 n{(p2.y - p1.y) / len, -(p2.x - p1.x) / len};
    *out1 = POINT2{p1.x + dist * n.x, p1.y + dist * n.y};
    *out2 = POINT2{p2.x + dist * n.x, p2.y + dist * n.y};
    return true;
}

bool CPolyLineClip::MarginRect(const POINT2& p1, const POINT2& p2, float m1, float m2, POINT2* c)
{
    const float len = Vec2Dist(p1, p2);
    if (!(len >= 1.0f) || !c) return false;
    const POINT2 u{(p2.x - p1.x) / len, (p2.y - p1.y) / len};
    const POINT2 n{u.y, -u.x};
    c[0] = POINT2{p1.x + m1 * n.x - kReach * u.x, p1.y + m1 * n.y - kReach * u.y};
    c[1] = POINT2{p2.x + m1 * n.x + kReach * u.x, p2.y + m1 * n.y + kReach * u.y};
    c[2] = POINT2{c[1].x + m2 * n.x, c[1].y + m2 * n.y};
    c[3] = POINT2{c[0].x + m2 * n.x, c[0].y + m2 * n.y};
    return true;
}

gpc_polygon* CPolyLineClip::PolygonLineMargin(gpc_polygon* polygon, const POINT2& p1, const POINT2& p2, float m1,
                                              float m2)
{
    if (!polygon) return nullptr;
    POINT2 corners[4];
    if (!MarginRect(p1, p2, m1, m2, corners)) return nullptr;
    gpc_vertex_list contour{4, corners};
    gpc_polygon band{1, &contour};
    gpc_polygon* out = new gpc_polygon{0, nullptr};
    try {
        CPolyClip::gpc_polygon_clip(GPC_INT, polygon, &band, out);
    } catch (...) {
        delete out;
        throw;
    }
    if (out->count == 0) {
        CPolyClip::gpc_free_polygon(out);
        delete out;
        return nullptr;
    }
    return out;
}

gpc_polygon* CPolyLineClip::PolygonLineSplit(gpc_polygon* polygon, const POINT2& p1, const POINT2& p2, bool side,
                                             float m)
{
    return PolygonLineMargin(polygon, p1, p2, side ? m : -m, kReach);
}

gpc_polygon* CPolyLineClip::PolygonLineSplitPt(gpc_polygon* polygon, const POINT2& p1, const POINT2& p2,
                                               const POINT2* ref, bool /*unused*/, float m)
{
    const POINT2 r = ref ? *ref : POINT2{0.0f, 0.0f};
    const float cross = (p2.x - p1.x) * (r.y - p2.y) - (p2.y - p1.y) * (r.x - p2.x);
    return PolygonLineSplit(polygon, p1, p2, cross < 0.0f, m);
}
