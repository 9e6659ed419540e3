// The "Save Camera Info" dialog driven through the runtime: the name check
// and its two answers, the relabelled button, the outputs, the chooser kept
// in its folder, and the drawn result of the check.
#include "app/matching/cam_info_file.h"
#include "app/matching/save_cam_info_dlg.h"
#include "app/matching/tests/matching_test_helpers.h"
#include "app/shell/app_resources.h"
#include "app/tests/app_test_fixture.h"
#include "imaging/image.h"
#include "platform/win/controls.h"
#include "platform/win/file_dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

using matching_test::WriteAll;

class SaveCamInfoDlgTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterAppResources();
        m_folder = CamInfoFolder();
        WriteAll(win::ToPosixPath(m_folder) + "/mine.camInfo", "[CalMethod] Runtime\n");
    }
    static std::string Text(CDialog& d, UINT id) { return d.GetDlgItem(id)->GetWindowText(); }
    static void Click(CDialog& d, UINT id) { win::user::ClickControl(d.GetDlgItem(id)); }
    static void Type(CDialog& d, UINT id, const std::string& text) { win::user::TypeText(d.GetDlgItem(id)->m_hWnd, text); }

    INT_PTR Run(CSaveCamInfoDlg& dialog, const std::string& name, std::function<void(CDialog&)> step)
    {
        dialog.SetFolder(m_folder);
        dialog.SetFileName(name);
        Prompter().ExpectDialog(CSaveCamInfoDlg::kTemplateId, std::move(step));
        return dialog.DoModal();
    }
    std::string m_folder;
};

TEST_F(SaveCamInfoDlgTest, WithoutANameTheButtonDoesNothing)
{
    CSaveCamInfoDlg dialog;
    EXPECT_EQ(Run(dialog, "",
                  [&](CDialog& d) {
                      EXPECT_EQ(d.GetWindowText(), "Save Camera Info");
                      EXPECT_EQ(Text(d, CSaveCamInfoDlg::kName), "");
                      EXPECT_EQ(Text(d, CSaveCamInfoDlg::kFolder), m_folder);
                      EXPECT_EQ(Text(d, IDOK), "Check");
                      Click(d, IDOK);
                      Click(d, IDOK);
                      EXPECT_EQ(Text(d, IDOK), "Check");
                      EXPECT_EQ(Text(d, CSaveCamInfoDlg::kStatus), "");
                      Click(d, IDCANCEL);
                  }),
              IDCANCEL);
}

