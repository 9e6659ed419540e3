// The refiners on a real scene: two views with a known rotation rendered
// from a real equirectangular panorama, a rough start, and the refined
// parameters measured against the true mapping.
#include "align/warpfit/mcc_refine.h"
#include "align/warpfit/mfc_refine.h"
#include "align/warpfit/tests/pair_render.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/utilkit/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

using namespace warptest;

namespace {

constexpr double kDeg = std::numbers::pi / 180;

struct Scene {
    const char* file;
    double pan, tilt;  // where view 1 looks
};

// Restores the default warp-fit switches when a case ends.
struct Settings {
    Settings(bool fixMag, bool fixAperture, float apertureDeg, int markerWAlign = 0)
    {
        SetWarpFitSettings(fixMag, fixAperture, apertureDeg, markerWAlign);
    }
    ~Settings() { SetWarpFitSettings(false, false, 0.0f, 0); }
};

class RealPair : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pano = LoadJpeg(testkit::TestData("pannellum/examplepano.jpg").string());
    }
    static void TearDownTestSuite()
    {
        ReleaseImage(s_pano);
        s_pano = nullptr;
    }
    static Image* s_pano;
};
Image* RealPair::s_pano = nullptr;

TEST_F(RealPair, MCCRefineReachesHalfAPixel)
{
    ASSERT_NE(s_pano, nullptr) << "cannot decode pannellum/examplepano.jpg";
    const int w = 640, h = 480;
    const double r = std::tan(30 * kDeg) / (w / 2);  // 60 degrees across
    struct Case {
        const char* name;
        double pan, tilt;  // view 1, over rock and trees
        double a, b, c;    // the pair
        bool fixMag, fixAperture;
    };
    const Case cases[] = {
        {"free scale and aperture", -20 * kDeg, 17 * kDeg, 0.03, 0.35, -0.02, false, false},
        {"fixed scale", 40 * kDeg, 25 * kDeg, -0.05, -0.30, 0.04, true, false},
        {"fixed scale and aperture", -60 * kDeg, 20 * kDeg, 0.02, 0.40, 0.01, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings settings(c.fixMag, c.fixAperture, 60.0f);
        const M3 place1 = PlaceView(c.pan, c.tilt);
        Image* img1 = RenderView(*s_pano, w, h, r, place1);
        Image* img2 = RenderView(*s_pano, w, h, r, SecondPlacement(place1, c.a, c.b, c.c));
        const M3 truth = PairHomographyRef(r, r, c.a, c.b, c.c);

        // A rough start: every angle off by about half a degree, the field
        // of view by a degree (several pixels at the overlap).
        PAIR_WALIGN_PRMS prms{};
        prms.scale = 1.0f;
        prms.rot1 = static_cast<float>(c.a + 0.008);
        prms.rot2 = static_cast<float>(-c.c - 0.006);
        prms.halfFov1 = static_cast<float>(30 * kDeg + (c.fixAperture ? 0 : 0.012));
        prms.halfWidth1 = w / 2.0f;
        prms.offsetAngle = static_cast<float>(c.b + 0.01);
        const double before = MaxMappingError(prms, truth, w, h, w, h);
        EXPECT_GT(before, 3.0);

        CMCCRefine refine(img1, img2);
        const int templates = refine.MainMCCRefine(&prms);
        EXPECT_GT(templates, 100);
        EXPECT_GT(refine.GetPickedCount(), 20);  // a 14-pixel start leaves few peaks within the limits
        const double after = MaxMappingError(prms, truth, w, h, w, h);
        EXPECT_LT(after, 0.5) << "before " << before;
        if (c.fixMag) {
            EXPECT_EQ(prms.scale, 1.0f);
        }
        if (c.fixAperture) {
            EXPECT_NEAR(prms.halfFov1, 30 * kDeg, 1e-6);
        }
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
}

// The start of every marker-refiner case: about half a degree off.
PAIR_WALIGN_PRMS RoughStart(double r, int w, double a, double b, double c, double scale)
{
    PAIR_WALIGN_PRMS prms{};
    prms.scale = static_cast<float>(scale);
    prms.rot1 = static_cast<float>(a + 0.008);
    prms.rot2 = static_cast<float>(-c - 0.006);
    prms.halfFov1 = static_cast<float>(std::atan(r * w / 2) + 0.01);
    prms.halfWidth1 = w / 2.0f;
    prms.offsetAngle = static_cast<float>(b + 0.01);
    return prms;
}

TEST_F(RealPair, MFCRefineFitsTheMatchedPoints)
{
    ASSERT_NE(s_pano, nullptr) << "cannot decode pannellum/examplepano.jpg";
    const int w = 640, h = 480;
    const double r = std::tan(30 * kDeg) / (w / 2);
    struct Case {
        const char* name;
        int markerWAlign;
        double scale;  // of image 2 against image 1 (rcpF2 / rcpF1)
        int fixMag;
        double mag;    // the scale handed in: fixed, or where the fit starts
        double maxError;
    };
    const Case cases[] = {
        {"warp fit", 1, 1.0, 0, 1.0, 0.5},
        {"warp fit, image 2 zoomed, scale known", 1, 0.9, 1, 0.9, 0.5},
        {"warp fit, image 2 zoomed, scale fitted", 1, 0.9, 0, 1.0, 0.5},
        {"homography", 0, 1.0, 0, 1.0, 1.0},
    };
    const double a = 0.03, b = 0.3, c = -0.02;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Settings settings(false, false, 0.0f, k.markerWAlign);
        const M3 place1 = PlaceView(-15 * kDeg, 18 * kDeg);
        Image* img1 = RenderView(*s_pano, w, h, r, place1);
        Image* img2 = RenderView(*s_pano, w, h, r * k.scale, SecondPlacement(place1, a, b, c));
        const M3 truth = PairHomographyRef(r, r * k.scale, a, b, c);
        PAIR_WALIGN_PRMS prms = RoughStart(r, w, a, b, c, k.scale);
        const double before = MaxMappingError(prms, truth, w, h, w, h);

        CMFCRefine refine(img1, img2);
        POINT2* pts[2] = {reinterpret_cast<POINT2*>(1), reinterpret_cast<POINT2*>(1)};
        int n = -1;
        ASSERT_EQ(refine.MainMFCRefine(&prms, pts, &n, 0, 0.0f, k.fixMag, static_cast<float>(k.mag)), 1);
        ASSERT_NE(pts[0], nullptr);
        ASSERT_NE(pts[1], nullptr);
        EXPECT_GE(n, 8);
        const double after = MaxMappingError(prms, truth, w, h, w, h);
        EXPECT_LT(after, k.maxError) << "before " << before;
        EXPECT_NEAR(prms.scale, k.scale, 2e-3);
        // The pairs handed back (the kept ones first) are matches under the
        // true transform, in top-left pixels of each image.
        for (int i = 0; i < n; ++i) {
            const POINT2 q = MapH(truth, POINT2{pts[0][i].x - w / 2.0f, pts[0][i].y - h / 2.0f});
            EXPECT_NEAR(q.x + w / 2.0f, pts[1][i].x, 1.5) << i;
            EXPECT_NEAR(q.y + h / 2.0f, pts[1][i].y, 1.5) << i;
        }
        delete[] pts[0];
        delete[] pts[1];
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
}

TEST_F(RealPair, MFCRefineFailuresLeaveTheParametersAlone)
{
    ASSERT_NE(s_pano, nullptr);
    const int w = 320, h = 240;
    const double r = std::tan(30 * kDeg) / (w / 2);
    Image* img1 = RenderView(*s_pano, w, h, r, PlaceView(0, 15 * kDeg));
    auto* flat = new Image(w, h, 3);
    std::fill(flat->GetData(), flat->GetData() + flat->GetDataSize(), 100);
    const PAIR_WALIGN_PRMS start = RoughStart(r, w, 0, 0.3, 0, 1.0);
    PAIR_WALIGN_PRMS noWidth = start;
    noWidth.halfWidth1 = 0;
    struct Case {
        const char* name;
        Image* second;
        PAIR_WALIGN_PRMS prms;
    };
    for (const Case& c : {Case{"no texture to match", flat, start}, Case{"no transform", img1, noWidth}}) {
        SCOPED_TRACE(c.name);
        for (int marker = 0; marker <= 1; ++marker) {
            Settings settings(false, false, 0.0f, marker);
            CMFCRefine refine(img1, c.second);
            PAIR_WALIGN_PRMS prms = c.prms;
            POINT2* pts[2] = {reinterpret_cast<POINT2*>(1), reinterpret_cast<POINT2*>(1)};
            int n = -1;
            LogCapture log;
            EXPECT_EQ(refine.MainMFCRefine(&prms, pts, &n, 0, 0.0f, 0, 1.0f), 0);
            EXPECT_EQ(pts[0], nullptr);
            EXPECT_EQ(pts[1], nullptr);
            EXPECT_EQ(n, 0);
            EXPECT_EQ(std::memcmp(&prms, &c.prms, sizeof prms), 0);
        }
    }
    ReleaseImage(flat);
    ReleaseImage(img1);
}

}  // namespace
