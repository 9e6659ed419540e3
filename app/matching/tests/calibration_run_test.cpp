// The focal-length calibration after a real stitch: the nine photographs of
// the Durlach horizon row stitched with Hollet through the Stitch button
// (focal type "Same unknown", Exif not used), "Save to Camera Info File"
// through the scripted save dialog, the written file read back, and the
// calibration again once the frames' images were dropped and after the
// project was saved and reopened. Oracle: the photographs' own 35-mm focal
// length as exiftool reads it.
#include "app/control/image_chain.h"
#include "app/control/stitch_driver.h"
#include "app/control/stitch_pair.h"
#include "app/control/stitch_settings.h"
#include "app/control/stitch_wiring.h"
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/save_cam_info_dlg.h"
#include "app/matching/stitch_settings_dlg.h"
#include "app/shell/image_tray_host.h"
#include "app/shell/pellicot.h"
#include "app/shell/stitch_bar.h"
#include "app/tests/app_test_fixture.h"
#include "app/tests/stitch_run_wait.h"
#include "imaging/image.h"
#include "platform/win/file_dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/user_input.h"
#include "platform/win/win_thread.h"
#include "projectgraph/framegrp/image_frame.h"
#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

class CalibrationRunTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(testkit::RequireTool("exiftool"));
        ASSERT_TRUE(Start());
        InstallStitchServices();
        ClearMatchingRequest();
    }
    void TearDown() override
    {
        win::JoinWorkerThreads(10000);
        AppTest::TearDown();
    }
    static std::string Photo(int number)
    {
        return TestData("huginsample-durlach/half/P1060" + std::to_string(number) + ".JPG");
    }
    bool PumpUntilIdle(int limitMs) { return PumpUntilStitchIdle(Manager(), limitMs); }
};

TEST_F(CalibrationRunTest, DurlachRowCalibratesTheFocalLengthAndTheFileReadsBack)
{
    // The oracle first: every photograph says 25 mm.
    const testkit::CommandResult exif = testkit::Run("exiftool -s3 -n -FocalLengthIn35mmFormat '" + Photo(369) + "'");
    ASSERT_EQ(exif.status, 0) << exif.output;
    const double exifFocal = std::atof(exif.output.c_str());
    ASSERT_EQ(exifFocal, 25.0) << exif.output;

    for (int number = 369; number <= 377; ++number) {
        auto* stamp = new Image(64, 48, 3);
        Manager().AddImageFrame(stamp, Photo(number).c_str(), nullptr);
    }
    ASSERT_EQ(Manager().GetChain()->GetCount(), 9);
    // The user picks "Same unknown" without Exif in the Stitch Settings.
    Prompter().ExpectDialog(CStitchSettingsDlg::kTemplateId, [](CDialog& d) {
        if (d.IsDlgButtonChecked(CStitchSettingsDlg::kUseExif))
            win::user::ClickControl(d.GetDlgItem(CStitchSettingsDlg::kUseExif));
        win::user::ClickControl(d.GetDlgItem(CStitchSettingsDlg::kSameUnknown));
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    Prompter().ExpectMessageBox("Warning: Using Exif info is strongly recommended!", IDOK);
    ASSERT_TRUE(Manager().ShowStitchSettings(true));
    ASSERT_EQ(Manager().GetStitchSettings()->focalType, 0);

    Manager().GetImageTray()->GetHost()->SetLoop(true);  // a full turn: Hollet matches the closing pair too
    Manager().GetStitchBar()->PostMessage(WM_COMMAND, CStitchBar::kStitch, 0);
    ASSERT_TRUE(PumpUntilIdle(300000));
    ASSERT_TRUE(Manager().AreAllImagesMerged());

    float focal35 = 0.0f;
    ImageFrame* frame = nullptr;
    ASSERT_TRUE(Manager().CalibrateFocalLength(&focal35, &frame));
    std::printf("Durlach row: calibrated focal length %.3f mm (Exif %.1f mm)\n", focal35, exifFocal);
    EXPECT_GT(focal35, 22.0f);
    EXPECT_LT(focal35, 27.0f);

    const std::string file = "durlach.camInfo";
    Prompter().ExpectDialog(CSaveCamInfoDlg::kTemplateId, [](CDialog& d) {
        EXPECT_EQ(d.GetDlgItem(CSaveCamInfoDlg::kName)->GetWindowText(), "Panasonic-DMC-TZ41");
        win::user::TypeText(d.GetDlgItem(CSaveCamInfoDlg::kName)->m_hWnd, "durlach");
        win::user::ClickControl(d.GetDlgItem(IDOK));
        win::user::ClickControl(d.GetDlgItem(IDOK));
    });
    Prompter().ExpectMessageBox("Save camera info file: OK!", IDOK);
    ASSERT_TRUE(Manager().SaveCamInfoFile());
    CamInfo back;
    ASSERT_TRUE(back.LoadFile(file.c_str(), nullptr));
    EXPECT_NEAR(back.GetFocalLength(), focal35, 1e-4);
    EXPECT_STREQ(back.GetExifModel(), "DMC-TZ41");

    // The images dropped from the frames (as memory is given back): the
    // calibration loads the first merged frame's image again at the scale
    // the focal length was solved at, and agrees.
    for (int k = 0; k < 9; ++k) Manager().GetChain()->GetFrame(k)->SetImage(nullptr, true);
    float again = 0.0f;
    ASSERT_TRUE(Manager().CalibrateFocalLength(&again, nullptr));
    EXPECT_NEAR(again, focal35, 1e-4);

    // Saved and reopened: a project keeps no merged state and no poses, so
    // the calibration refuses (and does not touch the image-less frames).
    const std::string project = Home().file("durlach.kzp");
    win::FileDialogAnswer chosen;
    chosen.ok = true;
    chosen.paths = {project};
    Prompter().ExpectFileDialog("Save Project", chosen);
    ASSERT_TRUE(Manager().SaveProject(true));
    ASSERT_TRUE(Manager().OpenProject(project.c_str()));
    ASSERT_EQ(Manager().GetChain()->GetCount(), 9);
    Prompter().ExpectMessageBox("Update focal length not allowed: stitching unfinished!", IDOK);
    again = -1.0f;
    EXPECT_FALSE(Manager().CalibrateFocalLength(&again, nullptr));
    EXPECT_EQ(again, -1.0f);
}

}  // namespace
