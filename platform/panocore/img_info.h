// The stitching core's per-frame object: the frame's placement in the
// panorama (TRANSFORM_RS). The rotation matrix and the focal length are views
// of that one record, so whoever writes pan, tilt, roll or the reciprocal
// focal length is seen by whoever reads the matrix, and back. Each image
// frame makes one at construction; the stitching core, the global alignment,
// leveling and the blending driver read and write it.
#pragma once

#include "core/pair_align_records.h"

class IImgInfo {
public:
    // Release: the object is deleted through its interface; it frees the
    // colour table its record points to.
    virtual ~IImgInfo() = default;

    // The frame's placement, written in place. Its colour table pointer, when
    // set, points to 768 bytes from AllocColorTable.
    virtual TRANSFORM_RS* GetParams() = 0;
    // Row-major 3 x 3 rotation computed from pan, tilt and roll: it takes a
    // camera ray given as (y, x, f) (pixels down and right of the optical
    // centre, focal length in pixels), the global alignment's order, to the
    // world ray (x right, y down, z forward); its third column is the
    // viewing axis. It is the placement rotation with its first two columns
    // swapped (determinant -1): {0, 1, 0, 1, 0, 0, 0, 0, 1} at rest.
    virtual void GetRotation(float rotation[9]) = 0;
    // Focal length in pixels: 1 / reciprocal focal length, 0 when unset.
    virtual float GetFocal() = 0;
    // Writes pan, tilt and roll of `rotation` (same form as GetRotation) into
    // the placement and the reciprocal focal length 1 / focal (0 for a focal
    // length that is not above 0).
    virtual void SetRotation(float focal, const float rotation[9]) = 0;
    // Frees the colour table and zeroes the placement (a frame whose stitch
    // results are dropped); the rotation reads as the identity again.
    virtual void ClearParams() = 0;

protected:
    IImgInfo() = default;
    IImgInfo(const IImgInfo&) = delete;
    IImgInfo& operator=(const IImgInfo&) = delete;
};

// A new object: every placement field 0 except the scale (1.0), no colour
// table (so no colour correction), identity rotation. The caller owns it.
IImgInfo* GetImgInfoInterface();

// The 768-byte colour table of a placement (256 entries of three bytes,
// zero-filled), and its release. Every holder of a TRANSFORM_RS uses these,
// so that whoever drops the record can free the table.
unsigned char* AllocColorTable();
void FreeColorTable(unsigned char* table);

// Starts a panorama's placement on its centre frame: pan, tilt and roll
// given (the driver passes 0), optical centre (centreX, centreY) in pixels
// from the top-left corner (the image centre, where the global alignment
// starts and what it writes back), distortion 0, scale 1.0, flag 1, colour block neutral (first
// coefficients 1, second 0, gammas 1, no table; a table held before is
// freed). The reciprocal focal length is kept. False for a null object.
bool InitPanoramaPlacement(IImgInfo* info, float pan, float tilt, float roll, float centreX, float centreY);
