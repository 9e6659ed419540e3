// The blending driver's two kernels: the scene maker projecting a 2000 x 1500
// photograph onto a sphere of 7200 samples (samples per second), and the
// in-process multi-band merge (3 levels) of one such frame into a map that
// holds its left neighbour.
#include "imaging/image.h"
#include "platform/mergekit/merge_vantor.h"
#include "platform/panocore/make_vantor.h"
#include "platform/sceneio/kestova_file.h"
#include "worldmap/world_map.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

constexpr int kW = 2000, kH = 1500, kSamples = 7200;

Image* Photo()
{
    Image* img = new Image(kW, kH, 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW * 3; ++x)
            img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + x] = static_cast<uint8_t>(30 + (x * 7 + y * 3) % 200);
    return img;
}

TRANSFORM_RS Placement(float pan)
{
    TRANSFORM_RS t{};
    t.rcpFocal = static_cast<float>(60.0 * 3.14159265358979 / 180 / kW);  // 60 degrees across
    t.pan = pan;
    t.scale = 1.0f;
    return t;
}

std::unique_ptr<KestovaFile> Scene(Image* img, const TRANSFORM_RS& t)
{
    auto file = std::make_unique<KestovaFile>();
    file->SetNumChannel(3);
    file->SetEquatorSampleNum(kSamples);
    std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
    maker->MakeScene(img, file.get(), &t, 0, true, 1);
    return file;
}

void BM_MakeScene(benchmark::State& state)
{
    Image* img = Photo();
    const TRANSFORM_RS t = Placement(0.0f);
    int64_t samples = 0;
    for (auto _ : state) {
        auto file = Scene(img, t);
        const List* bands = file->GetBandList();
        for (int b = 0; b < bands->m_count; ++b) {
            const auto* band = static_cast<const CBand*>(bands->GetData(b));
            for (int s = 0; s < band->m_numSectors; ++s) samples += band->m_sectors[s]->GetNumSamples();
        }
    }
    state.counters["samples/s"] = benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
    ReleaseImage(img);
}
BENCHMARK(BM_MakeScene)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MergeVantorFile(benchmark::State& state)
{
    Image* img = Photo();
    const TRANSFORM_RS left = Placement(-0.35f), right = Placement(0.35f);
    auto first = Scene(img, left);
    auto second = Scene(img, right);
    REGION2 region{-0.6f, 0.6f, -1.2f, 1.2f, 2.4f, 1.2f};
    for (auto _ : state) {
        state.PauseTiming();
        WorldMap map(kSamples, &region, 0, 3);
        map.AddData(first.get(), -100000, 100000, false);
        TRANSFORM_RS t = right;
        state.ResumeTiming();
        CMergeVantorWM::MergeVantorFile(second.get(), &map, &t, 200, 0, 3, false, 0);
    }
    ReleaseImage(img);
}
BENCHMARK(BM_MergeVantorFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
