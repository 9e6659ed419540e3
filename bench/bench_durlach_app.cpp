// The 25 Durlach photographs (huginsample-durlach/half) through the headless
// application as a user would run them: the tray arranged row by row so that
// consecutive frames overlap (see TrayOrder), Stitch (matching with Hollet,
// the pair solves, the global alignment and leveling after the pairs), Blend
// in process, and the map saved as a JPEG through the file front door. One
// run; the figures are counters: wall time per stage (matching up to the
// first pair solve, then the pair solves with the alignment and leveling,
// blend, save), peak RSS (this process and its children), photos placed and
// the residual RMS of the markers.
//
// With DURLACH_HUGIN=1 the same photographs also go through Debian's
// hugin-tools pipeline (pto_gen, cpfind --multirow, cpclean, autooptimiser
// -a -m, pano_modify, nona, enblend), timed whole with its peak RSS.
#include "app/control/image_chain.h"
#include "app/control/stitch_driver.h"
#include "app/control/stitch_pair.h"
#include "app/control/stitch_wiring.h"
#include "app/control/super_manager.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/shell/main_frame.h"
#include "app/shell/stitch_bar.h"
#include "core/file_records.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/dynamic_library.h"
#include "platform/win/prompter.h"
#include "platform/win/runtime.h"
#include "platform/win/win_thread.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/image_file.h"
#include "worldmap/world_map.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Pumps until the run is idle; `firstPair`, when given, receives the moment the
// first pair solve began (the end of the matching), else the end.
bool PumpUntilIdle(SuperManager& manager, int limitMs, Clock::time_point* firstPair = nullptr)
{
    CStitchBar& bar = *manager.GetStitchBar();
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    bool seen = false;
    PumpPendingMessages();
    while (Clock::now() < end) {
        PumpPendingMessages();
        if (firstPair && !seen && GetStitchThreadBlock()->busy != 0) {
            *firstPair = Clock::now();
            seen = true;
        }
        if (bar.IsIdle() && !manager.IsWorkerActive() && GetStitchThreadBlock()->busy == 0 &&
            win::RunningWorkerCount() == 0) {
            if (firstPair && !seen) *firstPair = Clock::now();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The tray order. By default each row in turn, every row starting above or
// below the photo the previous row ended with, so that consecutive frames
// overlap across the row changes too: the upward row from P1060381 back round
// to P1060382, the horizon row from P1060375 (below 382) back round to
// P1060376, the downward row from P1060387 (below 376) to P1060393, then the
// zenith shot. Each closed row thus leaves out the one link between its two
// ends, which in the upward row is the weakest (381-382 overlap on sky).
// DURLACH_ORDER selects others: "zenith" (the zenith shot, the upward row
// backwards from 385, the horizon row backwards from 377, the downward row
// from 387), "down" (the downward row, the horizon row, the upward row, the
// zenith shot, all in file order), "horizon" (the horizon row alone, 9
// photos, a closed loop) or a list of photo numbers ("369,370,...").
std::vector<int> TrayOrder()
{
    std::vector<int> order;
    const char* which = std::getenv("DURLACH_ORDER");
    if (which && std::isdigit(static_cast<unsigned char>(which[0]))) {
        for (const char* p = which; *p;) {
            char* end = nullptr;
            const long n = std::strtol(p, &end, 10);
            if (end == p) break;
            order.push_back(static_cast<int>(n));
            p = *end == ',' ? end + 1 : end;
        }
        return order;
    }
    if (which && std::strcmp(which, "down") == 0) {
        for (int n = 387; n <= 393; ++n) order.push_back(n);
        for (int n = 369; n <= 377; ++n) order.push_back(n);
        for (int n = 378; n <= 385; ++n) order.push_back(n);
        order.push_back(386);
        return order;
    }
    if (which && std::strcmp(which, "horizon") == 0) {
        for (int n = 369; n <= 377; ++n) order.push_back(n);
        return order;
    }
    if (which && std::strcmp(which, "zenith") == 0) {
        order.push_back(386);
        for (int n = 385; n >= 378; --n) order.push_back(n);
        for (int n = 377; n >= 369; --n) order.push_back(n);
        for (int n = 387; n <= 393; ++n) order.push_back(n);
        return order;
    }
    for (int n : {381, 380, 379, 378, 385, 384, 383, 382}) order.push_back(n);
    for (int n : {375, 374, 373, 372, 371, 370, 369, 377, 376}) order.push_back(n);
    for (int n = 387; n <= 393; ++n) order.push_back(n);
    order.push_back(386);
    return order;
}

double PeakRssMb(int who)
{
    struct rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Debian's hugin-tools pipeline on the same photographs, as a user of those
// tools would run it: control points across rows, cleaned, positions and
// lenses optimised, the canvas at 75 % of hugin's optimal size (our blend's
// default output scale against the photographs' own resolution) cropped to
// the covered area, remapped into cropped layers and blended by enblend.
// The script times each step into hugin.steps; /usr/bin/time gives the
// whole run's wall time and the largest step's peak RSS.
void RunHugin(benchmark::State& state, const std::string& work, const std::vector<std::string>& photos)
{
    const std::string scriptPath = work + "/hugin.sh", steps = work + "/hugin.steps";
    if (FILE* f = std::fopen(scriptPath.c_str(), "w")) {
        std::fprintf(f, "set -e\ncd '%s'\n", work.c_str());
        std::fprintf(f, "step() { local t=$(date +%%s%%N); \"$@\"; echo \"$1 $(( ($(date +%%s%%N) - t) / 1000000 ))\" >> '%s'; }\n",
                     steps.c_str());
        std::fprintf(f, "step pto_gen -o hugin.pto");
        for (const std::string& p : photos) std::fprintf(f, " '%s'", p.c_str());
        std::fprintf(f, "\nstep cpfind --multirow -o hugin.pto hugin.pto\n"
                        "step cpclean -o hugin.pto hugin.pto\n"
                        "step autooptimiser -a -m -o hugin.pto hugin.pto\n"
                        "step pano_modify --canvas=75%% --crop=AUTO -o hugin.pto hugin.pto\n"
                        "step nona -m TIFF_m -o layer hugin.pto\n"
                        "step enblend -o hugin.tif layer*.tif\n");
        std::fclose(f);
    }
    const std::string command = "/usr/bin/time -f '%e %M' -o '" + work + "/hugin.time' bash '" + scriptPath + "' > '" + work +
                                "/hugin.log' 2>&1";
    const int status = std::system(command.c_str());
    double wall = 0, rssKb = 0;
    if (FILE* f = std::fopen((work + "/hugin.time").c_str(), "r")) {
        if (std::fscanf(f, "%lf %lf", &wall, &rssKb) != 2) wall = rssKb = 0;
        std::fclose(f);
    }
    if (status != 0) {
        std::fprintf(stderr, "hugin-tools pipeline failed (status %d; package hugin-tools and enblend); see %s/hugin.log\n",
                     status, work.c_str());
        state.SkipWithError("the hugin-tools pipeline failed");
        return;
    }
    if (FILE* f = std::fopen(steps.c_str(), "r")) {
        char tool[64];
        double ms = 0;
        while (std::fscanf(f, "%63s %lf", tool, &ms) == 2) state.counters[std::string("hugin ") + tool + " s"] = ms / 1000.0;
        std::fclose(f);
    }
    state.counters["hugin wall s"] = wall;
    state.counters["hugin peak RSS MB"] = rssKb / 1024.0;
    const auto ours = state.counters.find("total s");
    if (ours != state.counters.end() && ours->second.value > 0) state.counters["hugin / ours"] = wall / ours->second.value;
}

void BM_DurlachThroughTheApplication(benchmark::State& state)
{
    char pattern[] = "/tmp/fendrake_durlach_XXXXXX";
    if (!mkdtemp(pattern)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string work = pattern;
    const std::string program = work + "/program";
    std::filesystem::create_directories(program);
    std::filesystem::create_symlink(HOLLET_PROGRAM, program + "/Hollet");
    setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (work + "/data").c_str(), 1);
    setenv("FENDRAKE_APPDATA", (work + "/appdata").c_str(), 1);
    Logger::setLogOff();

    std::vector<std::string> photos;
    for (int n : TrayOrder())
        photos.push_back(std::string(FENDRAKE_TESTDATA_DIR) + "/huginsample-durlach/half/P1060" + std::to_string(n) + ".JPG");

    for (auto _ : state) {
        win::ResetRuntime();
        std::vector<std::string> questions;
        win::ScriptedPrompter prompter([&](const std::string& what) { questions.push_back(what); });
        win::SetPrompter(&prompter);
        SetDllDirectoryA(std::filesystem::path(JPEGKIT_LIBRARY).parent_path().c_str());
        CFendrakeApp::SetProgramDir(program);
        CFendrakeApp::SetSplashTime(0);
        SuperManager::SetWebLinkId(0);
        auto app = std::make_unique<CFendrakeApp>();
        app->m_args = {program + "/Fendrake"};
        app->m_pszExeName = "Fendrake";
        if (!app->InitInstance()) {
            state.SkipWithError("the application did not start");
            return;
        }
        LogBase::SetAppDir0Override(program);
        InstallStitchServices();
        ClearMatchingRequest();
        SuperManager& manager = *GetSuperManager();

        const auto t0 = Clock::now();
        for (const std::string& p : photos) manager.AddImageFrame(new Image(64, 48, 3), p.c_str(), nullptr);
        if (photos.size() == 9) manager.GetImageTray()->GetHost()->SetLoop(true);  // the horizon row closes
        manager.GetStitchBar()->PostMessage(WM_COMMAND, CStitchBar::kStitch, 0);
        Clock::time_point matched = t0;
        const bool stitched = PumpUntilIdle(manager, 1800000, &matched);
        const auto t1 = Clock::now();
        manager.GetStitchBar()->PostMessage(WM_COMMAND, CStitchBar::kBlend, 0);
        const bool blended = PumpUntilIdle(manager, 1800000);
        const auto t2 = Clock::now();

        ImageGroup* group = manager.GetImageGroup(false);
        WorldMap* map = group ? group->GetRectWorldMap(false) : nullptr;
        int saved = -1;
        if (map && map->GetData()) {
            const RECT* block = map->GetMapRect();
            const int w = block->right - block->left + 1, h = block->bottom - block->top + 1;
            auto* picture = new Image(w, h, 3);
            for (int y = 0; y < h; ++y)
                std::memcpy(picture->GetData() + static_cast<size_t>(y) * picture->GetRowByte(),
                            map->GetData() + static_cast<size_t>(y) * map->GetRowBytes(), static_cast<size_t>(w) * 3);
            const std::string out = work + "/durlach.jpg";
            QUORVANE_FileInfo info;
            info.path = out.c_str();
            saved = SaveJpeg(picture, nullptr, &info);
            ReleaseImage(picture);
            state.counters["panorama width"] = w;
            state.counters["panorama height"] = h;
        }
        const auto t3 = Clock::now();

        // Residuals the alignment wrote into the markers of every merged link
        // between consecutive frames.
        ImageChain& chain = *manager.GetChain();
        double sq = 0;
        long markers = 0;
        for (int k = 0; k + 1 < chain.GetCount(); ++k) {
            Marker* ma = nullptr;
            Marker* mb = nullptr;
            chain.GetFrame(k)->GetAutoMarker(chain.GetFrame(k + 1), &ma, &mb);
            for (int i = 0; ma && i < ma->GetNumbOfMarker(); ++i) {
                sq += static_cast<double>(ma->GetMarker()[i].error2) * ma->GetMarker()[i].error2;
                ++markers;
            }
        }
        state.counters["stitch s"] = Seconds(t0, t1);
        state.counters["matching s"] = Seconds(t0, matched);
        state.counters["pairs and leveling s"] = Seconds(matched, t1);
        state.counters["blend s"] = Seconds(t1, t2);
        state.counters["save s"] = Seconds(t2, t3);
        state.counters["total s"] = Seconds(t0, t3);
        state.counters["placed"] = group ? group->GetNumbMergedImages() : 0;
        state.counters["merged pairs"] = chain.CountMergedPairs();
        state.counters["residual RMS px"] = markers ? std::sqrt(sq / markers) : -1.0;
        state.counters["peak RSS MB"] = PeakRssMb(RUSAGE_SELF);
        state.counters["children peak RSS MB"] = PeakRssMb(RUSAGE_CHILDREN);
        state.counters["jpeg saved"] = saved == 0;
        for (const std::string& q : questions) std::fprintf(stderr, "unscripted: %s\n", q.c_str());
        if (!stitched || !blended) std::fprintf(stderr, "the run did not finish (stitch %d, blend %d)\n", stitched, blended);

        win::JoinWorkerThreads(60000);
        if (app->m_pMainWnd) app->m_pMainWnd->DestroyWindow();
        LogBase::SetAppDir0Override("");
        win::ResetRuntime();
        win::SetPrompter(nullptr);
        app.reset();
    }
    const char* hugin = std::getenv("DURLACH_HUGIN");
    if (hugin && std::strcmp(hugin, "1") == 0) RunHugin(state, work, photos);
    std::filesystem::remove_all(work);
}
BENCHMARK(BM_DurlachThroughTheApplication)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
