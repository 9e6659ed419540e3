// Polygon region mapper: fills the pixels of a destination image that lie
// inside a polygon with the colours of a source image seen through a pair
// rotation (two perspective images of one viewpoint). The view engine draws
// its faces into the view with it; pair alignment warps one image of a pair
// into the other's frame with it.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"
#include "core/win_types.h"

#include <utility>
#include <vector>

// The viewer program and the viewer control export the mapper's members.
class __attribute__((visibility("default"))) CPolyMapRR {
public:
    CPolyMapRR();
    CPolyMapRR(Image* src, Image* dst, float scale);
    ~CPolyMapRR();
    // Copies share the two images (each copy holds its own references).
    CPolyMapRR(const CPolyMapRR& other);
    CPolyMapRR& operator=(const CPolyMapRR& other);

    // Binds the source and destination (taking references, dropping the
    // earlier ones) and caches their geometry; `scale` is kept for callers.
    void InitImgs(Image* src, Image* dst, float scale);

    void SetBilinearInterp(bool on) { m_bilinearInterp = on; }
    bool GetBilinearInterp() const { return m_bilinearInterp; }
    void SetTransparency(bool on) { m_transparency = on; }
    Image* GetSource() const { return m_src; }
    Image* GetDestination() const { return m_dst; }
    bool IsNearVertical() const { return m_nearVertical; }

    // Builds the destination-to-source mapping of the pair record prms, which
    // maps source points to destination points: the inverse pair's
    // homography, with the source centre added.
    // False (mapping unchanged, an ERROR line) when prms gives no transform.
    bool CalcMappingPrms(const PAIR_WALIGN_RR_PRMS2* prms);

    // Fills every destination pixel inside `region` (destination pixel
    // coordinates, even-odd over all contours) whose source point lies inside
    // the source. Returns 1, or 0 (nothing drawn, an ERROR line) when an image
    // is missing or not 8-bit interleaved with 1 or 3 channels, or prms is
    // null. With `transparency` a pixel that already holds data (first sample
    // not 0) is averaged with the new colour.
    int MapRegions(const gpc_polygon* region, const PAIR_WALIGN_RR_PRMS2* prms, bool transparency);
    int MapRegions_Bilinear(const gpc_polygon* region, const PAIR_WALIGN_RR_PRMS2* prms, bool transparency);

    // Binds src and dst with prms->rcpF1 as the scale and maps the region,
    // nearest-neighbour.
    int MapImgRegions(Image* src, Image* dst, const gpc_polygon* region, const PAIR_WALIGN_RR_PRMS2* prms);
    // The same, with destination coordinates taken relative to the point
    // `offset` left of and above the destination's centre, and the sampling
    // chosen by `bilinear` for this call only. The float is not used.
    int MapImgRegions(Image* src, Image* dst, const gpc_polygon* region, const POINT* offset,
                      const PAIR_WALIGN_RR_PRMS2* prms, bool bilinear, float unused);

    // The view engine's face drawing: a region cut into triangle strips
    // (destination pixels), each strip into ladders of horizontal
    // trapezoids, each trapezoid filled row by row. A row y of a trapezoid
    // from height y0 down to y1 is drawn when y0 < y <= y1, from the first
    // pixel at or right of its left edge to the last at or left of its right
    // edge (the rule MapRegions fills a whole region by). Both need the images
    // bound and CalcMappingPrms run; without usable images they draw nothing.
    void MapOneStrip(gpc_vertex_list* strip);
    // One rung: vertices 0 and 1 at one height, 2 and 3 at the other.
    void MapOneLadder(gpc_vertex_list* rung);
    // Nearest sampling of destination pixels [x0, x1] on row y without the
    // trimming to the source: the caller guarantees that every pixel of the
    // span maps inside the source. Needs CalcMappingPrms run.
    void MapOneSector_Dw_NoCheck(int y, int x0, int x1);

