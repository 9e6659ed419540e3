// Focal length and field of view of the 35 mm film frame (36 x 24 mm), as
// the camera settings and the image views convert them. Angles are full
// angles in degrees, focal lengths in millimetres.
#pragma once

class FL2Apperture {
public:
    // The short side of the frame is 24 mm; an image of aspect `ratio`
    // (short side over long side, 0.75 for 4:3) spans 24 / ratio mm across.
    static float appertureLandscape2FL_35mm(float angle, float ratio);
    static float apperturePortrait2FL_35mm(float angle);
    static float FL2AppertureLandscape_35mm(float focal, float ratio);
    static float FL2ApperturePortrait_35mm(float focal);
};
