#include "segment/seedra/rasterize_polyline.h"

#include "core/logger.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

CIntList::~CIntList()
{
    while (m_head) {
        Node* next = m_head->next;
        delete m_head;
        m_head = next;
    }
}

void CIntList::AddTail(int32_t value)
{
    Node* node = new (std::nothrow) Node{value, nullptr, m_tail};
    if (!node) {
        Logger::log("Allocation error.", 1);
        throw std::bad_alloc();
    }
    if (m_tail)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    ++m_count;
}

void CIntList::CopyTo(int32_t* out) const
{
    for (Node* n = m_head; n; n = n->next) *out++ = n->value;
}

namespace {

// Rounding of the rasteriser: 0.5 added, then truncation towards zero.
int Round(float t) { return static_cast<int>(t + 0.5f); }

// One edge from p to q, stepped along its longer axis.
void RasterizeEdge(POINT2 p, POINT2 q, CIntList* list)
{
    const float dx = q.x - p.x, dy = q.y - p.y;
    if (std::fabs(dx) > std::fabs(dy)) {
        const int a = Round(p.x), b = Round(q.x);
        if (a == b) {
            list->AddTail(a);
            list->AddTail(Round(p.y));
        } else if (dx > 0) {
            const float s = (q.y - p.y) / static_cast<float>(b - a);
            for (int x = a; x <= b; ++x) {
                list->AddTail(x);
                list->AddTail(Round((static_cast<float>(x) - p.x) * s + p.y));
            }
        } else {
            const float s = (p.y - q.y) / static_cast<float>(a - b);
            for (int x = a; x >= b; --x) {
                list->AddTail(x);
                list->AddTail(Round((static_cast<float>(x) - q.x) * s + q.y));
            }
        }
    } else {
        const int a = Round(p.y), b = Round(q.y);
        if (a == b) {
            list->AddTail(Round(p.x));
            list->AddTail(a);
        } else if (dy > 0) {
            const float s = (q.x - p.x) / static_cast<float>(b - a);
            for (int y = a; y <= b; ++y) {
                list->AddTail(Round((static_cast<float>(y) - p.y) * s + p.x));
                list->AddTail(y);
            }
        } else {
            const float s = (p.x - q.x) / static_cast<float>(a - b);
            for (int y = a; y >= b; --y) {
                list->AddTail(Round((static_cast<float>(y) - q.y) * s + q.x));
                list->AddTail(y);
            }
        }
    }
}

}  // namespace

void RasterizePolyline(const POINT2* v, int n, float scale, const int* offset, int** out, int* count)
{
    if (out) *out = nullptr;
    if (count) *count = 0;
    if (!v || !out || !count || n <= 0) return;
    for (int k = 0; k < n; ++k) {
        if (!std::isfinite(v[k].x * scale) || !std::isfinite(v[k].y * scale) || std::fabs(v[k].x * scale) > 1e9f ||
            std::fabs(v[k].y * scale) > 1e9f) {
            Logger::log("ERROR RasterizePolyline vertex %d is out of range", 1, k);
            return;
        }
    }

    std::vector<int32_t> xy;
    if (n == 1) {
        xy = {Round(scale * v[0].x), Round(scale * v[0].y)};
    } else {
        for (int k = 1; k < n; ++k) {
            CIntList list;
            RasterizeEdge(POINT2{scale * v[k - 1].x, scale * v[k - 1].y}, POINT2{scale * v[k].x, scale * v[k].y},
                          &list);
            std::vector<int32_t> edge(static_cast<size_t>(list.Count()));
            list.CopyTo(edge.data());
            // The edge's first point is the previous edge's last.
            if (!xy.empty()) {
                xy.pop_back();
                xy.pop_back();
            }
            xy.insert(xy.end(), edge.begin(), edge.end());
        }
        const size_t m = xy.size();
        if (m >= 4 && xy[0] == xy[m - 2] && xy[1] == xy[m - 1]) xy.resize(m - 2);
    }
    if (offset) {
        for (size_t i = 0; i < xy.size(); i += 2) {
            xy[i] += offset[0];
            xy[i + 1] += offset[1];
        }
    }
    int32_t* result = static_cast<int32_t*>(std::malloc(xy.size() * sizeof(int32_t)));
    if (!result) {
        Logger::log("Allocation error.", 1);
        throw std::bad_alloc();
    }
    std::copy(xy.begin(), xy.end(), result);
    *out = result;
    *count = static_cast<int>(xy.size() / 2);
}
