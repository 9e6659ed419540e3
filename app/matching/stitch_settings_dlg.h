// "Stitch Settings": how the focal length of the photographs is found (from
// their Exif data, a camera-information file, or known / same unknown /
// different unknown), whether a camera-information file and run-time
// distortion correction apply, the stitch mode and the blend options. The
// manager constructs it from its own state, runs it, and applies what the
// user chose (SuperManager::ShowStitchSettings).
#pragma once

#include "app/matching/cam_info.h"
#include "app/matching/cam_info_checks.h"
#include "platform/win/dialog.h"

#include <cstdint>
#include <memory>
#include <string>

class ExifSummary;
struct BlendSettings;
struct DistortionRecord;
struct StitchSettings;

namespace win {
class ResourceModule;
}

class CStitchSettingsDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 230;
    static constexpr UINT kUseExif = 1314;
    static constexpr UINT kExifText = 1005;
    static constexpr UINT kUseCamInfo = 1002;
    static constexpr UINT kSelect = 1003;
    static constexpr UINT kCamInfoName = 1004;
    static constexpr UINT kRuntimeCorrection = 1319;
    static constexpr UINT kFromExif = 1091;
    static constexpr UINT kKnown = 1088;
    static constexpr UINT kSameUnknown = 1089;
    static constexpr UINT kDifferentUnknown = 1090;
    static constexpr UINT kFocalEdit = 1086;
    static constexpr UINT kAuto = 1214;
    static constexpr UINT kManual = 1052;
    static constexpr UINT kAutoBalance = 1043;
    static constexpr UINT kBlendWidth = 1044;
    static constexpr UINT kElastic = 1215;
    static constexpr UINT kFixed = 1053;
    static constexpr UINT kHelp = 1021;

    // Nothing is shown yet; a camera-information file named here is loaded
    // and checked against the images at once.
    CStitchSettingsDlg(bool useExif, const StitchSettings* stitch, const BlendSettings* blend, bool autoStitch,
                       bool elastic, bool runtimeCorrection, const char* camInfoName, ExifSummary* summary,
                       CWnd* parent = nullptr);
    ~CStitchSettingsDlg() override;
    CStitchSettingsDlg(const CStitchSettingsDlg&) = delete;
    CStitchSettingsDlg& operator=(const CStitchSettingsDlg&) = delete;

    // Results, read after the dialog ended.
    // The chosen type; 3 with a calibrated camera-information focal length is 4.
    int GetFocalType() const;
    // True when the focal setup changed in a way that needs new pair results.
    bool ApplyFocal(StitchSettings* stitch) const;
    void ApplyBlend(BlendSettings* blend) const;
    bool IsAutoStitch() const { return m_stitchMode == 0; }
    bool IsElastic() const { return m_blendMode == 0; }
    bool IsUseExif() const { return m_useExif != 0; }
    bool IsRuntimeCorrection() const { return m_runtimeCorrection != 0; }
    bool IsUsingCamInfo() const { return m_useCamInfo != 0; }
    bool FillDistortionRecord(DistortionRecord* record) const;
    // Hands over the dialog's record (null when none) and forgets it.
    CamInfo* TakeCamInfo() { return m_camInfo.release(); }
    // Forgets the dialog's camera-information file, when it holds one.
    void DropCamInfo();
    // Null when the dialog holds no file.
    const char* GetCamInfoName() const { return m_camInfoName.empty() ? nullptr : m_camInfoName.c_str(); }
    const CamInfo* GetCamInfo() const { return m_camInfo.get(); }
    float GetCamInfoFocal() const { return m_camInfoFocal; }
    float GetFocalLength() const { return m_focalLength; }
    bool IsConsistent() const { return m_consistent != 0; }
    const std::string& GetMessageText() const { return m_message; }
    const FocalSourceChoice& GetSuggestion() const { return m_suggestion; }

    // Not forced: only a suggestion of 3, a current type 3, or a current type
    // the images no longer allow gives way. Forced: the suggestion is taken.
    void SuggestFocalType(bool forced);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

protected:
    const win::MessageMap* GetMessageMap() const override;

private:
    // 1 usable, 0 the file does not fit, -1 no file can be used; a file that
    // does not fit is dropped. withTexts: collect the constructor's texts.
    int CheckAgainstImages(bool withTexts);
    void UpdateCamInfoControls(bool use);
    bool UpdateRuntimeCheck(bool uncheck, bool warn);
    void EnableItem(UINT id, bool on);
    void CheckFocalRadio();
    void OnUseExif();
    void OnUseCamInfo();
    void OnSelect();
    void OnKnown();
    void OnSameUnknown();
    void OnDifferentUnknown();
    void OnFromExif();
    void OnRuntimeCorrection();
    void OnFixed();
    void OnElastic();
    void OnFocalKillFocus();
    void OnHelp();

    float m_focalLength = 35.0f;  // mm
    int m_blendWidth = 20;        // percent
    int m_autoBalance = 1;
    int m_stitchMode = 0;  // 0 auto, 1 manual
    int m_useCamInfo = 0;
    int m_blendMode = 0;  // 0 elastic, 1 fixed
    int m_useExif = 1;
    int m_runtimeCorrection = 0;
    int m_focalType = 0;  // 0..3 while the dialog runs
    std::unique_ptr<CamInfo> m_camInfo;
    ExifSummary* m_summary = nullptr;  // not owned
    FocalSourceChoice m_suggestion;
    std::string m_camInfoName;  // empty: none
    float m_camInfoFocal = 0.0f;  // mm, 0 when none
    uint8_t m_consistent = 1;
    std::string m_message;
};

// Adds the dialog's template (resource 230) to the application's resources.
void AddStitchSettingsDialog(win::ResourceModule& module);
