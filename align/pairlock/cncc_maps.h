// The template correlation map grid: one NCC map for every reference
// template that the selector lays over the overlap of an image pair, offered
// to the peak grid fit through CNCCMapGrid. The multi-channel aligner and the
// world-map aligner prepare it; the grid fit makes and reads the maps.
#pragma once

#include "align/pairlock/ncc_make.h"
#include "align/pairlock/ncc_map_grid.h"
#include "align/pairlock/ref_select.h"

#include <memory>
#include <vector>

class Image;

class CCNCCMaps : public CNCCMapGrid {
public:
    CCNCCMaps();
    // Edge-image set and selector over the first image's size.
    CCNCCMaps(Image* img1, Image* img2, gpc_polygon* overlap, REGION* box);
    ~CCNCCMaps();
    CCNCCMaps(const CCNCCMaps&) = delete;
    CCNCCMaps& operator=(const CCNCCMaps&) = delete;

    // Prepares the selector (mode `mode`, -1 coarse, 0/1 refine) and the
    // channel sets (`channels` 8: edge image, else three colour channels).
    // The caller may then set the search ranges on the selector.
    void InitPrms(Image* img1, Image* img2, gpc_polygon* overlap, REGION* box, int mode, int channels);

    // Lays out the grid and makes every template's map. 1, or 0 when the
    // grid cannot be laid out, the statistics or the work arrays cannot be
    // made.
    int MakeNCCMaps_cut();
    // Coarse mode makes no maps.
    int MakeNCCMaps_skip() { return 1; }

    POINT* GetPeakShift(int ix, int iy) override;
    POINT* GetTmplCentre(int ix, int iy) override;
    COneNCCMap* GetNccMap(int ix, int iy) override;
    COneNCCMap* GetNccMapAt(int k) override;

    CRefSelect& RefSelect() { return m_refSelect; }
    CNCCMake& NccMake() { return m_nccMake; }
    int GetNumNccMap() const { return m_numNccMap; }
    int GetNxCCMap() const { return m_nxCCMap; }
    int GetNyCCMap() const { return m_nyCCMap; }

    // Correlation window size for n samples: the smallest of p/2, 3p/4 and
    // p (p the power of two not below n) that is at least n * (100 - pct) /
    // 100, so the window stays FFT-friendly and gives up at most pct % of the
    // asked range.
    static int GoodSize(int n, int pct);

private:
    void ReleaseMaps();

    CRefSelect m_refSelect;
    CNCCMake m_nccMake;
    std::vector<std::unique_ptr<COneNCCMap>> m_ppNccMap;  // m_numTmpl cells, null where no map
    int m_numNccMap = 0;
    int m_nxCCMap = 0;
    int m_nyCCMap = 0;
};
