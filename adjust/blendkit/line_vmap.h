// Samples along a pair's division line in the two overlap images: the
// crossing of the two footprints (CDivLineRR) and, per sample, the local
// displacement found by correlation and both images' colours (CLineVMap).
#pragma once

#include "adjust/blendkit/blend_records.h"
#include "core/win_types.h"
#include "geometry/polykit/poly_seg.h"

class Image;

class CDivLineRR : public CPolySeg {
public:
    CDivLineRR() = default;
    CDivLineRR(Image* a, Image* b, gpc_polygon* overlap, POINT& offsetA, POINT& offsetB, int flag);

    // The overlap images and the polygon they share (overlap-image pixels);
    // none is owned.
    void SetImgsINT(Image* a, Image* b, gpc_polygon* overlap);
    // Where the overlap images sit in the first image (their centre from the
    // first image's centre) and in the second, and a flag kept for callers.
    void SetTransformINT(POINT& offsetA, POINT& offsetB, int flag);
    // The crossing segments of the two footprints (overlap-image pixels).
    // The ints are kept for callers. False when the outlines do not cross.
    bool MainDivLineRR(gpc_polygon* a, gpc_polygon* b, int, int);

    Image* GetImgA() const { return m_imgA; }
    Image* GetImgB() const { return m_imgB; }
    gpc_polygon* GetOverlap() const { return m_overlap; }
    const POINT& GetOffsetA() const { return m_offsetA; }
    const POINT& GetOffsetB() const { return m_offsetB; }

private:
    Image* m_imgA = nullptr;
    Image* m_imgB = nullptr;
    gpc_polygon* m_overlap = nullptr;
    POINT m_offsetA{};
    POINT m_offsetB{};
    int m_flag = 0;
};

class CLineVMap {
public:
    static constexpr int kBox = 30;       // sample box, pixels
    static constexpr int kSearch = 15;    // correlation search, pixels each way
    static constexpr int kCoverage = 70;  // percent of a box inside the overlap

    // Samples the line between the first two junctions of line's crossing
    // in the overlap images a and b: *out receives *count new[] records.
    // False (nothing allocated) without a crossing or when fewer than 5
    // samples fit. A sample whose box and search do not fit inside the
    // images, or whose correlation fails, has displacement (-1, -1); a box
    // too little inside the overlap has colours -1.
    static bool MainLineVMap(Image* a, Image* b, CDivLineRR* line, ONE_DL_V_MAP** out, int* count);
    // Sample count and spacing for a line of the given length; false when
    // fewer than 5 samples fit even at half the spacing.
    static bool LineSampling(float length, int* count, float* spacing);
};
