// Call-back interfaces through which the projection module draws a band of
// an image with a caller's blend correction (IBlendMap) and through which a
// caller's box sampler describes its sample boxes (IGenTmpl). Points are in
// the image's centred frame (origin at the image centre, pixels).
#pragma once

#include "core/geometry_records.h"
#include "core/pair_align_records.h"

class Image;
class RectWorldMap;

class IBlendMap {
public:
    virtual ~IBlendMap() = default;

    // Correction at one pixel: shift (pixels), out[3] (added to the image's
    // channels) and weight (0..1, the share of the image in the composite).
    virtual int GetPtV_MarginRegion(POINT2& pt, POINT2* shift, int* out, float* weight) = 0;
    // Weight only.
    virtual int GetPtV_MarginRegion(POINT2& pt, float* weight) = 0;
    // Reserved operation of the interface; 0.
    virtual int GetMarginRegionKind() = 0;

    // n pixels from `start`, one pixel apart along x: out holds 3 n values,
    // weights n. The default walks the per-pixel operation; a map that can do
    // better overrides it.
    virtual void GetSpan_MarginRegion(const POINT2& start, int n, int* out, float* weights)
    {
        POINT2 shift{};
        for (int i = 0; i < n; ++i) {
            POINT2 p{start.x + static_cast<float>(i), start.y};
            GetPtV_MarginRegion(p, &shift, out + 3 * i, weights + i);
        }
    }
};

class IGenTmpl {
public:
    virtual ~IGenTmpl() = default;
    virtual int GetBoxCount() = 0;
    // Centre of box i in image pixels.
    virtual POINT2 GetBoxCentre(int i) = 0;
    // Area of box i inside the sampled polygon, square pixels.
    virtual int GetBoxArea(int i) = 0;
    virtual int GetBoxW() = 0;
    virtual int GetBoxH() = 0;
};

// Draws a placed frame into a rectangular world map: the whole frame, the map
// pixels whose ray falls inside a polygon of the frame (in its centred
// frame), or such a polygon with a blend correction per pixel.
class IMakeVantorRect {
public:
    virtual ~IMakeVantorRect() = default;
    virtual bool MapImgRS(Image* img, TRANSFORM_RS* t, RectWorldMap* map) = 0;
    virtual bool MapOnePolygon(Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly) = 0;
    virtual bool BlendOnePolygon(Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly,
                                 IBlendMap* blend) = 0;
    // Rows drawn in parallel by up to n threads (1: the calling thread only).
    virtual void SetRowThreads(int n) = 0;
};
