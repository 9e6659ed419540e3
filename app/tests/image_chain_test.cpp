// The image chain against frames of the real image graph, with poses written
// through the stitching core's info objects; pose arithmetic is checked
// against a plain loop written here.
#include "app/control/image_chain.h"

#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/curvekit/pair_info.h"
#include "platform/panocore/pair_share_info.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

struct Pose {
    float scale, pan, tilt;
};

class ChainTest : public ::testing::Test {
protected:
    void Make(int n)
    {
        for (int i = 0; i < n; ++i) {
            m_frames.push_back(std::make_unique<ImageFrame>());
            m_chain.Append(m_frames.back().get());
        }
    }
    // A new chain of n new frames, for each case of a table.
    void Fresh(int n)
    {
        while (m_chain.m_count) m_chain.RemoveData(0);
        m_chain.flags = 0;
        m_chain.centerIndex = m_chain.pairCursor = 0;
        m_chain.loopPan = m_chain.loopTilt = m_chain.loopScale = 0.0f;
        m_frames.clear();
        Make(n);
    }
    ImageFrame* F(int i) { return m_frames[i].get(); }
    TRANSFORM_RS* Rs(int i) { return F(i)->GetImgInfo()->GetParams(); }
    void SetPose(int i, Pose p)
    {
        Rs(i)->rcpFocal = p.scale;
        Rs(i)->pan = p.pan;
        Rs(i)->tilt = p.tilt;
    }
    Pose GetPose(int i) { return {Rs(i)->rcpFocal, Rs(i)->pan, Rs(i)->tilt}; }
    // Links i -> i+1 for i < upTo merged both ways, frames merged.
    void MergeRun(int upTo)
    {
        for (int i = 0; i < upTo; ++i) F(i)->AddNeighbor(F(i + 1));
        for (int i = 0; i < upTo; ++i) F(i)->SetMerged(F(i + 1));
    }
    // Pans spread evenly from 0 to `span` (no optical centre: frames carry no
    // image, so the span is the pan range).
    void EvenPans(float span)
    {
        const int n = static_cast<int>(m_frames.size());
        for (int i = 0; i < n; ++i) SetPose(i, {0.001f, span * i / (n - 1), 0.0f});
    }

    std::vector<std::unique_ptr<ImageFrame>> m_frames;  // destroyed after the chain is emptied
    ImageChain m_chain;
};

TEST_F(ChainTest, NextStitchPairSingleFrameHasNothing)
{
    Make(1);
    ImageFrame *a = nullptr, *b = nullptr;
    int index = 7;
    EXPECT_EQ(m_chain.NextStitchPair(&a, &b, &index), kPairNothingLeft);
    EXPECT_EQ(index, 0);
}

TEST_F(ChainTest, NextStitchPairFirstUnmergedPairCreatesLinkAndCentre)
{
    Make(3);
    ImageFrame *a = nullptr, *b = nullptr;
    int index = -1;
    EXPECT_EQ(m_chain.NextStitchPair(&a, &b, &index), kPairToStitch);
    EXPECT_EQ(a, F(0));
    EXPECT_EQ(b, F(1));
    EXPECT_EQ(index, 0);
    EXPECT_NE(F(0)->FindNeighbor(F(1)), nullptr);
    EXPECT_NE(F(1)->FindNeighbor(F(0)), nullptr);
    EXPECT_TRUE(F(0)->IsCenterFrame());
}

TEST_F(ChainTest, NextStitchPairMergedSecondFrameKinds)
{
    struct Case {
        int frames, mergedPairs;
        int kind, index;
    };
    // Pair 1 of 4 frames is not the last pair: 0x20; pair 2 of 4 is: 1.
    for (Case c : {Case{4, 1, kPairSecondMerged, 1}, Case{4, 2, kPairToStitch, 2}}) {
        Fresh(c.frames);
        MergeRun(c.mergedPairs);
        // The second frame of the first open pair is already merged (through
        // another pair).
        F(c.mergedPairs + 1)->SetMerged();
        ImageFrame *a = nullptr, *b = nullptr;
        int index = 0;
        EXPECT_EQ(m_chain.NextStitchPair(&a, &b, &index), c.kind) << c.mergedPairs;
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(m_chain.pairCursor, c.index);
        EXPECT_EQ(a, F(c.mergedPairs));
        EXPECT_FALSE(F(0)->IsCenterFrame()) << "only the first pair makes a centre";
    }
}

