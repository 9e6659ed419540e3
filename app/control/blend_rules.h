// The small rules the blending driver, the Blend step and the perspective
// render share: the reduction factors of the image-reduction codes, the
// choice of a reload size for images loaded smaller than the output needs,
// the pyramid levels, the seam kind of a link and the pan wrap. Pure
// functions, so that their tables are tested on their own.
#pragma once

#include <cstdint>

class ImageFrame;

// Reduction factor of an image-reduction code: 1 -> 1, 2 -> 3, 3 -> 2,
// 4 -> 1.5, 5 -> 1.3333334, any other code 1.
float ReductionFactor(int code);

// Whether frames loaded at loadedScale (1 / factor) must be reloaded larger
// for an output of `scale` (panorama pixels per full-size image pixel), and
// if so at which code, with X = loaded scale / reload scale, the factor the
// reciprocal focal length takes while the reloaded image is in use.
struct ReloadChoice {
    bool large = false;
    int code = 1;
    float x = 1.0f;
};
ReloadChoice ChooseReload(float scale, float loadedScale);

// Pyramid levels of the blend from the first image's width w0 (pixels as
// loaded): trunc(2 w0 (outputScale / loadedScale) / 500), clamped to 1..3.
int BlendLevels(int w0, float outputScale, float loadedScale);

// Seam kind of a link's seam code: 1 -> 2, 2 -> 1, anything else 0.
int SeamKindFromCode(int code);
// Seam kind of the link from `frame` to `other`; 0 without a link.
int LinkSeamKind(ImageFrame* frame, ImageFrame* other);
// Seam code of the link from `frame` to `other`; 0xFF without a link.
uint8_t LinkSeamCode(ImageFrame* frame, ImageFrame* other);

// A pan shifted by -centre back into [-pi, pi): the test against pi in
// double precision, the correction by the single-precision 6.2831855.
float WrapPan(float pan);

// Equator samples of a scene file: samples rounded toward zero to a
// multiple of 4.
inline int SceneSamples(int samples)
{
    return samples - samples % 4;
}
