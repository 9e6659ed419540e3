#include "app/control/super_manager.h"

#include "app/control/progress_dlg.h"
#include "app/control/stitch_pair.h"
#include "app/control/stitch_panorama.h"
#include "app/control/tool_state.h"
#include "app/matching/app_config.h"
#include "app/matching/cam_info.h"
#include "app/matching/distortion_record.h"
#include "app/shell/fendrake_app.h"
#include "app/shell/img_browser.h"
#include "app/shell/main_frame.h"
#include "app/shell/pellicot.h"
#include "app/shell/stitch_bar.h"
#include "app/views/bright_contrast_dlg.h"
#include "app/views/image_pair_doc.h"
#include "app/views/image_view.h"
#include "app/panorama/rect_map_view.h"
#include "app/views/image_loaders.h"
#include "imaging/image.h"
#include "imaging/list.h"
#include "core/logger.h"
#include "platform/win/dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/system.h"
#include "platform/win/win_app.h"
#include "platform/win/win_thread.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"
#include "projectgraph/framegrp/neighbor.h"
#include "tour/tessiv/i_tessiv.h"
#include "worldmap/codec_binding.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifndef FENDRAKE_WEB_LINK_ID
#define FENDRAKE_WEB_LINK_ID 0
#endif

namespace {

SuperManager* g_manager = nullptr;
int g_webLinkId = FENDRAKE_WEB_LINK_ID;

constexpr const char* kBrowserSection = "ImgBrowser";
// How long closing waits for stopped workers (the matcher and the blender
// end their children through Cancel well within it).
constexpr int kWorkerJoinMs = 30000;

// Browser edges packed as the profile keeps them: the first edge in the low
// 16 bits, the second in the high 16 bits, both signed.
int32_t PackEdges(int first, int second)
{
    return static_cast<int32_t>((static_cast<uint32_t>(second) << 16) | (static_cast<uint32_t>(first) & 0xFFFFu));
}

void UnpackEdges(int32_t packed, int& first, int& second)
{
    first = static_cast<int16_t>(static_cast<uint32_t>(packed) & 0xFFFFu);
    second = static_cast<int16_t>(static_cast<uint32_t>(packed) >> 16);
}

void ReleaseWorldMapReference(void* map)
{
    static_cast<WorldMap*>(map)->Release();
}

CMainFrame* MainFrame()
{
    return dynamic_cast<CMainFrame*>(AfxGetMainWnd());
}

void AddToRecentFiles(const char* path)
{
    if (CWinApp* app = AfxGetApp()) app->AddToRecentFileList(path);
}

}  // namespace

// ---- Globals ----------------------------------------------------------------

SuperManager* GetSuperManager() { return g_manager; }
void SetSuperManager(SuperManager* manager) { g_manager = manager; }

StitchSettings* GetCurrentStitchSettings() { return g_manager ? g_manager->GetStitchSettings() : nullptr; }

void SetBrightnessDialogTarget(DataViewer* viewer)
{
    if (g_manager) g_manager->SetBrightnessDialogTarget(viewer);
}

void ClearBrightnessDialogTarget(DataViewer* viewer)
{
    if (g_manager) g_manager->ClearBrightnessDialogTarget(viewer);
}

float GetSamplingRateCallback() { return g_manager ? g_manager->GetSamplingRate() : 0.0f; }

bool StitchPrecondition()
{
    if (!g_manager || !g_manager->CanStitch()) return false;
    if (!g_manager->ShowStitchSettings(false)) {
        AfxMessageBox("Cannot proceed stitching: please change Stitch Settings first!", MB_OK);
        return false;
    }
    return true;
}

int MinMarkerPairs()
{
    const int type = g_manager ? g_manager->GetFocalType() : 0;
    if (type == 0) return 3;
    if (type == 2) return 2;
    return 4;
}

const char* GetName(const char* path)
{
    Logger::log("Enter GetName()", 3);
    if (!path) return nullptr;
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    const char* last = slash > backslash ? slash : backslash;
    if (!last) {
        Logger::log("Leave GetName(): ptr=%s", 3, path);
        return path;
    }
    return last + 1;
}

