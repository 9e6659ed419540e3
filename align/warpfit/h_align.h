// Homography alignment of an image pair: fits the plane-to-plane projective
// transform between matched points by linear least squares and turns it into
// the pair's rotation parameters (one focal length per image, three angles)
// and the earlier parameter form. The warp fit and the marker refiner call it.
#pragma once

#include "core/pair_align_records.h"
#include "core/geometry_records.h"

#include <memory>

class CHomographyLSQ;
class Image;
class Marker;

class CHAlign {
public:
    CHAlign();
    // The two flags (magnification free, aperture free) are kept for the
    // callers' symmetry with CWAlign; the homography fits both anyway.
    CHAlign(int magFree, int apFree);
    ~CHAlign();
    CHAlign(const CHAlign&) = delete;
    CHAlign& operator=(const CHAlign&) = delete;

    // Feeding. Points are pairs (pts[0][i] in image 1, pts[1][i] in image 2).
    // With raw 0 each point is first measured from its own image's centre
    // (x - w / 2, y - h / 2); word 8 of the earlier form becomes image 1's
    // half width. 1, or 0 (nothing added) on null arguments or n < 0.
    int InitPtPairData(Image* img1, Image* img2, POINT2* pts[2], int n, int raw);
    // Points already in the caller's unit; `value` goes to word 8.
    int InitPtPairData(POINT2* pts[2], int n, float value);
    // Marker sets of the pair, centred on their images; word 8 becomes a
    // quarter of image 1's width. 0 (nothing added) when the counts differ.
    int GetPtPairData(Image* img1, Image* img2, Marker* m1, Marker* m2);

    // Solves and converts. 1 with both records written; 0 with both records
    // unchanged when fewer than 4 pairs were fed, the points do not fix a
    // homography (collinear, too few distinct), or the homography is not one
    // of a camera turning about its centre (affine, a half turn, a view from
    // behind).
    int MainHAlign();

    // The solver's eight parameters u = (h00, h01, h10, h11, h02, h12, h20,
    // h21) of the last successful solve (zero before).
    float* getM01();

    const PAIR_WALIGN_PRMS* GetPrms() const { return &m_prms; }
    const PAIR_WALIGN_RR_PRMS2* GetPrmsRR() const { return &m_prmsRR; }
    int GetTotal() const { return m_total; }

private:
    bool HtoWAlignPrm2(const float* h, PAIR_WALIGN_RR_PRMS2* out) const;
    void AddPair(float x1, float y1, float x2, float y2);

    std::unique_ptr<CHomographyLSQ> m_lsq;
    int m_magFree = 1;
    int m_apFree = 1;
    int m_total = 0;
    PAIR_WALIGN_PRMS m_prms{};
    PAIR_WALIGN_RR_PRMS2 m_prmsRR{};
    float m_extent = 0;  // largest |x| or |y| of the image-1 points fed
};
