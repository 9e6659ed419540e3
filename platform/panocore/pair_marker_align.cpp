#include "platform/panocore/pair_marker_align.h"

#include "core/logger.h"
#include "platform/panocore/pair_fit.h"
#include "platform/xformkit/transform_wa.h"

#include <atomic>
#include <cmath>
#include <numbers>

namespace {

std::atomic<PairMarkerSource> g_source{nullptr};

bool Positive(float v)
{
    return std::isfinite(v) && v > 0.0f;
}

}  // namespace

PairMarkerSource SetPairMarkerSource(PairMarkerSource source)
{
    return g_source.exchange(source);
}

int FitPairRecordFromMarkers(const PairMarkerPoints& points, PAIR_WALIGN_RR_PRMS2* record)
{
    const size_t n = std::min(points.first.size(), points.second.size());
    if (!record || n < 3 || points.width1 <= 0 || points.height1 <= 0 || points.width2 <= 0 || points.height2 <= 0) {
        Logger::log("ERROR FitPairRecordFromMarkers: %d point pairs, images %dx%d and %dx%d", 1, static_cast<int>(n),
                    points.width1, points.height1, points.width2, points.height2);
        return kPanoramaTooFewPoints;
    }
    const float ratio = Positive(points.ratio) ? points.ratio : 1.0f;
    PairFitInput in;
    in.widthA = points.width1;
    in.heightA = points.height1;
    in.widthB = points.width2;
    in.heightB = points.height2;
    const double cx1 = points.width1 / 2.0, cy1 = points.height1 / 2.0;
    const double cx2 = points.width2 / 2.0, cy2 = points.height2 / 2.0;
    double meanDx = 0.0;
    for (size_t i = 0; i < n; ++i) {
        in.pointsA.push_back(POINT2{static_cast<float>(points.first[i].x - cx1), static_cast<float>(points.first[i].y - cy1)});
        in.pointsB.push_back(
            POINT2{static_cast<float>(points.second[i].x - cx2), static_cast<float>(points.second[i].y - cy2)});
        meanDx += in.pointsA.back().x - in.pointsB.back().x;
    }
    meanDx /= static_cast<double>(n);
    // Start: the record's focal lengths when it has them, else a 50-degree
    // horizontal view of the first image; b's focal length is a's over the ratio.
    const bool known = Positive(points.knownRcp1) && Positive(points.knownRcp2);
    float rcp1 = known ? points.knownRcp1 : record->rcpF1;
    if (!Positive(rcp1)) rcp1 = static_cast<float>(std::tan(25.0 * std::numbers::pi / 180.0) / (points.width1 / 2.0));
    const float rcp2 = known ? points.knownRcp2 : rcp1 / ratio;
    in.poseA = TRANSFORM_RS{};
    in.poseA.rcpFocal = rcp1;
    in.poseA.scale = 1.0f;
    in.poseB = in.poseA;
    in.poseB.rcpFocal = rcp2;
    // The pan that carries the mean horizontal offset of the pairs.
    in.poseB.pan = static_cast<float>(std::atan(meanDx * rcp1));
    in.fitScale = !known && n >= 4;
    PairFitResult result;
    const int code = FitPairRotation(in, result);
    if ((code & 0xF) != kPanoramaOk) {
        Logger::log("ERROR FitPairRecordFromMarkers: the markers give no alignment (code %d, rms %.2f px)", 1, code,
                    result.rms);
        return code & 0xF;
    }
    PAIR_WALIGN_RR_PRMS2 fitted{};
    if (!CTransformWA::GlobalToPairPrms12(&result.poseA, &result.poseB, &fitted)) return kPanoramaGeometry;
    for (int i = 0; i < 4; ++i) fitted.reserved[i] = record->reserved[i];
    *record = fitted;
    return kPanoramaOk;
}

int UpdatePairManualMarkerAlign(IImageFrame* f1, IImageFrame* f2, float ratio)
{
    PairMarkerSource source = g_source.load();
    if (!f1 || !f2 || !source) {
        Logger::log("ERROR UpdatePairManualMarkerAlign: missing frame or no marker source installed", 1);
        return kPanoramaTooFewPoints;
    }
    PairMarkerPoints points;
    if (!source(f1, f2, ratio, points) || !points.record) {
        Logger::log("ERROR UpdatePairManualMarkerAlign: the pair has no record or no images", 1);
        return kPanoramaTooFewPoints;
    }
    return FitPairRecordFromMarkers(points, points.record);
}
