// The global alignment's LU solve against Eigen's partial-pivoting LU in
// double, and its refusal of a matrix with a zero row.
#include "adjust/globfit/dense_lu.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(DenseLU, SolvesLikeEigen)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int n : {1, 2, 3, 7, 40, 123}) {
        // A normal matrix like the solver's: J^T J plus a damped diagonal,
        // rows of very different scales.
        Eigen::MatrixXd j(2 * n, n);
        for (int r = 0; r < 2 * n; ++r)
            for (int c = 0; c < n; ++c) j(r, c) = u(rng) * (c % 3 == 0 ? 300.0 : 1.0);
        Eigen::MatrixXd a = j.transpose() * j;
        a.diagonal() *= 1.01;
        Eigen::VectorXd b(n);
        for (int r = 0; r < n; ++r) b(r) = u(rng);
        std::vector<float> m(static_cast<size_t>(n) * n), x(n), scale(n);
        std::vector<int> pivot(n);
        for (int r = 0; r < n; ++r) {
            x[r] = static_cast<float>(b(r));
            for (int c = 0; c < n; ++c) m[static_cast<size_t>(r) * n + c] = static_cast<float>(a(r, c));
        }
        ASSERT_TRUE(globfit::LUDecompose(m.data(), n, pivot.data(), scale.data()));
        globfit::LUBackSubstitute(m.data(), n, pivot.data(), x.data());
        const Eigen::VectorXd expected = a.partialPivLu().solve(b);
        // Compare the residual of the float solution, relative to the data.
        Eigen::VectorXd got(n);
        for (int r = 0; r < n; ++r) got(r) = x[r];
        EXPECT_LT((a * got - b).norm(), 1e-3 * (a.norm() * expected.norm() + b.norm())) << n;
        EXPECT_LT((got - expected).norm(), 1e-2 * expected.norm()) << n;
    }
}

TEST(DenseLU, PivotsAcrossAZeroDiagonal)
{
    // [0 1; 1 0] x = (2, 3): needs the row swap.
    float m[4] = {0, 1, 1, 0};
    float b[2] = {2, 3};
    float scale[2];
    int pivot[2];
    ASSERT_TRUE(globfit::LUDecompose(m, 2, pivot, scale));
    globfit::LUBackSubstitute(m, 2, pivot, b);
    EXPECT_FLOAT_EQ(b[0], 3.0f);
    EXPECT_FLOAT_EQ(b[1], 2.0f);
}

TEST(DenseLU, AZeroRowFailsAndASingularMatrixStillFactors)
{
    float zero[9] = {1, 2, 3, 0, 0, 0, 4, 5, 6};
    float scale[3];
    int pivot[3];
    EXPECT_FALSE(globfit::LUDecompose(zero, 3, pivot, scale));
    // Rank two without a zero row: the zero pivot becomes 1e-20.
    float singular[9] = {1, 2, 3, 2, 4, 6, 1, 0, 1};
    EXPECT_TRUE(globfit::LUDecompose(singular, 3, pivot, scale));
}
