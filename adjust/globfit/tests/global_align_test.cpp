// The global alignment on synthetic panoramas with known rotations, focal
// lengths and lens distortion: recovery in the focal modes, distortion fits
// and the sanity check, degenerate inputs, the marker residuals, the analytic
// derivatives against finite differences, and a 100-frame sphere.
#include "adjust/globfit/global_align.h"

#include "adjust/globfit/globfit_settings.h"
#include "adjust/globfit/radial_polynomial.h"
#include "adjust/globfit/tests/synthetic_panorama.h"
#include "projectgraph/curvekit/pair_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace synthetic;

namespace {

// Reaches the solver's protected steps.
class Probe : public GlobalAlign {
public:
    using GlobalAlign::GlobalAlign;
    using GlobalAlign::GetNumbParameters;

    const float* ForwardDistortion() const { return m_state.dist; }
    float Focal(int k) const { return m_state.focal[k]; }

    // The gradient -J^T e of ComputeCoef against central differences of the
    // error sum, for every parameter; returns the worst relative mismatch.
    double WorstGradientMismatch(const std::vector<float>& steps)
    {
        const int p = GetNumbParameters();
        CollectPairs();
        ComputeRDMatrix(m_state, 0, m_nFrames);
        m_vector.assign(p, 0.0f);
        m_matrix.assign(static_cast<size_t>(p) * p, 0.0f);
        ComputeCoef();
        double worst = 0.0;
        State trial;
        for (int k = 0; k < p; ++k) {
            std::vector<float> step(p, 0.0f);
            const float h = steps[k];
            step[k] = h;
            MakeTrial(step.data(), trial);
            const double plus = ComputeErr(trial, false);
            step[k] = -h;
            MakeTrial(step.data(), trial);
            const double minus = ComputeErr(trial, false);
            // E = sum e^2, so -dE/dp / 2 = -J^T e.
            const double numeric = -(plus - minus) / (4.0 * h);
            const double analytic = m_vector[k];
            // The float residuals leave about 1e-2 of noise in the differences.
            const double mismatch = std::fabs(numeric - analytic) / (std::fabs(numeric) + 1.0);
            worst = std::max(worst, mismatch);
        }
        return worst;
    }
};

std::vector<TRANSFORM_RS> Records(Panorama& pano)
{
    std::vector<TRANSFORM_RS> records;
    for (int k = 0; k < pano.Count(); ++k) records.push_back(*pano.Frame(k)->GetImgInfo()->GetParams());
    return records;
}

bool SameRecords(const std::vector<TRANSFORM_RS>& a, const std::vector<TRANSFORM_RS>& b)
{
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        if (std::memcmp(&a[k], &b[k], sizeof(TRANSFORM_RS)) != 0) return false;
    }
    return true;
}

bool AllFinite(Panorama& pano)
{
    for (int k = 0; k < pano.Count(); ++k) {
        const TRANSFORM_RS* rs = pano.Frame(k)->GetImgInfo()->GetParams();
        for (float v : {rs->pan, rs->tilt, rs->roll, rs->rcpFocal, rs->centreX, rs->centreY})
            if (!std::isfinite(v)) return false;
    }
    return true;
}

std::vector<Pose> RingWithZenith(double scale = 1.0)
{
    // Rows at 45 degrees up, the horizon and 45 down, and a zenith frame.
    return Sphere({-90, -45, 0, 45}, {1, 6, 8, 6}, 200.0 * scale, static_cast<int>(300 * scale),
                  static_cast<int>(200 * scale));
}

}  // namespace

TEST(GlobalAlign, ParameterCountFollowsTheSettingsWord)
{
    Panorama pano(Ring(4, 250.0), Options{});
    struct Case {
        int settings;
        int parameters;
    };
    // N = 4: 9 rotation parameters, then focal lengths, centres, distortion.
    const Case cases[] = {
        {0, 9 + 4},          {1, 9 + 1},          {2, 9},
        {3, 9 + 1},          {4, 9 + 4 + 8},      {5, 9 + 1 + 2},
        {6, 9 + 2},          {7, 9 + 1 + 2},      {8, 9 + 4 + 1},
        {9, 9 + 1 + 1},      {10, 9 + 1},         {16, 9 + 4},
        {24, 9 + 4 + 3},     {25, 9 + 1 + 3},     {26, 9 + 3},
        {29, 9 + 1 + 2 + 3}, {28, 9 + 4 + 8 + 3},
    };
    for (const Case& c : cases) {
        Probe solver(c.settings, 0.0f);
        ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
        EXPECT_EQ(solver.GetNumbParameters(), c.parameters) << "settings " << c.settings;
    }
    Probe single(1, 0.0f);
    int first = 0;
    single.Init(&pano.Group(), &first, 1, 0);
    EXPECT_EQ(single.GetNumbParameters(), 1) << "one frame: no rotation parameter";
}

