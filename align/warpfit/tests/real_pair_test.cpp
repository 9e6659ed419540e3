// The refiners on a real scene: two views with a known rotation rendered
// from a real equirectangular panorama, a rough start, and the refined
// parameters measured against the true mapping.
#include "align/warpfit/mcc_refine.h"
#include "align/warpfit/mfc_refine.h"
#include "align/warpfit/tests/pair_render.h"
#include "platform/mapproj/img_combo_rs.h"
#include "platform/panocore/panocore_settings.h"
#include "platform/utilkit/debug_display.h"
#include "core/win_types.h"
#include "projectgraph/curvekit/marker.h"
#include "core/logger.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
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

// A fit that cannot succeed (a fixed 170-degree field of view is outside
// 3-80 degrees for the half angle) leaves the caller's parameters alone.
TEST_F(RealPair, MCCRefineFitFailureLeavesTheParametersAlone)
{
    ASSERT_NE(s_pano, nullptr);
    const int w = 400, h = 300;
    const double r = std::tan(30 * kDeg) / (w / 2);
    const M3 place1 = PlaceView(-20 * kDeg, 17 * kDeg);
    Image* img1 = RenderView(*s_pano, w, h, r, place1);
    Image* img2 = RenderView(*s_pano, w, h, r, SecondPlacement(place1, 0.0, 0.3, 0.0));
    PAIR_WALIGN_PRMS prms{};
    prms.scale = 1.0f;
    prms.halfFov1 = static_cast<float>(30 * kDeg);
    prms.halfWidth1 = w / 2.0f;
    prms.offsetAngle = 0.3f;
    const PAIR_WALIGN_PRMS start = prms;
    {
        Settings settings(true, true, 170.0f);
        CMCCRefine refine(img1, img2);
        LogCapture log;
        EXPECT_EQ(refine.MainMCCRefine(&prms), 0);
        EXPECT_GT(refine.GetPickedCount(), 8);  // the points were there
        EXPECT_TRUE(log.contains("FAIL CWAlign::MainWAlign"));
        EXPECT_TRUE(log.contains("ERROR CMCCRefine::MainMCCRefine"));
    }
    EXPECT_EQ(std::memcmp(&prms, &start, sizeof prms), 0);
    ReleaseImage(img1);
    ReleaseImage(img2);
}

// What the main program's image windows would hold: marker groups by id and
// window, with their display offsets.
struct Group {
    std::unique_ptr<Marker> marker;
    int x = 0, y = 0;
};
std::map<std::pair<int, std::string>, Group> g_groups;

Marker* MakeGroup(int id, const char* window, int x, int y)
{
    Group& g = g_groups[{id, window}];
    g.marker = std::make_unique<Marker>();
    g.x = x;
    g.y = y;
    return g.marker.get();
}

