// The Euler-angle and quaternion routines, and the placement of one view in
// another, against rotation matrices built here with Eigen from right-handed
// turns about the axes.
#include "platform/xformkit/euler_angles.h"
#include "platform/xformkit/transform_euler.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using Eigen::AngleAxisd;
using Eigen::Matrix3d;
using Eigen::Quaterniond;
using Eigen::Vector3d;

constexpr double kPi = 3.14159265358979323846;

Matrix3d Turn(int axis, double angle)
{
    return AngleAxisd(angle, axis == 0 ? Vector3d::UnitX() : axis == 1 ? Vector3d::UnitY() : Vector3d::UnitZ())
        .toRotationMatrix();
}

// Static axes: the first angle turns about the first named axis first, so
// the matrix (on column vectors) is the product in reverse.
Matrix3d StaticProduct(int a0, int a1, int a2, double t0, double t1, double t2)
{
    return Turn(a2, t2) * Turn(a1, t1) * Turn(a0, t0);
}

struct OrderCase {
    int order;
    int axes[3];
    bool rotating;  // a rotating frame turns about the moving axes: the product in named order
};

const OrderCase kOrders[] = {
    {EulOrdXYZs, {0, 1, 2}, false}, {EulOrdXZXs, {0, 2, 0}, false}, {EulOrdZYXs, {2, 1, 0}, false},
    {EulOrdZXZs, {2, 0, 2}, false}, {EulOrdYXZs, {1, 0, 2}, false}, {EulOrdZYZs, {2, 1, 2}, false},
    {EulOrdXYZr, {0, 1, 2}, true},  {EulOrdZXZr, {2, 0, 2}, true},
};

Matrix3d Reference(const OrderCase& c, double t0, double t1, double t2)
{
    if (c.rotating) return Turn(c.axes[0], t0) * Turn(c.axes[1], t1) * Turn(c.axes[2], t2);
    return StaticProduct(c.axes[0], c.axes[1], c.axes[2], t0, t1, t2);
}

Matrix3d FromQuat(const Quat& q)
{
    return Quaterniond(q.w, q.x, q.y, q.z).normalized().toRotationMatrix();
}

TEST(EulerAngles, MatricesQuaternionsAndRoundTripsAgainstIndependentTurns)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> ang(-3.0, 3.0), mid(0.05, 3.0), tilt(-1.5, 1.5);
    for (const OrderCase& c : kOrders) {
        // The middle angle's principal range: (0, pi) for a repeated axis, or
        // (-pi, 0) with odd parity; (-pi/2, pi/2) otherwise.
        const bool repeated = c.axes[0] == c.axes[2];
        const bool oddParity = (c.order >> 2) & 1;
        for (int n = 0; n < 100; ++n) {
            const double t0 = ang(rng), t2 = ang(rng);
            const double t1 = !repeated ? tilt(rng) : oddParity ? -mid(rng) : mid(rng);
            SCOPED_TRACE(testing::Message() << "order " << c.order << " case " << n);
            const Matrix3d ref = Reference(c, t0, t1, t2);
            const EulerAngles ea = Eul_(float(t0), float(t1), float(t2), c.order);
            HMatrix m;
            Eul_ToHMatrix(ea, m);
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k) ASSERT_NEAR(m[r][k], ref(r, k), 2e-6);
            EXPECT_EQ(m[3][3], 1.0f);
            const Matrix3d fromQuat = FromQuat(Eul_ToQuat(ea));
            ASSERT_TRUE(fromQuat.isApprox(ref, 1e-5));
            // Angles inside the principal ranges come back as they went in.
            const EulerAngles back = Eul_FromQuat(Eul_ToQuat(ea), c.order);
            EXPECT_NEAR(back.x, t0, 2e-4);
            EXPECT_NEAR(back.y, t1, 2e-4);
            EXPECT_NEAR(back.z, t2, 2e-4);
            EXPECT_EQ(back.w, float(c.order));
            const EulerAngles fromMatrix = Eul_FromHMatrix(m, c.order);
            EXPECT_NEAR(fromMatrix.x, t0, 2e-4);
            EXPECT_NEAR(fromMatrix.y, t1, 2e-4);
        }
    }
}

TEST(EulerAngles, GimbalLockPutsTheWholeTurnInTheFirstAngle)
{
    // ZYXs with the middle angle at a quarter turn, XZXs with it at 0: the
    // first and third axes coincide and only their sum (or difference) is
    // defined.
    const EulerAngles locked = Eul_(0.4f, float(kPi / 2), 0.3f, EulOrdZYXs);
    const EulerAngles back = Eul_FromQuat(Eul_ToQuat(locked), EulOrdZYXs);
    EXPECT_EQ(back.z, 0.0f);
    EXPECT_TRUE(FromQuat(Eul_ToQuat(back)).isApprox(FromQuat(Eul_ToQuat(locked)), 1e-4));
    const EulerAngles flat = Eul_FromQuat(Eul_ToQuat(Eul_(0.4f, 0.0f, 0.3f, EulOrdXZXs)), EulOrdXZXs);
    EXPECT_NEAR(flat.x, 0.7f, 1e-5);
    EXPECT_EQ(flat.y, 0.0f);
    EXPECT_EQ(flat.z, 0.0f);
}

