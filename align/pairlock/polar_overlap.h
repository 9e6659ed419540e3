// Overlap images of an image pair for the coarse search: the first image
// subsampled by an integer step, the second warped into that subsampled frame
// with the inverse pair transform, both cut to an FFT-friendly box, and
// matched points carried back into the input images. Used by the
// multi-channel aligner's coarse (mode -1) path.
#pragma once

#include "platform/mapproj/overlap_support.h"
#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "imaging/image.h"
#include "core/win_types.h"

// The subsampled frame has nxS x nyS pixels ((W1 + 2 marginX) / step by
// (H1 + 2 marginY) / step); its pixel xs is image-1 point step (xs - nxS / 2)
// from image 1's centre. Overlap pixel X is frame pixel X + box.x0.
class CPolarOverlap {
public:
    // step is the subsampling of image 1 (at least 1; MakeOverlapImgs refuses
    // anything less).
    CPolarOverlap(int step, int marginX, int marginY);
    ~CPolarOverlap();
    CPolarOverlap(const CPolarOverlap&) = delete;
    CPolarOverlap& operator=(const CPolarOverlap&) = delete;

    // Keeps the inverse of the pair transform p (image 1 -> image 2) as
    // rcpF2, rcpF1, pi - angC, angB, pi - angA.
    void InitFromPairPrms(PAIR_WALIGN_RR_PRMS2* p);

    // Earlier images are released first. False (no overlap images) when the
    // inputs or the step are unusable, the outline maps to nothing, the box
    // is under 5000 pixels or an image cannot be made.
    bool MakeOverlapImgs(Image* img1, Image* img2);

    // pairs[0] (overlap image 1) and pairs[1] (overlap image 2) into image 1
    // and image 2, top-left pixel coordinates, in place. 1; 0 (ERROR line)
    // before overlap images exist.
    int PtPairsOverlapToRawFrames(POINT2* pairs[2], int n);

    // The box of M cells over content [x0, x0 + B) of a row of N: centred
    // when it cannot fit, at the content's far end when the content runs to
    // the end of the row, else at the start or centred on the content.
    static int PlaceBox(int N, int M, int B, int x0);
    // An FFT-friendly size not below n: the least power of two p >= n, or
    // 3 p / 4 when that is enough.
    static int FftSize(int n);

    Image* GetImgO1() const { return m_imgO1; }
    Image* GetImgO2() const { return m_imgO2; }
    gpc_polygon* GetPolygon() const { return m_polygon.get(); }
    REGION* GetOverlapBox() { return &m_overlapBox; }
    const POINT& GetOffsetO1() const { return m_offsetO1; }
    const POINT& GetOffsetO2() const { return m_offsetO2; }
    int GetStep() const { return m_step; }

private:
    void ReleaseOverlap();
    Image* MapImg2Polar(Image* img2, int nxS, int nyS, float e, REGION& box);
    gpc_polygon* LayoutMapBox(gpc_polygon* poly, int nxS, int nyS, REGION& box);
    Image* SubsampleImg1(Image* img1, int step, const REGION& r);

    Image* m_img1 = nullptr;  // not owned
    Image* m_img2 = nullptr;
    // The inverse transform in the mapper's form.
    float m_rcpF2 = 0.0f;
    float m_rcpF1 = 0.0f;
    float m_angC = 0.0f;
    float m_angB = 0.0f;
    float m_angA = 0.0f;
    int m_marginX = 0;
    int m_marginY = 0;
    int m_step = 1;
    Image* m_imgO1 = nullptr;  // one reference each, dropped through the count
    Image* m_imgO2 = nullptr;
    POINT m_offsetO1{};  // image-1 pixels from the frame centre to the overlap centre
    POINT m_offsetO2{};
    overlap::PolygonPtr m_polygon;  // image 2's outline in overlap pixels
    REGION m_overlapBox{};
};
