#include "platform/mapproj/outline.h"

#include "platform/xformkit/transform_wa.h"

#include <algorithm>
#include <cmath>

namespace mapproj {

Ring PixelAreaRect(int width, int height)
{
    const double r = width - 0.5, b = height - 0.5;
    return {{-0.5, -0.5}, {r, -0.5}, {r, b}, {-0.5, b}};
}

Ring ClipHalfPlane(const Ring& ring, double a, double b, double c)
{
    Ring out;
    const size_t n = ring.size();
    for (size_t i = 0; i < n; ++i) {
        const Pt& p = ring[i];
        const Pt& q = ring[(i + 1) % n];
        const double dp = a * p.x + b * p.y + c, dq = a * q.x + b * q.y + c;
        if (dp >= 0) out.push_back(p);
        if ((dp >= 0) != (dq >= 0)) {
            const double t = dp / (dp - dq);
            out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
        }
    }
    return out.size() >= 3 ? out : Ring{};
}

Ring ClipRect(const Ring& ring, double x0, double y0, double x1, double y1)
{
    Ring r = ClipHalfPlane(ring, 1, 0, -x0);
    r = ClipHalfPlane(r, -1, 0, x1);
    r = ClipHalfPlane(r, 0, 1, -y0);
    return ClipHalfPlane(r, 0, -1, y1);
}

double Area(const Ring& ring)
{
    double s = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const Pt& p = ring[i];
        const Pt& q = ring[(i + 1) % ring.size()];
        s += p.x * q.y - q.x * p.y;
    }
    return std::fabs(s) / 2;
}

Ring MapOutline(int srcWidth, int srcHeight, int frameWidth, int frameHeight, const PAIR_WALIGN_RR_PRMS2& p)
{
    if (srcWidth <= 0 || srcHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) return {};
    float m[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&p, nullptr, nullptr, m)) return {};
    // The source rectangle, measured from its centre.
    Ring src = PixelAreaRect(srcWidth, srcHeight);
    for (Pt& v : src) {
        v.x -= srcWidth / 2;
        v.y -= srcHeight / 2;
    }
    // Cut at the horizon: the denominator of the homography is linear in the
    // source point; keep it above a small positive bound (a direction less
    // than about 89.9 degrees from the frame's axis).
    const double wScale = std::fabs(m[6]) * srcWidth + std::fabs(m[7]) * srcHeight + std::fabs(m[8]);
    src = ClipHalfPlane(src, m[6], m[7], m[8] - 1e-3 * wScale);
    Ring out;
    out.reserve(src.size());
    const double cx = frameWidth / 2, cy = frameHeight / 2;
    for (const Pt& v : src) {
        const double w = m[6] * v.x + m[7] * v.y + m[8];
        const double x = (m[0] * v.x + m[1] * v.y + m[2]) / w, y = (m[3] * v.x + m[4] * v.y + m[5]) / w;
        if (!std::isfinite(x) || !std::isfinite(y)) return {};
        out.push_back({x + cx, y + cy});
    }
    // The carried outline is convex; keep it near the frame.
    const double margin = 4.0 * std::max(frameWidth, frameHeight) + 1000;
    return ClipRect(out, -margin, -margin, frameWidth + margin, frameHeight + margin);
}

}  // namespace mapproj