TEST(EulerAngles, QuaternionProductAndAxisAngle)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> ang(-3.0, 3.0);
    for (int n = 0; n < 100; ++n) {
        const Quat a = Eul_ToQuat(Eul_(float(ang(rng)), float(ang(rng) / 2), float(ang(rng)), EulOrdXYZs));
        const Quat b = Eul_ToQuat(Eul_(float(ang(rng)), float(ang(rng) / 2), float(ang(rng)), EulOrdZYXs));
        ASSERT_TRUE(FromQuat(Qt_Mul(a, b)).isApprox(FromQuat(a) * FromQuat(b), 1e-5));
    }
    const Vector3d axis = Vector3d(1, -2, 0.5).normalized();
    const float f[3] = {float(axis.x()), float(axis.y()), float(axis.z())};
    const Quat q = Qt_FromAxisAngle(f, 1.2f);
    EXPECT_TRUE(FromQuat(q).isApprox(AngleAxisd(1.2, axis).toRotationMatrix(), 1e-6));
    float outAxis[3], angle = 0;
    Qt_ToAxisAngle(q, outAxis, &angle);
    EXPECT_NEAR(angle, 1.2f, 1e-6);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(outAxis[k], f[k], 1e-5);
    // No turn: the angle is 0 and the axis defaults to X.
    Qt_ToAxisAngle(Quat{0, 0, 0, 1}, outAxis, &angle);
    EXPECT_EQ(angle, 0.0f);
    EXPECT_EQ(outAxis[0], 1.0f);
    EXPECT_EQ(outAxis[1], 0.0f);
    // A w a rounding step above 1 gives a zero turn, not NaN.
    Qt_ToAxisAngle(Quat{0, 0, 0, 1.0000001f}, outAxis, &angle);
    EXPECT_EQ(angle, 0.0f);
}

// The engine's orientation of a view: yaw about Z, then -pitch about Y, then
// -roll about X (static axes).
Matrix3d ViewOrientation(double yaw, double pitch, double roll)
{
    return StaticProduct(2, 1, 0, yaw, -pitch, -roll);
}

TEST(EulerAngles, Euler2UVRtoRDRPlacesTheFaceSeenFromTheView)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> yawD(-3.1, 3.1), pitchD(-1.5, 1.5), rollD(-0.5, 0.5);
    for (int n = 0; n < 300; ++n) {
        const POINT2 face{float(yawD(rng)), float(pitchD(rng))};
        const POINT2 view{float(yawD(rng)), float(pitchD(rng))};
        const float faceRoll = n % 3 == 0 ? 0.0f : float(rollD(rng));
        const float viewRoll = float(rollD(rng));
        float r1 = 0, d = 0, r2 = 0;
        CTransformEuler::Euler2UVRtoRDR(&face, faceRoll, &view, viewRoll, &r1, &d, &r2);
        SCOPED_TRACE(n);
        // The relative turn from the face to the view, as three turns about
        // X, Z, X with the two outer angles negated.
        const Matrix3d relative =
            ViewOrientation(view.x, view.y, viewRoll) * ViewOrientation(face.x, face.y, faceRoll).transpose();
        const Matrix3d decomposed = StaticProduct(0, 2, 0, -r1, d, -r2);
        ASSERT_TRUE(decomposed.isApprox(relative, 2e-5)) << decomposed << "\n\n" << relative;
        // The deviation comes out in [-pi, 0] (order XZXs has odd parity); its
        // size is the angle between the two viewing axes.
        const Vector3d fa = ViewOrientation(face.x, face.y, faceRoll).transpose() * Vector3d::UnitX();
        const Vector3d va = ViewOrientation(view.x, view.y, viewRoll).transpose() * Vector3d::UnitX();
        EXPECT_NEAR(-d, std::acos(std::clamp(fa.dot(va), -1.0, 1.0)), 2e-4);
    }
    // A face seen straight on, and one a quarter turn to the right.
    const POINT2 ahead{0.3f, -0.2f};
    float r1 = 1, d = 1, r2 = 1;
    CTransformEuler::Euler2UVRtoRDR(&ahead, 0.0f, &ahead, 0.0f, &r1, &d, &r2);
    EXPECT_NEAR(d, 0.0f, 1e-6);
    EXPECT_NEAR(r1 + r2, 0.0f, 1e-5);
    const POINT2 right{float(kPi / 2), 0.0f}, front{0.0f, 0.0f};
    CTransformEuler::Euler2UVRtoRDR(&right, 0.0f, &front, 0.0f, &r1, &d, &r2);
    EXPECT_NEAR(d, -kPi / 2, 1e-6);
}

}  // namespace
