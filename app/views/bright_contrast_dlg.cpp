#include "app/views/bright_contrast_dlg.h"

#include "platform/imgcore/color_ctrl.h"
#include "platform/win/controls.h"
#include "platform/win/resources.h"
#include "projectgraph/framegrp/image_frame.h"
#include "worldmap/data_viewer.h"

#include <bit>
#include <cstdint>
#include <cstdio>

int BrightnessFromPosition(int position) { return position - 50; }
float ContrastFromPosition(int position) { return static_cast<float>(position) / 50.0f; }
float GammaFromPosition(int position) { return static_cast<float>(100 - position) / 50.0f; }
int PositionFromBrightness(int brightness) { return brightness + 50; }
int PositionFromContrast(float contrast) { return static_cast<int>(50.0f * contrast); }
int PositionFromGamma(float gamma) { return static_cast<int>(100.0f - 50.0f * gamma); }

namespace {

constexpr UINT kSliders[3] = {CBrightContrastDlg::kBrightnessSlider, CBrightContrastDlg::kContrastSlider,
                              CBrightContrastDlg::kGammaSlider};

int SliderSlot(UINT slider)
{
    for (int i = 0; i < 3; ++i)
        if (kSliders[i] == slider) return i;
    return -1;
}

}  // namespace

void CBrightContrastDlg::RadioFromChannelIndex(int index)
{
    // Last changed channel 0, 1, 2 are red, green, blue; anything else all.
    m_channel = index >= 0 && index <= 2 ? index + 1 : 0;
    if (m_hWnd) CheckRadioButton(kRadioRgb, kRadioRgb + 3, kRadioRgb + static_cast<UINT>(m_channel));
}

void CBrightContrastDlg::SetDataViewer(DataViewer* viewer)
{
    m_frame = nullptr;
    m_viewer = viewer;
    if (!viewer) {
        Reset();
        ShowName("None");
        return;
    }
    for (int c = 0; c < 4; ++c) {
        m_gamma[c] = viewer->GetGamma(c);
        m_contrast[c] = viewer->GetContrast(c);
        m_brightness[c] = viewer->GetBrightness(c);
    }
    char name[256] = {};
    name[1] = static_cast<char>(255);  // the buffer's capacity, read as an unsigned byte
    viewer->Notify(18, nullptr, reinterpret_cast<std::uintptr_t>(name));
    name[255] = '\0';
    ShowName(name);
    int channel = 3;
    viewer->Notify(20, nullptr, reinterpret_cast<std::uintptr_t>(&channel));
    RadioFromChannelIndex(channel);
    ShowSliders();
}

void CBrightContrastDlg::SetImageFrame(ImageFrame* frame, int position)
{
    m_viewer = nullptr;
    m_frame = frame;
    if (!frame) {
        ShowName("None");
        return;
    }
    const ColorCtrl* colors = frame->GetColorCtrl();
    for (int c = 0; c < 4; ++c) {
        m_gamma[c] = colors->GetGamma(c);
        m_contrast[c] = colors->GetContrast(c);
        m_brightness[c] = colors->GetBrightness(c);
    }
    char name[64];
    std::snprintf(name, sizeof name, "Pellicot: # %d", position);
    ShowName(name);
    RadioFromChannelIndex(colors->GetLastUpdatedChannel());
    ShowSliders();
}

void CBrightContrastDlg::ReleaseTarget(const void* target)
{
    if (!target) return;
    if (target != static_cast<const void*>(m_viewer) && target != static_cast<const void*>(m_frame)) return;
    m_viewer = nullptr;
    m_frame = nullptr;
    ShowName("None");
}

void CBrightContrastDlg::ShowName(const char* name)
{
    if (m_hWnd) SetDlgItemText(kWindowName, name);
}

void CBrightContrastDlg::ShowSliders()
{
    const int c = ChannelIndex();
    m_positions[0] = PositionFromBrightness(m_brightness[c]);
    m_positions[1] = PositionFromContrast(m_contrast[c]);
    m_positions[2] = PositionFromGamma(m_gamma[c]);
    if (!m_hWnd) return;
    for (int i = 0; i < 3; ++i)
        if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kSliders[i]))) slider->SetPos(m_positions[i]);
}

int CBrightContrastDlg::GetSliderPos(UINT slider) const
{
    const int slot = SliderSlot(slider);
    if (slot < 0) return -1;
    if (m_hWnd)
        if (auto* control = dynamic_cast<CSliderCtrl*>(GetDlgItem(slider))) return control->GetPos();
    return m_positions[slot];
}

