#include "app/shell/main_frame.h"

#include "app/control/super_manager.h"
#include "app/control/tool_state.h"
#include "app/matching/cam_info.h"
#include "app/panorama/rect_map_view.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/kestova_doc.h"
#include "app/shell/pellicot.h"
#include "app/shell/photo_count_dialog.h"
#include "app/shell/stitch_bar.h"
#include "app/views/image_loaders.h"
#include "app/views/image_pair_doc.h"
#include "app/views/image_view.h"
#include "app/views/reconvert_dlg.h"
#include "platform/utilkit/log_base.h"
#include "core/logger.h"
#include "platform/win/prompter.h"
#include "platform/win/shell.h"
#include "platform/win/win_app.h"
#include "platform/win/system.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "tour/tessiv/i_tessiv.h"
#include "worldmap/world_map.h"

#include <cstdio>

#ifndef FENDRAKE_MAKER_SITE
#define FENDRAKE_MAKER_SITE "http://www.quorvane.com"
#endif

namespace {

constexpr float kMajorVersion = 1.8f;
constexpr int kBuildNumber = 0;
constexpr UINT kFailedToCreateDocument = 61700;
constexpr DWORD kPageSetupMargins = 0x2;  // the request carries margins

CMainFrame::TessivFactory g_tessivFactory = nullptr;

// A program started with an argument. The file manager ("explorer.exe")
// with a folder is the desktop's own: the shell launcher opens the folder.
void ExecuteApp(const char* program, const char* arguments, bool show)
{
    if (std::string(program) == "explorer.exe") {
        ShellExecute(nullptr, "open", arguments, nullptr, nullptr, show ? SW_SHOWNORMAL : SW_HIDE);
        return;
    }
    LogBase::ExecuteApp(program, arguments, show);
}

void OpenWithShell(const std::string& target)
{
    ShellExecute(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

struct HelpTopic {
    UINT command;
    const char* topic;
};

constexpr HelpTopic kHelpTopics[] = {
    {33121, "Introduction.htm"},
    {33118, "Trelmond.htm#1._Start"},
    {33114, "Trelmond.htm#2._Load"},
    {33124, "Trelmond.htm#3._Sort"},
    {33125, "Trelmond.htm#Stitch_settings"},
    {33115, "Trelmond.htm#4._Stitch"},
    {33116, "Trelmond.htm#5._Blend"},
    {33119, "Trelmond.htm#6._Edit"},
    {33120, "Trelmond.htm#7._Save"},
    {33117, "Trelmond.htm#8._Post"},
    {33122, "Advanced.htm"},
    {33123, "Advanced.htm"},
    {33126, "Trelmond.htm#Three-button_Express_Stitch"},
    {33156, "stitcher_vtour.htm"},
    {33157, "stitcher_diag.htm#Diagnostics"},
    {33108, "MakeCamInfoFile.htm"},
};

struct WebPage {
    UINT command;
    const char* path;
};

constexpr WebPage kWebPages[] = {
    {32882, "/Downloads/Download.htm"},
    {32883, "/support/support.htm"},
    {32885, ""},
    {32886, "/products/Product.htm"},
    {32884, "/products/Fendrake/Fendrake_tutorial.htm"},
};

}  // namespace

const char* MakerWebSite()
{
    return FENDRAKE_MAKER_SITE;
}

bool PumpPendingMessages()
{
    return win::PumpPendingMessages();
}

void CMainFrame::SetTessivFactory(TessivFactory factory)
{
    g_tessivFactory = factory;
}

CMainFrame::CMainFrame() : m_manager(std::make_unique<SuperManager>())
{
    SetSuperManager(m_manager.get());
}

CMainFrame::~CMainFrame()
{
    // The manager's destructor writes the settings and closes its windows.
    m_manager.reset();
    delete m_stitchBar;
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs)
{
    if (!CMDIFrameWnd::PreCreateWindow(cs)) return FALSE;
    cs.style |= WS_HSCROLL | WS_VSCROLL;
    cs.x = 0;
    cs.y = 0;
    cs.cx = GetSystemMetrics(SM_CXSCREEN) - 20;
    cs.cy = GetSystemMetrics(SM_CYSCREEN) - 20;
    return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCT cs)
{
    if (CMDIFrameWnd::OnCreate(cs) == -1) return -1;
    if (!m_toolBar.CreateEx(this, TBSTYLE_FLAT,
                            WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY |
                                CBRS_SIZE_DYNAMIC) ||
        !m_toolBar.LoadToolBar(128)) {
        Logger::log("ERROR CMainFrame::OnCreate: the main toolbar cannot be created", 1);
        return -1;
    }
    static const UINT indicators[] = {ID_SEPARATOR, ID_PANE_59000, ID_PANE_59001, ID_PANE_59002};
    if (!m_statusBar.Create(this) || !m_statusBar.SetIndicators(indicators, 4)) {
        Logger::log("ERROR CMainFrame::OnCreate: the status bar cannot be created", 1);
        return -1;
    }
    m_statusBar.SetPaneInfo(1, ID_PANE_59000, SBPS_NORMAL, 150);
    m_statusBar.SetPaneInfo(2, ID_PANE_59001, SBPS_NORMAL, 200);
    m_statusBar.SetPaneInfo(3, ID_PANE_59002, SBPS_NORMAL, 20);
    m_toolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_toolBar);

    m_stitchBar = new CStitchBar;
    if (!m_stitchBar->Create(this, 103, CBRS_LEFT | CBRS_TOOLTIPS | CBRS_FLYBY, 103)) {
        Logger::log("ERROR CMainFrame::OnCreate: the stitch bar cannot be created", 1);
        return -1;
    }
    m_stitchBar->EnableDocking(CBRS_ALIGN_LEFT);
    m_stitchBar->InitControls();
    m_manager->SetStitchBar(m_stitchBar);
    DockControlBar(m_stitchBar, AFX_IDW_DOCKBAR_LEFT);
    RegisterDebugCallbacks();
    m_manager->SetReconvertDialog(&RunReconvertDialog);
    return 0;
}

void CMainFrame::OnClose()
{
    if (m_manager) {
        // Running workers first: saving while one uses the project is unsafe.
        if (!m_manager->StopWorkersForClose()) return;
        if (!m_manager->QuerySaveProject()) return;
    }
    ReleaseTourMaker();
    HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
    CMDIFrameWnd::OnClose();
}

// ---- Messages ---------------------------------------------------------------

LRESULT CMainFrame::OnContinueStitching(WPARAM, LPARAM)
{
    if (m_manager) m_manager->DoStitching();
    return 0;
}

LRESULT CMainFrame::OnBlendFinished(WPARAM, LPARAM)
{
    if (m_manager) m_manager->FinishRemap();
    return 0;
}

LRESULT CMainFrame::OnStatusText(WPARAM text, LPARAM)
{
    SetPaneText59001(reinterpret_cast<const char*>(text));
    return 0;
}

LRESULT CMainFrame::OnDebugRequest(WPARAM request, LPARAM arguments)
{
    return DispatchDebugRequest(static_cast<int>(request), reinterpret_cast<void*>(arguments));
}

LRESULT CMainFrame::OnTourMakerNotify(WPARAM what, LPARAM)
{
    if (!m_manager) return 0;
    if (what == 1) {
        m_manager->ShowImageBrowser(2, true);
    } else if (what == 2) {
        m_manager->ShowImageBrowser(2, false);
        ReleaseTourMaker();
    }
    return 0;
}

// ---- Panes and placement ----------------------------------------------------

void CMainFrame::SetPaneText59000(const char* text)
{
    m_statusBar.SetPaneText(m_statusBar.CommandToIndex(ID_PANE_59000), text ? text : "", TRUE);
    m_statusBar.UpdateWindow();
}

void CMainFrame::SetPaneText59001(const char* text)
{
    m_statusBar.SetPaneText(m_statusBar.CommandToIndex(ID_PANE_59001), text ? text : "", TRUE);
    m_statusBar.UpdateWindow();
}

void CMainFrame::GetFreeClientRect(RECT* out)
{
    GetClientRect(out);
    out->top += 2 * GetSystemMetrics(SM_CYCAPTION) + 4;
    out->left += 4;
    out->right -= 4;
    out->bottom -= 4;
    if (m_stitchBar && ::IsWindow(m_stitchBar->m_hWnd) && m_stitchBar->IsWindowVisible()) {
        RECT bar{};
        m_stitchBar->GetClientRect(&bar);
        out->left += bar.right - bar.left;
    }
    if (out->right - out->left < 100) out->right = out->left + 100;
    if (out->bottom - out->top < 100) out->bottom = out->top + 100;
}

DataViewer* CMainFrame::GetActiveDataViewer()
{
    CMDIChildWnd* child = MDIGetActive();
    CView* view = child ? child->GetActiveView() : nullptr;
    if (auto* panorama = dynamic_cast<CRectMapView*>(view)) return panorama;
    if (auto* image = dynamic_cast<CImageView*>(view)) return image;
    return nullptr;
}

Pellicot* CMainFrame::CreatePellicotFrame(CMDIFrameWnd* parent)
{
    auto* tray = new Pellicot;
    // A frame that fails to be created deletes itself.
    return tray->Create(parent) ? tray : nullptr;
}

// ---- Document windows -------------------------------------------------------

CView* CMainFrame::OpenPairWindow(ImageFrame* a, ImageFrame* b, bool markerView)
{
    CFendrakeApp* app = GetFendrakeApp();
    CDocTemplate* docs = app ? (markerView ? app->GetPairMarkerTemplate() : app->GetOverlapTemplate()) : nullptr;
    if (!docs) return nullptr;
    auto* doc = dynamic_cast<CImagePairDoc*>(docs->CreateNewDocument());
    if (!doc) {
        AfxMessageBox(kFailedToCreateDocument);
        return nullptr;
    }
    doc->m_bAutoDelete = FALSE;
    CFrameWnd* frame = docs->CreateNewFrame(doc, nullptr);
    doc->m_bAutoDelete = TRUE;
    if (!frame) {
        AfxMessageBox(kFailedToCreateDocument);
        delete doc;
        return nullptr;
    }
    doc->SetImagePair(a, b, 0);
    docs->InitialUpdateFrame(frame, doc, TRUE);
    frame->SetIcon(LoadResourceIcon(274), FALSE);
    // The project keeps the pair document opened last; the pair views clear
    // it when they go.
    if (m_manager)
        if (ImageGroup* group = m_manager->GetImageGroup(true)) group->SetStampDoc(static_cast<CDocument*>(doc));
    return doc->GetViews().empty() ? nullptr : doc->GetViews().front();
}

void CMainFrame::SetPairWindowPair(ImageFrame* a, ImageFrame* b, CView* view, bool update)
{
    if (!view) return;
    if (update)
        if (auto* doc = dynamic_cast<CImagePairDoc*>(view->GetDocument())) {
            doc->SetImagePair(a, b, 0);
            doc->UpdateAllViews(nullptr);
        }
    if (CFrameWnd* frame = view->GetParentFrame()) frame->ActivateFrame();
}

bool CMainFrame::ShowPanoramaWindow(WorldMap* map, int)
{
    if (!map && m_manager) {
        ImageGroup* group = m_manager->GetImageGroup(true);
        map = group->HasRectWorldMap() ? group->GetRectWorldMap(false) : nullptr;
    }
    if (!map) return true;
    CFendrakeApp* app = GetFendrakeApp();
    CDocTemplate* docs = app ? app->GetPanoramaTemplate() : nullptr;
    if (!docs) return true;
    CKestovaDoc* doc = nullptr;
    for (CDocument* d : docs->GetDocuments())
        if (auto* k = dynamic_cast<CKestovaDoc*>(d); k && k->GetWorldMap() == map) doc = k;
    const bool created = doc == nullptr;
    if (!doc) {
        doc = dynamic_cast<CKestovaDoc*>(docs->CreateNewDocument());
        if (!doc) {
            AfxMessageBox(kFailedToCreateDocument);
            return true;
        }
    }
    doc->SetWorldMap(map);
    bool result = true;
    CWorldMapView* existing = nullptr;
    for (CView* v : doc->GetViews())
        if (auto* w = dynamic_cast<CWorldMapView*>(v)) existing = w;
    if (existing) {
        CFrameWnd* frame = existing->GetParentFrame();
        if (frame->IsIconic()) frame->ShowWindow(SW_RESTORE);
        frame->ActivateFrame();
    } else if (CFrameWnd* frame = docs->CreateNewFrame(doc, nullptr)) {
        docs->InitialUpdateFrame(frame, doc, TRUE);
        frame->SetIcon(LoadResourceIcon(248), FALSE);
        frame->ShowWindow(SW_RESTORE);
        result = false;
    } else if (created) {
        delete doc;
    }
    PumpPendingMessages();
    return result;
}

CRectMapView* CMainFrame::FindRectMapView(WorldMap* map)
{
    CFendrakeApp* app = GetFendrakeApp();
    if (!app || !map) return nullptr;
    for (CDocument* d : app->GetPanoramaTemplate()->GetDocuments()) {
        auto* doc = dynamic_cast<CKestovaDoc*>(d);
        if (!doc || doc->GetWorldMap() != map) continue;
        for (CView* v : doc->GetViews()) {
            if (CFrameWnd* frame = v->GetParentFrame()) frame->ActivateFrame();
            if (auto* rect = dynamic_cast<CRectMapView*>(v)) return rect;
        }
    }
    return nullptr;
}

void CMainFrame::ShowPanoramaForProject()
{
    ImageGroup* group = m_manager ? m_manager->GetImageGroup(false) : nullptr;
    if (!group || !group->HasRectWorldMap()) return;
    WorldMap* map = group->GetRectWorldMap(false);
    ShowPanoramaWindow(map);
    map->NotifyViewers(10008, m_manager->IsPreviewStage() ? 0 : 1);
    const RECT* area = map->GetMapRect();
    map->NotifyViewers(10003, area->right - area->left + 1 >= map->GetWidth() ? 1 : 0);
}

// ---- Tour maker -------------------------------------------------------------

ITessiv* CMainFrame::GetTourMaker(bool create)
{
    if (!m_tourMaker && create) {
        if (!g_tessivFactory) {
            Logger::log("ERROR CMainFrame::GetTourMaker: the tour maker is not installed", 1);
            return nullptr;
        }
        m_tourMaker = g_tessivFactory();
        if (m_tourMaker && !m_tourMaker->Open(CFendrakeApp::GetProgramDir().c_str(), this, WM_TOUR_MAKER)) {
            // One that did not open is not kept: the next command tries anew.
            Logger::log("ERROR CMainFrame::GetTourMaker: the tour maker could not be opened", 1);
            ReleaseTourMaker();
            return nullptr;
        }
        // The tour maker is a child of this frame, made after the MDI client:
        // it goes above the frame's other children so that it can be seen.
        if (auto* window = dynamic_cast<CWnd*>(m_tourMaker); window && window->GetSafeHwnd())
            window->BringWindowToTop();
    }
    return m_tourMaker;
}

void CMainFrame::ReleaseTourMaker()
{
    // Cleared first: a notification arriving during the close finds none.
    ITessiv* tour = m_tourMaker;
    m_tourMaker = nullptr;
    if (tour) tour->Close();
}

void CMainFrame::MakeVersionText(std::string& out)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f.%d.%d", static_cast<double>(kMajorVersion), kBuildNumber / 36,
                  kBuildNumber % 36);
    out = text;
}

