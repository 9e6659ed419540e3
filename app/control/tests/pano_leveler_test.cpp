// Leveling of a stitched panorama on frames with known poses: a tilted ring
// is brought back level, one or two pairs take the direct rotation, and the
// fit never turns a frame by a non-finite rotation.
#include "app/control/pano_leveler.h"
#include "platform/panocore/img_info.h"
#include "platform/xformkit/transform_3d.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kDeg = static_cast<float>(kPi / 180.0);

struct Pose {
    float pan, tilt, roll;
};

// A group of frames with the given poses; `links` pairs are merged.
class Frames {
public:
    Frames(const std::vector<Pose>& poses, const std::vector<std::pair<int, int>>& links)
    {
        for (const Pose& p : poses) {
            auto* frame = new ImageFrame();
            m_group.AppendImageFrame(frame);
            TRANSFORM_RS* rs = frame->GetImgInfo()->GetParams();
            rs->pan = p.pan;
            rs->tilt = p.tilt;
            rs->roll = p.roll;
            rs->rcpFocal = 1.0f / 500.0f;
        }
        for (auto [a, b] : links) {
            Frame(a)->AddNeighbor(Frame(b));
            Frame(a)->SetMerged(Frame(b));
        }
    }
    ImageGroup& Group() { return m_group; }
    ImageFrame* Frame(int k) { return m_group.GetImageFrame(k); }
    const TRANSFORM_RS& Params(int k) { return *Frame(k)->GetImgInfo()->GetParams(); }
    // Turns the whole panorama by m (the leveler's frame: down, right, forward).
    void TurnAll(const float m[9])
    {
        float saved[3];
        for (int k = 0; k < m_group.GetNumbOfImages(); ++k) RotateFrameByMatrix(m, saved, Frame(k));
    }

private:
    ImageGroup m_group;
};

std::vector<Pose> Ring(int n, float tilt)
{
    std::vector<Pose> poses;
    for (int k = 0; k < n; ++k) poses.push_back({static_cast<float>(std::remainder(k * 2 * kPi / n, 2 * kPi)), tilt, 0.0f});
    return poses;
}

std::vector<std::pair<int, int>> RingLinks(int n)
{
    std::vector<std::pair<int, int>> links;
    for (int k = 0; k < n; ++k) links.push_back({k, (k + 1) % n});
    return links;
}

}  // namespace

TEST(PanoLeveler, TiltedRingComesBackLevel)
{
    // Eight frames pitched by 10 degrees, the whole ring then tipped about
    // both horizontal axes.
    Frames f(Ring(8, 10 * kDeg), RingLinks(8));
    float tip[9];
    CTransform3D::CalcMatrixRotZYX(6 * kDeg, -4 * kDeg, 0.0f, tip);
    f.TurnAll(tip);
    float worstBefore = 0;
    for (int k = 0; k < 8; ++k) worstBefore = std::max(worstBefore, std::fabs(f.Params(k).tilt - 10 * kDeg));
    ASSERT_GT(worstBefore, 3 * kDeg);

    PanoLeveler leveler;
    ASSERT_TRUE(leveler.Solve(&f.Group(), 0.0001f));
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(f.Params(k).tilt / kDeg, 10.0, 0.05);
        EXPECT_NEAR(f.Params(k).roll / kDeg, 0.0, 0.05);
    }
    // The spread of the vertical components after the fit.
    PanoLeveler check;
    ASSERT_EQ(check.Prepare(&f.Group()), 0);
    check.CollectAxes();
    EXPECT_LT(check.ComputeSpread(), 1e-4f);
}

TEST(PanoLeveler, OnePairRolledTakesTheDirectPath)
{
    Frames f({{0.0f, 0.0f, 0.0f}, {40 * kDeg, 0.0f, 0.0f}}, {{0, 1}});
    float roll[9];
    CTransform3D::CalcMatrixRotZYX(8 * kDeg, 0.0f, 0.0f, roll);
    f.TurnAll(roll);
    ASSERT_GT(std::fabs(f.Params(0).tilt - f.Params(1).tilt), 2 * kDeg);
    PanoLeveler leveler;
    EXPECT_EQ(leveler.Prepare(&f.Group()), 1);
    EXPECT_NEAR(f.Params(0).tilt / kDeg, f.Params(1).tilt / kDeg, 0.05);
    // Still 40 degrees apart.
    EXPECT_NEAR(std::fabs(std::remainder(f.Params(1).pan - f.Params(0).pan, 2 * kPi)) / kDeg, 40.0, 0.5);
}

// One merged pair takes the direct rotation only while its view axes are at
// most 100 degrees apart; a rolled pair farther apart runs the fit.
TEST(PanoLeveler, APairMoreThanAHundredDegreesApartRunsTheFit)
{
    struct Case {
        float apart;  // degrees
        int prepared;
    };
    for (const Case& c : {Case{40, 1}, Case{80, 1}, Case{110, 0}, Case{130, 0}}) {
        SCOPED_TRACE(c.apart);
        Frames f({{0.0f, 0.0f, 0.0f}, {c.apart * kDeg, 0.0f, 0.0f}}, {{0, 1}});
        float roll[9];
        CTransform3D::CalcMatrixRotZYX(5 * kDeg, 0.0f, 0.0f, roll);
        f.TurnAll(roll);
        PanoLeveler leveler;
        EXPECT_EQ(leveler.Prepare(&f.Group()), c.prepared);
    }
}

