#include "align/pairlock/overlap_rr.h"

#include "core/logger.h"
#include "platform/xformkit/transform_wa.h"
#include "viewer/engine/poly_map_rr.h"

#include <algorithm>
#include <cmath>

namespace {

bool FiniteZoom(float z)
{
    return std::isfinite(z) && z > 0.0f;
}

}  // namespace

COverlapRR::COverlapRR() = default;

COverlapRR::~COverlapRR() = default;

bool COverlapRR::MainOverlapRR(Image* img1, Image* img2, PAIR_WALIGN_RR_PRMS2* prms, float zoomX, float zoomY,
                               int marginX, int marginY, bool)
{
    ReleaseOverlap();
    if (!overlap::UsableImage(img1) || !overlap::UsableImage(img2) || !prms) {
        Logger::log("ERROR COverlapRR::MainOverlapRR: missing or unusable image or parameters", 1);
        return false;
    }
    if (!FiniteZoom(zoomX) || !FiniteZoom(zoomY) || marginX < 0 || marginY < 0 || marginX > 10000 ||
        marginY > 10000) {
        Logger::log("ERROR COverlapRR::MainOverlapRR: bad zoom (%f, %f) or margins (%d, %d)", 1, double(zoomX),
                    double(zoomY), marginX, marginY);
        return false;
    }
    InitWAlign12to21(prms);
    SetZoomMargins(zoomX, zoomY, marginX, marginY);
    return MakeOverlapImgs(img1, img2);
}

bool COverlapRR::WarpRegion(Image* src, Image* dst, const gpc_polygon* region, const POINT* offset,
                            const PAIR_WALIGN_RR_PRMS2* P, bool bilinear)
{
    CPolyMapRR mapper;
    return mapper.MapImgRegions(src, dst, region, offset, P, bilinear, 1.0f) == 1;
}

int COverlapRR::PtPairsOverlapToRawFrames(POINT2* pairs[2], int n)
{
    if (!m_imgO1 || !m_img1 || !m_img2) {
        Logger::log("ERROR COverlapRR::PtPairsOverlapToRawFrames: no overlap images", 1);
        return 0;
    }
    if (!pairs || n <= 0 || !pairs[0] || !pairs[1]) return 1;
    float m[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&m_prms12, nullptr, nullptr, m)) {
        Logger::log("ERROR COverlapRR::PtPairsOverlapToRawFrames: the pair transform has no matrix", 1);
        return 0;
    }
    const int WO = m_imgO1->GetWidth(), HO = m_imgO1->GetHeight();
    const double zx = m_zoomX, zy = double(m_zoomY) / m_zoomX;
    // Image-1 point (from its centre) of an overlap pixel.
    auto toImage1 = [&](const POINT2& p, double& ux, double& uy) {
        ux = (p.x - WO / 2 + m_offsetO.x) / zx;
        uy = ((p.y - HO / 2) / zy + m_offsetO.y) / zx;
    };
    const int W1 = m_img1->GetWidth(), H1 = m_img1->GetHeight();
    const int W2 = m_img2->GetWidth(), H2 = m_img2->GetHeight();
    for (int i = 0; i < n; ++i) {
        double ux, uy;
        toImage1(pairs[0][i], ux, uy);
        pairs[0][i] = {static_cast<float>(W1 / 2 + ux), static_cast<float>(H1 / 2 + uy)};
        toImage1(pairs[1][i], ux, uy);
        const POINT2 q{static_cast<float>(ux), static_cast<float>(uy)};
        POINT2 p;
        // A point of the warped image 2 always maps back; one that does not
        // (on image 2's horizon) is left where it was.
        if (CTransformWA::TransformPtRR2(&q, &p, m)) pairs[1][i] = {p.x + W2 / 2, p.y + H2 / 2};
    }
    return 1;
}
