#include "app/shell/photo_count_dialog.h"

#include "platform/utilkit/fl2_apperture.h"
#include "platform/win/data_exchange.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

int ComputePhotoCount(int focalLength, int overlapPercent, int orientation)
{
    if (overlapPercent >= 100 || overlapPercent < 0) return -1;
    const float f = static_cast<float>(std::max(focalLength, 10));
    // The aperture is a full angle in radians; half of it is used as a tangent.
    const float aperture = orientation == 0 ? FL2Apperture::FL2ApperturePortrait_35mm(f)
                                            : FL2Apperture::FL2AppertureLandscape_35mm(f, 0.75f);
    const float half = aperture / 2;
    const double t = (1.0 - overlapPercent / 100.0) * half;
    const float step = static_cast<float>(std::atan(t)) * 114.59157f;
    return static_cast<int>(360.0 / step + 0.5);
}

PhotoCountDialog::PhotoCountDialog(CWnd* parent) : CDialog(kTemplateId, parent)
{
    Recompute();
}

BOOL PhotoCountDialog::OnInitDialog()
{
    if (auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(kFocalCombo)))
        for (const char* item : {"18", "24", "35", "38", "  "}) combo->AddString(item);
    CDialog::OnInitDialog();
    m_label.SubclassDlgItem(kResultStatic, this);
    m_label.SetColor(RGB(200, 60, 5));
    ShowResult();
    return TRUE;
}

void PhotoCountDialog::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_CBString(dx, kFocalCombo, m_focal);
    DDX_Text(dx, kOverlapEdit, m_overlap);
    DDX_Radio(dx, kPortrait, m_orientation);
}

void PhotoCountDialog::Recompute()
{
    const int count = ComputePhotoCount(std::atoi(m_focal.c_str()), m_overlap, m_orientation);
    m_result = count < 0 ? "-" : std::to_string(count);
}

void PhotoCountDialog::ShowResult()
{
    if (!::IsWindow(m_label.m_hWnd)) return;
    // Hidden and shown again, so that the label repaints its background.
    m_label.ShowWindow(SW_HIDE);
    m_label.SetWindowText(m_result.c_str());
    m_label.ShowWindow(SW_SHOW);
}

void PhotoCountDialog::OnReadAndRecompute()
{
    UpdateData(TRUE);
    Recompute();
    ShowResult();
}

void PhotoCountDialog::OnPortrait()
{
    m_orientation = 0;
    Recompute();
    ShowResult();
}

void PhotoCountDialog::OnLandscape()
{
    m_orientation = 1;
    Recompute();
    ShowResult();
}

void PhotoCountDialog::OnFocalSelected()
{
    auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(kFocalCombo));
    if (!combo) return;
    static const int kFocals[] = {18, 24, 35, 38};
    const int item = combo->GetCurSel();
    int focal = std::atoi(m_focal.c_str());
    if (item >= 0 && item < 4) {
        focal = kFocals[item];
    } else if (item == 4) {
        std::string text;
        combo->GetLBText(4, text);
        if (!text.empty() && text[0] == ' ') {
            focal = 35;
            combo->SetCurSel(2);
        } else {
            focal = static_cast<int>(std::atof(text.c_str()));
        }
    }
    m_focal = std::to_string(focal);
    Recompute();
    ShowResult();
}

const win::MessageMap* PhotoCountDialog::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(BN_CLICKED, kComputeButton, &PhotoCountDialog::OnReadAndRecompute),
                                         win::on::Control(EN_KILLFOCUS, kOverlapEdit, &PhotoCountDialog::OnReadAndRecompute),
                                         win::on::Control(CBN_KILLFOCUS, kFocalCombo, &PhotoCountDialog::OnReadAndRecompute),
                                         win::on::Control(BN_CLICKED, kPortrait, &PhotoCountDialog::OnPortrait),
                                         win::on::Control(BN_CLICKED, kLandscape, &PhotoCountDialog::OnLandscape),
                                         win::on::Control(CBN_SELCHANGE, kFocalCombo, &PhotoCountDialog::OnFocalSelected),
                                     });
    return &map;
}
