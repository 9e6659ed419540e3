// The loops behind ReduceImageInPlace: the portable separable reducer, which
// is the reference, and the byte-shuffle kernel (SSSE3) chosen at run
// time, which must give exactly its bytes. Shared by image_downscale.cpp and
// the kernel files; the tests run each variant directly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace downscale {

// One reduction of 8-bit interleaved samples. src points at the first sample
// used (start offsets applied); blocksX x blocksY blocks of N x N source
// pixels give M x M results each.
struct ReduceJob {
    const unsigned char* src;
    size_t srcRowBytes;
    unsigned char* dst;
    size_t dstRowBytes;
    int code;         // 2 .. 5
    int channels;     // 1 or 3
    int blocksX;
    int blocksY;
    size_t srcAvail;  // bytes readable in every source row from src on
};

enum class Kernel { Portable, Ssse3 };

// The reference: column sums over whole rows, then the row sums.
void ReducePortable(const ReduceJob& job);
// The byte-shuffle kernel; the ends of the rows go through the portable
// per-sample path. Entered only where the processor has SSSE3.
void ReduceSsse3(const ReduceJob& job);

bool HasSsse3();
// The fastest kernel this processor runs, and running a chosen one (a kernel
// the processor lacks runs the portable code).
Kernel BestKernel();
void Run(const ReduceJob& job, Kernel kernel);

// Writes the results first .. last - 1 of the output rows of block row by
// the portable way: the ends of the rows in the vector kernels.
void ReduceSamplesPortable(const ReduceJob& job, int by, int first, int last);

// ---- The layout the vector kernels share -----------------------------------------------
//
// Every reducer is separable: a block of N x N source samples gives M x M
// results, result (i, j) weighing block sample (r, c) by w[i][r] w[j][c]; the
// weighted sum plus half the divisor (the product of the two weight sums) is
// divided and truncated.
//   code 2, /3:    one result of 3:  (1 1 1)
//   code 3, /2:    one result of 2:  (1 1)
//   code 4, x2/3:  two results of 3: (3 1 0), (0 1 3)
//   code 5, x3/4:  three of 4:       (5 1 0 0), (0 1 1 0), (0 0 1 5)
struct Filter {
    int n = 0, m = 0;
    int w[3][4] = {};
    constexpr int Sum(int i) const
    {
        int sum = 0;
        for (int k = 0; k < n; ++k) sum += w[i][k];
        return sum;
    }
};

constexpr Filter FilterFor(int code)
{
    switch (code) {
    case 2: return {3, 1, {{1, 1, 1, 0}}};
    case 3: return {2, 1, {{1, 1, 0, 0}}};
    case 4: return {3, 2, {{3, 1, 0, 0}, {0, 1, 3, 0}}};
    default: return {4, 3, {{5, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 5}}};
    }
}

// Results come in steps of 8 consecutive samples of an output row. For every
// result the kernels gather its taps from one source row into (sample,
// sample) pairs with byte shuffles of at most two 16-byte windows, and
// multiply-add the pairs with int8 weights (one "group"; the thirds have a
// third tap, hence a second group). The rows of a block are then weighed in
// 16-bit lanes, and the rounded quotient is taken as
// (sum + d/2) * ceil(2^17 / d) >> 17, exact for every sum a divisor d <= 36
// can meet (checked when the layout is built).
struct StepPlan {
    int window[2] = {};                // byte offsets from the period's start
    bool twoWindows = false;
    uint8_t shuffle[2][2][16] = {};    // [group][window]: pshufb masks, 0x80 = zero
    int8_t weights[2][16] = {};        // [group]: weights of the pairs
    uint16_t half[3][8] = {};          // [result row]: half the divisor per lane
    uint16_t magic[3][8] = {};         // [result row]: ceil(2^17 / divisor) per lane
};

// The pattern of steps repeats every `period` steps, which advance the
// source by periodSource bytes.
struct ReducePlan {
    int n = 0, m = 0, channels = 0;
    int groups = 1;                    // tap groups per result: 1 or 2
    int period = 0;                    // steps per period (at most 9)
    int periodSource = 0;              // source bytes per period
    bool anyTwoWindows = false;
    int readEnd = 0;                   // bytes the last step of a period reads up to
    StepPlan steps[9] = {};
    bool valid = false;
};

