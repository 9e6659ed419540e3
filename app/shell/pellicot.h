// The image tray frame "Pellicot": an MDI child with the tray's vertical
// toolbar on its left and the scroll host (ImageTrayHost) beside it, which
// holds the image chain and the rows of thumbnails. The manager reaches the
// tray only through this frame.
#pragma once

#include "platform/win/control_bars.h"
#include "platform/win/frame_wnd.h"

#include <memory>

class CCmdUI;
class ImageChain;
class ImageFrame;
class ImageTrayHost;

class Pellicot : public CMDIChildWnd {
public:
    static constexpr const char* kWindowClass = "Pellicot";
    static constexpr UINT kToolBarResource = 183;
    static constexpr UINT kHostId = 10000;
    static constexpr int kMinSize = 100;
    // The rotate tool commands; 33010 is "no tool".
    static constexpr UINT kToolReset = 33010;
    static constexpr UINT kToolRotateLeft = 33011;
    static constexpr UINT kToolRotateRight = 33020;

    Pellicot();
    ~Pellicot() override;

    // Creates the MDI child (title "Pellicot", 0,0 to 600,235) with its
    // toolbar and host; false when the child cannot be made.
    BOOL Create(CMDIFrameWnd* parent);
    // Takes a frame (not owned: the group owns it) at the drop point or at
    // the end; refuses a frame without a stamp to show (none, or no pixels).
    bool AddFrame(ImageFrame* frame, const POINT* point, bool append);
    // Forgets a frame the group is about to delete.
    void RemoveFrame(ImageFrame* frame);
    ImageChain* GetChain() const;
    int GetFrameCount() const;
    bool IsLoop() const;
    // Repaints every row, without erasing (Refresh) or with (RepaintAll).
    void Refresh();
    void RepaintAll();
    void SetFirstFrameAsCenter();
    void SetLoop(bool on);
    // A toolbar command as the host should see it (see the .cpp).
    void SetToolMode(UINT command);
    UINT GetToolCommand() const { return m_toolCommand; }
    ImageTrayHost* GetHost() const { return m_host.get(); }
    CToolBar* GetToolBar() const { return m_toolBar.get(); }

    const win::MessageMap* GetMessageMap() const override;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    // Closing the tray only minimises it; the manager destroys it.
    void OnClose() override;
    void OnDestroy() override;
    void OnMDIActivate(BOOL activate, CWnd* activateWnd, CWnd* deactivateWnd) override;
    void RecalcLayout(BOOL notify = TRUE) override;

private:
    void PlaceChildren();
    void OnToolCommand(UINT id);
    void OnReverseOrder();
    void OnLoop();
    void OnAdjustOverlaps();
    void OnExpressStitch();
    void OnLoadImages();
    void OnUpdateTool(CCmdUI* ui);
    void OnUpdateAlways(CCmdUI* ui);
    void OnUpdateLoop(CCmdUI* ui);
    void OnUpdateAdjustOverlaps(CCmdUI* ui);
    void OnUpdateExpressStitch(CCmdUI* ui);

    std::unique_ptr<CToolBar> m_toolBar;
    std::unique_ptr<ImageTrayHost> m_host;
    UINT m_toolCommand = kToolReset;
};
