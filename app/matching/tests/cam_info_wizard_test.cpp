// The camera-information wizard driven through the runtime: the page texts
// for each state of the correction and the focal length, the coefficients
// of page 3, the legacy file it writes (bytes, and numbers read back by the
// legacy reader), its file chooser kept to the legacy folder, its own copy
// of the correction, and that every way of closing it frees it.
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_wizard.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "platform/win/file_dialog.h"
#include "platform/win/user_input.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

using matching_test::ReadAll;

class CamInfoWizardTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
        fs::create_directories(ProgramDir() + "/CameraInfo");
    }
    void TearDown() override
    {
        if (m_wizard && ::IsWindow(m_window)) m_wizard->DestroyWindow();
        AppTest::TearDown();
    }

    CCamInfoWizard& Open(const DistortionRecord* block, bool focalKnown, float focal)
    {
        m_wizard = new CCamInfoWizard;
        m_wizard->SetCorrection(block);
        m_wizard->SetFocalKnown(focalKnown);
        m_wizard->SetFocalLength(focal);
        EXPECT_TRUE(m_wizard->Create());
        m_window = m_wizard->m_hWnd;
        return *m_wizard;
    }
    CDialog& Page(int index) { return *m_wizard->GetPage(index); }
    std::string Text(int page, UINT id) { return Page(page).GetDlgItem(id)->GetWindowText(); }
    bool Enabled(int page, UINT id) { return Page(page).GetDlgItem(id)->IsWindowEnabled(); }
    void Click(int page, UINT id)
    {
        win::user::ClickControl(Page(page).GetDlgItem(id));
        PumpPendingMessages();
    }
    void GoToPage3()
    {
        Click(0, CCamInfoWizard::kNext);
        Click(1, CCamInfoWizard::kNext);
        ASSERT_EQ(m_wizard->GetCurrentPage(), 2);
    }
    void SaveAs(const std::string& camera)
    {
        win::user::TypeText(Page(2).GetDlgItem(CCamInfoWizard::kCamera)->m_hWnd, camera);
        Click(2, CCamInfoWizard::kSave);
    }
    std::string Output() const { return ProgramDir() + "/CameraInfo/my_camera_info.txt"; }

    CCamInfoWizard* m_wizard = nullptr;  // deletes itself
    HWND m_window = nullptr;
};

constexpr const char* kCorrected = "You have already adjusted distortion correction.\n\nProceed to \"Next\"";
constexpr const char* kNotCorrected =
    "You have not made distortion correction yet.\n\n To skip the making go to \"Next\".\n To make it, click "
    "cancel,\n    and make distortion correction and stitch.\n\n Then come back again (press F1 for Help).";

TEST_F(CamInfoWizardTest, PageTextsFollowTheCorrectionAndTheFocalLength)
{
    const DistortionRecord block;
    struct Case {
        bool withBlock;
        bool focalKnown;
        float focal;
        const char* page1;
        const char* page2;
        bool next;
    };
    const Case cases[] = {
        {true, true, 24.5f, kCorrected, "The focal length is known ( 24.5mm):\n\n Proceed to \"Next\"", true},
        {false, true, 0.0f, kNotCorrected, "The focal length is known (  0.0mm):\n\n Proceed to \"Next\"", true},
        {false, false, 0.0f, kNotCorrected,
         "The focal length has not been calculated yet.\n\nPlease click cancel and stitch images.\n\nThen come back "
         "again (press F1 for Help).",
         false},
        {true, false, -3.0f, kCorrected,
         "The focal length has not been calculated yet.\n\nPlease click cancel and stitch images.\n\nThen come back "
         "again (press F1 for Help).",
         false},
        {true, false, 105.25f, kCorrected, "The focal length is calculated as (105.2mm):\n\n Proceed to \"Next\"",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page2);
        CCamInfoWizard& wizard = Open(c.withBlock ? &block : nullptr, c.focalKnown, c.focal);
        EXPECT_EQ(wizard.GetWindowText(), "Make Camera Info File Wizard");
        EXPECT_EQ(wizard.GetCurrentPage(), 0);
        EXPECT_TRUE(Page(0).IsWindowVisible());
        EXPECT_FALSE(Page(1).IsWindowVisible());
        EXPECT_FALSE(Page(2).IsWindowVisible());
        EXPECT_EQ(Text(0, CCamInfoWizard::kPage1Text), c.page1);
        Click(0, CCamInfoWizard::kNext);
        EXPECT_EQ(wizard.GetCurrentPage(), 1);
        EXPECT_TRUE(Page(1).IsWindowVisible());
        EXPECT_FALSE(Page(0).IsWindowVisible());
        EXPECT_EQ(Text(1, CCamInfoWizard::kPage2Text), c.page2);
        EXPECT_EQ(Enabled(1, CCamInfoWizard::kNext), c.next);
        Click(1, CCamInfoWizard::kPrevious);
        EXPECT_EQ(wizard.GetCurrentPage(), 0);
        Click(0, IDCANCEL);
        EXPECT_FALSE(::IsWindow(m_window));
        m_wizard = nullptr;
    }
}

