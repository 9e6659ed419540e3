#include "platform/cubekit/map_blend.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/xformkit/camera_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace xformkit;

namespace {

bool UsableImage(const Image* img)
{
    return img && img->GetData() && img->GetDataType() == IMG_UINT8 && img->IsInterleaved() &&
           (img->GetChannels() == 1 || img->GetChannels() == 3) && img->GetWidth() > 1 && img->GetHeight() > 1;
}

// Two-pass chamfer distance (steps 1 and sqrt 2), in pixels, from every
// covered pixel to the nearest uncovered one; uncovered pixels get 0. Good to
// a few percent, which is all a feather needs.
std::vector<float> DistanceInside(const std::vector<uint8_t>& covered, int w, int h)
{
    constexpr float kDiag = 1.41421356f;
    const float far = static_cast<float>(w + h);
    std::vector<float> d(covered.size());
    for (size_t k = 0; k < covered.size(); ++k) d[k] = covered[k] ? far : 0.0f;
    auto at = [&](int x, int y) -> float {
        // Outside the picture counts as covered: the picture's border is no
        // edge of the data, whose frames go on beyond it.
        if (x < 0 || y < 0 || x >= w || y >= h) return far;
        return d[static_cast<size_t>(y) * w + x];
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float& v = d[static_cast<size_t>(y) * w + x];
            if (v == 0.0f) continue;
            v = std::min({v, at(x - 1, y) + 1, at(x, y - 1) + 1, at(x - 1, y - 1) + kDiag, at(x + 1, y - 1) + kDiag});
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        for (int x = w - 1; x >= 0; --x) {
            float& v = d[static_cast<size_t>(y) * w + x];
            if (v == 0.0f) continue;
            v = std::min({v, at(x + 1, y) + 1, at(x, y + 1) + 1, at(x + 1, y + 1) + kDiag, at(x - 1, y + 1) + kDiag});
        }
    }
    return d;
}

// Weight of the new frame at a pixel both cover, from the distances (target
// pixels) to the edge of the new frame and of the data already there.
float NewWeight(int kind, float dNew, float dOld, float bw)
{
    float w;
    if (kind == 1) {
        w = dNew / bw;  // the new frame covers the overlap, feathered at its own edge
    } else if (kind == 2) {
        w = 1.0f - dOld / bw;  // the old data stays, the new frame only near the old edge
    } else {
        // The middle line, where both edges are equally far; the difference
        // of the distances grows by two per pixel across it.
        w = 0.5f + (dNew - dOld) / (2.0f * bw);
    }
    return std::clamp(w, 0.0f, 1.0f);
}

}  // namespace

void PlacementCentre(const TRANSFORM_RS* t, int w, int h, double& cx, double& cy)
{
    cx = w / 2;
    cy = h / 2;
    if (t && std::isfinite(t->centreX) && std::isfinite(t->centreY) && t->centreX > 0 && t->centreY > 0 &&
        t->centreX < w && t->centreY < h) {
        cx = t->centreX;
        cy = t->centreY;
    }
}

CMapBlend::CMapBlend() = default;

CMapBlend::~CMapBlend()
{
    ReleaseImage(m_target);
}

void CMapBlend::SetImgO(Image* target)
{
    RefAdd(target);
    ReleaseImage(m_target);
    m_target = nullptr;
    m_covered.clear();
    if (!UsableImage(target)) {
        ReleaseImage(target);
        Logger::log("ERROR CMapBlend::SetImgO: the target is not an 8-bit picture of 1 or 3 channels", 1);
        return;
    }
    m_target = target;
    for (int y = 0; y < target->GetHeight(); ++y)
        std::fill_n(target->GetData() + static_cast<size_t>(y) * target->GetRowByte(),
                    static_cast<size_t>(target->GetWidth()) * target->GetChannels(), uint8_t{0});
    m_covered.assign(static_cast<size_t>(target->GetWidth()) * target->GetHeight(), 0);
}

void CMapBlend::SetViewPort(const POINT2* viewDirection, float viewAngle, float fieldOfView)
{
    m_viewSet = false;
    if (!viewDirection || !std::isfinite(viewDirection->x) || !std::isfinite(viewDirection->y) ||
        !std::isfinite(viewAngle) || !(fieldOfView > 0.0f) || !(fieldOfView < 3.1f)) {
        Logger::log("ERROR CMapBlend::SetViewPort: unusable view direction or field of view", 1);
        return;
    }
    const Mat3 view = PlacementMatrix(viewDirection->x, viewDirection->y, viewAngle);
    std::copy(view.m, view.m + 9, m_view);
    m_pixelAngle = std::tan(fieldOfView / 2.0);  // per half width, scaled once the target is known
    m_viewSet = true;
}

