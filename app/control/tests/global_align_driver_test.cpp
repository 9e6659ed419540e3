// The manager's global alignment after a stitched pair on synthetic rings and
// chains: frames with known poses, marker pairs projected from common world
// rays with 0.3 px noise, start poses turned away from the truth.
#include "app/control/stitch_settings.h"
#include "app/control/super_manager.h"
#include "app/tests/app_test_fixture.h"
#include "app/matching/distortion_record.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr int kW = 640, kH = 480;
constexpr float kFocal = 600.0f;
constexpr int kMarkers = 60;

struct Solve {
    int word, count, pairs;
};
std::vector<Solve> g_solves;
void Watch(int word, int count, int pairs)
{
    g_solves.push_back({word, count, pairs});
}

class GlobalAlignTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_manager = std::make_unique<SuperManager>();
        m_previous = GetSuperManager();
        SetSuperManager(m_manager.get());
        g_solves.clear();
        m_manager->SetGlobalSolveObserver(&Watch);
    }
    void TearDown() override
    {
        SetSuperManager(m_previous);
        m_manager.reset();
        AppTest::TearDown();
    }

    // n frames panned by `step` degrees; neighbours linked (and the last to
    // the first when `ring`), 60 marker pairs each.
    void Build(int n, double step, bool ring)
    {
        std::vector<double> pans;
        std::vector<std::pair<int, int>> links;
        for (int k = 0; k < n; ++k) pans.push_back(k * step);
        for (int k = 0; k + 1 < n || (ring && k < n); ++k) links.push_back({k, (k + 1) % n});
        Build(pans, links);
    }

    // Frames at the given pans (degrees) with the given links.
    void Build(const std::vector<double>& pans, const std::vector<std::pair<int, int>>& links)
    {
        const int n = static_cast<int>(pans.size());
        const double step = 1.0;
        ImageGroup* group = m_manager->GetImageGroup(true);
        for (int k = 0; k < n; ++k) {
            auto* frame = new ImageFrame();
            Image* image = new Image(kW, kH, 1);
            frame->SetImage(image, false);
            ReleaseImage(image);
            group->AppendImageFrame(frame);
            InitPanoramaPlacement(frame->GetImgInfo(), static_cast<float>(std::remainder(pans[k] * step * kDeg, 2 * kPi)),
                                  static_cast<float>(-5 * kDeg), 0.0f, kW / 2.0f, kH / 2.0f);
            frame->GetImgInfo()->GetParams()->rcpFocal = 1.0f / kFocal;
            m_truth.push_back(*frame->GetImgInfo()->GetParams());
        }
        std::mt19937 rng(5);
        for (auto [a, b] : links) Link(a, b, rng);
    }

    ImageFrame* Frame(int k) { return m_manager->GetImageGroup(false)->GetImageFrame(k); }

    void Link(int a, int b, std::mt19937& rng)
    {
        float ra[9], rb[9];
        Frame(a)->GetImgInfo()->GetRotation(ra);
        Frame(b)->GetImgInfo()->GetRotation(rb);
        std::uniform_real_distribution<double> ux(0, kW), uy(0, kH);
        std::normal_distribution<double> noise(0.0, 0.3);
        std::vector<POINT2M> ma, mb;
        for (int tries = 0; tries < 4000 && ma.size() < kMarkers; ++tries) {
            const double ax = ux(rng), ay = uy(rng);
            // Input ray (y, x, f) about the centre; world = R * ray.
            const double in[3] = {ay - kH / 2.0, ax - kW / 2.0, kFocal};
            double w[3], c[3];
            for (int i = 0; i < 3; ++i) w[i] = ra[3 * i] * in[0] + ra[3 * i + 1] * in[1] + ra[3 * i + 2] * in[2];
            for (int i = 0; i < 3; ++i) c[i] = rb[i] * w[0] + rb[3 + i] * w[1] + rb[6 + i] * w[2];
            if (c[2] <= 0) continue;
            const double bx = kFocal * c[1] / c[2] + kW / 2.0, by = kFocal * c[0] / c[2] + kH / 2.0;
            if (bx < 10 || bx > kW - 10 || by < 10 || by > kH - 10) continue;
            double dax = ax, day = ay, dbx = bx, dby = by;
            Distort(dax, day);
            Distort(dbx, dby);
            POINT2M pa{}, pb{};
            pa.x = static_cast<float>(dax + noise(rng));
            pa.y = static_cast<float>(day + noise(rng));
            pb.x = static_cast<float>(dbx + noise(rng));
            pb.y = static_cast<float>(dby + noise(rng));
            ma.push_back(pa);
            mb.push_back(pb);
        }
        ASSERT_EQ(ma.size(), static_cast<size_t>(kMarkers));
        Frame(a)->AddNeighbor(Frame(b));
        auto* sa = new Marker();
        auto* sb = new Marker();
        sa->Append(ma.data(), kMarkers);
        sb->Append(mb.data(), kMarkers);
        Frame(a)->FindNeighbor(Frame(b))->SetMarkers(sa);
        Frame(b)->FindNeighbor(Frame(a))->SetMarkers(sb);
        Frame(a)->SetMerged(Frame(b));
    }

    // The lens: a point moves out from the centre by 1 + k r^2, r in units
    // of half the short side (k = 0: no distortion).
    void Distort(double& x, double& y) const
    {
        const double dx = x - kW / 2.0, dy = y - kH / 2.0;
        const double r2 = (dx * dx + dy * dy) / (kH / 2.0 * kH / 2.0);
        x = kW / 2.0 + dx * (1 + m_lensK * r2);
        y = kH / 2.0 + dy * (1 + m_lensK * r2);
    }
    double m_lensK = 0.0;

    // Every frame but the reference turned by up to `degrees` about each axis.
    void Perturb(double degrees)
    {
        std::mt19937 rng(9);
        std::uniform_real_distribution<double> u(-degrees * kDeg, degrees * kDeg);
        for (size_t k = 1; k < m_truth.size(); ++k) {
            TRANSFORM_RS* rs = Frame(static_cast<int>(k))->GetImgInfo()->GetParams();
            rs->pan += static_cast<float>(u(rng));
            rs->tilt += static_cast<float>(u(rng));
            rs->roll += static_cast<float>(u(rng));
        }
    }

    // Largest angle between a frame's rotation and its truth, degrees.
    double WorstRotationError()
    {
        double worst = 0;
        for (size_t k = 0; k < m_truth.size(); ++k) {
            float r[9], t[9];
            Frame(static_cast<int>(k))->GetImgInfo()->GetRotation(r);
            auto truth = GetImgInfoInterface();
            *truth->GetParams() = m_truth[k];
            truth->GetRotation(t);
            delete truth;
            double trace = 0;
            for (int i = 0; i < 9; ++i) trace += double(r[i]) * t[i];
            worst = std::max(worst, std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0)) / kDeg);
        }
        return worst;
    }

    std::unique_ptr<SuperManager> m_manager;
    SuperManager* m_previous = nullptr;
    std::vector<TRANSFORM_RS> m_truth;
};

}  // namespace

