// The photometric adjustments on frames whose intensity pairs follow known
// gammas, tone curves, gains and offsets: recovery, neutral results for
// identical frames, the set-up's failures, the colour table layout, and the
// linear models against a least-squares solve in double (Eigen).
#include "adjust/globfit/global_blend.h"
#include "adjust/globfit/global_gamma.h"
#include "adjust/globfit/global_intensity.h"

#include "core/pair_align_records.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_blend.h"
#include "projectgraph/curvekit/pair_info.h"
#include "core/logger.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

// How a frame shows a scene value s in [0, 1]: three channel values (record
// order: blue, green, red), 0..255.
using Response = std::function<void(double s, float out[3])>;

Response Gray(std::function<double(double)> f)
{
    return [f](double s, float out[3]) {
        const float v = static_cast<float>(f(s));
        out[0] = out[1] = out[2] = v;
    };
}

class PhotoGroup {
public:
    explicit PhotoGroup(int n)
    {
        for (int k = 0; k < n; ++k) {
            auto* frame = new ImageFrame();
            // Tray places in reverse order, so the merged list is reversed.
            frame->SetStampLocation(static_cast<short>(100 * (n - k)), 0);
            m_group.AppendImageFrame(frame);
            m_frames.push_back(frame);
        }
    }

    ImageGroup& Group() { return m_group; }
    ImageFrame* Frame(int k) { return m_frames[k]; }

    // Merges frames a and b with `count` samples of scene values; the
    // entries go into the a -> b list (or b -> a with swapped halves).
    void Link(int a, int b, const Response& ra, const Response& rb, int count, unsigned seed, bool reverse = false,
              std::function<void(int, float*, float*)> disturb = nullptr)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0.03, 0.97);
        std::vector<float> ab, ba;
        for (int i = 0; i < count; ++i) {
            const double s = u(rng);
            float va[3], vb[3];
            ra(s, va);
            rb(s, vb);
            if (disturb) disturb(i, va, vb);
            for (int c = 0; c < 3; ++c) ab.push_back(va[c]);
            for (int c = 0; c < 3; ++c) ab.push_back(vb[c]);
            for (int c = 0; c < 3; ++c) ba.push_back(vb[c]);
            for (int c = 0; c < 3; ++c) ba.push_back(va[c]);
        }
        ImageFrame* fa = m_frames[a];
        ImageFrame* fb = m_frames[b];
        fa->AddNeighbor(fb);
        fa->SetMerged(fb);
        IPairInfo* pa = GetPairInfoInterface();
        IPairInfo* pb = GetPairInfoInterface();
        if (reverse) pb->SetIntensityPairs(ba.data(), count);
        else pa->SetIntensityPairs(ab.data(), count);
        fa->SetPairInfo(fb, pa, pb);
    }

    const TRANSFORM_RS& Record(int k) { return *m_frames[k]->GetImgInfo()->GetParams(); }

private:
    ImageGroup m_group;
    std::vector<ImageFrame*> m_frames;
};

int Round(double v)
{
    return static_cast<int>(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
}

class GammaProbe : public GlobalGamma {
public:
    using GlobalGamma::AdjustGamma;
    void Start(int n)
    {
        m_g.assign(n, 0.0f);
        m_gamma.assign(n, 1.0f);
    }
    float G(int k) const { return m_g[k]; }
};

}  // namespace

TEST(GlobalGamma, GammaFunction)
{
    EXPECT_FLOAT_EQ(GlobalGamma::Gamma(0.0f), 1.0f);
    for (float g : {-1.0f, -0.3f, 0.2f, 0.7f, 1.0f}) {
        EXPECT_NEAR(GlobalGamma::Gamma(-g) * GlobalGamma::Gamma(g), 1.0f, 1e-5f);
        // The mid value 0.5 - atan(g)/pi goes to 0.5 + atan(g)/pi.
        const double t = std::atan(g) / 3.1415925;
        EXPECT_NEAR(std::pow(0.5 - t, GlobalGamma::Gamma(g)), 0.5 + t, 1e-5);
    }
    EXPECT_TRUE(std::isfinite(GlobalGamma::Gamma(1e30f)));
}

