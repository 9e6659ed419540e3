// The group: blend indices and the centre frame as frames come and go, the
// scene centre's range rules, the view centre, blending order moves, merged
// frames in tray order and the project-wide marker label switch.
#include "projectgraph/framegrp/image_group.h"

#include "imaging/image.h"
#include "core/logger.h"
#include "projectgraph/framegrp/tests/graph_fixture.h"
#include "testkit/testkit.h"
#include "worldmap/world_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

std::vector<ImageFrame*> Fill(ImageGroup& g, int n)
{
    std::vector<ImageFrame*> frames;
    for (int i = 0; i < n; ++i) {
        frames.push_back(new ImageFrame());
        g.AppendImageFrame(frames.back());
    }
    return frames;
}

TEST(ImageGroup, BlendIndicesAndTheCentreFrame)
{
    ImageGroup g;
    std::vector<ImageFrame*> f = Fill(g, 3);
    EXPECT_EQ(f[0]->GetBlendIndex(), 0);
    EXPECT_EQ(f[1]->GetBlendIndex(), 1);
    EXPECT_EQ(f[2]->GetBlendIndex(), 2);
    EXPECT_EQ(g.GetCentralImageFrame(), f[0]);
    EXPECT_TRUE(f[0]->IsCenterFrame());
    EXPECT_TRUE(f[0]->IsLinkOutAllowed());
    EXPECT_FALSE(f[1]->IsCenterFrame());

    // Inserted at the front: blend index untouched, the centre stays.
    auto* front = new ImageFrame();
    front->SetBlendIndex(9);
    g.AddImageFrame(front);
    EXPECT_EQ(g.GetFirstFrame(), front);
    EXPECT_EQ(front->GetBlendIndex(), 9);
    EXPECT_EQ(g.GetCentralImageFrame(), f[0]);

    // Removing the centre makes the frame now first the centre.
    g.RemoveImageFrame(f[0]);
    EXPECT_EQ(g.GetNumbOfImages(), 3);
    EXPECT_EQ(g.GetCentralImageFrame(), front);
    EXPECT_TRUE(front->IsCenterFrame());
    EXPECT_EQ(f[1]->GetBlendIndex(), 1) << "blend indices are not renumbered";

    g.SetCenterFrame(f[2]);
    for (int i = 0; i < g.GetNumbOfImages(); ++i) {
        ImageFrame* frame = g.GetImageFrame(i);
        EXPECT_EQ(frame->IsCenterFrame(), frame == f[2]);
        EXPECT_EQ(frame->IsLinkOutAllowed(), frame == f[2]);
    }
    g.SetAsTop(f[2]);
    EXPECT_EQ(g.GetFirstFrame(), f[2]);

    while (g.GetNumbOfImages() > 0) g.RemoveImageFrame(g.GetLastFrame());
    EXPECT_EQ(g.GetCentralImageFrame(), nullptr);
    EXPECT_EQ(g.GetFirstFrame(), nullptr);
    EXPECT_EQ(g.GetImageFrame(0), nullptr);

    // An empty group takes the first frame added at the front as its centre.
    auto* only = new ImageFrame();
    g.AddImageFrame(only);
    EXPECT_EQ(g.GetCentralImageFrame(), only);
}

TEST(ImageGroup, SceneCentreRangeRules)
{
    struct Case {
        float yaw, pitch;
        float wantYaw, wantPitch;
    };
    const Case cases[] = {
        {725, 100, 5, 90},  {-30, -95, 330, -90}, {360, 0, 360, 0}, {720, 10, 360, 10},
        {-360, 0, 0, 0},    {0, 0, 0, 0},         {-720.5f, 45, 359.5f, 45},
        {359.75f, 90, 359.75f, 90},
    };
    for (const Case& c : cases) {
        ImageGroup g;
        g.SetKestovaCenter(c.yaw, c.pitch);
        float yaw = -1, pitch = -1;
        g.GetKestovaCenter(&yaw, &pitch);
        EXPECT_FLOAT_EQ(yaw, c.wantYaw) << c.yaw;
        EXPECT_FALSE(std::signbit(yaw)) << c.yaw;
        EXPECT_FLOAT_EQ(pitch, c.wantPitch) << c.pitch;
    }

    // A yaw from a corrupt file: the old loop never ended (x - 360 == x).
    for (float huge : {1e30f, -1e30f, 3.4e38f, 16777217.0f * 360.0f}) {
        ImageGroup g;
        g.SetKestovaCenter(huge, 0);
        float yaw, pitch;
        g.GetKestovaCenter(&yaw, &pitch);
        EXPECT_GE(yaw, 0.0f) << huge;
        EXPECT_LE(yaw, 360.0f) << huge;
    }

    // Not a direction at all: refused, the centre unchanged.
    ImageGroup g;
    g.SetKestovaCenter(10, 20);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (auto [y, p] : {std::pair{nan, 0.0f}, {0.0f, nan}, {inf, 0.0f}, {-inf, 5.0f}}) {
        LogCapture log;
        g.SetKestovaCenter(y, p);
        EXPECT_TRUE(log.contains("ERROR ImageGroup::SetKestovaCenter"));
        float yaw, pitch;
        g.GetKestovaCenter(&yaw, &pitch);
        EXPECT_EQ(yaw, 10.0f);
        EXPECT_EQ(pitch, 20.0f);
    }
    g.ShiftKestovaCenter(355, 80);
    float yaw, pitch;
    g.GetKestovaCenter(&yaw, &pitch);
    EXPECT_FLOAT_EQ(yaw, 5.0f);
    EXPECT_FLOAT_EQ(pitch, 90.0f);
}

