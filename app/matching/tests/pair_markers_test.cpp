// Preparation of a pair's automatic markers: the thresholds handed on, the
// refusals, the scaling and turning into loaded-image coordinates, the
// removal of points outside the images, the whole path on two views of a
// known camera rotation, and the copy into the link marker sets.
#include "app/matching/pair_markers.h"
#include "app/matching/lens_correction.h"
#include "app/matching/ransac_filter.h"
#include "app/matching/ransac_filter.h"
#include "app/matching/tests/match_fixture.h"
#include "imaging/image.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using matching_test::MakeMatches;
using matching_test::MakeViews;

// Two linked frames with loaded images of the given sizes.
struct Pair {
    ImageFrame a;
    ImageFrame b;
    Pair(int width = 640, int height = 480)
    {
        a.AddNeighbor(&b);
        for (ImageFrame* f : {&a, &b}) {
            Image* image = new Image(width, height, 1);
            f->SetImage(image, false);
            ReleaseImage(image);
        }
    }
    Neighbor* ab() { return a.FindNeighbor(&b); }
    Neighbor* ba() { return b.FindNeighbor(&a); }
    void SetFa(const std::vector<POINT2>& pa, const std::vector<POINT2>& pb)
    {
        auto ma = std::make_unique<Marker>();
        auto mb = std::make_unique<Marker>();
        for (const POINT2& p : pa) ma->AppendMarker(p.x, p.y);
        for (const POINT2& p : pb) mb->AppendMarker(p.x, p.y);
        ab()->SetMarkerFa(ma.release());
        ba()->SetMarkerFa(mb.release());
    }
    void SetFa(int n)
    {
        std::vector<POINT2> pa, pb;
        for (int i = 0; i < n; ++i) {
            pa.push_back({static_cast<float>(10 + 7 * i), static_cast<float>(20 + 3 * i)});
            pb.push_back({static_cast<float>(5 + 7 * i), static_cast<float>(22 + 3 * i)});
        }
        SetFa(pa, pb);
    }
};

struct Captured {
    int calls = 0;
    float t1 = 0, t2 = 0;
    int minCount = 0;
};
Captured g_captured;

bool CapturePrune(ImageFrame*, ImageFrame*, uint8_t, const float*, float t1, float t2, int minCount, float, float)
{
    ++g_captured.calls;
    g_captured.t1 = t1;
    g_captured.t2 = t2;
    g_captured.minCount = minCount;
    return true;
}

struct PruneSeam {
    PruneSeam()
    {
        g_captured = {};
        g_pruneAutoMarkers = &CapturePrune;
    }
    ~PruneSeam() { g_pruneAutoMarkers = &PruneAutoMarkers; }
};

TEST(FilterPairAutoMarkers, ThresholdsFollowTheCountAndMode)
{
    struct Case {
        int n;
        bool loose;
        int minCount;  // handed on; 0: nothing happens
        float t1, t2;
    };
    const Case cases[] = {
        {3, false, 0, 0, 0},       {7, true, 0, 0, 0},        {4, false, 4, 6.0f, 7.0f}, {8, true, 8, 9.0f, 10.5f},
        {10, false, 4, 6.0f, 7.0f}, {11, false, 4, 5.0f, 7.0f}, {25, false, 4, 5.0f, 7.0f}, {26, false, 4, 4.0f, 7.0f},
        {40, false, 4, 4.0f, 7.0f}, {41, false, 4, 3.0f, 7.0f}, {10, true, 8, 9.0f, 10.5f}, {11, true, 8, 7.5f, 10.5f},
        {25, true, 8, 7.5f, 10.5f}, {26, true, 8, 6.0f, 10.5f}, {40, true, 8, 6.0f, 10.5f}, {41, true, 8, 4.5f, 10.5f},
    };
    for (const Case& c : cases) {
        PruneSeam seam;
        Pair p;
        p.SetFa(c.n);
        const bool ok = FilterPairAutoMarkers(&p.a, &p.b, 3, nullptr, 4, 1.0f, 1.0f, c.loose);
        EXPECT_EQ(ok, c.minCount != 0) << c.n << (c.loose ? " loose" : "");
        EXPECT_EQ(g_captured.calls, c.minCount != 0 ? 1 : 0) << c.n;
        if (c.minCount == 0) continue;
        EXPECT_EQ(g_captured.t1, c.t1) << c.n << (c.loose ? " loose" : "");
        EXPECT_EQ(g_captured.t2, c.t2) << c.n;
        EXPECT_EQ(g_captured.minCount, c.minCount) << c.n;
    }
}

