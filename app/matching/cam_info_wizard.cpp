#include "app/matching/cam_info_wizard.h"

#include "app/matching/cam_info_file.h"
#include "app/shell/fendrake_app.h"
#include "platform/win/file_dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"

#include <cstdio>
#include <filesystem>

namespace {

// "%f ..." scrambled as the legacy rows are, ended by CR LF.
void WriteScrambledRow(FILE* file, const char* key, const float* values, int count)
{
    std::string row;
    char number[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(number, sizeof number, i ? " %f" : "%f", static_cast<double>(values[i]));
        row += number;
    }
    ScrambleRow(row.data(), row.size());
    std::fprintf(file, "%s", key);
    std::fwrite(row.data(), 1, row.size(), file);
    std::fprintf(file, "\r\n");
}

// The folder part of a path, in the platform's spelling, for comparing.
std::string NativeFolderOf(const std::string& path)
{
    namespace fs = std::filesystem;
    std::string folder = fs::path(win::ResolvePath(path)).lexically_normal().parent_path().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string NativeFolder(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::string native = fs::path(win::ResolvePath(folder)).lexically_normal().string();
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return native;
}

}  // namespace

// ---- Pages ----------------------------------------------------------------

void CCamInfoWizardPage::OnCancel() { m_wizard->OnCancel(); }
void CCamInfoWizardPage::OnNext() { m_wizard->Next(); }
void CCamInfoWizardPage::OnPrevious() { m_wizard->Previous(); }
void CCamInfoWizardPage::OnSave() { m_wizard->Save(); }
void CCamInfoWizardPage::OnFinish() { m_wizard->Finish(); }
void CCamInfoWizardPage::OnChoosePath() { m_wizard->ChoosePath(); }

const win::MessageMap* CCamInfoWizardPage::GetMessageMap() const
{
    static const win::MessageMap map(
        CDialog::GetMessageMap(),
        {
            win::on::Control(BN_CLICKED, CCamInfoWizard::kNext, &CCamInfoWizardPage::OnNext),
            win::on::Control(BN_CLICKED, CCamInfoWizard::kPrevious, &CCamInfoWizardPage::OnPrevious),
            win::on::Control(BN_CLICKED, CCamInfoWizard::kSave, &CCamInfoWizardPage::OnSave),
            win::on::Control(BN_CLICKED, CCamInfoWizard::kFinish, &CCamInfoWizardPage::OnFinish),
            win::on::Control(BN_CLICKED, CCamInfoWizard::kChoosePath, &CCamInfoWizardPage::OnChoosePath),
        });
    return &map;
}

// ---- The wizard -------------------------------------------------------------

CCamInfoWizard::CCamInfoWizard() : CDialog(kTemplateId)
{
    for (int i = 0; i < 3; ++i) m_pages[i] = std::make_unique<CCamInfoWizardPage>(this, kPageTemplates[i]);
}

CCamInfoWizard::~CCamInfoWizard() = default;

void CCamInfoWizard::SetCorrection(const DistortionRecord* correction)
{
    if (correction)
        m_correction = *correction;
    else
        m_correction.reset();
}

BOOL CCamInfoWizard::Create(CWnd* parent) { return CDialog::Create(kTemplateId, parent); }

std::string CCamInfoWizard::LegacyFolder() const { return CFendrakeApp::GetProgramDir() + "\\CameraInfo"; }

BOOL CCamInfoWizard::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_outputPath = LegacyFolder() + "\\my_camera_info.txt";
    RECT client{};
    GetClientRect(&client);
    for (auto& page : m_pages) {
        page->Create(page->GetTemplateId(), this);
        page->MoveWindow(0, 0, client.right, client.bottom);
    }
    m_pages[0]->SetDlgItemText(
        kPage1Text, m_correction ? "You have already adjusted distortion correction.\n\nProceed to \"Next\""
                                 : "You have not made distortion correction yet.\n\n To skip the making go to "
                                   "\"Next\".\n To make it, click cancel,\n    and make distortion correction and "
                                   "stitch.\n\n Then come back again (press F1 for Help).");
    m_pages[2]->SetDlgItemText(kPath, m_outputPath.c_str());
    if (CWnd* finish = m_pages[2]->GetDlgItem(kFinish)) finish->EnableWindow(FALSE);
    if (CWnd* camera = m_pages[2]->GetDlgItem(kCamera)) camera->SendMessage(EM_LIMITTEXT, kCameraLimit, 0);
    ShowPage(0);
    // Top of the screen, against its right edge.
    SetWindowPos(nullptr, GetSystemMetrics(SM_CXSCREEN) - client.right, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return TRUE;
}

void CCamInfoWizard::ShowPage(int index)
{
    m_current = index;
    if (index == 1) RefreshPage2();
    if (index == 2) RefreshPage3();
    for (int i = 0; i < 3; ++i)
        if (m_pages[i]->m_hWnd) m_pages[i]->ShowWindow(i == index ? SW_SHOW : SW_HIDE);
}

void CCamInfoWizard::RefreshPage2()
{
    char text[256];
    bool next = true;
    if (m_focalKnown) {
        std::snprintf(text, sizeof text, "The focal length is known (%5.1fmm):\n\n Proceed to \"Next\"",
                      static_cast<double>(m_focalLength));
    } else if (m_focalLength <= 0.0f) {
        std::snprintf(text, sizeof text, "%s",
                      "The focal length has not been calculated yet.\n\nPlease click cancel and stitch images.\n\n"
                      "Then come back again (press F1 for Help).");
        next = false;
    } else {
        std::snprintf(text, sizeof text, "The focal length is calculated as (%5.1fmm):\n\n Proceed to \"Next\"",
                      static_cast<double>(m_focalLength));
    }
    m_pages[1]->SetDlgItemText(kPage2Text, text);
    if (CWnd* button = m_pages[1]->GetDlgItem(kNext)) button->EnableWindow(next);
}

void CCamInfoWizard::RefreshPage3()
{
    char text[128];
    std::snprintf(text, sizeof text, "%5.1fmm", static_cast<double>(m_focalLength));
    m_pages[2]->SetDlgItemText(kFocalText, text);
    float a = 0.0f, b = 0.0f;
    if (m_correction && m_correction->d != 0.0f) {
        a = m_correction->c / m_correction->d;
        b = m_correction->b / m_correction->d;
    }
    std::snprintf(text, sizeof text, "a=%f b = %f", static_cast<double>(a), static_cast<double>(b));
    m_pages[2]->SetDlgItemText(kCoefficientText, text);
}

void CCamInfoWizard::Next()
{
    if (m_current < 2) ShowPage(m_current + 1);
}

void CCamInfoWizard::Previous()
{
    if (m_current > 0) ShowPage(m_current - 1);
}

void CCamInfoWizard::Save()
{
    CDialog& page = *m_pages[2];
    std::string camera = page.GetDlgItem(kCamera)->GetWindowText();
    if (camera.size() > kCameraLimit) camera.resize(kCameraLimit);
    FILE* file = win::OpenFile(m_outputPath, "wb");
    if (!file) {
        AfxMessageBox("Can not open camera info file for saving.", MB_OK);
        return;
    }
    std::fprintf(file, "[version] 1.0.0\n");
    std::fprintf(file, "[camera] %s\n", camera.c_str());
    std::fprintf(file, "[focal length] %fmm\n", static_cast<double>(m_focalLength));
    if (m_correction) {
        const DistortionRecord& r = *m_correction;
        const float distortion[4] = {r.a, r.b, r.c, r.d};
        if (!(r.a == 0.0f && r.b == 0.0f && r.c == 0.0f && r.d == 1.0f))
            WriteScrambledRow(file, "[distortion] ", distortion, 4);
        bool colour = false;
        for (float v : r.colourRegistration) colour = colour || v != 0.0f;
        if (colour) WriteScrambledRow(file, "[color registration] ", r.colourRegistration, 6);
    }
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        AfxMessageBox("Can not open camera info file for saving.", MB_OK);
        return;
    }
    if (CWnd* finish = page.GetDlgItem(kFinish)) finish->EnableWindow(TRUE);
}

