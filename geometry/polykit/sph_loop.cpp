#include "geometry/polykit/sph_loop.h"

#include "geometry/polykit/poly_alloc.h"

#include "core/logger.h"

#include <cmath>
#include <cstring>

CSphLoop::CSphLoop() { InitPrms(); }

CSphLoop::CSphLoop(const POINT2* points, int n)
{
    InitPrms();
    if (n <= 0) return;
    m_pPoints = polykit::AllocArray<POINT2>(static_cast<size_t>(n));
    if (points) std::memcpy(m_pPoints, points, static_cast<size_t>(n) * sizeof(POINT2));
    m_pNodeType = polykit::AllocArray<int32_t>(static_cast<size_t>(n));
    m_nPoints = n;
}

CSphLoop::~CSphLoop() { FreeArrays(); }

CSphLoop::CSphLoop(const CSphLoop& other) { CopyFrom(other); }

CSphLoop& CSphLoop::operator=(const CSphLoop& other)
{
    if (this != &other) {
        CSphLoop copy(other);
        FreeArrays();
        std::swap(m_pPoints, copy.m_pPoints);
        std::swap(m_pNodeType, copy.m_pNodeType);
        std::swap(m_pFlat, copy.m_pFlat);
        m_nPoints = copy.m_nPoints;
        m_minLat = copy.m_minLat;
        m_maxLat = copy.m_maxLat;
        m_minLon = copy.m_minLon;
        m_maxLon = copy.m_maxLon;
        m_turn = copy.m_turn;
        m_halfTurn = copy.m_halfTurn;
        m_nStart = copy.m_nStart;
        m_nCross = copy.m_nCross;
        m_maxCrossLat = copy.m_maxCrossLat;
        m_minCrossLat = copy.m_minCrossLat;
        m_maxCrossIdx = copy.m_maxCrossIdx;
        m_minCrossIdx = copy.m_minCrossIdx;
        m_bTopPole = copy.m_bTopPole;
        m_bBottomPole = copy.m_bBottomPole;
        m_nFlat = copy.m_nFlat;
    }
    return *this;
}

void CSphLoop::CopyFrom(const CSphLoop& o)
{
    m_nPoints = o.m_nPoints;
    m_minLat = o.m_minLat;
    m_maxLat = o.m_maxLat;
    m_minLon = o.m_minLon;
    m_maxLon = o.m_maxLon;
    m_turn = o.m_turn;
    m_halfTurn = o.m_halfTurn;
    m_nStart = o.m_nStart;
    m_nCross = o.m_nCross;
    m_maxCrossLat = o.m_maxCrossLat;
    m_minCrossLat = o.m_minCrossLat;
    m_maxCrossIdx = o.m_maxCrossIdx;
    m_minCrossIdx = o.m_minCrossIdx;
    m_bTopPole = o.m_bTopPole;
    m_bBottomPole = o.m_bBottomPole;
    m_nFlat = o.m_nFlat;
    try {
        const size_t n = o.m_pPoints ? static_cast<size_t>(o.m_nPoints) : 0;
        m_pPoints = polykit::AllocArray<POINT2>(n);
        if (n) std::memcpy(m_pPoints, o.m_pPoints, n * sizeof(POINT2));
        const size_t t = o.m_pNodeType ? static_cast<size_t>(o.m_nPoints) : 0;
        m_pNodeType = polykit::AllocArray<int32_t>(t);
        if (t) std::memcpy(m_pNodeType, o.m_pNodeType, t * sizeof(int32_t));
        const size_t f = o.m_pFlat ? static_cast<size_t>(o.m_nFlat) : 0;
        m_pFlat = polykit::AllocArray<POINT2>(f);
        if (f) std::memcpy(m_pFlat, o.m_pFlat, f * sizeof(POINT2));
    } catch (...) {
        FreeArrays();
        throw;
    }
}

void CSphLoop::FreeArrays()
{
    polykit::FreeArray(m_pNodeType);
    polykit::FreeArray(m_pFlat);
    polykit::FreeArray(m_pPoints);
    m_pNodeType = nullptr;
    m_pFlat = nullptr;
    m_pPoints = nullptr;
}

void CSphLoop::InitPrms()
{
    FreeArrays();
    m_nPoints = 0;
    m_minLat = -1.5707964f;
    m_maxLat = 1.5707964f;
    m_minLon = -3.1415927f;
    m_maxLon = 3.1415927f;
    m_turn = 6.2831855f;
    m_halfTurn = 3.1415927f;
    m_nStart = 0;
    m_nCross = 0;
    m_maxCrossLat = 0;
    m_minCrossLat = 0;
    m_maxCrossIdx = -1;
    m_minCrossIdx = -1;
    m_bTopPole = 0;
    m_bBottomPole = 0;
    m_nFlat = 0;
}

