#include "app/shell/web_print_upload_dlg.h"

#include "app/control/super_manager.h"
#include "platform/win/shell.h"

#include <cstring>

CWebPrintUploadDlg::CWebPrintUploadDlg(const char* webAddress, const char* imageFile, CWnd* parent)
    : CDialog(kTemplateId, parent), m_webAddress(webAddress ? webAddress : ""), m_imageFile(imageFile ? imageFile : "")
{
    while (!m_webAddress.empty() && std::strchr("\r\n \t", m_webAddress.back())) m_webAddress.pop_back();
}

BOOL CWebPrintUploadDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(kImageStatic, m_imageFile.c_str());
    SetDlgItemText(kAddressStatic, m_webAddress.c_str());
    return TRUE;
}

void CWebPrintUploadDlg::OnUpload()
{
    const std::string page = m_webAddress + "/index.htm";
    ShellExecute(nullptr, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CWebPrintUploadDlg::RunFor(const char* imageFile, CWnd* parent)
{
    if (!imageFile || !*imageFile) {
        AfxMessageBox("Please save panorama to a file first.");
        return;
    }
    SuperManager* manager = GetSuperManager();
    char line[256];
    if (!manager || !manager->FindWebLink(line, sizeof line) || std::strlen(line) < 3) return;
    CWebPrintUploadDlg dialog(line + 3, imageFile, parent);
    dialog.DoModal();
}

const win::MessageMap* CWebPrintUploadDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {win::on::Control(BN_CLICKED, kUploadButton, &CWebPrintUploadDlg::OnUpload)});
    return &map;
}
