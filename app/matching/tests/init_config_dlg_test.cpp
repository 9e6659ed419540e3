// The Initial Configuration dialog: its ranges, the hidden focal-mode index,
// the values taken from the live settings, OK field by field and Cancel,
// and the camera file's name as drawn.
#include "app/control/super_manager.h"
#include "app/matching/app_config.h"
#include "app/matching/init_config_dlg.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"

#include <cstring>

namespace {

class InitConfigDlgTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
    }
    std::unique_ptr<SuperManager> MakeManager()
    {
        auto manager = std::make_unique<SuperManager>();
        SetSuperManager(manager.get());
        return manager;
    }
    static std::string Text(CDialog& d, UINT id) { return d.GetDlgItem(id)->GetWindowText(); }
    static void Type(CDialog& d, UINT id, const std::string& text)
    {
        win::user::TypeText(d.GetDlgItem(id)->m_hWnd, text);
    }
    // Runs the dialog on `config` with one scripted step; its result.
    INT_PTR Run(AppConfig& config, std::function<void(CDialog&)> step)
    {
        Prompter().ExpectDialog(CInitConfigDlg::kTemplateId, std::move(step));
        CInitConfigDlg dialog;
        dialog.SetConfig(&config);
        return dialog.DoModal();
    }
};

TEST_F(InitConfigDlgTest, TheControlsShowTheRecord)
{
    AppConfig config;
    config.SetCamInfoFile("cam one.camInfo");
    config.focalLength = 28.5f;
    config.autoBalance = 0;
    config.blendWidth = 33;
    config.blendMethod = 0;
    config.screenSaverHint = 0;
    EXPECT_EQ(Run(config,
                  [&](CDialog& d) {
                      EXPECT_EQ(d.GetWindowText(), "Initial Configuration");
                      EXPECT_EQ(Text(d, CInitConfigDlg::kCamInfoStatic), "cam one.camInfo");
                      EXPECT_EQ(Text(d, CInitConfigDlg::kFocalEdit), "28.5");
                      EXPECT_EQ(d.IsDlgButtonChecked(CInitConfigDlg::kAutoBalanceCheck), 0u);
                      EXPECT_EQ(Text(d, CInitConfigDlg::kBlendWidthEdit), "33");
                      EXPECT_EQ(d.GetCheckedRadioButton(CInitConfigDlg::kFixedRadio, CInitConfigDlg::kElasticRadio),
                                static_cast<int>(CInitConfigDlg::kElasticRadio));
                      EXPECT_EQ(d.IsDlgButtonChecked(CInitConfigDlg::kScreenSaverCheck), 0u);
                      win::user::ClickControl(d.GetDlgItem(IDCANCEL));
                  }),
              IDCANCEL);
    AppConfig none;
    Run(none, [&](CDialog& d) {
        EXPECT_EQ(Text(d, CInitConfigDlg::kCamInfoStatic), "None");
        win::user::ClickControl(d.GetDlgItem(IDCANCEL));
    });
}

