// Mapproj's warp of one photograph into the panorama's projection for a
// lens of a given 35-mm focal length: the cylinder about the vertical axis
// through the camera, so that neighbouring warped photographs overlap by a
// plain horizontal and vertical offset.
#pragma once

class Image;

class COneImgRS {
public:
    // A new warped image (one reference for the caller) of the same size as
    // `image` (8-bit interleaved, 1 or 3 channels): column u shows the
    // longitude (u - w/2) / f, row v the height (v - h/2) / f on the
    // cylinder, with f the focal length in pixels for `focalMm` over the
    // image's longer side as 36 mm. The three angles are accepted for the
    // caller's record and must be 0; `scale` must be 1.0. Null (ERROR line)
    // for a missing or unusable image or a focal length not above 0.
    static Image* ImgToImgWM(Image* image, float focalMm, float pan, float tilt, float roll, float scale);
};
