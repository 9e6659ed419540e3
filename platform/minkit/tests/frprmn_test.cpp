// frprmn against exact minima (quadratics solved directly, Rosenbrock's
// (1, 1)) and against GSL's Polak-Ribiere minimiser on the same problems.
#include "platform/minkit/frprmn.h"
#include "core/logger.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_multimin.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Test problems, evaluated in double whatever the float interface.

// f(x) = 1/2 x'Ax - b'x with A symmetric positive definite.
struct Quadratic {
    int n = 0;
    std::vector<double> a;  // n x n, rows first
    std::vector<double> b;

    double Value(const double* x) const
    {
        double f = 0;
        for (int i = 0; i < n; ++i) {
            double ax = 0;
            for (int j = 0; j < n; ++j) ax += a[i * n + j] * x[j];
            f += 0.5 * x[i] * ax - b[i] * x[i];
        }
        return f;
    }
    void Grad(const double* x, double* g) const
    {
        for (int i = 0; i < n; ++i) {
            double ax = 0;
            for (int j = 0; j < n; ++j) ax += a[i * n + j] * x[j];
            g[i] = ax - b[i];
        }
    }
    // A x = b by Gaussian elimination with partial pivoting.
    std::vector<double> Solution() const
    {
        std::vector<double> m = a, r = b;
        for (int c = 0; c < n; ++c) {
            int piv = c;
            for (int i = c + 1; i < n; ++i)
                if (std::fabs(m[i * n + c]) > std::fabs(m[piv * n + c])) piv = i;
            for (int j = 0; j < n; ++j) std::swap(m[c * n + j], m[piv * n + j]);
            std::swap(r[c], r[piv]);
            for (int i = c + 1; i < n; ++i) {
                const double f = m[i * n + c] / m[c * n + c];
                for (int j = c; j < n; ++j) m[i * n + j] -= f * m[c * n + j];
                r[i] -= f * r[c];
            }
        }
        std::vector<double> x(n);
        for (int i = n - 1; i >= 0; --i) {
            double s = r[i];
            for (int j = i + 1; j < n; ++j) s -= m[i * n + j] * x[j];
            x[i] = s / m[i * n + i];
        }
        return x;
    }
};

// A = Q diag(d) Q' with Q a Householder reflection: eigenvalues d exactly.
Quadratic MakeQuadratic(const std::vector<double>& eigen, const std::vector<double>& v, const std::vector<double>& b)
{
    Quadratic q;
    q.n = static_cast<int>(eigen.size());
    q.b = b;
    q.a.assign(q.n * q.n, 0.0);
    double vv = 0;
    for (double e : v) vv += e * e;
    std::vector<double> h(q.n * q.n);
    for (int i = 0; i < q.n; ++i)
        for (int j = 0; j < q.n; ++j) h[i * q.n + j] = (i == j ? 1.0 : 0.0) - 2 * v[i] * v[j] / vv;
    for (int i = 0; i < q.n; ++i)
        for (int j = 0; j < q.n; ++j) {
            double s = 0;
            for (int k = 0; k < q.n; ++k) s += h[i * q.n + k] * eigen[k] * h[j * q.n + k];
            q.a[i * q.n + j] = s;
        }
    return q;
}

// Extended Rosenbrock: sum over pairs of 100 (x2 - x1^2)^2 + (1 - x1)^2.
double RosenValue(const double* x, int n)
{
    double f = 0;
    for (int i = 0; i + 1 < n; i += 2) {
        const double u = x[i + 1] - x[i] * x[i], v = 1 - x[i];
        f += 100 * u * u + v * v;
    }
    return f;
}
void RosenGrad(const double* x, int n, double* g)
{
    for (int i = 0; i + 1 < n; i += 2) {
        const double u = x[i + 1] - x[i] * x[i];
        g[i] = -400 * x[i] * u - 2 * (1 - x[i]);
        g[i + 1] = 200 * u;
    }
}

struct Problem {
    int n = 0;
    const Quadratic* quad = nullptr;  // else Rosenbrock
    int costCalls = 0;
};

std::vector<double> ToDouble(const float* p, int n)
{
    return std::vector<double>(p + 1, p + 1 + n);
}

float ProblemCost(const float* p, void* context)
{
    auto* pr = static_cast<Problem*>(context);
    ++pr->costCalls;
    const std::vector<double> x = ToDouble(p, pr->n);
    return static_cast<float>(pr->quad ? pr->quad->Value(x.data()) : RosenValue(x.data(), pr->n));
}