    // MapRegions in two steps, so that several mappers drawing into one
    // destination can share one band of rows: BeginRegionRows checks the
    // images and builds the mapping of prms as MapRegions does (false, with
    // its ERROR line, where MapRegions would draw nothing; also false when
    // the source is the destination, which MapRegions draws from a copy) and
    // selects the sampling (bilinear as MapRegions_Bilinear, otherwise as
    // MapRegions: the sampling set); MapRegionRows then draws the region's rows
    // fromRow .. toRow on the calling thread, with MapRegions' bytes, and may
    // run for disjoint rows on several threads at once; EndRegionRows puts
    // the sampling back.
    bool BeginRegionRows(const PAIR_WALIGN_RR_PRMS2* prms, bool transparency, bool bilinear);
    // A region edge as the scan conversion takes it (opaque outside the mapper).
    struct ScanEdge;
    void MapRegionRows(const gpc_polygon& region, int fromRow, int toRow);
    void EndRegionRows();

    // Pixel runs [x0, x1] drawn per destination row, collected while set
    // (null: none). Runs are appended as drawn, unsorted and possibly
    // overlapping; a row's list is only touched by the thread drawing the row.
    using RowRuns = std::vector<std::vector<std::pair<int, int>>>;
    void SetDrawnRuns(RowRuns* runs) { m_drawnRuns = runs; }

    // Nearest rows use AVX2 where the processor has it; with `on` they take
    // the portable loop (same bytes), so that tests can compare the two.
    static void UsePortableRows(bool on);

private:
    void CalcImgPrms();
    bool ImagesUsable() const;
    void MapRegionRows(const gpc_polygon& region);
    // The rows first .. last of a region scan-converted from its edges.
    void ScanRows(const std::vector<ScanEdge>& edges, int first, int last);
    // One run of destination pixels [x0, x1] on row y (destination pixels).
    void MapOneSector(int y, int x0, int x1);
    void MapOneSector_Dw(int y, int x0, int x1);
    void MapOneSector_Dw_Bilinear(int y, int x0, int x1);
    // Homogeneous source position of destination pixel (x, y).
    void SourceAt(int x, int y, double& sx, double& sy, double& sw) const;
    // Whether destination pixel (x, y) maps in front to a source position
    // (sx, sy) inside [margin, maxX] x [margin, maxY].
    bool SourceInside(int x, int y, double maxX, double maxY, double margin, double& sx, double& sy) const;
    void CopySpanNearest(int y, int x0, int x1);
    // One bilinear destination pixel from source position (sx, sy), which
    // lies inside [0, width - 1] x [0, height - 1].
    void BilinearPixel(unsigned char* d, double sx, double sy) const;
    // Equal channel counts: runs of pixels whose four source neighbours lie
    // inside the source go to the row remapper, the rest pixel by pixel.
    void MapBilinearRuns(int y, int x0, int x1);
    void NoteDrawn(int y, int x0, int x1)
    {
        if (m_drawnRuns && y >= 0 && static_cast<size_t>(y) < m_drawnRuns->size())
            (*m_drawnRuns)[static_cast<size_t>(y)].emplace_back(x0, x1);
    }

    Image* m_src = nullptr;  // one reference held on each
    Image* m_dst = nullptr;
    unsigned char* m_srcData = nullptr;
    int m_srcChannels = 0, m_srcRowBytes = 0, m_srcWidth = 0, m_srcHeight = 0;
    int m_srcHalfWidth = 0, m_srcHalfHeight = 0;
    unsigned char* m_dstData = nullptr;
    int m_dstChannels = 0, m_dstRowBytes = 0, m_dstWidth = 0, m_dstHeight = 0;
    // Destination pixel (x, y) is at (x - m_dstHalfWidth, y - m_dstHalfHeight)
    // in the mapping's coordinates; MapImgRegions moves these by its offset.
    int m_dstHalfWidth = 0, m_dstHalfHeight = 0;
    float m_scale = 1.0f;
    // Destination (relative) to source (pixel) homography, rows first; the
    // source centre is included (plus 0.5 for nearest sampling, so that
    // truncation rounds).
    double m_mapping[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    bool m_nearVertical = false;
    bool m_bilinearInterp = false;
    bool m_transparency = false;
    bool m_savedBilinear = false;  // the sampling before BeginRegionRows
    RowRuns* m_drawnRuns = nullptr;
};
