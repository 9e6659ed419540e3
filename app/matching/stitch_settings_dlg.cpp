#include "app/matching/stitch_settings_dlg.h"

#include "app/control/stitch_settings.h"
#include "app/matching/distortion_record.h"
#include "app/matching/exif_summary.h"
#include "app/matching/select_cam_info_dlg.h"
#include "app/shell/fendrake_app.h"
#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/resources.h"
#include "platform/win/win_app.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr float kMinFocal = 10.0f;  // mm
constexpr float kMaxFocal = 100.0f;
constexpr int kMinBlendWidth = 1;  // percent
constexpr int kMaxBlendWidth = 50;

UINT FocalRadio(int type)
{
    switch (type) {
    case 0: return CStitchSettingsDlg::kSameUnknown;
    case 1: return CStitchSettingsDlg::kDifferentUnknown;
    case 2: return CStitchSettingsDlg::kKnown;
    default: return CStitchSettingsDlg::kFromExif;
    }
}

}  // namespace

CStitchSettingsDlg::CStitchSettingsDlg(bool useExif, const StitchSettings* stitch, const BlendSettings* blend,
                                       bool autoStitch, bool elastic, bool runtimeCorrection,
                                       const char* camInfoName, ExifSummary* summary, CWnd* parent)
    : CDialog(kTemplateId, parent), m_summary(summary)
{
    if (stitch) {
        m_focalLength = stitch->focalLength;
        m_focalType = stitch->focalType == 4 ? 3 : stitch->focalType;
    } else {
        Logger::log("ERROR CStitchSettingsDlg::CStitchSettingsDlg: no stitch settings", 1);
    }
    if (blend) {
        m_blendWidth = blend->blendWidth;
        m_autoBalance = blend->autoBalance ? 1 : 0;
    }
    m_stitchMode = autoStitch ? 0 : 1;
    m_blendMode = elastic ? 0 : 1;
    m_useExif = useExif ? 1 : 0;
    m_runtimeCorrection = runtimeCorrection ? 1 : 0;
    m_useCamInfo = camInfoName ? 1 : 0;

    if (camInfoName) {
        auto record = std::make_unique<CamInfo>();
        if (record->LoadFile(camInfoName, nullptr)) {
            m_camInfoFocal = record->GetFocalLength();
            m_camInfo = std::move(record);
            m_camInfoName = camInfoName;
            CheckAgainstImages(true);
        } else {
            Logger::log("ERROR CStitchSettingsDlg::CStitchSettingsDlg: cannot load camera info file %s", 1,
                        camInfoName);
        }
    }
    SuggestFocalType(false);
    if (!m_consistent) m_message += "Please change Settings and click OK";
}

CStitchSettingsDlg::~CStitchSettingsDlg() = default;

int CStitchSettingsDlg::CheckAgainstImages(bool withTexts)
{
    const int result = m_camInfo ? CheckCamInfoAgainstSet(m_camInfo.get(), m_summary, m_useExif != 0) : 1;
    if (result > 0) return result;
    m_camInfoName.clear();
    m_camInfo.reset();
    m_camInfoFocal = 0.0f;
    if (result < 0) m_useCamInfo = 0;
    if (withTexts) {
        m_message += result < 0 ? "cannot use any camInfo file with image exif.\n"
                                : "camInfo info is incompatible with image exif.\n";
        m_consistent = 0;
    }
    return result;
}

void CStitchSettingsDlg::SuggestFocalType(bool forced)
{
    const int suggestion = ChooseFocalSource(m_camInfo.get(), m_summary, &m_suggestion, m_useExif != 0);
    // A current type 3 gives way too: the user cannot pick "From Exif info"
    // by hand, so a set that lost its Exif leaves it.
    const bool currentAllowed = m_focalType >= 0 && m_focalType <= 2 && m_suggestion.enabled[m_focalType];
    if (forced || suggestion == 3 || !currentAllowed) m_focalType = suggestion;
}

