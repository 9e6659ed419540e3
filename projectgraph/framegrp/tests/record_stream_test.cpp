// The image graph's record stream: golden bytes of a graph that uses every
// optional tag, the read-back graph, the version-1 layout from a hand-built
// fixture, unknown tags, and the table of malformed and truncated inputs,
// none of which may crash, leak or leave a half-linked graph.
#include "projectgraph/framegrp/record_stream.h"

#include "core/logger.h"
#include "projectgraph/framegrp/tests/graph_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

using graphtest::Bytes;
using graphtest::Describe;
using graphtest::Load;
using graphtest::MakeMarkers;
using graphtest::Save;

namespace {

// Two frames and one link pair whose links carry every optional tag: manual
// (37), fake (53), 'Fa' (59) and pair-information (38) markers, the user's
// pair setting (39) and the seam byte (40); frame a has brightness, contrast
// and gamma set (47-49), frame b is at the colour defaults.
void BuildGoldenGraph(ImageGroup& g)
{
    Neighbor::ResetLinkingCounter();
    auto* a = new ImageFrame();
    a->SetName("a.jpg");
    a->SetStampLocation(10, 20);
    a->SetOverlapWndLocation(3, 4);
    g.AppendImageFrame(a);  // blend index 0, centre, may link out: state 0x11
    auto* b = new ImageFrame();
    b->SetName("dir\\b.jpg");
    b->SetStampLocation(-40, 7);
    b->SetBlendWidth(15);
    b->SetBlendLine(60);
    g.AppendImageFrame(b);  // blend index 1
    a->RotateImage(90);     // rotation code 2: state 0x13

    ColorCtrl* cc = a->GetColorCtrl();
    cc->SetBrightness(5, 0);
    cc->SetBrightness(-3, 1);
    cc->SetContrast(1.25f, 0);
    cc->SetContrast(0.5f, 2);
    cc->SetGamma(2.2f, 0);

    Neighbor* ab = a->AddNeighbor(b);  // end-frame link, held by a
    Neighbor* ba = b->FindNeighbor(a);  // start side: owns the pair-share object
    ab->SetLinkIndex(7);
    ba->SetLinkIndex(8);
    ab->m_offsetX = -5;
    ab->m_offsetY = 6;
    ab->SetState(0x0EFF);  // every bit up to 11 except 8: the stream keeps 0x0E25 of it
    ab->SetMarkers(MakeMarkers({{1.5f, 2.5f}, {3.0f, 4.0f}}));
    ab->SetFakeMarkers(MakeMarkers({{5.0f, 6.0f}}));
    ba->SetMarkerFa(MakeMarkers({{7.0f, 8.0f}}));
    IPairInfo* info = GetPairInfoInterface();
    info->SetMarker(MakeMarkers({{9.0f, 10.0f}, {11.0f, 12.0f}, {13.0f, 14.0f}}));
    ba->SetPairInfo(info);
    ba->SetOverlapH(0.3f);  // marks the setting as the user's: tag 39 is written
    ba->GetPairShareInfo()->SetSeamCode(2);
}

// The same graph, spelled out entry by entry.
Bytes GoldenBytes()
{
    Bytes x;
    x.Struct(41).Entry(17, 4, 1, 2).Entry(18, 4, 1, 0).Struct(19);
    // frame a
    x.Struct(21).Entry16(23, 3, 1, 0, 0).Entry(24, 6, 5, 0).Text("a.jpg").Entry16(25, 3, 2, 10, 20);
    x.Entry(26, 4, 1, 0x13).Entry16(27, 3, 2, 3, 4).Entry16(54, 3, 2, 10, 50);
    x.U16(47).U16(2).U32(3).U8(5).U8(0xFD).U8(0).U8(0);
    x.EntryF(48, 3, 1.25f).F32(1.0f).F32(0.5f);
    x.EntryF(49, 3, 2.2f).F32(1.0f).F32(1.0f);
    x.Struct(22);
    // frame b
    x.Struct(21).Entry16(23, 3, 1, 1, 0).Entry(24, 6, 9, 0).Text("dir\\b.jpg").Entry16(25, 3, 2, -40, 7);
    x.Entry(26, 4, 1, 0).Entry16(27, 3, 2, 0, 0).Entry16(54, 3, 2, 15, 60).Struct(22);
    x.Struct(20).Struct(43);
    // links of a: the end-frame link to b
    x.Struct(28).Entry(30, 4, 1, 1).Entry(31, 4, 1, 1);
    x.Entry(33, 4, 1, 1).Entry16(34, 3, 1, 0x0E25, 0).Entry16(35, 8, 1, 7, 0).Entry16(36, 3, 2, -5, 6);
    x.Entry(37, 255, 2, 0).F32(1.5f).F32(2.5f).F32(3.0f).F32(4.0f);
    x.Entry(53, 255, 1, 0).F32(5.0f).F32(6.0f);
    x.Struct(45).Struct(32).Struct(29);
    // links of b: the owning link to a
    x.Struct(28).Entry(30, 4, 1, 1).Entry(31, 4, 1, 1);
    x.Entry(33, 4, 1, 0).Entry16(34, 3, 1, 0, 0).Entry16(35, 8, 1, 8, 0).Entry16(36, 3, 2, 0, 0);
    x.Entry(59, 255, 1, 0).F32(7.0f).F32(8.0f);
    x.Entry(38, 255, 3, 0).F32(9).F32(10).F32(11).F32(12).F32(13).F32(14);
    x.Entry(39, 255, 1, 0).F32(0.3f).F32(0.0f).F32(0.1f).F32(0.1f).U8(1).U8(0).U8(0).U8(0);
    x.Entry(40, 2, 1, 2);
    x.Struct(45).Struct(32).Struct(29);
    x.Struct(44).Struct(42);
    return x;
}

std::string Hex(const std::vector<uint8_t>& b, size_t from, size_t n)
{
    std::string s;
    char buf[4];
    for (size_t i = from; i < b.size() && i < from + n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x ", b[i]);
        s += buf;
    }
    return s;
}

::testing::AssertionResult SameBytes(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want)
{
    const size_t n = std::min(got.size(), want.size());
    for (size_t i = 0; i < n; ++i)
        if (got[i] != want[i])
            return ::testing::AssertionFailure() << "first difference at byte " << i << " (entry-aligned start "
                                                 << i - i % 4 << "): got " << Hex(got, i - i % 4, 16) << " want "
                                                 << Hex(want, i - i % 4, 16);
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "sizes differ: got " << got.size() << " want " << want.size();
    return ::testing::AssertionSuccess();
}

// Where an entry with these leading 12 bytes starts, or npos.
size_t FindEntry(const std::vector<uint8_t>& bytes, const Bytes& entry)
{
    auto it = std::search(bytes.begin(), bytes.end(), entry.b.begin(), entry.b.end());
    return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}

std::vector<uint8_t> Replace(std::vector<uint8_t> bytes, const Bytes& from, const Bytes& to)
{
    const size_t at = FindEntry(bytes, from);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) std::copy(to.b.begin(), to.b.end(), bytes.begin() + at);
    return bytes;
}

