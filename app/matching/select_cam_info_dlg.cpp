#include "app/matching/select_cam_info_dlg.h"

#include "app/matching/cam_info_file.h"
#include "app/matching/share_library.h"
#include "app/shell/fendrake_app.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/file_system.h"
#include "platform/win/resources.h"
#include "platform/win/shell.h"
#include "platform/win/win_app.h"

#include <cstdlib>

namespace {

// Adds the plain files of `pattern` to the list.
void AddFiles(CListBox& list, const std::string& pattern)
{
    WIN32_FIND_DATA data;
    HANDLE find = FindFirstFile(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) list.AddString(data.cFileName);
    } while (FindNextFile(find, &data));
    FindClose(find);
}

// Where shared camera files are to be sent: a deployment setting.
std::string ShareAddress()
{
    const char* address = std::getenv("FENDRAKE_CAMINFO_SHARE");
    return address && *address ? address : "the address on the Fendrake web site";
}

}  // namespace

CSelectCamInfoDlg::CSelectCamInfoDlg(CWnd* parent) : CDialog(kTemplateId, parent) {}

BOOL CSelectCamInfoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (CWnd* ignore = GetDlgItem(kIgnoreFocalCheck)) ignore->EnableWindow(FALSE);
    FillList();
    return TRUE;
}

void CSelectCamInfoDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Check(dx, kLegacyCheck, m_legacy);
    DDX_Check(dx, kIgnoreFocalCheck, m_ignoreFocal);
}

void CSelectCamInfoDlg::FillList()
{
    auto* list = dynamic_cast<CListBox*>(GetDlgItem(kList));
    if (!list) return;
    list->ResetContent();
    if (m_legacy) {
        AddFiles(*list, CFendrakeApp::GetProgramDir() + "\\CameraInfo\\*.txt");
    } else {
        AddFiles(*list, CamInfoFolder() + "\\*.camInfo");
        AddFiles(*list, CamInfoShareLibFolder() + "\\*.camInfo_");
    }
    SetDlgItemText(kDescription, list->GetCount() > 0
                                     ? "Please Select from Camera Info list."
                                     : "Find no Camera Info file.\nSee Help | Calibrate Camera for more info");
}

void CSelectCamInfoDlg::ClearIgnoreFocal()
{
    m_ignoreFocal = 0;
    CheckDlgButton(kIgnoreFocalCheck, 0);
    if (CWnd* ignore = GetDlgItem(kIgnoreFocalCheck)) ignore->EnableWindow(FALSE);
}

void CSelectCamInfoDlg::OnSelChange()
{
    ClearIgnoreFocal();
    auto* list = dynamic_cast<CListBox*>(GetDlgItem(kList));
    const int index = list ? list->GetCurSel() : -1;
    if (index < 0) return;
    std::string name;
    list->GetText(index, name);
    if (!m_record) m_record = std::make_unique<CamInfo>();
    std::string description;
    m_loaded = m_record->LoadFile(name.c_str(), &description);
    if (!m_loaded) {
        m_selectedName.clear();
        SetDlgItemText(kDescription, "");
        return;
    }
    m_selectedName = name;
    SetDlgItemText(kDescription, description.c_str());
    // Only a record from the calibration tool has a focal length worth
    // re-calibrating; legacy files never qualify.
    if (!m_legacy && m_record->calMethod == 1)
        if (CWnd* ignore = GetDlgItem(kIgnoreFocalCheck)) ignore->EnableWindow(TRUE);
}

void CSelectCamInfoDlg::OnLegacyClicked()
{
    m_legacy = IsDlgButtonChecked(kLegacyCheck) ? 1 : 0;
    if (m_legacy)
        AfxMessageBox("Legacy Camera Info should only be used by old stitching projects.\nYou should create your own "
                      "camera info file via Edit | Calibrate Camera.\nSee Help | Calibrate Camera for more info.",
                      MB_OK);
    FillList();
    ClearIgnoreFocal();
}

void CSelectCamInfoDlg::OnIgnoreFocalClicked()
{
    m_ignoreFocal = IsDlgButtonChecked(kIgnoreFocalCheck) ? 1 : 0;
    if (m_ignoreFocal)
        AfxMessageBox("Stitching will not use calibrated focol length info.\nCheck this if you think such info is "
                      "inaccurate and\nyou want to update from the current stitching.\nSee Help | Calibrate Camera "
                      "for more info.",
                      MB_OK);
}

