// The merging module's own blend, crop and fill against slow references
// written here: a whole-picture Laplacian-pyramid blend, an exhaustive
// rectangle search, and a direct nearest-sample fill.
#include "platform/mergekit/crop_region.h"
#include "platform/mergekit/fill_bg.h"
#include "platform/mergekit/merge_vantor.h"

#include "imaging/image.h"
#include "platform/sceneio/kestova_file.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using mergekit::Plane;

namespace {

constexpr int kW = 256;  // map samples around the equator

// A one-band-per-row scene covering rows [r0, r1] and scene columns [c0, c1]
// with value(col, row) * gain in every channel.
std::unique_ptr<KestovaFile> Scene(int r0, int r1, int c0, int c1, double gain)
{
    auto file = std::make_unique<KestovaFile>();
    file->SetNumChannel(3);
    file->SetEquatorSampleNum(kW);
    for (int r = r0; r <= r1; ++r) {
        CBand* band = file->AddBand(r, kW);
        CSector* s = band->AddSector(c0, c1, 3);
        for (int c = c0; c <= c1; ++c) {
            const double v = gain * (120 + 50 * std::sin(c * 0.3) * std::cos(r * 0.2) + 20 * std::sin(c * 1.7 + r));
            for (int k = 0; k < 3; ++k) s->GetDataPtr()[(c - c0) * 3 + k] = static_cast<uint8_t>(std::clamp(v + 4 * k, 1.0, 255.0));
        }
    }
    return file;
}

// The map's samples as planes over its stored block (first channel mask).
std::vector<Plane> Read(const WorldMap& map, std::vector<uint8_t>* mask = nullptr)
{
    const RECT* b = map.GetMapRect();
    const int w = b->right - b->left + 1, h = b->bottom - b->top + 1;
    std::vector<Plane> out(3, Plane(w, h));
    if (mask) mask->assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = map.GetData() + static_cast<size_t>(y) * map.GetRowBytes() + 3 * x;
            for (int c = 0; c < 3; ++c) out[c].at(x, y) = p[c];
            if (mask) (*mask)[static_cast<size_t>(y) * w + x] = p[0] != 0;
        }
    return out;
}

// Slow pyramid blend, written out without the module's helpers: Gaussian
// levels by an explicit 5 x 5 binomial kernel, expansion by zero insertion
// and the same kernel times four.
Plane ReferenceBlend(const Plane& a, const Plane& b, const Plane& w, int levels)
{
    const double k1[5] = {1, 4, 6, 4, 1};
    auto reduce = [&](const Plane& p) {
        Plane out((p.width + 1) / 2, (p.height + 1) / 2);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x) {
                double s = 0;
                for (int j = -2; j <= 2; ++j)
                    for (int i = -2; i <= 2; ++i)
                        s += k1[i + 2] * k1[j + 2] *
                             p.at(std::clamp(2 * x + i, 0, p.width - 1), std::clamp(2 * y + j, 0, p.height - 1));
                out.at(x, y) = static_cast<float>(s / 256);
            }
        return out;
    };
    auto expand = [&](const Plane& p, int width, int height) {
        Plane out(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                double s = 0, ws = 0;
                for (int j = -2; j <= 2; ++j)
                    for (int i = -2; i <= 2; ++i) {
                        if ((x + i) % 2 != 0 || (y + j) % 2 != 0) continue;
                        const double k = k1[i + 2] * k1[j + 2];
                        s += k * p.at(std::clamp((x + i) / 2, 0, p.width - 1), std::clamp((y + j) / 2, 0, p.height - 1));
                        ws += k;
                    }
                out.at(x, y) = static_cast<float>(s / ws);
            }
        return out;
    };
    std::vector<Plane> ga{a}, gb{b}, gw{w};
    for (int l = 1; l < levels; ++l) {
        ga.push_back(reduce(ga.back()));
        gb.push_back(reduce(gb.back()));
        gw.push_back(reduce(gw.back()));
    }
    const int top = levels - 1;
    Plane out(ga[top].width, ga[top].height);
    for (size_t i = 0; i < out.v.size(); ++i) out.v[i] = gw[top].v[i] * gb[top].v[i] + (1 - gw[top].v[i]) * ga[top].v[i];
    for (int l = top - 1; l >= 0; --l) {
        Plane up = expand(out, ga[l].width, ga[l].height);
        const Plane ea = expand(ga[l + 1], ga[l].width, ga[l].height), eb = expand(gb[l + 1], ga[l].width, ga[l].height);
        for (size_t i = 0; i < up.v.size(); ++i)
            up.v[i] += gw[l].v[i] * (gb[l].v[i] - eb.v[i]) + (1 - gw[l].v[i]) * (ga[l].v[i] - ea.v[i]);
        out = up;
    }
    return out;
}

}  // namespace

