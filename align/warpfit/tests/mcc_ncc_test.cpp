// The correlation kernels against a brute-force NCC computed here from the
// bytes with the textbook mean-subtracted formula.
#include "align/warpfit/mcc_ncc.h"
#include "imaging/image.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace warpfit;

namespace {

struct Held {
    Image* img;
    explicit Held(Image* i) : img(i) {}  // adopts the creator's reference
    ~Held() { ReleaseImage(img); }
};

// sum (a - mean a)(b - mean b) / sqrt(sum (a - mean a)^2 sum (b - mean b)^2)
// over the w x h blocks at (ax, ay) of a and (bx, by) of b, all channels.
double ReferenceNcc(const Image& a, int ax, int ay, const Image& b, int bx, int by, int w, int h)
{
    const int c = a.GetChannels();
    auto at = [c](const Image& img, int x, int y, int k) {
        return double(img.GetData()[static_cast<size_t>(y) * img.GetRowByte() + static_cast<size_t>(x) * c + k]);
    };
    double ma = 0, mb = 0;
    const double n = double(w) * h * c;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < c; ++k) {
                ma += at(a, ax + x, ay + y, k);
                mb += at(b, bx + x, by + y, k);
            }
    ma /= n;
    mb /= n;
    double sab = 0, saa = 0, sbb = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < c; ++k) {
                const double da = at(a, ax + x, ay + y, k) - ma, db = at(b, bx + x, by + y, k) - mb;
                sab += da * db;
                saa += da * da;
                sbb += db * db;
            }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

std::vector<NccKernel> Kernels()
{
    std::vector<NccKernel> k = {NccKernel::Scalar};
    if (NccKernelAvailable(NccKernel::Sse2)) k.push_back(NccKernel::Sse2);
    if (NccKernelAvailable(NccKernel::Avx2)) k.push_back(NccKernel::Avx2);
    return k;
}

TEST(MccNcc, WindowsMatchTheTextbookFormulaOnEveryKernel)
{
    for (int channels : {1, 3}) {
        Held a(testkit::MakePatternImage(90, 70, channels, 0, 11));
        // b: a shifted copy of a, with noise elsewhere, so that the window
        // holds one perfect match and ordinary values around it.
        Held b(testkit::MakePatternImage(80, 64, channels, 0, 12));
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 75; ++x)
                for (int k = 0; k < channels; ++k)
                    b.img->GetData()[static_cast<size_t>(y) * b.img->GetRowByte() + x * channels + k] =
                        a.img->GetData()[static_cast<size_t>(y + 5) * a.img->GetRowByte() + (x + 7) * channels + k];
        NccSearchImage search;
        ASSERT_TRUE(search.Init(b.img));
        struct Case {
            int tx, ty, tw, th, bx, by, rx, ry;
        };
        // Interior, touching the right and bottom edges (kernels read the
        // padding there), and windows that reach outside the image.
        const Case cases[] = {{20, 15, 31, 31, 13, 10, 8, 8}, {40, 30, 17, 9, 49, 55, 3, 4},
                              {10, 10, 31, 31, 0, 0, 8, 8}, {50, 35, 31, 31, 45, 30, 8, 8}};
        for (const Case& c : cases) {
            NccTemplate t;
            ASSERT_TRUE(t.Init(a.img, c.tx, c.ty, c.tw, c.th));
            const int mw = 2 * c.rx + 1, mh = 2 * c.ry + 1;
            std::vector<double> ref(mw * mh);
            std::vector<unsigned char> refOk(mw * mh);
            for (int dy = -c.ry; dy <= c.ry; ++dy)
                for (int dx = -c.rx; dx <= c.rx; ++dx) {
                    const int x = c.bx + dx, y = c.by + dy, k = (dy + c.ry) * mw + dx + c.rx;
                    refOk[k] = x >= 0 && y >= 0 && x + c.tw <= 80 && y + c.th <= 64;
                    ref[k] = refOk[k] ? ReferenceNcc(*a.img, c.tx, c.ty, *b.img, x, y, c.tw, c.th) : 0.0;
                }
            std::vector<double> first;
            for (NccKernel kernel : Kernels()) {
                std::vector<double> map(mw * mh, -5);
                std::vector<unsigned char> ok(mw * mh, 9);
                NccWindow(kernel, t, search, c.bx, c.by, c.rx, c.ry, map.data(), ok.data());
                for (int k = 0; k < mw * mh; ++k) {
                    ASSERT_EQ(ok[k], refOk[k]) << "shift " << k;
                    EXPECT_NEAR(map[k], ref[k], 1e-12) << "kernel " << int(kernel) << " shift " << k;
                    EXPECT_TRUE(std::isfinite(map[k]));
                }
                // Integer sums: every kernel gives the same bits.
                if (first.empty()) {
                    first = map;
                } else {
                    EXPECT_EQ(map, first);
                }
            }
        }
    }
}

