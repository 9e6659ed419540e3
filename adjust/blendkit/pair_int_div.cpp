#include "adjust/blendkit/pair_int_div.h"

#include "adjust/blendkit/div_line_map.h"
#include "adjust/blendkit/inten_pairs.h"
#include "adjust/blendkit/line_vmap.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "geometry/polykit/poly_line_clip.h"
#include "geometry/polykit/poly_seg.h"
#include "platform/mapproj/map_overlap_rr.h"
#include "platform/mapproj/polygon_rr.h"
#include "platform/utilkit/debug_display.h"
#include "platform/panocore/panocore_settings.h"
#include "adjust/blendkit/blend_map.h"
#include "platform/xformkit/transform_rs.h"
#include "platform/xformkit/transform_wa.h"

#include <algorithm>
#include <cmath>

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

void ReleaseBlendPolygons(CBlendPolygons* sides)
{
    if (sides == nullptr) return;
    sides->FreeAll();
    delete sides;
}

bool CPairIntDiv::MainPairIntDiv(Image* a, Image* b, TRANSFORM_RS* ta, TRANSFORM_RS* tb, INTEN_PAIRS* out,
                                 CBlendPolygons** sides)
{
    if (sides != nullptr) sides[0] = sides[1] = nullptr;
    if (out == nullptr) return false;
    PAIR_WALIGN_RR_PRMS2 prms{};
    if (a == nullptr || b == nullptr || ta == nullptr || tb == nullptr ||
        !CTransformWA::GlobalToPairPrms12(ta, tb, &prms)) {
        Logger::log("ERROR CPairIntDiv::MainPairIntDiv needs two images and their placements", 1);
        CIntenPairs::MakeFakeIntenPairs(out);
        return false;
    }
    CMapOverlapRR overlap;
    overlap.InitWAlign12to21(&prms);
    overlap.SetBilinear(true);
    // The samples need room for their boxes and search about the line.
    if (!overlap.MakeOverlapImgs(a, b) || !overlap.CutToOverlap(CLineVMap::kBox / 2 + CLineVMap::kSearch + 4)) {
        CIntenPairs::MakeFakeIntenPairs(out);
        return false;
    }
    Image* oa = overlap.GetImgO1();
    Image* ob = overlap.GetImgO2();
    if (GetDebugDispFlag()) {
        // The two overlap images side by side.
        CreateImageWindow(2 * oa->GetWidth() + 10, oa->GetHeight(), GetNameDebugWin1());
        DisplayImageWin1(oa, nullptr, 0, 0);
        DisplayImageWin1(ob, nullptr, oa->GetWidth() + 10, 0);
    }

    CIntenPairs pairs(oa, ob, overlap.GetOverlapPolygon());
    const bool sampled = pairs.MainIntenPairs(m_nBoxes, m_boxW, m_boxH, out);
    if (sides == nullptr) return sampled;

    if (!MakeBlendSides(a->GetWidth(), a->GetHeight(), b->GetWidth(), b->GetHeight(), prms, sides)) return false;

    // Samples along the line, found in the overlap images: the first
    // image's pixel area and the second's outline, both in overlap pixels.
    const POINT2 o0 = overlap.OverlapToImage1Centred(POINT2{0.0f, 0.0f});
    const int w1 = a->GetWidth(), h1 = a->GetHeight();
    const float left = -0.5f - static_cast<float>(w1 / 2) - o0.x, top = -0.5f - static_cast<float>(h1 / 2) - o0.y;
    POINT2 rect[4] = {{left, top},
                      {left + static_cast<float>(w1), top},
                      {left + static_cast<float>(w1), top + static_cast<float>(h1)},
                      {left, top + static_cast<float>(h1)}};
    gpc_vertex_list rectList{4, rect};
    gpc_polygon frame{1, &rectList};
    POINT offsetA = overlap.GetOffset(), offsetB{0, 0};
    CDivLineRR line(oa, ob, overlap.GetOverlapPolygon(), offsetA, offsetB, 0);
    ONE_DL_V_MAP* samples = nullptr;
    int count = 0;
    if (line.MainDivLineRR(&frame, overlap.GetPolygon(), 0, 0) &&
        CLineVMap::MainLineVMap(oa, ob, &line, &samples, &count)) {
        // Positions along the line data's own direction (its ends may run the
        // other way), points in the first image's centred frame.
        CDivLineData* data = sides[0]->lineData;
        const float length = std::hypot(data->end.x - data->start.x, data->end.y - data->start.y);
        const POINT2 s0 = overlap.OverlapToImage1Centred(*line.GetOneIntJts(0, 0));
        const POINT2 s1 = overlap.OverlapToImage1Centred(*line.GetOneIntJts(0, 1));
        const bool reversed = (s1.x - s0.x) * (data->end.x - data->start.x) +
                                  (s1.y - s0.y) * (data->end.y - data->start.y) <
                              0.0f;
        if (reversed) {
            for (int k = 0; k < count; ++k) samples[k].along = length - samples[k].along;
            std::reverse(samples, samples + count);  // nodes run up the line
        }
        data->samples = samples;
        data->count = count;
    }
    return true;
}

