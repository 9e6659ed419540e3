// The "Select Camera Info" dialog driven through the runtime: the three
// sources of its list, the description texts, when "Ignore Focal Length to
// re-calibrate" may be used and what it does to the results, and the two
// share-library buttons.
#include "app/matching/cam_info_file.h"
#include "app/matching/select_cam_info_dlg.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/controls.h"
#include "platform/win/file_system.h"
#include "platform/win/shell.h"
#include "platform/win/user_input.h"

#include <gtest/gtest.h>

#include <set>

namespace {

namespace fs = std::filesystem;

using matching_test::WriteAll;

constexpr const char* kLegacyWarning =
    "Legacy Camera Info should only be used by old stitching projects.\nYou should create your own camera info file "
    "via Edit | Calibrate Camera.\nSee Help | Calibrate Camera for more info.";
constexpr const char* kIgnoreWarning =
    "Stitching will not use calibrated focol length info.\nCheck this if you think such info is inaccurate and\nyou "
    "want to update from the current stitching.\nSee Help | Calibrate Camera for more info.";

class SelectCamInfoDlgTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
        win::ClearShellRequests();
    }
    static std::string UserFolder() { return win::ToPosixPath(CamInfoFolder()); }
    static std::string ShareFolder() { return win::ToPosixPath(CamInfoShareLibFolder()); }
    std::string LegacyFolder() const { return ProgramDir() + "/CameraInfo"; }

    static CListBox& List(CDialog& d) { return *dynamic_cast<CListBox*>(d.GetDlgItem(CSelectCamInfoDlg::kList)); }
    static std::set<std::string> Names(CDialog& d)
    {
        std::set<std::string> names;
        for (int i = 0; i < List(d).GetCount(); ++i) {
            std::string name;
            List(d).GetText(i, name);
            names.insert(name);
        }
        return names;
    }
    static void Select(CDialog& d, const char* name)
    {
        const int index = List(d).FindStringExact(-1, name);
        ASSERT_GE(index, 0) << name;
        win::user::ClickListItem(List(d).m_hWnd, index);
    }
    static void Click(CDialog& d, UINT id) { win::user::ClickControl(d.GetDlgItem(id)); }
    static bool Enabled(CDialog& d, UINT id) { return d.GetDlgItem(id)->IsWindowEnabled(); }
    static std::string Description(CDialog& d)
    {
        return d.GetDlgItem(CSelectCamInfoDlg::kDescription)->GetWindowText();
    }

    // The three sources, each with a file of its own and a decoy.
    void MakeFiles()
    {
        WriteAll(UserFolder() + "/tool.camInfo",
                 "[Version] 1.0\n[CalMethod] Optarvo\n[ExternalLens] No\n[exifCameraMake] Canon\n"
                 "[exifCameraModel] G9\n[distortion] 0.1 0.2 0.3 0.4\n[focal length] 24.500000 mm\n");
        WriteAll(UserFolder() + "/runtime.camInfo", "[CalMethod] Runtime\n[focal length] 31.000000 mm\n");
        fs::create_directories(UserFolder() + "/folder.camInfo");
        WriteAll(UserFolder() + "/notes.txt", "not listed");
        WriteAll(ShareFolder() + "/shared.camInfo_", "[CalMethod] Optarvo\n[focal length] 50.000000 mm\n");
        WriteAll(ShareFolder() + "/CameraInfoShareLibList", "1\nshared.camInfo_\n1.0\n");
        WriteAll(LegacyFolder() + "/old.txt", "[version] 1.0.0\n[camera] old one\n[focal length] 20.000000mm\n");
    }

    // Runs the dialog with one scripted step and returns its result.
    INT_PTR Run(CSelectCamInfoDlg& dialog, std::function<void(CDialog&)> step)
    {
        Prompter().ExpectDialog(CSelectCamInfoDlg::kTemplateId, std::move(step));
        return dialog.DoModal();
    }
};

