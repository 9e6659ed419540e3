// World-map alignment end to end: a textured image and its copy moved by a
// known sub-pixel offset (exact, sampled from the texture's formula), two
// crops of a real photograph a whole number of pixels apart, and the
// refusals before any correlation.
#include "align/pairlock/ncc_maps_align.h"
#include "align/pairlock/tests/pairlock_test_util.h"
#include "align/pairlock/wmap_align.h"
#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"
#include "projectgraph/curvekit/marker.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>

using pairlock_test::MakeTextureImage;
using pairlock_test::Texture;

namespace {

struct Result {
    POINT2* pts[2] = {nullptr, nullptr};
    int count = 0;
    int ok = 0;
    WMapAlign align;
    ~Result()
    {
        align.FreePoint(pts[0]);
        align.FreePoint(pts[1]);
    }
};

// Every pair must match the second image's point to the first moved by
// (dx, dy).
void ExpectOffset(const Result& r, double dx, double dy, double tol, const std::string& name)
{
    ASSERT_NE(r.pts[0], nullptr) << name;
    ASSERT_NE(r.pts[1], nullptr) << name;
    for (int i = 0; i < r.count; ++i) {
        EXPECT_NEAR(r.pts[0][i].x - r.pts[1][i].x, dx, tol) << name << " pair " << i;
        EXPECT_NEAR(r.pts[0][i].y - r.pts[1][i].y, dy, tol) << name << " pair " << i;
    }
}

// Marker groups of the debug windows, as the main program keeps them: a new
// group of an existing id replaces the old one.
std::map<std::pair<std::string, int>, std::unique_ptr<Marker>> g_groups;

Marker* CreateGroup(int id, const char* window, int, int)
{
    auto& slot = g_groups[{window, id}];
    slot = std::make_unique<Marker>();
    return slot.get();
}

}  // namespace

