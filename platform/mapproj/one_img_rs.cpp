#include "platform/mapproj/one_img_rs.h"

#include "core/logger.h"
#include "imaging/image.h"

#include <algorithm>
#include <cmath>

Image* COneImgRS::ImgToImgWM(Image* image, float focalMm, float pan, float tilt, float roll, float scale)
{
    if (!image || !image->GetData() || image->GetWidth() <= 0 || image->GetHeight() <= 0 || !image->IsInterleaved() ||
        image->GetDataBits() != 8 || (image->GetChannels() != 1 && image->GetChannels() != 3) || !(focalMm > 0.0f) ||
        pan != 0.0f || tilt != 0.0f || roll != 0.0f || scale != 1.0f) {
        Logger::log("ERROR COneImgRS::ImgToImgWM: no usable image or focal length %.2f", 1, focalMm);
        return nullptr;
    }
    const int w = image->GetWidth(), h = image->GetHeight(), n = image->GetChannels();
    const double f = static_cast<double>(focalMm) * std::max(w, h) / 36.0;
    auto* out = new Image(w, h, n);
    if (out->BmpInit() != 0 || !out->GetData()) {
        Logger::log("ERROR COneImgRS::ImgToImgWM: cannot make a %dx%d image", 1, w, h);
        RefRelease(out);
        return nullptr;
    }
    const double cx = w / 2.0, cy = h / 2.0;
    for (int v = 0; v < h; ++v) {
        unsigned char* row = out->GetData() + static_cast<size_t>(v) * out->GetRowByte();
        for (int u = 0; u < w; ++u) {
            const double theta = (u + 0.5 - cx) / f;
            const double height = (v + 0.5 - cy) / f;
            // The cylinder point's ray (sin, height, cos) on the image plane.
            const double c = std::cos(theta);
            double x = f * std::tan(theta) + cx - 0.5;
            double y = f * height / c + cy - 0.5;
            unsigned char* d = row + static_cast<size_t>(u) * n;
            // Pixel i covers i - 0.5 .. i + 0.5 of the photograph.
            if (!(c > 0) || x < -0.5 || y < -0.5 || x > w - 0.5 || y > h - 0.5) {
                std::fill(d, d + n, 0);
                continue;
            }
            x = std::clamp(x, 0.0, w - 1.0);
            y = std::clamp(y, 0.0, h - 1.0);
            const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
            const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
            const double fx = x - x0, fy = y - y0;
            const unsigned char* r0 = image->GetData() + static_cast<size_t>(y0) * image->GetRowByte();
            const unsigned char* r1 = image->GetData() + static_cast<size_t>(y1) * image->GetRowByte();
            for (int k = 0; k < n; ++k) {
                const double top = r0[x0 * n + k] * (1 - fx) + r0[x1 * n + k] * fx;
                const double bottom = r1[x0 * n + k] * (1 - fx) + r1[x1 * n + k] * fx;
                d[k] = static_cast<unsigned char>(std::lround(top * (1 - fy) + bottom * fy));
            }
        }
    }
    return out;
}