// What the filter is handed for each downscale code: both thresholds times
// s. Points on the top row (y = 0 in both images, at any scale) leave the
// fit without a solution, so both attempts run and are seen.
float g_attempts[2];
int g_attemptCount = 0;

TEST(FilterPairAutoMarkers, ThresholdsAreScaledByTheDownscaleCode)
{
    struct Case {
        uint8_t code;
        float s;
    };
    const Case cases[] = {{1, 1.0f}, {2, 1.0f / 3.0f}, {3, 0.5f}, {4, 2.0f / 3.0f}, {5, 0.75f}, {0, 1.0f}};
    for (bool loose : {false, true}) {
        for (const Case& c : cases) {
            std::vector<POINT2> pa, pb;
            for (int i = 0; i < 20; ++i) {
                pa.push_back({20.0f + 30.0f * i, 0.0f});
                pb.push_back({5.0f + 31.0f * i, 0.0f});
            }
            Pair p(1280, 960);
            p.SetFa(pa, pb);
            g_attemptCount = 0;
            g_ransacAttemptHook = [](float t) {
                if (g_attemptCount < 2) g_attempts[g_attemptCount] = t;
                ++g_attemptCount;
            };
            testing::internal::CaptureStdout();
            const bool ok = FilterPairAutoMarkers(&p.a, &p.b, c.code, nullptr, 4, 1.0f, 1.0f, loose);
            testing::internal::GetCapturedStdout();
            g_ransacAttemptHook = nullptr;
            EXPECT_FALSE(ok);
            ASSERT_EQ(g_attemptCount, 2) << int(c.code);
            // 20 pairs: 5 px first, 7 px second; loose 7.5 and 10.5.
            EXPECT_FLOAT_EQ(g_attempts[0], (loose ? 7.5f : 5.0f) * c.s) << int(c.code);
            EXPECT_FLOAT_EQ(g_attempts[1], (loose ? 10.5f : 7.0f) * c.s) << int(c.code);
            // The failure leaves the pair without automatic markers.
            EXPECT_FALSE(p.a.GetAutoMarker(&p.b, nullptr, nullptr));
        }
    }
}

// Everything a refused preparation must leave as it was.
struct PairState {
    Marker* faA;
    Marker* faB;
    int countA, countB;
    Marker* autoA = nullptr;
    Marker* autoB = nullptr;
    Marker* userA;
    Marker* userB;
    explicit PairState(Pair& p)
        : faA(p.ab()->GetMarkerFa()), faB(p.ba()->GetMarkerFa()), countA(faA ? faA->GetNumbOfMarker() : -1),
          countB(faB ? faB->GetNumbOfMarker() : -1), userA(p.ab()->GetMarkers(true)), userB(p.ba()->GetMarkers(true))
    {
        p.a.GetAutoMarker(&p.b, &autoA, &autoB);
    }
    bool operator==(const PairState& o) const
    {
        return faA == o.faA && faB == o.faB && countA == o.countA && countB == o.countB && autoA == o.autoA &&
               autoB == o.autoB && userA == o.userA && userB == o.userB;
    }
};

std::vector<POINT2> Points0(const std::vector<MatchPair>& pairs)
{
    std::vector<POINT2> out;
    for (const MatchPair& m : pairs) out.push_back({static_cast<float>(m.x0), static_cast<float>(m.y0)});
    return out;
}

std::vector<POINT2> Points1(const std::vector<MatchPair>& pairs)
{
    std::vector<POINT2> out;
    for (const MatchPair& m : pairs) out.push_back({static_cast<float>(m.x1), static_cast<float>(m.y1)});
    return out;
}

int* g_attemptCounter = nullptr;

