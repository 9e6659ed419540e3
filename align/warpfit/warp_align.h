// Warp alignment of an image pair by closed-form correction steps: fits the
// earlier-form pair parameters (rotation of each image about its centre,
// scale of image 2, half field of view, horizontal angular offset) to
// matched marker pairs projected onto the sphere. CWAlign builds its
// minimisation on it; the correlation refiners are the callers.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"
#include "projectgraph/curvekit/point2m.h"

#include <cstddef>
#include <vector>

class Image;
class Marker;

class CWarpAlign {
public:
    // magFree: fit the scale of image 2 (forced off when apFree is 0);
    // apFree: fit the field of view.
    CWarpAlign(int magFree, int apFree);
    ~CWarpAlign();
    // Copies are deep (the pair buffer is duplicated); the marker arrays
    // stay the caller's.
    CWarpAlign(const CWarpAlign&) = default;
    CWarpAlign& operator=(const CWarpAlign&) = default;

    void InitWAlignPrms(const PAIR_WALIGN_PRMS* p);
    int GetMarkerPairMinNum() const;
    // Fixes the field of view: word 7 = degrees * pi / 360 (the half angle in
    // radians of a full angle in degrees).
    void SetAperture(float degrees);
    void SetRefineMode(int mode) { m_refineMode = mode; }

    // Feeding: 1, or 0 (nothing kept or allocated) when n is below
    // GetMarkerPairMinNum or the arguments are unusable. Points are
    // normalised by word 8 (image 1's half width; image 2's by word 8 *
    // scale2). raw: the records are already measured from their image
    // centres; otherwise they are top-left pixel positions.
    int InitPtPairData(Image* img1, Image* img2, POINT2M* m[2], int n, float scale2, int raw);
    int GetPtPairData(Image* img1, Image* img2, Marker* m1, Marker* m2, float scale2);
    // Records already normalised; word 8 = width / 2.
    int InitPtPairData(int width, int height, POINT2M* m[2], int n);

    // The correction steps. 1, or 0 when the pair set is degenerate (all
    // points of an image coincide, a scale of 0) or nothing was fed; the
    // record then keeps what the last completed step wrote.
    int MainWarpAlign();
    int CalcAlign0();
    int OneStepAlign0(int step);
    int OneStepAlignWarp(int step);

    // Estimators on a pair set (pts[0][i], pts[1][i]).
    // Half field of view from the vertical disagreement of the pairs: 1, or
    // 0 with 0.5235988 (30 degrees) when no pair carries it.
    int CalcAperture(POINT2* pts[2], int n, float* ap) const;
    // Spread of image 2's points over image 1's: 1, or 0 (zoom unchanged)
    // when image 1's points coincide.
    int CalcZoom(POINT2* pts[2], int n, float* zoom) const;
    // Small rotations d1, d2 of the two images and the horizontal offset
    // that best align the pairs: 1, or 0 (outputs unchanged) when the
    // least-squares system is singular.
    int CalcDRotW(POINT2* pts[2], int n, float* d1, float* d2, float* offset) const;

    const PAIR_WALIGN_PRMS* GetPrms() const { return &m_prms; }
    int GetNumPairs() const { return m_n; }

protected:
    // The three pair sets, each image 1 then image 2, n points each.
    POINT2* In(int image) { return m_buffer.data() + static_cast<std::size_t>(image) * m_n; }
    POINT2* Rot(int image) { return m_buffer.data() + static_cast<std::size_t>(2 + image) * m_n; }
    POINT2* Proj(int image) { return m_buffer.data() + static_cast<std::size_t>(4 + image) * m_n; }
    // Image 1's input points rotated by word 5 and scaled by word 4, image
    // 2's rotated by word 6, into `dst`.
    void RotatePairs(POINT2* dst[2]);
    void ProjectPairs(POINT2* src[2], POINT2* dst[2], float halfAngle);
    bool AllocatePairs(int n);

    POINT2M* m_markers[2] = {nullptr, nullptr};
    int m_magFree = 0;
    int m_apFree = 0;
    float m_scale2 = 1.0f;
    int m_freshStart = 1;
    int m_refineMode = 1;
    int m_width = 0;
    int m_height = 0;
    int m_n = 0;
    std::vector<POINT2> m_buffer;  // 6 n points
    PAIR_WALIGN_PRMS m_prms{};
    int m_numSteps = 41;
};
