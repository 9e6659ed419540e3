#include "app/matching/utilities.h"

#include "imaging/image.h"
#include "core/logger.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Utilities {

void RaiseZeroPixels(Image* image)
{
    if (image) RaiseZeroPixels(image, 0, 0, image->GetWidth() - 1, image->GetHeight() - 1);
}

void RaiseZeroPixels(Image* image, int x0, int y0, int x1, int y1)
{
    if (!image || !image->GetData()) return;
    const unsigned short type = image->GetDataType();
    if (type != IMG_UINT8 && type != IMG_UINT16) {
        Logger::log("ERROR Utilities::RaiseZeroPixels: samples of type %d are not raised", 1, type);
        return;
    }
    const int sampleBytes = image->GetDataBytes();
    const size_t pixelBytes = static_cast<size_t>(image->GetPixelBytes());
    const size_t rowBytes = static_cast<size_t>(image->GetRowByte());
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image->GetWidth() - 1);
    y1 = std::min(y1, image->GetHeight() - 1);
    unsigned char* plane = image->GetData(0);  // the first sample of each pixel
    for (int y = y0; y <= y1; ++y) {
        unsigned char* p = plane + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x0) * pixelBytes;
        for (int x = x0; x <= x1; ++x, p += pixelBytes) {
            if (sampleBytes == 1) {
                if (*p == 0) *p = 1;
            } else {
                uint16_t v;
                std::memcpy(&v, p, sizeof v);
                if (v == 0) {
                    v = 1;
                    std::memcpy(p, &v, sizeof v);
                }
            }
        }
    }
}

}  // namespace Utilities
