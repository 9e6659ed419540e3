#include "adjust/blendkit/pair_int_div.h"

#include "adjust/blendkit/div_line_map.h"
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "geometry/polykit/poly_line_clip.h"
#include "geometry/polykit/poly_seg.h"
#include "platform/mapproj/polygon_rr.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/xformkit/transform_wa.h"

#include <algorithm>

namespace {

void FreePolygon(gpc_polygon* p)
{
    if (p == nullptr) return;
    CPolyClip::gpc_free_polygon(p);
    delete p;
}

void ClearSides(CBlendPolygons** sides)
{
    for (int i = 0; i < 2; ++i) {
        if (sides[i] == nullptr) continue;
        sides[i]->FreeAll();
        delete sides[i];
        sides[i] = nullptr;
    }
}

}  // namespace

bool CPairIntDiv::MakeBlendSides(int w1, int h1, int w2, int h2, const PAIR_WALIGN_RR_PRMS2& prms,
                                 CBlendPolygons** sides)
{
    if (sides == nullptr) return false;
    sides[0] = sides[1] = nullptr;
    if (w1 < 1 || h1 < 1 || w2 < 1 || h2 < 1 || !(prms.rcpF1 > 0.0f) || !(prms.rcpF2 > 0.0f)) return false;

    // Second outline and first frame, both in the first image's top-left
    // pixels; the outline is carried by the second -> first transform.
    PAIR_WALIGN_RR_PRMS2 inv;
    CTransformWA::InvertAlignPrmsRR2(&prms, &inv);
    gpc_polygon* frame = nullptr;
    gpc_polygon* outline2 = CPolygonRR::MapImgBoundsRR(w2, h2, w1, h1, inv.rcpF1, inv.angA, inv.angB,
                                                       inv.rcpF1 / inv.rcpF2, inv.angC, 0.0f, &frame);
    if (outline2 == nullptr || frame == nullptr || outline2->count < 1) {
        FreePolygon(outline2);
        FreePolygon(frame);
        return false;
    }
    const POINT2 toCentre{-0.5f * static_cast<float>(w1), -0.5f * static_cast<float>(h1)};
    CPolySeg seg;
    POINT2 start{}, end{};
    bool crossing = seg.TwoPolygonIntSegments(frame, outline2);
    if (crossing) {
        // The first two junctions of the first contour; none when one outline
        // lies wholly inside the other.
        POINT2* j0 = seg.GetOneIntJts(0, 0);
        POINT2* j1 = seg.GetOneIntJts(0, 1);
        crossing = j0 != nullptr && j1 != nullptr;
        if (crossing) {
            start = POINT2{j0->x + toCentre.x, j0->y + toCentre.y};
            end = POINT2{j1->x + toCentre.x, j1->y + toCentre.y};
            const float dx = end.x - start.x, dy = end.y - start.y;
            crossing = dx * dx + dy * dy >= 1.0f;
        }
    }
    if (!crossing) {
        FreePolygon(outline2);
        FreePolygon(frame);
        return false;
    }
    CDivLineMap lineFrame(&start, &end);
    POINT2 centreInLine;
    lineFrame.PtToFrameDL(POINT2{0.0f, 0.0f}, &centreInLine);
    if (centreInLine.x < 0.0f) std::swap(start, end);

    float m12[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&prms, nullptr, nullptr, m12)) {
        FreePolygon(outline2);
        FreePolygon(frame);
        return false;
    }
    const float half = 0.5f * static_cast<float>(std::max(1, GetDivLineBlendWidth()));

    auto* first = new CBlendPolygons;
    auto* second = new CBlendPolygons;
    first->InitAll();
    second->InitAll();
    sides[0] = first;
    sides[1] = second;

    first->drawPlain = 1;
    first->pairPrms = prms;
    first->lineData = new CDivLineData{nullptr, 0, start, end};
    first->bound = CPolygonRR::MakeImgBound(w1, h1);
    // The split keeps the side the segment's normal (d.y, -d.x) points to;
    // the first image's side is the other one, so the segment goes in reversed.
    first->ownRegion = CPolyLineClip::PolygonLineSplitPt(first->bound, end, start, nullptr, false, 0.0f);
    first->band = CPolyLineClip::PolygonLineMargin(first->bound, start, end, -half, 2.0f * half);

    second->drawPlain = 0;
    second->pairPrms = prms;
    second->bound = CPolygonRR::MakeImgBound(w2, h2);
    POINT2 moved[2];
    bool ok = CPolyLineClip::MakeParallelLine(start, end, -half, &moved[0], &moved[1]) &&
              CTransformWA::TransformPtsRR2(moved, moved, 2, m12) == 2;
    if (ok) second->ownRegion = CPolyLineClip::PolygonLineSplitPt(second->bound, moved[0], moved[1], nullptr, false, 0.0f);

    // The band is cut from the second footprint in the first image's centred
    // frame, then carried contour by contour into the second image.
    for (int k = 0; k < outline2->count; ++k) {
        gpc_vertex_list& c = outline2->contours[k];
        CPolyGeom::ShiftPolygon(c.points, c.points, c.count, &toCentre);
    }
    second->band = CPolyLineClip::PolygonLineMargin(outline2, start, end, -half, 2.0f * half);
    if (second->band != nullptr) {
        for (int k = 0; k < second->band->count; ++k) {
            gpc_vertex_list& c = second->band->contours[k];
            if (CTransformWA::TransformPtsRR2(c.points, c.points, c.count, m12) != c.count) ok = false;
        }
    }
    FreePolygon(outline2);
    FreePolygon(frame);
    if (!ok || first->ownRegion == nullptr || first->band == nullptr || second->ownRegion == nullptr ||
        second->band == nullptr) {
        ClearSides(sides);
        return false;
    }
    return true;
}