TEST(FilterPairAutoMarkers, RefusalsLeaveThePairAsItWas)
{
    enum Refusal { kNoFaOnAB, kNoFaOnBA, kUnequal, kStitched, kPrepared, kNoImage, kTooFew, kTooFewLoose };
    const Refusal refusals[] = {kNoFaOnAB, kNoFaOnBA, kUnequal, kStitched, kPrepared, kNoImage, kTooFew, kTooFewLoose};
    const auto views = MakeViews(700.0, 10.0, 1.0);
    for (Refusal r : refusals) {
        // Good raw pairs, so that only the refusal stops the preparation.
        const auto fixture = MakeMatches(views, r == kTooFew ? 3 : r == kTooFewLoose ? 7 : 20, 0, 0.0, 3);
        Pair p;
        p.SetFa(Points0(fixture.pairs), Points1(fixture.pairs));
        if (r == kNoFaOnAB) p.ab()->SetMarkerFa(nullptr);
        if (r == kNoFaOnBA) p.ba()->SetMarkerFa(nullptr);
        if (r == kUnequal) p.ba()->GetMarkerFa()->AppendMarker(1.0f, 1.0f);
        if (r == kStitched) p.ab()->SetAtuoStitchStatus(true);
        if (r == kPrepared) {
            auto ma = std::make_unique<Marker>();
            auto mb = std::make_unique<Marker>();
            for (int i = 0; i < 4; ++i) {
                ma->AppendMarker(1.0f * i, 2.0f);
                mb->AppendMarker(3.0f, 1.0f * i);
            }
            p.a.SetAutoMarker(&p.b, ma.release(), mb.release(), true);
        }
        if (r == kNoImage) p.b.RemoveOrgImage();
        const PairState before(p);
        int attempts = 0;
        g_attemptCounter = &attempts;
        g_ransacAttemptHook = [](float) { ++*g_attemptCounter; };
        testing::internal::CaptureStdout();
        const bool ok = FilterPairAutoMarkers(&p.a, &p.b, 1, nullptr, 4, 1.0f, 1.0f, r == kTooFewLoose);
        const std::string out = testing::internal::GetCapturedStdout();
        g_ransacAttemptHook = nullptr;
        EXPECT_FALSE(ok) << r;
        EXPECT_EQ(attempts, 0) << r;
        EXPECT_TRUE(PairState(p) == before) << r;
        EXPECT_EQ(out.find("ERROR PruneAutoMarkers") != std::string::npos, r == kNoImage) << r << out;
        if (r == kPrepared) {
            EXPECT_EQ(before.autoA->GetNumbOfMarker(), 4);
        }
    }
}

TEST(FilterPairAutoMarkers, TooFewAutomaticMarkersArePreparedAgain)
{
    // Three stored pairs are fewer than the minimum of four: the raw pairs
    // are filtered and replace them.
    const auto views = MakeViews(700.0, 10.0, 1.0);
    const auto fixture = MakeMatches(views, 20, 0, 0.0, 3);
    Pair p;
    p.SetFa(Points0(fixture.pairs), Points1(fixture.pairs));
    auto ma = std::make_unique<Marker>();
    auto mb = std::make_unique<Marker>();
    for (int i = 0; i < 3; ++i) {
        ma->AppendMarker(1.0f * i, 2.0f);
        mb->AppendMarker(3.0f, 1.0f * i);
    }
    p.a.SetAutoMarker(&p.b, ma.release(), mb.release(), true);
    testing::internal::CaptureStdout();
    const bool ok = FilterPairAutoMarkers(&p.a, &p.b, 1, nullptr, 4, 1.0f, 1.0f, false);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ok);
    Marker* autoA = nullptr;
    Marker* autoB = nullptr;
    ASSERT_TRUE(p.a.GetAutoMarker(&p.b, &autoA, &autoB));
    EXPECT_GE(autoA->GetNumbOfMarker(), 10);
    EXPECT_EQ(autoA->GetNumbOfMarker(), autoB->GetNumbOfMarker());
}

