// The pair worker's RANSAC filter on 200 matches between two views of a
// known camera rotation, and the ten-row least-squares solve of one trial
// through our Givens solver and through Eigen's Householder QR on the same
// systems. The solve ratio (ours / Eigen) is printed after the run.
#include "app/matching/homography.h"
#include "app/matching/ransac_filter.h"
#include "app/matching/tests/match_fixture.h"
#include "projectgraph/curvekit/marker.h"

#include <Eigen/Dense>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int kSystems = 256;

struct Systems {
    std::vector<Eigen::Matrix<double, 10, 8>> A;
    std::vector<Eigen::Matrix<double, 10, 1>> b;
    Systems()
    {
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        for (int s = 0; s < kSystems; ++s) {
            Eigen::Matrix<double, 10, 8> a;
            Eigen::Matrix<double, 10, 1> r;
            for (int j = 0; j < 10; ++j) {
                for (int i = 0; i < 8; ++i) a(j, i) = u(rng);
                r(j) = u(rng);
            }
            A.push_back(a);
            b.push_back(r);
        }
    }
};

const Systems& TheSystems()
{
    static const Systems systems;
    return systems;
}

double g_givensNs = 0.0;
double g_eigenNs = 0.0;

void BM_SolveGivens(benchmark::State& state)
{
    const Systems& sys = TheSystems();
    double block[80], rhs[10], work[10], solution[8];
    double* rows[10];
    for (int j = 0; j < 10; ++j) rows[j] = block + 8 * j;
    int s = 0;
    for (auto _ : state) {
        for (int j = 0; j < 10; ++j) {
            for (int i = 0; i < 8; ++i) rows[j][i] = sys.A[static_cast<size_t>(s)](j, i);
            rhs[j] = sys.b[static_cast<size_t>(s)](j);
        }
        benchmark::DoNotOptimize(SolveLeastSquaresGivens(rows, rhs, solution, work, 10, 8));
        benchmark::DoNotOptimize(solution);
        s = (s + 1) % kSystems;
    }
}
BENCHMARK(BM_SolveGivens);

void BM_SolveEigenHouseholder(benchmark::State& state)
{
    const Systems& sys = TheSystems();
    int s = 0;
    Eigen::Matrix<double, 8, 1> x;
    for (auto _ : state) {
        Eigen::Matrix<double, 10, 8> a = sys.A[static_cast<size_t>(s)];
        Eigen::HouseholderQR<Eigen::Matrix<double, 10, 8>> qr(a);
        x = qr.solve(-sys.b[static_cast<size_t>(s)]);
        benchmark::DoNotOptimize(x);
        s = (s + 1) % kSystems;
    }
}
BENCHMARK(BM_SolveEigenHouseholder);

void BM_RansacFilter200(benchmark::State& state)
{
    const auto views = matching_test::MakeViews(800.0, 15.0, 3.0);
    const auto fixture = matching_test::MakeMatches(views, 200, 60, 0.3, 3);
    Marker inA, inB;
    for (const MatchPair& m : fixture.pairs) {
        inA.AppendMarker(static_cast<float>(m.x0), static_cast<float>(m.y0));
        inB.AppendMarker(static_cast<float>(m.x1), static_cast<float>(m.y1));
    }
    // The filter's progress lines would swamp the report.
    FILE* saved = stdout;
    FILE* sink = fopen("/dev/null", "w");
    // One untimed run counts the trials and the survivors.
    static int trialsRun;
    int kept = 0;
    {
        trialsRun = 0;
        g_ransacTrialHook = [](int, const std::vector<MatchPair*>&) { ++trialsRun; };
        Marker outA, outB;
        RansacFilter f;
        stdout = sink;
        f.Filter(&inA, &inB, &outA, &outB, 3.0f, 7.0f, 4);
        stdout = saved;
        g_ransacTrialHook = nullptr;
        kept = outA.GetNumbOfMarker();
    }
    for (auto _ : state) {
        Marker outA, outB;
        RansacFilter f;
        stdout = sink;
        benchmark::DoNotOptimize(f.Filter(&inA, &inB, &outA, &outB, 3.0f, 7.0f, 4));
        stdout = saved;
    }
    state.counters["trials"] = trialsRun;
    state.counters["kept"] = kept;
    stdout = saved;
    if (sink) fclose(sink);
}
BENCHMARK(BM_RansacFilter200)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        // CPU time (the machine may be shared); of repeated runs the median.
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            if (r.run_name.function_name == "BM_SolveGivens") g_givensNs = r.GetAdjustedCPUTime();
            if (r.run_name.function_name == "BM_SolveEigenHouseholder") g_eigenNs = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (g_givensNs > 0.0 && g_eigenNs > 0.0)
        printf("10 x 8 solve (CPU time), Givens / Eigen HouseholderQR: %.2f\n", g_givensNs / g_eigenNs);
    benchmark::Shutdown();
    return 0;
}