void ExtractFolder(const char* path, std::string& out)
{
    out.clear();
    if (!path) return;
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    const char* last = slash > backslash ? slash : backslash;
    if (!last || last == path) return;
    out.assign(path, static_cast<size_t>(last - path));
}

signed char Base36DigitValue(char c)
{
    if (c >= '0' && c <= '9') return static_cast<signed char>(c - '0');
    if (c >= 'A' && c <= 'Z') return static_cast<signed char>(c - 'A' + 10);
    return static_cast<signed char>(c - 87);
}

// ---- Life -------------------------------------------------------------------

void SuperManager::SetWebLinkId(int id) { g_webLinkId = id; }
int SuperManager::GetWebLinkId() { return g_webLinkId; }

SuperManager::SuperManager()
    : m_stitchSettings(std::make_unique<StitchSettings>()),
      m_blendSettings(std::make_unique<BlendSettings>()),
      m_config(std::make_unique<AppConfig>()),
      m_toolState(std::make_unique<ToolState>())
{
    SetToolState(m_toolState.get());
    InstallStitchPanorama();
    LoadConfigFile();
    UpdateFocalType();
    // The elastic-blend byte came from the settings file just now.
    m_automaticMode = 1;
    m_expressMode = 0;
    char line[256];
    if (FindWebLink(line, sizeof line)) m_flags |= kFlagWebLinks;
    ResetLevelingRotation();
}

SuperManager::~SuperManager()
{
    if (m_screenSaverTip) {
        // The tips window's own check box is read by the tips issue; a
        // destroyed window here only goes away.
        m_screenSaverTip->DestroyWindow();
        m_screenSaverTip = nullptr;
    }
    SaveConfigFile();
    m_config.reset();
    m_camInfoFileName.clear();
    m_camInfo.reset();
    ReleaseIOModule();
    CloseImageTray(false);
    m_group.reset();
    if (m_browser) {
        SaveBrowserPlacement();
        CImgBrowser* browser = m_browser;
        m_browser = nullptr;
        browser->DestroyWindow();
    }
    CloseBrightnessDialog(false);
    CloseOverlapDialog(false);
    m_pageSetup.reset();
    m_projectName.clear();
    m_distortion.reset();
    if (GetToolState() == m_toolState.get()) SetToolState(nullptr);
    m_worldMapWindows.reset();
    if (!m_albumFileName.empty()) {
        // The screen saver's album is left empty at exit.
        if (FILE* album = std::fopen(win::ToPosixPath(m_albumFileName).c_str(), "w")) std::fclose(album);
        m_albumFileName.clear();
    }
    if (g_manager == this) g_manager = nullptr;
}

// ---- Records and state ------------------------------------------------------

DistortionRecord* SuperManager::GetDistortionRecord(bool create)
{
    if (!m_distortion && create) m_distortion = std::make_unique<DistortionRecord>();
    return m_distortion.get();
}

void SuperManager::SetCamInfo(std::unique_ptr<CamInfo> info) { m_camInfo = std::move(info); }

float SuperManager::GetSamplingRate() const
{
    return (m_flags & kFlagBlendStage) ? m_finalSamplingRate : m_previewSamplingRate;
}

bool SuperManager::IsBusy() const
{
    return (m_flags & kFlagStopped) == 0 || (m_flags & kFlagPairInProgress) != 0 || m_workerActive;
}

bool SuperManager::CanStitch() const
{
    return m_group && m_group->GetNumbOfImages() >= 2 && (m_flags & kFlagLoading) == 0;
}

bool SuperManager::HasProjectContent() const
{
    if (IsBusy()) return false;
    if (m_group && m_group->GetNumbOfImages() > 0) return true;
    const char* name = GetProjectName(false);
    return name && std::strcmp(name, "Untitled.kzp") != 0;
}

void SuperManager::SetExpressMode(bool on)
{
    m_expressMode = on ? 1 : 0;
    if (!on) m_expressBlendPending = 0;
}

bool SuperManager::HasPanorama() const
{
    if (m_group && m_group->HasRectWorldMap()) return true;
    if (m_worldMapWindows && m_worldMapWindows->m_count > 0) return true;
    if (auto* app = dynamic_cast<CFendrakeApp*>(AfxGetApp())) {
        for (CDocTemplate* t : {app->GetPanoramaTemplate(), app->GetImageTemplate()})
            if (t && !t->GetDocuments().empty()) return true;
    }
    return false;
}

