// Drawing frames into a world map with their seams blended: the pair
// preparation on rendered views, the neighbour rules of the drawing, the
// drawing order, and two views of a real photograph checked pixel by pixel
// against a brute-force evaluation of the blend written here.

#include "adjust/blendkit/blend_rs.h"
#include "adjust/blendkit/inten_pairs.h"
#include "adjust/blendkit/pair_int_div.h"
#include "adjust/blendkit/tests/blend_scene.h"
#include "platform/mapproj/make_vantor_rect.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/panocore_settings.h"
#include "projectgraph/curvekit/pair_info.h"
#include "platform/utilkit/debug_display.h"
#include "testkit/testkit.h"
#include "worldmap/rect_world_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <numbers>
#include <vector>

using namespace blend_test;

namespace {

constexpr int kW = 400, kH = 300;
constexpr double kF = 350.0;  // about 60 degrees across
constexpr int kMapW = 2048;

ImageFrame* AddView(Scene& s, double pan, double tilt, float gain, int w = kW, int h = kH, double f = kF)
{
    const TRANSFORM_RS t = Placement(pan, tilt, 0.0, f);
    return s.Add(RenderView(Texture(), w, h, t, gain), t);
}

int MaxDiff(const Image* a, const Image* b)
{
    int worst = 0;
    const size_t n = static_cast<size_t>(a->GetRowByte()) * a->GetHeight();
    for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(int(a->GetData()[i]) - int(b->GetData()[i])));
    return worst;
}

bool SameBytes(const Image* a, const Image* b)
{
    return std::memcmp(a->GetData(), b->GetData(), static_cast<size_t>(a->GetRowByte()) * a->GetHeight()) == 0;
}

struct MapRef {
    RectWorldMap* map;
    explicit MapRef(int w) : map(new RectWorldMap(w)) {}
    ~MapRef() { ReleaseImage(map); }
};

class BlendRsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_width = GetDivLineBlendWidth();
        SetDivLineBlendWidth(40);
    }
    void TearDown() override { SetDivLineBlendWidth(m_width); }
    int m_width = 0;
};

TEST_F(BlendRsTest, PairPreparationFailsWithoutACrossingOrAnOverlap)
{
    Scene s;
    ImageFrame* a = AddView(s, 0, 0, 1.0f);
    struct Case {
        const char* what;
        double pan;
        double focal;
        bool fakePairs;
    };
    // Inside: the wider view at the same direction holds the first whole.
    for (Case c : {Case{"inside", 0.0, kF / 2, false}, Case{"apart", 180.0, kF, true}}) {
        const TRANSFORM_RS t = Placement(c.pan, 0, 0, c.focal);
        Image* img = RenderView(Texture(), kW, kH, t, 1.0f);
        TRANSFORM_RS tb = t;
        CPairIntDiv div;
        INTEN_PAIRS pairs{nullptr, 0};
        CBlendPolygons* sides[2] = {reinterpret_cast<CBlendPolygons*>(&div), reinterpret_cast<CBlendPolygons*>(&div)};
        EXPECT_FALSE(div.MainPairIntDiv(a->GetImage(), img, a->GetImgInfo()->GetParams(), &tb, &pairs, sides))
            << c.what;
        EXPECT_EQ(sides[0], nullptr) << c.what;
        EXPECT_EQ(sides[1], nullptr) << c.what;
        if (c.fakePairs) {
            ASSERT_EQ(pairs.count, 2) << c.what;
            EXPECT_EQ(pairs.entries[0], 100.0f);
            EXPECT_EQ(pairs.entries[11], 200.0f);
        }
        FreeIntenPairs(&pairs);
        ReleaseImage(img);
    }
}

TEST_F(BlendRsTest, NoNeighbourDrawsThePlainFrame)
{
    Scene s;
    ImageFrame* a = AddView(s, 10, 5, 1.0f);
    MapRef blended(kMapW), plain(kMapW);
    ASSERT_TRUE(BlendOneImageRS(a, blended.map));
    CMakeVantorRect draw;
    ASSERT_TRUE(draw.MapImgRS(a->GetImage(), a->GetImgInfo()->GetParams(), plain.map));
    EXPECT_TRUE(SameBytes(blended.map, plain.map));
    // Rows drawn by several threads give the same map.
    MapRef threaded(kMapW);
    CMakeVantorRect parallel;
    parallel.SetRowThreads(4);
    ASSERT_TRUE(parallel.MapImgRS(a->GetImage(), a->GetImgInfo()->GetParams(), threaded.map));
    EXPECT_TRUE(SameBytes(threaded.map, plain.map));
    // The frame did land on the map: its centre's pixel holds data.
    int cx = 0, cy = 0;
    plain.map->GetMapCenter(cx, cy);
    const int col = cx + static_cast<int>(std::lround(10.0 / 360.0 * kMapW));
    const int row = cy + static_cast<int>(std::lround(5.0 / 360.0 * kMapW));
    EXPECT_NE(plain.map->GetDataPtr(col, row)[0], 0);
}

