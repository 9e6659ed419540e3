// The seam blend map evaluated over a 4000 x 400 band: the per-pixel virtual
// and the span form, each timed beside a memcpy of the output bytes (three
// corrections and a weight per pixel). "Mpx_s" is pixels per second / 1e6;
// "x_memcpy" is evaluation time / memcpy time; "Mpx_s_cpu" counts the
// evaluating thread's CPU time instead of the wall clock.
#include "adjust/blendkit/blend_map.h"
#include "platform/panocore/panocore_settings.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// This thread's CPU time, seconds: the per-core figure on a shared machine.
double ThreadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}
constexpr int kW = 4000, kH = 400;

struct Line {
    ONE_DL_V_MAP samples[60]{};
    CDivLineData data{};
    CBlendPolygons side{};
    TRANSFORM_RS tA{}, tB{};
    Line()
    {
        SetDivLineBlendWidth(400);
        side.InitAll();
        data.samples = samples;
        data.count = 60;
        data.start = {-2000.0f, 10.0f};  // slanted slightly across the band
        data.end = {2000.0f, -10.0f};
        for (int k = 0; k < 60; ++k) {
            samples[k].along = 4000.0f / 61.0f * static_cast<float>(k + 1);
            for (int c = 0; c < 3; ++c) {
                samples[k].colorA[c] = 100.0f + static_cast<float>(k % 7);
                samples[k].colorB[c] = 120.0f - static_cast<float>(k % 5);
            }
        }
        side.lineData = &data;
        for (int c = 0; c < 3; ++c) tA.colorFirst[c] = tB.colorFirst[c] = 1.0f;
    }
};

void Run(benchmark::State& state, bool span)
{
    Line line;
    CBlendMap map(&line.side, &line.tA, &line.tB);
    std::vector<int> out(3 * kW);
    std::vector<float> weights(kW);
    const size_t bytes = static_cast<size_t>(kW) * kH * (3 * sizeof(int) + sizeof(float));
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    double evalSeconds = 0, copySeconds = 0, evalCpu = 0;
    for (auto _ : state) {
        const double c0 = ThreadSeconds();
        const auto t0 = Clock::now();
        for (int y = 0; y < kH; ++y) {
            const POINT2 start{-2000.0f, static_cast<float>(y - kH / 2)};
            if (span) {
                map.GetSpan_MarginRegion(start, kW, out.data(), weights.data());
            } else {
                POINT2 shift;
                for (int x = 0; x < kW; ++x) {
                    POINT2 p{start.x + static_cast<float>(x), start.y};
                    IBlendMap& base = map;
                    base.GetPtV_MarginRegion(p, &shift, out.data() + 3 * x, weights.data() + x);
                }
            }
            benchmark::DoNotOptimize(out.data());
        }
        const auto t1 = Clock::now();
        evalCpu += ThreadSeconds() - c0;
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        evalSeconds += std::chrono::duration<double>(t1 - t0).count();
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double pixels = static_cast<double>(kW) * kH * static_cast<double>(state.iterations());
    state.counters["Mpx_s"] = pixels / evalSeconds / 1e6;
    state.counters["Mpx_s_cpu"] = pixels / evalCpu / 1e6;
    state.counters["x_memcpy"] = evalSeconds / copySeconds;
}

void BM_BlendMapPerPixel(benchmark::State& state) { Run(state, false); }
void BM_BlendMapSpan(benchmark::State& state) { Run(state, true); }

}  // namespace

BENCHMARK(BM_BlendMapPerPixel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlendMapSpan)->Unit(benchmark::kMillisecond);
