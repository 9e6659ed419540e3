#include "adjust/globfit/dense_lu.h"

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace globfit {

namespace {

// Inner product of the first n elements, in four interleaved partial sums
// (a fixed order, so every build gives the same bits).
float Dot(const float* x, const float* y, int n)
{
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        s0 += x[k] * y[k];
        s1 += x[k + 1] * y[k + 1];
        s2 += x[k + 2] * y[k + 2];
        s3 += x[k + 3] * y[k + 3];
    }
    for (; k < n; ++k) s0 += x[k] * y[k];
    return (s0 + s1) + (s2 + s3);
}

}  // namespace

bool LUDecompose(float* a, int n, int* pivot, float* scale)
{
    auto at = [a, n](int r, int c) -> float& { return a[static_cast<size_t>(r) * n + c]; };
    for (int i = 0; i < n; ++i) {
        float big = 0.0f;
        for (int j = 0; j < n; ++j) big = std::fmax(big, std::fabs(at(i, j)));
        if (big == 0.0f) return false;
        scale[i] = 1.0f / big;
    }
    // Crout works column by column; the column in hand is kept contiguous so
    // that every inner product runs along two contiguous arrays.
    std::vector<float> column(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) column[i] = at(i, j);
        for (int i = 0; i < j; ++i) column[i] -= Dot(&at(i, 0), column.data(), i);
        float big = 0.0f;
        int imax = j;
        for (int i = j; i < n; ++i) {
            column[i] -= Dot(&at(i, 0), column.data(), j);
            // Ties go to the later row.
            const float candidate = scale[i] * std::fabs(column[i]);
            if (candidate >= big) {
                big = candidate;
                imax = i;
            }
        }
        for (int i = 0; i < n; ++i) at(i, j) = column[i];
        if (imax != j) {
            for (int k = 0; k < n; ++k) std::swap(at(imax, k), at(j, k));
            scale[imax] = scale[j];
        }
        pivot[j] = imax;
        if (at(j, j) == 0.0f) at(j, j) = 1e-20f;
        if (j != n - 1) {
            const float inv = 1.0f / at(j, j);
            for (int i = j + 1; i < n; ++i) at(i, j) *= inv;
        }
    }
    return true;
}

void LUBackSubstitute(const float* a, int n, const int* pivot, float* b)
{
    auto at = [a, n](int r, int c) { return a[static_cast<size_t>(r) * n + c]; };
    // Forward substitution with the unit lower factor, applying the row swaps
    // in the order they were made.
    for (int i = 0; i < n; ++i) {
        const int p = pivot[i];
        float sum = b[p];
        b[p] = b[i];
        for (int k = 0; k < i; ++k) sum -= at(i, k) * b[k];
        b[i] = sum;
    }
    for (int i = n - 1; i >= 0; --i) {
        float sum = b[i];
        for (int k = i + 1; k < n; ++k) sum -= at(i, k) * b[k];
        b[i] = sum / at(i, i);
    }
}

}  // namespace globfit
