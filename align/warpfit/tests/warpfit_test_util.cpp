#include "align/warpfit/tests/warpfit_test_util.h"

#include "platform/xformkit/transform_wa.h"

#include <algorithm>

namespace warptest {

bool DltHomography(const std::vector<POINT2>& p1, const std::vector<POINT2>& p2, double u[8])
{
    const size_t n = p1.size();
    if (n < 4 || p2.size() != n) return false;
    const size_t rows = 2 * n;
    std::vector<double> a(rows * 8), b(rows);
    for (size_t i = 0; i < n; ++i) {
        const double x1 = p1[i].x, y1 = p1[i].y, x2 = p2[i].x, y2 = p2[i].y;
        const double r1[8] = {x1, y1, 0, 0, 1, 0, -x1 * x2, -y1 * x2};
        const double r2[8] = {0, 0, x1, y1, 0, 1, -x1 * y2, -y1 * y2};
        std::copy(r1, r1 + 8, &a[(2 * i) * 8]);
        std::copy(r2, r2 + 8, &a[(2 * i + 1) * 8]);
        b[2 * i] = x2;
        b[2 * i + 1] = y2;
    }
    for (int c = 0; c < 8; ++c) {
        double norm = 0;
        for (size_t i = c; i < rows; ++i) norm += a[i * 8 + c] * a[i * 8 + c];
        norm = std::sqrt(norm);
        if (norm == 0) return false;
        const double alpha = a[c * 8 + c] > 0 ? -norm : norm;
        std::vector<double> v(rows, 0.0);
        for (size_t i = c; i < rows; ++i) v[i] = a[i * 8 + c];
        v[c] -= alpha;
        double vv = 0;
        for (size_t i = c; i < rows; ++i) vv += v[i] * v[i];
        for (int k = c; k < 8; ++k) {
            double d = 0;
            for (size_t i = c; i < rows; ++i) d += v[i] * a[i * 8 + k];
            for (size_t i = c; i < rows; ++i) a[i * 8 + k] -= 2 * d / vv * v[i];
        }
        double d = 0;
        for (size_t i = c; i < rows; ++i) d += v[i] * b[i];
        for (size_t i = c; i < rows; ++i) b[i] -= 2 * d / vv * v[i];
    }
    for (int r = 7; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < 8; ++k) s -= a[r * 8 + k] * u[k];
        if (std::fabs(a[r * 8 + r]) < 1e-300) return false;
        u[r] = s / a[r * 8 + r];
    }
    return true;
}

double MaxMappingError(const PAIR_WALIGN_RR_PRMS2& fitted, const M3& truth, int w1, int h1, int w2, int h2)
{
    float m[9];
    if (!CTransformWA::PairAlignPrmsRR2toM(&fitted, nullptr, nullptr, m)) return -1;
    double worst = 0;
    int used = 0;
    for (int j = 0; j <= 20; ++j) {
        for (int i = 0; i <= 20; ++i) {
            const double x = (i / 20.0 - 0.5) * w1, y = (j / 20.0 - 0.5) * h1;
            double tx, ty;
            if (!MapH(truth, x, y, tx, ty) || std::fabs(tx) > w2 / 2.0 || std::fabs(ty) > h2 / 2.0) continue;
            const POINT2 in{static_cast<float>(x), static_cast<float>(y)};
            POINT2 out;
            if (!CTransformWA::TransformPtRR2(&in, &out, m)) return 1e9;
            worst = std::max(worst, std::hypot(out.x - tx, out.y - ty));
            ++used;
        }
    }
    return used ? worst : -1;
}

double MaxMappingError(const PAIR_WALIGN_PRMS& fitted, const M3& truth, int w1, int h1, int w2, int h2)
{
    PAIR_WALIGN_RR_PRMS2 rr;
    if (!CTransformWA::PairAlignPrmsStoRR2(&fitted, &rr)) return -1;
    return MaxMappingError(rr, truth, w1, h1, w2, h2);
}

}  // namespace warptest
