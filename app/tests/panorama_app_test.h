// A started application whose tests open panorama windows on maps they make.
// Every map opened through OpenWindow is released at the end of the test
// (an open window holds a reference of its own).
#pragma once

#include "app/panorama/rect_map_view.h"
#include "app/tests/app_test_fixture.h"
#include "worldmap/world_map.h"

#include <vector>

class PanoramaAppTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
    }
    void TearDown() override
    {
        for (WorldMap* map : m_opened) map->Release();
        m_opened.clear();
        AppTest::TearDown();
    }

    // Opens the panorama window of `map` and answers its rect-map view.
    CRectMapView* OpenWindow(WorldMap* map)
    {
        m_opened.push_back(map);
        Main().ShowPanoramaWindow(map);
        return Main().FindRectMapView(map);
    }

    // What the end of a blend tells the window: a final map or a preview, a
    // full circle or not.
    static void Announce(WorldMap* map, bool final, bool fullCircle)
    {
        map->NotifyViewers(10008, final ? 1 : 0);
        map->NotifyViewers(10003, fullCircle ? 1 : 0);
    }

private:
    std::vector<WorldMap*> m_opened;
};
