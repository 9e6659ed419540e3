// The view engine on pannellum/examplepano.jpg (4096 x 2048): 1280 x 720
// perspective frames from the cube of the whole panorama and from the fan
// of a 180-degree crop, nearest and bilinear, at the horizon and across the
// seam, in frames per second. Measured in the same run beside each frame:
// the physical limit (memcpy of the bytes a frame moves: 1280 x 720 x 3
// written, as many read from the faces) and the straightforward renderer of
// the tests (asin and atan2 per pixel, a bilinear sample of the map).
// Counters: xMemcpy = frame time / memcpy time, refSpeedup = reference time
// / frame time. The face build is timed against the reference's cost for
// the same number of face pixels, cut again in one list and cut in a new one.
#include "viewer/engine/face_renderer.h"
#include "viewer/engine/panorama_reader.h"
#include "viewer/engine/row_bands.h"
#include "viewer/engine/tests/engine_test_support.h"
#include "viewer/engine/view_faces.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace enginetest;

constexpr int kViewW = 1280, kViewH = 720;
constexpr float kHfov = 1.5707963f;  // 90 degrees

WorldMapBase* LoadPanorama()
{
    static MapPtr map = [] {
        const std::string path = std::string(FENDRAKE_TESTDATA_DIR) + "/pannellum/examplepano.jpg";
        Image* raw = nullptr;
        viewengine::LoadImageWMapBaseEx(path.c_str(), &raw, nullptr, true, false);
        ImagePtr image(raw);
        MapPtr m(new WorldMapBase());
        if (!image || !m->TransferFromImage(image.get(), 4096, 0, 0, 0)) return MapPtr();
        return m;
    }();
    return map.get();
}

// The 180-degree crop with 30-degree gaps above and below: a fan of six
// sectors.
WorldMapBase* LoadCrop()
{
    static MapPtr map = [] {
        WorldMapBase* full = LoadPanorama();
        if (!full) return MapPtr();
        const int x0 = 1024, w = 2048, y0 = 341, h = 1366;
        ImagePtr crop(new Image(w, h, 3));
        for (int y = 0; y < h; ++y)
            std::memcpy(crop->GetData() + static_cast<size_t>(y) * crop->GetRowByte(),
                        full->GetData() + static_cast<size_t>(y0 + y) * full->GetRowBytes() + x0 * 3,
                        static_cast<size_t>(w) * 3);
        MapPtr m(new WorldMapBase());
        if (!m->TransferFromImage(crop.get(), 4096, x0, y0, 0)) return MapPtr();
        return m;
    }();
    return map.get();
}

struct Engine {
    ImagePtr view{new Image(kViewW, kViewH, 3)};
    CViewFaceList faces;
};

Engine* GetEngine(bool cube)
{
    static std::map<bool, std::unique_ptr<Engine>> engines;
    auto& e = engines[cube];
    if (!e) {
        e = std::make_unique<Engine>();
        WorldMapBase* map = cube ? LoadPanorama() : LoadCrop();
        if (!map || !e->faces.Init(map, 1.0f, e->view.get())) return nullptr;
    }
    return e.get();
}

// The row-band thread count for one benchmark, restored after it.
class BandThreads {
public:
    explicit BandThreads(int threads) : m_saved(viewengine::GetRowBandThreads())
    {
        viewengine::SetRowBandThreads(threads);
    }
    ~BandThreads() { viewengine::SetRowBandThreads(m_saved); }
    BandThreads(const BandThreads&) = delete;
    BandThreads& operator=(const BandThreads&) = delete;

private:
    int m_saved;
};

