#include "platform/minkit/frprmn.h"

#include "core/logger.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Sufficient decrease (Armijo) and curvature constants of the line search.
// The curvature test is strict (|phi'(t)| <= 0.01 |phi'(0)|): conjugate
// directions lose their meaning when the line minima are rough.
constexpr double kArmijo = 1e-4;
constexpr double kCurvature = 0.01;
constexpr int kMaxLineEvaluations = 80;
// Keeps the relative test meaningful when the minimum value is 0.
constexpr double kTinyCost = 1e-10;
// The cost comes back in float: differences below a few of its rounding
// steps carry no information, and near the minimum the line search must
// then go by the directional derivative alone (an approximate Wolfe test).
constexpr double kCostNoise = 4.0 * 1.1920929e-7;

// One evaluation of the cost along the current line.
struct LinePoint {
    double t = 0;
    double f = 0;
    double df = 0;  // directional derivative; meaningful only when finite f
    bool finite = false;
};

// The minimisation state: the current point in double, the float vector the
// callbacks see (1-based) and the gradient buffer.
class Minimiser {
public:
    Minimiser(int n, MinCostFunc func, MinGradFunc dfunc, void* context)
        : m_n(n), m_func(func), m_dfunc(dfunc), m_context(context), m_x(n), m_d(n), m_g(n),
          m_p(static_cast<size_t>(n) + 1, 0.0f), m_grad(static_cast<size_t>(n) + 1, 0.0f)
    {
    }

    int Run(float* p, float ftol, int* iter, float* fret);

private:
    // The float point x + t d in m_p; false when it equals the float point
    // of `other` (the step is below float resolution).
    void Place(double t);
    bool SameFloatPoint(double t1, double t2) const;
    double Cost(double t);
    void Gradient(double t, std::vector<double>& g);
    LinePoint Evaluate(double t);
    // Moves along m_d from the current point; returns the accepted step
    // (0 when no lower point was found) and its cost in *fNew.
    double LineSearch(double f0, double df0, double tInitial, double* fNew);
    double Zoom(LinePoint lo, LinePoint hi, double f0, double df0, double* fNew);
    // True when cur is no acceptable step from (f0, df0) or rises above `ref`.
    bool Worse(const LinePoint& cur, double f0, double df0, double ref) const;

    int m_n;
    MinCostFunc m_func;
    MinGradFunc m_dfunc;
    void* m_context;
    std::vector<double> m_x, m_d, m_g;
    std::vector<float> m_p, m_grad;
};

void Minimiser::Place(double t)
{
    for (int i = 0; i < m_n; ++i) m_p[i + 1] = static_cast<float>(m_x[i] + t * m_d[i]);
}

bool Minimiser::SameFloatPoint(double t1, double t2) const
{
    for (int i = 0; i < m_n; ++i) {
        if (static_cast<float>(m_x[i] + t1 * m_d[i]) != static_cast<float>(m_x[i] + t2 * m_d[i])) return false;
    }
    return true;
}

double Minimiser::Cost(double t)
{
    Place(t);
    return m_func(m_p.data(), m_context);
}

void Minimiser::Gradient(double t, std::vector<double>& g)
{
    Place(t);
    std::fill(m_grad.begin(), m_grad.end(), 0.0f);
    m_dfunc(m_p.data(), m_grad.data(), m_context);
    for (int i = 0; i < m_n; ++i) g[i] = m_grad[i + 1];
}

LinePoint Minimiser::Evaluate(double t)
{
    LinePoint lp;
    lp.t = t;
    lp.f = Cost(t);
    lp.finite = std::isfinite(lp.f);
    if (!lp.finite) return lp;
    std::vector<double> g(m_n);
    Gradient(t, g);
    double df = 0;
    for (int i = 0; i < m_n; ++i) df += g[i] * m_d[i];
    lp.df = df;
    if (!std::isfinite(df)) lp.finite = false;
    return lp;
}

