#include "app/matching/image_downscale.h"

#include "app/matching/photo_buffer.h"
#include "imaging/image.h"
#include "core/logger.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The source and target of one reduction: 8-bit interleaved samples.
struct Planes {
    const unsigned char* src;
    size_t srcRowBytes;
    unsigned char* dst;
    size_t dstRowBytes;
};

// Every reducer is separable: a block of N x N source samples gives M x M
// results, result (i, j) weighing block sample (r, c) by w[i][r] w[j][c]; the
// weighted sum plus half the divisor (the product of the two weight sums) is
// divided and truncated. Columns are summed first over whole rows, which
// keeps the inner loops on contiguous bytes.
//   /3:    one result of 3:  (1 1 1)
//   /2:    one result of 2:  (1 1)
//   x2/3:  two results of 3: (3 1 0), (0 1 3)
//   x3/4:  three of 4:       (5 1 0 0), (0 1 1 0), (0 0 1 5)
template <int N, int M>
using Weights = int[M][N];

constexpr Weights<3, 1> kThirds = {{1, 1, 1}};
constexpr Weights<2, 1> kHalves = {{1, 1}};
constexpr Weights<3, 2> kTwoThirds = {{3, 1, 0}, {0, 1, 3}};
constexpr Weights<4, 3> kThreeQuarters = {{5, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 5}};

template <int N, int M>
constexpr int WeightSum(const Weights<N, M>& w, int i)
{
    int sum = 0;
    for (int k = 0; k < N; ++k) sum += w[i][k];
    return sum;
}

// The weights are a template argument so that every product and divisor is
// a constant of the unrolled loops.
template <int C, int N, int M, const Weights<N, M>& w>
void ReduceSeparable(const Planes& p, int blocksX, int blocksY, int offX, int offY)
{
    const size_t rowSamples = static_cast<size_t>(blocksX) * N * C;
    // Column sums of one block row, one line per result row (at most
    // 6 x 255 each).
    std::vector<uint16_t> columns(static_cast<size_t>(M) * rowSamples);
    for (int by = 0; by < blocksY; ++by) {
        const unsigned char* rows[N];
        for (int k = 0; k < N; ++k)
            rows[k] = p.src + static_cast<size_t>(offY + N * by + k) * p.srcRowBytes + static_cast<size_t>(offX) * C;
#pragma GCC unroll 4
        for (int i = 0; i < M; ++i) {
            uint16_t* line = columns.data() + static_cast<size_t>(i) * rowSamples;
            for (size_t s = 0; s < rowSamples; ++s) {
                unsigned sum = 0;
#pragma GCC unroll 4
                for (int k = 0; k < N; ++k) sum += static_cast<unsigned>(w[i][k]) * rows[k][s];
                line[s] = static_cast<uint16_t>(sum);
            }
        }
#pragma GCC unroll 4
        for (int i = 0; i < M; ++i) {
            const uint16_t* line = columns.data() + static_cast<size_t>(i) * rowSamples;
            unsigned char* out = p.dst + static_cast<size_t>(M * by + i) * p.dstRowBytes;
            for (int bx = 0; bx < blocksX; ++bx, line += N * C, out += M * C)
#pragma GCC unroll 4
                for (int j = 0; j < M; ++j) {
                    const unsigned divisor = static_cast<unsigned>(WeightSum(w, i) * WeightSum(w, j));
#pragma GCC unroll 3
                    for (int ch = 0; ch < C; ++ch) {
                        unsigned sum = 0;
#pragma GCC unroll 4
                        for (int k = 0; k < N; ++k) sum += static_cast<unsigned>(w[j][k]) * line[k * C + ch];
                        out[j * C + ch] = static_cast<unsigned char>((sum + divisor / 2) / divisor);
                    }
                }
        }
    }
}

template <int C>
void Reduce(const Planes& p, DownscaleCode code, int width, int height)
{
    // Thirds and quarters start one pixel in when the margin left over is
    // two pixels or more, so that it is split.
    const int offX3 = width % 3 == 2 ? 1 : 0, offY3 = height % 3 == 2 ? 1 : 0;
    switch (code) {
    case 2: ReduceSeparable<C, 3, 1, kThirds>(p, width / 3, height / 3, offX3, offY3); break;
    case 3: ReduceSeparable<C, 2, 1, kHalves>(p, width / 2, height / 2, 0, 0); break;
    case 4: ReduceSeparable<C, 3, 2, kTwoThirds>(p, width / 3, height / 3, offX3, offY3); break;
    case 5: ReduceSeparable<C, 4, 3, kThreeQuarters>(p, width / 4, height / 4, width % 4 >= 2 ? 1 : 0, height % 4 >= 2 ? 1 : 0); break;
    default: break;
    }
}

