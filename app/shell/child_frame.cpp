#include "app/shell/child_frame.h"

#include "app/control/super_manager.h"
#include "app/panorama/rect_map_view.h"
#include "app/shell/main_frame.h"
#include "app/views/image_view.h"

namespace {

constexpr const char* kRightClickHint = "Right-click on the image for more operations";

void SetMainMessage(const char* text)
{
    if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd())) main->SetMessageText(text);
}

}  // namespace

CChildFrame::CChildFrame()
{
    SetMainMessage(kRightClickHint);
}

void CChildFrame::OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd)
{
    CMDIChildWnd::OnMDIActivate(activate, activateWnd, deactivateWnd);
    if (!activate) return;
    CView* view = GetActiveView();
    if (auto* panorama = dynamic_cast<CRectMapView*>(view)) {
        SetBrightnessDialogTarget(panorama);
        panorama->MoveToFront();
        SetMainMessage(kRightClickHint);
    } else if (auto* image = dynamic_cast<CImageView*>(view)) {
        SetBrightnessDialogTarget(image);
        SetMainMessage(kRightClickHint);
    }
}

void CChildFrame::OnClose()
{
    SetMainMessage("");
    CView* view = GetActiveView();
    if (auto* panorama = dynamic_cast<CRectMapView*>(view))
        ClearBrightnessDialogTarget(panorama);
    else if (auto* image = dynamic_cast<CImageView*>(view))
        ClearBrightnessDialogTarget(image);
    CMDIChildWnd::OnClose();
}
