#include "platform/utilkit/equation.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// A pivot smaller than this fraction of the largest entry counts as zero:
// well above double rounding, well below what float inputs can mean.
constexpr double kSingular = 1e-10;

}  // namespace

int CEquation::SolveLEq3(const float* m, const float* rhs, float* x)
{
    if (!m || !rhs || !x) return 0;
    double a[3][4];
    double scale = 0.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            a[r][c] = m[3 * r + c];
            scale = std::max(scale, std::fabs(a[r][c]));
        }
        a[r][3] = rhs[r];
    }
    if (!(scale > 0.0) || !std::isfinite(scale)) return 0;
    // Gaussian elimination with partial pivoting.
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (std::fabs(a[pivot][col]) <= kSingular * scale) return 0;
        if (pivot != col) std::swap(a[pivot], a[col]);
        for (int r = col + 1; r < 3; ++r) {
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < 4; ++c) a[r][c] -= f * a[col][c];
        }
    }
    double sol[3];
    for (int r = 2; r >= 0; --r) {
        double s = a[r][3];
        for (int c = r + 1; c < 3; ++c) s -= a[r][c] * sol[c];
        sol[r] = s / a[r][r];
    }
    for (double v : sol)
        if (!std::isfinite(v)) return 0;
    for (int i = 0; i < 3; ++i) x[i] = static_cast<float>(sol[i]);
    return 1;
}

int CEquation::MinSolveLEq3(const float* a, const float* b, int rows, float* x, float* extra)
{
    if (!a || !b || !x || rows < 3) return 0;
    // Householder QR of the rows x 3 matrix, applied to b as it goes.
    const size_t n = static_cast<size_t>(rows);
    std::vector<double> q(n * 3);
    std::vector<double> rhs(n);
    double scale = 0.0;
    for (size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            q[3 * i + c] = a[3 * i + c];
            scale = std::max(scale, std::fabs(q[3 * i + c]));
        }
        rhs[i] = b[i];
    }
    if (!(scale > 0.0) || !std::isfinite(scale)) return 0;
    for (int col = 0; col < 3; ++col) {
        double norm = 0.0;
        for (size_t i = col; i < n; ++i) norm += q[3 * i + col] * q[3 * i + col];
        norm = std::sqrt(norm);
        if (norm <= kSingular * scale) return 0;
        const double alpha = q[3 * col + col] > 0 ? -norm : norm;
        std::vector<double> v(n, 0.0);
        for (size_t i = col; i < n; ++i) v[i] = q[3 * i + col];
        v[col] -= alpha;
        double vv = 0.0;
        for (size_t i = col; i < n; ++i) vv += v[i] * v[i];
        if (vv == 0.0) continue;
        for (int c = col; c < 3; ++c) {
            double d = 0.0;
            for (size_t i = col; i < n; ++i) d += v[i] * q[3 * i + c];
            const double f = 2.0 * d / vv;
            for (size_t i = col; i < n; ++i) q[3 * i + c] -= f * v[i];
        }
        double d = 0.0;
        for (size_t i = col; i < n; ++i) d += v[i] * rhs[i];
        const double f = 2.0 * d / vv;
        for (size_t i = col; i < n; ++i) rhs[i] -= f * v[i];
    }
    double sol[3];
    for (int r = 2; r >= 0; --r) {
        double s = rhs[r];
        for (int c = r + 1; c < 3; ++c) s -= q[3 * r + c] * sol[c];
        sol[r] = s / q[3 * r + r];
    }
    for (double v : sol)
        if (!std::isfinite(v)) return 0;
    for (int i = 0; i < 3; ++i) x[i] = static_cast<float>(sol[i]);
    if (extra) {
        // The residual is what QR left below the third row of b.
        double rr = 0.0;
        for (size_t i = 3; i < n; ++i) rr += rhs[i] * rhs[i];
        *extra = static_cast<float>(std::sqrt(rr / static_cast<double>(n)));
    }
    return 1;
}
