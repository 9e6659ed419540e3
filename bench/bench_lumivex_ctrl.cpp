// The viewer control's moving frames. RollColumns: one world-map spin tick
// of a full circle on an 8000 x 1500 RGB view image against a memmove of the
// same bytes in the same run (ratio counter: roll over memmove). Reduced
// frame: one timer tick of a 1600 x 1000 control in the perspective view
// (half-size render plus the stretched drawing) against the view engine's
// own render of the same 800 x 500 frame (ratio counter: tick over render).
// The tick puts the frame onto the window band by band as the engine
// finishes it; two_pass_ms is the same tick rendering the whole frame first
// and stretching it after (two_pass_ratio over the render), banded_ms the
// engine's render handing each band to a caller that does nothing with it
// (the cost of the hand-over itself). fill_ms sets the rectangle the tick
// draws on the control's own 32-bit surface to one value (floor_ratio: the
// render plus that fill over the render, the least any tick can take), and
// frame_bench_ms is the view engine's frame benchmark (1280 x 720, 90 degrees,
// nearest) on the same world map (frame_bench_ratio: tick over it).
// DrawMovingFrame: the drawing part of such a tick alone, a 776 x 485 frame
// shown at 1552 x 970 on a 1600 x 1000 window surface of 32-bit pixels:
// 0 enlarges into a frame of its own and stretches that one to one (the
// 24 to 32-bit copy), 1 stretches straight onto the surface, 2 the same
// without SIMD, 3 only fills the same surface rows (the floor of any
// drawing that puts the frame on the surface).
#include "platform/win/runtime.h"
#include "platform/win/window_dc.h"
#include "platform/win/wnd.h"
#include "viewer/lumivex/lumivex_ctrl.h"
#include "viewer/lumivex/lumivex_module.h"
#include "viewer/lumivex/view_enlarge.h"
#include "viewer/lumivex/view_frame_draw.h"
#include "viewer/engine/row_bands.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 8000, kHeight = 1500;

template <class F>
double BestSeconds(F work, int runs)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void RollColumns(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::unique_ptr<Image, void (*)(Image*)> image(new Image(), [](Image* p) { ReleaseImage(p); });
    image->BmpInit(kWidth, kHeight, 3);
    std::mt19937 rng(7);
    for (size_t i = 0; i < image->GetDataSize(); i += 64) image->GetData()[i] = static_cast<unsigned char>(rng());
    std::vector<uint8_t> buffer;
    std::vector<uint8_t> other(image->GetDataSize());
    const size_t bytes = image->GetDataSize();
    for (auto _ : state) {
        RollImageColumns(*image, n, buffer);
        benchmark::DoNotOptimize(image->GetData());
    }
    const double roll = BestSeconds([&] { RollImageColumns(*image, n, buffer); }, 15);
    const double move = BestSeconds(
        [&] {
            std::memmove(other.data(), image->GetData(), bytes);
            benchmark::DoNotOptimize(other.data());
        },
        15);
    state.counters["roll_ms"] = roll * 1e3;
    state.counters["memmove_ms"] = move * 1e3;
    state.counters["ratio"] = roll / move;
}
BENCHMARK(RollColumns)->Arg(-1)->Arg(-10)->Arg(250)->Arg(-3999)->Unit(benchmark::kMillisecond);

