// Direct multi-channel normalised cross-correlation of one template against
// a window of shifts in another overlay: the hot loop of the correlation
// refiner. Products of samples are summed with 16-bit SIMD multiply-adds,
// the block sums and squared sums come from integral images. Internal to
// Warpfit (exported for its tests and benchmark).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class Image;

namespace warpfit {

enum class NccKernel { Scalar, Sse2, Avx2 };

bool NccKernelAvailable(NccKernel kernel);
// The fastest kernel this processor runs.
NccKernel BestNccKernel();

// An 8-bit interleaved overlay (1 or 3 channels) prepared for correlation:
// the samples widened to int16, every row followed by zeros so that a
// kernel may read a whole padded template row from any pixel, and integral
// images of each pixel's channel sum and squared sum.
class NccSearchImage {
public:
    // False (and empty) for images that are not 8-bit interleaved with 1 or
    // 3 channels.
    bool Init(const Image* img);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Channels() const { return m_channels; }
    size_t Stride() const { return m_stride; }  // int16 samples per row
    const int16_t* Pixel(int x, int y) const
    {
        return m_samples.data() + static_cast<size_t>(y) * m_stride + static_cast<size_t>(x) * m_channels;
    }
    // Sums over the w x h block with top-left (x, y), all channels.
    int64_t Sum(int x, int y, int w, int h) const { return Block(m_sum, x, y, w, h); }
    int64_t SumSq(int x, int y, int w, int h) const { return Block(m_sumSq, x, y, w, h); }

private:
    int64_t Block(const std::vector<int64_t>& t, int x, int y, int w, int h) const;

    int m_width = 0, m_height = 0, m_channels = 0;
    size_t m_stride = 0;
    std::vector<int16_t> m_samples;
    std::vector<int64_t> m_sum, m_sumSq;  // (width + 1) x (height + 1)
};

// A template block cut from an overlay, rows padded with zeros to a
// multiple of 16 samples.
struct NccTemplate {
    bool Init(const Image* img, int x, int y, int w, int h);
    int width = 0, height = 0, channels = 0;
    int rowLength = 0;  // padded samples per row
    int64_t sum = 0, sumSq = 0;
    std::vector<int16_t> samples;
};

// The sum of products of the template with the block whose top-left sample
// is b (rows `stride` samples apart, readable for the padded row length).
int64_t BlockDot(NccKernel kernel, const NccTemplate& t, const int16_t* b, size_t stride);

// The NCC of the template against the blocks of `s` with top-left
// (bx + dx, by + dy) for dy = -ry..ry, dx = -rx..rx, row-major into map.
// valid[i] is 0 (and map[i] 0) where the block leaves the search image; a
// block or template without variance gives 0.
void NccWindow(NccKernel kernel, const NccTemplate& t, const NccSearchImage& s, int bx, int by, int rx, int ry,
               double* map, unsigned char* valid);

// The NCC from the sums, as the refiner defines it, in double precision.
double NccFromSums(int64_t n, int64_t sa, int64_t saa, int64_t sb, int64_t sbb, int64_t sab);

namespace detail {
int64_t BlockDotAvx2(const NccTemplate& t, const int16_t* b, size_t stride);
bool HasAvx2();
}  // namespace detail

}  // namespace warpfit
