// "Number of Photos Needed for a Full Panorama" (dialog 213): how many
// photographs a full 360-degree panorama needs for a focal length, an
// overlap and an orientation.
#pragma once

#include "app/shell/color_label.h"
#include "platform/win/dialog.h"

#include <string>

// The number of photographs around the full circle; -1 when the overlap
// gives no meaningful count (100 % or more, or below 0). The focal length
// (mm, 35-mm equivalent) is taken as at least 10.
int ComputePhotoCount(int focalLength, int overlapPercent, int orientation);

class PhotoCountDialog : public CDialog {
public:
    static constexpr UINT kTemplateId = 213;
    static constexpr UINT kFocalCombo = 1147;
    static constexpr UINT kOverlapEdit = 1148;
    static constexpr UINT kComputeButton = 1149;
    static constexpr UINT kResultStatic = 1150;
    static constexpr UINT kPortrait = 1222;
    static constexpr UINT kLandscape = 1226;

    explicit PhotoCountDialog(CWnd* parent = nullptr);
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    const win::MessageMap* GetMessageMap() const override;

    const std::string& GetResultText() const { return m_result; }
    const std::string& GetFocalText() const { return m_focal; }
    ColorLabel& GetLabel() { return m_label; }

protected:
    void OnReadAndRecompute();
    void OnPortrait();
    void OnLandscape();
    void OnFocalSelected();

private:
    void Recompute();
    void ShowResult();

    std::string m_focal = "38";
    int m_overlap = 40;
    std::string m_result;
    int m_orientation = 0;  // 0 portrait, 1 landscape
    ColorLabel m_label;
};
