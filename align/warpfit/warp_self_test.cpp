#include "align/warpfit/warp_self_test.h"

#include "align/warpfit/w_align.h"
#include "imaging/image.h"
#include "platform/minkit/frprmn.h"
#include "core/logger.h"
#include "platform/xformkit/transform_rr.h"
#include "platform/xformkit/transform_wa.h"

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr float kHalfSize = kWAlignTestImageSize / 2.0f;

// Mean distance in pixels between p2 and p1 mapped through rr (pixels from
// the centres); infinity when a point does not map.
double MeanMappingError(const PAIR_WALIGN_RR_PRMS2& rr, const POINT2* p1, const POINT2* p2, int n)
{
    float m[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&rr, nullptr, nullptr, m)) return std::numeric_limits<double>::infinity();
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        POINT2 q;
        if (!CTransformWA::TransformPtRR2(&p1[i], &q, m)) return std::numeric_limits<double>::infinity();
        sum += std::hypot(double(q.x) - p2[i].x, double(q.y) - p2[i].y);
    }
    return sum / n;
}

double MeanDistance(const POINT2* p1, const POINT2* p2, int n)
{
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += std::hypot(double(p1[i].x) - p2[i].x, double(p1[i].y) - p2[i].y);
    return sum / n;
}

// The direct fit of TestWAlignRR: the nine rotation-form words against the
// normalised pairs.
struct RRFit {
    const POINT2* p1;
    const POINT2* p2;
    int n;
};

// Forward-difference steps per word; a negative step holds the word.
// Words 4, 5: reciprocal focal lengths in half widths; 6, 8: turns about the
// viewing axes (half a degree); 7: the pan.
constexpr float kRRSteps[9] = {-1, -1, -1, -1, 0.001f, 0.001f, 0.008726646f, 0.005f, 0.008726646f};

PAIR_WALIGN_RR_PRMS2 ToRecord(const float* p)
{
    PAIR_WALIGN_RR_PRMS2 r;
    float* w = &r.reserved[0];
    for (int k = 0; k < 9; ++k) w[k] = p[k + 1];
    return r;
}

float RRCost(const float* p, void* context)
{
    const auto* fit = static_cast<const RRFit*>(context);
    const PAIR_WALIGN_RR_PRMS2 r = ToRecord(p);
    float m[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&r, nullptr, nullptr, m)) return std::numeric_limits<float>::quiet_NaN();
    double sum = 0;
    for (int i = 0; i < fit->n; ++i) {
        POINT2 q;
        if (!CTransformWA::TransformPtRR2(&fit->p1[i], &q, m)) return std::numeric_limits<float>::quiet_NaN();
        sum += std::fabs(double(q.x) - fit->p2[i].x) + std::fabs(double(q.y) - fit->p2[i].y);
    }
    return static_cast<float>(sum / fit->n);
}

void RRGradient(const float* p, float* g, void* context)
{
    float q[10];
    for (int k = 0; k <= 9; ++k) q[k] = p[k];
    const float f0 = RRCost(p, context);
    for (int k = 1; k <= 9; ++k) {
        const float h = kRRSteps[k - 1];
        if (h < 0 || !std::isfinite(f0)) {
            g[k] = 0;
            continue;
        }
        q[k] = p[k] + h;
        const float f1 = RRCost(q, context);
        q[k] = p[k];
        g[k] = std::isfinite(f1) ? (f1 - f0) / h : 0.0f;
    }
}

}  // namespace

void MakeWAlignTestPairs(POINT2 p1[kWAlignTestPairs], POINT2 p2[kWAlignTestPairs], PAIR_WALIGN_RR_PRMS2* truth)
{
    // 60 degrees across the 200 pixels, a pan of about 14 degrees and small
    // turns of both images about their axes.
    const float r = static_cast<float>(std::tan(30.0 * 3.14159265358979 / 180.0) / kHalfSize);
    const float a = 0.04f, b = 0.25f, c = -0.06f;
    static const float xs[4] = {15, 40, 65, 90};
    static const float ys[3] = {-70, 0, 70};
    for (int i = 0; i < kWAlignTestPairs; ++i) {
        // A little irregularity so that no three points share a line.
        const float jx = static_cast<float>((i * 7) % 5) - 2.0f, jy = static_cast<float>((i * 3) % 7) - 3.0f;
        p1[i] = POINT2{xs[i % 4] + jx, ys[i / 4] + jy};
        CTransformRR::TransformPtSphereRR0(r, a, b, c, &p1[i], &p2[i]);
    }
    if (truth) {
        *truth = PAIR_WALIGN_RR_PRMS2{};
        truth->rcpF1 = truth->rcpF2 = r;
        truth->angA = a;
        truth->angB = b;
        truth->angC = c;
    }
}