TEST_F(InitConfigDlgTest, OutOfRangeValuesAreRefusedAndTheDialogStaysOpen)
{
    AppConfig config;
    Prompter().ExpectDialog(CInitConfigDlg::kTemplateId, [&](CDialog& d) {
        Type(d, CInitConfigDlg::kBlendWidthEdit, "1");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    Prompter().ExpectMessageBox(win::IntegerRangeMessage(2, 50), IDOK);
    Prompter().ExpectDialog(CInitConfigDlg::kTemplateId, [&](CDialog& d) {
        EXPECT_FALSE(d.HasEnded());
        Type(d, CInitConfigDlg::kBlendWidthEdit, "50");
        Type(d, CInitConfigDlg::kFocalEdit, "2.9");
        // Leaving the edit runs the exchange at once.
        ::SetFocus(d.GetDlgItem(CInitConfigDlg::kFocalEdit)->m_hWnd);
        ::SetFocus(d.GetDlgItem(CInitConfigDlg::kBlendWidthEdit)->m_hWnd);
    });
    Prompter().ExpectMessageBox(win::NumberRangeMessage(3.0, 150.0), IDOK);
    Prompter().ExpectDialog(CInitConfigDlg::kTemplateId, [&](CDialog& d) {
        EXPECT_FALSE(d.HasEnded());
        Type(d, CInitConfigDlg::kFocalEdit, "150");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    CInitConfigDlg dialog;
    dialog.SetConfig(&config);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(config.blendWidth, 50);
    EXPECT_EQ(config.focalLength, 150.0f);
    EXPECT_TRUE(config.IsModified());
}

TEST_F(InitConfigDlgTest, TheHiddenIndexCarriesTheFocalMode)
{
    struct Case {
        int mode;
        int index;
        int stored;
        bool modified;
    };
    // Modes 3 and 4 have no index: the first one (known) stays and is stored.
    const Case cases[] = {{2, 0, 2, false}, {0, 1, 0, false}, {1, 2, 1, false}, {3, 0, 2, true}, {4, 0, 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        AppConfig config;
        config.focalMode = c.mode;
        Prompter().ExpectDialog(CInitConfigDlg::kTemplateId,
                                [&](CDialog& d) { win::user::ClickControl(d.GetDlgItem(IDOK)); });
        CInitConfigDlg dialog;
        dialog.SetConfig(&config);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(dialog.GetFocalIndex(), c.index);
        EXPECT_EQ(config.focalMode, c.stored);
        EXPECT_EQ(config.IsModified(), c.modified);
    }
}

TEST_F(InitConfigDlgTest, OkStoresEveryChangedFieldAndCancelNone)
{
    for (const int button : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(button);
        AppConfig config;
        config.focalMode = 2;
        config.SetCamInfoFile("old.camInfo");
        config.cameraType = 0;
        Run(config, [&](CDialog& d) {
            d.SetDlgItemText(CInitConfigDlg::kCamInfoStatic, "None");
            Type(d, CInitConfigDlg::kFocalEdit, "24");
            win::user::ClickControl(d.GetDlgItem(CInitConfigDlg::kAutoBalanceCheck));
            Type(d, CInitConfigDlg::kBlendWidthEdit, "8");
            win::user::ClickControl(d.GetDlgItem(CInitConfigDlg::kElasticRadio));
            win::user::ClickControl(d.GetDlgItem(CInitConfigDlg::kScreenSaverCheck));
            win::user::ClickControl(d.GetDlgItem(button));
        });
        const bool ok = button == IDOK;
        EXPECT_EQ(config.IsModified(), ok);
        EXPECT_STREQ(config.GetCamInfoFile(), ok ? nullptr : "old.camInfo");
        EXPECT_EQ(config.focalLength, ok ? 24.0f : 35.0f);
        EXPECT_EQ(config.autoBalance, ok ? 0 : 1);
        EXPECT_EQ(config.blendWidth, ok ? 8 : 20);
        EXPECT_EQ(config.blendMethod, ok ? 0 : 1);
        EXPECT_EQ(config.screenSaverHint, ok ? 0 : 1);
        EXPECT_EQ(config.focalMode, 2);
        EXPECT_EQ(config.cameraType, 0);
    }
}

TEST_F(InitConfigDlgTest, CurrentSettingsFillTheControlsAndLeaveTheRecord)
{
    matching_test::WriteAll(Home().file("appdata") + "/Quorvane/config/fendrake.cfg", "[BlendMethod] 0\n");
    auto manager = MakeManager();
    manager->ModifyFlags(0, kFlagDistortionOn);
    manager->SetCamInfoFileName("live.camInfo");
    manager->GetBlendSettings()->autoBalance = 0;
    manager->GetBlendSettings()->blendWidth = 41;
    manager->GetStitchSettings()->focalLength = 31.0f;
    // A merged pair whose first frame stands for 48 mm: 1000 px across a
    // shorter side of 500 px.
    matching_test::MakeMergedPair(*manager, 800, 500, 1000.0f);

    struct Case {
        int focalType;
        int index;         // the hidden index afterwards (it starts at 1: mode 0 in the record)
        const char* focal;  // the focal edit's text
    };
    const Case cases[] = {{2, 0, "48"}, {0, 1, "48"}, {1, 2, "31"}, {3, 1, "48"}, {4, 1, "48"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focalType);
        manager->GetStitchSettings()->focalType = c.focalType;
        AppConfig config;
        config.focalMode = 0;
        config.screenSaverHint = 1;
        Prompter().ExpectDialog(CInitConfigDlg::kTemplateId, [&](CDialog& d) {
            // The tip box is not live state: the user's click stays.
            win::user::ClickControl(d.GetDlgItem(CInitConfigDlg::kScreenSaverCheck));
            win::user::ClickControl(d.GetDlgItem(CInitConfigDlg::kFromCurrentButton));
            EXPECT_EQ(Text(d, CInitConfigDlg::kCamInfoStatic), "live.camInfo");
            EXPECT_EQ(Text(d, CInitConfigDlg::kFocalEdit), c.focal);
            EXPECT_EQ(d.IsDlgButtonChecked(CInitConfigDlg::kAutoBalanceCheck), 0u);
            EXPECT_EQ(Text(d, CInitConfigDlg::kBlendWidthEdit), "41");
            EXPECT_EQ(d.GetCheckedRadioButton(CInitConfigDlg::kFixedRadio, CInitConfigDlg::kElasticRadio),
                      static_cast<int>(CInitConfigDlg::kElasticRadio));
            EXPECT_EQ(d.IsDlgButtonChecked(CInitConfigDlg::kScreenSaverCheck), 0u);
            EXPECT_EQ(static_cast<CInitConfigDlg&>(d).GetFocalIndex(), c.index);
            win::user::ClickControl(d.GetDlgItem(IDCANCEL));
        });
        CInitConfigDlg dialog;
        dialog.SetConfig(&config);
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_FALSE(config.IsModified());
        EXPECT_EQ(config.GetCamInfoFile(), nullptr);
        EXPECT_EQ(config.blendWidth, 20);
    }
    // Without camera-information correction the static reads "None"; OK
    // then stores what the live settings gave.
    manager->ModifyFlags(kFlagDistortionOn, 0);
    manager->GetStitchSettings()->focalType = 1;
    AppConfig config;
    config.SetCamInfoFile("old.camInfo");
    Run(config, [&](CDialog& d) {
        win::user::ClickControl(d.GetDlgItem(CInitConfigDlg::kFromCurrentButton));
        EXPECT_EQ(Text(d, CInitConfigDlg::kCamInfoStatic), "None");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    EXPECT_TRUE(config.IsModified());
    EXPECT_EQ(config.GetCamInfoFile(), nullptr);
    EXPECT_EQ(config.focalMode, 1);
    EXPECT_EQ(config.focalLength, 31.0f);
    EXPECT_EQ(config.blendWidth, 41);
    EXPECT_EQ(config.blendMethod, 0);
    EXPECT_EQ(config.autoBalance, 0);
}

TEST_F(InitConfigDlgTest, TheMenuCommandRunsTheDialogOnTheManagersRecord)
{
    ASSERT_TRUE(Start());
    Prompter().ExpectDialog(CInitConfigDlg::kTemplateId, [&](CDialog& d) {
        Type(d, CInitConfigDlg::kBlendWidthEdit, "12");
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    EXPECT_TRUE(win::user::ChooseCommand(&Main(), 32896));
    EXPECT_EQ(Manager().GetConfig()->blendWidth, 12);
    EXPECT_TRUE(Manager().GetConfig()->IsModified());
}

TEST_F(InitConfigDlgTest, TheCameraFileNameIsDrawnAsAStaticAlone)
{
    AppConfig config;
    const char* name = "Panasonic-DMC-TZ41.camInfo";
    config.SetCamInfoFile(name);
    Image* inDialog = nullptr;
    RECT rect{};
    Run(config, [&](CDialog& d) {
        CWnd* label = d.GetDlgItem(CInitConfigDlg::kCamInfoStatic);
        label->GetClientRect(&rect);
        win::PaintAll();
        inDialog = win::CaptureWindow(label->m_hWnd);
        win::user::ClickControl(d.GetDlgItem(IDCANCEL));
    });
    ASSERT_NE(inDialog, nullptr);
    // The same static, alone in a plain window.
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, "alone", WS_POPUP | WS_VISIBLE, RECT{0, 0, 400, 100}, nullptr, 0));
    CStatic alone;
    ASSERT_TRUE(alone.Create(name, WS_CHILD | WS_VISIBLE, RECT{0, 0, rect.right, rect.bottom}, &parent, 1179));
    win::PaintAll();
    Image* reference = win::CaptureWindow(alone.m_hWnd);
    ASSERT_NE(reference, nullptr);
    ASSERT_EQ(inDialog->GetWidth(), reference->GetWidth());
    ASSERT_EQ(inDialog->GetHeight(), reference->GetHeight());
    int dark = 0, differing = 0;
    for (int y = 0; y < reference->GetHeight(); ++y) {
        const unsigned char* p = inDialog->GetData() + static_cast<size_t>(y) * inDialog->GetRowByte();
        const unsigned char* q = reference->GetData() + static_cast<size_t>(y) * reference->GetRowByte();
        for (int x = 0; x < reference->GetWidth() * 3; ++x) {
            differing += p[x] != q[x];
            dark += p[x] < 80;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(dark, 30);  // the text is there
    ReleaseImage(inDialog);
    ReleaseImage(reference);
    alone.DestroyWindow();
    parent.DestroyWindow();
}

}  // namespace