int CStitchSettingsDlg::GetFocalType() const
{
    return m_focalType == 3 && m_camInfoFocal > 0.0f ? 4 : m_focalType;
}

bool CStitchSettingsDlg::ApplyFocal(StitchSettings* stitch) const
{
    if (!stitch) return false;
    bool changed = false;
    const int type = GetFocalType();
    if (type != stitch->focalType) {
        stitch->focalType = type;
        changed = true;
    }
    if ((type == 2 || type == 4) && stitch->focalLength != m_focalLength) changed = true;
    stitch->focalLength = m_focalLength;
    const uint8_t runtime = m_runtimeCorrection ? 1 : 0;
    if (stitch->runtimeDistortion != runtime) changed = true;
    stitch->runtimeDistortion = runtime;
    return changed;
}

void CStitchSettingsDlg::ApplyBlend(BlendSettings* blend) const
{
    if (!blend) return;
    blend->blendWidth = m_blendWidth;
    blend->autoBalance = m_autoBalance ? 1 : 0;
}

bool CStitchSettingsDlg::FillDistortionRecord(DistortionRecord* record) const
{
    return m_camInfo && record && m_camInfo->GetCorrectionParams(record);
}

void CStitchSettingsDlg::DropCamInfo()
{
    if (m_camInfoName.empty()) return;
    m_camInfoName.clear();
    m_camInfo.reset();
    m_camInfoFocal = 0.0f;
    SuggestFocalType(true);
}

BOOL CStitchSettingsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(kExifText, m_summary ? ExifSummaryText(m_summary).c_str() : "");
    if (CWnd* text = GetDlgItem(kExifText)) text->ShowWindow(SW_SHOW);
    UpdateCamInfoControls(m_useCamInfo != 0);
    UpdateRuntimeCheck(m_consistent != 0, true);
    return TRUE;
}

void CStitchSettingsDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Check(dx, kUseExif, m_useExif);
    DDX_Check(dx, kUseCamInfo, m_useCamInfo);
    DDX_Check(dx, kRuntimeCorrection, m_runtimeCorrection);
    DDX_Text(dx, kFocalEdit, m_focalLength);
    DDV_MinMaxFloat(dx, m_focalLength, kMinFocal, kMaxFocal);
    DDX_Radio(dx, kAuto, m_stitchMode);
    DDX_Check(dx, kAutoBalance, m_autoBalance);
    DDX_Text(dx, kBlendWidth, m_blendWidth);
    DDV_MinMaxInt(dx, m_blendWidth, kMinBlendWidth, kMaxBlendWidth);
    DDX_Radio(dx, kElastic, m_blendMode);
}

void CStitchSettingsDlg::EnableItem(UINT id, bool on)
{
    if (CWnd* item = GetDlgItem(id)) item->EnableWindow(on ? TRUE : FALSE);
}

void CStitchSettingsDlg::UpdateCamInfoControls(bool use)
{
    EnableItem(kSelect, use);
    if (CWnd* name = GetDlgItem(kCamInfoName)) {
        const bool show = use && !m_camInfoName.empty();
        name->SetWindowText(show ? m_camInfoName.c_str() : "");
        name->ShowWindow(show ? SW_SHOW : SW_HIDE);
    }
    CheckFocalRadio();
    EnableItem(kKnown, m_suggestion.enabled[2] != 0);
    EnableItem(kSameUnknown, m_suggestion.enabled[0] != 0);
    EnableItem(kDifferentUnknown, m_suggestion.enabled[1] != 0);
    EnableItem(kFromExif, m_focalType == 3);
    const float shown = use && !m_camInfoName.empty() && m_camInfoFocal != 0.0f ? m_camInfoFocal : m_focalLength;
    char text[32];
    std::snprintf(text, sizeof text, "%5.1f", static_cast<double>(shown));
    SetDlgItemText(kFocalEdit, text);
    EnableItem(kFocalEdit, m_focalType != 3);
    EnableItem(kBlendWidth, IsDlgButtonChecked(kFixed) != 0);
}