int RunTestWAlign(WAlignSelfTestReport* report)
{
    WAlignSelfTestReport rep;
    POINT2 p1[kWAlignTestPairs], p2[kWAlignTestPairs];
    MakeWAlignTestPairs(p1, p2, &rep.truth);
    rep.meanErrorBefore = MeanDistance(p1, p2, kWAlignTestPairs);

    std::unique_ptr<POINT2M[]> m1(CWAlign::convertPOINT2ToM(p1, kWAlignTestPairs));
    std::unique_ptr<POINT2M[]> m2(CWAlign::convertPOINT2ToM(p2, kWAlignTestPairs));
    POINT2M* m[2] = {m1.get(), m2.get()};
    Image* img1 = new Image(kWAlignTestImageSize, kWAlignTestImageSize, 1);
    Image* img2 = new Image(kWAlignTestImageSize, kWAlignTestImageSize, 1);
    CWAlign fit(0, 1);
    rep.feed = fit.InitPtPairData(img1, img2, m, kWAlignTestPairs, 1.0f, 1);
    int kept = 0;
    rep.fit = rep.feed ? fit.MainWAlign(&kept) : 0;
    ReleaseImage(img1);
    ReleaseImage(img2);
    rep.meanErrorAfter = std::numeric_limits<double>::infinity();
    if (rep.fit && CTransformWA::PairAlignPrmsStoRR2(fit.GetPrms(), &rep.fitted))
        rep.meanErrorAfter = MeanMappingError(rep.fitted, p1, p2, kWAlignTestPairs);
    Logger::log("TestWAlign: feed=%d fit=%d kept=%d error before %.3f after %.5f pixels", 3, rep.feed, rep.fit, kept,
                rep.meanErrorBefore, rep.meanErrorAfter);
    if (report) *report = rep;
    return rep.feed;
}

int RunTestWAlignRR(WAlignSelfTestReport* report)
{
    WAlignSelfTestReport rep;
    POINT2 p1[kWAlignTestPairs], p2[kWAlignTestPairs];
    MakeWAlignTestPairs(p1, p2, &rep.truth);

    // The pairs in half widths, as the normalised feed keeps them.
    POINT2 n1[kWAlignTestPairs], n2[kWAlignTestPairs];
    for (int i = 0; i < kWAlignTestPairs; ++i) {
        n1[i] = POINT2{p1[i].x / kHalfSize, p1[i].y / kHalfSize};
        n2[i] = POINT2{p2[i].x / kHalfSize, p2[i].y / kHalfSize};
    }
    std::unique_ptr<POINT2M[]> m1(CWAlign::convertPOINT2ToM(n1, kWAlignTestPairs));
    std::unique_ptr<POINT2M[]> m2(CWAlign::convertPOINT2ToM(n2, kWAlignTestPairs));
    POINT2M* m[2] = {m1.get(), m2.get()};
    CWarpAlign feedCheck(1, 1);
    rep.feed = feedCheck.InitPtPairData(kWAlignTestImageSize, kWAlignTestImageSize, m, kWAlignTestPairs);

    // Start: 53 degrees across instead of 60, no turns, no pan.
    float p[10] = {0, 0, 0, 0, 0, 0.5f, 0.5f, 0, 0, 0};
    auto toPixels = [](const float* q) {
        PAIR_WALIGN_RR_PRMS2 r = ToRecord(q);
        r.rcpF1 /= kHalfSize;
        r.rcpF2 /= kHalfSize;
        return r;
    };
    rep.meanErrorBefore = MeanMappingError(toPixels(p), p1, p2, kWAlignTestPairs);
    RRFit fit{n1, n2, kWAlignTestPairs};
    int iterations = 0;
    float value = 0;
    const int r = frprmn(p, 9, 1e-6f, &iterations, &value, RRCost, RRGradient, &fit);
    rep.fit = r != kFrprmnFailed ? 1 : 0;
    rep.fitted = toPixels(p);
    rep.meanErrorAfter = MeanMappingError(rep.fitted, p1, p2, kWAlignTestPairs);
    Logger::log("TestWAlignRR: feed=%d fit=%d iterations=%d error before %.3f after %.5f pixels", 3, rep.feed, rep.fit,
                iterations, rep.meanErrorBefore, rep.meanErrorAfter);
    if (report) *report = rep;
    return rep.feed;
}

int TestWAlign()
{
    return RunTestWAlign(nullptr);
}

int TestWAlignRR()
{
    return RunTestWAlignRR(nullptr);
}