TEST_F(CamInfoWizardTest, Page3ShowsTheFocalLengthAndTheCoefficients)
{
    DistortionRecord usual;
    usual.b = 0.2f;
    usual.c = 0.4f;
    usual.d = 2.0f;
    DistortionRecord noFourth = usual;
    noFourth.d = 0.0f;
    struct Case {
        const DistortionRecord* block;
        const char* coefficients;
    };
    const Case cases[] = {
        {&usual, "a=0.200000 b = 0.100000"},
        {&noFourth, "a=0.000000 b = 0.000000"},
        {nullptr, "a=0.000000 b = 0.000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.coefficients);
        Open(c.block, true, 8.75f);
        GoToPage3();
        EXPECT_EQ(Text(2, CCamInfoWizard::kFocalText), "  8.8mm");
        EXPECT_EQ(Text(2, CCamInfoWizard::kCoefficientText), c.coefficients);
        EXPECT_EQ(Text(2, CCamInfoWizard::kPath), ProgramDir() + "\\CameraInfo\\my_camera_info.txt");
        EXPECT_FALSE(Enabled(2, CCamInfoWizard::kFinish));
        Click(2, CCamInfoWizard::kPrevious);
        EXPECT_EQ(m_wizard->GetCurrentPage(), 1);
        m_wizard->SendMessage(WM_CLOSE, 0, 0);
        PumpPendingMessages();
        EXPECT_FALSE(::IsWindow(m_window));
        m_wizard = nullptr;
    }
}

TEST_F(CamInfoWizardTest, AnIdentityCorrectionWritesOnlyTheHeader)
{
    const DistortionRecord identity;  // 0, 0, 0, 1 and no colour values
    Open(&identity, true, 24.5f);
    GoToPage3();
    SaveAs("My camera");
    EXPECT_EQ(ReadAll(Output()), "[version] 1.0.0\n[camera] My camera\n[focal length] 24.500000mm\n");
    EXPECT_TRUE(Enabled(2, CCamInfoWizard::kFinish));
    Click(2, CCamInfoWizard::kFinish);
    EXPECT_FALSE(::IsWindow(m_window));
    m_wizard = nullptr;
}

TEST_F(CamInfoWizardTest, WrittenRowsReadBackThroughTheLegacyReader)
{
    auto* block = new DistortionRecord;
    block->a = 0.5f;
    block->b = -0.25f;
    block->c = 0.125f;
    block->d = 0.625f;  // sums to 1: read back unchanged
    const float colour[6] = {1.000125f, 0.999875f, 0.0f, -0.5f, 2.0f, 0.0625f};
    std::copy(colour, colour + 6, block->colourRegistration);
    const DistortionRecord original = *block;
    Open(block, true, 35.0f);
    // The caller's record goes away while the wizard is open.
    std::fill_n(reinterpret_cast<float*>(block), 11, 7.0f);
    delete block;
    GoToPage3();
    SaveAs("A camera name longer than thirty-two characters");

    const std::string text = ReadAll(Output());
    const std::string plain = "0.500000 -0.250000 0.125000 0.625000";
    const size_t row = text.find("[distortion] ");
    ASSERT_NE(row, std::string::npos);
    EXPECT_EQ(text.substr(row + 13 + plain.size(), 2), "\r\n");
    EXPECT_NE(text.substr(row + 13, plain.size()), plain);  // hidden

    CamInfo info;
    std::string description;
    ASSERT_TRUE(info.LoadFile("my_camera_info.txt", &description));
    EXPECT_NE(description.find("Camera: A camera name longer than thirty\n"), std::string::npos) << description;
    ASSERT_TRUE(info.hasDistortion);
    const float distortion[4] = {original.a, original.b, original.c, original.d};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(info.distortion[i], distortion[i]) << i;
    ASSERT_TRUE(info.hasColorRegistration);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(info.colorRegistration[i], original.colourRegistration[i], 1e-6) << i;
    EXPECT_TRUE(info.hasFocalLength);
    Click(2, IDCANCEL);
    m_wizard = nullptr;
}

TEST_F(CamInfoWizardTest, TheChooserKeepsToTheLegacyFolder)
{
    Open(nullptr, true, 24.0f);
    GoToPage3();
    const std::string folder = ProgramDir() + "\\CameraInfo";
    Prompter().ExpectFileDialog("Select a camera info file name",
                                win::FileDialogAnswer{true, {Home().file("elsewhere/cam.txt")}, 1});
    Prompter().ExpectMessageBox("Please do not select folder other than " + folder, IDOK);
    Click(2, CCamInfoWizard::kChoosePath);
    EXPECT_EQ(m_wizard->GetOutputPath(), folder + "\\my_camera_info.txt");

    const std::string inside = ProgramDir() + "/CameraInfo/other.txt";
    Prompter().ExpectFileDialog("Select a camera info file name", win::FileDialogAnswer{true, {inside}, 1});
    Click(2, CCamInfoWizard::kChoosePath);
    EXPECT_EQ(m_wizard->GetOutputPath(), inside);
    EXPECT_EQ(Text(2, CCamInfoWizard::kPath), inside);
    SaveAs("cam");
    EXPECT_TRUE(fs::exists(inside));
    const auto asked = Prompter().FileDialogs();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].fileName, folder + "\\my_camera_info.txt");
    EXPECT_EQ(asked[0].defaultExt, "txt");
    EXPECT_EQ(asked[0].filter, "Camera Info File (*.txt)|*.txt||");
    EXPECT_TRUE(asked[0].flags & OFN_OVERWRITEPROMPT);
}

TEST_F(CamInfoWizardTest, AFileThatCannotBeWrittenIsReported)
{
    fs::remove_all(ProgramDir() + "/CameraInfo");
    Open(nullptr, true, 24.0f);
    GoToPage3();
    Prompter().ExpectMessageBox("Can not open camera info file for saving.", IDOK);
    SaveAs("cam");
    EXPECT_FALSE(Enabled(2, CCamInfoWizard::kFinish));
}

}  // namespace