// With the debug display on, the overlays go side by side into window 1
// with the picked pairs as markers, and the pairs mapped into the images go
// to window 2's marker groups (at each image's top-left pixels).
TEST_F(RealPair, MCCRefineDebugDisplayShowsOverlaysAndPairs)
{
    ASSERT_NE(s_pano, nullptr);
    const int w = 400, h = 300;
    const double r = std::tan(30 * kDeg) / (w / 2);
    const M3 place1 = PlaceView(-20 * kDeg, 17 * kDeg);
    Image* img1 = RenderView(*s_pano, w, h, r, place1);
    Image* img2 = RenderView(*s_pano, w, h, r, SecondPlacement(place1, 0.0, 0.3, 0.0));
    PAIR_WALIGN_PRMS prms{};
    prms.scale = 1.0f;
    prms.halfFov1 = static_cast<float>(30 * kDeg);
    prms.halfWidth1 = w / 2.0f;
    prms.offsetAngle = 0.3f;
    // The overlays the refiner will make, for comparison.
    Image* ov1 = nullptr;
    Image* ov2 = nullptr;
    TRANSFORM_RS t1{}, t2{};
    OverlayGrid g1{}, g2{};
    ASSERT_EQ(CImgComboRS::Overlay2ImgRS_0(img1, img2, &prms, 0, 0, GetMCCTu0(), &ov1, &ov2, &t1, &t2, &g1, &g2), 1);

    testkit::TempDir dir;
    SetDebugDispFolder(dir.path().string().c_str());
    SetDebugDispFlag(1);
    SetCreateMarkerGroup(MakeGroup);
    g_groups.clear();
    CMCCRefine refine(img1, img2);
    const int templates = refine.MainMCCRefine(&prms);
    SetDebugDispFlag(0);
    SetCreateMarkerGroup(nullptr);
    ASSERT_GT(templates, 0);

    auto colour = [](const Image& img, int x, int y) {
        const unsigned char* q = img.GetData() + size_t(y) * img.GetRowByte() + size_t(x) * 3;
        return RGB(q[2], q[1], q[0]);
    };
    const int cx = ov1->GetWidth() / 2, cy = ov1->GetHeight() / 2;
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin1(), cx, cy), colour(*ov1, cx, cy));
    EXPECT_EQ(GetDebugWindowPixel(GetNameDebugWin1(), ov1->GetWidth() + 5, 9), colour(*ov2, 5, 9));
    const Group& w1a = g_groups.at({0, GetNameDebugWin1()});
    const Group& w1b = g_groups.at({1, GetNameDebugWin1()});
    EXPECT_EQ(w1b.x, ov1->GetWidth());
    EXPECT_GE(w1a.marker->GetNumbOfMarker(), refine.GetPickedCount());
    const Group& w2a = g_groups.at({0, GetNameDebugWin2()});
    const Group& w2b = g_groups.at({1, GetNameDebugWin2()});
    EXPECT_EQ(w2b.x, w);
    ASSERT_EQ(w2a.marker->GetNumbOfMarker(), refine.GetPickedCount());
    ASSERT_EQ(w2b.marker->GetNumbOfMarker(), refine.GetPickedCount());
    for (int i = 0; i < refine.GetPickedCount(); ++i) {
        EXPECT_FLOAT_EQ(w2a.marker->GetMarker()[i].x, refine.GetPickedPoints(0)[i].x + w / 2.0f);
        EXPECT_FLOAT_EQ(w2b.marker->GetMarker()[i].y, refine.GetPickedPoints(1)[i].y + h / 2.0f);
    }
    g_groups.clear();
    ReleaseImage(ov1);
    ReleaseImage(ov2);
    ReleaseImage(img1);
    ReleaseImage(img2);
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
    const int w = 480, h = 360;
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

