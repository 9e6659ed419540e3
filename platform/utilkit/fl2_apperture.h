// Focal length and field of view of the 35 mm film frame (36 x 24 mm), as
// the camera settings and the image views convert them. Focal lengths are in
// millimetres. The forward pair (FL2Apperture...) answers the full angle in
// RADIANS, because every caller halves it and takes its tangent; the inverse
// pair (...2FL_35mm) takes the full angle in DEGREES (align/warpfit feeds it
// degrees).
#pragma once

class FL2Apperture {
public:
    // The short side of the frame is 24 mm; an image of aspect `ratio`
    // (short side over long side, 0.75 for 4:3) spans 24 / ratio mm across.
    static float appertureLandscape2FL_35mm(float angleDegrees, float ratio);
    static float apperturePortrait2FL_35mm(float angleDegrees);
    static float FL2AppertureLandscape_35mm(float focal, float ratio);  // radians
    static float FL2ApperturePortrait_35mm(float focal);                // radians
};

// Focal length of an old camera file converted to the 35 mm equivalent. The
// only legacy camera files are those the camera wizard wrote, and it always
// stored the 35 mm focal length, so a finite positive value is returned
// unchanged; anything else (0, negative, NaN, infinite) answers 0 ("unknown").
float FL_legacyTo35mm(float focal);
