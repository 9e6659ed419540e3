// The MDI child frame of every document window. It keeps the status text
// and the brightness dialog's target in step with the active window, and
// brings an activated panorama view to the front of the panorama views.
#pragma once

#include "platform/win/frame_wnd.h"

class CChildFrame : public CMDIChildWnd {
public:
    CChildFrame();

protected:
    void OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd) override;
    void OnClose() override;
};
