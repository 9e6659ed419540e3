#include "qtmovie/pixel_order.h"
#include "core/cpu_features.h"

#include <tmmintrin.h>

namespace cinvora {

namespace {

// Five pixels a step from one 16-byte load (15 bytes used), stored as 16
// bytes of which the last is rewritten by the next step; the loop stops
// while a whole 16 bytes remain on both sides, the plain loop finishes.
__attribute__((target("ssse3"))) int SwapSsse3(const uint8_t* src, uint8_t* dst, int pixels)
{
    const __m128i reverse = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int i = 0;
    for (; i + 6 <= pixels; i += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * i), _mm_shuffle_epi8(v, reverse));
    }
    return i;
}

}  // namespace

void SwapRedBluePlain(const uint8_t* src, uint8_t* dst, int pixels)
{
    for (int x = 0; x < pixels; ++x) {
        const uint8_t r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
        dst[3 * x] = b;
        dst[3 * x + 1] = g;
        dst[3 * x + 2] = r;
    }
}

void SwapRedBlue(const uint8_t* src, uint8_t* dst, int pixels)
{
    const int done = cpu::HasSsse3() ? SwapSsse3(src, dst, pixels) : 0;
    SwapRedBluePlain(src + 3 * done, dst + 3 * done, pixels - done);
}

}  // namespace cinvora