template <class F>
double SecondsPerCall(F&& f, int reps)
{
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        const auto a = std::chrono::steady_clock::now();
        f();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

double MemcpySeconds()
{
    static double seconds = [] {
        const size_t bytes = size_t{kViewW} * kViewH * 3;
        std::vector<unsigned char> from(bytes, 7), to(bytes);
        return SecondsPerCall(
            [&] {
                std::memcpy(to.data(), from.data(), bytes);
                benchmark::DoNotOptimize(to.data());
            },
            51);
    }();
    return seconds;
}

double ReferenceSeconds(bool cube, float yaw)
{
    static std::map<std::pair<bool, float>, double> cache;
    auto it = cache.find({cube, yaw});
    if (it != cache.end()) return it->second;
    WorldMapBase* map = cube ? LoadPanorama() : LoadCrop();
    ImagePtr ref(new Image(kViewW, kViewH, 3));
    const double s = SecondsPerCall([&] { RayCastView(*map, ref.get(), yaw, 0.0, 0.0, kHfov); }, 3);
    cache[{cube, yaw}] = s;
    return s;
}

// The argument is the number of row-band threads (1: the calling thread
// alone).
void RenderFrames(benchmark::State& state, bool cube, bool bilinear, float yaw)
{
    const BandThreads threads(static_cast<int>(state.range(0)));
    Engine* engine = GetEngine(cube);
    if (!engine) {
        state.SkipWithError("examplepano.jpg could not be read");
        return;
    }
    CViewParams params;
    params.yaw = yaw;
    params.pitch = 0.0f;
    for (auto _ : state) {
        engine->faces.Render(&params, kHfov, 0.0f, bilinear, false, true);
        benchmark::DoNotOptimize(engine->view->GetData());
    }
    const double frame =
        SecondsPerCall([&] { engine->faces.Render(&params, kHfov, 0.0f, bilinear, false, true); }, 15);
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["memcpyFps"] = 1.0 / MemcpySeconds();
    state.counters["refFps"] = 1.0 / ReferenceSeconds(cube, yaw);
    state.counters["xMemcpy"] = frame / MemcpySeconds();
    state.counters["refSpeedup"] = ReferenceSeconds(cube, yaw) / frame;
}

void BM_CubeNearestHorizon(benchmark::State& s) { RenderFrames(s, true, false, 0.3f); }
void BM_CubeBilinearHorizon(benchmark::State& s) { RenderFrames(s, true, true, 0.3f); }
void BM_CubeNearestSeam(benchmark::State& s) { RenderFrames(s, true, false, 3.1f); }
void BM_CubeBilinearSeam(benchmark::State& s) { RenderFrames(s, true, true, 3.1f); }
void BM_FanNearestHorizon(benchmark::State& s) { RenderFrames(s, false, false, 0.3f); }
void BM_FanBilinearHorizon(benchmark::State& s) { RenderFrames(s, false, true, 0.3f); }
BENCHMARK(BM_CubeNearestHorizon)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CubeBilinearHorizon)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CubeNearestSeam)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CubeBilinearSeam)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FanNearestHorizon)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FanBilinearHorizon)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// The cube build for a map of equator width W (the photograph for 4096, the
// synthetic map for 8192), against the reference's cost per pixel times the
// number of face pixels.
void BM_FaceBuild(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const BandThreads threads(static_cast<int>(state.range(1)));  // as for the frames
    static MapPtr synthetic;
    if (w != 4096 && !synthetic) synthetic = MakeSyntheticMap(w);
    WorldMapBase* map = w == 4096 ? LoadPanorama() : synthetic.get();
    if (!map) {
        state.SkipWithError("no map");
        return;
    }
    ImagePtr view(new Image(64, 64, 3));
    // The third argument 1: every cut in a new list, its face images newly
    // allocated (a panorama opened first); 0: cut again in one list, which
    // draws over its face images (a tour moving between panoramas of one size).
    const bool fresh = state.range(2) != 0;
    CViewFaceList faces;
    auto cut = [&] {
        if (!fresh) {
            faces.Init(map, 1.0f, view.get());
            return faces.GetCount();
        }
        CViewFaceList once;
        once.Init(map, 1.0f, view.get());
        return once.GetCount();
    };
    for (auto _ : state) benchmark::DoNotOptimize(cut());
    const double build = SecondsPerCall(cut, 3);
    faces.Init(map, 1.0f, view.get());  // the cut whose face sizes count below
    double facePixels = 0;
    for (int i = 0; i < faces.GetCount(); ++i)
        facePixels += double(faces.GetFace(i)->faceImage->GetWidth()) * faces.GetFace(i)->faceImage->GetHeight();
    // The reference on one face-sized image, scaled to all faces.
    const int side = faces.GetFace(0)->faceImage->GetWidth();
    ImagePtr one(new Image(side, side, 3));
    const double perFace = SecondsPerCall([&] { RayCastView(*map, one.get(), 0.3, 0.1, 0.0, 1.6); }, 3);
    const double reference = perFace * facePixels / (double(side) * side);
    state.counters["faceMP"] = facePixels * 1e-6;
    state.counters["refSpeedup"] = reference / build;
}
BENCHMARK(BM_FaceBuild)
    ->Args({4096, 1, 0})
    ->Args({4096, 4, 0})
    ->Args({8192, 1, 0})
    ->Args({8192, 4, 0})
    ->Args({4096, 4, 1})
    ->Args({8192, 4, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
