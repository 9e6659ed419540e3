#include "platform/mergekit/merge_vantor.h"

#include "core/logger.h"
#include "core/parallel_for.h"
#include "platform/mergekit/fill_bg.h"
#include "platform/mergekit/merge_tile.h"
#include "platform/mergekit/pyramid_blend.h"
#include "platform/sceneio/kestova_file.h"
#include "worldmap/map_math.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace mergekit {

namespace {

// One plane as a picture of one channel.
class PlaneSource final : public RowSource {
public:
    explicit PlaneSource(const Plane& p) : m_p(p) {}
    void Row(int, int y, float* out) const override
    {
        const float* row = &m_p.v[static_cast<size_t>(y) * m_p.width];
        std::copy(row, row + m_p.width, out);
    }

private:
    const Plane& m_p;
};

class PlaneSink final : public RowSink {
public:
    explicit PlaneSink(Plane& p) : m_p(p) {}
    void Row(int, int y, const float* values) override
    {
        std::copy(values, values + m_p.width, &m_p.v[static_cast<size_t>(y) * m_p.width]);
    }

private:
    Plane& m_p;
};

}  // namespace

Plane MultiBandBlend(const Plane& a, const Plane& b, const Plane& weightOfB, int levels)
{
    Plane out(weightOfB.width, weightOfB.height);
    PlaneSink sink(out);
    PyramidBlend(PlaneSource(a), PlaneSource(b), weightOfB, 1, levels, sink);
    return out;
}

void ChamferPasses(float* d, int width, int height)
{
    constexpr float kDiag = 1.41421356f;
    const int pw = width + 2;
    for (int y = 1; y <= height; ++y) {
        float* row = &d[static_cast<size_t>(y) * pw];
        const float* up = row - pw;
        for (int x = 1; x <= width; ++x) {
            float v = row[x];
            if (v != 0.0f) v = std::min({v, row[x - 1] + 1, up[x] + 1, up[x - 1] + kDiag, up[x + 1] + kDiag});
            row[x] = v;
        }
    }
    for (int y = height; y >= 1; --y) {
        float* row = &d[static_cast<size_t>(y) * pw];
        const float* down = row + pw;
        for (int x = width; x >= 1; --x) {
            float v = row[x];
            if (v != 0.0f) v = std::min({v, row[x + 1] + 1, down[x] + 1, down[x + 1] + kDiag, down[x - 1] + kDiag});
            row[x] = v;
        }
    }
}

Plane DistanceInside(const std::vector<uint8_t>& mask, int width, int height, bool outsideSet)
{
    const float far = static_cast<float>(width + height);
    const int pw = width + 2;
    std::vector<float> d(static_cast<size_t>(pw) * (height + 2), outsideSet ? far : 0.0f);
    for (int y = 0; y < height; ++y) {
        float* row = &d[static_cast<size_t>(y + 1) * pw + 1];
        const uint8_t* m = &mask[static_cast<size_t>(y) * width];
        for (int x = 0; x < width; ++x) row[x] = m[x] ? far : 0.0f;
    }
    ChamferPasses(d.data(), width, height);
    Plane out(width, height);
    for (int y = 0; y < height; ++y)
        std::copy_n(&d[static_cast<size_t>(y + 1) * pw + 1], width, &out.v[static_cast<size_t>(y) * width]);
    return out;
}

