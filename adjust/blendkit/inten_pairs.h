// Intensity pairs of an overlap: channel averages of the two overlap images
// over a grid of sample boxes that lie inside the overlap polygon.
#pragma once

#include "adjust/blendkit/blend_records.h"
#include "platform/mapproj/blend_map_interfaces.h"

#include <vector>

class Image;

// Area of the w x h box with top-left pixel (x, y) inside the polygon,
// square pixels, truncated; 0 without a polygon.
int BoxAreaInPolygon(gpc_polygon* polygon, int x, int y, int w, int h);

class CImgRegion {
public:
    // Mean of each channel over the pixels of the box (top-left x, y; w x h,
    // clipped to the image) whose first three samples are all non-zero; the
    // result counts them (0: out is 0). Needs 8-bit samples, 3 or more channels.
    static int ImgRegionAvg(const Image* img, int x, int y, int w, int h, float out[3]);
    // One entry per sample box: both images' averages, or -1 six times when
    // the box's area inside the polygon is below (w - 1)(h - 1) percent / 100
    // or a box holds no usable pixel. out's earlier entries are released.
    // True when more than 3 boxes.
    static bool MakeIntenPairs(const Image* a, const Image* b, IGenTmpl* sampler, int percent, INTEN_PAIRS* out);
};

class CIntenPairs : public IGenTmpl {
public:
    CIntenPairs(Image* a, Image* b, gpc_polygon* overlap) { InitPrms(a, b, overlap); }
    CIntenPairs(const CIntenPairs&) = delete;
    CIntenPairs& operator=(const CIntenPairs&) = delete;

    void InitPrms(Image* a, Image* b, gpc_polygon* overlap);
    // Grid sampling with n boxes wanted of boxW x boxH; out receives only the
    // boxes that pass the coverage test. False with the fake pairs when fewer
    // than 2 boxes pass or the grid does not fit.
    bool MainIntenPairs(int n, int boxW, int boxH, INTEN_PAIRS* out);
    void CalcBoxAreas();
    // Two pairs: six times 100, then six times 200. Earlier entries released.
    static void MakeFakeIntenPairs(INTEN_PAIRS* out);

    int GetBoxCount() override { return m_boxCount; }
    POINT2 GetBoxCentre(int i) override;
    int GetBoxArea(int i) override;
    int GetBoxW() override { return m_boxW; }
    int GetBoxH() override { return m_boxH; }

    int GetCols() const { return m_cols; }
    int GetRows() const { return m_rows; }
    int GetStep() const { return m_stepX; }
    int GetCoverage() const { return m_coverage; }

private:
    // Columns and rows for step s and box w x h; false when fewer than 2 boxes.
    bool LayGrid(int s, int w, int h);

    Image* m_a = nullptr;
    Image* m_b = nullptr;
    int m_width = 0;
    int m_height = 0;
    gpc_polygon* m_overlap = nullptr;
    int m_boxW = 0, m_boxH = 0;
    int m_cols = 0, m_rows = 0;
    int m_x0 = 0, m_y0 = 0;
    int m_stepX = 0, m_stepY = 0;
    int m_boxCount = 0;
    std::vector<int> m_boxAreas;
    int m_coverage = 95;
};
