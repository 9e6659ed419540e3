// The map maker: for one grid template (cut from image 2) the NCC map
// against a search window of image 1, computed by one FFT correlation, with
// its peak recorded in a COneNCCMap. The template correlation map grid and
// the seam blender call it template by template.
#pragma once

#include "align/pairlock/channel_imgs.h"
#include "align/pairlock/one_ncc_map.h"

#include <memory>

class Convolver;
class Marker;

class CNCCMake : public CChannelImgs {
public:
    CNCCMake();
    CNCCMake(Image* a, Image* b, REGION* box);  // edge image (mode 8)
    ~CNCCMake();
    CNCCMake(const CNCCMake&) = delete;
    CNCCMake& operator=(const CNCCMake&) = delete;

    using CChannelImgs::InitPrms;
    // Sets the contrast threshold (20); the argument has no effect.
    void InitPrms(int unused);

    // One template's map over an nx x ny FFT window (sizes the correlator
    // accepts). The template is the odd box of the local statistics, (2
    // (wd/2) + 1) x (2 (ht/2) + 1) samples centred on map->centre, so the
    // values are the plain NCC of that box (damped where the contrast is
    // low). map->ix, iy and centre are set by the caller; imgT1 and
    // imgT2 are caller-owned work arrays of nx*ny floats. 1 when the map was
    // made; 0 for a template with too little contrast, before
    // SetGridTmplInfo, or when no map position remains.
    int MakeOneNCCMap_cut(COneNCCMap* map, float* imgT1, float* imgT2, int nx, int ny, int dispX, int dispY,
                          Marker* marker, int debug);
    // Kept for callers; does nothing.
    int MakeOneNCCMap_raw(COneNCCMap* map, float* imgT1, int nx, int ny, int dispX, int dispY, Marker* marker);

    // Debug views; both return 1.
    int DisplayOneNCCMap(COneNCCMap* map, float lo, float hi, int x, int y, Marker* marker);
    int DrawOneTemplateBoxs(POINT* centre, int x, int y);

    float m_contrastThr = 20.0f;  // least template contrast

private:
    // The correlator for an nx x ny window, kept between templates.
    Convolver* ConvolverFor(int nx, int ny);

    std::unique_ptr<Convolver> m_convolver;
    int m_convNx = 0;
    int m_convNy = 0;
};