bool CStitchSettingsDlg::UpdateRuntimeCheck(bool uncheck, bool warn)
{
    const bool checked = m_hWnd ? IsDlgButtonChecked(kRuntimeCorrection) != 0 : m_runtimeCorrection != 0;
    const bool conflictingType = m_focalType == 1 || m_focalType == 2;
    if (!checked) {
        EnableItem(kRuntimeCorrection, !m_useCamInfo && !conflictingType);
        return true;
    }
    if (!m_useCamInfo) {
        if (!conflictingType) {
            EnableItem(kRuntimeCorrection, true);
            return true;
        }
        if (uncheck) {
            m_runtimeCorrection = 0;
            CheckDlgButton(kRuntimeCorrection, 0);
            EnableItem(kRuntimeCorrection, false);
            if (warn)
                AfxMessageBox(m_focalType == 2 ? "Warning: Runtime distortion correction is unchecked\nsince Focal "
                                                 "Length is (x) Known!"
                                               : "Warning: Runtime distortion correction is unchecked\nsince Focal "
                                                 "Length is (x) Different unknown!");
        } else {
            EnableItem(kRuntimeCorrection, true);
        }
        return false;
    }
    if (uncheck) {
        m_runtimeCorrection = 0;
        CheckDlgButton(kRuntimeCorrection, 0);
        EnableItem(kRuntimeCorrection, false);
        if (warn) AfxMessageBox("Warning: Runtime distortion correction is unchecked\nsince Use Cemera info file is checked!");
    } else {
        EnableItem(kRuntimeCorrection, true);
    }
    return false;
}

void CStitchSettingsDlg::OnUseExif()
{
    if (!UpdateData(TRUE)) return;
    if (!m_useExif) AfxMessageBox("Warning: Using Exif info is strongly recommended!");
    CheckAgainstImages(false);
    CheckDlgButton(kUseCamInfo, m_useCamInfo);
    SuggestFocalType(true);
    UpdateRuntimeCheck(true, false);
    UpdateCamInfoControls(m_useCamInfo != 0);
}

void CStitchSettingsDlg::OnUseCamInfo()
{
    // The edit may show the file's focal length; the dialog's own stays.
    const float focal = m_focalLength;
    if (!UpdateData(TRUE)) return;
    m_focalLength = focal;
    if (!m_useCamInfo) {
        DropCamInfo();
        UpdateCamInfoControls(false);
    } else {
        UpdateCamInfoControls(true);
    }
    UpdateRuntimeCheck(true, false);
}

void CStitchSettingsDlg::OnSelect()
{
    CSelectCamInfoDlg select(this);
    if (select.DoModal() != IDOK) return;
    const std::string name = select.GetSelectedName();
    if (!m_camInfoName.empty() && m_camInfoName == name && select.GetFocalLength() == m_camInfoFocal) return;
    if (m_camInfoName.empty() && name.empty()) return;
    m_camInfoName.clear();
    m_camInfo.reset();
    m_camInfoFocal = 0.0f;
    CamInfo* record = name.empty() ? nullptr : select.TakeCamInfo();
    if (record) {
        m_camInfo.reset(record);
        m_camInfoName = name;
        m_camInfoFocal = m_camInfo->GetFocalLength();
        m_useCamInfo = 1;
    } else {
        m_useCamInfo = 0;
    }
    CheckDlgButton(kUseCamInfo, m_useCamInfo);
    CheckAgainstImages(false);
    CheckDlgButton(kUseCamInfo, m_useCamInfo);
    SuggestFocalType(true);
    UpdateRuntimeCheck(true, false);
    UpdateCamInfoControls(m_useCamInfo != 0);
}

