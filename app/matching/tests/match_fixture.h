// Correspondences between two pinhole views from one camera centre: the
// views are related exactly by H = K2 R K1^-1, which is the ground truth of
// the filter tests.
#pragma once

#include "app/matching/homography.h"

#include <Eigen/Dense>

#include <cmath>
#include <random>
#include <vector>

namespace matching_test {

struct TwoViews {
    Eigen::Matrix3d H;  // image 0 -> image 1, plain pixel coordinates
    int width = 640;
    int height = 480;

    void Map(double x, double y, double* x1, double* y1) const
    {
        const Eigen::Vector3d p = H * Eigen::Vector3d(x, y, 1.0);
        *x1 = p.x() / p.z();
        *y1 = p.y() / p.z();
    }
};

// Turned by `yawDeg` about the vertical axis and `rollDeg` about the optical
// axis, focal length f in pixels, principal point in the middle.
inline TwoViews MakeViews(double f, double yawDeg, double rollDeg, int width = 640, int height = 480)
{
    TwoViews v;
    v.width = width;
    v.height = height;
    Eigen::Matrix3d K;
    K << f, 0, width / 2.0, 0, f, height / 2.0, 0, 0, 1;
    const double d = M_PI / 180.0;
    const Eigen::Matrix3d R = (Eigen::AngleAxisd(rollDeg * d, Eigen::Vector3d::UnitZ()) *
                               Eigen::AngleAxisd(yawDeg * d, Eigen::Vector3d::UnitY()))
                                  .toRotationMatrix();
    v.H = K * R * K.inverse();
    return v;
}

struct Fixture {
    std::vector<MatchPair> pairs;
    std::vector<bool> inlier;
};

// n matches whose image-1 points fall inside image 1; the first
// n - outliers carry Gaussian noise of `sigma` pixels, the rest are drawn
// uniformly over image 1. Their order is shuffled with the seed.
inline Fixture MakeMatches(const TwoViews& v, int n, int outliers, double sigma, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> ux(0.0, v.width - 1.0), uy(0.0, v.height - 1.0);
    std::normal_distribution<double> noise(0.0, sigma);
    Fixture f;
    while (static_cast<int>(f.pairs.size()) < n) {
        const bool isInlier = static_cast<int>(f.pairs.size()) < n - outliers;
        const double x = ux(rng), y = uy(rng);
        double x1, y1;
        v.Map(x, y, &x1, &y1);
        if (x1 < 0 || y1 < 0 || x1 > v.width - 1 || y1 > v.height - 1) continue;
        if (isInlier) {
            if (sigma > 0) {
                x1 += noise(rng);
                y1 += noise(rng);
            }
        } else {
            x1 = ux(rng);
            y1 = uy(rng);
        }
        f.pairs.push_back({x, y, x1, y1, 0.0f});
        f.inlier.push_back(isInlier);
    }
    for (int i = n - 1; i > 0; --i) {
        const int j = static_cast<int>(rng() % static_cast<unsigned>(i + 1));
        std::swap(f.pairs[static_cast<size_t>(i)], f.pairs[static_cast<size_t>(j)]);
        const bool t = f.inlier[static_cast<size_t>(i)];
        f.inlier[static_cast<size_t>(i)] = f.inlier[static_cast<size_t>(j)];
        f.inlier[static_cast<size_t>(j)] = t;
    }
    return f;
}

inline std::vector<MatchPair*> Pointers(std::vector<MatchPair>& pairs)
{
    std::vector<MatchPair*> out;
    for (MatchPair& p : pairs) out.push_back(&p);
    return out;
}

}  // namespace matching_test
