// One leveling step of the panorama view on a 4000 x 2001 RGB preview map:
// the map resampled through the level rotation into the temporary map
// (Utilities::RotateWorldMap) and the screen bitmap built from it, as at
// every mouse move of a tilt or rotate drag. Timed in the same run beside a
// memcpy of the map's bytes (the floor) and a straightforward per-pixel
// reference (exact rotation and a bilinear sample per pixel, one thread).
// Counters: "x_memcpy" = step / memcpy, "x_faster_than_reference" =
// reference / step, "rotate_ms" = the resampling part of the step.
#include "app/matching/utilities.h"
#include "app/panorama/rect_map_view.h"
#include "imaging/image.h"
#include "worldmap/world_map.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 4000;
constexpr double kTwoPi = 6.283185307179586;

WorldMap* MakeNoiseMap()
{
    auto* map = new WorldMap(kWidth, nullptr, 0, 3);
    std::mt19937 random(11);
    for (int r = 0; r < map->GetHeight(); ++r) {
        const WorldMapBase::ScanLine* line = map->GetScanLine(r);
        if (!line || !line->m_line) continue;
        const size_t bytes = static_cast<size_t>(line->m_last - line->m_first + 1) * 3;
        for (size_t i = 0; i < bytes; ++i) line->m_line[i] = static_cast<unsigned char>(1 + random() % 255);
    }
    map->m_xStart = 0;
    map->m_xEnd = kWidth;
    map->m_yStart = 0;
    map->m_yEnd = map->GetHeight();
    return map;
}

// The reference: every target pixel's direction, rotated exactly, sampled
// bilinearly from the source rows.
void ReferenceRotate(const WorldMap& source, std::vector<unsigned char>& out, const float m[9])
{
    const int W = source.GetWidth(), H = source.GetHeight();
    const double r = W / kTwoPi;
    out.resize(static_cast<size_t>(W) * H * 3);
    for (int y = 0; y < H; ++y) {
        const double lat = (y - H / 2) / r;
        for (int x = 0; x < W; ++x) {
            const double lon = (x - W / 2) / r;
            const double p[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
            const double q[3] = {m[0] * p[0] + m[1] * p[1] + m[2] * p[2], m[3] * p[0] + m[4] * p[1] + m[5] * p[2],
                                 m[6] * p[0] + m[7] * p[1] + m[8] * p[2]};
            const double sx = std::atan2(q[1], q[0]) * r + W / 2;
            const double sy = std::asin(std::clamp(q[2], -1.0, 1.0)) * r + H / 2;
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            const double ax = sx - x0, ay = sy - y0;
            unsigned char* o = out.data() + (static_cast<size_t>(y) * W + x) * 3;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int xx, int yy) -> double {
                    xx = ((xx % W) + W) % W;
                    yy = std::clamp(yy, 0, H - 1);
                    const unsigned char* s = source.GetDataPtr(xx, yy);
                    return s ? s[c] : 0;
                };
                o[c] = static_cast<unsigned char>((1 - ay) * ((1 - ax) * at(x0, y0) + ax * at(x0 + 1, y0)) +
                                                  ay * ((1 - ax) * at(x0, y0 + 1) + ax * at(x0 + 1, y0 + 1)));
            }
        }
    }
}

void BM_LevelingStep(benchmark::State& state)
{
    WorldMap* map = MakeNoiseMap();
    auto* rotated = new WorldMap(kWidth, nullptr, 0, 3);
    CRectMapView view;
    view.BuildScreenBitmap(map);
    const float step[3] = {0.01f, -0.02f, 0.0f};
    float m[9];
    Utilities::RotVecToMatrix(step, m);
    const size_t bytes = static_cast<size_t>(map->GetWidth()) * map->GetHeight() * 3;
    std::vector<unsigned char> from(bytes, 1), to(bytes), reference;
    double stepSeconds = 0, rotateSeconds = 0, copySeconds = 0, referenceSeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        Utilities::RotateWorldMap(map, rotated, m);
        const auto tRotated = Clock::now();
        view.BuildScreenBitmap(rotated);
        benchmark::DoNotOptimize(view.GetScreen()->GetData());
        const auto t1 = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        ReferenceRotate(*map, reference, m);
        benchmark::DoNotOptimize(reference.data());
        const auto t3 = Clock::now();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        stepSeconds += seconds;
        rotateSeconds += std::chrono::duration<double>(tRotated - t0).count();
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        referenceSeconds += std::chrono::duration<double>(t3 - t2).count();
        state.SetIterationTime(seconds);
    }
    state.counters["x_memcpy"] = copySeconds > 0 ? stepSeconds / copySeconds : 0;
    state.counters["x_faster_than_reference"] = stepSeconds > 0 ? referenceSeconds / stepSeconds : 0;
    state.counters["rotate_ms"] = state.iterations() ? 1000 * rotateSeconds / state.iterations() : 0;
    state.counters["memcpy_ms"] = state.iterations() ? 1000 * copySeconds / state.iterations() : 0;
    state.counters["reference_ms"] = state.iterations() ? 1000 * referenceSeconds / state.iterations() : 0;
    rotated->Release();
    map->Release();
}
BENCHMARK(BM_LevelingStep)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The resampling alone beside memcpy of the map's bytes, in the same loop:
// "x_memcpy" = rotation / memcpy.
void BM_RotateOnly(benchmark::State& state)
{
    WorldMap* map = MakeNoiseMap();
    auto* rotated = new WorldMap(kWidth, nullptr, 0, 3);
    const float step[3] = {0.01f, -0.02f, 0.0f};
    float m[9];
    Utilities::RotVecToMatrix(step, m);
    const size_t bytes = static_cast<size_t>(map->GetWidth()) * map->GetHeight() * 3;
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    double rotateSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        Utilities::RotateWorldMap(map, rotated, m);
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        rotateSeconds += seconds;
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(seconds);
    }
    state.counters["x_memcpy"] = copySeconds > 0 ? rotateSeconds / copySeconds : 0;
    state.counters["memcpy_ms"] = state.iterations() ? 1000 * copySeconds / state.iterations() : 0;
    rotated->Release();
    map->Release();
}
BENCHMARK(BM_RotateOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
