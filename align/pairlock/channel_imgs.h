// The NCC image sets of an image pair: one set on the edge image (mode 8) or
// one per colour channel, and over a regular grid of template centres the
// contrast of every template in every set with the set that has the most.
// CNCCMake (the map maker) derives from it; the grid of correlation maps and
// the seam blender drive it.
#pragma once

#include "align/pairlock/ncc_imgs.h"
#include "core/geometry_records.h"

#include <memory>

class Image;

class CChannelImgs {
public:
    static constexpr int kEdgeMode = 8;  // one set on the edge image

    CChannelImgs();
    CChannelImgs(Image* a, Image* b, int mode, REGION* box);
    CChannelImgs(Image* a, Image* b, REGION* box);  // mode 8
    ~CChannelImgs();
    // Owns its sets and tables: copying would share them.
    CChannelImgs(const CChannelImgs&) = delete;
    CChannelImgs& operator=(const CChannelImgs&) = delete;

    // Makes the sets anew: three colour sets (mode != 8) or one edge set.
    // 0 on success; -2, -3, -4 when colour set 0, 1, 2 could not be made,
    // -1 when the edge set could not (images missing or of unequal sizes,
    // channels missing, no memory).
    int InitPrms(Image* a, Image* b, int mode, REGION* box);
    // Local statistics of every set; 1 only when every set made them.
    int MakeAvgImgs(int wd, int ht);
    // Lays the template grid (centre of the first template, steps, columns,
    // rows) and measures every template's contrast in every set.
    void SetGridTmplInfo(int x0, int y0, int dx, int dy, int nx, int ny);

    int GetIndBestTmplChannel(int ix, int iy);
    int GetIndBestTmplChannel(int k);
    // True when the template's best contrast reaches thr; false for a cell
    // outside the grid or before SetGridTmplInfo.
    bool CheckOneTmplMaxContrast(int ix, int iy, float thr);
    // Contrast of template k in set ch (0 when there is none).
    float GetTmplContrast(int ch, int k) const;

    float* GetImgI1(int ch);
    float* GetImgI2(int ch);
    float* GetImgA1(int ch);
    float* GetImgA2(int ch);
    float* GetImgP1(int ch);
    float* GetImgP2(int ch);
    int GetNx();
    int GetNy();
    REGION* GetBoundBox_1();
    int GetWdBox();
    int GetHtBox();
    int GetNumChannels() const { return m_numChannels; }
    int GetNumTmpl() const { return m_numTmpl; }
    CNCCImgs* GetSet(int ch);

    void ShowChannelImages(int x, int y, int ch);

protected:
    void FreeTables();
    // The set that serves channel `ch`: set 0 when there is one.
    CNCCImgs* SetFor(int ch);

    Image* m_img1 = nullptr;  // not owned
    Image* m_img2 = nullptr;
    int m_mode = kEdgeMode;
    int m_numChannels = 0;
    std::unique_ptr<CNCCImgs> m_cNCCImgs[3];
    int m_x0Tmpl = 0;
    int m_y0Tmpl = 0;
    int m_dxTmpl = 0;
    int m_dyTmpl = 0;
    int m_nxTmpl = 0;
    int m_nyTmpl = 0;
    int m_numTmpl = 0;
    std::unique_ptr<float[]> m_contrast[3];  // per set, index row * m_nxTmpl + column
    std::unique_ptr<int[]> m_indBestChannel;
};
