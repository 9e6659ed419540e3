// Correlation refinement of a real 2-megapixel pair (1632 x 1224 views with
// a 60-degree field of view, 20 degrees apart, rendered from the Durlach
// equirectangular panorama): multiply-adds per second of the direct NCC
// kernels (scalar reference, SSE2, AVX2), the grid pass over the overlays,
// and, per pair, MainMCCRefine, MainMFCRefine (with both fits) and the
// multi-channel aligner MainMFCAlign that the latter is built on.
#include "align/pairlock/mfc_align.h"
#include "align/warpfit/mcc_ncc.h"
#include "align/warpfit/mcc_refine.h"
#include "align/warpfit/mfc_refine.h"
#include "align/warpfit/tests/pair_render.h"
#include "platform/mapproj/img_combo_rs.h"
#include "platform/panocore/panocore_settings.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>

namespace {

constexpr int kWidth = 1632, kHeight = 1224;
constexpr double kDeg = std::numbers::pi / 180;

std::string TestData(const std::string& relative)
{
    const char* env = std::getenv("FENDRAKE_TESTDATA");
    return std::string(env && *env ? env : FENDRAKE_TESTDATA_DIR) + "/" + relative;
}

// The pair, its rough start and the overlays made from that start; built
// once for every benchmark.
struct Pair {
    Image* img1 = nullptr;
    Image* img2 = nullptr;
    PAIR_WALIGN_PRMS start{};
    PAIR_WALIGN_RR_PRMS2 startRR{};  // the same start in the aligner's form
    Image* ov1 = nullptr;
    Image* ov2 = nullptr;
    int offX = 0, offY = 0;
    bool ok = false;

