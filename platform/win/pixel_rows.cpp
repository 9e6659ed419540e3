#include "platform/win/pixel_rows.h"
#include "core/cpu_features.h"

#include <cstdint>
#include <cstring>

#include <tmmintrin.h>

namespace win {

void CopyBgrToBgrxPlain(const unsigned char* from, unsigned char* to, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, from += 3, to += 4) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
    }
}

namespace {

// Four pixels a step: 12 source bytes spread into 16, the fourth byte of
// each target pixel kept. The 16-byte loads read 4 bytes past the 12 used,
// so the last step that reads them must end 4 bytes before the row's end.
__attribute__((target("ssse3"))) size_t CopySsse3(const unsigned char* from, unsigned char* to, size_t pixels)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    size_t i = 0;
    // 4 pixels use 12 bytes; the load takes 16: stop while 16 bytes remain.
    for (; i + 6 <= pixels; i += 4) {
        const __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * i));
        __m128i* target = reinterpret_cast<__m128i*>(to + 4 * i);
        const __m128i old = _mm_loadu_si128(target);
        _mm_storeu_si128(target, _mm_or_si128(_mm_shuffle_epi8(source, spread), _mm_and_si128(old, keep)));
    }
    return i;
}

}  // namespace

void CopyBgrToBgrx(const unsigned char* from, unsigned char* to, size_t pixels)
{
    size_t done = 0;
    if (cpu::HasSsse3()) done = CopySsse3(from, to, pixels);
    CopyBgrToBgrxPlain(from + 3 * done, to + 4 * done, pixels - done);
}

}  // namespace win
