#include "imaging/value_image.h"

#include "imaging/image.h"
#include "core/logger.h"

#include <type_traits>

namespace {

template <class T>
unsigned char Grey(T v, T lo, T hi)
{
    if constexpr (std::is_floating_point_v<T>) {
        if (v != v) return 0;  // NaN
    }
    if (v <= lo) return 0;
    if (v >= hi) return 255;  // also every value above lo when hi <= lo
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<unsigned char>((v - lo) * 255 / (hi - lo));
    } else {
        return static_cast<unsigned char>((int64_t{v} - lo) * 255 / (int64_t{hi} - lo));
    }
}

template <class T>
Image* Convert(const T* map, int w, int h, T lo, T hi)
{
    if (!map || w <= 0 || h <= 0) {
        Logger::log("ERROR MapToImage() no map or size %d x %d", 1, w, h);
        return nullptr;
    }
    Image* image = new Image(w, h, 3);
    if (!image->GetData()) {
        ReleaseImage(image);
        return nullptr;
    }
    for (int y = 0; y < h; ++y) {
        unsigned char* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        const T* src = map + static_cast<size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const unsigned char g = Grey(src[x], lo, hi);
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
        }
    }
    return image;
}

}  // namespace

Image* MapToImage(const float* map, int w, int h, float lo, float hi) { return Convert(map, w, h, lo, hi); }
Image* MapToImage(const signed char* map, int w, int h, signed char lo, signed char hi) { return Convert(map, w, h, lo, hi); }
Image* MapToImage(const unsigned char* map, int w, int h, unsigned char lo, unsigned char hi) { return Convert(map, w, h, lo, hi); }
Image* MapToImage(const int16_t* map, int w, int h, int16_t lo, int16_t hi) { return Convert(map, w, h, lo, hi); }
Image* MapToImage(const int32_t* map, int w, int h, int32_t lo, int32_t hi) { return Convert(map, w, h, lo, hi); }
