// The second global solver on synthetic panoramas: the format table, the
// settings word's format recomputed by setSettings, recovery of relative
// rotations and a shared focal length, and the marker errors in pixels.
#include "adjust/globfit/global_align0.h"
#include "adjust/globfit/global_align.h"
#include "platform/panocore/img_info.h"

#include "adjust/globfit/globfit_settings.h"
#include "adjust/globfit/tests/synthetic_panorama.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace synthetic;

namespace {

class Probe0 : public GlobalAlign0 {
public:
    using GlobalAlign0::GlobalAlign0;
    int Format() const { return m_format; }
    int BlockSize() const { return m_blockSize; }
    bool SharedFocal() const { return m_sharedFocal; }
    bool SharedDistortion() const { return m_sharedDistortion; }
};

// The solver's rays are (y, x, f): its rotation is the camera placement with
// the first two axes swapped.
Eigen::Matrix3d Swap()
{
    Eigen::Matrix3d p;
    p << 0, 1, 0, 1, 0, 0, 0, 0, 1;
    return p;
}

void Place(Panorama& pano, double degrees, double focalFactor, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-degrees * kDeg, degrees * kDeg);
    for (int k = 0; k < pano.Count(); ++k) {
        const Pose& t = pano.Truth(k);
        const Eigen::Matrix3d r = Placement(t.pan + u(rng), t.tilt + u(rng), t.roll + u(rng)) * Swap();
        float m[9];
        for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(r(i / 3, i % 3));
        pano.Frame(k)->GetImgInfo()->SetRotation(static_cast<float>(t.focal * focalFactor), m);
        pano.Frame(k)->GetImgInfo()->GetParams()->rcpFocal = static_cast<float>(1.0 / t.focal);
    }
}

Eigen::Matrix3d Solved(Panorama& pano, int k)
{
    float m[9];
    pano.Frame(k)->GetImgInfo()->GetRotation(m);
    Eigen::Matrix3d r;
    for (int i = 0; i < 9; ++i) r(i / 3, i % 3) = m[i];
    return r * Swap();
}

// Largest rotation error after removing the global rotation (frame 0's).
double RelativeError(Panorama& pano)
{
    const Eigen::Matrix3d g = Solved(pano, 0) * pano.True(0).transpose();
    double worst = 0;
    for (int k = 1; k < pano.Count(); ++k) worst = std::max(worst, AngleBetween(g * pano.True(k), Solved(pano, k)));
    return worst;
}

}  // namespace

TEST(GlobalAlign0, FormatFollowsTheSettingsWord)
{
    struct Case {
        int settings, format, block;
        bool sharedFocal, sharedDistortion;
    };
    const Case cases[] = {
        {0, 1, 4, false, false},  {4, 2, 6, false, false},  {8, 3, 4, false, true},   {12, 4, 6, false, true},
        {1, 5, 3, true, false},   {5, 6, 5, true, false},   {9, 7, 3, true, true},    {13, 8, 5, true, true},
        {3, 5, 3, true, false},   {15, 8, 5, true, true},   {2, 9, 3, false, false},  {6, 10, 5, false, false},
        {10, 11, 3, false, true}, {14, 12, 5, false, true}, {26, 11, 3, false, true},
    };
    for (const Case& c : cases) {
        Probe0 built(c.settings, 0);
        EXPECT_EQ(built.Format(), c.format) << c.settings;
        EXPECT_EQ(built.BlockSize(), c.block) << c.settings;
        EXPECT_EQ(built.SharedFocal(), c.sharedFocal) << c.settings;
        EXPECT_EQ(built.SharedDistortion(), c.sharedDistortion) << c.settings;
        // A solver made for another word takes this one's format with it.
        Probe0 changed(c.settings == 2 ? 12 : 2, 0);
        changed.setSettings(c.settings);
        EXPECT_EQ(changed.Format(), c.format) << c.settings;
        EXPECT_EQ(changed.BlockSize(), c.block) << c.settings;
    }
}

TEST(GlobalAlign0, RecoversRelativeRotationsWithFixedFocalLengths)
{
    Options options;
    options.markersPerPair = 30;
    options.noise = 0.1;
    Panorama pano(Sphere({-90, -45, 0, 45}, {1, 6, 8, 6}, 800.0, 1200, 800), options);
    Place(pano, 1.5, 1.0, 5);
    const double before = RelativeError(pano);
    GlobalAlign0 solver(globfit::kFocalFixed, 0);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    const float error = solver.DoAlignment(1e-7f);
    EXPECT_GE(error, 0.0f);
    EXPECT_GT(before, 1.0);
    EXPECT_LT(RelativeError(pano), 0.05);
    float e0, e1, e2, e3, w;
    EXPECT_FALSE(solver.GetDistortion(e3, e2, e1, e0, w));
}

