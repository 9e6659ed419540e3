// The solvers against Eigen (double precision LU and QR) on random systems,
// and on singular ones, where Eigen's rank says there is no unique answer.
#include "platform/utilkit/equation.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

Eigen::Matrix3d ToEigen(const float* m)
{
    Eigen::Matrix3d e;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) e(r, c) = m[3 * r + c];
    return e;
}

}  // namespace

TEST(Equation, SolveLEq3MatchesEigenOnRandomSystems)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    int solved = 0;
    for (int trial = 0; trial < 300; ++trial) {
        float m[9], rhs[3], x[3];
        for (float& v : m) v = value(rng);
        for (float& v : rhs) v = value(rng);
        const Eigen::Matrix3d e = ToEigen(m);
        const Eigen::Vector3d want = e.partialPivLu().solve(Eigen::Vector3d(rhs[0], rhs[1], rhs[2]));
        ASSERT_EQ(CEquation::SolveLEq3(m, rhs, x), 1) << "trial " << trial;
        // Float results: relative to the size of the answer and the conditioning.
        const double cond = e.norm() * e.inverse().norm();
        const double tol = 1e-6 * cond * std::max(1.0, want.cwiseAbs().maxCoeff());
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[i], want[i], tol) << "trial " << trial;
        ++solved;
    }
    EXPECT_EQ(solved, 300);
}

TEST(Equation, SolveLEq3RefusesSingularSystemsAndLeavesXAlone)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> small(-9, 9);
    for (int trial = 0; trial < 100; ++trial) {
        // Third row a combination of the first two: rank 2 at most.
        float m[9];
        for (int i = 0; i < 6; ++i) m[i] = static_cast<float>(small(rng));
        const int a = small(rng), b = small(rng);
        for (int c = 0; c < 3; ++c) m[6 + c] = static_cast<float>(a * m[c] + b * m[3 + c]);
        Eigen::FullPivLU<Eigen::Matrix3d> lu(ToEigen(m));
        ASSERT_LT(lu.rank(), 3);
        float rhs[3] = {1, 2, 3};
        float x[3] = {42, 42, 42};
        EXPECT_EQ(CEquation::SolveLEq3(m, rhs, x), 0) << "trial " << trial;
        EXPECT_EQ(x[0], 42.0f);
    }
    const float zero[9] = {};
    const float rhs[3] = {1, 1, 1};
    float x[3];
    EXPECT_EQ(CEquation::SolveLEq3(zero, rhs, x), 0);
    EXPECT_EQ(CEquation::SolveLEq3(nullptr, rhs, x), 0);
}

TEST(Equation, MinSolveLEq3MatchesEigenLeastSquares)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-10.0f, 10.0f);
    for (int rows : {3, 4, 7, 25, 200}) {
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<float> a(3 * rows), b(rows);
            for (float& v : a) v = value(rng);
            for (float& v : b) v = value(rng);
            Eigen::MatrixXd ea(rows, 3);
            Eigen::VectorXd eb(rows);
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < 3; ++c) ea(r, c) = a[3 * r + c];
                eb(r) = b[r];
            }
            const Eigen::Vector3d want = ea.colPivHouseholderQr().solve(eb);
            const double residual = std::sqrt((ea * want - eb).squaredNorm() / rows);
            float x[3], extra = -1;
            ASSERT_EQ(CEquation::MinSolveLEq3(a.data(), b.data(), rows, x, &extra), 1);
            const Eigen::JacobiSVD<Eigen::MatrixXd> svd(ea);
            const double cond = svd.singularValues()(0) / svd.singularValues()(2);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(x[i], want[i], 1e-5 * cond * std::max(1.0, want.cwiseAbs().maxCoeff()))
                    << rows << " rows, trial " << trial;
            EXPECT_NEAR(extra, residual, 1e-4 * std::max(1.0, residual));
        }
    }
}

TEST(Equation, MinSolveLEq3RefusesTooFewRowsAndDependentColumns)
{
    const float a2[6] = {1, 0, 0, 0, 1, 0};
    const float b2[2] = {1, 2};
    float x[3] = {7, 7, 7};
    EXPECT_EQ(CEquation::MinSolveLEq3(a2, b2, 2, x, nullptr), 0);
    // Third column = first + second on every row.
    std::vector<float> a, b;
    for (int r = 0; r < 10; ++r) {
        const float u = static_cast<float>(r), v = static_cast<float>(r * r % 7);
        a.insert(a.end(), {u, v, u + v});
        b.push_back(static_cast<float>(r));
    }
    Eigen::MatrixXd ea(10, 3);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 3; ++c) ea(r, c) = a[3 * r + c];
    ASSERT_LT(Eigen::FullPivLU<Eigen::MatrixXd>(ea).rank(), 3);
    EXPECT_EQ(CEquation::MinSolveLEq3(a.data(), b.data(), 10, x, nullptr), 0);
    EXPECT_EQ(x[0], 7.0f);
}

TEST(Equation, ExactOverDeterminedSystemHasZeroResidual)
{
    // b = a (1, -2, 3) exactly.
    std::vector<float> a, b;
    for (int r = 0; r < 6; ++r) {
        const float p = static_cast<float>(r), q = static_cast<float>(5 - r), s = static_cast<float>(r * r);
        a.insert(a.end(), {p, q, s});
        b.push_back(p - 2 * q + 3 * s);
    }
    float x[3], extra = -1;
    ASSERT_EQ(CEquation::MinSolveLEq3(a.data(), b.data(), 6, x, &extra), 1);
    EXPECT_NEAR(x[0], 1, 1e-5);
    EXPECT_NEAR(x[1], -2, 1e-5);
    EXPECT_NEAR(x[2], 3, 1e-5);
    EXPECT_NEAR(extra, 0, 1e-5);
}
