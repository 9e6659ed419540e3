// Rotation and zoom of a 4000 x 3000 RGB photograph, so regressions show.
#include "imaging/image.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

namespace {

Image* MakePhoto()
{
    auto* image = new Image();
    image->BmpInit(4000, 3000, 3);
    std::mt19937 rng(1);
    for (size_t i = 0; i < image->GetDataSize(); ++i) image->GetData()[i] = static_cast<unsigned char>(rng());
    return image;
}

void BM_Rotate90(benchmark::State& state)
{
    Image* image = MakePhoto();
    for (auto _ : state) {
        image->Rotate(90);
        benchmark::DoNotOptimize(image->GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4000 * 3000 * 3);
    ReleaseImage(image);
}
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);

void BM_Rotate180(benchmark::State& state)
{
    Image* image = MakePhoto();
    for (auto _ : state) {
        image->Rotate(180);
        benchmark::DoNotOptimize(image->GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4000 * 3000 * 3);
    ReleaseImage(image);
}
BENCHMARK(BM_Rotate180)->Unit(benchmark::kMillisecond);

// Memory copy of the same bytes: the floor every rotation is compared with.
void BM_Memcpy(benchmark::State& state)
{
    Image* image = MakePhoto();
    Image* copy = image->Duplicate();
    for (auto _ : state) {
        std::memcpy(copy->GetData(), image->GetData(), image->GetDataSize());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4000 * 3000 * 3);
    ReleaseImage(copy);
    ReleaseImage(image);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_ZoomImage(benchmark::State& state)
{
    Image* image = MakePhoto();
    const float zoom = static_cast<float>(state.range(0)) / 100.0f;
    for (auto _ : state) {
        Image* out = image->ZoomImage(0, 0, 4000, 3000, zoom, zoom);
        benchmark::DoNotOptimize(out->GetData());
        ReleaseImage(out);
    }
    state.SetLabel("zoom " + std::to_string(zoom));
    ReleaseImage(image);
}
BENCHMARK(BM_ZoomImage)->Arg(25)->Arg(50)->Arg(150)->Unit(benchmark::kMillisecond);

void BM_CreateStampImage(benchmark::State& state)
{
    Image* image = MakePhoto();
    for (auto _ : state) {
        Image* stamp = Image::CreateStampImage(image, 196);
        benchmark::DoNotOptimize(stamp->GetData());
        ReleaseImage(stamp);
    }
    ReleaseImage(image);
}
BENCHMARK(BM_CreateStampImage)->Unit(benchmark::kMillisecond);

}  // namespace
