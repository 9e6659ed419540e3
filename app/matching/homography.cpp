#include "app/matching/homography.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr double kEps = 2.220446049250313e-16;  // 2^-52

double Sign(double v)
{
    return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0);
}

// The classic 15-bit linear congruential generator. Each thread has its own,
// so the pair worker and the user-interface thread never disturb each
// other's sequence.
thread_local uint32_t t_randomState = 1;

// Decodes the compact code that the solver leaves below the diagonal.
void DecodeRotation(double code, double* c, double* s)
{
    if (code == 1.0) {
        *c = 0.0;
        *s = 1.0;
    } else if (std::fabs(code) < 1.0) {
        *s = code;
        *c = std::sqrt(1.0 - code * code);
    } else {
        *c = 1.0 / std::fabs(code);
        *s = Sign(code) * std::sqrt(1.0 - *c * *c);
    }
}

}  // namespace

void SeedRandomIndex(uint32_t seed)
{
    t_randomState = seed;
}

int RandomDraw15()
{
    t_randomState = t_randomState * 214013u + 2531011u;
    return static_cast<int>((t_randomState >> 16) & 0x7FFFu);
}

int RandomIndex(int k)
{
    return static_cast<int>(RandomDraw15() * k / 32767.0);
}

// --- Homography ----------------------------------------------------------------

Homography::~Homography()
{
    if (N != 0) release();
}

void Homography::allocate(int count)
{
    release();
    if (count <= 0) return;
    const size_t m = 2 * static_cast<size_t>(count);
    m_block = new double[m * 8];
    rows = new double*[m];
    rhs = new double[m];
    work = new double[m];
    solution = new double[8];
    for (size_t j = 0; j < m; ++j) rows[j] = m_block + j * 8;
    N = count;
}

void Homography::release()
{
    delete[] m_block;
    delete[] rows;
    delete[] rhs;
    delete[] work;
    delete[] solution;
    m_block = nullptr;
    rows = nullptr;
    rhs = work = solution = nullptr;
    N = 0;
}

void Homography::setCentroids(const std::vector<MatchPair*>& matches)
{
    double sx0 = 0.0, sx1 = 0.0, sy0 = 0.0, sy1 = 0.0;
    for (const MatchPair* m : matches) {
        sx0 += m->x0;
        sx1 += m->x1;
        sy0 += m->y0;
        sy1 += m->y1;
    }
    const double n = matches.empty() ? 1.0 : static_cast<double>(matches.size());
    meanX0 = sx0 / n;
    meanX1 = sx1 / n;
    meanY0 = sy0 / n;
    meanY1 = sy1 / n;
}

void Homography::addMatchRows(int i, const MatchPair& match)
{
    const double u = match.x0 - meanX0;
    const double v = match.y0 - meanY0;
    const double u1 = match.x1 - meanX1;
    const double v1 = match.y1 - meanY1;
    // The solver minimises |rows x + rhs|, so the equations are stored negated.
    double* r0 = rows[2 * i];
    r0[0] = 0.0; r0[1] = 0.0; r0[2] = 0.0;
    r0[3] = -u; r0[4] = -v; r0[5] = -1.0;
    r0[6] = u * v1; r0[7] = v * v1;
    rhs[2 * i] = v1;
    double* r1 = rows[2 * i + 1];
    r1[0] = u; r1[1] = v; r1[2] = 1.0;
    r1[3] = 0.0; r1[4] = 0.0; r1[5] = 0.0;
    r1[6] = -u * u1; r1[7] = -v * u1;
    rhs[2 * i + 1] = -u1;
}

bool Homography::estimate(const std::vector<MatchPair*>& matches)
{
    const int count = static_cast<int>(matches.size());
    if (count < 4) {
        printf("Homography::estimate: At least 4 matches are needed for homography\n");
        return false;
    }
    if (N != count) allocate(count);
    for (int i = 0; i < count; ++i) addMatchRows(i, *matches[static_cast<size_t>(i)]);
    if (!SolveLeastSquaresGivens(rows, rhs, solution, work, 2 * count, 8, false)) {
        printf("Failed to solve the linear system\n");
        return false;
    }
    for (int k = 0; k < 8; ++k) H[k] = solution[k];
    H[8] = 1.0;
    return true;
}

void Homography::print(FILE* stream) const
{
    for (int r = 0; r < 3; ++r) fprintf(stream, "%g\t%g\t%g\n", H[3 * r], H[3 * r + 1], H[3 * r + 2]);
}

void Homography::CopyModel(const Homography& other)
{
    for (int k = 0; k < 9; ++k) H[k] = other.H[k];
    meanX0 = other.meanX0;
    meanX1 = other.meanX1;
    meanY0 = other.meanY0;
    meanY1 = other.meanY1;
}

// --- solver ------------------------------------------------------------------

bool SolveLeastSquaresGivens(double** rows, double* rhs, double* solution, double* work, int m, int n, bool restore)
{
    if (!rows || !rhs || !solution || !work || n <= 0 || m < n) return false;
    for (int i = 0; i < n; ++i) {
        double* ri = rows[i];
        for (int j = i + 1; j < m; ++j) {
            double* rj = rows[j];
            const double aji = rj[i];
            if (aji == 0.0) continue;
            const double aii = ri[i];
            double r, c, s, code;
            if (std::fabs(aji) * kEps <= std::fabs(aii)) {
                r = Sign(aii) * std::sqrt(aii * aii + aji * aji);
                if (r == 0.0) return false;
                c = aii / r;
                s = -aji / r;
                code = std::fabs(s) < c ? s : Sign(s) / c;
            } else {
                r = -aji;
                c = 0.0;
                s = 1.0;
                code = 1.0;
            }
            ri[i] = r;
            rj[i] = code;
            for (int k = i + 1; k < n; ++k) {
                const double ti = ri[k];
                const double tj = rj[k];
                ri[k] = c * ti - s * tj;
                rj[k] = s * ti + c * tj;
            }
            const double ti = rhs[i];
            const double tj = rhs[j];
            rhs[i] = c * ti - s * tj;
            rhs[j] = s * ti + c * tj;
        }
    }
    // A diagonal that rounding alone keeps away from zero is zero: such a
    // system (five points on one line) has no unique solution, and its
    // arbitrary answer would carry every point of the line.
    double largest = 0.0;
    for (int k = 0; k < n; ++k) largest = std::max(largest, std::fabs(rows[k][k]));
    const double negligible = largest * kEps * static_cast<double>(m);
    for (int k = n - 1; k >= 0; --k) {
        const double akk = rows[k][k];
        if (akk == 0.0 || std::fabs(akk) <= negligible) return false;
        double sum = rhs[k];
        for (int j = k + 1; j < n; ++j) sum += rows[k][j] * solution[j];
        solution[k] = -sum / akk;
    }
    for (int j = n; j < m; ++j) work[j] = rhs[j];
    if (restore) {
        for (int j = 0; j < n; ++j) work[j] = 0.0;
        for (int i = n - 1; i >= 0; --i) {
            for (int j = m - 1; j > i; --j) {
                double c, s;
                DecodeRotation(rows[j][i], &c, &s);
                const double ti = work[i];
                const double tj = work[j];
                work[i] = c * ti + s * tj;
                work[j] = -s * ti + c * tj;
            }
        }
    }
    return true;
}
