#include "platform/panocore/pair_fit.h"

#include "platform/xformkit/camera_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

using xformkit::Mat3;
using xformkit::Vec3;

namespace {

constexpr int kMaxIterations = 60;
constexpr double kMaxRms = 2.0;  // pixels in b
constexpr double kMaxTiltDifference = 60.0 * std::numbers::pi / 180.0;

// State of the search: a small rotation w of b (camera frame, applied after
// its start pose: Mb = Mb0 R(w)) and the log of the common focal scale.
struct Params {
    std::array<double, 4> v{};  // wx, wy, wz, log scale
};

struct Model {
    const PairFitInput* in;
    Mat3 ma, mb0;
    double rcpA0, rcpB0;
    int count;  // parameters: 3 or 4

    Mat3 Mb(const Params& p) const
    {
        return xformkit::Multiply(mb0, xformkit::FromRotationVector(Vec3{p.v[0], p.v[1], p.v[2]}));
    }
    double Scale(const Params& p) const { return count == 4 ? std::exp(p.v[3]) : 1.0; }

    // Residual of pair i in b's pixels: a's point carried onto b's image
    // minus b's point. False when it lands behind b.
    bool Residual(const Params& p, const Mat3& mbT, size_t i, double& rx, double& ry) const
    {
        const double s = Scale(p);
        const double ra = rcpA0 * s, rb = rcpB0 * s;
        const POINT2& a = in->pointsA[i];
        const POINT2& b = in->pointsB[i];
        const Vec3 world = xformkit::Apply(ma, Vec3{a.x * ra, a.y * ra, 1.0});
        const Vec3 cam = xformkit::Apply(mbT, world);
        if (!(cam.z > 1e-9)) return false;
        rx = cam.x / (cam.z * rb) - b.x;
        ry = cam.y / (cam.z * rb) - b.y;
        return std::isfinite(rx) && std::isfinite(ry);
    }

    // Sum of squared residuals over the used pairs; residuals behind the
    // camera count as far away.
    double Cost(const Params& p, const std::vector<char>& used) const
    {
        const Mat3 mbT = xformkit::Transpose(Mb(p));
        double sum = 0.0;
        for (size_t i = 0; i < used.size(); ++i) {
            if (!used[i]) continue;
            double rx, ry;
            if (!Residual(p, mbT, i, rx, ry)) rx = ry = 1e4;
            sum += rx * rx + ry * ry;
        }
        return sum;
    }
};

// Levenberg-Marquardt with forward-difference derivatives; the problem has at
// most four unknowns and a few hundred pairs.
void Solve(const Model& model, const std::vector<char>& used, Params& p)
{
    const int m = model.count;
    double lambda = 1e-3;
    double cost = model.Cost(p, used);
    for (int it = 0; it < kMaxIterations; ++it) {
        double jtj[4][4] = {}, jtr[4] = {};
        const Mat3 mbT = xformkit::Transpose(model.Mb(p));
        std::array<Mat3, 4> stepT;
        Params stepped[4];
        constexpr double h = 1e-6;
        for (int k = 0; k < m; ++k) {
            stepped[k] = p;
            stepped[k].v[k] += h;
            stepT[k] = xformkit::Transpose(model.Mb(stepped[k]));
        }
        for (size_t i = 0; i < used.size(); ++i) {
            if (!used[i]) continue;
            double rx, ry;
            if (!model.Residual(p, mbT, i, rx, ry)) continue;
            double jx[4] = {}, jy[4] = {};
            bool ok = true;
            for (int k = 0; k < m && ok; ++k) {
                double sx, sy;
                ok = model.Residual(stepped[k], stepT[k], i, sx, sy);
                jx[k] = (sx - rx) / h;
                jy[k] = (sy - ry) / h;
            }
            if (!ok) continue;
            for (int r = 0; r < m; ++r) {
                jtr[r] += jx[r] * rx + jy[r] * ry;
                for (int c = 0; c < m; ++c) jtj[r][c] += jx[r] * jx[c] + jy[r] * jy[c];
            }
        }
        bool improved = false;
        for (int tries = 0; tries < 10 && !improved; ++tries) {
            // (J^T J + lambda diag) d = -J^T r by Gaussian elimination.
            double a[4][5];
            for (int r = 0; r < m; ++r) {
                for (int c = 0; c < m; ++c) a[r][c] = jtj[r][c] + (r == c ? lambda * (jtj[r][r] + 1e-9) : 0.0);
                a[r][m] = -jtr[r];
            }
            bool singular = false;
            for (int c = 0; c < m && !singular; ++c) {
                int pivot = c;
                for (int r = c + 1; r < m; ++r)
                    if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
                if (std::fabs(a[pivot][c]) < 1e-300) {
                    singular = true;
                    break;
                }
                for (int k = 0; k <= m; ++k) std::swap(a[c][k], a[pivot][k]);
                for (int r = 0; r < m; ++r) {
                    if (r == c) continue;
                    const double f = a[r][c] / a[c][c];
                    for (int k = c; k <= m; ++k) a[r][k] -= f * a[c][k];
                }
            }
            if (singular) {
                lambda *= 10;
                continue;
            }
            Params trial = p;
            for (int r = 0; r < m; ++r) trial.v[r] += a[r][m] / a[r][r];
            const double trialCost = model.Cost(trial, used);
            if (trialCost < cost) {
                const double gain = cost - trialCost;
                p = trial;
                cost = trialCost;
                lambda = std::max(lambda / 10, 1e-12);
                improved = true;
                if (gain < 1e-12 * (1 + cost)) return;
            } else {
                lambda *= 10;
            }
        }
        if (!improved) return;
    }
}

void Residuals(const Model& model, const Params& p, std::vector<double>& out)
{
    const Mat3 mbT = xformkit::Transpose(model.Mb(p));
    out.assign(model.in->pointsA.size(), 1e4);
    for (size_t i = 0; i < out.size(); ++i) {
        double rx, ry;
        if (model.Residual(p, mbT, i, rx, ry)) out[i] = std::hypot(rx, ry);
    }
}

double Rms(const std::vector<double>& r, const std::vector<char>& used, int& count)
{
    double sum = 0.0;
    count = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        if (!used[i]) continue;
        sum += r[i] * r[i];
        ++count;
    }
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

bool ValidPose(const TRANSFORM_RS& t)
{
    return std::isfinite(t.rcpFocal) && t.rcpFocal > 0 && std::isfinite(t.pan) && std::isfinite(t.tilt) &&
           std::isfinite(t.roll);
}

}  // namespace