TEST_F(BlendRsTest, NeighbourRulesAndDrawingOrder)
{
    Scene s;
    ImageFrame* c = AddView(s, -30, 0, 1.1f);
    ImageFrame* a = AddView(s, 0, 0, 1.0f);
    ImageFrame* b = AddView(s, 30, 0, 0.8f);
    ASSERT_TRUE(s.Link(a, b, true));
    ASSERT_TRUE(s.Link(c, a, true));

    // Each of A's sides holds its record; C and B have one neighbour, A two.
    MapRef order1(kMapW), order2(kMapW);
    for (ImageFrame* f : {c, a, b}) ASSERT_TRUE(BlendOneImageRS(f, order1.map));
    for (ImageFrame* f : {b, a, c}) ASSERT_TRUE(BlendOneImageRS(f, order2.map));
    EXPECT_LE(MaxDiff(order1.map, order2.map), 1);

    // The bands are cross-faded: the composite is neither frame's plain
    // mapping there, while far from the seams it is.
    MapRef plainA(kMapW), plainB(kMapW);
    CMakeVantorRect draw;
    draw.MapImgRS(a->GetImage(), a->GetImgInfo()->GetParams(), plainA.map);
    draw.MapImgRS(b->GetImage(), b->GetImgInfo()->GetParams(), plainB.map);
    int cx = 0, cy = 0;
    order1.map->GetMapCenter(cx, cy);
    const int seam = cx + kMapW * 15 / 360;  // halfway between A and B
    int differ = 0;
    for (int dc = -2; dc <= 2; ++dc) {
        const uint8_t* m = order1.map->GetDataPtr(seam + dc, cy);
        const uint8_t* pa = plainA.map->GetDataPtr(seam + dc, cy);
        const uint8_t* pb = plainB.map->GetDataPtr(seam + dc, cy);
        if (std::abs(m[1] - pa[1]) > 2 && std::abs(m[1] - pb[1]) > 2) ++differ;
    }
    EXPECT_GT(differ, 0);
    EXPECT_EQ(std::memcmp(order1.map->GetDataPtr(cx, cy), plainA.map->GetDataPtr(cx, cy), 3), 0);
}

TEST_F(BlendRsTest, MissingRecordOrThreeNeighboursCannotBeDrawn)
{
    {
        Scene s;
        ImageFrame* a = AddView(s, 0, 0, 1.0f);
        ImageFrame* b = AddView(s, 30, 0, 1.0f);
        ASSERT_TRUE(s.Link(a, b, false));
        MapRef map(kMapW), empty(kMapW);
        EXPECT_FALSE(BlendOneImageRS(a, map.map));
        EXPECT_FALSE(BlendOneImageRS(b, map.map));
        EXPECT_TRUE(SameBytes(map.map, empty.map));  // nothing drawn
    }
    {
        Scene s;
        ImageFrame* a = AddView(s, 0, 0, 1.0f);
        ImageFrame* b = AddView(s, 30, 0, 1.0f);
        ImageFrame* c = AddView(s, -30, 0, 1.0f);
        ImageFrame* d = AddView(s, 0, 30, 1.0f);
        ASSERT_TRUE(s.Link(a, b, true));
        ASSERT_TRUE(s.Link(a, c, true));
        ASSERT_TRUE(s.Link(a, d, true));
        MapRef map(kMapW);
        EXPECT_FALSE(BlendOneImageRS(a, map.map));
        EXPECT_TRUE(BlendOneImageRS(b, map.map));  // one neighbour
    }
    MapRef map(kMapW);
    EXPECT_FALSE(BlendOneImageRS(nullptr, map.map));
}