// ---- Images -----------------------------------------------------------------

ImageGroup* SuperManager::GetImageGroup(bool create)
{
    if (!m_group && create) {
        m_group = std::make_unique<ImageGroup>();
        m_group->SetGetSamplingRateFunc(&GetSamplingRateCallback);
    }
    return m_group.get();
}

void SuperManager::AddImageFrame(Image* stamp, const char* name, const POINT* drop)
{
    CMainFrame* main = MainFrame();
    if (m_browserMode == 2 && main && main->GetTourMaker(false)) {
        TessivPanoramaValues values;
        if (!stamp)
            stamp = LoadThumbnailInfo(name, 512, values);
        ITessiv* tour = main->GetTourMaker(false);
        tour->AddVista(stamp, name, values);
        ReleaseImage(stamp);
        return;
    }
    if (IsBusy() || !stamp) {
        ReleaseImage(stamp);
        return;
    }
    ImageGroup* group = GetImageGroup(true);
    auto frame = std::make_unique<ImageFrame>();
    frame->SetName(name);
    frame->SetStampImage(stamp);
    ReleaseImage(stamp);  // the frame holds its own references
    if (!m_tray) ShowImageTray();
    const bool taken = m_tray && m_tray->AddFrame(frame.get(), drop, drop == nullptr);
    ModifyFlags(kFlagOverlapMarked | kFlagSaved, 0);
    if (!taken) return;  // the refused frame is deleted here
    ImageFrame* added = frame.release();
    group->AppendImageFrame(added);
    if (group->GetNumbOfImages() == 1) AddToRecentFiles(name);
    RefreshOverlapDialog();
    PumpPendingMessages();
}

void SuperManager::RemoveImageFrame(ImageFrame* frame, bool keepFlags)
{
    if (!frame || !m_group) return;
    if (auto* pair = m_pairWindow ? dynamic_cast<CImagePairDoc*>(m_pairWindow->GetDocument()) : nullptr)
        if (pair->GetFrameA() == frame || pair->GetFrameB() == frame) ClosePairWindow(false);
    if (m_brightnessDialog && m_brightnessDialog->GetImageFrame() == frame) m_brightnessDialog->Release();
    if (m_tray) m_tray->RemoveFrame(frame);
    m_group->RemoveImageFrame(frame);
    // Removing a frame is always an unsaved change; keepFlags keeps only the
    // overlap mark.
    ModifyFlags(keepFlags ? kFlagSaved : (kFlagSaved | kFlagOverlapMarked), 0);
    RefreshOverlapDialog();
}

bool SuperManager::HasImageFrame(const char* name) const { return FindImageFrame(name) != nullptr; }

ImageFrame* SuperManager::FindImageFrame(const char* name) const
{
    return m_group && name ? m_group->FindImageFrame(name) : nullptr;
}

void SuperManager::SetCenterFrame(ImageFrame* frame)
{
    if (m_group) m_group->SetCenterFrame(frame);
}

Image* SuperManager::GetFrameStamp(const char* name) const
{
    ImageFrame* frame = FindImageFrame(name);
    return frame ? frame->GetStampBmp() : nullptr;
}

void SuperManager::ToggleMarkerIndex()
{
    if (m_group) m_group->ToggleMarkerIndex(2);
}

bool SuperManager::GetMarkerIndexState() const { return m_group && m_group->GetMarkerIndexState(); }

// ---- Windows ----------------------------------------------------------------

void SuperManager::ShowImageTray()
{
    if (m_tray && ::IsWindow(m_tray->m_hWnd)) {
        m_tray->BringWindowToTop();
        if (m_tray->IsIconic()) m_tray->ShowWindow(SW_RESTORE);
        return;
    }
    CMainFrame* main = MainFrame();
    if (!main) return;
    m_tray = main->CreatePellicotFrame(main);
    m_chain = m_tray ? m_tray->GetChain() : nullptr;
}

