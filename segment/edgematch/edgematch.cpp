#include "segment/edgematch/edgematch.h"

#include "core/pair_align_records.h"
#include "core/logger.h"
#include "segment/edgematch/ct_cc_maps.h"
#include "segment/edgematch/ct_dist_map.h"
#include "segment/regionkit/reg_tree.h"

#include <algorithm>
#include <cmath>

namespace {

// 55 degrees in radians: the field of view the synthetic pair assumes across
// the smaller side of the first image.
constexpr float kFov = 0.9599311f;
constexpr int kDistCap = 10;

}  // namespace

bool TestCCtDistMap(CRegTree* tree, int level, int cap)
{
    if (!tree) {
        Logger::log("ERROR TestCCtDistMap() no tree", 1);
        return false;
    }
    CCtDistMap map(tree);
    const bool made = map.Make(level, cap);
    map.Show(0, 0);
    return made;
}

bool TestCCtCCMaps(CRegTree* tree1, CRegTree* tree2, int level1, int level2)
{
    if (!tree1 || !tree2) {
        Logger::log("ERROR TestCCtCCMaps() missing tree", 1);
        return false;
    }
    level1 = std::max(level1, 0);
    level2 = std::max(level2, 0);
    int w = 0, h = 0;
    tree1->GetDimension(w, h);
    w += 1;
    h += 1;
    const int m = std::min(w, h);

    // Both focal lengths give the field of view over m pixels; the second
    // image turns by half of it about the vertical axis (a = 0: no roll).
    PAIR_WALIGN_RR_PRMS2 pair{};
    const float half = static_cast<float>(std::max(m / 2, 1));
    pair.rcpF1 = pair.rcpF2 = std::tan(kFov / 2) / half;
    const float a = 0.0f;
    pair.angA = a;
    const float cw = std::cos(a) / static_cast<float>(w), sh = std::sin(a) / static_cast<float>(h);
    pair.angB = 0.5f * kFov * (1.0f / std::sqrt(cw * cw + sh * sh)) / static_cast<float>(m);
    pair.angC = -a;

    CCtDistMap dist(tree1);
    dist.Make(level1, kDistCap);
    dist.Show(0, 0);
    {
        CCtCCMaps maps;
        maps.Make(&dist, tree2, level2, &pair);
        maps.Show(0, 0);
    }
    return true;
}
