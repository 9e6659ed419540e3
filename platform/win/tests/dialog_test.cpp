// Dialogs: the modal loop, OnInitDialog, OnOK/OnCancel, data exchange in
// both directions, range checks that keep the dialog open, the dialog keys
// and modeless dialogs; the prompter failing on what was not scripted.
#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/dialog.h"
#include "platform/win/frame_wnd.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/user_input.h"
#include "platform/win/window_system.h"

#include <string>

namespace {

using win::ControlKind;

constexpr UINT kDialog = 300;
constexpr int kFocal = 1001, kRatio = 1002, kName = 1003, kCheck = 1004, kRadio1 = 1005, kRadio2 = 1006,
              kRadio3 = 1007, kDropList = 1008, kEditable = 1009, kLevel = 1010;

void RegisterSettingsDialog()
{
    win::DialogTemplate t;
    t.id = kDialog;
    t.caption = "Settings";
    t.size = SIZE{300, 220};
    t.controls = {
        {IDOK, ControlKind::DefPushButton, RECT{200, 10, 280, 34}, "OK"},
        {IDCANCEL, ControlKind::PushButton, RECT{200, 40, 280, 64}, "Cancel"},
        {kFocal, ControlKind::Edit, RECT{10, 10, 100, 30}, ""},
        {kRatio, ControlKind::Edit, RECT{10, 40, 100, 60}, ""},
        {kName, ControlKind::Edit, RECT{10, 70, 100, 90}, ""},
        {kCheck, ControlKind::CheckBox, RECT{10, 100, 100, 120}, "Loop"},
        {kRadio1, ControlKind::RadioButton, RECT{10, 130, 60, 150}, "A", WS_GROUP},
        {kRadio2, ControlKind::RadioButton, RECT{60, 130, 110, 150}, "B"},
        {kRadio3, ControlKind::RadioButton, RECT{110, 130, 160, 150}, "C"},
        {kDropList, ControlKind::ComboDropList, RECT{10, 160, 100, 180}, "", WS_GROUP},
        {kEditable, ControlKind::ComboDropDown, RECT{110, 160, 200, 180}, ""},
        {kLevel, ControlKind::Slider, RECT{10, 190, 200, 210}, ""},
    };
    win::Resources::App().AddDialog(t);
}

// A dialog with one member per kind of exchange.
class SettingsDialog : public CDialog {
public:
    SettingsDialog() : CDialog(kDialog) {}
    int focal = 35;
    float ratio = 0.75f;
    std::string name = "pano";
    int loop = 1;
    int method = 2;
    int blend = 1;
    std::string camera = "35";
    int level = 0;
    int initCalls = 0;

    BOOL OnInitDialog() override
    {
        ++initCalls;
        auto* list = static_cast<CComboBox*>(GetDlgItem(kDropList));
        for (const char* s : {"Fixed", "Elastic", "Preview"}) list->AddString(s);
        auto* cam = static_cast<CComboBox*>(GetDlgItem(kEditable));
        for (const char* s : {"18", "24", "35", "38"}) cam->AddString(s);
        static_cast<CSliderCtrl*>(GetDlgItem(kLevel))->SetRange(0, 50);
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Text(dx, kFocal, focal);
        DDV_MinMaxInt(dx, focal, 10, 500);
        DDX_Text(dx, kRatio, ratio);
        DDV_MinMaxFloat(dx, ratio, 0.1f, 2.0f);
        DDX_Text(dx, kName, name);
        DDX_Check(dx, kCheck, loop);
        DDX_Radio(dx, kRadio1, method);
        DDX_CBIndex(dx, kDropList, blend);
        DDX_CBString(dx, kEditable, camera);
        DDX_Slider(dx, kLevel, level);
    }
};

class DialogTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        RegisterSettingsDialog();
    }
    static std::string Text(CDialog& d, int id) { return d.GetDlgItem(id)->GetWindowText(); }
};

TEST_F(DialogTest, ModalDialogLoadsControlsAndSavesThemOnOk)
{
    SettingsDialog dlg;
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        // Loaded from the members when the dialog opened.
        EXPECT_EQ(Text(d, kFocal), "35");
        EXPECT_EQ(Text(d, kRatio), "0.75");
        EXPECT_EQ(Text(d, kName), "pano");
        EXPECT_EQ(d.IsDlgButtonChecked(kCheck), 1u);
        EXPECT_EQ(d.GetCheckedRadioButton(kRadio1, kRadio3), kRadio3);
        EXPECT_EQ(Text(d, kDropList), "Elastic");
        EXPECT_EQ(Text(d, kEditable), "35");
        // The user changes every control.
        win::user::TypeText(d.GetDlgItem(kFocal)->m_hWnd, "  50 ");
        win::user::TypeText(d.GetDlgItem(kRatio)->m_hWnd, "1.5");
        win::user::TypeText(d.GetDlgItem(kName)->m_hWnd, "tour");
        win::user::ClickControl(d.GetDlgItem(kCheck));
        win::user::ClickControl(d.GetDlgItem(kRadio1));
        win::user::SelectComboItem(d.GetDlgItem(kDropList)->m_hWnd, 2);
        win::user::TypeText(d.GetDlgItem(kEditable)->m_hWnd, "28");
        win::user::DragSliderTo(d.GetDlgItem(kLevel)->m_hWnd, 30);
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.initCalls, 1);
    EXPECT_EQ(dlg.focal, 50);
    EXPECT_FLOAT_EQ(dlg.ratio, 1.5f);
    EXPECT_EQ(dlg.name, "tour");
    EXPECT_EQ(dlg.loop, 0);
    EXPECT_EQ(dlg.method, 0);
    EXPECT_EQ(dlg.blend, 2);
    EXPECT_EQ(dlg.camera, "28");
    EXPECT_EQ(dlg.level, 30);
    EXPECT_EQ(dlg.m_hWnd, nullptr);  // the window went with the loop
}

