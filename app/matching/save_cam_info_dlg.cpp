#include "app/matching/save_cam_info_dlg.h"

#include "platform/win/file_dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/resources.h"

#include <cstdio>

namespace {

constexpr size_t kTextLimit = 255;
constexpr size_t kCommentLimit = 1023;

std::string Limited(std::string text, size_t limit)
{
    if (text.size() > limit) text.resize(limit);
    return text;
}

// "name.camInfo" or "C:\\x\\name.camInfo" -> "name".
std::string FileTitle(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return name;
}

}  // namespace

CSaveCamInfoDlg::CSaveCamInfoDlg(CWnd* parent) : CDialog(kTemplateId, parent) {}

BOOL CSaveCamInfoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_settingName = true;
    if (!m_fileName.empty()) SetDlgItemText(kName, m_fileName.c_str());
    m_settingName = false;
    SetDlgItemText(kFolder, m_folder.c_str());
    SetDlgItemText(kComment, "");
    SetDlgItemText(kLensText, "");
    CheckDlgButton(kExternalLensCheck, m_externalLens ? 1 : 0);
    if (CWnd* lens = GetDlgItem(kLensText)) lens->EnableWindow(m_externalLens);
    SetDlgItemText(kStatus, "");
    m_nameChecked = false;
    SetDlgItemText(IDOK, "Check");
    return TRUE;
}

bool CSaveCamInfoDlg::CheckName()
{
    const std::string name = Limited(GetDlgItem(kName)->GetWindowText(), kTextLimit);
    if (name.empty()) return false;
    const std::string path = m_folder + "/" + name + ".camInfo";
    FILE* existing = win::OpenFile(path, "r");
    if (existing) {
        std::fclose(existing);
        SetDlgItemText(kStatus, "Overwrite existing Camera Info file?");
        m_isNew = false;
    } else {
        SetDlgItemText(kStatus, "New Camera Info file");
        m_isNew = true;
    }
    return true;
}

void CSaveCamInfoDlg::NameAccepted()
{
    m_nameChecked = true;
    SetDlgItemText(IDOK, "OK");
}

void CSaveCamInfoDlg::OnOK()
{
    if (!m_nameChecked) {
        if (CheckName()) NameAccepted();
        return;
    }
    m_fileName = Limited(GetDlgItem(kName)->GetWindowText(), kTextLimit) + ".camInfo";
    m_comment = Limited(GetDlgItem(kComment)->GetWindowText(), kCommentLimit);
    m_externalLens = IsDlgButtonChecked(kExternalLensCheck) != 0;
    m_lensText.clear();
    if (m_externalLens) {
        m_lensText = Limited(GetDlgItem(kLensText)->GetWindowText(), kTextLimit);
        if (m_lensText.empty()) m_externalLens = false;
    }
    EndDialog(IDOK);
}

void CSaveCamInfoDlg::OnExternalLensClicked()
{
    if (CWnd* lens = GetDlgItem(kLensText)) lens->EnableWindow(IsDlgButtonChecked(kExternalLensCheck) != 0);
}

// A name changed after its check must be checked again before it is taken.
void CSaveCamInfoDlg::OnNameChanged()
{
    if (m_settingName || !m_nameChecked) return;
    m_nameChecked = false;
    SetDlgItemText(kStatus, "");
    SetDlgItemText(IDOK, "Check");
}

void CSaveCamInfoDlg::OnChoose()
{
    CFileDialog chooser(FALSE, "camInfo", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR,
                        "Camera Info File (*.camInfo)|*.camInfo||", this);
    chooser.m_ofn.lpstrTitle = "Choose Camera Info File Name";
    chooser.m_ofn.lpstrInitialDir = m_folder.c_str();
    chooser.LockFolder(m_folder);
    if (chooser.DoModal() != IDOK) return;
    m_settingName = true;
    SetDlgItemText(kName, FileTitle(chooser.GetPathName()).c_str());
    m_settingName = false;
    if (CheckName()) NameAccepted();
}

const win::MessageMap* CSaveCamInfoDlg::GetMessageMap() const
{
    static const win::MessageMap map(
        CDialog::GetMessageMap(),
        {
            win::on::Control(BN_CLICKED, kExternalLensCheck, &CSaveCamInfoDlg::OnExternalLensClicked),
            win::on::Control(EN_CHANGE, kName, &CSaveCamInfoDlg::OnNameChanged),
            win::on::Control(BN_CLICKED, kChoose, &CSaveCamInfoDlg::OnChoose),
        });
    return &map;
}

void AddSaveCamInfoDialog(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CSaveCamInfoDlg::kTemplateId;
    dialog.caption = "Save Camera Info";
    dialog.size = SIZE{420, 280};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.controls = {
        ControlTemplate(0, ControlKind::Static, RECT{10, 12, 70, 28}, "Folder:"),
        ControlTemplate(CSaveCamInfoDlg::kFolder, ControlKind::Static, RECT{74, 12, 410, 28}, ""),
        ControlTemplate(0, ControlKind::Static, RECT{10, 40, 70, 56}, "Name:"),
        ControlTemplate(CSaveCamInfoDlg::kName, ControlKind::Edit, RECT{74, 38, 370, 58}, "", WS_GROUP | WS_TABSTOP),
        ControlTemplate(CSaveCamInfoDlg::kChoose, ControlKind::PushButton, RECT{376, 38, 410, 58}, "..."),
        ControlTemplate(CSaveCamInfoDlg::kStatus, ControlKind::Static, RECT{74, 64, 410, 80}, ""),
        ControlTemplate(CSaveCamInfoDlg::kExternalLensCheck, ControlKind::CheckBox, RECT{10, 92, 130, 110},
                        "External Lens", WS_GROUP),
        ControlTemplate(CSaveCamInfoDlg::kLensText, ControlKind::Edit, RECT{136, 90, 410, 110}, "", WS_TABSTOP),
        ControlTemplate(0, ControlKind::Static, RECT{10, 122, 90, 138}, "Comment:"),
        ControlTemplate(CSaveCamInfoDlg::kComment, ControlKind::Edit, RECT{10, 142, 410, 230}, "",
                        WS_TABSTOP | ES_MULTILINE),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{230, 244, 310, 268}, "Check", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{320, 244, 400, 268}, "Cancel"),
    };
    module.AddDialog(std::move(dialog));
}
