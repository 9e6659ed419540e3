#include "platform/win/choose_dialogs.h"

#include "platform/win/data_exchange.h"
#include "platform/win/resources.h"

#include <cmath>

namespace {

using win::ControlKind;
using win::ControlTemplate;

void RegisterColorTemplate()
{
    win::ResourceModule& app = win::Resources::App();
    if (app.FindDialog(CColorDialog::kTemplateId)) return;
    win::DialogTemplate d;
    d.id = CColorDialog::kTemplateId;
    d.caption = "Color";
    d.size = SIZE{240, 150};
    d.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 14, 70, 30}, "Red:"),
        ControlTemplate(CColorDialog::kRed, ControlKind::Edit, RECT{80, 10, 140, 30}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 44, 70, 60}, "Green:"),
        ControlTemplate(CColorDialog::kGreen, ControlKind::Edit, RECT{80, 40, 140, 60}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 74, 70, 90}, "Blue:"),
        ControlTemplate(CColorDialog::kBlue, ControlKind::Edit, RECT{80, 70, 140, 90}, "", WS_GROUP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{10, 110, 110, 136}, "OK", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{130, 110, 230, 136}, "Cancel"),
    };
    app.AddDialog(std::move(d));
}

void RegisterFontTemplate()
{
    win::ResourceModule& app = win::Resources::App();
    if (app.FindDialog(CFontDialog::kTemplateId)) return;
    win::DialogTemplate d;
    d.id = CFontDialog::kTemplateId;
    d.caption = "Font";
    d.size = SIZE{320, 220};
    d.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 14, 70, 30}, "Font:"),
        ControlTemplate(CFontDialog::kFace, ControlKind::Edit, RECT{80, 10, 300, 30}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 44, 70, 60}, "Size:"),
        ControlTemplate(CFontDialog::kSize, ControlKind::Edit, RECT{80, 40, 140, 60}, "", WS_GROUP),
        ControlTemplate(CFontDialog::kBold, ControlKind::CheckBox, RECT{10, 70, 100, 86}, "Bold", WS_GROUP),
        ControlTemplate(CFontDialog::kItalic, ControlKind::CheckBox, RECT{110, 70, 200, 86}, "Italic", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 100, 70, 116}, "Color:"),
        ControlTemplate(CFontDialog::kRed, ControlKind::Edit, RECT{80, 96, 130, 116}, "", WS_GROUP),
        ControlTemplate(CFontDialog::kGreen, ControlKind::Edit, RECT{140, 96, 190, 116}, "", WS_GROUP),
        ControlTemplate(CFontDialog::kBlue, ControlKind::Edit, RECT{200, 96, 250, 116}, "", WS_GROUP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{10, 180, 110, 206}, "OK", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{130, 180, 230, 206}, "Cancel"),
    };
    app.AddDialog(std::move(d));
}

}  // namespace

CColorDialog::CColorDialog(COLORREF initial, DWORD flags, CWnd* parent) : CDialog(kTemplateId, parent)
{
    m_cc.rgbResult = initial;
    m_cc.Flags = flags;
}

INT_PTR CColorDialog::DoModal()
{
    RegisterColorTemplate();
    return CDialog::DoModal();
}

BOOL CColorDialog::OnInitDialog()
{
    const COLORREF c = (m_cc.Flags & CC_RGBINIT) ? m_cc.rgbResult : 0;
    m_red = GetRValue(c);
    m_green = GetGValue(c);
    m_blue = GetBValue(c);
    return CDialog::OnInitDialog();
}

void CColorDialog::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kRed, m_red);
    DDV_MinMaxInt(dx, m_red, 0, 255);
    DDX_Text(dx, kGreen, m_green);
    DDV_MinMaxInt(dx, m_green, 0, 255);
    DDX_Text(dx, kBlue, m_blue);
    DDV_MinMaxInt(dx, m_blue, 0, 255);
}

void CColorDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    m_cc.rgbResult = RGB(m_red, m_green, m_blue);
    EndDialog(IDOK);
}

CFontDialog::CFontDialog(const ChosenFont* initial, DWORD flags, CWnd* parent) : CDialog(kTemplateId, parent)
{
    if (initial) m_font = *initial;
    m_cf.Flags = flags;
    m_cf.iPointSize = m_font.pointSize;
}

INT_PTR CFontDialog::DoModal()
{
    RegisterFontTemplate();
    return CDialog::DoModal();
}

BOOL CFontDialog::OnInitDialog()
{
    m_face = m_font.faceName;
    m_points = m_font.pointSize / 10.0;
    m_bold = m_font.weight >= 700 ? 1 : 0;
    m_italic = m_font.italic ? 1 : 0;
    m_red = GetRValue(m_cf.rgbColors);
    m_green = GetGValue(m_cf.rgbColors);
    m_blue = GetBValue(m_cf.rgbColors);
    const BOOL result = CDialog::OnInitDialog();
    // Without effects the chooser offers no colour.
    for (UINT id : {kRed, kGreen, kBlue})
        if (CWnd* edit = GetDlgItem(static_cast<int>(id))) edit->EnableWindow((m_cf.Flags & CF_EFFECTS) != 0);
    return result;
}

void CFontDialog::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kFace, m_face);
    DDX_Text(dx, kSize, m_points);
    DDV_MinMaxDouble(dx, m_points, 1.0, 1638.0);
    DDX_Check(dx, kBold, m_bold);
    DDX_Check(dx, kItalic, m_italic);
    DDX_Text(dx, kRed, m_red);
    DDV_MinMaxInt(dx, m_red, 0, 255);
    DDX_Text(dx, kGreen, m_green);
    DDV_MinMaxInt(dx, m_green, 0, 255);
    DDX_Text(dx, kBlue, m_blue);
    DDV_MinMaxInt(dx, m_blue, 0, 255);
}

void CFontDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    m_font.faceName = m_face;
    m_font.pointSize = static_cast<int>(std::lround(m_points * 10.0));
    m_font.weight = m_bold ? 700 : 400;
    m_font.italic = m_italic != 0;
    m_cf.iPointSize = m_font.pointSize;
    m_cf.rgbColors = RGB(m_red, m_green, m_blue);
    EndDialog(IDOK);
}