int TestCPairIntDiv(Image* a, Image* b, TRANSFORM_RS* ta, TRANSFORM_RS* tb)
{
    CPairIntDiv div;
    INTEN_PAIRS pairs{nullptr, 0};
    div.MainPairIntDiv(a, b, ta, tb, &pairs, nullptr);
    CPairIntDiv::PrintIntenPairs(&pairs);
    FreeIntenPairs(&pairs);
    return 1;
}

namespace {

// A w x h view, through t, of a sphere painted with smooth stripes.
Image* SelfTestView(int w, int h, const TRANSFORM_RS& t, float gain)
{
    auto* img = new Image(w, h, 3);
    const POINT2 panTilt{t.pan, t.tilt};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const POINT2 p{static_cast<float>(x - w / 2), static_cast<float>(y - h / 2)};
            POINT2 s{};
            CTransformRS::TransformPtWA(1.0f, t.roll, t.rcpFocal, &panTilt, &p, &s);
            const float v = std::sin(31.0f * s.x) * std::cos(27.0f * s.y) + 0.5f * std::sin(97.0f * s.x + 61.0f * s.y);
            unsigned char* d = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + 3 * static_cast<size_t>(x);
            for (int c = 0; c < 3; ++c) d[c] = static_cast<unsigned char>(std::clamp((128.0f + 60.0f * v) * gain, 1.0f, 255.0f));
        }
    return img;
}

}  // namespace

int TestCPairBlendRegions()
{
    // Two 320 x 240 views 30 degrees apart, the second darker; the pair is
    // prepared and both sides' blend maps must share the band's weights.
    TRANSFORM_RS ta{}, tb{};
    ta.rcpFocal = tb.rcpFocal = 1.0f / 280.0f;
    tb.pan = 30.0f * 3.14159265f / 180.0f;
    ta.scale = tb.scale = 1.0f;
    Image* a = SelfTestView(320, 240, ta, 1.0f);
    Image* b = SelfTestView(320, 240, tb, 0.8f);
    CPairIntDiv div;
    INTEN_PAIRS pairs{nullptr, 0};
    CBlendPolygons* sides[2] = {nullptr, nullptr};
    int ok = div.MainPairIntDiv(a, b, &ta, &tb, &pairs, sides) ? 1 : 0;
    if (ok) {
        CBlendMap first(sides[0], &ta, &tb);
        CBlendMap second(sides[0], sides[1], &tb, &ta);
        const CDivLineData* line = sides[0]->lineData;
        POINT2 mid{0.5f * (line->start.x + line->end.x), 0.5f * (line->start.y + line->end.y)};
        float m12[9];
        POINT2 midB{};
        float wa = 0.0f, wb = 0.0f;
        if (!CTransformWA::PairAlignPrmsRR2toM(&sides[1]->pairPrms, nullptr, nullptr, m12) ||
            !CTransformWA::TransformPtRR2(&mid, &midB, m12))
            ok = 0;
        first.GetPtV_MarginRegion(mid, &wa);
        second.GetPtV_MarginRegion(midB, &wb);
        if (std::fabs(wa - 0.5f) > 1e-3f || std::fabs(wb - 0.5f) > 1e-3f || line->count < 5) ok = 0;
    }
    if (!ok) Logger::log("ERROR TestCPairBlendRegions the pair blending regions did not come out", 1);
    for (CBlendPolygons*& s : sides) {
        ReleaseBlendPolygons(s);
        s = nullptr;
    }
    FreeIntenPairs(&pairs);
    ReleaseImage(a);
    ReleaseImage(b);
    return ok;
}
