// The stitching core's per-frame object: the frame's placement in the
// panorama (TRANSFORM_RS), its rotation matrix and focal length. Each image
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
    // Row-major 3 x 3 rotation (identity in a new object).
    virtual void GetRotation(float rotation[9]) = 0;
    // Focal length in pixels: the value last given to SetRotation, else the
    // reciprocal of the placement's reciprocal focal length, else 0.
    virtual float GetFocal() = 0;
    virtual void SetRotation(float focal, const float rotation[9]) = 0;
    // Frees the colour table and zeroes the placement, the rotation and the
    // focal length (a frame whose stitch results are dropped).
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
