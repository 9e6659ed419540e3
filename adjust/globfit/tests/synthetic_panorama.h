// Synthetic panoramas for the global alignment tests and benchmark: frames
// placed on the sphere with known rotations and focal lengths, marker pairs
// made by projecting common world rays into overlapping frames (optionally
// through a known radial distortion and with pixel noise), and start
// placements perturbed from the truth. Rotations are built with Eigen from
// the Euler convention pan/tilt/roll in the I3R frame, independently of the
// transform module.
#pragma once

#include "core/pair_align_records.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"

#include <Eigen/Geometry>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace synthetic {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;

// Camera frame: x right, y down, z forward. I3R frame: X forward, Y left,
// Z up. A frame's placement (pan, tilt, roll) is Rz(-pan) Ry(tilt) Rx(roll)
// in the I3R frame; in the camera frame it maps a camera ray to the world.
inline Eigen::Matrix3d Placement(double pan, double tilt, double roll)
{
    Eigen::Matrix3d c;  // camera -> I3R
    c << 0, 0, 1, -1, 0, 0, 0, -1, 0;
    const Eigen::Matrix3d i3r = (Eigen::AngleAxisd(-pan, Eigen::Vector3d::UnitZ()) *
                                 Eigen::AngleAxisd(tilt, Eigen::Vector3d::UnitY()) *
                                 Eigen::AngleAxisd(roll, Eigen::Vector3d::UnitX()))
                                    .toRotationMatrix();
    return c.transpose() * i3r * c;
}

// Angle of the rotation between two placements, degrees.
inline double AngleBetween(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b)
{
    const double c = std::clamp(((a.transpose() * b).trace() - 1.0) / 2.0, -1.0, 1.0);
    return std::acos(c) / kDeg;
}

struct Pose {
    double pan = 0, tilt = 0, roll = 0;  // radians
    double focal = 0;                    // pixels
    int width = 300, height = 200;
};