// Whether floor(x * magic / 2^17) is floor(x / d) for every weighted sum the
// divisor can meet (at most 255 d, plus the half added for rounding).
constexpr bool MagicDivides(unsigned d, unsigned magic)
{
    for (unsigned x = 0; x <= 256 * d; ++x)
        if (((x * magic) >> 17) != x / d) return false;
    return true;
}

constexpr ReducePlan BuildPlan(int code, int channels)
{
    const Filter f = FilterFor(code);
    ReducePlan plan{};
    plan.n = f.n;
    plan.m = f.m;
    plan.channels = channels;
    plan.valid = true;
    const int blockOut = f.m * channels;  // result samples per block
    int gcd = 8, b = blockOut;
    while (b) {
        const int t = gcd % b;
        gcd = b;
        b = t;
    }
    const int periodOut = 8 * blockOut / gcd;
    plan.period = periodOut / 8;
    plan.periodSource = periodOut / blockOut * f.n * channels;
    for (int t = 0; t < f.m; ++t) {
        int taps = 0;
        for (int k = 0; k < f.n; ++k) taps += f.w[t][k] != 0;
        if (taps > 2) plan.groups = 2;
    }
    // Each divisor checked once.
    bool exact[37] = {};
    for (int i = 0; i < f.m; ++i)
        for (int t = 0; t < f.m; ++t) {
            const unsigned d = static_cast<unsigned>(f.Sum(i) * f.Sum(t));
            exact[d] = d <= 36 && ((1u << 17) + d - 1) / d <= 0xFFFF && MagicDivides(d, ((1u << 17) + d - 1) / d);
        }

    for (int q = 0; q < plan.period; ++q) {
        StepPlan& step = plan.steps[q];
        // Source byte (from the period's start) and weight of every tap.
        int index[8][3] = {}, weight[8][3] = {}, taps[8] = {};
        int lo = 1 << 30, hi = -1;
        for (int l = 0; l < 8; ++l) {
            const int o = 8 * q + l;
            const int pixel = o / channels, ch = o % channels;
            const int block = pixel / f.m, t = pixel % f.m;
            for (int k = 0; k < f.n; ++k) {
                if (f.w[t][k] == 0) continue;
                index[l][taps[l]] = (block * f.n + k) * channels + ch;
                weight[l][taps[l]] = f.w[t][k];
                lo = index[l][taps[l]] < lo ? index[l][taps[l]] : lo;
                hi = index[l][taps[l]] > hi ? index[l][taps[l]] : hi;
                ++taps[l];
            }
            for (int i = 0; i < f.m; ++i) {
                const unsigned d = static_cast<unsigned>(f.Sum(i) * f.Sum(t));
                if (!exact[d]) plan.valid = false;
                step.half[i][l] = static_cast<uint16_t>(d / 2);
                step.magic[i][l] = static_cast<uint16_t>(((1u << 17) + d - 1) / d);
            }
        }
        if (hi - lo >= 32) plan.valid = false;
        step.window[0] = lo;
        step.twoWindows = hi - lo >= 16;
        step.window[1] = step.twoWindows ? hi - 15 : lo;
        plan.anyTwoWindows = plan.anyTwoWindows || step.twoWindows;
        plan.readEnd = step.window[1] + 16 > plan.readEnd ? step.window[1] + 16 : plan.readEnd;
        for (int g = 0; g < 2; ++g)
            for (int w = 0; w < 2; ++w)
                for (int byte = 0; byte < 16; ++byte) step.shuffle[g][w][byte] = 0x80;
        for (int l = 0; l < 8; ++l)
            for (int tap = 0; tap < taps[l]; ++tap) {
                const int group = tap / 2, byte = 2 * l + tap % 2;
                const int w = index[l][tap] - lo < 16 ? 0 : 1;
                step.shuffle[group][w][byte] = static_cast<uint8_t>(index[l][tap] - step.window[w]);
                step.weights[group][byte] = static_cast<int8_t>(weight[l][tap]);
            }
    }
    return plan;
}

}  // namespace downscale