TEST(ScaleRotateMarkers, FollowsTheAngleTable)
{
    // A 1280 x 960 file loaded at s = 1/2; the frame image is 480 x 640 when
    // turned by a quarter, else 640 x 480.
    struct Case {
        int angle;
        float expected[3][2];
    };
    const Case cases[] = {
        {-90, {{0, 639}, {0, -0.5f}, {479.5f, -0.5f}}},
        {90, {{479, 0}, {479, 639.5f}, {-0.5f, 639.5f}}},
        {180, {{639, 479}, {-0.5f, 479}, {-0.5f, -0.5f}}},
        {0, {{0, 0}, {639.5f, 0}, {639.5f, 479.5f}}},
        {45, {{0, 0}, {639.5f, 0}, {639.5f, 479.5f}}},
    };
    Marker raw;
    raw.AppendMarker(0, 0);
    raw.AppendMarker(1279, 0);
    raw.AppendMarker(1279, 959);
    for (const Case& c : cases) {
        const bool quarter = c.angle == 90 || c.angle == -90;
        Marker out;
        out.AppendMarker(-7.0f, -7.0f);  // appended to, not replaced
        ScaleRotateMarkers(&raw, &out, 0.5f, c.angle, quarter ? 480 : 640, quarter ? 640 : 480);
        ASSERT_EQ(out.GetNumbOfMarker(), 4);
        EXPECT_EQ(out.GetMarker()[0].x, -7.0f);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(out.GetMarker()[i + 1].x, c.expected[i][0]) << c.angle << " point " << i;
            EXPECT_EQ(out.GetMarker()[i + 1].y, c.expected[i][1]) << c.angle << " point " << i;
        }
    }
}

TEST(MakeFrameMarkers, UsesTheFrameRotationAndImageSize)
{
    struct Case {
        int32_t state;
        int w, h;
        float x, y;
    };
    // The raw point (0, 0) of a 1280 x 960 file at s = 1/2.
    const Case cases[] = {{2, 480, 640, 479, 0}, {6, 480, 640, 0, 639}, {4, 640, 480, 639, 479}, {0, 640, 480, 0, 0}};
    Marker raw;
    raw.AppendMarker(0, 0);
    for (const Case& c : cases) {
        ImageFrame f;
        f.SetState(c.state);
        Image* image = new Image(c.w, c.h, 1);
        f.SetImage(image, false);
        ReleaseImage(image);
        std::unique_ptr<Marker> out(MakeFrameMarkers(&raw, &f, 0.5f));
        ASSERT_TRUE(out);
        ASSERT_EQ(out->GetNumbOfMarker(), 1);
        EXPECT_EQ(out->GetMarker()[0].x, c.x) << c.state;
        EXPECT_EQ(out->GetMarker()[0].y, c.y) << c.state;
    }
    ImageFrame empty;
    testing::internal::CaptureStdout();
    EXPECT_EQ(MakeFrameMarkers(&raw, &empty, 0.5f), nullptr);
    testing::internal::GetCapturedStdout();
}

TEST(RemoveMarkersOutsideImages, DropsPairsOutsideEitherImageAndKeepsTheRestAligned)
{
    // Image a is 100 x 50, image b 60 x 80; the limits are inclusive of the
    // last pixel.
    struct P {
        float xa, ya, xb, yb;
        bool kept;
    };
    const P pairs[] = {
        {0, 0, 0, 0, true},        {99, 49, 59, 79, true},   {99.5f, 10, 10, 10, false}, {10, -0.1f, 10, 10, false},
        {10, 10, 59.01f, 10, false}, {10, 10, 10, 79.5f, false}, {50, 25, 30, 40, true},   {-1, 60, -1, 90, false},
        {1, 2, 3, 4, true},
    };
    Marker a, b;
    for (const P& p : pairs) {
        a.AppendMarker(p.xa, p.ya);
        b.AppendMarker(p.xb, p.yb);
    }
    EXPECT_EQ(RemoveMarkersOutsideImages(&a, &b, 100, 50, 60, 80), 5);
    ASSERT_EQ(a.GetNumbOfMarker(), 4);
    ASSERT_EQ(b.GetNumbOfMarker(), 4);
    int k = 0;
    for (const P& p : pairs) {
        if (!p.kept) continue;
        EXPECT_EQ(a.GetMarker()[k].x, p.xa);
        EXPECT_EQ(b.GetMarker()[k].y, p.yb);
        ++k;
    }
}

// 60 raw pairs in the coordinates of two 1280 x 960 files (focal length
// 1600 px, turned by 14 degrees of yaw and 2 of roll), 0.3 px of noise, 25 %
// outliers; loaded at code 3 (s = 1/2). Frame b may be turned by a quarter.
struct EndToEnd {
    matching_test::TwoViews file = MakeViews(1600.0, 14.0, 2.0, 1280, 960);
    // The noise is 0.3 px of displacement (root mean square), 0.3 / sqrt(2)
    // on each axis.
    matching_test::Fixture raw = MakeMatches(file, 60, 15, 0.3 / std::sqrt(2.0), 17);

