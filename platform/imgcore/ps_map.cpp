#include "platform/imgcore/ps_map.h"

#include "core/logger.h"
#include "imaging/image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

void PSMap::Reset()
{
    *this = PSMap();
}

void PSMap::Shift(double dx, double dy)
{
    m_tx += dx;
    m_ty += dy;
}

void PSMap::Zoom(double sx, double sy)
{
    m_a *= sx;
    m_b *= sx;
    m_tx *= sx;
    m_c *= sy;
    m_d *= sy;
    m_ty *= sy;
}

void PSMap::ZoomAtPoint(double factor, double x, double y)
{
    Shift(-x, -y);
    Zoom(factor, factor);
    Shift(x, y);
}

void PSMap::Rotate(double cx, double cy, double sine, double cosine)
{
    Shift(-cx, -cy);
    const double a = cosine * m_a - sine * m_c, b = cosine * m_b - sine * m_d, tx = cosine * m_tx - sine * m_ty;
    const double c = sine * m_a + cosine * m_c, d = sine * m_b + cosine * m_d, ty = sine * m_tx + cosine * m_ty;
    m_a = a;
    m_b = b;
    m_tx = tx;
    m_c = c;
    m_d = d;
    m_ty = ty;
    Shift(cx, cy);
}

void PSMap::MapPoint(double x, double y, double* outX, double* outY) const
{
    if (outX) *outX = m_a * x + m_b * y + m_tx;
    if (outY) *outY = m_c * x + m_d * y + m_ty;
}

bool PSMap::UnmapPoint(double x, double y, double* outX, double* outY) const
{
    const double det = m_a * m_d - m_b * m_c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    const double u = x - m_tx, v = y - m_ty;
    if (outX) *outX = (m_d * u - m_b * v) / det;
    if (outY) *outY = (m_a * v - m_c * u) / det;
    return true;
}

void PSMap::CopyTo(PSMap* other) const
{
    if (other) *other = *this;
}

bool PSMap::IsConstant() const
{
    constexpr double kTolerance = 1e-9;
    return std::fabs(m_a - 1.0) < kTolerance && std::fabs(m_d - 1.0) < kTolerance && std::fabs(m_b) < kTolerance &&
           std::fabs(m_c) < kTolerance;
}

namespace {

bool Usable8Bit(const Image* image)
{
    return image && image->GetData() && image->GetDataType() == IMG_UINT8 && image->IsInterleaved() &&
           image->GetWidth() > 0 && image->GetHeight() > 0 && image->GetChannels() >= 1;
}

}  // namespace

bool PSMap::MapImage(const Image* source, Image* target, int resampling) const
{
    if (!Usable8Bit(source) || !Usable8Bit(target) || source->GetChannels() != target->GetChannels()) {
        Logger::log("ERROR PSMap::MapImage needs two 8-bit interleaved images of the same channels", 1);
        return false;
    }
    const double det = m_a * m_d - m_b * m_c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) {
        Logger::log("ERROR PSMap::MapImage the map is singular", 1);
        return false;
    }
    // The inverse matrix: picture = M (screen - t).
    const double ia = m_d / det, ib = -m_b / det, ic = -m_c / det, id = m_a / det;
    const int sw = source->GetWidth(), sh = source->GetHeight(), n = source->GetChannels();
    const size_t srcRow = static_cast<size_t>(source->GetRowByte());
    const unsigned char* src = source->GetData();
    const int tw = target->GetWidth(), th = target->GetHeight();
    for (int y = 0; y < th; ++y) {
        unsigned char* out = target->GetData() + static_cast<size_t>(y) * target->GetRowByte();
        const double v = y - m_ty;
        for (int x = 0; x < tw; ++x, out += n) {
            const double u = x - m_tx;
            const double px = ia * u + ib * v;
            const double py = ic * u + id * v;
            if (!(px >= -0.5 && px <= sw - 0.5 && py >= -0.5 && py <= sh - 0.5)) continue;
            if (resampling == kNearest) {
                const int ix = std::min(sw - 1, std::max(0, static_cast<int>(std::floor(px + 0.5))));
                const int iy = std::min(sh - 1, std::max(0, static_cast<int>(std::floor(py + 0.5))));
                const unsigned char* p = src + static_cast<size_t>(iy) * srcRow + static_cast<size_t>(ix) * n;
                for (int c = 0; c < n; ++c) out[c] = p[c];
                continue;
            }
            // Bilinear between the four pixel centres around the point; the
            // half-pixel border repeats the edge pixels.
            const double cx = std::min<double>(sw - 1, std::max(0.0, px));
            const double cy = std::min<double>(sh - 1, std::max(0.0, py));
            const int x0 = static_cast<int>(cx), y0 = static_cast<int>(cy);
            const int x1 = std::min(sw - 1, x0 + 1), y1 = std::min(sh - 1, y0 + 1);
            const double fx = cx - x0, fy = cy - y0;
            const unsigned char* p00 = src + static_cast<size_t>(y0) * srcRow + static_cast<size_t>(x0) * n;
            const unsigned char* p01 = src + static_cast<size_t>(y0) * srcRow + static_cast<size_t>(x1) * n;
            const unsigned char* p10 = src + static_cast<size_t>(y1) * srcRow + static_cast<size_t>(x0) * n;
            const unsigned char* p11 = src + static_cast<size_t>(y1) * srcRow + static_cast<size_t>(x1) * n;
            for (int c = 0; c < n; ++c) {
                const double top = p00[c] + (p01[c] - p00[c]) * fx;
                const double bottom = p10[c] + (p11[c] - p10[c]) * fx;
                const double value = top + (bottom - top) * fy;
                out[c] = static_cast<unsigned char>(std::min(255.0, std::max(0.0, value + 0.5)));
            }
        }
    }
    return true;
}

void FillEmptyPixels(Image* image, int colour)
{
    if (!Usable8Bit(image)) {
        Logger::log("ERROR FillEmptyPixels needs an 8-bit interleaved image", 1);
        return;
    }
    const int n = image->GetChannels();
    const unsigned char samples[3] = {static_cast<unsigned char>((colour >> 16) & 0xFF),
                                      static_cast<unsigned char>((colour >> 8) & 0xFF),
                                      static_cast<unsigned char>(colour & 0xFF)};
    for (int y = 0; y < image->GetHeight(); ++y) {
        unsigned char* p = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < image->GetWidth(); ++x, p += n) {
            if (p[0] != 0) continue;
            for (int c = 0; c < n && c < 3; ++c) p[c] = samples[c];
        }
    }
}
