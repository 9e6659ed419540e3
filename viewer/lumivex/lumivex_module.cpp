#include "viewer/lumivex/lumivex_module.h"

#include "imaging/image.h"
#include "platform/win/resources.h"
#include "viewer/lumivex/lumivex_ctrl.h"
#include "viewer/lumivex/lumivex_dialogs.h"

#include <cstring>

namespace {

using win::ControlKind;
using win::ControlTemplate;
using win::DialogTemplate;
using win::MenuItemTemplate;

// The control class also registers itself in the two categories of
// controls that are safe in a scripted page.
class CLumivexCtrlFactory : public COleObjectFactory {
public:
    using COleObjectFactory::COleObjectFactory;
    bool UpdateRegistry(bool registering) override
    {
        if (!COleObjectFactory::UpdateRegistry(registering)) return false;
        if (!registering) return true;
        const std::string& clsid = Registration().clsid;
        // Category failures leave the registration's result as it is.
        if (CreateComponentCategory(CATID_SafeForScripting, "Controls that are safely scriptable", kEnglishLocale))
            RegisterClassImplCategory(clsid, CATID_SafeForScripting);
        if (CreateComponentCategory(CATID_SafeForInitializing, "Controls safely initializable from persistent data",
                                    kEnglishLocale))
            RegisterClassImplCategory(clsid, CATID_SafeForInitializing);
        return true;
    }
};

TypeLibDescription LumivexTypeLib()
{
    TypeLibDescription t;
    t.id = kLumivexTypeLibId;
    t.name = "LUMIVEXLib";
    t.version = "1.0";
    t.help = "Lumivex ActiveX Control module";
    t.helpFile = "Lumivex.hlp";
    t.module = "Lumivex.dll";
    t.interfaces = {
        {kLumivexDispatchIid,
         "_DLumivex",
         "Dispatch interface for Lumivex Control",
         {{"FileName", 1, "property BSTR"},
          {"Speed", 2, "property short"},
          {"ViewMode", 3, "property short"},
          {"ShowHelp", 4, "method"},
          {"AboutBox", DISPID_ABOUTBOX, "method"}}},
        {kLumivexEventsIid, "_DLumivexEvents", "Event interface for Lumivex Control", {}},
    };
    t.classId = kLumivexClsid;
    t.className = "Lumivex";
    t.classHelp = "Lumivex Control";
    return t;
}

// Bitmap 210 of the splash: a small panorama-like band on grey.
Image* SplashBitmap()
{
    auto* image = new Image();
    if (image->BmpInit(120, 40, 3) != 0) {
        ReleaseImage(image);
        return nullptr;
    }
    for (int y = 0; y < 40; ++y) {
        uint8_t* row = image->GetData() + static_cast<size_t>(y) * static_cast<size_t>(image->GetRowByte());
        for (int x = 0; x < 120; ++x) {
            const bool band = y >= 12 && y < 28;
            row[3 * x + 0] = band ? static_cast<uint8_t>(120 + x) : 192;
            row[3 * x + 1] = band ? static_cast<uint8_t>(80 + y * 3) : 192;
            row[3 * x + 2] = band ? 40 : 192;
        }
    }
    return image;
}

}  // namespace

