#include "platform/mergekit/merge_vantor_reference.h"

#include "platform/mergekit/merge_vantor.h"

#include "core/logger.h"
#include "platform/mergekit/fill_bg.h"
#include "platform/mergekit/merge_tile.h"
#include "platform/sceneio/kestova_file.h"
#include "worldmap/map_math.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>

namespace mergekit {

namespace {

constexpr float kTap[5] = {1.0f / 16, 4.0f / 16, 6.0f / 16, 4.0f / 16, 1.0f / 16};

// Half size, binomial low-pass first (edges clamped).
Plane Reduce(const Plane& p)
{
    const int w = (p.width + 1) / 2, h = (p.height + 1) / 2;
    Plane rows(w, p.height);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < w; ++x) {
            float s = 0;
            for (int k = -2; k <= 2; ++k) s += kTap[k + 2] * p.at(std::clamp(2 * x + k, 0, p.width - 1), y);
            rows.at(x, y) = s;
        }
    }
    Plane out(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float s = 0;
            for (int k = -2; k <= 2; ++k) s += kTap[k + 2] * rows.at(x, std::clamp(2 * y + k, 0, p.height - 1));
            out.at(x, y) = s;
        }
    }
    return out;
}

// Back up to width x height: the samples of p at the even positions, the
// same filter (doubled) interpolating between them.
Plane Expand(const Plane& p, int width, int height)
{
    // Taps falling on even positions of the fine grid, per parity.
    auto sample = [&](int fine, int size, auto get) {
        float s = 0, wsum = 0;
        for (int k = -2; k <= 2; ++k) {
            const int f = fine + k;
            if (f % 2 != 0) continue;
            const int c = std::clamp(f / 2, 0, size - 1);
            s += kTap[k + 2] * get(c);
            wsum += kTap[k + 2];
        }
        return s / wsum;
    };
    Plane rows(width, p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < width; ++x)
            rows.at(x, y) = sample(x, p.width, [&](int c) { return p.at(c, y); });
    Plane out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.at(x, y) = sample(y, p.height, [&](int c) { return rows.at(x, c); });
    return out;
}

}  // namespace

Plane MultiBandBlendReference(const Plane& a, const Plane& b, const Plane& weightOfB, int levels)
{
    levels = std::clamp(levels, 1, 8);
    std::vector<Plane> ga{a}, gb{b}, gw{weightOfB};
    for (int l = 1; l < levels; ++l) {
        if (ga.back().width < 2 || ga.back().height < 2) break;
        ga.push_back(Reduce(ga.back()));
        gb.push_back(Reduce(gb.back()));
        gw.push_back(Reduce(gw.back()));
    }
    const int top = static_cast<int>(ga.size()) - 1;
    // Coarsest band: plain weighted mean of the Gaussian tops.
    Plane out(ga[top].width, ga[top].height);
    for (size_t k = 0; k < out.v.size(); ++k)
        out.v[k] = gw[top].v[k] * gb[top].v[k] + (1 - gw[top].v[k]) * ga[top].v[k];
    for (int l = top - 1; l >= 0; --l) {
        const int w = ga[l].width, h = ga[l].height;
        Plane up = Expand(out, w, h);
        const Plane ea = Expand(ga[l + 1], w, h), eb = Expand(gb[l + 1], w, h);
        for (size_t k = 0; k < up.v.size(); ++k) {
            const float la = ga[l].v[k] - ea.v[k], lb = gb[l].v[k] - eb.v[k];
            up.v[k] += gw[l].v[k] * lb + (1 - gw[l].v[k]) * la;
        }
        out = std::move(up);
    }
    return out;
}

Plane DistanceInsideReference(const std::vector<uint8_t>& mask, int width, int height, bool outsideSet)
{
    constexpr float kDiag = 1.41421356f;
    const float far = static_cast<float>(width + height);
    Plane d(width, height);
    for (size_t k = 0; k < mask.size(); ++k) d.v[k] = mask[k] ? far : 0.0f;
    const float outside = outsideSet ? far : 0.0f;
    auto at = [&](int x, int y) { return x < 0 || y < 0 || x >= width || y >= height ? outside : d.at(x, y); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float& v = d.at(x, y);
            if (v != 0.0f)
                v = std::min({v, at(x - 1, y) + 1, at(x, y - 1) + 1, at(x - 1, y - 1) + kDiag, at(x + 1, y - 1) + kDiag});
        }
    for (int y = height - 1; y >= 0; --y)
        for (int x = width - 1; x >= 0; --x) {
            float& v = d.at(x, y);
            if (v != 0.0f)
                v = std::min({v, at(x + 1, y) + 1, at(x, y + 1) + 1, at(x + 1, y + 1) + kDiag, at(x - 1, y + 1) + kDiag});
        }
    return d;
}

namespace {

// The stored sample of row r at index i, or null.
uint8_t* Stored(WorldMap* map, int r, int i)
{
    const WorldMapBase::ScanLine* line = map->GetScanLine(r);
    if (!line || !line->m_line || i < line->m_first || i > line->m_last) return nullptr;
    return line->m_line + static_cast<size_t>(i - line->m_first) * map->GetChannels();
}

}  // namespace

