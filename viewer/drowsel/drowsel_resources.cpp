#include "viewer/drowsel/drowsel_resources.h"

#include "viewer/drowsel/drowsel_wnd.h"

#include "platform/win/resources.h"

#ifndef DROWSEL_VERSION
#define DROWSEL_VERSION "0.1"
#endif
#ifndef DROWSEL_HOME_PAGE
#define DROWSEL_HOME_PAGE "http://www.quorvane.com"
#endif

namespace drowsel {

using win::ControlKind;
using win::ControlTemplate;

const char* VersionText()
{
    return DROWSEL_VERSION;
}

const char* HomePage()
{
    return DROWSEL_HOME_PAGE;
}

void RegisterResources()
{
    win::ResourceModule& app = win::Resources::App();
    app.AddString(IDS_DESCRIPTION, "MFC Screen Saver");
    app.AddCursor(kSaverCursorId);

    win::DialogTemplate config;
    config.id = IDD_CONFIG;
    config.caption = "Quorvane Drowsel Configuration";
    config.size = SIZE{420, 250};
    config.controls = {
        ControlTemplate(0, ControlKind::Static, RECT{10, 12, 130, 30}, "Album or panorama:"),
        ControlTemplate(IDC_IMAGE_PATH, ControlKind::Edit, RECT{10, 32, 300, 54}, "", ES_AUTOHSCROLL | WS_GROUP),
        ControlTemplate(IDC_BROWSE, ControlKind::PushButton, RECT{310, 32, 410, 54}, "Browse ..."),
        ControlTemplate(IDC_ADD_TO_ALBUM, ControlKind::PushButton, RECT{310, 60, 410, 82}, "Add to Album"),
        ControlTemplate(0, ControlKind::Static, RECT{10, 64, 110, 82}, "Time per image"),
        ControlTemplate(IDC_PERIOD, ControlKind::Edit, RECT{115, 60, 175, 82}, ""),
        ControlTemplate(0, ControlKind::Static, RECT{180, 64, 220, 82}, "min"),
        ControlTemplate(0, ControlKind::Static, RECT{10, 100, 50, 118}, "Left"),
        ControlTemplate(IDC_SPEED, ControlKind::Slider, RECT{55, 96, 350, 122}, "", TBS_AUTOTICKS),
        ControlTemplate(0, ControlKind::Static, RECT{360, 100, 410, 118}, "Right"),
        ControlTemplate(0, ControlKind::Static, RECT{10, 140, 50, 158}, "50%"),
        ControlTemplate(IDC_HEIGHT, ControlKind::Slider, RECT{55, 136, 300, 162}, "", TBS_AUTOTICKS),
        ControlTemplate(0, ControlKind::Static, RECT{305, 140, 345, 158}, "90%"),
        ControlTemplate(IDC_HEIGHT_VALUE, ControlKind::Static, RECT{355, 140, 410, 158}, ""),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{120, 210, 200, 234}, "OK"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{210, 210, 290, 234}, "Cancel"),
        ControlTemplate(IDC_HELP_BUTTON, ControlKind::PushButton, RECT{300, 210, 380, 234}, "Help"),
    };
    app.AddDialog(std::move(config));

    win::DialogTemplate help;
    help.id = IDD_CONFIG_HELP;
    help.caption = "Drowsel Config Help";
    help.size = SIZE{360, 180};
    help.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    help.controls = {
        ControlTemplate(0, ControlKind::Static, RECT{10, 10, 350, 130},
                        "Choose a panorama, a picture or an album file (a text file with one picture path a "
                        "line). \"Add to Album\" puts the chosen picture at the top of an album. The speed "
                        "slider sets how fast and which way the picture scrolls, the height slider how much "
                        "of the screen's height a scrolling picture fills; each album entry shows for the "
                        "given minutes."),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{140, 145, 220, 169}, "OK"),
    };
    app.AddDialog(std::move(help));

    win::DialogTemplate about;
    about.id = IDD_ABOUTBOX;
    about.caption = "About Saver";
    about.size = SIZE{300, 130};
    about.controls = {
        ControlTemplate(0, ControlKind::Static, RECT{10, 10, 290, 30}, std::string("Drowsel ") + VersionText()),
        ControlTemplate(0, ControlKind::Static, RECT{10, 34, 290, 54}, "Quorvane panorama screen saver"),
        ControlTemplate(IDC_HOME_LINK, ControlKind::PushButton, RECT{10, 62, 290, 86}, HomePage()),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{110, 96, 190, 120}, "OK"),
    };
    app.AddDialog(std::move(about));
}

}  // namespace drowsel
