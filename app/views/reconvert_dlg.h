// "Re-convert To Panorama Format" (dialog 209): finds the panorama file an
// image was cut from and derives the angular width and vertical offset that
// put the image back into a panorama. The manager runs it modally and makes
// the panorama from what it gives.
#pragma once

#include "platform/win/dialog.h"

#include <cstdint>
#include <string>

class CReconvertDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 209;
    static constexpr UINT kStateText = 1156;
    static constexpr UINT kSelectButton = 1228;
    // Message strings.
    static constexpr UINT kCroppedTooMuch = 40007;
    static constexpr UINT kCroppedQuestion = 40008;
    static constexpr UINT kNoPanoramaInfo = 40009;
    static constexpr UINT kCannotOpen = 40010;
    // States: nothing chosen, the chosen panorama does not match, ready.
    static constexpr int kNothing = 0;
    static constexpr int kMismatch = 1;
    static constexpr int kReady = 2;

    CReconvertDlg(int imageWidth, int imageHeight, CWnd* parent = nullptr)
        : CDialog(kTemplateId, parent), m_imageWidth(imageWidth), m_imageHeight(imageHeight)
    {
    }

    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // "Select original panorama file...": asks for the file, then takes it.
    void SelectPanoramaFile();
    // Derives the angle, offset and full-circle flag from the panorama file
    // at `path` and sets the state; messages go through the prompter.
    void UsePanoramaFile(const char* path);

    int GetState() const { return m_state; }
    float GetAngularWidth() const { return m_angularWidth; }
    float GetOffset() const { return m_offset; }
    bool GetFullCircle() const { return m_fullCircle != 0; }

private:
    void SetState(int state);

    // Kept in the order the dialog has always laid them out.
    int32_t m_imageWidth;
    int32_t m_imageHeight;
    int32_t m_state = kNothing;
    float m_angularWidth = 0.0f;  // degrees
    float m_offset = 0.0f;        // degrees, positive up
    uint8_t m_fullCircle = 0;
};

// The manager's re-convert dialog: runs dialog 209 for an image of w x h
// over the main window; true on OK with the state ready, and then the angle
// and offset (degrees) and the full-circle flag.
bool RunReconvertDialog(int w, int h, float* angle, float* offset, bool* fullCircle);

// Adds dialog 209 and its strings to the application's resources.
void RegisterReconvertDialog();