bool FindMergeTile(KestovaFile* scene, WorldMap* map, const TRANSFORM_RS* t, int bw, const char* caller,
                   MergeTile& tile)
{
    tile = MergeTile();
    if (!scene || !map || !map->GetData() || !scene->GetBandList() || !t) {
        Logger::log("ERROR %s: no scene, map or placement", 1, caller);
        return false;
    }
    const int fc = scene->GetNumChannel(), mc = map->GetChannels();
    const int W = map->GetWidth(), H = map->GetHeight();
    if (!(fc == mc || (fc == 1 && mc == 3)) || scene->GetEquatorSampleNum() != W || W < 4) {
        Logger::log("ERROR %s: a scene of %d channels and %d samples into a map of %d channels and %d samples", 1,
                    caller, fc, scene->GetEquatorSampleNum(), mc, W);
        return false;
    }
    const int64_t vc = map->GetViewCenter_int();
    List* bands = scene->GetBandList();
    tile.samples = W;
    tile.r0 = H;
    int lo = INT32_MAX, hi = INT32_MIN;
    const int panIndex = static_cast<int>(std::lround(t->pan / (2 * 3.14159265358979 / W)));
    for (int b = 0; b < bands->m_count; ++b) {
        const CBand* band = static_cast<const CBand*>(bands->GetData(b));
        if (!band || band->m_numSectors <= 0) continue;
        const int r = band->m_row + H / 2;
        if (r < 0 || r >= H) continue;
        tile.r0 = std::min(tile.r0, r);
        tile.r1 = std::max(tile.r1, r);
        for (int k = 0; k < band->m_numSectors; ++k) {
            const CSector* s = band->m_sectors[k];
            if (!s || s->m_last < s->m_first) continue;
            // Scene columns relative to the pan, so that a frame across
            // +-180 degrees stays one run.
            lo = std::min<int>(lo, static_cast<int>(mapmath::Wrap(s->m_first - panIndex + W / 2, W)) - W / 2);
            hi = std::max<int>({hi, lo, static_cast<int>(mapmath::Wrap(s->m_last - panIndex + W / 2, W)) - W / 2});
        }
    }
    if (tile.r1 < tile.r0 || lo > hi) {
        tile.r0 = 0;
        tile.r1 = -1;
        return true;
    }
    const int margin = std::max(bw, 1) + 8;
    tile.r0 = std::max(0, tile.r0 - margin);
    tile.r1 = std::min(H - 1, tile.r1 + margin);
    if (hi - lo + 1 + 2 * margin >= W) {
        tile.c0 = static_cast<int>(mapmath::Wrap(panIndex - vc, W));
        tile.width = W;
    } else {
        tile.c0 = static_cast<int>(mapmath::Wrap(panIndex + lo - margin + W / 2 - vc, W));
        tile.width = hi - lo + 1 + 2 * margin;
    }
    return true;
}

float SeamWeight(int kind, float dNew, float dOld, float bw)
{
    bw = std::max(bw, 1.0f);
    float w;
    if (kind == 1) w = dNew / bw;
    else if (kind == 2) w = 1.0f - dOld / bw;
    else w = 0.5f + (dNew - dOld) / (2.0f * bw);
    return std::clamp(w, 0.0f, 1.0f);
}

}  // namespace mergekit

using namespace mergekit;

