// "Save Camera Info": names a new camera-information file for a focal
// length calibrated by a finished stitch. The first press of the button
// checks the name (and says whether the file exists), the second accepts
// it; the "..." chooser cannot leave the camera-info folder.
#pragma once

#include "platform/win/dialog.h"

#include <string>

namespace win {
class ResourceModule;
}

class CSaveCamInfoDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 298;
    static constexpr UINT kName = 1008;
    static constexpr UINT kExternalLensCheck = 1009;
    static constexpr UINT kComment = 1010;
    static constexpr UINT kStatus = 1011;
    static constexpr UINT kLensText = 1012;
    static constexpr UINT kChoose = 1013;
    static constexpr UINT kFolder = 1014;

    explicit CSaveCamInfoDlg(CWnd* parent = nullptr);

    // Set before the dialog is shown.
    void SetFolder(const std::string& folder) { m_folder = folder.substr(0, 255); }
    void SetFileName(const std::string& name) { m_fileName = name.substr(0, 255); }

    // After OK: the name with ".camInfo" appended.
    const std::string& GetFileName() const { return m_fileName; }
    // Null when left empty.
    const char* GetComment() const { return m_comment.empty() ? nullptr : m_comment.c_str(); }
    bool IsExternalLens() const { return m_externalLens; }
    const char* GetExternalLensName() const { return m_lensText.empty() ? nullptr : m_lensText.c_str(); }
    // The named file did not exist when the name was checked.
    bool IsNew() const { return m_isNew; }

    BOOL OnInitDialog() override;
    void OnOK() override;

protected:
    const win::MessageMap* GetMessageMap() const override;

private:
    bool CheckName();
    void NameAccepted();
    void OnExternalLensClicked();
    void OnNameChanged();
    void OnChoose();

    std::string m_folder;
    std::string m_fileName;
    std::string m_lensText;
    std::string m_comment;
    bool m_externalLens = false;
    bool m_isNew = false;
    bool m_nameChecked = false;
    bool m_settingName = false;  // the chooser puts a name in: no re-check asked
};

void AddSaveCamInfoDialog(win::ResourceModule& module);