TEST(GlobalGamma, RecoversTheGammasOfTwoFrames)
{
    // Frame 0 shows s^0.8, frame 1 shows s^1.25: gammas with
    // 0.8 G0 = 1.25 G1 and G0 G1 = 1.
    PhotoGroup photos(2);
    photos.Link(0, 1, Gray([](double s) { return 255 * std::pow(s, 0.8); }),
                Gray([](double s) { return 255 * std::pow(s, 1.25); }), 400, 3);
    GlobalGamma gamma;
    ASSERT_TRUE(gamma.Init(&photos.Group(), false));
    gamma.FindGlobalGamma(0.0001f);
    const float g0 = photos.Record(0).gamma[0];
    const float g1 = photos.Record(1).gamma[0];
    EXPECT_NEAR(g0, std::sqrt(1.25 / 0.8), 0.01);
    EXPECT_NEAR(g0 * g1, 1.0f, 1e-5f);
    for (int k = 0; k < 2; ++k) {
        const TRANSFORM_RS& rs = photos.Record(k);
        ASSERT_NE(rs.colorTable, nullptr);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(rs.colorFirst[c], -1.0f);
            EXPECT_EQ(rs.colorSecond[c], 0.0f);
            EXPECT_EQ(rs.gamma[c], rs.gamma[0]);
        }
        // Neutral colour control: entry v = 255 (v / 255)^gamma, the ends kept.
        for (int v = 0; v < 256; ++v) {
            const int expected = v == 0 || v == 255 ? v : Round(255.0 * std::pow(v / 255.0, rs.gamma[0]));
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(rs.colorTable[3 * v + c], expected, 1) << v;
        }
    }
}

TEST(GlobalGamma, RecoversGammaRatiosAcrossAChainOfFrames)
{
    const double a[4] = {0.7, 1.0, 1.3, 0.9};  // frame k shows s^a[k]
    PhotoGroup photos(4);
    auto response = [&](int k) { return Gray([e = a[k]](double s) { return 255 * std::pow(s, e); }); };
    photos.Link(0, 1, response(0), response(1), 300, 1);
    photos.Link(1, 2, response(1), response(2), 300, 2, true);  // only the reverse list holds entries
    photos.Link(2, 3, response(2), response(3), 300, 3);
    photos.Link(3, 0, response(3), response(0), 300, 4);
    GlobalGamma gamma;
    ASSERT_TRUE(gamma.Init(&photos.Group(), false));
    gamma.FindGlobalGamma(0.0001f);
    // a_k G_k is the same for every frame.
    const double ref = a[0] * photos.Record(0).gamma[0];
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(a[k] * photos.Record(k).gamma[0] / ref, 1.0, 0.02) << k;
}

TEST(GlobalGamma, IdenticalFramesKeepNeutralTables)
{
    PhotoGroup photos(3);
    auto same = Gray([](double s) { return 255 * s; });
    photos.Link(0, 1, same, same, 200, 5);
    photos.Link(1, 2, same, same, 200, 6);
    // Frames with brightness and contrast set per channel (the same on all,
    // so the looked-up samples stay identical): the tables follow the colour
    // control, blue first.
    for (int k = 0; k < 3; ++k) {
        ColorCtrl* cc = photos.Frame(k)->GetColorCtrl();
        cc->SetBrightness(20, 0);  // red
        cc->SetContrast(0.5f, 2);  // blue
    }
    GlobalGamma gamma;
    ASSERT_TRUE(gamma.Init(&photos.Group(), false));
    gamma.FindGlobalGamma(0.0001f);
    for (int k = 0; k < 3; ++k) {
        const TRANSFORM_RS& rs = photos.Record(k);
        EXPECT_EQ(rs.gamma[0], 1.0f);
        // The frame's own table layout: 3 v + 0 blue, + 1 green, + 2 red.
        unsigned char* red;
        unsigned char* green;
        unsigned char* blue;
        photos.Frame(k)->GetColorTable_Manu(&red, &green, &blue);
        for (int v = 0; v < 256; ++v) {
            EXPECT_EQ(rs.colorTable[3 * v], blue[v]) << k << " " << v;
            EXPECT_EQ(rs.colorTable[3 * v + 1], green[v]);
            EXPECT_EQ(rs.colorTable[3 * v + 2], red[v]);
        }
    }
    EXPECT_NE(photos.Record(2).colorTable[3 * 100], photos.Record(2).colorTable[3 * 100 + 2]);
}