// Radial distortion D(r) = d0 + d1 r + d2 r^2 + d3 r^3 (d0 = 1 - d1 - d2 - d3)
// with r in units of half the image's shorter side; the observed point p
// about the centre satisfies p D(|p| / rho) = ideal point.
struct Lens {
    double d1 = 0, d2 = 0, d3 = 0;
    double D(double r) const { return (1 - d1 - d2 - d3) + r * (d1 + r * (d2 + r * d3)); }
    bool Identity() const { return d1 == 0 && d2 == 0 && d3 == 0; }
    // Observed radius for an ideal one (units of rho) by bisection on the
    // rising part of r D(r) below `limit`; -1 when the ideal radius lies
    // beyond what that part reaches (such a point is not on the image).
    double Distort(double ideal, double limit = 3.0) const
    {
        double lo = 0.0, hi = 0.0;
        for (double r = 0.01; r <= limit; r += 0.01) {
            if (D(r) + r * (d1 + r * (2 * d2 + 3 * d3 * r)) <= 0) break;  // stops rising
            hi = r;
            if (r * D(r) >= ideal) break;
        }
        if (hi * D(hi) < ideal) return -1.0;
        for (int it = 0; it < 80; ++it) {
            const double mid = 0.5 * (lo + hi);
            (mid * D(mid) < ideal ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    }
};

struct Options {
    int markersPerPair = 30;
    double noise = 0.0;         // pixels, per coordinate
    double maxAxisAngle = 0.0;  // degrees between optical axes for a pair; 0: any pair with enough markers
    double margin = 0.05;       // fraction of the image kept free at the borders
    Lens lens;
    unsigned seed = 7;
};

class Panorama {
public:
    Panorama(const std::vector<Pose>& truth, const Options& options) : m_truth(truth), m_options(options)
    {
        std::mt19937 rng(options.seed);
        for (const Pose& pose : truth) {
            auto* frame = new ImageFrame();
            Image* image = new Image(pose.width, pose.height, 1);
            frame->SetImage(image, false);
            ReleaseImage(image);
            m_group.AppendImageFrame(frame);
            m_frames.push_back(frame);
            m_list.push_back(static_cast<int>(m_list.size()));
            SetPose(static_cast<int>(m_frames.size()) - 1, pose);
        }
        const int n = static_cast<int>(truth.size());
        for (int a = 0; a < n; ++a) {
            for (int b = a + 1; b < n; ++b) MakePair(a, b, rng);
        }
    }

    ImageGroup& Group() { return m_group; }
    ImageFrame* Frame(int k) { return m_frames[k]; }
    int* List() { return m_list.data(); }
    int Count() const { return static_cast<int>(m_frames.size()); }
    int Pairs() const { return m_pairs; }
    const Pose& Truth(int k) const { return m_truth[k]; }

    void SetPose(int k, const Pose& pose)
    {
        TRANSFORM_RS* rs = m_frames[k]->GetImgInfo()->GetParams();
        rs->pan = static_cast<float>(pose.pan);
        rs->tilt = static_cast<float>(pose.tilt);
        rs->roll = static_cast<float>(pose.roll);
        rs->rcpFocal = static_cast<float>(1.0 / pose.focal);
    }

    // Start values: frame 0 at its true placement, the others turned by up
    // to `degrees` about each axis; every focal length times `focalFactor`.
    void Perturb(double degrees, double focalFactor, unsigned seed = 11)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(-degrees * kDeg, degrees * kDeg);
        for (int k = 0; k < Count(); ++k) {
            Pose p = m_truth[k];
            if (k > 0) {
                p.pan += u(rng);
                p.tilt += u(rng);
                p.roll += u(rng);
            }
            p.focal *= focalFactor;
            SetPose(k, p);
        }
    }

    Eigen::Matrix3d Estimated(int k)
    {
        const TRANSFORM_RS* rs = m_frames[k]->GetImgInfo()->GetParams();
        return Placement(rs->pan, rs->tilt, rs->roll);
    }
    Eigen::Matrix3d True(int k) const { return Placement(m_truth[k].pan, m_truth[k].tilt, m_truth[k].roll); }

    // Largest rotation error over all frames, degrees.
    double MaxRotationError()
    {
        double worst = 0;
        for (int k = 0; k < Count(); ++k) worst = std::max(worst, AngleBetween(True(k), Estimated(k)));
        return worst;
    }
    // Largest relative focal error over all frames.
    double MaxFocalError()
    {
        double worst = 0;
        for (int k = 0; k < Count(); ++k) {
            const double f = 1.0 / m_frames[k]->GetImgInfo()->GetParams()->rcpFocal;
            worst = std::max(worst, std::fabs(f / m_truth[k].focal - 1.0));
        }
        return worst;
    }

private:
    // Pixel (top-left origin) of world ray w in frame k, false when the ray
    // misses the image (with the margin).
    bool Project(int k, const Eigen::Vector3d& w, double& px, double& py) const
    {
        const Pose& pose = m_truth[k];
        const Eigen::Vector3d c = True(k).transpose() * w;
        if (c.z() <= 0) return false;
        double u = pose.focal * c.x() / c.z();
        double v = pose.focal * c.y() / c.z();
        if (!m_options.lens.Identity()) {
            const double rho = 0.5 * std::min(pose.width, pose.height);
            const double ideal = std::hypot(u, v) / rho;
            if (ideal > 0) {
                const double observed = m_options.lens.Distort(ideal);
                if (observed < 0) return false;
                u *= observed / ideal;
                v *= observed / ideal;
            }
        }
        px = u + 0.5 * pose.width;
        py = v + 0.5 * pose.height;
        const double mx = m_options.margin * pose.width, my = m_options.margin * pose.height;
        return px >= mx && px <= pose.width - mx && py >= my && py <= pose.height - my;
    }

    // World ray of pixel (px, py) of frame k.
    Eigen::Vector3d Unproject(int k, double px, double py) const
    {
        const Pose& pose = m_truth[k];
        double u = px - 0.5 * pose.width;
        double v = py - 0.5 * pose.height;
        if (!m_options.lens.Identity()) {
            const double rho = 0.5 * std::min(pose.width, pose.height);
            const double r = std::hypot(u, v) / rho;
            u *= m_options.lens.D(r);
            v *= m_options.lens.D(r);
        }
        return True(k) * Eigen::Vector3d(u, v, pose.focal).normalized();
    }

    void MakePair(int a, int b, std::mt19937& rng)
    {
        const Pose& pa = m_truth[a];
        const Pose& pb = m_truth[b];
        const double axes = AngleBetween(True(a), True(b));
        if (m_options.maxAxisAngle > 0 && axes > m_options.maxAxisAngle) return;
        // Frames whose half diagonals together do not reach across cannot overlap.
        auto halfDiagonal = [](const Pose& p) { return std::atan(std::hypot(p.width, p.height) / (2 * p.focal)) / kDeg; };
        if (axes > halfDiagonal(pa) + halfDiagonal(pb)) return;
        std::uniform_real_distribution<double> ux(0, pa.width), uy(0, pa.height);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::vector<POINT2M> ma, mb;
        const int wanted = m_options.markersPerPair;
        // A pair whose overlap covers less than about 2.5 % of frame a is no
        // pair (a stitcher would not link it either).
        for (int tries = 0; tries < 40 * wanted && static_cast<int>(ma.size()) < wanted; ++tries) {
            double ax = ux(rng), ay = uy(rng), bx, by;
            const double mx = m_options.margin * pa.width, my = m_options.margin * pa.height;
            if (ax < mx || ax > pa.width - mx || ay < my || ay > pa.height - my) continue;
            if (!Project(b, Unproject(a, ax, ay), bx, by)) continue;
            POINT2M ra{}, rb{};
            ra.x = static_cast<float>(ax + m_options.noise * noise(rng));
            ra.y = static_cast<float>(ay + m_options.noise * noise(rng));
            rb.x = static_cast<float>(bx + m_options.noise * noise(rng));
            rb.y = static_cast<float>(by + m_options.noise * noise(rng));
            ma.push_back(ra);
            mb.push_back(rb);
        }
        if (static_cast<int>(ma.size()) < wanted) return;  // too little overlap for a pair
        ImageFrame* fa = m_frames[a];
        ImageFrame* fb = m_frames[b];
        fa->AddNeighbor(fb);
        auto* setA = new Marker();
        auto* setB = new Marker();
        setA->Append(ma.data(), static_cast<int>(ma.size()));
        setB->Append(mb.data(), static_cast<int>(mb.size()));
        fa->FindNeighbor(fb)->SetMarkers(setA);
        fb->FindNeighbor(fa)->SetMarkers(setB);
        fa->SetMerged(fb);
        ++m_pairs;
    }

    ImageGroup m_group;
    std::vector<ImageFrame*> m_frames;
    std::vector<int> m_list;
    std::vector<Pose> m_truth;
    Options m_options;
    int m_pairs = 0;
};

// A ring of n frames at tilt 0 (pan spacing 360 / n degrees).
inline std::vector<Pose> Ring(int n, double focal, int width = 300, int height = 200)
{
    std::vector<Pose> poses;
    for (int k = 0; k < n; ++k) {
        Pose p;
        p.pan = 2 * kPi * k / n;
        p.focal = focal;
        p.width = width;
        p.height = height;
        poses.push_back(p);
    }
    return poses;
}

// Rows of frames at the given tilts (degrees, positive down) with the given
// counts; a count of 1 at +-90 is a nadir or zenith frame.
inline std::vector<Pose> Sphere(const std::vector<double>& tilts, const std::vector<int>& counts, double focal,
                                int width = 300, int height = 200)
{
    std::vector<Pose> poses;
    for (size_t row = 0; row < tilts.size(); ++row) {
        for (int k = 0; k < counts[row]; ++k) {
            Pose p;
            // Rows are staggered so that frames of neighbouring rows interlock.
            p.pan = 2 * kPi * (k + 0.5 * (row % 2)) / counts[row];
            p.tilt = tilts[row] * kDeg;
            p.focal = focal;
            p.width = width;
            p.height = height;
            poses.push_back(p);
        }
    }
    return poses;
}

}  // namespace synthetic
