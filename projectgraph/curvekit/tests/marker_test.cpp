#include "projectgraph/curvekit/marker.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

Marker MakeSet(int n)
{
    Marker m;
    for (int i = 0; i < n; ++i) m.AppendMarker(static_cast<float>(10 * i), static_cast<float>(i));
    return m;
}

}  // namespace

TEST(Marker, NewSetsTakeTheirColoursAndLabelStateFromKindAndClass)
{
    Marker red(0);
    EXPECT_EQ(red.GetColor(), 0x0000FFu);
    EXPECT_EQ(red.GetActiveColor(), 0x00FF00u);
    Marker green(3);
    EXPECT_EQ(green.GetColor(), 0x00FF00u);
    EXPECT_EQ(green.GetActiveColor(), 0x0000FFu);
    EXPECT_EQ(red.GetStatus(), 16);
    EXPECT_EQ(red.GetShowMarkerErrorFlag(), 3);
    EXPECT_EQ(red.GetActiveMarkerIndex(), -1);
    EXPECT_EQ(red.GetMarker(), nullptr);

    Marker::SetMarkerIndexState(false);
    Marker plain(1);
    EXPECT_EQ(plain.GetStatus(), 0);
    EXPECT_FALSE(plain.GetMarkerIndexState());
    Marker::SetMarkerIndexState(true);
}

TEST(Marker, StorageGrowsByFourAndShrinksOnceEightStandEmpty)
{
    // (count after the step, expected capacity)
    struct Step {
        int count;
        int capacity;
    };
    Marker m;
    const std::vector<Step> growth = {{1, 4}, {2, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 12}, {24, 24}};
    for (const Step& s : growth) {
        while (m.GetNumbOfMarker() < s.count) m.AppendMarker(1, 2);
        EXPECT_EQ(m.GetCapacity(), s.capacity) << "count " << s.count;
    }
    const std::vector<Step> shrink = {{20, 24}, {16, 24}, {15, 19}, {11, 19}, {10, 14}, {0, 4}};
    for (const Step& s : shrink) {
        while (m.GetNumbOfMarker() > s.count) m.DeleteMarker(0);
        EXPECT_EQ(m.GetCapacity(), s.capacity) << "count " << s.count;
    }
}

TEST(Marker, AppendKeepsWholeRecordsOrOnlyPositionsAndActivatesTheLast)
{
    Marker m;
    EXPECT_EQ(m.AppendMarker(1, 2), 0);
    POINT2M records[2] = {{5, 6, 7.5f, 8, 9.5f, 10, 11}, {12, 13, 14, 15, 16, 17, 18}};
    m.Append(records, 2);
    EXPECT_EQ(m.GetNumbOfMarker(), 3);
    EXPECT_EQ(m.GetActiveMarkerIndex(), 2);
    EXPECT_EQ(m.GetMarker()[1].word3, 8);
    EXPECT_EQ(m.GetMarker()[1].error1, 9.5f);
    EXPECT_EQ(m.GetMarker()[2].word6, 18);

    const POINT2 points[2] = {{20, 21}, {22, 23}};
    m.Append(points, 2);
    EXPECT_EQ(m.GetNumbOfMarker(), 5);
    EXPECT_EQ(m.GetActiveMarkerIndex(), 4);
    EXPECT_EQ(m.GetCapacity(), 8);
    const POINT2M& last = m.GetMarker()[4];
    EXPECT_EQ(last.x, 22);
    EXPECT_EQ(last.y, 23);
    EXPECT_EQ(last.error2 + last.error1, 0.0f);
    EXPECT_EQ(last.word3 | last.word5 | last.word6, 0);
}