TEST_F(ChainTest, NextStitchPairAllMergedBySpanAndLoop)
{
    struct Case {
        float span;
        bool loop;
        int kind;
    };
    for (Case c : {Case{5.79f, false, kPairNothingLeft}, Case{5.8f, false, kPairLoopClosingAsk},
                   Case{6.1f, true, kPairLoopClosing}, Case{5.0f, true, kPairLoopClosing}}) {
        Fresh(5);
        MergeRun(4);
        EvenPans(c.span);
        Rs(4)->tilt = 0.25f;
        Rs(4)->rcpFocal = 0.002f;
        m_chain.flags = c.loop ? kChainLoop : 0;
        ImageFrame *a = nullptr, *b = nullptr;
        int index = 0;
        EXPECT_EQ(m_chain.NextStitchPair(&a, &b, &index), c.kind) << c.span;
        EXPECT_EQ(index, 4);
        if (c.kind == kPairNothingLeft) {
            EXPECT_EQ(F(0)->FindNeighbor(F(4)), nullptr);
            continue;
        }
        EXPECT_EQ(a, F(0));
        EXPECT_EQ(b, F(4));
        EXPECT_NE(F(0)->FindNeighbor(F(4)), nullptr);
        EXPECT_FLOAT_EQ(m_chain.loopPan, Rs(4)->pan);
        EXPECT_FLOAT_EQ(m_chain.loopTilt, 0.25f);
        EXPECT_FLOAT_EQ(m_chain.loopScale, 0.002f);
    }
}

TEST_F(ChainTest, NextStitchPairClosedLoopEndsEvenInLoop)
{
    Make(4);
    MergeRun(3);
    EvenPans(6.0f);
    F(3)->AddNeighbor(F(0));
    F(3)->SetMerged(F(0));
    m_chain.SetLoop(true);
    ImageFrame *a = nullptr, *b = nullptr;
    int index = 0;
    EXPECT_EQ(m_chain.NextStitchPair(&a, &b, &index), kPairNothingLeft);
}

TEST_F(ChainTest, NextStitchPairBlockedLoopLinkSequence)
{
    Make(4);
    MergeRun(3);
    EvenPans(6.0f);
    F(0)->AddNeighbor(F(3));
    F(3)->FindNeighbor(F(0))->SetBlocked();
    m_chain.SetLoop(true);
    // First time: 0x4; second: 0x4|0x8; third: both cleared then 0x8 and 0x4 again.
    const uint32_t expected[] = {kChainLoopBlocked, kChainLoopBlocked | kChainLoopBlockedAgain,
                                 kChainLoopBlocked | kChainLoopBlockedAgain};
    for (uint32_t want : expected) {
        ImageFrame *a = nullptr, *b = nullptr;
        int index = 0;
        EXPECT_EQ(m_chain.NextStitchPair(&a, &b, &index), kPairLoopClosing);
        EXPECT_EQ(m_chain.flags & (kChainLoopBlocked | kChainLoopBlockedAgain), want);
        EXPECT_EQ(a, F(0));
        EXPECT_EQ(b, F(3));
    }
    m_chain.ResetPairStates(false, false, 0, -1, false);
    EXPECT_EQ(m_chain.flags & (kChainLoopBlocked | kChainLoopBlockedAgain), 0u);
}

// ---- Span and pose spreading ---------------------------------------------------

