// Preparation of one frame pair for seam blending: the division line where
// the two footprints cross and each side's own region and blend band.
#pragma once

#include "adjust/blendkit/blend_records.h"

class Image;

class CPairIntDiv {
public:
    // The division line of a w1 x h1 first image and a w2 x h2 second image
    // placed by prms (first -> second), and both sides' polygons: sides[0]
    // (first image, drawn plainly, holds the line data without samples) and
    // sides[1] (second image, blended, holds prms), new records to free with
    // FreeAll and delete. The line runs in the first image's centred frame,
    // oriented so that the first image's centre lies on its positive
    // perpendicular side. False with both null when the outlines do not
    // cross (no overlap, or one footprint inside the other).
    static bool MakeBlendSides(int w1, int h1, int w2, int h2, const PAIR_WALIGN_RR_PRMS2& prms,
                               CBlendPolygons** sides);

    // One pair a (first) and b (second) placed by ta and tb: the intensity
    // pairs of their overlap into out (fake pairs when too few boxes), and
    // with sides both sides' blend polygons, the first side holding the line
    // data with its samples. Without sides the result is the intensity
    // sampling's. False (sides null) when the overlap cannot be made or the
    // footprints do not cross.
    bool MainPairIntDiv(Image* a, Image* b, TRANSFORM_RS* ta, TRANSFORM_RS* tb, INTEN_PAIRS* out,
                        CBlendPolygons** sides);

    // Does nothing; kept for the callers that print the pairs while tracing.
    static void PrintIntenPairs(INTEN_PAIRS*) {}

    int m_nBoxes = 10;
    int m_boxW = 20;
    int m_boxH = 20;
};

// Runs MainPairIntDiv without sides and frees the pairs; 1.
int TestCPairIntDiv(Image* a, Image* b, TRANSFORM_RS* ta, TRANSFORM_RS* tb);
// Self-test of the pair blending on two rendered views: the pair prepared
// with samples, both sides' weights 0.5 on the line. 1 when it holds, else 0
// with an ERROR line.
int TestCPairBlendRegions();
// Release function handed to the pair information with a side record.
void ReleaseBlendPolygons(CBlendPolygons* sides);
