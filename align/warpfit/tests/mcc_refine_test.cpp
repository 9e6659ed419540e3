// CMCCRefine's grid pass, peak picking and failure paths on constructed
// overlays whose true shifts are known.
#include "align/warpfit/mcc_refine.h"
#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "core/win_types.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Held {
    Image* img;
    explicit Held(Image* i) : img(i) {}  // adopts the creator's reference
    ~Held() { ReleaseImage(img); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
};

// A smooth texture without repeats inside a search window, per channel.
double Texture(double x, double y, int k)
{
    return 128 + 40 * std::sin(0.31 * x + 0.17 * y + k) + 35 * std::sin(-0.23 * x + 0.29 * y + 1 + 2 * k) +
           25 * std::sin(0.071 * x - 0.053 * y + 0.5 * k) + 15 * std::cos(0.013 * x * y / 10 + 0.4 * y);
}

Image* MakeImage(int w, int h, int c, const std::function<double(int, int, int)>& f)
{
    auto* img = new Image(w, h, c);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < c; ++k) {
                const long v = std::lround(f(x, y, k));
                img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + x * c + k] =
                    static_cast<unsigned char>(std::clamp(v, 1L, 255L));
            }
    return img;
}

// Overlay 2 at (offX, offY) in overlay 1's pixels, its content moved so that
// the best match of every template lies (sx, sy) from the nominal position.
struct ShiftedPair {
    Held a, b;
    ShiftedPair(int w, int h, int c, int offX, int offY, double sx, double sy)
        : a(MakeImage(w, h, c, [](int x, int y, int k) { return Texture(x, y, k); })),
          b(MakeImage(w, h, c, [=](int u, int v, int k) { return Texture(u + offX - sx, v + offY - sy, k); }))
    {
    }
};

Image* Constant(int w, int h, int c, int value)
{
    return MakeImage(w, h, c, [value](int, int, int) { return double(value); });
}

TEST(CMCCRefine, TemplateCountNeverCountsANegativeSpan)
{
    // Templates need 2 * 8 + 31 = 47 pixels of overlap per direction, then
    // one more per 20.
    struct Case {
        int width, columns;
    };
    const Case cases[] = {{30, 0}, {46, 0}, {47, 1}, {66, 1}, {67, 2}, {107, 4}};
    for (const Case& c : cases) {
        Held a(Constant(c.width, 60, 1, 50)), b(Constant(c.width, 60, 1, 50));
        CMCCRefine r(a.img, b.img);
        EXPECT_EQ(r.MakePeakGrid(a.img, b.img, 0, 0), c.columns) << "width " << c.width;
    }
    // The same with the narrow side across an offset: 60 - 20 = 40 < 47.
    Held a(Constant(120, 120, 3, 80)), b(Constant(120, 120, 3, 80));
    CMCCRefine r(a.img, b.img);
    EXPECT_EQ(r.MakePeakGrid(a.img, b.img, 80, 0), 0);
    EXPECT_EQ(r.MakePeakGrid(a.img, b.img, 73, 0), 4);  // 47 x 120: 1 column, 4 rows
}

TEST(CMCCRefine, CoverageBelowEightyPerCentIsSkipped)
{
    // One template (47 x 47 overlays): 961 pixels, 769 covered is 80 %, 768
    // is 79 %. Holes in overlay 2 inside the template's area uncover pixels.
    for (int holes : {192, 193}) {
        ShiftedPair p(47, 47, 3, 0, 0, 0, 0);
        int made = 0;
        for (int y = 8; y < 39 && made < holes; ++y)
            for (int x = 8; x < 39 && made < holes; ++x, ++made)
                p.b.img->GetData()[static_cast<size_t>(y) * p.b.img->GetRowByte() + x * 3] = 0;
        CMCCRefine r(p.a.img, p.b.img);
        EXPECT_EQ(r.MakePeakGrid(p.a.img, p.b.img, 0, 0), holes == 192 ? 1 : 0) << holes << " holes";
    }
    // A hole in overlay 1 counts the same.
    ShiftedPair p(47, 47, 1, 0, 0, 0, 0);
    std::memset(p.a.img->GetData() + 8 * p.a.img->GetRowByte(), 0, 7 * p.a.img->GetRowByte());
    CMCCRefine r(p.a.img, p.b.img);
    EXPECT_EQ(r.MakePeakGrid(p.a.img, p.b.img, 0, 0), 0);  // 7 of 31 rows: 77 %
}

