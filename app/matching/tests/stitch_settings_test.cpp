// The "Stitch Settings" dialog and the manager's side of it, driven through
// the runtime with scripted message boxes: the silent check before a stitch,
// the handlers of the focal-length radios and check boxes, what OK stores
// and when it resets the stitching, and the range checks of the edits.
#include "app/control/image_chain.h"
#include "app/control/stitch_settings.h"
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/cam_info_wizard.h"
#include "app/matching/save_cam_info_dlg.h"
#include "app/matching/select_cam_info_dlg.h"
#include "app/matching/stitch_settings_dlg.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/shell/stitch_bar.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/win/controls.h"
#include "platform/win/file_system.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using D = CStitchSettingsDlg;
using matching_test::WriteAll;

constexpr const char* kReset = "This operation will remove all computed info!";
constexpr const char* kMismatchPanasonic =
    "Cannot use selected Camera Info file: due to its\nCamera Model (Nikon:E990) mismatch with images "
    "(Panasonic:DMC-TZ41).\nPlease select a matching file";

class StitchSettingsTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Start());
    }

    // n frames; with Exif they are the Durlach photographs (one camera, one
    // focal length), without they name files that do not exist.
    void AddFrames(int n, bool withExif)
    {
        for (int i = 0; i < n; ++i) {
            const std::string name = withExif ? TestData("huginsample-durlach/half/P10603" + std::to_string(69 + i) + ".JPG")
                                              : "/nowhere/" + std::to_string(i) + ".jpg";
            auto* stamp = new Image(64, 48, 3);
            std::memset(stamp->GetData(), 100, static_cast<size_t>(stamp->GetRowByte()) * 48);
            Manager().AddImageFrame(stamp, name.c_str(), nullptr);
        }
        ASSERT_EQ(Manager().GetChain()->GetCount(), n);
    }
    void MergeFirstPair()
    {
        ImageChain& chain = *Manager().GetChain();
        ImageFrame* a = chain.GetFrame(0);
        ImageFrame* b = chain.GetFrame(1);
        if (!a->FindNeighbor(b)) a->AddNeighbor(b);
        a->SetMerged(b);
        ASSERT_EQ(chain.CountMergedPairs(), 1);
    }
    // A camera-information file in the user's folder.
    static void WriteCamInfo(const std::string& name, const std::string& make, const std::string& model,
                             float exifFocal, float focal)
    {
        std::string text = "[CalMethod] Optarvo\n[exifCameraMake] " + make + "\n[exifCameraModel] " + model +
                           "\n[exifFocalLength] " + std::to_string(exifFocal) + "\n";
        if (focal > 0) text += "[focal length] " + std::to_string(focal) + " mm\n";
        WriteAll(win::ToPosixPath(CamInfoFolder()) + "/" + name, text);
    }
    // The manager uses that file, as a project would have it.
    void UseCamInfo(const std::string& name)
    {
        auto info = std::make_unique<CamInfo>();
        ASSERT_TRUE(info->LoadFile(name.c_str(), nullptr));
        Manager().SetCamInfo(std::move(info));
        Manager().SetCamInfoFileName(name.c_str());
    }
    StitchSettings& Stitch() { return *Manager().GetStitchSettings(); }
    BlendSettings& Blend() { return *Manager().GetBlendSettings(); }

    // Saves the project under `path` through the scripted save dialog.
    void SaveProjectAs(const std::string& path)
    {
        win::FileDialogAnswer chosen;
        chosen.ok = true;
        chosen.paths = {path};
        Prompter().ExpectFileDialog("Save Project", chosen);
        ASSERT_TRUE(Manager().SaveProject(true));
        ASSERT_FALSE(testkit::ReadBytes(path).empty());
    }

    void ExpectDialog(std::function<void(CDialog&)> step) { Prompter().ExpectDialog(D::kTemplateId, std::move(step)); }
    static void Click(CDialog& d, UINT id) { win::user::ClickControl(d.GetDlgItem(id)); }
    static bool Enabled(CDialog& d, UINT id) { return d.GetDlgItem(id)->IsWindowEnabled() != FALSE; }
    static bool Checked(CDialog& d, UINT id) { return d.IsDlgButtonChecked(id) != 0; }
    static std::string Text(CDialog& d, UINT id) { return d.GetDlgItemText(id); }
};

TEST_F(StitchSettingsTest, SilentCheckOnSettingsThatFitShowsNothing)
{
    AddFrames(3, true);
    Stitch().focalType = 3;
    EXPECT_TRUE(Manager().ShowStitchSettings(false));
    EXPECT_EQ(Stitch().focalType, 3);
}

TEST_F(StitchSettingsTest, SilentCheckTakesExifBeforeTheFirstMerge)
{
    AddFrames(3, true);
    Stitch().focalType = 0;
    EXPECT_TRUE(Manager().ShowStitchSettings(false));
    EXPECT_EQ(Stitch().focalType, 3);
    EXPECT_NE(Manager().GetStitchBar()->GetSettingsText().find("F: Exif\n"), std::string::npos)
        << Manager().GetStitchBar()->GetSettingsText();
}

TEST_F(StitchSettingsTest, SilentCheckAfterAMergeKeepsTheFocalType)
{
    AddFrames(3, true);
    Stitch().focalType = 0;
    MergeFirstPair();
    EXPECT_TRUE(Manager().ShowStitchSettings(false));
    EXPECT_EQ(Stitch().focalType, 0);
}

