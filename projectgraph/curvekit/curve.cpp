#include "projectgraph/curvekit/curve.h"

#include "platform/win/gdi.h"
#include "projectgraph/curvekit/storage_rule.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool InBox(const POINT2& p, float x, float y)
{
    return std::fabs(p.x - x) <= Curve::kTolerance && std::fabs(p.y - y) <= Curve::kTolerance;
}

float Dist2(const POINT2& p, float x, float y)
{
    const float dx = p.x - x;
    const float dy = p.y - y;
    return dx * dx + dy * dy;
}

}  // namespace

Curve::~Curve() = default;

Curve::Curve(const Curve& other)
    : m_index(other.m_index),
      m_status(other.m_status),
      m_colour(other.m_colour),
      m_numPoint(other.m_numPoint),
      m_capPoint(other.m_capPoint),
      m_numNode(other.m_numNode),
      m_capNode(other.m_capNode)
{
    if (other.m_points && m_capPoint > 0) {
        m_points = std::make_unique<POINT2[]>(static_cast<size_t>(m_capPoint));
        std::copy_n(other.m_points.get(), m_numPoint, m_points.get());
    }
    if (other.m_nodes && m_capNode > 0) {
        m_nodes = std::make_unique<int32_t[]>(static_cast<size_t>(m_capNode));
        std::copy_n(other.m_nodes.get(), m_numNode, m_nodes.get());
    }
}

Curve& Curve::operator=(const Curve& other)
{
    if (this != &other) {
        Curve copy(other);
        m_index = copy.m_index;
        m_status = copy.m_status;
        m_colour = copy.m_colour;
        std::swap(m_numPoint, copy.m_numPoint);
        std::swap(m_capPoint, copy.m_capPoint);
        std::swap(m_points, copy.m_points);
        std::swap(m_numNode, copy.m_numNode);
        std::swap(m_capNode, copy.m_capNode);
        std::swap(m_nodes, copy.m_nodes);
    }
    return *this;
}

// ------------------------------------------------------------------ storage

// The old array always goes, whether or not it held points: an emptied
// curve with capacity left must not leak it.
void Curve::ReservePoints(int wanted)
{
    const int capacity = curvekit::NextCapacity(m_numPoint, m_capPoint, wanted);
    if (capacity == m_capPoint) return;
    auto points = std::make_unique<POINT2[]>(static_cast<size_t>(capacity));
    if (m_points) std::copy_n(m_points.get(), std::min(m_numPoint, capacity), points.get());
    m_points = std::move(points);
    m_capPoint = capacity;
}

void Curve::ReserveNodes(int wanted)
{
    if (wanted <= m_capNode) return;
    int capacity = m_capNode;
    while (capacity < wanted) capacity += 4;
    auto nodes = std::make_unique<int32_t[]>(static_cast<size_t>(capacity));
    if (m_nodes) std::copy_n(m_nodes.get(), m_numNode, nodes.get());
    m_nodes = std::move(nodes);
    m_capNode = capacity;
}

// Node list rebuilt to exactly n entries.
void Curve::SetNodes(const int32_t* nodes, int n)
{
    m_nodes = n > 0 ? std::make_unique<int32_t[]>(static_cast<size_t>(n)) : nullptr;
    if (n > 0) std::copy_n(nodes, n, m_nodes.get());
    m_numNode = std::max(n, 0);
    m_capNode = m_numNode;
}

// ------------------------------------------------------------------- points

void Curve::AppendPoint(float x, float y)
{
    ReservePoints(m_numPoint + 1);
    m_points[m_numPoint++] = POINT2{x, y};
}

void Curve::AppendPoints(int n, const POINT2* points)
{
    if (!points || n <= 0) return;
    // The points may be this curve's own: copy them before the array moves.
    const std::vector<POINT2> copy(points, points + n);
    ReservePoints(m_numPoint + n);
    std::copy_n(copy.data(), n, m_points.get() + m_numPoint);
    m_numPoint += n;
}

