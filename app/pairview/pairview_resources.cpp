// The pair views' resources: toolbars, the marker view's context menu, the
// tips of their commands and the marker tool cursors.
#include "app/pairview/image_pair_view.h"
#include "app/pairview/pair_overlap_dlg.h"
#include "app/pairview/pairview_resources.h"

#include "platform/win/resources.h"

void RegisterPairViewResources()
{
    using win::MenuItemTemplate;
    win::ResourceModule& app = win::Resources::App();
    app.AddString(32826, "Stitch this image pair\nStitch this image pair");
    app.AddString(32923, "Magnifier\nMagnifier");
    app.AddString(33051, "Tool for adding markers\nadd marker");
    app.AddString(33053, "Tool for moving marker\nmove marker");
    app.AddString(33054, "Tool for erasing marker\nerase marker");
    app.AddString(33055, "Tool for moving image location\nmove Image");

    win::ToolBarTemplate marker;
    marker.commands = {33050, 33051, 0, 33053, 33054, 0, 33055, 32923, 0, 33128, 32826};
    marker.buttonSize = SIZE{19, 19};
    app.AddToolBar(CImagePairView::kToolBarResource, marker);
    win::ToolBarTemplate overlap;
    overlap.commands = {33129, 32826};
    overlap.buttonSize = SIZE{19, 19};
    app.AddToolBar(kOverlapToolBarResource, overlap);

    RegisterPairOverlapDialog();
    for (UINT cursor : {CImagePairView::kCursorAdd, CImagePairView::kCursorMove, CImagePairView::kCursorErase})
        app.AddCursor(cursor);
}
