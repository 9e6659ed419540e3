#include "tour/tessiv/tour_project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using ImagePtr = RefPtr<Image>;

std::vector<int> Box(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

void ShowTourMap(TourProject& tour, int x, int y, int width, int height, ImagePtr& picture)
{
    TourMapSettings& map = tour.GetTourMap();
    picture = ImagePtr::adopt(new Image(16, 16, 3));
    map.GetMap(map.AddMap())->SetImage(picture.get());
    map.SetPosition(x, y);
    map.SetSize(width, height);
}

TEST(TourLayout, ControlBoxDefaultsNearTheTopRightAndStoresItsPlace)
{
    TourProject tour(1);
    tour.ComputeLayout();
    EXPECT_EQ(Box(tour.GetLayoutBox(kControlBox)), (std::vector<int>{470, 10, 120, 142}));
    float fx = 0, fy = 0;
    tour.GetControlBoxPosition(fx, fy);
    EXPECT_FLOAT_EQ(fx, 470.0f / 480.0f);
    EXPECT_FLOAT_EQ(fy, 10.0f / 258.0f);
    // The stored place gives the same pixels again, and follows a new page size.
    tour.ComputeLayout();
    EXPECT_EQ(Box(tour.GetLayoutBox(kControlBox)), (std::vector<int>{470, 10, 120, 142}));
    tour.SetPageSize(1080, 400);
    tour.ComputeLayout();
    EXPECT_EQ(tour.GetLayoutBox(kControlBox).left, 940);  // 470/480 of 960
    EXPECT_FALSE(tour.GetLayoutBox(kControlBox).left == 1080 - 130);
}

TEST(TourLayout, PageAndViewerBoxesCoverThePage)
{
    TourProject tour(1);
    tour.SetPageSize(700, 450);
    tour.ComputeLayout();
    EXPECT_EQ(Box(tour.GetLayoutBox(kPageBox)), (std::vector<int>{0, 0, 700, 450}));
    EXPECT_EQ(Box(tour.GetLayoutBox(kViewerBox)), (std::vector<int>{0, 0, 700, 450}));
    // No tour map and no title: empty boxes.
    EXPECT_EQ(Box(tour.GetLayoutBox(kTourMapBox)), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(Box(tour.GetLayoutBox(kTitleBox)), (std::vector<int>{0, 0, 0, 0}));
}

TEST(TourLayout, TourMapBoxIsPulledIntoThePage)
{
    struct Case {
        int x, width;
        int ex, ew;
    };
    const Case cases[] = {
        {500, 200, 400, 200},  // moved left by what sticks out
        {50, 700, 0, 600},     // moved to the edge and cut
        {100, 200, 100, 200},  // inside
        {400, 200, 400, 200},  // exactly at the edge
    };
    for (const Case& c : cases) {
        TourProject tour(1);
        ImagePtr picture;
        ShowTourMap(tour, c.x, 10, c.width, 100, picture);
        tour.ComputeLayout();
        EXPECT_EQ(Box(tour.GetLayoutBox(kTourMapBox)), (std::vector<int>{c.ex, 10, c.ew, 100})) << c.x;
        EXPECT_EQ(tour.GetTourMap().GetX(), c.ex);
        EXPECT_EQ(tour.GetTourMap().GetWidth(), c.ew);
    }
    // Downwards the same: y 350, height 100 on a page 400 high moves up by 50.
    TourProject tour(1);
    ImagePtr picture;
    ShowTourMap(tour, 0, 350, 100, 100, picture);
    int x, y, w, h;
    tour.GetTourMapBox(x, y, w, h);
    EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{0, 300, 100, 100}));
    // A tour map switched off takes no room.
    tour.GetTourMap().SetShownFlag(false);
    tour.ComputeLayout();
    EXPECT_EQ(Box(tour.GetLayoutBox(kTourMapBox)), (std::vector<int>{0, 0, 0, 0}));
}

TEST(TourLayout, TitleBoxHeightFromTheFontSize)
{
    struct Case {
        int size;
        int width;
        int height;
    };
    // height = points x 3 / 2 + 2, points = size / 20, 28 without a size;
    // width 200 or half the page.
    const Case cases[] = {{0, 600, 44}, {200, 600, 17}, {240, 600, 20}, {400, 300, 32}};
    for (const Case& c : cases) {
        TourProject tour(1);
        tour.SetPageSize(c.width, 400);
        tour.SetTitleText("Tour");
        tour.SetTitleShown(true);
        tour.SetTitleFont("Arial", c.size, 0);
        tour.ComputeLayout();
        const int w = std::min(200, c.width / 2);
        EXPECT_EQ(Box(tour.GetLayoutBox(kTitleBox)), (std::vector<int>{(c.width - w) / 2, 100, w, c.height})) << c.size;
    }
    TourProject tour(1);
    tour.SetTitleShown(true);  // shown but without a text
    tour.ComputeLayout();
    EXPECT_EQ(Box(tour.GetLayoutBox(kTitleBox)), (std::vector<int>{0, 0, 0, 0}));
}