void CMainFrame::MakeDumpName(const char* prefix, std::string& out)
{
    std::string version;
    MakeVersionText(version);
    out = std::string(prefix ? prefix : "") + "_" + version + "_";
}

// ---- Commands ---------------------------------------------------------------

void CMainFrame::OnTurnOnLogging()
{
    if (Logger::setLogOn("Fendrake", nullptr)) {
        const std::string folder = LogBase::getPath_log();
        ExecuteApp("explorer.exe", folder.c_str(), true);
        std::string text = "The stitching process will be saved in this log file:\n  ";
        text += Logger::getLogFileName() ? Logger::getLogFileName() : "";
        text += "\nas shown in the newly opened Windows Explorer.\n";
        text += "Please follow the instructions at the top of the log file and send it to support@quorvane.com.";
        AfxMessageBox(text.c_str(), MB_OK | MB_ICONINFORMATION);
    } else {
        AfxMessageBox("Failed to create log file", MB_OK | MB_ICONEXCLAMATION);
    }
    Logger::setLogLevel(4);
    Logger::logMsg("", 4);
    Logger::logMsg("Fendrake version ", 2);
    std::string version;
    MakeVersionText(version);
    Logger::logMsg(version.c_str(), 2);
    Logger::logMsg("=====================================================================\n"
                   "To report a problem: keep logging on, reproduce the problem, save the project,\n"
                   "and send the project file, the photographs and this log file to Quorvane support.\n"
                   "=====================================================================",
                   2);
}

