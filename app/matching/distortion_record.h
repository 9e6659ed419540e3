// The lens correction that the stitch applies to every loaded image: the
// radial polynomial a, b, c, d (identity: d = 1), the Exif focal length it was
// made for and six colour-registration values. The manager creates it on
// demand; the stitching core reads it bytewise.
#pragma once

struct DistortionRecord {
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 1.0f;
    float exifFocalLength = 0.0f;
    float colourRegistration[6] = {};
};
static_assert(sizeof(DistortionRecord) == 11 * sizeof(float), "DistortionRecord passes bytewise");
