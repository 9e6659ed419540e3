// The modeless "Adjust distortion correction" dialog: two sliders for the
// linear and quadratic terms of the radial lens model, previewed live in the
// image window that opened it and handed to the stitch on "Apply to
// stitching". One dialog serves the whole application; the image view's
// "Correct distortion" command creates it on first use and attaches it.
#pragma once

#include "platform/win/dialog.h"

namespace win {
class ResourceModule;
}

// What the dialog needs of the image view it works on.
class IDistortionView {
public:
    // Corrects a copy of the view's image with the record
    // {0, b/(1+a+b), a/(1+a+b), 1/(1+a+b)}, keeping its size, and redraws.
    virtual void PreviewDistortion(float a, float b) = 0;
    // Makes that record the stitch's run-time correction (cleared for 0, 0).
    virtual void ApplyDistortionToStitching(float a, float b) = 0;
    // True: the dialog closes itself and is only forgotten; false: the view
    // destroys it.
    virtual void CloseDistortionDlg(bool dialogClosing) = 0;
    // The long side over the short side of the view's image.
    virtual float GetAspectRatio() = 0;

protected:
    ~IDistortionView() = default;
};

class CDistortionAdjustDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 276;
    static constexpr UINT kSliderA = 1259;
    static constexpr UINT kSliderB = 1260;
    static constexpr UINT kTextA = 1261;
    static constexpr UINT kTextB = 1262;
    // Slider positions run over -100..100 and stand for position / 500.
    static constexpr int kRange = 100;
    static constexpr float kPositionScale = 500.0f;

    explicit CDistortionAdjustDlg(CWnd* parent = nullptr);

    // From a correction record; the a-coefficient is not used.
    void SetCoefficients(float d, float c, float b, float a);
    void SetView(IDistortionView* view);
    bool IsOwner(const IDistortionView* view) const { return view && view == m_view; }

    int GetPositionA() const { return m_positionA; }
    int GetPositionB() const { return m_positionB; }
    float GetLimitRadius() const { return m_limitRadius; }

    BOOL OnInitDialog() override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    // "Apply to stitching".
    void OnOK() override;
    // "Reset", and so the Escape key.
    void OnCancel() override;
    void OnClose() override;

private:
    void RefreshControls();
    void ShowValue(UINT textId, int position);
    int BoundA(int position) const;
    int BoundB(int position) const;

    int m_positionA = 0;
    int m_positionB = 0;
    IDistortionView* m_view = nullptr;  // not owned
    float m_limitRadius = 1.1f;         // the mapping must increase up to this radius
    int m_sentA = 0;                    // positions last previewed
    int m_sentB = 0;
};

// The application-wide dialog (null until the first "Correct distortion").
CDistortionAdjustDlg* GetDistortionAdjustDlg();
void SetDistortionAdjustDlg(CDistortionAdjustDlg* dialog);

// Adds the dialog's template (resource 276) to the application's resources.
void AddDistortionAdjustDialog(win::ResourceModule& module);
