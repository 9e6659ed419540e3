// "Select Camera Info": picks a camera-information file for stitching from
// the user's files, the share library, or (on request) the legacy text
// files beside the program, shows what the chosen file holds, and hands the
// loaded record to the caller. Opened by the stitch settings.
#pragma once

#include "app/matching/cam_info.h"
#include "platform/win/dialog.h"

#include <memory>
#include <string>

namespace win {
class ResourceModule;
}

class CSelectCamInfoDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 170;
    static constexpr UINT kList = 1106;
    static constexpr UINT kLegacyCheck = 1313;
    static constexpr UINT kIgnoreFocalCheck = 1314;
    static constexpr UINT kDescription = 1109;
    static constexpr UINT kUpdateFromWeb = 3;
    static constexpr UINT kShareMine = 4;
    static constexpr UINT kHelp = 1107;

    explicit CSelectCamInfoDlg(CWnd* parent = nullptr);

    // Results, read after the dialog ended.
    // The name of the loaded file; empty when nothing was loaded.
    const std::string& GetSelectedName() const { return m_selectedName; }
    // mm; 0 when nothing was loaded or the focal length is to be ignored.
    float GetFocalLength() const;
    bool GetCorrectionParams(DistortionRecord* out) const;
    bool IsFocalIgnored() const { return m_ignoreFocal != 0; }
    // Hands the loaded record over (null when none); with the focal length
    // ignored the record comes without it.
    CamInfo* TakeCamInfo();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

protected:
    const win::MessageMap* GetMessageMap() const override;

private:
    void FillList();
    void ClearIgnoreFocal();
    void OnSelChange();
    void OnLegacyClicked();
    void OnIgnoreFocalClicked();
    void OnUpdateFromWeb();
    void OnShareMine();
    void OnHelp();

    int m_legacy = 0;
    int m_ignoreFocal = 0;
    std::string m_selectedName;
    std::unique_ptr<CamInfo> m_record;  // owned until taken
    bool m_loaded = false;
};

void AddSelectCamInfoDialog(win::ResourceModule& module);
