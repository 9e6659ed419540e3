#include "segment/edgematch/ct_cc_maps.h"

#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "imaging/image.h"
#include "platform/mapproj/polygon_rr.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"
#include "segment/edgematch/ct_dist_map.h"
#include "imaging/value_image.h"
#include "segment/regionkit/reg_tree.h"

#include <algorithm>
#include <cmath>

namespace {

// The polygons of this file: released by the clipper, then deleted.
struct PolygonDeleter {
    void operator()(gpc_polygon* p) const
    {
        CPolyClip::gpc_free_polygon(p);
        delete p;
    }
};
using PolygonPtr = std::unique_ptr<gpc_polygon, PolygonDeleter>;

// Add 0.5 and truncate, for coordinates that fit an int; false otherwise.
bool RoundToInt(float v, int* out)
{
    const float r = v + 0.5f;
    if (!std::isfinite(r) || r < -1.0e9f || r > 1.0e9f) return false;
    *out = static_cast<int>(r);
    return true;
}

// Selection mode for contour matching (any mode but the coarse and refine ones).
constexpr int kContourMatchMode = 2;

}  // namespace

void CCtCCMaps::Reset()
{
    m_ppMap.clear();
    m_numMap = 0;
    m_pHits.clear();
    m_hitsWidth = m_hitsHeight = 0;
    m_rgnGrid = REGION{0, 0, -1, -1, 0, 0};
    m_rgnBound2 = REGION{0, 0, -1, -1, 0, 0};
}

bool CCtCCMaps::Make(CCtDistMap* dm, CRegTree* tree2, int level2, const PAIR_WALIGN_RR_PRMS2* pair)
{
    Reset();
    if (!dm || !dm->GetMap() || !tree2 || tree2->GetNumLevels() < 1 || !pair) {
        Logger::log("ERROR CCtCCMaps::Make() missing distance map, second tree or pair", 1);
        return false;
    }
    m_pDistMap1 = dm;
    m_pTree2 = tree2;
    m_levelTree2 = tree2->ClampLevel(level2 < 0 ? dm->GetLevel() : level2);

    m_pPrms = std::make_unique<PAIR_WALIGN_RR_PRMS2>();
    CTransformWA::InvertAlignPrmsRR2(pair, m_pPrms.get());
    if (!CTransformWA::PairAlignPrmsRR2toM(m_pPrms.get(), nullptr, nullptr, m_M)) return false;

    int w2 = 0, h2 = 0;
    tree2->GetDimension(w2, h2);
    const PAIR_WALIGN_RR_PRMS2& p = *m_pPrms;
    PolygonPtr overlap(CPolygonRR::MapImgBoundsRR(w2 + 1, h2 + 1, dm->GetWidth(), dm->GetHeight(), p.rcpF1, p.angA,
                                                  p.angB, p.rcpF1 / p.rcpF2, p.angC, 0.0f, nullptr, nullptr));
    // No outline, or one with no contour (nothing maps): nothing to match.
    if (!overlap || overlap->count < 1 || !overlap->contours || overlap->contours[0].count < 3) {
        Logger::log("CCtCCMaps::Make() the second image does not map into the first", 3);
        return false;
    }
    if (!InitPrms(dm->GetWidth(), dm->GetHeight(), overlap.get(), nullptr)) return false;
    m_farValue = dm->GetCap() + 5;
    DrawOnePt2Array(overlap->contours[0].points, overlap->contours[0].count, 100, 200, 0.5f, 663295);

    SetAlignMode(kContourMatchMode);
    const bool laidOut = MainRefSelect() == 1 && m_dxTmpl > 0 && m_dyTmpl > 0 && m_numTmpl > 0;
    if (laidOut) {
        m_rgnGrid.x0 = m_x0Tmpl - m_wdTmpl / 2;
        m_rgnGrid.y0 = m_y0Tmpl - m_htTmpl / 2;
        m_rgnGrid.x1 = m_rgnGrid.x0 + m_nxTmpl * m_dxTmpl - 1;
        m_rgnGrid.y1 = m_rgnGrid.y0 + m_nyTmpl * m_dyTmpl - 1;
    }
    BoundInSecondImage(overlap.get(), pair);
    if (laidOut) MakeMaps();
    Accumulate();
    m_pOverlap = nullptr;  // the polygon goes with this call
    return true;
}

// The overlap's bounding box in the second image: the polygon (first image,
// top-left pixels) carried by the pair into the second image.
void CCtCCMaps::BoundInSecondImage(const gpc_polygon* overlap, const PAIR_WALIGN_RR_PRMS2* pair)
{
    float forward[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(pair, nullptr, nullptr, forward)) return;
    PolygonPtr copy(CPolyGeom::CopyPolygon(overlap));
    if (!copy || copy->count < 1) return;
    int w2 = 0, h2 = 0;
    m_pTree2->GetDimension(w2, h2);
    gpc_vertex_list& contour = copy->contours[0];
    const float cx1 = static_cast<float>(m_pDistMap1->GetWidth() / 2);
    const float cy1 = static_cast<float>(m_pDistMap1->GetHeight() / 2);
    for (int i = 0; i < contour.count; ++i) {
        POINT2 centred{contour.points[i].x - cx1, contour.points[i].y - cy1};
        CTransformWA::TransformPtRR2(&centred, &centred, forward);
        contour.points[i] = centred;
    }
    const POINT2 centre2{static_cast<float>((w2 + 1) / 2), static_cast<float>((h2 + 1) / 2)};
    CPolyGeom::ShiftPolygon(contour.points, contour.points, contour.count, &centre2);
    REGION2 box;
    CPolyGeom::CalcBoundBox(contour.points, contour.count, &box);
    int x0, y0, x1, y1;
    if (!RoundToInt(box.left, &x0) || !RoundToInt(box.top, &y0) || !RoundToInt(box.right, &x1) ||
        !RoundToInt(box.bottom, &y1))
        return;
    m_rgnBound2 = REGION{x0, y0, x1, y1, x1 - x0 + 1, y1 - y0 + 1};
}

