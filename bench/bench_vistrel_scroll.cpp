// One 33 ms tick of the viewer's full-circle scrolling in panorama mode:
// every row of an 8000 x 1500 RGB view image turned by the tick's step,
// beside a memmove of the same bytes in the same run (the floor any in-place
// scroll pays). The ratio counter is tick time over memmove time.
#include "viewer/vistrel/vistrel_view.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 8000, kHeight = 1500;

std::unique_ptr<Image, void (*)(Image*)> MakeViewImage()
{
    auto* image = new Image();
    image->BmpInit(kWidth, kHeight, 3);
    std::mt19937 rng(7);
    for (size_t i = 0; i < image->GetDataSize(); i += 64) image->GetData()[i] = static_cast<unsigned char>(rng());
    return {image, [](Image* p) { ReleaseImage(p); }};
}

// Seconds per pass of `work`, the best of `runs`.
template <class F>
double BestSeconds(F work, int runs)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// step: pixels per tick (a drag of 4 x step pixels at zoom 1).
void ScrollTick(benchmark::State& state)
{
    const int step = static_cast<int>(state.range(0));
    auto image = MakeViewImage();
    std::vector<uint8_t> scratch;
    std::vector<uint8_t> other(image->GetDataSize());
    const size_t bytes = image->GetDataSize();
    for (auto _ : state) {
        RotateRows(*image, step, scratch);
        benchmark::DoNotOptimize(image->GetData());
    }
    const double tick = BestSeconds([&] { RotateRows(*image, step, scratch); }, 15);
    const double move = BestSeconds(
        [&] {
            std::memmove(other.data(), image->GetData(), bytes);
            benchmark::DoNotOptimize(other.data());
        },
        15);
    state.counters["tick_ms"] = tick * 1e3;
    state.counters["memmove_ms"] = move * 1e3;
    state.counters["ratio"] = tick / move;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

BENCHMARK(ScrollTick)->Arg(1)->Arg(10)->Arg(250)->Arg(3999)->Unit(benchmark::kMillisecond);

}  // namespace
