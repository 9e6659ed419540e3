// Throughput of the display drawing and of the page images, each beside a
// memcpy of the same destination bytes measured in the same run.
#include "viewkit/data_viewer_wnd.h"
#include "viewkit/mag_glass.h"
#include "viewkit/printing.h"

#include "testkit/testkit.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

class BenchView : public DataViewerWnd {
public:
    int Notify(int, WorldMap*, std::uintptr_t) override { return 0; }
    void SetScreen(Image* image)
    {
        m_screen = RefPtr<Image>::share(image);
        SetSelectionRect(nullptr);
        UpdateViewSize();
    }
};

void BM_Memcpy4000x2000(benchmark::State& state)
{
    std::vector<unsigned char> from(4000u * 2000 * 3, 7), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(to.size()));
}
BENCHMARK(BM_Memcpy4000x2000)->Unit(benchmark::kMillisecond);

void BM_DrawBkground(benchmark::State& state)
{
    const float zoom = state.range(0) / 100.0f;
    RefPtr<Image> screen = RefPtr<Image>::adopt(testkit::MakePatternImage(4000, 2000, 3, IMG_LAYOUT_BITMAP));
    RefPtr<Image> surface = RefPtr<Image>::adopt(new Image());
    surface->BmpInit(4000, 2000, 3);
    BenchView view;
    view.SetScreen(screen.get());
    view.ChangeZoom(zoom, zoom);
    CDC dc(surface.get());
    for (auto _ : state) {
        view.DrawBkground(&dc, screen.get(), RGB(0, 0, 0));
        benchmark::ClobberMemory();
    }
    // The bytes of the destination, as the memcpy line counts them.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4000 * 2000 * 3);
}
BENCHMARK(BM_DrawBkground)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_GetPageImageAllPages(benchmark::State& state)
{
    RefPtr<Image> panorama = RefPtr<Image>::adopt(new Image(16000, 8000, 3));
    CPrinting printing;
    printing.Init(panorama.get(), nullptr, nullptr, nullptr, nullptr, nullptr, 4.0f);
    int64_t bytes = 0;
    for (auto _ : state) {
        Image* page = nullptr;
        for (int n = 1; n <= printing.GetNumbPages(); ++n) {
            printing.GetPageImage(n, &page);
            bytes += static_cast<int64_t>(page->GetRowByte()) * page->GetHeight();
        }
        printing.GetPageImage(-1, &page);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_GetPageImageAllPages)->Unit(benchmark::kMillisecond);

}  // namespace
