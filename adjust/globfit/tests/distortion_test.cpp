// The plumb-line fit: lines bent by a known lens come out straight and the
// reported inverse matches that lens; straight lines keep the identity; a
// single line, lines through the centre and points on one circle are
// refused without NaN; out-of-range points are ignored.
#include "adjust/globfit/distortion.h"

#include "adjust/globfit/radial_polynomial.h"
#include "adjust/globfit/tests/synthetic_panorama.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using synthetic::Lens;

namespace {

constexpr double kRho = 400.0;  // half the short side of a 1200 x 800 frame

using Points = std::vector<std::pair<double, double>>;

// Straight lines of the undistorted picture: four horizontal and four
// vertical ones across a 1200 x 800 frame, points about its centre.
std::vector<Points> StraightLines()
{
    std::vector<Points> lines;
    for (double y : {-330.0, -170.0, 120.0, 310.0}) {
        Points line;
        for (double x = -560.0; x <= 560.0; x += 40.0) line.push_back({x, y});
        lines.push_back(line);
    }
    for (double x : {-520.0, -260.0, 190.0, 480.0}) {
        Points line;
        for (double y = -370.0; y <= 370.0; y += 30.0) line.push_back({x, y});
        lines.push_back(line);
    }
    return lines;
}

// What the lens shows: the observed point p with p D(|p| / rho) = ideal.
std::vector<Points> Bend(const std::vector<Points>& lines, const Lens& lens)
{
    std::vector<Points> bent;
    for (const Points& line : lines) {
        Points out;
        for (auto [x, y] : line) {
            const double ideal = std::hypot(x, y) / kRho;
            const double observed = ideal > 0 ? lens.Distort(ideal) : 0.0;
            const double k = ideal > 0 ? observed / ideal : 1.0;
            out.push_back({x * k, y * k});
        }
        bent.push_back(out);
    }
    return bent;
}

// Largest distance of a point from its line's total-least-squares fit.
double Bow(const std::vector<Points>& lines)
{
    double worst = 0;
    for (const Points& line : lines) {
        double mx = 0, my = 0;
        for (auto [x, y] : line) mx += x, my += y;
        mx /= line.size();
        my /= line.size();
        double sxx = 0, sxy = 0, syy = 0;
        for (auto [x, y] : line) {
            sxx += (x - mx) * (x - mx);
            sxy += (x - mx) * (y - my);
            syy += (y - my) * (y - my);
        }
        const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);  // direction of the line
        const double nx = -std::sin(angle), ny = std::cos(angle);
        for (auto [x, y] : line) worst = std::max(worst, std::fabs((x - mx) * nx + (y - my) * ny));
    }
    return worst;
}

void Feed(Distortion& fit, const std::vector<Points>& lines)
{
    for (const Points& line : lines) {
        const int index = fit.AppendLine(static_cast<int>(line.size()));
        for (size_t i = 0; i < line.size(); ++i)
            fit.AddPoint(index, static_cast<int>(i), static_cast<float>(line[i].first),
                         static_cast<float>(line[i].second));
    }
}

// Corrects observed points with the reported inverse polynomial e: the
// corrected radius R solves R e(R) = r (bisection).
std::vector<Points> Straighten(const std::vector<Points>& lines, const float e[4])
{
    auto back = [&](double big) { return big * globfit::EvalRadial(e, static_cast<float>(big)); };
    std::vector<Points> out;
    for (const Points& line : lines) {
        Points corrected;
        for (auto [x, y] : line) {
            const double r = std::hypot(x, y) / kRho;
            double lo = 0, hi = 3;
            for (int it = 0; it < 60; ++it) {
                const double mid = 0.5 * (lo + hi);
                (back(mid) < r ? lo : hi) = mid;
            }
            const double k = r > 0 ? 0.5 * (lo + hi) / r : 1.0;
            corrected.push_back({x * k, y * k});
        }
        out.push_back(corrected);
    }
    return out;
}

bool Finite(const Distortion& fit)
{
    float c[4];
    fit.GetDistortion(c[0], c[1], c[2], c[3]);
    return std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]) && std::isfinite(c[3]);
}

void ExpectIdentity(const Distortion& fit)
{
    float c0, c1, c2, c3;
    fit.GetDistortion(c0, c1, c2, c3);
    EXPECT_EQ(c0, 1.0f);
    EXPECT_EQ(c1, 0.0f);
    EXPECT_EQ(c2, 0.0f);
    EXPECT_EQ(c3, 0.0f);
}

}  // namespace

struct PlumbCase {
    const char* name;
    Lens lens;
};

class DistortionPlumbLine : public ::testing::TestWithParam<PlumbCase> {};

TEST_P(DistortionPlumbLine, StraightensLinesBentByAKnownLens)
{
    const Lens& lens = GetParam().lens;
    const std::vector<Points> bent = Bend(StraightLines(), lens);
    const double bowBefore = Bow(bent);
    ASSERT_GT(bowBefore, 5.0) << "the lens must bend the lines visibly";

    Distortion fit(static_cast<float>(kRho));
    Feed(fit, bent);
    ASSERT_TRUE(fit.Compute());
    float e[4];
    fit.GetDistortion(e[0], e[1], e[2], e[3]);
    EXPECT_NEAR(e[0] + e[1] + e[2] + e[3], 1.0f, 1e-5f);
    // The reported inverse takes a corrected radius back to the observed one.
    for (double r = 0.1; r < 1.5; r += 0.02) {
        const double big = r * lens.D(r);
        EXPECT_NEAR(big * globfit::EvalRadial(e, static_cast<float>(big)), r, 2e-3) << "r " << r;
    }
    // And correcting with it straightens the lines.
    EXPECT_LT(Bow(Straighten(bent, e)), bowBefore / 20.0);
}