void SuperManager::CloseImageTray(bool alreadyGone)
{
    Pellicot* tray = m_tray;
    m_tray = nullptr;
    m_chain = nullptr;
    if (!alreadyGone && tray && ::IsWindow(tray->m_hWnd)) tray->DestroyWindow();
}

bool SuperManager::GetTrayState() const { return m_tray && m_tray->IsLoop(); }

bool SuperManager::PairNeedsMarkers(ImageFrame* a, ImageFrame* b)
{
    switch (GetFocalType()) {
    case 1:
    case 3:
        return true;
    case 2:
    case 4: {
        Neighbor* link = a && b ? a->FindNeighbor(b) : nullptr;
        return link && link->IsManualMarkerType() && link->GetMarkers() != nullptr;
    }
    default:
        return true;
    }
}

bool SuperManager::CanUseOverlayMethod(ImageFrame*, ImageFrame*)
{
    switch (GetFocalType()) {
    case 2:
    case 4:
        return true;
    case 0:
        AfxMessageBox("Switch to Overlay method not allowed: \nBoth images are not stitched with focal length unknown");
        return false;
    default:
        return false;
    }
}

void SuperManager::OpenPairWindow(ImageFrame* a, ImageFrame* b, bool keepMethod, bool loopPair)
{
    if (!a || !b) return;
    bool markers;
    if (keepMethod) {
        markers = (m_flags & kFlagMarkerMethod) != 0;
        if (!markers && !CanUseOverlayMethod(a, b)) markers = true;
    } else {
        markers = PairNeedsMarkers(a, b);
    }
    a->AddNeighbor(b);
    if (!markers && loopPair) std::swap(a, b);
    CMainFrame* main = MainFrame();
    if (!main) return;
    const bool methodChanged = m_pairWindow && (((m_flags & kFlagMarkerMethod) != 0) != markers);
    if (methodChanged) ClosePairWindow(false);
    ModifyFlags(kFlagMarkerMethod, markers ? kFlagMarkerMethod : 0);
    if (!m_pairWindow)
        m_pairWindow = main->OpenPairWindow(a, b, markers);
    else
        main->SetPairWindowPair(a, b, m_pairWindow, true);
}

void SuperManager::ClosePairWindow(bool alreadyGone)
{
    CView* view = m_pairWindow;
    m_pairWindow = nullptr;
    ModifyFlags(kFlagMarkerMethod, 0);
    if (alreadyGone || !view || !::IsWindow(view->m_hWnd)) return;
    if (CFrameWnd* frame = view->GetParentFrame()) frame->DestroyWindow();
}

void SuperManager::SwitchPairMethod()
{
    auto* doc = m_pairWindow ? dynamic_cast<CImagePairDoc*>(m_pairWindow->GetDocument()) : nullptr;
    if (!doc) return;
    ImageFrame* a = doc->GetFrameA();
    ImageFrame* b = doc->GetFrameB();
    const bool markers = (m_flags & kFlagMarkerMethod) == 0;
    ClosePairWindow(false);
    if (CMainFrame* main = MainFrame()) {
        ModifyFlags(kFlagMarkerMethod, markers ? kFlagMarkerMethod : 0);
        m_pairWindow = main->OpenPairWindow(a, b, markers);
    }
}

void SuperManager::SetPairMethod(bool markers)
{
    if (m_pairWindow) {
        if (((m_flags & kFlagMarkerMethod) != 0) != markers) SwitchPairMethod();
        return;
    }
    ModifyFlags(kFlagMarkerMethod, markers ? kFlagMarkerMethod : 0);
}

void SuperManager::ShowBrightnessDialog(int mode, ImageFrame* frame)
{
    if (mode == 0) {
        CloseBrightnessDialog(false);
        return;
    }
    if (mode != 1 && m_brightnessDialog) {
        CloseBrightnessDialog(false);
        return;
    }
    if (!m_brightnessDialog) {
        auto dialog = std::make_unique<CBrightContrastDlg>();
        if (!dialog->Create(158, AfxGetMainWnd())) {
            Logger::log("ERROR SuperManager::ShowBrightnessDialog: dialog 158 cannot be created", 1);
            return;
        }
        m_brightnessDialog = dialog.release();
    }
    if (frame) {
        m_brightnessDialog->SetImageFrame(frame);
    } else if (DataViewer* viewer = BrightnessTargetViewer()) {
        m_brightnessDialog->SetDataViewer(viewer);
    }
    m_brightnessDialog->ShowWindow(SW_SHOW);
}