TEST(MccNcc, PerfectMatchScoresOne)
{
    Held a(testkit::MakePatternImage(64, 64, 3, 0, 5));
    NccSearchImage search;
    ASSERT_TRUE(search.Init(a.img));
    NccTemplate t;
    ASSERT_TRUE(t.Init(a.img, 20, 22, 31, 31));
    std::vector<double> map(17 * 17);
    std::vector<unsigned char> ok(17 * 17);
    NccWindow(BestNccKernel(), t, search, 20, 22, 8, 8, map.data(), ok.data());
    EXPECT_NEAR(map[8 * 17 + 8], 1.0, 1e-12);
    for (int k = 0; k < 17 * 17; ++k) {
        if (k == 8 * 17 + 8) continue;
        EXPECT_LT(map[k], 0.5);
    }
}

TEST(MccNcc, FlatBlocksGiveZeroNotNaN)
{
    auto* flat = new Image(40, 40, 3);
    Held f(flat);
    std::fill(flat->GetData(), flat->GetData() + flat->GetDataSize(), 128);
    Held tex(testkit::MakePatternImage(40, 40, 3, 0, 9));
    NccSearchImage sFlat, sTex;
    ASSERT_TRUE(sFlat.Init(flat));
    ASSERT_TRUE(sTex.Init(tex.img));
    NccTemplate tFlat, tTex;
    ASSERT_TRUE(tFlat.Init(flat, 4, 4, 31, 31));
    ASSERT_TRUE(tTex.Init(tex.img, 4, 4, 31, 31));
    std::vector<double> map(9);
    std::vector<unsigned char> ok(9);
    for (NccKernel k : Kernels()) {
        NccWindow(k, tTex, sFlat, 4, 4, 1, 1, map.data(), ok.data());
        for (double v : map) EXPECT_EQ(v, 0.0);
        NccWindow(k, tFlat, sTex, 4, 4, 1, 1, map.data(), ok.data());
        for (double v : map) EXPECT_EQ(v, 0.0);
    }
    EXPECT_EQ(NccFromSums(0, 0, 0, 0, 0, 0), 0.0);
}

TEST(MccNcc, LargeBrightTemplatesDoNotOverflow)
{
    // 200 x 200 x 3 samples of 255: the product sum is 7.8e9, past 32 bits.
    auto* white = new Image(210, 210, 3);
    Held w(white);
    std::fill(white->GetData(), white->GetData() + white->GetDataSize(), 255);
    NccSearchImage s;
    ASSERT_TRUE(s.Init(white));
    NccTemplate t;
    ASSERT_TRUE(t.Init(white, 0, 0, 200, 200));
    const int64_t want = int64_t{200} * 200 * 3 * 255 * 255;
    for (NccKernel k : Kernels()) EXPECT_EQ(BlockDot(k, t, s.Pixel(5, 5), s.Stride()), want) << int(k);
    EXPECT_EQ(s.Sum(5, 5, 200, 200), int64_t{200} * 200 * 3 * 255);
    EXPECT_EQ(s.SumSq(5, 5, 200, 200), want);
}

TEST(MccNcc, RefusesUnusableImages)
{
    NccSearchImage s;
    EXPECT_FALSE(s.Init(nullptr));
    auto* two = new Image(10, 10, 2);
    Held h(two);
    EXPECT_FALSE(s.Init(two));
    NccTemplate t;
    Held a(testkit::MakePatternImage(20, 20, 1, 0, 3));
    EXPECT_FALSE(t.Init(a.img, 5, 5, 16, 16));  // leaves the image
    EXPECT_FALSE(t.Init(a.img, -1, 0, 4, 4));
    EXPECT_TRUE(t.Init(a.img, 4, 4, 16, 16));
}

}  // namespace