// Minimiser of the cubic through (a, fa, dfa) and (b, fb, dfb); NaN when it
// has none.
double CubicMinimum(const LinePoint& a, const LinePoint& b)
{
    const double d1 = a.df + b.df - 3 * (a.f - b.f) / (a.t - b.t);
    const double disc = d1 * d1 - a.df * b.df;
    if (!(disc >= 0)) return std::numeric_limits<double>::quiet_NaN();
    const double d2 = std::copysign(std::sqrt(disc), b.t - a.t);
    const double den = b.df - a.df + 2 * d2;
    if (den == 0) return std::numeric_limits<double>::quiet_NaN();
    return b.t - (b.t - a.t) * (b.df + d2 - d1) / den;
}

bool Minimiser::Worse(const LinePoint& cur, double f0, double df0, double ref) const
{
    if (!cur.finite) return true;
    const double noise = kCostNoise * std::fabs(f0) + 1e-30;
    return cur.f > f0 + kArmijo * cur.t * df0 + noise || cur.f > ref + noise;
}

double Minimiser::Zoom(LinePoint lo, LinePoint hi, double f0, double df0, double* fNew)
{
    // Invariants: lo is the lowest acceptable point so far, and the
    // derivative at lo points towards hi.
    for (int k = 0; k < kMaxLineEvaluations; ++k) {
        if (SameFloatPoint(lo.t, hi.t)) break;
        const double width = hi.t - lo.t;
        double t = hi.finite ? CubicMinimum(lo, hi) : std::numeric_limits<double>::quiet_NaN();
        const double a = lo.t + 0.1 * width, b = hi.t - 0.1 * width;
        if (!std::isfinite(t) || (t - std::min(a, b)) * (t - std::max(a, b)) > 0) t = lo.t + 0.5 * width;
        if (SameFloatPoint(t, lo.t) || SameFloatPoint(t, hi.t)) t = lo.t + 0.5 * width;
        if (SameFloatPoint(t, lo.t)) break;
        const LinePoint cur = Evaluate(t);
        if (Worse(cur, f0, df0, lo.f)) {
            hi = cur;
            continue;
        }
        if (std::fabs(cur.df) <= -kCurvature * df0) {
            *fNew = cur.f;
            return cur.t;
        }
        if (cur.df * (hi.t - lo.t) >= 0) hi = lo;
        lo = cur;
    }
    *fNew = lo.f;
    return lo.t;
}

double Minimiser::LineSearch(double f0, double df0, double tInitial, double* fNew)
{
    LinePoint prev;
    prev.t = 0;
    prev.f = f0;
    prev.df = df0;
    prev.finite = true;
    double t = tInitial;
    for (int k = 0; k < kMaxLineEvaluations; ++k) {
        if (SameFloatPoint(t, 0.0)) {
            // The step vanishes in float: grow it until the point moves.
            t *= 16;
            continue;
        }
        const LinePoint cur = Evaluate(t);
        if (Worse(cur, f0, df0, k > 0 ? prev.f : f0)) return Zoom(prev, cur, f0, df0, fNew);
        if (std::fabs(cur.df) <= -kCurvature * df0) {
            *fNew = cur.f;
            return cur.t;
        }
        if (cur.df >= 0) return Zoom(cur, prev, f0, df0, fNew);
        prev = cur;
        t *= 4;
    }
    *fNew = prev.f;
    return prev.t;
}

