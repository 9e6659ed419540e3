// Radial lens distortion correction: resamples a photograph in place through
// the polynomial of a DistortionRecord (and its lateral colour registration
// when it has one), and maps control points found on uncorrected images into
// the corrected ones. Called when frames are loaded with run-time correction
// on, by the image view's preview and "Correct distortion" command and by the
// preparation of automatic markers.
//
// `rec` points at the eleven floats of a DistortionRecord {a, b, c, d, Exif
// focal length, r1, r2, r3, b1, b2, b3}. Radii are normalised by half the
// shorter side of the image; `s` is the frame's focal ratio to the
// calibration (1.0 when unknown).
#pragma once

class Image;
class Marker;

// a p^3 + b p^2 + c p + d.
float DistortFactor(const float* rec, float p);
// p times DistortFactor: the normalised source radius of output radius p.
float DistortRadius(const float* rec, float p);
// The radius p with DistortRadius(p) = target, searched upward from [lo, hi];
// always ends, and answers within the bracket it reached.
float UndistortRadius(const float* rec, float target, float lo, float hi);
// The output scale k that keeps the middles of the long edges in place.
float GetUndistortScale(const float* rec, float s);
// The size of the corrected image: the short side stays, the long side takes
// the middles of the short edges along. Sizes that cannot be represented come
// back as 0.
void GetCorrectedSize(const float* rec, int width, int height, int* outWidth, int* outHeight, float s);
// Corrects an 8-bit image of one or three interleaved channels in place. With
// keepSize the image keeps its size (cut or centred on a zero border);
// otherwise it takes the corrected size. Bad input leaves the image as it
// was, with an ERROR line.
void CorrectLensDistortion(const float* rec, Image* image, bool keepSize, float s);
// Points found on an uncorrected image, mapped into the corrected image of
// width x height; a new set the caller owns, null on bad input.
Marker* CorrectMarkerDistortion(const Marker* points, const float* rec, int width, int height, float s);