// The obvious loop: pans past frame 0 rescaled about its pan, +2pi once a step
// of more than 4 radians has been seen, tilt corrected by the new offset.
std::vector<Pose> Spread(std::vector<Pose> poses, double k, double q, bool scaleToo)
{
    const double p0 = poses[0].pan;
    bool wrapped = false;
    for (size_t i = 0; i < poses.size(); ++i) {
        if (i > 0) {
            if (std::fabs(double(poses[i].pan) - double(poses[i - 1].pan)) > 4.0) wrapped = true;
            const double pan = (poses[i].pan + (wrapped ? 6.283185 : 0.0) - p0) * k + p0;
            poses[i].pan = static_cast<float>(pan);
            poses[i].tilt = static_cast<float>(poses[i].tilt - (pan - p0) * q);
        }
        if (scaleToo) poses[i].scale = static_cast<float>(poses[i].scale * k);
    }
    return poses;
}

TEST_F(ChainTest, ChainSpanWithPanWrapAndOpticalCentre)
{
    Make(4);
    MergeRun(3);
    // Pans 2.0, 3.0, -3.0 (wrapped), -2.0: 2 + 2pi - 2 + both half fields.
    const float pans[] = {2.0f, 3.0f, -3.0f, -2.0f};
    for (int i = 0; i < 4; ++i) SetPose(i, {0.002f, pans[i], 0.0f});
    for (int i : {0, 3}) {
        Image* image = new Image(400, 10, 3);
        F(i)->SetImage(image, false);
        ReleaseImage(image);
    }
    const double h = std::atan(200.0 * 0.002);
    EXPECT_NEAR(m_chain.ChainSpan(), -2.0 - 2.0 + 6.283185 + 2 * h, 1e-5);
    // The run stops at the first unmerged link.
    F(1)->SetNotMerged(F(2));
    F(1)->SetMerged();
    EXPECT_NEAR(m_chain.ChainSpan(), 3.0 - 2.0 + std::atan(0.0) + h, 1e-5);
}

TEST_F(ChainTest, FitChainSpanAgainstReference)
{
    Make(5);
    MergeRun(4);
    const std::vector<Pose> start = {
        {0.001f, 2.5f, 0.1f}, {0.0011f, 3.5f, 0.0f}, {0.0012f, -2.0f, 0.2f}, {0.0013f, -0.5f, 0.0f}, {0.0014f, 0.0f, 0.0f}};
    for (int i = 0; i < 5; ++i) SetPose(i, start[i]);
    // Span 0 - 2.5 + 2pi = 3.783: below the target, nothing moves.
    EXPECT_FALSE(m_chain.FitChainSpan(true));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(GetPose(i).pan, start[i].pan);

    for (bool scaleToo : {false, true}) {
        for (int i = 0; i < 5; ++i) SetPose(i, {start[i].scale, start[i].pan, start[i].tilt});
        Rs(4)->pan = 2.5f + 6.3f - 6.283185f;  // span 6.3
        std::vector<Pose> ref;
        for (int i = 0; i < 5; ++i) ref.push_back(GetPose(i));
        ref = Spread(ref, 6.220353 / m_chain.ChainSpan(), 0.0, scaleToo);
        EXPECT_NEAR(m_chain.ChainSpan(), 6.3, 1e-5);
        EXPECT_TRUE(m_chain.FitChainSpan(scaleToo));
        for (int i = 0; i < 5; ++i) {
            EXPECT_NEAR(GetPose(i).pan, ref[i].pan, 1e-5) << i;
            EXPECT_FLOAT_EQ(GetPose(i).tilt, start[i].tilt) << i;
            EXPECT_NEAR(GetPose(i).scale, ref[i].scale, 1e-9) << i;
        }
        EXPECT_NEAR(m_chain.ChainSpan(), 6.220353, 1e-4);
    }
}

