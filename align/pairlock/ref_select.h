// Reference region selection: lays a regular grid of square-ish template
// boxes over the overlap polygon of an image pair and measures how much of
// every box lies inside it. The template correlation map grid builds a map
// for every box that is inside enough; contour matching derives from it.
#pragma once

#include "core/geometry_records.h"
#include "core/win_types.h"

#include <cstdint>
#include <functional>
#include <memory>

// A row or column of the template grid: the first qualifying box, how many
// qualify, and last = first + count - 1 (a count, not the index of the last
// qualifying box); first -1, last -2, span -1, count 0 when none does.
struct TMPL_SECTION {
    int32_t first;
    int32_t last;
    int32_t span;   // last - first + 1
    int32_t count;
};
static_assert(sizeof(TMPL_SECTION) == 16);

// Fills the sections of an nx x ny grid whose cell k = row * nx + column
// qualifies when `qualifies(k)`; rows gets ny entries, cols nx.
void FillTmplSections(int nx, int ny, const std::function<bool(int)>& qualifies, TMPL_SECTION* rows,
                      TMPL_SECTION* cols);

class CRefSelect {
public:
    // Selection modes (m_mode).
    static constexpr int kCoarse = -1;
    static constexpr int kRefine = 0;
    static constexpr int kRefineFine = 1;
    // Overlaps smaller than this (square pixels) are not aligned.
    static constexpr float kMinOverlapArea = 20000.0f;

    CRefSelect();
    CRefSelect(int width, int height, gpc_polygon* overlap, REGION* search);
    ~CRefSelect();
    // Owns its arrays: copying would share them.
    CRefSelect(const CRefSelect&) = delete;
    CRefSelect& operator=(const CRefSelect&) = delete;

    // Stores the image size, the overlap polygon (not owned; its first
    // contour is used) and the search box (whole image when null), and
    // measures the polygon. Frees an earlier run's arrays. 1, or 0 for a
    // polygon without a usable first contour (the selector then lays out
    // nothing).
    int InitPrms(int width, int height, gpc_polygon* overlap, REGION* search);

    bool InitRefPrms();
    bool InitRefPrms_Coarse();
    bool InitRefPrms_Refine();
    bool InitRefPrms_CtMatch();
    void CalcBoxAreas();
    void CalcSecRow();
    void CalcSecCol();
    // Lays out the grid: 1, or 0 for an overlap under 20000 square pixels or
    // a grid that does not fit (a step below 1 pixel, no room for centres).
    int MainRefSelect();

    POINT GetTmplCtr(int ix, int iy);
    void SetAlignMode(int mode) { m_mode = mode; }
    void SetCCRangeXY(int rangeX, int rangeY)
    {
        m_rangeX = rangeX;
        m_rangeY = rangeY;
    }
    // True when box k (row * m_nxTmpl + column) is inside enough.
    bool Qualifies(int k) const;

    gpc_polygon* m_pOverlap = nullptr;  // not owned
    REGION2 m_bbOverlap{};              // bounding box of the first contour
    REGION m_rgnSearch{};
    REGION m_rgnUnion{};
    float m_areaOverlap = 0.0f;
    int m_mode = 0;
    int m_width = 0;
    int m_height = 0;
    int m_wdTmpl = 0;
    int m_htTmpl = 0;
    int m_x0Tmpl = 0;
    int m_y0Tmpl = 0;
    int m_dxTmpl = 0;
    int m_dyTmpl = 0;
    int m_nxTmpl = 0;
    int m_nyTmpl = 0;
    int m_numTmpl = 0;
    int m_rangeX = 0;
    int m_rangeY = 0;
    std::unique_ptr<int[]> m_pBoxArea;           // m_numTmpl inside areas, row by row
    std::unique_ptr<TMPL_SECTION[]> m_pSecRow;   // one per grid row
    std::unique_ptr<TMPL_SECTION[]> m_pSecCol;   // one per grid column
    int m_pctArea = 70;
    int m_numWanted = 0;
    float m_fWdTmpl = 1.0f;
    float m_fHtTmpl = 1.0f;
    int m_minTmpl = 0;
    float m_fRange = 1.0f;
    int m_minArea = 0;

private:
    void FreeArrays();
    void ClearGrid();
    // Steps 1 to 3 of every layout: grid step from the wanted count, box size.
    bool LayStepsAndBox();
    // Box side from a step: trunc(step * factor) when above the minimum.
    int BoxSide(int step, float factor) const;
    // Count and step of one grid direction between the first and last
    // centre; false when they do not leave a step of at least 1.
    static bool SpreadCentres(int first, int last, int* count, int* step);
};