void CCtCCMaps::MakeMaps()
{
    m_hx = m_rangeX / 2;
    m_hy = m_rangeY / 2;
    m_ppMap.resize(static_cast<size_t>(m_numTmpl));
    for (int iy = 0; iy < m_nyTmpl; ++iy) {
        for (int ix = 0; ix < m_nxTmpl; ++ix) {
            const int k = iy * m_nxTmpl + ix;
            if (!Qualifies(k)) continue;
            auto map = std::make_unique<CtShiftMap>();
            map->col = ix;
            map->row = iy;
            map->cx = m_x0Tmpl + ix * m_dxTmpl;
            map->cy = m_y0Tmpl + iy * m_dyTmpl;
            map->sums.reset(new float[static_cast<size_t>(m_rangeX) * m_rangeY]());
            map->x0 = map->cx - m_hx;
            map->y0 = map->cy - m_hy;
            map->x1 = map->cx + m_hx;
            map->y1 = map->cy + m_hy;
            map->rangeX = m_rangeX;
            map->rangeY = m_rangeY;
            m_ppMap[k] = std::move(map);
            ++m_numMap;
        }
    }
}

// Every point (x, y) of the map's window around q adds the distance value
// there, or the far value where the distance map is 0, at shift (x - qx,
// y - qy). Columns run to the upper bound, rows stop before it.
void CCtCCMaps::AddPoint(CtShiftMap& map, int qx, int qy)
{
    ++map.hits;
    const CCtDistMap& dm = *m_pDistMap1;
    const int yEnd = std::min(qy + m_hy, dm.GetHeight() - 2);
    const int xEnd = std::min({qx + m_hx, dm.GetWidth() - 2, qx - m_hx + map.rangeX - 1});
    for (int y = std::max(1, qy - m_hy); y < yEnd; ++y) {
        float* row = map.sums.get() + static_cast<size_t>(y - (qy - m_hy)) * map.rangeX;
        for (int x = std::max(1, qx - m_hx); x <= xEnd; ++x) {
            const int d = dm.At(x, y);
            row[x - (qx - m_hx)] += static_cast<float>(d != 0 ? d : m_farValue);
        }
    }
}

void CCtCCMaps::Accumulate()
{
    const CCtDistMap& dm = *m_pDistMap1;
    m_hitsWidth = dm.GetWidth();
    m_hitsHeight = dm.GetHeight();
    m_pHits.assign(static_cast<size_t>(m_hitsWidth) * m_hitsHeight, 0);
    int w2 = 0, h2 = 0;
    m_pTree2->GetDimension(w2, h2);
    const int stride2 = w2 + 1;
    const float cx2 = static_cast<float>((w2 + 1) / 2), cy2 = static_cast<float>((h2 + 1) / 2);
    const float cx1 = static_cast<float>(m_hitsWidth / 2), cy1 = static_cast<float>(m_hitsHeight / 2);
    const REGION& g = m_rgnGrid;
    const REGION& b2 = m_rgnBound2;

    CRegTree::BorderIterator it(m_pTree2, m_levelTree2);
    for (BorderSegment* seg = *it; seg; ++it, seg = *it) {
        BorderSegment::iterator pt(seg);
        if (pt.IsDone()) continue;
        do {
            const int x = *pt % stride2, y = *pt / stride2;
            if (x < b2.x0 || x > b2.x1 || y < b2.y0 || y > b2.y1) continue;
            const POINT2 p{static_cast<float>(x) - cx2, static_cast<float>(y) - cy2};
            POINT2 m;
            if (!CTransformWA::TransformPtRR2(&p, &m, m_M)) continue;
            int qx, qy;
            if (!RoundToInt(m.x + cx1, &qx) || !RoundToInt(m.y + cy1, &qy)) continue;
            uint8_t mark = 128;
            if (qx >= g.x0 && qx <= g.x1 && qy >= g.y0 && qy <= g.y1) {
                mark = 255;
                const int k = (qx - g.x0) / m_dxTmpl + ((qy - g.y0) / m_dyTmpl) * m_nxTmpl;
                if (k >= 0 && k < static_cast<int>(m_ppMap.size()) && m_ppMap[k]) AddPoint(*m_ppMap[k], qx, qy);
            }
            if (qx >= 0 && qy >= 0 && qx < m_hitsWidth && qy < m_hitsHeight)
                m_pHits[static_cast<size_t>(qy) * m_hitsWidth + qx] = mark;
        } while (++pt);
    }

    if (GetDebugDispFlag()) {
        if (Image* shown = MapToImage(m_pHits.data(), m_hitsWidth, m_hitsHeight, 0, 255)) {
            DisplayImageWin0(shown, nullptr, m_hitsWidth + 1, 0);
            ReleaseImage(shown);
        }
    }
}

void CCtCCMaps::Show(int x, int y)
{
    CreateImageWindow(1000, 920, GetNameDebugWin1());
    if (!GetDebugDispFlag()) return;
    for (const auto& map : m_ppMap) {
        if (!map || map->hits <= 10) continue;
        Image* shown = MapToImage(map->sums.get(), map->rangeX, map->rangeY, -0.5f, 8.0f * map->hits);
        if (!shown) continue;
        DisplayImageWin1(shown, nullptr, x + map->col * m_rangeX, y + map->row * m_rangeY);
        ReleaseImage(shown);
    }
}
