#include "adjust/blendkit/blend_rs.h"

#include "core/logger.h"
#include "geometry/polykit/poly_clip.h"
#include "platform/mapproj/make_vantor_rect.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/curvekit/pair_info.h"
#include "projectgraph/framegrp/image_frame.h"

namespace {

struct PolygonHolder {
    gpc_polygon p{0, nullptr};
    ~PolygonHolder() { CPolyClip::gpc_free_polygon(&p); }
};

void CopyInto(const gpc_polygon* src, gpc_polygon* dst)
{
    for (int k = 0; k < src->count; ++k) CPolyClip::gpc_add_contour(dst, &src->contours[k]);
}

}  // namespace

bool BlendOneImageRS(IImageFrame* frame, RectWorldMap* map, IMakeVantorRect* drawer)
{
    if (frame == nullptr || map == nullptr || frame->GetImage() == nullptr || frame->GetImgInfo() == nullptr ||
        frame->GetImgInfo()->GetParams() == nullptr) {
        Logger::log("ERROR BlendOneImageRS needs a frame with its image and placement, and a map", 1);
        return false;
    }
    IImageFrame* nb[2] = {nullptr, nullptr};
    const int n = frame->GetNeighborFramesRL(nb);
    // The link list may hold more than the two neighbours handed out.
    if (auto* own = dynamic_cast<ImageFrame*>(frame); own != nullptr && own->GetNeighbor()->m_count > 2) {
        Logger::log("ERROR BlendOneImageRS a frame with %d neighbours cannot be blended", 1,
                    own->GetNeighbor()->m_count);
        return false;
    }
    CBlendPolygons* mine[2] = {nullptr, nullptr};
    CBlendPolygons* theirs[2] = {nullptr, nullptr};
    TRANSFORM_RS* tn[2] = {nullptr, nullptr};
    for (int i = 0; i < n; ++i) {
        IPairInfo* a = nullptr;
        IPairInfo* b = nullptr;
        frame->GetPairInfo(nb[i], &a, &b);
        mine[i] = a != nullptr ? a->GetBlendPolygons() : nullptr;
        theirs[i] = b != nullptr ? b->GetBlendPolygons() : nullptr;
        tn[i] = nb[i] != nullptr && nb[i]->GetImgInfo() != nullptr ? nb[i]->GetImgInfo()->GetParams() : nullptr;
        if (mine[i] == nullptr || mine[i]->ownRegion == nullptr || mine[i]->band == nullptr || tn[i] == nullptr ||
            (mine[i]->drawPlain != 0 && mine[i]->lineData == nullptr) ||
            (mine[i]->drawPlain == 0 && (theirs[i] == nullptr || theirs[i]->lineData == nullptr))) {
            Logger::log("ERROR BlendOneImageRS no blend polygons towards neighbour %d", 1, i);
            return false;
        }
    }

    CMakeVantorRect own;
    IMakeVantorRect* draw = drawer != nullptr ? drawer : &own;
    Image* img = frame->GetImage();
    TRANSFORM_RS* t = frame->GetImgInfo()->GetParams();
    if (n == 0) return draw->MapImgRS(img, t, map);

    // The own region (both own regions with two neighbours), less the bands,
    // which are drawn next with their weights.
    PolygonHolder plain;
    CopyInto(mine[0]->ownRegion, &plain.p);
    if (n == 2) CPolyClip::gpc_polygon_clip(GPC_INT, &plain.p, mine[1]->ownRegion, &plain.p);
    for (int i = 0; i < n; ++i) CPolyClip::gpc_polygon_clip(GPC_DIFF, &plain.p, mine[i]->band, &plain.p);
    bool ok = plain.p.count == 0 || draw->MapOnePolygon(img, t, map, &plain.p);

    for (int i = 0; i < n; ++i) {
        if (mine[i]->drawPlain != 0) {
            CBlendMap first(mine[i], t, tn[i]);
            CPlainSideMap weights(&first);
            ok = draw->BlendOnePolygon(img, t, map, mine[i]->band, &weights) && ok;
        } else {
            CBlendMap second(theirs[i], mine[i], tn[i], t);
            ok = draw->BlendOnePolygon(img, t, map, mine[i]->band, &second) && ok;
        }
    }
    return ok;
}