TEST_F(GlobalAlignTest, RingStartedTwoDegreesOffComesBackToTheTruth)
{
    Build(12, 30, true);
    Perturb(2.0);
    ASSERT_GT(WorstRotationError(), 1.0);
    m_manager->GetStitchSettings()->focalType = 0;
    ASSERT_TRUE(m_manager->PairToGlobal(12, 0, false));
    EXPECT_LT(WorstRotationError(), 0.05);
    for (int k = 0; k < 12; ++k) EXPECT_NEAR(Frame(k)->GetImgInfo()->GetFocal(), kFocal, kFocal * 0.005) << k;
    ASSERT_EQ(g_solves.size(), 1u);
    EXPECT_EQ(g_solves[0].count, 12);
    EXPECT_EQ(g_solves[0].pairs, 12);
    // Not closing a loop: the aligned state stays clear.
    EXPECT_EQ(m_manager->GetFlags() & kFlagAligned, 0u);
}

TEST_F(GlobalAlignTest, SettingsWordFromTheFocalTypeAndFlags)
{
    struct Case {
        int frames;
        bool ring;
        int focalType;
        bool centre, distortion;
        int word;
        int fewImages;  // -1: untouched (0)
    } cases[] = {
        {12, true, 0, false, false, 1, -1},  {12, true, 1, false, false, 0, -1},
        {12, true, 2, false, false, 1, -1},  {6, false, 2, false, false, 2, -1},
        {6, false, 4, false, false, 2, -1},  {6, false, 0, true, false, 5, -1},
        {6, false, 0, false, true, 9, 1},    {7, false, 0, false, true, 9, 1},
        {8, false, 0, false, true, 1 + 8 + 16, 0},
        {8, false, 1, true, true, 4 + 8 + 16, 0},  {12, true, 0, true, true, 1 + 4 + 8 + 16, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << (c.ring ? " ring" : " chain") << " type " << c.focalType);
        TearDown();
        SetUp();
        m_truth.clear();
        Build(c.frames, 30, c.ring);
        StitchSettings* s = m_manager->GetStitchSettings();
        s->focalType = c.focalType;
        s->solverOption = c.centre;
        s->runtimeDistortion = c.distortion;
        ASSERT_TRUE(m_manager->PairToGlobal(1, 0, false));
        ASSERT_FALSE(g_solves.empty());
        EXPECT_EQ(g_solves[0].word, c.word);
        EXPECT_EQ(m_manager->GetGlobalAlignMode(), c.word);
        EXPECT_EQ(s->fewImages, c.fewImages < 0 ? 0 : c.fewImages);
    }
}

