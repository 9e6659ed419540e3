// The template map grid on a pair whose left part has no texture and whose
// overlap is cut by a slanted edge: cells without enough inside area or
// contrast stay empty, and the 2 x 2 block maps join exactly the maps present.
#include "align/pairlock/cncc_map_blocks.h"
#include "align/pairlock/cncc_maps.h"
#include "align/pairlock/tests/pairlock_test_util.h"
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using pairlock_test::MakeTextureImage;
using pairlock_test::Texture;

namespace {

// Texture everywhere but in columns below `flatTo`, which are flat grey.
Image* PartlyFlat(const Texture& t, int w, int h, double dx, int flatTo)
{
    Image* img = MakeTextureImage(t, w, h, dx, 0.0, 60.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < flatTo; ++x)
            for (int ch = 0; ch < 3; ++ch) img->GetData()[static_cast<size_t>(y) * img->GetRowByte() + 3 * x + ch] = 128;
    return img;
}

struct Grid {
    std::vector<POINT2> v{{0, 0}, {399, 0}, {399, 299}, {60, 299}};  // slanted left edge
    gpc_vertex_list ring{4, v.data()};
    gpc_polygon poly{1, &ring};
    Texture t{31, 24, 12.0, 48.0};
    // Image 2 is image 1 moved two pixels, flat part included.
    Image* img1 = PartlyFlat(t, 400, 300, 0.0, 200);
    Image* img2 = PartlyFlat(t, 400, 300, 2.0, 198);
    CCNCCMaps maps;
    Grid()
    {
        maps.InitPrms(img1, img2, &poly, nullptr, 1, 8);
        maps.RefSelect().SetCCRangeXY(8, 8);
    }
    ~Grid()
    {
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
};

}  // namespace

TEST(CNCCMaps, CellsWithoutAreaOrContrastHaveNoMap)
{
    Grid g;
    ASSERT_EQ(g.maps.MakeNCCMaps_cut(), 1);
    const CRefSelect& sel = g.maps.RefSelect();
    int made = 0, flat = 0, outside = 0;
    for (int iy = 0; iy < sel.m_nyTmpl; ++iy)
        for (int ix = 0; ix < sel.m_nxTmpl; ++ix) {
            const int k = iy * sel.m_nxTmpl + ix;
            COneNCCMap* m = g.maps.GetNccMap(ix, iy);
            EXPECT_EQ(m, g.maps.GetNccMapAt(k));
            const POINT c = const_cast<CRefSelect&>(sel).GetTmplCtr(ix, iy);
            const bool flatBox = c.x + sel.m_wdTmpl / 2 < 198;
            if (!sel.Qualifies(k) || flatBox) {
                EXPECT_EQ(m, nullptr) << ix << "," << iy;
                EXPECT_EQ(g.maps.GetPeakShift(ix, iy), nullptr);
                EXPECT_EQ(g.maps.GetTmplCentre(ix, iy), nullptr);
                outside += !sel.Qualifies(k);
                flat += sel.Qualifies(k) && flatBox;
                continue;
            }
            ASSERT_NE(m, nullptr) << ix << "," << iy;
            ++made;
            EXPECT_EQ(m->ix, ix);
            EXPECT_EQ(m->iy, iy);
            EXPECT_EQ(m->centre.x, c.x);
            EXPECT_EQ(m->centre.y, c.y);
            EXPECT_EQ(g.maps.GetPeakShift(ix, iy), &m->peak);
            EXPECT_EQ(m->peak.x, 2) << ix << "," << iy;
            EXPECT_EQ(m->peak.y, 0);
        }
    EXPECT_EQ(made, g.maps.GetNumNccMap());
    EXPECT_GT(made, 10);
    EXPECT_GT(flat, 0);
    EXPECT_GT(outside, 0);
    EXPECT_EQ(g.maps.GetNccMapAt(-1), nullptr);
    EXPECT_EQ(g.maps.GetNccMapAt(sel.m_numTmpl), nullptr);
    EXPECT_EQ(g.maps.GetNccMap(sel.m_nxTmpl, 0), nullptr);
}

TEST(CNCCMaps, BlockMapsJoinTheMapsPresent)
{
    Grid g;
    ASSERT_EQ(g.maps.MakeNCCMaps_cut(), 1);
    const CRefSelect& sel = g.maps.RefSelect();
    CCNCCMapBlocks blocks;
    ASSERT_EQ(blocks.Make(&g.maps, 2, 2), 1);
    ASSERT_EQ(blocks.GetNxBlocks(), sel.m_nxTmpl - 1);
    ASSERT_EQ(blocks.GetNyBlocks(), sel.m_nyTmpl - 1);
    int nulls = 0, made = 0;
    for (int by = 0; by < blocks.GetNyBlocks(); ++by) {
        for (int bx = 0; bx < blocks.GetNxBlocks(); ++bx) {
            std::vector<COneNCCMap*> parts;
            for (int cy = by; cy < by + 2; ++cy)
                for (int cx = bx; cx < bx + 2; ++cx)
                    if (COneNCCMap* m = g.maps.GetNccMap(cx, cy)) parts.push_back(m);
            COneNCCMap* b = blocks.GetNccMap(bx, by);
            if (parts.size() < 2) {
                EXPECT_EQ(b, nullptr) << bx << "," << by;
                ++nulls;
                continue;
            }
            ASSERT_NE(b, nullptr) << bx << "," << by;
            ++made;
            EXPECT_EQ(b->numJoined, static_cast<int>(parts.size()));
            int sx = 0, sy = 0, x0 = 1 << 30, y0 = 1 << 30, x1 = -(1 << 30), y1 = -(1 << 30);
            for (COneNCCMap* m : parts) {
                sx += m->centre.x;
                sy += m->centre.y;
                x0 = std::min(x0, m->search.x0);
                y0 = std::min(y0, m->search.y0);
                x1 = std::max(x1, m->search.x1);
                y1 = std::max(y1, m->search.y1);
            }
            EXPECT_EQ(b->centre.x, sx / static_cast<int>(parts.size()));
            EXPECT_EQ(b->centre.y, sy / static_cast<int>(parts.size()));
            EXPECT_EQ(b->search.x0, x0);
            EXPECT_EQ(b->search.y1, y1);
            EXPECT_EQ(b->search.width, x1 - x0 + 1);
            EXPECT_EQ(b->search.height, y1 - y0 + 1);
            // The last map of the block (row order) lies on top.
            const COneNCCMap* last = parts.back();
            for (int r = 0; r < last->search.height; r += 3)
                for (int c = 0; c < last->search.width; c += 3)
                    ASSERT_EQ(b->nccMap[(last->search.y0 - y0 + r) * b->search.width + (last->search.x0 - x0 + c)],
                              last->nccMap[r * last->search.width + c]);
            // The peak is the first largest value, as a displacement.
            const float* best = std::max_element(b->nccMap, b->nccMap + b->search.width * b->search.height);
            const int at = static_cast<int>(best - b->nccMap);
            EXPECT_EQ(b->maxValue, *best);
            EXPECT_EQ(b->peakCol, at % b->search.width);
            EXPECT_EQ(b->peakRow, at / b->search.width);
            EXPECT_EQ(b->peak.x, at % b->search.width + x0 - g.maps.GetNxCCMap() / 2);
            EXPECT_EQ(b->peak.y, at / b->search.width + y0 - g.maps.GetNyCCMap() / 2);
        }
    }
    EXPECT_EQ(made, blocks.GetNumMaps());
    EXPECT_GT(made, 5);
    EXPECT_GT(nulls, 0);
    // Sections count the blocks present.
    for (int by = 0; by < blocks.GetNyBlocks(); ++by) {
        int count = 0;
        for (int bx = 0; bx < blocks.GetNxBlocks(); ++bx) count += blocks.GetNccMap(bx, by) != nullptr;
        EXPECT_EQ(blocks.GetSecRow()[by].count, count);
    }
    // A grid without templates gives no blocks.
    CCNCCMaps empty;
    CCNCCMapBlocks none;
    EXPECT_EQ(none.Make(&empty, 2, 2), 0);
    EXPECT_EQ(none.GetNccMapAt(0), nullptr);
}