void RegisterLumivexResources()
{
    win::ResourceModule& app = win::Resources::App();
    app.AddString(1, "Lumivex Control");
    app.AddString(2, "Lumivex Property Page");
    app.AddString(CLumivexPropPage::kCaptionString, "General");

    win::MenuTemplate menu;
    menu.items = {MenuItemTemplate(
        0, "Popup", 0,
        {MenuItemTemplate(CLumivexCtrl::kCmdPerspective, "Perspective View"),
         MenuItemTemplate(CLumivexCtrl::kCmdWorldMap, "World-map View"), MenuItemTemplate(),
         MenuItemTemplate(CLumivexCtrl::kCmdZoomIn, "Zoom in 10%"),
         MenuItemTemplate(CLumivexCtrl::kCmdZoomOut, "Zoom out 10%"),
         MenuItemTemplate(CLumivexCtrl::kCmdZoomDefault, "Zoom Default"), MenuItemTemplate(),
         MenuItemTemplate(CLumivexCtrl::kCmdHelp, "Help"), MenuItemTemplate(CLumivexCtrl::kCmdAbout, "About Lumivex")})};
    app.AddMenu(CLumivexCtrl::kPopupMenu, menu);

    DialogTemplate page;
    page.id = CLumivexPropPage::kTemplateId;
    page.caption = "General";
    page.size = DialogUnitsToPixels(250, 62);
    // Shown on its own (there is no container's property frame): the frame's
    // OK and Cancel buttons are the page's.
    page.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 12, 130, 30}, "Image File Name"),
        ControlTemplate(CLumivexPropPage::kFileNameEdit, ControlKind::Edit, RECT{135, 10, 365, 30}),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 42, 130, 60}, "Field of View  Angle"),
        ControlTemplate(CLumivexPropPage::kFovEdit, ControlKind::Edit, RECT{135, 40, 200, 60}),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 72, 130, 90}, "Speed"),
        ControlTemplate(CLumivexPropPage::kSpeedEdit, ControlKind::Edit, RECT{135, 70, 200, 90}),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{215, 70, 285, 92}, "OK"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{295, 70, 365, 92}, "Cancel"),
    };
    app.AddDialog(page);

    DialogTemplate help;
    help.id = CLumivexHelpDlg::kTemplateId;
    help.caption = "Quorvane Lumivex Help";
    help.size = SIZE{480, 300};
    help.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    help.controls = {
        ControlTemplate(1001, ControlKind::Static, RECT{10, 10, 470, 70},
                        "View mode:\n   Right-click mouse in image area to bring up the floating menu.\n"
                        "   Select \"World-map View\" (curved) or \"Perspective View\" (straightened)."),
        ControlTemplate(1002, ControlKind::Static, RECT{10, 75, 470, 135},
                        "Pan:\n    Put the cursor on image in an off-center area where it becomes a 4-headed\n"
                        "    arrow. Click and drag. A longer dragging distance gives a faster speed."),
        ControlTemplate(1003, ControlKind::Static, RECT{10, 140, 470, 190},
                        "Zoom:\n    Put the cursor on image center area where it becomes a magnifying glass.\n"
                        "    Move right/left to zoom in/out."),
        ControlTemplate(1004, ControlKind::Static, RECT{10, 195, 470, 250},
                        "Auto-spin:\n    Click and drag the mouse (as in panning) while pressing the [Ctrl] key. \n"
                        "    Image will continue moving when the mouse and the key are released."),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{400, 260, 470, 285}, "Close"),
    };
    app.AddDialog(help);

    DialogTemplate splash;
    splash.id = CLumivexSplashDlg::kTemplateId;
    splash.size = DialogUnitsToPixels(CLumivexSplashDlg::kWidthDlu, CLumivexSplashDlg::kHeightDlu);
    splash.style = WS_POPUP;
    splash.controls = {ControlTemplate(CLumivexSplashDlg::kPictureId, ControlKind::StaticBitmap, RECT{0, 0, splash.size.cx, splash.size.cy},
                                       std::to_string(CLumivexSplashDlg::kBitmapId))};
    app.AddDialog(splash);

    DialogTemplate about;
    about.id = CLumivexAboutDlg::kTemplateId;
    about.caption = "About Lumivex";
    about.size = SIZE{300, 120};
    about.controls = {
        ControlTemplate(1010, ControlKind::Static, RECT{60, 15, 290, 35}, "Lumivex Control Version 1.0"),
        ControlTemplate(CLumivexAboutDlg::kLinkButton, ControlKind::PushButton, RECT{60, 45, 290, 70},
                        LumivexSiteRoot()),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{220, 85, 290, 110}, "OK"),
    };
    app.AddDialog(about);

    if (Image* bitmap = SplashBitmap()) {
        app.AddBitmap(CLumivexSplashDlg::kBitmapId, bitmap);
        ReleaseImage(bitmap);
    }
    app.AddIcon(1);
    for (UINT id = 130; id <= 141; ++id) app.AddCursor(id);
}

bool CLumivexModule::InitInstance()
{
    // The runtime forgets its resources when it is reset (between tests).
    if (!win::Resources::FindBitmap(CLumivexSplashDlg::kBitmapId)) RegisterLumivexResources();
    if (m_started) return true;
    m_started = true;
    ClassRegistration control;
    control.clsid = kLumivexClsid;
    control.progId = kLumivexProgId;
    control.typeName = win::Resources::LoadString(1);
    control.module = "Lumivex.dll";
    control.miscStatus = kLumivexMiscStatus;
    control.toolboxBitmap = 1;
    control.typeLibId = kLumivexTypeLibId;
    control.typeLibVersion = "1.0";
    control.control = true;
    AddFactory(std::make_unique<CLumivexCtrlFactory>(control,
                                                     COleObjectFactory::ControlMaker([] { return new CLumivexCtrl(); })));
    ClassRegistration page;
    page.clsid = kLumivexPropPageClsid;
    page.progId = kLumivexPropPageProgId;
    page.typeName = win::Resources::LoadString(2);
    page.module = "Lumivex.dll";
    AddFactory(std::make_unique<COleObjectFactory>(
        page, COleObjectFactory::PageMaker([]() -> COlePropertyPage* { return new CLumivexPropPage(); })));
    SetTypeLib(LumivexTypeLib());
    return true;
}

int CLumivexModule::ExitInstance()
{
    return 0;
}

CLumivexModule& LumivexModule()
{
    static CLumivexModule module;
    return module;
}

HRESULT DllRegisterServer()
{
    LumivexModule().InitInstance();
    return LumivexModule().RegisterServer();
}

HRESULT DllUnregisterServer()
{
    LumivexModule().InitInstance();
    return LumivexModule().UnregisterServer();
}

const COleObjectFactory* DllGetClassObject(const std::string& clsid)
{
    LumivexModule().InitInstance();
    return LumivexModule().GetClassObject(clsid);
}

bool DllCanUnloadNow()
{
    return LumivexModule().CanUnloadNow();
}