TEST_F(GlobalAlignTest, UnknownFocalTypeKeepsTheFocalBits)
{
    Build(6, 30, false);
    m_manager->GetStitchSettings()->focalType = 1;
    ASSERT_TRUE(m_manager->PairToGlobal(1, 0, false));
    m_manager->GetStitchSettings()->focalType = 0;
    ASSERT_TRUE(m_manager->PairToGlobal(1, 0, false));
    m_manager->GetStitchSettings()->focalType = 7;
    ASSERT_TRUE(m_manager->PairToGlobal(1, 1, false));
    ASSERT_EQ(g_solves.size(), 3u);
    EXPECT_EQ(g_solves[2].word & 3, 1);
    // The loop-closing call sets the aligned state.
    EXPECT_NE(m_manager->GetFlags() & kFlagAligned, 0u);
}

TEST_F(GlobalAlignTest, NoMergedPairChangesNothing)
{
    ImageGroup* group = m_manager->GetImageGroup(true);
    for (int k = 0; k < 3; ++k) group->AppendImageFrame(new ImageFrame());
    EXPECT_FALSE(m_manager->PairToGlobal(3, 1, false));
    EXPECT_FALSE(m_manager->PairToGlobal(3, 0, true));
    EXPECT_TRUE(g_solves.empty());
    EXPECT_EQ(m_manager->GetFlags() & kFlagAligned, 0u);
    SuperManager empty;
    EXPECT_FALSE(empty.PairToGlobal(1, 0, false));
}

TEST_F(GlobalAlignTest, PairwiseReplayGrowsTheSolveAndClosesTheRing)
{
    Build(8, 45, true);
    m_manager->GetStitchSettings()->focalType = 0;
    ASSERT_TRUE(m_manager->PairToGlobal(8, 0, true));
    std::vector<std::tuple<int, int>> seen, expected;
    for (const Solve& s : g_solves) seen.push_back({s.count, s.pairs});
    // The first pair only places its frames; the closing pair solves them all.
    expected = {{3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}, {8, 7}, {8, 8}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(Frame(0)->IsMergedPair(Frame(7)));
}

TEST_F(GlobalAlignTest, PairwiseWithDistortionSolvesEveryPair)
{
    Build(9, 40, false);
    m_manager->GetStitchSettings()->focalType = 0;
    m_manager->GetStitchSettings()->runtimeDistortion = 1;
    ASSERT_TRUE(m_manager->PairToGlobal(9, 0, true));
    // One solve per pair (a retry without distortion adds one with bit 8
    // cleared): first seven pairs one coefficient, later ones three.
    std::vector<Solve> first;
    for (const Solve& s : g_solves)
        if (first.empty() || first.back().count != s.count) first.push_back(s);
    ASSERT_EQ(first.size(), 8u);
    for (size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(first[i].count, static_cast<int>(i) + 2);
        EXPECT_EQ(first[i].pairs, static_cast<int>(i) + 1);
        EXPECT_EQ((first[i].word & 16) != 0, i >= 7);
    }
    EXPECT_EQ(m_manager->GetStitchSettings()->fewImages, 0);
}

TEST_F(GlobalAlignTest, PairwiseStopsAtTheClosingPairWithMorePairsThanFrames)
{
    // Every frame linked with every other: six pairs, four frames.
    Build({0, 15, 30, 45}, {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}});
    m_manager->GetStitchSettings()->focalType = 0;
    ASSERT_TRUE(m_manager->PairToGlobal(6, 0, true));
    std::vector<std::tuple<int, int>> seen, expected = {{3, 2}, {4, 3}, {4, 6}};
    for (const Solve& s : g_solves) seen.push_back({s.count, s.pairs});
    EXPECT_EQ(seen, expected);
}

