// A started application with one panorama window, for the mosaic's tests:
// a coded map (every pixel different) or a real panorama scaled by
// ImageMagick, shown as a final map.
#pragma once

#include "app/mosaic/mosaic_layout.h"
#include "app/mosaic/mosaic_maker_dlg.h"
#include "app/mosaic/mosaic_preview_pane.h"
#include "app/panorama/rect_map_view.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/panorama_app_test.h"
#include "app/tests/full_world_map.h"
#include "imaging/image.h"
#include "testkit/testkit.h"
#include "worldmap/world_map.h"

#include <string>

class MosaicTest : public PanoramaAppTest {
protected:
    static uint8_t Code(int row, int column, int channel)
    {
        return static_cast<uint8_t>(1 + (row * 37 + column * 11 + channel * 101) % 251);
    }

    static WorldMap* MakeCodedMap(int width)
    {
        return MakeFullWorldMap(width, 3, [&](int r, int i, int c) { return Code(r, i, c); });
    }

    CRectMapView* Open(WorldMap* map, bool final = true)
    {
        m_map = map;
        CRectMapView* view = OpenWindow(map);
        if (view) Announce(map, final, true);
        return view;
    }

    static void Command(CWnd* wnd, UINT id) { wnd->SendMessage(WM_COMMAND, id, 0); }

    // Starts the mosaic on a coded panorama of `width` columns.
    CRectMapView* StartMosaic(int width = 1000)
    {
        CRectMapView* view = Open(MakeCodedMap(width));
        if (!view) return nullptr;
        Command(view, CRectMapView::kMosaicCommand);
        return view;
    }

    static const uint8_t* Pixel(const Image* image, int x, int y)
    {
        return image->GetData() + static_cast<size_t>(y) * image->GetRowByte() +
               static_cast<size_t>(x) * image->GetChannels();
    }

    WorldMap* m_map = nullptr;
};
