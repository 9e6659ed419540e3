// Leveling of a stitched panorama: one rotation of the whole panorama that
// puts the frames' view axes on a level circle (the vertical component of
// every axis as equal as possible), found two small angles at a time by a
// damped Gauss-Newton fit, or set directly from the first and the last frame
// when only one or two pairs are merged.
//
// Frame of the fit: the frames' rotations (IImgInfo::GetRotation) give world
// rays as (x right, y down, z forward); the fit works on (down, right,
// forward), so that the first component is the vertical one and the two
// turns of a step are about the horizontal axes. M below is expressed in
// that frame; it is carried back before it touches a frame.
#pragma once

#include <cstdint>

class ImageGroup;
class ImageFrame;

// Cramer's rule on the 2 x 2 normal equations (a11, a12, a21, a22) s = (b1, b2).
// A determinant below 1e-12 x (a11^2 + a22^2 + a12^2) (all view axes alike)
// or a non-finite result gives the zero step.
void SolveTwoByTwo(const float normal[4], const float right[2], float step[2]);

// Every listed frame's rotation becomes R times its rotation, with
// R = CTransform3D::CalcMatrixRotZYX(-angle, tilt, -pan) in the leveling frame.
void ApplyLevelingToFrames(float angle, float pan, float tilt, const int* list, int count, ImageGroup* group);

// Saves the frame's pan, tilt and roll into saved, then sets its rotation to
// M (leveling frame) times its rotation.
void RotateFrameByMatrix(const float M[9], float saved[3], ImageFrame* frame);
// Writes saved back as the frame's pan, tilt and roll.
void RestoreFrameAngles(const float saved[3], ImageFrame* frame);

class PanoLeveler {
public:
    PanoLeveler() = default;
    ~PanoLeveler();
    PanoLeveler(const PanoLeveler&) = delete;
    PanoLeveler& operator=(const PanoLeveler&) = delete;

    // True when the panorama was leveled (or needed the direct rotation
    // only); false without frames or merged pairs.
    bool Solve(ImageGroup* group, float tolerance);

    // -1 nothing to level, 0 the fit runs, 1 the rotation was set directly.
    int Prepare(ImageGroup* group);
    void CollectAxes();
    float ComputeSpread();
    void ApplyStep(float step[2]);
    void Iterate(float tolerance);

    const float* Matrix() const { return m_matrix; }
    const float* Step() const { return m_step; }
    int Passes() const { return m_passes; }
    // Sets M (tests start a fit from a chosen matrix).
    void SetMatrix(const float m[9]);

private:
    float m_matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float m_saved[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float m_normal[4] = {};
    float m_right[2] = {};
    float m_step[2] = {};
    int32_t* m_list = nullptr;
    ImageGroup* m_group = nullptr;
    float* m_axes = nullptr;
    int32_t m_count = 0;
    int m_passes = 0;  // passes of the last Iterate
};
