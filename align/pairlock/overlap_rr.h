// Overlap images of an image pair in the image plane: the second image warped
// into the (optionally zoomed) frame of the first with the pair transform, the
// first cut to the same region, and matched points of the two overlap images
// carried back into the input images. Used by the multi-channel aligner's
// plane path.
#pragma once

#include "align/pairlock/overlap_support.h"
#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"
#include "core/win_types.h"

// Frames used below:
// - the zoomed frame: image 1 scaled evenly by zoomX, wdZ x htZ pixels, top
//   left at (0, 0); a point u from its centre (wdZ / 2, htZ / 2) is image-1
//   point W1 / 2 + u / zoomX.
// - the overlap images: image 2's outline box in the zoomed frame, widened by
//   the margins; rows are further scaled by zy = zoomY / zoomX. Overlap pixel
//   (X, Y) is zoomed-frame point (X - WO / 2 + offset.x, (Y - HO / 2) / zy +
//   offset.y) from the frame centre (integer halves, as the polygon mapper
//   takes them).
class COverlapRR {
public:
    COverlapRR();
    ~COverlapRR();
    // Owns its overlap images and polygon.
    COverlapRR(const COverlapRR&) = delete;
    COverlapRR& operator=(const COverlapRR&) = delete;

    // Stores the pair and the transform (image 1 -> image 2), then makes the
    // overlap images. The bool is not used. False, with no overlap images,
    // when the inputs are unusable, the outline maps to nothing or the
    // images cannot be made.
    bool MainOverlapRR(Image* img1, Image* img2, PAIR_WALIGN_RR_PRMS2* prms, float zoomX, float zoomY, int marginX,
                       int marginY, bool);

    // m_prms21 from the forward transform (its inverse), from an inverse
    // transform, or from scalar pieces (rcpF1 = r, rcpF2 = r / q, a, b, c).
    void InitWAlign12to21(PAIR_WALIGN_RR_PRMS2* p);
    void InitWAlign21(PAIR_WALIGN_RR_PRMS2* p);
    void InitWAlign21(float r, float a, float b, float c, float q);

    // Makes both overlap images with the stored transform, zooms and margins;
    // earlier overlap images and polygon are released first.
    bool MakeOverlapImgs(Image* img1, Image* img2);

    // src warped into a wd x ht frame by the pair (r, r / q, a, b, c): its
    // outline is mapped (*polyOut, owned by the caller; the two further
    // polygon pointers receive the frame and the outline cut to it when not
    // null), box becomes the frame pixels whose centres the outline covers and
    // the result is MapOverlapRegion's. Null when nothing maps.
    Image* MapImgRR(Image* src, int wd, int ht, float r, float a, float b, float c, float q, float zy, int mx, int my,
                    bool bilinear, gpc_polygon** polyOut, gpc_polygon** frameOut, gpc_polygon** overlapOut,
                    REGION& box, POINT* offsetOut);
    // Fills a new (box.width + 2 mx) x (box.height zy + 2 my) image with src
    // inside poly (first contour moved into the new image's pixels here);
    // *offsetOut = where the new image's centre lies from the frame's.
    Image* MapOverlapRegion(Image* src, int wd, int ht, gpc_polygon* poly, const REGION& box,
                            PAIR_WALIGN_RR_PRMS2* P, float zy, int mx, int my, bool bilinear, POINT* offsetOut);
    // A new nx x ny image, 0 outside r; inside, pixel (x, y) is src's pixel
    // nearest to s + ((x - r.x0) stepX, (y - r.y0) stepY) when there is one.
    Image* CopyZoomRegion(Image* src, int nx, int ny, REGION* r, POINT2* s, float stepX, float stepY, bool);

    // Points of overlap image 1 (pairs[0]) and of overlap image 2 (pairs[1])
    // into image 1 and image 2 (top-left pixel coordinates), in place.
    // 1; 0 (an ERROR line, points untouched) before overlap images exist.
    int PtPairsOverlapToRawFrames(POINT2* pairs[2], int n);

    Image* GetImgO1() const { return m_imgO1; }
    Image* GetImgO2() const { return m_imgO2; }
    gpc_polygon* GetPolygon() const { return m_polygon.get(); }
    REGION* GetOverlapBox() { return &m_overlapBox; }
    const REGION2& GetPolyBox() const { return m_polyBox; }
    const POINT& GetOffset() const { return m_offset; }
    const PAIR_WALIGN_RR_PRMS2& GetPrms12() const { return m_prms12; }
    const PAIR_WALIGN_RR_PRMS2& GetPrms21() const { return m_prms21; }
    float GetZoomX() const { return m_zoomX; }
    float GetZoomY() const { return m_zoomY; }

private:
    void ReleaseOverlap();

    Image* m_img1 = nullptr;  // the pair, not owned
    Image* m_img2 = nullptr;
    PAIR_WALIGN_RR_PRMS2 m_prms12{};
    PAIR_WALIGN_RR_PRMS2 m_prms21{};
    float m_zoomX = 1.0f;
    float m_zoomY = 1.0f;
    int m_marginX = 0;
    int m_marginY = 0;
    Image* m_imgO1 = nullptr;  // one reference each, dropped through the count
    Image* m_imgO2 = nullptr;
    overlap::PolygonPtr m_polygon;  // image 2's outline in overlap-image pixels
    REGION m_overlapBox{};          // image 1's part of the overlap images
    REGION2 m_polyBox{};
    POINT m_offsetO{};
    POINT m_offset{};
};
