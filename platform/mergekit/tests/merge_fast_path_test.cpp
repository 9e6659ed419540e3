// The threaded row-by-row merge against the plain plane-by-plane path it
// replaced: the same floats from the pyramid and the distances, the same
// bytes in the map after whole rings of frames.
#include "platform/mergekit/merge_vantor.h"
#include "platform/mergekit/merge_vantor_reference.h"

#include "platform/sceneio/kestova_file.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

using mergekit::Plane;

namespace {

bool SameBits(const Plane& a, const Plane& b)
{
    return a.width == b.width && a.height == b.height &&
           std::memcmp(a.v.data(), b.v.data(), a.v.size() * sizeof(float)) == 0;
}

Plane Random(int w, int h, std::mt19937& rng, float lo, float hi)
{
    std::uniform_real_distribution<float> u(lo, hi);
    Plane p(w, h);
    for (float& v : p.v) v = u(rng);
    return p;
}

TEST(MergeFastPath, PyramidGivesTheSameFloatsAsThePlainBlend)
{
    // Odd and even sizes, planes too small for every level asked for, and
    // a weight with hard steps as well as ramps.
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 5}, {4, 4}, {5, 3}, {37, 29}, {64, 3}, {130, 97}};
    std::mt19937 rng(7);
    for (const auto& s : sizes) {
        for (int levels : {1, 2, 3, 5}) {
            SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1] << ", levels " << levels);
            const Plane a = Random(s[0], s[1], rng, 0, 255), b = Random(s[0], s[1], rng, 0, 255);
            Plane w = Random(s[0], s[1], rng, 0, 1);
            for (size_t k = 0; k < w.v.size(); k += 3) w.v[k] = k % 2 ? 1.0f : 0.0f;
            EXPECT_TRUE(SameBits(mergekit::MultiBandBlend(a, b, w, levels),
                                 mergekit::MultiBandBlendReference(a, b, w, levels)));
        }
    }
}

TEST(MergeFastPath, DistancesAreTheSameAsThePlainPasses)
{
    std::mt19937 rng(5);
    const int sizes[][2] = {{1, 1}, {7, 1}, {1, 7}, {31, 17}, {96, 64}};
    for (const auto& s : sizes)
        for (int density : {10, 60, 95})
            for (bool outsideSet : {false, true}) {
                SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1] << ", " << density << " %, " << outsideSet);
                std::vector<uint8_t> mask(static_cast<size_t>(s[0]) * s[1]);
                std::uniform_int_distribution<int> u(0, 99);
                for (uint8_t& m : mask) m = u(rng) < density;
                EXPECT_TRUE(SameBits(mergekit::DistanceInside(mask, s[0], s[1], outsideSet),
                                     mergekit::DistanceInsideReference(mask, s[0], s[1], outsideSet)));
            }
}

constexpr int kSamples = 240;  // map samples around the equator

// Frame k of a ring of `frames`: rows [r0, r1] with ragged ends, columns
// around its pan, its own gain and pattern.
std::unique_ptr<KestovaFile> RingFrame(int k, int frames, int halfWidth, double gain)
{
    auto file = std::make_unique<KestovaFile>();
    file->SetNumChannel(3);
    file->SetEquatorSampleNum(kSamples);
    const int centre = k * kSamples / frames;
    for (int r = -22 + k % 3; r <= 20 - k % 2; ++r) {
        CBand* band = file->AddBand(r, kSamples);
        const int c0 = centre - halfWidth + (r * 7 + k) % 5, c1 = centre + halfWidth - (r * 3 + k) % 4;
        CSector* s = band->AddSector(c0, c1, 3);
        for (int c = c0; c <= c1; ++c) {
            const double v = gain * (110 + 60 * std::sin(c * 0.21 + k) * std::cos(r * 0.17) + 25 * std::sin(c * 1.3 + r));
            for (int ch = 0; ch < 3; ++ch)
                s->GetDataPtr()[(c - c0) * 3 + ch] = static_cast<uint8_t>(std::clamp(v + 9 * ch, 0.0, 255.0));
        }
    }
    return file;
}