void ReducedSize(DownscaleCode code, int width, int height, int& outW, int& outH)
{
    switch (code) {
    case 2: outW = width / 3; outH = height / 3; break;
    case 3: outW = width / 2; outH = height / 2; break;
    case 4: outW = (width / 3) * 2; outH = (height / 3) * 2; break;
    case 5: outW = (width / 4) * 3; outH = (height / 4) * 3; break;
    default: outW = width; outH = height; break;
    }
}

bool IsReducible(const Image* image)
{
    const int channels = image->GetChannels();
    return image->GetData() && image->GetDataType() == IMG_UINT8 && (channels == 1 || (channels == 3 && image->IsInterleaved()));
}

}  // namespace

float GetDownscaleFactor(DownscaleCode code)
{
    switch (code) {
    case 2: return 3.0f;
    case 3: return 2.0f;
    case 4: return 1.5f;
    case 5: return 1.3333334f;
    default: return 1.0f;
    }
}

float GetDownscaleScale(DownscaleCode code)
{
    return 1.0f / GetDownscaleFactor(code);
}

DownscaleCode ChooseDownscaleCode(const Image* image, int limit)
{
    if (!image) return 1;
    const int longSide = std::max(image->GetWidth(), image->GetHeight());
    if (longSide <= limit) return 1;
    if ((longSide / 4) * 3 < limit) return 5;
    if ((longSide / 3) * 2 < limit) return 4;
    if (longSide / 2 < limit) return 3;
    return 2;
}

bool ReduceImageInPlace(Image* image, int limit, DownscaleCode* inOut)
{
    if (!image || !inOut) return false;
    if (*inOut == 0) *inOut = ChooseDownscaleCode(image, limit);
    const DownscaleCode code = *inOut;
    if (code < 2 || code > 5) return false;

    const int width = image->GetWidth();
    const int height = image->GetHeight();
    if (!IsReducible(image)) {
        Logger::log("ERROR ReduceImageInPlace: only 8-bit images of one or three interleaved channels are reduced", 1);
        return false;
    }
    int outW = 0, outH = 0;
    ReducedSize(code, width, height, outW, outH);
    if (outW <= 0 || outH <= 0) {
        Logger::log("ERROR ReduceImageInPlace: a %d x %d image is too small for code %d", 1, width, height, code);
        return false;
    }

    // The old buffer stays alive until the new one is filled; the image only
    // releases it when it owned it, the way it was allocated. The new buffer
    // is not cleared: the reduction writes every sample, and only the row
    // padding is zeroed.
    unsigned char* old = image->GetData();
    const size_t oldRowBytes = static_cast<size_t>(image->GetRowByte());
    const bool owned = image->IsDataOwner();
    const bool fromMalloc = image->IsMallocData();
    image->SetDataOwner(false);
    image->SetSize(outW, outH);
    image->ComputeRowBytes();
    const size_t rowBytes = image->GetRowByte() > 0 ? static_cast<size_t>(image->GetRowByte()) : 0;
    unsigned char* reduced = rowBytes ? AllocatePhotoBuffer(rowBytes * static_cast<size_t>(outH)) : nullptr;
    if (!reduced) {
        Logger::log("ERROR ReduceImageInPlace: cannot allocate the %d x %d reduced image", 1, outW, outH);
        image->SetSize(width, height);
        image->SetRowBytes(static_cast<int>(oldRowBytes));
        image->SetDataOwner(owned);
        return false;
    }
    const size_t used = static_cast<size_t>(outW) * static_cast<size_t>(image->GetChannels());
    if (rowBytes > used)
        for (int y = 0; y < outH; ++y) std::memset(reduced + static_cast<size_t>(y) * rowBytes + used, 0, rowBytes - used);
    image->SetData(reduced, true);
    image->SetDataOwner(true);

    const Planes planes{old, oldRowBytes, image->GetData(), static_cast<size_t>(image->GetRowByte())};
    if (image->GetChannels() == 3)
        Reduce<3>(planes, code, width, height);
    else
        Reduce<1>(planes, code, width, height);

    if (owned) {
        if (fromMalloc)
            std::free(old);
        else
            delete[] old;
    }
    return true;
}
