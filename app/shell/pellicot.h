// The image tray frame "Pellicot": an MDI child that takes the project's
// frames in chain order. The manager reaches the tray only through it. This
// is the frame with the operations the manager and the main frame call; the
// image tray issue fills in its toolbar, scroll host, rows and chain.
#pragma once

#include "platform/win/frame_wnd.h"

#include <vector>

class ImageChain;
class ImageFrame;

class Pellicot : public CMDIChildWnd {
public:
    // Creates the MDI child (title "Pellicot", 0,0 to 600,235); false when
    // it cannot be made.
    BOOL Create(CMDIFrameWnd* parent);
    // Takes a frame (not owned: the group owns it) at the drop point or at
    // the end; refuses a frame without a stamp to show (none, or no pixels).
    bool AddFrame(ImageFrame* frame, const POINT* point, bool append);
    // Forgets a frame the group is about to delete.
    void RemoveFrame(ImageFrame* frame);
    ImageChain* GetChain() const { return nullptr; }
    int GetFrameCount() const { return static_cast<int>(m_frames.size()); }
    bool IsLoop() const { return false; }
    void Refresh() { Invalidate(FALSE); }

protected:
    // Closing the tray only minimises it; the manager destroys it.
    void OnClose() override;
    void OnDestroy() override;
    void OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd) override;

private:
    std::vector<ImageFrame*> m_frames;
};
