#include "platform/mapproj/make_vantor_rect.h"
#include "core/parallel_for.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/xformkit/camera_model.h"
#include "platform/xformkit/transform_rs.h"
#include "worldmap/rect_world_map.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

bool InsidePolygon(const gpc_polygon* poly, float x, float y)
{
    bool in = false;
    for (int k = 0; k < poly->count; ++k) {
        const gpc_vertex_list& c = poly->contours[k];
        for (int i = 0, j = c.count - 1; i < c.count; j = i++) {
            const POINT2& a = c.points[i];
            const POINT2& b = c.points[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
        }
    }
    return in;
}

// Outline points of the drawn area in the frame's centred frame, no further
// apart than 8 pixels: the polygon's contours, or the frame's pixel area.
std::vector<POINT2> OutlinePoints(const gpc_polygon* poly, int w, int h)
{
    std::vector<POINT2> pts;
    auto edge = [&](const POINT2& a, const POINT2& b) {
        const int n = std::max(1, static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y) / 8.0f)));
        for (int i = 0; i < n; ++i) {
            const float t = static_cast<float>(i) / static_cast<float>(n);
            pts.push_back(POINT2{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
        }
    };
    if (poly != nullptr) {
        for (int k = 0; k < poly->count; ++k) {
            const gpc_vertex_list& c = poly->contours[k];
            for (int i = 0; i < c.count; ++i) edge(c.points[i], c.points[(i + 1) % c.count]);
        }
    } else {
        const float l = -0.5f - static_cast<float>(w / 2), t = -0.5f - static_cast<float>(h / 2);
        const POINT2 r[4] = {{l, t}, {l + w, t}, {l + w, t + h}, {l, t + h}};
        for (int i = 0; i < 4; ++i) edge(r[i], r[(i + 1) % 4]);
    }
    return pts;
}

}  // namespace

bool CMakeVantorRect::MapImgRS(Image* img, TRANSFORM_RS* t, RectWorldMap* map)
{
    return Draw("MapImgRS", img, t, map, nullptr, nullptr);
}

bool CMakeVantorRect::MapOnePolygon(Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly)
{
    if (poly == nullptr) {
        Logger::log("ERROR CMakeVantorRect::MapOnePolygon no polygon", 1);
        return false;
    }
    return Draw("MapOnePolygon", img, t, map, poly, nullptr);
}

bool CMakeVantorRect::BlendOnePolygon(Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly,
                                      IBlendMap* blend)
{
    if (poly == nullptr || blend == nullptr) {
        Logger::log("ERROR CMakeVantorRect::BlendOnePolygon no polygon or blend map", 1);
        return false;
    }
    return Draw("BlendOnePolygon", img, t, map, poly, blend);
}