void DrawMovingFrame(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const int sw = 776, sh = 485, dw = 2 * sw, dh = 2 * sh;
    std::unique_ptr<Image, void (*)(Image*)> frame(new Image(), [](Image* p) { ReleaseImage(p); });
    std::unique_ptr<Image, void (*)(Image*)> shown(new Image(), [](Image* p) { ReleaseImage(p); });
    frame->BmpInit(sw, sh, 3);
    shown->BmpInit(dw, dh, 3);
    std::mt19937 rng(11);
    for (size_t i = 0; i < frame->GetDataSize(); ++i) frame->GetData()[i] = static_cast<unsigned char>(rng());
    auto surface = std::make_shared<std::vector<unsigned char>>(size_t{1600} * 1000 * 4, 0);
    CDC dc;
    dc.AttachPixels(surface, surface->data(), 1600, 1000, 1600 * 4, 4);
    dc.SetStretchBltMode(COLORONCOLOR);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = dw;
    header.biHeight = -dh;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const int x = 24, y = 15;
    for (auto _ : state) {
        if (kind == 0) {
            EnlargeViewFrame(*frame, *shown);
            StretchDIBits(&dc, x, y, dw, dh, 0, 0, dw, dh, shown->GetData(), reinterpret_cast<const BITMAPINFO*>(&header),
                          DIB_RGB_COLORS, SRCCOPY);
        } else if (kind == 1) {
            DrawViewFrame(dc, x, y, dw, dh, *frame);
        } else if (kind == 2) {
            DrawViewFramePlain(dc, x, y, dw, dh, *frame);
        } else {
            // The floor of any drawing that fills these pixels: the same
            // rows set to one value, in the same row bands.
            viewengine::ForEachRowBand(0, dh - 1, int64_t{dw} * dh, [&](int first, int last) {
                for (int j = first; j <= last; ++j)
                    std::memset(surface->data() + (size_t(y + j) * 1600 + x) * 4, j, size_t(dw) * 4);
            });
        }
        benchmark::DoNotOptimize(surface->data());
    }
}
BENCHMARK(DrawMovingFrame)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// The real test panorama with its world-map descriptor, in a temporary file.
std::string PanoramaFile()
{
    const std::string source = std::string(FENDRAKE_TESTDATA_DIR) + "/pannellum/examplepano.jpg";
    std::ifstream in(source, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() < 4) return {};
    std::vector<unsigned char> d(22, 0);
    std::memcpy(d.data(), "kqvz", 4);
    const uint32_t width = 4096;
    for (int i = 0; i < 4; ++i) d[static_cast<size_t>(4 + i)] = static_cast<unsigned char>(width >> (8 * i));
    const std::vector<unsigned char> head{0xFF, 0xFE, 0, 24};
    bytes.insert(bytes.begin() + 2, d.begin(), d.end());
    bytes.insert(bytes.begin() + 2, head.begin(), head.end());
    const std::string out = (std::filesystem::temp_directory_path() / "bench_lumivex_ctrl.jpg").string();
    std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
    return out;
}