float TwoPixelsPerDegree()
{
    return 2.0f;
}

TEST(ImageGroup, ViewCentreTakesTheShortWayRound)
{
    struct Case {
        float yaw, pitch;
        bool callback;
        int x, y;
    };
    const Case cases[] = {
        {270, 10, false, -450, 50}, {180, 0, false, 900, 0},   {181, -10, false, -895, -50},
        {90.3f, 1.5f, false, 451, 7}, {300, -20.7f, true, -120, -41}, {0, 0, true, 0, 0},
    };
    for (const Case& c : cases) {
        ImageGroup g;
        if (c.callback) g.SetGetSamplingRateFunc(TwoPixelsPerDegree);
        g.SetKestovaCenter(c.yaw, c.pitch);
        int x = 0, y = 0;
        g.GetVantorViewCenter(x, y);
        EXPECT_EQ(x, c.x) << c.yaw;
        EXPECT_EQ(y, c.y) << c.pitch;
    }
}

TEST(ImageGroup, MoveFrameUpAndTop)
{
    struct Case {
        const char* what;
        bool top;  // MoveFrameTop, else MoveFrameUp
        bool up;
        int frame;
        int result;
        std::vector<int> after;  // blend indices of frames 0..3
    };
    const Case cases[] = {
        {"up from 0", false, true, 0, 1, {1, 0, 2, 3}},
        {"up from the top", false, true, 3, 3, {0, 1, 2, 3}},
        {"down from 2", false, false, 2, 1, {0, 2, 1, 3}},
        {"down from 0", false, false, 0, 0, {0, 1, 2, 3}},
        {"to the top from 0", true, true, 0, 3, {3, 0, 1, 2}},
        {"to the top from the top", true, true, 3, 3, {0, 1, 2, 3}},
        {"to the bottom from 2", true, false, 2, 0, {1, 2, 0, 3}},
        {"to the bottom from 0", true, false, 0, 0, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageGroup g;
        std::vector<ImageFrame*> f = Fill(g, 4);
        const int r = c.top ? g.MoveFrameTop(c.up, f[c.frame]) : g.MoveFrameUp(c.up, f[c.frame]);
        EXPECT_EQ(r, c.result);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(f[i]->GetBlendIndex(), c.after[i]) << i;
        // The blend order lists the frames from the highest blend index down.
        int order[4] = {0, 1, 2, 3};
        g.MakeBlendOrder(order, 4);
        for (int k = 0; k + 1 < 4; ++k) EXPECT_GT(f[order[k]]->GetBlendIndex(), f[order[k + 1]]->GetBlendIndex());
    }
}

TEST(ImageGroup, MergedImagesInTrayOrder)
{
    ImageGroup g;
    std::vector<ImageFrame*> f = Fill(g, 5);
    const short trayX[5] = {300, 100, 500, 100, 50};
    for (int i = 0; i < 5; ++i) f[i]->SetStampLocation(trayX[i], 0);
    int indices[5] = {-1, -1, -1, -1, -1};
    int n = -1, pairs = -1;
    g.GetMergedImages(indices, n, pairs);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(pairs, 0);

    // Pairs 0-1, 0-3 and 3-1 merged; frame 2 linked but not merged; 4 alone.
    f[0]->AddNeighbor(f[1]);
    f[0]->AddNeighbor(f[3]);
    f[3]->AddNeighbor(f[1]);
    f[2]->AddNeighbor(f[0]);
    f[0]->SetMerged(f[1]);
    f[0]->SetMerged(f[3]);
    f[3]->SetMerged(f[1]);
    g.GetMergedImages(indices, n, pairs);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(pairs, 3);
    // Tray x 100 (frame 1), 100 (frame 3, after 1: equal places keep their order), 300 (frame 0).
    EXPECT_EQ(indices[0], 1);
    EXPECT_EQ(indices[1], 3);
    EXPECT_EQ(indices[2], 0);
    EXPECT_EQ(g.GetNumbMergedImages(), 3);

    // The last frame counts when it is merged with an earlier one.
    f[4]->AddNeighbor(f[2]);
    f[4]->SetMerged(f[2]);
    g.GetMergedImages(indices, n, pairs);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(pairs, 4);
    EXPECT_EQ(indices[0], 4);
    EXPECT_EQ(indices[4], 2);
}

TEST(ImageGroup, FindFramesByNameAndStamp)
{
    ImageGroup g;
    std::vector<ImageFrame*> f = Fill(g, 3);
    f[0]->SetName("a.jpg");
    f[2]->SetName("dir/a.jpg");
    EXPECT_EQ(g.FindImageFrame("dir/a.jpg"), f[2]);
    EXPECT_EQ(g.FindImageFrame("A.jpg"), nullptr);
    EXPECT_EQ(g.FindImageFrame(nullptr), nullptr);

    Image* stamp = testkit::MakePatternImage(40, 30, 3);
    f[1]->SetStampImage(stamp);
    ReleaseImage(stamp);
    f[1]->SetStampLocation(100, 50);  // covers 80 < x < 120, 35 < y < 65
    EXPECT_EQ(g.FindStampFrame(100, 50), f[1]);
    EXPECT_EQ(g.FindStampFrame(81, 36), f[1]);
    EXPECT_EQ(g.FindStampFrame(80, 50), nullptr);
    EXPECT_EQ(g.FindStampFrame(100, 65), nullptr);
}

TEST(ImageGroup, ToggleMarkerIndexFlipsTheProjectStateOnlyOnChange)
{
    Marker::SetMarkerIndexState(true);
    ImageGroup g;
    std::vector<ImageFrame*> f = Fill(g, 2);
    EXPECT_TRUE(g.GetMarkerIndexState());
    EXPECT_FALSE(g.ToggleMarkerIndex(0)) << "no marker sets: nothing changes";
    EXPECT_TRUE(g.GetMarkerIndexState());

    Neighbor* link = f[0]->AddNeighbor(f[1]);
    link->AddMarker(5, 5);  // a new set shows its labels
    ASSERT_TRUE(link->GetMarkers()->GetMarkerIndexState());
    EXPECT_TRUE(g.ToggleMarkerIndex(0));
    EXPECT_FALSE(link->GetMarkers()->GetMarkerIndexState());
    EXPECT_FALSE(g.GetMarkerIndexState());
    Marker fresh;
    EXPECT_FALSE(fresh.GetMarkerIndexState()) << "new sets follow the project state";

    EXPECT_FALSE(g.ToggleMarkerIndex(0)) << "already hidden";
    EXPECT_FALSE(g.GetMarkerIndexState());
    EXPECT_TRUE(g.ToggleMarkerIndex(2));
    EXPECT_TRUE(g.GetMarkerIndexState());
    Marker::SetMarkerIndexState(true);

    g.DeactivateAllLink();
    EXPECT_FALSE(link->IsActive());
    EXPECT_FALSE(f[1]->FindNeighbor(f[0])->IsActive());
}

TEST(ImageGroup, CompositeWithoutAWorldMapDrawsNothing)
{
    ImageGroup g;
    Image* image = testkit::MakePatternImage(16, 8, 3);
    Image* before = image->Duplicate();
    g.ComputeCompositBmp(image, 0.5f, 0.0f, false);
    EXPECT_TRUE(testkit::SamePixels(*image, *before));
    EXPECT_EQ(g.GetRectWorldMap(false), nullptr);
    EXPECT_FALSE(g.HasRectWorldMap());
    ReleaseImage(image);
    ReleaseImage(before);
}

TEST(ImageGroup, WorldMapIsHeldByReference)
{
    ImageGroup g;
    EXPECT_EQ(g.GetRectWorldMap(0, nullptr, 0, 3), nullptr) << "no width, no map";
    WorldMap* map = g.GetRectWorldMap(400, nullptr, 0, 3);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->GetWidth(), 400);
    EXPECT_EQ(g.GetRectWorldMap(800, nullptr, 0, 3), map) << "an existing map is returned unchanged";
    EXPECT_EQ(g.GetRectWorldMap(false), map);

    // The composite is the map's own overview at the view's zoom.
    Image* shown = testkit::MakePatternImage(8, 8, 3);
    Image* direct = testkit::MakePatternImage(8, 8, 3);
    g.ComputeCompositBmp(shown, 0.5f, 0.0f, false);
    map->ComputeWorldMapImage(direct, 0.5f, true, true);
    EXPECT_EQ(shown->GetWidth(), direct->GetWidth());
    EXPECT_TRUE(testkit::SamePixels(*shown, *direct));
    ReleaseImage(shown);
    ReleaseImage(direct);

    // A map handed over is kept with a reference of the group's own; the
    // first map goes (LeakSanitizer would report it otherwise).
    auto* other = new WorldMap();
    g.SetRectWorldMap(other);
    other->Release();  // the creator's reference
    EXPECT_EQ(g.GetRectWorldMap(false), other);
    g.SetRectWorldMap(other);  // the map held again survives
    EXPECT_EQ(g.GetRectWorldMap(false), other);
    g.SetRectWorldMap(nullptr);
    EXPECT_FALSE(g.HasRectWorldMap());
    EXPECT_NE(g.GetRectWorldMap(true), nullptr) << "an empty map on request";
}

}  // namespace