struct RecoveryCase {
    const char* name;
    int settings;
    bool zenith;
};

class GlobalAlignRecovery : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(GlobalAlignRecovery, RecoversRotationsAndFocalLengths)
{
    const RecoveryCase& c = GetParam();
    // Frames of a 1.2 megapixel camera; 0.2 pixel of marker noise.
    std::vector<Pose> truth = c.zenith ? RingWithZenith(4.0) : Ring(12, 1000.0, 1200, 800);
    const int mode = globfit::FocalMode(c.settings);
    for (size_t k = 0; k < truth.size(); ++k) {
        if (mode == globfit::kFocalPerFrame) {
            // Every frame its own focal length.
            truth[k].focal *= 1.0 + 0.03 * (static_cast<int>(k % 3) - 1);
        } else if (mode == globfit::kFocalNormalised && k % 2 == 1) {
            // The same lens on a camera of another resolution.
            truth[k].width = truth[k].width * 6 / 5;
            truth[k].height = truth[k].height * 6 / 5;
            truth[k].focal *= 1.2;
        }
    }
    Options options;
    options.markersPerPair = 50;
    options.noise = 0.2;
    Panorama pano(truth, options);
    ASSERT_GE(pano.Pairs(), static_cast<int>(truth.size()));
    for (int k = 0; k < pano.Count(); ++k) pano.Frame(k)->set_eFLd(static_cast<float>(truth[k].width));
    pano.Perturb(2.0, 1.05);