TEST_F(ChainTest, CloseLoopStretchesPansTiltsAndScales)
{
    Make(4);
    const std::vector<Pose> start = {{0.001f, 0.5f, 0.05f}, {0.001f, 2.0f, 0.0f}, {0.001f, 3.5f, 0.1f}, {0.001f, 5.0f, 0.0f}};
    for (int i = 0; i < 4; ++i) SetPose(i, start[i]);
    // The loop pair moved the last frame back; the turn measured is 6.0.
    m_chain.loopPan = 5.0f;
    m_chain.loopTilt = 0.2f;
    m_chain.loopScale = 0.0012f;
    SetPose(3, {0.0009f, -1.0f, 0.05f});
    const double d = 6.0;
    std::vector<Pose> ref = start;
    ref[3] = {0.0012f, 5.0f, 0.2f};
    ref = Spread(ref, 6.283185 / d, (0.2 - 0.05) / 6.283185, true);
    m_chain.CloseLoop();
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(GetPose(i).pan, ref[i].pan, 1e-5) << i;
        EXPECT_NEAR(GetPose(i).tilt, ref[i].tilt, 1e-5) << i;
        EXPECT_NEAR(GetPose(i).scale, ref[i].scale, 1e-8) << i;
    }
    EXPECT_NEAR(GetPose(1).pan - 0.5f, 1.5 * 6.283185 / 6.0, 1e-5);
}

TEST_F(ChainTest, CloseLoopRefusesTurnOutsideSaneBand)
{
    Make(3);
    for (int i = 0; i < 3; ++i) SetPose(i, {0.001f, 1.0f * i, 0.0f});
    LogCapture log;
    // d = 2.0 + 2pi = 8.28 (beyond 1.25 turns) and d = 4.0 (below 0.8 turns).
    for (float loopPan : {4.0f, 6.0f}) {
        m_chain.loopPan = loopPan;
        m_chain.loopScale = 0.5f;
        m_chain.CloseLoop();
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(GetPose(i).pan, 1.0f * i);
            EXPECT_EQ(GetPose(i).scale, 0.001f);
        }
    }
    EXPECT_EQ(log.errorCount(), 2);
    EXPECT_TRUE(log.contains("ERROR ImageChain::CloseLoop"));
}

// ---- Reset, pairs, overlaps ----------------------------------------------------