TEST(GlobalGamma, AStepIsCappedAtATenthPerParameter)
{
    GammaProbe probe;
    PhotoGroup photos(3);
    auto same = Gray([](double s) { return 255 * s; });
    photos.Link(0, 1, same, same, 10, 5);
    photos.Link(1, 2, same, same, 10, 6);
    ASSERT_TRUE(probe.Init(&photos.Group(), false));
    probe.Start(3);
    std::vector<float> step = {0.4f, -0.2f};
    probe.AdjustGamma(step);
    EXPECT_FLOAT_EQ(step[0], 0.1f);
    EXPECT_FLOAT_EQ(step[1], -0.05f);
    EXPECT_FLOAT_EQ(probe.G(0), 0.1f);
    EXPECT_FLOAT_EQ(probe.G(1), -0.05f);
    EXPECT_FLOAT_EQ(probe.G(2), -0.05f) << "the last frame is minus the sum of the others";
}

TEST(Photometric, InitNeedsMergedPairsAndWorkingPairBlends)
{
    {
        ImageGroup empty;
        GlobalGamma gamma;
        EXPECT_FALSE(gamma.Init(&empty, false));
        EXPECT_FALSE(gamma.Init(nullptr, false));
        int n = -1;
        EXPECT_EQ(gamma.GetImgList(n), nullptr);
        EXPECT_EQ(n, 0);
    }
    PhotoGroup unmerged(3);
    GlobalBlend blend;
    EXPECT_FALSE(blend.Init(&unmerged.Group(), false));

    PhotoGroup photos(4);
    auto same = Gray([](double s) { return 255 * s; });
    photos.Link(0, 1, same, same, 10, 1);
    photos.Link(1, 2, same, same, 10, 2);
    GlobalIntensity intensity;
    ASSERT_TRUE(intensity.Init(&photos.Group(), false));
    int n = 0;
    const int* list = intensity.GetImgList(n);
    ASSERT_EQ(n, 3);
    // Frame 3 is not merged; the others come in tray order (reversed here).
    EXPECT_EQ(list[0], 2);
    EXPECT_EQ(list[1], 1);
    EXPECT_EQ(list[2], 0);

    // With pair blending asked for, the stitching core's PairBlend runs on
    // every merged pair; without one installed the set-up fails.
    {
        LogCapture log;
        EXPECT_FALSE(intensity.Init(&photos.Group(), true));
    }
    static int calls;
    static int failAt;
    calls = 0;
    failAt = -1;
    PairBlendFunction previous = SetPairBlendFunction([](IImageFrame*, IImageFrame*) { return calls++ != failAt; });
    EXPECT_TRUE(intensity.Init(&photos.Group(), true));
    EXPECT_EQ(calls, 2);
    calls = 0;
    failAt = 0;
    EXPECT_FALSE(intensity.Init(&photos.Group(), true));
    EXPECT_EQ(calls, 1) << "the first failure ends the set-up";
    SetPairBlendFunction(previous);
}

namespace {

// Least squares in double of the linear photometric models: residual
// e = f_i(p_i) - f_j(p_j) per sample, p the K per-frame parameters, the last
// frame's p being minus the sum of the others'. basis(value) gives the
// model's derivatives and base(value) its parameter-free part.
Eigen::VectorXd SolveFolded(int frames, int K, const std::vector<std::tuple<int, int, double, double>>& samples,
                            std::function<std::vector<double>(double)> basis, std::function<double(double)> base)
{
    const int free = (frames - 1) * K;
    Eigen::MatrixXd J(samples.size(), free);
    Eigen::VectorXd rhs(samples.size());
    J.setZero();
    for (size_t s = 0; s < samples.size(); ++s) {
        const auto [i, j, vi, vj] = samples[s];
        const std::vector<double> bi = basis(vi), bj = basis(vj);
        auto add = [&](int frame, const std::vector<double>& b, double sign) {
            for (int c = 0; c < K; ++c) {
                if (frame == frames - 1) {
                    for (int m = 0; m < frames - 1; ++m) J(s, m * K + c) -= sign * b[c];
                } else {
                    J(s, frame * K + c) += sign * b[c];
                }
            }
        };
        add(i, bi, 1.0);
        add(j, bj, -1.0);
        rhs(s) = -(base(vi) - base(vj));
    }
    return J.colPivHouseholderQr().solve(rhs);
}

}  // namespace