void CMainFrame::OnMarrowick()
{
    const std::string program = CFendrakeApp::GetProgramParentDir() + "\\Marrowick\\Marrowick.exe";
    if (LogBase::IsFileExists(program.c_str())) {
        OpenWithShell(program);
        return;
    }
    char text[256];
    std::snprintf(text, sizeof text, "%s is not found. Please download from ", "Marrowick");
    AfxMessageBox((std::string(text) + MakerWebSite()).c_str());
}

void CMainFrame::OnOptarvo()
{
    const std::string program = CFendrakeApp::GetProgramDir() + "\\Optarvo.exe";
    if (LogBase::IsFileExists(program.c_str()))
        OpenWithShell(program);
    else
        AfxMessageBox("Cannot find Optarvo.exe: make sure proper installation!");
}

void CMainFrame::OnWebCommand(UINT id)
{
    for (const WebPage& page : kWebPages)
        if (page.command == id) OpenWithShell(std::string(MakerWebSite()) + page.path);
}

void CMainFrame::OnHelpCommand(UINT id)
{
    CFendrakeApp* app = GetFendrakeApp();
    if (!app) return;
    for (const HelpTopic& help : kHelpTopics)
        if (help.command == id) {
            app->ShowHelpTopic(help.topic);
            return;
        }
}

