// The steering of one perspective view of a panorama: its direction, the
// angular limits of the panorama's data that the view must stay inside, the
// field of view, and how a mouse or spin step turns the view. The viewer
// program and the viewer control own one each; the face list reads the
// direction from it every frame. Angles are radians: yaw 0 at the map's
// middle column, pitch negative upwards.
#pragma once

#include <cstdint>

class CViewParams {
public:
    CViewParams() { Reset(); }

    // Direction 0, compose mode 0, full circle, then ResetLimits. The clamp
    // ranges are set only by SetViewSize (through SetFov), which a caller
    // runs before the first Move or Clamp.
    void Reset();
    // Clamping on, limits -pi..pi and -pi/2..pi/2.
    void ResetLimits();

    // The yaw, pitch, roll triple.
    float* GetAngles() { return &yaw; }
    float GetRoll() const { return roll; }

    // Pitch limits short of a pole are pulled in by 3 degrees; limitMode 1
    // when the yaw span exceeds 2 pi - 0.01, else 2.
    void SetLimits(float yawMin, float yawMax, float pitchMin, float pitchMax);
    // The limits of a data area in map pixels of a map of equator width
    // `width`; rows within 3 of a pole reach the pole, others are pulled in
    // by 5 rows. Nothing changes (an ERROR line) for a width below 1.
    void SetLimitsFromMap(int x0, int x1, int y0, int y1, int width);
    void SetViewSize(float hfov, float vfov);
    // aspect = view height / view width.
    void SetFov(float hfov, float aspect);
    // A partial panorama narrower than the view has yawClampMin above
    // yawClampMax: yaw then goes to the minimum when below it, else to the
    // maximum.
    void Clamp();
    // step: yaw and pitch increments in the view's own frame (null: none).
    // False when flat mode refuses the step.
    bool Move(const float* step);

    // The view (yaw, pitch) turned by `step` in its own frame, through
    // quaternions of order ZYXs; outRoll (when given) receives the new roll.
    static void ComposeViewRotation(const float* from, float roll, const float* step, float stepRoll, float* to,
                                    float* outRoll);

    float yaw = 0, pitch = 0, roll = 0;
    // 0 compose rotations keeping the roll, 1 compose and update the roll,
    // anything else add the step to yaw and pitch (flat mode).
    int32_t moveMode = 0;
    bool clampOn = true;
    // 1 full circle (yaw free), 2 partial (yaw clamped); negative: no clamping.
    int16_t limitMode = 1;
    float yawMin = 0, yawMax = 0, pitchMin = 0, pitchMax = 0;
    float yawClampMin = 0, yawClampMax = 0, pitchClampMin = 0, pitchClampMax = 0;
    float halfHFov = 0, halfVFov = 0;
};
