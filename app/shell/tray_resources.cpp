// The image tray's resources: its toolbar, the thumbnail and pair menus, the
// tool tips of its commands and its cursors.
#include "app/shell/app_resources.h"

#include "platform/win/resources.h"

void RegisterTrayResources()
{
    using win::MenuItemTemplate;
    win::ResourceModule& app = win::Resources::App();
    app.AddString(33010, "Reset rotate buttons\nReset rotate");
    app.AddString(33011,
                  "Rotate Image to the left by 90 degrees. To rotate all images click on any image while pressing "
                  "Ctrl key\nRotate left");
    app.AddString(33020,
                  "Rotate image to the right by 90 degrees. To rotate all images click on any image while pressing "
                  "Ctrl key\nRotate right");
    app.AddString(32836, "Reverse image order\nReverse order");
    app.AddString(32789, "Set if first and last images have overlap (for a 360 degree panorama)\nLoop");
    app.AddString(32844,
                  "Show overlap window to adjust overlaps of neighbor images (an optional operation to help "
                  "stitching) \nAdjust overlaps");
    app.AddString(32902, "Stitch, blend and crop\nExpress stitch");
    app.AddString(32901, "Load images to Pellicot\nLoad images");

    win::ToolBarTemplate toolBar;
    toolBar.commands = {33010, 33011, 33020, 0, 32836, 32789, 0, 32844, 32902, 0, 32901};
    app.AddToolBar(183, toolBar);

    win::MenuTemplate image;
    image.items = {MenuItemTemplate(0, "Image", 0,
                                    {MenuItemTemplate(32899, "Adjust Brightness/Contrast"),
                                     MenuItemTemplate(33172, "Show Image Exif Info"),
                                     MenuItemTemplate(32900, "Show Full Size Image"),
                                     MenuItemTemplate(33027, "Show Image Names")})};
    app.AddMenu(164, std::move(image));

    win::MenuTemplate pair;
    pair.items = {MenuItemTemplate(
        0, "Pair", 0,
        {MenuItemTemplate(33013, "Adjust image pair"),
         MenuItemTemplate(0, "Select pair blend mode", 0,
                          {MenuItemTemplate(33014, "Use middle line"), MenuItemTemplate(33016, "Right over left"),
                           MenuItemTemplate(33018, "Left over right")})})};
    app.AddMenu(140, std::move(pair));

    for (UINT cursor : {167u, 281u, 282u, 290u}) app.AddCursor(cursor);
}