namespace {

// Calls fn(y, x, count, p) for each run of tile row y whose samples the map
// stores: tile columns x .. x + count - 1 held at p (channels interleaved).
// At most two runs a row, the second after the turn of a full-width map.
template <typename Fn>
void ForEachStoredRun(WorldMap* map, const MergeTile& tile, int y, Fn&& fn)
{
    const WorldMapBase::ScanLine* line = map->GetScanLine(tile.r0 + y);
    if (!line || !line->m_line) return;
    const int channels = map->GetChannels();
    const int first = std::min(tile.width, tile.samples - tile.c0);  // tile columns before the turn
    // Tile columns [x0, x1) lie at row indices base + x.
    auto run = [&](int x0, int x1, int base) {
        const int a = std::max(x0, line->m_first - base), b = std::min(x1, line->m_last - base + 1);
        if (a < b) fn(y, a, b - a, line->m_line + static_cast<size_t>(base + a - line->m_first) * channels);
    };
    run(0, first, tile.c0);
    run(first, tile.width, tile.c0 - tile.samples);
}

template <typename Fn>
void ForEachStoredRun(WorldMap* map, const MergeTile& tile, Fn&& fn)
{
    for (int y = 0; y < tile.Height(); ++y) ForEachStoredRun(map, tile, y, fn);
}

// Rows of one channel of an interleaved 8-bit tile as floats.
class TileSource final : public RowSource {
public:
    TileSource(const uint8_t* data, int width, int channels) : m_data(data), m_width(width), m_channels(channels) {}
    void Row(int channel, int y, float* out) const override
    {
        const uint8_t* p = m_data + static_cast<size_t>(y) * m_width * m_channels + channel;
        for (int x = 0; x < m_width; ++x) out[x] = p[static_cast<size_t>(x) * m_channels];
    }

private:
    const uint8_t* m_data;
    int m_width, m_channels;
};

// The blend rounded straight into the map where both sides have data (a
// first sample of 0 written as 1); the rest of the tile is final already.
class OverlapSink final : public RowSink {
public:
    OverlapSink(WorldMap* map, const MergeTile& tile, const uint8_t* oldMask, const uint8_t* newMask)
        : m_map(map), m_tile(tile), m_old(oldMask), m_new(newMask)
    {
    }
    void Row(int channel, int y, const float* values) override
    {
        const size_t pixel = static_cast<size_t>(m_map->GetChannels());
        ForEachStoredRun(m_map, m_tile, y, [&](int, int x, int n, uint8_t* p) {
            const size_t k = static_cast<size_t>(y) * m_tile.width + x;
            for (int i = 0; i < n; ++i) {
                if (!m_old[k + i] || !m_new[k + i]) continue;
                uint8_t& q = p[i * pixel + channel];
                q = static_cast<uint8_t>(std::clamp(std::lround(values[x + i]), 0L, 255L));
                if (channel == 0 && q == 0) q = 1;
            }
        });
    }

private:
    WorldMap* m_map;
    const MergeTile& m_tile;
    const uint8_t* m_old;
    const uint8_t* m_new;
};

// Runs f and g at the same time (one after the other when no thread is to
// be had).
template <typename F, typename G>
void BothAtOnce(F&& f, G&& g)
{
    parallel::ForEach(2, 2, [&](int i) { i == 0 ? f() : g(); });
}

}  // namespace

