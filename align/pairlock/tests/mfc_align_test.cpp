// Decisions of the multi-channel aligner, with the overlap measure and the
// grid fit stood in for: area thresholds, working zoom, search ranges, the
// reduced first pass, the moved-pan retries, the second focal-length guess,
// and the refusal of unusable focal lengths. The overlap images are made for
// real, so each search call shows the zoom and transform it was given.
#include "align/pairlock/mfc_align.h"

#include "align/pairlock/overlap_rr.h"
#include "align/pairlock/overlap_ss.h"
#include "align/pairlock/tests/overlap_test_util.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

using namespace overlaptest;

namespace {

constexpr double kPi = std::numbers::pi;

struct SearchCall {
    int mode, chan, rangeX, rangeY;
    float zoom;
    int samples;
    PAIR_WALIGN_RR_PRMS2 prms;
};

// The overlap area is given; every sphere search is recorded and answered
// from a script (0 when the script runs out).
class ScriptedAlign : public CMFCAlign {
public:
    using CMFCAlign::CMFCAlign;
    float area = 0;
    std::vector<SearchCall> calls;
    std::vector<int> script;

    float CalcOverlapArea(PAIR_WALIGN_RR_PRMS2*) override { return area; }
    int OneLaTaNCCSearch_SS(COverlapSS* ov, int mode, int chan, int rangeX, int rangeY, POINT2**, int*) override
    {
        calls.push_back({mode, chan, rangeX, rangeY, ov->GetZoom(), ov->GetSamples(), ov->GetPrms()});
        const size_t k = calls.size() - 1;
        return k < script.size() ? script[k] : 0;
    }
};

// The grid fit alone is stood in for: it "finds" the template centres of a
// 5 x 4 grid at the overlap images' centre part, unshifted, the answer of a
// fit on a transform that is already right.
class GridFitAlign : public CMFCAlign {
public:
    using CMFCAlign::CMFCAlign;
    int fits = 0;
    std::vector<int> chans;

protected:
    int RunGridFit(Image* o1, Image*, gpc_polygon*, REGION* box, int, int chan, bool, int, int, POINT2** pts,
                   int* n) override
    {
        ++fits;
        chans.push_back(chan);
        const int k = 20;
        pts[0] = new POINT2[k];
        pts[1] = new POINT2[k];
        for (int i = 0; i < k; ++i) {
            const float x = box->x0 + (box->width - 1) * (0.3f + 0.1f * (i % 5));
            const float y = box->y0 + (box->height - 1) * (0.3f + 0.1f * (i / 5));
            pts[0][i] = pts[1][i] = {x, y};
        }
        (void)o1;
        *n = k;
        return kMFCAligned;
    }
};

struct Fixture {
    Image* img1;
    Image* img2;
    Fixture(int w, int h) : img1(testkit::MakePatternImage(w, h, 3, 0, 1)), img2(testkit::MakePatternImage(w, h, 3, 0, 2))
    {
    }
    ~Fixture()
    {
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
};

// Both images with focal length f.
PAIR_WALIGN_RR_PRMS2 Pair(float f, float a, float b, float c)
{
    return PairPrms(1.0f / f, 1.0f / f, a, b, c);
}

PAIR_ALIGN_INIT_SETTING Setting(float tolH, float tolV, int mark)
{
    return PAIR_ALIGN_INIT_SETTING{0.4f, 0.0f, tolH, tolV, static_cast<uint8_t>(mark)};
}

int CountLines(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// The sideways band pi/4 <= |a| <= 3 pi/4, compared in double precision: the
// float nearest pi/4 lies above it and counts, the float nearest 3 pi/4 lies
// above that bound and does not.
TEST(CMFCAlignDecisions, SidewaysBand)
{
    const struct {
        float a;
        bool sideways;
    } cases[] = {{float(kPi / 4), true},       {0.785f, false},           {-float(kPi / 2), true}, {float(kPi / 2), true},
                 {float(3 * kPi / 4), false}, {2.356f, true},            {0.0f, false},           {float(kPi), false},
                 {-2.0f, true},               {NAN, false}};
    for (const auto& c : cases) EXPECT_EQ(CMFCAlign::IsSideways(c.a), c.sideways) << c.a;
}

// Too little overlap returns 2 before any overlap image is made; enough
// overlap goes on to the search.
TEST(CMFCAlignDecisions, OverlapAreaThresholds)
{
    const struct {
        float area;
        int w, h;
        int result, calls;
    } cases[] = {
        {14999, 250, 200, kMFCNoOverlap, 0},
        {15000, 250, 200, kMFCNoAlignment, 2},  // 0.3 W1 H1 = 15000: not below it
        {20000, 250, 340, kMFCNoOverlap, 0},    // 0.3 W1 H1 = 25500
        {20000, 250, 200, kMFCNoAlignment, 2},  // 0.3 W1 H1 = 15000
        {29999, 400, 300, kMFCNoOverlap, 0},    // 0.3 W1 H1 = 36000
        {30000, 400, 300, kMFCNoAlignment, 2},
    };
    for (const auto& c : cases) {
        Fixture f(c.w, c.h);
        ScriptedAlign align(f.img1, f.img2);
        align.area = c.area;
        PAIR_WALIGN_RR_PRMS2 p = Pair(300, 0, 0.2f, 0);
        POINT2* pts[2] = {nullptr, nullptr};
        int n = -1;
        EXPECT_EQ(align.OneAlign(&p, nullptr, 0, pts, &n), c.result) << c.area << " " << c.w << "x" << c.h;
        EXPECT_EQ(int(align.calls.size()), c.calls) << c.area;
        EXPECT_EQ(pts[0], nullptr);
        EXPECT_EQ(n, 0);
        EXPECT_FLOAT_EQ(align.GetOverlapArea(), c.area);
    }
}

// Working zoom from the target area, and the search ranges in overlap pixels
// for the edge pass (chan 8) and the colour pass (chan 7, a fifth wider).
TEST(CMFCAlignDecisions, ZoomAndSearchRanges)
{
    const PAIR_ALIGN_INIT_SETTING byDefault = Setting(0.1f, 0.1f, 0);
    const PAIR_ALIGN_INIT_SETTING narrow = Setting(0.02f, 0.5f, 1);  // clamped to 5 % and 15 %
    const struct {
        const char* what;
        float area;
        const PAIR_ALIGN_INIT_SETTING* setting;
        int mode;
        float angA;
        float zoom;
        int rx8, ry8, rx7, ry7;
    } cases[] = {
        // z = sqrt(90000 / 1e6) = 0.3; ranges 30 % and 15 % of 250 * 0.3.
        {"default setting", 1e6f, &byDefault, 0, 0, 0.3f, 22, 11, 26, 13},
        // No setting: 122500 pixels, 8 % both ways.
        {"no setting", 1e6f, nullptr, 0, 0, 0.35f, 7, 7, 8, 8},
        {"user tolerances", 1e6f, &narrow, 0, 0, 0.35f, 4, 13, 4, 15},
        // Image 1 on its side: its height is the extent.
        {"sideways", 1e6f, nullptr, 0, 1.0f, 0.35f, 5, 5, 6, 6},
        // A retry: 202500 pixels, 31 pixels.
        {"retry", 1e6f, &byDefault, 1, 0, 0.45f, 31, 31, 37, 37},
        // A small overlap is not zoomed.
        {"small overlap", 50000, nullptr, 0, 0, 1.0f, 20, 20, 24, 24},
    };
    for (const auto& c : cases) {
        Fixture f(250, 200);
        ScriptedAlign align(f.img1, f.img2);
        align.area = c.area;
        PAIR_WALIGN_RR_PRMS2 p = Pair(300, c.angA, 0.2f, 0);
        POINT2* pts[2];
        int n;
        PAIR_ALIGN_INIT_SETTING s = c.setting ? *c.setting : PAIR_ALIGN_INIT_SETTING{};
        EXPECT_EQ(align.OneAlign(&p, c.setting ? &s : nullptr, c.mode, pts, &n), kMFCNoAlignment) << c.what;
        ASSERT_EQ(align.calls.size(), 2u) << c.what;
        const SearchCall& a = align.calls[0];
        const SearchCall& b = align.calls[1];
        EXPECT_EQ(a.chan, 8) << c.what;
        EXPECT_EQ(b.chan, 7) << c.what;
        EXPECT_EQ(a.mode, c.mode) << c.what;
        EXPECT_NEAR(a.zoom, c.zoom, 1e-6) << c.what;
        EXPECT_NEAR(b.zoom, c.zoom, 1e-6) << c.what;  // one pass: the same overlap images
        EXPECT_EQ(a.rangeX, c.rx8) << c.what;
        EXPECT_EQ(a.rangeY, c.ry8) << c.what;
        EXPECT_EQ(b.rangeX, c.rx7) << c.what;
        EXPECT_EQ(b.rangeY, c.ry7) << c.what;
        // The sphere has zoom 2 pi f1 samples, a multiple of 4.
        EXPECT_EQ(a.samples, int(c.zoom * 2 * kPi * 300) / 4 * 4) << c.what;
    }
}

// With default settings and a large overlap at full size, the edge image is
// searched at 70 % first and the colour channels at full size, with the
// ranges carried over.
TEST(CMFCAlignDecisions, ReducedFirstPass)
{
    Fixture f(250, 200);
    ScriptedAlign align(f.img1, f.img2);
    align.area = 1e6f;
    PAIR_WALIGN_RR_PRMS2 p = Pair(300, 0, 0.2f, 0);
    PAIR_ALIGN_INIT_SETTING s = Setting(0.1f, 0.1f, 0);
    POINT2* pts[2];
    int n;
    // OneAlign itself zooms such an overlap down to 44100 < 90000 pixels at
    // 0.7: one pass. Called at full size, the pass is split.
    ASSERT_EQ(align.OneAlign(&p, &s, 0, pts, &n), kMFCNoAlignment);
    ASSERT_EQ(align.calls.size(), 2u);
    align.calls.clear();
    EXPECT_EQ(align.OneLaTaNCCMap_SS(&p, &s, 0, 1.0f, 1.0f, pts, &n), kMFCNoAlignment);
    ASSERT_EQ(align.calls.size(), 2u);
    EXPECT_EQ(align.calls[0].chan, 8);
    EXPECT_NEAR(align.calls[0].zoom, 0.7f, 1e-6);
    EXPECT_EQ(align.calls[0].rangeX, 52);  // 250 * 0.7 * 30 %
    EXPECT_EQ(align.calls[0].rangeY, 26);  // 250 * 0.7 * 15 %
    EXPECT_EQ(align.calls[1].chan, 7);
    EXPECT_NEAR(align.calls[1].zoom, 1.0f, 1e-6);
    EXPECT_EQ(align.calls[1].rangeX, 88);  // (52 + 10) / 0.7
    EXPECT_EQ(align.calls[1].rangeY, 44);  // (26 + 5) / 0.7
    // A retry or a user setting never splits the pass.
    align.calls.clear();
    PAIR_ALIGN_INIT_SETTING user = Setting(0.1f, 0.1f, 1);
    EXPECT_EQ(align.OneLaTaNCCMap_SS(&p, &user, 0, 1.0f, 1.0f, pts, &n), kMFCNoAlignment);
    ASSERT_EQ(align.calls.size(), 2u);
    EXPECT_NEAR(align.calls[0].zoom, 1.0f, 1e-6);
}

// A tolerance of 0.1 tries once; 0.15 then moves the pan back and forward by
// 10 % of the field of view; a move that leaves under a quarter of the view
// is held at three quarters, one that leaves under a fifth is not tried.
TEST(CMFCAlignDecisions, MovedPanRetries)
{
    const float f = 300;
    const float fov = static_cast<float>(2 * std::atan(250 / 2.0 / f));
    const struct {
        const char* what;
        float tol;
        float pan;
        std::vector<float> pans;  // angB of each attempt (two searches each)
        std::vector<int> modes;
    } cases[] = {
        {"tolerance 0.1", 0.1f, 0.2f, {0.2f}, {0}},
        {"tolerance 0.15", 0.15f, 0.2f, {0.2f, 0.2f - 0.1f * fov, 0.2f + 0.1f * fov}, {0, 1, 1}},
        {"forward move held", 0.15f, 0.67f * fov, {0.67f * fov, 0.57f * fov, 0.75f * fov}, {0, 1, 1}},
        {"forward move dropped", 0.15f, 0.75f * fov, {0.75f * fov, 0.65f * fov}, {0, 1}},
        // 200 x 0.3 / 3 = 20 %: the largest move.
        {"tolerance 0.3", 0.3f, 0.2f, {0.2f, 0.2f - 0.2f * fov, 0.2f + 0.2f * fov}, {0, 1, 1}},
    };
    for (const auto& c : cases) {
        Fixture fx(250, 200);
        ScriptedAlign align(fx.img1, fx.img2);
        align.area = 40000;
        PAIR_WALIGN_RR_PRMS2 p = Pair(f, 0, c.pan, 0);
        PAIR_ALIGN_INIT_SETTING s = Setting(c.tol, 0.1f, 0);
        POINT2* pts[2];
        int n;
        EXPECT_EQ(align.OneMFCAlign(&p, &s, 0, pts, &n), kMFCNoAlignment) << c.what;
        ASSERT_EQ(align.calls.size(), 2 * c.pans.size()) << c.what;
        for (size_t i = 0; i < align.calls.size(); ++i) {
            EXPECT_NEAR(align.calls[i].prms.angB, c.pans[i / 2], 1e-5) << c.what << " call " << i;
            EXPECT_EQ(align.calls[i].mode, c.modes[i / 2]) << c.what << " call " << i;
            EXPECT_FLOAT_EQ(align.calls[i].prms.rcpF1, p.rcpF1);
        }
    }
}

// Success on the first attempt ends the run; too little overlap on a first
// attempt reads as "no alignment".
TEST(CMFCAlignDecisions, FirstSuccessAndTooLittleOverlap)
{
    Fixture fx(250, 200);
    PAIR_WALIGN_RR_PRMS2 p = Pair(300, 0, 0.2f, 0);
    PAIR_ALIGN_INIT_SETTING s = Setting(0.3f, 0.1f, 0);
    POINT2* pts[2];
    int n;
    ScriptedAlign align(fx.img1, fx.img2);
    align.area = 40000;
    align.script = {0, 1};  // the colour pass finds it
    EXPECT_EQ(align.OneMFCAlign(&p, &s, 0, pts, &n), kMFCAligned);
    EXPECT_EQ(align.calls.size(), 2u);

    ScriptedAlign small(fx.img1, fx.img2);
    small.area = 100;
    EXPECT_EQ(small.OneMFCAlign(&p, &s, 0, pts, &n), kMFCNoAlignment);
    EXPECT_EQ(small.OneAlign(&p, &s, 0, pts, &n), kMFCNoOverlap);
    EXPECT_TRUE(small.calls.empty());
}

// Without tryOtherFocal there is exactly one attempt; with it, a failed
// attempt is followed by one with the smaller side spanning 12 / L.
TEST(CMFCAlignDecisions, SecondFocalLengthGuess)
{
    Logger::setLogLevel(4);
    const struct {
        float f;
        bool other;
        int attempts;
        float rcp2;  // 1/f of the second attempt
    } cases[] = {
        {300, false, 1, 0},
        // h = 200 / 300 / 2, ratio = 36 > 32: L = 26.
        {300, true, 2, 1.0f / 300 * 36 / 26},
        // h = 200 / 200 / 2, ratio = 24: L = 40.
        {200, true, 2, 1.0f / 200 * 24 / 40},
    };
    for (const auto& c : cases) {
        Fixture fx(250, 200);
        ScriptedAlign align(fx.img1, fx.img2);
        align.area = 40000;
        PAIR_WALIGN_RR_PRMS2 p = Pair(c.f, 0, 0.1f, 0);
        POINT2* pts[2];
        int n;
        LogCapture log;
        EXPECT_EQ(align.MainMFCAlign(&p, nullptr, 0, pts, &n, c.other), kMFCNoAlignment);
        EXPECT_EQ(CountLines(log.text(), "One*A*: enter:"), c.attempts) << log.text();
        EXPECT_EQ(CountLines(log.text(), "MainMFCAlign: enter: (0 " + std::to_string(int(c.other)) + ")"), 1);
        ASSERT_EQ(align.calls.size(), 2u * c.attempts);
        if (c.attempts == 2) {
            EXPECT_NEAR(align.calls[2].prms.rcpF1, c.rcp2, 1e-7);
            EXPECT_NEAR(align.calls[2].prms.rcpF2, c.rcp2, 1e-7);
            EXPECT_FLOAT_EQ(align.calls[2].prms.angB, 0.1f);
        }
    }
}

// Focal lengths that are zero, negative, not finite or past the sphere's
// resolution are refused with 2 and an error line, before any overlap work.
TEST(CMFCAlignDecisions, UnusableFocalLengthsReturnTooLittleOverlap)
{
    Fixture fx(250, 200);
    const struct {
        const char* what;
        float rcp1, rcp2;
    } cases[] = {
        {"zero 1/f1", 0, 1.0f / 300},   {"negative 1/f1", -0.01f, 1.0f / 300}, {"NaN 1/f1", NAN, 1.0f / 300},
        {"infinite 1/f1", INFINITY, 1.0f / 300}, {"zero 1/f2", 1.0f / 300, 0},  {"f1 of 1e9 pixels", 1e-9f, 1e-9f},
    };
    for (const auto& c : cases) {
        for (bool other : {false, true}) {
            ScriptedAlign align(fx.img1, fx.img2);
            align.area = 40000;
            PAIR_WALIGN_RR_PRMS2 p = Pair(300, 0, 0.1f, 0);
            p.rcpF1 = c.rcp1;
            p.rcpF2 = c.rcp2;
            POINT2* pts[2] = {nullptr, nullptr};
            int n = 7;
            LogCapture log;
            EXPECT_EQ(align.MainMFCAlign(&p, nullptr, 0, pts, &n, other), kMFCNoOverlap) << c.what;
            EXPECT_TRUE(log.contains("ERROR CMFCAlign::MainMFCAlign")) << c.what << log.text();
            EXPECT_TRUE(align.calls.empty()) << c.what;
            EXPECT_EQ(n, 0);
        }
    }
    // A missing image or transform likewise.
    ScriptedAlign none(nullptr, fx.img2);
    PAIR_WALIGN_RR_PRMS2 p = Pair(300, 0, 0.1f, 0);
    POINT2* pts[2];
    int n;
    LogCapture log;
    EXPECT_EQ(none.MainMFCAlign(&p, nullptr, 0, pts, &n, true), kMFCNoOverlap);
    ScriptedAlign noPrms(fx.img1, fx.img2);
    EXPECT_EQ(noPrms.MainMFCAlign(nullptr, nullptr, 0, pts, &n, true), kMFCNoOverlap);
    EXPECT_GE(log.errorCount(), 2);
}

// A guess from the image shape alone: 60 degrees across the smaller side,
// image 2 at 45 % of the extent in direction k.
TEST(CMFCAlignDecisions, GuessFromTheImageShape)
{
    Fixture fx(250, 200);
    const float phi = 1.0471976f;
    const float rcp = std::tan(phi / 2) / 100;
    const struct {
        int k;
        float a, b, c;
    } cases[] = {
        {0, 0, 0.45f * phi * 250 / 200, 0},
        {2, float(-kPi / 2), 0.45f * phi, float(kPi / 2)},
    };
    for (const auto& c : cases) {
        ScriptedAlign align(fx.img1, fx.img2);
        align.area = 40000;
        POINT2* pts[2];
        int n;
        EXPECT_EQ(align.MainMFCAlign_Xp(nullptr, pts, &n, c.k), kMFCNoAlignment);
        ASSERT_FALSE(align.calls.empty());
        const PAIR_WALIGN_RR_PRMS2& p = align.calls[0].prms;
        EXPECT_NEAR(p.rcpF1, rcp, 1e-7);
        EXPECT_NEAR(p.rcpF2, rcp, 1e-7);
        EXPECT_NEAR(p.angA, c.a, 1e-6);
        EXPECT_NEAR(p.angB, c.b, 1e-5);
        EXPECT_NEAR(p.angC, c.c, 1e-6);
        EXPECT_EQ(align.calls[0].mode, 0);
    }
}

// Points the grid fit finds in the overlap images come back in the input
// images' pixels, as one scene point under the transform the overlap images
// were made with: on the sphere and in the plane.
TEST(CMFCAlignDecisions, FoundPointsComeBackInImagePixels)
{
    Fixture fx(250, 200);
    PAIR_WALIGN_RR_PRMS2 p = Pair(300, 0.05f, 0.2f, -0.03f);
    p.rcpF2 = 1.0f / 320;
    GridFitAlign align(fx.img1, fx.img2);
    POINT2* pts[2] = {nullptr, nullptr};
    int n = 0;
    ASSERT_EQ(align.MainMFCAlign(&p, nullptr, 0, pts, &n, false), kMFCAligned);
    EXPECT_EQ(align.fits, 1);  // the edge pass found it
    ASSERT_EQ(n, 20);
    auto check = [&](const char* path) {
        for (int i = 0; i < n; ++i) {
            POINT2 want;
            ASSERT_TRUE(MapPairPixels(p, 250, 200, 250, 200, pts[0][i], want));
            EXPECT_NEAR(pts[1][i].x, want.x, 0.02) << path << " " << i;
            EXPECT_NEAR(pts[1][i].y, want.y, 0.02) << path << " " << i;
            EXPECT_GE(pts[0][i].x, 0) << path;
            EXPECT_LT(pts[0][i].x, 250) << path;
        }
    };
    check("sphere");
    CMFCAlign::FreePoints(pts);
    EXPECT_EQ(pts[0], nullptr);

    ASSERT_EQ(align.OneLaTaNCCMap_2(&p, nullptr, 0, 0.8f, 0.8f, pts, &n), kMFCAligned);
    ASSERT_EQ(n, 20);
    check("plane");
    CMFCAlign::FreePoints(pts);
}

// The coarse path builds the subsampled overlap images, but the grid fit
// makes no maps in coarse mode: it ends without a result and without points.
TEST(CMFCAlignDecisions, CoarsePathEndsWithoutAResult)
{
    Image* img1 = MakeCodedImage(640, 480);
    Image* img2 = MakeCodedImage(640, 480);
    PAIR_WALIGN_RR_PRMS2 p = Pair(600, 0, 0.2f, 0);
    CMFCAlign align(img1, img2, 7);
    EXPECT_EQ(align.GetChanMode(), 7);
    POINT2* pts[2] = {nullptr, nullptr};
    int n = 5;
    EXPECT_EQ(align.OneAlign(&p, nullptr, -1, pts, &n), kMFCNoAlignment);
    EXPECT_EQ(pts[0], nullptr);
    EXPECT_EQ(pts[1], nullptr);
    EXPECT_EQ(n, 0);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

// What the main program's image window would hold: marker groups by id and
// window, with their display offsets, and the windows whose curves were
// cleared.
struct GroupKey {
    int id;
    std::string window;
    bool operator<(const GroupKey& o) const { return id != o.id ? id < o.id : window < o.window; }
};
struct Group {
    std::unique_ptr<Marker> marker;
    int x, y;
};
std::map<GroupKey, Group> g_groups;
std::vector<std::string> g_cleared;

Marker* MakeGroup(int id, const char* window, int x, int y)
{
    Group& g = g_groups[{id, window}];
    g.marker = std::make_unique<Marker>();
    g.x = x;
    g.y = y;
    return g.marker.get();
}

int ClearCurves(int, int, const char* window)
{
    g_cleared.push_back(window);
    return 1;
}

// With the debug display on, the pair is shown side by side in window 1 and
// the pairs found go to marker groups 0 and 1 there, at the two images'
// offsets; a first attempt clears the curves of windows 0 and 2.
TEST(CMFCAlignDecisions, DebugDisplayShowsThePairAndItsMarkers)
{
    testkit::TempDir dir;
    SetDebugDispFolder(dir.path().string().c_str());
    SetDebugDispFlag(1);
    SetCreateMarkerGroup(MakeGroup);
    SetDeleteCurves(ClearCurves);
    g_groups.clear();
    g_cleared.clear();

    Fixture fx(250, 200);
    PAIR_WALIGN_RR_PRMS2 p = Pair(300, 0.05f, 0.2f, -0.03f);
    GridFitAlign align(fx.img1, fx.img2);
    POINT2* pts[2] = {nullptr, nullptr};
    int n = 0;
    const int r = align.MainMFCAlign(&p, nullptr, 0, pts, &n, false);

    SetDebugDispFlag(0);
    SetCreateMarkerGroup(nullptr);
    SetDeleteCurves(nullptr);
    ASSERT_EQ(r, kMFCAligned);
    auto bgr = [](const Image& img, int x, int y) {
        const uint8_t* q = img.GetData() + size_t(y) * img.GetRowByte() + size_t(x) * 3;
        return RGB(q[2], q[1], q[0]);
    };
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin1(), 5, 7), bgr(*fx.img1, 5, 7));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin1(), 250 + 5, 7), bgr(*fx.img2, 5, 7));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin1(), 500, 0), 0xFFFFFFFFu);  // (W1 + W2) x H1
    EXPECT_NE(std::find(g_cleared.begin(), g_cleared.end(), GetNameDebugWin0()), g_cleared.end());
    EXPECT_NE(std::find(g_cleared.begin(), g_cleared.end(), GetNameDebugWin2()), g_cleared.end());
    const Group& g0 = g_groups.at({0, GetNameDebugWin1()});
    const Group& g1 = g_groups.at({1, GetNameDebugWin1()});
    EXPECT_EQ(g0.x, 0);
    EXPECT_EQ(g1.x, 250);
    ASSERT_EQ(g0.marker->GetNumbOfMarker(), n);
    ASSERT_EQ(g1.marker->GetNumbOfMarker(), n);
    for (int i = 0; i < n; ++i) {
        EXPECT_FLOAT_EQ(g0.marker->GetMarker()[i].x, pts[0][i].x);
        EXPECT_FLOAT_EQ(g1.marker->GetMarker()[i].y, pts[1][i].y);
    }
    CMFCAlign::FreePoints(pts);
    g_groups.clear();
}

}  // namespace
