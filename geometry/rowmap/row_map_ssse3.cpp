#include "geometry/rowmap/row_map_kernels.h"
#include "geometry/rowmap/row_map_sse2.h"

#include <tmmintrin.h>

// Built with -mssse3 and entered only where the processor has SSSE3.

namespace rowmap {

namespace {

// Three-byte pixels with the byte shuffle of SSSE3, chosen at run time where
// the processor has it: the same loads, the same multiply-adds on the same
// pairs, hence the same bytes, with a third of the shuffling. Bytes 0-7 hold
// the top row from P00 on, bytes 8-15 the bottom row from two bytes before P01.
inline uint32_t SampleRgbSsse3(const uint8_t* p, ptrdiff_t stride, bool wideLoads,
                                                                const int32_t* pair)
{
    const __m128i left = _mm_setr_epi8(0, -1, 10, -1, 1, -1, 11, -1, 2, -1, 12, -1, -1, -1, -1, -1);
    const __m128i right = _mm_setr_epi8(3, -1, 13, -1, 4, -1, 14, -1, 5, -1, 15, -1, -1, -1, -1, -1);
    const __m128i lowBytes = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    __m128i rows;
    if (wideLoads) {
        rows = _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))),
                                             reinterpret_cast<const double*>(p + stride - 2)));
    } else {
        uint64_t t = 0, b = 0;
        std::memcpy(&t, p, 6);
        std::memcpy(reinterpret_cast<uint8_t*>(&b) + 2, p + stride, 6);
        rows = _mm_set_epi64x(static_cast<long long>(b), static_cast<long long>(t));
    }
    const __m128i weights = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair));
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(rows, left), _mm_shuffle_epi32(weights, 0x00)),
                                      _mm_madd_epi16(_mm_shuffle_epi8(rows, right), _mm_shuffle_epi32(weights, 0x55)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi8(_mm_srli_epi32(sum, 9), lowBytes)));
}

}  // namespace

void RgbSsse3Loop(const RowMapping& r)
{
    auto sample = [](const uint8_t* p, ptrdiff_t stride, bool wide, const int32_t* pair) {
        return SampleRgbSsse3(p, stride, wide, pair);
    };
    r.average ? GroupLoop<true, true>(r, sample) : GroupLoop<true, false>(r, sample);
}

}  // namespace rowmap