void CCamInfoWizard::ChoosePath()
{
    CFileDialog chooser(FALSE, "txt", m_outputPath.c_str(), OFN_OVERWRITEPROMPT, "Camera Info File (*.txt)|*.txt||",
                        this);
    chooser.m_ofn.lpstrTitle = "Select a camera info file name";
    if (chooser.DoModal() != IDOK) return;
    const std::string path = chooser.GetPathName();
    const std::string folder = LegacyFolder();
    if (NativeFolderOf(path) != NativeFolder(folder)) {
        AfxMessageBox(("Please do not select folder other than " + folder).c_str(), MB_OK);
        return;
    }
    m_outputPath = path;
    m_pages[2]->SetDlgItemText(kPath, m_outputPath.c_str());
}

void CCamInfoWizard::Finish() { DestroyWindow(); }

void CCamInfoWizard::OnCancel() { DestroyWindow(); }

void CCamInfoWizard::PostNcDestroy()
{
    CDialog::PostNcDestroy();
    delete this;
}

void AddCamInfoWizardDialogs(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    const SIZE size{380, 260};
    win::DialogTemplate wizard;
    wizard.id = CCamInfoWizard::kTemplateId;
    wizard.caption = "Make Camera Info File Wizard";
    wizard.size = size;
    wizard.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    module.AddDialog(std::move(wizard));

    const RECT back{100, 224, 190, 248}, next{196, 224, 286, 248}, cancel{292, 224, 370, 248};
    win::DialogTemplate page1;
    page1.id = CCamInfoWizard::kPageTemplates[0];
    page1.size = size;
    page1.style = WS_CHILD;
    page1.controls = {
        ControlTemplate(CCamInfoWizard::kPage1Text, ControlKind::Static, RECT{12, 12, 368, 200}, ""),
        ControlTemplate(CCamInfoWizard::kNext, ControlKind::DefPushButton, next, "Next -->", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, cancel, "Cancel"),
    };
    module.AddDialog(std::move(page1));

    win::DialogTemplate page2;
    page2.id = CCamInfoWizard::kPageTemplates[1];
    page2.size = size;
    page2.style = WS_CHILD;
    page2.controls = {
        ControlTemplate(CCamInfoWizard::kPage2Text, ControlKind::Static, RECT{12, 12, 368, 200}, ""),
        ControlTemplate(CCamInfoWizard::kPrevious, ControlKind::PushButton, back, "<-- Previous", WS_GROUP),
        ControlTemplate(CCamInfoWizard::kNext, ControlKind::DefPushButton, next, "Next -->"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, cancel, "Cancel"),
    };
    module.AddDialog(std::move(page2));

    win::DialogTemplate page3;
    page3.id = CCamInfoWizard::kPageTemplates[2];
    page3.size = size;
    page3.style = WS_CHILD;
    page3.controls = {
        ControlTemplate(0, ControlKind::Static, RECT{12, 12, 120, 28}, "Focal length:"),
        ControlTemplate(CCamInfoWizard::kFocalText, ControlKind::Static, RECT{124, 12, 368, 28}, ""),
        ControlTemplate(0, ControlKind::Static, RECT{12, 36, 120, 52}, "Distortion:"),
        ControlTemplate(CCamInfoWizard::kCoefficientText, ControlKind::Static, RECT{124, 36, 368, 52}, ""),
        ControlTemplate(0, ControlKind::Static, RECT{12, 64, 120, 80}, "Camera:"),
        ControlTemplate(CCamInfoWizard::kCamera, ControlKind::Edit, RECT{124, 62, 368, 82}, "", WS_GROUP | WS_TABSTOP),
        ControlTemplate(0, ControlKind::Static, RECT{12, 92, 120, 108}, "Save to:"),
        ControlTemplate(CCamInfoWizard::kPath, ControlKind::Static, RECT{12, 112, 330, 150}, ""),
        ControlTemplate(CCamInfoWizard::kChoosePath, ControlKind::PushButton, RECT{334, 112, 368, 132}, "...."),
        ControlTemplate(CCamInfoWizard::kSave, ControlKind::PushButton, RECT{12, 224, 90, 248}, "Save", WS_GROUP),
        ControlTemplate(CCamInfoWizard::kPrevious, ControlKind::PushButton, back, "<-- Previous"),
        ControlTemplate(CCamInfoWizard::kFinish, ControlKind::PushButton, next, "Finish"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, cancel, "Cancel"),
    };
    module.AddDialog(std::move(page3));
}