void ProblemGrad(const float* p, float* g, void* context)
{
    auto* pr = static_cast<Problem*>(context);
    const std::vector<double> x = ToDouble(p, pr->n);
    std::vector<double> gd(pr->n);
    if (pr->quad) pr->quad->Grad(x.data(), gd.data());
    else RosenGrad(x.data(), pr->n, gd.data());
    for (int i = 0; i < pr->n; ++i) g[i + 1] = static_cast<float>(gd[i]);
}

// ---------------------------------------------------------------------------
// GSL's conjugate_pr on the same problems, in double.

double GslF(const gsl_vector* v, void* params)
{
    auto* pr = static_cast<Problem*>(params);
    return pr->quad ? pr->quad->Value(v->data) : RosenValue(v->data, pr->n);
}
void GslDf(const gsl_vector* v, void* params, gsl_vector* g)
{
    auto* pr = static_cast<Problem*>(params);
    std::vector<double> gd(pr->n);
    if (pr->quad) pr->quad->Grad(v->data, gd.data());
    else RosenGrad(v->data, pr->n, gd.data());
    for (int i = 0; i < pr->n; ++i) gsl_vector_set(g, i, gd[i]);
}
void GslFdf(const gsl_vector* v, void* params, double* f, gsl_vector* g)
{
    *f = GslF(v, params);
    GslDf(v, params, g);
}

struct GslResult {
    std::vector<double> x;
    int iterations = 0;
    bool converged = false;
};

GslResult RunGsl(Problem& pr, const std::vector<double>& start)
{
    gsl_set_error_handler_off();
    gsl_multimin_function_fdf fn;
    fn.n = pr.n;
    fn.f = GslF;
    fn.df = GslDf;
    fn.fdf = GslFdf;
    fn.params = &pr;
    gsl_vector* x = gsl_vector_alloc(pr.n);
    for (int i = 0; i < pr.n; ++i) gsl_vector_set(x, i, start[i]);
    gsl_multimin_fdfminimizer* s = gsl_multimin_fdfminimizer_alloc(gsl_multimin_fdfminimizer_conjugate_pr, pr.n);
    gsl_multimin_fdfminimizer_set(s, &fn, x, 0.01, 1e-4);
    GslResult r;
    for (int it = 1; it <= 20000; ++it) {
        r.iterations = it;
        if (gsl_multimin_fdfminimizer_iterate(s) != GSL_SUCCESS) break;
        if (gsl_multimin_test_gradient(s->gradient, 1e-7) == GSL_SUCCESS) {
            r.converged = true;
            break;
        }
    }
    r.x.assign(s->x->data, s->x->data + pr.n);
    gsl_multimin_fdfminimizer_free(s);
    gsl_vector_free(x);
    return r;
}

// Runs frprmn from `start`; p[0] carries a sentinel that must survive.
struct OurResult {
    std::vector<double> x;
    int code = -2;
    int iterations = 0;
    float value = 0;
};

OurResult RunOurs(Problem& pr, const std::vector<double>& start, float ftol = 1e-6f)
{
    std::vector<float> p(pr.n + 1);
    p[0] = -12345.0f;
    for (int i = 0; i < pr.n; ++i) p[i + 1] = static_cast<float>(start[i]);
    OurResult r;
    r.code = frprmn(p.data(), pr.n, ftol, &r.iterations, &r.value, ProblemCost, ProblemGrad, &pr);
    EXPECT_EQ(p[0], -12345.0f) << "element 0 of the 1-based vector was touched";
    r.x = ToDouble(p.data(), pr.n);
    return r;
}

Quadratic FiveDimQuadratic()
{
    // Condition number 1000: eigenvalues 0.5 .. 500.
    return MakeQuadratic({0.5, 3.0, 20.0, 110.0, 500.0}, {1.0, -2.0, 0.5, 3.0, -1.5}, {1.0, -2.0, 3.0, 0.5, -1.0});
}

// ---------------------------------------------------------------------------

TEST(Frprmn, QuadraticValueToOneMillionth)
{
    // The warp fit's tolerance 1e-6 is relative in the cost: the value comes
    // within 1e-6 of the minimum, the point within about sqrt(1e-6).
    const Quadratic q = FiveDimQuadratic();
    const std::vector<double> exact = q.Solution();
    const double fMin = q.Value(exact.data());
    Problem pr{5, &q};
    const OurResult r = RunOurs(pr, {0, 0, 0, 0, 0});
    EXPECT_EQ(r.code, kFrprmnConverged);
    EXPECT_NEAR(r.value, fMin, 1e-6 * std::fabs(fMin));
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(r.x[i], exact[i], 1e-3) << "component " << i;
}