TEST(CMCCRefine, GridFindsTheShiftOfEveryTemplate)
{
    struct Case {
        int channels, offX, offY;
        double sx, sy, tolerance;
    };
    const Case cases[] = {
        {3, 20, 10, 3, -2, 0.03},       // whole pixels: the parabola through an
        {1, -15, 25, -6, 5, 0.03},      // uneven peak moves it a little
        {3, 20, 10, 1.4, -0.6, 0.2},    // sub-pixel: the parabola's bias
        {3, 0, 0, -0.3, 0.45, 0.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.sx << "," << c.sy);
        ShiftedPair p(140, 120, c.channels, c.offX, c.offY, c.sx, c.sy);
        CMCCRefine r(p.a.img, p.b.img);
        const int passed = r.MakePeakGrid(p.a.img, p.b.img, c.offX, c.offY);
        ASSERT_GT(passed, 4);
        ASSERT_EQ(r.GetNumPeaks(), passed);
        for (int i = 0; i < r.GetNumPeaks(); ++i) {
            const MCC_PEAK& pk = r.GetPeaks()[i];
            const float* f = &pk.centreX;
            for (int k = 0; k < 9; ++k) EXPECT_TRUE(std::isfinite(f[k]));
            EXPECT_NEAR(pk.shiftX, c.sx, c.tolerance);
            EXPECT_NEAR(pk.shiftY, c.sy, c.tolerance);
            EXPECT_GT(pk.value, 0.95f);
            EXPECT_GE(pk.width2X, pk.width1X);
            EXPECT_GE(pk.width2Y, pk.width1Y);
        }
    }
}

TEST(CMCCRefine, EveryKernelGivesTheSamePeaks)
{
    ShiftedPair p(150, 130, 3, 12, -9, 2.3, 1.1);
    CMCCRefine scalar(p.a.img, p.b.img), best(p.a.img, p.b.img);
    scalar.SetKernel(warpfit::NccKernel::Scalar);
    ASSERT_EQ(scalar.MakePeakGrid(p.a.img, p.b.img, 12, -9), best.MakePeakGrid(p.a.img, p.b.img, 12, -9));
    ASSERT_EQ(scalar.GetNumPeaks(), best.GetNumPeaks());
    EXPECT_EQ(std::memcmp(scalar.GetPeaks(), best.GetPeaks(), sizeof(MCC_PEAK) * scalar.GetNumPeaks()), 0);
}

TEST(CMCCRefine, FlatOverlaysGiveNoPeaksAndNoNaN)
{
    // Overlay 2 without texture: every correlation is 0 (zero variance), so
    // no template has a peak to keep.
    Held a(MakeImage(100, 100, 3, [](int x, int y, int k) { return Texture(x, y, k); }));
    Held b(Constant(100, 100, 3, 90));
    CMCCRefine r(a.img, b.img);
    EXPECT_EQ(r.MakePeakGrid(a.img, b.img, 0, 0), 9);
    EXPECT_EQ(r.GetNumPeaks(), 0);
    EXPECT_EQ(r.PickPeakPts(), 0);
    // And the other way round: a flat overlay 1.
    EXPECT_EQ(r.MakePeakGrid(b.img, a.img, 0, 0), 9);
    EXPECT_EQ(r.GetNumPeaks(), 0);
}

MCC_PEAK Peak(float width, float value, float sx, float sy)
{
    MCC_PEAK p{};
    p.centreX = 100;
    p.centreY = 50;
    p.shiftX = sx;
    p.shiftY = sy;
    p.value = value;
    p.width1X = p.width1Y = width;
    p.width2X = p.width2Y = width + 2;
    return p;
}

TEST(CMCCRefine, PickPeakPtsRelaxesOnceWhenTooFewPass)
{
    // "good" passes the first limits; "fair" only the relaxed ones (width
    // below 7); "far" never (a shift of -30 is as far as +30).
    const MCC_PEAK good = Peak(3, 0.9f, 1.0f, -1.5f), fair = Peak(6, 0.5f, -6.0f, 2.0f), far = Peak(3, 0.95f, -30, 0);
    struct Case {
        int good, fair, far;
        bool relaxed;
        int picked;
    };
    const Case cases[] = {
        {8, 16, 0, false, 8},    // 8 of 24: a third and 8: as it is
        {7, 14, 0, true, 21},    // 7 of 21: fewer than 8
        {9, 18, 1, true, 27},    // 9 of 28: fewer than a third
        {10, 0, 2, false, 10},
    };
    for (const Case& c : cases) {
        std::vector<MCC_PEAK> peaks;
        for (int i = 0; i < c.good; ++i) peaks.push_back(good);
        for (int i = 0; i < c.fair; ++i) peaks.push_back(fair);
        for (int i = 0; i < c.far; ++i) peaks.push_back(far);
        Held a(Constant(10, 10, 1, 1));
        CMCCRefine r(a.img, a.img);
        r.SetPeaks(peaks.data(), static_cast<int>(peaks.size()), 40, -12);
        EXPECT_EQ(r.PickPeakPts(), c.picked) << c.good << "/" << peaks.size();
        EXPECT_EQ(r.GetWidthLimit(), c.relaxed ? 7.0f : 5.0f);
        EXPECT_FLOAT_EQ(r.GetPeakLimit(), c.relaxed ? -1.2f : 0.8f);
        EXPECT_EQ(r.GetShiftLimit(), c.relaxed ? 7.0f : 5.0f);
        // Point 2 lies in overlay 2: centre + shift - offset.
        EXPECT_EQ(r.GetPickedPoints(0)[0].x, 100.0f);
        EXPECT_EQ(r.GetPickedPoints(1)[0].x, 100.0f + 1.0f - 40.0f);
        EXPECT_EQ(r.GetPickedPoints(1)[0].y, 50.0f - 1.5f + 12.0f);
        // Relaxed once for the object's life: a second pick keeps the limits.
        r.PickPeakPts();
        EXPECT_EQ(r.GetWidthLimit(), c.relaxed ? 7.0f : 5.0f);
    }
    // Relaxation happens once even when it does not help.
    std::vector<MCC_PEAK> none(5, far);
    Held a(Constant(10, 10, 1, 1));
    CMCCRefine r(a.img, a.img);
    r.SetPeaks(none.data(), 5, 0, 0);
    EXPECT_EQ(r.PickPeakPts(), 0);
    EXPECT_EQ(r.PickPeakPts(), 0);
    EXPECT_EQ(r.GetWidthLimit(), 7.0f);
}

