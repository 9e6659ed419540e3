#include "app/views/image_quality_dlg.h"

#include "platform/win/resources.h"

BOOL CImageQualityDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Button by button: the style buttons' ids lie between High and Low, so
    // an id range would reach across both groups.
    CheckDlgButton(kHigh, m_quality != 1 && m_quality != 2 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(kMedium, m_quality == 1 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(kLow, m_quality == 2 ? BST_CHECKED : BST_UNCHECKED);
    // The style always starts at Baseline: progressive files are the exception.
    CheckDlgButton(kBaseline, BST_CHECKED);
    CheckDlgButton(kProgressive, BST_UNCHECKED);
    return TRUE;
}

void CImageQualityDlg::OnOK()
{
    m_quality = IsDlgButtonChecked(kHigh) == BST_CHECKED ? 0 : IsDlgButtonChecked(kMedium) == BST_CHECKED ? 1 : 2;
    m_style = IsDlgButtonChecked(kBaseline) == BST_CHECKED ? 0 : 1;
    CDialog::OnOK();
}

void RegisterImageQualityDialog()
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CImageQualityDlg::kTemplateId;
    dialog.caption = "Image Quality";
    dialog.size = SIZE{240, 150};
    dialog.controls = {
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{8, 6, 116, 104}, "Quality"),
        ControlTemplate(CImageQualityDlg::kHigh, ControlKind::RadioButton, RECT{16, 24, 108, 42}, "High", WS_GROUP),
        ControlTemplate(CImageQualityDlg::kMedium, ControlKind::RadioButton, RECT{16, 48, 108, 66}, "Medium"),
        ControlTemplate(CImageQualityDlg::kLow, ControlKind::RadioButton, RECT{16, 72, 108, 90}, "Low"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{124, 6, 232, 80}, "Style"),
        ControlTemplate(CImageQualityDlg::kBaseline, ControlKind::RadioButton, RECT{132, 24, 224, 42}, "Baseline",
                        WS_GROUP),
        ControlTemplate(CImageQualityDlg::kProgressive, ControlKind::RadioButton, RECT{132, 48, 224, 66},
                        "Progressive"),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{40, 116, 110, 140}, "OK", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{130, 116, 200, 140}, "Cancel"),
    };
    win::Resources::App().AddDialog(std::move(dialog));
}