bool Curve::InsertPoint(float x, float y, float tolerance)
{
    if (m_numPoint < 2) {
        AppendPoint(x, y);
        return true;
    }
    const float tol2 = tolerance * tolerance;
    for (int i = 1; i < m_numPoint; ++i) {
        const POINT2 a = m_points[i - 1];
        const POINT2 b = m_points[i];
        const float ex = b.x - a.x, ey = b.y - a.y;
        const float len2 = ex * ex + ey * ey;
        // A repeated point makes a segment of no length: nothing projects
        // onto it.
        if (len2 == 0.0f) continue;
        const float t = ((x - a.x) * ex + (y - a.y) * ey) / len2;
        if (!(t > 0.0f && t < 1.0f)) continue;
        if (Dist2(a, x, y) <= tol2 || Dist2(b, x, y) <= tol2) return false;
        const float cross = (x - a.x) * ey - (y - a.y) * ex;
        if (cross * cross / len2 > tol2) return false;

        ReservePoints(m_numPoint + 1);
        std::memmove(&m_points[i + 1], &m_points[i], sizeof(POINT2) * static_cast<size_t>(m_numPoint - i));
        m_points[i] = POINT2{x, y};
        ++m_numPoint;
        // Nodes stay on their points: those at or after the new one move up.
        for (int n = 0; n < m_numNode; ++n)
            if (m_nodes[n] >= i) ++m_nodes[n];
        return true;
    }
    return false;
}

bool Curve::RemoveNode(int i)
{
    if (i < 0 || i >= m_numPoint) return false;
    std::memmove(&m_points[i], &m_points[i + 1], sizeof(POINT2) * static_cast<size_t>(m_numPoint - i - 1));
    --m_numPoint;
    // Nodes follow their points: a node on the removed point goes, later
    // ones move down, and a node that became an end point is no node.
    int kept = 0;
    for (int n = 0; n < m_numNode; ++n) {
        int node = m_nodes[n];
        if (node == i) continue;
        if (node > i) --node;
        if (node <= 0 || node >= m_numPoint - 1) continue;
        m_nodes[kept++] = node;
    }
    m_numNode = kept;
    ReservePoints(-1);
    return true;
}

bool Curve::GetNode(int i, float* x, float* y) const
{
    const bool ok = i >= 0 && i < m_numPoint;
    if (x) *x = ok ? m_points[i].x : 0.0f;
    if (y) *y = ok ? m_points[i].y : 0.0f;
    return ok;
}

void Curve::ChangeNode(int i, float x, float y)
{
    if (i >= 0 && i < m_numPoint) m_points[i] = POINT2{x, y};
}

POINT2* Curve::ExchangeData(POINT2* points)
{
    // The curve's own array handed back: nothing to exchange.
    if (points && points == m_points.get()) return nullptr;
    POINT2* old = m_points.release();
    m_points.reset(points);
    // Only the count is known about the new array; without one no point
    // (and so no node) is left.
    if (!points) {
        m_numPoint = 0;
        m_numNode = 0;
    }
    m_capPoint = m_numPoint;
    return old;
}

void Curve::ReversePtList()
{
    if (m_numPoint > 1) std::reverse(m_points.get(), m_points.get() + m_numPoint);
}

void Curve::MakeClockWise(bool clockwise)
{
    if (m_numPoint < 3) return;
    double s = 0.0;
    for (int i = 0; i < m_numPoint; ++i) {
        const POINT2& a = m_points[i];
        const POINT2& b = m_points[(i + 1) % m_numPoint];
        s += static_cast<double>(a.x) * b.y - static_cast<double>(a.y) * b.x;
    }
    if ((!clockwise && s > 0) || (clockwise && s < 0)) ReversePtList();
}

void Curve::Rotate(int angle, int width, int height)
{
    for (int i = 0; i < m_numPoint; ++i) {
        const POINT2 p = m_points[i];
        switch (angle) {
        case 90: m_points[i] = POINT2{static_cast<float>(height - 1) - p.y, p.x}; break;
        case -90: m_points[i] = POINT2{p.y, static_cast<float>(width - 1) - p.x}; break;
        case 180: m_points[i] = POINT2{static_cast<float>(width - 1) - p.x, static_cast<float>(height - 1) - p.y}; break;
        default: return;
        }
    }
}

Curve* Curve::Split(int k)
{
    if (k <= 0 || k >= m_numPoint - 1) return nullptr;
    auto tail = std::make_unique<Curve>();
    tail->m_colour = m_colour;
    tail->m_index = m_index;
    tail->m_status = m_status;
    tail->AppendPoints(m_numPoint - k, m_points.get() + k);

    std::vector<int32_t> head;
    std::vector<int32_t> rest;
    for (int n = 0; n < m_numNode; ++n) {
        if (m_nodes[n] < k) head.push_back(m_nodes[n]);
        else if (m_nodes[n] > k) rest.push_back(m_nodes[n] - k);
    }
    tail->SetNodes(rest.data(), static_cast<int>(rest.size()));
    SetNodes(head.data(), static_cast<int>(head.size()));
    m_numPoint = k + 1;
    ReservePoints(-1);
    return tail.release();
}

