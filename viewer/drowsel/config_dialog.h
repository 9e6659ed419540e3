// The saver's configuration dialog: the picture or album, the album editing
// ("Add to Album"), the period, the speed and the height share, written to
// the profile section "Config" on OK. The program runs it modally for the
// configuration switch; it shows the help dialog and the about box.
#pragma once

#include "platform/win/dialog.h"

#include <memory>
#include <string>

class CDrowselHelpDlg : public CDialog {
public:
    CDrowselHelpDlg();
    // Modeless: the object deletes itself when its window goes.
    void PostNcDestroy() override;
    void OnOK() override;
    void OnCancel() override;
};

class CDrowselAboutDlg : public CDialog {
public:
    CDrowselAboutDlg(CWnd* parent = nullptr);
    const win::MessageMap* GetMessageMap() const override;

private:
    void OnHomeLink();
};

class CDrowselConfigDlg : public CDialog {
public:
    // `handedOver` is the panorama of the hand-over file ("" when none).
    explicit CDrowselConfigDlg(const std::string& handedOver, CWnd* parent = nullptr);
    ~CDrowselConfigDlg() override;

    // Exchanged values: the path field, the height share (%), the speed
    // (pixels a second) and the period (minutes).
    std::string m_path;
    int m_height = 70;
    int m_speed = 30;
    int m_period = 1;
    // True while no panorama is handed over: only then is "ImageName" written.
    bool mayWrite = true;
    // The album the user works with (start folder of "Add to Album").
    std::string m_album;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    const win::MessageMap* GetMessageMap() const override;
    // The help dialog while it is open (null otherwise).
    CDrowselHelpDlg* HelpDialog() const;

private:
    void OnBrowse();
    void OnAddToAlbum();
    void OnHelpButton();
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    // Enables "Add to Album" for a picture path and the period for an album.
    void EnableForPath();
    void ShowHeight();
    // The hand-over file is emptied and forgotten: the user chose anew.
    void ForgetHandOver();

    std::string m_handedOver;
    HWND m_help = nullptr;
};
