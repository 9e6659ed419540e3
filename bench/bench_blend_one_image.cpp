// One 2000 x 1500 frame with two neighbours drawn into an 8192-wide world map
// with its seams blended (BlendOneImageRS), against the plain drawing of the
// same frame (MapImgRS) in the same run. "x_plain" is the blended drawing's
// time over the plain drawing's; "Mpx_s" map pixels written per second / 1e6
// by the plain drawing of the frame.
#include "adjust/blendkit/blend_rs.h"
#include "adjust/blendkit/pair_int_div.h"
#include "platform/mapproj/make_vantor_rect.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/xformkit/transform_rs.h"
#include "projectgraph/curvekit/pair_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "worldmap/rect_world_map.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kW = 2000, kH = 1500, kMapW = 8192;

TRANSFORM_RS Place(double panDeg)
{
    TRANSFORM_RS t{};
    t.rcpFocal = static_cast<float>(std::tan(30.0 * std::numbers::pi / 180.0) / (kW / 2));
    t.pan = static_cast<float>(panDeg * std::numbers::pi / 180.0);
    t.tilt = 0.1f;
    t.scale = 1.0f;
    t.flag = 1;
    return t;
}

// A view of a smooth sphere texture through t.
Image* Render(const TRANSFORM_RS& t, float gain)
{
    auto* img = new Image(kW, kH, 3);
    const POINT2 pt{t.pan, t.tilt};
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const POINT2 p{static_cast<float>(x - kW / 2), static_cast<float>(y - kH / 2)};
            POINT2 s{};
            CTransformRS::TransformPtWA(1.0f, t.roll, t.rcpFocal, &pt, &p, &s);
            const double v = std::sin(40 * s.x) * std::cos(33 * s.y) + 0.5 * std::sin(170 * s.x + 90 * s.y);
            uint8_t* d = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + 3 * x;
            for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>((120 + 50 * v + 10 * k) * gain);
        }
    return img;
}

struct Three {
    ImageGroup group;
    ImageFrame* f[3];
    bool ok = true;
    Three()
    {
        SetDivLineBlendWidth(60);
        const double pans[3] = {-40, 0, 40};
        for (int i = 0; i < 3; ++i) {
            f[i] = new ImageFrame();
            TRANSFORM_RS t = Place(pans[i]);
            Image* img = Render(t, i == 1 ? 1.0f : 0.85f);
            f[i]->SetImage(img, false);
            ReleaseImage(img);
            // The frames keep their colour tables: the intensity mode is the table's.
            t.colorTable = f[i]->GetImgInfo()->GetParams()->colorTable;
            *f[i]->GetImgInfo()->GetParams() = t;
            group.AppendImageFrame(f[i]);
        }
        ok = Link(f[0], f[1]) && Link(f[1], f[2]);
    }
    bool Link(ImageFrame* a, ImageFrame* b)
    {
        a->AddNeighbor(b);
        a->SetPairInfo(b, GetPairInfoInterface(), GetPairInfoInterface());
        CPairIntDiv div;
        INTEN_PAIRS pairs{nullptr, 0};
        CBlendPolygons* sides[2] = {nullptr, nullptr};
        const bool made = div.MainPairIntDiv(a->GetImage(), b->GetImage(), a->GetImgInfo()->GetParams(),
                                             b->GetImgInfo()->GetParams(), &pairs, sides);
        FreeIntenPairs(&pairs);
        if (!made) return false;
        a->GetPairInfo(b)->SetBlendPolygons(sides[0], ReleaseBlendPolygons);
        b->GetPairInfo(a)->SetBlendPolygons(sides[1], ReleaseBlendPolygons);
        return true;
    }
};

void BM_BlendOneImageVsPlain(benchmark::State& state)
{
    static Three scene;
    if (!scene.ok) {
        state.SkipWithError("the pairs could not be prepared");
        return;
    }
    auto* map = new RectWorldMap(kMapW);
    CMakeVantorRect plain;
    ImageFrame* mid = scene.f[1];
    double blendSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        std::memset(map->GetData(), 0, static_cast<size_t>(map->GetRowByte()) * map->GetHeight());
        const auto t0 = Clock::now();
        plain.MapImgRS(mid->GetImage(), mid->GetImgInfo()->GetParams(), map);
        const auto t1 = Clock::now();
        std::memset(map->GetData(), 0, static_cast<size_t>(map->GetRowByte()) * map->GetHeight());
        const auto t2 = Clock::now();
        if (!BlendOneImageRS(mid, map)) state.SkipWithError("BlendOneImageRS failed");
        const auto t3 = Clock::now();
        plainSeconds += std::chrono::duration<double>(t1 - t0).count();
        blendSeconds += std::chrono::duration<double>(t3 - t2).count();
        benchmark::DoNotOptimize(map->GetData());
    }
    // Map pixels of the frame: about its field of view in map samples.
    const double px = (60.0 / 360.0 * kMapW) * (45.0 / 360.0 * kMapW) * static_cast<double>(state.iterations());
    state.counters["x_plain"] = blendSeconds / plainSeconds;
    state.counters["plain_ms"] = plainSeconds / state.iterations() * 1e3;
    state.counters["blend_ms"] = blendSeconds / state.iterations() * 1e3;
    state.counters["Mpx_s"] = px / plainSeconds / 1e6;
    ReleaseImage(map);
}

}  // namespace

BENCHMARK(BM_BlendOneImageVsPlain)->Unit(benchmark::kMillisecond)->Iterations(3);
