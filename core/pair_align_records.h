// Plain records exchanged by the pair-alignment libraries and their callers:
// the pair transform, the initial overlap settings, the global placement of
// one image and the shape of a correlation peak. Copied member-wise.
#pragma once

#include "core/geometry_records.h"

#include <cstdint>
#include <type_traits>

// Pair transform: maps first-image positions (origin at the image centre,
// pixels) into the second image by a rotation about the viewing axis (angA),
// the angle between the viewing directions (angB) and a second rotation about
// the viewing axis (angC), with one reciprocal focal length per image.
struct PAIR_WALIGN_RR_PRMS2 {
    float reserved[4];  // zero in every record the system builds; copied along
    float rcpF1;        // 1 / f1, 1/pixel; also the polygon mapper's scale
    float rcpF2;        // 1 / f2
    float angA;         // radians
    float angB;         // radians
    float angC;         // radians
};

// Earlier form of the pair parameters, the warp refiners' in/out record.
struct PAIR_WALIGN_PRMS {
    float reserved[4];  // zero in a fresh record
    float scale;        // second image against the first, 1.0 when not set
    float rot1;         // rotation of the first image
    float rot2;         // rotation of the second image
    float halfFov1;     // half field-of-view angle of the first image
    float halfWidth1;   // first image's half width in pixels (unit of normalised points)
    float offsetAngle;  // horizontal angular offset
};

// Initial settings of one image pair; the link class holds the default
// {0.4, 0.0, 0.1, 0.1, 0}.
struct PAIR_ALIGN_INIT_SETTING {
    float overlapH;    // fraction of the image width
    float overlapV;    // fraction of the image height
    float toleranceH;  // fraction of the extent
    float toleranceV;
    uint8_t userSet;   // nonzero when the user set the overlap
};

// Global placement of one frame, held by the stitching core.
struct TRANSFORM_RS {
    float centreX;          // optical centre
    float centreY;
    float rcpFocal;         // reciprocal focal length, radians per pixel
    float pan;              // radians
    float tilt;
    float roll;
    float distortion[3];
    float scale;            // 1.0 by default
    int32_t flag;           // 1 once a placement filled the record; the seam blending reads it
    float colorFirst[3];    // per-channel first coefficients (1.0 neutral)
    float colorSecond[3];   // per-channel second coefficients
    float gamma[3];
    unsigned char* colorTable;  // 768 bytes: 256 entries of three bytes, or null
};

// Shape of one correlation peak; allocated with new, freed with delete.
struct ONE_CC_PEAK {
    float offsetX;  // sub-pixel offset along the peak's row
    float offsetY;  // along its column
    float value;    // map value at the integer peak
    float width1X;  // widths at the first level
    float width1Y;
    float width2X;  // widths at the second level
    float width2Y;
};

static_assert(sizeof(PAIR_WALIGN_RR_PRMS2) == 36 && std::is_trivially_copyable_v<PAIR_WALIGN_RR_PRMS2>);
static_assert(sizeof(PAIR_WALIGN_PRMS) == 40 && std::is_trivially_copyable_v<PAIR_WALIGN_PRMS>);
static_assert(sizeof(PAIR_ALIGN_INIT_SETTING) == 20 && std::is_trivially_copyable_v<PAIR_ALIGN_INIT_SETTING>);
static_assert(sizeof(ONE_CC_PEAK) == 28 && std::is_trivially_copyable_v<ONE_CC_PEAK>);
