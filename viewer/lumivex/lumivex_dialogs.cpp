#include "viewer/lumivex/lumivex_dialogs.h"

#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/shell.h"
#include "platform/win/win_rect.h"

#include <algorithm>

#ifndef LUMIVEX_SITE_ROOT
#define LUMIVEX_SITE_ROOT "http://www.quorvane.com"
#endif

SIZE DialogUnitsToPixels(int cx, int cy)
{
    constexpr int kBaseX = 6, kBaseY = 13;
    return SIZE{(cx * kBaseX + 2) / 4, (cy * kBaseY + 4) / 8};
}

bool CLumivexSplashDlg::ShowOver(CWnd* control)
{
    if (!control || !Create(kTemplateId, control)) {
        Logger::log("ERROR CLumivexSplashDlg::ShowOver the splash cannot be made", 1);
        return false;
    }
    CRect area, self;
    control->GetWindowRect(&area);
    GetWindowRect(&self);
    const int x = std::max(0, (area.Width() - self.Width()) / 2);
    const int y = std::max(0, (area.Height() - self.Height()) / 2);
    SetWindowPos(nullptr, area.left + x, area.top + y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(SW_SHOW);
    return true;
}

BOOL CLumivexSplashDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CWnd* picture = GetDlgItem(kPictureId);
    if (picture && m_picture.LoadBitmap(kBitmapId))
        picture->SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_picture.GetSafeHandle()));
    return TRUE;
}

void CLumivexHelpDlg::OnCancel()
{
    DestroyWindow();
}

void CLumivexHelpDlg::OnOK()
{
    DestroyWindow();
}

void CLumivexHelpDlg::PostNcDestroy()
{
    if (m_holder && *m_holder == this) *m_holder = nullptr;
    delete this;
}

const win::MessageMap* CLumivexAboutDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(), {
        win::on::Control(BN_CLICKED, kLinkButton, &CLumivexAboutDlg::OnLink),
    });
    return &map;
}

void CLumivexAboutDlg::OnLink()
{
    ShellExecute(m_hWnd, "OPEN", LumivexSiteRoot(), nullptr, nullptr, SW_SHOWNORMAL);
    EndDialog(IDOK);
}

void CLumivexPropPage::DoDataExchange(CDataExchange* dx)
{
    DDP_Text(dx, kFileNameEdit, fileName, "FileName");
    DDX_Text(dx, kFileNameEdit, fileName);
    DDP_Text(dx, kFovEdit, fieldOfView, "Field of View");
    DDX_Text(dx, kFovEdit, fieldOfView);
    DDP_Text(dx, kSpeedEdit, speed, "Speed");
    DDX_Text(dx, kSpeedEdit, speed);
    DDP_PostProcessing(dx);
}

const char* LumivexSiteRoot()
{
    return LUMIVEX_SITE_ROOT;
}
