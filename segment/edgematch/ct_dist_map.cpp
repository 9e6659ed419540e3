#include "segment/edgematch/ct_dist_map.h"

#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "imaging/value_image.h"
#include "segment/regionkit/reg_tree.h"

#include <algorithm>
#include <new>

CCtDistMap::CCtDistMap(CRegTree* tree) : m_pTree(tree) {}

bool CCtDistMap::Make(int level, int cap)
{
    m_map.clear();
    if (!m_pTree || m_pTree->GetNumLevels() < 1) {
        Logger::log("ERROR CCtDistMap::Make() no tree or a tree without levels", 1);
        return false;
    }
    if (cap < 1 || cap > 127) {
        Logger::log("ERROR CCtDistMap::Make() cap %d kept to 1..127", 1, cap);
        cap = std::clamp(cap, 1, 127);
    }
    m_level = m_pTree->ClampLevel(level);
    m_cap = cap;
    int w = 0, h = 0;
    m_pTree->GetDimension(w, h);
    m_width = w + 1;
    m_height = h + 1;
    const int32_t lw = m_width, lh = m_height;
    try {
        m_map.assign(static_cast<size_t>(lw) * lh, 0);
        for (int32_t x = 0; x < lw; ++x) m_map[x] = m_map[static_cast<size_t>(lh - 1) * lw + x] = 1;
        for (int32_t y = 0; y < lh; ++y) m_map[static_cast<size_t>(y) * lw] = m_map[static_cast<size_t>(y) * lw + lw - 1] = 1;

        // Breadth-first from every border point not yet marked; the frame is
        // marked, so every queued point has its four neighbours.
        std::vector<int32_t> queue;
        CRegTree::BorderIterator it(m_pTree, m_level);
        for (BorderSegment* b = *it; b; ++it, b = *it) {
            BorderSegment::iterator pt(b);
            if (pt.IsDone()) continue;
            do {
                const int32_t p = *pt;
                if (p < 0 || p >= lw * lh || m_map[p] != 0) continue;
                m_map[p] = 1;
                queue.push_back(p);
            } while (++pt);
        }
        for (size_t read = 0; read < queue.size(); ++read) {
            const int32_t p = queue[read];
            const int v = m_map[p];
            if (v >= cap) continue;
            for (int32_t n : {p - lw, p - 1, p + 1, p + lw}) {
                if (m_map[n] != 0) continue;
                m_map[n] = static_cast<int8_t>(v + 1);
                queue.push_back(n);
            }
        }
    } catch (const std::bad_alloc&) {
        m_map.clear();
        Logger::log("ERROR CCtDistMap::Make() out of memory for a %d x %d map", 1, lw, lh);
        return false;
    }
    return true;
}

void CCtDistMap::Show(int x, int y) const
{
    CreateImageWindow(std::max(m_width, 640), std::max(m_height, 480), GetNameDebugWin0());
    if (!GetDebugDispFlag() || m_map.empty()) return;
    Image* shown = MapToImage(reinterpret_cast<const signed char*>(m_map.data()), m_width, m_height, 0,
                              static_cast<signed char>(std::min(m_cap + 1, 127)));
    if (!shown) return;
    DisplayImageWin0(shown, nullptr, x, y);
    ReleaseImage(shown);
}
