// CPolyMapRR::MapImgRegions warping a 2000 x 1500 RGB photograph through a
// pair rotation into an image of the same size, nearest and bilinear;
// reported in megapixels of destination per second.
#include "viewer/engine/poly_map_rr.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kWidth = 2000, kHeight = 1500;

Image* MakePhoto()
{
    auto* image = new Image(kWidth, kHeight, 3);
    std::mt19937 rng(1);
    for (size_t i = 0; i < image->GetDataSize(); ++i) image->GetData()[i] = static_cast<unsigned char>(rng());
    return image;
}

void WarpPhoto(benchmark::State& state, bool bilinear)
{
    Image* src = MakePhoto();
    Image* dst = new Image(kWidth, kHeight, 3);
    // A neighbouring photograph: 1/f = 1/1800, a pan of 10 degrees and small
    // turns about the axes, so most of the destination is drawn.
    PAIR_WALIGN_RR_PRMS2 prms{};
    prms.rcpF1 = 1.0f / 1800;
    prms.rcpF2 = 1.0f / 1750;
    prms.angA = 0.03f;
    prms.angB = 0.1745f;
    prms.angC = -0.02f;
    POINT2 corners[4] = {{-0.5f, -0.5f}, {kWidth - 0.5f, -0.5f}, {kWidth - 0.5f, kHeight - 0.5f}, {-0.5f, kHeight - 0.5f}};
    gpc_vertex_list contour{4, corners};
    gpc_polygon region{1, &contour};
    CPolyMapRR mapper;
    for (auto _ : state) {
        mapper.MapImgRegions(src, dst, &region, nullptr, &prms, bilinear, 1.0f);
        benchmark::DoNotOptimize(dst->GetData());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight * 1e-6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    ReleaseImage(src);
    ReleaseImage(dst);
}

void BM_MapImgRegionsNearest(benchmark::State& state)
{
    WarpPhoto(state, false);
}
BENCHMARK(BM_MapImgRegionsNearest)->Unit(benchmark::kMillisecond);

void BM_MapImgRegionsBilinear(benchmark::State& state)
{
    WarpPhoto(state, true);
}
BENCHMARK(BM_MapImgRegionsBilinear)->Unit(benchmark::kMillisecond);

}  // namespace
