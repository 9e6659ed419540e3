#include "align/pairlock/cncc_map_blocks.h"

#include "align/pairlock/cncc_maps.h"
#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "projectgraph/curvekit/marker.h"

#include <algorithm>
#include <cstring>
#include <new>

CCNCCMapBlocks::CCNCCMapBlocks() = default;

CCNCCMapBlocks::CCNCCMapBlocks(CCNCCMaps* maps, int bw, int bh) : m_maps(maps), m_bw(bw), m_bh(bh) {}

CCNCCMapBlocks::~CCNCCMapBlocks() = default;

int CCNCCMapBlocks::Make(CCNCCMaps* maps, int bw, int bh)
{
    m_blocks.clear();
    m_secRow.reset();
    m_secCol.reset();
    m_nxBlock = m_nyBlock = 0;
    m_numBlockMaps = 0;
    if (!maps || maps->RefSelect().m_numTmpl < 1 || bw < 1 || bh < 1) return 0;
    m_maps = maps;
    m_bw = bw;
    m_bh = bh;
    const CRefSelect& sel = maps->RefSelect();
    m_nxBlock = std::max(sel.m_nxTmpl - bw + 1, 0);
    m_nyBlock = std::max(sel.m_nyTmpl - bh + 1, 0);
    m_blocks.resize(static_cast<size_t>(m_nxBlock) * static_cast<size_t>(m_nyBlock));
    for (int by = 0; by < m_nyBlock; ++by) {
        for (int bx = 0; bx < m_nxBlock; ++bx) {
            auto block = JoinBlock(bx, by);
            if (!block) continue;
            m_blocks[static_cast<size_t>(by) * m_nxBlock + bx] = std::move(block);
            ++m_numBlockMaps;
        }
    }
    m_secRow.reset(new TMPL_SECTION[std::max(m_nyBlock, 1)]);
    m_secCol.reset(new TMPL_SECTION[std::max(m_nxBlock, 1)]);
    FillTmplSections(m_nxBlock, m_nyBlock, [this](int k) { return GetNccMapAt(k) != nullptr; }, m_secRow.get(),
                     m_secCol.get());
    return 1;
}

std::unique_ptr<COneNCCMap> CCNCCMapBlocks::JoinBlock(int bx, int by)
{
    const int nxTmpl = m_maps->RefSelect().m_nxTmpl;
    std::vector<COneNCCMap*> parts;
    int count = 0;
    long long sumX = 0;
    long long sumY = 0;
    REGION u{};
    for (int cy = by; cy < by + m_bh; ++cy) {
        for (int cx = bx; cx < bx + m_bw; ++cx) {
            COneNCCMap* map = m_maps->GetNccMapAt(cy * nxTmpl + cx);
            if (!map || !map->nccMap) continue;
            if (count == 0) {
                u = map->search;
            } else {
                u.x0 = std::min(u.x0, map->search.x0);
                u.y0 = std::min(u.y0, map->search.y0);
                u.x1 = std::max(u.x1, map->search.x1);
                u.y1 = std::max(u.y1, map->search.y1);
            }
            sumX += map->centre.x;
            sumY += map->centre.y;
            parts.push_back(map);
            ++count;
        }
    }
    if (count < 2) return nullptr;

    auto block = std::make_unique<COneNCCMap>();
    block->numJoined = count;
    block->ix = bx;
    block->iy = by;
    block->centre = POINT{static_cast<int32_t>(sumX / count), static_cast<int32_t>(sumY / count)};
    u.width = u.x1 - u.x0 + 1;
    u.height = u.y1 - u.y0 + 1;
    block->search = u;
    const size_t n = static_cast<size_t>(u.width) * static_cast<size_t>(u.height);
    block->nccMap = new float[n]();
    // Each map at its own window positions; later cells overwrite earlier
    // ones where they overlap.
    for (int i = 0; i < count; ++i) {
        const COneNCCMap* m = parts[i];
        for (int row = 0; row < m->search.height; ++row) {
            float* dst = block->nccMap + static_cast<size_t>(m->search.y0 - u.y0 + row) * u.width +
                         (m->search.x0 - u.x0);
            std::memcpy(dst, m->nccMap + static_cast<size_t>(row) * m->search.width,
                        static_cast<size_t>(m->search.width) * sizeof(float));
        }
    }
    float lo = 1e6f;
    float hi = -1e6f;
    size_t best = 0;
    for (size_t i = 0; i < n; ++i) {
        const float v = block->nccMap[i];
        if (v > hi) {
            hi = v;
            best = i;
        }
        if (v < lo) lo = v;
    }
    block->minValue = lo;
    block->maxValue = hi;
    const int col = static_cast<int>(best % static_cast<size_t>(u.width));
    const int row = static_cast<int>(best / static_cast<size_t>(u.width));
    block->peakCol = static_cast<float>(col);
    block->peakRow = static_cast<float>(row);
    block->peak = POINT{col + u.x0 - m_maps->GetNxCCMap() / 2, row + u.y0 - m_maps->GetNyCCMap() / 2};
    return block;
}

void CCNCCMapBlocks::Show(int x, int y)
{
    if (!m_maps) return;
    CreateImageWindow(1000, 920, GetNameDebugWin0());
    Marker* markers = CreateMarkerGroup(5, GetNameDebugWin0(), 0, 0);
    const CRefSelect& sel = m_maps->RefSelect();
    const int stepX = m_maps->GetNxCCMap() - sel.m_wdTmpl + 1;
    const int stepY = m_maps->GetNyCCMap() - sel.m_htTmpl + 1;
    const float scale = static_cast<float>(m_bw * m_bh);
    for (int by = 0; by < m_nyBlock; ++by) {
        for (int bx = 0; bx < m_nxBlock; ++bx) {
            COneNCCMap* map = GetNccMap(bx, by);
            if (!map) continue;
            const int px = x + bx * stepX;
            const int py = y + stepY + by * stepY;
            if (GetDebugDispFlag()) {
                if (Image* img = FloatArrayToImage(map->nccMap, map->search.width, map->search.height, -0.2f * scale,
                                                   0.4f * scale)) {
                    DisplayImageWin0(img, nullptr, px, py);
                    ReleaseImage(img);
                }
            }
            if (markers)
                markers->AppendMarker(static_cast<float>(static_cast<int>(map->peakCol) + px),
                                      static_cast<float>(static_cast<int>(map->peakRow) + py));
        }
    }
}

COneNCCMap* CCNCCMapBlocks::GetNccMapAt(int k)
{
    if (k < 0 || static_cast<size_t>(k) >= m_blocks.size()) return nullptr;
    return m_blocks[k].get();
}

COneNCCMap* CCNCCMapBlocks::GetNccMap(int ix, int iy)
{
    if (ix < 0 || iy < 0 || ix >= m_nxBlock || iy >= m_nyBlock) return nullptr;
    return GetNccMapAt(iy * m_nxBlock + ix);
}

POINT* CCNCCMapBlocks::GetPeakShift(int ix, int iy)
{
    COneNCCMap* map = GetNccMap(ix, iy);
    return map ? &map->peak : nullptr;
}

POINT* CCNCCMapBlocks::GetTmplCentre(int ix, int iy)
{
    COneNCCMap* map = GetNccMap(ix, iy);
    return map ? &map->centre : nullptr;
}
