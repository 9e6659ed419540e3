// Blend map of a seam on a synthetic vertical division line x = 0 from
// (0, -60) to (0, 60) in the first image's centred frame: the line frame's
// perpendicular is (-1, 0), so "across" is -x and the first side's own side
// (no correction, full weight) is x < 0.

#include "adjust/blendkit/blend_map.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/xformkit/transform_wa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr float kWidth = 20.0f;

// Five samples at 20, 40, ... 100 along a 120-pixel line; differences per
// channel (plain mode): 40, -20 and along / 2.
struct LineFixture {
    ONE_DL_V_MAP samples[5]{};
    CDivLineData* data = new CDivLineData{};
    CBlendPolygons first{};
    CBlendPolygons second{};
    TRANSFORM_RS tA{};
    TRANSFORM_RS tB{};

    LineFixture()
    {
        SetDivLineBlendWidth(static_cast<int>(kWidth));
        first.InitAll();
        second.InitAll();
        data->samples = new ONE_DL_V_MAP[5];
        data->count = 5;
        data->start = {0.0f, -60.0f};
        data->end = {0.0f, 60.0f};
        for (int k = 0; k < 5; ++k) {
            ONE_DL_V_MAP& s = data->samples[k];
            s.x = 0;
            s.y = -60 + 20 * (k + 1);
            s.along = 20.0f * static_cast<float>(k + 1);
            s.dx = 0.5f;
            s.dy = 0.25f;
            for (int c = 0; c < 3; ++c) s.colorA[c] = 100.0f;
            s.colorB[0] = 140.0f;
            s.colorB[1] = 80.0f;
            s.colorB[2] = 100.0f + s.along / 2.0f;
        }
        first.lineData = data;
        first.drawPlain = 0;
        second.pairPrms.rcpF1 = second.pairPrms.rcpF2 = 1.0f / 600.0f;
    }
    ~LineFixture()
    {
        first.FreeAll();
        second.FreeAll();
        SetDivLineBlendWidth(20);
    }
};

// The rule as a reader of the seam would evaluate it by hand.
void Expected(float across, float along, float sideSign, int out[3], float* weight)
{
    const float w = std::clamp(0.5f - sideSign * across / kWidth, 0.0f, 1.0f);
    const float a = std::clamp(along, 20.0f, 100.0f);
    const float d[3] = {40.0f * sideSign, -20.0f * sideSign, a / 2.0f * sideSign};
    for (int c = 0; c < 3; ++c) out[c] = static_cast<int>(w * d[c] + 0.5f);
    *weight = 1.0f - w;
}

TEST(BlendMapTest, FirstSideTableAcrossTheBand)
{
    LineFixture f;
    CBlendMap map(&f.first, &f.tA, &f.tB);
    ASSERT_TRUE(map.HasLineData());
    EXPECT_EQ(map.GetIntenMode(), 0);
    struct Case {
        POINT2 p;
        int out[3];
        float weight;
    } cases[] = {
        {{0.0f, 0.0f}, {20, -9, 15}, 0.5f},     // on the line: half the difference
        {{-10.0f, 0.0f}, {0, 0, 0}, 1.0f},      // half the width on its own side
        {{10.0f, 0.0f}, {40, -19, 30}, 0.0f},   // half the width on the far side
        {{35.0f, 0.0f}, {40, -19, 30}, 0.0f},   // beyond the band: clamped
        {{-50.0f, 0.0f}, {0, 0, 0}, 1.0f},
        {{-5.0f, -20.0f}, {10, -4, 5}, 0.75f},  // a quarter in, along 40
        {{10.0f, 70.0f}, {40, -19, 50}, 0.0f},  // past the line's end: end value
        {{0.0f, -10.0f}, {20, -9, 13}, 0.5f},   // between nodes: along 50 -> 25 / 2
    };
    for (const Case& c : cases) {
        POINT2 p = c.p, shift{9.0f, 9.0f};
        int out[3] = {99, 99, 99};
        float weight = -1.0f;
        map.GetPtV_MarginRegion(p, &shift, out, &weight);
        SCOPED_TRACE(testing::Message() << "at " << c.p.x << ", " << c.p.y);
        EXPECT_EQ(out[0], c.out[0]);
        EXPECT_EQ(out[1], c.out[1]);
        EXPECT_EQ(out[2], c.out[2]);
        EXPECT_FLOAT_EQ(weight, c.weight);
        EXPECT_EQ(shift.x, 0.0f);
        EXPECT_EQ(shift.y, 0.0f);
        float shortWeight = -1.0f;
        map.GetPtV_MarginRegion(p, &shortWeight);
        EXPECT_FLOAT_EQ(shortWeight, c.weight);
    }
}

