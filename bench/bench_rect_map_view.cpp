// The panorama view's full screen rebuild (the map's data area rendered into
// the view's cell and composed into its screen image), as on every "map
// changed" event and after every leveling step: an 8000 x 4001 RGB map whose
// data area crosses the seam. Timed side by side with a plain memcpy of the
// same number of bytes; "x_memcpy" is rebuild time / memcpy time.
#include "app/panorama/rect_map_view.h"
#include "imaging/image.h"
#include "worldmap/world_map.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 8000;

WorldMap* MakeNoiseMap()
{
    auto* map = new WorldMap(kWidth, nullptr, 0, 3);
    std::mt19937 random(7);
    for (int r = 0; r < map->GetHeight(); ++r) {
        const WorldMapBase::ScanLine* line = map->GetScanLine(r);
        if (!line || !line->m_line) continue;
        const size_t bytes = static_cast<size_t>(line->m_last - line->m_first + 1) * 3;
        // Never 0 in the first byte: a 0 there means "no data" to the compositor.
        for (size_t i = 0; i < bytes; ++i) line->m_line[i] = static_cast<unsigned char>(1 + random() % 255);
    }
    // Columns 6000 .. 7999 and then 0 .. 5998: every row crosses the seam.
    map->m_xStart = 6000;
    map->m_xEnd = 5999;
    map->m_yStart = 0;
    map->m_yEnd = map->GetHeight();
    return map;
}

void BM_BuildScreenBitmap(benchmark::State& state)
{
    WorldMap* map = MakeNoiseMap();
    CRectMapView view;
    view.BuildScreenBitmap(map);  // the first build makes the images
    const Image* screen = view.GetScreen();
    const size_t bytes = static_cast<size_t>(screen->GetWidth()) * screen->GetHeight() * 3;
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    double rebuildSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        view.BuildScreenBitmap(map);
        benchmark::DoNotOptimize(view.GetScreen()->GetData());
        const auto t1 = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        rebuildSeconds += seconds;
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["x_memcpy"] = copySeconds > 0 ? rebuildSeconds / copySeconds : 0;
    map->Release();
}
BENCHMARK(BM_BuildScreenBitmap)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