void CMainFrame::OnOptarvoHelp()
{
    const std::string path = CFendrakeApp::GetProgramDir() + "\\Optarvo.chm::/" + "CamCal.htm";
    HtmlHelpA(::GetDesktopWindow(), path.c_str(), HH_DISPLAY_TOPIC, 0);
}

void CMainFrame::OnLibraryHelp(UINT id)
{
    // The class library's help finder, context help, help and default help
    // go to the application's help, which answers only context requests.
    if (CWinApp* app = AfxGetApp()) app->WinHelp(id, id == ID_CONTEXT_HELP ? HELP_CONTEXT : 0);
}

void CMainFrame::OnPageSetup()
{
    CWinApp* app = AfxGetApp();
    win::PageSetupRequest request;
    if (app) request.paperSize = app->m_paperSize;
    if (const PageSetupRecord* stored = m_manager ? m_manager->GetPageSetup() : nullptr) {
        request.paperSize = stored->paperSize;
        request.margins = stored->margins;
        request.minMargins = stored->minMargins;
        request.flags |= kPageSetupMargins;
    }
    const win::PageSetupAnswer answer = win::GetPrompter().PageSetup(request);
    if (answer.ok && m_manager) m_manager->SetPageSetup({answer.paperSize, answer.minMargins, answer.margins});
    // The printer chosen goes back to the application either way.
    if (app && answer.ok) app->m_paperSize = answer.paperSize;
}