    GlobalAlign solver(c.settings, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    const float error = solver.DoAlignment(0.0001f);
    EXPECT_GE(error, 0.0f);
    EXPECT_LT(pano.MaxRotationError(), 0.05);
    EXPECT_LT(pano.MaxFocalError(), 0.005);
    float e3, e2, e1, e0, wbar;
    EXPECT_FALSE(solver.GetDistortion(e3, e2, e1, e0, wbar));
    EXPECT_EQ(e0, 1.0f);
    EXPECT_EQ(e1, 0.0f);
    if (mode == globfit::kFocalNormalised) {
        double mean = 0.0;
        for (const Pose& p : truth) mean += p.width;
        EXPECT_FLOAT_EQ(wbar, static_cast<float>(mean / truth.size())) << "mean reference length";
    } else {
        EXPECT_EQ(wbar, 0.0f);
    }
    // With 0.2 pixel noise the mean squared residual is about 4 * 0.04.
    const int markers = solver.CountNmbMarkers();
    EXPECT_LT(error / markers, 0.3f);
}

INSTANTIATE_TEST_SUITE_P(Modes, GlobalAlignRecovery,
                         ::testing::Values(RecoveryCase{"RingPerFrame", 0, false},
                                           RecoveryCase{"RingShared", 1, false},
                                           RecoveryCase{"RingNormalised", 3, false},
                                           RecoveryCase{"ZenithPerFrame", 0, true},
                                           RecoveryCase{"ZenithShared", 1, true},
                                           RecoveryCase{"ZenithNormalised", 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GlobalAlign, FixedFocalModeMovesOnlyRotations)
{
    Options options;
    Panorama pano(Ring(8, 250.0), options);
    pano.Perturb(1.5, 1.0);
    // A focal length outside the limits starts (and stays) clamped.
    pano.Frame(3)->GetImgInfo()->GetParams()->rcpFocal = 1.0f / 20000.0f;
    const float before = pano.Frame(3)->GetImgInfo()->GetParams()->rcpFocal;
    Probe solver(2, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    EXPECT_EQ(solver.Focal(3), 10000.0f);
    EXPECT_FLOAT_EQ(solver.Focal(2), 250.0f);
    solver.DoAlignment(0.0001f);
    EXPECT_EQ(pano.Frame(3)->GetImgInfo()->GetParams()->rcpFocal, before) << "focal lengths are not written";
    EXPECT_EQ(pano.Frame(0)->GetImgInfo()->GetParams()->pan, 0.0f) << "frame 0 never moves";
}

TEST(GlobalAlign, FocalLengthsStayWithinTheLimits)
{
    Panorama pano(Ring(8, 250.0), Options{});
    pano.Perturb(0.5, 1.0);
    GlobalAlign solver(1, 0.0f);
    solver.SetMinMaxFocusLength(10.0f, 240.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    EXPECT_GE(solver.DoAlignment(0.0001f), 0.0f);
    for (int k = 0; k < pano.Count(); ++k)
        EXPECT_FLOAT_EQ(1.0f / pano.Frame(k)->GetImgInfo()->GetParams()->rcpFocal, 240.0f);
}

TEST(GlobalAlign, OpticalCentreIsRecovered)
{
    // All frames share a centre 6 pixels right and 4 up of the image centre.
    std::vector<Pose> truth = Ring(10, 250.0);
    Options options;
    options.markersPerPair = 40;
    Panorama pano(truth, options);
    // Shift every marker as a lens off the image centre would.
    for (int k = 0; k < pano.Count(); ++k) {
        List* links = pano.Frame(k)->GetNeighbor();
        for (int l = 0; l < links->m_count; ++l) {
            Marker* set = static_cast<Neighbor*>(links->GetData(l))->GetMarkers();
            for (int m = 0; set && m < set->GetNumbOfMarker(); ++m) {
                set->GetMarker()[m].x += 6.0f;
                set->GetMarker()[m].y -= 4.0f;
            }
        }
    }
    pano.Perturb(1.0, 1.03);
    GlobalAlign solver(1 | globfit::kEstimateCentre, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    ASSERT_GE(solver.DoAlignment(0.0001f), 0.0f);
    for (int k = 0; k < pano.Count(); ++k) {
        const TRANSFORM_RS* rs = pano.Frame(k)->GetImgInfo()->GetParams();
        EXPECT_NEAR(rs->centreX, 156.0f, 0.3f);
        EXPECT_NEAR(rs->centreY, 96.0f, 0.3f);
    }
    EXPECT_LT(pano.MaxRotationError(), 0.05);
    EXPECT_LT(pano.MaxFocalError(), 0.005);
}

struct LensCase {
    const char* name;
    int settings;
    Lens lens;
};

class GlobalAlignLens : public ::testing::TestWithParam<LensCase> {};

TEST_P(GlobalAlignLens, RecoversTheDistortionAndItsInverse)
{
    const LensCase& c = GetParam();
    Options options;
    options.markersPerPair = 60;
    options.margin = 0.01;
    options.lens = c.lens;
    Panorama pano(RingWithZenith(), options);
    pano.Perturb(1.0, 1.03);
    Probe solver(c.settings, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    const float error = solver.DoAlignment(0.0001f);
    ASSERT_GE(error, 0.0f);
    EXPECT_LT(pano.MaxRotationError(), 0.05);
    EXPECT_LT(pano.MaxFocalError(), 0.005);

    const float* d = solver.ForwardDistortion();
    EXPECT_NEAR(d[1], c.lens.d1, 0.004);
    EXPECT_NEAR(d[2], c.lens.d2, 0.004);
    EXPECT_NEAR(d[3], c.lens.d3, 0.004);
    EXPECT_FLOAT_EQ(d[0], 1.0f - d[1] - d[2] - d[3]);
    // The fitted correction agrees with the true one over the frame.
    for (double r = 0.0; r <= 1.8; r += 0.05) EXPECT_NEAR(globfit::EvalRadial(d, static_cast<float>(r)), c.lens.D(r), 2e-3);

    float e3, e2, e1, e0, wbar;
    ASSERT_TRUE(solver.GetDistortion(e3, e2, e1, e0, wbar));
    EXPECT_NEAR(e0 + e1 + e2 + e3, 1.0f, 1e-5f);
    // The inverse takes a corrected radius back to the observed one.
    const float e[4] = {e0, e1, e2, e3};
    for (double r = 0.1; r < 1.5; r += 0.01) {
        const float big = static_cast<float>(r * c.lens.D(r));
        EXPECT_NEAR(big * globfit::EvalRadial(e, big), r, 1e-3) << "r " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(Lenses, GlobalAlignLens,
                         ::testing::Values(LensCase{"BarrelD2", 1 | globfit::kEstimateDistortion, Lens{0, 0.05, 0}},
                                           LensCase{"CubicD1D2D3",
                                                    1 | globfit::kEstimateDistortion | globfit::kThreeCoefficients,
                                                    Lens{0.02, 0.04, -0.01}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GlobalAlign, FailedSanityCheckLeavesEveryFrameUntouched)
{
    // D(1.803) = 1 + 0.155 * 2.25 = 1.35: beyond what a lens does.
    Options options;
    options.markersPerPair = 60;
    options.margin = 0.01;
    options.lens = Lens{0, 0.155, 0};
    Panorama pano(RingWithZenith(), options);
    pano.Perturb(1.0, 1.03);
    const std::vector<TRANSFORM_RS> before = Records(pano);
    Probe solver(1 | globfit::kEstimateDistortion, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    const float result = solver.DoAlignment(0.0001f);
    EXPECT_LT(result, 0.0f);
    EXPECT_TRUE(SameRecords(before, Records(pano)));
    // The rejected fit stays readable.
    EXPECT_NEAR(solver.ForwardDistortion()[2], 0.155f, 0.005f);
    float e3, e2, e1, e0, wbar;
    EXPECT_TRUE(solver.GetDistortion(e3, e2, e1, e0, wbar));
    EXPECT_NE(e2, 0.0f);

    // The caller's retry without the distortion bit applies its solve.
    solver.setSettings(1);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    EXPECT_GT(solver.DoAlignment(0.0001f), 0.0f);
    EXPECT_FALSE(SameRecords(before, Records(pano)));
}

TEST(GlobalAlign, DegenerateInputsGiveClearResults)
{
    // One frame: nothing to align, result 0, nothing changes but rounding.
    {
        Panorama pano(Ring(1, 250.0), Options{});
        pano.Frame(0)->GetImgInfo()->GetParams()->pan = 0.3f;
        GlobalAlign solver(1, 0.0f);
        ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), 1, 0));
        EXPECT_EQ(solver.DoAlignment(0.0001f), 0.0f);
        EXPECT_EQ(pano.Frame(0)->GetImgInfo()->GetParams()->pan, 0.3f);
        EXPECT_EQ(solver.CountNmbMarkers(), 0);
    }
    // Merged frames without any marker set: result 0, finite placements.
    {
        Options options;
        options.markersPerPair = 10;
        Panorama pano(Ring(3, 250.0), options);
        for (int k = 0; k < 3; ++k) {
            List* links = pano.Frame(k)->GetNeighbor();
            for (int l = 0; l < links->m_count; ++l) static_cast<Neighbor*>(links->GetData(l))->SetMarkers(nullptr);
        }
        pano.Perturb(2.0, 1.0);
        const std::vector<TRANSFORM_RS> before = Records(pano);
        GlobalAlign solver(25, 0.0f);
        ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), 3, 3));
        EXPECT_EQ(solver.CountNmbMarkers(), 0);
        EXPECT_EQ(solver.DoAlignment(0.0001f), 0.0f);
        ASSERT_TRUE(AllFinite(pano));
        const std::vector<TRANSFORM_RS> after = Records(pano);
        for (int k = 0; k < 3; ++k) {
            EXPECT_LT(AngleBetween(Placement(after[k].pan, after[k].tilt, after[k].roll),
                                   Placement(before[k].pan, before[k].tilt, before[k].roll)),
                      1e-3);
            EXPECT_FLOAT_EQ(after[k].rcpFocal, before[k].rcpFocal);
        }
    }
    // A singular system: one marker pair against rotations, two focal
    // lengths and centres. Lambda grows until the damped system solves.
    {
        Options options;
        options.markersPerPair = 1;
        Panorama pano(Ring(2, 250.0, 300, 200), options);
        pano.Perturb(0.5, 1.0);
        GlobalAlign solver(globfit::kFocalPerFrame | globfit::kEstimateCentre, 0.0f);
        ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), 2, 1));
        const float error = solver.DoAlignment(0.0001f);
        EXPECT_TRUE(std::isfinite(error));
        EXPECT_GE(error, 0.0f);
        EXPECT_TRUE(AllFinite(pano));
    }
    // Frames without images (no reference radius) and a bad list.
    {
        Options options;
        Panorama pano(Ring(6, 250.0), options);
        pano.Frame(2)->SetImage(nullptr, false);
        pano.Perturb(1.0, 1.0);
        GlobalAlign solver(1 | globfit::kEstimateDistortion | globfit::kEstimateCentre, 0.0f);
        ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
        EXPECT_TRUE(std::isfinite(solver.DoAlignment(0.0001f)));
        EXPECT_TRUE(AllFinite(pano));

        int bad[2] = {0, 17};
        EXPECT_FALSE(solver.Init(&pano.Group(), bad, 2, 1));
        EXPECT_EQ(solver.DoAlignment(0.0001f), 0.0f);
        EXPECT_FALSE(solver.Init(nullptr, pano.List(), 2, 1));
        EXPECT_EQ(solver.DoAlignment(0.0001f), 0.0f);
        EXPECT_FALSE(solver.Init(&pano.Group(), nullptr, 2, 1));
    }
}

TEST(GlobalAlign, AFrameNoMarkerReachesDoesNotBlockTheSolve)
{
    // Frame 3 is listed and merged, but its pairs have no markers: its
    // parameters are held and the other frames are still aligned.
    Options options;
    options.markersPerPair = 30;
    std::vector<Pose> truth = Ring(8, 250.0);
    Panorama pano(truth, options);
    for (int k = 0; k < pano.Count(); ++k) {
        if (k == 3) continue;
        if (Neighbor* link = pano.Frame(3)->FindNeighbor(pano.Frame(k))) {
            link->SetMarkers(nullptr);
            pano.Frame(k)->FindNeighbor(pano.Frame(3))->SetMarkers(nullptr);
        }
    }
    pano.Perturb(1.5, 1.02);
    const TRANSFORM_RS held = *pano.Frame(3)->GetImgInfo()->GetParams();
    GlobalAlign solver(1, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    ASSERT_GE(solver.DoAlignment(0.0001f), 0.0f);
    for (int k : {0, 1, 2, 4, 5, 6, 7}) EXPECT_LT(AngleBetween(pano.True(k), pano.Estimated(k)), 0.02) << k;
    EXPECT_LT(AngleBetween(Placement(held.pan, held.tilt, held.roll), pano.Estimated(3)), 1e-3);
}

TEST(GlobalAlign, ResidualsAreWrittenIntoBothMarkersOfEveryPair)
{
    Options options;
    options.markersPerPair = 20;
    options.noise = 0.5;
    Panorama pano(Ring(8, 250.0), options);
    pano.Perturb(1.0, 1.02);
    GlobalAlign solver(1, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    const float error = solver.DoAlignment(0.0001f);
    ASSERT_GT(error, 0.0f);

    // Reference: the residual from the written placements, in double.
    double sum = 0.0;
    int checked = 0;
    for (int i = 0; i < pano.Count(); ++i) {
        for (int j = i + 1; j < pano.Count(); ++j) {
            Marker *a = nullptr, *b = nullptr;
            if (!pano.Frame(i)->GetMarker(pano.Frame(j), &a, &b)) continue;
            const TRANSFORM_RS* ri = pano.Frame(i)->GetImgInfo()->GetParams();
            const TRANSFORM_RS* rj = pano.Frame(j)->GetImgInfo()->GetParams();
            const double fi = 1.0 / ri->rcpFocal, fj = 1.0 / rj->rcpFocal;
            const Eigen::Matrix3d w = pano.Estimated(i).transpose() * pano.Estimated(j);
            for (int m = 0; m < a->GetNumbOfMarker(); ++m) {
                const POINT2M& pa = a->GetMarker()[m];
                const POINT2M& pb = b->GetMarker()[m];
                const Eigen::Vector3d q = w * Eigen::Vector3d(pb.x - 150.0, pb.y - 100.0, fj);
                const double ex = (pa.x - 150.0) - fi * q.x() / q.z();
                const double ey = (pa.y - 100.0) - fi * q.y() / q.z();
                const double length = std::hypot(ex, ey);
                EXPECT_NEAR(pa.error2, length, 2e-3);
                EXPECT_EQ(pa.error2, pb.error2);
                sum += length * length;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, solver.CountNmbMarkers());
    EXPECT_NEAR(error, sum, 1e-3 * sum);
}

TEST(GlobalAlign, MarkersComeFromThePairInformationWhenTheLinksHaveNone)
{
    Options options;
    options.markersPerPair = 25;
    Panorama pano(Ring(8, 250.0), options);
    // Move every pair's markers into the pair information objects; one set
    // loses its last five markers (the shorter count is used).
    int moved = 0;
    for (int i = 0; i < pano.Count(); ++i) {
        for (int j = i + 1; j < pano.Count(); ++j) {
            Neighbor* ab = pano.Frame(i)->FindNeighbor(pano.Frame(j));
            if (!ab || !ab->GetMarkers()) continue;
            Neighbor* ba = pano.Frame(j)->FindNeighbor(pano.Frame(i));
            IPairInfo* pa = GetPairInfoInterface();
            IPairInfo* pb = GetPairInfoInterface();
            auto* ma = new Marker(*ab->GetMarkers());
            auto* mb = new Marker(*ba->GetMarkers());
            if (moved == 0) {
                for (int m = 0; m < 5; ++m) mb->DeleteMarker(mb->GetNumbOfMarker() - 1);
            }
            pa->SetMarker(ma);
            pb->SetMarker(mb);
            ab->SetMarkers(nullptr);
            ba->SetMarkers(nullptr);
            pano.Frame(i)->SetPairInfo(pano.Frame(j), pa, pb);
            ++moved;
        }
    }
    ASSERT_EQ(moved, pano.Pairs());
    pano.Perturb(1.5, 1.03);
    GlobalAlign solver(1, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    EXPECT_EQ(solver.CountNmbMarkers(), 25 * moved - 5);
    ASSERT_GE(solver.DoAlignment(0.0001f), 0.0f);
    EXPECT_LT(pano.MaxRotationError(), 0.01);
    EXPECT_LT(pano.MaxFocalError(), 0.001);
}

TEST(GlobalAlign, AnalyticDerivativesMatchFiniteDifferences)
{
    Options options;
    options.markersPerPair = 15;
    options.lens = Lens{0.01, 0.05, -0.01};
    std::vector<Pose> truth = RingWithZenith();
    Panorama pano(truth, options);
    for (int k = 0; k < pano.Count(); ++k) pano.Frame(k)->set_eFLd(300.0f + 10.0f * (k % 3));
    pano.Perturb(0.3, 1.01);
    const int all = globfit::kEstimateCentre | globfit::kEstimateDistortion | globfit::kThreeCoefficients;
    for (int settings : {0 | all, 1 | all, 3 | all, 2 | globfit::kEstimateCentre | globfit::kEstimateDistortion}) {
        Probe solver(settings, 0.0f);
        ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
        const int p = solver.GetNumbParameters();
        const int n = pano.Count();
        std::vector<float> steps;
        for (int k = 0; k < p; ++k) {
            if (k < 3 * n - 3) steps.push_back(1e-3f);  // radians
            else if (k >= p - 3 && (settings & globfit::kEstimateDistortion)) steps.push_back(5e-3f);
            else steps.push_back(0.2f);  // pixels
        }
        EXPECT_LT(solver.WorstGradientMismatch(steps), 0.02) << "settings " << settings;
    }
}

TEST(GlobalAlign, HundredFrameSphereConvergesToTheTrueRotations)
{
    // Seven rows from 72 degrees up to 72 down, 100 frames. The noise is the
    // angular noise of 0.2 pixels on a frame four times as wide.
    Options options;
    options.markersPerPair = 20;
    options.noise = 0.05;
    Panorama pano(Sphere({-72, -48, -24, 0, 24, 48, 72}, {6, 14, 19, 22, 19, 14, 6}, 250.0), options);
    ASSERT_EQ(pano.Count(), 100);
    ASSERT_GT(pano.Pairs(), 200);
    pano.Perturb(1.5, 1.04);
    const double before = pano.MaxRotationError();
    GlobalAlign solver(1, 0.0f);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    const float error = solver.DoAlignment(0.0001f);
    ASSERT_GE(error, 0.0f);
    EXPECT_GT(before, 1.0);
    EXPECT_LT(pano.MaxRotationError(), 0.05);
    EXPECT_LT(pano.MaxFocalError(), 0.005);
    EXPECT_LT(error / solver.CountNmbMarkers(), 0.02f);
}
