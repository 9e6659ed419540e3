#include "app/shell/app_resources.h"
#include "app/pairview/pairview_resources.h"
#include "app/shell/stitch_bar.h"
#include "app/shell/img_browser.h"

#include "app/panorama/rect_map_view.h"

#include "app/matching/distortion_adjust_dlg.h"
#include "app/views/exif_info_dlg.h"
#include "app/views/bright_contrast_dlg.h"
#include "app/views/image_size_dlg.h"
#include "app/views/reconvert_dlg.h"
#include "app/matching/select_cam_info_dlg.h"
#include "app/matching/stitch_settings_dlg.h"
#include "app/matching/save_cam_info_dlg.h"
#include "app/matching/cam_info_wizard.h"
#include "app/matching/init_config_dlg.h"
#include "imaging/image.h"
#include "platform/win/resources.h"

namespace {

using win::ControlKind;
using win::ControlTemplate;
using win::DialogTemplate;
using win::MenuItemTemplate;

MenuItemTemplate Item(UINT id, const char* text)
{
    return MenuItemTemplate(id, text);
}

MenuItemTemplate Separator()
{
    return MenuItemTemplate();
}

MenuItemTemplate Popup(const char* text, std::vector<MenuItemTemplate> items)
{
    return MenuItemTemplate(0, text, 0, std::move(items));
}

void AddStrings(win::ResourceModule& app)
{
    app.AddString(128, "Fendrake");
    app.AddString(129, "\nFendrake\nFendrake\nFendrake Files (*.kzp)\n.kzp\nFendrake.kzp\nFendrake Project File");
    app.AddString(130, "Quorvane Fendrake");
    app.AddString(273, "\nImage\nImage\n\n\n\n");
    app.AddString(59000, "                    ");
    app.AddString(59001, "                              ");
    app.AddString(59002, "   ");
    // The camera wizard's refusals.
    app.AddString(40030, "There is already a camera info file being used.\nNo need to save it again!\nCheck Edit/Stitch Settings...");
    app.AddString(40031, "The focal length is set as \\\"Different Unknown\\\".\nCamera info file is only meaningful with "
                         "\\\"Known\\\" or \\\"Same Unknown\\\"!\nCheck Edit/Stitch Settings...");
    app.AddString(61700, "Failed to create empty document.");
    app.AddString(32780, "Show Pellicot\nPellicot");
    app.AddString(32808, "Show panorama window\nPanorama window");
    app.AddString(32771, "Open Image\nOpen Image");
    app.AddString(57600, "Create a new project\nNew Project");
    app.AddString(57601, "Open a project\nOpen Project");
    app.AddString(32866, "Save the project\nSave Project");
    app.AddString(57664, "Program information\nAbout");
    app.AddString(40014, "Please confirm :\n  The first and last image have overlap.");
    app.AddString(40017, "Please save panorama to a file first.");
    app.AddString(40020, "Do you want to save current project?");
    app.AddString(40023, "Distortion correction will be applied to all images.\nIt may take a while...\nPlease confirm!");
    app.AddString(40024, "Distortion correction will be removed from all images.\nIt may take a while...\nPlease confirm!");
    app.AddString(40027, "Please first save panorama to .jpg or .tif file format.");
    app.AddString(40028, "Angular width seems too big, or this is not a rectilinear panorama image?");
    app.AddString(40029,
                  "Angular width is too big, or vertical offset is too much, or this is not a rectilinear panorama "
                  "image?");
    app.AddString(40034, "Do you want save change to current project file:\n   ");
}

void AddMainMenu(win::ResourceModule& app)
{
    win::MenuTemplate menu;
    menu.items = {
        Popup("&File", {Item(57600, "&New Project\tCtrl+N"), Item(57601, "&Open Project ...\tCtrl+O"),
                        Item(32898, "&Close Project"), Item(32866, "&Save Project\tCtrl+S"),
                        Item(32867, "Save Project As ..."), Separator(), Item(32771, "Open Image"),
                        Item(32880, "Load Images To Pellicot"), Separator(), Item(32775, "Page Setup"),
                        Item(57606, "P&rint Setup..."), Separator(), Item(0xE110, "Recent File"), Separator(),
                        Item(57665, "E&xit")}),
        Popup("&View", {Item(32780, "Show Pellicot"), Item(32781, "Show Stitch Toolbar"),
                        Item(33106, "Show Main Toolbar"), Item(32808, "Show panorama window"),
                        Item(32842, "Brightness/Contrast ...")}),
        Popup("&Stitch", {Item(33107, "&Stitch Settings..."), Item(32807, "&Reset Stitching"),
                          Item(32879, "&Predict Photo Number..."), Item(32896, "C&onfiguration...")}),
        Popup("&Tools", {Item(33153, "Create &Web Virtual Tour..."), Item(40016, "Quorvane Marrowick..."),
                         Item(33173, "Launch Optarvo for Distortion/Aberration"),
                         Item(33179, "Save to Camera Info File"),
                         Item(33171, "Add Focal Length to Camera Info File"),
                         Item(33180, "Make Camera Info File Wizard..."), Item(33148, "&Turn On Logging")}),
        Popup("&Help", {Item(32778, "Launch help manual"), Item(33159, "Tutorial"), Item(33121, "&Introduction"),
                        Item(33118, "&Project"), Item(33114, "&Load"), Item(33124, "&Sort"),
                        Item(33125, "&Settings"), Item(33115, "&Stitch"), Item(33116, "&Blend"),
                        Item(33119, "&Edit"), Item(33120, "S&ave"), Item(33117, "P&ost"),
                        Item(33122, "&Advanced Topics"), Item(33126, "&Express Stitch"),
                        Item(33156, "&Create Virtual Tour"), Item(33157, "&Diagnostics and Feedback"),
                        Item(33108, "&Make Custom Camera Info File"), Item(33175, "&Optarvo Help"), Separator(),
                        Item(32882, "Product Update"), Item(32883, "Online &Support"),
                        Item(32885, "Quorvane &Home Page"), Item(32886, "&Product News"),
                        Item(32884, "Web &Tutorial"), Separator(),
                        Item(57664, "&About Quorvane Fendrake...")}),
    };
    app.AddMenu(130, std::move(menu));
}

void AddDialogs(win::ResourceModule& app)
{
    DialogTemplate about;
    about.id = 100;
    about.caption = "About Fendrake";
    about.size = SIZE{300, 120};
    about.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{70, 16, 290, 32}, "Quorvane Fendrake"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{70, 36, 290, 52}, "1.8.0.0"),
        ControlTemplate(1229, ControlKind::PushButton, RECT{70, 80, 180, 104}, "Web site"),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{200, 80, 280, 104}, "OK", WS_GROUP),
    };
    app.AddDialog(std::move(about));

    DialogTemplate splash;
    splash.id = 161;
    splash.size = SIZE{320, 200};
    splash.style = WS_POPUP;
    splash.controls = {ControlTemplate(1000, ControlKind::StaticBitmap, RECT{0, 0, 320, 200})};
    app.AddDialog(std::move(splash));

    AddStitchBarResources(app);

    AddBrightContrastDialog(app);

    DialogTemplate photos;
    photos.id = 213;
    photos.caption = "Number of Photos Needed for a Full Panorama";
    photos.size = SIZE{330, 200};
    photos.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{12, 16, 140, 32}, "Camera focal length"),
        ControlTemplate(1147, ControlKind::ComboDropDown, RECT{150, 12, 210, 120}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{216, 16, 240, 32}, "mm"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{12, 46, 140, 62}, "Neighbor photo overlap"),
        ControlTemplate(1148, ControlKind::Edit, RECT{150, 42, 210, 62}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{216, 46, 240, 62}, "%"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{12, 72, 240, 120}, "Photo orientation"),
        ControlTemplate(1222, ControlKind::RadioButton, RECT{24, 90, 120, 108}, "Portrait", WS_GROUP),
        ControlTemplate(1226, ControlKind::RadioButton, RECT{130, 90, 230, 108}, "Landscape"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{12, 134, 160, 150}, "Number of photos needed"),
        ControlTemplate(1150, ControlKind::Static, RECT{170, 134, 240, 150}, ""),
        ControlTemplate(1149, ControlKind::PushButton, RECT{260, 12, 316, 36}, "??", WS_GROUP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{260, 160, 316, 184}, "OK"),
    };
    app.AddDialog(std::move(photos));

    DialogTemplate upload;
    upload.id = 219;
    upload.caption = "Upload Image for Web Printing";
    upload.size = SIZE{400, 130};
    upload.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{12, 16, 100, 32}, "Image file:"),
        ControlTemplate(1163, ControlKind::Static, RECT{104, 16, 390, 32}, ""),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{12, 42, 100, 58}, "Web address:"),
        ControlTemplate(1164, ControlKind::Static, RECT{104, 42, 390, 58}, ""),
        ControlTemplate(1061, ControlKind::PushButton, RECT{104, 80, 240, 104}, "Upload image now", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{300, 80, 390, 104}, "Close"),
    };
    app.AddDialog(std::move(upload));

    DialogTemplate progress;
    progress.id = 297;
    progress.size = SIZE{360, 90};
    progress.style = WS_POPUP | WS_BORDER;
    progress.controls = {
        ControlTemplate(1312, ControlKind::Static, RECT{12, 10, 348, 26}, " "),
        ControlTemplate(1311, ControlKind::Progress, RECT{12, 32, 348, 50}),
        ControlTemplate(1310, ControlKind::PushButton, RECT{140, 58, 220, 82}, "Cancel", WS_GROUP),
    };
    app.AddDialog(std::move(progress));

    AddDistortionAdjustDialog(app);
    AddExifInfoDialog(app);
    AddSelectCamInfoDialog(app);
    AddStitchSettingsDialog(app);
    AddSaveCamInfoDialog(app);
    AddCamInfoWizardDialogs(app);
}