bool Curve::Merge(Curve* other, int type)
{
    if (!other || other == this || type < 0 || type > 3) return false;
    const int L = m_numPoint;
    const int M = other->m_numPoint;
    const bool reverseThis = type == 1 || type == 2;
    const bool reverseOther = type == 2 || type == 3;

    auto points = std::make_unique<POINT2[]>(static_cast<size_t>(std::max(L + M, 1)));
    for (int i = 0; i < L; ++i) points[i] = m_points[reverseThis ? L - 1 - i : i];
    for (int j = 0; j < M; ++j) points[L + j] = other->m_points[reverseOther ? M - 1 - j : j];

    std::vector<int32_t> nodes;
    for (int n = 0; n < m_numNode; ++n)
        nodes.push_back(reverseThis ? L - 1 - m_nodes[m_numNode - 1 - n] : m_nodes[n]);
    // The two joining points become handles; on a one-point side the joint
    // would be an end point, which is never a node.
    if (L - 1 > 0 && L - 1 < L + M - 1) nodes.push_back(L - 1);
    if (L > 0 && L < L + M - 1) nodes.push_back(L);
    for (int n = 0; n < other->m_numNode; ++n)
        nodes.push_back(reverseOther ? L + M - 1 - other->m_nodes[other->m_numNode - 1 - n] : L + other->m_nodes[n]);

    m_points = std::move(points);
    m_numPoint = L + M;
    m_capPoint = L + M;
    SetNodes(nodes.data(), static_cast<int>(nodes.size()));
    delete other;
    return true;
}

// -------------------------------------------------------------------- nodes

// Among points from..to, the first run of consecutive points inside the
// tolerance box around (x, y), and in it the point nearest by |dx| + |dy|
// (the first on a tie); -1 when no point is inside.
int Curve::NearestInFirstRun(float x, float y, int from, int to) const
{
    int best = -1;
    float bestDist = 0.0f;
    for (int i = from; i <= to; ++i) {
        if (!InBox(m_points[i], x, y)) {
            if (best >= 0) break;
            continue;
        }
        const float d = std::fabs(m_points[i].x - x) + std::fabs(m_points[i].y - y);
        if (best < 0 || d < bestDist) {
            best = i;
            bestDist = d;
        }
    }
    return best;
}

int Curve::AddNode(float x, float y)
{
    if (m_numPoint < 3) return -1;
    const int chosen = NearestInFirstRun(x, y, 1, m_numPoint - 2);
    if (chosen < 0) return -1;
    const POINT2& c = m_points[chosen];
    if (InBox(m_points[0], c.x, c.y) || InBox(m_points[m_numPoint - 1], c.x, c.y)) return -1;
    for (int n = 0; n < m_numNode; ++n)
        if (InBox(m_points[m_nodes[n]], c.x, c.y)) return -1;
    // The new node goes right after the nearest node below it, or first.
    int position = 1;
    for (int idx = chosen - 1; idx >= 0 && position == 1; --idx)
        for (int n = 0; n < m_numNode; ++n)
            if (m_nodes[n] == idx) {
                position = n + 2;
                break;
            }
    InsertNode(position, chosen);
    return position;
}

void Curve::InsertNode(int position, int pointIndex)
{
    // A node must name a point: reads through it would go astray otherwise.
    if (position < 1 || position > m_numNode + 1 || pointIndex < 0 || pointIndex >= m_numPoint) return;
    if (m_numNode == m_capNode) ReserveNodes(m_capNode + 4);
    const int at = position - 1;
    std::memmove(&m_nodes[at + 1], &m_nodes[at], sizeof(int32_t) * static_cast<size_t>(m_numNode - at));
    m_nodes[at] = pointIndex;
    ++m_numNode;
}

// --------------------------------------------------------------- hit tests

int Curve::IsANode(float x, float y) const
{
    for (int i = 0; i < m_numPoint; ++i)
        if (InBox(m_points[i], x, y)) return i;
    return -1;
}

int Curve::IsANode(float x, float y, float r) const
{
    for (int i = 0; i < m_numPoint; ++i)
        if (Dist2(m_points[i], x, y) <= r * r) return i;
    return -1;
}

int Curve::IsAnEndNode(float x, float y) const
{
    if (m_numPoint < 2) return -1;
    if (InBox(m_points[0], x, y)) return 0;
    if (InBox(m_points[m_numPoint - 1], x, y)) return m_numNode + 1;
    return -1;
}

int Curve::IsOnLine(float x, float y) const
{
    return m_numPoint > 0 ? NearestInFirstRun(x, y, 0, m_numPoint - 1) : -1;
}

