#include "platform/cubekit/cube_fg_bg.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/xformkit/camera_model.h"

#include <algorithm>
#include <cmath>

namespace {

void Apply(const double m[9], const double v[3], double out[3])
{
    for (int r = 0; r < 3; ++r) out[r] = m[3 * r] * v[0] + m[3 * r + 1] * v[1] + m[3 * r + 2] * v[2];
}

void ApplyT(const double m[9], const double v[3], double out[3])
{
    for (int r = 0; r < 3; ++r) out[r] = m[r] * v[0] + m[3 + r] * v[1] + m[6 + r] * v[2];
}

void Multiply(const double a[9], const double b[9], double out[9])
{
    double t[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) t[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
    std::copy(t, t + 9, out);
}

// Right-handed turn by t about a unit axis (Rodrigues).
void AxisRotation(const double axis[3], double t, double out[9])
{
    const double x = axis[0], y = axis[1], z = axis[2];
    const double c = std::cos(t), s = std::sin(t), k = 1 - c;
    const double m[9] = {c + k * x * x,     k * x * y - s * z, k * x * z + s * y, k * x * y + s * z, c + k * y * y,
                         k * y * z - s * x, k * x * z - s * y, k * y * z + s * x, c + k * z * z};
    std::copy(m, m + 9, out);
}

void Normalize(double v[3])
{
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (n > 0) v[0] /= n, v[1] /= n, v[2] /= n;
}

// Bilinear sample of an 8-bit interleaved image at (x, y), 0 <= x <= w-1.
void Sample(const Image& image, double x, double y, unsigned char* out, int channels)
{
    const int w = image.GetWidth(), h = image.GetHeight(), n = image.GetChannels();
    const int x0 = std::min(static_cast<int>(x), w - 1), y0 = std::min(static_cast<int>(y), h - 1);
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const double fx = x - x0, fy = y - y0;
    const unsigned char* row0 = image.GetData() + static_cast<size_t>(y0) * image.GetRowByte();
    const unsigned char* row1 = image.GetData() + static_cast<size_t>(y1) * image.GetRowByte();
    for (int c = 0; c < channels; ++c) {
        const int sc = std::min(c, n - 1);
        const double top = row0[x0 * n + sc] * (1 - fx) + row0[x1 * n + sc] * fx;
        const double bottom = row1[x0 * n + sc] * (1 - fx) + row1[x1 * n + sc] * fx;
        out[c] = static_cast<unsigned char>(std::lround(top * (1 - fy) + bottom * fy));
    }
}

bool Drawable(const Image* image)
{
    return image && image->GetData() && image->GetWidth() > 0 && image->GetHeight() > 0 && image->IsInterleaved() &&
           image->GetDataBits() == 8 && (image->GetChannels() == 1 || image->GetChannels() == 3);
}

void Hold(Image*& slot, Image* image)
{
    if (image) RefAdd(image);
    RefRelease(slot);
    slot = image;
}

}  // namespace

CCubeFgBg::CCubeFgBg() = default;

CCubeFgBg::~CCubeFgBg()
{
    Hold(m_target, nullptr);
    Hold(m_fg, nullptr);
    Hold(m_bg, nullptr);
}

void CCubeFgBg::ChangeImgO(Image* target)
{
    Hold(m_target, target);
}

bool CCubeFgBg::Pair_AddFgBg(Image* fg, Image* bg, const PAIR_WALIGN_RR_PRMS2* record)
{
    if (!Drawable(fg) || !Drawable(bg) || !record || !(record->rcpF1 > 0.0f) || !(record->rcpF2 > 0.0f) ||
        !std::isfinite(record->angA) || !std::isfinite(record->angB) || !std::isfinite(record->angC)) {
        Logger::log("ERROR CCubeFgBg::Pair_AddFgBg: missing image or a record without focal lengths", 1);
        return false;
    }
    Hold(m_fg, fg);
    Hold(m_bg, bg);
    m_rcpFg = record->rcpF1;
    m_rcpBg = record->rcpF2;
    const xformkit::Mat3 r = xformkit::PairRotation(record->angA, record->angB, record->angC);
    std::copy(r.m, r.m + 9, m_fgToWorld.m);
    // The view port looks halfway between the two viewing axes.
    double mid[3] = {m_fgToWorld.m[2], m_fgToWorld.m[5], m_fgToWorld.m[8] + 1.0};
    Normalize(mid);
    const xformkit::Mat3 view = xformkit::Multiply(xformkit::RotY(std::atan2(mid[0], mid[2])),
                                                   xformkit::RotX(-std::asin(std::clamp(mid[1], -1.0, 1.0))));
    std::copy(view.m, view.m + 9, m_view.m);
    m_anchor[0] = fg->GetWidth() / 2.0;
    m_anchor[1] = fg->GetHeight() / 2.0;
    return true;
}

void CCubeFgBg::Pair_GetAlignPrms2(PAIR_WALIGN_RR_PRMS2* record) const
{
    if (!record) return;
    *record = PAIR_WALIGN_RR_PRMS2{};
    record->rcpF1 = static_cast<float>(m_rcpFg);
    record->rcpF2 = static_cast<float>(m_rcpBg);
    xformkit::Mat3 r;
    std::copy(m_fgToWorld.m, m_fgToWorld.m + 9, r.m);
    double a, b, c;
    xformkit::PairAngles(r, a, b, c);
    record->angA = static_cast<float>(a);
    record->angB = static_cast<float>(b);
    record->angC = static_cast<float>(c);
}

double CCubeFgBg::ViewFocal() const
{
    const int w = m_target ? m_target->GetWidth() : 0;
    return (w / 2.0) / std::tan(m_u / 2.0);
}

void CCubeFgBg::ClientRay(double x, double y, double ray[3]) const
{
    const double f = ViewFocal();
    const int w = m_target ? m_target->GetWidth() : 0, h = m_target ? m_target->GetHeight() : 0;
    const double v[3] = {(x - w / 2.0) / f, (y - h / 2.0) / f, 1.0};
    Apply(m_view.m, v, ray);
}

bool CCubeFgBg::RayToClient(const double ray[3], double& x, double& y) const
{
    double v[3];
    ApplyT(m_view.m, ray, v);
    if (!(v[2] > 1e-9) || !m_target) return false;
    const double f = ViewFocal();
    x = f * v[0] / v[2] + m_target->GetWidth() / 2.0;
    y = f * v[1] / v[2] + m_target->GetHeight() / 2.0;
    return true;
}

bool CCubeFgBg::RayToImage(const double ray[3], bool fg, double& x, double& y) const
{
    const Image* image = fg ? m_fg : m_bg;
    if (!image) return false;
    double v[3] = {ray[0], ray[1], ray[2]};
    if (fg) ApplyT(m_fgToWorld.m, ray, v);
    if (!(v[2] > 1e-9)) return false;
    const double rcp = fg ? m_rcpFg : m_rcpBg;
    x = v[0] / (v[2] * rcp) + image->GetWidth() / 2.0;
    y = v[1] / (v[2] * rcp) + image->GetHeight() / 2.0;
    return x >= 0 && y >= 0 && x <= image->GetWidth() - 1 && y <= image->GetHeight() - 1;
}

void CCubeFgBg::ImageRay(double x, double y, bool fg, double ray[3]) const
{
    const Image* image = fg ? m_fg : m_bg;
    const double rcp = fg ? m_rcpFg : m_rcpBg;
    const double v[3] = {(x - image->GetWidth() / 2.0) * rcp, (y - image->GetHeight() / 2.0) * rcp, 1.0};
    if (fg)
        Apply(m_fgToWorld.m, v, ray);
    else
        std::copy(v, v + 3, ray);
}

bool CCubeFgBg::RenderViewPort(int, bool, bool, bool, bool)
{
    if (!Drawable(m_target) || !m_fg || !m_bg) {
        Logger::log("ERROR CCubeFgBg::RenderViewPort: no target or no pair", 1);
        return false;
    }
    const int w = m_target->GetWidth(), h = m_target->GetHeight(), n = m_target->GetChannels();
    for (int y = 0; y < h; ++y) {
        unsigned char* row = m_target->GetData() + static_cast<size_t>(y) * m_target->GetRowByte();
        for (int x = 0; x < w; ++x) {
            double ray[3], ix, iy;
            ClientRay(x, y, ray);
            unsigned char* out = row + static_cast<size_t>(x) * n;
            if (RayToImage(ray, true, ix, iy))
                Sample(*m_fg, ix, iy, out, n);
            else if (RayToImage(ray, false, ix, iy))
                Sample(*m_bg, ix, iy, out, n);
            else
                std::fill(out, out + n, 0);
        }
    }
    return true;
}

void CCubeFgBg::Rotate(Mat& target, const double axis[3], double angle, bool before)
{
    double r[9];
    AxisRotation(axis, angle, r);
    if (before)
        Multiply(r, target.m, target.m);
    else
        Multiply(target.m, r, target.m);
}

void CCubeFgBg::ChangeFacet0Fg_shift(int dx, int dy, bool render)
{
    if (!m_target || !m_fg || (dx == 0 && dy == 0)) return;
    // The turn that carries the anchor's ray to the ray dx, dy client pixels
    // off it: the foreground at the anchor follows the pointer exactly.
    double anchor[3], x = 0, y = 0;
    ImageRay(m_anchor[0], m_anchor[1], true, anchor);
    if (!RayToClient(anchor, x, y)) {
        x = m_target->GetWidth() / 2.0;
        y = m_target->GetHeight() / 2.0;
    }
    double from[3], to[3];
    ClientRay(x, y, from);
    ClientRay(x + dx, y + dy, to);
    Normalize(from);
    Normalize(to);
    double axis[3] = {from[1] * to[2] - from[2] * to[1], from[2] * to[0] - from[0] * to[2],
                      from[0] * to[1] - from[1] * to[0]};
    const double s = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    const double c = from[0] * to[0] + from[1] * to[1] + from[2] * to[2];
    if (s < 1e-12) return;
    Normalize(axis);
    Rotate(m_fgToWorld, axis, std::atan2(s, c), true);
    if (render) RenderViewPort(3, true, true, true, true);
}

void CCubeFgBg::ChangeFacet0Fg_rot(float angle, bool render)
{
    if (!m_fg) return;
    double axis[3];
    ImageRay(m_anchor[0], m_anchor[1], true, axis);
    Normalize(axis);
    Rotate(m_fgToWorld, axis, angle, true);
    if (render) RenderViewPort(3, true, true, true, true);
}

void CCubeFgBg::ChangeViewPort_shift(int dx, int dy, bool render)
{
    if (!m_target) return;
    const double f = ViewFocal();
    const double yAxis[3] = {0, 1, 0}, xAxis[3] = {1, 0, 0};
    Rotate(m_view, yAxis, std::atan2(dx, f), false);
    Rotate(m_view, xAxis, -std::atan2(dy, f), false);
    if (render) RenderViewPort(3, true, true, true, true);
}

void CCubeFgBg::ChangeViewPort_rot(float angle, bool render)
{
    const double zAxis[3] = {0, 0, 1};
    Rotate(m_view, zAxis, angle, false);
    if (render) RenderViewPort(3, true, true, true, true);
}

void CCubeFgBg::ChangeViewPort_uRange(float u, bool render)
{
    if (!(u > 0.0f) || !(u < 3.1f)) return;
    m_u = u;
    if (render) RenderViewPort(3, true, true, true, true);
}

bool CCubeFgBg::IsPointInFg(POINT client) const
{
    if (!m_target || !m_fg) return false;
    double ray[3], x, y;
    ClientRay(client.x, client.y, ray);
    return RayToImage(ray, true, x, y);
}

bool CCubeFgBg::ClientToImage(double x, double y, bool fg, double& ix, double& iy) const
{
    if (!m_target || !m_fg) return false;
    double ray[3];
    ClientRay(x, y, ray);
    return RayToImage(ray, fg, ix, iy);
}

POINT CCubeFgBg::GetRotAnchorPt_Fg0() const
{
    if (!m_fg) return POINT{0, 0};
    double ray[3], x = 0, y = 0;
    ImageRay(m_anchor[0], m_anchor[1], true, ray);
    if (!RayToClient(ray, x, y)) return POINT{0, 0};
    return POINT{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))};
}

