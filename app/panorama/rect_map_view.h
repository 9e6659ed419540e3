// The panorama view that shows a world map. The class keeps the list of open
// panorama views, the front (most recently activated) one first. The
// panorama-views issue fills in its drawing, events and commands.
#pragma once

#include "platform/win/doc_view.h"
#include "worldmap/data_viewer.h"

class List;

class CRectMapView : public CView, public DataViewer {
public:
    CRectMapView();
    ~CRectMapView() override;
    void OnDraw(CDC*) override {}
    int Notify(int event, WorldMap* map, std::uintptr_t param) override;

    // The open panorama views; GetData(0) is the front one (null when none).
    static List& Views();
    // Moves this view to the front of the list.
    void MoveToFront();
};

// The panorama window's view (the panorama template's view class).
class CWorldMapView : public CView {
public:
    void OnDraw(CDC*) override {}
};
