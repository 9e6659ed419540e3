// The viewer's frames: the main frame (flat dockable toolbar, status bar
// with the lock indicators, owner of the modeless help dialog) and the
// in-place frame used while serving an embedded object.
#pragma once

#include "platform/win/control_bars.h"
#include "platform/win/drag_drop.h"
#include "platform/win/ole_server.h"

class CVistrelHelpDlg;

class CMainFrame : public CFrameWnd {
public:
    CMainFrame() = default;
    ~CMainFrame() override;

    // Shows the help dialog, creating it on first use (one at a time).
    void ShowHelp();
    CVistrelHelpDlg* helpDialog = nullptr;  // cleared by the dialog when it goes

    CToolBar& ToolBar() { return m_toolBar; }
    CStatusBar& StatusBar() { return m_statusBar; }

protected:
    int OnCreate(LPCREATESTRUCT cs) override;
    void OnDestroy() override;

    CToolBar m_toolBar;
    CStatusBar m_statusBar;
};

class CInPlaceFrame : public COleIPFrameWnd {
public:
    CToolBar& ToolBar() { return m_toolBar; }
    bool DropTargetRegistered() const { return m_dropRegistered; }

protected:
    int OnCreate(LPCREATESTRUCT cs) override;

    CToolBar m_toolBar;
    COleDropTarget m_dropTarget;
    bool m_dropRegistered = false;
};