bool MergeVantorFileReference(KestovaFile* scene, WorldMap* map, TRANSFORM_RS* t, int bw, int kind, int levels,
                              bool closing, int closingKind)
{
    MergeTile tile;
    if (!FindMergeTile(scene, map, t, bw, "mergekit::MergeVantorFileReference", tile)) return false;
    if (tile.Height() <= 0) {
        map->AddData(scene, -100000, 100000, false);
        return true;
    }
    const int mc = map->GetChannels();
    const int tw = tile.width, th = tile.Height();
    const size_t count = static_cast<size_t>(tw) * th;

    // Old samples of the tile, then the new frame written as the map writes
    // it (its bookkeeping of the data area included), then the new samples.
    std::vector<uint8_t> oldData(count * mc, 0), newData(count * mc, 0);
    std::vector<uint8_t> oldMask(count, 0), newMask(count, 0), stored(count, 0);
    auto forEach = [&](auto fn) {
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x)
                if (uint8_t* p = Stored(map, tile.r0 + y, tile.Column(x))) fn(static_cast<size_t>(y) * tw + x, p);
    };
    forEach([&](size_t k, uint8_t* p) {
        stored[k] = 1;
        std::copy(p, p + mc, &oldData[k * mc]);
        oldMask[k] = p[0] != 0;
    });
    // Which samples the scene holds: the map's own writer decides, on a
    // cleared tile.
    forEach([&](size_t, uint8_t* p) { std::fill(p, p + mc, uint8_t{0}); });
    map->AddData(scene, -100000, 100000, false);
    forEach([&](size_t k, uint8_t* p) {
        std::copy(p, p + mc, &newData[k * mc]);
        newMask[k] = p[0] != 0;
    });

    bool overlap = false;
    for (size_t k = 0; k < count && !overlap; ++k) overlap = oldMask[k] && newMask[k];
    if (!overlap) {
        forEach([&](size_t k, uint8_t* p) {
            if (!newMask[k]) std::copy(&oldData[k * mc], &oldData[k * mc] + mc, p);
        });
        return true;
    }

    // New frame's weight: 1 where it alone has data, 0 where the old data
    // alone has, by the seam in the overlap.
    // Distances inside the overlap to the part only the old data covers and
    // to the part only the new frame covers: the middle line lies where
    // they are equal, and an edge of the overlap that neither side goes
    // beyond (the top of a ring of frames) does not pull the seam.
    std::vector<uint8_t> notOldOnly(count), notNewOnly(count);
    for (size_t k = 0; k < count; ++k) {
        notOldOnly[k] = !(oldMask[k] && !newMask[k]);
        notNewOnly[k] = !(newMask[k] && !oldMask[k]);
    }
    const Plane dNew = DistanceInsideReference(notOldOnly, tw, th, true);  // how far inside, seen from the old side
    const Plane dOld = DistanceInsideReference(notNewOnly, tw, th, true);  // how far inside, seen from the new side
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
            const int k2 = closing && x > centreX ? swappedClosing : kind;
            weight.v[k] = SeamWeight(k2, dNew.v[k], dOld.v[k], static_cast<float>(bw));
        }
    }

    // Each side's picture completed by the other and extended along the
    // rows, so that the pyramid never sees empty samples.
    std::vector<uint8_t> a(oldData), b(newData);
    for (size_t k = 0; k < count; ++k) {
        if (!oldMask[k] && newMask[k]) std::copy(&newData[k * mc], &newData[k * mc] + mc, &a[k * mc]);
        if (!newMask[k] && oldMask[k]) std::copy(&oldData[k * mc], &oldData[k * mc] + mc, &b[k * mc]);
    }
    FillBackgroundRows(a.data(), tw, th, mc, static_cast<long>(tw) * mc, nullptr);
    FillBackgroundRows(b.data(), tw, th, mc, static_cast<long>(tw) * mc, nullptr);
    std::vector<Plane> result(mc);
    for (int c = 0; c < mc; ++c) {
        Plane pa(tw, th), pb(tw, th);
        for (size_t k = 0; k < count; ++k) {
            pa.v[k] = a[k * mc + c];
            pb.v[k] = b[k * mc + c];
        }
        result[c] = MultiBandBlendReference(pa, pb, weight, std::clamp(levels, 1, 3));
    }
    forEach([&](size_t k, uint8_t* p) {
        if (!newMask[k]) {
            std::copy(&oldData[k * mc], &oldData[k * mc] + mc, p);
            return;
        }
        if (!oldMask[k]) return;  // the new frame alone: as written
        for (int c = 0; c < mc; ++c) p[c] = static_cast<uint8_t>(std::clamp(std::lround(result[c].v[k]), 0L, 255L));
        if (p[0] == 0) p[0] = 1;
    });
    return true;
}

}  // namespace mergekit