    // The true partner in b's loaded image of a point of a's loaded image.
    void Truth(double xa, double ya, bool bTurned, double* xb, double* yb) const
    {
        double fx, fy;
        file.Map(xa / 0.5, ya / 0.5, &fx, &fy);
        if (bTurned) {
            *xb = 479.0 - 0.5 * fy;
            *yb = 0.5 * fx;
        } else {
            *xb = 0.5 * fx;
            *yb = 0.5 * fy;
        }
    }
};

TEST(FilterPairAutoMarkers, EndToEndOnTwoViews)
{
    for (bool bTurned : {false, true}) {
        EndToEnd fx;
        std::vector<POINT2> pa, pb;
        for (const MatchPair& m : fx.raw.pairs) {
            pa.push_back({static_cast<float>(m.x0), static_cast<float>(m.y0)});
            pb.push_back({static_cast<float>(m.x1), static_cast<float>(m.y1)});
        }
        Pair p;
        if (bTurned) {
            p.b.SetState(2);  // turned by 90 degrees: its loaded image is 480 x 640
            Image* image = new Image(480, 640, 1);
            p.b.SetImage(image, false);
            ReleaseImage(image);
        }
        p.SetFa(pa, pb);
        testing::internal::CaptureStdout();
        const bool ok = FilterPairAutoMarkers(&p.a, &p.b, 3, nullptr, 4, 1.0f, 1.0f, false);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok) << out;
        EXPECT_EQ(out.find("RANSAC Filtering...\n"), 0u) << out;
        Marker* autoA = nullptr;
        Marker* autoB = nullptr;
        ASSERT_TRUE(p.a.GetAutoMarker(&p.b, &autoA, &autoB));
        ASSERT_EQ(autoA->GetNumbOfMarker(), autoB->GetNumbOfMarker());
        // 45 good pairs, thinned on a 7 x 7 grid at most.
        EXPECT_GE(autoA->GetNumbOfMarker(), 20);
        EXPECT_TRUE(p.ab()->IsAutoMarkerF());
        // Both frames see the same sets.
        Marker* fromB = nullptr;
        Marker* fromA = nullptr;
        ASSERT_TRUE(p.b.GetAutoMarker(&p.a, &fromB, &fromA));
        EXPECT_EQ(fromB, autoB);
        EXPECT_EQ(fromA, autoA);
        for (int i = 0; i < autoA->GetNumbOfMarker(); ++i) {
            const POINT2M& ma = autoA->GetMarker()[i];
            const POINT2M& mb = autoB->GetMarker()[i];
            double tx, ty;
            fx.Truth(ma.x, ma.y, bTurned, &tx, &ty);
            EXPECT_LT(std::hypot(mb.x - tx, mb.y - ty), 0.5) << i << (bTurned ? " turned" : "");
            // Each stored pair is one raw good pair, converted.
            int found = -1;
            for (size_t j = 0; j < pa.size(); ++j) {
                const float xb = bTurned ? 479.0f - 0.5f * pb[j].y : 0.5f * pb[j].x;
                const float yb = bTurned ? 0.5f * pb[j].x : 0.5f * pb[j].y;
                if (0.5f * pa[j].x == ma.x && 0.5f * pa[j].y == ma.y && xb == mb.x && yb == mb.y)
                    found = static_cast<int>(j);
            }
            ASSERT_GE(found, 0) << i;
            EXPECT_TRUE(fx.raw.inlier[static_cast<size_t>(found)]) << i;
        }
        // Prepared once: a second call does nothing.
        testing::internal::CaptureStdout();
        EXPECT_FALSE(FilterPairAutoMarkers(&p.a, &p.b, 3, nullptr, 4, 1.0f, 1.0f, false));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        Marker* again = nullptr;
        Marker* againB = nullptr;
        ASSERT_TRUE(p.a.GetAutoMarker(&p.b, &again, &againB));
        EXPECT_EQ(again, autoA);
        EXPECT_EQ(againB, autoB);
    }
}

TEST(FilterPairAutoMarkers, RansacFailureStoresNothing)
{
    // All points on one line: no sample can be fitted.
    std::vector<POINT2> pa, pb;
    for (int i = 0; i < 20; ++i) {
        pa.push_back({20.0f + 30.0f * i, 10.0f + 20.0f * i});
        pb.push_back({5.0f + 30.0f * i, 12.0f + 20.0f * i});
    }
    Pair p;
    p.SetFa(pa, pb);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(FilterPairAutoMarkers(&p.a, &p.b, 1, nullptr, 4, 1.0f, 1.0f, false));
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(p.a.GetAutoMarker(&p.b, nullptr, nullptr));
    EXPECT_EQ(p.ab()->GetMarkerFa()->GetNumbOfMarker(), 20);
}

