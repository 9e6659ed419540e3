// The control's module: self-registration into the stand-in registry file,
// its failures, unregistration, the type-library description, dispatch by
// name, the persisted properties and the property page.
#include "viewer/lumivex/tests/lumivex_ctrl_support.h"

#include "platform/olecontrol/control_module.h"
#include "platform/win/registry_file.h"
#include "platform/win/shell.h"
#include "viewer/lumivex/lumivex_dialogs.h"

#include <filesystem>

namespace {

using win::RegistryFile;

std::string Value(const std::string& key, const std::string& name = "")
{
    std::string v;
    return RegistryFile::GetValue(key, name, v) ? v : std::string("<missing>");
}

class LumivexModuleTest : public LumivexCtrlTest {};

TEST_F(LumivexModuleTest, RegistrationWritesClassesTypeLibraryAndCategories)
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    const std::string cls = std::string("CLSID\\") + kLumivexClsid;
    const struct {
        std::string key, name, value;
    } rows[] = {
        {cls, "", "Lumivex Control"},
        {cls + "\\ProgID", "", "LUMIVEX.LumivexCtrl.1"},
        {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {cls + "\\MiscStatus\\1", "", "131473"},  // 0x20191
        {cls + "\\ToolboxBitmap32", "", "Lumivex.dll, 1"},
        {cls + "\\TypeLib", "", kLumivexTypeLibId},
        {"LUMIVEX.LumivexCtrl.1\\CLSID", "", kLumivexClsid},
        {"LUMIVEX.LumivexPropPage.1", "", "Lumivex Property Page"},
        {"LUMIVEX.LumivexPropPage.1\\CLSID", "", kLumivexPropPageClsid},
        {std::string("TypeLib\\") + kLumivexTypeLibId + "\\1.0", "", "Lumivex ActiveX Control module"},
        {std::string("TypeLib\\") + kLumivexTypeLibId + "\\1.0", "Name", "LUMIVEXLib"},
        {std::string("TypeLib\\") + kLumivexTypeLibId + "\\1.0\\HELPDIR", "", "Lumivex.hlp"},
        {std::string("Interface\\") + kLumivexDispatchIid, "", "_DLumivex"},
        {std::string("Interface\\") + kLumivexDispatchIid + "\\Members", "FileName", "1 property BSTR"},
        {std::string("Interface\\") + kLumivexDispatchIid + "\\Members", "Speed", "2 property short"},
        {std::string("Interface\\") + kLumivexDispatchIid + "\\Members", "ViewMode", "3 property short"},
        {std::string("Interface\\") + kLumivexDispatchIid + "\\Members", "ShowHelp", "4 method"},
        {std::string("Interface\\") + kLumivexDispatchIid + "\\Members", "AboutBox", "-552 method"},
        {std::string("Interface\\") + kLumivexEventsIid, "", "_DLumivexEvents"},
        {std::string("TypeLib\\") + kLumivexTypeLibId + "\\1.0\\CoClass\\" + kLumivexClsid, "", "Lumivex"},
        {std::string("Component Categories\\") + CATID_SafeForScripting, "409", "Controls that are safely scriptable"},
        {std::string("Component Categories\\") + CATID_SafeForInitializing, "409",
         "Controls safely initializable from persistent data"},
        {cls + "\\Implemented Categories\\" + CATID_SafeForScripting, "", ""},
        {cls + "\\Implemented Categories\\" + CATID_SafeForInitializing, "", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(Value(r.key, r.name), r.value) << r.key << " / " << r.name;
    EXPECT_EQ(CLSIDFromProgID(kLumivexProgId), kLumivexClsid);

    // Unregistration takes the classes and their identifiers (and the type
    // library); the categories stay.
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_TRUE(RegistryFile::Entries(cls).empty());
    EXPECT_TRUE(RegistryFile::Entries("LUMIVEX.").empty());
    EXPECT_TRUE(RegistryFile::Entries(std::string("CLSID\\") + kLumivexPropPageClsid).empty());
    EXPECT_TRUE(RegistryFile::Entries(std::string("TypeLib\\") + kLumivexTypeLibId).empty());
    EXPECT_EQ(Value(std::string("Component Categories\\") + CATID_SafeForScripting, "409"),
              "Controls that are safely scriptable");
    EXPECT_EQ(CLSIDFromProgID(kLumivexProgId), "");
}

TEST_F(LumivexModuleTest, ACategoryDescriptionIsCutAt127Characters)
{
    const std::string longText(200, 'd');
    ASSERT_TRUE(CreateComponentCategory("{CAT}", longText, kEnglishLocale));
    EXPECT_EQ(Value("Component Categories\\{CAT}", "409"), std::string(127, 'd'));
    ASSERT_TRUE(CreateComponentCategory("{CAT2}", std::string(127, 'e'), 1031));
    EXPECT_EQ(Value("Component Categories\\{CAT2}", "407"), std::string(127, 'e'));
}

TEST_F(LumivexModuleTest, AnUnwritableRegistryFailsTheTypeLibraryStep)
{
    // A folder where the registry file should be: nothing can be written.
    std::filesystem::create_directories(RegistryFile::Path());
    EXPECT_EQ(DllRegisterServer(), SELFREG_E_TYPELIB);
    EXPECT_EQ(static_cast<uint32_t>(DllRegisterServer()), 0x80040200u);
}

// A factory whose class cannot be registered.
class FailingFactory : public COleObjectFactory {
public:
    FailingFactory() : COleObjectFactory(ClassRegistration{}, ControlMaker([] { return nullptr; })) {}
    bool UpdateRegistry(bool) override { return false; }
};

TEST_F(LumivexModuleTest, AFailingClassStepGivesTheClassError)
{
    COleControlModule module;
    module.SetTypeLib(LumivexModule().TypeLib());
    module.AddFactory(std::make_unique<FailingFactory>());
    EXPECT_EQ(static_cast<uint32_t>(module.RegisterServer()), 0x80040201u);
    EXPECT_EQ(static_cast<uint32_t>(module.UnregisterServer()), 0x80040201u);
    // A class with no identifier is refused by the registration itself.
    ClassRegistration unnamed;
    unnamed.control = true;
    EXPECT_FALSE(AfxOleRegisterControlClass(unnamed));
}

TEST_F(LumivexModuleTest, TheTypeLibraryDescriptionNamesEveryMember)
{
    const std::string odl = DescribeTypeLib(LumivexModule().TypeLib());
    for (const char* line : {"library LUMIVEXLib", "version(1.0)", "helpfile(\"Lumivex.hlp\")",
                             "dispinterface _DLumivex", "[id(1)] BSTR FileName;", "[id(2)] short Speed;",
                             "[id(3)] short ViewMode;", "[id(4)] void ShowHelp();", "[id(-552)] void AboutBox();",
                             "dispinterface _DLumivexEvents", "coclass Lumivex",
                             "helpstring(\"Dispatch interface for Lumivex Control\")"})
        EXPECT_NE(odl.find(line), std::string::npos) << line << "\n" << odl;
}

TEST_F(LumivexModuleTest, DispatchByNameAnswersFileNameShowHelpAndAboutBoxOnly)
{
    CLumivexCtrl& c = Make(300, 200);
    const struct {
        const char* name;
        DISPID id;
    } rows[] = {{"FileName", 1}, {"filename", 1}, {"ShowHelp", 4}, {"AboutBox", -552},
                {"Speed", DISPID_UNKNOWN}, {"ViewMode", DISPID_UNKNOWN}, {"Field of View", DISPID_UNKNOWN}};
    for (const auto& r : rows) EXPECT_EQ(c.GetIDOfName(r.name), r.id) << r.name;
    std::string v;
    EXPECT_FALSE(c.GetProperty("Speed", v));
    EXPECT_FALSE(c.SetProperty("ViewMode", "1"));
    EXPECT_EQ(c.viewMode, C::kWorldMapView);
    EXPECT_EQ(c.GetMiscStatus(), 0x20191u);
    EXPECT_EQ(c.PropertyPageClsids(), std::vector<std::string>{kLumivexPropPageClsid});
}

TEST_F(LumivexModuleTest, ControlsAreMadeFromTheRegistryByProgId)
{
    EXPECT_EQ(CreateControlFromProgID(LumivexModule(), kLumivexProgId), nullptr);  // not registered yet
    ASSERT_EQ(DllRegisterServer(), S_OK);
    std::unique_ptr<COleControl> made(CreateControlFromProgID(LumivexModule(), kLumivexProgId));
    EXPECT_NE(dynamic_cast<CLumivexCtrl*>(made.get()), nullptr);
    // The page's identifier names a page, not a control.
    EXPECT_EQ(CreateControlFromProgID(LumivexModule(), kLumivexPropPageProgId), nullptr);
    const COleObjectFactory* page = DllGetClassObject(kLumivexPropPageClsid);
    ASSERT_NE(page, nullptr);
    std::unique_ptr<COlePropertyPage> p(page->CreatePage());
    EXPECT_NE(dynamic_cast<CLumivexPropPage*>(p.get()), nullptr);
    EXPECT_FALSE(DllCanUnloadNow());  // a control lives
    made.reset();
    EXPECT_TRUE(DllCanUnloadNow());
}

TEST_F(LumivexModuleTest, PropertyExchangeByVersion)
{
    CLumivexCtrl& c = Make(300, 200);
    const struct {
        const char* name;
        PropertyBag bag;
        std::string fileName;
        int speed;
        int mode;
    } rows[] = {
        {"version 1.0", {{"_Version", "65536"}, {"FileName", "a.jpg"}, {"Speed", "5"}, {"ViewMode", "0"}}, "a.jpg", 5,
         C::kWorldMapView},
        {"any other mode value is perspective",
         {{"_Version", "65536"}, {"FileName", "b.jpg"}, {"Speed", "-3"}, {"ViewMode", "7"}}, "b.jpg", -3,
         C::kPerspectiveView},
        {"defaults", {{"_Version", "65536"}}, "", 0, C::kWorldMapView},
        {"another version empties FileName",
         {{"_Version", "131072"}, {"FileName", "c.jpg"}, {"Speed", "9"}, {"ViewMode", "1"}}, "", 0,
         C::kWorldMapView},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        c.fileName = "before.jpg";
        c.speed = 0;
        c.viewMode = C::kWorldMapView;
        c.LoadProperties(r.bag);
        EXPECT_EQ(c.fileName, r.fileName);
        EXPECT_EQ(c.speed, r.speed);
        EXPECT_EQ(c.viewMode, r.mode);
    }
    // Saving writes the version and the mode as 0 or 1.
    c.fileName = "d.jpg";
    c.speed = 12;
    c.viewMode = C::kPerspectiveView;
    PropertyBag saved;
    c.SaveProperties(saved);
    EXPECT_EQ(saved, (PropertyBag{{"_Version", "65536"}, {"FileName", "d.jpg"}, {"Speed", "12"}, {"ViewMode", "1"}}));
}

TEST_F(LumivexModuleTest, ThePropertyPageMovesOnlyTheFileName)
{
    CLumivexCtrl& c = Make(300, 200);
    c.fileName = "old.jpg";
    c.speed = 4;
    std::string shownName, shownFov, shownSpeed;
    Prompter().ExpectDialog(CLumivexPropPage::kTemplateId, [&](CDialog& d) {
        shownName = d.GetDlgItemText(CLumivexPropPage::kFileNameEdit);
        shownFov = d.GetDlgItemText(CLumivexPropPage::kFovEdit);
        shownSpeed = d.GetDlgItemText(CLumivexPropPage::kSpeedEdit);
        d.SetDlgItemText(CLumivexPropPage::kFileNameEdit, "new.jpg");
        d.SetDlgItemText(CLumivexPropPage::kFovEdit, "80");
        d.SetDlgItemText(CLumivexPropPage::kSpeedEdit, "7");
        d.SendMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_TRUE(c.DoVerb(OLEIVERB_PROPERTIES));
    EXPECT_EQ(shownName, "old.jpg");
    EXPECT_EQ(shownFov, "0");    // no property of that name: the page's own value
    EXPECT_EQ(shownSpeed, "0");  // Speed is not answered by name
    EXPECT_EQ(c.fileName, "new.jpg");
    EXPECT_EQ(c.speed, 4);
    EXPECT_TRUE(c.IsModified());
}

TEST_F(LumivexModuleTest, AboutBoxLinkOpensTheSiteAndConfirms)
{
    CLumivexCtrl& c = Make(300, 200);
    win::ClearShellRequests();
    INT_PTR result = -2;
    Prompter().ExpectDialog(CLumivexAboutDlg::kTemplateId, [&](CDialog& d) {
        d.SendMessage(WM_COMMAND, MAKEWPARAM(CLumivexAboutDlg::kLinkButton, BN_CLICKED),
                      reinterpret_cast<LPARAM>(d.GetDlgItem(CLumivexAboutDlg::kLinkButton)->m_hWnd));
        result = d.GetModalResult();
    });
    EXPECT_TRUE(c.InvokeById(DISPID_ABOUTBOX));
    const auto requests = win::ShellRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].verb, "OPEN");
    EXPECT_EQ(requests[0].file, LumivexSiteRoot());
    EXPECT_EQ(requests[0].show, SW_SHOWNORMAL);
    EXPECT_EQ(result, IDOK);
}

TEST_F(LumivexModuleTest, HelpIsMadeOnceAndAgainAfterClosing)
{
    CLumivexCtrl& c = Make(300, 200);
    EXPECT_TRUE(c.Invoke("ShowHelp"));
    CLumivexHelpDlg* first = c.helpDialog;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetWindowText(), "Quorvane Lumivex Help");
    EXPECT_NE(first->GetDlgItemText(1004).find("[Ctrl] key. \n    Image will continue"), std::string::npos);
    c.ShowHelp();
    EXPECT_EQ(c.helpDialog, first);
    EXPECT_TRUE(first->IsWindowVisible());
    first->SendMessage(WM_COMMAND, IDCANCEL, 0);
    win::PumpPendingMessages();
    EXPECT_EQ(c.helpDialog, nullptr);
    Command(C::kCmdHelp);
    ASSERT_NE(c.helpDialog, nullptr);
    EXPECT_TRUE(c.helpDialog->IsWindowVisible());
}

TEST_F(LumivexModuleTest, SplashIsCentredOverTheControlAndNeverLeftOfIt)
{
    const SIZE splash = DialogUnitsToPixels(157, 54);
    const struct {
        int w, h;
        int dx, dy;  // expected offset from the control's corner
    } rows[] = {
        {600, 400, (600 - splash.cx) / 2, (400 - splash.cy) / 2},
        {100, 50, 0, 0},
        {600, 50, (600 - splash.cx) / 2, 0},
    };
    for (const auto& r : rows) {
        CLumivexCtrl& c = Make(r.w, r.h, 100, 80);
        ASSERT_NE(c.splashDialog, nullptr);
        CRect ctrl, box;
        c.GetWindowRect(&ctrl);
        c.splashDialog->GetWindowRect(&box);
        EXPECT_EQ(box.left - ctrl.left, r.dx) << r.w << "x" << r.h;
        EXPECT_EQ(box.top - ctrl.top, r.dy) << r.w << "x" << r.h;
        EXPECT_EQ(box.Width(), splash.cx);
        EXPECT_EQ(box.Height(), splash.cy);
        EXPECT_TRUE(c.splashDialog->IsWindowVisible());
        m_ctrl.reset();
        m_host.DestroyWindow();
    }
}

}  // namespace
