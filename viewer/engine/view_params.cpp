#include "viewer/engine/view_params.h"

#include "core/logger.h"
#include "platform/xformkit/euler_angles.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;
constexpr float kHalfPi = 1.57079632679490f;
// Single-precision constants as the viewers have always used them.
constexpr float kPoleLimit = 1.5706964f;       // a pitch limit at least this far out is a pole
constexpr float kLimitPullIn = 0.05235988f;    // 3 degrees
constexpr float kFullCircleSpan = 6.2731853f;  // 2 pi - 0.01
constexpr float kPitchClampCap = 1.5607964f;   // pi/2 - 0.01
constexpr float kFlatPitchLimit = 0.34906584f; // 20 degrees

}  // namespace

void CViewParams::Reset()
{
    yaw = pitch = roll = 0;
    moveMode = 0;
    limitMode = 1;
    ResetLimits();
}

void CViewParams::ResetLimits()
{
    clampOn = true;
    yawMin = -kPi;
    yawMax = kPi;
    pitchMin = -kHalfPi;
    pitchMax = kHalfPi;
}

void CViewParams::SetLimits(float newYawMin, float newYawMax, float newPitchMin, float newPitchMax)
{
    yawMin = newYawMin;
    yawMax = newYawMax;
    pitchMin = newPitchMin > -kPoleLimit ? newPitchMin + kLimitPullIn : newPitchMin;
    pitchMax = newPitchMax < kPoleLimit ? newPitchMax - kLimitPullIn : newPitchMax;
    limitMode = yawMax - yawMin > kFullCircleSpan ? 1 : 2;
    clampOn = true;
}

void CViewParams::SetLimitsFromMap(int x0, int x1, int y0, int y1, int width)
{
    if (width < 1) {
        Logger::log("ERROR CViewParams::SetLimitsFromMap: map width %d", 1, width);
        return;
    }
    const int top = y0 < 4 ? 0 : y0 + 5;
    const int bottom = y1 >= width / 2 - 3 ? width / 2 : y1 - 5;
    const float perPixel = kTwoPi / static_cast<float>(width);
    SetLimits(static_cast<float>(x0) * perPixel - kPi, static_cast<float>(x1) * perPixel - kPi,
              static_cast<float>(top) * perPixel - kHalfPi, static_cast<float>(bottom) * perPixel - kHalfPi);
}

void CViewParams::SetViewSize(float hfov, float vfov)
{
    if (limitMode != 2) hfov = std::min(hfov, yawMax - yawMin);
    vfov = std::min(vfov, pitchMax - pitchMin);
    halfHFov = hfov / 2;
    halfVFov = vfov / 2;
    yawClampMin = yawMin + halfHFov;
    yawClampMax = yawMax - halfHFov;
    pitchClampMin = pitchMin > -kPitchClampCap ? pitchMin + halfVFov : -kPitchClampCap;
    pitchClampMax = pitchMax < kPitchClampCap ? pitchMax - halfVFov : kPitchClampCap;
}

void CViewParams::SetFov(float hfov, float aspect)
{
    const float vfov = 2.0f * std::atan(std::tan(hfov / 2.0f) * aspect);
    SetViewSize(hfov, vfov);
    Clamp();
}

void CViewParams::Clamp()
{
    if (limitMode < 0 || limitMode > 2) return;
    if (limitMode == 2) {
        if (yaw < yawClampMin)
            yaw = yawClampMin;
        else if (yaw > yawClampMax)
            yaw = yawClampMax;
    }
    if (pitch < pitchClampMin) pitch = pitchClampMin;
    if (pitch > pitchClampMax) pitch = pitchClampMax;
}

void CViewParams::ComposeViewRotation(const float* from, float fromRoll, const float* step, float stepRoll, float* to,
                                      float* outRoll)
{
    const float stepYaw = step ? step[0] : 0.0f, stepPitch = step ? step[1] : 0.0f;
    const Quat view = Eul_ToQuat(Eul_(from[0], -from[1], -fromRoll, EulOrdZYXs));
    const Quat turn = Eul_ToQuat(Eul_(stepYaw, -stepPitch, -stepRoll, EulOrdZYXs));
    // The orientation quaternion takes world directions into the view's
    // frame, so a turn in the view's own frame comes after it (on the left).
    // The other order turns about the world's axes: looking back (yaw pi) an
    // upward step would tilt the view down, and at yaw pi/2 it would roll.
    const EulerAngles result = Eul_FromQuat(Qt_Mul(turn, view), EulOrdZYXs);
    to[0] = result.x;
    to[1] = -result.y;
    if (outRoll) *outRoll = -result.z;
}

bool CViewParams::Move(const float* step)
{
    bool moved = true;
    if (moveMode == 0 || moveMode == 1) {
        float from[2] = {yaw, pitch}, to[2];
        ComposeViewRotation(from, moveMode == 1 ? roll : 0.0f, step, 0.0f, to, moveMode == 1 ? &roll : nullptr);
        yaw = to[0];
        pitch = to[1];
    } else {
        const float stepYaw = step ? step[0] : 0.0f, stepPitch = step ? step[1] : 0.0f;
        if ((pitch >= kFlatPitchLimit && stepPitch > 0) || (pitch <= -kFlatPitchLimit && stepPitch < 0)) {
            moved = false;
        } else {
            yaw += stepYaw;
            pitch += stepPitch;
            if (yaw < -kPi)
                yaw += kTwoPi;
            else if (yaw > kPi)
                yaw -= kTwoPi;
            pitch = std::clamp(pitch, -kFlatPitchLimit, kFlatPitchLimit);
        }
    }
    if (clampOn) Clamp();
    return moved;
}