TEST(BlendMapTest, SecondSideIsTheMirrorAndCrossFadesWithTheFirst)
{
    LineFixture f;
    // A real pair rotation: the second image looks 0.08 rad aside and rolled.
    f.second.pairPrms.rcpF1 = 1.0f / 700.0f;
    f.second.pairPrms.rcpF2 = 1.0f / 650.0f;
    f.second.pairPrms.angA = 0.05f;
    f.second.pairPrms.angB = 0.08f;
    f.second.pairPrms.angC = -0.03f;
    CBlendMap mapA(&f.first, &f.tA, &f.tB);
    CBlendMap mapB(&f.first, &f.second, &f.tA, &f.tB);
    ASSERT_TRUE(mapB.HasLineData());
    float m12[9];
    ASSERT_TRUE(CTransformWA::PairAlignPrmsRR2toM(&f.second.pairPrms, nullptr, nullptr, m12));
    for (float x = -30.0f; x <= 30.0f; x += 2.5f) {
        for (float y = -50.0f; y <= 50.0f; y += 12.5f) {
            POINT2 p1{x, y}, p2{};
            ASSERT_TRUE(CTransformWA::TransformPtRR2(&p1, &p2, m12));
            POINT2 shift{};
            int outA[3], outB[3];
            float wA = 0.0f, wB = 0.0f;
            mapA.GetPtV_MarginRegion(p1, &shift, outA, &wA);
            mapB.GetPtV_MarginRegion(p2, &shift, outB, &wB);
            SCOPED_TRACE(testing::Message() << "at " << x << ", " << y);
            // Weights summing to 1 means the second side's point came back to
            // within 1e-3 px of the first side's point (1e-3 / 20 in weight).
            EXPECT_NEAR(wA + wB, 1.0f, 5e-5f);
            int expected[3];
            float weight;
            Expected(-x, y + 60.0f, -1.0f, expected, &weight);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(outB[c], expected[c], 1) << "channel " << c;
        }
    }
    // On the line both frames meet each other halfway.
    POINT2 onLine{0.0f, 0.0f}, p2{};
    ASSERT_TRUE(CTransformWA::TransformPtRR2(&onLine, &p2, m12));
    int out[3];
    float w = 0.0f;
    POINT2 shift{};
    mapB.GetPtV_MarginRegion(p2, &shift, out, &w);
    EXPECT_NEAR(w, 0.5f, 5e-5f);
    EXPECT_EQ(out[0], -19);  // trunc(-20 + 0.5)
    EXPECT_EQ(out[1], 10);
}

TEST(BlendMapTest, IntensityModesFollowTheFrameRecords)
{
    LineFixture f;
    struct Case {
        const char* name;
        float gainA, gainB;
        bool tables;
        int mode;
        float p[3], q[3];
        float diff[3];
    } cases[] = {
        {"plain", 0.0f, 0.0f, false, 0, {10, 20, 30}, {15, 5, 30}, {5, -15, 0}},
        {"gain and offset", 1.0f, 0.8f, false, 1, {100, 50, 0}, {100, 200, 10}, {-10, 120, 18}},
        // Colours 0 and 255 hit the table ends; -1 and 300 stay inside them.
        {"tables", 0.0f, 0.0f, true, 2, {0, 255, -1}, {255, 0, 300}, {0, 118, -20}},
    };
    std::vector<unsigned char> tableA(768), tableB(768);
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 3; ++c) {
            tableA[3 * i + c] = static_cast<unsigned char>(std::min(255, i / 2 + 10 * c));
            tableB[3 * i + c] = static_cast<unsigned char>(255 - i);
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRANSFORM_RS tA{}, tB{};
        for (int k = 0; k < 3; ++k) {
            tA.colorFirst[k] = c.gainA;
            tB.colorFirst[k] = c.gainB;
            tB.colorSecond[k] = c.gainB > 0.0f ? 10.0f : 0.0f;
        }
        if (c.tables) {
            tA.colorTable = tableA.data();
            tB.colorTable = tableB.data();
        }
        CBlendMap map(&f.first, &tA, &tB);
        EXPECT_EQ(map.GetIntenMode(), c.mode);
        float d[3];
        map.GlobalMapOnePtIntenDiff(c.p, c.q, d);
        for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(d[k], c.diff[k]) << "channel " << k;
    }
}