TEST(PanoLeveler, FramesFacingOppositeWaysRunTheFit)
{
    Frames f({{0.0f, 0.0f, 0.0f}, {90 * kDeg, 0.0f, 0.0f}, {180 * kDeg, 0.0f, 0.0f}}, {{0, 1}, {1, 2}});
    PanoLeveler leveler;
    EXPECT_EQ(leveler.Prepare(&f.Group()), 0);
}

TEST(PanoLeveler, LevelAxesKeepTheIdentityAndEndInTheFirstPass)
{
    Frames f(Ring(6, 10 * kDeg), RingLinks(6));
    std::vector<TRANSFORM_RS> before;
    for (int k = 0; k < 6; ++k) before.push_back(f.Params(k));
    PanoLeveler leveler;
    ASSERT_EQ(leveler.Prepare(&f.Group()), 0);
    leveler.CollectAxes();
    leveler.Iterate(0.0001f);
    EXPECT_EQ(leveler.Passes(), 1);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(leveler.Matrix()[i], identity[i]) << i;
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(std::remainder(f.Params(k).pan - before[k].pan, 2 * kPi), 0.0, 1e-6);
        EXPECT_NEAR(f.Params(k).tilt, before[k].tilt, 1e-6f);
        EXPECT_NEAR(f.Params(k).roll, before[k].roll, 1e-6f);
    }
}

TEST(PanoLeveler, IdenticalAxesChangeNothingAndStayFinite)
{
    const Pose same{0.3f, 0.2f, 0.1f};
    Frames f({same, same, same}, {{0, 1}, {1, 2}, {0, 2}});
    PanoLeveler leveler;
    ASSERT_TRUE(leveler.Solve(&f.Group(), 0.0001f));
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(std::isfinite(f.Params(k).pan) && std::isfinite(f.Params(k).tilt) && std::isfinite(f.Params(k).roll));
        EXPECT_NEAR(f.Params(k).pan, same.pan, 1e-5f);
        EXPECT_NEAR(f.Params(k).tilt, same.tilt, 1e-5f);
        EXPECT_NEAR(f.Params(k).roll, same.roll, 1e-5f);
    }
}

TEST(PanoLeveler, NothingMergedFails)
{
    Frames f({{0.0f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f}}, {});
    PanoLeveler leveler;
    EXPECT_FALSE(leveler.Solve(&f.Group(), 0.0001f));
    EXPECT_FALSE(leveler.Solve(nullptr, 0.0001f));
    EXPECT_EQ(f.Params(1).pan, 0.5f);
}

TEST(PanoLeveler, LongStepIsCutToTheLimit)
{
    PanoLeveler leveler;
    float step[2] = {0.12f, 0.16f};  // length 0.2
    leveler.ApplyStep(step);
    EXPECT_NEAR(step[0], 0.03f, 1e-7f);
    EXPECT_NEAR(step[1], 0.04f, 1e-7f);
    // The turn applied is the limited one: the vertical axis tips by 0.05.
    const float* m = leveler.Matrix();
    EXPECT_NEAR(std::acos(m[0]), 0.05f, 1e-4f);
}

TEST(SolveTwoByTwo, RegularSingularAndNonFinite)
{
    struct Case {
        float normal[4], right[2], s1, s2;
    } cases[] = {
        {{2, 1, 1, 3}, {3, 5}, 0.8f, 1.4f},           // regular
        {{0, 0, 0, 0}, {1, 1}, 0, 0},                 // all axes alike
        {{1, 1, 1, 1}, {1, 2}, 0, 0},                 // rank one
        {{1e-20f, 0, 0, 1e-20f}, {1, 1}, 1e20f, 1e20f},  // tiny but regular
        {{NAN, 0, 0, 1}, {1, 1}, 0, 0},               // non-finite input
        {{1e-30f, 0, 0, 1e-30f}, {1e30f, 1e30f}, 0, 0},  // step overflows
    };
    for (const Case& c : cases) {
        float s[2] = {-7, -7};
        SolveTwoByTwo(c.normal, c.right, s);
        EXPECT_TRUE(std::isfinite(s[0]) && std::isfinite(s[1]));
        EXPECT_NEAR(s[0], c.s1, std::fabs(c.s1) * 1e-5f + 1e-6f);
        EXPECT_NEAR(s[1], c.s2, std::fabs(c.s2) * 1e-5f + 1e-6f);
    }
}

TEST(PanoLeveler, RotateThenRestoreGivesTheAnglesBack)
{
    Frames f({{0.7f, -0.3f, 0.05f}}, {});
    const TRANSFORM_RS before = f.Params(0);
    // A turn about the vertical (the leveler's first axis) moves the pan only.
    float m[9];
    CTransform3D::CalcMatrixRotZYX(0.0f, 0.0f, 0.25f, m);
    float saved[3];
    RotateFrameByMatrix(m, saved, f.Frame(0));
    EXPECT_NEAR(std::fabs(std::remainder(f.Params(0).pan - before.pan, 2 * kPi)), 0.25, 1e-5);
    EXPECT_NEAR(f.Params(0).tilt, before.tilt, 1e-5f);
    EXPECT_NEAR(f.Params(0).roll, before.roll, 1e-5f);
    RestoreFrameAngles(saved, f.Frame(0));
    EXPECT_EQ(f.Params(0).pan, before.pan);
    EXPECT_EQ(f.Params(0).tilt, before.tilt);
    EXPECT_EQ(f.Params(0).roll, before.roll);
    EXPECT_EQ(f.Params(0).rcpFocal, before.rcpFocal);
}
