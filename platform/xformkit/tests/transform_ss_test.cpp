#include "platform/xformkit/transform_ss.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A quarter turn about the third axis: (1, 0, 0) -> (0, 1, 0).
const double kQuarterTurn[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
const double kHalfTurn[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};

void ExpectTurns(const CTransformSS& t, const double (&in)[3], const double (&want)[3])
{
    double out[3];
    t.Transform(in, out);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], want[i], 1e-15) << i;
}

TEST(TransformSS, AssignmentCopiesTheRotationAndOwnsIt)
{
    CTransformSS a, b;
    a.SetRotation(kQuarterTurn);
    b = a;
    EXPECT_NE(a.GetRotation(), b.GetRotation());
    ExpectTurns(b, {1, 0, 0}, {0, 1, 0});
    // Changing either side afterwards leaves the other as it was.
    a.SetRotation(kHalfTurn);
    ExpectTurns(b, {1, 0, 0}, {0, 1, 0});
    b.SetRotation(kHalfTurn);
    a = CTransformSS();
    ExpectTurns(a, {1, 2, 3}, {1, 2, 3});
    ExpectTurns(b, {1, 2, 3}, {-1, -2, 3});

    // Copies made by construction are independent too, and go away with
    // their own storage (the sanitizer build checks for double frees).
    {
        CTransformSS c(b);
        c.SetRotation(kQuarterTurn);
        ExpectTurns(b, {1, 0, 0}, {-1, 0, 0});
    }
    ExpectTurns(b, {0, 1, 0}, {0, -1, 0});
}

TEST(TransformSS, SelfAssignmentKeepsTheRotation)
{
    CTransformSS a;
    a.SetRotation(kQuarterTurn);
    const double* storage = a.GetRotation();
    CTransformSS& alias = a;
    a = alias;
    EXPECT_EQ(a.GetRotation(), storage);
    ExpectTurns(a, {0, 1, 0}, {-1, 0, 0});
    // In place: the input array is read before it is written.
    double v[3] = {1, 0, 0};
    a.Transform(v, v);
    EXPECT_NEAR(v[0], 0, 1e-15);
    EXPECT_NEAR(v[1], 1, 1e-15);
}

}  // namespace