TEST(Marker, SetMarkersAdoptsOrBuildsAndKeepsTheActiveIndexSafe)
{
    Marker m = MakeSet(5);
    m.SetCurrent(4);
    auto* adopted = new POINT2M[2]{{1, 1, 0, 0, 0, 0, 0}, {2, 2, 0, 7, 0, 0, 0}};
    m.SetMarkers(adopted, 2);
    EXPECT_EQ(m.GetMarker(), adopted);
    EXPECT_EQ(m.GetNumbOfMarker(), 2);
    EXPECT_EQ(m.GetCapacity(), 2);
    // Adopting a new set keeps the active index as it was, though it no
    // longer names a record: every read and edit through it must refuse.
    EXPECT_EQ(m.GetActiveMarkerIndex(), 4);
    float x = -1, y = -1;
    EXPECT_FALSE(m.GetCurrentMarker(x, y));
    m.ShiftCurrentMarker(1, 1);
    EXPECT_EQ(m.GetMarker()[1].x, 2);

    const POINT2 points[3] = {{1, 2}, {3, 4}, {5, 6}};
    m.SetMarkers(points, 3);
    EXPECT_EQ(m.GetNumbOfMarker(), 3);
    EXPECT_EQ(m.GetCapacity(), 3);
    EXPECT_EQ(m.GetMarker()[2].x, 5);
    EXPECT_EQ(m.GetMarker()[1].word3, 0);
    m.AppendMarker(7, 8);  // grows from 3 by 4
    EXPECT_EQ(m.GetCapacity(), 7);
}