void CSelectCamInfoDlg::OnUpdateFromWeb() { CamInfoLib::UpdateAppDirLib(true); }

void CSelectCamInfoDlg::OnShareMine()
{
    // The folder opens in the desktop's file browser (recorded when headless).
    const std::string folder = CamInfoFolder();
    ShellExecute(m_hWnd, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    const std::string text = "Please e-mail the Camera Info files shown in the opened window to\n" + ShareAddress() +
                             "\nso that other users of the same camera can use them.";
    AfxMessageBox(text.c_str(), MB_OK);
}

void CSelectCamInfoDlg::OnHelp()
{
    if (auto* app = dynamic_cast<CFendrakeApp*>(AfxGetApp())) app->ShowHelpTopic("MakeCamInfoFile.htm");
}

float CSelectCamInfoDlg::GetFocalLength() const
{
    if (!m_loaded || !m_record || m_ignoreFocal) return 0.0f;
    return m_record->GetFocalLength();
}

bool CSelectCamInfoDlg::GetCorrectionParams(DistortionRecord* out) const
{
    return m_loaded && m_record && out && m_record->GetCorrectionParams(out);
}

CamInfo* CSelectCamInfoDlg::TakeCamInfo()
{
    if (!m_loaded || !m_record) return nullptr;
    if (m_ignoreFocal) {
        m_record->focalLength = 0.0f;
        m_record->hasFocalLength = 0;
    }
    m_loaded = false;
    return m_record.release();
}

const win::MessageMap* CSelectCamInfoDlg::GetMessageMap() const
{
    static const win::MessageMap map(
        CDialog::GetMessageMap(),
        {
            win::on::Control(LBN_SELCHANGE, kList, &CSelectCamInfoDlg::OnSelChange),
            win::on::Control(BN_CLICKED, kLegacyCheck, &CSelectCamInfoDlg::OnLegacyClicked),
            win::on::Control(BN_CLICKED, kIgnoreFocalCheck, &CSelectCamInfoDlg::OnIgnoreFocalClicked),
            win::on::Control(BN_CLICKED, kUpdateFromWeb, &CSelectCamInfoDlg::OnUpdateFromWeb),
            win::on::Control(BN_CLICKED, kShareMine, &CSelectCamInfoDlg::OnShareMine),
            win::on::Control(BN_CLICKED, kHelp, &CSelectCamInfoDlg::OnHelp),
        });
    return &map;
}

void AddSelectCamInfoDialog(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CSelectCamInfoDlg::kTemplateId;
    dialog.caption = "Select Camera Info";
    dialog.size = SIZE{520, 330};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.controls = {
        ControlTemplate(CSelectCamInfoDlg::kList, ControlKind::ListBox, RECT{10, 10, 230, 250}, "",
                        WS_GROUP | WS_VSCROLL),
        ControlTemplate(CSelectCamInfoDlg::kDescription, ControlKind::Static, RECT{240, 10, 510, 250}, ""),
        ControlTemplate(CSelectCamInfoDlg::kLegacyCheck, ControlKind::CheckBox, RECT{10, 258, 230, 276},
                        "Load legacy Camera Info", WS_GROUP),
        ControlTemplate(CSelectCamInfoDlg::kIgnoreFocalCheck, ControlKind::CheckBox, RECT{240, 258, 510, 276},
                        "Ignore Focal Length to re-calibrate", WS_GROUP),
        ControlTemplate(CSelectCamInfoDlg::kUpdateFromWeb, ControlKind::PushButton, RECT{10, 290, 170, 316},
                        "Update Share Lib from Web", WS_GROUP),
        ControlTemplate(CSelectCamInfoDlg::kShareMine, ControlKind::PushButton, RECT{176, 290, 336, 316},
                        "Share my Camera Info Files"),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{344, 290, 408, 316}, "OK"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{412, 290, 476, 316}, "Cancel"),
        ControlTemplate(CSelectCamInfoDlg::kHelp, ControlKind::PushButton, RECT{480, 290, 510, 316}, "?"),
    };
    module.AddDialog(std::move(dialog));
}