INSTANTIATE_TEST_SUITE_P(Lenses, DistortionPlumbLine,
                         ::testing::Values(PlumbCase{"Barrel", Lens{0, 0.05, 0}},
                                           PlumbCase{"Pincushion", Lens{0, -0.03, 0}},
                                           PlumbCase{"Cubic", Lens{0.02, 0.04, -0.01}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Distortion, StraightLinesKeepTheIdentity)
{
    Distortion fit(static_cast<float>(kRho));
    Feed(fit, StraightLines());
    ASSERT_TRUE(fit.Compute());
    float c0, c1, c2, c3;
    fit.GetDistortion(c0, c1, c2, c3);
    EXPECT_NEAR(c0, 1.0f, 1e-4f);
    EXPECT_NEAR(c1, 0.0f, 1e-4f);
    EXPECT_NEAR(c2, 0.0f, 1e-4f);
    EXPECT_NEAR(c3, 0.0f, 1e-4f);
    // Diagonal lines are straight too.
    Distortion diagonal(static_cast<float>(kRho));
    std::vector<Points> lines;
    for (double offset : {-200.0, 0.5, 150.0}) {
        Points line;
        for (double t = -300; t <= 300; t += 25) line.push_back({t + offset, 0.7 * t - offset});
        lines.push_back(line);
    }
    Feed(diagonal, lines);
    ASSERT_TRUE(diagonal.Compute());
    diagonal.GetDistortion(c0, c1, c2, c3);
    EXPECT_NEAR(c1, 0.0f, 1e-4f);
    EXPECT_NEAR(c2, 0.0f, 1e-4f);
    EXPECT_NEAR(c3, 0.0f, 1e-4f);
}

TEST(Distortion, DegenerateInputsAreRefusedWithoutNaN)
{
    const Lens lens{0, 0.05, 0};
    // No line, and one bent line: false, coefficients untouched.
    {
        Distortion fit(static_cast<float>(kRho));
        EXPECT_FALSE(fit.Compute());
        ExpectIdentity(fit);
        Feed(fit, {Bend(StraightLines(), lens)[0]});
        EXPECT_FALSE(fit.Compute());
        ExpectIdentity(fit);
    }
    // Lines through the centre: a radial lens moves their points along them,
    // so nothing can be learnt (the system is zero).
    {
        Distortion fit(static_cast<float>(kRho));
        std::vector<Points> spokes;
        for (double angle : {0.0, 0.7, 1.9}) {
            Points line;
            for (double t = -350; t <= 350; t += 50) line.push_back({t * std::cos(angle), t * std::sin(angle)});
            spokes.push_back(line);
        }
        Feed(fit, Bend(spokes, lens));
        EXPECT_FALSE(fit.Compute());
        ExpectIdentity(fit);
    }
    // Every point on one circle: all radii equal, the system has rank one.
    {
        Distortion fit(static_cast<float>(kRho));
        std::vector<Points> arcs;
        for (double start : {0.0, 2.0, 4.0}) {
            Points line;
            for (int i = 0; i < 5; ++i) line.push_back({300 * std::cos(start + 0.1 * i), 300 * std::sin(start + 0.1 * i)});
            arcs.push_back(line);
        }
        Feed(fit, arcs);
        EXPECT_FALSE(fit.Compute());
        ExpectIdentity(fit);
    }
    // A normalising radius of zero gives every point r = 0: refused.
    {
        Distortion fit(0.0f);
        Feed(fit, Bend(StraightLines(), lens));
        EXPECT_FALSE(fit.Compute());
        EXPECT_TRUE(Finite(fit));
    }
    // Lines of too few points do not count; a line whose points all sit at
    // the centre joins the fit without harm.
    {
        Distortion fit(static_cast<float>(kRho));
        std::vector<Points> lines = Bend(StraightLines(), lens);
        lines.push_back(Points{{0, 0}, {0, 0}, {0, 0}});
        lines.push_back(Points{{10, 10}, {20, 20}});
        lines.push_back(Points{});
        Feed(fit, lines);
        ASSERT_TRUE(fit.Compute());
        EXPECT_TRUE(Finite(fit));
        float e[4];
        fit.GetDistortion(e[0], e[1], e[2], e[3]);
        const double big = 1.0 * lens.D(1.0);
        EXPECT_NEAR(big * globfit::EvalRadial(e, static_cast<float>(big)), 1.0, 2e-3);
    }
}

TEST(Distortion, OutOfRangePointsAreIgnored)
{
    const Lens lens{0, 0.05, 0};
    Distortion reference(static_cast<float>(kRho));
    Distortion probed(static_cast<float>(kRho));
    const std::vector<Points> bent = Bend(StraightLines(), lens);
    Feed(reference, bent);
    Feed(probed, bent);
    EXPECT_EQ(probed.AppendLine(3), static_cast<int>(bent.size()));
    // Only index 0 of the new line lands; the other calls miss.
    probed.AddPoint(static_cast<int>(bent.size()), 3, 1000.0f, 1000.0f);
    probed.AddPoint(static_cast<int>(bent.size()) + 1, 0, 1000.0f, 1000.0f);
    probed.AddPoint(-1, 0, 1000.0f, 1000.0f);
    probed.AddPoint(0, -1, 1000.0f, 1000.0f);
    probed.AddPoint(0, static_cast<int>(bent[0].size()), 1000.0f, 1000.0f);
    ASSERT_TRUE(reference.Compute());
    ASSERT_TRUE(probed.Compute());
    float a[4], b[4];
    reference.GetDistortion(a[0], a[1], a[2], a[3]);
    probed.GetDistortion(b[0], b[1], b[2], b[3]);
    // The extra line is three points at the centre: it may move the fit only
    // by rounding.
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(a[i], b[i], 1e-3f);
}