// Piecewise-linear interpolation through the samples with a match and both
// colours, end values beyond; 0 without any.
float LineDiff(const CDivLineData& d, float along, int c)
{
    std::vector<std::pair<float, float>> nodes;
    for (int i = 0; i < d.count; ++i) {
        const ONE_DL_V_MAP& s = d.samples[i];
        if ((s.dx == -1.0f && s.dy == -1.0f) || s.colorA[0] < 0 || s.colorA[1] < 0 || s.colorA[2] < 0 ||
            s.colorB[0] < 0 || s.colorB[1] < 0 || s.colorB[2] < 0)
            continue;
        nodes.emplace_back(s.along, s.colorB[c] - s.colorA[c]);
    }
    if (nodes.empty()) return 0.0f;
    // Beyond the first and last sample the nodes hold the nearest value.
    const float x0 = d.samples[0].along, x1 = d.samples[d.count - 1].along;
    along = std::clamp(along, x0, x1);
    if (along <= nodes.front().first) return nodes.front().second;
    if (along >= nodes.back().first) return nodes.back().second;
    for (size_t i = 1; i < nodes.size(); ++i)
        if (along <= nodes[i].first) {
            const float t = (along - nodes[i - 1].first) / (nodes[i].first - nodes[i - 1].first);
            return nodes[i - 1].second + t * (nodes[i].second - nodes[i - 1].second);
        }
    return nodes.back().second;
}