DataViewer* SuperManager::BrightnessTargetViewer() const
{
    // The active window's viewer, else the first image window's, else the
    // view of the project's panorama.
    CMainFrame* main = MainFrame();
    if (DataViewer* viewer = main ? main->GetActiveDataViewer() : nullptr) return viewer;
    if (CFendrakeApp* app = GetFendrakeApp()) {
        for (CDocument* doc : app->GetImageTemplate()->GetDocuments())
            for (CView* view : doc->GetViews())
                if (auto* image = dynamic_cast<CImageView*>(view)) return image;
    }
    if (main && m_group && m_group->HasRectWorldMap())
        if (CRectMapView* view = main->FindRectMapView(m_group->GetRectWorldMap(false))) return view;
    return nullptr;
}

void SuperManager::CloseBrightnessDialog(bool alreadyGone)
{
    CBrightContrastDlg* dialog = m_brightnessDialog;
    m_brightnessDialog = nullptr;
    if (!dialog) return;
    if (!alreadyGone && ::IsWindow(dialog->m_hWnd)) dialog->DestroyWindow();
    delete dialog;
}

void SuperManager::SetBrightnessDialogTarget(DataViewer* viewer)
{
    if (m_brightnessDialog && viewer) m_brightnessDialog->SetDataViewer(viewer);
}

void SuperManager::ClearBrightnessDialogTarget(DataViewer* viewer)
{
    if (m_brightnessDialog && viewer && m_brightnessDialog->GetDataViewer() == viewer) m_brightnessDialog->Release();
}

void SuperManager::CloseOverlapDialog(bool alreadyGone)
{
    CDialog* dialog = m_overlapDialog;
    m_overlapDialog = nullptr;
    if (!dialog) return;
    if (!alreadyGone && ::IsWindow(dialog->m_hWnd)) dialog->DestroyWindow();
    delete dialog;
}

RECT BrowserPlacement(int32_t hPosition, int32_t vPosition, int screenWidth, int screenHeight)
{
    int left, right, top, bottom;
    UnpackEdges(hPosition, left, right);
    UnpackEdges(vPosition, top, bottom);
    const int width = std::clamp(right - left, 100, std::max(100, screenWidth));
    const int height = std::clamp(bottom - top, 100, std::max(100, screenHeight));
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (left > screenWidth) left = screenWidth - 100;
    if (top > screenHeight) top = screenHeight - 100;
    return RECT{left, top, left + width, top + height};
}

void SuperManager::PlaceNewBrowser(int mode)
{
    CWinApp* app = AfxGetApp();
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int32_t h = PackEdges(screenWidth - 500, screenWidth);
    int32_t v = PackEdges(0, 400);
    uint32_t state = CImgBrowser::kDefaultState;
    if (app) {
        h = static_cast<int32_t>(app->GetProfileInt(kBrowserSection, "hPosition", h));
        v = static_cast<int32_t>(app->GetProfileInt(kBrowserSection, "vPosition", v));
        state = app->GetProfileInt(kBrowserSection, "InitState", static_cast<int>(state));
    }
    const RECT rect = BrowserPlacement(h, v, screenWidth, screenHeight);
    uint8_t type = static_cast<uint8_t>(state & 0xFF);
    if (mode == 2)
        type = 1;
    else if (type == 1)
        type = 0;
    state = (state & ~0xFFu) | type;
    auto* browser = new CImgBrowser;
    if (!browser->Create(rect, state)) {
        Logger::log("ERROR SuperManager::ShowImageBrowser: the image browser cannot be created", 1);
        return;  // a frame that failed to create is gone already
    }
    m_browser = browser;
}