TEST_F(DialogTest, ARangeFailureKeepsTheDialogOpenWithTheRangeMessage)
{
    SettingsDialog dlg;
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        win::user::TypeText(d.GetDlgItem(kFocal)->m_hWnd, "5");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    Prompter().ExpectMessageBox(win::IntegerRangeMessage(10, 500), IDOK);
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        EXPECT_FALSE(d.HasEnded());
        EXPECT_TRUE(::IsWindowVisible(d.m_hWnd));
        // The focus is back on the failing edit.
        EXPECT_EQ(::GetFocus(), d.GetDlgItem(kFocal)->m_hWnd);
        win::user::TypeText(d.GetDlgItem(kRatio)->m_hWnd, "9");
        win::user::TypeText(d.GetDlgItem(kFocal)->m_hWnd, "60");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    Prompter().ExpectMessageBox(win::NumberRangeMessage(0.1f, 2.0f), IDOK);
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        win::user::TypeText(d.GetDlgItem(kRatio)->m_hWnd, "0.5");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.focal, 60);
    EXPECT_FLOAT_EQ(dlg.ratio, 0.5f);
}

TEST_F(DialogTest, TextThatIsNoNumberIsRefusedAndTheMemberStaysAsItWas)
{
    SettingsDialog dlg;
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        win::user::TypeText(d.GetDlgItem(kFocal)->m_hWnd, "35mm");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    Prompter().ExpectMessageBox(win::NotAnIntegerMessage(), IDOK);
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        EXPECT_EQ(static_cast<SettingsDialog&>(d).focal, 35);
        win::user::ClickControl(d.GetDlgItem(IDCANCEL));
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.focal, 35);
}

TEST_F(DialogTest, TheOwnerTakesNoInputWhileTheModalDialogRuns)
{
    CFrameWnd* frame = new CFrameWnd;
    ASSERT_TRUE(frame->Create(nullptr, "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, RECT{0, 0, 400, 300}));
    SettingsDialog dlg;
    dlg.m_pParentWnd = frame;
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        EXPECT_FALSE(frame->IsWindowEnabled());
        EXPECT_EQ(d.GetOwner(), frame);
        // Escape cancels.
        win::user::PressKey(VK_ESCAPE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(frame->IsWindowEnabled());
    frame->DestroyWindow();
}

TEST_F(DialogTest, EnterPressesTheDefaultButton)
{
    SettingsDialog dlg;
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        d.GetDlgItem(kName)->SetFocus();
        win::user::PressKey(VK_RETURN);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(DialogTest, ClosingTheWindowIsCancelAndKeepsTheEnteredData)
{
    SettingsDialog dlg;
    Prompter().ExpectDialog(kDialog, [&](CDialog& d) {
        win::user::TypeText(d.GetDlgItem(kFocal)->m_hWnd, "50");
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.focal, 35);
    EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
}

TEST_F(DialogTest, AMissingTemplateFailsWithMinusOne)
{
    CDialog dlg(999);
    LogCapture log;
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_TRUE(log.contains("ERROR CDialog::DoModal no dialog resource 999"));
}

TEST_F(DialogTest, AModelessDialogLivesBesideTheLoopAndHidesOnEndDialog)
{
    win::DialogTemplate t;
    t.id = 301;
    t.style |= WS_VISIBLE;
    t.size = SIZE{100, 60};
    t.controls = {{1310, ControlKind::PushButton, RECT{10, 10, 90, 30}, "Cancel"}};
    win::Resources::App().AddDialog(t);
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(301));
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(dlg.IsModal());
    dlg.EndDialog(IDCANCEL);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
    dlg.DestroyWindow();
}

TEST(ScriptedPrompter, ReportsUnscriptedQuestionsAndGivesTheSafeAnswer)
{
    win::ResetRuntime();
    std::vector<std::string> failures;
    win::ScriptedPrompter prompter([&](const std::string& what) { failures.push_back(what); });
    win::SetPrompter(&prompter);
    RegisterSettingsDialog();
    // A message box nobody expected: Cancel of Yes/No/Cancel.
    EXPECT_EQ(::AfxMessageBox("Save changes?", MB_YESNOCANCEL), IDCANCEL);
    // The wrong text fails too, even with an answer waiting.
    prompter.ExpectMessageBox("Delete it?", IDYES);
    EXPECT_EQ(::AfxMessageBox("Delete all?", MB_YESNO), IDNO);
    // A modal dialog with nothing planned ends with Cancel.
    SettingsDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_NE(failures[0].find("Save changes?"), std::string::npos);
    EXPECT_NE(failures[1].find("Delete all?"), std::string::npos);
    EXPECT_NE(failures[2].find("300"), std::string::npos);
    win::SetPrompter(nullptr);
    win::ResetRuntime();
}

}  // namespace
