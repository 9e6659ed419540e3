// "Image Quality": the JPEG quality and style asked before a JPEG is saved,
// shared by the image views and the panorama views.
#pragma once

#include "platform/win/dialog.h"

#include <cstdint>

class CImageQualityDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 210;
    static constexpr int kHigh = 1058;
    static constexpr int kMedium = 1224;
    static constexpr int kLow = 1225;
    static constexpr int kBaseline = 1167;
    static constexpr int kProgressive = 1168;

    explicit CImageQualityDlg(CWnd* parent = nullptr) : CDialog(kTemplateId, parent) {}

    BOOL OnInitDialog() override;
    void OnOK() override;

    // The JPEG options word: quality code in bits 0-1, bit 2 for progressive.
    int32_t GetOptions() const { return m_quality + (m_style == 1 ? 4 : 0); }

    int32_t m_quality = 0;  // 0 High, 1 Medium, 2 Low
    int32_t m_style = 0;    // 0 Baseline, 1 Progressive
};

// Adds dialog 210 to the application's resources.
void RegisterImageQualityDialog();
