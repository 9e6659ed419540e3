// The control's small windows: the splash shown while the panorama loads,
// the modeless help dialog (one at a time), the modal about dialog with its
// link to the maker's site, and the property page.
#pragma once

#include "platform/olecontrol/ole_control.h"
#include "platform/win/dib.h"

#include <string>

class CLumivexCtrl;

// Dialog units of the dialogs' font (8-point sans serif, base units 6 x 13
// pixels) in pixels, rounded.
SIZE DialogUnitsToPixels(int cx, int cy);

// Dialog 204: a borderless popup of 157 x 54 dialog units showing bitmap 210
// centred.
class CLumivexSplashDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 204;
    static constexpr UINT kBitmapId = 210;
    static constexpr UINT kPictureId = 1000;
    static constexpr int kWidthDlu = 157, kHeightDlu = 54;
    CLumivexSplashDlg() = default;
    // Makes the popup owned by `control`, centred over its area (offsets at
    // least 0 from its top-left corner, screen coordinates) and shows it.
    bool ShowOver(CWnd* control);
    BOOL OnInitDialog() override;
    void OnCancel() override {}
    void OnOK() override {}

private:
    CBitmap m_picture;
};

// Dialog 202 "Quorvane Lumivex Help": deletes itself when its window goes
// and clears the control's pointer to it.
class CLumivexHelpDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 202;
    explicit CLumivexHelpDlg(CLumivexHelpDlg** holder) : m_holder(holder) {}

protected:
    void OnCancel() override;
    void OnOK() override;
    void PostNcDestroy() override;

private:
    CLumivexHelpDlg** m_holder;
};

// The about dialog: button 206 opens the maker's site with the shell's
// "OPEN" verb and closes the dialog as confirmed.
class CLumivexAboutDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 100;
    static constexpr UINT kLinkButton = 206;
    CLumivexAboutDlg() : CDialog(kTemplateId) {}
    void OnLink();
    const win::MessageMap* GetMessageMap() const override;
};

// Dialog 200 "General": the file name, field of view and speed fields
// bound to the control's properties of those names.
class CLumivexPropPage : public COlePropertyPage {
public:
    static constexpr UINT kTemplateId = 200;
    static constexpr UINT kCaptionString = 200;
    static constexpr UINT kFileNameEdit = 201, kFovEdit = 202, kSpeedEdit = 203;
    CLumivexPropPage() : COlePropertyPage(kTemplateId, kCaptionString) {}
    void DoDataExchange(CDataExchange* dx) override;

    std::string fileName;
    unsigned fieldOfView = 0;
    int speed = 0;
};

// The maker's web site (a build setting).
const char* LumivexSiteRoot();