TEST(MergeVantor, PyramidBlendAgreesWithTheWholePictureReference)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0, 255);
    for (int levels = 1; levels <= 3; ++levels) {
        SCOPED_TRACE(levels);
        Plane a(37, 29), b(37, 29), w(37, 29);
        for (size_t i = 0; i < a.v.size(); ++i) {
            a.v[i] = u(rng);
            b.v[i] = u(rng);
            w.v[i] = std::clamp((static_cast<int>(i % 37) - 14) / 8.0f, 0.0f, 1.0f);
        }
        const Plane got = mergekit::MultiBandBlend(a, b, w, levels);
        const Plane want = ReferenceBlend(a, b, w, levels);
        float worst = 0;
        for (size_t i = 0; i < got.v.size(); ++i) worst = std::max(worst, std::abs(got.v[i] - want.v[i]));
        EXPECT_LT(worst, 0.01f);
    }
}

TEST(MergeVantor, SeamByKindAndNoStepLargerThanTheReferences)
{
    // Two frames of the same scene with gains 0.7 and 1.3 overlapping by
    // 40 columns.
    struct Case {
        int kind;
        int levels;
    };
    const Case cases[] = {{0, 1}, {1, 1}, {2, 1}, {0, 3}, {1, 3}, {2, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", levels " << c.levels);
        REGION2 region{-0.6f, 0.6f, -1.2f, 1.2f, 2.4f, 1.2f};
        WorldMap map(kW, &region, 0, 3);
        // The first frame covers scene columns -40..10, the second -30..40:
        // their overlap is -30..10, its middle line at -10.
        auto first = Scene(-10, 10, -40, 10, 0.7);
        auto second = Scene(-10, 10, -30, 40, 1.3);
        map.AddData(first.get(), -100000, 100000, false);
        TRANSFORM_RS t{};
        t.pan = static_cast<float>(5 * 2 * 3.14159265358979 / kW);
        t.rcpFocal = 0.01f;
        ASSERT_TRUE(CMergeVantorWM::MergeVantorFile(second.get(), &map, &t, 8, c.kind, c.levels, false, 0));
        std::vector<uint8_t> mask;
        const std::vector<Plane> got = Read(map, &mask);
        // Scene column c sits at row index c + W/2 of the equator's row.
        const int row = map.GetHeight() / 2 - map.GetMapRect()->top;
        const int first0 = map.GetScanLine(row + map.GetMapRect()->top)->m_first;
        auto blockX = [&](int col) { return col + kW / 2 - first0; };
        auto base = [&](int col) { return 120 + 50 * std::sin(col * 0.3) + 20 * std::sin(col * 1.7); };
        auto gainAt = [&](int col) { return got[0].at(blockX(col), row) / base(col); };
        // Outside the overlap each frame alone, untouched.
        EXPECT_NEAR(gainAt(-38), 0.7, 0.02);
        EXPECT_NEAR(gainAt(38), 1.3, 0.02);
        for (int col = -40; col <= 40; ++col) EXPECT_TRUE(mask[static_cast<size_t>(row) * got[0].width + blockX(col)]) << col;
        // Pasting the second frame over the first jumps by the whole gain
        // step (0.6) at its edge; the blend spreads it over the band.
        double worst = 0;
        for (int col = -39; col <= 40; ++col) worst = std::max(worst, std::abs(gainAt(col) - gainAt(col - 1)));
        EXPECT_LT(worst, 0.6 / 3);
        if (c.levels > 1) continue;
        // One band: the seam where the kind puts it, bw wide.
        if (c.kind == 0) {
            EXPECT_NEAR(gainAt(-16), 0.7, 0.03);
            EXPECT_NEAR(gainAt(-4), 1.3, 0.03);
        } else if (c.kind == 1) {
            EXPECT_NEAR(gainAt(-20), 1.3, 0.03);  // the new frame over the overlap
            EXPECT_NEAR(gainAt(-34), 0.7, 0.03);
        } else {
            EXPECT_NEAR(gainAt(0), 0.7, 0.03);  // the old data over the overlap
            EXPECT_NEAR(gainAt(14), 1.3, 0.03);
        }
    }
}

