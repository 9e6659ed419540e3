#include "worldmap/rgb_swap.h"
#include "core/cpu_features.h"

#include <tmmintrin.h>

void SwapRgbBgrScalar(const uint8_t* in, uint8_t* out, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, in += 3, out += 3) {
        const uint8_t first = in[0];
        out[0] = in[2];
        out[1] = in[1];
        out[2] = first;
    }
}

namespace {

// Sixteen pixels (48 bytes) per step, from three loads made before any store,
// so that in-place use never reads a byte it has just written. Output vector
// k lane l takes input byte p(16k + l), p(j) = 3 (j / 3) + 2 - j % 3, which
// lies in vector k or a neighbour; each mask picks the lanes one input vector
// gives (0x80 zeroes the others).
struct SwapMasks {
    alignas(16) uint8_t m[3][3][16];
    SwapMasks()
    {
        for (int k = 0; k < 3; ++k)
            for (int v = 0; v < 3; ++v)
                for (int l = 0; l < 16; ++l) {
                    const int j = 16 * k + l;
                    const int p = 3 * (j / 3) + 2 - j % 3;
                    m[k][v][l] = static_cast<uint8_t>(p / 16 == v ? p % 16 : 0x80);
                }
    }
};

// The 16-pixel steps, with the store given: `Streaming` stores need `out`
// 16-byte aligned.
template <bool Streaming>
__attribute__((target("ssse3"))) size_t SwapSteps(const uint8_t*& in, uint8_t*& out, size_t pixels)
{
    static const SwapMasks masks;
    auto mask = [](int k, int v) { return _mm_load_si128(reinterpret_cast<const __m128i*>(masks.m[k][v])); };
    auto store = [](uint8_t* p, __m128i v) {
        if constexpr (Streaming)
            _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    };
    const __m128i m00 = mask(0, 0), m01 = mask(0, 1);
    const __m128i m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2);
    const __m128i m21 = mask(2, 1), m22 = mask(2, 2);
    size_t i = 0;
    for (; i + 16 <= pixels; i += 16, in += 48, out += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        store(out, _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01)));
        store(out + 16,
              _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)), _mm_shuffle_epi8(c, m12)));
        store(out + 32, _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22)));
    }
    if constexpr (Streaming) _mm_sfence();  // the streamed bytes are visible before the caller reads them
    return i;
}

void SwapRgbBgrSsse3(const uint8_t* in, uint8_t* out, size_t pixels)
{
    const size_t done = SwapSteps<false>(in, out, pixels);
    SwapRgbBgrScalar(in, out, pixels - done);
}

void SwapRgbBgrStreamingSsse3(const uint8_t* in, uint8_t* out, size_t pixels)
{
    // Plain pixels up to a 16-byte boundary of `out` (3 and 16 are coprime,
    // so one lies within 16 pixels), then the streamed steps.
    size_t head = 0;
    while (head < pixels && (reinterpret_cast<uintptr_t>(out + 3 * head) & 15) != 0) ++head;
    SwapRgbBgrScalar(in, out, head);
    in += 3 * head;
    out += 3 * head;
    const size_t done = SwapSteps<true>(in, out, pixels - head);
    SwapRgbBgrScalar(in, out, pixels - head - done);
}

}  // namespace

void SwapRgbBgrStreaming(const uint8_t* in, uint8_t* out, size_t pixels)
{
    if (cpu::HasSsse3())
        SwapRgbBgrStreamingSsse3(in, out, pixels);
    else
        SwapRgbBgrScalar(in, out, pixels);
}

void SwapRgbBgr(const uint8_t* in, uint8_t* out, size_t pixels)
{
    if (cpu::HasSsse3())
        SwapRgbBgrSsse3(in, out, pixels);
    else
        SwapRgbBgrScalar(in, out, pixels);
}
