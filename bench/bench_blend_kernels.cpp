// The blending driver's two kernels: the scene maker projecting a 2000 x 1500
// photograph onto a sphere of 7200 samples (samples per second, and against
// Debian's ffmpeg v360 filter on the same photograph and output grid), and
// the in-process multi-band merge (3 levels) of one such frame into a map
// that holds its left neighbour. Then a whole ring of 8 frames (1000 x 750,
// 60 degrees across, 45 degrees apart, the closing seam across +-180
// degrees) blended with 3 levels: our merge into the map (and the plain path
// it replaced, for the before and after in one run) against Debian's enblend
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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <sched.h>
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

// ---- MakeScene against Debian's ffmpeg (v360, flat to equirectangular) ----
//
// The same 2000 x 1500 photograph, the same field of view and the same grid
// of output samples: the scene's bounding box of rows and columns at 7200
// samples around the sphere, asked of ffmpeg as an equirectangular output of
// that many samples and that field of view (bilinear, one filter thread).
// ffmpeg runs as a child process outside the timed loop, one frame; its
// start-up and the reading of the raw frame are taken off by a run with the
// null filter on the same input. Arg 0: MakeScene on all cores; arg 1: the
// process pinned to one core for the duration, a like-for-like single-thread
// figure.

double MedianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// CPU seconds (user and system) of this process or of its waited-for
// children so far.
double CpuSeconds(int who)
{
    struct rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Wall and CPU seconds of `command`; false when it fails.
bool TimedRun(const std::string& command, double& wall, double& cpu)
{
    const double c0 = CpuSeconds(RUSAGE_CHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const auto t1 = std::chrono::steady_clock::now();
    wall = std::chrono::duration<double>(t1 - t0).count();
    cpu = CpuSeconds(RUSAGE_CHILDREN) - c0;
    return status == 0;
}

void BM_MakeSceneVsFfmpeg(benchmark::State& state)
{
    const bool oneCore = state.range(0) == 1;
    Image* img = Photo();
    const TRANSFORM_RS t = Placement(0.0f);

    // The scene's box of rows and columns.
    int rowMin = INT32_MAX, rowMax = INT32_MIN, colMin = INT32_MAX, colMax = INT32_MIN;
    int64_t inside = 0;
    {
        auto file = Scene(img, t);
        const List* bands = file->GetBandList();
        for (int b = 0; b < bands->m_count; ++b) {
            const auto* band = static_cast<const CBand*>(bands->GetData(b));
            rowMin = std::min(rowMin, band->m_row), rowMax = std::max(rowMax, band->m_row);
            for (int s = 0; s < band->m_numSectors; ++s) {
                colMin = std::min(colMin, band->m_sectors[s]->m_first);
                colMax = std::max(colMax, band->m_sectors[s]->m_last);
                inside += band->m_sectors[s]->GetNumSamples();
            }
        }
    }
    const int boxW = colMax - colMin + 1, boxH = rowMax - rowMin + 1;
    const double degPerSample = 360.0 / kSamples;

    // The photograph as raw planar GBR, the form the filter works in.
    char dir[] = "/tmp/fendrake_v360_XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        ReleaseImage(img);
        return;
    }
    const std::string raw = std::string(dir) + "/photo.gbrp";
    if (FILE* f = std::fopen(raw.c_str(), "wb")) {
        std::vector<uint8_t> plane(static_cast<size_t>(kW) * kH);
        for (int c : {1, 2, 0}) {
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    plane[static_cast<size_t>(y) * kW + x] = img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + 3 * x + c];
            std::fwrite(plane.data(), 1, plane.size(), f);
        }
        std::fclose(f);
    }
    const double toDeg = 180.0 / 3.14159265358979;
    const double ihFov = 2 * std::atan(kW / 2.0 * t.rcpFocal) * toDeg, ivFov = 2 * std::atan(kH / 2.0 * t.rcpFocal) * toDeg;
    char filter[512];
    std::snprintf(filter, sizeof filter,
                  "v360=input=flat:output=e:interp=line:ih_fov=%.6f:iv_fov=%.6f:h_fov=%.6f:v_fov=%.6f:w=%d:h=%d", ihFov,
                  ivFov, boxW * degPerSample, boxH * degPerSample, boxW, boxH);
    const std::string head = "ffmpeg -hide_banner -loglevel error -nostdin -filter_threads 1 -threads 1 -f rawvideo "
                             "-pix_fmt gbrp -s " + std::to_string(kW) + "x" + std::to_string(kH) + " -i '" + raw + "' ";
    const std::string tail = " -threads 1 -frames:v 1 -f null - > /dev/null 2>&1";
    std::vector<double> v360Wall, v360Cpu, baseWall, baseCpu;
    bool ran = true;
    for (int k = 0; k < 3 && ran; ++k) {
        double w, c;
        ran = TimedRun(head + "-vf '" + filter + "'" + tail, w, c);
        v360Wall.push_back(w), v360Cpu.push_back(c);
        ran = ran && TimedRun(head + "-vf null" + tail, w, c);
        baseWall.push_back(w), baseCpu.push_back(c);
    }
    std::remove(raw.c_str());
    std::remove(dir);
    if (!ran) {
        std::fprintf(stderr, "ffmpeg is missing or failed (package ffmpeg): %s\n", (head + "-vf '" + filter + "'" + tail).c_str());
        state.SkipWithError("ffmpeg is missing or failed (package ffmpeg)");
        ReleaseImage(img);
        return;
    }
    const double ffmpegWall = std::max(1e-6, MedianOf(v360Wall) - MedianOf(baseWall));
    const double ffmpegCpu = std::max(1e-6, MedianOf(v360Cpu) - MedianOf(baseCpu));

    cpu_set_t saved;
    CPU_ZERO(&saved);
    sched_getaffinity(0, sizeof saved, &saved);
    if (oneCore) {
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &saved)) {
                CPU_SET(c, &one);
                break;
            }
        sched_setaffinity(0, sizeof one, &one);
    }
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const auto wall0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        auto file = Scene(img, t);
        benchmark::DoNotOptimize(file.get());
    }
    const double oursWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count() /
                            static_cast<double>(state.iterations());
    const double oursCpu = (CpuSeconds(RUSAGE_SELF) - cpu0) / static_cast<double>(state.iterations());
    if (oneCore) sched_setaffinity(0, sizeof saved, &saved);
    ReleaseImage(img);

    // Samples per second of the box, by wall time and by CPU time (the
    // machine is shared: the CPU figures are the steadier ones); the ratios
    // are ours over ffmpeg's.
    const double box = static_cast<double>(boxW) * boxH;
    state.counters["box samples"] = box;
    state.counters["inside samples"] = static_cast<double>(inside);
    state.counters["ours wall samples/s"] = box / oursWall;
    state.counters["ffmpeg wall samples/s"] = box / ffmpegWall;
    state.counters["ours cpu samples/s"] = box / oursCpu;
    state.counters["ffmpeg cpu samples/s"] = box / ffmpegCpu;
    state.counters["ratio wall"] = ffmpegWall / oursWall;
    state.counters["ratio cpu"] = ffmpegCpu / oursCpu;
}
BENCHMARK(BM_MakeSceneVsFfmpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        WorldMap map(kRingSamples, &ring.region, 0, 3);
        map.AddData(ring.scenes[0].get(), -100000, 100000, false);
        for (int k = 1; k < kRingFrames; ++k) {
            TRANSFORM_RS t = ring.placements[static_cast<size_t>(k)];
            merge(ring.scenes[static_cast<size_t>(k)].get(), &map, &t, kRingBw, 0, kRingLevels, k == kRingFrames - 1, 0);
        }
        benchmark::DoNotOptimize(map.GetData());
    }
    // CPU seconds of all threads: steadier than wall time on a shared machine.
    state.counters["cpu s per ring"] = (CpuSeconds(RUSAGE_SELF) - cpu0) / static_cast<double>(state.iterations());
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
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        const int status = std::system(command.c_str());
        if (status != 0) {
            state.SkipWithError(("enblend failed or is missing (package enblend): " + command).c_str());
            break;
        }
    }
    state.counters["child cpu s per run"] = (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / static_cast<double>(state.iterations());
    struct rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["child peak RSS MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::remove(out.c_str());
    for (const std::string& chip : chips) std::remove(chip.c_str());
}
BENCHMARK(BM_RingEnblend)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
