#include "platform/utilkit/fl2_apperture.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kShortSide = 24.0;  // mm

double HalfAngle(float degrees)
{
    return degrees * std::numbers::pi / 360.0;
}

// Focal length that sees `extent` mm under the full angle, and back.
float FocalFor(double extent, float angle)
{
    const double t = std::tan(HalfAngle(angle));
    return t > 0 && std::isfinite(t) ? static_cast<float>(extent / 2.0 / t) : 0.0f;
}

float RadiansFor(double extent, float focal)
{
    return focal > 0 ? static_cast<float>(2.0 * std::atan(extent / 2.0 / focal)) : 0.0f;
}

}  // namespace

float FL2Apperture::appertureLandscape2FL_35mm(float angle, float ratio)
{
    return ratio > 0 ? FocalFor(kShortSide / ratio, angle) : 0.0f;
}

float FL2Apperture::apperturePortrait2FL_35mm(float angle)
{
    return FocalFor(kShortSide, angle);
}

float FL2Apperture::FL2AppertureLandscape_35mm(float focal, float ratio)
{
    return ratio > 0 ? RadiansFor(kShortSide / ratio, focal) : 0.0f;
}

float FL2Apperture::FL2ApperturePortrait_35mm(float focal)
{
    return RadiansFor(kShortSide, focal);
}

float FL_legacyTo35mm(float focal)
{
    return std::isfinite(focal) && focal > 0 ? focal : 0.0f;
}