bool CMergeVantorWM::MergeVantorFile(KestovaFile* scene, WorldMap* map, TRANSFORM_RS* t, int bw, int kind, int levels,
                                     bool closing, int closingKind)
{
    MergeTile tile;
    if (!FindMergeTile(scene, map, t, bw, "CMergeVantorWM::MergeVantorFile", tile)) return false;
    if (tile.Height() <= 0) {
        map->AddData(scene, -100000, 100000, false);
        return true;
    }
    const int mc = map->GetChannels();
    const int tw = tile.width, th = tile.Height();
    const size_t count = static_cast<size_t>(tw) * th;
    const size_t pixel = static_cast<size_t>(mc);

    // Old samples of the tile, then the new frame written as the map writes
    // it (its bookkeeping of the data area included), then the new samples.
    // Samples the map does not store read as 0.
    std::unique_ptr<uint8_t[]> oldData(new uint8_t[count * mc]), newData(new uint8_t[count * mc]);
    std::vector<uint8_t> oldMask(count), newMask(count);
    auto gather = [&](uint8_t* data, uint8_t* mask) {
        for (int y = 0; y < th; ++y) {
            const size_t row = static_cast<size_t>(y) * tw;
            int stored = 0;
            ForEachStoredRun(map, tile, y, [&](int, int, int n, uint8_t*) { stored += n; });
            if (stored < tw) {
                std::fill_n(data + row * mc, static_cast<size_t>(tw) * mc, uint8_t{0});
                std::fill_n(mask + row, tw, uint8_t{0});
            }
            ForEachStoredRun(map, tile, y, [&](int, int x, int n, uint8_t* p) {
                const size_t k = row + x;
                std::copy(p, p + n * pixel, data + k * mc);
                for (int i = 0; i < n; ++i) mask[k + i] = p[i * pixel] != 0;
            });
        }
    };
    gather(oldData.get(), oldMask.data());
    // Which samples the scene holds: the map's own writer decides, on a
    // cleared tile.
    ForEachStoredRun(map, tile, [&](int, int, int n, uint8_t* p) { std::fill(p, p + n * pixel, uint8_t{0}); });
    map->AddData(scene, -100000, 100000, false);
    gather(newData.get(), newMask.data());

    bool overlap = false;
    for (size_t k = 0; k < count && !overlap; ++k) overlap = oldMask[k] && newMask[k];
    // Where the new frame has no data the old samples go back as they were;
    // where it alone has, it stays as written. Only the overlap is left.
    ForEachStoredRun(map, tile, [&](int y, int x, int n, uint8_t* p) {
        const size_t k = static_cast<size_t>(y) * tw + x;
        for (int i = 0; i < n; ++i)
            if (!newMask[k + i]) std::copy_n(&oldData[(k + i) * mc], mc, p + i * pixel);
    });
    if (!overlap) return true;

    // New frame's weight: 1 where it alone has data, 0 where the old data
    // alone has, by the seam in the overlap.
    // Distances inside the overlap to the part only the old data covers and
    // to the part only the new frame covers: the middle line lies where
    // they are equal, and an edge of the overlap that neither side goes
    // beyond (the top of a ring of frames) does not pull the seam. Both
    // planes inside a border of one sample (the ground counts as inside).
    const int pw = tw + 2;
    const float far = static_cast<float>(tw + th);
    const size_t padded = static_cast<size_t>(pw) * (th + 2);
    std::unique_ptr<float[]> dNew(new float[padded]), dOld(new float[padded]);  // how far inside, seen from the old side / the new side
    auto distances = [&](float* d, const std::vector<uint8_t>& only, const std::vector<uint8_t>& other) {
        std::fill_n(d, pw, far);
        std::fill_n(d + static_cast<size_t>(th + 1) * pw, pw, far);
        for (int y = 0; y < th; ++y) {
            float* row = d + static_cast<size_t>(y + 1) * pw;
            const size_t k = static_cast<size_t>(y) * tw;
            row[0] = row[tw + 1] = far;
            for (int x = 0; x < tw; ++x) row[x + 1] = only[k + x] && !other[k + x] ? 0.0f : far;
        }
        ChamferPasses(d, tw, th);
    };
    BothAtOnce([&] { distances(dNew.get(), oldMask, newMask); }, [&] { distances(dOld.get(), newMask, oldMask); });
    double centreX = 0;
    size_t covered = 0;
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x)
            if (newMask[static_cast<size_t>(y) * tw + x]) centreX += x, ++covered;
    centreX /= std::max<size_t>(covered, 1);
    const int swappedClosing = closingKind == 1 ? 2 : closingKind == 2 ? 1 : 0;
    Plane weight(tw, th);
    for (int y = 0; y < th; ++y) {
        for (int x = 0; x < tw; ++x) {
            const size_t k = static_cast<size_t>(y) * tw + x;
            if (!newMask[k]) continue;
            if (!oldMask[k]) {
                weight.v[k] = 1.0f;
                continue;
            }
            const size_t d = static_cast<size_t>(y + 1) * pw + x + 1;
            const int k2 = closing && x > centreX ? swappedClosing : kind;
            weight.v[k] = SeamWeight(k2, dNew[d], dOld[d], static_cast<float>(bw));
        }
    }
    dNew.reset();
    dOld.reset();

    // Each side's picture completed by the other and extended along the
    // rows, so that the pyramid never sees empty samples (in place: the map
    // outside the overlap is final already).
    uint8_t* a = oldData.get();
    uint8_t* b = newData.get();
    for (size_t k = 0; k < count; ++k) {
        if (!oldMask[k] && newMask[k]) std::copy_n(&b[k * mc], mc, &a[k * mc]);
        if (!newMask[k] && oldMask[k]) std::copy_n(&a[k * mc], mc, &b[k * mc]);
    }
    BothAtOnce([&] { FillBackgroundRows(a, tw, th, mc, static_cast<long>(tw) * mc, nullptr); },
               [&] { FillBackgroundRows(b, tw, th, mc, static_cast<long>(tw) * mc, nullptr); });
    OverlapSink sink(map, tile, oldMask.data(), newMask.data());
    PyramidBlend(TileSource(a, tw, mc), TileSource(b, tw, mc), weight, mc, std::clamp(levels, 1, 3), sink);
    return true;
}
