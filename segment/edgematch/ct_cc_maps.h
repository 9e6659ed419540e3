// Chamfer matching of the borders of two region trees: the borders of the
// second tree, mapped into the first image by a pair transform, sample the
// first tree's border distance map over a range of shifts, summed per
// reference template into shift maps whose low values mark good alignments.
// The templates are laid by CRefSelect in contour-match mode. Used by the
// exported driver TestCCtCCMaps.
#pragma once

#include "core/pair_align_records.h"
#include "align/pairlock/ref_select.h"
#include "core/geometry_records.h"

#include <cstdint>
#include <memory>
#include <vector>

class CCtDistMap;
class CRegTree;

// The shift map of one template: sums[(dy + hy) rangeX + dx + hx] adds, for
// every border point mapped into the template's cell, the distance value
// that shift (dx, dy) from the point lands on.
struct CtShiftMap {
    int32_t col = 0;               // grid column and row
    int32_t row = 0;
    int32_t cx = 0;                // template centre in the first image
    int32_t cy = 0;
    std::unique_ptr<float[]> sums; // rangeX x rangeY, rows first
    int32_t x0 = 0;                // shift box: centre - half range .. centre + half range
    int32_t y0 = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t rangeX = 0;
    int32_t rangeY = 0;
    int32_t hits = 0;              // border points added
    int32_t reserved[4] = {0, 0, 0, 0};
    std::unique_ptr<float[]> extra;  // not used here

    float At(int x, int y) const { return sums[static_cast<size_t>(y) * rangeX + x]; }
};

class CCtCCMaps : public CRefSelect {
public:
    CCtCCMaps() = default;
    ~CCtCCMaps() = default;
    CCtCCMaps(const CCtCCMaps&) = delete;
    CCtCCMaps& operator=(const CCtCCMaps&) = delete;

    // Lays the templates over the part of the first image (the distance
    // map's) that the second tree's image covers under `pair` (first image to
    // second), and accumulates a shift map for every template inside enough.
    // level2 < 0 takes the distance map's level. False (nothing prepared, no
    // maps) when the pair maps no outline of the second image into the first
    // (no polygon, or one without a contour), or for missing arguments.
    bool Make(CCtDistMap* dm, CRegTree* tree2, int level2, const PAIR_WALIGN_RR_PRMS2* pair);
    // Shows every map of more than 10 points in debug window 1, template
    // (ix, iy) at (x + ix rangeX, y + iy rangeY), scaled from -0.5 to 8 hits.
    void Show(int x, int y);

    // The map of template k (row-major), null where none.
    const CtShiftMap* GetMap(int k) const
    {
        return k >= 0 && k < static_cast<int>(m_ppMap.size()) ? m_ppMap[k].get() : nullptr;
    }
    // Hit mask over the first image's lattice: 255 where a border point of the
    // second tree landed inside the template grid, 128 outside it, else 0.
    const uint8_t* GetHits() const { return m_pHits.empty() ? nullptr : m_pHits.data(); }

    CCtDistMap* m_pDistMap1 = nullptr;               // not owned
    CRegTree* m_pTree2 = nullptr;                    // not owned
    int m_levelTree2 = 0;
    std::unique_ptr<PAIR_WALIGN_RR_PRMS2> m_pPrms;   // the inverse pair: second image to first
    float m_M[9] = {};                               // its 3 x 3 matrix
    REGION m_rgnGrid{};                              // the template grid's box (x0, y0, x1, y1)
    REGION m_rgnBound2{};                            // the overlap's box in the second image
    int m_hx = 0;                                    // half the search ranges
    int m_hy = 0;
    int m_farValue = 0;                              // added where the distance map is 0: cap + 5
    std::vector<std::unique_ptr<CtShiftMap>> m_ppMap;  // one slot per template
    int m_numMap = 0;
    std::vector<uint8_t> m_pHits;
    int m_hitsWidth = 0;
    int m_hitsHeight = 0;

private:
    void Reset();
    void BoundInSecondImage(const gpc_polygon* overlap, const PAIR_WALIGN_RR_PRMS2* pair);
    void MakeMaps();
    void Accumulate();
    void AddPoint(CtShiftMap& map, int qx, int qy);
};