bool CMakeVantorRect::Draw(const char* caller, Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly,
                           IBlendMap* blend)
{
    Image* dst = map;
    if (img == nullptr || img->GetData() == nullptr || img->GetDataType() != IMG_UINT8 || !img->IsInterleaved() ||
        img->GetChannels() != 3 || img->GetWidth() < 2 || img->GetHeight() < 2 || t == nullptr || dst == nullptr ||
        dst->GetData() == nullptr || dst->GetChannels() != 3 || dst->GetWidth() < 4 ||
        !(t->rcpFocal > 0.0f) || !std::isfinite(t->rcpFocal)) {
        Logger::log("ERROR CMakeVantorRect::%s needs an 8-bit three-channel frame, its placement and a map", 1,
                    caller);
        return false;
    }
    const int W = img->GetWidth(), H = img->GetHeight();
    const int Wm = dst->GetWidth(), Hm = dst->GetHeight();
    int cx = 0, cy = 0;
    map->GetMapCenter(cx, cy);
    const double step = kTwoPi / Wm;
    const float rcp = t->rcpFocal, roll = t->roll;
    const POINT2 panTilt{t->pan, t->tilt};

    // The map box of the drawn area: its outline carried onto the sphere,
    // longitudes taken on the turn nearest the frame's pan.
    double lonMin = 1e30, lonMax = -1e30, latMin = 1e30, latMax = -1e30;
    for (const POINT2& p : OutlinePoints(poly, W, H)) {
        POINT2 s;
        if (!CTransformRS::TransformPtWA(1.0f, roll, rcp, &panTilt, &p, &s)) continue;
        const double lon = t->pan + std::remainder(double(s.x) - t->pan, kTwoPi);
        lonMin = std::min(lonMin, lon);
        lonMax = std::max(lonMax, lon);
        latMin = std::min(latMin, double(s.y));
        latMax = std::max(latMax, double(s.y));
    }
    if (lonMin > lonMax) return true;  // nothing in front of the frame
    int c0 = static_cast<int>(std::floor(lonMin / step)) + cx - 2;
    int c1 = static_cast<int>(std::ceil(lonMax / step)) + cx + 2;
    int r0 = std::max(0, static_cast<int>(std::floor(latMin / step)) + cy - 2);
    int r1 = std::min(Hm - 1, static_cast<int>(std::ceil(latMax / step)) + cy + 2);
    // A pole seen by the frame: every column down to (or up from) it.
    for (double lat : {-std::numbers::pi / 2, std::numbers::pi / 2}) {
        const POINT2 pole{t->pan, static_cast<float>(lat)};
        POINT2 p;
        if (!CTransformRS::TransformPtWA_inv(1.0f, roll, rcp, &panTilt, &pole, &p)) continue;
        if (std::fabs(p.x) > W || std::fabs(p.y) > H) continue;
        c0 = 0;
        c1 = Wm - 1;
        if (lat < 0) r0 = 0;
        else r1 = Hm - 1;
    }
    if (c1 - c0 >= Wm) {
        c0 = 0;
        c1 = Wm - 1;
    }

    // The map's rays turned into the frame's camera: the same arithmetic as
    // CTransformRS::TransformPtWA_inv, with the sines and cosines of each
    // column's longitude and each row's latitude taken once.
    const xformkit::Mat3 toCam = xformkit::Transpose(xformkit::PlacementMatrix(t->pan, t->tilt, t->roll));
    const double k = double(rcp);
    std::vector<double> sinLon(static_cast<size_t>(c1 - c0 + 1)), cosLon(sinLon.size());
    for (int c = c0; c <= c1; ++c) {
        const double lon = static_cast<float>((c - cx) * step);
        sinLon[c - c0] = std::sin(lon);
        cosLon[c - c0] = std::cos(lon);
    }

    const uint8_t* src = img->GetData();
    const size_t srcRow = img->GetRowByte();
    const float halfW = static_cast<float>(W / 2), halfH = static_cast<float>(H / 2);
    auto drawRows = [&](int ra, int rb) {
        for (int r = ra; r < rb; ++r) {
            uint8_t* drow = dst->GetData() + size_t(r) * dst->GetRowByte();
            const double lat = static_cast<float>((r - cy) * step);
            const double cosLat = std::cos(lat), sinLat = std::sin(lat);
            // The parts of the turned ray that do not change along the row.
            const double ry[3] = {toCam(0, 1) * sinLat, toCam(1, 1) * sinLat, toCam(2, 1) * sinLat};
            for (int c = c0; c <= c1; ++c) {
                const xformkit::Vec3 ray{cosLat * sinLon[c - c0], sinLat, cosLat * cosLon[c - c0]};
                const double camZ = toCam(2, 0) * ray.x + ry[2] + toCam(2, 2) * ray.z;
                if (!(camZ > 1e-12)) continue;
                const double camX = toCam(0, 0) * ray.x + ry[0] + toCam(0, 2) * ray.z;
                const double camY = toCam(1, 0) * ray.x + ry[1] + toCam(1, 2) * ray.z;
                const double px = camX / (camZ * k), py = camY / (camZ * k);
                if (!std::isfinite(px) || !std::isfinite(py)) continue;
                POINT2 p{static_cast<float>(px), static_cast<float>(py)};
                const float x = p.x + halfW, y = p.y + halfH;
                if (!(x >= -0.5f && x < W - 0.5f && y >= -0.5f && y < H - 0.5f)) continue;
                if (poly != nullptr && !InsidePolygon(poly, p.x, p.y)) continue;
                // Bilinear inside the outer pixel centres, the edge pixel beyond.
                const float xs = std::clamp(x, 0.0f, static_cast<float>(W - 1));
                const float ys = std::clamp(y, 0.0f, static_cast<float>(H - 1));
                const int ix = std::min(static_cast<int>(xs), W - 2), iy = std::min(static_cast<int>(ys), H - 2);
                const float fx = xs - ix, fy = ys - iy;
                const uint8_t* p00 = src + size_t(iy) * srcRow + size_t(ix) * 3;
                const uint8_t* p10 = p00 + srcRow;
                float v[3];
                for (int k = 0; k < 3; ++k) {
                    const float top = p00[k] + fx * (p00[3 + k] - p00[k]);
                    const float bot = p10[k] + fx * (p10[3 + k] - p10[k]);
                    v[k] = top + fy * (bot - top);
                }
                const int col = ((c % Wm) + Wm) % Wm;
                uint8_t* d = drow + size_t(col) * 3;
                if (blend == nullptr) {
                    for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>(v[k] + 0.5f);
                } else {
                    POINT2 shift{};
                    int out[3] = {0, 0, 0};
                    float weight = 1.0f;
                    blend->GetPtV_MarginRegion(p, &shift, out, &weight);
                    const bool held = d[0] != 0;
                    weight = std::clamp(weight, 0.0f, 1.0f);
                    for (int k = 0; k < 3; ++k) {
                        const float corrected =
                            std::clamp(static_cast<float>(static_cast<int>(v[k] + 0.5f) + out[k]), 1.0f, 255.0f);
                        const float mixed = held ? d[k] * (1.0f - weight) + corrected * weight : corrected;
                        d[k] = static_cast<uint8_t>(std::clamp(mixed + 0.5f, 0.0f, 255.0f));
                    }
                }
                if (d[0] == 0) d[0] = 1;
            }
        }
    };
    const int rows = r1 - r0 + 1;
    if (rows <= 0) return true;
    const int threads = std::max(1, std::min(m_threads, rows / 16));
    parallel::ForEach(threads, threads,
                      [&](int i) { drawRows(r0 + rows * i / threads, r0 + rows * (i + 1) / threads); });
    return true;
}
