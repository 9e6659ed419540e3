#include "platform/mapproj/polygon_rr.h"

#include "geometry/polykit/poly_clip.h"
#include "platform/mapproj/outline.h"
#include "platform/xformkit/transform_wa.h"
#include "core/logger.h"

#include <cmath>
#include <vector>

using namespace mapproj;

namespace {

gpc_polygon* NewPolygon(const Ring& ring)
{
    auto* poly = new gpc_polygon{0, nullptr};
    if (ring.size() >= 3) {
        std::vector<POINT2> pts;
        pts.reserve(ring.size());
        for (const Pt& p : ring) pts.push_back({static_cast<float>(p.x), static_cast<float>(p.y)});
        gpc_vertex_list contour{static_cast<int32_t>(pts.size()), pts.data()};
        CPolyClip::gpc_add_contour(poly, &contour);
    }
    return poly;
}

bool ValidArgs(int srcWidth, int srcHeight, int frameWidth, int frameHeight, float r, float q)
{
    return srcWidth > 0 && srcHeight > 0 && frameWidth > 0 && frameHeight > 0 && std::isfinite(r) && r > 0 &&
           std::isfinite(q) && q > 0;
}

}  // namespace

gpc_polygon* CPolygonRR::MapImgBoundsRR(int srcWidth, int srcHeight, int frameWidth, int frameHeight, float r,
                                        float a, float b, float q, float c, float, gpc_polygon** frame,
                                        gpc_polygon** overlap)
{
    if (frame) *frame = nullptr;
    if (overlap) *overlap = nullptr;
    if (!ValidArgs(srcWidth, srcHeight, frameWidth, frameHeight, r, q)) {
        Logger::log("ERROR CPolygonRR::MapImgBoundsRR: invalid sizes %d*%d -> %d*%d or scale r=%f q=%f", 1, srcWidth,
                    srcHeight, frameWidth, frameHeight, double(r), double(q));
        return nullptr;
    }
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = r;
    p.rcpF2 = r / q;
    p.angA = a;
    p.angB = b;
    p.angC = c;
    const Ring outline = MapOutline(srcWidth, srcHeight, frameWidth, frameHeight, p);
    if (frame) *frame = NewPolygon(PixelAreaRect(frameWidth, frameHeight));
    if (overlap) {
        *overlap = NewPolygon(ClipRect(outline, -0.5, -0.5, frameWidth - 0.5, frameHeight - 0.5));
    }
    return NewPolygon(outline);
}

gpc_polygon* CPolygonRR::MapImgBoundSPolarRR(int srcWidth, int srcHeight, int frameWidth, int frameHeight, float r,
                                             float a, float b, float q, float c, float unused, gpc_polygon** frame)
{
    return MapImgBoundsRR(srcWidth, srcHeight, frameWidth, frameHeight, r, a, b, q, c, unused, frame, nullptr);
}

float CPolygonRR::TwoImgsOverlapArea(Image* img2, Image* img1, const PAIR_WALIGN_RR_PRMS2* prms)
{
    if (!img1 || !img2 || !prms) {
        Logger::log("ERROR CPolygonRR::TwoImgsOverlapArea: missing image or parameters", 1);
        return 0.0f;
    }
    PAIR_WALIGN_RR_PRMS2 inverse;
    CTransformWA::InvertAlignPrmsRR2(prms, &inverse);
    if (!ValidArgs(img2->GetWidth(), img2->GetHeight(), img1->GetWidth(), img1->GetHeight(), inverse.rcpF1,
                   inverse.rcpF2)) {
        Logger::log("ERROR CPolygonRR::TwoImgsOverlapArea: invalid images or parameters", 1);
        return 0.0f;
    }
    const Ring outline = MapOutline(img2->GetWidth(), img2->GetHeight(), img1->GetWidth(), img1->GetHeight(), inverse);
    return static_cast<float>(
        Area(ClipRect(outline, -0.5, -0.5, img1->GetWidth() - 0.5, img1->GetHeight() - 0.5)));
}

gpc_polygon* CPolygonRR::MakeImgBound(int width, int height)
{
    if (width < 1 || height < 1) {
        Logger::log("ERROR CPolygonRR::MakeImgBound image size %d x %d", 1, width, height);
        return nullptr;
    }
    // Pixel centres sit at x - W / 2; their area reaches half a pixel beyond.
    const float x0 = -0.5f - 0.5f * static_cast<float>(width), y0 = -0.5f - 0.5f * static_cast<float>(height);
    const float x1 = x0 + static_cast<float>(width), y1 = y0 + static_cast<float>(height);
    POINT2 v[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    gpc_vertex_list contour{4, v};
    auto* p = new gpc_polygon{0, nullptr};
    CPolyClip::gpc_add_contour(p, &contour);
    return p;
}