TEST(GlobalAlign0, SetSettingsSwitchesToTheSharedFocalLength)
{
    // Made for fixed focal lengths, switched to one shared focal length
    // before Init: the focal length must be solved for.
    Options options;
    options.markersPerPair = 30;
    Panorama pano(Ring(12, 1000.0, 1200, 800), options);
    Place(pano, 1.0, 1.04, 6);
    GlobalAlign0 solver(globfit::kFocalFixed, 0);
    solver.setSettings(globfit::kFocalShared);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    solver.DoAlignment(1e-7f);
    for (int k = 0; k < pano.Count(); ++k) EXPECT_NEAR(pano.Frame(k)->GetImgInfo()->GetFocal(), 1000.0f, 5.0f) << k;
    EXPECT_LT(RelativeError(pano), 0.05);
}

TEST(GlobalAlign0, MarkerErrorsComeOutInPixels)
{
    Options options;
    options.markersPerPair = 20;
    options.noise = 0.5;
    Panorama pano(Ring(10, 1000.0, 1200, 800), options);
    Place(pano, 0.5, 1.0, 7);
    GlobalAlign0 solver(globfit::kFocalFixed, 0);
    ASSERT_TRUE(solver.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
    solver.DoAlignment(1e-7f);
    // With half a pixel of noise per coordinate the residuals are a pixel or
    // so (in radians they would be a thousand times smaller).
    double sum = 0;
    int count = 0;
    for (int i = 0; i < pano.Count(); ++i) {
        for (int j = i + 1; j < pano.Count(); ++j) {
            Marker *a = nullptr, *b = nullptr;
            if (!pano.Frame(i)->GetMarker(pano.Frame(j), &a, &b)) continue;
            for (int m = 0; m < a->GetNumbOfMarker(); ++m) {
                EXPECT_FLOAT_EQ(a->GetMarker()[m].error2, b->GetMarker()[m].error2);
                sum += a->GetMarker()[m].error2;
                ++count;
            }
        }
    }
    ASSERT_GT(count, 0);
    EXPECT_GT(sum / count, 0.2);
    EXPECT_LT(sum / count, 2.0);
}

namespace {

// The error sums of the unsolved start, as each solver reads the frames:
// the second solver through the rotation matrices, the first through the
// Euler angles.
class StartError0 : public GlobalAlign0 {
public:
    using GlobalAlign0::GlobalAlign0;
    float Get()
    {
        CollectPairs();
        return ComputeA();
    }
};

class StartError : public GlobalAlign {
public:
    using GlobalAlign::GlobalAlign;
    double Get()
    {
        CollectPairs();
        ComputeRDMatrix(m_state, 0, m_nFrames);
        return ComputeErr(m_state, false);
    }
};

}  // namespace

// The matrix and the Euler angles are one record: writing the matrix back
// as it reads changes nothing either solver sees.
TEST(GlobalAlign0, RotationRoundTripLeavesTheResidualsAlone)
{
    Options options;
    options.markersPerPair = 20;
    options.noise = 0.3;
    double errors[2][2];
    for (int trip = 0; trip < 2; ++trip) {
        Panorama pano(Sphere({-45, 0, 45}, {6, 8, 6}, 800.0, 1200, 800), options);
        Place(pano, 1.0, 1.0, 9);
        if (trip) {
            for (int k = 0; k < pano.Count(); ++k) {
                IImgInfo* info = pano.Frame(k)->GetImgInfo();
                float m[9];
                info->GetRotation(m);
                info->SetRotation(info->GetFocal(), m);
            }
        }
        StartError0 second(globfit::kFocalFixed, 0);
        ASSERT_TRUE(second.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
        errors[trip][0] = second.Get();
        StartError first(globfit::kFocalFixed, 0);
        ASSERT_TRUE(first.Init(&pano.Group(), pano.List(), pano.Count(), pano.Pairs()));
        errors[trip][1] = first.Get();
    }
    for (int solver = 0; solver < 2; ++solver) {
        EXPECT_GT(errors[0][solver], 0.0) << solver;
        EXPECT_NEAR(errors[1][solver], errors[0][solver], 1e-4 * errors[0][solver]) << solver;
    }
}