TEST(CopyAutoMarkersToPair, CopiesOnlyWhenTheUserPlacedNone)
{
    enum Setup { kUserOnAB, kUserOnBA, kNoAuto, kCopied, kEmptyUserSets };
    for (Setup s : {kUserOnAB, kUserOnBA, kNoAuto, kCopied, kEmptyUserSets}) {
        Pair p;
        if (s != kNoAuto) {
            auto ma = std::make_unique<Marker>();
            auto mb = std::make_unique<Marker>();
            ma->AppendMarker(1.0f, 2.0f);
            ma->GetMarker()[0].error1 = 0.5f;
            ma->GetMarker()[0].word5 = 9;
            mb->AppendMarker(3.0f, 4.0f);
            mb->AppendMarker(5.0f, 6.0f);
            p.a.SetAutoMarker(&p.b, ma.release(), mb.release(), true);
        }
        Marker* user = nullptr;
        if (s == kUserOnAB || s == kUserOnBA) {
            user = new Marker();
            user->AppendMarker(7.0f, 8.0f);
            (s == kUserOnAB ? p.ab() : p.ba())->SetMarkers(user);
        }
        if (s == kEmptyUserSets) {
            p.ab()->SetMarkers(new Marker());
            p.ba()->SetMarkers(new Marker());
        }
        const bool expected = s == kCopied || s == kEmptyUserSets;
        const PairState before(p);
        EXPECT_EQ(CopyAutoMarkersToPair(&p.a, &p.b), expected) << s;
        if (!expected) {
            EXPECT_TRUE(PairState(p) == before) << s;
            if (user) {
                EXPECT_EQ((s == kUserOnAB ? p.ab() : p.ba())->GetMarkers(true), user);
                EXPECT_EQ(user->GetNumbOfMarker(), 1);
            }
            continue;
        }
        Marker* la = p.ab()->GetMarkers(true);
        Marker* lb = p.ba()->GetMarkers(true);
        ASSERT_NE(la, nullptr);
        ASSERT_NE(lb, nullptr);
        Marker* autoA = nullptr;
        Marker* autoB = nullptr;
        ASSERT_TRUE(p.a.GetAutoMarker(&p.b, &autoA, &autoB));
        EXPECT_NE(la, autoA);  // copies, not the same sets
        ASSERT_EQ(la->GetNumbOfMarker(), 1);
        ASSERT_EQ(lb->GetNumbOfMarker(), 2);
        EXPECT_EQ(la->GetMarker()[0].error1, 0.5f);  // whole records
        EXPECT_EQ(la->GetMarker()[0].word5, 9);
        EXPECT_EQ(lb->GetMarker()[1].y, 6.0f);
    }
    // Without the links, nothing happens.
    ImageFrame x, y;
    EXPECT_FALSE(CopyAutoMarkersToPair(&x, &y));
}

}  // namespace

