#include "app/panorama/rect_map_view.h"

#include "imaging/list.h"

CRectMapView::CRectMapView()
{
    Views().Append(this);
}

CRectMapView::~CRectMapView()
{
    Views().RemoveData(static_cast<void*>(this));
}

int CRectMapView::Notify(int, WorldMap*, std::uintptr_t)
{
    return 0;
}

List& CRectMapView::Views()
{
    static List views(nullptr, 4);
    return views;
}

void CRectMapView::MoveToFront()
{
    const int index = Views().GetIndex(this);
    if (index > 0) Views().MoveToTop(index);
}