TEST(Frprmn, QuadraticPointToOneMillionth)
{
    // With a tight tolerance the point itself: the line search goes on by
    // the slope where the float cost no longer resolves the decrease.
    const Quadratic q = MakeQuadratic({1.0, 4.0, 15.0, 40.0, 100.0}, {2.0, 1.0, -0.5, 1.5, -1.0},
                                      {1.0, -2.0, 3.0, 0.5, -1.0});
    const std::vector<double> exact = q.Solution();
    Problem pr{5, &q};
    const OurResult r = RunOurs(pr, {0, 0, 0, 0, 0}, 1e-13f);
    EXPECT_EQ(r.code, kFrprmnConverged);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(r.x[i], exact[i], 1e-6) << "component " << i;
}

TEST(Frprmn, WellConditionedQuadraticTakesFewLineSearches)
{
    // Conjugate gradients with exact line searches end a 5-D quadratic in 5
    // steps; allow for float rounding and the closing steepest-descent check.
    const Quadratic q = MakeQuadratic({1, 2, 3, 4, 5}, {0.3, 1, -1, 2, 0.5}, {2, -1, 0.5, 1, 3});
    const std::vector<double> exact = q.Solution();
    Problem pr{5, &q};
    const OurResult r = RunOurs(pr, {3, -3, 3, -3, 3});
    EXPECT_EQ(r.code, kFrprmnConverged);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(r.x[i], exact[i], 1e-6);
    EXPECT_LE(r.iterations, 15);
}

TEST(Frprmn, RosenbrockValueToOneMillionth)
{
    struct Case {
        int n;
        std::vector<double> start;
    };
    const Case cases[] = {
        {2, {-1.2, 1.0}},
        {2, {2.0, -1.0}},
        {4, {-1.2, 1.0, -1.2, 1.0}},
        {6, {-1.2, 1.0, 0.0, 0.0, 1.5, 2.5}},
    };
    for (const Case& c : cases) {
        Problem pr{c.n, nullptr};
        const OurResult r = RunOurs(pr, c.start);
        EXPECT_EQ(r.code, kFrprmnConverged) << "n=" << c.n;
        // The float parameters resolve the narrow valley to about 1e-6; the
        // value is far below 1e-6.
        EXPECT_LT(r.value, 1e-10f) << "n=" << c.n;
        for (int i = 0; i < c.n; ++i) EXPECT_NEAR(r.x[i], 1.0, 2e-5) << "n=" << c.n << " component " << i;
    }
}

TEST(Frprmn, AgreesWithGslConjugatePr)
{
    const Quadratic qw = MakeQuadratic({1.0, 4.0, 15.0, 40.0, 100.0}, {2.0, 1.0, -0.5, 1.5, -1.0},
                                       {1.0, -2.0, 3.0, 0.5, -1.0});
    struct Case {
        const char* name;
        Problem pr;
        std::vector<double> start;
    };
    Case cases[] = {
        {"quadratic", Problem{5, &qw}, {0, 0, 0, 0, 0}},
        {"rosenbrock", Problem{2, nullptr}, {-1.2, 1.0}},
        {"rosenbrock4", Problem{4, nullptr}, {-1.2, 1.0, -1.2, 1.0}},
    };
    for (Case& c : cases) {
        const GslResult g = RunGsl(c.pr, c.start);
        ASSERT_TRUE(g.converged) << c.name << ": GSL did not converge";
        const OurResult r = RunOurs(c.pr, c.start, 1e-12f);
        for (int i = 0; i < c.pr.n; ++i) EXPECT_NEAR(r.x[i], g.x[i], 2e-5) << c.name << " component " << i;
        // A proper line search keeps the iteration count of the same order.
        EXPECT_LE(r.iterations, 2 * g.iterations + 10) << c.name << ": ours " << r.iterations << ", GSL "
                                                        << g.iterations;
    }
}

// Cost undefined (NaN) for x <= 0: the line search must step back from it.
float BarrierCost(const float* p, void*)
{
    const double x = p[1];
    if (!(x > 0)) return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(x - 2.0 * std::log(x));  // minimum at x = 2
}
void BarrierGrad(const float* p, float* g, void*)
{
    g[1] = static_cast<float>(1.0 - 2.0 / p[1]);
}