int Minimiser::Run(float* p, float ftol, int* iter, float* fret)
{
    for (int i = 0; i < m_n; ++i) m_x[i] = p[i + 1];
    double f = Cost(0.0);
    if (!std::isfinite(f)) {
        Logger::log("ERROR frprmn: the cost is not finite at the start point", 1);
        return kFrprmnFailed;
    }
    std::fill(m_d.begin(), m_d.end(), 0.0);
    Gradient(0.0, m_g);
    for (int i = 0; i < m_n; ++i) m_d[i] = -m_g[i];

    std::vector<double> gNew(m_n);
    bool steepest = true;  // the current direction is the negative gradient
    int sinceRestart = 0;
    double lastStep = 0, lastSlope = 0;
    int result = kFrprmnIterationLimit;
    int it = 0;
    for (it = 1; it <= kFrprmnMaxIterations; ++it) {
        double gg = 0, slope = 0, dMax = 0;
        for (int i = 0; i < m_n; ++i) {
            gg += m_g[i] * m_g[i];
            slope += m_g[i] * m_d[i];
            dMax = std::max(dMax, std::fabs(m_d[i]));
        }
        if (gg == 0 || !std::isfinite(gg)) {
            result = gg == 0 ? kFrprmnConverged : kFrprmnIterationLimit;
            break;
        }
        if (!(slope < 0)) {
            // Not a descent direction: start again from the gradient.
            for (int i = 0; i < m_n; ++i) m_d[i] = -m_g[i];
            slope = -gg;
            dMax = 0;
            for (int i = 0; i < m_n; ++i) dMax = std::max(dMax, std::fabs(m_d[i]));
            steepest = true;
            sinceRestart = 0;
        }
        // First trial step: the previous step scaled by the change of slope,
        // or a unit move of the largest component at the start.
        double t0 = lastStep > 0 ? lastStep * lastSlope / slope : 1.0 / std::max(dMax, 1.0);
        if (!(t0 > 0) || !std::isfinite(t0)) t0 = 1.0 / std::max(dMax, 1.0);
        double fNew = f;
        const double t = LineSearch(f, slope, t0, &fNew);
        const bool moved = t > 0 && fNew <= f + kCostNoise * std::fabs(f);
        if (moved) {
            for (int i = 0; i < m_n; ++i) m_x[i] = static_cast<float>(m_x[i] + t * m_d[i]);
        }
        const double fOld = f;
        if (moved) f = fNew;
        // Below the float resolution of the cost the decrease is judged by
        // the slope: a step t down a slope s gains about t |s| / 2.
        const double decrease = moved ? std::max(fOld - f, -0.5 * t * slope) : 0.0;
        const bool small = 2 * decrease <= ftol * (std::fabs(f) + std::fabs(fOld) + kTinyCost);
        Gradient(0.0, gNew);
        if (small || !moved) {
            if (steepest) {
                result = kFrprmnConverged;
                m_g = gNew;
                break;
            }
            // A conjugate direction may stall where the gradient would not.
            m_g = gNew;
            for (int i = 0; i < m_n; ++i) m_d[i] = -m_g[i];
            steepest = true;
            sinceRestart = 0;
            lastStep = 0;
            continue;
        }
        lastStep = t;
        lastSlope = slope;
        // Polak-Ribiere, clipped at 0, with a restart every n iterations.
        double num = 0, den = 0;
        for (int i = 0; i < m_n; ++i) {
            num += gNew[i] * (gNew[i] - m_g[i]);
            den += m_g[i] * m_g[i];
        }
        double beta = den > 0 ? std::max(0.0, num / den) : 0.0;
        if (++sinceRestart >= m_n) {
            beta = 0;
            sinceRestart = 0;
        }
        for (int i = 0; i < m_n; ++i) m_d[i] = -gNew[i] + beta * m_d[i];
        steepest = beta == 0;
        m_g = gNew;
    }
    if (iter) *iter = std::min(it, kFrprmnMaxIterations);
    for (int i = 0; i < m_n; ++i) p[i + 1] = static_cast<float>(m_x[i]);
    // The stored point's own cost (the callbacks saw other points last).
    const double fFinal = Cost(0.0);
    if (fret) *fret = static_cast<float>(std::isfinite(fFinal) ? fFinal : f);
    return result;
}

}  // namespace

int frprmn(float* p, int n, float ftol, int* iter, float* fret, MinCostFunc func, MinGradFunc dfunc, void* context)
{
    if (iter) *iter = 0;
    if (!p || n <= 0 || !func || !dfunc || !(ftol >= 0)) {
        Logger::log("ERROR frprmn: invalid arguments (n=%d)", 1, n);
        return kFrprmnFailed;
    }
    for (int i = 1; i <= n; ++i) {
        if (!std::isfinite(p[i])) {
            Logger::log("ERROR frprmn: parameter %d is not finite", 1, i);
            return kFrprmnFailed;
        }
    }
    Minimiser m(n, func, dfunc, context);
    return m.Run(p, ftol, iter, fret);
}
