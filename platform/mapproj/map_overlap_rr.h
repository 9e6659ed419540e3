// Overlap images of an image pair in the image plane: the second image warped
// into the (optionally zoomed) frame of the first with the pair transform, the
// first cut to the same region, and the polygon they share. The pair
// aligner's plane overlap and the seam blending both build on it; the aligner
// warps with the view engine's polygon mapper (it overrides WarpRegion), the
// seam blending with the plain bilinear warp here.
#pragma once

#include "core/geometry_records.h"
#include "core/pair_align_records.h"
#include "core/win_types.h"
#include "imaging/image.h"
#include "platform/mapproj/overlap_support.h"

// Frames used below:
// - the zoomed frame: image 1 scaled evenly by zoomX, wdZ x htZ pixels, top
//   left at (0, 0); a point u from its centre (wdZ / 2, htZ / 2) is image-1
//   point W1 / 2 + u / zoomX.
// - the overlap images: image 2's outline box in the zoomed frame, widened by
//   the margins; rows are further scaled by zy = zoomY / zoomX. Overlap pixel
//   (X, Y) is zoomed-frame point (X - WO / 2 + offset.x, (Y - HO / 2) / zy +
//   offset.y) from the frame centre (integer halves, as the polygon mapper
//   takes them).
class CMapOverlapRR {
public:
    CMapOverlapRR();
    virtual ~CMapOverlapRR();
    // Owns its overlap images and polygons.
    CMapOverlapRR(const CMapOverlapRR&) = delete;
    CMapOverlapRR& operator=(const CMapOverlapRR&) = delete;

    // m_prms21 from the forward transform (its inverse), from an inverse
    // transform, or from scalar pieces (rcpF1 = r, rcpF2 = r / q, a, b, c).
    // The first form also keeps the forward transform.
    void InitWAlign12to21(PAIR_WALIGN_RR_PRMS2* p);
    void InitWAlign21(PAIR_WALIGN_RR_PRMS2* p);
    void InitWAlign21(float r, float a, float b, float c, float q);
    // Zoom (1, 1 by default) and margins (0, 0) of the next MakeOverlapImgs;
    // false (unchanged, an ERROR line) when out of range.
    bool SetZoomMargins(float zoomX, float zoomY, int marginX, int marginY);
    // Image 2 sampled bilinearly by the next MakeOverlapImgs (default: the
    // nearest pixel).
    void SetBilinear(bool on) { m_bilinear = on; }

    // Makes both overlap images with the stored transform, zooms and margins;
    // earlier overlap images and polygons are released first. False, with no
    // overlap images, when an image is unusable, the outline maps to nothing,
    // lies beside image 1 or the images cannot be made.
    bool MakeOverlapImgs(Image* img1, Image* img2);

    // Cuts both overlap images to the shared polygon's box widened by margin
    // pixels (within the images), moving the polygons and the offset along.
    // Only for an even zoom (zoomX = zoomY). False (unchanged) before the
    // overlap images exist or without a shared area.
    bool CutToOverlap(int margin);

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

    // Fills the pixels of dst whose centres lie inside region (dst pixels,
    // even-odd over all contours) with src seen through P (src -> frame);
    // dst pixel (X, Y) is frame point (X - Wd / 2 + offset.x, Y - Hd / 2 +
    // offset.y) from the frame's centre. Pixels whose source point falls
    // outside src stay as they are. This warp: nearest pixel, or bilinear
    // inside the outer pixel centres.
    virtual bool WarpRegion(Image* src, Image* dst, const gpc_polygon* region, const POINT* offset,
                            const PAIR_WALIGN_RR_PRMS2* P, bool bilinear);

    Image* GetImgO1() const { return m_imgO1; }
    Image* GetImgO2() const { return m_imgO2; }
    // Image 2's outline in overlap-image pixels.
    gpc_polygon* GetPolygon() const { return m_polygon.get(); }
    // The part of it inside image 1: the area the two overlap images share.
    gpc_polygon* GetOverlapPolygon() const { return m_overlapPolygon.get(); }
    REGION* GetOverlapBox() { return &m_overlapBox; }
    const REGION2& GetPolyBox() const { return m_polyBox; }
    const POINT& GetOffset() const { return m_offset; }
    const PAIR_WALIGN_RR_PRMS2& GetPrms12() const { return m_prms12; }
    const PAIR_WALIGN_RR_PRMS2& GetPrms21() const { return m_prms21; }
    float GetZoomX() const { return m_zoomX; }
    float GetZoomY() const { return m_zoomY; }
    // Overlap pixel -> image 1's centred frame (origin at pixel (W1 / 2, H1 / 2)).
    POINT2 OverlapToImage1Centred(const POINT2& p) const;

protected:
    void ReleaseOverlap();

    Image* m_img1 = nullptr;  // the pair, not owned
    Image* m_img2 = nullptr;
    PAIR_WALIGN_RR_PRMS2 m_prms12{};
    PAIR_WALIGN_RR_PRMS2 m_prms21{};
    float m_zoomX = 1.0f;
    float m_zoomY = 1.0f;
    int m_marginX = 0;
    int m_marginY = 0;
    bool m_bilinear = false;
    Image* m_imgO1 = nullptr;  // one reference each, dropped through the count
    Image* m_imgO2 = nullptr;
    overlap::PolygonPtr m_polygon;         // image 2's outline in overlap-image pixels
    overlap::PolygonPtr m_overlapPolygon;  // that outline cut to image 1
    REGION m_overlapBox{};                 // image 1's part of the overlap images
    REGION2 m_polyBox{};
    POINT m_offsetO{};
    POINT m_offset{};
};
