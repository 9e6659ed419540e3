#include "adjust/globfit/distortion.h"

#include "adjust/globfit/radial_polynomial.h"

#include <cfloat>
#include <cmath>
#include <cstring>

using namespace globfit;

namespace {

constexpr int kRounds = 100;
constexpr int kMinPoints = 3;  // a line needs three points to show a bend
constexpr float kPi = 3.1415925f;

}  // namespace

Distortion::Distortion(float radius) : m_radius(radius) {}

Distortion::~Distortion() = default;

int Distortion::AppendLine(int n)
{
    Line line;
    line.n = n > 0 ? n : 0;
    line.data.assign(3 * static_cast<size_t>(line.n), 0.0f);
    m_lines.push_back(std::move(line));
    return static_cast<int>(m_lines.size()) - 1;
}

void Distortion::AddPoint(int line, int index, float x, float y)
{
    if (line < 0 || line >= static_cast<int>(m_lines.size())) return;
    Line& l = m_lines[line];
    if (index < 0 || index >= l.n) return;
    l.x()[index] = x;
    l.y()[index] = y;
    // A radius that is not a positive number leaves every r at 0, which the
    // fit then finds singular.
    const float r = std::sqrt(x * x + y * y);
    l.r()[index] = m_radius > 0.0f && std::isfinite(m_radius) ? r / m_radius : 0.0f;
}

Distortion::LineFit Distortion::FitLine(const Line& line) const
{
    const int n = line.n;
    float su = 0.0f, sv = 0.0f, suu = 0.0f, suv = 0.0f, svv = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float d = EvalRadial(m_c, line.r()[i]);
        const float u = line.x()[i] * d;
        const float v = line.y()[i] * d;
        su += u;
        sv += v;
        suu += u * u;
        suv += u * v;
        svv += v * v;
    }
    const float fn = static_cast<float>(n);
    // Direction of least spread: tan t = 2 cov(u, v) / (var v - var u).
    const float num = 2.0f * (suv - su * sv / fn);
    const float den = svv - suu - (sv * sv - su * su) / fn;
    float t;
    if (den != 0.0f) t = std::atan(num / den);
    else t = num > 0.0f ? kPi / 2.0f : (num < 0.0f ? -kPi / 2.0f : 0.0f);
    LineFit best{};
    float bestResidual = 0.0f;
    const float angles[2] = {t / 2.0f, (t + kPi) / 2.0f};
    for (int a = 0; a < 2; ++a) {
        const float s = std::sin(angles[a]);
        const float c = std::cos(angles[a]);
        const float k = -(s * su + c * sv) / fn;
        const float residual =
            s * s * suu + c * c * svv + k * k * fn + 2.0f * (s * c * suv + s * k * su + c * k * sv);
        if (a == 0 || std::fabs(residual) < std::fabs(bestResidual)) {
            best = LineFit{s, c, k};
            bestResidual = residual;
        }
    }
    return best;
}

bool Distortion::SolveRound(const std::vector<LineFit>& fits, float next[4]) const
{
    float m[9] = {};
    float b[3] = {};
    float spread = 0.0f;  // sum of g^2
    float extent = 0.0f;  // sum of x^2 + y^2
    size_t f = 0;
    for (const Line& line : m_lines) {
        if (line.n < kMinPoints) continue;
        const LineFit& fit = fits[f++];
        for (int i = 0; i < line.n; ++i) {
            // Signed distance of the corrected point: g D(r) + k with
            // D = 1 + sum c_m (r^m - 1).
            const float g = fit.s * line.x()[i] + fit.c * line.y()[i];
            const float r = line.r()[i];
            spread += g * g;
            extent += line.x()[i] * line.x()[i] + line.y()[i] * line.y()[i];
            const float basis[3] = {r - 1.0f, r * r - 1.0f, r * r * r - 1.0f};
            for (int p = 0; p < 3; ++p) {
                for (int q = 0; q < 3; ++q) m[3 * p + q] += g * g * basis[p] * basis[q];
                b[p] -= g * (g + fit.k) * basis[p];
            }
        }
    }
    // g is the offset of a point along its line's normal. Lines through the
    // centre have g = 0 (a radial lens only slides their points along them):
    // when g is everywhere at the rounding level of the coordinates, the
    // system holds nothing but that rounding.
    constexpr float kNoise = 64.0f * FLT_EPSILON;
    if (!(spread > kNoise * kNoise * extent)) return false;
    float x[3];
    if (!SolveCramer3(m, b, x)) return false;
    next[1] = x[0];
    next[2] = x[1];
    next[3] = x[2];
    next[0] = 1.0f - x[0] - x[1] - x[2];
    return true;
}

bool Distortion::Compute()
{
    int usable = 0;
    for (const Line& line : m_lines) usable += line.n >= kMinPoints ? 1 : 0;
    if (usable < 2) return false;
    const float saved[4] = {m_c[0], m_c[1], m_c[2], m_c[3]};
    m_c[0] = 1.0f;
    m_c[1] = m_c[2] = m_c[3] = 0.0f;
    std::vector<LineFit> fits;
    for (int round = 0; round < kRounds; ++round) {
        fits.clear();
        for (const Line& line : m_lines) {
            if (line.n >= kMinPoints) fits.push_back(FitLine(line));
        }
        float next[4];
        if (!SolveRound(fits, next)) {
            if (round == 0) {
                std::memcpy(m_c, saved, sizeof m_c);
                return false;
            }
            break;  // keep the last good coefficients
        }
        std::memcpy(m_c, next, sizeof m_c);
    }
    float inverse[4];
    if (!FitInverseRadial(m_c, inverse)) {
        // A forward polynomial without a usable inverse is no result.
        std::memcpy(m_c, saved, sizeof m_c);
        return false;
    }
    std::memcpy(m_c, inverse, sizeof m_c);
    return true;
}

void Distortion::ComputeInverse()
{
    float inverse[4];
    if (FitInverseRadial(m_c, inverse)) std::memcpy(m_c, inverse, sizeof m_c);
}

void Distortion::GetDistortion(float& c0, float& c1, float& c2, float& c3) const
{
    c0 = m_c[0];
    c1 = m_c[1];
    c2 = m_c[2];
    c3 = m_c[3];
}