void CMainFrame::OnShowPellicot()
{
    if (m_manager) m_manager->ShowImageTray();
}

void CMainFrame::OnShowStitchBar()
{
    if (!m_stitchBar) return;
    DockControlBar(m_stitchBar, AFX_IDW_DOCKBAR_LEFT);
    ShowControlBar(m_stitchBar, TRUE, FALSE);
}

void CMainFrame::OnUpdateShowStitchBar(CCmdUI* ui)
{
    ui->Enable(m_manager && m_manager->HasStitchBar());
}

void CMainFrame::OnShowMainToolBar()
{
    DockControlBar(&m_toolBar);
    ShowControlBar(&m_toolBar, TRUE, FALSE);
}

void CMainFrame::OnBrightnessContrast()
{
    if (m_manager) m_manager->ShowBrightnessDialog(2, nullptr);
}

void CMainFrame::OnUpdateShowPanorama(CCmdUI* ui)
{
    ui->Enable(m_manager && m_manager->HasPanorama());
}

void CMainFrame::OnToolNone()
{
    SetCurrentTool(33000, 33000);
}

void CMainFrame::OnUpdateToolNone(CCmdUI* ui)
{
    ui->Enable(TRUE);
    ui->SetCheck(GetCurrentTool() == 33000 ? 1 : 0);
}

void CMainFrame::OnConfiguration()
{
    if (m_manager) m_manager->ShowConfigurationDialog();
}

void CMainFrame::OnPredictPhotoNumber()
{
    PhotoCountDialog dialog(this);
    dialog.DoModal();
}

void CMainFrame::OnCreateTour()
{
    GetTourMaker(true);
}

void CMainFrame::OnStitchSettings()
{
    if (m_manager) m_manager->ShowStitchSettings(true);
}

void CMainFrame::OnSaveCamInfo()
{
    if (m_manager) m_manager->SaveCamInfoFile();
}

void CMainFrame::OnAddFocalToCamInfo()
{
    if (m_manager) m_manager->AddFocalLengthToCamInfo();
}

