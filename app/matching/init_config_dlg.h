// "Initial Configuration" (dialog 226): edits the configuration record
// directly. Its changes reach the manager's live settings only through the
// settings file, that is at the next start.
#pragma once

#include "platform/win/dialog.h"

#include <string>

struct AppConfig;
namespace win {
class ResourceModule;
}

class CInitConfigDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 226;
    static constexpr UINT kCamInfoStatic = 1179;
    static constexpr UINT kFocalEdit = 1183;
    static constexpr UINT kAutoBalanceCheck = 1177;
    static constexpr UINT kBlendWidthEdit = 1178;
    static constexpr UINT kElasticRadio = 1318;
    static constexpr UINT kFixedRadio = 1317;
    static constexpr UINT kScreenSaverCheck = 1256;
    static constexpr UINT kFromCurrentButton = 1184;

    explicit CInitConfigDlg(CWnd* parent = nullptr);
    void SetConfig(AppConfig* config) { m_config = config; }

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    const win::MessageMap* GetMessageMap() const override;

    // The focal mode that no control shows: 0 known (mode 2), 1 same unknown
    // (mode 0), 2 different unknown (mode 1).
    int GetFocalIndex() const { return m_focalIndex; }

protected:
    void OnEditKillFocus();
    void OnFromCurrentSettings();

private:
    void ApplyToConfig();

    AppConfig* m_config = nullptr;
    std::string m_camInfoFile;
    float m_focalLength = 35.0f;
    int m_autoBalance = 1;
    int m_blendWidth = 20;
    int m_blendMethod = 1;  // radio index: 0 elastic, 1 fixed
    int m_screenSaverHint = 1;
    int m_focalIndex = 0;
    bool m_exchanging = false;
};

// The dialog's template (resource 226).
void AddInitConfigDialogTemplate(win::ResourceModule& module);
