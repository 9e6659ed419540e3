#include "align/warpfit/homography_lsq.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

// After equilibration (unit diagonal) a pivot below this is what rounding of
// float inputs leaves of a rank-deficient system (collinear points give
// pivots near 1e-14); genuine point sets stay far above it.
constexpr double kTinyPivot = 1e-10;

}  // namespace

void CHomographyLSQImpl::Reset()
{
    std::memset(m_n, 0, sizeof m_n);
    std::memset(m_b, 0, sizeof m_b);
    std::memset(m_u, 0, sizeof m_u);
}

void CHomographyLSQImpl::AddRow(const double* r, double rhs)
{
    for (int i = 0; i < 8; ++i) {
        if (r[i] == 0) continue;
        for (int j = i; j < 8; ++j) m_n[i][j] += r[i] * r[j];
        m_b[i] += r[i] * rhs;
    }
}

void CHomographyLSQImpl::AddPointPair(float x1, float y1, float x2, float y2)
{
    // Down-weights points far from the centre, whose rows would otherwise
    // dominate through the products x1 x2 and y1 y2.
    const float w = 1.0f / std::sqrt((x1 * x1 + y1 * y1 + 1.0f) * (x2 * x2 + y2 * y2 + 1.0f));
    const double W = w, X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
    const double r1[8] = {W * X1, W * Y1, 0, 0, W, 0, -W * X1 * X2, -W * Y1 * X2};
    const double r2[8] = {0, 0, W * X1, W * Y1, 0, W, -W * X1 * Y2, -W * Y1 * Y2};
    AddRow(r1, W * X2);
    AddRow(r2, W * Y2);
}

void CHomographyLSQImpl::AddLinePair(float a1, float b1, float c1, float a2, float b2, float c2)
{
    // The image-1 line is proportional to H^T l2 = (m0, m1, m2):
    // l1 x (H^T l2) = 0, three equations of rank 2, linear in u.
    const double n1 = std::sqrt(double(a1) * a1 + double(b1) * b1 + double(c1) * c1);
    const double n2 = std::sqrt(double(a2) * a2 + double(b2) * b2 + double(c2) * c2);
    if (!(n1 > 0) || !(n2 > 0) || !std::isfinite(n1) || !std::isfinite(n2)) return;
    const double A1 = a1 / n1, B1 = b1 / n1, C1 = c1 / n1;
    const double A2 = a2 / n2, B2 = b2 / n2, C2 = c2 / n2;
    // m0 = A2 h00 + B2 h10 + C2 h20, m1 = A2 h01 + B2 h11 + C2 h21,
    // m2 = A2 h02 + B2 h12 + C2.
    const double e1[8] = {0, -C1 * A2, 0, -C1 * B2, B1 * A2, B1 * B2, 0, -C1 * C2};  // B1 m2 - C1 m1 = 0
    const double e2[8] = {C1 * A2, 0, C1 * B2, 0, -A1 * A2, -A1 * B2, C1 * C2, 0};   // C1 m0 - A1 m2 = 0
    const double e3[8] = {-B1 * A2, A1 * A2, -B1 * B2, A1 * B2, 0, 0, -B1 * C2, A1 * C2};  // A1 m1 - B1 m0 = 0
    AddRow(e1, -B1 * C2);
    AddRow(e2, A1 * C2);
    AddRow(e3, 0.0);
}

bool CHomographyLSQImpl::Solve()
{
    double a[8][8];
    double rhs[8];
    double d[8];
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) a[i][j] = j >= i ? m_n[i][j] : m_n[j][i];
        // A zero diagonal of the (positive semi-definite) normal matrix means
        // an entirely zero row: that parameter is not determined at all.
        if (!(a[i][i] > 0) || !std::isfinite(a[i][i])) return false;
        d[i] = 1.0 / std::sqrt(a[i][i]);
    }
    // Equilibrate to a unit diagonal so that the pivot test below measures
    // the conditioning of the point set, not the units of the columns.
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) a[i][j] *= d[i] * d[j];
        rhs[i] = m_b[i] * d[i];
    }
    // Crout LU with implicit partial pivoting: each row's largest magnitude
    // scales its pivot candidates.
    double scale[8];
    for (int i = 0; i < 8; ++i) {
        double big = 0;
        for (int j = 0; j < 8; ++j) big = std::fmax(big, std::fabs(a[i][j]));
        if (big == 0) return false;
        scale[i] = big;
    }
    int perm[8];
    for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < j; ++i) {
            double s = a[i][j];
            for (int k = 0; k < i; ++k) s -= a[i][k] * a[k][j];
            a[i][j] = s;
        }
        double best = -1;
        int imax = j;
        for (int i = j; i < 8; ++i) {
            double s = a[i][j];
            for (int k = 0; k < j; ++k) s -= a[i][k] * a[k][j];
            a[i][j] = s;
            const double merit = std::fabs(s) / scale[i];
            if (merit > best) {
                best = merit;
                imax = i;
            }
        }
        if (imax != j) {
            std::swap(a[imax], a[j]);
            std::swap(scale[imax], scale[j]);
        }
        perm[j] = imax;
        // A pivot that is tiny against its row is a singular system (for
        // instance collinear points), not something to divide by.
        if (!(std::fabs(a[j][j]) > kTinyPivot * scale[j])) return false;
        const double inv = 1.0 / a[j][j];
        for (int i = j + 1; i < 8; ++i) a[i][j] *= inv;
    }
    // Forward and back substitution.
    for (int i = 0; i < 8; ++i) std::swap(rhs[i], rhs[perm[i]]);
    for (int i = 0; i < 8; ++i) {
        double s = rhs[i];
        for (int k = 0; k < i; ++k) s -= a[i][k] * rhs[k];
        rhs[i] = s;
    }
    for (int i = 7; i >= 0; --i) {
        double s = rhs[i];
        for (int k = i + 1; k < 8; ++k) s -= a[i][k] * rhs[k];
        rhs[i] = s / a[i][i];
    }
    float u[8];
    for (int i = 0; i < 8; ++i) {
        const double v = rhs[i] * d[i];
        if (!std::isfinite(v)) return false;
        u[i] = static_cast<float>(v);
    }
    std::memcpy(m_u, u, sizeof m_u);
    return true;
}
