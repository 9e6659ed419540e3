#include "align/pairlock/ref_select.h"

#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "core/logger.h"
#include "platform/utilkit/regions.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr int kMaxTemplates = 1 << 20;  // far beyond any real overlap grid

// Mode constants: number of templates aimed at, box size as a factor of the
// step, smallest box side, search range as a factor of the box.
struct ModeConstants {
    int numWanted;
    float fBox;
    int minTmpl;
    float fRange;
};

ModeConstants ConstantsFor(int mode)
{
    switch (mode) {
    case CRefSelect::kCoarse: return {40, 1.0f, 25, 1.1f};
    case CRefSelect::kRefine: return {30, 1.2f, 30, 0.9f};
    case CRefSelect::kRefineFine: return {50, 1.05f, 30, 0.5f};
    default: return {15, 1.0f, 15, 2.0f};  // contour match
    }
}

// Search range from a box side: at least 10.
int RangeFromBox(int side, float factor)
{
    const int r = static_cast<int>(static_cast<float>(side) * factor);
    return r < 11 ? 10 : r;
}

}  // namespace

void FillTmplSections(int nx, int ny, const std::function<bool(int)>& qualifies, TMPL_SECTION* rows,
                      TMPL_SECTION* cols)
{
    auto scan = [&](int n, auto index, TMPL_SECTION* sec) {
        TMPL_SECTION s{-1, -2, -1, 0};
        for (int i = 0; i < n; ++i) {
            if (!qualifies(index(i))) continue;
            if (s.count == 0) {
                s.first = s.last = i;
                s.count = 1;
            } else {
                ++s.last;
                ++s.count;
            }
        }
        if (s.count > 0) s.span = s.last - s.first + 1;
        *sec = s;
    };
    if (rows)
        for (int iy = 0; iy < ny; ++iy) scan(nx, [&](int ix) { return iy * nx + ix; }, &rows[iy]);
    if (cols)
        for (int ix = 0; ix < nx; ++ix) scan(ny, [&](int iy) { return iy * nx + ix; }, &cols[ix]);
}

CRefSelect::CRefSelect() = default;

CRefSelect::CRefSelect(int width, int height, gpc_polygon* overlap, REGION* search)
{
    InitPrms(width, height, overlap, search);
}

CRefSelect::~CRefSelect() = default;

void CRefSelect::FreeArrays()
{
    m_pBoxArea.reset();
    m_pSecRow.reset();
    m_pSecCol.reset();
}

void CRefSelect::ClearGrid()
{
    m_wdTmpl = m_htTmpl = 0;
    m_x0Tmpl = m_y0Tmpl = 0;
    m_dxTmpl = m_dyTmpl = 0;
    m_nxTmpl = m_nyTmpl = m_numTmpl = 0;
    m_minArea = 0;
}

int CRefSelect::InitPrms(int width, int height, gpc_polygon* overlap, REGION* search)
{
    FreeArrays();
    ClearGrid();
    m_mode = 0;
    m_pctArea = 70;
    m_width = width;
    m_height = height;
    m_pOverlap = nullptr;
    m_areaOverlap = 0.0f;
    m_bbOverlap = REGION2{};
    m_rgnSearch = search ? *search : REGION{0, 0, width - 1, height - 1, width, height};
    m_rgnUnion = REGION{};
    if (!overlap || overlap->count < 1 || !overlap->contours || overlap->contours[0].count < 3 ||
        !overlap->contours[0].points) {
        Logger::log("ERROR CRefSelect::InitPrms: the overlap polygon has no contour", 1);
        return 0;
    }
    m_pOverlap = overlap;
    gpc_vertex_list& ring = overlap->contours[0];
    CPolyGeom geom;
    geom.CalcBoundBox(ring.points, ring.count, &m_bbOverlap);
    m_areaOverlap = geom.CalcArea(ring.points, ring.count);

    REGION polyBox;
    polyBox.x0 = static_cast<int>(m_bbOverlap.left) + 1;
    polyBox.y0 = static_cast<int>(m_bbOverlap.top) + 1;
    polyBox.x1 = static_cast<int>(m_bbOverlap.right);
    polyBox.y1 = static_cast<int>(m_bbOverlap.bottom);
    polyBox.width = polyBox.x1 - polyBox.x0 + 1;
    polyBox.height = polyBox.y1 - polyBox.y0 + 1;
    CRegions::CalcUnion2D(&m_rgnSearch, &polyBox, &m_rgnUnion);
    return 1;
}