namespace {

// Within 3 pixels of the segment a-b, between its ends. A segment of no
// length (a repeated point) counts by the distance to the point.
bool NearSegment(const POINT2& a, const POINT2& b, float x, float y)
{
    const float ex = b.x - a.x, ey = b.y - a.y;
    const float len2 = ex * ex + ey * ey;
    const float tol2 = Curve::kTolerance * Curve::kTolerance;
    if (len2 == 0.0f) return Dist2(a, x, y) <= tol2;
    if (Dist2(a, x, y) > len2 || Dist2(b, x, y) > len2) return false;
    const float cross = (x - a.x) * ey - (y - a.y) * ex;
    return cross * cross / len2 <= tol2;
}

}  // namespace

int Curve::IsOnCurve(float x, float y) const
{
    for (int i = 0; i + 1 < m_numPoint; ++i)
        if (NearSegment(m_points[i], m_points[i + 1], x, y)) return i;
    if (IsClosed() && m_numPoint > 0 && NearSegment(m_points[m_numPoint - 1], m_points[0], x, y))
        return m_numPoint - 1;
    return -1;
}

bool Curve::IsOnCurve(float x, float y, float r) const
{
    for (int i = 0; i + 1 < m_numPoint; ++i) {
        const POINT2& a = m_points[i];
        const POINT2& b = m_points[i + 1];
        const float ex = b.x - a.x, ey = b.y - a.y;
        const float len2 = ex * ex + ey * ey;
        if (len2 == 0.0f) {
            if (Dist2(a, x, y) < r * r) return true;
            continue;
        }
        const float dot = (x - a.x) * ex + (y - a.y) * ey;
        if (dot < 0.0f || dot > len2) continue;
        const float cross = (x - a.x) * ey - (y - a.y) * ex;
        if (cross * cross / len2 < r * r) return true;
    }
    return false;
}

// ---------------------------------------------------------------- attributes

int Curve::SetLineVisibility(int hidden)
{
    const int bit = hidden ? kHidden : 0;
    if ((m_status & kHidden) == bit) return 0;
    m_status = (m_status & ~kHidden) | bit;
    return 1;
}

int Curve::SetMarkerVisibility(int v)
{
    const int bit = v ? kBoxesHidden : 0;
    if ((m_status & kBoxesHidden) == bit) return 0;
    m_status = (m_status & ~kBoxesHidden) | bit;
    return 1;
}

void Curve::SetLineIndexVisibility(bool shown)
{
    m_status = shown ? (m_status | kLabel) : (m_status & ~kLabel);
}

void Curve::SetHilight(int v)
{
    m_status = v ? (m_status | kHighlight) : (m_status & ~kHighlight);
}

// ------------------------------------------------------------------ drawing

// A point box: the square of half size 2 (big) or 1 (small) around the point.
void Curve::DrawBox(CDC* dc, const POINT2& p, int ox, int oy, float zoom, bool big) const
{
    const int sx = curvekit::ToDevice(ox, zoom, p.x);
    const int sy = curvekit::ToDevice(oy, zoom, p.y);
    const int h = big ? 2 : 1;
    dc->MoveTo(sx - h, sy - h);
    dc->LineTo(sx + h, sy - h);
    dc->LineTo(sx + h, sy + h);
    dc->LineTo(sx - h, sy + h);
    dc->LineTo(sx - h, sy - h);
}

void Curve::DrawAllBoxes(CDC* dc, int ox, int oy, float zoom) const
{
    const bool big = (m_status & kHighlight) != 0;
    for (int i = 0; i < m_numPoint; ++i) DrawBox(dc, m_points[i], ox, oy, zoom, big);
}

void Curve::Draw(CDC* dc, int ox, int oy, float zoom) const
{
    if (!dc || (m_status & kHidden)) return;
    const bool invert = (m_status & kInvert) != 0;
    const int previousRop = invert ? dc->SetROP2(R2_NOT) : 0;
    CPen pen(PS_SOLID, 1, m_colour);
    CPen* previous = dc->SelectObject(&pen);
    if (m_numPoint > 0) {
        dc->MoveTo(curvekit::ToDevice(ox, zoom, m_points[0].x), curvekit::ToDevice(oy, zoom, m_points[0].y));
        for (int i = 1; i < m_numPoint; ++i)
            dc->LineTo(curvekit::ToDevice(ox, zoom, m_points[i].x), curvekit::ToDevice(oy, zoom, m_points[i].y));
        if (IsClosed())
            dc->LineTo(curvekit::ToDevice(ox, zoom, m_points[0].x), curvekit::ToDevice(oy, zoom, m_points[0].y));
        if (m_status & kLabel) {
            dc->SetTextColor(m_colour);
            dc->SetBkMode(TRANSPARENT);
            char text[16];
            const int n = std::snprintf(text, sizeof text, "%d", m_index + 1);
            dc->TextOut(curvekit::ToDevice(ox, zoom, m_points[0].x), curvekit::ToDevice(oy, zoom, m_points[0].y), text,
                        n);
        }
    }
    if (!(m_status & kBoxesHidden)) DrawAllBoxes(dc, ox, oy, zoom);
    dc->SelectObject(previous);
    if (invert) dc->SetROP2(previousRop);
}