TEST_F(ChainTest, ResetPairStatesTable)
{
    struct Case {
        bool full, dropMarkers;
        int from, to;
        bool dropFa;
    };
    for (Case c : {Case{true, true, 0, -1, true}, Case{true, false, 0, -1, false}, Case{false, true, 0, -1, false},
                   Case{true, true, 2, 2, true}, Case{false, false, 2, 1, false}}) {
        SCOPED_TRACE(testing::Message() << c.full << c.dropMarkers << " " << c.from << ".." << c.to << c.dropFa);
        Fresh(4);
        MergeRun(3);
        m_chain.flags = kChainLoopBlocked | kChainLoopBlockedAgain | kChainLoop;
        for (int i = 0; i < 4; ++i) {
            Rs(i)->pan = 1.0f + i;
            if (!Rs(i)->colorTable) Rs(i)->colorTable = AllocColorTable();
            Image* image = new Image(8, 8, 3);
            F(i)->SetImage(image, false);
            ReleaseImage(image);
            F(i)->SetBeamDownState(true);
        }
        for (int i = 0; i < 3; ++i) {
            for (auto [x, y] : {std::pair{i, i + 1}, std::pair{i + 1, i}}) {
                Neighbor* link = F(x)->FindNeighbor(F(y));
                link->SetBlocked();
                link->SetDetoured();
                link->SetMarkers(new Marker());
                link->SetMarkerFa(new Marker());
                link->SetFakeMarkers(new Marker());
                link->SetMarkerType(false);
                link->SetAtuoStitchStatus(true);
                link->SetAtuoMarkerType(true);
                IPairInfo* info = GetPairInfoInterface();
                info->SetMarker(new Marker());
                link->SetPairInfo(info);
                PAIR_WALIGN_RR_PRMS2* pair = link->GetPairShareInfo()->GetPairParams();
                *pair = {{1, 2, 3, 4}, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f};
            }
        }
        m_chain.ResetPairStates(c.full, c.dropMarkers, c.from, c.to, c.dropFa);
        EXPECT_EQ(m_chain.flags, kChainLoop);
        const int last = c.to < c.from ? 3 : c.to;
        for (int i = 0; i < 4; ++i) {
            const bool inRange = i >= c.from && i <= last;
            EXPECT_EQ(F(i)->IsBeamDown(), !(inRange && c.full)) << i;
            EXPECT_EQ(F(i)->GetImage() == nullptr, inRange && c.full) << i;
            EXPECT_EQ(Rs(i)->pan == 0.0f && Rs(i)->colorTable == nullptr, inRange && c.full) << i;
            if (inRange) {
                EXPECT_FALSE(F(i)->IsMerged()) << i;
            }
        }
        // A link is touched when either end frame is in the range.
        for (int i = 0; i < 3; ++i) {
            const bool touched = (i >= c.from && i <= last) || (i + 1 >= c.from && i + 1 <= last);
            for (auto [x, y] : {std::pair{i, i + 1}, std::pair{i + 1, i}}) {
                Neighbor* link = F(x)->FindNeighbor(F(y));
                SCOPED_TRACE(testing::Message() << x << "->" << y);
                EXPECT_EQ(link->IsBlocked(), !touched);
                EXPECT_EQ(link->IsDetoured(), !touched);
                const bool full = touched && c.full;
                EXPECT_EQ(link->m_fakeMarkers == nullptr, full);
                EXPECT_EQ(link->IsManualMarkerType(), full);
                EXPECT_EQ(link->IsAtuoStitchOk(), !full);
                EXPECT_EQ(link->IsAutoMarkerF(), !full);
                EXPECT_EQ(link->GetMarkerFa() == nullptr, full && c.dropFa);
                EXPECT_EQ(link->m_markers == nullptr, touched && c.dropMarkers);
                EXPECT_EQ(link->GetPairInfo()->GetMarker(0) == nullptr, full);
                const PAIR_WALIGN_RR_PRMS2* pair = link->GetPairShareInfo()->GetPairParams();
                EXPECT_EQ(pair->rcpF1, full ? 0.0f : 0.5f);
                EXPECT_EQ(pair->rcpF2, full ? 0.0f : 0.6f);
                EXPECT_EQ(pair->reserved[3], 4.0f);
                EXPECT_EQ(pair->angA, 0.7f);
            }
        }
        if (c.from >= 1) {
            EXPECT_FALSE(F(c.from - 1)->FindNeighbor(F(c.from))->IsMerged());
        }
    }
}

TEST_F(ChainTest, ResetPairStatesEmptyChainOnlyClearsBlockFlags)
{
    m_chain.flags = 0x1f;
    m_chain.ResetPairStates(true, true, 0, -1, true);
    ResetPairStates(&m_chain, true, true, 0, -1, true);
    EXPECT_EQ(m_chain.flags, 0x13u);
}

TEST_F(ChainTest, GetPairLastOnlyInLoop)
{
    Make(3);
    ImageFrame *a = nullptr, *b = nullptr;
    EXPECT_FALSE(m_chain.GetPair(-1, &a, &b));
    EXPECT_FALSE(m_chain.GetPair(2, &a, &b));
    EXPECT_FALSE(m_chain.GetPair(3, &a, &b));
    ASSERT_TRUE(m_chain.GetPair(1, &a, &b));
    EXPECT_EQ(a, F(1));
    EXPECT_EQ(b, F(2));
    m_chain.SetLoop(true);
    ASSERT_TRUE(m_chain.GetPair(2, &a, &b));
    EXPECT_EQ(a, F(0));
    EXPECT_EQ(b, F(2));
}

