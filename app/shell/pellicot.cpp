#include "app/shell/pellicot.h"

#include "app/control/super_manager.h"
#include "app/shell/main_frame.h"
#include "imaging/image.h"
#include "platform/win/system.h"
#include "projectgraph/framegrp/image_frame.h"

#include <algorithm>

BOOL Pellicot::Create(CMDIFrameWnd* parent)
{
    if (!CMDIChildWnd::Create(nullptr, "Pellicot", WS_CHILD | WS_VISIBLE | WS_OVERLAPPEDWINDOW, RECT{0, 0, 600, 235},
                              parent))
        return FALSE;
    SetIcon(LoadResourceIcon(247), FALSE);
    return TRUE;
}

bool Pellicot::AddFrame(ImageFrame* frame, const POINT* point, bool append)
{
    (void)point;
    (void)append;
    Image* stamp = frame ? frame->GetStampBmp() : nullptr;
    if (!stamp || !stamp->GetData() || stamp->GetWidth() <= 0 || stamp->GetHeight() <= 0) return false;
    m_frames.push_back(frame);
    Invalidate(FALSE);
    return true;
}

void Pellicot::RemoveFrame(ImageFrame* frame)
{
    m_frames.erase(std::remove(m_frames.begin(), m_frames.end(), frame), m_frames.end());
}

void Pellicot::OnClose()
{
    ShowWindow(SW_MINIMIZE);
}

void Pellicot::OnDestroy()
{
    if (SuperManager* manager = GetSuperManager(); manager && manager->GetImageTray() == this)
        manager->CloseImageTray(true);
    CMDIChildWnd::OnDestroy();
}

void Pellicot::OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd)
{
    CMDIChildWnd::OnMDIActivate(activate, activateWnd, deactivateWnd);
    if (activate)
        if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
            main->SetMessageText("Right-click on an image or a link-bar for more operations");
}