TEST(WMapAlign, TexturedImageAndItsSubPixelShiftedCopy)
{
    // The aligner correlates edge images. This texture keeps their template
    // variances above the damping limit and their NCC peaks about two
    // pixels wide, where the three-point parabola is good to a fifth of a
    // pixel.
    const Texture t(17, 24, 12.0, 48.0);
    struct Case {
        double dx, dy;
        int offset;
    };
    for (Case c : {Case{2.3, -1.7, 0}, Case{-4.25, 0.7, 0}, Case{1.2, 3.35, 40}}) {
        Image* img1 = MakeTextureImage(t, 320, 240, 0.0, 0.0, 80.0);
        Image* img2 = MakeTextureImage(t, 320, 240, c.dx, c.dy, 80.0);
        Result r;
        r.ok = r.align.Align(img1, img2, c.offset, 10, 10, r.pts, &r.count);
        const std::string name = std::to_string(c.dx) + "," + std::to_string(c.dy);
        ASSERT_NE(r.ok, 0) << name;
        EXPECT_GE(r.count, 20) << name;
        ExpectOffset(r, c.dx, c.dy, 0.2, name);
        // Templates come from the overlap columns of the second image.
        for (int i = 0; i < r.count; ++i) EXPECT_GE(r.pts[1][i].x, c.offset) << name;
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
}

TEST(WMapAlign, RealPhotographCropsAWholeNumberOfPixelsApart)
{
    ASSERT_TRUE(testkit::RequireTool("djpeg"));
    testkit::TempDir dir;
    const std::string jpg = testkit::TestData("huginsample-durlach/half/P1060369.JPG").string();
    const std::string ppm = dir.file("photo.ppm");
    ASSERT_EQ(testkit::Run("djpeg -pnm -outfile '" + ppm + "' '" + jpg + "'").status, 0);
    Image* photo = testkit::ReadPnm(ppm);
    ASSERT_NE(photo, nullptr);
    ASSERT_EQ(photo->GetChannels(), 3);

    struct Case {
        int x0, y0, dx, dy;
    };
    for (Case c : {Case{200, 300, 3, -2}, Case{700, 150, -6, 4}}) {
        auto crop = [&](int ox, int oy) {
            auto* img = new Image(400, 300);
            photo->CopyDataTo(ox, ox + 399, oy, oy + 299, img, 0, 0);
            return img;
        };
        Image* img1 = crop(c.x0, c.y0);
        Image* img2 = crop(c.x0 + c.dx, c.y0 + c.dy);
        Result r;
        r.ok = r.align.Align(img1, img2, 0, 12, 12, r.pts, &r.count);
        const std::string name = "photo " + std::to_string(c.dx) + "," + std::to_string(c.dy);
        ASSERT_NE(r.ok, 0) << name;
        EXPECT_GE(r.count, 8) << name;
        ExpectOffset(r, c.dx, c.dy, 0.2, name);
        ReleaseImage(img1);
        ReleaseImage(img2);
    }
    ReleaseImage(photo);
}

TEST(WMapAlign, RefusesBeforeAnyCorrelation)
{
    const Texture t(4);
    Image* a = MakeTextureImage(t, 320, 100);
    Image* b = MakeTextureImage(t, 320, 100, 1.0, 0.0);
    Image* c = MakeTextureImage(t, 321, 100);
    struct Case {
        const char* name;
        Image* img1;
        Image* img2;
        int offset;
        bool logged;
    };
    const Case cases[] = {
        // (319 - 120) * 99 = 19701 square pixels of overlap.
        {"overlap under 20000", a, b, 120, false},
        {"offset below 0", a, b, -1, true},
        {"offset at the width", a, b, 320, true},
        {"unequal sizes", a, c, 0, true},
        {"no first image", nullptr, b, 0, true},
    };
    for (const Case& k : cases) {
        LogCapture log;
        Result r;
        r.pts[0] = r.pts[1] = reinterpret_cast<POINT2*>(&r);  // must be cleared
        r.count = 99;
        EXPECT_EQ(r.align.Align(k.img1, k.img2, k.offset, 10, 10, r.pts, &r.count), 0) << k.name;
        EXPECT_EQ(r.pts[0], nullptr) << k.name;
        EXPECT_EQ(r.pts[1], nullptr) << k.name;
        EXPECT_EQ(r.count, 0) << k.name;
        EXPECT_EQ(log.contains("ERROR WMapAlign::Align"), k.logged) << k.name;
    }
    // Just enough overlap: (319 - 116) * 99 = 20097.
    Result r;
    EXPECT_NE(r.align.Align(a, b, 116, 10, 10, r.pts, &r.count), 0);
    ReleaseImage(a);
    ReleaseImage(b);
    ReleaseImage(c);
}

TEST(WMapAlign, CoarseModeAndUnmadeMapsGiveNoResult)
{
    const Texture t(6);
    Image* a = MakeTextureImage(t, 300, 200);
    Image* b = MakeTextureImage(t, 300, 200, 1.5, 0.5);
    Image* c = MakeTextureImage(t, 310, 200);
    POINT2 corners[4] = {{0, 0}, {299, 0}, {299, 199}, {0, 199}};
    gpc_vertex_list ring{4, corners};
    gpc_polygon overlap{1, &ring};
    {
        // Coarse mode makes no maps: nothing to fit, the fallback has no
        // template either.
        CNCCMapsAlign fit;
        fit.Maps().InitPrms(a, b, &overlap, nullptr, CRefSelect::kCoarse, 8);
        POINT2* out[2] = {nullptr, nullptr};
        int n = -1;
        EXPECT_EQ(fit.Run(out, &n), 0);
        EXPECT_EQ(out[0], nullptr);
        EXPECT_EQ(n, 0);
    }
    {
        // Images of unequal sizes: the grid is laid out but no map can be
        // made, and the block fallback finds nothing to join.
        LogCapture log;
        CNCCMapsAlign fit;
        fit.Maps().InitPrms(a, c, &overlap, nullptr, CRefSelect::kRefineFine, 8);
        fit.Maps().RefSelect().SetCCRangeXY(10, 10);
        POINT2* out[2] = {nullptr, nullptr};
        int n = -1;
        EXPECT_EQ(fit.Run(out, &n), 0);
        EXPECT_EQ(out[0], nullptr);
        EXPECT_GE(log.errorCount(), 1);
    }
    ReleaseImage(a);
    ReleaseImage(b);
    ReleaseImage(c);
}

TEST(WMapAlign, DebugDisplayShowsTheMapsAndThePairsWithoutChangingThem)
{
    const Texture t(17, 24, 12.0, 48.0);
    Image* img1 = MakeTextureImage(t, 320, 240, 0.0, 0.0, 80.0);
    Image* img2 = MakeTextureImage(t, 320, 240, 2.3, -1.7, 80.0);
    Result quiet;
    quiet.ok = quiet.align.Align(img1, img2, 0, 10, 10, quiet.pts, &quiet.count);
    ASSERT_NE(quiet.ok, 0);

    testkit::TempDir dir;
    SetDebugDispFolder(dir.path().c_str());
    SetCreateMarkerGroup(CreateGroup);
    SetDebugDispFlag(1);
    Result shown;
    shown.ok = shown.align.Align(img1, img2, 0, 10, 10, shown.pts, &shown.count);
    SetDebugDispFlag(0);
    SetCreateMarkerGroup(nullptr);

    ASSERT_EQ(shown.count, quiet.count);
    for (int i = 0; i < quiet.count; ++i) {
        EXPECT_EQ(shown.pts[0][i].x, quiet.pts[0][i].x);
        EXPECT_EQ(shown.pts[0][i].y, quiet.pts[0][i].y);
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path() / (std::string(GetNameDebugWin0()) + ".ppm")));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / (std::string(GetNameDebugWin2()) + ".ppm")));
    // The pairs in groups 2 and 3 of window 2 (refine mode 1), a peak marker
    // per map in group 7 of window 0.
    Marker* first = g_groups[std::make_pair(std::string(GetNameDebugWin2()), 2)].get();
    Marker* second = g_groups[std::make_pair(std::string(GetNameDebugWin2()), 3)].get();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(first->GetNumbOfMarker(), quiet.count);
    ASSERT_EQ(second->GetNumbOfMarker(), quiet.count);
    EXPECT_EQ(first->GetMarker()[0].x, quiet.pts[0][0].x);
    EXPECT_EQ(second->GetMarker()[0].y, quiet.pts[1][0].y);
    Marker* peaks = g_groups[std::make_pair(std::string(GetNameDebugWin0()), 7)].get();
    ASSERT_NE(peaks, nullptr);
    EXPECT_GE(peaks->GetNumbOfMarker(), quiet.count);
    g_groups.clear();
    ReleaseImage(img1);
    ReleaseImage(img2);
}