TEST_F(GlobalAlignTest, PairwiseSkipsListNeighboursWithoutALink)
{
    // Frames 1 and 2 are neighbours in the list but share no link.
    Build({0, 30, -30, -60}, {{0, 1}, {0, 2}, {2, 3}});
    m_manager->GetStitchSettings()->focalType = 0;
    LogCapture log;
    ASSERT_TRUE(m_manager->PairToGlobal(3, 0, true));
    EXPECT_TRUE(log.contains("ERROR PairToGlobal: no link between frames 1 and 2")) << log.text();
    std::vector<std::tuple<int, int>> seen, expected = {{4, 3}};
    for (const Solve& s : g_solves) seen.push_back({s.count, s.pairs});
    EXPECT_EQ(seen, expected);
}

TEST_F(GlobalAlignTest, FittedDistortionGoesIntoTheRecordInTheSolversOrder)
{
    Build(12, 30, true);
    Perturb(1.0);
    StitchSettings* s = m_manager->GetStitchSettings();
    s->focalType = 0;
    s->runtimeDistortion = 1;
    ASSERT_EQ(m_manager->GetDistortionRecord(false), nullptr);
    ASSERT_TRUE(m_manager->PairToGlobal(12, 0, false));
    ASSERT_FALSE(g_solves.empty());
    ASSERT_NE(g_solves.back().word & 8, 0) << "the solve was retried without distortion";
    const DistortionRecord* record = m_manager->GetDistortionRecord(false);
    ASSERT_NE(record, nullptr);
    // A lens without distortion: the highest coefficients first, the
    // constant term (close to 1) fourth.
    EXPECT_NEAR(record->a, 0.0f, 0.01f);
    EXPECT_NEAR(record->b, 0.0f, 0.01f);
    EXPECT_NEAR(record->c, 0.0f, 0.01f);
    EXPECT_NEAR(record->d, 1.0f, 0.01f);
    EXPECT_LT(WorstRotationError(), 0.1);
}

TEST_F(GlobalAlignTest, LevelingRotationTurnsEveryMergedFrameAlike)
{
    Build({0, 30, 60}, {{0, 1}, {1, 2}});
    auto* loose = new ImageFrame();
    m_manager->GetImageGroup(false)->AppendImageFrame(loose);
    InitPanoramaPlacement(loose->GetImgInfo(), 1.0f, 0.2f, 0.1f, kW / 2.0f, kH / 2.0f);
    const TRANSFORM_RS looseBefore = *loose->GetImgInfo()->GetParams();
    auto rotation = [&](int k) {
        std::vector<float> r(9);
        Frame(k)->GetImgInfo()->GetRotation(r.data());
        return r;
    };
    // R_k' = L R_k for every merged frame: R_0^T R_k stays as it was.
    auto relative = [&](int k) {
        const std::vector<float> a = rotation(0), b = rotation(k);
        std::vector<double> m(9, 0.0);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int l = 0; l < 3; ++l) m[3 * i + j] += double(a[3 * l + i]) * b[3 * l + j];
        return m;
    };
    const std::vector<double> r1 = relative(1), r2 = relative(2);
    const std::vector<float> before0 = rotation(0);
    m_manager->ApplyLevelingRotation(0.2f, 0.1f, 0.3f);
    const std::vector<float> after0 = rotation(0);
    double moved = 0;
    for (int i = 0; i < 9; ++i) moved = std::max(moved, double(std::fabs(after0[i] - before0[i])));
    EXPECT_GT(moved, 0.05);
    const std::vector<double> s1 = relative(1), s2 = relative(2);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(s1[i], r1[i], 1e-5) << i;
        EXPECT_NEAR(s2[i], r2[i], 1e-5) << i;
    }
    EXPECT_EQ(loose->GetImgInfo()->GetParams()->pan, looseBefore.pan);
    EXPECT_EQ(loose->GetImgInfo()->GetParams()->tilt, looseBefore.tilt);
    EXPECT_EQ(loose->GetImgInfo()->GetParams()->roll, looseBefore.roll);
}