TEST(GlobalIntensity, MatchesTheLeastSquaresSolution)
{
    // Three cameras with different tone curves, a chain of frames.
    std::vector<std::function<double(double)>> curves = {
        [](double s) { return s; },
        [](double s) { return s + 0.15 * s * (1 - s * s); },
        [](double s) { return s - 0.1 * s * s * (1 - s); },
    };
    PhotoGroup photos(3);
    for (int k = 0; k < 2; ++k)
        photos.Link(k, k + 1, Gray([&, k](double s) { return 255 * curves[k](s); }),
                    Gray([&, k](double s) { return 255 * curves[k + 1](s); }), 300, 10 + k);
    GlobalIntensity intensity;
    ASSERT_TRUE(intensity.Init(&photos.Group(), false));
    int n = 0;
    const int* list = intensity.GetImgList(n);
    ASSERT_EQ(n, 3);
    // The same samples as the solver sees them (values looked up and
    // normalised), in its list order.
    std::vector<int> position(3);
    for (int p = 0; p < n; ++p) position[list[p]] = p;
    std::vector<std::tuple<int, int, double, double>> samples;
    for (int k = 0; k < 2; ++k) {
        std::mt19937 rng(10 + k);
        std::uniform_real_distribution<double> u(0.03, 0.97);
        for (int i = 0; i < 300; ++i) {
            const double s = u(rng);
            const double vi = Round(static_cast<float>(255 * curves[k](s))) / 255.0;
            const double vj = Round(static_cast<float>(255 * curves[k + 1](s))) / 255.0;
            samples.emplace_back(position[k], position[k + 1], vi, vj);
        }
    }
    const Eigen::VectorXd x = SolveFolded(
        3, 2, samples, [](double v) { return std::vector<double>{v * (1 - v * v), v * v * (1 - v)}; },
        [](double v) { return v; });

    intensity.FindGlobalIntensity(0.0001f);
    double sa = 0, sb = 0;
    for (int p = 0; p < 2; ++p) {
        const TRANSFORM_RS& rs = photos.Record(list[p]);
        EXPECT_NEAR(rs.colorFirst[0], x(2 * p), 2e-3) << p;
        EXPECT_NEAR(rs.colorSecond[0], x(2 * p + 1), 2e-3) << p;
        sa += x(2 * p);
        sb += x(2 * p + 1);
    }
    const TRANSFORM_RS& last = photos.Record(list[2]);
    EXPECT_NEAR(last.colorFirst[0], -sa, 2e-3);
    EXPECT_NEAR(last.colorSecond[0], -sb, 2e-3);
    // One curve on all channels; the table applies it to the colour control's map.
    for (int k = 0; k < 3; ++k) {
        const TRANSFORM_RS& rs = photos.Record(k);
        EXPECT_EQ(rs.colorFirst[1], rs.colorFirst[0]);
        EXPECT_EQ(rs.colorSecond[2], rs.colorSecond[0]);
        EXPECT_EQ(rs.gamma[0], 0.0f);
        for (int v = 1; v < 255; ++v) {
            const double x = v / 255.0;
            const double w = (rs.colorFirst[0] + 1 + rs.colorSecond[0] * x - (rs.colorFirst[0] + rs.colorSecond[0]) * x * x) * x;
            EXPECT_NEAR(rs.colorTable[3 * v], Round(255 * w), 1);
            EXPECT_EQ(rs.colorTable[3 * v + 1], rs.colorTable[3 * v]);
            EXPECT_EQ(rs.colorTable[3 * v + 2], rs.colorTable[3 * v]);
        }
        EXPECT_EQ(rs.colorTable[0], 0);
        EXPECT_EQ(rs.colorTable[3 * 255], 255);
    }
}

