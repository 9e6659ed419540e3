#include "app/pairview/overlap_geometry.h"

#include <algorithm>
#include <cmath>

SIZE OverlapRenderSize(int bgWidth, int fgWidth, int fgHeight, int screenWidth, int screenHeight)
{
    SIZE s;
    s.cx = std::max(bgWidth, fgWidth) + std::min(bgWidth, fgWidth) / 2;
    s.cy = 4 * std::max(bgWidth, fgHeight) / 3;
    s.cx = std::min(s.cx, screenWidth);
    s.cy = std::min(s.cy, screenHeight);
    return s;
}

float OverlapZoomIn(float range) { return std::max(range * 0.8f, kOverlapRangeMin); }

float OverlapZoomOut(float range) { return std::min(range / 0.8f, kOverlapRangeMax); }

OverlapDrag ClassifyOverlapPress(bool inForeground, bool ctrl, POINT press, POINT fgAnchor, SIZE render)
{
    if (!inForeground) {
        const int mx = render.cx / 10;
        const int my = render.cy / 10;
        const bool nearEdge = press.x < mx || press.y < my || press.x >= render.cx - mx || press.y >= render.cy - my;
        return nearEdge ? OverlapDrag::ViewRotate : OverlapDrag::ViewShift;
    }
    if (ctrl) return OverlapDrag::AnchorMove;
    const int64_t dx = press.x - fgAnchor.x;
    const int64_t dy = press.y - fgAnchor.y;
    const int64_t d2 = dx * dx + dy * dy;
    if (d2 >= 10000) return OverlapDrag::FgRotate;
    if (d2 > 16) return OverlapDrag::FgShift;
    return OverlapDrag::AnchorMove;
}

bool OverlapTurnAngle(POINT anchor, POINT last, POINT point, float* angle)
{
    const double vx = point.x - anchor.x, vy = point.y - anchor.y;
    const double ux = last.x - anchor.x, uy = last.y - anchor.y;
    const double vl = std::sqrt(vx * vx + vy * vy), ul = std::sqrt(ux * ux + uy * uy);
    if (vl < 10.0 || ul <= 0.0) return false;
    const double q = (ux * vx + uy * vy) / (ul * vl);
    if (q < 0.85 || q >= 1.0) return false;
    double a = std::acos(q);
    if (ux * vy - vx * uy < 0) a = -a;
    if (angle) *angle = static_cast<float>(a);
    return true;
}
