#include "app/publish/small_dialogs.h"

#include "app/control/super_manager.h"
#include "app/matching/app_config.h"
#include "app/publish/web_page_dlg.h"
#include "core/logger.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/clipboard.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr size_t kMaxPathText = 128;
}

CEmailPanoramaDlg::CEmailPanoramaDlg(const char* panoramaPath, CWnd* parent) : CDialog(kTemplateId, parent)
{
    // The location shown is the suite's log folder under the common
    // application-data folder; it is made when missing.
    std::string appData;
    if (LogBase::GetCommonAppDataDir("\\Quorvane", appData) && !appData.empty()) {
        m_location = (appData + "/log").substr(0, kMaxPathText);
        m_panoramaPath = std::string(panoramaPath ? panoramaPath : "").substr(0, kMaxPathText);
    } else {
        std::printf("ERROR cannot find common appData path????\n");
        Logger::log("ERROR CEmailPanoramaDlg::CEmailPanoramaDlg: no common application-data folder", 1);
    }
}

const std::string& CEmailPanoramaDlg::InstructionText()
{
    static const std::string text =
        "             *** Instruction for viewing attached panorama(s) in this email ***\n"
        "\n"
        "1. Save attached file(s) to a folder in your computer\n"
        "\n"
        "2. To view the panoramas dynamically in Vistrel:\n"
        "   1) Launch Vistrel (the file should be attached, or already installed in your computer)\n"
        "   2) Load a saved panorama file to Vistrel\n"
        "   3) Drag to pan and zoom (click on main menu | Help for more detail)\n"
        "\n"
        "3. To set the panorama as a dynamic screen saver:\n"
        "   1) Install Quorvane Drowsel (if not already), which is one attached file:\n"
        "        - Copy Drowsel.scr to the OS system folder (e.g., C:\\WINDOWS\\system32)\n"
        "   2) Right-click on your computer screen background to popup the floating menu and select Properties to "
        "show the Display Properties window\n"
        "   3) Choose the Screen Save page\n"
        "   4) Choose Drowsel in the screen saver list if it is not already chosen\n"
        "   5) Click \"settings...\" in the Screen Saver page of Display Properties to bring up \"Quorvane Drowsel "
        "Configuration\"\n"
        "   6) Click browse... to load the saved panorama\n"
        "You can adjust the panorama image's displaying height on the screen and its moving speed. If you like it "
        "you can click \"Add to album\".  A Drowsel album is a text file that contains panorama image names. In the "
        "field of \"Panorama File / Album Name\", you can either choose a panorama image file or an album file. "
        "Using an album, Drowsel can show its contained panoramas one by one. The time period of each is set in the "
        "\"Time per image\" field.\n"
        "   7) Click \"Preview\" to view your spinning kestova as your screen saver\n"
        "\n"
        "Make your own panoramas and virtual tours with Quorvane's products: download them from "
        "http://www.quorvane.com\n";
    return text;
}

bool CEmailPanoramaDlg::PutInstructionsOnClipboard()
{
    const std::string& text = InstructionText();
    if (!OpenClipboard(m_hWnd)) {
        Logger::log("ERROR CEmailPanoramaDlg::PutInstructionsOnClipboard: the clipboard is busy", 1);
        return false;
    }
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
    bool ok = false;
    if (block) {
        if (void* p = GlobalLock(block)) {
            std::memcpy(p, text.c_str(), text.size() + 1);
            GlobalUnlock(block);
            ok = SetClipboardData(CF_TEXT, block) != nullptr;
        }
        if (!ok) GlobalFree(block);
    }
    CloseClipboard();
    return ok;
}

void CEmailPanoramaDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kPanoramaText, m_panoramaPath);
    DDX_Text(dx, kLocationText, m_location);
}

const win::MessageMap* CEmailPanoramaDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(BN_CLICKED, kPrepareButton, &CEmailPanoramaDlg::OnPrepare),
                                     });
    return &map;
}

bool CScreenSaverTipsDlg::IsDontShowChecked() const
{
    if (m_hWnd) return IsDlgButtonChecked(kDontShowCheck) == BST_CHECKED;
    return m_dontShow;
}

void CScreenSaverTipsDlg::OnCancel()
{
    m_dontShow = IsDontShowChecked();
    SuperManager* manager = GetSuperManager();
    if (m_dontShow && manager && manager->GetConfig()) {
        manager->GetConfig()->screenSaverHint = 0;
        manager->GetConfig()->SetModified();
    }
    if (manager) manager->CloseScreenSaverTip(false);
    if (m_hWnd) DestroyWindow();
    delete this;
}

void RegisterPublishDialogs()
{
    using win::ControlKind;
    using win::ControlTemplate;
    CWebPageDlg::RegisterTemplate();
    if (!win::Resources::App().FindDialog(CScreenSaverTipsDlg::kTemplateId)) {
        win::DialogTemplate dialog;
        dialog.id = CScreenSaverTipsDlg::kTemplateId;
        dialog.caption = "Set as Screen Saver: Tips";
        dialog.size = SIZE{420, 200};
        dialog.controls = {
            ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 10, 410, 80},
                            "In the Screen Saver page in the Display Property dialog window:  \n-- Choose Drowsel in "
                            "the \"Screen Saver...\" dropdown list if it is not\n   already chosen\n-- Click "
                            "\"Settings...\" button to change Drowsel's configuration "),
            ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 84, 410, 120},
                            "-- Click \"Preview\" to view the spinning panorama as your screen saver\n-- Click \"OK\" "
                            "to accept the new screen saver setup"),
            ControlTemplate(CScreenSaverTipsDlg::kDontShowCheck, ControlKind::CheckBox, RECT{10, 130, 300, 150},
                            "Do not show this message any more.", WS_GROUP),
            ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{320, 164, 410, 190}, "OK"),
        };
        win::Resources::App().AddDialog(std::move(dialog));
    }
    if (!win::Resources::App().FindDialog(CEmailPanoramaDlg::kTemplateId)) {
        win::DialogTemplate dialog;
        dialog.id = CEmailPanoramaDlg::kTemplateId;
        dialog.caption = "E-mail Panorama";
        dialog.size = SIZE{460, 220};
        dialog.controls = {
            ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 10, 450, 26}, "1. Panorama image(s):"),
            ControlTemplate(CEmailPanoramaDlg::kPanoramaText, ControlKind::Static, RECT{20, 30, 450, 46}, ""),
            ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 56, 450, 72},
                            "2. Shared software (if the recipient does not have yet):"),
            ControlTemplate(CEmailPanoramaDlg::kLocationText, ControlKind::Static, RECT{20, 76, 450, 92}, ""),
            ControlTemplate(0xFFFF, ControlKind::Static, RECT{20, 96, 450, 112}, "Vistrel.exe"),
            ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 120, 450, 150},
                            "Ask the recipient to download the viewer suite from http://www.quorvane.com"),
            ControlTemplate(CEmailPanoramaDlg::kPrepareButton, ControlKind::PushButton, RECT{10, 180, 150, 206},
                            "Prepare E-mail", WS_GROUP),
            ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{360, 180, 450, 206}, "Done"),
        };
        win::Resources::App().AddDialog(std::move(dialog));
    }
}