TEST_F(StitchSettingsTest, SilentCheckWithAFileOfAnotherCameraShowsTheDialogAndCancelKeepsEverything)
{
    AddFrames(3, true);
    WriteCamInfo("nikon.camInfo", "Nikon", "E990", 8.2f, 0);
    UseCamInfo("nikon.camInfo");
    Stitch().focalType = 3;
    Stitch().focalLength = 28.0f;
    Prompter().ExpectMessageBox(kMismatchPanasonic, IDOK);
    Prompter().ExpectMessageBox("camInfo info is incompatible with image exif.\nPlease change Settings and click OK",
                                IDOK);
    ExpectDialog([&](CDialog& d) {
        EXPECT_FALSE(d.GetDlgItem(D::kCamInfoName)->IsWindowVisible()) << "the refused file is not shown";
        EXPECT_NE(Text(d, D::kExifText).find("Camera model: Panasonic:DMC-TZ41\n"), std::string::npos);
        Click(d, IDCANCEL);
    });
    EXPECT_FALSE(Manager().ShowStitchSettings(false));
    EXPECT_STREQ(Manager().GetCamInfoFileName(), "nikon.camInfo");
    EXPECT_NE(Manager().GetCamInfo(), nullptr);
    EXPECT_EQ(Stitch().focalType, 3);
    EXPECT_EQ(Stitch().focalLength, 28.0f);
}

TEST_F(StitchSettingsTest, SilentCheckAsksWhenTheFileHasExifAndTheImagesHaveNone)
{
    const char* question = "CameraInfo file has Exif info while images do not!\nPlease confirm they match?\n";
    for (const int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
        if (Manager().GetChain() && Manager().GetChain()->GetCount() == 0) AddFrames(3, false);
        if (!Manager().GetChain()) AddFrames(3, false);
        WriteCamInfo("canon.camInfo", "Canon", "EOS", 18.0f, 0);
        UseCamInfo("canon.camInfo");
        Stitch().focalType = 0;
        Prompter().ExpectMessageBox(question, answer);
        if (answer == IDNO)
            ExpectDialog([&](CDialog& d) {
                EXPECT_FALSE(d.GetDlgItem(D::kCamInfoName)->IsWindowVisible()) << "the file was dropped";
                Click(d, IDCANCEL);
            });
        EXPECT_TRUE(Manager().ShowStitchSettings(false));
        EXPECT_STREQ(Manager().GetCamInfoFileName(), "canon.camInfo") << "nothing applied without OK";
    }
}

// After an open the check keeps the focal type the project stored (the
// suggestion waits for the check before the next stitch), so saving the
// unchanged project writes the same bytes; the stitch bar shows what was read.
TEST_F(StitchSettingsTest, OpeningKeepsTheStoredFocalTypeAndResavesTheSameBytes)
{
    AddFrames(3, true);
    Stitch().focalType = 0;
    const std::string path = Home().file("same.kzp");
    SaveProjectAs(path);
    // The first open places the frames in the tray as a project's are.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const testkit::Bytes saved = testkit::ReadBytes(path);
        Stitch().focalType = 2;
        Manager().GetStitchBar()->UpdateSettingsText();  // shows the known focal length
        ASSERT_TRUE(Manager().OpenProject(path.c_str()));
        EXPECT_EQ(Stitch().focalType, 0);
        EXPECT_NE(Manager().GetStitchBar()->GetSettingsText().find("F: same\n"), std::string::npos)
            << Manager().GetStitchBar()->GetSettingsText();
        ASSERT_TRUE(Manager().SaveProject(true));
        if (round == 1) {
            EXPECT_EQ(testkit::ReadBytes(path), saved);
        }
    }

    // The check before a stitch takes the images' Exif.
    EXPECT_TRUE(Manager().ShowStitchSettings(false));
    EXPECT_EQ(Stitch().focalType, 3);
}

// A reopened project whose camera file does not fit its images: the check
// shows the mismatch and the dialog; Cancel keeps the project as stored.
TEST_F(StitchSettingsTest, OpeningWithAFileOfAnotherCameraShowsTheDialog)
{
    AddFrames(3, true);
    WriteCamInfo("nikon.camInfo", "Nikon", "E990", 8.2f, 0);
    UseCamInfo("nikon.camInfo");
    Manager().ModifyFlags(0, kFlagDistortionOn);
    Stitch().focalType = 3;
    Stitch().focalLength = 28.0f;
    const std::string path = Home().file("nikon.kzp");
    SaveProjectAs(path);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const testkit::Bytes saved = testkit::ReadBytes(path);
        Prompter().ExpectMessageBox(kMismatchPanasonic, IDOK);
        Prompter().ExpectMessageBox(
            "camInfo info is incompatible with image exif.\nPlease change Settings and click OK", IDOK);
        bool shown = false;
        ExpectDialog([&](CDialog& d) {
            shown = true;
            Click(d, IDCANCEL);
        });
        ASSERT_TRUE(Manager().OpenProject(path.c_str()));
        EXPECT_TRUE(shown);
        EXPECT_STREQ(Manager().GetCamInfoFileName(), "nikon.camInfo");
        EXPECT_NE(Manager().GetCamInfo(), nullptr);
        EXPECT_EQ(Stitch().focalType, 3);
        EXPECT_EQ(Stitch().focalLength, 28.0f);
        ASSERT_TRUE(Manager().SaveProject(true));
        if (round == 1) {
            EXPECT_EQ(testkit::ReadBytes(path), saved);
        }
    }
}

TEST_F(StitchSettingsTest, FocalRadiosEnableTheEditAndOkStoresItsValue)
{
    AddFrames(3, false);
    Stitch().focalType = 0;
    Stitch().focalLength = 35.0f;
    ExpectDialog([&](CDialog& d) {
        EXPECT_TRUE(Checked(d, D::kSameUnknown));
        EXPECT_FALSE(Enabled(d, D::kFromExif));
        EXPECT_EQ(Text(d, D::kFocalEdit), " 35.0");
        Click(d, D::kKnown);
        EXPECT_TRUE(Checked(d, D::kKnown));
        EXPECT_FALSE(Checked(d, D::kSameUnknown));
        EXPECT_TRUE(Enabled(d, D::kFocalEdit));
        d.SetDlgItemText(D::kFocalEdit, "42.5");
        Click(d, IDOK);
    });
    EXPECT_TRUE(Manager().ShowStitchSettings(true));
    EXPECT_EQ(Stitch().focalType, 2);
    EXPECT_FLOAT_EQ(Stitch().focalLength, 42.5f);

    struct Case {
        UINT radio;
        int type;
    };
    for (const Case& c : {Case{D::kSameUnknown, 0}, Case{D::kDifferentUnknown, 1}}) {
        SCOPED_TRACE(c.type);
        ExpectDialog([&](CDialog& d) {
            EXPECT_TRUE(Enabled(d, D::kFocalEdit));
            Click(d, c.radio);
            EXPECT_FALSE(Enabled(d, D::kFocalEdit));
            d.SetDlgItemText(D::kFocalEdit, "50");
            Click(d, IDOK);
        });
        // Back to "Known" first so that the edit starts enabled.
        Stitch().focalType = 2;
        EXPECT_TRUE(Manager().ShowStitchSettings(true));
        EXPECT_EQ(Stitch().focalType, c.type);
        EXPECT_FLOAT_EQ(Stitch().focalLength, 50.0f);
    }
}

