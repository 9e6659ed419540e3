// The blending driver's two kernels: the scene maker projecting a 2000 x 1500
// photograph onto a sphere of 7200 samples (samples per second), and the
// in-process multi-band merge (3 levels) of one such frame into a map that
// holds its left neighbour. Then a whole ring of 8 frames (1000 x 750, 60
// degrees across, 45 degrees apart, the closing seam across +-180 degrees)
// blended with 3 levels: our merge into the map against Debian's enblend
// blending the same frames' chips to the same canvas (with wrap); the chips
// are written outside the timing, enblend's run is timed whole.
#include "imaging/image.h"
#include "platform/mergekit/enblend.h"
#include "platform/mergekit/merge_vantor.h"
#include "platform/mergekit/merge_vantor_reference.h"
#include "platform/panocore/make_vantor.h"
#include "platform/sceneio/kestova_file.h"
#include "worldmap/world_map.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>

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

// ---- A ring of 8 frames: our merge against enblend ----------------------

constexpr int kRingW = 1000, kRingH = 750, kRingFrames = 8, kRingSamples = 3600, kRingLevels = 3;
constexpr int kRingBw = kRingH * 20 / 100;  // the default 20 % of the smaller side
constexpr float kPiF = 3.14159265f;

struct Ring {
    std::vector<std::unique_ptr<KestovaFile>> scenes;
    std::vector<TRANSFORM_RS> placements;
    REGION2 region{-0.55f, 0.55f, -kPiF, kPiF, 2 * kPiF, 1.1f};
    Ring()
    {
        Image* img = new Image(kRingW, kRingH, 3);
        for (int k = 0; k < kRingFrames; ++k) {
            for (int y = 0; y < kRingH; ++y)
                for (int x = 0; x < kRingW * 3; ++x)
                    img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + x] =
                        static_cast<uint8_t>(30 + (x * 7 + y * 3 + k * 11) % 200);
            TRANSFORM_RS t{};
            t.rcpFocal = static_cast<float>(60.0 * 3.14159265358979 / 180 / kRingW);
            t.pan = std::remainder(static_cast<float>(k) * kPiF / 4, 2 * kPiF);
            t.scale = 1.0f;
            placements.push_back(t);
            auto file = std::make_unique<KestovaFile>();
            file->SetNumChannel(3);
            file->SetEquatorSampleNum(kRingSamples);
            std::unique_ptr<IMakeVantor> maker(GetMakeVantorInterface());
            maker->MakeScene(img, file.get(), &placements.back(), 0, true, 1);
            scenes.push_back(std::move(file));
        }
        ReleaseImage(img);
    }
};

Ring& TheRing()
{
    static Ring ring;
    return ring;
}

// The ring merged by `merge` (the threaded merge, or the plain path it
// replaced, for the before and after figures in one run).
template <typename Merge>
void MergeRing(benchmark::State& state, Merge merge)
{
    Ring& ring = TheRing();
    for (auto _ : state) {
        WorldMap map(kRingSamples, &ring.region, 0, 3);
        map.AddData(ring.scenes[0].get(), -100000, 100000, false);
        for (int k = 1; k < kRingFrames; ++k) {
            TRANSFORM_RS t = ring.placements[static_cast<size_t>(k)];
            merge(ring.scenes[static_cast<size_t>(k)].get(), &map, &t, kRingBw, 0, kRingLevels, k == kRingFrames - 1, 0);
        }
        benchmark::DoNotOptimize(map.GetData());
    }
}

void BM_RingMergeVantorFile(benchmark::State& state)
{
    MergeRing(state, CMergeVantorWM::MergeVantorFile);
}
BENCHMARK(BM_RingMergeVantorFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_RingMergeVantorFilePlainPath(benchmark::State& state)
{
    MergeRing(state, mergekit::MergeVantorFileReference);
}
BENCHMARK(BM_RingMergeVantorFilePlainPath)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_RingEnblend(benchmark::State& state)
{
    Ring& ring = TheRing();
    WorldMap map(kRingSamples, &ring.region, 0, 3);
    std::vector<KestovaFile*> files;
    std::vector<TRANSFORM_RS> copies = ring.placements;
    std::vector<TRANSFORM_RS*> placements;
    std::vector<uint8_t> codes(kRingFrames, 0);
    for (int k = 0; k < kRingFrames; ++k) {
        files.push_back(ring.scenes[static_cast<size_t>(k)].get());
        placements.push_back(&copies[static_cast<size_t>(k)]);
    }
    std::string blended;
    std::vector<std::string> chips;
    for (int k = 0; k < kRingFrames; ++k)
        if (!Enblend::mapChipSaveOneImage(k, kRingFrames, true, &map, files.data(), placements.data(), codes.data(),
                                          blended, chips, kRingBw, kRingLevels)) {
            state.SkipWithError("a chip could not be written");
            return;
        }
    const RECT* block = map.GetMapRect();
    const std::string out = blended + ".bench.tif";
    std::string command = "enblend -f " + std::to_string(block->right - block->left + 1) + "x" +
                          std::to_string(block->bottom - block->top + 1) + " -o '" + out + "' -w -l " +
                          std::to_string(kRingLevels);
    for (const std::string& chip : chips) command += " '" + chip + "'";
    command += " > /dev/null 2>&1";
    for (auto _ : state) {
        const int status = std::system(command.c_str());
        if (status != 0) {
            state.SkipWithError(("enblend failed or is missing (package enblend): " + command).c_str());
            break;
        }
    }
    struct rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["child peak RSS MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::remove(out.c_str());
    for (const std::string& chip : chips) std::remove(chip.c_str());
}
BENCHMARK(BM_RingEnblend)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
