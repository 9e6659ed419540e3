// The cube module's flat-view blender: renders placed frames, one after the
// other, into a perspective picture (the target) through a viewport, with the
// same pinhole model the scene maker uses, and feathers each new frame into
// what the earlier ones left. The blending driver's perspective render calls
// it; a first sample of 0 in the target means "no data yet".
#pragma once

#include "core/geometry_records.h"
#include "core/pair_align_records.h"

#include <cstdint>
#include <vector>

class Image;

class CMapBlend {
public:
    CMapBlend();
    ~CMapBlend();
    CMapBlend(const CMapBlend&) = delete;
    CMapBlend& operator=(const CMapBlend&) = delete;

    // The picture to render into (8-bit, interleaved, 1 or 3 channels); it is
    // cleared to "no data". The blender holds a reference until it is
    // replaced or the blender goes.
    void SetImgO(Image* target);
    // View direction: x the pan (radians, to the right), y the tilt (radians,
    // down positive); viewAngle the roll of the view about its axis
    // (radians); fieldOfView the horizontal angle across the target's width
    // (radians, in (0, pi)).
    void SetViewPort(const POINT2* viewDirection, float viewAngle, float fieldOfView);
    // Renders img placed by t (reciprocal focal length, pan, tilt, roll,
    // optical centre in pixels from the top-left corner) into the target.
    // Where the target already holds data the two meet along a seam with a
    // transition bw pixels of the frame wide (at least one target pixel): kind 0 on the middle line of the
    // overlap, 1 the new frame (the right one) over the old, 2 the old over
    // the new. False, with an ERROR line, for an unusable image, placement,
    // target or viewport; a frame outside the view is no error.
    bool MapBlendOneImage(Image* img, const TRANSFORM_RS* t, int bw, int kind);

    // Samples of the target covered by the frames so far.
    int64_t CoveredSamples() const;

private:
    Image* m_target = nullptr;
    bool m_viewSet = false;
    double m_view[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // view ray -> world ray
    double m_pixelAngle = 0;                         // tan of one target pixel's step at the centre
    std::vector<uint8_t> m_covered;                  // one per target pixel
};

// The optical centre a placement gives for a w x h image: the record's
// centre when it lies inside the image, else the image centre (a placement
// never filled by the alignment holds zeros there).
void PlacementCentre(const TRANSFORM_RS* t, int w, int h, double& cx, double& cy);
