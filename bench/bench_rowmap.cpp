// Bilinear row remapping: megapixels per second on one core, RGB and grey,
// overwriting and averaging, as a panorama view draws a 1024 x 256 window
// from a 4000 x 2000 source at about 1:1 with a slight tilt and perspective.
#include "geometry/rowmap/row_map.h"
#include "geometry/rowmap/row_map_kernels.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kSourceWidth = 4000;
constexpr int kSourceHeight = 2000;
constexpr int kRowPixels = 1024;
constexpr int kRows = 256;

// path 0: MapOneRowBilinear (the fastest loop for this processor),
// 1: the SSE2 loop alone, 2: the portable loop, 3: the SSSE3 loop (the
// fastest before the AVX2 one), 4: the AVX2 loop.
void MapRow(int path, float w, float xw, float yw, float dxw, float dyw, float dw, int n, int channels, int stride,
            const uint8_t* source, uint8_t* destination, bool average)
{
    if (path == 0) {
        MapOneRowBilinear(w, xw, yw, dxw, dyw, dw, n, channels, stride, source, destination, average);
        return;
    }
    const rowmap::RowMapping row{w, xw, yw, dxw, dyw, dw, n, channels, stride, source, destination, average};
    switch (path) {
    case 1: rowmap::MapRowSse2(row); break;
    case 3: rowmap::MapRowSsse3(row); break;
    case 4: rowmap::MapRowAvx2(row); break;
    default: rowmap::MapRowPortable(row); break;
    }
}

void BM_MapOneRowBilinear(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const bool average = state.range(1) != 0;
    const int path = static_cast<int>(state.range(2));
    const int b = channels == 3 ? 3 : 1;
    std::vector<uint8_t> source(static_cast<size_t>(kSourceWidth) * kSourceHeight * b);
    std::mt19937 rng(1);
    for (uint8_t& v : source) v = static_cast<uint8_t>(rng() | 1);
    std::vector<uint8_t> destination(static_cast<size_t>(kRowPixels) * kRows * b, 100);
    for (auto _ : state) {
        for (int y = 0; y < kRows; ++y) {
            // w drifts along the row; each row starts a source row further down.
            const float w = 1.0f + 0.0005f * y;
            const float xw = (300.0f + 0.2f * y) * w;
            const float yw = (200.0f + 1.1f * y) * w;
            MapRow(path, w, xw, yw, 1.2f * w, 0.05f * w, 0.00004f, kRowPixels, channels, kSourceWidth * b,
                   source.data(), destination.data() + static_cast<size_t>(y) * kRowPixels * b, average);
        }
        benchmark::DoNotOptimize(destination.data());
    }
    const double pixels = static_cast<double>(state.iterations()) * kRows * kRowPixels;
    state.counters["MP/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MapOneRowBilinear)
    ->ArgNames({"channels", "average", "path"})
    ->Args({3, 0, 0})->Args({3, 1, 0})->Args({1, 0, 0})->Args({1, 1, 0})
    ->Args({3, 0, 1})->Args({3, 1, 1})->Args({3, 0, 2})
    ->Args({3, 0, 3})->Args({3, 0, 4})->Args({3, 1, 3})->Args({3, 1, 4})->Args({1, 0, 3})->Args({1, 0, 4})
    // Shared machines are noisy: read the median of the repetitions.
    ->Repetitions(5)->DisplayAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
