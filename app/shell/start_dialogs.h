// The two small dialogs of the application object: the splash shown during
// start-up (resource 161, bitmap 262) and the About box (resource 100).
#pragma once

#include "platform/win/dialog.h"
#include "platform/win/dib.h"

class CSplashDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 161;
    static constexpr UINT kPictureId = 1000;
    static constexpr UINT kBitmapId = 262;
    BOOL OnInitDialog() override;

private:
    CBitmap m_picture;
};

class CAboutDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 100;
    static constexpr UINT kWebSiteButton = 1229;
    CAboutDlg() : CDialog(kTemplateId) {}
    const win::MessageMap* GetMessageMap() const override;

protected:
    void OnWebSite();
};
