// One channel of an image pair prepared for normalised cross-correlation:
// the float samples of both images, their local box means and means of
// squares, and the conversion of a raw FFT correlation into an NCC map.
// CChannelImgs holds one or three of these; image 1 is searched, image 2
// gives the templates, and both have the same size.
#pragma once

#include "core/geometry_records.h"
#include "core/win_types.h"

#include <memory>

class Image;

class CNCCImgs {
public:
    CNCCImgs();
    CNCCImgs(Image* img1, Image* img2, int channel, REGION* box);
    // The edge image of both (channel 3).
    CNCCImgs(Image* img1, Image* img2, REGION* box);
    ~CNCCImgs();
    // Owns its sample arrays: copying would share them.
    CNCCImgs(const CNCCImgs&) = delete;
    CNCCImgs& operator=(const CNCCImgs&) = delete;

    // Stores the pair and channel (0..2 a colour channel, 3 or more the edge
    // image), the searchable box of image 1 (whole image when null; clipped
    // to the image) and makes both sample arrays. Nonzero when both arrays
    // were made; 0 for images of different sizes or no samples.
    int InitPrms(Image* img1, Image* img2, int channel, REGION* box);
    void MakeChannelImages();

    // Local statistics for a wd x ht template: box means of the samples
    // (A1, A2) and of their squares (P1, P2). 1, or 0 without memory or
    // without sample arrays.
    int MakeAvgImgs(int wd, int ht);

    // Turns `corr`, the raw circular correlation (scaled by nx*ny/4) of a
    // template centred on the origin of an nx x ny window against image 1's
    // window centred on `centre`, into NCC values over the window positions
    // `search`. Returns a new[] array of search->width * search->height
    // values (caller delete[]s it), or null. *peakOut is the displacement of
    // the maximum (window position - half), the first in scan order.
    float* CalcNCCMap(float* corr, int nx, int ny, POINT* half, POINT* centre, REGION* search, float* minOut,
                      float* maxOut, POINT* peakOut);

    // Template contrast at pt of image 2: gradient energy two samples apart
    // (colour channels) or the variance (edge image).
    float CalcAreaContrast_GradXY(POINT* pt, float unused = 5.0f);
    float CalcOnePtAvg(POINT* pt);
    float CalcOnePtContrast(POINT* pt);
    bool CheckOnePtContrast(POINT* pt, float thr);

    // Sum over all channels of |right - here| + |below - here| where the
    // pixel and both neighbours hold data (first sample nonzero), else 0;
    // 8-bit images only. New[] array (caller delete[]s it) or null.
    float* RGBtoEdgeMap(Image* img);
    void ArrayPixelSq(float* src, float* dst, int n);
    // Box average through an FFT correlation; nothing in the suite calls it.
    int BoxAvg(float* src, float* dst, int nx, int ny, int wd, int ht);
    void ShowChannelImages(int x, int y);

    // Read access for the channel sets and the map maker.
    float* GetImgI1() const { return m_imgI1.get(); }
    float* GetImgI2() const { return m_imgI2.get(); }
    float* GetImgA1() const { return m_imgA1.get(); }
    float* GetImgA2() const { return m_imgA2.get(); }
    float* GetImgP1() const { return m_imgP1.get(); }
    float* GetImgP2() const { return m_imgP2.get(); }
    int GetNx() const { return m_nx; }
    int GetNy() const { return m_ny; }
    REGION* GetBoundBox() { return &m_boundBox; }
    int GetWdTmpl() const { return m_wdTmpl; }
    int GetHtTmpl() const { return m_htTmpl; }
    int GetChannel() const { return m_channel; }

private:
    // Value of a statistics array at image point (x, y); 0 outside.
    static float At(const float* a, int nx, int ny, int x, int y);

    Image* m_img1 = nullptr;  // search image, not owned
    Image* m_img2 = nullptr;  // template image, not owned
    int m_channel = 3;
    std::unique_ptr<float[]> m_imgI1;
    std::unique_ptr<float[]> m_imgI2;
    int m_nx = 0;
    int m_ny = 0;
    REGION m_boundBox{};
    std::unique_ptr<float[]> m_imgA1;
    std::unique_ptr<float[]> m_imgA2;
    std::unique_ptr<float[]> m_imgP1;
    std::unique_ptr<float[]> m_imgP2;
    int m_wdTmpl = 0;
    int m_htTmpl = 0;
};

// An nx x ny float array as a new 3-channel 8-bit grey image: 0 at or below
// lo, 255 at or above hi, trunc((v - lo) * 255 / (hi - lo)) between. Null for
// bad sizes.
Image* FloatArrayToImage(float* a, int nx, int ny, float lo, float hi);