int64_t CMapBlend::CoveredSamples() const
{
    return std::count(m_covered.begin(), m_covered.end(), uint8_t{1});
}

bool CMapBlend::MapBlendOneImage(Image* img, const TRANSFORM_RS* t, int bw, int kind)
{
    if (!m_target || !m_viewSet) {
        Logger::log("ERROR CMapBlend::MapBlendOneImage: no target or no viewport", 1);
        return false;
    }
    if (!UsableImage(img) || !t || !(t->rcpFocal > 0) || !std::isfinite(t->rcpFocal) || !std::isfinite(t->pan) ||
        !std::isfinite(t->tilt) || !std::isfinite(t->roll)) {
        Logger::log("ERROR CMapBlend::MapBlendOneImage: unusable image or placement", 1);
        return false;
    }
    const int W = m_target->GetWidth(), H = m_target->GetHeight(), C = m_target->GetChannels();
    const int w = img->GetWidth(), h = img->GetHeight(), c = img->GetChannels();
    const double pixelAngle = m_pixelAngle / (W / 2);
    const double rcp = t->rcpFocal;
    double cx, cy;
    PlacementCentre(t, w, h, cx, cy);

    // World -> frame camera, composed with the view: one matrix from a view
    // ray to the frame's camera ray.
    Mat3 view;
    std::copy(m_view, m_view + 9, view.m);
    const Mat3 toFrame = Multiply(Transpose(PlacementMatrix(t->pan, t->tilt, t->roll)), view);
    // Target pixels per frame pixel near the frame's centre: converts the
    // distance to the frame's edge into target pixels.
    const double frameToTarget = rcp / pixelAngle;

    const size_t count = static_cast<size_t>(W) * H;
    std::vector<uint8_t> fresh(count * C);
    std::vector<uint8_t> inside(count, 0);
    std::vector<float> dNew(count, 0.0f);
    bool any = false, overlap = false;
    for (int y = 0; y < H; ++y) {
        const double vy = (y - H / 2) * pixelAngle;
        for (int x = 0; x < W; ++x) {
            const Vec3 cam = Apply(toFrame, Vec3{(x - W / 2) * pixelAngle, vy, 1.0});
            if (!(cam.z > 1e-9)) continue;
            const double px = cam.x / (cam.z * rcp) + cx, py = cam.y / (cam.z * rcp) + cy;
            if (!(px >= 0 && py >= 0 && px <= w - 1 && py <= h - 1)) continue;
            const size_t k = static_cast<size_t>(y) * W + x;
            const int ix = std::min(static_cast<int>(px), w - 2), iy = std::min(static_cast<int>(py), h - 2);
            const double fx = px - ix, fy = py - iy;
            const uint8_t* p00 = img->GetData() + static_cast<size_t>(iy) * img->GetRowByte() + static_cast<size_t>(ix) * c;
            const uint8_t* p01 = p00 + img->GetRowByte();
            for (int ch = 0; ch < C; ++ch) {
                const int s = std::min(ch, c - 1);
                const double v = (1 - fx) * (1 - fy) * p00[s] + fx * (1 - fy) * p00[c + s] + (1 - fx) * fy * p01[s] +
                                 fx * fy * p01[c + s];
                fresh[k * C + ch] = static_cast<uint8_t>(std::min(255.0, v + 0.5));
            }
            inside[k] = 1;
            dNew[k] = static_cast<float>(std::min({px, w - 1 - px, py, h - 1 - py}) * frameToTarget);
            any = true;
            overlap = overlap || m_covered[k];
        }
    }
    if (!any) return true;

    std::vector<float> dOld;
    if (overlap) dOld = DistanceInside(m_covered, W, H);
    const float band = static_cast<float>(std::max(1.0, bw * frameToTarget));
    for (int y = 0; y < H; ++y) {
        uint8_t* row = m_target->GetData() + static_cast<size_t>(y) * m_target->GetRowByte();
        for (int x = 0; x < W; ++x) {
            const size_t k = static_cast<size_t>(y) * W + x;
            if (!inside[k]) continue;
            uint8_t* out = row + static_cast<size_t>(x) * C;
            const float wNew = m_covered[k] ? NewWeight(kind, dNew[k], dOld[k], band) : 1.0f;
            for (int ch = 0; ch < C; ++ch)
                out[ch] = static_cast<uint8_t>(std::lround(wNew * fresh[k * C + ch] + (1.0f - wNew) * out[ch]));
            if (out[0] == 0) out[0] = 1;  // 0 marks "no data"
            m_covered[k] = 1;
        }
    }
    return true;
}
