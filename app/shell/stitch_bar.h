// The stitch bar docked at the left of the main frame (dialog resource 103):
// Load, Stitch, Blend and Settings of the express workflow, the output-size
// slider with its ratio and size labels, and the stitch settings summary.
// The main frame creates, docks and registers it; the stitch driver drives
// it back during a run.
#pragma once

#include "app/shell/color_label.h"
#include "platform/win/control_bars.h"
#include "platform/win/controls.h"

#include <string>

namespace win {
class ResourceModule;
}

class CStitchBar : public CDialogBar {
public:
    // Control ids of dialog 103.
    static constexpr UINT kLoad = 1244, kStitch = 1245, kBlend = 1246, kSlider = 1247, kWidth = 1250, kRatio = 1251,
                          kSettings = 1252, kHeight = 1254, kSummary = 1255, kFrame = 1290;

    CStitchBar();

    void InitControls();
    void OnStitch();
    // Runs OnStitch only when the button's state differs from `idle`.
    void SetStitchRunning(bool idle);
    void ToggleStitch() { OnStitch(); }
    void Blend() { OnBlend(); }
    void OnBlend();
    void OnLoad();
    void OnSettings();
    void ShowRatio();
    void ShowOutputSize();
    void LimitOutputSize();
    void UpdateSettingsText();

    bool IsIdle() const { return m_idle != 0; }
    float GetRatio() const { return m_ratio; }
    void SetRatio(float ratio);
    // The labels' texts as last set (also when the bar has no window).
    const std::string& GetRatioText() const { return m_ratioText; }
    const std::string& GetWidthText() const { return m_widthText; }
    const std::string& GetHeightText() const { return m_heightText; }
    const std::string& GetSettingsText() const { return m_settingsText; }
    bool AreSizeLabelsShown() const { return m_sizeShown; }
    int GetSliderPos() const { return m_sliderPos; }
    // A slider notification: `pos` the thumb position.
    void OnSliderMoved(int pos);

    // Slider position (0 to 50) <-> output size ratio.
    static float SliderToRatio(int pos);
    static int RatioToSlider(float ratio);

    // What the bar's buttons may do now (the manager's state).
    static bool CanStartStitch();
    static bool CanBlend();
    static bool CanChangeSettings();

    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnDrawItem(int id, LPDRAWITEMSTRUCT dis) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void SetLabel(ColorLabel& label, const std::string& text, bool show);
    void DrawSettingsButton(const DRAWITEMSTRUCT* item);
    void LoadStitchPictures();

    uint8_t m_idle = 1;
    float m_ratio = 0.75f;
    int m_sliderPos = 0;
    std::string m_ratioText, m_widthText, m_heightText, m_settingsText;
    bool m_sizeShown = false;
    bool m_controlsReady = false;
    CBitmapButton m_load, m_stitch, m_blend;
    CButton m_settings;
    CSliderCtrl m_slider;
    ColorLabel m_ratioLabel, m_widthLabel, m_heightLabel, m_summaryLabel;
};

// Dialog 103 and the bar's button pictures (249 to 264), tooltips and status
// texts, into the application's resources.
void AddStitchBarResources(win::ResourceModule& module);
