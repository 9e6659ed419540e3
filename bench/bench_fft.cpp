// The 2-D real Fourier transform against FFTW (FFTW_ESTIMATE plans, single
// precision, real-to-complex): time per transform and our ratio to FFTW.
#include "geometry/fftkit/fft.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<float> RandomImage(int n)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(0.0f, 255.0f);
    std::vector<float> v(static_cast<size_t>(n) * n);
    for (float& x : v) x = dist(rng);
    return v;
}

// Each iteration times our in-place Forward (on a fresh copy of the image)
// and FFTW's r2c plan on the same image; "ratio" is ours over FFTW.
void BM_ForwardRatioToFftw(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> image = RandomImage(n);
    std::unique_ptr<FFT> fft(GetFftInterface());
    if (!fft || !fft->Setup(n, n, false)) {
        state.SkipWithError("Setup refused the size");
        return;
    }
    std::vector<float> ours(image.size());
    float* in = fftwf_alloc_real(image.size());
    fftwf_complex* out = fftwf_alloc_complex(static_cast<size_t>(n) * (n / 2 + 1));
    fftwf_plan plan = fftwf_plan_dft_r2c_2d(n, n, in, out, FFTW_ESTIMATE);
    std::memcpy(in, image.data(), image.size() * sizeof(float));
    double oursSeconds = 0, fftwSeconds = 0;
    for (auto _ : state) {
        std::memcpy(ours.data(), image.data(), image.size() * sizeof(float));
        const auto t0 = Clock::now();
        fft->Forward(ours.data());
        const auto t1 = Clock::now();
        fftwf_execute(plan);
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(ours.data());
        benchmark::DoNotOptimize(out);
        const double a = std::chrono::duration<double>(t1 - t0).count();
        oursSeconds += a;
        fftwSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(a);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_us"] = 1e6 * oursSeconds / iterations;
    state.counters["fftw_us"] = 1e6 * fftwSeconds / iterations;
    state.counters["ratio"] = oursSeconds / fftwSeconds;
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_ForwardRatioToFftw)
    ->Arg(64)->Arg(128)->Arg(256)->Arg(512)
    ->Arg(96)->Arg(192)->Arg(384)
    // Shared machines are noisy: read the median of the repetitions.
    ->Repetitions(3)->DisplayAggregatesOnly(true)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

// The inverse against FFTW's c2r plan (which may clobber its input, so both
// start from a fresh copy of the spectrum).
void BM_InverseRatioToFftw(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<float> spectrum = RandomImage(n);
    std::unique_ptr<FFT> fft(GetFftInterface());
    if (!fft || !fft->Setup(n, n, false)) {
        state.SkipWithError("Setup refused the size");
        return;
    }
    fft->Forward(spectrum.data());
    const size_t complexCount = static_cast<size_t>(n) * (n / 2 + 1);
    std::vector<float> ours(spectrum.size());
    fftwf_complex* in = fftwf_alloc_complex(complexCount);
    float* out = fftwf_alloc_real(spectrum.size());
    fftwf_plan plan = fftwf_plan_dft_c2r_2d(n, n, in, out, FFTW_ESTIMATE);
    std::vector<float> source(2 * complexCount);
    for (size_t i = 0; i < source.size(); ++i) source[i] = spectrum[i % spectrum.size()];
    double oursSeconds = 0, fftwSeconds = 0;
    for (auto _ : state) {
        std::memcpy(ours.data(), spectrum.data(), spectrum.size() * sizeof(float));
        std::memcpy(in, source.data(), source.size() * sizeof(float));
        const auto t0 = Clock::now();
        fft->Inverse(ours.data());
        const auto t1 = Clock::now();
        fftwf_execute(plan);
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(ours.data());
        benchmark::DoNotOptimize(out);
        const double a = std::chrono::duration<double>(t1 - t0).count();
        oursSeconds += a;
        fftwSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(a);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_us"] = 1e6 * oursSeconds / iterations;
    state.counters["fftw_us"] = 1e6 * fftwSeconds / iterations;
    state.counters["ratio"] = oursSeconds / fftwSeconds;
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_InverseRatioToFftw)
    ->Arg(64)->Arg(256)->Arg(512)->Arg(384)
    ->Repetitions(3)->DisplayAggregatesOnly(true)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