TEST_F(BlendRsTest, RealPhotographTwoViewsBlendAsTheFormulasSay)
{
    const Sphere pano = PanoramaSphere(testkit::TestData("pannellum/examplepano.jpg").string());
    ASSERT_TRUE(static_cast<bool>(pano)) << "cannot read pannellum/examplepano.jpg";
    constexpr int W = 800, H = 600;
    const double f = 400.0 / std::tan(30.0 * std::numbers::pi / 180.0);
    // Looking 15 degrees down: the line crosses ground and buildings, not sky.
    const TRANSFORM_RS ta = Placement(0, 15, 0, f), tb = Placement(35, 15, 0, f);
    Scene s;
    ImageFrame* a = s.Add(RenderView(pano, W, H, ta, 1.0f), ta);
    ImageFrame* b = s.Add(RenderView(pano, W, H, tb, 0.8f), tb);
    INTEN_PAIRS ab{nullptr, 0}, ba{nullptr, 0};
    ASSERT_TRUE(s.Link(a, b, true, &ab));
    CPairIntDiv div;
    EXPECT_TRUE(div.MainPairIntDiv(b->GetImage(), a->GetImage(), b->GetImgInfo()->GetParams(),
                                   a->GetImgInfo()->GetParams(), &ba, nullptr));
    auto ratio = [](const INTEN_PAIRS& p) {
        double own = 0, other = 0;
        for (int i = 0; i < p.count; ++i)
            for (int c = 0; c < 3; ++c) {
                own += p.entries[6 * i + c];
                other += p.entries[6 * i + 3 + c];
            }
        return other / own;
    };
    ASSERT_GE(ab.count, 3);
    EXPECT_NEAR(ratio(ab), 0.80, 0.03);
    EXPECT_NEAR(ratio(ba), 1.0 / 0.80, 0.05);
    FreeIntenPairs(&ab);
    FreeIntenPairs(&ba);

    CBlendPolygons* sa = a->GetPairInfo(b)->GetBlendPolygons();
    CBlendPolygons* sb = b->GetPairInfo(a)->GetBlendPolygons();
    ASSERT_NE(sa, nullptr);
    ASSERT_NE(sb, nullptr);
    ASSERT_EQ(sa->drawPlain, 1);
    ASSERT_EQ(sb->drawPlain, 0);
    const CDivLineData& line = *sa->lineData;
    ASSERT_GE(line.count, 5);
    int close = 0;
    for (int i = 0; i < line.count; ++i)
        if (line.samples[i].dx != -1.0f && std::hypot(line.samples[i].dx, line.samples[i].dy) < 0.5f) ++close;
    EXPECT_GE(close, 0.8 * line.count) << close << " of " << line.count;

    const int mapW = 4096;
    MapRef map(mapW), mapA(mapW), mapB(mapW);
    int cx = 0, cy = 0;
    map.map->GetMapCenter(cx, cy);
    ASSERT_EQ(cx, mapW / 2);
    ASSERT_EQ(cy, mapW / 4);
    ASSERT_TRUE(BlendOneImageRS(a, map.map));
    ASSERT_TRUE(BlendOneImageRS(b, map.map));
    CMakeVantorRect draw;
    draw.MapImgRS(a->GetImage(), a->GetImgInfo()->GetParams(), mapA.map);
    draw.MapImgRS(b->GetImage(), b->GetImgInfo()->GetParams(), mapB.map);

    // Brute force: what each map pixel must hold after A then B.
    const float width = static_cast<float>(GetDivLineBlendWidth());
    const float dx = line.end.x - line.start.x, dy = line.end.y - line.start.y, len = std::hypot(dx, dy);
    const POINT2 dir{dx / len, dy / len}, perp{-dir.y, dir.x};
    int bandPixels = 0, bandWorst = 0, plainPixels = 0, plainWrong = 0;
    double stepBlend = 0, stepCut = 0;
    int steps = 0;
    const int c0 = cx + mapW * -40 / 360, c1 = cx + mapW * 75 / 360;
    const int r0 = cy + mapW * (15 - 30) / 360, r1 = cy + mapW * (15 + 30) / 360;
    for (int r = r0; r <= r1; ++r) {
        float prevAcross = 0;
        bool prevBoth = false;
        for (int c = c0; c <= c1; ++c) {
            float ax = 0, ay = 0, bx = 0, by = 0, va[3], vb[3];
            const bool inA = MapPixelToFrame(mapW, c, r, ta, &ax, &ay) && SampleCentred(a->GetImage(), ax, ay, va);
            const bool inB = MapPixelToFrame(mapW, c, r, tb, &bx, &by) && SampleCentred(b->GetImage(), bx, by, vb);
            const bool aBand = inA && InsidePolygon(sa->band, ax, ay);
            const bool aPlain = inA && !aBand && InsidePolygon(sa->ownRegion, ax, ay);
            const bool bBand = inB && InsidePolygon(sb->band, bx, by);
            const bool bPlain = inB && !bBand && InsidePolygon(sb->ownRegion, bx, by);
            float m[3] = {0, 0, 0};
            for (int k = 0; k < 3; ++k) {
                if (aBand) m[k] = std::clamp(std::floor(va[k] + 0.5f), 1.0f, 255.0f);
                else if (aPlain) m[k] = std::floor(va[k] + 0.5f);
            }
            if ((aBand || aPlain) && m[0] == 0) m[0] = 1;
            const float across = (ax - line.start.x) * perp.x + (ay - line.start.y) * perp.y;
            const float along = (ax - line.start.x) * dir.x + (ay - line.start.y) * dir.y;
            if (bBand) {
                const float w = std::clamp(0.5f + across / width, 0.0f, 1.0f);
                const bool held = m[0] != 0;
                for (int k = 0; k < 3; ++k) {
                    const int out = static_cast<int>(w * -LineDiff(line, along, k) + 0.5f);
                    const float corrected = std::clamp(std::floor(vb[k] + 0.5f) + out, 1.0f, 255.0f);
                    m[k] = std::floor((held ? m[k] * w + corrected * (1 - w) : corrected) + 0.5f);
                }
                if (m[0] == 0) m[0] = 1;
            } else if (bPlain) {
                for (int k = 0; k < 3; ++k) m[k] = std::floor(vb[k] + 0.5f);
                if (m[0] == 0) m[0] = 1;
            }
            const uint8_t* got = map.map->GetDataPtr(c, r);
            if (aBand || bBand) {
                ++bandPixels;
                for (int k = 0; k < 3; ++k) bandWorst = std::max(bandWorst, std::abs(got[k] - static_cast<int>(m[k])));
            } else if (aPlain || bPlain) {
                ++plainPixels;
                const uint8_t* ref = aPlain && !bPlain ? mapA.map->GetDataPtr(c, r) : mapB.map->GetDataPtr(c, r);
                if (std::memcmp(got, ref, 3) != 0) ++plainWrong;
            }
            // The step across the division line, against a hard cut there.
            const bool both = inA && inB;
            if (both && prevBoth && (prevAcross > 0) != (across > 0)) {
                const uint8_t* before = map.map->GetDataPtr(c - 1, r);
                const uint8_t* cutBefore = (prevAcross > 0 ? mapA.map : mapB.map)->GetDataPtr(c - 1, r);
                const uint8_t* cutAfter = (across > 0 ? mapA.map : mapB.map)->GetDataPtr(c, r);
                for (int k = 0; k < 3; ++k) {
                    stepBlend += std::abs(got[k] - before[k]);
                    stepCut += std::abs(cutAfter[k] - cutBefore[k]);
                }
                ++steps;
            }
            prevAcross = across;
            prevBoth = both;
        }
    }
    EXPECT_GT(bandPixels, 1000);
    EXPECT_LE(bandWorst, 1);
    EXPECT_GT(plainPixels, 100000);
    EXPECT_EQ(plainWrong, 0);
    ASSERT_GT(steps, 100);
    EXPECT_LE(stepBlend, stepCut / 3) << "blended " << stepBlend / steps / 3 << " cut " << stepCut / steps / 3;
}

}  // namespace

