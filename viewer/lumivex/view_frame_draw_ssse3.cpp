#include "viewer/lumivex/view_frame_draw_kernels.h"

#include <cstring>
#include <tmmintrin.h>

namespace lumivexdraw {

__attribute__((target("ssse3"))) size_t SpreadRowSsse3(const unsigned char* in, size_t readable,
                                                        const SpreadGroup* groups, size_t groupCount,
                                                        const int32_t* columns, unsigned char* out)
{
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    size_t g = 0;
    for (; g < groupCount; ++g) {
        const SpreadGroup& s = groups[g];
        unsigned char* p = out + 16 * g;
        if (!s.vector) {
            SpreadRowPlain(in, columns + 4 * g, 4, p);
            continue;
        }
        if (static_cast<size_t>(s.base) + 16 > readable) break;  // the plain loop finishes the row
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + s.base));
        const __m128i spread = _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(s.mask)));
        __m128i* target = reinterpret_cast<__m128i*>(p);
        _mm_storeu_si128(target, _mm_or_si128(spread, _mm_and_si128(_mm_loadu_si128(target), keep)));
    }
    return 4 * g;
}

__attribute__((target("ssse3"))) size_t SpreadRowPairSsse3(const unsigned char* in, size_t readable,
                                                            const SpreadGroup* groups, size_t groupCount,
                                                            const int32_t* columns, unsigned char* out,
                                                            unsigned char* second)
{
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    size_t g = 0;
    for (; g < groupCount; ++g) {
        const SpreadGroup& s = groups[g];
        if (!s.vector) {
            SpreadRowPlain(in, columns + 4 * g, 4, out + 16 * g);
            SpreadRowPlain(in, columns + 4 * g, 4, second + 16 * g);
            continue;
        }
        if (static_cast<size_t>(s.base) + 16 > readable) break;  // the plain loop finishes the rows
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + s.base));
        const __m128i spread = _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(s.mask)));
        __m128i* a = reinterpret_cast<__m128i*>(out + 16 * g);
        __m128i* b = reinterpret_cast<__m128i*>(second + 16 * g);
        _mm_storeu_si128(a, _mm_or_si128(spread, _mm_and_si128(_mm_loadu_si128(a), keep)));
        _mm_storeu_si128(b, _mm_or_si128(spread, _mm_and_si128(_mm_loadu_si128(b), keep)));
    }
    return 4 * g;
}

}  // namespace lumivexdraw