TEST(CMCCRefine, MainMCCRefineFailuresLeaveTheParametersAlone)
{
    Held a(MakeImage(300, 200, 3, [](int x, int y, int k) { return Texture(x, y, k); }));
    Held flat(Constant(300, 200, 3, 120));
    PAIR_WALIGN_PRMS good{};
    good.scale = 1.0f;
    good.halfFov1 = 0.5f;
    good.halfWidth1 = 150.0f;
    good.offsetAngle = 0.3f;
    struct Case {
        const char* name;
        Image* img1;
        Image* img2;
        PAIR_WALIGN_PRMS prms;
    };
    PAIR_WALIGN_PRMS noWidth = good;
    noWidth.halfWidth1 = 0;  // gives no transform, so no overlays
    const Case cases[] = {
        {"no overlays", a.img, a.img, noWidth},
        {"flat images: no peaks, nothing to fit", flat.img, flat.img, good},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PAIR_WALIGN_PRMS p = c.prms;
        CMCCRefine r(c.img1, c.img2);
        LogCapture log;
        EXPECT_EQ(r.MainMCCRefine(&p), 0);
        EXPECT_EQ(std::memcmp(&p, &c.prms, sizeof p), 0);
        EXPECT_GE(log.errorCount(), 1);
    }
    CMCCRefine r(a.img, a.img);
    LogCapture log;
    EXPECT_EQ(r.MainMCCRefine(nullptr), 0);
    EXPECT_TRUE(log.contains("ERROR CMCCRefine::MainMCCRefine"));
}

// With the debug display on, each template's block and NCC map go to debug
// window 0, stacked downwards.
TEST(CMCCRefine, DebugDisplayShowsTemplatesAndMaps)
{
    testkit::TempDir dir;
    SetDebugDispFolder(dir.path().string().c_str());
    SetDebugDispFlag(1);
    CreateImageWindow(400, 300, GetNameDebugWin0());
    ShiftedPair p(100, 60, 3, 0, 0, 3, -2);
    CMCCRefine r(p.a.img, p.b.img);
    const int passed = r.MakePeakGrid(p.a.img, p.b.img, 0, 0);
    SetDebugDispFlag(0);
    ASSERT_EQ(passed, 3);  // one row of three templates
    auto colour = [](const Image& img, int x, int y) {
        const unsigned char* q = img.GetData() + size_t(y) * img.GetRowByte() + size_t(x) * 3;
        return RGB(q[2], q[1], q[0]);
    };
    // Template 0 (top-left at 8, 8) at the window's origin, template 1 (28, 8)
    // 31 + 2 rows below it.
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 0, 0), colour(*p.a.img, 8, 8));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 30, 30), colour(*p.a.img, 38, 38));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 0, 33), colour(*p.a.img, 28, 8));
    // Its map right of the two blocks: white at the peak (3, -2 from the
    // centre of the 17 x 17 window).
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin0(), 64 + 8 + 3, 8 - 2), RGB(255, 255, 255));
}

TEST(CMCCRefine, HoldsAReferenceToEachImage)
{
    Held a(Constant(10, 10, 1, 1)), b(Constant(10, 10, 1, 1));
    {
        CMCCRefine r(a.img, b.img);
        EXPECT_EQ(a.img->m_refCount, 2);
        EXPECT_EQ(b.img->m_refCount, 2);
    }
    EXPECT_EQ(a.img->m_refCount, 1);
    EXPECT_EQ(b.img->m_refCount, 1);
}

}  // namespace
