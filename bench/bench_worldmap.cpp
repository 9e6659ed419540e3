// World-map conversions on a 16,384-wide RGB map: copying rows out of a
// rectangular map (CopyPanoImage, and the data image view), and resampling
// the rows of an elliptical map (ComputePanoImage_rect). Each benchmark also
// times a plain memcpy of the same bytes and reports op time / memcpy time as
// "x_memcpy" (1.0 = as fast as memcpy).
#include "imaging/image.h"
#include "worldmap/world_map_base.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 16384;
constexpr int kRows = 512;  // a band of rows round the equator

using Clock = std::chrono::steady_clock;

// A band of kRows rows of all columns, filled with noise.
std::unique_ptr<WorldMapBase> MakeBand(int mapType)
{
    auto map = std::make_unique<WorldMapBase>();
    const float rowAngle = 6.283185f / kWidth;
    REGION2 region{-rowAngle * kRows / 2, rowAngle * (kRows / 2 - 1), -3.2f, 3.2f, 6.4f, rowAngle * kRows};
    map->Init(kWidth, &region, mapType, 3);
    std::mt19937 rng(7);
    Image* view = map->GetDataImage();
    for (size_t i = 0; i < view->GetDataSize(); ++i) view->GetData()[i] = static_cast<unsigned char>(rng() | 1);
    ReleaseImage(view);
    return map;
}

// Runs `op` under manual timing and reports its time relative to memcpy of
// `bytes` bytes.
template <class Op>
void TimeAgainstMemcpy(benchmark::State& state, size_t bytes, Op op)
{
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    double opSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        op();
        auto t1 = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        const double op_s = std::chrono::duration<double>(t1 - t0).count();
        opSeconds += op_s;
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(op_s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["x_memcpy"] = copySeconds > 0 ? opSeconds / copySeconds : 0;
}

void BM_CopyPanoImage(benchmark::State& state)
{
    auto map = MakeBand(0);
    Image* out = new Image(kWidth, kRows, 3);
    const int first = map->GetMapRect()->top;
    // Starting mid-row so every row wraps across the seam once.
    TimeAgainstMemcpy(state, out->GetDataSize(), [&] {
        map->CopyPanoImage(kWidth / 2, kWidth / 2 + kWidth - 1, first, first + kRows - 1, out, 0, 0);
        benchmark::DoNotOptimize(out->GetData());
    });
    ReleaseImage(out);
}
BENCHMARK(BM_CopyPanoImage)->UseManualTime()->Unit(benchmark::kMillisecond);

// The data image presents the block without copying; copying it out is then
// the image's own row copy.
void BM_DataImageCopy(benchmark::State& state)
{
    auto map = MakeBand(0);
    Image* out = new Image(kWidth, kRows, 3);
    TimeAgainstMemcpy(state, out->GetDataSize(), [&] {
        Image* view = map->GetDataImage();
        view->CopyDataTo(0, kWidth - 1, 0, kRows - 1, out, 0, 0);
        ReleaseImage(view);
        benchmark::DoNotOptimize(out->GetData());
    });
    ReleaseImage(out);
}
BENCHMARK(BM_DataImageCopy)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MakeDataImage(benchmark::State& state)
{
    auto map = MakeBand(0);
    TimeAgainstMemcpy(state, size_t{kWidth} * kRows * 3, [&] {
        Image* copy = map->MakeDataImage();
        benchmark::DoNotOptimize(copy->GetData());
        ReleaseImage(copy);
    });
}
BENCHMARK(BM_MakeDataImage)->UseManualTime()->Unit(benchmark::kMillisecond);

// Rows of an elliptical map resampled onto the equator's width: linear
// interpolation per sample, so slower than a copy by design.
void BM_ComputePanoImage_rect(benchmark::State& state)
{
    const int rowsOut = static_cast<int>(state.range(0));
    auto map = std::make_unique<WorldMapBase>();
    map->Init(kWidth, nullptr, 1, 3);
    std::mt19937 rng(3);
    Image* view = map->GetDataImage();
    // Fill only the rows rendered (the rest of the sphere stays untouched).
    const int first = state.range(1) ? 0 : kWidth / 4 - rowsOut / 2;
    for (int r = first; r < first + rowsOut; ++r) {
        unsigned char* row = view->GetData() + static_cast<size_t>(r) * view->GetRowByte();
        for (int i = 0; i < kWidth * 3; ++i) row[i] = static_cast<unsigned char>(rng() | 1);
    }
    ReleaseImage(view);
    Image* out = new Image(kWidth, rowsOut, 3);
    TimeAgainstMemcpy(state, out->GetDataSize(), [&] {
        map->ComputePanoImage_rect(0, kWidth - 1, first, first + rowsOut - 1, out, 0, 0);
        benchmark::DoNotOptimize(out->GetData());
    });
    ReleaseImage(out);
}
// Rows round the equator, and rows from the pole down (short rows, stretched).
BENCHMARK(BM_ComputePanoImage_rect)->Args({256, 0})->Args({256, 1})->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
