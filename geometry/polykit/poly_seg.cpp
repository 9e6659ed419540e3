#include "geometry/polykit/poly_seg.h"

#include "geometry/polykit/poly_alloc.h"
#include "geometry/polykit/poly_clip.h"
#include "platform/utilkit/debug_display.h"
#include "geometry/polykit/poly_geom.h"

#include "core/logger.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A vertex of the intersection is a vertex of A or B only when it is that
// vertex: both coordinates differ by less than the smallest normal float.
bool Same(const POINT2& a, const POINT2& b)
{
    return std::fabs(a.x - b.x) < FLT_MIN && std::fabs(a.y - b.y) < FLT_MIN;
}

struct Where {
    int contour = -1;
    int vertex = -1;
    bool found() const { return contour >= 0; }
};

// First match in contour order.
Where Find(const gpc_polygon* p, const POINT2& v)
{
    for (int r = 0; p && p->contours && r < p->count; ++r) {
        const gpc_vertex_list& c = p->contours[r];
        for (int m = 0; c.points && m < c.count; ++m)
            if (Same(c.points[m], v)) return Where{r, m};
    }
    return {};
}

// From contour position k, which is vertex w of the polygon, the run goes on
// while the following positions are the polygon's following vertices. The
// first position that differs, or -1 when the contour ends first.
int Follow(const gpc_vertex_list& L, int k, const gpc_polygon* p, Where w)
{
    const gpc_vertex_list& c = p->contours[w.contour];
    int idx = w.vertex;
    for (int pos = k + 1; pos < L.count; ++pos) {
        idx = (idx + 1) % c.count;
        if (!Same(L.points[pos], c.points[idx])) return pos;
    }
    return -1;
}

// Joint list of one contour of the intersection.
void OneLoopIntNodes(const gpc_vertex_list& L, const gpc_polygon* a, const gpc_polygon* b, bool reverse,
                     SSegNodeIndexList* out)
{
    out->pIndex = nullptr;
    out->nJoints = 0;
    const int n = L.count;
    if (n < 3 || !L.points) return;

    auto type = [&](int k) {
        if (Find(a, L.points[k]).found()) return 0;
        if (Find(b, L.points[k]).found()) return 1;
        return 2;
    };

    bool lookInB = false;  // S: where the walk looks first
    int first = 0;
    const int t0 = type(0);
    if (t0 == 0) {
        first = Follow(L, 0, a, Find(a, L.points[0]));
        lookInB = true;
    } else if (t0 == 1) {
        first = Follow(L, 0, b, Find(b, L.points[0]));
        lookInB = false;
    } else {
        const int t1 = type(1);
        if (t1 == 0) {
            lookInB = false;
        } else if (t1 == 1) {
            lookInB = true;
        } else {
            const int tl = type(n - 1);
            if (tl == 2) {
                Logger::log("OneLoopIntNodes: 3 neighbor JOINT nodes???", 4);
                return;
            }
            lookInB = tl == 0;
        }
    }
    // A contour that follows one polygon all the way round has no joint.
    if (first < 0 || first >= n) return;

    const bool startInB = lookInB;
    std::vector<int32_t> joints{first};
    int j = first;
    while (j < n - 1) {
        const gpc_polygon* p = lookInB ? b : a;
        const Where w = Find(p, L.points[j + 1]);
        if (w.found()) {
            const int end = Follow(L, j + 1, p, w);
            if (end < 0 || end >= n) break;
            j = end;
            joints.push_back(j);
            lookInB = !lookInB;
        } else {
            ++j;
            joints.push_back(j);
        }
    }

    const int count = static_cast<int>(joints.size());
    out->pIndex = polykit::AllocArray<int32_t>(static_cast<size_t>(count) + 1);
    out->nJoints = count;
    if (startInB) {
        std::copy(joints.begin(), joints.end(), out->pIndex);
    } else {
        std::copy(joints.begin(), joints.end(), out->pIndex + 1);
        out->pIndex[0] = joints.back();
    }
    if (reverse) std::reverse(out->pIndex, out->pIndex + count);
}

SPolySegJts* CopyJoints(const SPolySegJts* src)
{
    if (!src) return nullptr;
    SPolySegJts* dst = new SPolySegJts{0, nullptr};
    try {
        dst->pLists = polykit::AllocArray<SSegNodeIndexList>(static_cast<size_t>(std::max(src->nLists, 0)));
        dst->nLists = src->nLists;
        for (int i = 0; i < src->nLists; ++i) {
            const SSegNodeIndexList& s = src->pLists[i];
            if (!s.pIndex) continue;
            dst->pLists[i].pIndex = polykit::AllocArray<int32_t>(static_cast<size_t>(s.nJoints) + 1);
            std::memcpy(dst->pLists[i].pIndex, s.pIndex, (static_cast<size_t>(s.nJoints) + 1) * sizeof(int32_t));
            dst->pLists[i].nJoints = s.nJoints;
        }
    } catch (...) {
        for (int i = 0; i < dst->nLists; ++i) polykit::FreeArray(dst->pLists[i].pIndex);
        polykit::FreeArray(dst->pLists);
        delete dst;
        throw;
    }
    return dst;
}

}  // namespace