// Starts beyond and within each refiner's search range on two more scenes
// (50-degree views, 35 % of the view shared): the aligner behind
// MainMFCRefine searches 31 working pixels (about 45 image pixels at 1280 x
// 960), MainMCCRefine 8 overlay pixels (about 8 image pixels). Beyond the
// range a refiner once followed wrong peaks and reported the wrong fit as a
// success; now it must say 0 and leave the parameters and point arrays
// alone. Within the range the fit must be right.
TEST(RefinerSearchRange, BeyondTheRangeFailsWithinItFits)
{
    struct Scene {
        const char* file;
        double pan, tilt;  // view 1
        double roll;       // a and -c / 2 of the pair, degrees
    };
    const Scene rhein{"huginsample-equirect/rhein1_rodenkirchen.jpg", 0.3, 0.1, 0.0};
    const Scene durlach{"huginsample-durlach/durlach_saumarkt_equirect.jpg", -0.5, 0.05, 5.0};
    struct Case {
        const char* name;
        const Scene* scene;
        int width;
        double startDeg;  // pan off by this much, the turns by 0.3 and 0.2 of it
        bool mcc;         // MainMCCRefine, else MainMFCRefine with both fits
        bool fits;
        double maxError;  // of a fit (warp fit or MCC), pixels over the overlap
    };
    const Case cases[] = {
        {"MFC, 2 degrees at 1280", &rhein, 1280, 2.0, false, false, 0},
        {"MFC, 2 degrees at 1280, rolled", &durlach, 1280, 2.0, false, false, 0},
        {"MFC, 1 degree at 1280", &rhein, 1280, 1.0, false, true, 0.5},
        {"MFC, 1 degree at 1280, rolled", &durlach, 1280, 1.0, false, true, 0.5},
        {"MFC, 6 degrees at 640", &durlach, 640, 6.0, false, false, 0},
        {"MCC, 0.5 degrees at 1280", &rhein, 1280, 0.5, true, false, 0},
        {"MCC, 0.5 degrees at 1280, rolled", &durlach, 1280, 0.5, true, false, 0},
        // 11 px at the worst: the picks come from a strip of the overlap
        // only, and the fit to them is far off over the rest.
        {"MCC, 0.33 degrees at 1280", &rhein, 1280, 0.33, true, false, 0},
        {"MCC, 0.25 degrees at 1280", &rhein, 1280, 0.25, true, true, 0.5},
        {"MCC, 6 degrees at 640", &rhein, 640, 6.0, true, false, 0},
    };
    std::map<std::string, std::unique_ptr<Image, void (*)(Image*)>> panos;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        auto it = panos.find(k.scene->file);
        if (it == panos.end())
            it = panos.emplace(k.scene->file, std::unique_ptr<Image, void (*)(Image*)>(
                                                  LoadJpeg(testkit::TestData(k.scene->file).string()), ReleaseImage))
                     .first;
        ASSERT_NE(it->second, nullptr) << "cannot decode " << k.scene->file;
        const int w = k.width, h = w * 3 / 4;
        const double fov = 50 * kDeg, r = std::tan(fov / 2) / (w / 2);
        const double a = k.scene->roll * kDeg, b = (1 - 0.35) * fov, c = -a / 2;
        const M3 place1 = PlaceView(k.scene->pan, k.scene->tilt);
        Image* img1 = RenderView(*it->second, w, h, r, place1);
        Image* img2 = RenderView(*it->second, w, h, r, SecondPlacement(place1, a, b, c));
        const M3 truth = PairHomographyRef(r, r, a, b, c);
        PAIR_WALIGN_PRMS start{};
        start.scale = 1.0f;
        start.rot1 = static_cast<float>(a + 0.3 * k.startDeg * kDeg);
        start.rot2 = static_cast<float>(-c - 0.2 * k.startDeg * kDeg);
        start.halfFov1 = static_cast<float>(fov / 2);
        start.halfWidth1 = w / 2.0f;
        start.offsetAngle = static_cast<float>(b + k.startDeg * kDeg);

        for (int marker = 0; marker <= (k.mcc ? 0 : 1); ++marker) {
            SCOPED_TRACE(k.mcc ? "MCC" : marker ? "warp fit" : "homography");
            Settings settings(false, false, 0.0f, marker);
            PAIR_WALIGN_PRMS prms = start;
            LogCapture log;
            int result;
            POINT2* pts[2] = {reinterpret_cast<POINT2*>(1), reinterpret_cast<POINT2*>(1)};
            int n = -1;
            if (k.mcc) {
                CMCCRefine refine(img1, img2);
                result = refine.MainMCCRefine(&prms);
            } else {
                CMFCRefine refine(img1, img2);
                result = refine.MainMFCRefine(&prms, pts, &n, 0, 0.0f, 0, 1.0f);
            }
            if (!k.fits) {
                EXPECT_EQ(result, 0) << "after " << MaxMappingError(prms, truth, w, h, w, h) << " px";
                EXPECT_EQ(std::memcmp(&prms, &start, sizeof prms), 0);
                if (!k.mcc) {
                    EXPECT_EQ(pts[0], nullptr);
                    EXPECT_EQ(pts[1], nullptr);
                    EXPECT_EQ(n, 0);
                }
                EXPECT_TRUE(log.contains(k.mcc ? "ERROR CMCCRefine::MainMCCRefine" : "ERROR CMFCRefine::MainMFCRefine"))
                    << log.text();
            } else {
                ASSERT_GT(result, 0) << log.text();
                // The homography's conversion into the earlier form is the
                // coarser of the two fits; its pairs are held to the same gate.
                if (k.mcc || marker == 1) {
                    EXPECT_LT(MaxMappingError(prms, truth, w, h, w, h), k.maxError);
                }
                if (!k.mcc) {
                    EXPECT_GE(n, 14);
                    // The pairs handed back as matches lie within 1.5 image
                    // pixels of the truth (the gate is 1.5 working pixels,
                    // larger in image pixels).
                    for (int i = 0; i < n; ++i) {
                        const POINT2 q = MapH(truth, POINT2{pts[0][i].x - w / 2.0f, pts[0][i].y - h / 2.0f});
                        EXPECT_LT(std::hypot(q.x + w / 2.0f - pts[1][i].x, q.y + h / 2.0f - pts[1][i].y), 1.5)
                            << "pair " << i;
                    }
                    delete[] pts[0];
                    delete[] pts[1];
                }
            }
        }
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
}

}  // namespace