bool CRefSelect::InitRefPrms()
{
    const ModeConstants c = ConstantsFor(m_mode);
    m_numWanted = c.numWanted;
    m_fWdTmpl = m_fHtTmpl = c.fBox;
    m_minTmpl = c.minTmpl;
    m_fRange = c.fRange;
    bool ok;
    if (m_mode == kCoarse)
        ok = InitRefPrms_Coarse();
    else if (m_mode == kRefine || m_mode == kRefineFine)
        ok = InitRefPrms_Refine();
    else
        ok = InitRefPrms_CtMatch();
    if (!ok) ClearGrid();
    return ok;
}

int CRefSelect::BoxSide(int step, float factor) const
{
    const int side = static_cast<int>(static_cast<float>(step) * factor);
    return side > m_minTmpl ? side : m_minTmpl;
}

bool CRefSelect::LayStepsAndBox()
{
    if (m_numWanted < 1 || !(m_areaOverlap > 0.0f)) return false;
    const int s = static_cast<int>(std::sqrt(m_areaOverlap / static_cast<float>(m_numWanted)));
    if (s < 1) return false;
    m_dxTmpl = m_dyTmpl = s;
    // At least five steps across the polygon's box in each direction.
    if (!(m_bbOverlap.width / static_cast<float>(m_dxTmpl) >= 5.0f))
        m_dxTmpl = static_cast<int>(m_bbOverlap.width / 5.0);
    if (!(m_bbOverlap.height / static_cast<float>(m_dyTmpl) >= 5.0f))
        m_dyTmpl = static_cast<int>(m_bbOverlap.height / 5.0);
    if (m_dxTmpl < 1 || m_dyTmpl < 1) return false;  // a box under 5 pixels: no grid
    m_wdTmpl = BoxSide(m_dxTmpl, m_fWdTmpl);
    m_htTmpl = BoxSide(m_dyTmpl, m_fHtTmpl);
    return true;
}

bool CRefSelect::SpreadCentres(int first, int last, int* count, int* step)
{
    if (last < first || *step < 1) return false;
    const int n = (last - first) / *step + 1;
    *count = n >= 4 ? n : 3;
    // The first and last centres stay put; the step shrinks to fit.
    *step = (last - first) / (*count - 1);
    return *step >= 1;
}

bool CRefSelect::InitRefPrms_Coarse()
{
    if (!InitRefPrms_Refine()) return false;
    m_rangeX = RangeFromBox(m_wdTmpl, m_fRange);
    m_rangeY = m_rangeX;
    return true;
}

bool CRefSelect::InitRefPrms_Refine()
{
    if (!LayStepsAndBox()) return false;
    const int x0 = std::max(static_cast<int>(m_bbOverlap.left) + m_wdTmpl / 2, m_rgnUnion.x0 + m_wdTmpl);
    const int x1 = std::min(static_cast<int>(m_bbOverlap.right) - m_wdTmpl / 2, m_rgnUnion.x1 - m_wdTmpl);
    if (!SpreadCentres(x0, x1, &m_nxTmpl, &m_dxTmpl)) return false;
    m_x0Tmpl = x0;
    const int y0 = std::max(static_cast<int>(m_bbOverlap.top) + m_htTmpl / 2, m_rgnUnion.y0 + m_htTmpl);
    const int y1 = std::min(static_cast<int>(m_bbOverlap.bottom) - m_htTmpl / 2, m_rgnUnion.y1 - m_htTmpl);
    if (!SpreadCentres(y0, y1, &m_nyTmpl, &m_dyTmpl)) return false;
    m_y0Tmpl = y0;
    m_wdTmpl = BoxSide(m_dxTmpl, m_fWdTmpl);
    m_htTmpl = BoxSide(m_dyTmpl, m_fHtTmpl);
    if (static_cast<long long>(m_nxTmpl) * m_nyTmpl > kMaxTemplates) return false;
    m_numTmpl = m_nxTmpl * m_nyTmpl;
    m_minArea = m_wdTmpl * m_htTmpl * m_pctArea / 100;
    return true;
}