void CMainFrame::OnCamInfoWizard()
{
    if (m_manager) m_manager->ShowCamInfoWizard();
}

void CMainFrame::OnUpdateSaveCamInfo(CCmdUI* ui)
{
    if (!m_manager) {
        ui->Enable(FALSE);
        return;
    }
    const int images = m_manager->GetImageCount();
    const bool runtime = m_manager->GetStitchSettings()->runtimeDistortion != 0;
    ui->Enable(!m_manager->GetCamInfo() && images > (runtime ? 7 : 4) && m_manager->AreAllImagesMerged());
}

void CMainFrame::OnUpdateAddFocalToCamInfo(CCmdUI* ui)
{
    if (!m_manager) {
        ui->Enable(FALSE);
        return;
    }
    const int images = m_manager->GetImageCount();
    const bool runtime = m_manager->GetStitchSettings()->runtimeDistortion != 0;
    ui->Enable(m_manager->GetCamInfo() && !runtime && images > 4 && m_manager->AreAllImagesMerged());
}

void CMainFrame::OnAlwaysEnabled(CCmdUI* ui)
{
    ui->Enable(TRUE);
}

const win::MessageMap* CMainFrame::GetMessageMap() const
{
    static const win::MessageMap map(
        CMDIFrameWnd::GetMessageMap(),
        {
            win::on::Message(WM_CONTINUE_STITCHING, &CMainFrame::OnContinueStitching),
            win::on::Message(WM_BLEND_FINISHED, &CMainFrame::OnBlendFinished),
            win::on::Message(WM_STATUS_TEXT, &CMainFrame::OnStatusText),
            win::on::Message(WM_DEBUG_REQUEST, &CMainFrame::OnDebugRequest),
            win::on::Message(WM_TOUR_MAKER, &CMainFrame::OnTourMakerNotify),
            win::on::Command(33148, &CMainFrame::OnTurnOnLogging),
            win::on::Command(40016, &CMainFrame::OnMarrowick),
            win::on::Command(33173, &CMainFrame::OnOptarvo),
            win::on::CommandRange(32882, 32886, &CMainFrame::OnWebCommand),
            win::on::CommandRange(33108, 33108, &CMainFrame::OnHelpCommand),
            win::on::CommandRange(33114, 33126, &CMainFrame::OnHelpCommand),
            win::on::CommandRange(33156, 33157, &CMainFrame::OnHelpCommand),
            win::on::Command(33175, &CMainFrame::OnOptarvoHelp),
            win::on::CommandRange(ID_HELP_FINDER, ID_DEFAULT_HELP, &CMainFrame::OnLibraryHelp),
            win::on::Command(32775, &CMainFrame::OnPageSetup),
            win::on::Command(32780, &CMainFrame::OnShowPellicot),
            win::on::UpdateUI(32780, &CMainFrame::OnAlwaysEnabled),
            win::on::Command(32781, &CMainFrame::OnShowStitchBar),
            win::on::UpdateUI(32781, &CMainFrame::OnUpdateShowStitchBar),
            win::on::Command(33106, &CMainFrame::OnShowMainToolBar),
            win::on::Command(32842, &CMainFrame::OnBrightnessContrast),
            win::on::UpdateUI(32842, &CMainFrame::OnAlwaysEnabled),
            win::on::Command(32808, &CMainFrame::ShowPanoramaForProject),
            win::on::UpdateUI(32808, &CMainFrame::OnUpdateShowPanorama),
            win::on::Command(33000, &CMainFrame::OnToolNone),
            win::on::UpdateUI(33000, &CMainFrame::OnUpdateToolNone),
            win::on::Command(32879, &CMainFrame::OnPredictPhotoNumber),
            win::on::Command(32896, &CMainFrame::OnConfiguration),
            win::on::Command(33153, &CMainFrame::OnCreateTour),
            win::on::UpdateUI(33179, &CMainFrame::OnUpdateSaveCamInfo),
            win::on::Command(33107, &CMainFrame::OnStitchSettings),
            win::on::Command(33179, &CMainFrame::OnSaveCamInfo),
            win::on::Command(33171, &CMainFrame::OnAddFocalToCamInfo),
            win::on::Command(33180, &CMainFrame::OnCamInfoWizard),
            win::on::UpdateUI(33171, &CMainFrame::OnUpdateAddFocalToCamInfo),
        });
    return &map;
}
