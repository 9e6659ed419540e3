#include "geometry/polykit/polygon.h"

#include "geometry/polykit/poly_alloc.h"

#include "core/logger.h"

#include <cmath>
#include <cstring>

CPolygon::CPolygon(int n)
{
    if (n < 0) {
        Logger::log("ERROR CPolygon::CPolygon negative vertex count %d", 1, n);
        n = 0;
    }
    m_pPoints = polykit::AllocArray<POINT2>(static_cast<size_t>(n));
    m_nCount = n;
}

CPolygon::CPolygon(POINT2* points, int n) : m_pPoints(points), m_nCount(n < 0 ? 0 : n), m_bBorrowed(1) {}

CPolygon::~CPolygon() { Free(); }

CPolygon::CPolygon(const CPolygon& other)
{
    if (other.m_pPoints && other.m_nCount > 0) {
        m_pPoints = polykit::AllocArray<POINT2>(static_cast<size_t>(other.m_nCount));
        std::memcpy(m_pPoints, other.m_pPoints, static_cast<size_t>(other.m_nCount) * sizeof(POINT2));
        m_nCount = other.m_nCount;
    }
}

CPolygon& CPolygon::operator=(const CPolygon& other)
{
    if (this != &other) {
        CPolygon copy(other);
        Free();
        m_pPoints = copy.m_pPoints;
        m_nCount = copy.m_nCount;
        m_bBorrowed = 0;
        copy.m_pPoints = nullptr;
        copy.m_nCount = 0;
    }
    return *this;
}

void CPolygon::Free()
{
    if (!m_bBorrowed) polykit::FreeArray(m_pPoints);
    m_pPoints = nullptr;
    m_nCount = 0;
    m_bBorrowed = 0;
}

POINT2* CPolygon::Release()
{
    POINT2* p = m_pPoints;
    m_pPoints = nullptr;
    m_nCount = 0;
    m_bBorrowed = 0;
    return p;
}

CPolygon* CPolygon::Copy() const
{
    if (!m_pPoints) return nullptr;
    return new CPolygon(*this);
}

bool CPolygon::IsPtInPolygon(const POINT2& pt, const POINT2* v, int n)
{
    if (!v || n <= 0) return false;
    int count = 0;
    for (int j = 0; j < n; ++j) {
        const POINT2& a = v[j];
        const POINT2& b = v[(j + 1) % n];
        if (!((a.y < pt.y && pt.y < b.y) || (b.y < pt.y && pt.y < a.y))) continue;
        const float dy = b.y - a.y;
        const float x = std::fabs(dy) >= 0.0001f ? a.x + (b.x - a.x) * (pt.y - a.y) / dy : a.x;
        if (x > pt.x) ++count;
    }
    return (count & 1) != 0;
}

bool CPolygon::IsPtInPolygon(const POINT2& pt, const CPolygon& polygon)
{
    return IsPtInPolygon(pt, polygon.m_pPoints, polygon.m_nCount);
}

void CPolygon::RectToPt2(const REGION2* rect, POINT2* out)
{
    if (!rect || !out) return;
    out[0] = POINT2{rect->left, rect->top};
    out[1] = POINT2{rect->right, rect->top};
    out[2] = POINT2{rect->right, rect->bottom};
    out[3] = POINT2{rect->left, rect->bottom};
}

CPolygon* CPolygon::RectToPolygonO(const REGION2* rect)
{
    if (!rect) return nullptr;
    CPolygon* p = new CPolygon(4);
    RectToPt2(rect, p->m_pPoints);
    return p;
}

void CPolygon::RectToPolygon(const REGION2* rect)
{
    if (!rect) return;
    POINT2* corners = polykit::AllocArray<POINT2>(4);
    RectToPt2(rect, corners);
    Free();
    // The new array is the polygon's own (not borrowed): released with it.
    m_pPoints = corners;
    m_nCount = 4;
    m_bBorrowed = 0;
}
