#include "viewer/vistrel/vistrel_resources.h"

#include "platform/win/resources.h"
#include "viewer/vistrel/vistrel_dialogs.h"

#ifndef VISTREL_VERSION
#define VISTREL_VERSION "1.0"
#endif

namespace {

using win::ControlKind;
using win::ControlTemplate;
using win::DialogTemplate;
using win::MenuItemTemplate;

MenuItemTemplate Item(UINT id, const char* text)
{
    return MenuItemTemplate(id, text);
}

MenuItemTemplate Popup(const char* text, std::vector<MenuItemTemplate> items)
{
    return MenuItemTemplate(0, text, 0, std::move(items));
}

void AddStrings(win::ResourceModule& app)
{
    app.AddString(100, "OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
    app.AddString(128, "Quorvane Viewer\n\nQuorvane\nQuorvane Files (*.qxl)\n.qxl\nVistrel\nQuorvane Viewer");
    app.AddString(32781, "Enlarge image by 20%\nzoom in");
    app.AddString(32771, "Reduce image by 20%\nzoom out");
    app.AddString(32774, "Change to panorama viewing mode\npanorama mode");
    app.AddString(32775, "Change to perspective viewing mode\nperspective mode");
    app.AddString(32785, "Rotate image to the left by 90 degrees.\nrotate");
    app.AddString(32796, "open next image in current folder\nopen next");
    app.AddString(32797, "open previous image in current folder\nopen previous");
}

void AddMenus(win::ResourceModule& app)
{
    win::MenuTemplate menu;
    menu.items = {
        Popup("&File", {Item(57601, "&Open...\tCtrl+O"), Item(32796, "Open &Next"), Item(32797, "Open &Previous"),
                        MenuItemTemplate(), Item(57616, "Recent File"), MenuItemTemplate(), Item(57665, "E&xit")}),
        Popup("&View", {Item(32774, "&Panorama"), Item(32775, "P&erspective"), MenuItemTemplate(),
                        Item(32781, "Zoom &+"), Item(32771, "Zoom &-"), Item(32773, "&No Zoom"),
                        Item(32785, "&Rotate")}),
        Popup("&Help", {Item(57670, "Help"),
                        Popup("Quorvane On the Web",
                              {Item(32791, "Frequently Asked &Questions"), Item(32792, "Online &Support"),
                               Item(32793, "&Product News"), Item(32794, "Web &Tutorial"),
                               Item(32795, "Quorvane &Home Page")}),
                        Item(57664, "&About Vistrel...")}),
    };
    app.AddMenu(128, menu);
}

void AddToolBars(win::ResourceModule& app)
{
    win::ToolBarTemplate main;
    main.commands = {57601, 0, 32797, 32796, 0, 32774, 32775, 0, 32781, 32771, 32773, 32785, 0, 57670};
    app.AddToolBar(128, main);
    win::ToolBarTemplate inPlace;
    inPlace.commands = {32774, 32775, 0, 32781, 32771, 32773};
    app.AddToolBar(4, inPlace);
}

void AddDialogs(win::ResourceModule& app)
{
    DialogTemplate help;
    help.id = CVistrelHelpDlg::kTemplateId;
    help.caption = "Vistrel Help";
    help.size = SIZE{460, 300};
    help.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    help.controls = {
        ControlTemplate(1001, ControlKind::Static, RECT{10, 10, 450, 70},
                        "View mode:\n    Right-click in the image area for the floating menu, then choose the\n"
                        "    world-map (curved) view or the perspective (straightened) view."),
        ControlTemplate(1002, ControlKind::Static, RECT{10, 75, 450, 135},
                        "Pan:\n    Put the cursor on image in an off-center area where it becomes a 4-headed\n"
                        "    arrow. Click and drag. A longer dragging distance gives a faster speed."),
        ControlTemplate(1003, ControlKind::Static, RECT{10, 140, 450, 190},
                        "Zoom:\n    Put the cursor on image center area where it becomes a magnifying glass.\n"
                        "    Move right/left to zoom in/out."),
        ControlTemplate(1004, ControlKind::Static, RECT{10, 195, 450, 250},
                        "Auto-spin:\n    Click and drag the mouse as in panning. Image will continue moving even \n"
                        "    when the mouse is released."),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{380, 260, 450, 285}, "Close"),
    };
    app.AddDialog(help);

    DialogTemplate about;
    about.id = CVistrelAboutDlg::kTemplateId;
    about.caption = "About Vistrel";
    about.size = SIZE{300, 120};
    about.controls = {
        ControlTemplate(1010, ControlKind::Static, RECT{60, 15, 290, 35}, "Vistrel Version " VISTREL_VERSION),
        ControlTemplate(CVistrelAboutDlg::kLinkButton, ControlKind::PushButton, RECT{60, 45, 290, 70},
                        VistrelSiteRoot()),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{220, 85, 290, 110}, "OK"),
    };
    app.AddDialog(about);
}

}  // namespace

void RegisterVistrelResources()
{
    win::ResourceModule& app = win::Resources::App();
    AddStrings(app);
    AddMenus(app);
    AddToolBars(app);
    AddDialogs(app);
    app.AddIcon(128);
    // The hit-zone, direction and zoom cursors.
    for (UINT id = 130; id <= 141; ++id) app.AddCursor(id);
}
