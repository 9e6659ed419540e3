// Link pairs: one pair per two frames, the shared pair object released
// exactly once whatever is destroyed first, role swaps, the link counter and
// the markers and overlaps a link keeps.
#include "projectgraph/framegrp/neighbor.h"

#include "core/logger.h"
#include "projectgraph/framegrp/tests/graph_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

TEST(Neighbor, AddNeighborTwiceGivesTheSameLinkAndOnePair)
{
    Neighbor::ResetLinkingCounter();
    const int shares = GetPairShareInfoCount();
    ImageFrame a, b;
    Neighbor* first = a.AddNeighbor(&b);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(a.AddNeighbor(&b), first);
    EXPECT_EQ(a.GetNeighbor()->m_count, 1);
    EXPECT_EQ(b.GetNeighbor()->m_count, 1);
    // Asking from the other side finds the link made for it.
    Neighbor* back = b.AddNeighbor(&a);
    EXPECT_EQ(back, b.FindNeighbor(&a));
    EXPECT_EQ(a.GetNeighbor()->m_count, 1);
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 1);
    EXPECT_EQ(GetPairShareInfoCount(), shares + 1);

    EXPECT_TRUE(first->IsEndImageFrame());
    EXPECT_FALSE(back->IsEndImageFrame());
    EXPECT_EQ(first->GetPairShareInfo(), back->GetPairShareInfo());
    bool linked = false;
    EXPECT_TRUE(a.IsStartFrm(&b, linked));
    EXPECT_TRUE(linked);
    EXPECT_FALSE(b.IsStartFrm(&a, linked));
    ImageFrame c;
    EXPECT_FALSE(a.IsStartFrm(&c, linked));
    EXPECT_FALSE(linked);

    LogCapture log;
    EXPECT_EQ(a.AddNeighbor(&a), nullptr);
    EXPECT_TRUE(log.contains("ERROR ImageFrame::AddNeighbor"));
}

// Every way of taking a linked graph apart must release each pair's shared
// object exactly once (ASan reports a second release, the count a missing one).
TEST(Neighbor, PairObjectIsReleasedExactlyOnceUnderAnyDestructionOrder)
{
    struct Scenario {
        const char* what;
        std::function<void()> run;
        int counter = 0;  // the link counter afterwards: each ActivateLink raised it once more
    };
    auto pair = [](bool activate, bool destroyStartFirst) {
        auto a = std::make_unique<ImageFrame>();
        auto b = std::make_unique<ImageFrame>();
        Neighbor* ab = a->AddNeighbor(b.get());
        if (activate) ab->ActivateLink(b->FindNeighbor(a.get()));
        // a is the start frame unless the roles were swapped.
        if (destroyStartFirst == !activate) a.reset();
        else b.reset();
    };
    const Scenario scenarios[] = {
        {"start frame destroyed first", [&] { pair(false, true); }},
        {"end frame destroyed first", [&] { pair(false, false); }},
        {"swapped, start frame first", [&] { pair(true, true); }, 1},
        {"swapped, end frame first", [&] { pair(true, false); }, 1},
        {"group of four, fully linked",
         [] {
             ImageGroup g;
             for (int i = 0; i < 4; ++i) g.AppendImageFrame(new ImageFrame());
             for (int i = 0; i < 4; ++i)
                 for (int j = 0; j < 4; ++j)
                     if (i != j) g.GetImageFrame(i)->AddNeighbor(g.GetImageFrame(j));
         }},
        {"frames removed from the middle",
         [] {
             ImageGroup g;
             for (int i = 0; i < 3; ++i) g.AppendImageFrame(new ImageFrame());
             g.GetImageFrame(0)->AddNeighbor(g.GetImageFrame(1));
             g.GetImageFrame(2)->AddNeighbor(g.GetImageFrame(1));
             g.RemoveImageFrame(g.GetImageFrame(1));
             EXPECT_EQ(g.GetImageFrame(0)->GetNeighbor()->m_count, 0);
             g.RemoveImageFrame(g.GetImageFrame(0));
         }},
        {"owning link removed on its own",
         [] {
             ImageFrame a, b;
             a.AddNeighbor(&b);
             b.RemoveNeighbor(&a);  // b held the owning link
             // The remaining link keeps the object alive and now owns it.
             Neighbor* ab = a.FindNeighbor(&b);
             ASSERT_NE(ab, nullptr);
             EXPECT_FALSE(ab->IsEndImageFrame());
             EXPECT_FLOAT_EQ(ab->GetOverlapH(), 0.4f);
             a.RemoveNeighbor(&b);  // the last holder releases it
         }},
        {"shared object replaced on the pair",
         [] {
             ImageFrame a, b;
             a.AddNeighbor(&b);
             a.SetPairShareInfo(&b, GetPairShareInfoInterface());
             b.SetPairShareInfo(&a, GetPairShareInfoInterface());
             EXPECT_EQ(a.GetPairShareInfo(&b), b.GetPairShareInfo(&a));
         }},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        const int shares = GetPairShareInfoCount();
        Neighbor::ResetLinkingCounter();
        s.run();
        EXPECT_EQ(GetPairShareInfoCount(), shares);
        EXPECT_EQ(Neighbor::GetLinkingCounter(), s.counter);
    }
}

