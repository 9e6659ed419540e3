// Compositing an image cell over a whole 2000 x 1000 screen image: the plain
// opaque copy kernel, and the kernel that adjusts, looks up and blends every
// byte. A screen should compose in well under 10 ms either way.
#include "imaging/image.h"
#include "worldmap/bmp_cell.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1000;

BmpCell* MakeCell(int channels)
{
    Image picture(kWidth, kHeight, channels);
    std::mt19937 rng(5);
    for (size_t i = 0; i < picture.GetDataSize(); ++i) picture.GetData()[i] = static_cast<unsigned char>(rng() | 1);
    return new BmpCell(&picture);
}

void Compose(benchmark::State& state, int cellChannels, bool full)
{
    BmpCell* cell = MakeCell(cellChannels);
    if (full) {
        ColorCtrl* ctrl = cell->GetColorCtrl();
        ctrl->SetBrightness(12, 0);
        ctrl->SetContrast(1.2f, 2);
        ctrl->SetGamma(0.8f, 3);
        cell->SetTransparency(96);
    }
    Image* screen = new Image(kWidth, kHeight, 3);
    for (auto _ : state) {
        cell->MapDataTo(screen);
        benchmark::DoNotOptimize(screen->GetData());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
    ReleaseImage(screen);
    ReleaseImage(cell);
}

void BM_ComposeOpaqueCopy(benchmark::State& state) { Compose(state, 3, false); }
void BM_ComposeTablesAdjustBlend(benchmark::State& state) { Compose(state, 3, true); }
void BM_ComposeGrayOnColourFull(benchmark::State& state) { Compose(state, 1, true); }

BENCHMARK(BM_ComposeOpaqueCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeTablesAdjustBlend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeGrayOnColourFull)->Unit(benchmark::kMillisecond);

}  // namespace