std::vector<uint8_t> InsertAfter(std::vector<uint8_t> bytes, const Bytes& entry, const Bytes& extra)
{
    const size_t at = FindEntry(bytes, entry);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) bytes.insert(bytes.begin() + at + entry.size(), extra.b.begin(), extra.b.end());
    return bytes;
}

// The state a failed read must leave: an empty group, and every object the
// reader made released again.
struct Baseline {
    int shares = GetPairShareInfoCount();
    int infos = GetPairInfoCount();
};

void ExpectNothingLeft(ImageGroup& g, const Baseline& before)
{
    EXPECT_EQ(g.GetNumbOfImages(), 0);
    EXPECT_EQ(g.GetCentralImageFrame(), nullptr);
    EXPECT_EQ(GetPairShareInfoCount(), before.shares);
    EXPECT_EQ(GetPairInfoCount(), before.infos);
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 0);
}

TEST(RecordStream, GoldenBytesOfAGraphUsingEveryOptionalTag)
{
    ImageGroup g;
    BuildGoldenGraph(g);
    int result = -9;
    const std::vector<uint8_t> bytes = Save(g, &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(SameBytes(bytes, GoldenBytes().b));
}

TEST(RecordStream, ReadBackGivesTheSameGraphAndTheSameBytes)
{
    std::string original;
    {
        ImageGroup g;
        BuildGoldenGraph(g);
        original = Describe(g);
    }
    const Baseline before;
    Neighbor::ResetLinkingCounter();
    ImageGroup h;
    std::vector<uint8_t> file = GoldenBytes().b;
    const size_t graphSize = file.size();
    // The project file goes on after the graph: the reader stops right after tag 42.
    Bytes after;
    after.Struct(44);
    file.insert(file.end(), after.b.begin(), after.b.end());
    long position = 0;
    ASSERT_EQ(Load(h, file, false, &position), kStreamOk);
    EXPECT_EQ(position, static_cast<long>(graphSize));
    EXPECT_EQ(Describe(h), original);
    EXPECT_EQ(Neighbor::GetLinkingCounter(), 1) << "one pair made while reading";

    // Link roles and shared objects: one object per pair, owned by b's link.
    Neighbor* ab = h.GetImageFrame(0)->FindNeighbor(h.GetImageFrame(1));
    Neighbor* ba = h.GetImageFrame(1)->FindNeighbor(h.GetImageFrame(0));
    ASSERT_TRUE(ab && ba);
    EXPECT_TRUE(ab->IsEndImageFrame());
    EXPECT_FALSE(ba->IsEndImageFrame());
    EXPECT_EQ(ab->GetPairShareInfo(), ba->GetPairShareInfo());
    EXPECT_EQ(GetPairShareInfoCount(), before.shares + 1);
    // Merged marks are never stored.
    EXPECT_FALSE(ab->IsMerged());
    EXPECT_FALSE(h.GetImageFrame(0)->IsMerged());

    EXPECT_TRUE(SameBytes(Save(h), GoldenBytes().b));
}

TEST(RecordStream, SmallGroupWritesOnlyTheOpeningAndClosingEntries)
{
    ImageGroup g;
    g.AppendImageFrame(new ImageFrame());
    int result = -9;
    std::vector<uint8_t> bytes = Save(g, &result);
    EXPECT_EQ(result, 1);
    Bytes want;
    want.Struct(41).Struct(42);
    EXPECT_TRUE(SameBytes(bytes, want.b));

    // A fisheye project writes its whole graph even with one frame.
    g.SetFisheye(true);
    bytes = Save(g, &result);
    EXPECT_EQ(result, 0);
    EXPECT_GT(bytes.size(), 24u);
    ImageGroup h;
    EXPECT_EQ(Load(h, bytes), kStreamOk);
    EXPECT_EQ(h.GetNumbOfImages(), 1);

    // Reading the two entries alone gives an empty group, successfully.
    ImageGroup e;
    EXPECT_EQ(Load(e, want.b), kStreamOk);
    EXPECT_EQ(e.GetNumbOfImages(), 0);
}

TEST(RecordStream, UnknownTagsMakeNoDifference)
{
    std::string original;
    {
        ImageGroup g;
        BuildGoldenGraph(g);
        original = Describe(g);
    }
    const std::vector<uint8_t> golden = GoldenBytes().b;
    const Bytes linkOffset = Bytes().Entry16(36, 3, 2, -5, 6);
    Bytes noData;
    noData.Entry(50, 0, 0, 0);
    // A newer writer's entries whose type states their data: characters (6)
    // and floats (5, the first in the value).
    Bytes withData;
    withData.Entry(51, 6, 5, 0).Text("hello").EntryF(52, 3, 1.0f).F32(2.0f).F32(3.0f).Entry(55, 5, 0, 0);
    const Bytes frameName = Bytes().Entry(24, 6, 5, 0).Text("a.jpg");
    const Bytes framesOpen = Bytes().Struct(19);

    const std::vector<std::vector<uint8_t>> variants = {
        InsertAfter(golden, linkOffset, noData),
        InsertAfter(golden, linkOffset, withData),
        InsertAfter(golden, frameName, withData),
        InsertAfter(golden, framesOpen, withData),
    };
    for (size_t i = 0; i < variants.size(); ++i) {
        SCOPED_TRACE(i);
        ImageGroup h;
        ASSERT_EQ(Load(h, variants[i]), kStreamOk);
        EXPECT_EQ(Describe(h), original);
    }
}

TEST(RecordStream, WriteFailureIsReported)
{
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    ImageGroup g;
    BuildGoldenGraph(g);
    LogCapture log;
    EXPECT_EQ(g.SaveAs_InitInfo(full), kStreamWriteError);
    EXPECT_TRUE(log.contains("ERROR ImageGroup::SaveAs_InitInfo"));
    std::fclose(full);
}

// Random graphs: frames with names, places, states and colours; link pairs
// with roles swapped at random, every kind of marker set, user settings and
// seam codes. Saving, loading and saving again must give the same graph and
// the same bytes.
void BuildRandomGraph(ImageGroup& g, uint32_t seed)
{
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto points = [&](int n) {
        std::vector<POINT2> p;
        for (int i = 0; i < n; ++i) p.push_back({pick(-5000, 5000) / 8.0f, pick(-5000, 5000) / 8.0f});
        return p;
    };
    const int frames = pick(2, 7);
    for (int i = 0; i < frames; ++i) {
        auto* f = new ImageFrame();
        // Every frame has its image path (tag 24 always carries one; an empty
        // one reads back as "").
        f->SetName(pick(0, 4) ? ("C:\\photos\\img_" + std::to_string(pick(0, 99999)) + ".jpg").c_str() : "");
        f->SetStampLocation(static_cast<short>(pick(-32768, 32767)), static_cast<short>(pick(-300, 300)));
        f->SetOverlapWndLocation(static_cast<short>(pick(0, 900)), static_cast<short>(pick(0, 900)));
        f->SetBlendWidth(static_cast<short>(pick(1, 100)));
        f->SetBlendLine(static_cast<short>(pick(0, 100)));
        g.AppendImageFrame(f);
        f->SetState((f->GetState() | pick(0, 0x0FFF)) & ~0x8);
        ColorCtrl* cc = f->GetColorCtrl();
        for (int c = 0; c < 3; ++c) {
            if (pick(0, 2) == 0) cc->SetBrightness(static_cast<char>(pick(-100, 100)), c);
            if (pick(0, 2) == 0) cc->SetContrast(pick(10, 300) / 100.0f, c);
            if (pick(0, 2) == 0) cc->SetGamma(pick(20, 400) / 100.0f, c);
        }
    }
    if (pick(0, 1)) g.SetCenterFrame(pick(0, frames - 1));
    for (int i = 0; i < frames; ++i) {
        for (int j = 0; j < frames; ++j) {
            if (i == j || pick(0, 2) != 0) continue;
            ImageFrame* a = g.GetImageFrame(i);
            ImageFrame* b = g.GetImageFrame(j);
            Neighbor* ab = a->AddNeighbor(b);
            Neighbor* ba = b->FindNeighbor(a);
            if (pick(0, 1)) ab->ActivateLink(ba);
            for (Neighbor* n : {ab, ba}) {
                n->SetState(static_cast<uint16_t>((n->GetState() & 1) | (pick(0, 0xFFFF) & ~1)));
                n->SetLinkIndex(static_cast<int16_t>(pick(-100, 100)));
                n->m_offsetX = static_cast<int16_t>(pick(-2000, 2000));
                n->m_offsetY = static_cast<int16_t>(pick(-2000, 2000));
                if (pick(0, 1)) n->SetMarkers(MakeMarkers(points(pick(1, 6))));
                if (pick(0, 1)) n->SetFakeMarkers(MakeMarkers(points(pick(1, 3))));
                if (pick(0, 1)) n->SetMarkerFa(MakeMarkers(points(pick(1, 40))));
                if (pick(0, 1)) {
                    IPairInfo* info = GetPairInfoInterface();
                    info->SetMarker(MakeMarkers(points(pick(1, 5))));
                    n->SetPairInfo(info);
                }
            }
            Neighbor* owner = ab->IsEndImageFrame() ? ba : ab;
            if (pick(0, 1)) owner->SetOverlapH(pick(5, 95) / 100.0f);
            if (pick(0, 1)) owner->SetOverlapV(pick(-20, 20) / 100.0f);
            owner->GetPairShareInfo()->SetSeamCode(static_cast<uint8_t>(pick(0, 2)));
        }
    }
}

TEST(RecordStream, RandomGraphsSurviveTheRoundTrip)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        const Baseline before;
        std::string original;
        std::vector<uint8_t> bytes;
        {
            ImageGroup g;
            BuildRandomGraph(g, seed);
            original = Describe(g);
            int result = -9;
            bytes = Save(g, &result);
            ASSERT_EQ(result, 0);
        }
        {
            ImageGroup h;
            ASSERT_EQ(Load(h, bytes), kStreamOk);
            EXPECT_EQ(Describe(h), original);
            EXPECT_TRUE(SameBytes(Save(h), bytes));
        }
        EXPECT_EQ(GetPairShareInfoCount(), before.shares);
        EXPECT_EQ(GetPairInfoCount(), before.infos);
        if (::testing::Test::HasFailure()) break;
    }
}