TRANSFORM_RS RingPlacement(int k, int frames)
{
    TRANSFORM_RS t{};
    t.pan = static_cast<float>(std::remainder(2 * 3.14159265358979 * k / frames, 2 * 3.14159265358979));
    t.rcpFocal = 0.01f;
    return t;
}

// The map's stored block and its bookkeeping, byte for byte.
void ExpectSameMap(const WorldMap& got, const WorldMap& want)
{
    const RECT* g = got.GetMapRect();
    const RECT* w = want.GetMapRect();
    ASSERT_EQ(g->left, w->left);
    ASSERT_EQ(g->top, w->top);
    ASSERT_EQ(g->right, w->right);
    ASSERT_EQ(g->bottom, w->bottom);
    ASSERT_EQ(got.GetRowBytes(), want.GetRowBytes());
    const size_t bytes = static_cast<size_t>(g->bottom - g->top + 1) * got.GetRowBytes();
    EXPECT_EQ(std::memcmp(got.GetData(), want.GetData(), bytes), 0);
    int gx0, gy0, gx1, gy1, gw, gh, wx0, wy0, wx1, wy1, ww, wh;
    EXPECT_EQ(got.GetDataArea(gx0, gy0, gx1, gy1, gw, gh), want.GetDataArea(wx0, wy0, wx1, wy1, ww, wh));
    EXPECT_EQ(gx0, wx0);
    EXPECT_EQ(gx1, wx1);
    EXPECT_EQ(gy0, wy0);
    EXPECT_EQ(gy1, wy1);
}

TEST(MergeFastPath, RingsOfFramesGiveTheSameMapBytes)
{
    // Rings closing across +-180 degrees with every seam kind, narrow and
    // wide transitions, and frames wide enough that the tile is the whole
    // row; the last case leaves gaps between frames (no overlap).
    struct Case {
        int frames, halfWidth, bw, kind, levels, closingKind;
    };
    const Case cases[] = {{6, 30, 8, 0, 3, 0}, {6, 30, 3, 1, 2, 2}, {5, 36, 12, 2, 3, 1},
                          {4, 70, 20, 0, 1, 1}, {3, 100, 40, 1, 3, 0}, {8, 12, 4, 0, 3, 0}};
    const float pi = 3.14159265f;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, half width " << c.halfWidth << ", bw " << c.bw
                                        << ", kind " << c.kind << ", levels " << c.levels);
        REGION2 region{-0.7f, 0.7f, -pi, pi, 2 * pi, 1.4f};
        WorldMap fast(kSamples, &region, 0, 3), plain(kSamples, &region, 0, 3);
        std::vector<std::unique_ptr<KestovaFile>> scenes;
        for (int k = 0; k < c.frames; ++k) scenes.push_back(RingFrame(k, c.frames, c.halfWidth, 0.7 + 0.15 * k));
        fast.AddData(scenes[0].get(), -100000, 100000, false);
        plain.AddData(scenes[0].get(), -100000, 100000, false);
        for (int k = 1; k < c.frames; ++k) {
            SCOPED_TRACE(k);
            TRANSFORM_RS t1 = RingPlacement(k, c.frames), t2 = t1;
            const bool closing = k == c.frames - 1;
            ASSERT_TRUE(CMergeVantorWM::MergeVantorFile(scenes[k].get(), &fast, &t1, c.bw, c.kind, c.levels, closing,
                                                        c.closingKind));
            ASSERT_TRUE(mergekit::MergeVantorFileReference(scenes[k].get(), &plain, &t2, c.bw, c.kind, c.levels,
                                                           closing, c.closingKind));
            ExpectSameMap(fast, plain);
        }
    }
}

}  // namespace
