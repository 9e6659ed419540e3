// Block maps: the correlation maps of neighbouring templates joined into
// larger maps (bw x bh templates each, blocks advancing by one cell), so
// that the peak grid fit can retry with stronger, wider peaks when the single
// maps gave no grid model.
#pragma once

#include "align/pairlock/ncc_map_grid.h"
#include "align/pairlock/ref_select.h"

#include <memory>
#include <vector>

class CCNCCMaps;

class CCNCCMapBlocks : public CNCCMapGrid {
public:
    CCNCCMapBlocks();
    CCNCCMapBlocks(CCNCCMaps* maps, int bw, int bh);
    ~CCNCCMapBlocks();
    CCNCCMapBlocks(const CCNCCMapBlocks&) = delete;
    CCNCCMapBlocks& operator=(const CCNCCMapBlocks&) = delete;

    // Joins the maps of `maps` (which must outlive this object). 0 when the
    // source grid has no template or the block is not at least 1 x 1.
    int Make(CCNCCMaps* maps, int bw, int bh);
    void Show(int x, int y);

    POINT* GetPeakShift(int ix, int iy) override;
    POINT* GetTmplCentre(int ix, int iy) override;
    COneNCCMap* GetNccMap(int ix, int iy) override;
    COneNCCMap* GetNccMapAt(int k) override;

    int GetNxBlocks() const { return m_nxBlock; }
    int GetNyBlocks() const { return m_nyBlock; }
    int GetNumBlocks() const { return static_cast<int>(m_blocks.size()); }
    int GetNumMaps() const { return m_numBlockMaps; }
    TMPL_SECTION* GetSecRow() { return m_secRow.get(); }
    TMPL_SECTION* GetSecCol() { return m_secCol.get(); }

private:
    std::unique_ptr<COneNCCMap> JoinBlock(int bx, int by);

    CCNCCMaps* m_maps = nullptr;  // not owned
    int m_bw = 0;
    int m_bh = 0;
    int m_nxBlock = 0;
    int m_nyBlock = 0;
    std::unique_ptr<TMPL_SECTION[]> m_secRow;
    std::unique_ptr<TMPL_SECTION[]> m_secCol;
    std::vector<std::unique_ptr<COneNCCMap>> m_blocks;  // m_nxBlock * m_nyBlock, null where fewer than 2 maps
    int m_numBlockMaps = 0;
};