TEST_F(ChainTest, CountMergedPairsStopsAndWraps)
{
    Make(4);
    MergeRun(1);
    F(2)->AddNeighbor(F(3));
    F(2)->SetMerged(F(3));
    EXPECT_EQ(m_chain.CountMergedPairs(), 1);
    EXPECT_EQ(m_chain.pairCursor, 1);
    F(1)->AddNeighbor(F(2));
    F(1)->SetMerged(F(2));
    EXPECT_EQ(m_chain.CountMergedPairs(), 3);
    F(3)->AddNeighbor(F(0));
    F(3)->SetMerged(F(0));
    EXPECT_EQ(m_chain.CountMergedPairs(), 4);
}

TEST_F(ChainTest, PairOverlapsAndDefaults)
{
    Make(3);
    const PAIR_ALIGN_INIT_SETTING* def = Neighbor::GetPairAlignInitSetting();
    float h = -1, v = -1;
    m_chain.GetPairOverlap(0, &h, &v);
    EXPECT_EQ(h, def->overlapH);
    EXPECT_EQ(v, def->overlapV);
    m_chain.GetPairOverlap(2, &h, &v);  // no last pair outside a loop
    EXPECT_EQ(h, def->overlapH);
    m_chain.SetPairOverlap(1, 0.25f);
    ASSERT_NE(F(1)->FindNeighbor(F(2)), nullptr);
    m_chain.GetPairOverlap(1, &h, &v);
    EXPECT_FLOAT_EQ(h, 0.25f);
    EXPECT_FLOAT_EQ(F(2)->FindNeighbor(F(1))->GetOverlapH(), 0.25f);
    m_chain.UpdateDefaultOverlaps();
    EXPECT_NE(F(0)->FindNeighbor(F(1)), nullptr);
    EXPECT_EQ(F(0)->FindNeighbor(F(2)), nullptr);
}

TEST_F(ChainTest, SetLoopCreatesAndSwitchesTheClosingLink)
{
    Make(4);
    m_chain.SetLoop(true);
    EXPECT_TRUE(m_chain.IsLoop());
    ASSERT_NE(F(0)->FindNeighbor(F(3)), nullptr);
    ASSERT_NE(F(3)->FindNeighbor(F(0)), nullptr);
    m_chain.SetLoop(false);
    EXPECT_FALSE(m_chain.IsLoop());
    EXPECT_FALSE(F(0)->FindNeighbor(F(3))->IsActive());
    EXPECT_FALSE(F(3)->FindNeighbor(F(0))->IsActive());
    m_chain.SetLoop(true);
    EXPECT_TRUE(F(0)->FindNeighbor(F(3))->IsActive());
    EXPECT_TRUE(F(3)->FindNeighbor(F(0))->IsActive());
}

TEST_F(ChainTest, CenterFrameAndFrameArray)
{
    Make(3);
    m_chain.SetCenterFrame(1);
    EXPECT_TRUE(m_chain.HasCenterFrame());
    EXPECT_TRUE(F(1)->IsMerged());
    EXPECT_TRUE(F(1)->IsCenterFrame());
    m_chain.SetCenterFrame(2);
    EXPECT_FALSE(F(1)->IsMerged());
    EXPECT_EQ(m_chain.centerIndex, 2);
    m_chain.SetCenterFrame(5);
    EXPECT_FALSE(m_chain.HasCenterFrame());
    uint32_t count = 0;
    bool loop = true;
    std::unique_ptr<ImageFrame*[]> frames(m_chain.GetFrameArray(&count, &loop));
    ASSERT_EQ(count, 3u);
    EXPECT_FALSE(loop);
    EXPECT_EQ(frames[2], F(2));
    m_chain.SetAutoStitchMode(false);
    EXPECT_TRUE(m_chain.flags & kChainMarkerMode);
    m_chain.SetAutoStitchMode(true);
    EXPECT_FALSE(m_chain.flags & kChainMarkerMode);
}

}  // namespace