TEST(Marker, FindMarkerUsesAStrictRadius)
{
    Marker m;
    m.AppendMarker(10, 10);
    m.AppendMarker(20, 10);
    struct Case {
        float x, y, r;
        int found;
    };
    const Case cases[] = {
        {10, 10, 0, -1},    // r = 0 never finds
        {13, 14, 5, -1},    // exactly at distance 5
        {13, 14, 5.01f, 0}, {20, 12, 3, 1}, {15, 10, 5.5f, 0},  // first of two in range
        {100, 100, 50, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(m.FindMarker(c.x, c.y, c.r), c.found) << c.x << "," << c.y << " r " << c.r;
}

TEST(Marker, DeleteMarkerFixesTheActiveIndex)
{
    struct Case {
        int count, active, remove;
        int countAfter, activeAfter;
    };
    const Case cases[] = {
        {5, 2, 2, 4, -1}, {5, 3, 1, 4, 2}, {5, 1, 3, 4, 1}, {5, 2, 5, 5, 2},  // not below the count: nothing
        {5, 2, -1, 0, -1}, {1, 0, 0, 0, -1},
    };
    for (const Case& c : cases) {
        Marker m = MakeSet(c.count);
        m.SetCurrent(c.active);
        m.DeleteMarker(c.remove);
        EXPECT_EQ(m.GetNumbOfMarker(), c.countAfter) << "delete " << c.remove;
        EXPECT_EQ(m.GetActiveMarkerIndex(), c.activeAfter) << "delete " << c.remove;
    }
    Marker m = MakeSet(4);
    m.DeleteMarker(1);
    EXPECT_EQ(m.GetMarker()[1].x, 20);  // later records moved down
}

TEST(Marker, DeleteCurrentMarkerMovesTheSelection)
{
    struct Case {
        int count, active;
        bool result;
        int countAfter, activeAfter;
    };
    const Case cases[] = {
        {3, 2, true, 2, 1},   // the last: the new last becomes active
        {3, 1, true, 2, 1},   // the one now at that index
        {3, 0, true, 2, 0},
        {1, 0, true, 0, -1},  // emptied
    };
    for (const Case& c : cases) {
        Marker m = MakeSet(c.count);
        m.SetCurrent(c.active);
        EXPECT_EQ(m.DeleteCurrentMarker(), c.result);
        EXPECT_EQ(m.GetNumbOfMarker(), c.countAfter);
        EXPECT_EQ(m.GetActiveMarkerIndex(), c.activeAfter);
    }
    Marker none = MakeSet(2);
    none.DeleteMarker(1);  // the active record goes: none active
    EXPECT_FALSE(none.DeleteCurrentMarker());
    EXPECT_EQ(none.GetNumbOfMarker(), 1);

    // An active index left beyond the count by SetMarkers is dropped.
    Marker m = MakeSet(5);
    m.SetCurrent(4);
    const POINT2 two[2] = {{0, 0}, {1, 1}};
    m.SetMarkers(two, 2);
    EXPECT_FALSE(m.DeleteCurrentMarker());
    EXPECT_EQ(m.GetActiveMarkerIndex(), -1);
    EXPECT_EQ(m.GetNumbOfMarker(), 2);
}

TEST(Marker, ShiftCurrentMarkerIndexWrapsAround)
{
    Marker two = MakeSet(2);  // record 1 active after the appends
    ASSERT_EQ(two.GetActiveMarkerIndex(), 1);
    EXPECT_TRUE(two.ShiftCurrentMarkerIndex());
    EXPECT_EQ(two.GetActiveMarkerIndex(), 0);
    EXPECT_TRUE(two.ShiftCurrentMarkerIndex());
    EXPECT_EQ(two.GetActiveMarkerIndex(), 1);
    Marker one = MakeSet(1);
    EXPECT_FALSE(one.ShiftCurrentMarkerIndex());
    Marker three = MakeSet(3);
    three.DeleteMarker(2);  // active record deleted: none active
    EXPECT_FALSE(three.ShiftCurrentMarkerIndex());
}

TEST(Marker, SetCurrentAndShiftEditTheActiveRecord)
{
    Marker m = MakeSet(3);
    EXPECT_EQ(m.SetCurrent(3), nullptr);
    EXPECT_EQ(m.SetCurrent(-1), nullptr);
    EXPECT_EQ(m.GetActiveMarkerIndex(), 2);
    POINT2M* r = m.SetCurrent(1);
    ASSERT_EQ(r, m.GetMarker() + 1);
    m.ShiftCurrentMarker(0.5f, -1);
    float x = 0, y = 0;
    ASSERT_TRUE(m.GetCurrentMarker(x, y));
    EXPECT_EQ(x, 10.5f);
    EXPECT_EQ(y, 0.0f);
}

TEST(Marker, TogglesReportWhetherTheStateChanged)
{
    struct Case {
        char mode;
        bool startShown;
        bool changed;
        bool endShown;
    };
    const Case cases[] = {
        {1, false, true, true}, {1, true, false, true}, {0, true, true, false},
        {0, false, false, false}, {2, true, true, false}, {7, false, true, true},
    };
    for (const Case& c : cases) {
        Marker labels;
        labels.SetStatus(c.startShown ? 16 : 0);
        EXPECT_EQ(labels.ToggleMarkerIndex(c.mode), c.changed);
        EXPECT_EQ(labels.GetMarkerIndexState(), c.endShown);

        Marker visible;
        visible.SetStatus(c.startShown ? 0 : 1);
        EXPECT_EQ(visible.ToggleMarker(c.mode), c.changed);
        EXPECT_EQ(visible.GetMarkerState(), c.endShown);
    }
}

TEST(Marker, CopiesAreIndependent)
{
    Marker a = MakeSet(3);
    Marker b = a;
    b.SetCurrent(0);
    b.ShiftCurrentMarker(100, 100);
    EXPECT_EQ(a.GetMarker()[0].x, 0.0f);
    EXPECT_EQ(b.GetMarker()[0].x, 100.0f);
    a = b;
    EXPECT_EQ(a.GetMarker()[0].x, 100.0f);
    EXPECT_NE(a.GetMarker(), b.GetMarker());
}

TEST(Marker, HandingTheSetItsOwnRecordsIsSafe)
{
    Marker m = MakeSet(4);  // capacity 4: appending its own records reallocates
    m.Append(m.GetMarker(), 4);
    ASSERT_EQ(m.GetNumbOfMarker(), 8);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(m.GetMarker()[4 + i].x, m.GetMarker()[i].x);
    m.SetMarkers(m.GetMarker(), 3);  // its own array back: only the count changes
    EXPECT_EQ(m.GetNumbOfMarker(), 3);
    EXPECT_EQ(m.GetCapacity(), 8);
    EXPECT_EQ(m.GetMarker()[2].x, 20.0f);
}