void CStitchSettingsDlg::CheckFocalRadio()
{
    for (UINT id : {kKnown, kSameUnknown, kDifferentUnknown, kFromExif}) CheckDlgButton(id, 0);
    CheckDlgButton(FocalRadio(m_focalType), 1);
}

void CStitchSettingsDlg::OnKnown()
{
    m_focalType = 2;
    CheckFocalRadio();
    EnableItem(kFocalEdit, true);
    UpdateRuntimeCheck(true, false);
}

void CStitchSettingsDlg::OnSameUnknown()
{
    m_focalType = 0;
    CheckFocalRadio();
    EnableItem(kFocalEdit, false);
    UpdateRuntimeCheck(true, false);
}

void CStitchSettingsDlg::OnDifferentUnknown()
{
    m_focalType = 1;
    CheckFocalRadio();
    EnableItem(kFocalEdit, false);
    UpdateRuntimeCheck(true, false);
}

void CStitchSettingsDlg::OnFromExif()
{
    CheckFocalRadio();
    UpdateRuntimeCheck(true, false);
}

void CStitchSettingsDlg::OnRuntimeCorrection()
{
    if (!UpdateData(TRUE)) return;
    if (m_runtimeCorrection)
        AfxMessageBox("Warning: Runtime Distortion Correction should be turned on only if\nthe images have "
                      "distortion. The better alternative is to use\na Camera Info that contains distortion "
                      "correction info!");
}

void CStitchSettingsDlg::OnFixed() { EnableItem(kBlendWidth, true); }

void CStitchSettingsDlg::OnElastic() { EnableItem(kBlendWidth, false); }

void CStitchSettingsDlg::OnFocalKillFocus()
{
    // Only the focal length is read here: the range is checked on OK, so
    // that leaving a half-typed value does not raise the range message.
    char text[64] = {};
    GetDlgItemText(kFocalEdit, text, sizeof text);
    char* end = nullptr;
    const float value = std::strtof(text, &end);
    if (end != text) m_focalLength = value;
}

void CStitchSettingsDlg::OnHelp()
{
    if (auto* app = dynamic_cast<CFendrakeApp*>(AfxGetApp())) app->ShowHelpTopic("Trelmond.htm#Stitch_settings");
}

const win::MessageMap* CStitchSettingsDlg::GetMessageMap() const
{
    static const win::MessageMap map(
        CDialog::GetMessageMap(),
        {
            win::on::Control(BN_CLICKED, kUseExif, &CStitchSettingsDlg::OnUseExif),
            win::on::Control(BN_CLICKED, kUseCamInfo, &CStitchSettingsDlg::OnUseCamInfo),
            win::on::Control(BN_CLICKED, kSelect, &CStitchSettingsDlg::OnSelect),
            win::on::Control(BN_CLICKED, kKnown, &CStitchSettingsDlg::OnKnown),
            win::on::Control(BN_CLICKED, kSameUnknown, &CStitchSettingsDlg::OnSameUnknown),
            win::on::Control(BN_CLICKED, kDifferentUnknown, &CStitchSettingsDlg::OnDifferentUnknown),
            win::on::Control(BN_CLICKED, kFromExif, &CStitchSettingsDlg::OnFromExif),
            win::on::Control(BN_CLICKED, kRuntimeCorrection, &CStitchSettingsDlg::OnRuntimeCorrection),
            win::on::Control(BN_CLICKED, kFixed, &CStitchSettingsDlg::OnFixed),
            win::on::Control(BN_CLICKED, kElastic, &CStitchSettingsDlg::OnElastic),
            win::on::Control(EN_KILLFOCUS, kFocalEdit, &CStitchSettingsDlg::OnFocalKillFocus),
            win::on::Control(BN_CLICKED, kHelp, &CStitchSettingsDlg::OnHelp),
        });
    return &map;
}