int CSphLoop::LabelOneNodeType(int i)
{
    if (!m_pPoints || !m_pNodeType || i < 0 || i >= m_nPoints) return -1;
    const int j = (i + 1) % m_nPoints;
    const POINT2& a = m_pPoints[i];
    const POINT2& b = m_pPoints[j];
    const float dx = b.x - a.x;
    int type = 0;
    if (std::fabs(dx) >= m_halfTurn) {
        ++m_nCross;
        // The seam's latitude by linear interpolation across the seam; an
        // edge spanning exactly a whole turn has no defined crossing and
        // takes the mean latitude.
        float lat;
        if (dx > 0) {
            type = 1;
            const float span = m_turn - dx;
            lat = std::fabs(span) > 1e-12f ? a.y + (b.y - a.y) * (a.x - m_minLon) / span : (a.y + b.y) / 2;
        } else {
            type = 2;
            const float span = m_turn + dx;
            lat = std::fabs(span) > 1e-12f ? b.y + (a.y - b.y) * (b.x - m_minLon) / span : (a.y + b.y) / 2;
        }
        if (lat > m_maxCrossLat) {
            m_maxCrossLat = lat;
            m_maxCrossIdx = i;
        }
        if (lat < m_minCrossLat) {
            m_minCrossLat = lat;
            m_minCrossIdx = i;
        }
    }
    m_pNodeType[i] = type;
    return type;
}

bool CSphLoop::LabelAllNodeType()
{
    m_bTopPole = 0;
    m_bBottomPole = 0;
    m_nCross = 0;
    m_maxCrossIdx = -1;
    m_minCrossIdx = -1;
    m_maxCrossLat = m_minLat;
    m_minCrossLat = m_maxLat;
    if (!m_pPoints || !m_pNodeType || m_nPoints <= 0) return false;
    const int start = ((m_nStart % m_nPoints) + m_nPoints) % m_nPoints;
    for (int k = 0; k < m_nPoints; ++k) LabelOneNodeType((start + k) % m_nPoints);
    if (m_nCross > 0) {
        if (m_maxCrossIdx >= 0 && m_pNodeType[m_maxCrossIdx] == 1) {
            m_bTopPole = 1;
            m_pNodeType[m_maxCrossIdx] = 3;
        } else if (m_minCrossIdx >= 0 && m_pNodeType[m_minCrossIdx] == 2) {
            m_bBottomPole = 1;
            m_pNodeType[m_minCrossIdx] = 4;
        }
    }
    return m_bTopPole || m_bBottomPole;
}

int CSphLoop::MakeFlatPolygon()
{
    polykit::FreeArray(m_pFlat);
    m_pFlat = nullptr;
    m_nFlat = 0;
    if (!m_pPoints || !m_pNodeType || m_nPoints <= 0) return 0;
    const int room = m_nPoints + 4 * (m_bTopPole ? 1 : 0) + 4 * (m_bBottomPole ? 1 : 0);
    m_pFlat = polykit::AllocArray<POINT2>(static_cast<size_t>(room));
    int k = 0;
    auto put = [&](float x, float y) {
        if (k < room) m_pFlat[k++] = POINT2{x, y};
    };
    const int start = ((m_nStart % m_nPoints) + m_nPoints) % m_nPoints;
    // A small positive offset keeps vertices on the map's left edge off it.
    float c = 0.00001f;
    for (int step = 0; step < m_nPoints; ++step) {
        const int i = (start + step) % m_nPoints;
        put(m_pPoints[i].x + c, m_pPoints[i].y);
        switch (m_pNodeType[i]) {
        case 1:
            c -= m_turn;
            break;
        case 2:
            c += m_turn;
            break;
        case 3:
            put(m_minLon - c, m_maxCrossLat);
            put(m_minLon - c, m_maxLat);
            put(m_maxLon + c, m_maxLat);
            put(m_maxLon + c, m_maxCrossLat);
            break;
        case 4:
            put(m_maxLon + c, m_minCrossLat);
            put(m_maxLon + c, m_minLat);
            put(m_minLon - c, m_minLat);
            put(m_minLon - c, m_minCrossLat);
            break;
        default:
            break;
        }
    }
    m_nFlat = k;
    return m_nFlat;
}

int CSphLoop::MainSphLoop()
{
    LabelAllNodeType();
    return MakeFlatPolygon();
}