    Pair()
    {
        Image* pano = warptest::LoadJpeg(TestData("huginsample-durlach/durlach_saumarkt_equirect.jpg"));
        if (!pano) return;
        const double r = std::tan(30 * kDeg) / (kWidth / 2);
        const double a = 0.02, b = 0.35, c = -0.015;
        const warptest::M3 place = warptest::PlaceView(-30 * kDeg, 12 * kDeg);
        img1 = warptest::RenderView(*pano, kWidth, kHeight, r, place);
        img2 = warptest::RenderView(*pano, kWidth, kHeight, r, warptest::SecondPlacement(place, a, b, c));
        ReleaseImage(pano);
        start.scale = 1.0f;
        start.rot1 = static_cast<float>(a + 0.004);
        start.rot2 = static_cast<float>(-c - 0.003);
        start.halfFov1 = static_cast<float>(30 * kDeg + 0.004);
        start.halfWidth1 = kWidth / 2.0f;
        start.offsetAngle = static_cast<float>(b + 0.004);
        startRR.rcpF1 = startRR.rcpF2 = static_cast<float>(std::tan(double(start.halfFov1)) / (kWidth / 2));
        startRR.angA = start.rot1;
        startRR.angB = start.offsetAngle;
        startRR.angC = -start.rot2;
        TRANSFORM_RS t1{}, t2{};
        OverlayGrid g1{}, g2{};
        if (!CImgComboRS::Overlay2ImgRS_0(img1, img2, &start, 0, 0, GetMCCTu0(), &ov1, &ov2, &t1, &t2, &g1, &g2)) return;
        offX = g2.column - g1.column;
        offY = g2.row - g1.row;
        ok = true;
    }
};

const Pair& ThePair()
{
    static const Pair pair;
    return pair;
}

// One 31 x 31 x 3 template over the 17 x 17 shift window.
void BM_NccWindow(benchmark::State& state)
{
    const auto kernel = static_cast<warpfit::NccKernel>(state.range(0));
    const Pair& p = ThePair();
    if (!p.ok || !warpfit::NccKernelAvailable(kernel)) {
        state.SkipWithError(p.ok ? "kernel not available" : "test pair not available");
        return;
    }
    warpfit::NccSearchImage search;
    search.Init(p.ov2);
    const int x = p.ov1->GetWidth() / 2, y = p.ov1->GetHeight() / 2;
    warpfit::NccTemplate t;
    t.Init(p.ov1, x, y, 31, 31);
    double map[17 * 17];
    unsigned char valid[17 * 17];
    for (auto _ : state) {
        warpfit::NccWindow(kernel, t, search, x - p.offX, y - p.offY, 8, 8, map, valid);
        benchmark::DoNotOptimize(map);
    }
    const double macs = double(state.iterations()) * 289 * 31 * 31 * t.channels;
    state.counters["GMAC/s"] = benchmark::Counter(macs / 1e9, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NccWindow)->ArgName("kernel")->Arg(0)->Arg(1)->Arg(2);

// The grid pass over the overlap of the pair's overlays.
void BM_MakePeakGrid(benchmark::State& state)
{
    const auto kernel = static_cast<warpfit::NccKernel>(state.range(0));
    const Pair& p = ThePair();
    if (!p.ok || !warpfit::NccKernelAvailable(kernel)) {
        state.SkipWithError(p.ok ? "kernel not available" : "test pair not available");
        return;
    }
    CMCCRefine refine(p.img1, p.img2);
    refine.SetKernel(kernel);
    int templates = 0;
    for (auto _ : state) templates = refine.MakePeakGrid(p.ov1, p.ov2, p.offX, p.offY);
    const double macs = double(state.iterations()) * templates * 289 * 31 * 31 * p.ov1->GetChannels();
    state.counters["templates"] = templates;
    state.counters["GMAC/s"] = benchmark::Counter(macs / 1e9, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MakePeakGrid)->ArgName("kernel")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

// Rendering the two overlays alone (the Mapproj stand-in's share of a
// refinement).
void BM_Overlays(benchmark::State& state)
{
    const Pair& p = ThePair();
    if (!p.ok) {
        state.SkipWithError("test pair not available");
        return;
    }
    for (auto _ : state) {
        TRANSFORM_RS t1{}, t2{};
        OverlayGrid g1{}, g2{};
        Image* a = nullptr;
        Image* b = nullptr;
        CImgComboRS::Overlay2ImgRS_0(p.img1, p.img2, &p.start, 0, 0, GetMCCTu0(), &a, &b, &t1, &t2, &g1, &g2);
        ReleaseImage(a);
        ReleaseImage(b);
    }
}
BENCHMARK(BM_Overlays)->Unit(benchmark::kMillisecond);

// The whole refinement of the pair: overlays, grid pass, picking, fit.
void BM_MainMCCRefine(benchmark::State& state)
{
    const Pair& p = ThePair();
    if (!p.ok) {
        state.SkipWithError("test pair not available");
        return;
    }
    int templates = 0, picked = 0;
    for (auto _ : state) {
        PAIR_WALIGN_PRMS prms = p.start;
        // range(0) 1: the pan a further 0.4 degrees off (about 10 pixels at
        // the worst), where few peaks pass the picking limits and they relax.
        prms.offsetAngle += static_cast<float>(state.range(0) * 0.4 * kDeg);
        CMCCRefine refine(p.img1, p.img2);
        templates = refine.MainMCCRefine(&prms);
        picked = refine.GetPickedCount();
        benchmark::DoNotOptimize(prms);
    }
    state.counters["templates"] = templates;
    state.counters["picked"] = picked;
}
BENCHMARK(BM_MainMCCRefine)->ArgName("far")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The multi-channel aligner on the pair, mode 0 with the link's default
// setting, as the stitching core calls it.
void BM_MainMFCAlign(benchmark::State& state)
{
    const Pair& p = ThePair();
    if (!p.ok) {
        state.SkipWithError("test pair not available");
        return;
    }
    PAIR_ALIGN_INIT_SETTING byDefault{0.4f, 0.0f, 0.1f, 0.1f, 0};
    int pairs = 0;
    for (auto _ : state) {
        PAIR_WALIGN_RR_PRMS2 prms = p.startRR;
        CMFCAlign align(p.img1, p.img2);
        POINT2* pts[2] = {nullptr, nullptr};
        int n = 0;
        if (align.MainMFCAlign(&prms, &byDefault, 0, pts, &n, false) != kMFCAligned) {
            state.SkipWithError("no alignment");
            return;
        }
        pairs = n;
        CMFCAlign::FreePoints(pts);
    }
    state.counters["pairs"] = pairs;
}
BENCHMARK(BM_MainMFCAlign)->Unit(benchmark::kMillisecond);

// The marker refinement of the pair; range(0): 1 the warp fit, 0 the
// homography.
void BM_MainMFCRefine(benchmark::State& state)
{
    const Pair& p = ThePair();
    if (!p.ok) {
        state.SkipWithError("test pair not available");
        return;
    }
    SetWarpFitSettings(false, false, 0.0f, static_cast<int>(state.range(0)));
    int pairs = 0;
    for (auto _ : state) {
        PAIR_WALIGN_PRMS prms = p.start;
        CMFCRefine refine(p.img1, p.img2);
        POINT2* pts[2] = {nullptr, nullptr};
        int n = 0;
        if (!refine.MainMFCRefine(&prms, pts, &n, 0, 0.0f, 0, 1.0f)) {
            state.SkipWithError("no refinement");
            break;
        }
        pairs = n;
        delete[] pts[0];
        delete[] pts[1];
    }
    SetWarpFitSettings(false, false, 0.0f, 0);
    state.counters["pairs"] = pairs;
}
BENCHMARK(BM_MainMFCRefine)->ArgName("warp")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