// --- malformed input ------------------------------------------------------------------

struct MalformedCase {
    const char* what;
    std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> make;
};

TEST(RecordStream, MalformedStreamsAreRefusedWithoutLeaks)
{
    const Bytes linkA = Bytes().Entry(33, 4, 1, 1);
    const Bytes count = Bytes().Entry(17, 4, 1, 2);
    const Bytes linkCount = Bytes().Entry(30, 4, 1, 1);
    const Bytes manual = Bytes().Entry(37, 255, 2, 0);
    const Bytes name = Bytes().Entry(24, 6, 5, 0);
    const Bytes stateB = Bytes().Entry16(34, 3, 1, 0, 0);
    const Bytes stateA = Bytes().Entry16(34, 3, 1, 0x0E25, 0);
    const Bytes centre = Bytes().Entry(18, 4, 1, 0);
    const Bytes linkList = Bytes().Entry(31, 4, 1, 1);
    const std::vector<MalformedCase> cases = {
        {"neighbour index past the frames", [&](auto g) { return Replace(g, linkA, Bytes().Entry(33, 4, 1, 2)); }},
        {"negative neighbour index", [&](auto g) { return Replace(g, linkA, Bytes().Entry(33, 4, 1, 0xFFFFFFFF)); }},
        {"link to itself", [&](auto g) { return Replace(g, linkA, Bytes().Entry(33, 4, 1, 0)); }},
        {"huge frame count", [&](auto g) { return Replace(g, count, Bytes().Entry(17, 4, 1, 0x7FFFFFFF)); }},
        {"negative frame count", [&](auto g) { return Replace(g, count, Bytes().Entry(17, 4, 1, 0xFFFFFFFF)); }},
        {"more frames than blocks", [&](auto g) { return Replace(g, count, Bytes().Entry(17, 4, 1, 3)); }},
        {"centre index past the frames", [&](auto g) { return Replace(g, centre, Bytes().Entry(18, 4, 1, 2)); }},
        {"huge link count", [&](auto g) { return Replace(g, linkCount, Bytes().Entry(30, 4, 1, 0x10000000)); }},
        {"negative link count", [&](auto g) { return Replace(g, linkCount, Bytes().Entry(30, 4, 1, 0xFFFFFFFE)); }},
        {"huge marker count", [&](auto g) { return Replace(g, manual, Bytes().Entry(37, 255, 0x7FFFFFFF, 0)); }},
        {"marker count past the end", [&](auto g) { return Replace(g, manual, Bytes().Entry(37, 255, 0xFFFFFFFF, 0)); }},
        {"huge name length", [&](auto g) { return Replace(g, name, Bytes().Entry(24, 6, 0xFFFFFFF0, 0)); }},
        {"both links end-frame links", [&](auto g) { return Replace(g, stateB, Bytes().Entry16(34, 3, 1, 1, 0)); }},
        {"both links own the pair", [&](auto g) { return Replace(g, stateA, Bytes().Entry16(34, 3, 1, 0x0E24, 0)); }},
        {"link tag before its link", [&](auto g) { return InsertAfter(g, linkList, Bytes().Entry16(35, 8, 1, 1, 0)); }},
        {"unknown tag with data past the end",
         [&](auto g) { return InsertAfter(g, linkA, Bytes().Entry(50, 6, 100000, 0)); }},
        {"no closing entry", [&](auto g) { return std::vector<uint8_t>(g.begin(), g.end() - 12); }},
    };
    const std::vector<uint8_t> golden = GoldenBytes().b;
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Baseline before;
        Neighbor::ResetLinkingCounter();
        LogCapture log;
        ImageGroup g;
        EXPECT_EQ(Load(g, c.make(golden)), kStreamMalformed);
        EXPECT_TRUE(log.contains("ERROR ImageGroup::Open_InitInfo")) << log.text();
        ExpectNothingLeft(g, before);
    }
}