TEST(MergeVantor, RefusesForeignScenes)
{
    WorldMap map(kW, nullptr, 0, 3);
    auto other = std::make_unique<KestovaFile>();
    other->SetNumChannel(3);
    other->SetEquatorSampleNum(kW * 2);
    other->AddBand(0, kW * 2)->AddSector(0, 3, 3);
    TRANSFORM_RS t{};
    EXPECT_FALSE(CMergeVantorWM::MergeVantorFile(other.get(), &map, &t, 4, 0, 1, false, 0));
    EXPECT_FALSE(CMergeVantorWM::MergeVantorFile(nullptr, &map, &t, 4, 0, 1, false, 0));
    EXPECT_FALSE(CMergeVantorWM::MergeVantorFile(other.get(), nullptr, &t, 4, 0, 1, false, 0));
}

TEST(CropRegion, LargestCleanRectangleAgreesWithExhaustiveSearch)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        constexpr int w = 64, h = 32;
        // A blob of data with ragged borders and a few holes.
        std::vector<uint8_t> mask(w * h, 0);
        std::uniform_int_distribution<int> edge(0, 10), hole(0, 99);
        const int x0 = edge(rng), x1 = w - 1 - edge(rng), y0 = edge(rng) / 2, y1 = h - 1 - edge(rng) / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int wobble = (x * 7 + y * 3 + trial) % 5;
                const bool in = x >= x0 + wobble && x <= x1 - wobble && y >= y0 + wobble / 2 && y <= y1 - wobble / 2;
                mask[y * w + x] = in && hole(rng) > 2;
            }
        const int step = trial % 2 ? 4 : 3, perMille = trial % 3 == 0 ? 0 : 30;
        RECT got{};
        const bool found = LargestCleanRect(mask, w, h, perMille, step, &got);
        // Every rectangle on the grid, checked edge by edge.
        auto emptyIn = [&](int xa, int ya, int xb, int yb) {
            int n = 0;
            for (int y = ya; y <= yb; ++y)
                for (int x = xa; x <= xb; ++x) n += mask[y * w + x] == 0;
            return n;
        };
        auto clean = [&](int e, int len) { return e * 1000 <= perMille * len; };
        long best = 0;
        for (int l = 0; l < w; l += step)
            for (int r = w - 1; r >= l; r -= step)
                for (int t = 0; t < h; t += step)
                    for (int b = h - 1; b >= t; b -= step) {
                        const int rw = r - l + 1, rh = b - t + 1;
                        if (clean(emptyIn(l, t, r, t), rw) && clean(emptyIn(l, b, r, b), rw) &&
                            clean(emptyIn(l, t, l, b), rh) && clean(emptyIn(r, t, r, b), rh))
                            best = std::max(best, static_cast<long>(rw) * rh);
                    }
        ASSERT_EQ(found, best > 0);
        if (!found) continue;
        const int rw = got.right - got.left + 1, rh = got.bottom - got.top + 1;
        EXPECT_EQ(static_cast<long>(rw) * rh, best);
        EXPECT_TRUE(clean(emptyIn(got.left, got.top, got.right, got.top), rw));
        EXPECT_TRUE(clean(emptyIn(got.left, got.bottom, got.right, got.bottom), rw));
        EXPECT_TRUE(clean(emptyIn(got.left, got.top, got.left, got.bottom), rh));
        EXPECT_TRUE(clean(emptyIn(got.right, got.top, got.right, got.bottom), rh));
        EXPECT_EQ(got.left % step, 0);
        EXPECT_EQ(got.top % step, 0);
        EXPECT_EQ((w - 1 - got.right) % step, 0);
        EXPECT_EQ((h - 1 - got.bottom) % step, 0);
    }
}

TEST(FillBackground, EmptySamplesTakeTheNearestAlongTheRow)
{
    // Row 0: data at 2 and 6; row 1 empty; row 2: data at 0 only.
    Image* img = new Image(8, 3, 1);
    std::fill_n(img->GetData(), img->GetDataSize(), uint8_t{0});
    auto at = [&](int x, int y) -> uint8_t& { return img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + x]; };
    at(2, 0) = 10;
    at(6, 0) = 60;
    at(0, 2) = 5;
    ASSERT_TRUE(FillImageBg(img, nullptr));
    const uint8_t row0[8] = {10, 10, 10, 10, 10, 60, 60, 60};  // 4 is a tie: the left one
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(at(x, 0), row0[x]) << x;
        EXPECT_EQ(at(x, 1), row0[x]) << x;  // the nearest row with data, above on a tie
        EXPECT_EQ(at(x, 2), 5) << x;
    }
    EXPECT_FALSE(FillImageBg(nullptr, nullptr));
    ReleaseImage(img);
}
