// The multi-channel aligner end to end on a real photograph: two pinhole
// views rendered from an equirectangular panorama with a known pair
// rotation, aligned from a rough transform; every returned point pair must
// reproject through the true transform to under a pixel.
#include "align/pairlock/mfc_align.h"

#include "align/pairlock/tests/overlap_test_util.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <numbers>
#include <string>

using namespace overlaptest;

namespace {

constexpr double kQuarterPi = std::numbers::pi / 4;
constexpr float kDegree = static_cast<float>(std::numbers::pi / 180);

// Decoded once for the whole suite.
const Image* Panorama(const char* file = "pannellum/examplepano.jpg")
{
    using Owned = std::unique_ptr<Image, void (*)(Image*)>;
    static std::map<std::string, Owned> panos;
    auto it = panos.find(file);
    if (it == panos.end()) {
        std::string why;
        it = panos.emplace(file, Owned(LoadJpeg(file, &why), [](Image* i) { ReleaseImage(i); })).first;
    }
    return it->second.get();
}

struct E2ECase {
    const char* what;
    double yaw, pitch;        // where view 1 looks
    float f1, f2;             // focal lengths, pixels
    float a, b, c;            // the true pair
    float da, db, dc;         // error of the rough transform
    float fScale;             // error of the rough focal lengths
    int setting;              // 0 none, 1 the link's default, 2 user-set tolerances
    bool plane;               // the plane path instead of the sphere
};

class AlignRealViews : public testing::TestWithParam<E2ECase> {};

TEST_P(AlignRealViews, PointPairsReprojectThroughTheTrueTransform)
{
    const E2ECase ec = GetParam();
    const Image* pano = Panorama();
    ASSERT_NE(pano, nullptr) << "the panorama pannellum/examplepano.jpg cannot be read";
    ASSERT_EQ(pano->GetWidth(), 4096);

    const int W = 480, H = 360;
    PAIR_WALIGN_RR_PRMS2 truth{};
    truth.rcpF1 = 1.0f / ec.f1;
    truth.rcpF2 = 1.0f / ec.f2;
    truth.angA = ec.a;
    truth.angB = ec.b;
    truth.angC = ec.c;
    // View 2's world rays are view 1's placement times the inverse pair
    // rotation: ray2 = R ray1 for the same scene point.
    const auto place1 = Multiply(Yaw(ec.yaw), Pitch(ec.pitch));
    const auto place2 = Multiply(place1, Transpose(PairRotation(ec.a, ec.b, ec.c)));
    Image* view1 = RenderView(*pano, W, H, truth.rcpF1, place1);
    Image* view2 = RenderView(*pano, W, H, truth.rcpF2, place2);

    PAIR_WALIGN_RR_PRMS2 rough = truth;
    rough.angA += ec.da;
    rough.angB += ec.db;
    rough.angC += ec.dc;
    rough.rcpF1 *= ec.fScale;
    rough.rcpF2 *= ec.fScale;
    PAIR_ALIGN_INIT_SETTING byDefault{0.4f, 0.0f, 0.1f, 0.1f, 0};
    PAIR_ALIGN_INIT_SETTING user{0.4f, 0.0f, 0.12f, 0.1f, 1};
    PAIR_ALIGN_INIT_SETTING* setting = ec.setting == 0 ? nullptr : ec.setting == 1 ? &byDefault : &user;

    CMFCAlign align(view1, view2);
    POINT2* pts[2] = {nullptr, nullptr};
    int n = 0;
    const int r = ec.plane ? align.OneLaTaNCCMap_2(&rough, setting, 0, 1.0f, 1.0f, pts, &n)
                           : align.MainMFCAlign(&rough, setting, 0, pts, &n, false);
    ASSERT_EQ(r, kMFCAligned) << ec.what;
    ASSERT_GE(n, 8) << ec.what;
    double worst = 0, sum = 0;
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (int i = 0; i < n; ++i) {
        POINT2 want;
        ASSERT_TRUE(MapPairPixels(truth, W, H, W, H, pts[0][i], want));
        const double e = std::hypot(want.x - pts[1][i].x, want.y - pts[1][i].y);
        worst = std::max(worst, e);
        sum += e;
        EXPECT_LT(e, 1.0) << ec.what << " pair " << i << ": (" << pts[0][i].x << ", " << pts[0][i].y << ") -> ("
                          << pts[1][i].x << ", " << pts[1][i].y << "), true (" << want.x << ", " << want.y << ")";
        // Both points lie in their images.
        EXPECT_TRUE(pts[0][i].x >= 0 && pts[0][i].x < W && pts[0][i].y >= 0 && pts[0][i].y < H) << i;
        EXPECT_TRUE(pts[1][i].x >= 0 && pts[1][i].x < W && pts[1][i].y >= 0 && pts[1][i].y < H) << i;
        minX = std::min(minX, pts[0][i].x), maxX = std::max(maxX, pts[0][i].x);
        minY = std::min(minY, pts[0][i].y), maxY = std::max(maxY, pts[0][i].y);
    }
    // The pairs spread over the overlap, not one corner of it.
    EXPECT_GT(maxX - minX, W / 5) << ec.what;
    EXPECT_GT(maxY - minY, H / 3) << ec.what;
    RecordProperty("pairs", n);
    RecordProperty("worst_px", std::to_string(worst));
    std::printf("%s: %d pairs, mean %.3f px, worst %.3f px\n", ec.what, n, sum / n, worst);
    CMFCAlign::FreePoints(pts);
    ReleaseImage(view1);
    ReleaseImage(view2);
}

INSTANTIATE_TEST_SUITE_P(
    Examplepano, AlignRealViews,
    testing::Values(
        // A pan of 26 degrees, the rough pan 3 degrees off, no settings.
        E2ECase{"pan_no_setting", -0.6, 0.45, 420, 420, 0.0f, 0.45f, 0.0f, 0.0f, 0.05f, 0.0f, 1.0f, 0, false},
        // Rolled views of different focal lengths, every angle off, the
        // link's default settings (zoomed working images).
        E2ECase{"rolled_default_setting", 0.9, 0.35, 400, 440, 0.06f, 0.4f, -0.04f, -0.015f, -0.04f, 0.012f, 1.0f,
                1, false},
        // User tolerances and a focal length 2 % off.
        E2ECase{"user_setting_focal_off", -1.6, 0.5, 420, 420, 0.02f, -0.42f, 0.0f, 0.01f, 0.03f, 0.0f, 1.02f, 2,
                false},
        // The plane path on the same kind of pair.
        E2ECase{"plane_path", -0.6, 0.45, 420, 420, 0.0f, 0.45f, 0.0f, 0.0f, 0.04f, 0.0f, 1.0f, 0, true}),
    [](const testing::TestParamInfo<E2ECase>& info) { return std::string(info.param.what); });

// Pairs whose overlap lies along image 2's left border, turned around the
// scene so that sky, facades and water come to lie there: one-directional
// or weak texture, and templates that take in image 2's empty margin, once
// gave maps whose maximum sat one to three pixels from the true shift
// (with the grid fit still calling them inliers). Every pair the aligner
// returns must reproject to under a pixel.
TEST(AlignBorderViews, PairsAlongTheBorderReprojectThroughTheTrueTransform)
{
    struct Case {
        const char* file;
        double yaw, pitch;  // view 1
        float overlap;      // share of the 50-degree field of view
    };
    const Case cases[] = {
        {"huginsample-equirect/rhein1_rodenkirchen.jpg", 0.3 + 3 * kQuarterPi, 0.1, 0.25f},
        {"huginsample-equirect/rhein1_rodenkirchen.jpg", 0.3 + 4 * kQuarterPi, 0.1, 0.25f},
        {"huginsample-durlach/durlach_saumarkt_equirect.jpg", -0.5 + 1 * kQuarterPi, 0.05, 0.25f},
        {"huginsample-durlach/durlach_saumarkt_equirect.jpg", -0.5 + 2 * kQuarterPi, 0.05, 0.25f},
        {"huginsample-durlach/durlach_saumarkt_equirect.jpg", -0.5 + 3 * kQuarterPi, 0.05, 0.25f},
        {"huginsample-durlach/durlach_saumarkt_equirect.jpg", -0.5 + 3 * kQuarterPi, 0.05, 0.4f},
    };
    const int W = 640, H = 480;
    const float fov = 50 * kDegree;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " yaw " + std::to_string(c.yaw) + " overlap " + std::to_string(c.overlap));
        const Image* pano = Panorama(c.file);
        ASSERT_NE(pano, nullptr) << c.file << " cannot be read";
        PAIR_WALIGN_RR_PRMS2 truth{};
        truth.rcpF1 = truth.rcpF2 = std::tan(fov / 2) / (W / 2);
        truth.angB = (1 - c.overlap) * fov;
        const auto place1 = Multiply(Yaw(c.yaw), Pitch(c.pitch));
        const auto place2 = Multiply(place1, Transpose(PairRotation(truth.angA, truth.angB, truth.angC)));
        Image* view1 = RenderView(*pano, W, H, truth.rcpF1, place1);
        Image* view2 = RenderView(*pano, W, H, truth.rcpF2, place2);
        // The rough transform as a stitch run hands it in: 1.5 degrees of
        // pan and half a degree of each turn off.
        PAIR_WALIGN_RR_PRMS2 rough = truth;
        rough.angA += 0.01f;
        rough.angB += 1.5f * kDegree;
        rough.angC -= 0.01f;
        PAIR_ALIGN_INIT_SETTING byDefault{0.4f, 0.0f, 0.1f, 0.1f, 0};
        CMFCAlign align(view1, view2);
        POINT2* pts[2] = {nullptr, nullptr};
        int n = 0;
        ASSERT_EQ(align.MainMFCAlign(&rough, &byDefault, 0, pts, &n, false), kMFCAligned);
        EXPECT_GE(n, 14);
        for (int i = 0; i < n; ++i) {
            POINT2 want;
            ASSERT_TRUE(MapPairPixels(truth, W, H, W, H, pts[0][i], want));
            EXPECT_LT(std::hypot(want.x - pts[1][i].x, want.y - pts[1][i].y), 1.0)
                << "pair " << i << ": (" << pts[0][i].x << ", " << pts[0][i].y << ") -> (" << pts[1][i].x << ", "
                << pts[1][i].y << "), true (" << want.x << ", " << want.y << ")";
        }
        CMFCAlign::FreePoints(pts);
        ReleaseImage(view1);
        ReleaseImage(view2);
    }
}

}  // namespace
