// The main window of Fendrake (an MDI frame). Its constructor creates the
// stitching manager and its destructor deletes it. It carries the main
// toolbar, the status bar with three extra panes, the docked stitch bar and
// the tour maker, receives the messages by which workers and the tour maker
// report back to the user-interface thread, and routes the program-wide
// commands of the main menu.
#pragma once

#include "platform/win/control_bars.h"
#include "platform/win/frame_wnd.h"

#include <memory>
#include <string>

class CRectMapView;
class CStitchBar;
class CView;
class DataViewer;
class ITessiv;
class ImageFrame;
class Pellicot;
class SuperManager;
class WorldMap;

// Messages of the workers and the tour maker to the main frame.
constexpr UINT WM_CONTINUE_STITCHING = 0x814C;  // posted by the matching and pair workers
constexpr UINT WM_DEBUG_REQUEST = 0x814D;       // sent by the diagnostics callbacks
constexpr UINT WM_STATUS_TEXT = 0x814F;         // posted by the thumbnail worker; wParam a text
constexpr UINT WM_BLEND_FINISHED = 0x819A;      // posted by the blending worker
constexpr UINT WM_TOUR_MAKER = WM_USER + 1000;  // 2024, posted by the tour maker

// Status bar panes beside the message pane.
constexpr UINT ID_PANE_59000 = 59000;
constexpr UINT ID_PANE_59001 = 59001;
constexpr UINT ID_PANE_59002 = 59002;

class CMainFrame : public CMDIFrameWnd {
public:
    CMainFrame();
    ~CMainFrame() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    using CFrameWnd::SetMessageText;
    void SetPaneText59000(const char* text);
    void SetPaneText59001(const char* text);
    CStatusBar& GetStatusBar() { return m_statusBar; }
    CToolBar& GetMainToolBar() { return m_toolBar; }
    CStitchBar* GetStitchBar() const { return m_stitchBar; }

    // The client rectangle less the caption band, a 4-pixel margin and the
    // docked stitch bar; never smaller than 100 x 100. Places MDI children.
    void GetFreeClientRect(RECT* out);
    DataViewer* GetActiveDataViewer();
    Pellicot* CreatePellicotFrame(CMDIFrameWnd* parent);
    CView* OpenPairWindow(ImageFrame* a, ImageFrame* b, bool markerView);
    void SetPairWindowPair(ImageFrame* a, ImageFrame* b, CView* view, bool update);
    // False exactly when it has just created the panorama window. The
    // second argument is accepted and not used.
    bool ShowPanoramaWindow(WorldMap* map, int unused = 0);
    CRectMapView* FindRectMapView(WorldMap* map);
    void ShowPanoramaForProject();
    ITessiv* GetTourMaker(bool create);
    void ReleaseTourMaker();

    // "1.8.0.0", and the crash-dump name "<prefix>_1.8.0.0_".
    static void MakeVersionText(std::string& out);
    static void MakeDumpName(const char* prefix, std::string& out);

    // Where the tour maker comes from (its library's CreateTessiv once it is
    // linked; until then none, and the command does nothing).
    using TessivFactory = ITessiv* (*)();
    static void SetTessivFactory(TessivFactory factory);

    const win::MessageMap* GetMessageMap() const override;

protected:
    int OnCreate(LPCREATESTRUCT cs) override;
    void OnClose() override;

    LRESULT OnContinueStitching(WPARAM, LPARAM);
    LRESULT OnBlendFinished(WPARAM, LPARAM);
    LRESULT OnStatusText(WPARAM, LPARAM);
    LRESULT OnDebugRequest(WPARAM, LPARAM);
    LRESULT OnTourMakerNotify(WPARAM, LPARAM);

    void OnTurnOnLogging();
    void OnMarrowick();
    void OnOptarvo();
    void OnWebCommand(UINT id);
    void OnHelpCommand(UINT id);
    void OnOptarvoHelp();
    void OnLibraryHelp(UINT id);
    void OnPageSetup();
    void OnShowPellicot();
    void OnShowStitchBar();
    void OnUpdateShowStitchBar(CCmdUI* ui);
    void OnShowMainToolBar();
    void OnBrightnessContrast();
    void OnUpdateShowPanorama(CCmdUI* ui);
    void OnToolNone();
    void OnUpdateToolNone(CCmdUI* ui);
    void OnPredictPhotoNumber();
    void OnConfiguration();
    void OnCreateTour();
    void OnUpdateSaveCamInfo(CCmdUI* ui);
    void OnStitchSettings();
    void OnSaveCamInfo();
    void OnAddFocalToCamInfo();
    void OnCamInfoWizard();  // 33180: the wizard owns itself once shown
    void OnUpdateAddFocalToCamInfo(CCmdUI* ui);
    void OnAlwaysEnabled(CCmdUI* ui);

    // ---- Tour maker: the program's own tour maker library ----------------
public:
    // Makes the main frame's tour command create the tour maker of the
    // Tessiv library (the program calls this once before its frame opens).
    static void UseTourMakerLibrary();

private:
    CStatusBar m_statusBar;
    CToolBar m_toolBar;
    CStitchBar* m_stitchBar = nullptr;
    ITessiv* m_tourMaker = nullptr;
    std::unique_ptr<SuperManager> m_manager;
};

// Runs the waiting messages of the user-interface thread during a long
// operation; false when the program is quitting.
bool PumpPendingMessages();

// The maker's web site (a build setting) without a trailing slash.
const char* MakerWebSite();