TEST_F(SaveCamInfoDlgTest, TheNameIsCheckedThenTaken)
{
    struct Case {
        const char* given;  // by the caller
        const char* typed;  // by the user; null: none
        const char* status;
        bool isNew;
        const char* result;
    };
    const Case cases[] = {
        {"mine", nullptr, "Overwrite existing Camera Info file?", false, "mine.camInfo"},
        {"", "fresh", "New Camera Info file", true, "fresh.camInfo"},
        {"fresh", "mine", "Overwrite existing Camera Info file?", false, "mine.camInfo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        CSaveCamInfoDlg dialog;
        EXPECT_EQ(Run(dialog, c.given,
                      [&](CDialog& d) {
                          if (c.typed) Type(d, CSaveCamInfoDlg::kName, c.typed);
                          Click(d, IDOK);
                          EXPECT_EQ(Text(d, CSaveCamInfoDlg::kStatus), c.status);
                          EXPECT_EQ(Text(d, IDOK), "OK");
                          Click(d, IDOK);
                      }),
                  IDOK);
        EXPECT_EQ(dialog.IsNew(), c.isNew);
        EXPECT_EQ(dialog.GetFileName(), c.result);
    }
}

TEST_F(SaveCamInfoDlgTest, ANameChangedAfterItsCheckIsCheckedAgain)
{
    CSaveCamInfoDlg dialog;
    EXPECT_EQ(Run(dialog, "fresh",
                  [&](CDialog& d) {
                      Click(d, IDOK);
                      EXPECT_EQ(Text(d, IDOK), "OK");
                      Type(d, CSaveCamInfoDlg::kName, "mine");
                      EXPECT_EQ(Text(d, IDOK), "Check");
                      Click(d, IDOK);
                      EXPECT_EQ(Text(d, CSaveCamInfoDlg::kStatus), "Overwrite existing Camera Info file?");
                      Click(d, IDOK);
                  }),
              IDOK);
    EXPECT_FALSE(dialog.IsNew());
    EXPECT_EQ(dialog.GetFileName(), "mine.camInfo");
}

TEST_F(SaveCamInfoDlgTest, LensAndCommentOutputs)
{
    struct Case {
        bool check;
        const char* lens;
        const char* comment;
        bool externalLens;
    };
    const Case cases[] = {
        {true, "Raynox DCR-6600", "a comment", true},
        {true, "", "", false},  // an empty description is no lens
        {false, "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lens);
        CSaveCamInfoDlg dialog;
        Run(dialog, "fresh", [&](CDialog& d) {
            EXPECT_FALSE(d.GetDlgItem(CSaveCamInfoDlg::kLensText)->IsWindowEnabled());
            if (c.check) {
                Click(d, CSaveCamInfoDlg::kExternalLensCheck);
                EXPECT_TRUE(d.GetDlgItem(CSaveCamInfoDlg::kLensText)->IsWindowEnabled());
                Type(d, CSaveCamInfoDlg::kLensText, c.lens);
            }
            Type(d, CSaveCamInfoDlg::kComment, c.comment);
            Click(d, IDOK);
            Click(d, IDOK);
        });
        EXPECT_EQ(dialog.IsExternalLens(), c.externalLens);
        EXPECT_EQ(dialog.GetExternalLensName() ? std::string(dialog.GetExternalLensName()) : "",
                  c.externalLens ? c.lens : "");
        EXPECT_EQ(dialog.GetComment() ? std::string(dialog.GetComment()) : "<none>",
                  *c.comment ? c.comment : "<none>");
    }
}

TEST_F(SaveCamInfoDlgTest, TheChooserStaysInTheFolder)
{
    const std::string inside = win::ToPosixPath(m_folder) + "/picked.camInfo";
    CSaveCamInfoDlg dialog;
    Run(dialog, "", [&](CDialog& d) {
        Prompter().ExpectFileDialog("Choose Camera Info File Name", win::FileDialogAnswer{true, {inside}, 1});
        Click(d, CSaveCamInfoDlg::kChoose);
        EXPECT_EQ(Text(d, CSaveCamInfoDlg::kName), "picked");
        EXPECT_EQ(Text(d, CSaveCamInfoDlg::kStatus), "New Camera Info file");
        EXPECT_EQ(Text(d, IDOK), "OK");
        // An answer from another folder is refused and changes nothing.
        Prompter().ExpectFileDialog("Choose Camera Info File Name",
                                    win::FileDialogAnswer{true, {Home().file("elsewhere/x.camInfo")}, 1});
        EXPECT_NONFATAL_FAILURE(Click(d, CSaveCamInfoDlg::kChoose), "leaves the folder");
        EXPECT_EQ(Text(d, CSaveCamInfoDlg::kName), "picked");
        Click(d, IDOK);
    });
    EXPECT_EQ(dialog.GetFileName(), "picked.camInfo");
    const auto asked = Prompter().FileDialogs();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_FALSE(asked[0].open);
    EXPECT_EQ(asked[0].lockedFolder, m_folder);
    EXPECT_EQ(asked[0].initialDir, m_folder);
    EXPECT_EQ(asked[0].defaultExt, "camInfo");
    EXPECT_EQ(asked[0].filter, "Camera Info File (*.camInfo)|*.camInfo||");
    EXPECT_EQ(asked[0].flags & (OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR),
              OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR);
}

// Each control as drawn in the dialog equals the same kind of control with
// the same text drawn alone on a surface of its size.
TEST_F(SaveCamInfoDlgTest, TheCheckedStateIsDrawn)
{
    struct Shot {
        UINT id;
        const char* text;
        Image* inDialog = nullptr;
        RECT rect{};
    };
    Shot shots[] = {{IDOK, "OK"}, {CSaveCamInfoDlg::kStatus, "Overwrite existing Camera Info file?"}};
    CSaveCamInfoDlg dialog;
    Run(dialog, "mine", [&](CDialog& d) {
        Click(d, IDOK);
        win::PaintAll();
        for (Shot& shot : shots) {
            CWnd* control = d.GetDlgItem(shot.id);
            control->GetClientRect(&shot.rect);
            shot.inDialog = win::CaptureWindow(control->m_hWnd);
        }
        Click(d, IDCANCEL);
    });
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, "alone", WS_POPUP | WS_VISIBLE, RECT{0, 0, 500, 100}, nullptr, 0));
    CButton button;
    CStatic label;
    ASSERT_TRUE(button.Create(shots[0].text, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON,
                              RECT{0, 0, shots[0].rect.right, shots[0].rect.bottom}, &parent, IDOK));
    ASSERT_TRUE(label.Create(shots[1].text, WS_CHILD | WS_VISIBLE,
                             RECT{0, 40, shots[1].rect.right, 40 + shots[1].rect.bottom}, &parent, 1011));
    // The pressed button kept the focus in the dialog.
    button.SetFocus();
    win::PaintAll();
    CWnd* alone[] = {&button, &label};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(shots[i].text);
        Image* reference = win::CaptureWindow(alone[i]->m_hWnd);
        ASSERT_NE(shots[i].inDialog, nullptr);
        ASSERT_NE(reference, nullptr);
        ASSERT_EQ(shots[i].inDialog->GetWidth(), reference->GetWidth());
        ASSERT_EQ(shots[i].inDialog->GetHeight(), reference->GetHeight());
        int dark = 0, differing = 0;
        for (int y = 0; y < reference->GetHeight(); ++y) {
            const unsigned char* p = shots[i].inDialog->GetData() + static_cast<size_t>(y) * shots[i].inDialog->GetRowByte();
            const unsigned char* q = reference->GetData() + static_cast<size_t>(y) * reference->GetRowByte();
            for (int x = 0; x < reference->GetWidth() * 3; ++x) {
                differing += p[x] != q[x];
                dark += p[x] < 80;
            }
        }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(dark, 20);  // the text is there
        ReleaseImage(reference);
        ReleaseImage(shots[i].inDialog);
    }
    button.DestroyWindow();
    label.DestroyWindow();
    parent.DestroyWindow();
}

}  // namespace
