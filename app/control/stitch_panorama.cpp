#include "app/control/stitch_panorama.h"

#include "align/pairlock/mfc_align.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_fit.h"
#include "platform/panocore/pair_share_info.h"
#include "platform/panocore/panorama.h"
#include "platform/xformkit/transform_wa.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame_interface.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kMinMarkerPairs = 3;

int Count(const Marker* m)
{
    return m ? m->GetNumbOfMarker() : 0;
}

// Top-left pixel coordinates of both sets, pair by pair.
void TakePairs(const Marker* a, const Marker* b, std::vector<POINT2>& outA, std::vector<POINT2>& outB)
{
    const int n = std::min(Count(a), Count(b));
    outA.clear();
    outB.clear();
    for (int i = 0; i < n; ++i) {
        outA.push_back(POINT2{a->GetMarker()[i].x, a->GetMarker()[i].y});
        outB.push_back(POINT2{b->GetMarker()[i].x, b->GetMarker()[i].y});
    }
}

PairPointSource GatherPoints(IImageFrame* a, IImageFrame* b, const PAIR_WALIGN_RR_PRMS2& record,
                             std::vector<POINT2>& ptsA, std::vector<POINT2>& ptsB)
{
    Marker* ma = nullptr;
    Marker* mb = nullptr;
    a->GetMarker(b, &ma, &mb);
    if (Count(ma) >= kMinMarkerPairs && Count(mb) >= kMinMarkerPairs) {
        TakePairs(ma, mb, ptsA, ptsB);
        return PairPointSource::kMarkers;
    }
    if (a->GetAutoMarker(b, &ma, &mb) && Count(ma) > 0 && Count(mb) > 0) {
        TakePairs(ma, mb, ptsA, ptsB);
        return PairPointSource::kAutoMarkers;
    }
    // Correlation search from the starting pair; it may adjust its own copy.
    PAIR_WALIGN_RR_PRMS2 start = record;
    IPairShareInfo* share = a->GetPairShareInfo(b);
    POINT2* pts[2] = {nullptr, nullptr};
    int n = 0;
    CMFCAlign align(a->GetImage(), b->GetImage());
    const int r = align.MainMFCAlign(&start, share ? share->GetInitSetting() : nullptr, 0, pts, &n, true);
    ptsA.clear();
    ptsB.clear();
    if (r == kMFCAligned && pts[0] && pts[1]) {
        ptsA.assign(pts[0], pts[0] + n);
        ptsB.assign(pts[1], pts[1] + n);
    }
    CMFCAlign::FreePoints(pts);
    return PairPointSource::kCorrelation;
}

}  // namespace

bool StitchPanoramaInit(IImageFrame* frame, float pan, float tilt, float roll)
{
    IImgInfo* info = frame ? frame->GetImgInfo() : nullptr;
    Image* image = frame ? frame->GetImage() : nullptr;
    if (!info) {
        Logger::log("ERROR PanoramaInit: the frame has no image information", 1);
        return false;
    }
    const float cx = image ? image->GetWidth() / 2.0f : 0.0f;
    const float cy = image ? image->GetHeight() / 2.0f : 0.0f;
    return InitPanoramaPlacement(info, pan, tilt, roll, cx, cy);
}