TEST_F(GlobalAlignTest, LevelingRotationWithoutMergedFramesDoesNothing)
{
    ImageGroup* group = m_manager->GetImageGroup(true);
    auto* frame = new ImageFrame();
    group->AppendImageFrame(frame);
    InitPanoramaPlacement(frame->GetImgInfo(), 0.4f, 0.1f, 0.0f, kW / 2.0f, kH / 2.0f);
    m_manager->ApplyLevelingRotation(0.2f, 0.1f, 0.3f);
    EXPECT_EQ(frame->GetImgInfo()->GetParams()->pan, 0.4f);
    EXPECT_EQ(frame->GetImgInfo()->GetParams()->tilt, 0.1f);
    SuperManager empty;
    empty.ApplyLevelingRotation(0.2f, 0.1f, 0.3f);  // no group: must not crash
    EXPECT_EQ(empty.GetImageGroup(false), nullptr);
}

// A lens far outside what the solver accepts (a point at the corner moved
// by a third): the fit with distortion fails its sanity check, the solve
// runs once more without distortion, and the manager's correction record
// goes away. A plain lens passes in one solve and fills the record.
TEST_F(GlobalAlignTest, AFitFailingTheSanityCheckIsRetriedWithoutDistortion)
{
    struct Case {
        double k;
        bool retried;
    };
    const Case cases[] = {{0.0, false}, {0.1, true}, {-0.1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.k);
        TearDown();
        SetUp();
        m_truth.clear();
        m_lensK = c.k;
        Build(12, 30, true);
        StitchSettings* s = m_manager->GetStitchSettings();
        s->focalType = 0;
        s->runtimeDistortion = 1;
        m_manager->GetDistortionRecord(true)->a = 0.02f;  // left from an earlier fit
        ASSERT_TRUE(m_manager->PairToGlobal(12, 0, false));
        std::vector<std::tuple<int, int, int>> seen, expected = {{1 + 8 + 16, 12, 12}};
        if (c.retried) expected.push_back({1 + 16, 12, 12});
        for (const Solve& v : g_solves) seen.push_back({v.word, v.count, v.pairs});
        EXPECT_EQ(seen, expected);
        const DistortionRecord* record = m_manager->GetDistortionRecord(false);
        if (c.retried) {
            EXPECT_EQ(record, nullptr);
        } else {
            ASSERT_NE(record, nullptr);
            EXPECT_NEAR(record->a, 0.0f, 0.01f) << "the earlier fit's value was replaced";
        }
    }
}

// Poses written as matrices through SetRotation (here every frame of a
// consistent ring turned by one common rotation with roll in it) are the
// poses the solver starts from: solving leaves every frame on its matrix.
// Were the matrix and the pan, tilt and roll the solver reads out of step,
// the frames would come back at the old poses or elsewhere.
TEST_F(GlobalAlignTest, PosesSetAsMatricesAreThePosesTheSolverSees)
{
    Build(12, 30, true);
    m_manager->GetStitchSettings()->focalType = 0;
    // The common turn: 25 degrees about a slanted axis.
    const double axis[3] = {0.3 / 0.9899, 0.5 / 0.9899, 0.8 / 0.9899}, angle = 25 * kDeg;
    double q[9];
    {
        const double c = std::cos(angle), sn = std::sin(angle), v = 1 - c;
        const double x = axis[0], y = axis[1], z = axis[2];
        const double m[9] = {c + x * x * v,     x * y * v - z * sn, x * z * v + y * sn,
                             y * x * v + z * sn, c + y * y * v,     y * z * v - x * sn,
                             z * x * v - y * sn, z * y * v + x * sn, c + z * z * v};
        std::copy(m, m + 9, q);
    }
    std::vector<std::vector<float>> expected;
    for (int k = 0; k < 12; ++k) {
        float r[9], turned[9];
        IImgInfo* info = Frame(k)->GetImgInfo();
        info->GetRotation(r);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                turned[3 * i + j] = static_cast<float>(q[3 * i] * r[j] + q[3 * i + 1] * r[3 + j] + q[3 * i + 2] * r[6 + j]);
        info->SetRotation(info->GetFocal(), turned);
        expected.emplace_back(turned, turned + 9);
    }
    ASSERT_TRUE(m_manager->PairToGlobal(12, 0, false));
    double worst = 0;
    for (int k = 0; k < 12; ++k) {
        float r[9];
        Frame(k)->GetImgInfo()->GetRotation(r);
        double trace = 0;
        for (int i = 0; i < 9; ++i) trace += double(r[i]) * expected[k][i];
        worst = std::max(worst, std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0)) / kDeg);
    }
    EXPECT_LT(worst, 0.05);
}