void MeasurePoseOverlap(const TRANSFORM_RS& poseA, int widthA, int heightA, const TRANSFORM_RS& poseB, int widthB,
                        int heightB, float& horizontal, float& vertical)
{
    horizontal = vertical = 0.0f;
    if (widthA <= 0 || heightA <= 0 || widthB <= 0 || heightB <= 0 || !ValidPose(poseA) || !ValidPose(poseB)) return;
    constexpr int kGrid = 48;
    const Mat3 ma = xformkit::PlacementMatrix(poseA.pan, poseA.tilt, poseA.roll);
    const Mat3 mbT = xformkit::Transpose(xformkit::PlacementMatrix(poseB.pan, poseB.tilt, poseB.roll));
    bool inside[kGrid][kGrid];
    for (int r = 0; r < kGrid; ++r) {
        for (int c = 0; c < kGrid; ++c) {
            const double x = (c + 0.5) / kGrid * widthA - widthA / 2.0;
            const double y = (r + 0.5) / kGrid * heightA - heightA / 2.0;
            const Vec3 cam = xformkit::Apply(mbT, xformkit::Apply(ma, Vec3{x * poseA.rcpFocal, y * poseA.rcpFocal, 1}));
            bool in = cam.z > 1e-9;
            if (in) {
                const double bx = cam.x / (cam.z * poseB.rcpFocal), by = cam.y / (cam.z * poseB.rcpFocal);
                in = std::fabs(bx) <= widthB / 2.0 && std::fabs(by) <= heightB / 2.0;
            }
            inside[r][c] = in;
        }
    }
    // The widest run of covered samples along any row, and along any column.
    int bestRow = 0, bestColumn = 0;
    for (int r = 0; r < kGrid; ++r) {
        int n = 0;
        for (int c = 0; c < kGrid; ++c) n += inside[r][c];
        bestRow = std::max(bestRow, n);
    }
    for (int c = 0; c < kGrid; ++c) {
        int n = 0;
        for (int r = 0; r < kGrid; ++r) n += inside[r][c];
        bestColumn = std::max(bestColumn, n);
    }
    horizontal = static_cast<float>(bestRow) / kGrid;
    vertical = static_cast<float>(bestColumn) / kGrid;
}

