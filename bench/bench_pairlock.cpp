// The correlation engine on one 1024 x 768 image pair: a whole template grid
// (local statistics, contrast tables and one FFT correlation per template,
// as the world-map and multi-channel aligners make it), reported in maps per
// second; and the box filters behind the local statistics, in samples per
// second (target at least 500 M/s).
#include "align/pairlock/box_filter.h"
#include "align/pairlock/cncc_maps.h"
#include "align/pairlock/tests/pairlock_test_util.h"
#include "imaging/image.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

struct PairImages {
    Image* img1;
    Image* img2;
    PairImages()
    {
        const pairlock_test::Texture t(3, 24, 12.0, 48.0);
        img1 = pairlock_test::MakeTextureImage(t, kWidth, kHeight, 0.0, 0.0, 80.0);
        img2 = pairlock_test::MakeTextureImage(t, kWidth, kHeight, 2.3, -1.4, 80.0);
    }
    ~PairImages()
    {
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
};

// range(0): selector mode (1 refine, 50 templates; 0 refine, 30 larger
// ones); range(1): channel option (8 edge image, 7 three colour channels);
// range(2): search range in pixels.
void BM_TemplateGrid(benchmark::State& state)
{
    static PairImages pair;
    POINT2 corners[4] = {{0, 0}, {kWidth - 1, 0}, {kWidth - 1, kHeight - 1}, {0, kHeight - 1}};
    gpc_vertex_list ring{4, corners};
    gpc_polygon overlap{1, &ring};
    const int range = static_cast<int>(state.range(2));
    int64_t maps = 0;
    int nx = 0;
    for (auto _ : state) {
        CCNCCMaps grid;
        grid.InitPrms(pair.img1, pair.img2, &overlap, nullptr, static_cast<int>(state.range(0)),
                      static_cast<int>(state.range(1)));
        grid.RefSelect().SetCCRangeXY(range, range);
        if (!grid.MakeNCCMaps_cut()) {
            state.SkipWithError("no maps");
            return;
        }
        maps += grid.GetNumNccMap();
        nx = grid.GetNxCCMap();
        benchmark::DoNotOptimize(grid.GetNccMapAt(0));
    }
    state.counters["maps/s"] = benchmark::Counter(static_cast<double>(maps), benchmark::Counter::kIsRate);
    state.counters["window"] = nx;
}
BENCHMARK(BM_TemplateGrid)
    ->ArgNames({"mode", "chan", "range"})
    ->Args({1, 8, 16})
    ->Args({1, 8, 31})
    ->Args({0, 8, 31})
    ->Args({1, 7, 16})
    ->Unit(benchmark::kMillisecond);

std::vector<float> Samples()
{
    std::vector<float> a(static_cast<size_t>(kWidth) * kHeight);
    std::mt19937 rng(1);
    for (float& v : a) v = static_cast<float>(rng() % 65026);
    return a;
}

// range(0): window width and height.
void BM_FBoxLowPass(benchmark::State& state)
{
    std::vector<float> src = Samples(), dst(src.size());
    const int w = static_cast<int>(state.range(0));
    for (auto _ : state) {
        FBoxLowPass(src.data(), dst.data(), kWidth, kHeight, w, w, 1.0f);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_FBoxLowPass)->Arg(5)->Arg(31)->Arg(97);

void BM_LineSumX(benchmark::State& state)
{
    std::vector<float> src = Samples(), dst(src.size());
    for (auto _ : state) {
        LineSumX(src.data(), dst.data(), kWidth, kHeight, 31);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_LineSumX);

void BM_LineSumY(benchmark::State& state)
{
    std::vector<float> src = Samples(), dst(src.size());
    for (auto _ : state) {
        LineSumY(src.data(), dst.data(), kWidth, kHeight, 31);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_LineSumY);

}  // namespace
