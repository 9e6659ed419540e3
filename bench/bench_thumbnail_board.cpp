// The image browser's thumbnail board filling a folder of 200 JPEG photos
// (the Durlach photos and the larger photographs of the test data, repeated)
// through its worker until the finishing message, beside libjpeg-turbo
// decoding the same files at one-eighth scale on one thread. The board's
// share beyond the decode is scaling to 96 pixels and messaging. Also
// prints the longest single pass of the user-interface thread's message
// pump during a fill (an upper bound of any one handler's time).
#include "app/shell/dir_tree.h"
#include "app/shell/img_board.h"
#include "app/shell/img_browser.h"
#include "bench/jpeg_bench_ratio.h"
#include "imaging/list.h"
#include "platform/win/dynamic_library.h"
#include "platform/win/file_system.h"
#include "platform/win/runtime.h"
#include "platform/win/win_thread.h"
#include "platform/win/wnd.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 200;

std::vector<std::string> SourcePhotos()
{
    std::vector<std::string> photos;
    const std::string root = FENDRAKE_TESTDATA_DIR;
    for (const char* folder : {"huginsample-durlach/half", "huginsample-durlach/original", "skimage-tutorials-pano"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(root + "/" + folder, error)) {
            std::string ext = entry.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (ext == ".jpg") photos.push_back(entry.path().string());
        }
    }
    std::sort(photos.begin(), photos.end());
    return photos;
}

// A folder of 200 links to the photos, made once.
const std::vector<std::string>& Folder(std::string* where = nullptr)
{
    static std::string folder;
    static std::vector<std::string> files;
    if (files.empty()) {
        const std::vector<std::string> photos = SourcePhotos();
        folder = (fs::temp_directory_path() / "fendrake_bench_board").string();
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (int k = 0; k < kFiles && !photos.empty(); ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "img_%03d.jpg", k);
            fs::create_symlink(photos[static_cast<size_t>(k) % photos.size()], folder + "/" + name);
            files.push_back(folder + "/" + name);
        }
    }
    if (where) *where = folder;
    return files;
}

double g_longestPumpMs = 0;
// Process CPU time per run (every thread), so that a loaded machine's
// waiting shows apart from the work.
double g_fillCpuMs = 0;
double g_turboCpuMs = 0;

double ProcessCpuMs()
{
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void BM_BoardFill(benchmark::State& state)
{
    std::string folder;
    if (Folder(&folder).size() != static_cast<size_t>(kFiles)) {
        state.SkipWithError("the test photographs are missing");
        return;
    }
    win::ResetRuntime();
    SetDllDirectoryA(FENDRAKE_JPEGKIT_DIR);  // where Jpegkit.dll is
    win::MapDrive('E', folder);
    auto* browser = new CImgBrowser;
    if (!browser->Create(RECT{0, 0, 900, 600}, CImgBrowser::kDefaultState)) {
        state.SkipWithError("no browser");
        return;
    }
    browser->InitFolderTree("E:\\");
    CImgBoard* board = browser->GetBoard();
    board->SetListMode(false);  // starts a first fill

    const double cpuStart = ProcessCpuMs();
    for (auto _ : state) {
        board->ReadFolder();
        // Until the worker has ended and its last reports are handled.
        bool last = false;
        while (!last) {
            last = !board->IsLoading();
            const auto start = std::chrono::steady_clock::now();
            win::PumpPendingMessages();
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            g_longestPumpMs = std::max(g_longestPumpMs, ms);
            // An idle user-interface thread waits instead of spinning, so
            // that the worker has the core.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const int loaded = board->GetThumbnails() ? board->GetThumbnails()->m_count : 0;
        state.counters["thumbnails"] = loaded;
    }
    g_fillCpuMs = (ProcessCpuMs() - cpuStart) / static_cast<double>(state.iterations());
    browser->DestroyWindow();
    win::JoinWorkerThreads();
    win::ResetRuntime();
}

void BM_TurboEighth(benchmark::State& state)
{
    const std::vector<std::string>& files = Folder();
    std::vector<unsigned char> pixels;
    const double cpuStart = ProcessCpuMs();
    for (auto _ : state) {
        // Reading each file is part of the board's work too.
        for (const std::string& f : files) {
            std::ifstream in(f, std::ios::binary);
            std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            jpegbench::TurboDecodeBgr(bytes, 8, false, pixels);
            benchmark::DoNotOptimize(pixels.data());
        }
    }
    g_turboCpuMs = (ProcessCpuMs() - cpuStart) / static_cast<double>(state.iterations());
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("fill/ours/200", BM_BoardFill)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
    benchmark::RegisterBenchmark("fill/turbo/200", BM_TurboEighth)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
    const int status = jpegbench::RunWithRatios(argc, argv);
    std::printf("board fill time / one-eighth decode time: see 1 / speed ratio above (target at most 1.3)\n");
    if (g_turboCpuMs > 0)
        std::printf("process CPU per fill: board %.0f ms, decode %.0f ms, ratio %.2f\n", g_fillCpuMs, g_turboCpuMs,
                    g_fillCpuMs / g_turboCpuMs);
    std::printf("longest message pump pass during the fills: %.2f ms (target: no handler over 20 ms)\n", g_longestPumpMs);
    return status;
}
