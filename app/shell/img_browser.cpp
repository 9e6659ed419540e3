#include "app/shell/img_browser.h"

#include "app/control/super_manager.h"

BOOL CImgBrowser::Create(const RECT& rect, uint32_t state)
{
    m_state = state;
    return CFrameWnd::Create(nullptr, "Image Browser", WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, rect);
}

void CImgBrowser::OnDestroy()
{
    if (SuperManager* manager = GetSuperManager(); manager && manager->GetImageBrowser() == this)
        manager->OnBrowserDestroyed();
    CFrameWnd::OnDestroy();
}
