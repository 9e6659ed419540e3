// The matcher Hollet on the 25 Durlach photographs (1280 x 960, so the
// application passes "--scaledown 2"), against Debian's cpfind with
// "--linearmatch" on the same files and the same thread count, one run
// each. Printed after the runs: both wall times and their ratio, Hollet's
// split (load, detection, matching, RANSAC; summed over its threads), and
// the fewest pairs the application's RANSAC filter keeps at 2 px on any
// consecutive pair of the horizon row (photos 369 to 377).
#include "app/matching/match_channel.h"
#include "app/matching/ransac_filter.h"
#include "projectgraph/curvekit/marker.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kData = std::string(FENDRAKE_TESTDATA_DIR) + "/huginsample-durlach/half";
constexpr int kHorizonPhotos = 9;

std::filesystem::path WorkDir()
{
    static const std::filesystem::path dir = [] {
        std::filesystem::path d = std::filesystem::temp_directory_path() / "fendrake_bench_matcher";
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

std::vector<std::string> Photos()
{
    std::vector<std::string> files;
    for (int k = 369; k <= 393; ++k) files.push_back(kData + "/P1060" + std::to_string(k) + ".JPG");
    return files;
}

std::string Quoted(const std::vector<std::string>& files)
{
    std::string out;
    for (const std::string& f : files) out += " \"" + f + "\"";
    return out;
}

double g_holletSeconds = 0, g_cpfindSeconds = 0;
std::string g_holletSplit;
int g_cpfindPoints = -1;

double TimedRun(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) std::fprintf(stderr, "command failed (%d): %s\n", status, command.c_str());
    return status == 0 ? seconds : -1.0;
}

void BM_HolletDurlach(benchmark::State& state)
{
    const std::string out = (WorkDir() / "hollet.txt").string(), log = (WorkDir() / "hollet.log").string();
    for (auto _ : state) {
        g_holletSeconds = TimedRun("FENDRAKE_MATCHER_TIMING=1 \"" HOLLET_PROGRAM "\" --ptgui --linearmatch --scaledown 2  "
                                   "--ransacdist 0 -o \"" + out + "\"" + Quoted(Photos()) + " 2> \"" + log + "\"");
    }
    std::ifstream in(log);
    std::getline(in, g_holletSplit);
}
BENCHMARK(BM_HolletDurlach)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_CpfindDurlach(benchmark::State& state)
{
    if (std::system("command -v cpfind > /dev/null && command -v pto_gen > /dev/null") != 0) {
        state.SkipWithError("cpfind and pto_gen (Debian hugin-tools) are needed for the reference");
        return;
    }
    const std::string project = (WorkDir() / "durlach.pto").string(), out = (WorkDir() / "cpfind.pto").string();
    if (std::system(("pto_gen -o \"" + project + "\"" + Quoted(Photos()) + " > /dev/null 2>&1").c_str()) != 0) {
        state.SkipWithError("pto_gen failed");
        return;
    }
    const unsigned threads = std::thread::hardware_concurrency();
    for (auto _ : state) {
        g_cpfindSeconds = TimedRun("cpfind --linearmatch --ncores=" + std::to_string(threads) + " -o \"" + out + "\" \"" +
                                   project + "\" > /dev/null 2>&1");
    }
    std::ifstream in(out);
    std::string line;
    g_cpfindPoints = 0;
    while (std::getline(in, line)) g_cpfindPoints += line.starts_with("c ");
}
BENCHMARK(BM_CpfindDurlach)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The fewest pairs kept at 2 px on a consecutive horizon pair of Hollet's
// output; each pair's count is printed.
int FewestFilteredHorizonPairs()
{
    std::vector<std::string> names;
    std::vector<MatchFilePoint> points;
    if (ReadMatchFile((WorkDir() / "hollet.txt").string(), false, names, points) != 0) return -1;
    int fewest = 1 << 30;
    FILE* saved = stdout;
    FILE* sink = std::fopen("/dev/null", "w");
    for (int i = 0; i + 1 < kHorizonPhotos; ++i) {
        Marker a, b, outA, outB;
        for (const MatchFilePoint& p : points)
            if (p.n == i && p.N == i + 1) {
                a.AppendMarker(p.x, p.y);
                b.AppendMarker(p.X, p.Y);
            }
        RansacFilter filter;
        if (sink) stdout = sink;
        const bool ok = filter.FilterAtThreshold(&a, &b, &outA, &outB, 2.0f, 6);
        stdout = saved;
        const int kept = ok ? outA.GetNumbOfMarker() : 0;
        std::printf("horizon pair %d-%d: %d of %d kept\n", 369 + i, 370 + i, kept, a.GetNumbOfMarker());
        fewest = std::min(fewest, kept);
    }
    if (sink) std::fclose(sink);
    return fewest;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    std::printf("threads: %u\n", std::thread::hardware_concurrency());
    if (g_holletSeconds > 0) {
        std::printf("Hollet wall: %.2f s\n%s\n", g_holletSeconds, g_holletSplit.c_str());
        std::printf("fewest filtered pairs on a consecutive horizon pair: %d\n", FewestFilteredHorizonPairs());
    }
    if (g_cpfindSeconds > 0) std::printf("cpfind --linearmatch wall: %.2f s (%d control points)\n", g_cpfindSeconds, g_cpfindPoints);
    if (g_holletSeconds > 0 && g_cpfindSeconds > 0)
        std::printf("cpfind / Hollet: %.2f (target at least 5)\n", g_cpfindSeconds / g_holletSeconds);
    benchmark::Shutdown();
    return 0;
}