void ReducedFrame(benchmark::State& state)
{
    win::InitRuntime();
    LumivexModule().InitInstance();
    const std::string file = PanoramaFile();
    CWnd host;
    host.CreateEx(0, nullptr, "bench", WS_POPUP | WS_VISIBLE, RECT{0, 0, 1600, 1000}, nullptr, 0);
    auto ctrl = std::make_unique<CLumivexCtrl>();
    ctrl->CreateControl(&host, RECT{0, 0, 1600, 1000}, 1);
    ctrl->SetProperty("FileName", file);
    ctrl->SetViewMode(CLumivexCtrl::kPerspectiveView, false);
    ctrl->worker->Wait();
    win::PumpPendingMessages();
    if (!ctrl->loaded || !ctrl->faceList) {
        state.SkipWithError("the panorama did not load");
        return;
    }
    // A latched spin of 20 pixels of drag: every tick moves and renders.
    ctrl->startX = 0;
    ctrl->currentX = 20;
    ctrl->timerRunning = true;
    auto tick = [&] { ctrl->SendMessage(WM_TIMER, CLumivexCtrl::kTimerId, 0); };
    tick();
    for (auto _ : state) tick();
    // The engine alone: the same half-size view, angles, field of view.
    std::unique_ptr<Image, void (*)(Image*)> view(new Image(), [](Image* p) { ReleaseImage(p); });
    view->BmpInit(ctrl->srcW / 2, ctrl->srcH / 2, 3);
    CViewFaceList faces;
    if (!faces.Init(ctrl->worldMap, ctrl->zoom, view.get()) || faces.GetCount() == 0) {
        state.SkipWithError("the engine gives no faces");
        return;
    }
    auto render = [&] {
        faces.Render(ctrl->viewParams.get(), ctrl->fov, ctrl->viewParams->GetRoll(), false, false, true);
    };
    auto renderBanded = [&] {
        faces.Render(ctrl->viewParams.get(), ctrl->fov, ctrl->viewParams->GetRoll(), false, false, true,
                     [](int, int) {});
    };
    auto twoPassTick = [&] {
        ctrl->drawWhileRendering = false;
        tick();
        ctrl->drawWhileRendering = true;
    };
    // The floor of putting any frame on the window: the rectangle the tick
    // fills, set to one value on the control's own surface in the same bands.
    CClientDC dc(ctrl.get());
    CDC::DirectTarget target;
    if (!dc.GetDirectTarget(target) || target.channels != 4 || ctrl->destX < 0 || ctrl->destY < 0 ||
        ctrl->destX + ctrl->srcW > target.width || ctrl->destY + ctrl->srcH > target.height) {
        state.SkipWithError("the control's window has no 32-bit surface to fill");
        return;
    }
    auto fill = [&] {
        viewengine::ForEachRowBand(0, ctrl->srcH - 1, int64_t{ctrl->srcW} * ctrl->srcH, [&](int first, int last) {
            for (int j = first; j <= last; ++j)
                std::memset(target.data + (ctrl->destY + j) * target.rowBytes + int64_t{ctrl->destX} * 4, j,
                            size_t(ctrl->srcW) * 4);
        });
        benchmark::DoNotOptimize(target.data);
    };
    // The view engine's frame benchmark on the same world map: a 1280 x 720
    // frame, 90 degrees across, nearest sampling.
    std::unique_ptr<Image, void (*)(Image*)> benchView(new Image(), [](Image* p) { ReleaseImage(p); });
    benchView->BmpInit(1280, 720, 3);
    CViewFaceList benchFaces;
    if (!benchFaces.Init(ctrl->worldMap, 1.0f, benchView.get()) || benchFaces.GetCount() == 0) {
        state.SkipWithError("the engine gives no faces for its benchmark frame");
        return;
    }
    CViewParams benchParams;
    benchParams.yaw = 0.3f;
    auto benchFrame = [&] { benchFaces.Render(&benchParams, 1.5707963f, 0.0f, false, false, true); };
    // Each the best of runs back to back (its own data warm), the rounds
    // taken in turns so that a busy moment of the machine weighs on all of
    // them alike.
    double control = 1e9, engine = 1e9, banded = 1e9, twoPass = 1e9, filled = 1e9, frameBench = 1e9;
    for (int round = 0; round < 5; ++round) {
        engine = std::min(engine, BestSeconds(render, 15));
        control = std::min(control, BestSeconds(tick, 15));
        banded = std::min(banded, BestSeconds(renderBanded, 15));
        twoPass = std::min(twoPass, BestSeconds(twoPassTick, 15));
        filled = std::min(filled, BestSeconds(fill, 15));
        frameBench = std::min(frameBench, BestSeconds(benchFrame, 15));
    }
    state.counters["tick_ms"] = control * 1e3;
    state.counters["engine_ms"] = engine * 1e3;
    state.counters["ratio"] = control / engine;
    state.counters["banded_ms"] = banded * 1e3;
    state.counters["two_pass_ms"] = twoPass * 1e3;
    state.counters["two_pass_ratio"] = twoPass / engine;
    state.counters["fill_ms"] = filled * 1e3;
    state.counters["floor_ratio"] = (engine + filled) / engine;
    state.counters["frame_bench_ms"] = frameBench * 1e3;
    state.counters["frame_bench_ratio"] = control / frameBench;
    state.counters["view_w"] = ctrl->viewImage->GetWidth();
    state.counters["faces"] = faces.GetCount();
    ctrl.reset();
    host.DestroyWindow();
    win::ResetRuntime();
    std::filesystem::remove(file);
}
BENCHMARK(ReducedFrame)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
