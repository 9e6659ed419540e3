#include "app/matching/image_downscale_kernels.h"
#include "core/cpu_features.h"

#include <vector>

namespace downscale {

namespace {

// The weights of FilterFor as array types, so that the reference's loops
// unroll over constants.
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

// Columns are summed first over whole rows, which keeps the inner loops on
// contiguous bytes. The weights are a template argument so that every
// product and divisor is a constant of the unrolled loops.
template <int C, int N, int M, const Weights<N, M>& w>
void ReduceSeparable(const ReduceJob& job)
{
    const size_t rowSamples = static_cast<size_t>(job.blocksX) * N * C;
    // Column sums of one block row, one line per result row (at most
    // 6 x 255 each).
    std::vector<uint16_t> columns(static_cast<size_t>(M) * rowSamples);
    for (int by = 0; by < job.blocksY; ++by) {
        const unsigned char* rows[N];
        for (int k = 0; k < N; ++k) rows[k] = job.src + static_cast<size_t>(N * by + k) * job.srcRowBytes;
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
            unsigned char* out = job.dst + static_cast<size_t>(M * by + i) * job.dstRowBytes;
            for (int bx = 0; bx < job.blocksX; ++bx, line += N * C, out += M * C)
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
void ReducePortableChannels(const ReduceJob& job)
{
    switch (job.code) {
    case 2: ReduceSeparable<C, 3, 1, kThirds>(job); break;
    case 3: ReduceSeparable<C, 2, 1, kHalves>(job); break;
    case 4: ReduceSeparable<C, 3, 2, kTwoThirds>(job); break;
    case 5: ReduceSeparable<C, 4, 3, kThreeQuarters>(job); break;
    default: break;
    }
}

}  // namespace

void ReducePortable(const ReduceJob& job)
{
    if (job.channels == 3)
        ReducePortableChannels<3>(job);
    else
        ReducePortableChannels<1>(job);
}

void ReduceSamplesPortable(const ReduceJob& job, int by, int first, int last)
{
    const Filter f = FilterFor(job.code);
    const int C = job.channels;
    const unsigned char* rows[4] = {};
    for (int k = 0; k < f.n; ++k) rows[k] = job.src + static_cast<size_t>(f.n * by + k) * job.srcRowBytes;
    for (int i = 0; i < f.m; ++i) {
        unsigned char* out = job.dst + static_cast<size_t>(f.m * by + i) * job.dstRowBytes;
        for (int o = first; o < last; ++o) {
            const int pixel = o / C, ch = o % C;
            const int block = pixel / f.m, t = pixel % f.m;
            unsigned sum = 0;
            for (int r = 0; r < f.n; ++r)
                for (int k = 0; k < f.n; ++k)
                    sum += static_cast<unsigned>(f.w[i][r] * f.w[t][k]) * rows[r][(block * f.n + k) * C + ch];
            const unsigned d = static_cast<unsigned>(f.Sum(i) * f.Sum(t));
            out[o] = static_cast<unsigned char>((sum + d / 2) / d);
        }
    }
}

bool HasSsse3()
{
    return cpu::HasSsse3();
}

#if !defined(__x86_64__)
void ReduceSsse3(const ReduceJob& job)
{
    ReducePortable(job);
}
#endif

Kernel BestKernel()
{
    if (HasSsse3()) return Kernel::Ssse3;
    return Kernel::Portable;
}

void Run(const ReduceJob& job, Kernel kernel)
{
    if (kernel == Kernel::Ssse3 && HasSsse3())
        ReduceSsse3(job);
    else
        ReducePortable(job);
}

}  // namespace downscale
