// Clips per second of the Polykit clipper against Clipper (libpolyclipping)
// on the same seeded random 10-vertex polygon pairs, all four operations.
// BM_PolyclipVsClipper prints both rates and their ratio (ours / Clipper).
#include "geometry/polykit/poly_clip.h"

#include <benchmark/benchmark.h>
#include <clipper.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kPairs = 512;
constexpr double kScale = 1 << 20;  // Clipper works on integers

struct Pair {
    std::vector<POINT2> a, b;
    ClipperLib::Path pa, pb;
};

// Star-shaped (mostly concave) polygons of 10 vertices around nearby centres,
// so that most pairs overlap.
std::vector<POINT2> Star(std::mt19937& rng)
{
    std::uniform_real_distribution<double> centre(40.0, 60.0), angle(0.0, 2 * M_PI), radius(10.0, 35.0);
    const double cx = centre(rng), cy = centre(rng);
    std::vector<double> angles(10);
    for (double& a : angles) a = angle(rng);
    std::sort(angles.begin(), angles.end());
    std::vector<POINT2> p;
    for (double a : angles) {
        const double r = radius(rng);
        p.push_back(POINT2{static_cast<float>(cx + r * std::cos(a)), static_cast<float>(cy + r * std::sin(a))});
    }
    return p;
}

ClipperLib::Path ToPath(const std::vector<POINT2>& p)
{
    ClipperLib::Path path;
    for (const POINT2& v : p)
        path.emplace_back(static_cast<ClipperLib::cInt>(std::llround(v.x * kScale)),
                          static_cast<ClipperLib::cInt>(std::llround(v.y * kScale)));
    return path;
}

const std::vector<Pair>& Pairs()
{
    static const std::vector<Pair> pairs = [] {
        std::mt19937 rng(2024);
        std::vector<Pair> out(kPairs);
        for (Pair& p : out) {
            p.a = Star(rng);
            p.b = Star(rng);
            p.pa = ToPath(p.a);
            p.pb = ToPath(p.b);
        }
        return out;
    }();
    return pairs;
}

const gpc_op kOps[] = {GPC_DIFF, GPC_INT, GPC_XOR, GPC_UNION};
const ClipperLib::ClipType kClipperOps[] = {ClipperLib::ctDifference, ClipperLib::ctIntersection,
                                            ClipperLib::ctXor, ClipperLib::ctUnion};

// One clip of pair i by Polykit: the result is made and released as a caller
// would.
int PolykitClip(const Pair& p, gpc_op op)
{
    gpc_vertex_list la{10, const_cast<POINT2*>(p.a.data())};
    gpc_vertex_list lb{10, const_cast<POINT2*>(p.b.data())};
    gpc_polygon a{1, &la}, b{1, &lb}, r{0, nullptr};
    CPolyClip::gpc_polygon_clip(op, &a, &b, &r);
    const int n = r.count;
    CPolyClip::gpc_free_polygon(&r);
    return n;
}

size_t ClipperClip(const Pair& p, ClipperLib::ClipType op)
{
    ClipperLib::Clipper c;
    c.AddPath(p.pa, ClipperLib::ptSubject, true);
    c.AddPath(p.pb, ClipperLib::ptClip, true);
    ClipperLib::Paths out;
    c.Execute(op, out, ClipperLib::pftEvenOdd, ClipperLib::pftEvenOdd);
    return out.size();
}

void BM_Polykit(benchmark::State& state)
{
    const auto& pairs = Pairs();
    const gpc_op op = kOps[state.range(0)];
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(PolykitClip(pairs[i++ % kPairs], op));
    state.counters["clips/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Clipper(benchmark::State& state)
{
    const auto& pairs = Pairs();
    const ClipperLib::ClipType op = kClipperOps[state.range(0)];
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(ClipperClip(pairs[i++ % kPairs], op));
    state.counters["clips/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Both clippers over the same pairs and all four operations in turn; the
// counters give each one's clips per second and the ratio ours / Clipper
// (above 1: Polykit is faster).
void BM_PolyclipVsClipper(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const auto& pairs = Pairs();
    double ours = 0, theirs = 0;
    int64_t clips = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int op = 0; op < 4; ++op)
            for (const Pair& p : pairs) benchmark::DoNotOptimize(PolykitClip(p, kOps[op]));
        const auto t1 = Clock::now();
        for (int op = 0; op < 4; ++op)
            for (const Pair& p : pairs) benchmark::DoNotOptimize(ClipperClip(p, kClipperOps[op]));
        const auto t2 = Clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        theirs += std::chrono::duration<double>(t2 - t1).count();
        clips += 4 * kPairs;
    }
    state.counters["polykit_clips/s"] = static_cast<double>(clips) / ours;
    state.counters["clipper_clips/s"] = static_cast<double>(clips) / theirs;
    state.counters["ratio"] = theirs / ours;
}

}  // namespace

BENCHMARK(BM_Polykit)->DenseRange(0, 3)->ArgName("op");
BENCHMARK(BM_Clipper)->DenseRange(0, 3)->ArgName("op");
BENCHMARK(BM_PolyclipVsClipper)->Unit(benchmark::kMillisecond);