void CCubeFgBg::SetRotAnchorPt_Fg0(POINT client)
{
    if (!m_fg || !m_target) return;
    double ray[3], x, y;
    ClientRay(client.x, client.y, ray);
    double v[3];
    ApplyT(m_fgToWorld.m, ray, v);
    if (!(v[2] > 1e-9)) return;
    x = v[0] / (v[2] * m_rcpFg) + m_fg->GetWidth() / 2.0;
    y = v[1] / (v[2] * m_rcpFg) + m_fg->GetHeight() / 2.0;
    m_anchor[0] = x;
    m_anchor[1] = y;
}

float CCubeFgBg::GetOverlapAreaPC(int) const
{
    if (!m_fg || !m_bg) return 0.0f;
    constexpr int kGrid = 64;
    int inside = 0;
    for (int gy = 0; gy < kGrid; ++gy)
        for (int gx = 0; gx < kGrid; ++gx) {
            double ray[3], x, y;
            ImageRay((gx + 0.5) * m_fg->GetWidth() / kGrid, (gy + 0.5) * m_fg->GetHeight() / kGrid, true, ray);
            if (RayToImage(ray, false, x, y)) ++inside;
        }
    return static_cast<float>(inside) / (kGrid * kGrid);
}

void CCubeFgBg::Pair_MakeFakeMarkers(std::vector<POINT2>& fg, std::vector<POINT2>& bg) const
{
    fg.clear();
    bg.clear();
    if (!m_fg || !m_bg) return;
    // A 6 x 5 grid over the foreground, kept where it lands on the background.
    for (int gy = 0; gy < 5; ++gy)
        for (int gx = 0; gx < 6; ++gx) {
            const double fx = (gx + 0.5) * m_fg->GetWidth() / 6.0, fy = (gy + 0.5) * m_fg->GetHeight() / 5.0;
            double ray[3], bx, by;
            ImageRay(fx, fy, true, ray);
            if (!RayToImage(ray, false, bx, by)) continue;
            fg.push_back(POINT2{static_cast<float>(fx), static_cast<float>(fy)});
            bg.push_back(POINT2{static_cast<float>(bx), static_cast<float>(by)});
        }
}