void CBrightContrastDlg::Send(int event, float value)
{
    if (m_viewer) {
        m_viewer->Notify(event, nullptr, std::bit_cast<uint32_t>(value));
        return;
    }
    if (!m_frame) return;
    ColorCtrl* colors = m_frame->GetColorCtrl();
    bool changed = false;
    if (event >= 2 && event <= 5) changed = colors->SetGamma(value, event - 2);
    else if (event >= 6 && event <= 9) changed = colors->SetContrast(value, event - 6);
    else if (event >= 10 && event <= 13) changed = colors->SetBrightness(static_cast<char>(static_cast<int>(value)), event - 10);
    else if (event == 14) changed = colors->ResetBCG();
    if (changed) {
        m_frame->ResetAotoColorTab();
        m_frame->RemapImages();
    }
}

void CBrightContrastDlg::SliderMoved(UINT slider, int position)
{
    const int slot = SliderSlot(slider);
    if (slot < 0 || (!m_viewer && !m_frame)) return;
    m_positions[slot] = position;
    const int c = ChannelIndex();
    // Radio RGB, Red, Green, Blue -> colour-control index 3, 0, 1, 2; the
    // event is the slider's base plus that index.
    if (slot == 0) {
        m_brightness[c] = BrightnessFromPosition(position);
        Send(10 + c, static_cast<float>(m_brightness[c]));
    } else if (slot == 1) {
        m_contrast[c] = ContrastFromPosition(position);
        Send(6 + c, m_contrast[c]);
    } else {
        m_gamma[c] = GammaFromPosition(position);
        Send(2 + c, m_gamma[c]);
    }
}

void CBrightContrastDlg::SelectChannel(int radio)
{
    if (radio < 0 || radio > 3) return;
    m_channel = radio;
    ShowSliders();
}

void CBrightContrastDlg::Reset()
{
    for (int c = 0; c < 4; ++c) {
        m_gamma[c] = 1.0f;
        m_contrast[c] = 1.0f;
        m_brightness[c] = 0;
    }
    RadioFromChannelIndex(3);
    ShowSliders();
    Send(14, 0.0f);
}

BOOL CBrightContrastDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    for (UINT id : kSliders)
        if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(id))) {
            slider->SetRange(0, 100);
            slider->SetTicFreq(5);
            slider->SetPageSize(1);
            slider->SetPos(50);
        }
    CheckRadioButton(kRadioRgb, kRadioRgb + 3, kRadioRgb);
    SetDlgItemText(kWindowName, "None");
    return TRUE;
}

void CBrightContrastDlg::OnHScroll(UINT code, UINT, CWnd* scrollCtrl)
{
    // Only the end of a drag or a key move counts.
    if (code != TB_ENDTRACK || !scrollCtrl) return;
    auto* slider = dynamic_cast<CSliderCtrl*>(scrollCtrl);
    if (!slider) return;
    SliderMoved(static_cast<UINT>(slider->GetDlgCtrlID()), slider->GetPos());
}

BOOL CBrightContrastDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    if (id >= kRadioRgb && id <= kRadioRgb + 3) {
        SelectChannel(static_cast<int>(id - kRadioRgb));
        return TRUE;
    }
    if (id == kResetButton) {
        Reset();
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

void AddBrightContrastDialog(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CBrightContrastDlg::kTemplateId;
    dialog.caption = "Brightness/Contrast";
    dialog.size = SIZE{300, 230};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 10, 90, 26}, "Window Name:"),
        ControlTemplate(CBrightContrastDlg::kWindowName, ControlKind::Static, RECT{95, 10, 290, 26}, "None"),
        ControlTemplate(CBrightContrastDlg::kRadioRgb, ControlKind::RadioButton, RECT{10, 34, 70, 50}, "RGB", WS_GROUP),
        ControlTemplate(CBrightContrastDlg::kRadioRgb + 1, ControlKind::RadioButton, RECT{75, 34, 135, 50}, "Red"),
        ControlTemplate(CBrightContrastDlg::kRadioRgb + 2, ControlKind::RadioButton, RECT{140, 34, 200, 50}, "Green"),
        ControlTemplate(CBrightContrastDlg::kRadioRgb + 3, ControlKind::RadioButton, RECT{205, 34, 265, 50}, "Blue"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 64, 80, 80}, "Gamma"),
        ControlTemplate(CBrightContrastDlg::kGammaSlider, ControlKind::Slider, RECT{85, 58, 290, 86}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 100, 80, 116}, "Contrast"),
        ControlTemplate(CBrightContrastDlg::kContrastSlider, ControlKind::Slider, RECT{85, 94, 290, 122}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 136, 80, 152}, "Brightness"),
        ControlTemplate(CBrightContrastDlg::kBrightnessSlider, ControlKind::Slider, RECT{85, 130, 290, 158}, "", WS_GROUP),
        ControlTemplate(CBrightContrastDlg::kResetButton, ControlKind::PushButton, RECT{40, 190, 120, 214}, "Reset", WS_GROUP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{170, 190, 250, 214}, "Close"),
    };
    module.AddDialog(std::move(dialog));
}