TEST(RecordStream, TruncationAtEveryOffsetIsRefused)
{
    const std::vector<uint8_t> golden = GoldenBytes().b;
    const Baseline before;
    for (size_t n = 0; n < golden.size(); ++n) {
        SCOPED_TRACE(n);
        Neighbor::ResetLinkingCounter();
        LogCapture log;
        ImageGroup g;
        ASSERT_EQ(Load(g, std::vector<uint8_t>(golden.begin(), golden.begin() + n)), kStreamMalformed);
        ASSERT_GE(log.errorCount(), 1);
        ExpectNothingLeft(g, before);
        if (::testing::Test::HasFailure()) break;
    }
}

TEST(RecordStream, ReadingIntoAGroupWithFramesIsRefused)
{
    ImageGroup g;
    g.AppendImageFrame(new ImageFrame());
    LogCapture log;
    long position = 0;
    EXPECT_EQ(Load(g, GoldenBytes().b, false, &position), kStreamMalformed);
    EXPECT_EQ(g.GetNumbOfImages(), 1);
    // The opening entry is consumed, so that a caller that reads on cannot
    // meet it again.
    EXPECT_EQ(position, 12);
}

// --- version 1 -----------------------------------------------------------------------------

// Two frames; frame 0 holds the end-frame link to 1 (state bits 0, 1 and 4,
// 2 manual markers, 1 pair-information marker); frame 1 the owning link back
// with the pair settings of size code `s`.
Bytes Version1Fixture(int32_t s, int32_t markersOfFirstLink = 2)
{
    Bytes x;
    x.I32(2).I32(1);
    x.Struct(21).Entry16(23, 3, 1, 0, 0).Entry(24, 6, 5, 0).Text("p.jpg").Entry(26, 4, 1, 0x100).Struct(22);
    x.Struct(21).Entry16(23, 3, 1, 1, 0).Entry(24, 6, 5, 0).Text("q.jpg").Struct(22);
    x.I32(1);
    x.I32(1).I16(0x0013).I16(5).I16(-3).I16(4);
    x.I32(markersOfFirstLink);
    for (int i = 0; i < markersOfFirstLink && i < 2; ++i) x.F32(1.0f + i).F32(2.0f + i);
    x.I32(1).F32(9.0f).F32(10.0f);
    x.I32(0);
    x.I32(1);
    x.I32(0).I16(0x0000).I16(6).I16(0).I16(0);
    x.I32(0).I32(0).I32(s);
    if (s != 1 && s >= 1) x.F32(0.25f).F32(0.05f).F32(0.2f).F32(0.3f).U8(1).U8(0).U8(0).U8(0);
    if (s != 20 && s >= 1) x.U8(2);
    return x;
}