TEST(TourLayout, StripRowsAndPlace)
{
    struct Case {
        bool automatic;
        float rowsSetting;
        int vistas;
        int rows;
    };
    // The strip is 420 wide on a 600 page: 4 thumbnails of 88 fit a row.
    const Case cases[] = {
        {false, 1.0f, 0, 1}, {false, 2.7f, 0, 2}, {true, 1.0f, 0, 1}, {true, 1.0f, 4, 1},
        {true, 1.0f, 5, 2},  {true, 1.0f, 9, 2},  {true, 1.0f, 10, 3}, {false, 0.0f, 3, 0},
    };
    for (const Case& c : cases) {
        TourProject tour(20);
        for (int i = 0; i < c.vistas; ++i)
            tour.AddVista(nullptr, (std::to_string(i) + ".jpg").c_str(), 2, 10, 5, 10, 0, 0);
        tour.SetAutomaticRows(c.automatic);
        tour.SetThumbnailRowsSetting(c.rowsSetting);
        RECT edges[kLayoutBoxCount];
        tour.ComputeLayout(edges, true);
        EXPECT_EQ(tour.GetThumbnailRows(), c.rows) << c.vistas;
        const int height = (80 + 27) * c.rows + 8;
        EXPECT_EQ(Box(tour.GetLayoutBox(kStripBox)), (std::vector<int>{10, 400 - 10 - height, 420, height}))
            << c.vistas;
        EXPECT_EQ(Box(edges[kStripBox]), (std::vector<int>{10, 390 - height, 430, 390})) << c.vistas;
    }
}

TEST(TourLayout, StripOffOrLeftOut)
{
    TourProject tour(1);
    RECT sizes[kLayoutBoxCount];
    tour.ComputeLayout(sizes, false, false);
    EXPECT_EQ(Box(sizes[kStripBox]), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(tour.GetThumbnailRows(), 0);
    float fx, fy;
    tour.GetStripPosition(fx, fy);
    EXPECT_LT(fx, 0.0f);  // nothing was placed
    tour.SetStripEnabled(false);
    tour.ComputeLayout();
    EXPECT_EQ(Box(tour.GetLayoutBox(kStripBox)), (std::vector<int>{0, 0, 0, 0}));

    // A stored place is used as fractions of the free space.
    TourProject placed(1);
    placed.SetStripPosition(0.5f, 0.0f);
    placed.ComputeLayout();
    EXPECT_EQ(Box(placed.GetLayoutBox(kStripBox)), (std::vector<int>{90, 0, 420, 115}));
}

TEST(TourLayout, ViewerFieldOfViewIsLimitedByThePicture)
{
    struct Case {
        int kind;
        int equator, width, height;
        double h, v;
    };
    // Page 600 x 400, field of view 60. Panoramas (flat view) compare the
    // first angle with the picture's height; photographs with its width.
    const Case cases[] = {
        {2, 3600, 3600, 1800, 60.0, 81.7868},  // 2 atan(1.5 tan 30)
        {2, 3600, 3600, 500, 50.0, 69.9426},   // 600 > 500: 50, then 2 atan(1.5 tan 25)
        {1, 0, 4000, 3000, 60.0, 42.1034},     // no equator width: nothing limits
        {1, 3600, 400, 3000, 40.0, 27.2781},   // 600 > 400: 40, then 2 atan(tan 20 / 1.5)
        {1, 3600, 400, 200, 29.6301, 20.0},    // then 272 > 200: 20 and 2 atan(1.5 tan 10)
    };
    for (const Case& c : cases) {
        TourProject tour(1);
        tour.AddVista(nullptr, "v.jpg", c.kind, c.width, c.height, c.equator, 0, 0);
        float h = 0, v = 0;
        tour.GetViewerFov(tour.GetVista(0), h, v);
        EXPECT_NEAR(h, c.h, 2e-3) << c.kind << " " << c.width << "x" << c.height;
        EXPECT_NEAR(v, c.v, 2e-3) << c.kind << " " << c.width << "x" << c.height;
    }
}

}  // namespace