void Curve::DrawNode(CDC* dc, int ox, int oy, float zoom) const
{
    if (dc) DrawAllBoxes(dc, ox, oy, zoom);
}

void Curve::DrawNode(CDC* dc, int ox, int oy, float zoom, bool highlight)
{
    if (!dc) {
        SetHilight(highlight ? kHighlight : 0);
        return;
    }
    const bool invert = (m_status & kInvert) != 0;
    const int previousRop = invert ? dc->SetROP2(R2_NOT) : 0;
    CPen pen(PS_SOLID, 1, m_colour);
    CPen* previous = dc->SelectObject(&pen);
    DrawAllBoxes(dc, ox, oy, zoom);
    SetHilight(highlight ? kHighlight : 0);
    DrawAllBoxes(dc, ox, oy, zoom);
    dc->SelectObject(previous);
    if (invert) dc->SetROP2(previousRop);
}

void Curve::DrawNode(int node, CDC* dc, int ox, int oy, float zoom) const
{
    if (!dc || node < 0 || m_numPoint == 0) return;
    int point = node == 0 ? 0 : node <= m_numNode ? m_nodes[node - 1] : m_numPoint - 1;
    if (point < 0 || point >= m_numPoint) point = m_numPoint - 1;
    const bool invert = (m_status & kInvert) != 0;
    const int previousRop = invert ? dc->SetROP2(R2_NOT) : 0;
    CPen pen(PS_SOLID, 1, m_colour);
    CPen* previous = dc->SelectObject(&pen);
    DrawBox(dc, m_points[point], ox, oy, zoom, true);
    dc->SelectObject(previous);
    if (invert) dc->SetROP2(previousRop);
}

void Curve::Draw(const POINT2* prev, const POINT2* cur, const POINT2* next, CDC* dc, int ox, int oy,
                 float zoom) const
{
    if (!dc || !cur) return;
    const int cx = curvekit::ToDevice(ox, zoom, cur->x);
    const int cy = curvekit::ToDevice(oy, zoom, cur->y);
    if (prev) {
        dc->MoveTo(curvekit::ToDevice(ox, zoom, prev->x), curvekit::ToDevice(oy, zoom, prev->y));
        dc->LineTo(cx, cy);
    }
    if (next) {
        dc->MoveTo(cx, cy);
        dc->LineTo(curvekit::ToDevice(ox, zoom, next->x), curvekit::ToDevice(oy, zoom, next->y));
    }
}

void Curve::GetMotionPoint(int i, POINT2** prev, POINT2** cur, POINT2** next) const
{
    POINT2* p = nullptr;
    POINT2* c = nullptr;
    POINT2* n = nullptr;
    if (i >= 0 && i < m_numPoint) {
        c = &m_points[i];
        // A single point has no neighbours, closed or not.
        if (m_numPoint >= 2) {
            const int last = m_numPoint - 1;
            if (i == 0)
                p = IsClosed() ? &m_points[last] : nullptr;
            else
                p = &m_points[i - 1];
            if (i == last)
                n = IsClosed() ? &m_points[0] : nullptr;
            else
                n = &m_points[i + 1];
        }
    }
    if (prev) *prev = p;
    if (cur) *cur = c;
    if (next) *next = n;
}

void Curve::MoveNode(int i, float x, float y, CDC* dc, int ox, int oy, float zoom)
{
    if (i < 0 || i >= m_numPoint) return;
    if (!dc) {
        m_points[i] = POINT2{x, y};
        return;
    }
    const int previousRop = dc->SetROP2(R2_NOT);
    CPen pen(PS_SOLID, 1, m_colour);
    CPen* previous = dc->SelectObject(&pen);
    POINT2 *p = nullptr, *c = nullptr, *n = nullptr;
    GetMotionPoint(i, &p, &c, &n);
    DrawBox(dc, m_points[i], ox, oy, zoom, true);
    Draw(p, c, n, dc, ox, oy, zoom);
    m_points[i] = POINT2{x, y};
    Draw(p, c, n, dc, ox, oy, zoom);
    DrawBox(dc, m_points[i], ox, oy, zoom, true);
    dc->SelectObject(previous);
    dc->SetROP2(previousRop);
}
