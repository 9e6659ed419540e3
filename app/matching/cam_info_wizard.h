// "Make Camera Info File Wizard": a modeless three-step wizard that writes a
// legacy camera-information text file (in the program's CameraInfo folder)
// from the distortion correction and the focal length of the current
// stitch. Page 1 tells whether a correction was made, page 2 whether the
// focal length is known, page 3 names the camera and the file and saves.
// The wizard deletes itself and its pages when it is closed.
#pragma once

#include "app/matching/distortion_record.h"
#include "platform/win/dialog.h"

#include <memory>
#include <optional>
#include <string>

namespace win {
class ResourceModule;
}

class CCamInfoWizard;

// One page: a child dialog whose buttons speak to the wizard.
class CCamInfoWizardPage : public CDialog {
public:
    CCamInfoWizardPage(CCamInfoWizard* wizard, UINT templateId) : CDialog(templateId), m_wizard(wizard) {}
    // Enter does nothing; Escape is the wizard's Cancel.
    void OnOK() override {}
    void OnCancel() override;

protected:
    const win::MessageMap* GetMessageMap() const override;

private:
    void OnNext();
    void OnPrevious();
    void OnSave();
    void OnFinish();
    void OnChoosePath();

    CCamInfoWizard* m_wizard;  // the owner
};

class CCamInfoWizard : public CDialog {
public:
    static constexpr UINT kTemplateId = 277;
    static constexpr UINT kPageTemplates[3] = {278, 279, 280};
    static constexpr UINT kPage1Text = 1271;
    static constexpr UINT kPage2Text = 1272;
    static constexpr UINT kFocalText = 1276;
    static constexpr UINT kCoefficientText = 1277;
    static constexpr UINT kCamera = 1275;
    static constexpr UINT kPath = 1273;
    static constexpr UINT kNext = 1269;
    static constexpr UINT kPrevious = 1268;
    static constexpr UINT kSave = 1270;
    static constexpr UINT kFinish = 1267;
    static constexpr UINT kChoosePath = 1278;
    static constexpr size_t kCameraLimit = 32;

    CCamInfoWizard();
    ~CCamInfoWizard() override;

    // Set before Create. The block is copied (null: no correction made), so
    // the caller may free or replace its own record at any time.
    void SetFocalLength(float mm) { m_focalLength = mm; }
    void SetCorrection(const DistortionRecord* correction);
    void SetFocalKnown(bool known) { m_focalKnown = known; }

    // Makes the modeless window; after this the wizard owns itself.
    BOOL Create(CWnd* parent = nullptr);

    // 0, 1 or 2.
    int GetCurrentPage() const { return m_current; }
    CDialog* GetPage(int index) const { return index >= 0 && index < 3 ? m_pages[index].get() : nullptr; }
    const std::string& GetOutputPath() const { return m_outputPath; }

    // The page buttons.
    void Next();
    void Previous();
    void Save();
    void ChoosePath();
    void Finish();

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;

protected:
    void PostNcDestroy() override;

private:
    void ShowPage(int index);
    void RefreshPage2();
    void RefreshPage3();
    std::string LegacyFolder() const;

    std::unique_ptr<CCamInfoWizardPage> m_pages[3];
    int m_current = 0;
    float m_focalLength = 0.0f;  // mm
    std::optional<DistortionRecord> m_correction;
    bool m_focalKnown = false;
    std::string m_outputPath;
};

void AddCamInfoWizardDialogs(win::ResourceModule& module);
