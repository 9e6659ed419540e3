#include "viewer/vistrel/main_frame.h"

#include "core/logger.h"
#include "viewer/vistrel/vistrel_dialogs.h"

CMainFrame::~CMainFrame() = default;

int CMainFrame::OnCreate(LPCREATESTRUCT cs)
{
    if (CFrameWnd::OnCreate(cs) == -1) return -1;
    if (!m_toolBar.CreateEx(this, TBSTYLE_FLAT,
                            WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY |
                                CBRS_SIZE_DYNAMIC) ||
        !m_toolBar.LoadToolBar(128)) {
        Logger::log("ERROR CMainFrame::OnCreate: the toolbar cannot be created", 1);
        return -1;
    }
    static const UINT indicators[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
    if (!m_statusBar.Create(this) || !m_statusBar.SetIndicators(indicators, 4)) {
        Logger::log("ERROR CMainFrame::OnCreate: the status bar cannot be created", 1);
        return -1;
    }
    m_toolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_toolBar);
    return 0;
}

void CMainFrame::OnDestroy()
{
    if (helpDialog) helpDialog->DestroyWindow();  // clears the pointer as it goes
    CFrameWnd::OnDestroy();
}

void CMainFrame::ShowHelp()
{
    if (!helpDialog) {
        auto* dialog = new CVistrelHelpDlg(this);
        if (!dialog->Create(CVistrelHelpDlg::kTemplateId, this)) {
            delete dialog;
            Logger::log("ERROR CMainFrame::ShowHelp: the help dialog cannot be created", 1);
            return;
        }
        helpDialog = dialog;
    }
    helpDialog->ShowWindow(SW_SHOW);
}

int CInPlaceFrame::OnCreate(LPCREATESTRUCT cs)
{
    if (COleIPFrameWnd::OnCreate(cs) == -1) return -1;
    if (!m_toolBar.CreateEx(this, TBSTYLE_FLAT, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_TOOLTIPS | CBRS_FLYBY) ||
        !m_toolBar.LoadToolBar(4)) {
        Logger::log("ERROR CInPlaceFrame::OnCreate: the toolbar cannot be created", 1);
        return -1;
    }
    m_toolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_toolBar);
    m_dropRegistered = m_dropTarget.Register(this) != FALSE;
    return 0;
}
