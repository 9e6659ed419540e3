// The modeless Brightness/Contrast dialog (resource 158): gamma, contrast and
// brightness per colour channel of one target, a window shown through a
// data viewer or a frame of the image tray. The target does the adjusting;
// the dialog keeps the values per channel and sends them on.
#pragma once

#include "platform/win/dialog.h"

class DataViewer;
class ImageFrame;

namespace win {
class ResourceModule;
}

// Slider positions (0..100, 50 neutral) and the values they stand for. The
// gamma slider runs reversed: 0 is gamma 2.0, 100 gamma 0.
int BrightnessFromPosition(int position);
float ContrastFromPosition(int position);
float GammaFromPosition(int position);
int PositionFromBrightness(int brightness);
int PositionFromContrast(float contrast);
int PositionFromGamma(float gamma);

class CBrightContrastDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 158;
    static constexpr UINT kBrightnessSlider = 1008;
    static constexpr UINT kContrastSlider = 1192;
    static constexpr UINT kGammaSlider = 1015;
    static constexpr UINT kRadioRgb = 1009;   // then Red, Green, Blue
    static constexpr UINT kResetButton = 1080;
    static constexpr UINT kWindowName = 1240;

    CBrightContrastDlg() : CDialog(kTemplateId) {}

    // A window target (the frame target is cleared); null resets.
    void SetDataViewer(DataViewer* viewer);
    // A tray frame target at the 1-based `position` in the tray.
    void SetImageFrame(ImageFrame* frame, int position = 1);
    // The target goes away: forgets it when it is the current one.
    void ReleaseTarget(const void* target);
    void Release() { ReleaseTarget(m_viewer ? static_cast<const void*>(m_viewer) : m_frame); }
    DataViewer* GetDataViewer() const { return m_viewer; }
    ImageFrame* GetImageFrame() const { return m_frame; }

    // A slider came to rest at `position` (end of drag or key move).
    void SliderMoved(UINT slider, int position);
    // Radio 0 "RGB", 1 "Red", 2 "Green", 3 "Blue": moves the sliders to the
    // stored values of that channel; sends nothing.
    void SelectChannel(int radio);
    void Reset();

    int GetRadio() const { return m_channel; }
    float GetGamma(int index) const { return m_gamma[index]; }
    float GetContrast(int index) const { return m_contrast[index]; }
    int GetBrightness(int index) const { return m_brightness[index]; }
    int GetSliderPos(UINT slider) const;

    BOOL OnInitDialog() override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    // The colour-control index of the radio: RGB addresses all (3).
    int ChannelIndex() const { return m_channel == 0 ? 3 : m_channel - 1; }
    void RadioFromChannelIndex(int index);
    void ShowSliders();
    void ShowName(const char* name);
    // Passes event n (2..14) with its value to the target.
    void Send(int event, float value);

    DataViewer* m_viewer = nullptr;
    ImageFrame* m_frame = nullptr;
    float m_gamma[4] = {1.0f, 1.0f, 1.0f, 1.0f};       // red, green, blue, all
    float m_contrast[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    int m_brightness[4] = {0, 0, 0, 0};
    int m_channel = 0;
    int m_positions[3] = {50, 50, 50};  // brightness, contrast, gamma, when no window exists
};

void AddBrightContrastDialog(win::ResourceModule& module);