CPolySeg::~CPolySeg() { FreeAll(); }

CPolySeg::CPolySeg(const CPolySeg& other) : m_bReverse(other.m_bReverse)
{
    if (other.m_pIntPolygon) m_pIntPolygon = CPolyGeom::CopyPolygon(other.m_pIntPolygon);
    try {
        m_pJts = CopyJoints(other.m_pJts);
    } catch (...) {
        FreeAll();
        throw;
    }
}

CPolySeg& CPolySeg::operator=(const CPolySeg& other)
{
    if (this != &other) {
        CPolySeg copy(other);
        FreeAll();
        m_pIntPolygon = copy.m_pIntPolygon;
        m_pJts = copy.m_pJts;
        m_bReverse = copy.m_bReverse;
        copy.m_pIntPolygon = nullptr;
        copy.m_pJts = nullptr;
    }
    return *this;
}

void CPolySeg::FreeAll()
{
    if (m_pIntPolygon) {
        CPolyClip::gpc_free_polygon(m_pIntPolygon);
        delete m_pIntPolygon;
        m_pIntPolygon = nullptr;
    }
    if (m_pJts) {
        for (int i = 0; i < m_pJts->nLists; ++i) polykit::FreeArray(m_pJts->pLists[i].pIndex);
        polykit::FreeArray(m_pJts->pLists);
        delete m_pJts;
        m_pJts = nullptr;
    }
}

bool CPolySeg::TwoPolygonIntSegments(gpc_polygon* a, gpc_polygon* b)
{
    FreeAll();
    if (!a || !b) {
        Logger::log("ERROR CPolySeg::TwoPolygonIntSegments null polygon", 1);
        return false;
    }
    gpc_polygon* inter = new gpc_polygon{0, nullptr};
    try {
        CPolyClip::gpc_polygon_clip(GPC_INT, a, b, inter);
    } catch (...) {
        delete inter;
        throw;
    }
    if (inter->count <= 0) {
        CPolyClip::gpc_free_polygon(inter);
        delete inter;
        return false;
    }
    m_pIntPolygon = inter;
    BuildJoints(a, b);
    return true;
}

void CPolySeg::BuildJoints(const gpc_polygon* a, const gpc_polygon* b)
{
    m_pJts = new SPolySegJts{0, nullptr};
    m_pJts->pLists = polykit::AllocArray<SSegNodeIndexList>(static_cast<size_t>(m_pIntPolygon->count));
    m_pJts->nLists = m_pIntPolygon->count;
    for (int i = 0; i < m_pIntPolygon->count; ++i)
        OneLoopIntNodes(m_pIntPolygon->contours[i], a, b, m_bReverse != 0, &m_pJts->pLists[i]);
}

int CPolySeg::GetOneIntJtPolyNodeIndex(int row, int col)
{
    if (!m_pJts || row < 0 || row >= m_pJts->nLists) return -1;
    const SSegNodeIndexList& list = m_pJts->pLists[row];
    if (!list.pIndex || col < 0 || col >= list.nJoints) return -1;
    return list.pIndex[col];
}

POINT2* CPolySeg::GetOneIntJts(int row, int col)
{
    const int index = GetOneIntJtPolyNodeIndex(row, col);
    if (index < 0 || !m_pIntPolygon || row >= m_pIntPolygon->count) return nullptr;
    gpc_vertex_list& contour = m_pIntPolygon->contours[row];
    if (index >= contour.count) return nullptr;
    return &contour.points[index];
}

void CPolySeg::PrintAllSegNodes()
{
    if (!m_pIntPolygon || !m_pJts) return;
    for (int i = 0; i < m_pIntPolygon->count && i < m_pJts->nLists; ++i) {
        // Nothing is written; the walk is kept for the joint lists' sake.
        for (int k = 0; k < m_pJts->pLists[i].nJoints; ++k) (void)GetOneIntJtPolyNodeIndex(i, k);
    }
}

void TestPolySeg()
{
    Logger::log("TestPolySeg:", 4);
    POINT2 squareA[4] = {{2, 2}, {2, 50}, {50, 50}, {50, 2}};
    POINT2 squareB[4] = {{22, 22}, {22, 70}, {70, 70}, {70, 22}};
    gpc_polygon a{0, nullptr}, b{0, nullptr};
    gpc_vertex_list la{4, squareA}, lb{4, squareB};
    for (int i = 0; i < 3; ++i) Logger::log("vertex11 = ", 4);
    CPolyClip::gpc_add_contour(&a, &la);
    CPolyClip::gpc_add_contour(&b, &lb);

    auto draw = [](const gpc_polygon& p, int x) {
        for (int i = 0; i < p.count; ++i) {
            const int colour = 0xFF + ((30 * i) % 256) * 256 + ((10 * i) % 256) * 65536;
            DrawOnePt2Array(p.contours[i].points, std::min(p.contours[i].count, 100), x, 0, 4.0f, colour);
        }
    };
    draw(a, 0);
    draw(b, 0);
    CPolySeg seg;
    if (seg.TwoPolygonIntSegments(&a, &b)) draw(*seg.GetIntPolygon(), 200);
    CPolyClip::gpc_free_polygon(&a);
    CPolyClip::gpc_free_polygon(&b);
}
