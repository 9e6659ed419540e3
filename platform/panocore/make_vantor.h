// The stitching core's scene maker: projects a placed image onto the
// panorama sphere as a scene file (bands of sectors), the form in which the
// world maps take an image in. Called by the sphere overlap of pair
// alignment and by the blending driver.
#pragma once

#include "core/pair_align_records.h"
#include "imaging/image.h"

class KestovaFile;
struct DistortionRecord;  // the main program's 11-float lens record

class IMakeVantor {
public:
    // Deleted through this interface by its caller.
    virtual ~IMakeVantor() = default;
    // Back to the plain pinhole model.
    virtual void ClearDistortion() = 0;
    // Lens distortion of the frames to project: the record's first four floats
    // (a, b, c, d) give the image radius of an undistorted radius R as
    // R (d + c R + b R^2 + a R^3), radii in units of half the shorter side of
    // a width x height image. focalRatio and channels are kept for callers.
    virtual void SetDistortion(const DistortionRecord* record, int width, int height, float focalRatio,
                               int channels) = 0;
    // Fills `file` with img projected by the placement rs (reciprocal focal
    // length, pan, tilt, roll; optical centre by PlacementCentre): one band
    // per scan line the image covers, each sector a run of samples that fall
    // inside the image, bilinear, through rs's colour table when it has one,
    // a first sample of 0 stored as 1. The file's
    // equator sample count n (a multiple of 4) and channel count must be set;
    // band row y lies at latitude y 2 pi / n (down positive) and column c at
    // longitude c 2 pi / n, the columns taken on the turn around the image's
    // pan. Earlier bands of the file are kept. The three trailing values are
    // not used. False, with an ERROR line, when nothing can be projected.
    virtual bool MakeScene(Image* img, KestovaFile* file, const TRANSFORM_RS* rs, int, bool, int) = 0;

protected:
    IMakeVantor() = default;
    IMakeVantor(const IMakeVantor&) = delete;
    IMakeVantor& operator=(const IMakeVantor&) = delete;
};

// The optical centre a placement gives for a w x h image (pixels from the
// top-left corner): the record's centre as the global alignment writes it
// when it lies inside the image, else the image centre (a placement never
// filled by the alignment holds zeros there).
void PlacementCentre(const TRANSFORM_RS* t, int w, int h, double& cx, double& cy);

// A new scene maker, owned by the caller.
IMakeVantor* GetMakeVantorInterface();