TEST(RecordStreamVersion1, HandBuiltFixtureForEverySettingsSizeCode)
{
    struct Case {
        int32_t s;
        float overlapH;  // expected in the pair's settings
        uint8_t userSet;
        uint8_t seam;
    };
    // S below 1: nothing follows; 1: the byte; 20: the record; other: both.
    const Case cases[] = {{0, 0.4f, 0, 0}, {-7, 0.4f, 0, 0}, {1, 0.4f, 0, 2}, {20, 0.25f, 1, 0}, {33, 0.25f, 1, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.s);
        const Baseline before;
        Neighbor::ResetLinkingCounter();
        {
            ImageGroup g;
            const Bytes fixture = Version1Fixture(c.s);
            long position = 0;
            ASSERT_EQ(Load(g, fixture.b, true, &position), kStreamOk);
            EXPECT_EQ(position, static_cast<long>(fixture.size()));
            ASSERT_EQ(g.GetNumbOfImages(), 2);
            EXPECT_EQ(g.GetCentralImageFrame(), g.GetImageFrame(1));
            EXPECT_TRUE(g.GetImageFrame(1)->IsCenterFrame());
            EXPECT_STREQ(g.GetImageFrame(1)->GetName(), "q.jpg");
            EXPECT_EQ(g.GetImageFrame(0)->GetState() & 0x100, 0x100);

            Neighbor* pq = g.GetImageFrame(0)->FindNeighbor(g.GetImageFrame(1));
            Neighbor* qp = g.GetImageFrame(1)->FindNeighbor(g.GetImageFrame(0));
            ASSERT_TRUE(pq && qp);
            // The whole state word is kept except the merged mark.
            EXPECT_EQ(pq->GetState(), 0x0011);
            EXPECT_EQ(qp->GetState(), 0x0000);
            EXPECT_EQ(pq->GetLinkIndex(), 5);
            EXPECT_EQ(qp->GetLinkIndex(), 6);
            EXPECT_EQ(pq->m_offsetX, -3);
            EXPECT_EQ(pq->m_offsetY, 4);
            EXPECT_EQ(graphtest::Points(pq->GetMarkers(true)), "2[1,2;2,3;]");
            ASSERT_NE(pq->GetPairInfo(), nullptr);
            EXPECT_EQ(graphtest::Points(pq->GetPairInfo()->GetMarker(0)), "1[9,10;]");
            EXPECT_EQ(qp->GetMarkers(true), nullptr) << "M = 0 makes no set";
            EXPECT_EQ(qp->GetPairInfo(), nullptr) << "A = 0 makes no pair information";

            IPairShareInfo* share = qp->GetPairShareInfo();
            ASSERT_NE(share, nullptr);
            EXPECT_EQ(pq->GetPairShareInfo(), share);
            EXPECT_FLOAT_EQ(share->GetInitSetting()->overlapH, c.overlapH);
            EXPECT_EQ(share->GetInitSetting()->userSet, c.userSet);
            EXPECT_EQ(share->GetSeamCode(), c.seam);
        }
        EXPECT_EQ(GetPairShareInfoCount(), before.shares);
        EXPECT_EQ(GetPairInfoCount(), before.infos);
    }
}

