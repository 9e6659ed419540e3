#include "platform/mapproj/rect_img_rs.h"

#include "core/logger.h"
#include "imaging/image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kTwoPi = 6.283185307179586;

struct Strip {
    const uint8_t* data;
    int width, height, channels;
    size_t rowBytes;
    bool wraps;  // the strip covers the whole equator
};

// Bilinear sample at strip position (x, y), pixel centres on integers;
// false where the position lies outside the strip.
bool Sample(const Strip& s, double x, double y, uint8_t* out)
{
    if (y < -0.5 || y > s.height - 0.5) return false;
    if (!s.wraps && (x < -0.5 || x > s.width - 0.5)) return false;
    const double fx = std::floor(x), fy = std::floor(y);
    const double ax = x - fx, ay = y - fy;
    int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    int x1 = x0 + 1, y1 = y0 + 1;
    if (s.wraps) {
        x0 = ((x0 % s.width) + s.width) % s.width;
        x1 = ((x1 % s.width) + s.width) % s.width;
    } else {
        x0 = std::clamp(x0, 0, s.width - 1);
        x1 = std::clamp(x1, 0, s.width - 1);
    }
    y0 = std::clamp(y0, 0, s.height - 1);
    y1 = std::clamp(y1, 0, s.height - 1);
    const uint8_t* r0 = s.data + static_cast<size_t>(y0) * s.rowBytes;
    const uint8_t* r1 = s.data + static_cast<size_t>(y1) * s.rowBytes;
    for (int c = 0; c < s.channels; ++c) {
        const double top = r0[x0 * s.channels + c] * (1 - ax) + r0[x1 * s.channels + c] * ax;
        const double bottom = r1[x0 * s.channels + c] * (1 - ax) + r1[x1 * s.channels + c] * ax;
        out[c] = static_cast<uint8_t>(std::clamp(top * (1 - ay) + bottom * ay + 0.5, 0.0, 255.0));
    }
    return true;
}

}  // namespace

Image* CRectImgRS::BitmapAreaToPlane(const Image* strip, int equatorRow, int equatorWidth, const RECT* region,
                                     int panShift, float fieldFactor, float roll, float scaleX, float scaleY)
{
    if (!strip || !strip->GetData() || strip->GetWidth() <= 0 || strip->GetHeight() <= 0 || !region) {
        Logger::log("ERROR CRectImgRS::BitmapAreaToPlane no picture or no region", 1);
        return nullptr;
    }
    if (equatorWidth < 4 || !(fieldFactor > 0.0f) || !(scaleX > 0.0f) || !(scaleY > 0.0f) || !std::isfinite(roll)) {
        Logger::log("ERROR CRectImgRS::BitmapAreaToPlane bad equator width %d or factors", 1, equatorWidth);
        return nullptr;
    }
    if (region->right < region->left || region->bottom < region->top) {
        Logger::log("ERROR CRectImgRS::BitmapAreaToPlane empty region", 1);
        return nullptr;
    }
    const double r = equatorWidth / kTwoPi;  // pixels per radian
    const double maxHalf = std::min(1.0, static_cast<double>(fieldFactor)) * kRightAngle;
    const double halfX = std::min(0.5 * (region->right - region->left + 1) / r, maxHalf);
    const double halfY = std::min(0.5 * (region->bottom - region->top + 1) / r, maxHalf);
    const double fx = r * scaleX, fy = r * scaleY;
    const int64_t outW = std::llround(2.0 * fx * std::tan(halfX));
    const int64_t outH = std::llround(2.0 * fy * std::tan(halfY));
    if (outW < 1 || outH < 1 || outW > 32767 || outH > 32767) {
        Logger::log("ERROR CRectImgRS::BitmapAreaToPlane a picture of %lldx%lld cannot be made", 1,
                    static_cast<long long>(outW), static_cast<long long>(outH));
        return nullptr;
    }
    auto* out = new Image();
    if (out->BmpInit(static_cast<int>(outW), static_cast<int>(outH), strip->GetChannels()) != 0) {
        Logger::log("ERROR CRectImgRS::BitmapAreaToPlane cannot make a %lldx%lld picture", 1,
                    static_cast<long long>(outW), static_cast<long long>(outH));
        ReleaseImage(out);
        return nullptr;
    }
    const Strip s{strip->GetData(), strip->GetWidth(), strip->GetHeight(), strip->GetChannels(),
                  static_cast<size_t>(strip->GetRowByte()), strip->GetWidth() >= equatorWidth};
    // The view direction: the region's middle, in strip pixels.
    const double centreX = 0.5 * (region->left + region->right) + panShift;
    const double centreY = 0.5 * (region->top + region->bottom);
    const double pitch = (centreY - equatorRow) / r;  // radians, positive downwards
    const double cp = std::cos(pitch), sp = std::sin(pitch);
    const double cr = std::cos(roll), sr = std::sin(roll);
    const int channels = strip->GetChannels();
    for (int v = 0; v < outH; ++v) {
        uint8_t* row = out->GetData() + static_cast<size_t>(v) * out->GetRowByte();
        for (int u = 0; u < outW; ++u) {
            // Camera frame: x right, y down, z along the view; the plane at z = 1.
            const double px = (u + 0.5 - outW * 0.5) / fx;
            const double py = (v + 0.5 - outH * 0.5) / fy;
            const double x = px * cr - py * sr;
            const double y = px * sr + py * cr;
            // Pitch the camera down by `pitch` about its x axis.
            const double wy = y * cp + sp;
            const double wz = -y * sp + cp;
            const double longitude = std::atan2(x, wz);
            const double latitude = std::atan2(wy, std::hypot(x, wz));
            if (!Sample(s, centreX + longitude * r, equatorRow + latitude * r, row + u * channels))
                std::fill(row + u * channels, row + (u + 1) * channels, uint8_t{0});
        }
    }
    return out;
}
