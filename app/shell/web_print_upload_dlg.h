// "Upload Image for Web Printing" (dialog 219): where a saved picture can be
// uploaded for printing, with a button that opens that web page.
#pragma once

#include "platform/win/dialog.h"

#include <string>

class CWebPrintUploadDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 219;
    static constexpr UINT kImageStatic = 1163;
    static constexpr UINT kAddressStatic = 1164;
    static constexpr UINT kUploadButton = 1061;

    // The web address keeps no line end or trailing blanks (the web-link
    // line it comes from does).
    CWebPrintUploadDlg(const char* webAddress, const char* imageFile, CWnd* parent);
    BOOL OnInitDialog() override;
    const win::MessageMap* GetMessageMap() const override;
    const std::string& GetWebAddress() const { return m_webAddress; }

    // The web-print command of the panorama and image views: a saved file
    // and a web-link line are needed; the address starts at the line's
    // fourth character.
    static void RunFor(const char* imageFile, CWnd* parent);

protected:
    void OnUpload();

private:
    std::string m_webAddress;
    std::string m_imageFile;
};
