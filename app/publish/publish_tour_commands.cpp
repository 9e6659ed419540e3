// The manager's QuickTime tour page, its crop toggle on the front panorama
// view, and the frames of the image chain for the dialogs that list them.
#include "app/control/super_manager.h"

#include "app/control/image_chain.h"
#include "app/panorama/rect_map_view.h"
#include "app/publish/small_dialogs.h"
#include "app/publish/web_page_dlg.h"
#include "imaging/list.h"
#include "platform/win/dialog.h"

void SuperManager::ToggleFrontViewCrop()
{
    auto* view = static_cast<CRectMapView*>(CRectMapView::Views().GetData(0));
    if (!view) return;
    view->Notify(10001, view->GetWorldMap(), 0);
}

void SuperManager::MakeQuickTimeTour(CRectMapView* view)
{
    if (!view) return;
    const std::string& movie = view->GetSavePath();
    if (movie.empty()) {
        AfxMessageBox("Please save to QuickTime format file first.");
        return;
    }
    RegisterPublishDialogs();
    CWebPageDlg dialog(movie.c_str(), AfxGetMainWnd());
    dialog.DoModal();
}

ImageFrame** SuperManager::GetFrameArray(uint32_t* count, bool* loop) const
{
    if (!m_chain) {
        if (count) *count = 0;
        return nullptr;
    }
    return m_chain->GetFrameArray(count, loop);
}