TEST_F(SelectCamInfoDlgTest, TheListComesFromTheUserAndShareFoldersOrTheLegacyFolder)
{
    MakeFiles();
    CSelectCamInfoDlg dialog;
    Run(dialog, [&](CDialog& d) {
        EXPECT_EQ(d.GetWindowText(), "Select Camera Info");
        EXPECT_EQ(Names(d), (std::set<std::string>{"tool.camInfo", "runtime.camInfo", "shared.camInfo_"}));
        EXPECT_EQ(Description(d), "Please Select from Camera Info list.");
        EXPECT_FALSE(Enabled(d, CSelectCamInfoDlg::kIgnoreFocalCheck));
        Prompter().ExpectMessageBox(kLegacyWarning, IDOK);
        Click(d, CSelectCamInfoDlg::kLegacyCheck);
        EXPECT_EQ(Names(d), (std::set<std::string>{"old.txt"}));
        // Unchecked again: back to the two folders without a warning.
        Click(d, CSelectCamInfoDlg::kLegacyCheck);
        EXPECT_EQ(Names(d).size(), 3u);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(dialog.GetSelectedName(), "");
    EXPECT_EQ(dialog.TakeCamInfo(), nullptr);
}

TEST_F(SelectCamInfoDlgTest, NoFilesAnywhere)
{
    CSelectCamInfoDlg dialog;
    Run(dialog, [&](CDialog& d) {
        EXPECT_EQ(List(d).GetCount(), 0);
        EXPECT_EQ(Description(d), "Find no Camera Info file.\nSee Help | Calibrate Camera for more info");
        Click(d, IDOK);
    });
    EXPECT_EQ(dialog.GetFocalLength(), 0.0f);
    DistortionRecord out;
    EXPECT_FALSE(dialog.GetCorrectionParams(&out));
}

TEST_F(SelectCamInfoDlgTest, WhenTheFocalLengthMayBeIgnored)
{
    MakeFiles();
    struct Case {
        const char* name;
        bool legacy;
        bool ignorable;  // the box is enabled after the selection
        float focal;     // result without ignoring
    };
    const Case cases[] = {
        {"tool.camInfo", false, true, 24.5f},
        {"shared.camInfo_", false, true, 50.0f},
        {"runtime.camInfo", false, false, 31.0f},
        {"old.txt", true, false, -1.0f},  // legacy focal lengths are converted: any positive value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSelectCamInfoDlg dialog;
        EXPECT_EQ(Run(dialog,
                      [&](CDialog& d) {
                          if (c.legacy) {
                              Prompter().ExpectMessageBox(kLegacyWarning, IDOK);
                              Click(d, CSelectCamInfoDlg::kLegacyCheck);
                          }
                          Select(d, c.name);
                          EXPECT_EQ(Enabled(d, CSelectCamInfoDlg::kIgnoreFocalCheck), c.ignorable);
                          EXPECT_NE(Description(d).find("Focal Length: "), std::string::npos) << Description(d);
                          Click(d, IDOK);
                      }),
                  IDOK);
        EXPECT_EQ(dialog.GetSelectedName(), c.name);
        if (c.focal > 0)
            EXPECT_EQ(dialog.GetFocalLength(), c.focal);
        else
            EXPECT_GT(dialog.GetFocalLength(), 0.0f);
        std::unique_ptr<CamInfo> taken(dialog.TakeCamInfo());
        ASSERT_NE(taken, nullptr);
        EXPECT_TRUE(taken->hasFocalLength);
        EXPECT_EQ(taken->GetName(), std::string(c.name));
    }
}

TEST_F(SelectCamInfoDlgTest, IgnoringTheFocalLengthTakesItOutOfTheResults)
{
    MakeFiles();
    CSelectCamInfoDlg dialog;
    Run(dialog, [&](CDialog& d) {
        Select(d, "tool.camInfo");
        Prompter().ExpectMessageBox(kIgnoreWarning, IDOK);
        Click(d, CSelectCamInfoDlg::kIgnoreFocalCheck);
        // A new selection clears the choice again.
        Select(d, "runtime.camInfo");
        EXPECT_FALSE(d.IsDlgButtonChecked(CSelectCamInfoDlg::kIgnoreFocalCheck));
        Select(d, "tool.camInfo");
        Prompter().ExpectMessageBox(kIgnoreWarning, IDOK);
        Click(d, CSelectCamInfoDlg::kIgnoreFocalCheck);
        Click(d, IDOK);
    });
    EXPECT_TRUE(dialog.IsFocalIgnored());
    EXPECT_EQ(dialog.GetFocalLength(), 0.0f);
    DistortionRecord out;
    ASSERT_TRUE(dialog.GetCorrectionParams(&out));
    EXPECT_FLOAT_EQ(out.a, 0.1f);
    std::unique_ptr<CamInfo> taken(dialog.TakeCamInfo());
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->focalLength, 0.0f);
    EXPECT_FALSE(taken->hasFocalLength);
    EXPECT_TRUE(taken->hasDistortion);
    EXPECT_EQ(dialog.TakeCamInfo(), nullptr);  // handed over once
}

TEST_F(SelectCamInfoDlgTest, ShareButtons)
{
    MakeFiles();
    unsetenv("FENDRAKE_CAMINFO_WEB");
    CSelectCamInfoDlg dialog;
    Run(dialog, [&](CDialog& d) {
        Prompter().ExpectMessageBoxPrefix("Please e-mail the Camera Info files shown in the opened window", IDOK);
        Click(d, CSelectCamInfoDlg::kShareMine);
        const auto asked = win::ShellRequests();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].file, CamInfoFolder());
        // Without a web library the update fails quietly and the list stays.
        testing::internal::CaptureStdout();
        Click(d, CSelectCamInfoDlg::kUpdateFromWeb);
        EXPECT_NE(testing::internal::GetCapturedStdout().find("failed loadListFile(): isWebUpdate=1"),
                  std::string::npos);
        EXPECT_EQ(Names(d).size(), 3u);
        Click(d, IDCANCEL);
    });
}

}  // namespace
