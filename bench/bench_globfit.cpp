// Global alignment of a 100-frame multi-row sphere (seven rows, 1.2 megapixel
// frames) with 50 marker pairs per overlapping pair: the Levenberg-Marquardt
// solve from placements turned by up to 1.5 degrees and focal lengths 4 %
// off, in the shared-focal mode and with one distortion coefficient. Reports
// the solve time with the frame, pair and marker counts and, as a check that
// it converged, the largest rotation error left (degrees).
#include "adjust/globfit/global_align.h"
#include "adjust/globfit/globfit_settings.h"
#include "adjust/globfit/tests/synthetic_panorama.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::unique_ptr<synthetic::Panorama> MakeSphere()
{
    synthetic::Options options;
    options.markersPerPair = 50;
    options.noise = 0.2;
    return std::make_unique<synthetic::Panorama>(
        synthetic::Sphere({-72, -48, -24, 0, 24, 48, 72}, {6, 14, 19, 22, 19, 14, 6}, 1000.0, 1200, 800),
        options);
}

void AlignSphere(benchmark::State& state)
{
    static std::unique_ptr<synthetic::Panorama> pano = MakeSphere();
    const int settings = static_cast<int>(state.range(0));
    double worst = 0.0;
    float error = 0.0f;
    int markers = 0;
    for (auto _ : state) {
        state.PauseTiming();
        pano->Perturb(1.5, 1.04);
        GlobalAlign solver(settings, 0.0f);
        solver.Init(&pano->Group(), pano->List(), pano->Count(), pano->Pairs());
        state.ResumeTiming();
        error = solver.DoAlignment(0.0001f);
        state.PauseTiming();
        worst = pano->MaxRotationError();
        markers = solver.CountNmbMarkers();
        state.ResumeTiming();
    }
    state.counters["frames"] = pano->Count();
    state.counters["pairs"] = pano->Pairs();
    state.counters["markers"] = markers;
    state.counters["max_rot_err_deg"] = worst;
    state.counters["rms_px"] = markers ? std::sqrt(std::fabs(error) / markers) : 0.0;
}

}  // namespace

BENCHMARK(AlignSphere)
    ->Arg(globfit::kFocalShared)
    ->Arg(globfit::kFocalShared | globfit::kEstimateDistortion)
    ->Unit(benchmark::kMillisecond)
    // Shared machines are noisy: read the median of the repetitions.
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);
