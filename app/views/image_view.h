// The view of an image window: shows its document's image. It is a data
// viewer, so the brightness dialog can take it as its target. The image-view
// issue fills in its drawing, tools and commands.
#pragma once

#include "platform/win/doc_view.h"
#include "worldmap/data_viewer.h"

class CImageView : public CView, public DataViewer {
public:
    void OnDraw(CDC* dc) override;
    int Notify(int event, WorldMap* map, std::uintptr_t param) override;
};
