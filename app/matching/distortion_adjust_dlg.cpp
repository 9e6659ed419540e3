#include "app/matching/distortion_adjust_dlg.h"

#include "platform/win/controls.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

CDistortionAdjustDlg* g_dialog = nullptr;

// A slider position from a value, held to the slider's range; values that
// are not finite give 0.
int ToPosition(double value)
{
    if (!std::isfinite(value)) return 0;
    const double limit = CDistortionAdjustDlg::kRange;
    return static_cast<int>(std::clamp(std::trunc(value), -limit, limit));
}

}  // namespace

CDistortionAdjustDlg::CDistortionAdjustDlg(CWnd* parent) : CDialog(kTemplateId, parent) {}

void CDistortionAdjustDlg::SetCoefficients(float d, float c, float b, float /*a*/)
{
    const bool usable = d != 0.0f && std::isfinite(d) && std::isfinite(c) && std::isfinite(b);
    m_positionA = usable ? ToPosition(static_cast<double>(c / d * kPositionScale)) : 0;
    m_positionB = usable ? ToPosition(static_cast<double>(b / d * kPositionScale)) : 0;
    m_sentA = m_positionA;
    m_sentB = m_positionB;
    if (m_hWnd) RefreshControls();
}

void CDistortionAdjustDlg::SetView(IDistortionView* view)
{
    if (!view || view == m_view) return;
    m_view = view;
    m_limitRadius = 2.0f * std::max(1.1f, view->GetAspectRatio());
}

BOOL CDistortionAdjustDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    for (UINT id : {kSliderA, kSliderB})
        if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(id))) {
            slider->SetRange(-kRange, kRange);
            slider->SetTicFreq(10);
            slider->SetPageSize(1);
        }
    RefreshControls();
    return TRUE;
}

void CDistortionAdjustDlg::RefreshControls()
{
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kSliderA))) slider->SetPos(m_positionA);
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kSliderB))) slider->SetPos(m_positionB);
    ShowValue(kTextA, m_positionA);
    ShowValue(kTextB, m_positionB);
}

void CDistortionAdjustDlg::ShowValue(UINT textId, int position)
{
    char text[32];
    std::snprintf(text, sizeof text, textId == kTextA ? "a = %5.2f" : "b = %5.2f",
                  static_cast<double>(static_cast<float>(position) / kPositionScale));
    SetDlgItemText(textId, text);
}

// The radial mapping p (B p^2 + A p + 1) / (1 + A + B) stays increasing up to
// the limit radius L while 3 B p^2 + 2 A p + 1 >= 0 there; each slider is
// held to the lowest value that keeps it so, given the other.
int CDistortionAdjustDlg::BoundA(int position) const
{
    const double A = position / static_cast<double>(kPositionScale);
    const double B = m_positionB / static_cast<double>(kPositionScale);
    const double L = m_limitRadius;
    const double minimum = (B < 0.0 || 3.0 * B <= 1.0 / (L * L)) ? -(3.0 * B * L * L + 1.0) / (2.0 * L) : -std::sqrt(3.0 * B);
    return A < minimum ? ToPosition(std::trunc(minimum * kPositionScale) + 1.0) : position;
}

int CDistortionAdjustDlg::BoundB(int position) const
{
    const double A = m_positionA / static_cast<double>(kPositionScale);
    const double B = position / static_cast<double>(kPositionScale);
    const double L = m_limitRadius;
    const double minimum = (A >= 0.0 || -A * L <= 1.0) ? -(2.0 * A * L + 1.0) / (3.0 * L * L) : A * A / 3.0;
    return B < minimum ? ToPosition(std::trunc(minimum * kPositionScale) + 1.0) : position;
}

void CDistortionAdjustDlg::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    auto* slider = dynamic_cast<CSliderCtrl*>(scrollCtrl);
    if (!slider) return;
    const int id = slider->GetDlgCtrlID();
    if (id != static_cast<int>(kSliderA) && id != static_cast<int>(kSliderB)) return;

    int position = (code == TB_THUMBTRACK || code == TB_THUMBPOSITION) ? static_cast<int>(static_cast<short>(pos)) : slider->GetPos();
    const int held = id == static_cast<int>(kSliderA) ? BoundA(position) : BoundB(position);
    if (held != position) {
        position = held;
        slider->SetPos(position);
    }
    if (id == static_cast<int>(kSliderA)) {
        m_positionA = position;
        ShowValue(kTextA, position);
    } else {
        m_positionB = position;
        ShowValue(kTextB, position);
    }

    if (code == TB_ENDTRACK && m_view && (m_positionA != m_sentA || m_positionB != m_sentB)) {
        m_sentA = m_positionA;
        m_sentB = m_positionB;
        m_view->PreviewDistortion(m_positionA / kPositionScale, m_positionB / kPositionScale);
    }
}

void CDistortionAdjustDlg::OnOK()
{
    if (m_view) {
        m_view->ApplyDistortionToStitching(m_positionA / kPositionScale, m_positionB / kPositionScale);
        m_view->CloseDistortionDlg(true);
    }
    if (m_hWnd) DestroyWindow();
}

void CDistortionAdjustDlg::OnCancel()
{
    if (!m_view) return;
    m_positionA = 0;
    m_positionB = 0;
    RefreshControls();
    // The view shows the uncorrected image again only when it showed a
    // correction; what it was last sent stays as it was.
    if (m_sentA != 0 || m_sentB != 0) m_view->PreviewDistortion(0.0f, 0.0f);
}

void CDistortionAdjustDlg::OnClose()
{
    if (m_view) m_view->CloseDistortionDlg(true);
    if (m_hWnd) DestroyWindow();
}

CDistortionAdjustDlg* GetDistortionAdjustDlg()
{
    return g_dialog;
}

void SetDistortionAdjustDlg(CDistortionAdjustDlg* dialog)
{
    g_dialog = dialog;
}

void AddDistortionAdjustDialog(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CDistortionAdjustDlg::kTemplateId;
    dialog.caption = "Adjust Distortion Correction";
    dialog.size = SIZE{300, 150};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.controls = {
        ControlTemplate(CDistortionAdjustDlg::kTextA, ControlKind::Static, RECT{12, 14, 90, 30}, "a =  0.00"),
        ControlTemplate(CDistortionAdjustDlg::kSliderA, ControlKind::Slider, RECT{92, 8, 288, 36}, "", WS_GROUP),
        ControlTemplate(CDistortionAdjustDlg::kTextB, ControlKind::Static, RECT{12, 54, 90, 70}, "b =  0.00"),
        ControlTemplate(CDistortionAdjustDlg::kSliderB, ControlKind::Slider, RECT{92, 48, 288, 76}, "", WS_GROUP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{40, 104, 160, 128}, "Apply to stitching", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{180, 104, 260, 128}, "Reset"),
    };
    module.AddDialog(std::move(dialog));
}
