#include "app/matching/image_downscale_kernels.h"

#include <tmmintrin.h>

#include <utility>

// Built with -mssse3 and entered only where the processor has SSSE3.

namespace downscale {

namespace {

inline __m128i Load(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// Source rows are fetched this far ahead of the windows being read: the
// loop does enough work per byte that the hardware prefetcher alone falls
// behind on two to four rows at once.
constexpr size_t kPrefetchAhead = 2048;

template <int Code, int C>
struct Reducer {
    static constexpr ReducePlan kPlan = BuildPlan(Code, C);
    static constexpr Filter kFilter = FilterFor(Code);
    static constexpr int N = kPlan.n, M = kPlan.m;

    // The horizontal sums of one source row for the eight results of a
    // step (at most 6 x 255 per lane).
    static __m128i RowSums(const unsigned char* row, const StepPlan& step)
    {
        const __m128i a = Load(row + step.window[0]);
        const __m128i b = kPlan.anyTwoWindows ? Load(row + step.window[1]) : a;
        __m128i sum = _mm_setzero_si128();
        for (int g = 0; g < kPlan.groups; ++g) {
            __m128i pairs = _mm_shuffle_epi8(a, Load(step.shuffle[g][0]));
            if (kPlan.anyTwoWindows) pairs = _mm_or_si128(pairs, _mm_shuffle_epi8(b, Load(step.shuffle[g][1])));
            sum = _mm_add_epi16(sum, _mm_maddubs_epi16(pairs, Load(step.weights[g])));
        }
        return sum;
    }

    // Step q of the period starting at source byte `base`: results o .. o + 7
    // of every output row of the block row.
    static void Step(const unsigned char* const* rows, unsigned char* const* outs, size_t base, int o, int q)
    {
        const StepPlan& step = kPlan.steps[q];
        __m128i h[N];
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) h[k] = RowSums(rows[k] + base, step);
#pragma GCC unroll 3
        for (int i = 0; i < M; ++i) {
            __m128i acc = _mm_setzero_si128();
#pragma GCC unroll 4
            for (int k = 0; k < N; ++k) {
                const int w = kFilter.w[i][k];
                if (w == 1)
                    acc = _mm_add_epi16(acc, h[k]);
                else if (w != 0)
                    acc = _mm_add_epi16(acc, _mm_mullo_epi16(h[k], _mm_set1_epi16(static_cast<short>(w))));
            }
            acc = _mm_add_epi16(acc, Load(step.half[i]));
            const __m128i quotient = _mm_srli_epi16(_mm_mulhi_epu16(acc, Load(step.magic[i])), 1);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(outs[i] + o), _mm_packus_epi16(quotient, quotient));
        }
    }

    template <int... Q>
    static void Period(const unsigned char* const* rows, unsigned char* const* outs, size_t base, int o,
                       std::integer_sequence<int, Q...>)
    {
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k)
            for (int ahead = 0; ahead < kPlan.periodSource; ahead += 64)
                _mm_prefetch(reinterpret_cast<const char*>(rows[k] + base + kPrefetchAhead + ahead), _MM_HINT_T0);
        (Step(rows, outs, base, o + 8 * Q, Q), ...);
    }

    // One block row: whole periods while they lie inside the row, the steps
    // that still do, then the row's end the portable way.
    static void BlockRow(const ReduceJob& job, int by)
    {
        const unsigned char* rows[N];
        for (int k = 0; k < N; ++k) rows[k] = job.src + static_cast<size_t>(N * by + k) * job.srcRowBytes;
        unsigned char* outs[M];
        for (int i = 0; i < M; ++i) outs[i] = job.dst + static_cast<size_t>(M * by + i) * job.dstRowBytes;
        const int results = job.blocksX * M * C;
        int o = 0;
        size_t base = 0;
        while (o + 8 * kPlan.period <= results && base + static_cast<size_t>(kPlan.readEnd) <= job.srcAvail) {
            Period(rows, outs, base, o, std::make_integer_sequence<int, kPlan.period>{});
            base += static_cast<size_t>(kPlan.periodSource);
            o += 8 * kPlan.period;
        }
        for (int q = 0; q < kPlan.period; ++q, o += 8) {
            if (o + 8 > results || base + static_cast<size_t>(kPlan.steps[q].window[1]) + 16 > job.srcAvail) break;
            Step(rows, outs, base, o, q);
        }
        if (o < results) ReduceSamplesPortable(job, by, o, results);
    }

    static void Run(const ReduceJob& job)
    {
        if constexpr (!kPlan.valid) {
            ReducePortable(job);
        } else {
            for (int by = 0; by < job.blocksY; ++by) BlockRow(job, by);
        }
    }
};

template <int C>
void ReduceChannels(const ReduceJob& job)
{
    switch (job.code) {
    case 2: Reducer<2, C>::Run(job); break;
    case 3: Reducer<3, C>::Run(job); break;
    case 4: Reducer<4, C>::Run(job); break;
    case 5: Reducer<5, C>::Run(job); break;
    default: ReducePortable(job); break;
    }
}

}  // namespace

void ReduceSsse3(const ReduceJob& job)
{
    if (job.channels == 3)
        ReduceChannels<3>(job);
    else
        ReduceChannels<1>(job);
}

}  // namespace downscale
