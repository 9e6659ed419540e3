// The correlation refiner on a real scene: two views with a known rotation
// rendered from a real equirectangular panorama, a rough start, and the
// refined parameters measured against the true mapping.
#include "align/warpfit/mcc_refine.h"
#include "align/warpfit/tests/pair_render.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/utilkit/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
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
    Settings(bool fixMag, bool fixAperture, float apertureDeg) { SetWarpFitSettings(fixMag, fixAperture, apertureDeg, 0); }
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

}  // namespace
