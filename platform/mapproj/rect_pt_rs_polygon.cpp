// CRectPtRS: the outline of a placed image on the rectangular sphere map.
#include "platform/mapproj/rect_pt_rs.h"

#include "geometry/polykit/poly_clip.h"
#include "core/logger.h"

#include <algorithm>
#include <cmath>
#include <vector>

gpc_polygon* CRectPtRS::PolygonImgBoxInRWM(int width, int height, int a, int b, const TRANSFORM_RS* rs,
                                           const RECT* rect, int samples)
{
    if (!rs || !rect || width <= 0 || height <= 0 || samples < 4 || !(rs->rcpFocal > 0) ||
        !std::isfinite(rs->rcpFocal)) {
        Logger::log("ERROR CRectPtRS::PolygonImgBoxInRWM: invalid image %d*%d, placement or map of %d samples", 1,
                    width, height, samples);
        return nullptr;
    }
    a = std::clamp(a, 1, 1000);
    b = std::clamp(b, 1, 1000);
    // The image's pixel area, walked round: a steps along the top and the
    // bottom, b down the sides.
    std::vector<POINT2> pts;
    const float l = -0.5f, t = -0.5f, r = width - 0.5f, btm = height - 0.5f;
    for (int i = 0; i < a; ++i) pts.push_back({l + (r - l) * i / a, t});
    for (int i = 0; i < b; ++i) pts.push_back({r, t + (btm - t) * i / b});
    for (int i = 0; i < a; ++i) pts.push_back({r - (r - l) * i / a, btm});
    for (int i = 0; i < b; ++i) pts.push_back({l, btm - (btm - t) * i / b});
    const float fov = static_cast<float>(2 * std::atan(width * double(rs->rcpFocal) / 2));
    const int n = static_cast<int>(pts.size());
    if (PtsPlaneToRectMap(pts.data(), pts.data(), n, rect, samples, width, height, rs->pan, rs->tilt, rs->roll, fov) !=
        n) {
        Logger::log("ERROR CRectPtRS::PolygonImgBoxInRWM: the outline does not map", 1);
        return nullptr;
    }
    // One turn of the map: keep consecutive points on the same turn.
    for (int i = 1; i < n; ++i) {
        const float d = pts[i].x - pts[i - 1].x;
        if (d > samples / 2) pts[i].x -= samples;
        else if (d < -samples / 2) pts[i].x += samples;
    }
    auto* poly = new gpc_polygon{0, nullptr};
    gpc_vertex_list contour{n, pts.data()};
    CPolyClip::gpc_add_contour(poly, &contour);
    return poly;
}