namespace {

TEST(PruneAutoMarkers, ThresholdsAreScaledToTheLoadedImages)
{
    // Nine exact pairs and one whose image-1 point is off by `off` pixels
    // of the file; at 10 pairs the first threshold is 6 file pixels, that
    // is 6 s on the loaded images.
    const auto views = MakeViews(700.0, 12.0, 1.0);
    auto fixture = MakeMatches(views, 10, 0, 0.0, 23);
    struct Case {
        uint8_t code;
        float off;
        int stored;
    };
    const Case cases[] = {
        {1, 5.5f, 10}, {1, 6.5f, 9}, {2, 5.5f, 10}, {2, 6.5f, 9}, {3, 5.5f, 10},
        {3, 6.5f, 9},  {4, 5.5f, 10}, {4, 6.5f, 9}, {5, 5.5f, 10}, {5, 6.5f, 9},
    };
    for (const Case& c : cases) {
        std::vector<POINT2> pa, pb;
        for (const MatchPair& m : fixture.pairs) {
            pa.push_back({static_cast<float>(m.x0), static_cast<float>(m.y0)});
            pb.push_back({static_cast<float>(m.x1), static_cast<float>(m.y1)});
        }
        pb[9].x += c.off;
        Pair p;
        p.SetFa(pa, pb);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(FilterPairAutoMarkers(&p.a, &p.b, c.code, nullptr, 4, 1.0f, 1.0f, false)) << int(c.code);
        testing::internal::GetCapturedStdout();
        Marker* autoA = nullptr;
        Marker* autoB = nullptr;
        ASSERT_TRUE(p.a.GetAutoMarker(&p.b, &autoA, &autoB));
        EXPECT_EQ(autoA->GetNumbOfMarker(), c.stored) << "code " << int(c.code) << " off " << c.off;
    }
}

TEST(PruneAutoMarkers, CorrectedPointsOutsideEitherImageAreDropped)
{
    // A barrel correction stretches the corners out of the image.
    const float record[11] = {0.0f, 0.0f, -0.2f, 1.2f, 0.0f, 0, 0, 0, 0, 0, 0};
    std::vector<POINT2> pa, pb;
    const POINT2 points[] = {{0, 0}, {320, 240}, {639, 479}, {300, 200}, {5, 470}, {400, 260}, {630, 3}, {340, 250}};
    for (size_t i = 0; i < std::size(points); ++i) {
        pa.push_back(points[i]);
        // The partner of a corner of a is well inside b, and the other way.
        pb.push_back(i % 2 ? POINT2{points[(i + 2) % std::size(points)]} : POINT2{310.0f + i, 230.0f + i});
    }
    Pair p;
    p.SetFa(pa, pb);
    // The oracle: the correction of each set alone, then the inside test.
    Marker rawA, rawB;
    for (size_t i = 0; i < pa.size(); ++i) {
        rawA.AppendMarker(pa[i].x, pa[i].y);
        rawB.AppendMarker(pb[i].x, pb[i].y);
    }
    std::unique_ptr<Marker> ca(CorrectMarkerDistortion(&rawA, record, 640, 480, 1.0f));
    std::unique_ptr<Marker> cb(CorrectMarkerDistortion(&rawB, record, 640, 480, 1.0f));
    ASSERT_TRUE(ca && cb);
    auto inside = [](const POINT2M& q) { return q.x >= 0 && q.x <= 639 && q.y >= 0 && q.y <= 479; };
    std::vector<int> kept;
    for (int i = 0; i < ca->GetNumbOfMarker(); ++i)
        if (inside(ca->GetMarker()[i]) && inside(cb->GetMarker()[i])) kept.push_back(i);
    ASSERT_LT(kept.size(), pa.size()) << "the record must push some points out";
    ASSERT_GE(kept.size(), 4u);
    {
        // The removal on copies of the corrected sets counts the dropped pairs.
        Marker copyA, copyB;
        copyA.Append(ca->GetMarker(), ca->GetNumbOfMarker());
        copyB.Append(cb->GetMarker(), cb->GetNumbOfMarker());
        EXPECT_EQ(RemoveMarkersOutsideImages(&copyA, &copyB, 640, 480, 640, 480),
                  static_cast<int>(pa.size() - kept.size()));
        EXPECT_EQ(copyA.GetNumbOfMarker(), static_cast<int>(kept.size()));
    }

    // No RANSAC (threshold 0): the stored sets are the corrected, cleared ones.
    EXPECT_TRUE(PruneAutoMarkers(&p.a, &p.b, 1, record, 0.0f, 0.0f, 4, 1.0f, 1.0f));
    Marker* autoA = nullptr;
    Marker* autoB = nullptr;
    ASSERT_TRUE(p.a.GetAutoMarker(&p.b, &autoA, &autoB));
    ASSERT_EQ(autoA->GetNumbOfMarker(), static_cast<int>(kept.size()));
    ASSERT_EQ(autoB->GetNumbOfMarker(), static_cast<int>(kept.size()));
    for (size_t k = 0; k < kept.size(); ++k) {
        EXPECT_EQ(autoA->GetMarker()[k].x, ca->GetMarker()[kept[k]].x) << k;
        EXPECT_EQ(autoA->GetMarker()[k].y, ca->GetMarker()[kept[k]].y) << k;
        EXPECT_EQ(autoB->GetMarker()[k].x, cb->GetMarker()[kept[k]].x) << k;
        EXPECT_EQ(autoB->GetMarker()[k].y, cb->GetMarker()[kept[k]].y) << k;
    }
}

}  // namespace