void SuperManager::ShowImageBrowser(int mode, bool show)
{
    if (!show) {
        if (m_browserMode == mode) {
            m_browserMode = 0;
            if (m_browser) m_browser->ShowWindow(SW_HIDE);
        }
        return;
    }
    m_browserMode = mode;
    if (!m_browser)
        PlaceNewBrowser(mode);
    else
        m_browser->SetImageType(mode == 2 ? 1 : 0);
    if (!m_browser) return;
    m_browser->ShowWindow(m_browser->IsIconic() ? SW_RESTORE : SW_SHOW);
    m_browser->SetActiveWindow();
}

void SuperManager::SaveBrowserPlacement()
{
    CWinApp* app = AfxGetApp();
    if (!app || !m_browser || !::IsWindow(m_browser->m_hWnd)) return;
    RECT r{};
    m_browser->GetWindowRect(&r);
    // The packed form that PlaceNewBrowser reads back.
    app->WriteProfileInt(kBrowserSection, "hPosition", PackEdges(r.left, r.right));
    app->WriteProfileInt(kBrowserSection, "vPosition", PackEdges(r.top, r.bottom));
    app->WriteProfileInt(kBrowserSection, "InitState", static_cast<int>(m_browser->GetState()));
}

void SuperManager::OnBrowserDestroyed()
{
    SaveBrowserPlacement();
    m_browser = nullptr;
    m_browserMode = 0;
}

void SuperManager::NotifyBrowserOfDrop(POINT point)
{
    if (m_browser) m_browser->NotifyDrop(point);
}

// ---- Open panorama and image windows ----------------------------------------

bool SuperManager::AddWorldMapWindow(WorldMap* map)
{
    if (!map) return false;
    map->AddReference();
    if (!m_worldMapWindows) m_worldMapWindows = std::make_unique<List>(&ReleaseWorldMapReference, 4);
    if (m_worldMapWindows->Append(map) < 0) {
        map->Release();
        return false;
    }
    CMainFrame* main = MainFrame();
    return main ? main->ShowPanoramaWindow(map) : false;
}

void SuperManager::RemoveWorldMapWindow(WorldMap* map)
{
    if (m_worldMapWindows) m_worldMapWindows->RemoveData(static_cast<void*>(map));
}

bool SuperManager::HasWorldMapNamed(const char* name) const
{
    if (!m_worldMapWindows || !name) return false;
    for (int i = 0; i < m_worldMapWindows->m_count; ++i) {
        auto* map = static_cast<WorldMap*>(m_worldMapWindows->GetData(i));
        if (map->GetName() && std::strcmp(map->GetName(), name) == 0) return true;
    }
    return false;
}

bool SuperManager::IsPanoramaWorldMap(WorldMap* map) const
{
    return m_group && map && m_group->HasRectWorldMap() && m_group->GetRectWorldMap(false) == map;
}

// ---- Services ---------------------------------------------------------------

bool SuperManager::FindWebLink(char* buffer, int size) const
{
    if (!buffer || size <= 0) return false;
    buffer[0] = '\0';
    if (g_webLinkId == 0) return false;
    const std::string path = win::ToPosixPath(CFendrakeApp::GetProgramDir() + "\\WebLinks\\Rowmap.dll");
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    while (std::fgets(buffer, size, file)) {
        if (buffer[0] == '#') continue;
        const int value = Base36DigitValue(buffer[0]) * 36 + Base36DigitValue(buffer[1]);
        if (value == g_webLinkId) {
            std::fclose(file);
            return true;
        }
    }
    std::fclose(file);
    buffer[0] = '\0';
    return false;
}

void SuperManager::ResetLevelingRotation()
{
    m_levelingRotation[0] = m_levelingRotation[1] = m_levelingRotation[2] = 0.0f;
}

bool SuperManager::StopWorkersForClose()
{
    if (!m_workerActive) return true;
    if (AfxMessageBox("A stitching process is still running.\nStop it and exit?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    m_stopRequested = true;
    // The matcher and the blender poll the progress dialog's Cancel; the
    // cancel state outlives the dialog, so they see it even while it closes.
    CancelProgress();
    if (!win::JoinWorkerThreads(kWorkerJoinMs))
        Logger::log("ERROR SuperManager::StopWorkersForClose: workers still running after %d ms", 1, kWorkerJoinMs);
    m_workerActive = false;
    return true;
}
