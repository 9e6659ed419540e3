// Throughput of the display drawing and of the page images, each beside a
// memcpy of the same destination bytes measured in the same run.
#include "viewkit/data_viewer_wnd.h"
#include "viewkit/mag_glass.h"
#include "viewkit/printing.h"

#include "platform/win/runtime.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"
#include "viewkit/tests/viewkit_test_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

// memcpy of `bytes` bytes in this run, bytes a second: the yardstick each
// benchmark reports its ratio to.
double MemcpyRate(size_t bytes)
{
    std::vector<unsigned char> from(bytes, 7), to(bytes);
    std::memcpy(to.data(), from.data(), bytes);  // the pages are mapped before the clock starts
    const int rounds = 8;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return static_cast<double>(bytes) * rounds / seconds;
}

// Bytes a second of the loop (timed from `start`) and their ratio to memcpy
// of as many bytes.
void Report(benchmark::State& state, int64_t bytesPerIteration, std::chrono::steady_clock::time_point start)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytesPerIteration);
    const double rate = static_cast<double>(bytesPerIteration) * static_cast<double>(state.iterations()) / seconds;
    state.counters["vs_memcpy"] = rate / MemcpyRate(static_cast<size_t>(bytesPerIteration));
}


void BM_DrawBkground(benchmark::State& state)
{
    const float zoom = state.range(0) / 100.0f;
    RefPtr<Image> screen = RefPtr<Image>::adopt(testkit::MakePatternImage(4000, 2000, 3, IMG_LAYOUT_BITMAP));
    RefPtr<Image> surface = RefPtr<Image>::adopt(new Image());
    surface->BmpInit(4000, 2000, 3);
    viewkit_test::TestView view;
    view.SetScreen(screen.get());
    view.ChangeZoom(zoom, zoom);
    CDC dc(surface.get());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        view.DrawBkground(&dc, screen.get(), RGB(0, 0, 0));
        benchmark::ClobberMemory();
    }
    // The bytes written: the view's.
    int width = 0, height = 0;
    view.GetViewSize(width, height);
    Report(state, int64_t{width} * height * 3, start);
}
BENCHMARK(BM_DrawBkground)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_GetPageImageAllPages(benchmark::State& state)
{
    RefPtr<Image> panorama = RefPtr<Image>::adopt(new Image(16000, 8000, 3));
    CPrinting printing;
    printing.Init(panorama.get(), nullptr, nullptr, nullptr, nullptr, nullptr, 4.0f);
    int64_t bytes = 0;
    Image* page = nullptr;
    for (int n = 1; n <= printing.GetNumbPages(); ++n) {
        printing.GetPageImage(n, &page);
        bytes += static_cast<int64_t>(page->GetWidth()) * page->GetHeight() * 3;
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int n = 1; n <= printing.GetNumbPages(); ++n) printing.GetPageImage(n, &page);
    }
    printing.GetPageImage(-1, &page);
    Report(state, bytes, start);
}
BENCHMARK(BM_GetPageImageAllPages)->Unit(benchmark::kMillisecond);

// A 10-pixel move of the magnifier over a 640 x 480 view: the capture
// scrolls in memory and two strips are read back.
void BM_MagGlassDisplay10px(benchmark::State& state)
{
    win::InitRuntime();
    {
        CWnd parent;
        parent.CreateEx(0, nullptr, "view", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 700, 500}, nullptr, 0);
        CMagGlass glass;
        glass.Create(nullptr, "", WS_CHILD, RECT{0, 0, 96, 96}, &parent, 1);
        RefPtr<Image> view = RefPtr<Image>::adopt(testkit::MakePatternImage(640, 480, 3, IMG_LAYOUT_BITMAP));
        CDC dc(view.get());
        glass.Init(200, 200);
        glass.Update(&dc);
        int step = 0;
        for (auto _ : state) {
            const int x = 200 + 10 * (step % 20);
            const int y = 200 + 10 * ((step / 20) % 2);
            glass.Display(&dc, x, y, 700, 500);
            ++step;
        }
    }
    win::ResetRuntime();
}
BENCHMARK(BM_MagGlassDisplay10px)->Unit(benchmark::kMicrosecond);

}  // namespace
