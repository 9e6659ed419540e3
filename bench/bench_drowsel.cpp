// The screen saver's two costs: the resampling of a picture once per load
// (a 12000 x 3000 panorama to a 1920 x 1080 screen at 70 % of its height)
// and the blit of one frame per tick (1920 columns of the 756-row display
// image). Each runs beside its floor: memcpy of the source bytes (every
// source row touched once) for the resampling, with the per-pixel reference
// of the same rule; memcpy of the blitted bytes for the tick.
#include "viewer/drowsel/drowsel_wnd.h"
#include "viewer/drowsel/picture_scale.h"

#include "imaging/image.h"
#include "platform/win/dib.h"
#include "platform/win/gdi.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kSourceWidth = 12000, kSourceHeight = 3000;
constexpr int kScreenWidth = 1920, kScreenHeight = 1080;

struct ImageRelease {
    void operator()(Image* image) const { ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageRelease>;

Image& Source()
{
    static Image* source = [] {
        auto* image = new Image(kSourceWidth, kSourceHeight, 3);
        std::mt19937 random(5);
        unsigned char* p = image->GetData();
        const size_t n = image->GetDataSize();
        for (size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>((i * 7 + (random() & 15)) & 0xFF);
        return image;
    }();
    return *source;
}

drowsel::DisplayPlan Plan()
{
    return drowsel::PlanDisplay(kSourceWidth, kSourceHeight, true, kScreenWidth, kScreenHeight, 70);
}

void BM_ResampleMemcpyFloor(benchmark::State& state)
{
    const Image& source = Source();
    std::vector<unsigned char> copy(source.GetDataSize());
    for (auto _ : state) {
        std::memcpy(copy.data(), source.GetData(), copy.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(copy.size()));
}

void BM_ResampleFast(benchmark::State& state)
{
    const drowsel::DisplayPlan plan = Plan();
    for (auto _ : state) {
        ImagePtr out(drowsel::ResampleBilinear(Source(), plan.displayWidth, plan.displayHeight));
        benchmark::DoNotOptimize(out.get());
    }
    state.counters["display_width"] = plan.displayWidth;
    state.counters["display_height"] = plan.displayHeight;
}

void BM_ResampleFastOneThread(benchmark::State& state)
{
    const drowsel::DisplayPlan plan = Plan();
    for (auto _ : state) {
        ImagePtr out(drowsel::ResampleBilinear(Source(), plan.displayWidth, plan.displayHeight, 1));
        benchmark::DoNotOptimize(out.get());
    }
}

void BM_ResampleReference(benchmark::State& state)
{
    const drowsel::DisplayPlan plan = Plan();
    for (auto _ : state) {
        ImagePtr out(drowsel::ResampleBilinearReference(Source(), plan.displayWidth, plan.displayHeight));
        benchmark::DoNotOptimize(out.get());
    }
}

// The window surface of a 1920 x 1080 screen (B, G, R, unused) and the
// display image the saver blits into it.
struct TickScene {
    TickScene()
        : surface(static_cast<size_t>(kScreenWidth) * kScreenHeight * 4, 0),
          info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0)
    {
        const drowsel::DisplayPlan plan = Plan();
        picture.reset(drowsel::ResampleBilinear(Source(), plan.displayWidth, plan.displayHeight));
        offsetY = plan.offsetY;
        auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
        header->biSize = sizeof(BITMAPINFOHEADER);
        header->biWidth = picture->GetWidth();
        header->biHeight = -picture->GetHeight();
        header->biPlanes = 1;
        header->biBitCount = 24;
        dc.AttachPixels(std::shared_ptr<void>(surface.data(), [](void*) {}), surface.data(), kScreenWidth,
                        kScreenHeight, kScreenWidth * 4, 4);
    }
    std::vector<unsigned char> surface;
    std::vector<unsigned char> info;
    ImagePtr picture;
    int offsetY = 0;
    CDC dc;
};

void BM_TickBlit(benchmark::State& state)
{
    TickScene scene;
    const int height = scene.picture->GetHeight();
    int scroll = 0;
    for (auto _ : state) {
        SetDIBitsToDevice(&scene.dc, 0, scene.offsetY, kScreenWidth, static_cast<DWORD>(height), scroll, 0, 0,
                          static_cast<UINT>(height), scene.picture->GetData(),
                          reinterpret_cast<BITMAPINFO*>(scene.info.data()), DIB_RGB_COLORS);
        scroll = (scroll + 7) % (scene.picture->GetWidth() - kScreenWidth);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kScreenWidth * 3 * height);
}

void BM_TickMemcpyFloor(benchmark::State& state)
{
    TickScene scene;
    const int height = scene.picture->GetHeight();
    const size_t bytes = static_cast<size_t>(kScreenWidth) * 3;
    std::vector<unsigned char> out(bytes * height);
    for (auto _ : state) {
        for (int y = 0; y < height; ++y)
            std::memcpy(out.data() + bytes * y, scene.picture->GetData() + size_t(y) * scene.picture->GetRowByte(),
                        bytes);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
}

}  // namespace

BENCHMARK(BM_ResampleMemcpyFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResampleFast)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResampleFastOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResampleReference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TickMemcpyFloor)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TickBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();