void AddStitchSettingsDialog(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    using D = CStitchSettingsDlg;
    win::DialogTemplate dialog;
    dialog.id = D::kTemplateId;
    dialog.caption = "Stitch Settings";
    dialog.size = SIZE{440, 420};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.controls = {
        ControlTemplate(0, ControlKind::GroupBox, RECT{8, 4, 432, 84}, "Pellicot images Exif info"),
        ControlTemplate(D::kUseExif, ControlKind::CheckBox, RECT{16, 22, 70, 40}, "Use ", WS_GROUP),
        ControlTemplate(D::kExifText, ControlKind::Static, RECT{76, 22, 424, 78}, ""),
        ControlTemplate(0, ControlKind::GroupBox, RECT{8, 88, 432, 140}, "Camera info file"),
        ControlTemplate(D::kUseCamInfo, ControlKind::CheckBox, RECT{16, 106, 70, 124}, "Use", WS_GROUP),
        ControlTemplate(D::kSelect, ControlKind::PushButton, RECT{76, 104, 160, 128}, "Select ..."),
        ControlTemplate(D::kCamInfoName, ControlKind::Static, RECT{168, 108, 424, 126}, "none"),
        ControlTemplate(D::kRuntimeCorrection, ControlKind::CheckBox, RECT{16, 146, 300, 164},
                        "Runtime distortion correction", WS_GROUP),
        ControlTemplate(0, ControlKind::GroupBox, RECT{8, 170, 432, 250}, "Focal length"),
        ControlTemplate(D::kFromExif, ControlKind::RadioButton, RECT{16, 188, 200, 206}, "From Exif info", WS_GROUP),
        ControlTemplate(D::kKnown, ControlKind::RadioButton, RECT{16, 210, 90, 228}, "Known", WS_GROUP),
        ControlTemplate(D::kSameUnknown, ControlKind::RadioButton, RECT{200, 210, 320, 228}, "Same unknown"),
        ControlTemplate(D::kDifferentUnknown, ControlKind::RadioButton, RECT{200, 228, 340, 246},
                        "Different unknown"),
        ControlTemplate(D::kFocalEdit, ControlKind::Edit, RECT{96, 208, 150, 228}, "", WS_GROUP),
        ControlTemplate(0, ControlKind::Static, RECT{154, 210, 180, 228}, "mm"),
        ControlTemplate(0, ControlKind::GroupBox, RECT{8, 254, 432, 290}, "Stitch mode"),
        ControlTemplate(D::kAuto, ControlKind::RadioButton, RECT{16, 268, 100, 286}, "Auto", WS_GROUP),
        ControlTemplate(D::kManual, ControlKind::RadioButton, RECT{110, 268, 200, 286}, "Manual"),
        ControlTemplate(0, ControlKind::GroupBox, RECT{8, 294, 432, 376}, "Blend options"),
        ControlTemplate(D::kAutoBalance, ControlKind::CheckBox, RECT{16, 310, 220, 328}, "Auto-balance intensity",
                        WS_GROUP),
        ControlTemplate(D::kElastic, ControlKind::RadioButton, RECT{16, 332, 100, 350}, "Elastic", WS_GROUP),
        ControlTemplate(D::kFixed, ControlKind::RadioButton, RECT{110, 332, 200, 350}, "Fixed"),
        ControlTemplate(0, ControlKind::Static, RECT{210, 334, 290, 352}, "Blend width"),
        ControlTemplate(D::kBlendWidth, ControlKind::Edit, RECT{292, 332, 340, 352}, "", WS_GROUP),
        ControlTemplate(0, ControlKind::Static, RECT{344, 334, 360, 352}, "%"),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{200, 384, 270, 410}, "OK", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{276, 384, 346, 410}, "Cancel"),
        ControlTemplate(D::kHelp, ControlKind::PushButton, RECT{352, 384, 382, 410}, "?"),
    };
    module.AddDialog(std::move(dialog));
}