namespace {

// The rotation nearest to m (the orthogonal factor of its polar
// decomposition, by Newton's iteration X <- (X + X^-T) / 2); false when m is
// singular or its nearest orthogonal matrix is a reflection.
bool NearestRotation(const Mat3& m, Mat3& out)
{
    Mat3 x = m;
    for (int it = 0; it < 100; ++it) {
        const double c00 = x(1, 1) * x(2, 2) - x(1, 2) * x(2, 1);
        const double c01 = x(1, 2) * x(2, 0) - x(1, 0) * x(2, 2);
        const double c02 = x(1, 0) * x(2, 1) - x(1, 1) * x(2, 0);
        const double det = x(0, 0) * c00 + x(0, 1) * c01 + x(0, 2) * c02;
        if (!(std::fabs(det) > 1e-12) || !std::isfinite(det)) return false;
        // X^-T is the cofactor matrix over the determinant.
        Mat3 cof;
        cof(0, 0) = c00;
        cof(0, 1) = c01;
        cof(0, 2) = c02;
        cof(1, 0) = x(0, 2) * x(2, 1) - x(0, 1) * x(2, 2);
        cof(1, 1) = x(0, 0) * x(2, 2) - x(0, 2) * x(2, 0);
        cof(1, 2) = x(0, 1) * x(2, 0) - x(0, 0) * x(2, 1);
        cof(2, 0) = x(0, 1) * x(1, 2) - x(0, 2) * x(1, 1);
        cof(2, 1) = x(0, 2) * x(1, 0) - x(0, 0) * x(1, 2);
        cof(2, 2) = x(0, 0) * x(1, 1) - x(0, 1) * x(1, 0);
        double change = 0.0;
        for (int k = 0; k < 9; ++k) {
            const double next = 0.5 * (x.m[k] + cof.m[k] / det);
            change = std::max(change, std::fabs(next - x.m[k]));
            x.m[k] = next;
        }
        if (change < 1e-13) break;
    }
    const double det = x(0, 0) * (x(1, 1) * x(2, 2) - x(1, 2) * x(2, 1)) -
                       x(0, 1) * (x(1, 0) * x(2, 2) - x(1, 2) * x(2, 0)) +
                       x(0, 2) * (x(1, 0) * x(2, 1) - x(1, 1) * x(2, 0));
    if (!(det > 0.5)) return false;
    out = x;
    return true;
}

// A start for b taken from the points alone: the rotation that turns b's
// rays of the pairs nearest onto a's rays (least squares over unit rays),
// with the focal lengths of the input.
bool PoseFromPoints(const PairFitInput& in, TRANSFORM_RS& poseB)
{
    const Mat3 ma = xformkit::PlacementMatrix(in.poseA.pan, in.poseA.tilt, in.poseA.roll);
    const size_t n = std::min(in.pointsA.size(), in.pointsB.size());
    Mat3 sum;
    for (double& v : sum.m) v = 0.0;
    int used = 0;
    for (size_t i = 0; i < n; ++i) {
        const POINT2& pa = in.pointsA[i];
        const POINT2& pb = in.pointsB[i];
        if (!std::isfinite(pa.x) || !std::isfinite(pa.y) || !std::isfinite(pb.x) || !std::isfinite(pb.y)) continue;
        const Vec3 a = xformkit::Apply(ma, Vec3{pa.x * in.poseA.rcpFocal, pa.y * in.poseA.rcpFocal, 1.0});
        const Vec3 b{pb.x * in.poseB.rcpFocal, pb.y * in.poseB.rcpFocal, 1.0};
        const double la = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
        const double lb = std::sqrt(b.x * b.x + b.y * b.y + b.z * b.z);
        const double av[3] = {a.x / la, a.y / la, a.z / la}, bv[3] = {b.x / lb, b.y / lb, b.z / lb};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) sum(r, c) += av[r] * bv[c];
        ++used;
    }
    Mat3 mb;
    if (used < 3 || !NearestRotation(sum, mb)) return false;
    double pan, tilt, roll;
    xformkit::PlacementAngles(mb, pan, tilt, roll);
    poseB.pan = static_cast<float>(in.poseA.pan + xformkit::WrapAngle(pan - in.poseA.pan));
    poseB.tilt = static_cast<float>(tilt);
    poseB.roll = static_cast<float>(roll);
    return ValidPose(poseB);
}

