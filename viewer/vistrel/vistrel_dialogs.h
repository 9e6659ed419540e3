// The viewer's two dialogs: the modeless help (one at a time, owned by the
// main frame) and the modal about box with its link to the maker's site.
#pragma once

#include "platform/win/dialog.h"

#include <string>

class CMainFrame;

class CVistrelHelpDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 202;
    explicit CVistrelHelpDlg(CMainFrame* owner) : m_owner(owner) {}

protected:
    void OnCancel() override;
    void PostNcDestroy() override;

private:
    CMainFrame* m_owner;
};

class CVistrelAboutDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 100;
    static constexpr UINT kLinkButton = 1000;
    CVistrelAboutDlg() : CDialog(kTemplateId) {}
    void OnLink();
    const win::MessageMap* GetMessageMap() const override;
};

// The maker's web site (a build setting) and the pages of the web-link
// commands 32791 to 32795.
const char* VistrelSiteRoot();
std::string VistrelWebPage(UINT command);