TEST_F(StitchSettingsTest, RuntimeCorrectionIsUncheckedForKnownAndDifferentUnknown)
{
    AddFrames(3, false);
    struct Case {
        UINT radio;
        const char* warning;
    };
    const Case cases[] = {
        {D::kKnown, "Warning: Runtime distortion correction is unchecked\nsince Focal Length is (x) Known!"},
        {D::kDifferentUnknown,
         "Warning: Runtime distortion correction is unchecked\nsince Focal Length is (x) Different unknown!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        Stitch().focalType = 0;
        Stitch().runtimeDistortion = 1;
        ExpectDialog([&](CDialog& d) {
            EXPECT_TRUE(Checked(d, D::kRuntimeCorrection));
            EXPECT_TRUE(Enabled(d, D::kRuntimeCorrection));
            // Handlers warn nothing; the run-time check is only cleared.
            Click(d, c.radio);
            EXPECT_FALSE(Checked(d, D::kRuntimeCorrection));
            EXPECT_FALSE(Enabled(d, D::kRuntimeCorrection));
            Click(d, IDCANCEL);
        });
        EXPECT_TRUE(Manager().ShowStitchSettings(true));
        EXPECT_EQ(Stitch().runtimeDistortion, 1) << "Cancel stores nothing";

        // Opening on a stored conflicting type warns with the type's text.
        Stitch().focalType = c.radio == D::kKnown ? 2 : 1;
        Prompter().ExpectMessageBox(c.warning, IDOK);
        ExpectDialog([&](CDialog& d) {
            EXPECT_FALSE(Checked(d, D::kRuntimeCorrection));
            Click(d, IDOK);
        });
        EXPECT_TRUE(Manager().ShowStitchSettings(true));
        EXPECT_EQ(Stitch().runtimeDistortion, 0);
    }
}

TEST_F(StitchSettingsTest, RuntimeCorrectionReplacesTheCameraFileWithoutResettingTheStitch)
{
    AddFrames(3, true);
    WriteCamInfo("pana.camInfo", "Panasonic", "DMC-TZ41", 4.3f, 0);
    UseCamInfo("pana.camInfo");
    Stitch().focalType = 3;
    Stitch().runtimeDistortion = 0;
    MergeFirstPair();
    ExpectDialog([&](CDialog& d) {
        EXPECT_TRUE(Checked(d, D::kUseCamInfo));
        EXPECT_EQ(Text(d, D::kCamInfoName), "pana.camInfo");
        EXPECT_FALSE(Enabled(d, D::kRuntimeCorrection));
        Click(d, D::kUseCamInfo);  // off: the file goes
        EXPECT_FALSE(d.GetDlgItem(D::kCamInfoName)->IsWindowVisible());
        EXPECT_FALSE(Enabled(d, D::kSelect));
        EXPECT_TRUE(Enabled(d, D::kRuntimeCorrection));
        Prompter().ExpectMessageBox("Warning: Runtime Distortion Correction should be turned on only if\nthe images "
                                    "have distortion. The better alternative is to use\na Camera Info that contains "
                                    "distortion correction info!",
                                    IDOK);
        Click(d, D::kRuntimeCorrection);
        Click(d, IDOK);
    });
    // No reset notice is scripted: a reset would fail as an unscripted question.
    EXPECT_TRUE(Manager().ShowStitchSettings(true));
    EXPECT_EQ(Manager().GetCamInfoFileName(), nullptr);
    EXPECT_EQ(Manager().GetCamInfo(), nullptr);
    EXPECT_EQ(Stitch().runtimeDistortion, 1);
    EXPECT_EQ(Manager().GetChain()->CountMergedPairs(), 1);
}

TEST_F(StitchSettingsTest, BlendAndModeChangesNeverResetAndAutoBalanceOffResetsColourTables)
{
    AddFrames(3, true);
    Stitch().focalType = 3;
    MergeFirstPair();
    Blend().autoBalance = 1;
    Blend().blendWidth = 20;
    Manager().SetAutomaticMode(true);
    Manager().SetElasticBlendForTest(true);
    // Scribbled automatic tables show whether they were reset.
    auto scribble = [&](int frame) {
        TRANSFORM_RS* rs = Manager().GetChain()->GetFrame(frame)->GetImgInfo()->GetParams();
        Manager().GetChain()->GetFrame(frame)->ResetAotoColorTab();
        const std::string manual(reinterpret_cast<char*>(rs->colorTable), 768);
        std::memset(rs->colorTable, 0x5A, 768);
        return manual;
    };
    auto table = [&](int frame) {
        TRANSFORM_RS* rs = Manager().GetChain()->GetFrame(frame)->GetImgInfo()->GetParams();
        return std::string(reinterpret_cast<char*>(rs->colorTable), 768);
    };
    const std::string manual = scribble(0);
    ASSERT_NE(manual, std::string(768, '\x5A'));
    ExpectDialog([&](CDialog& d) {
        EXPECT_TRUE(Checked(d, D::kAuto));
        EXPECT_FALSE(Enabled(d, D::kBlendWidth)) << "elastic";
        Click(d, D::kFixed);
        EXPECT_TRUE(Enabled(d, D::kBlendWidth));
        d.SetDlgItemText(D::kBlendWidth, "35");
        Click(d, D::kManual);
        Click(d, D::kAutoBalance);  // on -> off
        Click(d, IDOK);
    });
    EXPECT_TRUE(Manager().ShowStitchSettings(true));
    EXPECT_EQ(Blend().blendWidth, 35);
    EXPECT_EQ(Blend().autoBalance, 0);
    EXPECT_FALSE(Manager().IsAutomaticMode());
    EXPECT_FALSE(Manager().IsElasticBlend());
    EXPECT_EQ(table(0), manual) << "auto-balance off resets the automatic colour tables";
    EXPECT_EQ(Manager().GetChain()->CountMergedPairs(), 1);

    // Off -> on leaves the tables alone.
    scribble(0);
    ExpectDialog([&](CDialog& d) {
        Click(d, D::kAutoBalance);
        Click(d, IDOK);
    });
    EXPECT_TRUE(Manager().ShowStitchSettings(true));
    EXPECT_EQ(Blend().autoBalance, 1);
    EXPECT_EQ(table(0), std::string(768, '\x5A'));
}

TEST_F(StitchSettingsTest, RangeChecksKeepTheDialogOpen)
{
    AddFrames(3, false);
    Stitch().focalType = 2;
    struct Case {
        UINT edit;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {D::kFocalEdit, "9.9", "Enter a number from 10 to 100."},
        {D::kFocalEdit, "100.5", "Enter a number from 10 to 100."},
        {D::kBlendWidth, "51", "Enter a whole number from 1 to 50."},
        {D::kBlendWidth, "0", "Enter a whole number from 1 to 50."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const float focal = Stitch().focalLength;
        const int width = Blend().blendWidth;
        ExpectDialog([&](CDialog& d) {
            d.SetDlgItemText(c.edit, c.value);
            Prompter().ExpectMessageBox(c.message, IDOK);
            Click(d, IDOK);
            EXPECT_TRUE(d.IsWindowVisible()) << "still open";
            Click(d, IDCANCEL);
        });
        EXPECT_TRUE(Manager().ShowStitchSettings(true));
        EXPECT_EQ(Stitch().focalLength, focal);
        EXPECT_EQ(Blend().blendWidth, width);
    }
}

TEST_F(StitchSettingsTest, TypeFourComesBackOnlyWithACalibratedFile)
{
    AddFrames(3, true);
    struct Case {
        const char* file;
        float focal;
        int stored;
    };
    const Case cases[] = {{"calibrated.camInfo", 26.5f, 4}, {"plain.camInfo", 0.0f, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WriteCamInfo(c.file, "Panasonic", "DMC-TZ41", 4.3f, c.focal);
        UseCamInfo(c.file);
        Stitch().focalType = 4;
        ExpectDialog([&](CDialog& d) {
            EXPECT_TRUE(Checked(d, D::kFromExif));
            EXPECT_TRUE(Enabled(d, D::kFromExif));
            EXPECT_FALSE(Enabled(d, D::kFocalEdit));
            if (c.focal > 0) {
                EXPECT_EQ(Text(d, D::kFocalEdit), " 26.5") << "the file's calibrated focal length";
            }
            Click(d, IDOK);
        });
        EXPECT_TRUE(Manager().ShowStitchSettings(true));
        EXPECT_EQ(Stitch().focalType, c.stored);
        EXPECT_STREQ(Manager().GetCamInfoFileName(), c.file);
    }
}

}  // namespace

// "Select ..." through the nested "Select Camera Info" dialog: Cancel, or
// OK with nothing chosen, changes nothing; a chosen file shows in the
// dialog and is the manager's file, with its focal length, after OK.
TEST_F(StitchSettingsTest, SelectTakesTheChosenCameraInfoFile)
{
    AddFrames(3, true);
    WriteCamInfo("pana.camInfo", "Panasonic", "DMC-TZ41", 4.3f, 26.5f);
    struct Case {
        const char* label;
        bool choose;      // pick the file in the list
        int selectEnd;    // IDOK or IDCANCEL
        const char* shown;  // the file name shown afterwards
        bool used;          // the manager uses the file after OK
    };
    const Case cases[] = {
        {"cancelled", true, IDCANCEL, "", false},
        {"nothing chosen", false, IDOK, "", false},
        {"chosen", true, IDOK, "pana.camInfo", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Manager().SetCamInfo(nullptr);
        Manager().SetCamInfoFileName(nullptr);
        ExpectDialog([&](CDialog& d) {
            EXPECT_EQ(Text(d, D::kCamInfoName), "");
            Click(d, D::kUseCamInfo);
            ASSERT_TRUE(Enabled(d, D::kSelect));
            Click(d, D::kSelect);
            EXPECT_EQ(Text(d, D::kCamInfoName), c.shown);
            EXPECT_TRUE(Checked(d, D::kUseCamInfo));
            Click(d, IDOK);
        });
        Prompter().ExpectDialog(CSelectCamInfoDlg::kTemplateId, [&](CDialog& d) {
            auto* list = dynamic_cast<CListBox*>(d.GetDlgItem(CSelectCamInfoDlg::kList));
            ASSERT_NE(list, nullptr);
            ASSERT_EQ(list->GetCount(), 1);
            if (c.choose) win::user::ClickListItem(list->m_hWnd, 0);
            Click(d, c.selectEnd);
        });
        Manager().ShowStitchSettings(true);
        if (c.used) {
            ASSERT_NE(Manager().GetCamInfoFileName(), nullptr);
            EXPECT_STREQ(Manager().GetCamInfoFileName(), "pana.camInfo");
            ASSERT_NE(Manager().GetCamInfo(), nullptr);
            EXPECT_FLOAT_EQ(Manager().GetCamInfo()->GetFocalLength(), 26.5f);
        } else {
            EXPECT_EQ(Manager().GetCamInfoFileName(), nullptr);
            EXPECT_EQ(Manager().GetCamInfo(), nullptr);
        }
    }
}

// The drawn dialog after "Known" and "Elastic": each control's pixels in
// the dialog equal the same kind of control with the same style, text and
// state drawn alone on a blank surface of its size, and the states are the
// ones the handlers must leave.
TEST_F(StitchSettingsTest, TheDrawnControlsShowTheKnownFocalAndTheElasticBlend)
{
    struct Shot {
        UINT id;
        bool edit;
        std::string text;
        DWORD style = 0;
        bool checked = false;
        bool enabled = false;
        RECT rect{};  // client
        SIZE size{};  // whole window, border included
        Image* inDialog = nullptr;
    };
    std::vector<Shot> shots;
    for (auto [id, edit] : {std::pair{D::kKnown, false}, {D::kSameUnknown, false}, {D::kDifferentUnknown, false},
                            {D::kFromExif, false}, {D::kFocalEdit, true}, {D::kBlendWidth, true}}) {
        Shot shot;
        shot.id = id;
        shot.edit = edit;
        shots.push_back(shot);
    }
    AddFrames(3, false);
    Stitch().focalType = 0;
    Stitch().focalLength = 35.0f;
    ExpectDialog([&](CDialog& d) {
        Click(d, D::kKnown);
        Click(d, D::kElastic);
        win::PaintAll();
        for (Shot& shot : shots) {
            CWnd* control = d.GetDlgItem(shot.id);
            shot.text = control->GetWindowText();
            shot.style = control->GetStyle();
            shot.checked = !shot.edit && d.IsDlgButtonChecked(shot.id) != 0;
            shot.enabled = control->IsWindowEnabled() != FALSE;
            control->GetClientRect(&shot.rect);
            RECT window{};
            control->GetWindowRect(&window);
            shot.size = SIZE{window.right - window.left, window.bottom - window.top};
            shot.inDialog = win::CaptureWindow(control->m_hWnd);
        }
        Click(d, IDCANCEL);
    });
    Manager().ShowStitchSettings(true);

    EXPECT_TRUE(shots[0].checked);
    EXPECT_FALSE(shots[1].checked);
    EXPECT_FALSE(shots[2].checked);
    EXPECT_FALSE(shots[3].checked);
    EXPECT_TRUE(shots[4].enabled);
    EXPECT_EQ(shots[4].text, " 35.0");
    EXPECT_FALSE(shots[5].enabled);

    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, "alone", WS_POPUP | WS_VISIBLE, RECT{0, 0, 600, 400}, nullptr, 0));
    std::vector<std::unique_ptr<CWnd>> alone;
    int top = 0;
    for (const Shot& shot : shots) {
        const RECT at{0, top, shot.size.cx, top + shot.size.cy};
        top += shot.size.cy + 4;
        if (shot.edit) {
            auto edit = std::make_unique<CEdit>();
            ASSERT_TRUE(edit->Create(shot.style, at, &parent, shot.id));
            edit->SetWindowText(shot.text.c_str());
            alone.push_back(std::move(edit));
        } else {
            auto button = std::make_unique<CButton>();
            ASSERT_TRUE(button->Create(shot.text.c_str(), shot.style, at, &parent, shot.id));
            button->SetCheck(shot.checked ? BST_CHECKED : BST_UNCHECKED);
            alone.push_back(std::move(button));
        }
        alone.back()->EnableWindow(shot.enabled);
    }
    win::PaintAll();
    auto differing = [](const Image* a, const Image* b) {
        int n = 0;
        for (int y = 0; y < a->GetHeight(); ++y) {
            const unsigned char* p = a->GetData() + static_cast<size_t>(y) * a->GetRowByte();
            const unsigned char* q = b->GetData() + static_cast<size_t>(y) * b->GetRowByte();
            for (int x = 0; x < a->GetWidth() * 3; ++x) n += p[x] != q[x];
        }
        return n;
    };
    for (size_t i = 0; i < shots.size(); ++i) {
        SCOPED_TRACE(shots[i].id);
        Image* reference = win::CaptureWindow(alone[i]->m_hWnd);
        ASSERT_NE(shots[i].inDialog, nullptr);
        ASSERT_NE(reference, nullptr);
        ASSERT_EQ(shots[i].inDialog->GetWidth(), reference->GetWidth());
        ASSERT_EQ(shots[i].inDialog->GetHeight(), reference->GetHeight());
        EXPECT_EQ(differing(shots[i].inDialog, reference), 0);
        ReleaseImage(reference);
    }
    // The states are visible: "Known" drawn unchecked, the focal edit drawn
    // disabled and the blend width drawn enabled all look different.
    auto* known = static_cast<CButton*>(alone[0].get());
    known->SetCheck(BST_UNCHECKED);
    alone[4]->EnableWindow(FALSE);
    alone[5]->EnableWindow(TRUE);
    win::PaintAll();
    for (size_t i : {size_t{0}, size_t{4}, size_t{5}}) {
        SCOPED_TRACE(shots[i].id);
        Image* other = win::CaptureWindow(alone[i]->m_hWnd);
        ASSERT_NE(other, nullptr);
        EXPECT_GT(differing(shots[i].inDialog, other), 0);
        ReleaseImage(other);
    }
    for (Shot& shot : shots) ReleaseImage(shot.inDialog);
    for (auto& control : alone) control->DestroyWindow();
    parent.DestroyWindow();
}

namespace {

constexpr const char* kDifferent = "Update focal length not allowed: its setting is \"Defferent Unknown\"!";
constexpr const char* kUnfinished = "Update focal length not allowed: stitching unfinished!";

class CalibrationTest : public StitchSettingsTest {
protected:
    // n frames without Exif; the first `merged` of them merged in a row, each
    // with a 640 x 480 image and a focal length of 500 pixels.
    void Stitched(int n, int merged, bool withImages = true, bool withExif = false)
    {
        AddFrames(n, withExif);
        ImageChain& chain = *Manager().GetChain();
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        for (int i = 0; i < n; ++i) {
            ImageFrame* f = chain.GetFrame(i);
            if (withImages) {
                auto* image = new Image(640, 480, 3);
                f->SetImage(image, false);
                ReleaseImage(image);
            }
            f->GetImgInfo()->SetRotation(500.0f, identity);
        }
        for (int i = 0; i + 1 < merged; ++i) {
            ImageFrame* a = chain.GetFrame(i);
            ImageFrame* b = chain.GetFrame(i + 1);
            if (!a->FindNeighbor(b)) a->AddNeighbor(b);
            a->SetMerged(b);
        }
    }
};

TEST_F(CalibrationTest, RefusalsComeInOrderAndAFinishedStitchGivesTheEquivalentFocalLength)
{
    Stitched(5, 5);
    struct Case {
        int type;
        bool runtime;
        const char* box;  // null: calibrated
    };
    const Case cases[] = {
        {1, false, kDifferent},
        {4, false,
         "Update focal length not allowed: already known in camInfo file!\nIf still want to update, go to Settings and "
         "load the camInfo file again\nwith \"Ignore Focal Length to re-calibrate\" checked."},
        {0, true,
         "Save runtime distortion correction & focal length calibration not allowed:\ndistortion correction not "
         "calibrated due to low-quality images or found markers.\nPlease use a better image set to make camera info "
         "file."},
        {0, false, nullptr},
        {2, false, kDifferent},  // a known focal length needs as many merged pairs as merged images (a loop)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Stitch().focalType = c.type;
        Stitch().runtimeDistortion = c.runtime ? 1 : 0;
        if (c.box) Prompter().ExpectMessageBox(c.box, IDOK);
        float focal35 = -1.0f;
        ImageFrame* frame = nullptr;
        EXPECT_EQ(Manager().CalibrateFocalLength(&focal35, &frame), c.box == nullptr);
        if (!c.box) {
            EXPECT_FLOAT_EQ(focal35, 24.0f * 500.0f / 480.0f);
            EXPECT_EQ(frame, Manager().GetChain()->GetFrame(0));
        }
    }
}

TEST_F(CalibrationTest, TooFewImagesNamesTheMinimum)
{
    Stitched(4, 4);
    Stitch().focalType = 0;
    Prompter().ExpectMessageBox("Save focal length calibration not allowed: too few images (<5)!", IDOK);
    EXPECT_FALSE(Manager().CalibrateFocalLength(nullptr, nullptr));
    WriteCamInfo("tool.camInfo", "Canon", "EOS", 0.0f, 0);
    UseCamInfo("tool.camInfo");
    Prompter().ExpectMessageBox("Update focal length not allowed: too few images (<5)!", IDOK);
    EXPECT_FALSE(Manager().CalibrateFocalLength(nullptr, nullptr));
    Stitch().runtimeDistortion = 1;
    Manager().GetDistortionRecord(true);
    Prompter().ExpectMessageBox(
        "Save runtime distortion correction & focal length calibration not allowed: too few images (<8)!", IDOK);
    EXPECT_FALSE(Manager().CalibrateFocalLength(nullptr, nullptr));
}

TEST_F(CalibrationTest, UnfinishedStitchAndFramesWithoutImagesAreRefused)
{
    Stitched(5, 3);
    Prompter().ExpectMessageBox(kUnfinished, IDOK);
    EXPECT_FALSE(Manager().CalibrateFocalLength(nullptr, nullptr));
}

TEST_F(CalibrationTest, AFrameWhoseImageCannotBeLoadedIsRefusedNotDereferenced)
{
    Stitched(5, 5, false);
    Prompter().ExpectMessageBox(kUnfinished, IDOK);
    float focal35 = -1.0f;
    EXPECT_FALSE(Manager().CalibrateFocalLength(&focal35, nullptr));
    EXPECT_EQ(focal35, -1.0f);
}

TEST_F(CalibrationTest, AddFocalLengthWritesTheFileAndRestoresTheRecordWhenTheWriteFails)
{
    Stitched(5, 5);
    Stitch().focalType = 0;
    Stitch().focalLength = 40.0f;
    Prompter().ExpectMessageBox("No Camera Info file selected to add focal length!", IDOK);
    EXPECT_FALSE(Manager().AddFocalLengthToCamInfo());

    WriteCamInfo("cal.camInfo", "Canon", "EOS", 0.0f, 0);
    UseCamInfo("cal.camInfo");
    Prompter().ExpectMessageBox("Update focal length: to camera info file OK!", IDOK);
    EXPECT_TRUE(Manager().AddFocalLengthToCamInfo());
    const float expected = 24.0f * 500.0f / 480.0f;
    EXPECT_FLOAT_EQ(Stitch().focalLength, expected);
    EXPECT_EQ(Stitch().focalType, 2) << "no Exif focal length in the record";
    CamInfo back;
    ASSERT_TRUE(back.LoadFile("cal.camInfo", nullptr));
    EXPECT_NEAR(back.GetFocalLength(), expected, 1e-4);

    // Overwrite with Yes writes again and leaves the settings.
    Stitch().focalType = 0;
    Stitch().focalLength = 40.0f;
    Prompter().ExpectMessageBox("Overwrite existing focal length value?", IDYES);
    Prompter().ExpectMessageBox("Update focal length: to camera info file OK!", IDOK);
    EXPECT_TRUE(Manager().AddFocalLengthToCamInfo());
    EXPECT_EQ(Stitch().focalType, 0);
    EXPECT_EQ(Stitch().focalLength, 40.0f);

    // A failed write: the record goes back to the value its file holds.
    Manager().GetCamInfo()->focalLength = 30.0f;
    Manager().GetCamInfo()->name = "no such folder/cal.camInfo";
    Prompter().ExpectMessageBox("Overwrite existing focal length value?", IDYES);
    Prompter().ExpectMessageBoxPrefix("Can't open file for saving: ", IDOK);
    Prompter().ExpectMessageBox("Update focal length: failed!", IDOK);
    EXPECT_FALSE(Manager().AddFocalLengthToCamInfo());
    EXPECT_EQ(Manager().GetCamInfo()->focalLength, 30.0f);
    EXPECT_NE(Manager().GetCamInfo()->hasFocalLength, 0);
}


// "Save to Camera Info File": the save dialog scripted with a name (typed or
// proposed from the first frame's Exif), the question for a frame without
// Exif, and the written file read back by the camera-information loader.
TEST_F(CalibrationTest, SaveCamInfoFileWritesTheCalibratedFocalLength)
{
    const float expected = 24.0f * 500.0f / 480.0f;
    struct Case {
        const char* label;
        bool withExif;
        bool runtime;          // with a correction record
        const char* proposed;  // the name the dialog opens with
        const char* typed;     // null: keep the proposed one
        int dialogAnswer;      // IDOK or IDCANCEL
        int noExifAnswer;      // 0: not asked
        bool saved;
    };
    const Case cases[] = {
        {"no Exif, saved after Yes", false, false, "", "lens", IDOK, IDYES, true},
        {"no Exif, No", false, false, "", "other", IDOK, IDNO, false},
        {"cancelled", false, false, "", "gone", IDCANCEL, 0, false},
        {"Exif proposes make-model", true, false, "Panasonic-DMC-TZ41", nullptr, IDOK, 0, true},
        {"with a correction", true, true, "Panasonic-DMC-TZ41", "corrected", IDOK, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Manager().CloseProject();
        Stitched(c.runtime ? 8 : 5, c.runtime ? 8 : 5, true, c.withExif);
        Stitch().focalType = 0;
        Stitch().runtimeDistortion = c.runtime ? 1 : 0;
        if (c.runtime) {
            DistortionRecord* record = Manager().GetDistortionRecord(true);
            record->a = 0.015f;
            record->b = -0.03f;
            record->c = 0.005f;
            record->d = 1.01f;
        }
        const std::string name = c.typed ? c.typed : c.proposed;
        std::filesystem::remove(win::ToPosixPath(CamInfoFolder()) + "/" + name + ".camInfo");
        Prompter().ExpectDialog(CSaveCamInfoDlg::kTemplateId, [&](CDialog& d) {
            EXPECT_EQ(Text(d, CSaveCamInfoDlg::kName), c.proposed);
            EXPECT_EQ(Text(d, CSaveCamInfoDlg::kFolder), CamInfoFolder());
            if (c.typed) win::user::TypeText(d.GetDlgItem(CSaveCamInfoDlg::kName)->m_hWnd, c.typed);
            if (c.dialogAnswer != IDOK) {
                Click(d, IDCANCEL);
                return;
            }
            Click(d, IDOK);  // checks the name
            EXPECT_EQ(Text(d, CSaveCamInfoDlg::kStatus), "New Camera Info file");
            Click(d, IDOK);
        });
        if (c.noExifAnswer)
            Prompter().ExpectMessageBox("No exif info in first image! Still save camera info file?", c.noExifAnswer);
        if (c.saved) Prompter().ExpectMessageBox("Save camera info file: OK!", IDOK);
        EXPECT_EQ(Manager().SaveCamInfoFile(), c.saved);
        const std::string file = name + ".camInfo";
        EXPECT_EQ(std::filesystem::exists(win::ToPosixPath(CamInfoFolder()) + "/" + file), c.saved);
        if (!c.saved) continue;
        CamInfo back;
        ASSERT_TRUE(back.LoadFile(file.c_str(), nullptr));
        EXPECT_TRUE(back.hasFocalLength);
        EXPECT_NEAR(back.GetFocalLength(), expected, 1e-4);
        EXPECT_EQ(back.GetExifMake() != nullptr && std::strcmp(back.GetExifMake(), "Panasonic") == 0, c.withExif);
        EXPECT_EQ(back.hasDistortion != 0, c.runtime);
        if (c.runtime) {
            EXPECT_NEAR(back.distortion[0], 0.015f, 1e-6);
            EXPECT_NEAR(back.distortion[3], 1.01f, 1e-6);
        }
    }
}

TEST_F(CalibrationTest, SaveCamInfoFileRefusesWhileAFileIsInUseOrTheStitchIsUnfinished)
{
    Stitched(5, 5);
    WriteCamInfo("used.camInfo", "Canon", "EOS", 0.0f, 0);
    UseCamInfo("used.camInfo");
    Prompter().ExpectMessageBox("Cannot save: already using Camera Info file!", IDOK);
    EXPECT_FALSE(Manager().SaveCamInfoFile());

    Manager().SetCamInfo(nullptr);
    Manager().SetCamInfoFileName(nullptr);
    Manager().CloseProject();
    Stitched(5, 4);
    Prompter().ExpectMessageBox(kUnfinished, IDOK);
    EXPECT_FALSE(Manager().SaveCamInfoFile());  // no dialog expected: an unscripted one would fail
}

class CamInfoWizardHandOffTest : public CalibrationTest {
protected:
    void SetUp() override
    {
        CalibrationTest::SetUp();
        std::filesystem::create_directories(ProgramDir() + "/CameraInfo");
    }
    void TearDown() override
    {
        if (m_window && ::IsWindow(m_window)) m_wizard->DestroyWindow();
        CalibrationTest::TearDown();
    }
    void Keep(CCamInfoWizard* wizard)
    {
        m_wizard = wizard;
        m_window = wizard ? wizard->m_hWnd : nullptr;
    }
    void ClickPage(int page, UINT id)
    {
        win::user::ClickControl(m_wizard->GetPage(page)->GetDlgItem(id));
        PumpPendingMessages();
    }
    CCamInfoWizard* m_wizard = nullptr;  // deletes itself
    HWND m_window = nullptr;
};

TEST_F(CamInfoWizardHandOffTest, RefusalsUseTheirStrings)
{
    Stitched(5, 5);
    Stitch().focalType = 1;
    Prompter().ExpectMessageBox("The focal length is set as \\\"Different Unknown\\\".\nCamera info file is only "
                                "meaningful with \\\"Known\\\" or \\\"Same Unknown\\\"!\nCheck Edit/Stitch Settings...",
                                IDOK);
    EXPECT_EQ(Manager().ShowCamInfoWizard(), nullptr);

    WriteCamInfo("used.camInfo", "Canon", "EOS", 0.0f, 0);
    UseCamInfo("used.camInfo");
    Stitch().runtimeDistortion = 1;
    Prompter().ExpectMessageBox(
        "There is already a camera info file being used.\nNo need to save it again!\nCheck Edit/Stitch Settings...", IDOK);
    EXPECT_EQ(Manager().ShowCamInfoWizard(), nullptr);
}

// The Tools menu's "Make Camera Info File Wizard..." reaches the manager:
// refused with its string for "Different unknown", opened and shown otherwise.
TEST_F(CamInfoWizardHandOffTest, TheMenuCommandOpensTheWizard)
{
    constexpr UINT kWizardCommand = 33180;
    const char* title = "Make Camera Info File Wizard";
    Stitched(5, 5);
    EXPECT_TRUE(win::QueryCommandState(&Main(), kWizardCommand).commandHandler);

    Stitch().focalType = 1;
    Prompter().ExpectMessageBox("The focal length is set as \\\"Different Unknown\\\".\nCamera info file is only "
                                "meaningful with \\\"Known\\\" or \\\"Same Unknown\\\"!\nCheck Edit/Stitch Settings...",
                                IDOK);
    Main().SendMessage(WM_COMMAND, kWizardCommand, 0);
    EXPECT_EQ(win::WindowSystem::Get().FindWindowByText(nullptr, title), nullptr);

    Stitch().focalType = 2;
    Stitch().focalLength = 28.0f;
    Main().SendMessage(WM_COMMAND, kWizardCommand, 0);
    HWND shown = win::WindowSystem::Get().FindWindowByText(nullptr, title);
    ASSERT_NE(shown, nullptr);
    Keep(dynamic_cast<CCamInfoWizard*>(CWnd::FromHandle(shown)));
    ASSERT_NE(m_wizard, nullptr);
    EXPECT_TRUE(m_wizard->IsWindowVisible());
    ClickPage(0, CCamInfoWizard::kNext);
    EXPECT_EQ(m_wizard->GetPage(1)->GetDlgItemText(CCamInfoWizard::kPage2Text),
              "The focal length is known ( 28.0mm):\n\n Proceed to \"Next\"");
}

TEST_F(CamInfoWizardHandOffTest, TheWizardTakesTheFocalLengthAndTheCorrectionByType)
{
    struct Case {
        int type;
        bool runtime;
        const char* page2;
        const char* page3Coefficients;
    };
    const Case cases[] = {
        {2, false, "The focal length is known ( 28.0mm):\n\n Proceed to \"Next\"", "a=0.000000 b = 0.000000"},
        {0, false, "The focal length is calculated as ( 25.0mm):\n\n Proceed to \"Next\"", "a=0.000000 b = 0.000000"},
        {0, true, "The focal length is calculated as ( 25.0mm):\n\n Proceed to \"Next\"", "a=0.250000 b = 0.500000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page2);
        Manager().CloseProject();
        Stitched(5, 5);
        Stitch().focalType = c.type;
        Stitch().focalLength = 28.0f;
        Stitch().runtimeDistortion = c.runtime ? 1 : 0;
        DistortionRecord* record = Manager().GetDistortionRecord(true);
        record->b = 0.5f;
        record->c = 0.25f;
        record->d = 1.0f;
        Keep(Manager().ShowCamInfoWizard());
        ASSERT_NE(m_wizard, nullptr);
        EXPECT_TRUE(m_wizard->IsWindowVisible());
        ClickPage(0, CCamInfoWizard::kNext);
        EXPECT_EQ(m_wizard->GetPage(1)->GetDlgItemText(CCamInfoWizard::kPage2Text), c.page2);
        ClickPage(1, CCamInfoWizard::kNext);
        EXPECT_EQ(m_wizard->GetPage(2)->GetDlgItemText(CCamInfoWizard::kCoefficientText), c.page3Coefficients);
        ClickPage(2, IDCANCEL);
        EXPECT_FALSE(::IsWindow(m_window));
        Keep(nullptr);
    }
}

// The wizard writes the correction as it was when it opened, whatever the
// stitch settings do to the manager's record afterwards.
TEST_F(CamInfoWizardHandOffTest, ALaterSettingsChangeDoesNotReachTheWizard)
{
    Stitched(5, 5);
    Stitch().focalType = 0;
    Stitch().runtimeDistortion = 1;
    DistortionRecord* record = Manager().GetDistortionRecord(true);
    record->a = 0.5f;
    record->b = -0.25f;
    record->c = 0.125f;
    record->d = 0.625f;
    Keep(Manager().ShowCamInfoWizard());
    ASSERT_NE(m_wizard, nullptr);

    // A camera file chosen in the settings writes its correction into the
    // manager's record.
    CamInfo chosen;
    chosen.hasDistortion = 1;
    const float other[4] = {9.0f, 8.0f, 7.0f, 6.0f};
    std::copy(other, other + 4, chosen.distortion);
    chosen.GetCorrectionParams(Manager().GetDistortionRecord(false));
    ASSERT_EQ(Manager().GetDistortionRecord(false)->a, 9.0f);

    ClickPage(0, CCamInfoWizard::kNext);
    ClickPage(1, CCamInfoWizard::kNext);
    win::user::TypeText(m_wizard->GetPage(2)->GetDlgItem(CCamInfoWizard::kCamera)->m_hWnd, "kept");
    ClickPage(2, CCamInfoWizard::kSave);
    CamInfo info;
    ASSERT_TRUE(info.LoadFile("my_camera_info.txt", nullptr));
    ASSERT_TRUE(info.hasDistortion);
    const float written[4] = {0.5f, -0.25f, 0.125f, 0.625f};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(info.distortion[i], written[i]) << i;
    EXPECT_NEAR(info.GetFocalLength(), 24.0f * 500.0f / 480.0f, 1e-4);
    ClickPage(2, CCamInfoWizard::kFinish);
    EXPECT_FALSE(::IsWindow(m_window));
    Keep(nullptr);
}

}  // namespace