int StitchPanorama(IImageFrame* a, IImageFrame* b, PAIR_WALIGN_RR_PRMS2* record, float /*ratio*/, int direction)
{
    if (!a || !b || !record || a == b) {
        Logger::log("ERROR Panorama: missing frame or record", 1);
        return kPanoramaTooFewPoints;
    }
    Image* imgA = a->GetImage();
    Image* imgB = b->GetImage();
    IImgInfo* infoA = a->GetImgInfo();
    IImgInfo* infoB = b->GetImgInfo();
    if (!imgA || !imgB || !imgA->GetData() || !imgB->GetData() || !infoA || !infoB) {
        Logger::log("ERROR Panorama: a frame has no image or no image information", 1);
        return kPanoramaTooFewPoints;
    }
    const int wA = imgA->GetWidth(), hA = imgA->GetHeight(), wB = imgB->GetWidth(), hB = imgB->GetHeight();

    PairFitInput in;
    in.widthA = wA;
    in.heightA = hA;
    in.widthB = wB;
    in.heightB = hB;
    in.poseA = *infoA->GetParams();
    in.poseA.colorTable = nullptr;
    in.poseA.rcpFocal = record->rcpF1;
    in.poseB = in.poseA;
    if (!CTransformWA::PairPrmsGlobalImg1To_2(record, &in.poseA, &in.poseB)) {
        Logger::log("ERROR Panorama: unusable starting pair", 1);
        return kPanoramaGeometry;
    }

    std::vector<POINT2> ptsA, ptsB;
    const PairPointSource source = GatherPoints(a, b, *record, ptsA, ptsB);
    in.pointsA.resize(ptsA.size());
    in.pointsB.resize(ptsB.size());
    for (size_t i = 0; i < ptsA.size(); ++i) {
        in.pointsA[i] = POINT2{ptsA[i].x - wA / 2.0f, ptsA[i].y - hA / 2.0f};
        in.pointsB[i] = POINT2{ptsB[i].x - wB / 2.0f, ptsB[i].y - hB / 2.0f};
    }
    // The first pair starts from a guessed focal length: with enough pairs
    // the common scale of both focal lengths is fitted as well.
    in.fitScale = direction == 1 && in.pointsA.size() >= 6;

    PairFitResult fit;
    const int code = FitPairRotation(in, fit);
    if (code != kPanoramaOk) {
        Logger::log("Panorama: pair not aligned (code %d, %d pairs, rms %.2f, overlap %.3f x %.3f)", 3, code,
                    static_cast<int>(in.pointsA.size()), fit.rms, fit.overlapH, fit.overlapV);
        return code;
    }

    // The fitted pair, in the record and in the pair's shared information.
    PAIR_WALIGN_RR_PRMS2 pair = *record;
    if (!CTransformWA::GlobalToPairPrms12(&fit.poseA, &fit.poseB, &pair)) return kPanoramaGeometry;

    TRANSFORM_RS* rsB = infoB->GetParams();
    rsB->rcpFocal = fit.poseB.rcpFocal;
    rsB->pan = fit.poseB.pan;
    rsB->tilt = fit.poseB.tilt;
    rsB->roll = fit.poseB.roll;
    rsB->centreX = wB / 2.0f;
    rsB->centreY = hB / 2.0f;
    rsB->flag = 1;
    if (direction == 1) {
        TRANSFORM_RS* rsA = infoA->GetParams();
        rsA->rcpFocal = fit.poseA.rcpFocal;
        rsA->centreX = wA / 2.0f;
        rsA->centreY = hA / 2.0f;
    }
    record->rcpF1 = pair.rcpF1;
    record->rcpF2 = pair.rcpF2;
    record->angA = pair.angA;
    record->angB = pair.angB;
    record->angC = pair.angC;
    if (IPairShareInfo* share = a->GetPairShareInfo(b)) {
        *share->GetPairParams() = *record;
        share->SetAlignedOverlap(fit.overlapH, fit.overlapV);
    }

    // The pairs used, in both directions' pair information, so that the
    // global alignment finds them when the links hold no marker sets.
    auto setA = std::make_unique<Marker>();
    auto setB = std::make_unique<Marker>();
    for (size_t i = 0; i < ptsA.size(); ++i) {
        if (!fit.used[i]) continue;
        setA->AppendMarker(ptsA[i].x, ptsA[i].y);
        setB->AppendMarker(ptsB[i].x, ptsB[i].y);
    }
    const bool automatic = source == PairPointSource::kAutoMarkers;
    a->SetAutoMarker(b, setA.release(), setB.release(), automatic || a->IsAutoMarkerF(b));
    if (automatic) {
        a->SetAtuoStitchStatus(b, true);
        b->SetAtuoStitchStatus(a, true);
    }
    Logger::log("Panorama: pair aligned from %d of %d pairs, rms %.2f px", 4, fit.usedCount,
                static_cast<int>(in.pointsA.size()), fit.rms);
    return kPanoramaOk;
}

void InstallStitchPanorama()
{
    SetPanoramaInitFunction(&StitchPanoramaInit);
    SetPanoramaFunction(&StitchPanorama);
}