TEST(Neighbor, ActivateLinkSwapsTheEndFrameBit)
{
    Neighbor::ResetLinkingCounter();
    ImageFrame a, b;
    Neighbor* ab = a.AddNeighbor(&b);
    Neighbor* ba = b.FindNeighbor(&a);
    ab->Activate(false);
    ba->Activate(false);
    ASSERT_TRUE(ab->IsEndImageFrame());
    ab->ActivateLink(ba);
    EXPECT_FALSE(ab->IsEndImageFrame());
    EXPECT_TRUE(ba->IsEndImageFrame());
    EXPECT_TRUE(ab->IsActive());
    EXPECT_TRUE(ba->IsActive());
    EXPECT_EQ(ab->GetLinkIndex(), 1);
    EXPECT_EQ(ba->GetLinkIndex(), 1);
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 2);
    // The start side activating keeps the roles.
    ab->ActivateLink(ba);
    EXPECT_FALSE(ab->IsEndImageFrame());
    EXPECT_EQ(ab->GetLinkIndex(), 2);
}

TEST(Neighbor, LinkCounterNeverWrapsBelowZero)
{
    struct Step {
        const char* what;
        int expected;
    };
    Neighbor::ResetLinkingCounter();
    auto a = std::make_unique<ImageFrame>();
    auto b = std::make_unique<ImageFrame>();
    auto c = std::make_unique<ImageFrame>();
    a->AddNeighbor(b.get());
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 1);
    a->AddNeighbor(c.get());
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 2);
    EXPECT_EQ(b->FindNeighbor(a.get())->GetLinkIndex(), 0);
    EXPECT_EQ(c->FindNeighbor(a.get())->GetLinkIndex(), 1);
    b.reset();  // one start-side link goes
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 1);
    Neighbor::ResetLinkingCounter();
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 0);
    c.reset();  // reset, then the last start-side link goes: no wrap to 65,535
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 0);
}

TEST(Neighbor, MarkersGoIntoTheSetOfTheMarkerMode)
{
    Neighbor link(false);
    link.m_offsetX = 10;
    link.m_offsetY = 20;
    Marker* manual = link.AddMarker(100, 50);
    ASSERT_EQ(manual, link.GetMarkers(true));
    EXPECT_EQ(graphtest::Points(manual), "1[90,30;]");
    EXPECT_EQ(link.GetMarkers(), manual);
    // FindMarker works in the frame's image coordinates.
    EXPECT_EQ(link.FindMarker(100.0f, 50.0f, 0.5f), 0);
    EXPECT_EQ(link.FindMarker(90.0f, 30.0f, 0.5f), -1);

    link.SetMarkerType(false);
    Marker* fake = link.AddMarker(100, 50);
    ASSERT_EQ(fake, link.GetMarkers(false));
    EXPECT_EQ(graphtest::Points(fake), "1[100,50;]");
    EXPECT_EQ(link.GetMarkers(), fake);
    EXPECT_EQ(graphtest::Points(link.GetMarkers(true)), "1[90,30;]");
    link.SetFakeMarkers(nullptr);
    EXPECT_EQ(link.GetMarkers(), nullptr);

    Neighbor lonely(true);
    EXPECT_EQ(lonely.FindMarker(0, 0, 10), -1);
}

TEST(Neighbor, OverlapsAndTheUserMark)
{
    ImageFrame a, b;
    Neighbor* link = a.AddNeighbor(&b);
    EXPECT_FLOAT_EQ(link->GetOverlapH(), 0.4f);
    EXPECT_FLOAT_EQ(link->GetOverlapV(), 0.0f);
    link->SetOverlapH(0.3f);
    EXPECT_FLOAT_EQ(link->GetOverlapH(), 0.3f);
    EXPECT_EQ(link->GetPairShareInfo()->GetInitSetting()->userSet & 1, 1);
    // Both links of the pair see the same settings.
    EXPECT_FLOAT_EQ(b.FindNeighbor(&a)->GetOverlapH(), 0.3f);
    link->UpdateDefaultOverlap();
    EXPECT_FLOAT_EQ(link->GetOverlapH(), 0.4f);
    EXPECT_EQ(link->GetPairShareInfo()->GetInitSetting()->userSet & 1, 0);

    // Without a pair object: the class-wide defaults, and setting does nothing.
    Neighbor bare(true);
    bare.SetOverlapV(0.7f);
    EXPECT_FLOAT_EQ(bare.GetOverlapV(), 0.0f);
    EXPECT_FLOAT_EQ(bare.GetOverlapH(), Neighbor::GetPairAlignInitSetting()->overlapH);
}

TEST(Neighbor, PairObjectsAreOwnedAndReplaced)
{
    const int infos = GetPairInfoCount();
    {
        ImageFrame a, b;
        a.AddNeighbor(&b);
        a.SetPairInfo(&b, GetPairInfoInterface(), GetPairInfoInterface());
        a.SetPairInfo(&b, GetPairInfoInterface(), GetPairInfoInterface());  // the first two are released
        EXPECT_EQ(GetPairInfoCount(), infos + 2);
        // Automatic markers go into the pair objects, which take them over.
        a.SetAutoMarker(&b, graphtest::MakeMarkers({{1, 2}}), graphtest::MakeMarkers({{3, 4}, {5, 6}}), true);
        Marker *mine = nullptr, *theirs = nullptr;
        ASSERT_TRUE(a.GetAutoMarker(&b, &mine, &theirs));
        EXPECT_EQ(graphtest::Points(mine), "1[1,2;]");
        EXPECT_EQ(graphtest::Points(theirs), "2[3,4;5,6;]");
        EXPECT_TRUE(a.IsAutoMarkerF(&b));
        EXPECT_TRUE(b.IsAutoMarkerF(&a));
        // Without a link: no answer, and the outputs are cleared.
        ImageFrame c;
        EXPECT_FALSE(a.GetAutoMarker(&c, &mine, &theirs));
        EXPECT_EQ(mine, nullptr);
        EXPECT_EQ(theirs, nullptr);
        EXPECT_FALSE(a.SetAtuoStitchStatus(&c, true));
    }
    EXPECT_EQ(GetPairInfoCount(), infos);
}

}  // namespace
