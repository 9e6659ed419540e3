#include "app/matching/init_config_dlg.h"

#include "app/control/super_manager.h"
#include "app/matching/app_config.h"
#include "platform/win/data_exchange.h"
#include "platform/win/resources.h"

namespace {

constexpr const char* kNone = "None";

// Focal modes 3 and 4 (from Exif) have no index: the index stays as it was.
int FocalIndexOfMode(int mode, int current)
{
    switch (mode) {
    case 2: return 0;
    case 0: return 1;
    case 1: return 2;
    default: return current;
    }
}

int FocalModeOfIndex(int index)
{
    static const int kModes[] = {2, 0, 1};
    return index >= 0 && index < 3 ? kModes[index] : 2;
}

}  // namespace

CInitConfigDlg::CInitConfigDlg(CWnd* parent) : CDialog(kTemplateId, parent) {}

BOOL CInitConfigDlg::OnInitDialog()
{
    if (m_config) {
        const char* file = m_config->GetCamInfoFile();
        m_camInfoFile = file ? file : kNone;
        m_focalIndex = FocalIndexOfMode(m_config->focalMode, m_focalIndex);
        m_focalLength = m_config->focalLength;
        m_autoBalance = m_config->autoBalance ? 1 : 0;
        m_blendWidth = m_config->blendWidth;
        m_blendMethod = m_config->blendMethod;
        m_screenSaverHint = m_config->screenSaverHint ? 1 : 0;
    }
    return CDialog::OnInitDialog();
}

void CInitConfigDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kCamInfoStatic, m_camInfoFile);
    DDX_Text(dx, kFocalEdit, m_focalLength);
    DDV_MinMaxFloat(dx, m_focalLength, 3.0f, 150.0f);
    DDX_Check(dx, kAutoBalanceCheck, m_autoBalance);
    DDX_Text(dx, kBlendWidthEdit, m_blendWidth);
    DDV_MinMaxInt(dx, m_blendWidth, 2, 50);
    DDX_Radio(dx, kElasticRadio, m_blendMethod);
    DDX_Check(dx, kScreenSaverCheck, m_screenSaverHint);
}

void CInitConfigDlg::OnEditKillFocus()
{
    // A refused value puts the focus back on its edit, which takes it from
    // the other edit: that second exchange would show the message again.
    if (m_exchanging) return;
    m_exchanging = true;
    UpdateData(TRUE);
    m_exchanging = false;
}

void CInitConfigDlg::OnFromCurrentSettings()
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    // The screen-saver tip has no live state: the box keeps what it shows.
    m_screenSaverHint = IsDlgButtonChecked(kScreenSaverCheck) ? 1 : 0;
    const char* file = manager->GetCameraInfoFlag() ? manager->GetCamInfoFileName() : nullptr;
    m_camInfoFile = file ? file : kNone;
    const StitchSettings* stitch = manager->GetStitchSettings();
    m_focalIndex = FocalIndexOfMode(stitch->focalType, m_focalIndex);
    m_focalLength = stitch->focalLength;
    if (m_focalIndex != 2) m_focalLength = manager->GetEquivalentFocalLength(true);
    const BlendSettings* blend = manager->GetBlendSettings();
    m_autoBalance = blend->autoBalance ? 1 : 0;
    m_blendWidth = blend->blendWidth;
    m_blendMethod = manager->IsElasticBlend() ? 0 : 1;
    UpdateData(FALSE);
}

void CInitConfigDlg::OnOK()
{
    if (!UpdateData(TRUE)) return;
    ApplyToConfig();
    EndDialog(IDOK);
}

void CInitConfigDlg::ApplyToConfig()
{
    if (!m_config) return;
    AppConfig& config = *m_config;
    const uint8_t autoBalance = m_autoBalance ? 1 : 0;
    if (config.autoBalance != autoBalance) {
        config.autoBalance = autoBalance;
        config.SetModified();
    }
    if (config.SetCamInfoFile(m_camInfoFile == kNone ? nullptr : m_camInfoFile.c_str())) config.SetModified();
    if (config.focalLength != m_focalLength) {
        config.focalLength = m_focalLength;
        config.SetModified();
    }
    const int mode = FocalModeOfIndex(m_focalIndex);
    if (config.focalMode != mode) {
        config.focalMode = mode;
        config.SetModified();
    }
    if (config.blendWidth != m_blendWidth) {
        config.blendWidth = m_blendWidth;
        config.SetModified();
    }
    if (config.blendMethod != m_blendMethod) {
        config.blendMethod = m_blendMethod;
        config.SetModified();
    }
    const uint8_t hint = m_screenSaverHint ? 1 : 0;
    if (config.screenSaverHint != hint) {
        config.screenSaverHint = hint;
        config.SetModified();
    }
}

const win::MessageMap* CInitConfigDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(EN_KILLFOCUS, kFocalEdit, &CInitConfigDlg::OnEditKillFocus),
                                         win::on::Control(EN_KILLFOCUS, kBlendWidthEdit, &CInitConfigDlg::OnEditKillFocus),
                                         win::on::Control(BN_CLICKED, kFromCurrentButton, &CInitConfigDlg::OnFromCurrentSettings),
                                     });
    return &map;
}

void AddInitConfigDialogTemplate(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CInitConfigDlg::kTemplateId;
    dialog.caption = "Initial Configuration";
    dialog.size = SIZE{360, 330};
    // The group frames come last: they are painted first, below the
    // controls they frame.
    dialog.controls = {
        ControlTemplate(CInitConfigDlg::kCamInfoStatic, ControlKind::Static, RECT{22, 28, 340, 46}, kNone),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{22, 84, 200, 100}, "Initial focal length if unknown"),
        ControlTemplate(CInitConfigDlg::kFocalEdit, ControlKind::Edit, RECT{206, 80, 270, 100}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{276, 84, 300, 100}, "mm"),
        ControlTemplate(CInitConfigDlg::kAutoBalanceCheck, ControlKind::CheckBox, RECT{22, 136, 220, 154},
                        "Auto-balance intensity", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{22, 162, 120, 178}, "Blend width"),
        ControlTemplate(CInitConfigDlg::kBlendWidthEdit, ControlKind::Edit, RECT{126, 158, 180, 178}, "", WS_GROUP),
        ControlTemplate(CInitConfigDlg::kElasticRadio, ControlKind::RadioButton, RECT{22, 184, 120, 202}, "Elastic",
                        WS_GROUP),
        ControlTemplate(CInitConfigDlg::kFixedRadio, ControlKind::RadioButton, RECT{130, 184, 230, 202}, "Fixed"),
        ControlTemplate(CInitConfigDlg::kScreenSaverCheck, ControlKind::CheckBox, RECT{22, 236, 220, 254},
                        "Screen saver tip", WS_GROUP),
        ControlTemplate(CInitConfigDlg::kFromCurrentButton, ControlKind::PushButton, RECT{10, 272, 250, 296},
                        "Set configuration from current settings", WS_GROUP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{10, 300, 90, 324}, "OK", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{270, 300, 350, 324}, "Cancel"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{10, 8, 350, 56}, "Camera info file"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{10, 64, 350, 110}, "Stitch"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{10, 118, 350, 210}, "Blend"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{10, 218, 350, 260}, "Show tips"),
    };
    module.AddDialog(std::move(dialog));
}