// One whole fit from in.poseB (FitPairRotation describes it).
int FitPairRotationFrom(const PairFitInput& in, PairFitResult& result)
{
    result = PairFitResult{};
    result.poseA = in.poseA;
    result.poseB = in.poseB;
    const size_t n = std::min(in.pointsA.size(), in.pointsB.size());
    result.used.assign(in.pointsA.size(), 0);
    const int minimum = in.fitScale ? 4 : 3;
    if (static_cast<int>(n) < minimum || !ValidPose(in.poseA) || !ValidPose(in.poseB)) {
        result.code = kPanoramaTooFewPoints;
        return result.code;
    }
    std::vector<char> used(in.pointsA.size(), 0);
    for (size_t i = 0; i < n; ++i)
        used[i] = std::isfinite(in.pointsA[i].x) && std::isfinite(in.pointsA[i].y) &&
                  std::isfinite(in.pointsB[i].x) && std::isfinite(in.pointsB[i].y);

    Model model{&in,
                xformkit::PlacementMatrix(in.poseA.pan, in.poseA.tilt, in.poseA.roll),
                xformkit::PlacementMatrix(in.poseB.pan, in.poseB.tilt, in.poseB.roll),
                in.poseA.rcpFocal,
                in.poseB.rcpFocal,
                in.fitScale ? 4 : 3};
    Params p;
    Solve(model, used, p);

    // One pass against outliers: drop pairs far beyond the typical residual
    // and fit again from where the first fit ended.
    std::vector<double> r;
    Residuals(model, p, r);
    std::vector<double> kept;
    for (size_t i = 0; i < r.size(); ++i)
        if (used[i]) kept.push_back(r[i]);
    if (kept.empty()) return result.code = kPanoramaTooFewPoints;
    std::nth_element(kept.begin(), kept.begin() + kept.size() / 2, kept.end());
    const double limit = std::max(3.0, 3.0 * kept[kept.size() / 2]);
    bool dropped = false;
    for (size_t i = 0; i < r.size(); ++i) {
        if (used[i] && r[i] > limit) {
            used[i] = 0;
            dropped = true;
        }
    }
    if (dropped) {
        Solve(model, used, p);
        Residuals(model, p, r);
    }
    int count = 0;
    result.rms = Rms(r, used, count);

    // Handheld rows pitched up or down give matched points whose residuals
    // are all a few pixels (parallax, foreshortened features): nothing lies
    // beyond the median rule, yet the whole set misses the RMS limit although
    // the rotation is well determined. Drop the worst pair and refit while
    // the limit is missed, at most a third of the valid pairs in all.
    int valid = 0;
    for (size_t i = 0; i < n; ++i) valid += used[i] ? 1 : 0;
    const int mayDrop = valid / 3 - (valid - count);
    for (int k = 0; k < mayDrop && !(result.rms <= kMaxRms) && count - 1 >= minimum; ++k) {
        size_t worst = r.size();
        for (size_t i = 0; i < r.size(); ++i)
            if (used[i] && (worst == r.size() || r[i] > r[worst])) worst = i;
        used[worst] = 0;
        Solve(model, used, p);
        Residuals(model, p, r);
        result.rms = Rms(r, used, count);
    }
    result.used = used;
    result.usedCount = count;

    const double s = model.Scale(p);
    TRANSFORM_RS& a = result.poseA;
    TRANSFORM_RS& b = result.poseB;
    a.rcpFocal = static_cast<float>(in.poseA.rcpFocal * s);
    b.rcpFocal = static_cast<float>(in.poseB.rcpFocal * s);
    double pan, tilt, roll;
    xformkit::PlacementAngles(model.Mb(p), pan, tilt, roll);
    // b's pan on the branch nearest a's.
    pan = a.pan + xformkit::WrapAngle(pan - a.pan);
    b.pan = static_cast<float>(pan);
    b.tilt = static_cast<float>(tilt);
    b.roll = static_cast<float>(roll);
    MeasurePoseOverlap(a, in.widthA, in.heightA, b, in.widthB, in.heightB, result.overlapH, result.overlapV);

    if (count < minimum) return result.code = kPanoramaTooFewPoints;
    if (!(result.rms <= kMaxRms)) return result.code = kPanoramaResidual;
    if (result.overlapH < 0.05f || result.overlapV < 0.05f || !(std::fabs(tilt - a.tilt) < kMaxTiltDifference) ||
        !ValidPose(b) || !ValidPose(a))
        return result.code = kPanoramaGeometry;
    return result.code = kPanoramaOk;
}

}  // namespace

int FitPairRotation(const PairFitInput& in, PairFitResult& result)
{
    // The search starts where the caller guessed b; from a guess far off
    // (the tray's guess of a pair across rows) it can end in a false
    // minimum. A pair refused from the guess is fitted once more from the
    // rotation its points give, and placed when that fit passes.
    const int code = FitPairRotationFrom(in, result);
    if (code == kPanoramaOk) return code;
    PairFitInput again = in;
    if (!PoseFromPoints(in, again.poseB)) return code;
    PairFitResult retry;
    if (FitPairRotationFrom(again, retry) != kPanoramaOk) return code;
    result = retry;
    return result.code;
}