// The splash picture: the program's name band over a dark blue field.
Image* MakeSplashPicture()
{
    auto* picture = new Image(320, 200, 3);
    unsigned char* data = picture->GetData();
    const size_t rowBytes = static_cast<size_t>(picture->GetRowByte());
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            unsigned char* p = data + y * rowBytes + static_cast<size_t>(x) * 3;
            const bool band = y >= 80 && y < 120;
            p[0] = band ? 220 : 120;  // B, G, R
            p[1] = band ? 200 : 60;
            p[2] = band ? 180 : 20;
        }
    return picture;
}

}  // namespace

void RegisterAppResources()
{
    win::ResourceModule& app = win::Resources::App();
    AddStrings(app);
    AddMainMenu(app);
    win::ToolBarTemplate toolBar;
    toolBar.commands = {57600, 57601, 32866, 0, 32771, 32780, 32808, 0, 32842, 33000, 0, 57664};
    app.AddToolBar(128, toolBar);
    AddDialogs(app);
    AddInitConfigDialogTemplate(app);
    RegisterTrayResources();
    RegisterPairViewResources();
    RegisterBrowserResources();
    RegisterPanoramaResources();
    RegisterImageSizeDialog();
    RegisterReconvertDialog();
    for (UINT icon : {128u, 130u, 247u, 248u, 274u}) app.AddIcon(icon);
    for (UINT cursor : {145u, 166u, 244u, 245u, 281u, 282u}) app.AddCursor(cursor);
    Image* splash = MakeSplashPicture();
    app.AddBitmap(262, splash);
    ReleaseImage(splash);
}