bool CRefSelect::InitRefPrms_CtMatch()
{
    if (!LayStepsAndBox()) return false;
    // Half a box width from the sides, a whole box height from top and bottom.
    const int x0 = std::max(static_cast<int>(m_bbOverlap.left) + m_wdTmpl / 2, m_wdTmpl);
    const int x1 = std::min(static_cast<int>(m_bbOverlap.right) - m_wdTmpl / 2, m_width - m_wdTmpl);
    if (!SpreadCentres(x0, x1, &m_nxTmpl, &m_dxTmpl)) return false;
    m_x0Tmpl = x0;
    const int y0 = std::max(static_cast<int>(m_bbOverlap.top) + m_htTmpl, m_htTmpl);
    const int y1 = std::min(static_cast<int>(m_bbOverlap.bottom) - m_htTmpl, m_height - m_htTmpl);
    if (!SpreadCentres(y0, y1, &m_nyTmpl, &m_dyTmpl)) return false;
    m_y0Tmpl = y0;
    m_wdTmpl = m_dxTmpl;
    m_htTmpl = m_dyTmpl;
    if (static_cast<long long>(m_nxTmpl) * m_nyTmpl > kMaxTemplates) return false;
    m_numTmpl = m_nxTmpl * m_nyTmpl;
    m_minArea = m_wdTmpl * m_htTmpl * m_pctArea / 100;
    // Odd ranges: the correlation window is centred on the template.
    m_rangeX = RangeFromBox(m_wdTmpl, m_fRange) / 2 * 2 + 1;
    m_rangeY = RangeFromBox(m_htTmpl, m_fRange) / 2 * 2 + 1;
    return true;
}

void CRefSelect::CalcBoxAreas()
{
    m_pBoxArea.reset();
    if (m_numTmpl < 1 || !m_pOverlap) return;
    m_pBoxArea.reset(new (std::nothrow) int[m_numTmpl]());
    if (!m_pBoxArea) {
        Logger::log("ERROR CRefSelect::CalcBoxAreas: cannot allocate m_pBoxArea: m_numTmpl=%d", 1, m_numTmpl);
        return;
    }
    CPolyGeom geom;
    CPolyClip clip;
    for (int iy = 0; iy < m_nyTmpl; ++iy) {
        const int cy = m_y0Tmpl + iy * m_dyTmpl;
        for (int ix = 0; ix < m_nxTmpl; ++ix) {
            const int cx = m_x0Tmpl + ix * m_dxTmpl;
            REGION box;
            box.x0 = cx - m_wdTmpl / 2;
            box.y0 = cy - m_htTmpl / 2;
            box.x1 = box.x0 + m_wdTmpl - 1;
            box.y1 = box.y0 + m_htTmpl - 1;
            box.width = m_wdTmpl;
            box.height = m_htTmpl;
            int area = 0;
            if (gpc_polygon* inside = geom.IntPolygonBox(m_pOverlap, &box)) {
                if (inside->count >= 1 && inside->contours)
                    area = static_cast<int>(geom.CalcArea(inside->contours[0].points, inside->contours[0].count));
                clip.gpc_free_polygon(inside);
                delete inside;
            }
            m_pBoxArea[iy * m_nxTmpl + ix] = area;
        }
    }
}

bool CRefSelect::Qualifies(int k) const
{
    return m_pBoxArea && k >= 0 && k < m_numTmpl && m_pBoxArea[k] >= m_minArea;
}

void CRefSelect::CalcSecRow()
{
    m_pSecRow.reset();
    if (m_nyTmpl < 1) return;
    m_pSecRow.reset(new (std::nothrow) TMPL_SECTION[m_nyTmpl]);
    if (!m_pSecRow) {
        Logger::log("ERROR CRefSelect::CalcSecRow: cannot allocate m_pSecRow: m_nyTmpl=%d", 1, m_nyTmpl);
        return;
    }
    FillTmplSections(m_nxTmpl, m_nyTmpl, [this](int k) { return Qualifies(k); }, m_pSecRow.get(), nullptr);
}

void CRefSelect::CalcSecCol()
{
    m_pSecCol.reset();
    if (m_nxTmpl < 1) return;
    m_pSecCol.reset(new (std::nothrow) TMPL_SECTION[m_nxTmpl]);
    if (!m_pSecCol) {
        Logger::log("ERROR CRefSelect::CalcSecCol: cannot allocate m_pSecCol: m_nxTmpl=%d", 1, m_nxTmpl);
        return;
    }
    FillTmplSections(m_nxTmpl, m_nyTmpl, [this](int k) { return Qualifies(k); }, nullptr, m_pSecCol.get());
}

int CRefSelect::MainRefSelect()
{
    if (!m_pOverlap || m_areaOverlap < kMinOverlapArea) return 0;
    FreeArrays();
    if (!InitRefPrms()) return 0;
    CalcBoxAreas();
    CalcSecRow();
    CalcSecCol();
    if (!m_pBoxArea || !m_pSecRow || !m_pSecCol) {
        FreeArrays();
        return 0;
    }
    return 1;
}

POINT CRefSelect::GetTmplCtr(int ix, int iy) { return POINT{m_x0Tmpl + ix * m_dxTmpl, m_y0Tmpl + iy * m_dyTmpl}; }
