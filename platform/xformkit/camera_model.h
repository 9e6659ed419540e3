// The one pinhole camera model behind every transform of the module: rotation
// matrices, the pair rotation and its plane-to-plane homography, and the
// placement of a frame on the panorama sphere. CTransformWA, CTransformRR,
// CTransformRS, CTransformEuler, Mapproj and the polygon mapper all build on it.
#pragma once

namespace xformkit {

// Coordinate frames (all right-handed):
// - camera frame: x to the right of the image, y down the image, z along the
//   viewing axis. A pixel at (x, y) from the image centre of a frame with
//   reciprocal focal length r (1/pixel) is the ray (r x, r y, 1).
// - world frame of the panorama sphere: the camera frame of a frame placed at
//   pan = tilt = roll = 0. Longitude atan2(x, z) grows to the right, latitude
//   atan2(y, hypot(x, z)) grows downwards (the top row of a world map is -pi/2).
// - I3R frame: X forward, Y left, Z up, the frame of rotation vectors and of
//   the (pan, tilt, roll) Euler angles: placement = Rz(-pan) Ry(tilt) Rx(roll).

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

// 3 x 3 matrix, rows first, acting on column vectors.
struct Mat3 {
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double operator()(int r, int c) const { return m[3 * r + c]; }
    double& operator()(int r, int c) { return m[3 * r + c]; }
};

Mat3 Multiply(const Mat3& a, const Mat3& b);
Mat3 Transpose(const Mat3& a);
Vec3 Apply(const Mat3& a, const Vec3& v);

// Right-handed rotations of a vector by t about the three axes.
Mat3 RotX(double t);
Mat3 RotY(double t);
Mat3 RotZ(double t);

// Rotation vector (axis times angle, radians) to matrix and back; the angle
// of the vector that comes back lies in [0, pi].
Mat3 FromRotationVector(const Vec3& v);
Vec3 ToRotationVector(const Mat3& r);

// Pair rotation of PAIR_WALIGN_RR_PRMS2: the ray of a first-image pixel goes
// to the ray of the second image by Az(c) Ay(b) Az(a), where
// Az(t) = [cos t, sin t, 0; -sin t, cos t, 0; 0, 0, 1] turns the image plane
// (a point (x, y) goes to (cos t x + sin t y, -sin t x + cos t y)) and
// Ay(t) = [cos t, 0, -sin t; 0, 1, 0; sin t, 0, cos t] pans by t: with t > 0
// the first image's centre lies left of the second's.
Mat3 PairRotation(double a, double b, double c);
// Angles (a, b, c) of a pair rotation. b comes back in (-pi, pi]; of the two
// equivalent solutions (a, b, c) and (a + pi, -b, c + pi) the one with the
// smaller |a| + |c| is returned. With b at 0 or pi the whole turn about the
// axis goes into a and c is 0.
void PairAngles(const Mat3& r, double& a, double& b, double& c);

// Plane-to-plane homography of a pair: maps a first-image point (pixels from
// its centre, homogeneous (x, y, 1)) to the second image's point, as the
// polygon mapper builds it:
//   [ (e l h - f m) u    (h l f + e m) u    -l g / r2 ]
//   [ (-h e m - l f) u   (e l - h f m) u     m g / r2 ]
//   [  g e r1            g f r1              h        ]
// with u = r1 / r2, (e, f), (h, g), (l, m) the cosine and sine of a, b and c.
// It equals diag(1/r2, 1/r2, 1) PairRotation(a, b, c) diag(r1, r1, 1).
Mat3 PairHomography(double r1, double r2, double a, double b, double c);

// Maps (x, y) through a homography; false (and out untouched) when the point
// lies on or behind the horizon (denominator <= 0) or the result is not finite.
bool MapPoint(const Mat3& h, double x, double y, double& ox, double& oy);

// Placement of a frame: the world ray of a camera ray, for the Euler angles
// (pan, tilt, roll) in radians (pan to the right, tilt down).
Mat3 UvrToI3RMatrix(double pan, double tilt, double roll);
void I3RMatrixToUvr(const Mat3& r, double& pan, double& tilt, double& roll);
// The same placement expressed in the camera/world frame (x right, y down,
// z forward): world ray = PlacementMatrix * camera ray.
Mat3 PlacementMatrix(double pan, double tilt, double roll);
void PlacementAngles(const Mat3& m, double& pan, double& tilt, double& roll);
// Change of frame between camera/world vectors and I3R vectors.
Vec3 CameraToI3R(const Vec3& v);
Vec3 I3RToCamera(const Vec3& v);

// Longitude and latitude of a world ray, radians; and the unit ray back.
void RayToSphere(const Vec3& ray, double& lon, double& lat);
Vec3 SphereToRay(double lon, double lat);

// Angle wrapped into (-pi, pi].
double WrapAngle(double t);

}  // namespace xformkit
