#include "app/matching/utilities.h"

#include "imaging/image.h"
#include "core/logger.h"

#include <cstdint>
#include <cstring>

namespace Utilities {

void RaiseZeroPixels(Image* image)
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
    unsigned char* plane = image->GetData(0);  // the first sample of each pixel
    for (int y = 0; y < image->GetHeight(); ++y) {
        unsigned char* p = plane + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < image->GetWidth(); ++x, p += pixelBytes) {
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