TEST(GlobalBlend, RecoversGainsAndOffsetsPerChannel)
{
    // Frame k shows alpha_kc s + beta_kc on channel c (noise-free): the
    // corrected values agree when (1 + u_k) alpha_k is the same for all
    // frames and the gains and offsets sum to zero.
    const double alpha[3][3] = {{200, 180, 220}, {230, 200, 190}, {170, 210, 205}};
    const double beta[3][3] = {{10, 20, 5}, {0, 12, 25}, {30, 8, 15}};
    auto response = [&](int k) {
        return Response([&, k](double s, float out[3]) {
            for (int c = 0; c < 3; ++c) out[c] = static_cast<float>(alpha[k][c] * s + beta[k][c]);
        });
    };
    PhotoGroup photos(3);
    photos.Link(0, 1, response(0), response(1), 400, 21);
    photos.Link(1, 2, response(1), response(2), 400, 22);
    photos.Link(0, 2, response(0), response(2), 400, 23);
    GlobalBlend blend;
    ASSERT_TRUE(blend.Init(&photos.Group(), false));
    blend.DoGlobalBlending(0.0001f);
    for (int c = 0; c < 3; ++c) {
        double inv = 0, ratio = 0;
        for (int k = 0; k < 3; ++k) {
            inv += 1.0 / alpha[k][c];
            ratio += beta[k][c] / alpha[k][c];
        }
        const double A = 3.0 / inv;
        const double B = A / 3.0 * ratio;
        for (int k = 0; k < 3; ++k) {
            const TRANSFORM_RS& rs = photos.Record(k);
            EXPECT_NEAR(rs.colorFirst[c], A / alpha[k][c], 0.01) << k << " " << c;
            EXPECT_NEAR(rs.colorSecond[c], B - A * beta[k][c] / alpha[k][c], 1.0) << k << " " << c;
            for (int v = 0; v < 256; v += 15)
                EXPECT_NEAR(rs.colorTable[3 * v + c], Round(v * rs.colorFirst[c] + rs.colorSecond[c]), 1);
        }
    }
}

TEST(GlobalBlend, EveryPairGetsItsOwnOutlierLimit)
{
    // Two pairs with outliers. Pair (1, 2), judged first, has few but wild
    // ones: a small mean and a wide spread. Pair (0, 1) has more, milder
    // ones: its mean lies above the overall mean. Judged against its own
    // mean plus two standard deviations each pair loses its outliers and the
    // gains come out exactly; borrowing the first pair's wide margin would
    // keep the second pair's outliers in the fit.
    const double alpha[3] = {200, 240, 180};
    const double beta[3] = {10, 0, 20};
    auto response = [&](int k) {
        return Gray([&, k](double s) { return alpha[k] * s + beta[k]; });
    };
    // Shifts a sample by `by` up or down, whichever stays within 0..255.
    auto shift = [](float* v, float by) {
        const float d = v[0] + by <= 255.0f ? by : (v[0] - by >= 0.0f ? -by : 0.0f);
        for (int c = 0; c < 3; ++c) v[c] += d;
    };
    PhotoGroup photos(3);
    photos.Link(0, 1, response(0), response(1), 400, 31, false, [&](int i, float*, float* vb) {
        if (i % 8 == 0) shift(vb, 70.0f);
    });
    photos.Link(1, 2, response(1), response(2), 400, 32, false, [&](int i, float*, float* vb) {
        if (i % 20 == 0) shift(vb, 150.0f);
    });
    GlobalBlend blend;
    ASSERT_TRUE(blend.Init(&photos.Group(), false));
    blend.DoGlobalBlending(0.0001f);
    const double inv = 1 / alpha[0] + 1 / alpha[1] + 1 / alpha[2];
    const double A = 3.0 / inv;
    for (int k = 0; k < 3; ++k) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(photos.Record(k).colorFirst[c], A / alpha[k], 0.003) << k;
    }
}