TEST(Frprmn, StepsBackFromPointsWithoutACost)
{
    float p[2] = {0, 0.05f};
    int iter = 0;
    float fret = 0;
    EXPECT_EQ(frprmn(p, 1, 1e-7f, &iter, &fret, BarrierCost, BarrierGrad, nullptr), kFrprmnConverged);
    EXPECT_NEAR(p[1], 2.0, 1e-5);
    EXPECT_TRUE(std::isfinite(fret));
}

TEST(Frprmn, RefusesBadInputAndKeepsTheVector)
{
    float p[3] = {0, std::numeric_limits<float>::quiet_NaN(), 1.0f};
    Problem pr{2, nullptr};
    LogCapture log;
    int iter = 77;
    EXPECT_EQ(frprmn(p, 2, 1e-6f, &iter, nullptr, ProblemCost, ProblemGrad, &pr), kFrprmnFailed);
    EXPECT_TRUE(std::isnan(p[1]));
    EXPECT_EQ(p[2], 1.0f);
    EXPECT_EQ(iter, 0);
    EXPECT_TRUE(log.contains("ERROR frprmn"));

    float q[3] = {0, 1, 1};
    EXPECT_EQ(frprmn(q, 0, 1e-6f, nullptr, nullptr, ProblemCost, ProblemGrad, &pr), kFrprmnFailed);
    EXPECT_EQ(frprmn(q, 2, 1e-6f, nullptr, nullptr, nullptr, ProblemGrad, &pr), kFrprmnFailed);
    EXPECT_EQ(frprmn(nullptr, 2, 1e-6f, nullptr, nullptr, ProblemCost, ProblemGrad, &pr), kFrprmnFailed);

    // A cost that is not finite at the start point.
    float r[2] = {0, -1.0f};
    EXPECT_EQ(frprmn(r, 1, 1e-6f, nullptr, nullptr, BarrierCost, BarrierGrad, nullptr), kFrprmnFailed);
    EXPECT_EQ(r[1], -1.0f);
}

// The outer cost runs a whole minimisation of its own for every value: any
// state kept outside the context would be overwritten by the inner run.
struct Nested {
    int innerRuns = 0;
};
float InnerCost(const float* p, void* context)
{
    const double a = *static_cast<const double*>(context);
    const double x = p[1], y = p[2];
    return static_cast<float>((x - a) * (x - a) + 3 * (y + a) * (y + a) + 1.0);
}
void InnerGrad(const float* p, float* g, void* context)
{
    const double a = *static_cast<const double*>(context);
    g[1] = static_cast<float>(2 * (p[1] - a));
    g[2] = static_cast<float>(6 * (p[2] + a));
}
float OuterCost(const float* p, void* context)
{
    auto* nested = static_cast<Nested*>(context);
    double a = p[1];
    float inner[3] = {0, 5.0f, -5.0f};
    float value = 0;
    frprmn(inner, 2, 1e-7f, nullptr, &value, InnerCost, InnerGrad, &a);
    ++nested->innerRuns;
    // min over (x, y) is 1 whatever a: the outer cost is (a - 2)^2 + 1.
    return static_cast<float>((a - 2) * (a - 2) + value);
}
void OuterGrad(const float* p, float* g, void*)
{
    g[1] = static_cast<float>(2 * (p[1] - 2.0));
}

TEST(Frprmn, NestedMinimisationsDoNotDisturbEachOther)
{
    Nested nested;
    float p[2] = {0, -7.0f};
    float fret = 0;
    EXPECT_EQ(frprmn(p, 1, 1e-7f, nullptr, &fret, OuterCost, OuterGrad, &nested), kFrprmnConverged);
    EXPECT_NEAR(p[1], 2.0, 1e-5);
    EXPECT_NEAR(fret, 1.0, 1e-5);
    EXPECT_GT(nested.innerRuns, 2);
}

TEST(Frprmn, ConcurrentRunsGiveTheSequentialResults)
{
    const Quadratic q = FiveDimQuadratic();
    auto run = [&q](int k) {
        Problem pr{5, &q};
        std::vector<float> p = {0, float(k), float(-k), 1, 2, float(k)};
        frprmn(p.data(), 5, 1e-6f, nullptr, nullptr, ProblemCost, ProblemGrad, &pr);
        return p;
    };
    std::array<std::vector<float>, 4> sequential, concurrent;
    for (int k = 0; k < 4; ++k) sequential[k] = run(k);
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k) threads.emplace_back([&, k] { concurrent[k] = run(k); });
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < 4; ++k) EXPECT_EQ(concurrent[k], sequential[k]) << "run " << k;
}

}  // namespace
