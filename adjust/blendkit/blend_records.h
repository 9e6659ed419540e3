// Records of the seam blending: intensity pairs sampled in an overlap, the
// samples along a division line, and each side's blend polygons as the pair
// information keeps them.
#pragma once

#include "core/geometry_records.h"
#include "core/pair_align_records.h"

#include <cstdint>
#include <type_traits>

// entries: count records of six floats, channels 0-2 in the own frame, then
// channels 0-2 in the other. Allocated with new[]; FreeIntenPairs releases.
struct INTEN_PAIRS {
    float* entries;
    int32_t count;
};

// One sample of a division line.
struct ONE_DL_V_MAP {
    int32_t x;         // sample point, overlap-image pixels
    int32_t y;
    float along;       // position along the line, pixels
    float dx;          // matched displacement; -1, -1 marks a failed match
    float dy;
    float colorA[3];   // channel averages in the first image; -1 when the box failed
    float colorB[3];   // in the second image
};

struct CDivLineData {
    ONE_DL_V_MAP* samples;  // new[]; null without samples
    int32_t count;
    POINT2 start;           // line ends in the first image's centred frame
    POINT2 end;
};

// One side of a pair's seam.
struct CBlendPolygons {
    uint8_t drawPlain;             // 1: this side's band is drawn plainly; 0: blended
    PAIR_WALIGN_RR_PRMS2 pairPrms; // the pair's relative alignment
    CDivLineData* lineData;        // owned; only the first side holds it
    gpc_polygon* bound;            // owned: the image bound
    gpc_polygon* ownRegion;        // owned: the part on this side of the line
    gpc_polygon* band;             // owned: the blend band

    void InitAll();
    void FreeAll();
};

static_assert(sizeof(ONE_DL_V_MAP) == 44 && std::is_trivially_copyable_v<ONE_DL_V_MAP>);
static_assert(std::is_trivially_copyable_v<INTEN_PAIRS> && std::is_trivially_copyable_v<CDivLineData>);

// Releases the entries and clears the record.
void FreeIntenPairs(INTEN_PAIRS* pairs);
// Releases a line-data record made with new, with its samples.
void FreeDivLineData(CDivLineData* data);