TEST(BlendMapTest, FailedSamplesNeverBecomeNodes)
{
    LineFixture f;
    // Sample 1 failed its colour box, sample 3 its match (with a difference
    // that would show); the nodes there come from their neighbours.
    for (float& v : f.data->samples[1].colorA) v = -1.0f;
    for (float& v : f.data->samples[1].colorB) v = -1.0f;
    f.data->samples[3].dx = f.data->samples[3].dy = -1.0f;
    f.data->samples[3].colorB[0] = 250.0f;
    std::vector<unsigned char> table(768);
    for (int i = 0; i < 768; ++i) table[i] = static_cast<unsigned char>(i / 3);
    f.tA.colorTable = table.data();
    f.tB.colorTable = table.data();
    CBlendMap map(&f.first, &f.tA, &f.tB);
    ASSERT_TRUE(map.HasLineData());
    for (float along : {40.0f, 80.0f}) {
        POINT2 p{10.0f, along - 60.0f}, shift{};
        int out[3];
        float w;
        map.GetPtV_MarginRegion(p, &shift, out, &w);
        EXPECT_EQ(out[0], 40) << along;
        EXPECT_EQ(out[2], static_cast<int>(along / 2.0f + 0.5f)) << along;
    }

    // Nothing valid: no correction anywhere, the weights still fall across the band.
    for (int k = 0; k < 5; ++k) f.data->samples[k].dx = f.data->samples[k].dy = -1.0f;
    CBlendMap empty(&f.first, &f.tA, &f.tB);
    EXPECT_FALSE(empty.HasLineData());
    POINT2 p{10.0f, 0.0f}, shift{};
    int out[3] = {7, 7, 7};
    float w = -1.0f;
    empty.GetPtV_MarginRegion(p, &shift, out, &w);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
    EXPECT_FLOAT_EQ(w, 0.0f);
}

TEST(BlendMapTest, LineWithoutSamplesGivesWeightsOnly)
{
    LineFixture f;
    delete[] f.data->samples;
    f.data->samples = nullptr;
    f.data->count = 0;
    CBlendMap map(&f.first, &f.tA, &f.tB);
    EXPECT_FALSE(map.HasLineData());
    POINT2 p{-5.0f, 0.0f};
    float w = 0.0f;
    map.GetPtV_MarginRegion(p, &w);
    EXPECT_FLOAT_EQ(w, 0.75f);
    // No line data at all: a defined map that applies nothing.
    CBlendPolygons bare{};
    bare.InitAll();
    CBlendMap none(&bare, &f.tA, &f.tB);
    POINT2 shift{};
    int out[3] = {5, 5, 5};
    none.GetPtV_MarginRegion(p, &shift, out, &w);
    EXPECT_EQ(out[0], 0);
    EXPECT_TRUE(std::isfinite(w));
}

TEST(BlendMapTest, SpanFormMatchesThePerPixelForm)
{
    LineFixture f;
    // A slanted line so that both frame coordinates change along a row.
    f.data->start = {-40.0f, -60.0f};
    f.data->end = {30.0f, 60.0f};
    for (int side = 0; side < 2; ++side) {
        f.second.pairPrms.angB = 0.05f;
        CBlendMap map = side == 1 ? CBlendMap(&f.first, &f.tA, &f.tB) : CBlendMap(&f.first, &f.second, &f.tA, &f.tB);
        for (float y : {-55.0f, -3.5f, 41.0f}) {
            const int n = 120;
            std::vector<int> out(3 * n);
            std::vector<float> w(n);
            const POINT2 start{-60.0f, y};
            map.GetSpan_MarginRegion(start, n, out.data(), w.data());
            for (int i = 0; i < n; ++i) {
                POINT2 p{start.x + static_cast<float>(i), y}, shift{};
                int o[3];
                float wi;
                map.GetPtV_MarginRegion(p, &shift, o, &wi);
                ASSERT_NEAR(w[i], wi, 1e-5f) << "side " << side << " pixel " << i;
                for (int c = 0; c < 3; ++c) ASSERT_NEAR(out[3 * i + c], o[c], 1) << "side " << side << " pixel " << i;
            }
        }
    }
}

}  // namespace
