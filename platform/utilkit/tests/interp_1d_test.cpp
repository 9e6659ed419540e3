#include "platform/utilkit/interp_1d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

// Obviously right: find the segment by walking the node positions.
double Reference(const std::vector<float>& nodes, double x0, double x1, double x)
{
    const size_t n = nodes.size();
    const double step = (x1 - x0) / static_cast<double>(n - 1);
    if ((x - x0) / (x1 - x0) <= 0.0) return nodes.front();
    if ((x - x0) / (x1 - x0) >= 1.0) return nodes.back();
    for (size_t i = 0; i + 1 < n; ++i) {
        const double a = x0 + step * static_cast<double>(i), b = x0 + step * static_cast<double>(i + 1);
        const double lo = std::min(a, b), hi = std::max(a, b);
        if (x >= lo && x <= hi) return nodes[i] + (x - a) / (b - a) * (nodes[i + 1] - nodes[i]);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

TEST(CInterp1D, MatchesABruteForceLinearInterpolation)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 2 + static_cast<int>(rng() % 40);
        float x0 = value(rng), x1 = value(rng);
        if (std::fabs(x1 - x0) < 1.0f) x1 = x0 + 10.0f;
        if (trial % 5 == 0) std::swap(x0, x1);  // ranges that run downwards too
        CInterp1D interp;
        interp.SetRange(x0, x1);
        float* nodes = interp.AllocNodes(n);
        ASSERT_NE(nodes, nullptr);
        std::vector<float> copy(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) copy[i] = nodes[i] = value(rng);
        std::vector<double> xs;
        for (int i = 0; i < n; ++i) xs.push_back(x0 + (static_cast<double>(x1) - x0) * i / (n - 1));  // the nodes
        for (int k = 0; k < 20; ++k) xs.push_back(std::min(x0, x1) + std::fabs(x1 - x0) * (rng() % 1000) / 999.0);
        xs.push_back(std::min(x0, x1) - 100.0);  // outside both ends
        xs.push_back(std::max(x0, x1) + 100.0);
        for (double x : xs) {
            const double want = Reference(copy, x0, x1, static_cast<float>(x));
            EXPECT_NEAR(interp.Interp(static_cast<float>(x)), want, 1e-3 * (1.0 + std::fabs(want)))
                << "n=" << n << " x=" << x << " range " << x0 << ".." << x1;
        }
    }
}

TEST(CInterp1D, DegenerateInputsGiveFiniteValues)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    CInterp1D none;
    EXPECT_EQ(none.Interp(3.0f), 0.0f);
    EXPECT_EQ(none.AllocNodes(0), nullptr);
    EXPECT_EQ(none.AllocNodes(-4), nullptr);
    EXPECT_EQ(none.Interp(3.0f), 0.0f);

    CInterp1D one;
    one.SetRange(0.0f, 10.0f);
    one.AllocNodes(1)[0] = 4.5f;
    for (float x : {-1.0f, 0.0f, 5.0f, 99.0f, nan, inf}) EXPECT_EQ(one.Interp(x), 4.5f);

    CInterp1D flat;  // x0 = x1
    flat.SetRange(2.0f, 2.0f);
    float* nodes = flat.AllocNodes(3);
    nodes[0] = 1.0f;
    nodes[1] = 7.0f;
    nodes[2] = 9.0f;
    for (float x : {1.0f, 2.0f, 3.0f, nan}) EXPECT_EQ(flat.Interp(x), 1.0f);

    CInterp1D two;
    two.SetRange(0.0f, 1.0f);
    nodes = two.AllocNodes(2);
    nodes[0] = -2.0f;
    nodes[1] = 6.0f;
    EXPECT_EQ(two.Interp(nan), -2.0f);
    EXPECT_EQ(two.Interp(-inf), -2.0f);
    EXPECT_EQ(two.Interp(inf), 6.0f);
    EXPECT_FLOAT_EQ(two.Interp(0.25f), 0.0f);
    // A second allocation replaces the nodes.
    EXPECT_EQ(two.AllocNodes(4)[3], 0.0f);
    EXPECT_EQ(two.Interp(1.0f), 0.0f);

    CInterp1D huge;
    huge.SetRange(-3.0e38f, 3.0e38f);  // the span overflows a float
    nodes = huge.AllocNodes(3);
    nodes[0] = 1.0f;
    nodes[1] = 2.0f;
    nodes[2] = 3.0f;
    EXPECT_FLOAT_EQ(huge.Interp(0.0f), 2.0f);
}
