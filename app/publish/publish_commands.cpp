// The manager's Publish menu commands on a saved panorama.
#include "app/control/super_manager.h"

#include "app/matching/app_config.h"
#include "app/panorama/rect_map_view.h"
#include "app/publish/small_dialogs.h"
#include "app/publish/web_page_dlg.h"
#include "app/shell/main_frame.h"
#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "worldmap/world_map.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kSaveFirst = "Please save panorama first.";

// The saved panorama's file name of a view, or null (after telling the
// user) when the panorama has not been saved.
const char* SavedPanoramaName(CRectMapView* view)
{
    WorldMap* map = view ? view->GetWorldMap() : nullptr;
    const char* name = map ? map->GetName() : nullptr;
    if (!name) AfxMessageBox(kSaveFirst);
    return name;
}

}  // namespace

void SuperManager::SetAsScreenSaver(CRectMapView* view)
{
    if (const char* name = SavedPanoramaName(view)) SetAsScreenSaverFile(name);
}

bool SuperManager::SetAsScreenSaverFile(const char* panoramaName)
{
    if (!panoramaName || !*panoramaName) {
        AfxMessageBox(kSaveFirst);
        return false;
    }
    char buffer[256] = {};
    DWORD n = GetTempPath(255, buffer);
    FILE* album = nullptr;
    std::string path;
    // Only a folder ending in "mp" and a separator (a Temp or TMP folder) is
    // trusted with the hand-over file.
    if (n >= 3 && n <= 255 &&
        ((buffer[n - 3] == 'm' && buffer[n - 2] == 'p') || (buffer[n - 3] == 'M' && buffer[n - 2] == 'P'))) {
        path = std::string(buffer, n) + "quorvanealbum.txt";
        album = std::fopen(path.c_str(), "w");
    }
    if (!album) {
        Logger::log("ERROR SuperManager::SetAsScreenSaverFile: temporary folder \"%s\" refused or unwritable", 1,
                    buffer);
        AfxMessageBox("Can not access temporary directory.\nManually select panorama file to Drowsel screen saver.");
        return false;
    }
    m_albumPath = path;
    std::fprintf(album, "%s\n", panoramaName);
    std::fclose(album);
    // The screen saver's own configuration stands in for the display
    // settings' screen-saver page.
    ShellExecute(nullptr, "open", "\\Drowsel.exe", "c", nullptr, SW_SHOWNORMAL);

    if (m_config && m_config->screenSaverHint) {
        if (!m_screenSaverTip) {
            RegisterPublishDialogs();
            auto* tip = new CScreenSaverTipsDlg(AfxGetMainWnd());
            if (!tip->Create(CScreenSaverTipsDlg::kTemplateId, AfxGetMainWnd())) {
                Logger::log("ERROR SuperManager::SetAsScreenSaverFile: the tips note could not be made", 1);
                delete tip;
                return true;
            }
            m_screenSaverTip = tip;
        }
        RECT client{};
        m_screenSaverTip->GetClientRect(&client);
        const int w = client.right - client.left, h = client.bottom - client.top;
        const int x = GetSystemMetrics(SM_CXSCREEN) - w - 10;
        const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2 - 10;
        m_screenSaverTip->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        m_screenSaverTip->ShowWindow(SW_SHOW);
    }
    return true;
}

void SuperManager::EmailPanorama(CRectMapView* view)
{
    const char* name = SavedPanoramaName(view);
    if (!name) return;
    RegisterPublishDialogs();
    CEmailPanoramaDlg dialog(name, AfxGetMainWnd());
    dialog.DoModal();
}

void SuperManager::ShowWebPageDialog(bool panoramaMode)
{
    if (panoramaMode) return;
    RegisterPublishDialogs();
    CWebPageDlg dialog(nullptr, AfxGetMainWnd());
    dialog.SetQuickTimeMode(false);
    dialog.DoModal();
}

void SuperManager::CreateWebTour(CRectMapView* view)
{
    if (!view || !SavedPanoramaName(view)) return;
    if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd())) main->GetTourMaker(true);
}
