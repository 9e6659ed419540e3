#include "viewer/vistrel/vistrel_dialogs.h"

#include "platform/win/shell.h"
#include "viewer/vistrel/main_frame.h"

#ifndef VISTREL_SITE_ROOT
#define VISTREL_SITE_ROOT "http://www.quorvane.com"
#endif

void CVistrelHelpDlg::OnCancel()
{
    DestroyWindow();
}

void CVistrelHelpDlg::PostNcDestroy()
{
    if (m_owner && m_owner->helpDialog == this) m_owner->helpDialog = nullptr;
    delete this;
}

const win::MessageMap* CVistrelAboutDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(), {
        win::on::Control(BN_CLICKED, kLinkButton, &CVistrelAboutDlg::OnLink),
    });
    return &map;
}

void CVistrelAboutDlg::OnLink()
{
    ShellExecute(m_hWnd, "open", VistrelSiteRoot(), nullptr, nullptr, SW_SHOWNORMAL);
}

const char* VistrelSiteRoot()
{
    return VISTREL_SITE_ROOT;
}

std::string VistrelWebPage(UINT command)
{
    static const char* const pages[] = {"/WebLinks/help_FAQ.htm", "/Support/support.htm", "/news/news.htm",
                                        "/WebLinks/web_tutorial.htm", "/index.htm"};
    if (command < 32791 || command > 32795) return std::string();
    return std::string(VistrelSiteRoot()) + pages[command - 32791];
}