namespace {

TEST_F(BlendRsTest, PairBlendingSelfTestHolds)
{
    EXPECT_EQ(TestCPairBlendRegions(), 1);
}

}  // namespace

namespace {

// With the debug display on, the overlap pair is written as debug window 1;
// with it off, nothing is written.
TEST_F(BlendRsTest, DebugWindowOfTheOverlapPairOnlyWhenAskedFor)
{
    Scene s;
    ImageFrame* a = AddView(s, 0, 0, 1.0f);
    ImageFrame* b = AddView(s, 30, 0, 0.8f);
    for (int on : {1, 0}) {
        testkit::TempDir dir;
        SetDebugDispFolder(dir.path().string().c_str());
        SetDebugDispFlag(on);
        CPairIntDiv div;
        INTEN_PAIRS pairs{nullptr, 0};
        EXPECT_TRUE(div.MainPairIntDiv(a->GetImage(), b->GetImage(), a->GetImgInfo()->GetParams(),
                                       b->GetImgInfo()->GetParams(), &pairs, nullptr));
        SetDebugDispFlag(0);
        FreeIntenPairs(&pairs);
        const auto window = dir.path() / (std::string(GetNameDebugWin1()) + ".ppm");
        EXPECT_EQ(std::filesystem::exists(window), on == 1) << window;
        if (on == 0) {
            EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        }
    }
}

}  // namespace

namespace {

// Unusable frames, placements or maps are refused before any pixel is read.
TEST_F(BlendRsTest, DrawingRefusesUnusableInput)
{
    Image* good = RenderView(Texture(), 64, 48, Placement(0, 0, 0, 60), 1.0f);
    auto* grey = new Image(64, 48, 1);
    auto* tiny = new Image(1, 1, 3);
    TRANSFORM_RS t = Placement(0, 0, 0, 60), noFocal = t;
    noFocal.rcpFocal = 0.0f;
    MapRef map(512), empty(512);
    POINT2 pts[3] = {{-10, -10}, {10, -10}, {0, 10}};
    gpc_vertex_list list{3, pts};
    gpc_polygon tri{1, &list};
    CBlendPolygons side{};
    side.InitAll();
    CBlendMap blend(&side, &t, &t);
    CMakeVantorRect draw;
    struct Case {
        const char* what;
        Image* img;
        TRANSFORM_RS* t;
        RectWorldMap* map;
    };
    for (Case c : {Case{"no image", nullptr, &t, map.map}, Case{"one channel", grey, &t, map.map},
                   Case{"1 x 1", tiny, &t, map.map}, Case{"no placement", good, nullptr, map.map},
                   Case{"no focal length", good, &noFocal, map.map}, Case{"no map", good, &t, nullptr}}) {
        EXPECT_FALSE(draw.MapImgRS(c.img, c.t, c.map)) << c.what;
        EXPECT_FALSE(draw.MapOnePolygon(c.img, c.t, c.map, &tri)) << c.what;
        EXPECT_FALSE(draw.BlendOnePolygon(c.img, c.t, c.map, &tri, &blend)) << c.what;
    }
    EXPECT_FALSE(draw.MapOnePolygon(good, &t, map.map, nullptr));
    EXPECT_FALSE(draw.BlendOnePolygon(good, &t, map.map, &tri, nullptr));
    EXPECT_TRUE(SameBytes(map.map, empty.map));
    // The same triangle drawn plainly does reach the map.
    EXPECT_TRUE(draw.MapOnePolygon(good, &t, map.map, &tri));
    EXPECT_FALSE(SameBytes(map.map, empty.map));
    ReleaseImage(good);
    ReleaseImage(grey);
    ReleaseImage(tiny);
}

}  // namespace