TEST(RecordStreamVersion1, MalformedAndTruncatedInputIsRefused)
{
    auto patchInt32 = [](Bytes x, size_t at, int32_t v) {
        x.b[at] = uint8_t(v);
        x.b[at + 1] = uint8_t(v >> 8);
        x.b[at + 2] = uint8_t(v >> 16);
        x.b[at + 3] = uint8_t(v >> 24);
        return x;
    };
    const Bytes good = Version1Fixture(33);
    // Offsets into the fixture: N at 0; frame 0's link count right after the
    // two frame blocks; then its link's index, four int16 and M.
    const size_t frames = 8 + (5 * 12 + 5) + (4 * 12 + 5);
    const size_t linkCount = frames;
    const size_t index = linkCount + 4;
    const size_t m = index + 4 + 8;
    const size_t a = m + 4 + 16;
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"negative frame count", patchInt32(good, 0, -1)},
        {"huge frame count", patchInt32(good, 0, 0x7FFFFFFF)},
        {"negative link count", patchInt32(good, linkCount, -2)},
        {"huge link count", patchInt32(good, linkCount, 0x01000000)},
        {"neighbour index past the frames", patchInt32(good, index, 2)},
        {"negative neighbour index", patchInt32(good, index, -1)},
        {"negative marker count", patchInt32(good, m, -1)},
        {"huge marker count", patchInt32(good, m, 0x7FFFFFFF)},
        {"negative pair-information count", patchInt32(good, a, -1)},
        {"huge pair-information count", patchInt32(good, a, 0x20000000)},
    };
    ASSERT_EQ(good.b[index], 1) << "fixture offsets";
    ASSERT_EQ(good.b[m], 2) << "fixture offsets";
    ASSERT_EQ(good.b[a], 1) << "fixture offsets";
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const Baseline before;
        Neighbor::ResetLinkingCounter();
        LogCapture log;
        ImageGroup g;
        EXPECT_EQ(Load(g, bytes.b, true), kStreamMalformed);
        EXPECT_TRUE(log.contains("ERROR ImageGroup::Open_InitInfo_version001")) << log.text();
        ExpectNothingLeft(g, before);
    }
    const Baseline before;
    for (size_t n = 0; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        Neighbor::ResetLinkingCounter();
        LogCapture log;
        ImageGroup g;
        ASSERT_EQ(Load(g, std::vector<uint8_t>(good.b.begin(), good.b.begin() + n), true), kStreamMalformed);
        ExpectNothingLeft(g, before);
        if (::testing::Test::HasFailure()) break;
    }
}

// --- the entry format itself ---------------------------------------------------------------

TEST(TagEntry, FollowingBytesOfTypesThatStateThem)
{
    struct Case {
        uint16_t type;
        uint32_t count;
        uint64_t bytes;
    };
    const Case cases[] = {{5, 0, 0}, {5, 1, 0}, {5, 3, 8}, {5, 0xFFFFFFFF, 0xFFFFFFFEull * 4}, {6, 0, 0},
                          {6, 9, 9},  {2, 3, 0}, {3, 2, 0}, {4, 1, 0},   {255, 7, 0}, {0, 100, 0}};
    for (const Case& c : cases) {
        TagEntry e;
        e.type = c.type;
        e.count = c.count;
        EXPECT_EQ(e.FollowingBytes(), c.bytes) << c.type << " " << c.count;
    }
}

}  // namespace
